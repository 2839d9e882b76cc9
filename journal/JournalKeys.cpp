// The journal's deals found by their key or by their trade date, for the reconciliation of a
// back office's file: through indexes of their own, so that a file of a hundred thousand deals
// is matched against a journal of millions without reading every deal.
#include "journal/JournalStore.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace varnel::journal {
namespace {

// The TradeDate attribute of a deal's packed attributes (yyyy-mm-dd as written): the same text
// in the index and in the statement that reads through it.
const QString kTradeDate = QStringLiteral(
    "substr(fields, instr(char(30) || fields, char(30) || 'TradeDate' || char(31)) + 10, 10)");

const char* const kKeyIndexes[] = {
    "CREATE INDEX IF NOT EXISTS deals_by_reference ON deals(participant, reference) "
    "WHERE reference <> ''",
    "CREATE INDEX IF NOT EXISTS deals_by_agreement ON deals(participant, agreement) "
    "WHERE reference = ''",
};

// The columns every lookup reads, after the key's index: the request and the deal's result.
const QString kKeyedColumns =
    QStringLiteral("r.id, r.file, r.sent, d.n, d.result, d.registry, d.code, d.text, d.revoked, "
                   "coalesce(a.created, ''), d.participant, d.reference, d.agreement, ");

void readKeyed(const QSqlQuery& q, KeyedDeal& deal)
{
    deal.request = q.value(1).toLongLong();
    deal.file = q.value(2).toString();
    deal.sent = q.value(3).toString();
    deal.n = q.value(4).toInt();
    const int result = q.value(5).toInt();
    deal.result = result == 1 ? Result::Accepted : result == 2 ? Result::Rejected : Result::Waiting;
    deal.registryId = q.value(6).toString();
    deal.code = q.value(7).toString();
    deal.text = q.value(8).toString();
    deal.revoked = q.value(9).toInt();
    deal.receipt = q.value(10).toString();
    deal.agreement = q.value(13).toString();
    deal.dealKey = KeyOf(q.value(11).toString(), deal.agreement, q.value(12).toString());
}

} // namespace

void JournalStore::addKeyIndexes()
{
    for (const char* statement : kKeyIndexes) {
        QSqlQuery q = query();
        if (!q.exec(QString::fromLatin1(statement)))
            return;
    }
    QSqlQuery q = query();
    q.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS deals_accepted_by_trade_date ON deals(") +
           kTradeDate + QStringLiteral(") WHERE result = 1"));
}

void JournalStore::dealsOfKeys(const QString& kind, const QList<DealKey>& keys,
                               const std::function<void(KeyedDeal&& deal)>& take)
{
    // The keys go into a table of the connection's own (in memory, gone with it), and the
    // journal's deals are joined to them through the key indexes.
    exec(QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS asked_keys(k INTEGER PRIMARY KEY, "
                        "participant TEXT NOT NULL, reference TEXT NOT NULL, "
                        "agreement TEXT NOT NULL)"),
         "keys");
    exec(QStringLiteral("DELETE FROM asked_keys"), "keys");
    // One transaction for all the keys: a write of the connection's own table, which leaves
    // the journal's file alone.
    exec(QStringLiteral("BEGIN"), "keys");
    try {
        QSqlQuery insert = query();
        prepare(insert,
                QStringLiteral("INSERT INTO asked_keys(k, participant, reference, agreement) "
                               "VALUES(?,?,?,?)"),
                "keys");
        const auto text = [](const QString& value) {
            return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
        };
        for (qsizetype i = 0; i < keys.size(); ++i) {
            const DealKey& key = keys.at(i);
            insert.bindValue(0, qint64(i));
            insert.bindValue(1, text(key.participant));
            insert.bindValue(2, text(key.reference));
            insert.bindValue(3, text(key.agreement));
            exec(insert, "keys");
        }
        exec(QStringLiteral("COMMIT"), "keys");
    } catch (...) {
        QSqlQuery rollback = query();
        rollback.exec(QStringLiteral("ROLLBACK"));
        throw;
    }
    const QString joined = QStringLiteral(" FROM asked_keys k CROSS JOIN deals d ON %1 "
                                          "JOIN requests r ON r.id = d.request AND r.kind = ? "
                                          "LEFT JOIN answers a ON a.id = r.answer WHERE %2");
    const QString select = QStringLiteral("SELECT k.k, ") + kKeyedColumns +
                           QStringLiteral("CASE WHEN d.result = 1 THEN d.fields ELSE '' END");
    const QString statement =
        select +
        joined.arg(QStringLiteral("d.participant = k.participant AND d.reference = k.reference"),
                   QStringLiteral("k.reference <> '' AND d.reference <> ''")) +
        QStringLiteral(" UNION ALL ") + select +
        joined.arg(QStringLiteral("d.participant = k.participant AND d.agreement = k.agreement"),
                   QStringLiteral("k.reference = '' AND d.reference = ''"));
    QSqlQuery q = run(statement, {kind, kind}, "keyed deals");
    while (q.next()) {
        KeyedDeal deal;
        deal.key = q.value(0).toInt();
        readKeyed(q, deal);
        deal.packedFields = q.value(14).toString();
        take(std::move(deal));
    }
    if (q.lastError().isValid())
        fail(q.lastError(), "keyed deals");
    exec(QStringLiteral("DELETE FROM asked_keys"), "keys");
}

void JournalStore::acceptedTradedIn(const QString& kind, const QDate& from, const QDate& to,
                                    const std::function<void(KeyedDeal&& deal)>& take)
{
    QString date = kTradeDate;
    date.replace(QStringLiteral("fields"), QStringLiteral("d.fields"));
    QSqlQuery q = run(QStringLiteral("SELECT d.participant, d.reference, d.agreement, ") + date +
                          QStringLiteral(" FROM deals d JOIN requests r ON r.id = d.request AND "
                                         "r.kind = ? WHERE d.result = 1 AND ") +
                          date + QStringLiteral(" BETWEEN ? AND ?"),
                      {kind, from.toString(Qt::ISODate), to.toString(Qt::ISODate)}, "traded deals");
    while (q.next()) {
        KeyedDeal deal;
        deal.agreement = q.value(2).toString();
        deal.dealKey = KeyOf(q.value(0).toString(), deal.agreement, q.value(1).toString());
        deal.tradeDate = q.value(3).toString();
        deal.result = Result::Accepted;
        take(std::move(deal));
    }
    if (q.lastError().isValid())
        fail(q.lastError(), "traded deals");
}

} // namespace varnel::journal
