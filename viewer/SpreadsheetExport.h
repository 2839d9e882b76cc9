#pragma once

#include "core/Outcome.h"
#include "core/Progress.h"
#include "viewer/WorkbookPlace.h"

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

// Blanks as a page's text has them: space, tab, line ends, form feed and the no-break space.
bool IsPageBlank(QChar c);

// Reads a page (HTML, in the encoding it declares) into a sheet; the encoding the HTML parser
// found goes to *encoding ("UTF-8" when the page declares none). Raises when the page does not
// fit a worksheet, and refuses a start tag of more than xmlguard::kMaxAttributes attributes with
// the loading rule's text (the page's path and the tag's line and column).
Sheet ReadPageSheet(const QByteArray& html, QString* encoding = nullptr);
// The same from a file, read a piece at a time: progress learns the bytes read and the file's
// size after each piece (and may stop the reading by raising). Raises with the system's reason
// when the file cannot be read.
Sheet ReadPageSheetFile(const QString& path, QString* encoding = nullptr,
                        const std::function<void(qint64 read, qint64 size)>& progress = {});

// A page read a piece at a time from wherever it is kept: read fills data with up to size bytes
// and returns how many (0 at the end), raising when the page cannot be read; size is the page's
// length in bytes, name what a refusal calls it (its file, as a rule).
struct PageSource {
    QString name;
    qint64 size = 0;
    std::function<qint64(char* data, qint64 size)> read;
};
// The page's source of a file. Raises with the system's reason when the file cannot be opened.
PageSource PageFileSource(const QString& path);
// The same as ReadPageSheetFile from a source; the bytes read, when wanted, also go to *bytes.
Sheet ReadPageSheetSource(const PageSource& page, QString* encoding = nullptr,
                          const std::function<void(qint64 read, qint64 size)>& progress = {},
                          QByteArray* bytes = nullptr);

// The same, handing the rows on as they are read: made learns, in order, every batch of rows
// that nothing read later changes (numbered on from the previous batch's; the merged ranges in
// the batch start and end in its rows), the rows at the page's end included (trailing empty rows
// are not dropped). Raises as ReadPageSheetSource, and as made does.
// made and progress return false to stop the reading, which then returns false (true when the
// page was read to its end).
bool ReadPageSheetRows(const PageSource& page, const std::function<bool(Sheet& rows)>& made,
                       QString* encoding = nullptr,
                       const std::function<bool(qint64 read, qint64 size)>& progress = {},
                       QByteArray* bytes = nullptr);

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
// created; libxlsxwriter keeps its own scratch files in scratchFolder. rowsWritten, when given,
// learns how many rows are in after each hundred. Raises with the system's reason (naming
// shownPath, when given, for the file); the file may then hold a part of the workbook.
void WriteWorkbook(const Sheet& sheet, const QString& path, const QString& scratchFolder,
                   const std::function<void(int rows)>& rowsWritten = {},
                   const QString& shownPath = QString());

// Writes the workbook to path through a hidden file beside it, so that path holds either the
// complete workbook or what it held before. Raises with the system's reason.
void SaveWorkbook(const Sheet& sheet, const QString& path,
                  const std::function<void(int rows)>& rowsWritten = {});

// What the export of a page made: the workbook, and the page as the clipboard takes it (its
// markup, and its text as cells separated by tabs).
struct PageExport {
    QString workbook;
    QString html;
    QString text;
};

// The export of a shown page, read a piece at a time from its source: its heading down to the
// "SAVE AS" line removed, its columns fitted, written row by row to a new workbook in the
// workbook folder (WorkbookFolder), named after baseName and the time, which goes in place
// whole. Tells progress how far the reading has come and ends cancelled when it asks to stop;
// failed with the reason otherwise. Nothing is left under the workbook's name unless it is done.
Outcome ExportPage(const PageSource& page, const QString& baseName, Progress& progress,
                   PageExport* made);

} // namespace varnel
