#include "reports/ReportModel.h"

#include "reports/ReportLayout.h"

#include <algorithm>

namespace varnel {

ReportColumn ReportColumn::rowNumber()
{
    return ReportColumn();
}

ReportColumn ReportColumn::of(const LayoutField& field)
{
    ReportColumn c;
    c.descriptor = field.descriptor();
    c.name = field.name;
    c.title = field.title;
    c.type = field.type;
    c.format = field.format;
    c.def = field.def;
    c.empty = field.empty;
    c.pick = field.pick;
    c.widthTwips = field.widthTwips;
    c.alignment = field.alignment;
    c.slot = field.slot;
    return c;
}

ReportModel::ReportModel(bool repo, QObject* parent) : QAbstractTableModel(parent), repo_(repo) {}

void ReportModel::setColumns(QList<ReportColumn> columns)
{
    beginResetModel();
    rows_.clear();
    dropKeys();
    columns_ = std::move(columns);
    byName_.clear();
    for (int c = 1; c < int(columns_.size()); ++c) {
        if (!columns_.at(c).name.isEmpty() && !byName_.contains(columns_.at(c).name))
            byName_.insert(columns_.at(c).name, c);
    }
    endResetModel();
}

int ReportModel::columnOfName(const QString& name) const
{
    return byName_.value(name, -1);
}

int ReportModel::columnOfNameIgnoringCase(const QString& name) const
{
    for (int c = 1; c < int(columns_.size()); ++c) {
        if (columns_.at(c).name.compare(name, Qt::CaseInsensitive) == 0)
            return c;
    }
    return -1;
}

QStringList ReportModel::fullRow(int number, const QStringList& fields) const
{
    QStringList row;
    row.reserve(columns_.size());
    row.append(QString::number(number));
    for (int c = 1; c < int(columns_.size()); ++c)
        row.append(fields.value(c - 1));
    return row;
}

QStringList ReportModel::fieldCells(int row) const
{
    const QStringList& cells = rows_.at(row);
    QStringList out;
    out.reserve(columns_.size());
    for (int c = 1; c < int(columns_.size()); ++c)
        out.append(cells.value(c));
    return out;
}

int ReportModel::appendDeal(const QStringList& fields)
{
    const int row = int(rows_.size());
    appendDeals({fields});
    return row;
}

void ReportModel::appendDeals(const QList<QStringList>& deals)
{
    if (deals.isEmpty())
        return;
    const int first = int(rows_.size());
    beginInsertRows(QModelIndex(), first, first + int(deals.size()) - 1);
    rows_.reserve(first + deals.size());
    for (const QStringList& fields : deals) {
        rows_.append(fullRow(int(rows_.size()) + 1, fields));
        countKeys(rows_.constLast(), +1);
    }
    endInsertRows();
}

void ReportModel::appendDeals(QList<QStringList>&& deals)
{
    if (deals.isEmpty())
        return;
    const int first = int(rows_.size());
    beginInsertRows(QModelIndex(), first, first + int(deals.size()) - 1);
    rows_.reserve(first + deals.size());
    for (QStringList& fields : deals) {
        fields.resize(columns_.size() - 1);
        fields.prepend(QString::number(rows_.size() + 1));
        rows_.append(std::move(fields));
        countKeys(rows_.constLast(), +1);
    }
    endInsertRows();
}

void ReportModel::setDeal(int row, const QStringList& fields)
{
    countKeys(rows_.at(row), -1);
    rows_[row] = fullRow(row + 1, fields);
    countKeys(rows_.at(row), +1);
    emit dataChanged(index(row, 0), index(row, int(columns_.size()) - 1));
}

void ReportModel::removeDeal(int row)
{
    beginRemoveRows(QModelIndex(), row, row);
    countKeys(rows_.at(row), -1);
    rows_.removeAt(row);
    endRemoveRows();
}

void ReportModel::resetRows(QList<QStringList> rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    dropKeys();
    endResetModel();
}

void ReportModel::appendRows(QList<QStringList> rows)
{
    if (rows.isEmpty())
        return;
    if (rows_.isEmpty()) {
        resetRows(std::move(rows));
        return;
    }
    const int first = int(rows_.size());
    beginInsertRows(QModelIndex(), first, first + int(rows.size()) - 1);
    for (QStringList& row : rows) {
        rows_.append(std::move(row));
        countKeys(rows_.constLast(), +1);
    }
    endInsertRows();
}

void ReportModel::clearRows()
{
    resetRows({});
}

void ReportModel::renumberRows(int from)
{
    int first = -1;
    int last = -1;
    for (int r = std::max(from, 0); r < int(rows_.size()); ++r) {
        QStringList& cells = rows_[r];
        const QString number = QString::number(r + 1);
        if (cells.isEmpty()) {
            cells.append(number);
        } else if (cells.at(0) != number) {
            cells[0] = number;
        } else {
            continue;
        }
        if (first < 0)
            first = r;
        last = r;
    }
    if (first >= 0)
        emit dataChanged(index(first, 0), index(last, 0), {Qt::DisplayRole});
}

int ReportModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int ReportModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant ReportModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(rows_.size()) ||
        index.column() >= int(columns_.size()))
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: return rows_.at(index.row()).value(index.column());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(columns_.at(index.column()).alignment | Qt::AlignVCenter);
    default: return QVariant();
    }
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= int(columns_.size()))
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return columns_.at(section).title;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(columns_.at(section).alignment | Qt::AlignVCenter);
    return QVariant();
}

QString ReportModel::columnDescriptor(int column) const
{
    return column >= 0 && column < int(columns_.size()) ? columns_.at(column).descriptor
                                                        : QString();
}

ReportField ReportModel::field(int column) const
{
    if (column < 0 || column >= int(columns_.size()))
        return {};
    const ReportColumn& c = columns_.at(column);
    return {c.name, c.type, c.empty};
}

QString ReportModel::cell(int row, int column) const
{
    if (row < 0 || row >= int(rows_.size()))
        return QString();
    return rows_.at(row).value(column);
}

void ReportModel::dropKeys()
{
    keysBuilt_ = false;
    for (KeyIndex& k : keys_)
        k.rows.clear();
}

void ReportModel::buildKeys() const
{
    keys_[size_t(DealKey::Reference)].column =
        columnOfNameIgnoringCase(QStringLiteral("REFERENCE"));
    keys_[size_t(DealKey::Agreement)].column =
        columnOfNameIgnoringCase(QStringLiteral("AGREEMENT"));
    for (KeyIndex& k : keys_) {
        k.rows.clear();
        k.rows.reserve(rows_.size());
    }
    keysBuilt_ = true;
    for (const QStringList& row : rows_)
        countKeys(row, +1);
}

void ReportModel::countKeys(const QStringList& row, int step) const
{
    if (!keysBuilt_)
        return;
    for (KeyIndex& k : keys_) {
        if (k.column < 0 || k.column >= row.size() || row.at(k.column).isEmpty())
            continue;
        const auto it = k.rows.find(row.at(k.column));
        if (it == k.rows.end())
            k.rows.insert(row.at(k.column), step);
        else if ((*it += step) <= 0)
            k.rows.erase(it);
    }
}

bool ReportModel::holds(DealKey key, const QString& text, int exceptRow) const
{
    if (text.isEmpty() || rows_.isEmpty())
        return false;
    if (!keysBuilt_)
        buildKeys();
    const KeyIndex& k = keys_[size_t(key)];
    if (k.column < 0)
        return false;
    int count = k.rows.value(text);
    if (exceptRow >= 0 && exceptRow < rows_.size() && rows_.at(exceptRow).value(k.column) == text)
        --count;
    return count > 0;
}

const QStringList* ReportModel::rowCells(int row) const
{
    return row >= 0 && row < int(rows_.size()) ? &rows_.at(row) : nullptr;
}

} // namespace varnel
