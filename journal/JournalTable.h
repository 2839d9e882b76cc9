#pragma once

#include "tables/TableWriter.h"

namespace varnel::journal {

class RequestListModel;

// The journal's list of requests as a table for a workbook or a CSV file: the columns the
// window shows, with the participant and what the registry said of the request as a whole.
// Counts are numbers; the time stays text (dd.MM.yyyy HH:mm:ss) as the list shows it.
class RequestTable : public TableSource {
public:
    explicit RequestTable(const RequestListModel& list) : list_(list) {}

    QStringList columnTitles() const override;
    int rowCount() const override;
    void rowCells(int row, QList<TableCell>& cells) const override;

private:
    const RequestListModel& list_;
};

} // namespace varnel::journal
