#include "tables/TableWriter.h"

#include "core/AtomicSave.h"
#include "core/DecimalText.h"
#include "core/Error.h"
#include "core/NumberLocale.h"
#include "core/Worksheet.h"
#include "tables/CsvReader.h"
#include "tables/SourceFile.h"
#include "tables/XlsxPackage.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <xlsxwriter.h>

#if defined(Q_OS_UNIX)
#include <sys/resource.h>
#include <sys/statvfs.h>
#endif

#include <algorithm>
#include <cerrno>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace varnel {
namespace {

constexpr int kProgressEvery = 256;
// Column widths in characters.
constexpr double kMinWidth = 6;
constexpr double kMaxWidth = 80;

// Digits after the decimal point of a decimal text, for the number's format.
int decimalsOf(const QString& decimal)
{
    const qsizetype point = decimal.indexOf(u'.');
    if (point < 0)
        return 0;
    qsizetype end = point + 1;
    while (end < decimal.size() && decimal.at(end).isDigit())
        ++end;
    return int(std::min<qsizetype>(end - point - 1, 20));
}

// A cell's text as it stands in a CSV file. A text that a spreadsheet would take for a formula
// gets an apostrophe in front and quotes; a number (number is true) stands as it is, a negative
// one included.
QString csvField(const QString& text, bool number = false)
{
    if (!number && tables::StartsLikeFormula(text)) {
        QString quoted = text;
        quoted.replace(u'"', QStringLiteral("\"\""));
        return QStringLiteral("\"'") + quoted + u'"';
    }
    bool quote = false;
    for (const QChar c : text) {
        if (c == u';' || c == u'"' || c == u'\r' || c == u'\n') {
            quote = true;
            break;
        }
    }
    if (!quote)
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

// A workbook's text reads "_x" + four hexadecimal digits + "_" as the character of that number
// (libxlsxwriter writes control characters so); such a run typed by the user keeps its "_" as
// "_x005F_", so that it reads back as typed.
QString escapedText(const QString& text)
{
    if (!text.contains(QStringLiteral("_x")))
        return text;
    static const QRegularExpression run(QStringLiteral("_(?=x[0-9A-Fa-f]{4}_)"));
    QString escaped = text;
    escaped.replace(run, QStringLiteral("_x005F_"));
    return escaped;
}

QString dateText(const QDate& date)
{
    return date.toString(QStringLiteral("dd.MM.yyyy"));
}

// The text a cell shows, for the column widths and the CSV file.
QString shownText(const TableCell& cell, QChar decimal)
{
    switch (cell.kind) {
    case TableCell::Kind::Empty: return QString();
    case TableCell::Kind::Text: return cell.text;
    case TableCell::Kind::Number: {
        QString text = cell.text;
        if (decimal != u'.')
            text.replace(u'.', decimal);
        return text;
    }
    case TableCell::Kind::Date: return cell.date.isValid() ? dateText(cell.date) : QString();
    }
    return QString();
}

void reportProgress(const TableWriteOptions& options, int rows)
{
    if (options.progress)
        options.progress(rows);
}

// Hands each row's cells to `row` in their order, telling the progress every kProgressEvery
// rows. Returns the number of rows.
template <typename RowFunction>
int forEachRow(const TableSource& table, const TableWriteOptions& options, RowFunction&& row)
{
    QList<TableCell> cells;
    const int rows = table.rowCount();
    for (int r = 0; r < rows; ++r) {
        if (r % kProgressEvery == 0)
            reportProgress(options, r);
        cells.clear();
        table.rowCells(r, cells);
        row(r, cells);
    }
    return rows;
}

// Whether a cell is written as a number: a number cell whose text is a decimal number.
bool isNumber(const TableCell& cell)
{
    return cell.kind == TableCell::Kind::Number && ReadDecimal(cell.text).has_value();
}

void writeCsv(const QString& path, const TableSource& table, const TableWriteOptions& options)
{
    AtomicFile file(path);
    QByteArray chunk("\xEF\xBB\xBF");
    const auto line = [&](const QString& record) {
        chunk += record.toUtf8();
        chunk += "\r\n";
        if (chunk.size() >= 64 * 1024) {
            file.write(chunk);
            chunk.clear();
        }
    };
    QList<TableCell> titles;
    for (const QString& title : table.columnTitles())
        titles << TableCell::textCell(title);
    line(CsvRecord(titles, options.csvDecimal));
    const int rows = forEachRow(table, options, [&](int, const QList<TableCell>& cells) {
        line(CsvRecord(cells, options.csvDecimal));
    });
    file.write(chunk);
    file.commit();
    reportProgress(options, rows);
}

// The day number of a date in a workbook (the 1900 system); 0 for a date before 1 March 1900,
// where that system counts a day that never was.
int serialOf(const QDate& date)
{
    return IsWorkbookDay(date) ? WorkbookDayNumber(date) : 0;
}

class Workbook {
public:
    Workbook(const QString& file, const QString& scratch, const QString& shown)
        : shown_(shown), scratch_(QFile::encodeName(scratch))
    {
        lxw_workbook_options options = {};
        options.constant_memory = LXW_TRUE;
        options.tmpdir = scratch_.data();
        const QByteArray name = QFile::encodeName(file);
        errno = 0;
        workbook_ = workbook_new_opt(name.constData(), &options);
        if (!workbook_)
            Fail(FileCreateErrorText(shown_, SystemErrorText(errno ? errno : ENOMEM)));
    }
    ~Workbook()
    {
        if (workbook_)
            lxw_workbook_free(workbook_);
    }
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    void write(const TableSource& table, const TableWriteOptions& options)
    {
        const QByteArray sheetName = options.sheetName.toUtf8();
        sheet_ = workbook_add_worksheet(workbook_, sheetName.constData());
        if (!sheet_)
            Fail(FileWriteErrorText(shown_, QStringLiteral("недопустимое имя листа")));
        lxw_format* bold = workbook_add_format(workbook_);
        format_set_bold(bold);

        const QStringList titles = table.columnTitles();
        for (int c = 0; c < titles.size(); ++c)
            text(0, c, titles.at(c), bold);
        endRow();
        worksheet_freeze_panes(sheet_, 1, 0);

        const int rows = forEachRow(table, options, [&](int r, const QList<TableCell>& cells) {
            for (int c = 0; c < cells.size(); ++c)
                cell(r + 1, c, cells.at(c));
            endRow();
        });
        for (int c = 0; c < int(widths_.size()); ++c) {
            const double width = std::clamp(widths_[size_t(c)] * 1.1 + 2, kMinWidth, kMaxWidth);
            worksheet_set_column(sheet_, lxw_col_t(c), lxw_col_t(c), width, nullptr);
        }
        errno = 0;
        const lxw_error error = workbook_close(std::exchange(workbook_, nullptr));
        if (error != LXW_NO_ERROR)
            Fail(FileWriteErrorText(shown_, errno ? SystemErrorText(errno)
                                                  : QString::fromUtf8(lxw_strerror(error))));
        reportProgress(options, rows);
    }

    // Rows of the sheet that hold a cell: those the workbook has.
    int rowsWritten() const { return rowsWritten_; }

private:
    void endRow()
    {
        rowsWritten_ += rowHasCell_ ? 1 : 0;
        rowHasCell_ = false;
    }

    void measure(int column, const QString& shown)
    {
        if (int(widths_.size()) <= column)
            widths_.resize(size_t(column) + 1, 0);
        double& width = widths_[size_t(column)];
        width = std::max(width, double(std::min<qsizetype>(shown.size(), qsizetype(kMaxWidth))));
    }

    void check(lxw_error error, int row, int column)
    {
        if (error == LXW_NO_ERROR)
            return;
        Fail(FileWriteErrorText(
            shown_, QStringLiteral("строка %1, столбец %2: ").arg(row + 1).arg(column + 1) +
                        QString::fromUtf8(lxw_strerror(error))));
    }

    void text(int row, int column, const QString& value, lxw_format* format = nullptr)
    {
        if (value.isEmpty())
            return;
        rowHasCell_ = true;
        measure(column, value);
        if (value.size() > kWorksheetCellChars)
            Fail(FileWriteErrorText(shown_, QStringLiteral("строка %1, столбец %2: в ячейке книги "
                                                           "не больше %3 знаков")
                                                .arg(row + 1)
                                                .arg(column + 1)
                                                .arg(kWorksheetCellChars)));
        const QByteArray utf8 = escapedText(value).toUtf8();
        check(worksheet_write_string(sheet_, lxw_row_t(row), lxw_col_t(column), utf8.constData(),
                                     format),
              row, column);
    }

    lxw_format* numberFormat(int decimals)
    {
        auto it = numberFormats_.find(decimals);
        if (it != numberFormats_.end())
            return it->second;
        lxw_format* f = workbook_add_format(workbook_);
        const QByteArray picture = decimals ? "0." + QByteArray(decimals, '0') : QByteArray("0");
        format_set_num_format(f, picture.constData());
        numberFormats_[decimals] = f;
        return f;
    }

    void cell(int row, int column, const TableCell& cell)
    {
        switch (cell.kind) {
        case TableCell::Kind::Empty: return;
        case TableCell::Kind::Text: text(row, column, cell.text); return;
        case TableCell::Kind::Number: {
            const QString stored = WorkbookNumberText(cell.text);
            if (stored.isEmpty()) {
                text(row, column, cell.text);
                return;
            }
            measure(column, cell.text);
            rowHasCell_ = true;
            check(worksheet_write_number(sheet_, lxw_row_t(row), lxw_col_t(column),
                                         stored.toDouble(), numberFormat(decimalsOf(cell.text))),
                  row, column);
            return;
        }
        case TableCell::Kind::Date: {
            const int serial = serialOf(cell.date);
            if (serial == 0) {
                text(row, column, shownText(cell, u'.'));
                return;
            }
            if (!dateFormat_) {
                dateFormat_ = workbook_add_format(workbook_);
                format_set_num_format(dateFormat_, "dd.mm.yyyy");
            }
            measure(column, dateText(cell.date));
            rowHasCell_ = true;
            check(worksheet_write_number(sheet_, lxw_row_t(row), lxw_col_t(column), serial,
                                         dateFormat_),
                  row, column);
            return;
        }
        }
    }

    QString shown_;
    QByteArray scratch_;
    lxw_workbook* workbook_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    lxw_format* dateFormat_ = nullptr;
    std::map<int, lxw_format*> numberFormats_;
    std::vector<double> widths_;
    int rowsWritten_ = 0;
    bool rowHasCell_ = false;
};

// Counts the rows of a worksheet's XML as the parser reads it.
class RowCounter : public tables::XmlSink {
public:
    int rows = 0;
    bool worksheet = false;
    void startElement(std::string_view name, const tables::XmlAttributes&) override
    {
        if (depth_++ == 0)
            worksheet = name == "worksheet";
        rows += name == "row" ? 1 : 0;
    }
    void endElement(std::string_view) override { --depth_; }
    void characters(const char*, int) override {}

private:
    int depth_ = 0;
};

// Why a write that libxlsxwriter did not report failed: a file-size limit when the process has
// one, else a full disk when the folder has (almost) no room left, else an input/output error.
QString likelyWriteFailure(const QString& folder)
{
#if defined(Q_OS_UNIX)
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return SystemErrorText(EFBIG);
    struct statvfs room {};
    if (::statvfs(QFile::encodeName(folder).constData(), &room) == 0 &&
        qint64(room.f_bavail) * qint64(room.f_frsize) < 16 * 1024 * 1024)
        return SystemErrorText(ENOSPC);
#else
    Q_UNUSED(folder);
#endif
    return SystemErrorText(EIO);
}

// libxlsxwriter writes the parts through scratch files and does not report a failed write of
// those (a full disk, a file-size limit): the workbook comes out cut short, "written". So what
// was written is read back before it is put in place: every part whole (its checksum), the
// sheet well-formed and holding every row.
void checkWorkbook(const QString& written, const QString& shown, int rows)
{
    TableLimits limits; // the workbook is our own: no bound but the file system's
    limits.fileBytes = limits.partBytes = limits.partRatioFrom = std::numeric_limits<qint64>::max();
    bool whole = false;
    try {
        tables::SourceFile file(written, limits);
        tables::Package package(file, limits);
        const qint64 sheet = package.find(QStringLiteral("xl/worksheets/sheet1.xml"));
        const qint64 parts = package.partCount();
        whole = sheet >= 0;
        for (qint64 i = 0; whole && i < parts; ++i) {
            RowCounter counter;
            tables::PartReader part(package, i, counter);
            if (i == sheet)
                part.readAll();
            else
                part.readBytes();
            if (i == sheet && (!counter.worksheet || counter.rows != rows))
                whole = false;
        }
    } catch (const Error&) {
        // The reader's own failure (a part cut short, a checksum, the sheet's XML): the
        // workbook is not whole, and the failure named below says why in the user's terms.
        whole = false;
    }
    if (!whole)
        Fail(FileWriteErrorText(shown, likelyWriteFailure(QFileInfo(shown).absolutePath())));
}

void writeWorkbook(const QString& path, const TableSource& table, const TableWriteOptions& options)
{
    // libxlsxwriter writes a file by its name: it writes the atomic save's hidden file itself,
    // which is then synced and put in place. Its scratch files go beside it. It prints every
    // number (cells, widths) with printf: with "." whatever the process's locale.
    const CNumbersHere cNumbers;
    AtomicFile file(path);
    int rows = 0;
    {
        Workbook workbook(file.writablePath(), QFileInfo(file.target()).absolutePath(), path);
        workbook.write(table, options);
        rows = workbook.rowsWritten();
    }
    checkWorkbook(file.temporaryPath(), path, rows);
    file.commit();
}

} // namespace

QString CsvRecord(const QList<TableCell>& cells, QChar decimal)
{
    QString record;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0)
            record += u';';
        record += csvField(shownText(cells.at(i), decimal), isNumber(cells.at(i)));
    }
    return record;
}

TableFormat TableFormatOfPath(const QString& path)
{
    return path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive) ? TableFormat::Csv
                                                                      : TableFormat::Workbook;
}

QString WorkbookNumberText(const QString& decimal)
{
    const std::optional<DecimalValue> wanted = ReadDecimal(decimal);
    if (!wanted)
        return QString();
    // The cell holds the binary number nearest to the decimal, and a spreadsheet reads it back
    // with 15 significant digits: 66.85 is held as 66.849999999999994 and read as 66.85. So every
    // decimal of up to 15 digits comes back as it was; a longer one would not.
    if (wanted->digits.size() > 15 || wanted->exponent > 290 || wanted->exponent < -290)
        return QString();
    bool ok = false;
    const double value = decimal.toDouble(&ok);
    if (!ok)
        return QString();
    const QString stored = QString::number(value, 'G', 15);
    const std::optional<DecimalValue> back = ReadDecimal(stored);
    if (!back || !(*back == *wanted))
        return QString();
    // "-0" reads back as zero all the same.
    return stored;
}

void WriteTableFile(const QString& path, const TableSource& table, TableFormat format,
                    const TableWriteOptions& options)
{
    if (format == TableFormat::Csv)
        writeCsv(path, table, options);
    else
        writeWorkbook(path, table, options);
}

QString TableText(const TableSource& table)
{
    // A spreadsheet reads pasted text as typed text: a text it would take for a formula goes
    // behind an apostrophe, as in a CSV file; numbers stand as they are.
    const auto cellText = [](QString cell, bool number) {
        cell.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        cell.replace(u'\r', u' ');
        cell.replace(u'\n', u' ');
        cell.replace(u'\t', u' ');
        if (!number && tables::StartsLikeFormula(cell))
            cell.prepend(u'\'');
        return cell;
    };
    QStringList titles;
    for (const QString& title : table.columnTitles())
        titles << cellText(title, false);
    QString text = titles.join(u'\t') + u'\n';
    QList<TableCell> cells;
    for (int r = 0; r < table.rowCount(); ++r) {
        cells.clear();
        table.rowCells(r, cells);
        QStringList shown;
        for (const TableCell& cell : cells)
            shown << cellText(shownText(cell, u'.'), cell.kind == TableCell::Kind::Number);
        text += shown.join(u'\t') + u'\n';
    }
    return text;
}

} // namespace varnel
