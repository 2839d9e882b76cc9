#include "handbook/viewer/SpreadsheetExport.h"

#include "core/AppContext.h"
#include "core/AtomicSave.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/NumberLocale.h"
#include "core/Values.h"
#include "core/Worksheet.h"
#include "handbook/viewer/WorkbookPlace.h"
#include "ui/BusyTask.h"

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

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <future>
#include <map>
#include <memory>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace varnel {
namespace {

// Fitted widths stay within what a screen shows.
constexpr double kMaxColumnWidth = 100;

const QString kBreak = QStringLiteral("\r\n");

// Blanks (no-break ones too) dropped at either end.
QString TrimBlanks(const QString& text)
{
    return TrimWhere(text, [](QChar c) { return IsPageBlank(c); });
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

bool IsPageBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == QChar(0xA0);
}

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
    if (cell.text.size() > kWorksheetCellChars)
        cell.text.truncate(kWorksheetCellChars);
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
    // Earlier days stay text: the workbook would show each of them a day late.
    if (IsWorkbookDay(date)) {
        cell.type = SheetCell::Type::Date;
        cell.value = WorkbookDayNumber(date);
    }
    return cell;
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

void WriteWorkbook(const Sheet& sheet, const QString& path, const QString& scratchFolder,
                   const std::function<void(int rows)>& rowsWritten, const QString& shownPath)
{
    const QString shown = shownPath.isEmpty() ? path : shownPath;
    // libxlsxwriter prints every number (cells, widths) with printf: with "." whatever the
    // process's locale.
    const CNumbersHere cNumbers;
    QByteArray scratch = QFile::encodeName(scratchFolder);
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = scratch.data();
    options.use_zip64 = LXW_FALSE;
    const QByteArray file = QFile::encodeName(path);
    errno = 0;
    lxw_workbook* workbook = workbook_new_opt(file.constData(), &options);
    if (!workbook)
        Fail(FileCreateErrorText(shown, SystemErrorText(errno ? errno : ENOMEM)));
    // A write stopped halfway frees what libxlsxwriter holds.
    std::unique_ptr<lxw_workbook, void (*)(lxw_workbook*)> owner(workbook, lxw_workbook_free);
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

    // The rows go out one after another: in libxlsxwriter's constant-memory mode each row is
    // written out when the next one begins, so the workbook never stands whole in memory and no
    // table of shared strings is kept. A merged range is written cell by cell (the first cell's
    // value, formatted blanks over the rest, as a merge holds them) and registered at its last
    // row while that row is still open: libxlsxwriter keeps the range and writes nothing more
    // into the rows already written out.
    const auto key = [](int r, int c) { return (quint64(quint32(r)) << 32) | quint32(c); };
    QHash<quint64, int> mergeOf;        // every cell of a range
    QHash<int, QList<int>> rangesOnRow; // the ranges that cover a row
    for (int i = 0; i < sheet.merges.size(); ++i) {
        const SheetMerge& m = sheet.merges.at(i);
        for (int r = m.firstRow; r <= m.lastRow; ++r) {
            rangesOnRow[r].append(i);
            for (int c = m.firstColumn; c <= m.lastColumn; ++c)
                mergeOf.insert(key(r, c), i);
        }
    }
    const auto write = [&](int r, int c, const SheetCell& cell, lxw_format* f) {
        if (cell.type == SheetCell::Type::Text) {
            const QByteArray utf8 = cell.text.toUtf8();
            worksheet_write_string(worksheet, lxw_row_t(r), lxw_col_t(c), utf8.constData(), f);
        } else if (cell.type == SheetCell::Type::Empty) {
            worksheet_write_blank(worksheet, lxw_row_t(r), lxw_col_t(c), f);
        } else {
            worksheet_write_number(worksheet, lxw_row_t(r), lxw_col_t(c), cell.value, f);
        }
    };
    for (int r = 0; r < sheet.rows.size(); ++r) {
        const QList<SheetCell>& row = sheet.rows.at(r);
        if (rowsWritten && r % 100 == 0)
            rowsWritten(r);
        for (int c = 0; c < row.size(); ++c) {
            const SheetCell& cell = row.at(c);
            if (cell.type != SheetCell::Type::Empty &&
                (mergeOf.isEmpty() || !mergeOf.contains(key(r, c))))
                write(r, c, cell, format(cell));
        }
        for (const int i : rangesOnRow.value(r)) {
            const SheetMerge& m = sheet.merges.at(i);
            const SheetCell first = sheet.cell(m.firstRow, m.firstColumn);
            lxw_format* f = format(first);
            for (int c = m.firstColumn; c <= m.lastColumn; ++c) {
                if (r == m.firstRow && c == m.firstColumn)
                    write(r, c, first, f);
                else
                    worksheet_write_blank(worksheet, lxw_row_t(r), lxw_col_t(c), f);
            }
            if (m.lastRow != r)
                continue;
            worksheet_merge_range(worksheet, lxw_row_t(m.firstRow), lxw_col_t(m.firstColumn),
                                  lxw_row_t(m.lastRow), lxw_col_t(m.lastColumn), "", f);
            // Within one row the range wrote its first cell as an empty text: the value again.
            if (m.firstRow == r)
                write(r, m.firstColumn, first, f);
        }
    }
    for (int c = 0; c < sheet.columnWidths.size(); ++c) {
        if (sheet.columnWidths.at(c) > 0)
            worksheet_set_column(worksheet, lxw_col_t(c), lxw_col_t(c), sheet.columnWidths.at(c),
                                 nullptr);
    }

    if (rowsWritten)
        rowsWritten(int(sheet.rows.size()));
    errno = 0;
    const lxw_error error = workbook_close(owner.release());
    if (error != LXW_NO_ERROR) {
        const QString reason =
            errno ? SystemErrorText(errno) : QString::fromUtf8(lxw_strerror(error));
        Fail(FileWriteErrorText(shown, reason));
    }
}

void SaveWorkbook(const Sheet& sheet, const QString& path,
                  const std::function<void(int rows)>& rowsWritten)
{
    // libxlsxwriter writes a file by name: it writes the hidden file of the atomic save itself,
    // which is then synced and put in place.
    AtomicFile file(path);
    WriteWorkbook(sheet, file.writablePath(), QFileInfo(file.target()).absolutePath(), rowsWritten,
                  path);
    file.commit();
}

QString ExportPageToWorkbook(QWidget* parent, const QString& pageFile, const QString& baseName)
{
    QString path;
    QString html;
    QString text;
    RunBusy(parent, kAppTitle, [&](BusyProgress& progress) {
        const auto stopWhenAsked = [&] {
            if (progress.stopRequested())
                Fail(QString()); // stopped by the user: nothing to say
        };
        progress.allowStop();
        progress.stage(QStringLiteral("Чтение страницы"), QFileInfo(pageFile).size());
        QString encoding;
        Sheet sheet = ReadPageSheetFile(pageFile, &encoding, [&](qint64 read, qint64) {
            progress.advance(read);
            stopWhenAsked();
        });
        // The page goes to the clipboard as a browser's copy would put it there, its markup and
        // its text, made beside the workbook (the rows as read: the copy shares them).
        const Sheet read = sheet;
        RemoveRowsToSaveAs(sheet);
        FitColumns(sheet);
        auto clipboard = std::async(std::launch::async, [&] {
            QFile file(pageFile);
            const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            QStringDecoder decoder(encoding.toLatin1().constData());
            html = decoder.isValid() ? decoder.decode(bytes) : QString::fromUtf8(bytes);
            text = SheetText(read);
        });
        path = ReserveWorkbookName(baseName);
        try {
            progress.stage(QStringLiteral("Запись книги"), sheet.rows.size());
            SaveWorkbook(sheet, path, [&](int rows) {
                progress.advance(rows);
                stopWhenAsked();
                if (rows == sheet.rows.size())
                    progress.stage(QStringLiteral("Сжатие книги"));
            });
        } catch (...) {
            QFile::remove(path);
            throw;
        }
        clipboard.get();
    });

    auto* mime = new QMimeData;
    mime->setHtml(html);
    mime->setText(text);
    QApplication::clipboard()->setMimeData(mime);

    ShowWorkbook(parent, path);
    return path;
}

} // namespace varnel
