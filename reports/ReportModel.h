#pragma once

#include "core/ReportTable.h"
#include "reports/DealChecks.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QStringList>

#include <array>

namespace varnel {

struct LayoutField;

// One grid column. Column 0 is the row-number column: no title, no descriptor, no slot.
struct ReportColumn {
    QString descriptor;
    QString name;
    QString title;
    QString type;
    QString format;
    QString def;
    QString empty;
    QString pick;
    int widthTwips = 500;
    Qt::Alignment alignment = Qt::AlignLeft;
    int slot = -1; // the editor slot bound to the column

    static ReportColumn rowNumber();
    // A field's column; widthTwips is the layout's width.
    static ReportColumn of(const LayoutField& field);
};

// The deals of a report, as the grid lvDeals shows them and as the document writers read them.
// Every cell is display text: the item text of a row is its 1-based number, the other cells
// hold the fields of the columns. The rows are kept as the writers walk them (rowCells), so
// saving and sending a report never copy it. The model answers the duplicate rules of the deal
// check from an index of its Reference and Agreement cells, so that checking one more deal does
// not walk every row.
class ReportModel : public QAbstractTableModel, public ReportTable, public DealKeys {
    Q_OBJECT
public:
    explicit ReportModel(bool repo, QObject* parent = nullptr);

    void setColumns(QList<ReportColumn> columns);
    const QList<ReportColumn>& columns() const { return columns_; }
    const ReportColumn& column(int c) const { return columns_.at(c); }
    // Column of the field name (exact case), or -1.
    int columnOfName(const QString& name) const;
    // Column of the field name with letter case ignored, or -1.
    int columnOfNameIgnoringCase(const QString& name) const;

    int rows() const { return int(rows_.size()); }
    // The cells of a row without its number, in column order from column 1.
    QStringList fieldCells(int row) const;
    // Appends a row of field cells (column 1 onwards) and returns its index.
    int appendDeal(const QStringList& fields);
    // Appends rows of field cells at once: one insertion for the views, however many rows.
    void appendDeals(const QList<QStringList>& deals);
    // The same, the deals' own lists becoming the rows: no cell is copied (a big import
    // appends on the window's thread).
    void appendDeals(QList<QStringList>&& deals);
    // Overwrites the field cells of a row.
    void setDeal(int row, const QStringList& fields);
    void removeDeal(int row);
    // Replaces every row; each list holds the row number cell followed by the field cells.
    void resetRows(QList<QStringList> rows);
    // Appends rows of that form at once (a part of a report being read).
    void appendRows(QList<QStringList> rows);
    void clearRows();
    // Item text of row k becomes k + 1, from row first on (the rows before it keep theirs).
    void renumberRows(int first = 0);

    // QAbstractTableModel
    int rowCount(const QModelIndex& parent) const override;
    int columnCount(const QModelIndex& parent) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // ReportTable
    int columnCount() const override { return int(columns_.size()); }
    QString columnDescriptor(int column) const override;
    ReportField field(int column) const override;
    int rowCount() const override { return int(rows_.size()); }
    QString cell(int row, int column) const override;
    const QStringList* rowCells(int row) const override;
    bool isRepo() const override { return repo_; }

    // DealKeys
    bool holds(DealKey key, const QString& text, int exceptRow) const override;

private:
    QStringList fullRow(int number, const QStringList& fields) const;
    // The index of the key cells: built on the first question, then kept up to date by every
    // change of the rows until they are replaced as a whole.
    struct KeyIndex {
        int column = -1;
        QHash<QString, int> rows; // text -> number of rows holding it
    };
    void buildKeys() const;
    void countKeys(const QStringList& row, int step) const;
    void dropKeys();

    bool repo_;
    QList<ReportColumn> columns_;
    QHash<QString, int> byName_;
    QList<QStringList> rows_;
    mutable std::array<KeyIndex, 2> keys_;
    mutable bool keysBuilt_ = false;
};

} // namespace varnel
