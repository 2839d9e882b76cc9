#include "DealStore.h"

#include <QAtomicInt>
#include <QSqlError>
#include <QVariant>

namespace loopback {
namespace {

QAtomicInt g_connections;

QString kindName(RequestKind kind)
{
    return kind == RequestKind::RepoDeals || kind == RequestKind::RepoRevokeDeals
               ? QStringLiteral("repo")
               : QStringLiteral("deal");
}

// Bound as text, never as NULL: an absent key is the empty text.
QString text(const QString& value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

void appendJsonString(QString& out, const QString& value)
{
    out += u'"';
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'"': out += QStringLiteral("\\\""); break;
        case u'\\': out += QStringLiteral("\\\\"); break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += u'"';
}

// The deal's attributes as they came, in their order: [["Participant","MC01"],...].
QString attributesJson(const Attributes& attributes)
{
    QString out;
    out.reserve(256);
    out += u'[';
    for (qsizetype i = 0; i < attributes.size(); ++i) {
        if (i > 0)
            out += u',';
        out += u'[';
        appendJsonString(out, attributes.at(i).name);
        out += u',';
        appendJsonString(out, attributes.at(i).value);
        out += u']';
    }
    out += u']';
    return out;
}

enum Slot {
    kCounterRead,
    kCounterWrite,
    kInsertDeal,
    kHasReference,
    kHasAgreement,
    kFindId,
    kFindReference,
    kFindAgreement,
    kRevoke,
    kRevokeI,
    kRevokeS,
    kRecordAnswered,
    kRecordDelivered,
    kAnswered,
    kUndelivered,
};

} // namespace

DealStore::DealStore() = default;

DealStore::~DealStore()
{
    close();
}

void DealStore::open(const QString& path)
{
    close();
    connection_ = QStringLiteral("loopback-%1").arg(g_connections.fetchAndAddRelaxed(1));
    db_ = std::make_unique<QSqlDatabase>(
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_));
    db_->setDatabaseName(path);
    // A second registry on the same archive waits for the lock instead of failing.
    db_->setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000"));
    if (!db_->open()) {
        const QString text = db_->lastError().text();
        close();
        throw StoreError(QStringLiteral("cannot open the database %1: %2").arg(path, text));
    }
    try {
        // Every commit is on the disk before the answer it belongs to is delivered.
        exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        exec(QStringLiteral("PRAGMA synchronous=FULL"));
        exec(
            QStringLiteral("CREATE TABLE IF NOT EXISTS deals("
                           "id TEXT PRIMARY KEY, kind TEXT NOT NULL, participant TEXT NOT NULL, "
                           "agreement TEXT NOT NULL, reference TEXT NOT NULL, issue TEXT NOT NULL, "
                           "request TEXT NOT NULL, row INTEGER NOT NULL, accepted TEXT NOT NULL, "
                           "active INTEGER NOT NULL DEFAULT 1, revoked TEXT, revoked_i TEXT, "
                           "revoked_s TEXT, attributes TEXT NOT NULL)"));
        exec(QStringLiteral("CREATE INDEX IF NOT EXISTS deals_by_reference "
                            "ON deals(kind, reference, participant)"));
        exec(QStringLiteral("CREATE INDEX IF NOT EXISTS deals_by_agreement "
                            "ON deals(kind, agreement, participant)"));
        exec(QStringLiteral("CREATE TABLE IF NOT EXISTS counters("
                            "day TEXT PRIMARY KEY, last INTEGER NOT NULL)"));
        exec(QStringLiteral("CREATE TABLE IF NOT EXISTS requests("
                            "archive_name TEXT PRIMARY KEY, request TEXT NOT NULL, "
                            "answer_name TEXT NOT NULL, staged TEXT NOT NULL, "
                            "answered TEXT NOT NULL, delivered_as TEXT, delivered TEXT)"));
        exec(QStringLiteral("CREATE TABLE IF NOT EXISTS settings("
                            "key TEXT PRIMARY KEY, value TEXT NOT NULL)"));
    } catch (...) {
        close();
        throw;
    }
}

void DealStore::close()
{
    for (auto& query : queries_)
        query.reset();
    if (db_) {
        if (inTransaction_)
            db_->rollback();
        db_->close();
        db_.reset();
        QSqlDatabase::removeDatabase(connection_);
    }
    inTransaction_ = false;
    counterDirty_ = false;
    counterLast_ = -1;
}

bool DealStore::isOpen() const
{
    return db_ && db_->isOpen();
}

namespace {

int g_failAt = 0; // statements until the injected failure; 0: none

void injectedFailure()
{
    if (g_failAt > 0 && --g_failAt == 0) {
        g_failAt = 1; // and every statement after it
        throw StoreError(QStringLiteral("database is locked (injected)"));
    }
}

} // namespace

namespace testing {
void FailStoreAt(int statement)
{
    g_failAt = statement;
}
} // namespace testing

void DealStore::exec(const QString& sql)
{
    if (!db_)
        throw StoreError(QStringLiteral("the database is not open"));
    if (!sql.startsWith(QStringLiteral("ROLLBACK")))
        injectedFailure();
    QSqlQuery query(*db_);
    if (!query.exec(sql))
        throw StoreError(QStringLiteral("%1: %2").arg(sql, query.lastError().text()));
}

QSqlQuery& DealStore::prepared(int slot, const char* sql)
{
    if (!db_)
        throw StoreError(QStringLiteral("the database is not open"));
    auto& query = queries_[size_t(slot)];
    if (!query) {
        query = std::make_unique<QSqlQuery>(*db_);
        if (!query->prepare(QString::fromLatin1(sql))) {
            const QString text = query->lastError().text();
            query.reset();
            throw StoreError(QStringLiteral("%1: %2").arg(QString::fromLatin1(sql), text));
        }
    }
    return *query;
}

namespace {

void run(QSqlQuery& query)
{
    injectedFailure();
    if (!query.exec())
        throw StoreError(query.lastError().text());
}

} // namespace

void DealStore::begin()
{
    exec(QStringLiteral("BEGIN IMMEDIATE"));
    inTransaction_ = true;
    counterDirty_ = false;
    counterLast_ = -1;
    counterDay_.clear();
}

void DealStore::commit()
{
    if (counterDirty_)
        writeCounter();
    exec(QStringLiteral("COMMIT"));
    inTransaction_ = false;
}

void DealStore::rollback()
{
    counterDirty_ = false;
    counterLast_ = -1;
    if (!inTransaction_ || !db_)
        return;
    inTransaction_ = false;
    for (auto& query : queries_) {
        if (query)
            query->finish();
    }
    QSqlQuery query(*db_);
    query.exec(QStringLiteral("ROLLBACK"));
}

void DealStore::mark()
{
    if (counterDirty_)
        writeCounter();
    exec(QStringLiteral("SAVEPOINT request"));
}

void DealStore::undoToMark()
{
    for (auto& query : queries_) {
        if (query)
            query->finish();
    }
    exec(QStringLiteral("ROLLBACK TO request"));
    counterDirty_ = false;
    counterLast_ = -1;
}

QString DealStore::nextId(const QDate& day)
{
    const QString key = day.toString(QStringLiteral("yyMMdd"));
    if (counterLast_ < 0 || counterDay_ != key) {
        if (counterDirty_)
            writeCounter();
        QSqlQuery& read = prepared(kCounterRead, "SELECT last FROM counters WHERE day = ?");
        read.bindValue(0, text(key));
        run(read);
        counterLast_ = read.next() ? read.value(0).toLongLong() : 0;
        read.finish();
        counterDay_ = key;
    }
    ++counterLast_;
    counterDirty_ = true;
    return key + QStringLiteral("%1").arg(counterLast_, 6, 10, QLatin1Char('0'));
}

void DealStore::writeCounter()
{
    QSqlQuery& write =
        prepared(kCounterWrite, "INSERT INTO counters(day, last) VALUES(?, ?) "
                                "ON CONFLICT(day) DO UPDATE SET last = excluded.last");
    write.bindValue(0, text(counterDay_));
    write.bindValue(1, counterLast_);
    run(write);
    counterDirty_ = false;
}

void DealStore::insertDeal(const Deal& deal, const QString& acceptedAt)
{
    QSqlQuery& insert = prepared(
        kInsertDeal, "INSERT INTO deals(id, kind, participant, agreement, reference, issue, "
                     "request, row, accepted, attributes) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insert.bindValue(0, text(deal.id));
    insert.bindValue(1, kindName(deal.kind));
    insert.bindValue(2, text(deal.participant));
    insert.bindValue(3, text(deal.agreement));
    insert.bindValue(4, text(deal.reference));
    insert.bindValue(5, text(deal.issue));
    insert.bindValue(6, text(deal.request));
    insert.bindValue(7, deal.row);
    insert.bindValue(8, text(acceptedAt));
    insert.bindValue(9, attributesJson(deal.attributes));
    run(insert);
}

bool DealStore::hasActive(int slot, const char* sql, RequestKind kind, const QString& value,
                          const QString& participant)
{
    QSqlQuery& query = prepared(slot, sql);
    query.bindValue(0, kindName(kind));
    query.bindValue(1, text(value));
    query.bindValue(2, text(participant));
    run(query);
    const bool found = query.next();
    query.finish();
    return found;
}

bool DealStore::hasActiveReference(RequestKind kind, const QString& participant,
                                   const QString& reference)
{
    return hasActive(kHasReference,
                     "SELECT 1 FROM deals WHERE kind = ? AND reference = ? "
                     "AND participant = ? AND active = 1 LIMIT 1",
                     kind, reference, participant);
}

bool DealStore::hasActiveAgreement(RequestKind kind, const QString& participant,
                                   const QString& agreement)
{
    return hasActive(kHasAgreement,
                     "SELECT 1 FROM deals WHERE kind = ? AND agreement = ? "
                     "AND participant = ? AND active = 1 LIMIT 1",
                     kind, agreement, participant);
}

namespace {

DealStore::Found foundFrom(const QSqlQuery& query)
{
    DealStore::Found found;
    found.id = query.value(0).toString();
    found.participant = query.value(1).toString();
    found.agreement = query.value(2).toString();
    found.reference = query.value(3).toString();
    found.active = query.value(4).toInt() == 1;
    found.revokedI = !query.value(5).isNull();
    found.revokedS = !query.value(6).isNull();
    return found;
}

constexpr const char* kFoundColumns =
    "SELECT id, participant, agreement, reference, active, revoked_i, revoked_s FROM deals ";

} // namespace

std::optional<DealStore::Found> DealStore::findById(RequestKind kind, const QString& id)
{
    static const QByteArray sql = QByteArray(kFoundColumns) + "WHERE id = ? AND kind = ?";
    QSqlQuery& query = prepared(kFindId, sql.constData());
    query.bindValue(0, text(id));
    query.bindValue(1, kindName(kind));
    run(query);
    std::optional<Found> found;
    if (query.next())
        found = foundFrom(query);
    query.finish();
    return found;
}

QList<DealStore::Found> DealStore::findByKeys(RequestKind kind, const QString& agreement,
                                              const QString& reference)
{
    static const QByteArray byReference =
        QByteArray(kFoundColumns) + "WHERE kind = ? AND reference = ? ORDER BY accepted, id";
    static const QByteArray byAgreement =
        QByteArray(kFoundColumns) + "WHERE kind = ? AND agreement = ? ORDER BY accepted, id";
    const bool useReference = !reference.isEmpty();
    QSqlQuery& query = useReference ? prepared(kFindReference, byReference.constData())
                                    : prepared(kFindAgreement, byAgreement.constData());
    query.bindValue(0, kindName(kind));
    query.bindValue(1, text(useReference ? reference : agreement));
    run(query);
    QList<Found> list;
    while (query.next())
        list.append(foundFrom(query));
    query.finish();
    return list;
}

void DealStore::revoke(RequestKind kind, const QString& id, const QString& part, const QString& at)
{
    QSqlQuery* query = nullptr;
    if (kind == RequestKind::RevokeDeals || kind == RequestKind::Deals) {
        query = &prepared(kRevoke, "UPDATE deals SET revoked = ?, active = 0 WHERE id = ?");
    } else if (part == u"I") {
        query = &prepared(kRevokeI, "UPDATE deals SET revoked_i = ?, "
                                    "active = CASE WHEN revoked_s IS NULL THEN 1 ELSE 0 END, "
                                    "revoked = CASE WHEN revoked_s IS NULL THEN NULL ELSE ? END "
                                    "WHERE id = ?");
    } else {
        query = &prepared(kRevokeS, "UPDATE deals SET revoked_s = ?, "
                                    "active = CASE WHEN revoked_i IS NULL THEN 1 ELSE 0 END, "
                                    "revoked = CASE WHEN revoked_i IS NULL THEN NULL ELSE ? END "
                                    "WHERE id = ?");
    }
    int n = 0;
    query->bindValue(n++, text(at));
    if (kind == RequestKind::RepoRevokeDeals || kind == RequestKind::RepoDeals)
        query->bindValue(n++, text(at));
    query->bindValue(n, text(id));
    run(*query);
}

void DealStore::recordAnswered(const Answered& answered, const QString& at)
{
    QSqlQuery& query =
        prepared(kRecordAnswered, "INSERT OR REPLACE INTO requests(archive_name, request, "
                                  "answer_name, staged, answered) VALUES(?, ?, ?, ?, ?)");
    query.bindValue(0, text(answered.archiveName));
    query.bindValue(1, text(answered.request));
    query.bindValue(2, text(answered.answerName));
    query.bindValue(3, text(answered.staged));
    query.bindValue(4, text(at));
    run(query);
}

void DealStore::recordDelivered(const QString& archiveName, const QString& deliveredAs,
                                const QString& at)
{
    QSqlQuery& query = prepared(kRecordDelivered, "UPDATE requests SET delivered_as = ?, "
                                                  "delivered = ? WHERE archive_name = ?");
    query.bindValue(0, text(deliveredAs));
    query.bindValue(1, text(at));
    query.bindValue(2, text(archiveName));
    run(query);
}

std::optional<DealStore::Answered> DealStore::answered(const QString& archiveName)
{
    QSqlQuery& query = prepared(kAnswered, "SELECT archive_name, request, answer_name, staged, "
                                           "delivered_as FROM requests WHERE archive_name = ?");
    query.bindValue(0, text(archiveName));
    run(query);
    std::optional<Answered> found;
    if (query.next())
        found = Answered{query.value(0).toString(), query.value(1).toString(),
                         query.value(2).toString(), query.value(3).toString(),
                         query.value(4).toString()};
    query.finish();
    return found;
}

QList<DealStore::Answered> DealStore::undelivered()
{
    QSqlQuery& query =
        prepared(kUndelivered, "SELECT archive_name, request, answer_name, staged FROM requests "
                               "WHERE delivered IS NULL ORDER BY answered, archive_name");
    run(query);
    QList<Answered> list;
    while (query.next())
        list.append({query.value(0).toString(), query.value(1).toString(),
                     query.value(2).toString(), query.value(3).toString(), QString()});
    query.finish();
    return list;
}

bool DealStore::subscribed()
{
    if (!db_)
        throw StoreError(QStringLiteral("the database is not open"));
    QSqlQuery query(*db_);
    if (!query.exec(QStringLiteral("SELECT value FROM settings WHERE key = 'subscribed'")))
        throw StoreError(query.lastError().text());
    return query.next() && query.value(0).toString() == u"1";
}

void DealStore::setSubscribed(bool subscribed)
{
    exec(QStringLiteral("INSERT OR REPLACE INTO settings(key, value) VALUES('subscribed', '%1')")
             .arg(subscribed ? 1 : 0));
}

} // namespace loopback
