// Reading a shown page into a sheet as a spreadsheet would hold it pasted: tables cell for cell,
// every other line of text a row of its own. The page is parsed a piece at a time, and each part
// of its tree that is complete is read and freed, so that a page of a hundred thousand rows never
// stands whole in memory.
#include "core/Error.h"
#include "core/Worksheet.h"
#include "core/XmlLoad.h"
#include "core/XmlText.h"
#include "viewer/SpreadsheetExport.h"
#include "xmlguard/AttributeGuard.h"

#include <QFile>
#include <QSet>

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string_view>
#include <vector>

namespace varnel {
namespace {

using xmltext::FromXml;

// The widest span of a cell read.
constexpr int kMaxSpan = 1000;
// The page is parsed in pieces of this size.
constexpr int kPiece = 64 * 1024;

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

// What an element's name alone says of it: hidden (the head, scripts, styles) or a block that
// starts and ends a line of text. The names sorted, looked up by halves.
enum NameKind : unsigned { kHiddenName = 1, kBlockName = 2 };

struct NamedKind {
    std::string_view name;
    unsigned kind;
};
constexpr NamedKind kNameKinds[] = {
    {"address", kBlockName},    {"article", kBlockName},    {"aside", kBlockName},
    {"blockquote", kBlockName}, {"body", kBlockName},       {"caption", kBlockName},
    {"center", kBlockName},     {"dd", kBlockName},         {"details", kBlockName},
    {"div", kBlockName},        {"dl", kBlockName},         {"dt", kBlockName},
    {"fieldset", kBlockName},   {"figcaption", kBlockName}, {"figure", kBlockName},
    {"footer", kBlockName},     {"form", kBlockName},       {"h1", kBlockName},
    {"h2", kBlockName},         {"h3", kBlockName},         {"h4", kBlockName},
    {"h5", kBlockName},         {"h6", kBlockName},         {"head", kHiddenName},
    {"header", kBlockName},     {"hr", kBlockName},         {"legend", kBlockName},
    {"li", kBlockName},         {"main", kBlockName},       {"nav", kBlockName},
    {"noscript", kHiddenName},  {"ol", kBlockName},         {"p", kBlockName},
    {"pre", kBlockName},        {"script", kHiddenName},    {"section", kBlockName},
    {"style", kHiddenName},     {"summary", kBlockName},    {"template", kHiddenName},
    {"title", kHiddenName},     {"tr", kBlockName},         {"ul", kBlockName},
};
static_assert(std::is_sorted(std::begin(kNameKinds), std::end(kNameKinds),
                             [](const NamedKind& a, const NamedKind& b) {
                                 return a.name < b.name;
                             }));

unsigned KindOfName(const xmlNode* node)
{
    if (!node->name)
        return 0;
    const std::string_view name(reinterpret_cast<const char*>(node->name));
    const auto it =
        std::lower_bound(std::begin(kNameKinds), std::end(kNameKinds), name,
                         [](const NamedKind& k, std::string_view n) { return k.name < n; });
    return it != std::end(kNameKinds) && it->name == name ? it->kind : 0;
}

bool IsHidden(const xmlNode* node)
{
    if (KindOfName(node) & kHiddenName)
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
    return KindOfName(node) & kBlockName;
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

// The cell's running text, its blanks collapsed (the no-break space is no blank here), in the
// parser's UTF-8.
void AppendCollapsed(const xmlNode* node, QByteArray& out, bool& pendingBlank)
{
    const auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
    };
    for (const xmlNode* n = node->children; n; n = n->next) {
        if (n->type == XML_ELEMENT_NODE) {
            AppendCollapsed(n, out, pendingBlank);
            continue;
        }
        const char* p = reinterpret_cast<const char*>(n->content);
        while (p && *p) {
            if (blank(*p)) {
                pendingBlank = !out.isEmpty();
                ++p;
                continue;
            }
            const char* word = p;
            while (*p && !blank(*p))
                ++p;
            if (pendingBlank) {
                out += ' ';
                pendingBlank = false;
            }
            out.append(word, p - word);
        }
    }
}

int SpanOf(const xmlNode* cell, const char* name)
{
    if (!cell->properties)
        return 1;
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
            if (!preformatted && IsPageBlank(c) && c != QChar(0xA0)) {
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
    // The rows made so far (those of lines still being gathered not yet), moved to out with the
    // merged ranges made with them; the rows that come later are numbered on after them.
    void takeMade(Sheet& out)
    {
        out.rows = std::move(sheet_.rows);
        out.merges = std::move(sheet_.merges);
        sheet_.rows.clear();
        sheet_.merges.clear();
        base_ += int(out.rows.size());
    }

    void walk(const xmlNode* node, bool preformatted = false)
    {
        for (const xmlNode* n = node; n; n = n->next)
            visit(n, preformatted);
    }

    // An element read a piece at a time: what visit() does before its children and after.
    void enter(const xmlNode* node)
    {
        if (IsBlockElement(node))
            lines_.endLine();
    }
    void leave(const xmlNode* node) { enter(node); }

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

private:
    void flushLines()
    {
        for (const QString& line : lines_.take()) {
            SheetCell cell = ClassifyCellText(line);
            addRow().append(cell);
        }
    }

    QList<SheetCell>& addRow()
    {
        if (base_ + sheet_.rows.size() >= kWorksheetRows)
            Fail(QStringLiteral("Страница не помещается на лист книги: больше %1 строк")
                     .arg(kWorksheetRows));
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
            QByteArray text;
            bool pendingBlank = false;
            AppendCollapsed(cell, text, pendingBlank);
            return QString::fromUtf8(text);
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
        // Cells taken by spans from rows above: (row, column).
        QSet<quint64> taken;
        const auto key = [](int r, int c) { return (quint64(quint32(r)) << 32) | quint32(c); };
        for (qsizetype i = 0; i < rows.size(); ++i) {
            QList<SheetCell>& row = addRow();
            const int r = base_ + int(sheet_.rows.size()) - 1;
            int column = 0;
            for (const xmlNode* n = rows.at(i)->children; n; n = n->next) {
                if (n->type != XML_ELEMENT_NODE || IsHidden(n))
                    continue;
                const bool headerCell = NameIs(n, "th");
                if (!headerCell && !NameIs(n, "td"))
                    continue;
                while (taken.contains(key(r, column)))
                    ++column;
                if (column >= kWorksheetColumns)
                    Fail(QStringLiteral("Страница не помещается на лист книги: больше %1 "
                                        "столбцов")
                             .arg(kWorksheetColumns));
                // A span beyond the table's last row ends with the table, and one that would run
                // into a cell another span has taken ends before it: the sheet's merged ranges
                // never overlap.
                int colspan = std::min(SpanOf(n, "colspan"), kWorksheetColumns - column);
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
                while (row.size() < column)
                    row.append(SheetCell());
                if (row.size() == column)
                    row.append(std::move(cell));
                else
                    row[column] = std::move(cell);
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
    }

    Sheet sheet_;
    int base_ = 0; // rows taken before the sheet's first
    TextCollector lines_;
};

// Feeds the page to libxml2's HTML parser (errors tolerated, nothing fetched, as a browser
// reads) a piece at a time. After each piece the elements the parser still has open are entered
// (their text so far is read up to them), and every finished part before them is read into the
// sheet and freed. A table and a hidden element are read whole once the parser has finished them.
class StreamingPageReader {
public:
    // path names the page in a refusal (none: a page in memory).
    explicit StreamingPageReader(const QString& path = QString()) : path_(path) {}
    ~StreamingPageReader()
    {
        if (ctxt_) {
            if (ctxt_->myDoc)
                xmlFreeDoc(ctxt_->myDoc);
            htmlFreeParserCtxt(ctxt_);
        }
    }
    StreamingPageReader(const StreamingPageReader&) = delete;
    StreamingPageReader& operator=(const StreamingPageReader&) = delete;

    void feed(const char* data, int size)
    {
        // A start tag of a great many attributes costs the parser time with their square: such
        // a page is refused before the parser sees it, as every document the client reads.
        if (!guard_.feed(data, size_t(size))) {
            QString text = XmlLoadErrorText(path_, QString::fromStdString(guard_.reason()),
                                            guard_.line(), guard_.column());
            if (path_.isEmpty())
                text.replace(0, text.indexOf(QStringLiteral(": \r\n")),
                             QStringLiteral("Ошибка загрузки страницы"));
            Fail(text);
        }
        if (!ctxt_) {
            // The first bytes tell a byte-order mark; the declared charset switches later.
            const int head = std::min(size, 4);
            ctxt_ = htmlCreatePushParserCtxt(nullptr, nullptr, data, head, nullptr,
                                             XML_CHAR_ENCODING_NONE);
            if (!ctxt_)
                throw std::bad_alloc();
            htmlCtxtUseOptions(ctxt_, HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR |
                                          HTML_PARSE_NOWARNING | HTML_PARSE_COMPACT);
            data += head;
            size -= head;
        }
        if (size > 0)
            htmlParseChunk(ctxt_, data, size, 0);
        advance(false);
    }

    // The rows read so far that nothing later changes, as PageReader::takeMade.
    void takeMade(Sheet& out) { reader_.takeMade(out); }

    Sheet finish(QString* encoding)
    {
        if (ctxt_) {
            htmlParseChunk(ctxt_, nullptr, 0, 1);
            advance(true);
        }
        if (encoding) {
            const xmlChar* name = ctxt_ && ctxt_->myDoc && ctxt_->myDoc->encoding
                                      ? ctxt_->myDoc->encoding
                                  : ctxt_ ? ctxt_->encoding
                                          : nullptr;
            *encoding = name ? FromXml(name) : QStringLiteral("UTF-8");
        }
        return reader_.take();
    }

private:
    struct Entered {
        xmlNode* node;
        bool preformatted; // for its children
    };

    static bool Enterable(const xmlNode* node) { return !NameIs(node, "table") && !IsHidden(node); }

    // Reads the children of an entered element before stop (all of them without one), and
    // frees them.
    void readChildren(const Entered& parent, const xmlNode* stop)
    {
        for (xmlNode* c = parent.node->children; c && c != stop;) {
            xmlNode* following = c->next;
            reader_.visit(c, parent.preformatted);
            xmlUnlinkNode(c);
            xmlFreeNode(c);
            c = following;
        }
    }

    void advance(bool finished)
    {
        if (!ctxt_ || !ctxt_->myDoc)
            return;
        // The elements the parser has open, from the document element down.
        std::vector<xmlNode*> open;
        if (!finished) {
            for (xmlNode* n = ctxt_->node; n && n->type == XML_ELEMENT_NODE; n = n->parent)
                open.push_back(n);
            std::reverse(open.begin(), open.end());
        }
        std::size_t enterable = 0;
        while (enterable < open.size() && Enterable(open[enterable]))
            ++enterable;
        std::size_t common = 0;
        while (common < entered_.size() && common < enterable &&
               entered_[common].node == open[common])
            ++common;
        // Elements the parser has finished: the rest of their children, then themselves.
        while (entered_.size() > common) {
            const Entered done = entered_.back();
            entered_.pop_back();
            readChildren(done, nullptr);
            reader_.leave(done.node);
            xmlUnlinkNode(done.node);
            xmlFreeNode(done.node);
        }
        // Elements newly open: what comes before each in its parent, then the element itself.
        for (std::size_t i = common; i < enterable; ++i) {
            if (!entered_.empty())
                readChildren(entered_.back(), open[i]);
            const bool preformatted =
                (!entered_.empty() && entered_.back().preformatted) || NameIs(open[i], "pre");
            reader_.enter(open[i]);
            entered_.push_back({open[i], preformatted});
        }
        if (!entered_.empty()) {
            // The deepest entered element: its finished children; a text the parser may still
            // add to waits.
            const xmlNode* stop = enterable < open.size() ? open[enterable] : nullptr;
            xmlNode* last = entered_.back().node->last;
            if (!stop && last &&
                (last->type == XML_TEXT_NODE || last->type == XML_CDATA_SECTION_NODE))
                stop = last;
            readChildren(entered_.back(), stop);
        }
        if (finished) {
            // Whatever stands outside the elements read (a second document element).
            reader_.walk(ctxt_->myDoc->children);
        }
    }

    QString path_;
    xmlguard::AttributeGuard guard_;
    htmlParserCtxtPtr ctxt_ = nullptr;
    PageReader reader_;
    std::vector<Entered> entered_;
};

// Trailing empty rows are no part of the page.
void DropTrailingEmptyRows(Sheet& sheet)
{
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
}

} // namespace

Sheet ReadPageSheet(const QByteArray& html, QString* encoding)
{
    StreamingPageReader reader;
    for (qsizetype at = 0; at < html.size(); at += kPiece)
        reader.feed(html.constData() + at, int(std::min<qsizetype>(kPiece, html.size() - at)));
    Sheet sheet = reader.finish(encoding);
    DropTrailingEmptyRows(sheet);
    return sheet;
}

PageSource PageFileSource(const QString& path)
{
    auto file = std::make_shared<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        Fail(QStringLiteral("Не удалось открыть файл ") + path + QStringLiteral(":\r\n") +
             file->errorString());
    PageSource source;
    source.name = path;
    source.size = file->size();
    source.read = [file, path](char* data, qint64 size) {
        const qint64 got = file->read(data, size);
        if (got < 0)
            Fail(QStringLiteral("Не удалось прочитать файл ") + path + QStringLiteral(":\r\n") +
                 file->errorString());
        return got;
    };
    return source;
}

Sheet ReadPageSheetSource(const PageSource& page, QString* encoding,
                          const std::function<void(qint64 read, qint64 size)>& progress,
                          QByteArray* bytes)
{
    // The batches follow on from each other, merged ranges numbered as the rows are.
    Sheet sheet;
    ReadPageSheetRows(
        page,
        [&sheet](Sheet& rows) {
            sheet.rows.append(std::move(rows.rows));
            sheet.merges.append(rows.merges);
            return true;
        },
        encoding,
        [&progress](qint64 read, qint64 size) {
            if (progress)
                progress(read, size);
            return true;
        },
        bytes);
    DropTrailingEmptyRows(sheet);
    return sheet;
}

bool ReadPageSheetRows(const PageSource& page, const std::function<bool(Sheet& rows)>& made,
                       QString* encoding,
                       const std::function<bool(qint64 read, qint64 size)>& progress,
                       QByteArray* bytes)
{
    StreamingPageReader reader(page.name);
    QByteArray piece(kPiece, Qt::Uninitialized);
    if (bytes) {
        bytes->clear();
        bytes->reserve(page.size);
    }
    qint64 read = 0;
    Sheet rows;
    for (;;) {
        const qint64 got = page.read(piece.data(), kPiece);
        if (got <= 0)
            break;
        reader.feed(piece.constData(), int(got));
        if (bytes)
            bytes->append(piece.constData(), got);
        read += got;
        reader.takeMade(rows);
        if (!rows.rows.isEmpty() && !made(rows))
            return false;
        if (progress && !progress(read, page.size))
            return false;
    }
    rows = reader.finish(encoding);
    if (!rows.rows.isEmpty() || !rows.merges.isEmpty())
        return made(rows);
    return true;
}

Sheet ReadPageSheetFile(const QString& path, QString* encoding,
                        const std::function<void(qint64 read, qint64 size)>& progress)
{
    return ReadPageSheetSource(PageFileSource(path), encoding, progress);
}

} // namespace varnel
