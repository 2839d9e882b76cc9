#include "reports/ImportModels.h"

#include "reports/ReportModel.h"

namespace varnel {
namespace {

const QString kNotLoaded = QStringLiteral("не загружать");

} // namespace

ImportMappingModel::ImportMappingModel(const ReportModel& report, ImportMapping mapping,
                                       QList<QStringList> preview, UnfilledFields unfilled,
                                       QObject* parent)
    : QAbstractTableModel(parent), report_(report), mapping_(std::move(mapping)),
      preview_(std::move(preview)), unfilled_(std::move(unfilled))
{
    while (preview_.size() > kPreviewRows)
        preview_.removeLast();
}

QStringList ImportMappingModel::choices() const
{
    QStringList list{kNotLoaded};
    for (int c = 1; c < report_.columnCount(); ++c)
        list << report_.column(c).title;
    return list;
}

void ImportMappingModel::choose(int fileColumn, int reportColumn)
{
    if (fileColumn < 0 || fileColumn >= mapping_.columns.size() || reportColumn < 0 ||
        reportColumn >= report_.columnCount() || mapping_.columns.at(fileColumn) == reportColumn)
        return;
    mapping_.columns[fileColumn] = reportColumn;
    emit dataChanged(index(fileColumn, 1), index(fileColumn, 1));
    emit mappingChanged();
}

QString ImportMappingModel::problem() const
{
    QStringList twice;
    for (const int c : mapping_.doubled())
        twice << QStringLiteral("«") + report_.column(c).title + QStringLiteral("»");
    if (twice.isEmpty())
        return QString();
    return QStringLiteral("Несколько столбцов файла загружаются в одно поле: ") +
           twice.join(QStringLiteral(", "));
}

QString ImportMappingModel::unfilledText() const
{
    const QList<int> lacking = unfilled_.lacking ? unfilled_.lacking(mapping_) : QList<int>();
    QStringList needed;
    QStringList withValue;
    QStringList empty;
    for (const int c : mapping_.unfilled(report_)) {
        const QString title = QStringLiteral("«") + report_.column(c).title + QStringLiteral("»");
        const QString value = unfilled_.values.value(c - 1);
        if (lacking.contains(c))
            needed << title;
        else if (value.trimmed().isEmpty())
            empty << title;
        else
            withValue << title + QStringLiteral(" — ") + value;
    }
    QStringList lines;
    if (!needed.isEmpty())
        lines << QStringLiteral("Без столбца ни одна строка не пройдет проверку сделки: ") +
                     needed.join(QStringLiteral(", ")) + u'.';
    if (!withValue.isEmpty())
        lines << QStringLiteral("Поля без столбца загрузятся со значением по умолчанию: ") +
                     withValue.join(QStringLiteral(", ")) + u'.';
    if (!empty.isEmpty())
        lines << QStringLiteral("Поля без столбца загрузятся пустыми: ") +
                     empty.join(QStringLiteral(", ")) + u'.';
    return lines.join(u'\n');
}

int ImportMappingModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(mapping_.titles.size());
}

int ImportMappingModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2 + int(preview_.size());
}

QVariant ImportMappingModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const int row = index.row();
    switch (index.column()) {
    case 0: return mapping_.titles.value(row);
    case 1: {
        const int c = mapping_.columns.value(row);
        if (role == Qt::EditRole)
            return c;
        return c > 0 ? report_.column(c).title : kNotLoaded;
    }
    default: return preview_.value(index.column() - 2).value(row);
    }
}

QVariant ImportMappingModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    if (section == 0)
        return QStringLiteral("Столбец файла");
    if (section == 1)
        return QStringLiteral("Поле отчета");
    return QStringLiteral("Строка %1").arg(section);
}

RefusedRowsModel::RefusedRowsModel(QList<RefusedRow> rows, QObject* parent)
    : QAbstractTableModel(parent), rows_(std::move(rows)), table_(rows_)
{
}

int RefusedRowsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int RefusedRowsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 4;
}

QVariant RefusedRowsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    const RefusedRow& r = rows_.at(index.row());
    switch (index.column()) {
    case 0: return r.row;
    case 1: return r.field;
    case 2: return r.value;
    default: return r.message;
    }
}

QVariant RefusedRowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return {};
    return table_.columnTitles().value(section);
}

} // namespace varnel
