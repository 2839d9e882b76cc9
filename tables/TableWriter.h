#pragma once

#include <QChar>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace varnel {

// One cell of a table written to a file.
struct TableCell {
    enum class Kind { Empty, Text, Number, Date };
    Kind kind = Kind::Empty;
    // Text: the text as it stands; Number: the number as decimal text with "." ("-1234.50").
    QString text;
    QDate date; // Date

    static TableCell empty() { return {}; }
    static TableCell textCell(QString t) { return {Kind::Text, std::move(t), {}}; }
    static TableCell numberCell(QString decimal) { return {Kind::Number, std::move(decimal), {}}; }
    static TableCell dateCell(const QDate& d) { return {Kind::Date, {}, d}; }
};

// A table as a writer reads it: the column titles, then the rows one at a time, so that the
// table is never copied whole for the writing.
class TableSource {
public:
    virtual ~TableSource() = default;
    virtual QStringList columnTitles() const = 0;
    virtual int rowCount() const = 0;
    // The cells of row r (0-based), in column order; cells beyond those given are empty.
    virtual void rowCells(int row, QList<TableCell>& cells) const = 0;
};

enum class TableFormat {
    Workbook, // .xlsx: one worksheet
    Csv       // UTF-8 with a byte-order mark, ";" between cells, CR LF after each row
};

// The format a file name asks for: ".csv" (any letter case) is CSV, every other name a
// workbook.
TableFormat TableFormatOfPath(const QString& path);

struct TableWriteOptions {
    QString sheetName = QStringLiteral("Лист1");
    // The decimal separator of numbers in CSV: a file separated by ";" is read by spreadsheets
    // whose numbers have a decimal comma.
    QChar csvDecimal = u',';
    // Learns how many rows are written, every few hundred rows and at the end.
    std::function<void(int rows)> progress;
};

// Writes the table to path through the atomic save, so that path holds either the whole table
// or what it held before: the titles as the first row (bold and frozen in a workbook), then the
// rows. In a workbook texts are text cells, numbers number cells that show the decimals of
// their text, dates date cells shown as dd.mm.yyyy, and the columns are fitted to their widest
// text; a number a workbook cannot hold exactly (see WorkbookNumberText) is written as text. In
// CSV a cell holding ";", a double quote or a line break is quoted, its quotes doubled; numbers
// are written with options.csvDecimal and dates as dd.mm.yyyy. Raises an Error that names path
// and the system's reason.
void WriteTableFile(const QString& path, const TableSource& table, TableFormat format,
                    const TableWriteOptions& options = {});

// The number a spreadsheet reads back from the cell written for a number given as decimal text
// ("1234.50" reads back as "1234.5", "66.85" as "66.85", "0.0001" as "0.0001", 10^20 as
// "1E+20"): the cell holds the binary number nearest to the decimal, read with 15 significant
// digits. Empty when that is not the decimal itself (more than 15 significant digits, or no
// number at all): such a number is written as text.
QString WorkbookNumberText(const QString& decimal);

// One row as a CSV file holds it, without its line end: the cells separated by ";", quoted
// and guarded against formulas as WriteTableFile writes them, numbers with decimal. The
// command-line program prints its tables with it.
QString CsvRecord(const QList<TableCell>& cells, QChar decimal = u',');

// The same table as text: the cells separated by tabs, the rows by line ends, line breaks
// inside a cell turned into blanks, a text a spreadsheet would take for a formula behind an
// apostrophe as in CSV (for the clipboard).
QString TableText(const TableSource& table);

} // namespace varnel
