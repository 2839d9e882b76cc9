#include "handbook/viewer/SpreadsheetExport.h"

#include "core/AppContext.h"
#include "core/AtomicSave.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/Values.h"
#include "core/XmlText.h"
#include "handbook/viewer/WorkbookPlace.h"
#include "ui/BusyCursor.h"

#include <QApplication>
#include <QClipboard>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMimeData>
#include <QSet>
#include <QStringDecoder>

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <map>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace varnel {
namespace {

using xmltext::FromXml;

// What a worksheet holds at most.
constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;
constexpr int kMaxCellCharacters = 32767;
constexpr int kMaxSpan = 1000;
// Fitted widths stay within what a screen shows.
constexpr double kMaxColumnWidth = 100;

const QString kBreak = QStringLiteral("\r\n");

// The HTML parser gives element names in lower case.
bool NameIs(const xmlNode* node, const char* name)
{
    return node->name && std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

bool NameIn(const xmlNode* node, std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        if (NameIs(node, name))
            return true;
    }
    return false;
}

QString Attribute(const xmlNode* node, const char* name)
{
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    QString text = FromXml(value);
    xmlFree(value);
    return text;
}

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == QChar(0xA0);
}

// Blanks (no-break ones too) dropped at either end.
QString TrimBlanks(const QString& text)
{
    return TrimWhere(text, [](QChar c) { return IsBlank(c); });
}

bool IsHidden(const xmlNode* node)
{
    if (NameIn(node, {"head", "script", "style", "noscript", "template", "title"}))
        return true;
    if (!node->properties)
        return false;
    if (xmlHasProp(node, reinterpret_cast<const xmlChar*>("hidden")))
        return true;
    if (!xmlHasProp(node, reinterpret_cast<const xmlChar*>("style")))
        return false;
    QString style = Attribute(node, "style").toLower();
    style.remove(u' ');
    return style.contains(QStringLiteral("display:none"));
}

bool IsBlockElement(const xmlNode* node)
{
    return NameIn(node, {"p",       "div",     "h1",         "h2",     "h3",       "h4",
                         "h5",      "h6",      "li",         "ul",     "ol",       "dl",
                         "dt",      "dd",      "blockquote", "pre",    "address",  "center",
                         "section", "article", "header",     "footer", "nav",      "main",
                         "aside",   "figure",  "figcaption", "form",   "fieldset", "legend",
                         "hr",      "details", "summary",    "body",   "caption",  "tr"});
}

// True when the cell holds running text only (no line breaks, blocks or tables), so its text
// is its characters with blanks collapsed.
bool IsPlainCell(const xmlNode* node)
{
    for (const xmlNode* n = node->children; n; n = n->next) {
        if (n->type == XML_TEXT_NODE)
            continue;
        if (n->type != XML_ELEMENT_NODE)
            return false;
        if (IsHidden(n) || NameIn(n, {"br", "table"}) || IsBlockElement(n) || !IsPlainCell(n))
            return false;
    }
    return true;
}

void AppendCollapsed(const xmlNode* node, QString& out, bool& pendingBlank)
{
    for (const xmlNode* n = node->children; n; n = n->next) {
        if (n->type == XML_ELEMENT_NODE) {
            AppendCollapsed(n, out, pendingBlank);
            continue;
        }
        const QString text = FromXml(n->content);
        for (const QChar c : text) {
            if (IsBlank(c) && c != QChar(0xA0)) {
                pendingBlank = !out.isEmpty();
                continue;
            }
            if (pendingBlank) {
                out += u' ';
                pendingBlank = false;
            }
            out += c;
        }
    }
}

int SpanOf(const xmlNode* cell, const char* name)
{
    bool ok = false;
    const int span = Attribute(cell, name).trimmed().toInt(&ok);
    return ok && span > 1 ? std::min(span, kMaxSpan) : 1;
}

// Collects running text the way a browser lays it out: blanks collapsed, lines broken at
// blocks and <br>, kept as they are inside <pre>.
class TextCollector {
public:
    void text(const QString& chunk, bool preformatted)
    {
        for (const QChar c : chunk) {
            if (preformatted && c == u'\n') {
                lineBreak();
                continue;
            }
            if (!preformatted && IsBlank(c) && c != QChar(0xA0)) {
                pendingBlank_ = !current_.isEmpty();
                continue;
            }
            if (pendingBlank_) {
                current_ += u' ';
                pendingBlank_ = false;
            }
            current_ += c;
            lineHasText_ = true;
        }
    }
    // Ends the current line, if it holds anything.
    void endLine()
    {
        if (lineHasText_)
            lines_ << current_;
        current_.clear();
        lineHasText_ = false;
        pendingBlank_ = false;
    }
    // A <br>: ends the line, and an empty line counts as well.
    void lineBreak()
    {
        lines_ << current_;
        current_.clear();
        lineHasText_ = false;
        pendingBlank_ = false;
    }
    QStringList take()
    {
        endLine();
        QStringList lines = std::move(lines_);
        lines_.clear();
        return lines;
    }

private:
    QStringList lines_;
    QString current_;
    bool lineHasText_ = false;
    bool pendingBlank_ = false;
};

class PageReader {
public:
    Sheet take()
    {
        flushLines();
        return std::move(sheet_);
    }

    void walk(const xmlNode* node, bool preformatted = false)
    {
        for (const xmlNode* n = node; n; n = n->next)
            visit(n, preformatted);
    }

private:
    void visit(const xmlNode* node, bool preformatted)
    {
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            lines_.text(FromXml(node->content), preformatted);
            return;
        }
        if (node->type != XML_ELEMENT_NODE || IsHidden(node))
            return;
        if (NameIs(node, "br")) {
            lines_.lineBreak();
            return;
        }
        if (NameIs(node, "table")) {
            flushLines();
            table(node);
            return;
        }
        const bool block = IsBlockElement(node);
        if (block)
            lines_.endLine();
        walk(node->children, preformatted || NameIs(node, "pre"));
        if (block)
            lines_.endLine();
    }

    void flushLines()
    {
        for (const QString& line : lines_.take()) {
            SheetCell cell = ClassifyCellText(line);
            addRow().append(cell);
        }
    }

    QList<SheetCell>& addRow()
    {
        if (sheet_.rows.size() >= kMaxRows)
            Fail(QStringLiteral("Страница не помещается на лист книги: больше %1 строк")
                     .arg(kMaxRows));
        sheet_.rows.append(QList<SheetCell>());
        return sheet_.rows.back();
    }

    // The rows of a table in document order, nested tables left out.
    static void CollectRows(const xmlNode* node, QList<const xmlNode*>& rows,
                            QList<const xmlNode*>& captions)
    {
        for (const xmlNode* n = node->children; n; n = n->next) {
            if (n->type != XML_ELEMENT_NODE || IsHidden(n))
                continue;
            if (NameIs(n, "tr"))
                rows << n;
            else if (NameIs(n, "caption"))
                captions << n;
            else if (NameIn(n, {"thead", "tbody", "tfoot"}))
                CollectRows(n, rows, captions);
        }
    }

    // The text of a cell: its lines joined by line ends; a table inside it gives its rows'
    // texts, one a line, cells separated by blanks.
    static QString CellText(const xmlNode* cell)
    {
        if (IsPlainCell(cell)) {
            QString text;
            bool pendingBlank = false;
            AppendCollapsed(cell, text, pendingBlank);
            return text;
        }
        PageReader inner;
        inner.walk(cell->children);
        QStringList lines;
        for (const QList<SheetCell>& row : inner.take().rows) {
            QStringList texts;
            for (const SheetCell& c : row)
                texts << c.text;
            lines << texts.join(u' ');
        }
        while (!lines.isEmpty() && lines.back().isEmpty())
            lines.removeLast();
        return lines.join(u'\n');
    }

    void table(const xmlNode* tableNode)
    {
        QList<const xmlNode*> rows;
        QList<const xmlNode*> captions;
        CollectRows(tableNode, rows, captions);
        for (const xmlNode* caption : captions) {
            walk(caption->children);
            flushLines();
        }
        const int firstRow = int(sheet_.rows.size());
        // Cells taken by spans from rows above: (row, column).
        QSet<quint64> taken;
        const auto key = [](int r, int c) { return (quint64(quint32(r)) << 32) | quint32(c); };
        for (qsizetype i = 0; i < rows.size(); ++i) {
            QList<SheetCell>& row = addRow();
            const int r = int(sheet_.rows.size()) - 1;
            int column = 0;
            for (const xmlNode* n = rows.at(i)->children; n; n = n->next) {
                if (n->type != XML_ELEMENT_NODE || IsHidden(n))
                    continue;
                const bool headerCell = NameIs(n, "th");
                if (!headerCell && !NameIs(n, "td"))
                    continue;
                while (taken.contains(key(r, column)))
                    ++column;
                if (column >= kMaxColumns)
                    Fail(QStringLiteral("Страница не помещается на лист книги: больше %1 "
                                        "столбцов")
                             .arg(kMaxColumns));
                // A span beyond the table's last row ends with the table, and one that would run
                // into a cell another span has taken ends before it: the sheet's merged ranges
                // never overlap.
                int colspan = std::min(SpanOf(n, "colspan"), kMaxColumns - column);
                for (int dc = 1; dc < colspan; ++dc) {
                    if (taken.contains(key(r, column + dc))) {
                        colspan = dc;
                        break;
                    }
                }
                int rowspan = int(std::min<qsizetype>(SpanOf(n, "rowspan"), rows.size() - i));
                for (int dr = 1; dr < rowspan; ++dr) {
                    bool free = true;
                    for (int dc = 0; dc < colspan && free; ++dc)
                        free = !taken.contains(key(r + dr, column + dc));
                    if (!free) {
                        rowspan = dr;
                        break;
                    }
                }
                SheetCell cell = ClassifyCellText(CellText(n));
                cell.header = headerCell;
                while (row.size() <= column)
                    row.append(SheetCell());
                row[column] = cell;
                if (colspan > 1 || rowspan > 1) {
                    sheet_.merges.append({r, column, r + rowspan - 1, column + colspan - 1});
                    for (int dr = 0; dr < rowspan; ++dr)
                        for (int dc = 0; dc < colspan; ++dc)
                            if (dr || dc)
                                taken.insert(key(r + dr, column + dc));
                }
                column += colspan;
            }
        }
        Q_UNUSED(firstRow);
    }

    Sheet sheet_;
    TextCollector lines_;
};

// The page parsed as a browser would: errors tolerated, nothing fetched.
htmlDocPtr ParsePage(const QByteArray& html)
{
    return htmlReadMemory(html.constData(), int(html.size()), nullptr, nullptr,
                          HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR |
                              HTML_PARSE_NOWARNING | HTML_PARSE_COMPACT);
}

// The spreadsheet's day number of a date (1 is 1900-01-01, counted with its leap day of 1900).
double SerialOf(const QDate& date)
{
    return double(QDate(1899, 12, 30).daysTo(date));
}

int SignificantDigits(const QString& number)
{
    int digits = 0;
    bool leading = true;
    for (const QChar c : number) {
        if (!c.isDigit())
            continue;
        if (leading && c == u'0')
            continue;
        leading = false;
        ++digits;
    }
    return digits;
}

// Display text of a cell as the spreadsheet shows it, for fitting.
QString DisplayText(const SheetCell& cell)
{
    switch (cell.type) {
    case SheetCell::Type::Number: return QString::number(cell.value, 'f', cell.decimals);
    case SheetCell::Type::Date: return QStringLiteral("00.00.0000");
    case SheetCell::Type::Text: return cell.text;
    case SheetCell::Type::Empty: break;
    }
    return QString();
}

// A new, empty file of that name, created exclusively; false when the name is taken.
bool CreateExclusively(const QString& path)
{
#if defined(Q_OS_UNIX)
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
#else
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
#endif
}

// A fresh name in the workbook folder: base, the time, a number when needed, ".xlsx".
QString ReserveWorkbookName(const QString& baseName)
{
    QString folder = WorkbookFolder();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    const QString stem = folder + baseName + u'_' +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"));
    for (int n = 1; n < 1000; ++n) {
        const QString path =
            stem + (n > 1 ? u'_' + QString::number(n) : QString()) + QStringLiteral(".xlsx");
        if (CreateExclusively(path))
            return path;
        if (errno != EEXIST)
            Fail(FileCreateErrorText(path, SystemErrorText(errno)));
    }
    Fail(FileCreateErrorText(stem + QStringLiteral(".xlsx"), SystemErrorText(EEXIST)));
}

} // namespace

int Sheet::columnCount() const
{
    qsizetype columns = 0;
    for (const QList<SheetCell>& row : rows)
        columns = std::max(columns, row.size());
    for (const SheetMerge& m : merges)
        columns = std::max<qsizetype>(columns, m.lastColumn + 1);
    return int(columns);
}

SheetCell Sheet::cell(int row, int column) const
{
    if (row < 0 || row >= rows.size() || column < 0 || column >= rows.at(row).size())
        return {};
    return rows.at(row).at(column);
}

namespace {

bool AllDigits(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

// -?(0|[1-9][0-9]*)(\.[0-9]+)? ; the decimals in *decimals.
bool IsDecimalText(QStringView text, int* decimals)
{
    if (text.startsWith(u'-'))
        text = text.mid(1);
    const qsizetype point = text.indexOf(u'.');
    const QStringView whole = point < 0 ? text : text.left(point);
    if (!AllDigits(whole) || (whole.size() > 1 && whole.front() == u'0'))
        return false;
    if (point >= 0 && !AllDigits(text.mid(point + 1)))
        return false;
    *decimals = point < 0 ? 0 : int(text.size() - point - 1);
    return true;
}

int Number(QStringView digits)
{
    return digits.toInt();
}

// dd.mm.yyyy or yyyy-mm-dd.
QDate DateOf(QStringView text)
{
    if (text.size() != 10)
        return {};
    if (text.at(2) == u'.' && text.at(5) == u'.' && AllDigits(text.left(2)) &&
        AllDigits(text.mid(3, 2)) && AllDigits(text.mid(6)))
        return QDate(Number(text.mid(6)), Number(text.mid(3, 2)), Number(text.left(2)));
    if (text.at(4) == u'-' && text.at(7) == u'-' && AllDigits(text.left(4)) &&
        AllDigits(text.mid(5, 2)) && AllDigits(text.mid(8)))
        return QDate(Number(text.left(4)), Number(text.mid(5, 2)), Number(text.mid(8)));
    return {};
}

} // namespace

SheetCell ClassifyCellText(const QString& text)
{
    SheetCell cell;
    cell.text = TrimBlanks(text);
    if (cell.text.size() > kMaxCellCharacters)
        cell.text.truncate(kMaxCellCharacters);
    if (cell.text.isEmpty())
        return cell;
    cell.type = SheetCell::Type::Text;
    int decimals = 0;
    if (IsDecimalText(cell.text, &decimals) && SignificantDigits(cell.text) <= 15) {
        cell.type = SheetCell::Type::Number;
        cell.value = cell.text.toDouble();
        cell.decimals = decimals;
        return cell;
    }
    const QDate date = DateOf(cell.text);
    if (date.isValid() && date.year() >= 1900) {
        cell.type = SheetCell::Type::Date;
        cell.value = SerialOf(date);
    }
    return cell;
}

Sheet ReadPageSheet(const QByteArray& html, QString* encoding)
{
    htmlDocPtr doc = ParsePage(html);
    if (encoding)
        *encoding = doc && doc->encoding ? FromXml(doc->encoding) : QStringLiteral("UTF-8");
    if (!doc)
        return {};
    PageReader reader;
    try {
        reader.walk(doc->children);
    } catch (...) {
        xmlFreeDoc(doc);
        throw;
    }
    xmlFreeDoc(doc);
    Sheet sheet = reader.take();
    // Trailing empty rows are no part of the page.
    while (!sheet.rows.isEmpty()) {
        const QList<SheetCell>& last = sheet.rows.back();
        const bool empty = std::all_of(last.begin(), last.end(), [](const SheetCell& c) {
            return c.type == SheetCell::Type::Empty;
        });
        const int lastRow = int(sheet.rows.size()) - 1;
        const bool merged = std::any_of(sheet.merges.begin(), sheet.merges.end(),
                                        [&](const SheetMerge& m) { return m.lastRow >= lastRow; });
        if (!empty || merged)
            break;
        sheet.rows.removeLast();
    }
    return sheet;
}

int RemoveRowsToSaveAs(Sheet& sheet)
{
    int found = -1;
    for (int r = 0; r < sheet.rows.size() && found < 0; ++r) {
        QList<SheetCell>& row = sheet.rows[r];
        for (SheetCell& cell : row) {
            if (cell.type == SheetCell::Type::Text &&
                TrimBlanks(cell.text).toUpper().contains(QStringLiteral("SAVE AS"))) {
                cell = SheetCell();
                found = r;
                break;
            }
        }
    }
    if (found < 0)
        return 0;
    const int removed = found + 1;
    sheet.rows.remove(0, removed);
    QList<SheetMerge> kept;
    for (SheetMerge m : sheet.merges) {
        m.firstRow = std::max(m.firstRow - removed, 0);
        m.lastRow -= removed;
        if (m.lastRow < 0)
            continue;
        if (m.firstRow == m.lastRow && m.firstColumn == m.lastColumn)
            continue;
        kept << m;
    }
    sheet.merges = kept;
    return removed;
}

void FitColumns(Sheet& sheet)
{
    const int columns = sheet.columnCount();
    QSet<quint64> merged;
    for (const SheetMerge& m : sheet.merges)
        for (int r = m.firstRow; r <= m.lastRow; ++r)
            for (int c = m.firstColumn; c <= m.lastColumn; ++c)
                merged.insert((quint64(quint32(r)) << 32) | quint32(c));
    sheet.columnWidths = QList<double>(columns, 0.0);
    for (int r = 0; r < sheet.rows.size(); ++r) {
        const QList<SheetCell>& row = sheet.rows.at(r);
        for (int c = 0; c < row.size(); ++c) {
            if (row.at(c).type == SheetCell::Type::Empty ||
                merged.contains((quint64(quint32(r)) << 32) | quint32(c)))
                continue;
            int longest = 0;
            for (const QString& line : DisplayText(row.at(c)).split(u'\n'))
                longest = std::max(longest, int(line.size()));
            const double width = longest * (row.at(c).header ? 1.1 : 1.0) + 1.5;
            sheet.columnWidths[c] = std::max(sheet.columnWidths[c], width);
        }
    }
    for (double& width : sheet.columnWidths)
        width = std::min(width, kMaxColumnWidth);
}

QString SheetText(const Sheet& sheet)
{
    QString text;
    for (const QList<SheetCell>& row : sheet.rows) {
        QStringList cells;
        for (const SheetCell& cell : row) {
            // A line end inside a cell would start a new row of the text.
            QString t = cell.text;
            t.replace(u'\n', u' ');
            cells << t;
        }
        text += cells.join(u'\t');
        text += u'\n';
    }
    return text;
}

void WriteWorkbook(const Sheet& sheet, const QString& path, const QString& scratchFolder)
{
    QByteArray scratch = QFile::encodeName(scratchFolder);
    lxw_workbook_options options = {};
    options.constant_memory = LXW_FALSE;
    options.tmpdir = scratch.data();
    options.use_zip64 = LXW_FALSE;
    const QByteArray file = QFile::encodeName(path);
    errno = 0;
    lxw_workbook* workbook = workbook_new_opt(file.constData(), &options);
    if (!workbook)
        Fail(FileCreateErrorText(path, SystemErrorText(errno ? errno : ENOMEM)));
    lxw_worksheet* worksheet = workbook_add_worksheet(workbook, "Лист1");

    // Formats: text, wrapped text, a date, and numbers by their decimals; each plain or header.
    std::map<std::pair<int, int>, lxw_format*> formats; // (kind, header) -> format
    const auto format = [&](const SheetCell& cell) -> lxw_format* {
        const bool wrapped = cell.type == SheetCell::Type::Text && cell.text.contains(u'\n');
        int kind = 0;
        if (cell.type == SheetCell::Type::Number)
            kind = 100 + std::min(cell.decimals, 30);
        else if (cell.type == SheetCell::Type::Date)
            kind = 1;
        else if (wrapped)
            kind = 2;
        const std::pair<int, int> id{kind, cell.header ? 1 : 0};
        if (id == std::pair<int, int>{0, 0})
            return nullptr;
        if (auto it = formats.find(id); it != formats.end())
            return it->second;
        lxw_format* f = workbook_add_format(workbook);
        if (kind >= 100) {
            const int decimals = kind - 100;
            const QByteArray picture =
                decimals ? "0." + QByteArray(decimals, '0') : QByteArray("0");
            format_set_num_format(f, picture.constData());
        } else if (kind == 1) {
            format_set_num_format(f, "dd.mm.yyyy");
        } else if (kind == 2) {
            format_set_text_wrap(f);
            format_set_align(f, LXW_ALIGN_VERTICAL_TOP);
        }
        if (cell.header) {
            format_set_bold(f);
            format_set_align(f, LXW_ALIGN_CENTER);
            format_set_align(f, LXW_ALIGN_VERTICAL_CENTER);
        }
        formats[id] = f;
        return f;
    };

    QSet<quint64> covered;
    for (const SheetMerge& m : sheet.merges) {
        const SheetCell first = sheet.cell(m.firstRow, m.firstColumn);
        worksheet_merge_range(worksheet, lxw_row_t(m.firstRow), lxw_col_t(m.firstColumn),
                              lxw_row_t(m.lastRow), lxw_col_t(m.lastColumn), "", format(first));
        for (int r = m.firstRow; r <= m.lastRow; ++r)
            for (int c = m.firstColumn; c <= m.lastColumn; ++c)
                if (r != m.firstRow || c != m.firstColumn)
                    covered.insert((quint64(quint32(r)) << 32) | quint32(c));
    }
    for (int r = 0; r < sheet.rows.size(); ++r) {
        const QList<SheetCell>& row = sheet.rows.at(r);
        for (int c = 0; c < row.size(); ++c) {
            const SheetCell& cell = row.at(c);
            if (cell.type == SheetCell::Type::Empty ||
                covered.contains((quint64(quint32(r)) << 32) | quint32(c)))
                continue;
            if (cell.type == SheetCell::Type::Text) {
                const QByteArray utf8 = cell.text.toUtf8();
                worksheet_write_string(worksheet, lxw_row_t(r), lxw_col_t(c), utf8.constData(),
                                       format(cell));
            } else {
                worksheet_write_number(worksheet, lxw_row_t(r), lxw_col_t(c), cell.value,
                                       format(cell));
            }
        }
    }
    for (int c = 0; c < sheet.columnWidths.size(); ++c) {
        if (sheet.columnWidths.at(c) > 0)
            worksheet_set_column(worksheet, lxw_col_t(c), lxw_col_t(c), sheet.columnWidths.at(c),
                                 nullptr);
    }

    errno = 0;
    const lxw_error error = workbook_close(workbook);
    if (error != LXW_NO_ERROR) {
        const QString reason =
            errno ? SystemErrorText(errno) : QString::fromUtf8(lxw_strerror(error));
        Fail(FileWriteErrorText(path, reason));
    }
}

void SaveWorkbook(const Sheet& sheet, const QString& path)
{
    // libxlsxwriter writes a file by name; it writes beside the workbook under a hidden name of
    // its own, and the complete workbook is then put in place atomically.
    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    QString scratch;
    for (int n = 0; n < 1000 && scratch.isEmpty(); ++n) {
        const QString candidate =
            folder + QStringLiteral("/.") + target.fileName() + QStringLiteral(".%1.part").arg(n);
        if (CreateExclusively(candidate))
            scratch = candidate;
        else if (errno != EEXIST)
            Fail(FileCreateErrorText(path, SystemErrorText(errno)));
    }
    if (scratch.isEmpty())
        Fail(FileCreateErrorText(path, SystemErrorText(EEXIST)));
    try {
        try {
            WriteWorkbook(sheet, scratch, folder);
        } catch (const Error& e) {
            // The user knows the workbook, not its scratch file.
            QString text = e.description();
            Fail(text.replace(scratch, path));
        }
        QFile written(scratch);
        if (!written.open(QIODevice::ReadOnly))
            Fail(FileWriteErrorText(path, written.errorString()));
        const QByteArray bytes = written.readAll();
        written.close();
        SaveFileAtomically(path, bytes);
    } catch (...) {
        QFile::remove(scratch);
        throw;
    }
    QFile::remove(scratch);
}

QString ExportPageToWorkbook(QWidget* parent, const QString& pageFile, const QString& baseName)
{
    BusyCursor busy;
    QFile file(pageFile);
    if (!file.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("Не удалось открыть файл ") + pageFile + u':' + kBreak +
             file.errorString());
    const QByteArray html = file.readAll();
    file.close();

    QString encoding;
    Sheet sheet = ReadPageSheet(html, &encoding);

    // The page goes to the clipboard as a browser's copy would put it there.
    auto* mime = new QMimeData;
    QStringDecoder decoder(encoding.toLatin1().constData());
    mime->setHtml(decoder.isValid() ? decoder.decode(html) : QString::fromUtf8(html));
    mime->setText(SheetText(sheet));
    QApplication::clipboard()->setMimeData(mime);

    RemoveRowsToSaveAs(sheet);
    FitColumns(sheet);

    const QString path = ReserveWorkbookName(baseName);
    try {
        SaveWorkbook(sheet, path);
    } catch (...) {
        QFile::remove(path);
        throw;
    }
    busy.restore();

    ShowWorkbook(parent, path);
    return path;
}

} // namespace varnel
