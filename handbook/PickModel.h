#pragma once

#include "handbook/LargeAllocator.h"
#include "handbook/PickDefinition.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QStringView>

#include <memory>
#include <vector>

namespace varnel {

struct XmlElement;

// The rows of a pick list: a handbook of a hundred thousand instruments or a short fixed list.
// The cells live in one text, so a large list costs little more than its characters; the view
// asks only for the rows it paints. Sorting goes through a permutation of the rows and is kept
// per column, so the second sort of a column (the other direction) costs one pass.
class PickModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit PickModel(QObject* parent = nullptr);
    ~PickModel() override;

    // Drops rows and columns and sets new columns.
    void setColumns(const QList<PickColumn>& columns);
    const QList<PickColumn>& columns() const { return columns_; }
    // Drops the rows.
    void clearRows();

    // Filling: between beginRows() and endRows() rows are appended without notifying views
    // row by row. The rows come in document order.
    // `expectedBytes`, the size of the file the rows come from, lets the storage be reserved
    // once the first rows show how large a row is.
    void beginRows(qint64 expectedBytes = 0);
    // A handbook row: the cell of each column is the element's attribute of the column's name
    // (empty when missing), shortened as the list shows it.
    void appendElement(const XmlElement& element);
    // A row given cell by cell (missing cells empty, extra cells dropped).
    void appendRow(const QStringList& cells);
    void endRows();

    int rowTotal() const { return rows_; }
    // Cell of the row at a position of the list as currently sorted.
    QStringView cellAt(int row, int column) const;
    QStringList rowCells(int row) const;

    // Sorts by the text of a column as a list control's text sort does: letter case aside, by
    // the user's locale. Rows with equal texts keep their document order in both directions.
    void sortByColumn(int column, bool ascending);
    // The header image of the sorted column (the dialog's "Asc" and "Desc" images).
    void setSortImage(int column, const QIcon& image);

    // First row at or after `from` (list order) whose text in the column begins with (or, with
    // `inside`, contains) the needle, letter case aside; -1 when none. No wrap-around.
    int findRow(int column, const QString& needle, bool inside, int from) const;
    // Prepares what a search in the column goes through (kept until the order changes).
    void prepareSearch(int column) const;

    // The list position of a row given by its document index, and the other way round.
    int rowOfDocumentIndex(int index) const;
    int documentIndexOf(int row) const;

    // QAbstractTableModel
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct ColumnOrder;
    struct SearchText;

    QStringView documentCell(int index, int column) const;
    const ColumnOrder& orderOf(int column);
    void applyOrder(LargeVector<int> order);
    void dropCaches();
    void pushCellEnd();

    QList<PickColumn> columns_;
    int rows_ = 0;
    LargeVector<char16_t> text_;  // every cell, row after row
    LargeVector<quint32> starts_; // where each cell begins; one more at the end
    LargeVector<int> order_;      // list position -> document index
    LargeVector<int> position_;   // document index -> list position
    // Where each column's attribute was in the previous row's element: rows of one file
    // almost always list their attributes in one order.
    std::vector<int> attributeHint_;
    std::vector<std::unique_ptr<ColumnOrder>> orders_;
    std::unique_ptr<SearchText> search_;
    int imageColumn_ = -1;
    QIcon image_;
    bool filling_ = false;
    int firstNewRow_ = 0;
    qint64 expectedBytes_ = 0;
    qint64 sampleBytes_ = 0; // file bytes the first rows of a filling took, as estimated
};

} // namespace varnel
