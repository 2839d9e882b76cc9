#pragma once

#include "reports/ReportKind.h"
#include "tables/TableWriter.h"

#include <QDate>

namespace varnel {

class ReportModel;

// A report's grid as a table to write: the columns' titles (the row-number column left out),
// then the deals. A number cell is written as a number and a date cell as a date wherever the
// file keeps what the grid holds: when the value the file will hold, imported into the field,
// comes back as the very cell. Anything else (a number beyond what a workbook keeps, a cell that
// is no number) is written as text, so that nothing is lost. CSV dates stay as the grid shows
// them.
class ReportExportTable : public TableSource {
public:
    ReportExportTable(const ReportModel& rows, ReportKind kind, TableFormat format,
                      const TableWriteOptions& options = {});

    QStringList columnTitles() const override;
    int rowCount() const override;
    void rowCells(int row, QList<TableCell>& cells) const override;

private:
    TableCell cellOf(int column, const QString& text) const;

    const ReportModel& rows_;
    ReportKind kind_;
    TableFormat format_;
    QChar csvDecimal_;
    QDate today_;
};

} // namespace varnel
