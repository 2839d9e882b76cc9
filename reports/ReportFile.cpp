#include "reports/ReportFile.h"

#include "core/Values.h"
#include "core/XmlLoad.h"
#include "reports/FieldRules.h"
#include "reports/ReportModel.h"

#include <QHash>

#include <algorithm>
#include <limits>
#include <utility>

#include <vector>

namespace varnel {
namespace {

enum class CellKind { None, Text, Date, Number };

// Makes a grid row of a deal's attributes for the columns: the item text is the row number,
// then for each column the attribute of the column's field name (exact case).
class RowBuilder {
public:
    explicit RowBuilder(const QList<ReportColumn>& columns)
    {
        const int width = int(columns.size());
        kinds_.assign(size_t(width), CellKind::None);
        defaults_.reserve(width);
        for (int c = 0; c < width; ++c) {
            const ReportColumn& col = columns.at(c);
            defaults_.append(c == 0 ? QString() : col.def);
            if (c == 0 || col.name.isEmpty())
                continue;
            kinds_[size_t(c)] = col.type.compare(u"D", Qt::CaseInsensitive) == 0 ? CellKind::Date
                                : col.type.compare(u"N", Qt::CaseInsensitive) == 0
                                    ? CellKind::Number
                                    : CellKind::Text;
            byName_.insert(col.name, c);
        }
        // An unnamed column is read as an empty cell, so every later cell keeps its column. A
        // number default is shown in its field's picture, as a deal typed with it shows it: a
        // value left out of the file for equalling its field's empty marker ("0.00" of a field
        // marked "0") comes back as it was.
        for (int c = 1; c < width; ++c) {
            if (kinds_[size_t(c)] == CellKind::None)
                defaults_[c] = QString();
            else if (kinds_[size_t(c)] == CellKind::Number)
                defaults_[c] = NumberDefaultText(defaults_.at(c), columns.at(c).format);
        }
    }

    QStringList row(int number, const QList<QPair<QString, QString>>& attributes)
    {
        // The cells the deal's attributes give, then its defaults in the others.
        const qsizetype width = defaults_.size();
        QStringList row(width);
        given_.assign(size_t(width), false);
        row[0] = QString::number(number);
        const qsizetype count = attributes.size();
        // Deals of one file carry their attributes in one order: the column of the attribute
        // at each position is remembered and checked first.
        if (qsizetype(columnAt_.size()) < count) {
            columnAt_.resize(size_t(count), -1);
            nameAt_.resize(size_t(count));
        }
        for (qsizetype a = 0; a < count; ++a) {
            const auto& [name, value] = attributes.at(a);
            int c;
            if (nameAt_[size_t(a)] == name) {
                c = columnAt_[size_t(a)];
            } else {
                c = byName_.value(name, -1);
                nameAt_[size_t(a)] = name;
                columnAt_[size_t(a)] = c;
            }
            if (c < 0)
                continue;
            given_[size_t(c)] = true;
            switch (kinds_[size_t(c)]) {
            case CellKind::Date:
                row[c] = TrimSpaces(value).isEmpty() ? value : IsoToDisplayDate(value);
                break;
            case CellKind::Number: row[c] = value.isEmpty() ? defaults_.at(c) : value; break;
            default: row[c] = value; break;
            }
        }
        for (qsizetype c = 1; c < width; ++c) {
            if (!given_[size_t(c)])
                row[c] = defaults_.at(c);
        }
        return row;
    }

private:
    std::vector<CellKind> kinds_;
    QHash<QString, int> byName_;
    QStringList defaults_; // the row a deal without attributes gets
    std::vector<int> columnAt_;
    std::vector<QString> nameAt_;
    std::vector<bool> given_; // the cells of the row being made that an attribute gave
};

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
    RowBuilder builder(columns);
    QList<QStringList> rows;
    rows.reserve(std::min(partRows, 4096));
    qsizetype before = 0; // rows handed over in earlier parts
    XmlChildReader reader(path);
    XmlElement element;
    while (reader.next(element)) {
        rows.append(builder.row(int(before + rows.size() + 1), element.attributes));
        if (rows.size() >= partRows) {
            before += rows.size();
            take(std::exchange(rows, {}));
        }
    }
    if (!rows.isEmpty())
        take(std::move(rows));
}

QList<QStringList> ReportFieldsOf(const QList<QList<QPair<QString, QString>>>& deals,
                                  const QList<ReportColumn>& columns)
{
    RowBuilder builder(columns);
    QList<QStringList> fields;
    fields.reserve(deals.size());
    for (const auto& deal : deals) {
        QStringList row = builder.row(int(fields.size()) + 1, deal);
        row.removeFirst();
        fields.append(std::move(row));
    }
    return fields;
}

} // namespace varnel
