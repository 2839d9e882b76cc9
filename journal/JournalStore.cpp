// The journal's database: the connection, the tables and the writing operations. The reading
// ones are in JournalQueries.cpp.
#include "journal/JournalStore.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace varnel::journal {
namespace {

QAtomicInt g_connections;

constexpr int kVersion = 1;

// SQLite's own numbers of a damaged file and of a file that is no database.
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;

const char* const kTables[] = {
    "CREATE TABLE requests("
    " id INTEGER PRIMARY KEY,"
    " kind TEXT NOT NULL,"
    " file TEXT NOT NULL,"
    " sent TEXT NOT NULL,"
    " participant TEXT NOT NULL DEFAULT '',"
    " deals INTEGER NOT NULL DEFAULT 0,"
    " accepted INTEGER NOT NULL DEFAULT 0,"
    " rejected INTEGER NOT NULL DEFAULT 0,"
    " answered INTEGER NOT NULL DEFAULT 0,"
    " code TEXT NOT NULL DEFAULT '',"
    " text TEXT NOT NULL DEFAULT '',"
    " answer INTEGER)",
    "CREATE INDEX requests_by_file ON requests(file)",
    "CREATE INDEX requests_by_sent ON requests(sent)",
    "CREATE TABLE deals("
    " request INTEGER NOT NULL,"
    " n INTEGER NOT NULL,"
    " agreement TEXT NOT NULL DEFAULT '',"
    " reference TEXT NOT NULL DEFAULT '',"
    " participant TEXT NOT NULL DEFAULT '',"
    " issue TEXT NOT NULL DEFAULT '',"
    " direction TEXT NOT NULL DEFAULT '',"
    " target TEXT NOT NULL DEFAULT '',"
    " fields TEXT NOT NULL DEFAULT '',"
    " result INTEGER NOT NULL DEFAULT 0,"
    " registry TEXT NOT NULL DEFAULT '',"
    " code TEXT NOT NULL DEFAULT '',"
    " text TEXT NOT NULL DEFAULT '',"
    " revoked INTEGER NOT NULL DEFAULT 0,"
    " PRIMARY KEY(request, n))",
    "CREATE INDEX deals_by_registry ON deals(registry) WHERE registry <> ''",
    "CREATE TABLE answers("
    " id INTEGER PRIMARY KEY,"
    " path TEXT NOT NULL,"
    " size INTEGER NOT NULL,"
    " modified INTEGER NOT NULL,"
    " kind TEXT NOT NULL DEFAULT '',"
    " request_file TEXT NOT NULL DEFAULT '',"
    " created TEXT NOT NULL DEFAULT '',"
    " request INTEGER,"
    " total INTEGER NOT NULL DEFAULT -1,"
    " accepted INTEGER NOT NULL DEFAULT -1,"
    " rejected INTEGER NOT NULL DEFAULT -1,"
    " code TEXT NOT NULL DEFAULT '',"
    " text TEXT NOT NULL DEFAULT '',"
    " unmatched INTEGER NOT NULL DEFAULT 0,"
    " taken TEXT NOT NULL,"
    " UNIQUE(path, size, modified))",
    "CREATE INDEX answers_unmatched ON answers(request_file) WHERE request IS NULL",
};

// What the journal reads and writes, table by table: a file that lacks any of it is not the
// journal, whatever its version says.
struct TableShape {
    const char* table;
    const char* columns;
};
const TableShape kShape[] = {
    {"requests", "id kind file sent participant deals accepted rejected answered code text answer"},
    {"deals", "request n agreement reference participant issue direction target fields result "
              "registry code text revoked"},
    {"answers", "id path size modified kind request_file created request total accepted rejected "
                "code text unmatched taken"},
};

// The files SQLite keeps beside a database while it is in use.
const char* const kSideFiles[] = {"-wal", "-shm", "-journal"};

// The connections of this process open on each database file. Opening is done one at a time,
// so that a failed open can tell the files it made itself from those another connection uses.
QMutex g_openMutex;
QHash<QString, int> g_openFiles; // guarded by g_openMutex

// Which of a database's files exist, taken before it is opened.
struct FilesPresent {
    explicit FilesPresent(const QString& path)
    {
        main = QFileInfo::exists(path);
        for (int i = 0; i < 3; ++i)
            side[i] = QFileInfo::exists(path + QLatin1String(kSideFiles[i]));
    }
    bool main = false;
    bool side[3] = {};
};

// After a failed open, with no other connection of this process on the file: removes what the
// open made, so that a journal that cannot be opened (a full disk) takes no room from anything
// else. A database made by this open holds nothing yet, and goes with its logs; beside one
// that was there, a new memory index is made anew at the next open, and a new log goes only
// while it is empty (a log with pages in it is the database's and stays).
void removeWhatOpenMade(const QString& path, const FilesPresent& before)
{
    for (int i = 0; i < 3; ++i) {
        const QString side = path + QLatin1String(kSideFiles[i]);
        if (before.side[i] || !QFileInfo::exists(side))
            continue;
        if (!before.main || i == 1 || QFileInfo(side).size() == 0)
            QFile::remove(side);
    }
    if (!before.main && QFileInfo::exists(path))
        QFile::remove(path);
}

QString now()
{
    return QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
}

// Bound as text, never as NULL.
QVariant text(const QString& value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

// The request file an answer of that name is named after: DL1A2B.msg, DL1A2B_2.msg -> DL1A2B.xml.
QString requestFileOf(const QString& answerPath)
{
    QString stem = QFileInfo(answerPath).completeBaseName();
    const qsizetype bar = stem.lastIndexOf(u'_');
    if (bar > 0) {
        bool number = false;
        stem.mid(bar + 1).toInt(&number);
        if (number)
            stem.truncate(bar);
    }
    return stem.isEmpty() ? QString() : stem + QStringLiteral(".xml");
}

} // namespace

StoreError::StoreError(Kind kind, QString text)
    : kind_(kind), text_(std::move(text)), what_(text_.toUtf8())
{
}

namespace {

// The number of a failed outcome of a damaged journal; one that cannot be used now has the
// client's own number.
constexpr int kDamagedJournalNumber = kClientErrorNumber + 1;

} // namespace

Outcome StoreOutcome(const std::function<Outcome()>& work)
{
    try {
        return work();
    } catch (const StoreError& e) {
        return Outcome::Failed(e.text(), e.corrupt() ? kDamagedJournalNumber : kClientErrorNumber);
    }
}

bool JournalDamaged(const Outcome& outcome)
{
    return outcome.failed() && outcome.code == kDamagedJournalNumber;
}

// One transaction, rolled back unless committed.
class JournalStore::Transaction {
public:
    // Takes the write lock at once: a transaction that read first and wrote later would fail
    // without waiting when another process (a second client, the command-line program) wrote
    // in between; the lock is waited for as the busy timeout allows.
    explicit Transaction(JournalStore& store) : store_(store)
    {
        QSqlQuery begin = store_.query();
        if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE")))
            store_.fail(begin.lastError(), "begin");
    }
    ~Transaction()
    {
        if (!done_)
            store_.db_->rollback();
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit()
    {
        if (!store_.db_->commit()) {
            const QSqlError error = store_.db_->lastError();
            store_.db_->rollback();
            done_ = true;
            store_.fail(error, "commit");
        }
        done_ = true;
    }

private:
    JournalStore& store_;
    bool done_ = false;
};

JournalStore::JournalStore(QString path) : path_(std::move(path)) {}

JournalStore::~JournalStore()
{
    close();
}

QString JournalStore::FileIn(const QString& folder)
{
    return folder + QStringLiteral("/journal.sqlite");
}

bool JournalStore::isOpen() const
{
    return db_ && db_->isOpen();
}

void JournalStore::close()
{
    if (!db_)
        return;
    db_->close();
    db_.reset();
    QSqlDatabase::removeDatabase(connection_);
    if (counted_) {
        counted_ = false;
        QMutexLocker lock(&g_openMutex);
        if (--g_openFiles[path_] <= 0)
            g_openFiles.remove(path_);
    }
}

bool JournalStore::open(bool create)
{
    close();
    if (!create && !QFileInfo::exists(path_))
        return false;
    QMutexLocker lock(&g_openMutex);
    const FilesPresent before(path_);
    bool opened = false;
    try {
        opened = openConnection(create);
    } catch (...) {
        if (!g_openFiles.contains(path_))
            removeWhatOpenMade(path_, before);
        throw;
    }
    if (opened) {
        ++g_openFiles[path_];
        counted_ = true;
    }
    return opened;
}

bool JournalStore::openConnection(bool create)
{
    connection_ = QStringLiteral("varnel-journal-%1").arg(g_connections.fetchAndAddRelaxed(1));
    db_ = std::make_unique<QSqlDatabase>(
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_));
    db_->setDatabaseName(path_);
    // The list may be read while answers are written: one waits for the other a while.
    db_->setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db_->open()) {
        const QSqlError error = db_->lastError();
        close();
        fail(error, "open");
    }
    try {
        int version = userVersion();
        // A file without a version is a journal not begun yet only while it holds nothing:
        // tables of its own make it another program's database. Another program on the same
        // folder may have begun the journal between the two looks: its version is looked at
        // again before the file is taken for somebody else's.
        if (version == 0 &&
            single(QStringLiteral("SELECT count(*) FROM sqlite_master"), "schema").toInt() > 0) {
            version = userVersion();
            if (version == 0)
                throw StoreError(
                    StoreError::Kind::Corrupt,
                    QStringLiteral("%1: база данных, но не журнал отправок").arg(path_));
        }
        if (version == 0) {
            if (!create) {
                close();
                return false;
            }
            createTables();
        } else if (version != kVersion) {
            throw StoreError(StoreError::Kind::Corrupt,
                             QStringLiteral("%1: журнал версии %2, а не %3")
                                 .arg(path_)
                                 .arg(version)
                                 .arg(kVersion));
        } else if (const QString missing = missingPart(); !missing.isEmpty()) {
            throw StoreError(StoreError::Kind::Corrupt,
                             QStringLiteral("%1: не журнал отправок, %2").arg(path_, missing));
        }
        if (create) {
            // Readers never wait for the writer, nor it for them. Where the folder allows no
            // write-ahead log (some network file systems), the journal goes on without it.
            QSqlQuery mode = query();
            mode.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
            exec(QStringLiteral("PRAGMA synchronous=NORMAL"), "synchronous");
        }
        addKeyIndexes();
    } catch (...) {
        close();
        throw;
    }
    return true;
}

QString JournalStore::missingPart()
{
    QSet<QString> tables;
    {
        QSqlQuery q = query();
        if (!q.exec(QStringLiteral("SELECT type, name FROM sqlite_master")))
            fail(q.lastError(), "schema");
        while (q.next()) {
            const QString type = q.value(0).toString();
            // The journal makes tables and their indexes only: a view or a trigger would read
            // or change its rows behind its back.
            if (type == u"table")
                tables.insert(q.value(1).toString().toLower());
            else if (type != u"index")
                return QStringLiteral("посторонний объект (%1) %2")
                    .arg(type, q.value(1).toString());
        }
    }
    for (const TableShape& shape : kShape) {
        const QString table = QLatin1String(shape.table);
        if (!tables.contains(table))
            return QStringLiteral("нет таблицы ") + table;
        QSet<QString> columns;
        QSqlQuery q = query();
        if (!q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table)))
            fail(q.lastError(), "schema");
        while (q.next())
            columns.insert(q.value(1).toString().toLower());
        for (const QString& column :
             QString::fromLatin1(shape.columns).split(u' ', Qt::SkipEmptyParts)) {
            if (!columns.contains(column))
                return QStringLiteral("нет столбца %1 в таблице %2").arg(column, table);
        }
    }
    return QString();
}

QString JournalStore::check()
{
    QSqlQuery q = query();
    if (!q.exec(QStringLiteral("PRAGMA quick_check")))
        fail(q.lastError(), "check");
    QStringList problems;
    while (q.next()) {
        const QString line = q.value(0).toString();
        if (line != u"ok")
            problems << line;
    }
    return problems.join(QStringLiteral("; "));
}

QSqlQuery JournalStore::query() const
{
    QSqlQuery q(*db_);
    q.setForwardOnly(true);
    return q;
}

void JournalStore::fail(const QSqlError& error, const char* what) const
{
    bool number = false;
    const int code = error.nativeErrorCode().toInt(&number) & 0xff;
    const bool corrupt = number && (code == kSqliteCorrupt || code == kSqliteNotADatabase);
    QString reason = error.databaseText();
    if (reason.isEmpty())
        reason = error.text();
    throw StoreError(corrupt ? StoreError::Kind::Corrupt : StoreError::Kind::Unavailable,
                     QStringLiteral("%1 (%2): %3").arg(path_, QLatin1String(what), reason));
}

void JournalStore::exec(QSqlQuery& q, const char* what)
{
    if (!q.exec())
        fail(q.lastError(), what);
}

void JournalStore::exec(const QString& statement, const char* what)
{
    QSqlQuery q = query();
    if (!q.exec(statement))
        fail(q.lastError(), what);
}

void JournalStore::prepare(QSqlQuery& q, const QString& statement, const char* what)
{
    if (!q.prepare(statement))
        fail(q.lastError(), what);
}

QSqlQuery JournalStore::run(const QString& statement, const QVariantList& binds, const char* what)
{
    QSqlQuery q = query();
    prepare(q, statement, what);
    for (const QVariant& v : binds)
        q.addBindValue(v);
    exec(q, what);
    return q;
}

QVariant JournalStore::single(const QString& statement, const char* what)
{
    QSqlQuery q = query();
    if (!q.exec(statement) || !q.next())
        fail(q.lastError(), what);
    return q.value(0);
}

int JournalStore::userVersion()
{
    return single(QStringLiteral("PRAGMA user_version"), "version").toInt();
}

void JournalStore::createTables()
{
    Transaction t(*this);
    // Programs that start together on one folder (the client, varnel-cli) may each find the
    // file empty: the first to take the write lock makes the tables, the others find them made
    // once they have it, and go on with the journal it began.
    if (userVersion() == kVersion) {
        t.commit();
        return;
    }
    for (const char* statement : kTables)
        exec(QString::fromLatin1(statement), "tables");
    exec(QStringLiteral("PRAGMA user_version=%1").arg(kVersion), "version");
    t.commit();
}

qint64 JournalStore::recordRequest(const QString& kind, const QString& file, const QString& sent,
                                   const QString& participant,
                                   const std::function<bool(DealEntry&)>& nextDeal)
{
    stopped_ = false;
    Transaction t(*this);
    // Rounds of two processes on one journal may both find the request in the spool: the one
    // that comes second finds it recorded.
    QSqlQuery recorded =
        run(QStringLiteral("SELECT id FROM requests WHERE kind=? AND file=? AND sent=? LIMIT 1"),
            {text(kind), text(file), text(sent)}, "request");
    if (recorded.next())
        return recorded.value(0).toLongLong();
    QSqlQuery request = query();
    prepare(request,
            QStringLiteral("INSERT INTO requests(kind, file, sent, participant) VALUES(?,?,?,?)"),
            "request");
    request.addBindValue(text(kind));
    request.addBindValue(text(file));
    request.addBindValue(text(sent));
    request.addBindValue(text(participant));
    exec(request, "request");
    const qint64 id = request.lastInsertId().toLongLong();

    QSqlQuery deal = query();
    prepare(deal,
            QStringLiteral("INSERT INTO deals(request, n, agreement, reference, participant, "
                           "issue, direction, target, fields) VALUES(?,?,?,?,?,?,?,?,?)"),
            "deal");
    int count = 0;
    DealEntry d;
    while (!stopNow() && nextDeal(d)) {
        ++count;
        deal.bindValue(0, id);
        deal.bindValue(1, d.n > 0 ? d.n : count);
        deal.bindValue(2, text(d.agreement));
        deal.bindValue(3, text(d.reference));
        deal.bindValue(4, text(d.participant));
        deal.bindValue(5, text(d.issue));
        deal.bindValue(6, text(d.direction));
        deal.bindValue(7, text(d.target));
        deal.bindValue(8, PackAttributes(d.fields));
        exec(deal, "deal");
    }
    if (stopped_)
        return 0; // the transaction is rolled back
    run(QStringLiteral("UPDATE requests SET deals=? WHERE id=?"), {count, id}, "count");
    t.commit();
    return id;
}

bool JournalStore::stopNow()
{
    if (stop_ && stop_->load())
        stopped_ = true;
    return stopped_;
}

int JournalStore::forgetUnmatchedAnswers(const QString& requestFile)
{
    return run(QStringLiteral("DELETE FROM answers WHERE request IS NULL AND request_file=?"),
               {text(requestFile)}, "forget")
        .numRowsAffected();
}

qint64 JournalStore::matchRequest(const AnswerHead& head, const QString& answerPath)
{
    const QString file = head.request.isEmpty() ? requestFileOf(answerPath) : head.request;
    if (file.isEmpty() || head.kind == AnswerKind::None)
        return 0;
    QSqlQuery q = run(QStringLiteral("SELECT id, kind FROM requests WHERE file=? "
                                     "ORDER BY answered, sent DESC, id DESC"),
                      {file}, "match");
    while (q.next()) {
        if (Answers(head.kind, head.refusal(), q.value(1).toString()))
            return q.value(0).toLongLong();
    }
    return 0;
}

int JournalStore::takeAnswer(const AnswerFile& file, const AnswerHead& head, qint64 request,
                             const std::function<bool(AnswerRow&)>& nextRow)
{
    stopped_ = false;
    Transaction t(*this);
    QSqlQuery answer = query();
    prepare(answer,
            QStringLiteral("INSERT OR REPLACE INTO answers(path, size, modified, kind, "
                           "request_file, created, request, total, accepted, rejected, code, "
                           "text, taken) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?)"),
            "answer");
    answer.addBindValue(file.path);
    answer.addBindValue(file.size);
    answer.addBindValue(file.modified);
    answer.addBindValue(text(AnswerKindName(head.kind)));
    answer.addBindValue(text(head.request.isEmpty() ? requestFileOf(file.path) : head.request));
    answer.addBindValue(text(head.created));
    answer.addBindValue(request > 0 ? QVariant(request) : QVariant(QMetaType(QMetaType::LongLong)));
    answer.addBindValue(head.total);
    answer.addBindValue(head.accepted);
    answer.addBindValue(head.rejected);
    answer.addBindValue(text(head.code));
    answer.addBindValue(text(head.text));
    answer.addBindValue(now());
    exec(answer, "answer");
    const qint64 answerId = answer.lastInsertId().toLongLong();
    if (request <= 0) {
        t.commit();
        return 0;
    }

    QSqlQuery own =
        run(QStringLiteral("SELECT deals FROM requests WHERE id=?"), {request}, "request");
    if (!own.next())
        fail(own.lastError(), "request");
    const int deals = own.value(0).toInt();

    int unmatched = 0;
    Result whole = Result::Accepted; // of a request without deals
    if (head.refusal()) {
        whole = Result::Rejected;
        run(QStringLiteral("UPDATE deals SET result=2, registry='', code=?, text=? "
                           "WHERE request=?"),
            {text(head.code), text(head.text), request}, "refusal");
    } else if (HasRows(head.kind)) {
        // A row names the deal of its number; the keys it carries must be the deal's where
        // the request gave them (a revocation names the registry number only, and its receipt
        // adds the deal's own keys from the registry's record).
        QSqlQuery row = query();
        prepare(row,
                QStringLiteral("UPDATE deals SET result=?, registry=?, code=?, text=? "
                               "WHERE request=? AND n=? AND (?='' OR agreement='' OR agreement=?) "
                               "AND (?='' OR reference='' OR reference=?)"),
                "row");
        const bool revocation =
            head.kind == AnswerKind::RevokeReceipts || head.kind == AnswerKind::RepoRevokeReceipts;
        const QString revokedKind = head.kind == AnswerKind::RepoRevokeReceipts
                                        ? QStringLiteral("RepoDeals")
                                        : QStringLiteral("Deals");
        QSqlQuery link = query();
        if (revocation)
            prepare(link,
                    QStringLiteral("UPDATE deals SET revoked = revoked | ? "
                                   "WHERE registry=? AND registry<>'' AND request IN "
                                   "(SELECT id FROM requests WHERE kind=?)"),
                    "revoked");
        AnswerRow r;
        while (!stopNow() && nextRow(r)) {
            const bool accepted = r.accepted();
            row.bindValue(0, int(accepted ? Result::Accepted : Result::Rejected));
            row.bindValue(1, text(r.id));
            row.bindValue(2, text(accepted ? QString() : r.code));
            row.bindValue(3, text(accepted ? QString() : r.text));
            row.bindValue(4, request);
            row.bindValue(5, r.n);
            row.bindValue(6, text(r.agreement));
            row.bindValue(7, text(r.agreement));
            row.bindValue(8, text(r.reference));
            row.bindValue(9, text(r.reference));
            exec(row, "row");
            if (row.numRowsAffected() <= 0)
                ++unmatched;
            if (revocation && accepted && !r.id.isEmpty()) {
                int part = RevokedDeal;
                if (head.kind == AnswerKind::RepoRevokeReceipts)
                    part = r.direction.trimmed() == u"S" ? RevokedSecond : RevokedInitial;
                link.bindValue(0, part);
                link.bindValue(1, r.id);
                link.bindValue(2, revokedKind);
                exec(link, "revoked");
            }
        }
    } else if (head.kind == AnswerKind::SubscribeResult) {
        whole = head.status.compare(u"Accepted", Qt::CaseInsensitive) == 0 ? Result::Accepted
                                                                           : Result::Rejected;
    }
    if (stopped_)
        return 0; // the transaction is rolled back

    const QString code = head.code;
    QString note = head.text;
    if (unmatched > 0 && note.isEmpty())
        note = QStringLiteral("Строк ответа, не совпавших со сделками запроса: %1").arg(unmatched);
    QSqlQuery counts = query();
    if (deals > 0) {
        prepare(counts,
                QStringLiteral("UPDATE requests SET "
                               "accepted=(SELECT count(*) FROM deals WHERE request=? AND result=1),"
                               "rejected=(SELECT count(*) FROM deals WHERE request=? AND result=2),"
                               "answered=1, answer=?, code=?, text=? WHERE id=?"),
                "counts");
        counts.addBindValue(request);
        counts.addBindValue(request);
    } else {
        prepare(counts,
                QStringLiteral("UPDATE requests SET accepted=?, rejected=?, answered=1, "
                               "answer=?, code=?, text=? WHERE id=?"),
                "counts");
        counts.addBindValue(whole == Result::Accepted ? 1 : 0);
        counts.addBindValue(whole == Result::Rejected ? 1 : 0);
    }
    counts.addBindValue(answerId);
    counts.addBindValue(text(code));
    counts.addBindValue(text(note));
    counts.addBindValue(request);
    exec(counts, "counts");
    if (unmatched > 0)
        run(QStringLiteral("UPDATE answers SET unmatched=? WHERE id=?"), {unmatched, answerId},
            "unmatched");
    t.commit();
    return unmatched;
}

void JournalStore::keepUnreadable(const AnswerFile& file, const QString& reason)
{
    run(QStringLiteral("INSERT OR REPLACE INTO answers(path, size, modified, text, taken) "
                       "VALUES(?,?,?,?,?)"),
        {file.path, file.size, file.modified, text(reason), now()}, "unreadable");
}

QString JournalStore::AnswerKey(const AnswerFile& file)
{
    return file.path + u'\x1f' + QString::number(file.size) + u'\x1f' +
           QString::number(file.modified);
}

QSet<QString> JournalStore::knownAnswers()
{
    QSqlQuery q = query();
    if (!q.exec(QStringLiteral("SELECT path, size, modified FROM answers")))
        fail(q.lastError(), "answers");
    QSet<QString> known;
    while (q.next())
        known.insert(
            AnswerKey({q.value(0).toString(), q.value(1).toLongLong(), q.value(2).toLongLong()}));
    return known;
}

QString PackAttributes(const Attributes& attributes)
{
    QString packed;
    for (const auto& [name, value] : attributes) {
        packed += name;
        packed += u'\x1f';
        packed += value;
        packed += u'\x1e';
    }
    return packed;
}

Attributes UnpackAttributes(const QString& packed)
{
    Attributes attributes;
    attributes.reserve(packed.count(u'\x1e') + 1);
    qsizetype from = 0;
    while (from < packed.size()) {
        const qsizetype end = packed.indexOf(u'\x1e', from);
        const qsizetype stop = end < 0 ? packed.size() : end;
        const qsizetype bar = packed.indexOf(u'\x1f', from);
        if (bar >= 0 && bar < stop)
            attributes.append({packed.mid(from, bar - from), packed.mid(bar + 1, stop - bar - 1)});
        from = stop + 1;
    }
    return attributes;
}

std::optional<QStringView> PackedValue(QStringView packed, QStringView name)
{
    qsizetype from = 0;
    while (from < packed.size()) {
        qsizetype end = packed.indexOf(u'\x1e', from);
        if (end < 0)
            end = packed.size();
        const QStringView item = packed.mid(from, end - from);
        if (item.size() > name.size() && item.at(name.size()) == u'\x1f' && item.startsWith(name))
            return item.mid(name.size() + 1);
        from = end + 1;
    }
    return std::nullopt;
}

} // namespace varnel::journal
