// The journal's reading operations: the list of requests (or of the answers that match none)
// and the deals of one request.
#include "journal/JournalStore.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace varnel::journal {
namespace {

// A later report of the same kind as request r that was accepted with a deal the same as deal
// d: the same participant and Reference, or Agreement where d has no Reference. Correcting a
// rejected deal sends it anew ("Исправить отклоненные"), so this is how its correction is known.
// Each key is compared by plain equality, so that SQLite indexes the deals for the statement.
QString laterAccepted(const QString& select)
{
    const QString later = QStringLiteral(
        " FROM deals c JOIN requests cr ON cr.id = c.request WHERE c.result = 1 AND "
        "c.participant = d.participant AND cr.kind = r.kind AND (cr.sent > r.sent OR (cr.sent = "
        "r.sent AND cr.id > r.id)) AND ");
    return QStringLiteral("CASE WHEN d.reference <> '' THEN (SELECT ") + select + later +
           QStringLiteral("c.reference = d.reference ORDER BY cr.sent, cr.id LIMIT 1) "
                          "WHEN d.agreement <> '' THEN (SELECT ") +
           select + later +
           QStringLiteral("c.agreement = d.agreement ORDER BY cr.sent, cr.id LIMIT 1) END");
}

const QString kRequestColumns = QStringLiteral(
    "r.id, r.kind, r.file, r.sent, r.participant, r.deals, r.accepted, r.rejected, r.answered, "
    "r.code, r.text, a.path, "
    "(SELECT min(participant) FROM deals WHERE request = r.id AND participant <> ''), "
    "(SELECT max(participant) FROM deals WHERE request = r.id AND participant <> '')");

// The rejected deals accepted since, as (request, n), found by one key: joined rather than
// looked up deal by deal, so that SQLite indexes the accepted deals once for the statement.
QString correctedBy(const char* key, const char* condition)
{
    return QStringLiteral("SELECT d.request, d.n FROM deals d JOIN requests r ON r.id = d.request "
                          "JOIN deals c ON c.result = 1 AND c.participant = d.participant AND "
                          "c.%1 = d.%1 JOIN requests cr ON cr.id = c.request AND cr.kind = r.kind "
                          "AND (cr.sent > r.sent OR (cr.sent = r.sent AND cr.id > r.id)) "
                          "WHERE d.result = 2 AND %2")
        .arg(QLatin1String(key), QLatin1String(condition));
}

RequestEntry requestOf(const QSqlQuery& q)
{
    RequestEntry e;
    e.id = q.value(0).toLongLong();
    e.kind = q.value(1).toString();
    e.file = q.value(2).toString();
    e.sent = q.value(3).toString();
    e.participant = q.value(4).toString();
    e.deals = q.value(5).toInt();
    e.accepted = q.value(6).toInt();
    e.rejected = q.value(7).toInt();
    e.answered = q.value(8).toInt() != 0;
    e.code = q.value(9).toString();
    e.text = q.value(10).toString();
    e.answerPath = q.value(11).toString();
    e.firstDealParticipant = q.value(12).toString();
    e.lastDealParticipant = q.value(13).toString();
    return e;
}

const QString kDealColumns =
    QStringLiteral("d.n, d.agreement, d.reference, d.participant, d.issue, d.direction, d.target, "
                   "d.result, d.registry, d.code, d.text, d.revoked, d.fields, "
                   "CASE WHEN d.result = 2 THEN ") +
    laterAccepted(QStringLiteral("cr.file")) + QStringLiteral(" END");

DealEntry dealOf(const QSqlQuery& q)
{
    DealEntry d;
    d.n = q.value(0).toInt();
    d.agreement = q.value(1).toString();
    d.reference = q.value(2).toString();
    d.participant = q.value(3).toString();
    d.issue = q.value(4).toString();
    d.direction = q.value(5).toString();
    d.target = q.value(6).toString();
    const int result = q.value(7).toInt();
    d.result = result == 1 ? Result::Accepted : result == 2 ? Result::Rejected : Result::Waiting;
    d.registryId = q.value(8).toString();
    d.code = q.value(9).toString();
    d.text = q.value(10).toString();
    d.revoked = q.value(11).toInt();
    d.fields = UnpackAttributes(q.value(12).toString());
    d.correctedIn = q.value(13).toString();
    return d;
}

// The bounds of the period on the ISO time texts: from the start of `from` to the end of `to`.
void period(const RequestFilter& f, const QString& column, QStringList& where, QVariantList& binds)
{
    if (f.from.isValid()) {
        where << column + QStringLiteral(" >= ?");
        binds << f.from.toString(Qt::ISODate);
    }
    if (f.to.isValid()) {
        where << column + QStringLiteral(" < ?");
        binds << f.to.addDays(1).toString(Qt::ISODate);
    }
}

} // namespace

QList<RequestEntry> JournalStore::requests(const RequestFilter& filter)
{
    QStringList where;
    QVariantList binds;
    QString statement;
    const bool answers = filter.status == RequestFilter::Status::AnswersOnly;
    if (answers) {
        statement = QStringLiteral("SELECT id, kind, path, created, total, accepted, rejected, "
                                   "code, text FROM answers");
        where << QStringLiteral("request IS NULL") << QStringLiteral("kind <> ''");
        period(filter, QStringLiteral("created"), where, binds);
    } else {
        statement = QStringLiteral("SELECT ") + kRequestColumns +
                    QStringLiteral(" FROM requests r LEFT JOIN answers a ON a.id = r.answer");
        period(filter, QStringLiteral("r.sent"), where, binds);
        const QString waiting = QStringLiteral("max(r.deals, 1) - r.accepted - r.rejected > 0");
        switch (filter.status) {
        case RequestFilter::Status::Waiting: where << waiting; break;
        case RequestFilter::Status::WithRejected: where << QStringLiteral("r.rejected > 0"); break;
        case RequestFilter::Status::Accepted:
            where << QStringLiteral("r.answered = 1 AND r.rejected = 0 AND NOT (") + waiting + u')';
            break;
        default: break;
        }
    }
    if (!where.isEmpty())
        statement += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    statement += answers ? QStringLiteral(" ORDER BY created DESC, id DESC")
                         : QStringLiteral(" ORDER BY r.sent DESC, r.id DESC");
    QSqlQuery q = query();
    prepare(q, statement, "list");
    for (const QVariant& v : binds)
        q.addBindValue(v);
    exec(q, "list");
    QList<RequestEntry> list;
    while (q.next()) {
        if (!answers) {
            list.append(requestOf(q));
            continue;
        }
        RequestEntry e;
        e.answerOnly = true;
        e.id = q.value(0).toLongLong();
        e.kind = q.value(1).toString();
        e.answerPath = q.value(2).toString();
        e.file = e.answerPath.mid(e.answerPath.lastIndexOf(u'/') + 1);
        e.sent = q.value(3).toString();
        e.deals = std::max(q.value(4).toInt(), 0);
        e.accepted = std::max(q.value(5).toInt(), 0);
        e.rejected = std::max(q.value(6).toInt(), 0);
        e.answered = true;
        e.code = q.value(7).toString();
        e.text = q.value(8).toString();
        list.append(e);
    }
    if (q.lastError().isValid())
        fail(q.lastError(), "list");
    if (!answers && std::any_of(list.cbegin(), list.cend(),
                                [](const RequestEntry& e) { return e.rejected > 0; })) {
        const QHash<qint64, int> corrected = correctedCounts();
        for (RequestEntry& e : list)
            e.corrected = corrected.value(e.id);
        // Settled once every rejected deal has been accepted in a later report.
        if (filter.status == RequestFilter::Status::WithRejected)
            list.removeIf([](const RequestEntry& e) { return e.openRejected() == 0; });
    }
    return list;
}

QHash<qint64, int> JournalStore::correctedCounts()
{
    QSqlQuery q =
        run(QStringLiteral("SELECT request, count(*) FROM (") +
                correctedBy("reference", "d.reference <> ''") + QStringLiteral(" UNION ") +
                correctedBy("agreement", "d.reference = '' AND d.agreement <> ''") +
                QStringLiteral(") GROUP BY request"),
            {}, "corrections");
    QHash<qint64, int> counts;
    while (q.next())
        counts.insert(q.value(0).toLongLong(), q.value(1).toInt());
    if (q.lastError().isValid())
        fail(q.lastError(), "corrections");
    return counts;
}

std::optional<RequestEntry> JournalStore::request(qint64 id)
{
    QSqlQuery q = run(QStringLiteral("SELECT ") + kRequestColumns +
                          QStringLiteral(" FROM requests r LEFT JOIN answers a ON a.id = r.answer "
                                         "WHERE r.id=?"),
                      {id}, "request");
    if (!q.next())
        return std::nullopt;
    RequestEntry e = requestOf(q);
    if (e.rejected > 0)
        e.corrected = correctedCounts().value(e.id);
    return e;
}

QList<DealEntry> JournalStore::dealsWhere(const QString& condition, const QVariantList& binds)
{
    QSqlQuery q = run(QStringLiteral("SELECT ") + kDealColumns +
                          QStringLiteral(" FROM deals d JOIN requests r ON r.id = d.request "
                                         "WHERE d.request=? AND ") +
                          condition,
                      binds, "deals");
    QList<DealEntry> list;
    while (q.next())
        list.append(dealOf(q));
    if (q.lastError().isValid())
        fail(q.lastError(), "deals");
    return list;
}

QList<DealEntry> JournalStore::deals(qint64 request, int after, int limit)
{
    return dealsWhere(QStringLiteral("d.n>? ORDER BY d.n LIMIT ?"), {request, after, limit});
}

QList<DealEntry> JournalStore::dealsWithResult(qint64 request, Result result)
{
    return dealsWhere(QStringLiteral("d.result=? ORDER BY d.n"), {request, int(result)});
}

qint64 JournalStore::requestCount()
{
    return single(QStringLiteral("SELECT count(*) FROM requests"), "count").toLongLong();
}

qint64 JournalStore::dealCount()
{
    return single(QStringLiteral("SELECT count(*) FROM deals"), "count").toLongLong();
}

} // namespace varnel::journal
