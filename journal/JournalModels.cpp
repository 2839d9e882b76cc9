#include "journal/JournalModels.h"

#include "messages/RequestKinds.h"

#include <QBrush>
#include <QColor>

namespace varnel::journal {

QString SentTimeText(const QString& isoTime)
{
    // yyyy-MM-ddTHH:mm:ss[.zzz] -> dd.MM.yyyy HH:mm:ss
    if (isoTime.size() < 19 || isoTime.at(4) != u'-' || isoTime.at(10) != u'T')
        return isoTime;
    return isoTime.mid(8, 2) + u'.' + isoTime.mid(5, 2) + u'.' + isoTime.left(4) + u' ' +
           isoTime.mid(11, 8);
}

QString RequestKindTitle(const RequestEntry& entry)
{
    if (entry.answerOnly)
        return AnswerKindTitle(AnswerKindOf(entry.kind));
    const RequestKind* kind = FindRequestKind(entry.kind);
    return kind ? kind->titleText() : entry.kind;
}

QString ResultText(const DealEntry& deal)
{
    switch (deal.result) {
    case Result::Waiting: return QStringLiteral("ждет ответа");
    case Result::Rejected:
        return deal.correctedIn.isEmpty()
                   ? QStringLiteral("отклонена")
                   : QStringLiteral("исправлена в запросе ") + deal.correctedIn;
    case Result::Accepted: break;
    }
    if (deal.revoked & RevokedDeal)
        return QStringLiteral("принята, удалена в реестре");
    const bool initial = deal.revoked & RevokedInitial;
    const bool second = deal.revoked & RevokedSecond;
    if (initial && second)
        return QStringLiteral("принята, удалена в реестре");
    if (initial || second)
        return QStringLiteral("принята, удалена часть ") + (initial ? u'I' : u'S');
    return QStringLiteral("принята");
}

QString ParticipantText(const RequestEntry& entry)
{
    if (entry.firstDealParticipant.isEmpty())
        return entry.participant;
    if (entry.firstDealParticipant != entry.lastDealParticipant)
        return QStringLiteral("разные участники");
    return entry.firstDealParticipant;
}

QList<Attributes> FieldsOf(const QList<DealEntry>& deals)
{
    QList<Attributes> fields;
    fields.reserve(deals.size());
    for (const DealEntry& d : deals) {
        if (d.correctedIn.isEmpty())
            fields.append(d.fields);
    }
    return fields;
}

QList<QStringList> RevocationRowsOf(const QList<DealEntry>& deals, bool repo)
{
    QList<QStringList> rows;
    for (const DealEntry& d : deals) {
        if (d.result != Result::Accepted || d.registryId.isEmpty() || (d.revoked & RevokedDeal))
            continue;
        if (!repo) {
            rows.append({d.registryId, d.agreement, d.reference, d.participant, QString()});
            continue;
        }
        for (const auto& [part, bit] : {std::pair{u"I", RevokedInitial}, {u"S", RevokedSecond}}) {
            if (!(d.revoked & bit))
                rows.append({d.registryId, d.agreement, d.reference, QString::fromUtf16(part),
                             d.participant});
        }
    }
    return rows;
}

// ---- RequestListModel

RequestListModel::RequestListModel(QObject* parent) : QAbstractTableModel(parent) {}

Outcome RequestListModel::reload(JournalStore* store, const RequestFilter& filter)
{
    QList<RequestEntry> rows;
    if (const Outcome read = StoreOutcome([&] {
            if (store && store->isOpen())
                rows = store->requests(filter);
            return Outcome::Done();
        });
        !read.done())
        return read;
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
    return Outcome::Done();
}

void RequestListModel::clear()
{
    beginResetModel();
    rows_.clear();
    endResetModel();
}

int RequestListModel::rowOf(qint64 id, bool answerOnly) const
{
    for (int r = 0; r < rows_.size(); ++r) {
        if (rows_.at(r).id == id && rows_.at(r).answerOnly == answerOnly)
            return r;
    }
    return -1;
}

int RequestListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int RequestListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RequestListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return QVariant();
    const RequestEntry& e = rows_.at(index.row());
    if (role == Qt::TextAlignmentRole)
        return index.column() >= Deals ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    if (role == Qt::ForegroundRole) {
        if (index.column() == Rejected && e.openRejected() > 0)
            return QBrush(QColor(0xb0, 0x00, 0x00));
        return QVariant();
    }
    if (role == Qt::ToolTipRole) {
        if (index.column() == Rejected && e.corrected > 0)
            return QStringLiteral("Исправлено в последующих запросах: %1").arg(e.corrected);
        return e.text.isEmpty() ? QVariant() : QVariant(e.text);
    }
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case Time: return SentTimeText(e.sent);
    case Kind: return RequestKindTitle(e);
    case File: return e.file;
    case Deals: return e.deals;
    case Accepted: return e.accepted;
    case Rejected: return e.rejected;
    case Waiting: return e.answerOnly ? QVariant() : QVariant(std::max(e.waiting(), 0));
    default: return QVariant();
    }
}

QVariant RequestListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char16_t* const titles[ColumnCount] = {
        u"Время", u"Вид", u"Файл", u"Сделок", u"Принято", u"Отклонено", u"Ждут ответа"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf16(titles[section]) : QString();
}

// ---- DealListModel

DealListModel::DealListModel(QObject* parent) : QAbstractTableModel(parent) {}

Outcome DealListModel::show(JournalStore* store, const RequestEntry& request)
{
    QList<DealEntry> first;
    const bool deals = store && store->isOpen() && !request.answerOnly;
    // (Within the model, Outcome is the column of a deal's result.)
    if (const varnel::Outcome read = StoreOutcome([&] {
            if (deals)
                first = store->deals(request.id, 0, kPage);
            return varnel::Outcome::Done();
        });
        !read.done())
        return read;
    beginResetModel();
    store_ = deals ? store : nullptr;
    request_ = deals ? request.id : 0;
    total_ = deals ? request.deals : 0;
    rows_ = std::move(first);
    endResetModel();
    return varnel::Outcome::Done();
}

void DealListModel::clear()
{
    beginResetModel();
    store_ = nullptr;
    request_ = 0;
    total_ = 0;
    rows_.clear();
    endResetModel();
}

bool DealListModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && store_ && rows_.size() < total_;
}

void DealListModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    QList<DealEntry> page;
    // A page that cannot be read ends the list there.
    const varnel::Outcome read = StoreOutcome([&] {
        page = store_->deals(request_, rows_.isEmpty() ? 0 : rows_.constLast().n, kPage);
        return varnel::Outcome::Done();
    });
    if (!read.done())
        page.clear();
    if (page.isEmpty()) {
        total_ = int(rows_.size()); // nothing more to read
        return;
    }
    beginInsertRows(QModelIndex(), int(rows_.size()), int(rows_.size() + page.size()) - 1);
    rows_.append(page);
    endInsertRows();
}

int DealListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int DealListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DealListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return QVariant();
    const DealEntry& d = rows_.at(index.row());
    if (role == Qt::ForegroundRole && index.column() == Outcome) {
        if (d.result == Result::Rejected && d.correctedIn.isEmpty())
            return QBrush(QColor(0xb0, 0x00, 0x00));
        if (d.result == Result::Waiting)
            return QBrush(QColor(0x70, 0x70, 0x70));
        return QVariant();
    }
    if (role == Qt::ToolTipRole && index.column() == Message && !d.text.isEmpty())
        return d.text;
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case Number: return d.n;
    case Agreement: return d.agreement;
    case Reference: return d.reference;
    case Participant: return d.participant;
    case Issue: return d.issue;
    case Direction: return d.direction;
    case Outcome: return ResultText(d);
    case RegistryId: return d.registryId.isEmpty() ? d.target : d.registryId;
    case Message: return d.text.isEmpty() ? d.code : d.text;
    default: return QVariant();
    }
}

QVariant DealListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char16_t* const titles[ColumnCount] = {
        u"№",     u"Договор",   u"Внутр.номер", u"Участник",         u"ЦБ",
        u"Часть", u"Результат", u"Id сделки",   u"Сообщение реестра"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf16(titles[section]) : QString();
}

} // namespace varnel::journal
