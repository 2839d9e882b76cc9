#pragma once

#include "tables/TableLimits.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace varnel {

// One row of a table file: its cells as texts, and its number: in a workbook the row's number
// on its sheet (the row the user sees in the spreadsheet, rows absent from the sheet counted);
// in a CSV file its count among the records, the first row that is not empty being 1 (the title
// row). Rows with no text in any cell are not returned.
//
// The cells come in one of two forms: with columns empty, cells[k] is the cell of column k
// (0-based); otherwise cells[k] is the cell of column columns[k] (ascending) and the columns
// between are empty. A workbook's row with gaps comes in the second form, so that a row with
// one cell far to the right costs that one cell. Read them through cell() and width().
struct TableRecord {
    int number = 0;
    QStringList cells;
    QList<int> columns;

    // The text of a column (0-based); empty beyond the row's last cell.
    QString cell(int column) const;
    // The number of columns up to the row's last cell.
    int width() const;
    // The first `count` columns (all up to the last cell when count is negative), each a text.
    QStringList row(int count = -1) const;
};

// A table file read a row at a time. Every failure raises an Error whose text names the file
// and what is wrong with it (a damaged or foreign file, a bound passed, the file changed while
// it was read), with the row where there is one. After a failure the reader gives nothing more.
class TableReader {
public:
    virtual ~TableReader() = default;
    // The next row that is not empty; false after the last one, once the whole file has been
    // read and found unchanged.
    virtual bool next(TableRecord& record) = 0;
    // How far the reading has come, in units of total() (bytes).
    virtual qint64 done() const = 0;
    virtual qint64 total() const = 0;
    // "CSV (Windows-1251, «;»)", "книга .xlsx", for the messages and the tests.
    virtual QString description() const = 0;
};

// Opens a table file by what it holds, whatever its name: a workbook (.xlsx) by its zip
// container, a CSV text otherwise. A workbook of the older binary format, a password-protected
// workbook, an OpenDocument spreadsheet, any other zip or binary file, a link, a device or a
// file beyond the limits is refused with a text that says so. Raises an Error.
std::unique_ptr<TableReader> OpenTableFile(const QString& path, const TableLimits& limits = {});

} // namespace varnel
