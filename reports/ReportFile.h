#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>

namespace varnel {

struct ReportColumn;

// Reads the deals of a report file for the given grid columns, one row per child of the
// document element: the item text is the row number, then for each column the attribute of
// the column's field name (exact case). A date attribute in the file form yyyy-mm-dd is shown
// as dd.mm.yyyy, an empty number attribute and a missing attribute give the column's default
// text; attributes of no field are ignored. The file is streamed, never held as a whole
// document. Raises the XML loading rule's errors; nothing is returned then.
QList<QStringList> ReadReportRows(const QString& path, const QList<ReportColumn>& columns);

// The same, handing the rows over in parts of at most partRows rows, each as soon as it has been
// read (the rows of a big report can be shown while the rest is still being read). The parts
// handed over before a failure stand; the failure is raised after them.
void ReadReportRowsInParts(const QString& path, const QList<ReportColumn>& columns, int partRows,
                           const std::function<void(QList<QStringList>&& part)>& take);

// Deals given as the attributes of their rows in a report document (as a request carried
// them), made into field cells (column 1 onwards) for the columns exactly as a report file's
// rows are read, ready for ReportDocument::appendDeals.
QList<QStringList> ReportFieldsOf(const QList<QList<QPair<QString, QString>>>& deals,
                                  const QList<ReportColumn>& columns);

} // namespace varnel
