#pragma once

#include "reports/DealImport.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

#include <functional>

namespace varnel {

class ReportModel;

// What the column dialog says of the fields no column of the file fills: the value each gets
// (column 1 onwards, UntouchedFields), and for a mapping the fields no row could pass without
// (ImportMapping::lacking). Either may be left out: the fields are then said to stay empty, and
// none to be lacking.
struct UnfilledFields {
    QStringList values;
    std::function<QList<int>(const ImportMapping&)> lacking;
};

// The mapping the import dialog edits, free of widgets: one row per column of the file, with
// its title, the field it goes to and its first values. Column 1 (the field) is edited by the
// index of a choice (choices(): "не загружать", then the report's fields by their titles).
class ImportMappingModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kPreviewRows = 3;

    ImportMappingModel(const ReportModel& report, ImportMapping mapping, QList<QStringList> preview,
                       UnfilledFields unfilled = {}, QObject* parent = nullptr);

    const ImportMapping& mapping() const { return mapping_; }
    // "не загружать", then the title of each report column (1 onwards).
    QStringList choices() const;
    // The choice of a file column, and choosing: 0 leaves the column out, k the report column k.
    int choice(int fileColumn) const { return mapping_.columns.value(fileColumn); }
    void choose(int fileColumn, int reportColumn);

    // What keeps the mapping from being taken: fields chosen twice; empty when it can be.
    QString problem() const;
    // What the fields no column fills get, a line each: those no row could pass without, those
    // that get a value (a default) with that value, and those that stay empty.
    QString unfilledText() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    // The mapping changed: what problem() and unfilledText() say may have too.
    void mappingChanged();

private:
    const ReportModel& report_;
    ImportMapping mapping_;
    QList<QStringList> preview_;
    UnfilledFields unfilled_;
};

// The refused rows of an import, as the result list shows them.
class RefusedRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RefusedRowsModel(QList<RefusedRow> rows, QObject* parent = nullptr);

    const QList<RefusedRow>& rows() const { return rows_; }
    const TableSource& table() const { return table_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<RefusedRow> rows_;
    RefusedRowsTable table_;
};

} // namespace varnel
