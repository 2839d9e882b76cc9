#pragma once

#include "handbook/viewer/WorkbookPlace.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class QWidget;

namespace varnel {

// A worksheet as a spreadsheet holds a pasted page: tables cell for cell, every other line of
// text a row of its own in the first column.
struct SheetCell {
    enum class Type { Empty, Text, Number, Date };
    Type type = Type::Empty;
    QString text;        // as the page shows it
    double value = 0;    // Number: the number; Date: the spreadsheet's day number
    int decimals = 0;    // Number: digits after the point, kept by its format
    bool header = false; // a table header cell: bold and centred
};

struct SheetMerge {
    int firstRow = 0;
    int firstColumn = 0;
    int lastRow = 0;
    int lastColumn = 0;
};

struct Sheet {
    QList<QList<SheetCell>> rows;
    QList<SheetMerge> merges;
    QList<double> columnWidths; // in characters; set by FitColumns

    int columnCount() const;
    // The cell, or an empty one beyond the rows and columns held.
    SheetCell cell(int row, int column) const;
};

// What a text becomes in a cell: a number when it is plain decimal text (a leading zero only
// before the point, at most 15 digits, so codes and long identifiers stay text), a date for
// dd.mm.yyyy or yyyy-mm-dd, else text. Blanks (no-break ones too) around it are dropped.
SheetCell ClassifyCellText(const QString& text);

// Reads a page (HTML, in the encoding it declares) into a sheet; the encoding the HTML parser
// found goes to *encoding ("UTF-8" when the page declares none). Raises when the page does not
// fit a worksheet.
Sheet ReadPageSheet(const QByteArray& html, QString* encoding = nullptr);

// Looks through the rows from the top, and each row from the left, for the first cell whose
// text, trimmed and in upper case, contains "SAVE AS"; empties it and removes the rows from the
// first down to that one. Returns the number of rows removed (0 when there is no such cell).
int RemoveRowsToSaveAs(Sheet& sheet);
// Fits every column to its widest cell (merged cells do not count, as the spreadsheet's own
// fitting ignores them).
void FitColumns(Sheet& sheet);
// The sheet as text: cells separated by tabs, rows by line ends.
QString SheetText(const Sheet& sheet);

// Writes the sheet as an .xlsx workbook (one worksheet "Лист1") to path, which the caller has
// created; libxlsxwriter keeps its own scratch files in scratchFolder. Raises with the system's
// reason; the file may then hold a part of the workbook.
void WriteWorkbook(const Sheet& sheet, const QString& path, const QString& scratchFolder);

// Writes the workbook to path through a scratch file beside it, so that path holds either the
// complete workbook or what it held before. Raises with the system's reason.
void SaveWorkbook(const Sheet& sheet, const QString& path);

// The export of a shown page (an HTML file): read into a sheet; put on the clipboard as HTML
// and as text; its heading down to the "SAVE AS" line removed; columns fitted; written to a new
// workbook in the workbook folder (WorkbookFolder), named after baseName and the time; then
// opened (ShowWorkbook). A
// busy cursor shows while it works. Raises on failure (nothing is left under the workbook's
// name then). Returns the workbook's path.
QString ExportPageToWorkbook(QWidget* parent, const QString& pageFile, const QString& baseName);

} // namespace varnel
