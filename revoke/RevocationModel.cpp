#include "revoke/RevocationModel.h"

namespace varnel {
namespace {

const char16_t* const kDealHeaders[RevocationModel::kColumns] = {
    u"Id сделки", u"Договор", u"Внутр.номер", u"Участник", u"Причина удаления"};
const char16_t* const kRepoHeaders[RevocationModel::kColumns] = {
    u"Id сделки", u"Договор", u"Внутр.номер", u"Часть сделки РЕПО", u"Участник"};

} // namespace

RevocationModel::RevocationModel(RevocationKind kind, QObject* parent)
    : QAbstractTableModel(parent), kind_(kind)
{
}

int RevocationModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rowCount();
}

int RevocationModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant RevocationModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumns)
        return QVariant();
    if (role == Qt::DisplayRole)
        return rows_.at(index.row()).at(index.column());
    return QVariant();
}

QVariant RevocationModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return section + 1;
    if (section < 0 || section >= kColumns)
        return QVariant();
    return QString::fromUtf16(kind_ == RevocationKind::Repo ? kRepoHeaders[section]
                                                            : kDealHeaders[section]);
}

bool RevocationModel::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > rowCount())
        return false;
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    rows_.remove(row, count);
    endRemoveRows();
    return true;
}

QString RevocationModel::cell(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= kColumns)
        return QString();
    return rows_.at(row).at(column);
}

QStringList RevocationModel::padded(const QStringList& cells)
{
    QStringList out = cells.mid(0, kColumns);
    while (out.size() < kColumns)
        out.append(QString());
    return out;
}

void RevocationModel::appendRow(const QStringList& cells)
{
    const int at = rowCount();
    beginInsertRows(QModelIndex(), at, at);
    rows_.append(padded(cells));
    endInsertRows();
}

void RevocationModel::replaceCells(int row, const QStringList& cells)
{
    if (row < 0 || row >= rowCount() || cells.isEmpty())
        return;
    QStringList& target = rows_[row];
    const int n = int(qMin(cells.size(), qsizetype(kColumns)));
    for (int c = 0; c < n; ++c)
        target[c] = cells.at(c);
    emit dataChanged(index(row, 0), index(row, n - 1), {Qt::DisplayRole});
}

} // namespace varnel
