#include "reconcile/ReconcileModels.h"

#include <QBrush>
#include <QColor>
#include <QFont>

namespace varnel::reconcile {
namespace {

QString cellText(const TableCell& cell)
{
    switch (cell.kind) {
    case TableCell::Kind::Date: return cell.date.toString(QStringLiteral("dd.MM.yyyy"));
    case TableCell::Kind::Empty: return QString();
    default: return cell.text;
    }
}

// "2024-03-15T10:42:07.123" as "15.03.2024 10:42:07".
QString timeText(const QString& iso)
{
    if (iso.size() < 19)
        return iso;
    return iso.mid(8, 2) + u'.' + iso.mid(5, 2) + u'.' + iso.left(4) + u' ' + iso.mid(11, 8);
}

} // namespace

QString OutcomeText(const SentRequest& request)
{
    switch (request.result) {
    case journal::Result::Waiting: return QStringLiteral("ждет ответа");
    case journal::Result::Rejected: return QStringLiteral("отклонена");
    case journal::Result::Accepted: break;
    }
    if ((request.revoked & journal::RevokedDeal) ||
        ((request.revoked & journal::RevokedInitial) && (request.revoked & journal::RevokedSecond)))
        return QStringLiteral("принята, удалена в реестре");
    if (request.revoked)
        return QStringLiteral("принята, удалена часть ") +
               ((request.revoked & journal::RevokedInitial) ? u'I' : u'S');
    return QStringLiteral("принята");
}

LineListModel::LineListModel(QObject* parent)
    : QAbstractTableModel(parent), titles_(ReconcileTable(ReconcileResult()).columnTitles())
{
}

void LineListModel::show(const ReconcileResult* result)
{
    beginResetModel();
    result_ = result;
    select();
    endResetModel();
}

void LineListModel::setFilter(std::optional<State> state)
{
    beginResetModel();
    filter_ = state;
    select();
    endResetModel();
}

void LineListModel::select()
{
    shown_.clear();
    if (!result_)
        return;
    for (int i = 0; i < result_->lines.size(); ++i) {
        if (!filter_ || result_->lines.at(i).state == *filter_)
            shown_.append(i);
    }
}

const Line* LineListModel::line(int row) const
{
    return result_ && row >= 0 && row < shown_.size() ? &result_->lines.at(shown_.at(row))
                                                      : nullptr;
}

int LineListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(shown_.size());
}

int LineListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(titles_.size());
}

QVariant LineListModel::data(const QModelIndex& index, int role) const
{
    const Line* l = line(index.row());
    if (!l)
        return QVariant();
    if (role == Qt::ForegroundRole) {
        switch (l->state) {
        case State::Rejected:
        case State::Differs:
        case State::Missing: return QBrush(QColor(0xb0, 0x00, 0x00));
        case State::NotSent:
        case State::Waiting: return QBrush(QColor(0x80, 0x60, 0x00));
        default: return QVariant();
        }
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    QList<TableCell> cells;
    ReconcileTable(*result_, &shown_).rowCells(index.row(), cells);
    return index.column() < cells.size() ? cellText(cells.at(index.column())) : QString();
}

QVariant LineListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section >= titles_.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    return titles_.at(section);
}

SentRequestModel::SentRequestModel(QObject* parent) : QAbstractTableModel(parent) {}

void SentRequestModel::show(const Line* line)
{
    beginResetModel();
    line_ = line;
    endResetModel();
}

int SentRequestModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !line_ ? 0 : int(line_->requests.size());
}

int SentRequestModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SentRequestModel::data(const QModelIndex& index, int role) const
{
    if (!line_ || index.row() >= line_->requests.size())
        return QVariant();
    const SentRequest& r = line_->requests.at(index.row());
    if (role == Qt::FontRole && index.row() == line_->decisive) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    switch (index.column()) {
    case File: return r.file;
    case Sent: return timeText(r.sent);
    case Number: return r.n;
    case Outcome: return OutcomeText(r);
    case RegistryId: return r.registryId;
    case Receipt: return timeText(r.receipt);
    case Message: {
        QString text = r.text.isEmpty() ? r.code : r.text;
        if (r.result == journal::Result::Accepted && !r.differences.isEmpty())
            text = QStringLiteral("расходится: ") + DifferencesText(r.differences);
        return text;
    }
    default: return QVariant();
    }
}

QVariant SentRequestModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char16_t* const titles[ColumnCount] = {
        u"Запрос",          u"Отправлен", u"№",        u"Результат",
        u"Номер в реестре", u"Квитанция", u"Сообщение"};
    return section < ColumnCount ? QString::fromUtf16(titles[section]) : QVariant();
}

} // namespace varnel::reconcile
