#include "reports/ReportFile.h"

#include "core/Values.h"
#include "core/XmlLoad.h"
#include "reports/ReportModel.h"

#include <QHash>

#include <limits>
#include <utility>

#include <vector>

namespace varnel {
namespace {

enum class CellKind { None, Text, Date, Number };

} // namespace

QList<QStringList> ReadReportRows(const QString& path, const QList<ReportColumn>& columns)
{
    QList<QStringList> rows;
    ReadReportRowsInParts(path, columns, std::numeric_limits<int>::max(),
                          [&](QList<QStringList>&& part) {
                              if (rows.isEmpty())
                                  rows = std::move(part);
                              else
                                  rows.append(std::move(part));
                          });
    return rows;
}

void ReadReportRowsInParts(const QString& path, const QList<ReportColumn>& columns, int partRows,
                           const std::function<void(QList<QStringList>&& part)>& take)
{
    const int width = int(columns.size());
    std::vector<CellKind> kinds(size_t(width), CellKind::None);
    QHash<QString, int> byName;
    QStringList defaults; // the row a deal without attributes gets
    defaults.reserve(width);
    for (int c = 0; c < width; ++c) {
        const ReportColumn& col = columns.at(c);
        defaults.append(c == 0 ? QString() : col.def);
        if (c == 0 || col.name.isEmpty())
            continue;
        kinds[size_t(c)] = col.type.compare(u"D", Qt::CaseInsensitive) == 0   ? CellKind::Date
                           : col.type.compare(u"N", Qt::CaseInsensitive) == 0 ? CellKind::Number
                                                                              : CellKind::Text;
        byName.insert(col.name, c);
    }
    // An unnamed column is read as an empty cell, so every later cell keeps its column.
    for (int c = 1; c < width; ++c) {
        if (kinds[size_t(c)] == CellKind::None)
            defaults[c] = QString();
    }

    QList<QStringList> rows;
    qsizetype before = 0; // rows handed over in earlier parts
    XmlChildReader reader(path);
    XmlElement element;
    // Deals of one file carry their attributes in one order: the column of the attribute at
    // each position is remembered and checked first.
    std::vector<int> columnAt;
    std::vector<QString> nameAt;
    while (reader.next(element)) {
        QStringList row = defaults;
        row[0] = QString::number(before + rows.size() + 1);
        const qsizetype count = element.attributes.size();
        if (qsizetype(columnAt.size()) < count) {
            columnAt.resize(size_t(count), -1);
            nameAt.resize(size_t(count));
        }
        for (qsizetype a = 0; a < count; ++a) {
            const auto& [name, value] = element.attributes.at(a);
            int c;
            if (nameAt[size_t(a)] == name) {
                c = columnAt[size_t(a)];
            } else {
                c = byName.value(name, -1);
                nameAt[size_t(a)] = name;
                columnAt[size_t(a)] = c;
            }
            if (c < 0)
                continue;
            switch (kinds[size_t(c)]) {
            case CellKind::Date:
                row[c] = TrimSpaces(value).isEmpty() ? value : IsoToDisplayDate(value);
                break;
            case CellKind::Number: row[c] = value.isEmpty() ? columns.at(c).def : value; break;
            default: row[c] = value; break;
            }
        }
        rows.append(std::move(row));
        if (rows.size() >= partRows) {
            before += rows.size();
            take(std::exchange(rows, {}));
        }
    }
    if (!rows.isEmpty())
        take(std::move(rows));
}

} // namespace varnel
