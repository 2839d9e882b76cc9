#include "viewer/SpreadsheetExport.h"

#include "core/AppContext.h"
#include "core/AtomicSave.h"
#include "core/Error.h"
#include "core/NumberLocale.h"
#include "core/Values.h"
#include "core/Worksheet.h"
#include "viewer/WorkbookPlace.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringDecoder>

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

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

// The longest line of a cell's text as the spreadsheet shows it, in characters, for fitting.
int LongestLine(const SheetCell& cell)
{
    switch (cell.type) {
    case SheetCell::Type::Number:
        return int(QString::number(cell.value, 'f', cell.decimals).size());
    case SheetCell::Type::Date: return 10; // dd.mm.yyyy
    case SheetCell::Type::Text: {
        qsizetype longest = 0;
        qsizetype start = 0;
        for (qsizetype end; (end = cell.text.indexOf(u'\n', start)) >= 0; start = end + 1)
            longest = std::max(longest, end - start);
        return int(std::max(longest, cell.text.size() - start));
    }
    case SheetCell::Type::Empty: break;
    }
    return 0;
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
                (!merged.isEmpty() && merged.contains((quint64(quint32(r)) << 32) | quint32(c))))
                continue;
            const int longest = LongestLine(row.at(c));
            const double width = longest * (row.at(c).header ? 1.1 : 1.0) + 1.5;
            sheet.columnWidths[c] = std::max(sheet.columnWidths[c], width);
        }
    }
    for (double& width : sheet.columnWidths)
        width = std::min(width, kMaxColumnWidth);
}

namespace {

// A row of the sheet as a line of its text.
void AppendRowText(QString& text, const QList<SheetCell>& row)
{
    for (qsizetype c = 0; c < row.size(); ++c) {
        if (c > 0)
            text += u'\t';
        // A line end inside a cell would start a new row of the text.
        const qsizetype at = text.size();
        text += row.at(c).text;
        std::replace(text.begin() + at, text.end(), QChar(u'\n'), QChar(u' '));
    }
    text += u'\n';
}

} // namespace

QString SheetText(const Sheet& sheet)
{
    QString text;
    for (const QList<SheetCell>& row : sheet.rows)
        AppendRowText(text, row);
    return text;
}

namespace {

// A workbook written a row at a time (one worksheet "Лист1"): in libxlsxwriter's constant-memory
// mode each row is written out when the next one begins, so the workbook never stands whole in
// memory and no table of shared strings is kept. A merged range is known before its first row
// is written; it is written cell by cell (the first cell's value, formatted blanks over the
// rest, as a merge holds them) and registered at its last row while that row is still open:
// libxlsxwriter keeps the range and writes nothing more into the rows already written out.
class WorkbookWriter {
public:
    WorkbookWriter(const QString& path, const QString& scratchFolder, const QString& shownPath)
        : shown_(shownPath.isEmpty() ? path : shownPath), scratch_(QFile::encodeName(scratchFolder))
    {
        lxw_workbook_options options = {};
        options.constant_memory = LXW_TRUE;
        options.tmpdir = scratch_.data();
        options.use_zip64 = LXW_FALSE;
        const QByteArray file = QFile::encodeName(path);
        errno = 0;
        lxw_workbook* workbook = workbook_new_opt(file.constData(), &options);
        if (!workbook)
            Fail(FileCreateErrorText(shown_, SystemErrorText(errno ? errno : ENOMEM)));
        workbook_.reset(workbook);
        worksheet_ = workbook_add_worksheet(workbook, "Лист1");
    }

    // A merged range (its first cell's value given) whose rows are not written yet.
    void addMerge(const SheetMerge& m, const SheetCell& first)
    {
        const int i = int(merges_.size());
        merges_.push_back({m, first});
        for (int r = m.firstRow; r <= m.lastRow; ++r) {
            rangesOnRow_[r].append(i);
            for (int c = m.firstColumn; c <= m.lastColumn; ++c)
                mergeOf_.insert(Key(r, c), i);
        }
    }
    bool isMerged(int r, int c) const
    {
        return !mergeOf_.isEmpty() && mergeOf_.contains(Key(r, c));
    }

    // The next row.
    void writeRow(const QList<SheetCell>& row)
    {
        const int r = rows_++;
        for (int c = 0; c < row.size(); ++c) {
            const SheetCell& cell = row.at(c);
            if (cell.type != SheetCell::Type::Empty && !isMerged(r, c))
                write(r, c, cell, format(cell));
        }
        const auto ranges = rangesOnRow_.constFind(r);
        if (ranges == rangesOnRow_.cend())
            return;
        for (const int i : *ranges) {
            const SheetMerge& m = merges_.at(size_t(i)).range;
            const SheetCell& first = merges_.at(size_t(i)).first;
            lxw_format* f = format(first);
            for (int c = m.firstColumn; c <= m.lastColumn; ++c) {
                if (r == m.firstRow && c == m.firstColumn)
                    write(r, c, first, f);
                else
                    worksheet_write_blank(worksheet_, lxw_row_t(r), lxw_col_t(c), f);
            }
            if (m.lastRow != r)
                continue;
            worksheet_merge_range(worksheet_, lxw_row_t(m.firstRow), lxw_col_t(m.firstColumn),
                                  lxw_row_t(m.lastRow), lxw_col_t(m.lastColumn), "", f);
            // Within one row the range wrote its first cell as an empty text: the value again.
            if (m.firstRow == r)
                write(r, m.firstColumn, first, f);
        }
        rangesOnRow_.erase(ranges);
    }
    int rows() const { return rows_; }

    // The column widths, then the workbook put together (raises with the system's reason).
    void close(const QList<double>& columnWidths)
    {
        for (int c = 0; c < columnWidths.size(); ++c) {
            if (columnWidths.at(c) > 0)
                worksheet_set_column(worksheet_, lxw_col_t(c), lxw_col_t(c), columnWidths.at(c),
                                     nullptr);
        }
        errno = 0;
        const lxw_error error = workbook_close(workbook_.release());
        if (error != LXW_NO_ERROR) {
            const QString reason =
                errno ? SystemErrorText(errno) : QString::fromUtf8(lxw_strerror(error));
            Fail(FileWriteErrorText(shown_, reason));
        }
    }

private:
    struct Merge {
        SheetMerge range;
        SheetCell first;
    };

    static quint64 Key(int r, int c) { return (quint64(quint32(r)) << 32) | quint32(c); }

    // Formats: text, wrapped text, a date, and numbers by their decimals; each plain or header.
    lxw_format* format(const SheetCell& cell)
    {
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
        if (auto it = formats_.find(id); it != formats_.end())
            return it->second;
        lxw_format* f = workbook_add_format(workbook_.get());
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
        formats_[id] = f;
        return f;
    }

    void write(int r, int c, const SheetCell& cell, lxw_format* f)
    {
        if (cell.type == SheetCell::Type::Text) {
            const QByteArray utf8 = cell.text.toUtf8();
            worksheet_write_string(worksheet_, lxw_row_t(r), lxw_col_t(c), utf8.constData(), f);
        } else if (cell.type == SheetCell::Type::Empty) {
            worksheet_write_blank(worksheet_, lxw_row_t(r), lxw_col_t(c), f);
        } else {
            worksheet_write_number(worksheet_, lxw_row_t(r), lxw_col_t(c), cell.value, f);
        }
    }

    // libxlsxwriter prints every number (cells, widths) with printf: with "." whatever the
    // process's locale.
    const CNumbersHere cNumbers_;
    QString shown_;
    QByteArray scratch_;
    // A write stopped halfway frees what libxlsxwriter holds.
    std::unique_ptr<lxw_workbook, void (*)(lxw_workbook*)> workbook_{nullptr, lxw_workbook_free};
    lxw_worksheet* worksheet_ = nullptr;
    std::map<std::pair<int, int>, lxw_format*> formats_; // (kind, header) -> format
    std::vector<Merge> merges_;
    QHash<quint64, int> mergeOf_;        // every cell of a range
    QHash<int, QList<int>> rangesOnRow_; // the ranges that cover a row not written yet
    int rows_ = 0;
};

} // namespace

void WriteWorkbook(const Sheet& sheet, const QString& path, const QString& scratchFolder,
                   const std::function<void(int rows)>& rowsWritten, const QString& shownPath)
{
    WorkbookWriter writer(path, scratchFolder, shownPath);
    for (const SheetMerge& m : sheet.merges)
        writer.addMerge(m, sheet.cell(m.firstRow, m.firstColumn));
    for (int r = 0; r < sheet.rows.size(); ++r) {
        if (rowsWritten && r % 100 == 0)
            rowsWritten(r);
        writer.writeRow(sheet.rows.at(r));
    }
    if (rowsWritten)
        rowsWritten(int(sheet.rows.size()));
    writer.close(sheet.columnWidths);
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

namespace {

// The rows of a page as they are read, on their way to a workbook: what the export does to a
// sheet read whole (its trailing empty rows dropped, its text for the clipboard taken, its rows
// down to the "SAVE AS" line removed, its columns fitted) done a batch at a time, each row
// written as soon as nothing read later can change it.
class StreamedSheet {
public:
    explicit StreamedSheet(WorkbookWriter& writer) : writer_(writer) {}

    // The next rows read (numbered on from the last batch's, with the merged ranges in them).
    void take(Sheet& batch)
    {
        const int at = received_;
        received_ += int(batch.rows.size());
        for (qsizetype i = 0; i < batch.rows.size(); ++i) {
            const QList<SheetCell>& row = batch.rows.at(i);
            if (std::any_of(row.begin(), row.end(),
                            [](const SheetCell& c) { return c.type != SheetCell::Type::Empty; }))
                lastKept_ = at + int(i);
        }
        for (const SheetMerge& m : std::as_const(batch.merges))
            lastKept_ = std::max(lastKept_, m.lastRow);
        for (QList<SheetCell>& row : batch.rows)
            held_.append(std::move(row));
        // Empty rows at the end wait: they are dropped unless something follows them.
        const int release = std::min(lastKept_ + 1, received_) - heldFrom_;
        if (release <= 0) {
            merges_ += batch.merges;
            return;
        }
        QList<QList<SheetCell>> rows = held_.mid(0, release);
        held_.remove(0, release);
        heldFrom_ += release;
        QList<SheetMerge> merges = std::move(merges_);
        merges_.clear();
        merges += batch.merges;
        released(std::move(rows), std::move(merges));
    }

    // The page's end: its text, and the widths of its columns.
    void finish()
    {
        if (!found_ && !before_.rows.isEmpty())
            writeOut(before_.rows, before_.merges);
        before_ = Sheet();
        for (double& width : widths_)
            width = std::min(width, kMaxColumnWidth);
    }

    const QList<double>& widths() const { return widths_; }
    QString takeText() { return std::move(text_); }

private:
    void released(QList<QList<SheetCell>> rows, QList<SheetMerge> merges)
    {
        for (const QList<SheetCell>& row : std::as_const(rows))
            AppendRowText(text_, row);
        if (found_) {
            for (SheetMerge& m : merges) {
                m.firstRow -= removed_;
                m.lastRow -= removed_;
            }
            writeOut(rows, merges);
            return;
        }
        // Until the "SAVE AS" line is found, every row may yet be removed.
        const bool hasIt = std::any_of(rows.begin(), rows.end(), [](const QList<SheetCell>& row) {
            return std::any_of(row.begin(), row.end(), [](const SheetCell& cell) {
                return cell.type == SheetCell::Type::Text &&
                       TrimBlanks(cell.text).toUpper().contains(QStringLiteral("SAVE AS"));
            });
        });
        before_.rows += std::move(rows);
        before_.merges += std::move(merges);
        if (!hasIt)
            return;
        removed_ = RemoveRowsToSaveAs(before_);
        found_ = true;
        writeOut(before_.rows, before_.merges);
        before_ = Sheet();
    }

    // Rows after the removal, in order, with the merged ranges in them.
    void writeOut(const QList<QList<SheetCell>>& rows, const QList<SheetMerge>& merges)
    {
        const int first = writer_.rows();
        for (const SheetMerge& m : merges) {
            const int r = m.firstRow - first;
            const SheetCell cell = r >= 0 && r < rows.size() && m.firstColumn < rows.at(r).size()
                                       ? rows.at(r).at(m.firstColumn)
                                       : SheetCell();
            writer_.addMerge(m, cell);
        }
        for (const QList<SheetCell>& row : rows) {
            const int r = writer_.rows();
            if (widths_.size() < row.size())
                widths_.resize(row.size(), 0.0);
            for (int c = 0; c < row.size(); ++c) {
                const SheetCell& cell = row.at(c);
                if (cell.type == SheetCell::Type::Empty || writer_.isMerged(r, c))
                    continue;
                const double width = LongestLine(cell) * (cell.header ? 1.1 : 1.0) + 1.5;
                widths_[c] = std::max(widths_[c], width);
            }
            writer_.writeRow(row);
        }
    }

    WorkbookWriter& writer_;
    int received_ = 0;
    int lastKept_ = -1; // the last row that is not empty or lies in a merged range
    QList<QList<SheetCell>> held_;
    int heldFrom_ = 0;
    QList<SheetMerge> merges_; // of held rows
    bool found_ = false;
    int removed_ = 0;
    Sheet before_; // the rows before the "SAVE AS" line is found
    QList<double> widths_;
    QString text_;
};

// Batches of rows handed from the reading thread to the writing one.
class Batches {
public:
    void push(Sheet&& batch)
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(std::move(batch));
        ready_.notify_one();
    }
    // The next batch; false at the end or once abandoned.
    bool pop(Sheet& batch)
    {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return !queue_.empty() || closed_ || abandoned_; });
        if (abandoned_ || queue_.empty())
            return false;
        batch = std::move(queue_.front());
        queue_.pop_front();
        return true;
    }
    void close()
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        ready_.notify_one();
    }
    void abandon()
    {
        const std::lock_guard lock(mutex_);
        abandoned_ = true;
        queue_.clear();
        ready_.notify_one();
    }
    bool abandoned() const
    {
        const std::lock_guard lock(mutex_);
        return abandoned_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Sheet> queue_;
    bool closed_ = false;
    bool abandoned_ = false;
};

} // namespace

Outcome ExportPage(const PageSource& page, const QString& baseName, Progress& progress,
                   PageExport* made)
{
    PageExport result;
    bool stopped = false;
    const Outcome outcome = Trapping([&] {
        progress.stage(QStringLiteral("Чтение страницы"), page.size);
        result.workbook = ReserveWorkbookName(baseName);
        const QString& path = result.workbook;
        // Whatever ends the export early leaves nothing under the workbook's name.
        struct Unfinished {
            const QString& path;
            bool finished = false;
            ~Unfinished()
            {
                if (!finished)
                    QFile::remove(path);
            }
        } unfinished{path};
        // The workbook is written beside the reading, each row once it is read; it goes in
        // place whole (libxlsxwriter writes the hidden file of the atomic save itself).
        AtomicFile file(path);
        WorkbookWriter writer(file.writablePath(), QFileInfo(file.target()).absolutePath(), path);
        Batches batches;
        std::atomic<bool> writerFailed{false};
        auto writing = std::async(std::launch::async, [&] {
            // The writer's own "." for the numbers it prints belongs to the thread that made
            // it: this thread holds its own.
            const CNumbersHere cNumbers;
            try {
                StreamedSheet sheet(writer);
                for (Sheet batch; batches.pop(batch);) {
                    if (progress.stopRequested()) {
                        batches.abandon();
                        return;
                    }
                    sheet.take(batch);
                }
                if (batches.abandoned())
                    return;
                sheet.finish();
                result.text = sheet.takeText();
                progress.stage(QStringLiteral("Сжатие книги"));
                writer.close(sheet.widths());
            } catch (...) {
                // Told to the reading, which stops and takes this failure up (get() below).
                writerFailed.store(true);
                batches.abandon();
                throw;
            }
        });
        QString encoding;
        QByteArray bytes;
        bool read = false;
        try {
            read = ReadPageSheetRows(
                page,
                [&](Sheet& rows) {
                    if (batches.abandoned())
                        return false;
                    batches.push(std::move(rows));
                    rows = Sheet();
                    return true;
                },
                &encoding,
                [&](qint64 done, qint64) {
                    progress.advance(done);
                    return !progress.stopRequested();
                },
                &bytes);
        } catch (...) {
            // The reading's own failure: the writing is stopped and waited for first.
            batches.abandon();
            writing.wait();
            throw;
        }
        if (!read) {
            batches.abandon();
            writing.wait();
            if (writerFailed.load())
                writing.get(); // the writing's reason
            stopped = true;
            return;
        }
        batches.close();
        // The page goes to the clipboard as a browser's copy would put it there, its markup
        // and its text (made by the writing), decoded while the workbook is finished.
        QStringDecoder decoder(encoding.toLatin1().constData());
        result.html = decoder.isValid() ? decoder.decode(bytes) : QString::fromUtf8(bytes);
        bytes = QByteArray();
        writing.get();
        if (progress.stopRequested() || batches.abandoned()) {
            stopped = true;
            return;
        }
        file.commit();
        unfinished.finished = true;
    });
    if (outcome.done() && stopped)
        return Outcome::Cancelled();
    if (outcome.done() && made)
        *made = std::move(result);
    return outcome;
}

} // namespace varnel
