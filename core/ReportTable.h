#pragma once

#include <QString>
#include <QStringList>

namespace varnel {

// A report column's field as the writers and the checks read it: its name (empty for a column
// that is no field, such as the row number), its type ("N" number, "D" date, anything else
// text) and its empty marker (a value equal to it is not written).
struct ReportField {
    QString name;
    QString type;
    QString empty;
};

// What the document writers read of a report grid: its columns with their descriptor texts,
// and rows of cell texts. Column 0 is the row-number column (its descriptor has no name).
class ReportTable {
public:
    virtual ~ReportTable() = default;
    virtual int columnCount() const = 0;
    virtual QString columnDescriptor(int column) const = 0;
    // The column's field; a table that holds its columns typed gives them as they are, the
    // others have them read from the descriptor text ("name=...;type=...;empty=...").
    virtual ReportField field(int column) const;
    virtual int rowCount() const = 0;
    virtual QString cell(int row, int column) const = 0;
    // The cells of a row as the table keeps them, for readers that go through every cell
    // without a copy of each; a list shorter than the columns ends in empty cells. Null when
    // the table keeps its cells otherwise: cell() is then asked.
    virtual const QStringList* rowCells(int /*row*/) const { return nullptr; }
    // True for the repo report grid (the grid's tag is "REPO").
    virtual bool isRepo() const = 0;
};

// What the writers read of a revocation list: rows of five texts, and the reply type of the
// repo list.
class RevocationList {
public:
    virtual ~RevocationList() = default;
    virtual int rowCount() const = 0;
    // column is 0 to 4.
    virtual QString cell(int row, int column) const = 0;
    virtual QString replyType() const { return QString(); }
};

} // namespace varnel
