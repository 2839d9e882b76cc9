// The sending journal without its window: requests followed through the send pipeline to the
// answers of the receive folder, deal by deal; hostile answers; a damaged database, or one that
// is not the journal, set aside; a journal that cannot be written never stopping a send, nor
// taking the room it needs.
#include "core/AtomicSave.h"
#include "core/SettingKeys.h"
#include "messages/SendPipelineTesting.h"
#include "tests/journal/JournalTestSupport.h"
#include "tests/support/FaultInjection.h"
#include "tests/support/MessagesOverrides.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <utility>

using namespace varnel;
using namespace varnel::testing;
using journal::RequestFilter;

namespace {

const QString kParticipant = QStringLiteral("MC0001200000");

QString stem(const QString& file)
{
    return QFileInfo(file).completeBaseName();
}

QString row(int n, const QString& more)
{
    return QStringLiteral("<Receipt N=\"%1\" %2 />").arg(n).arg(more);
}

// What the journal kept of the files it could not read, by file name.
QMap<QString, QString> unreadAnswers(const QString& journalFolder)
{
    QMap<QString, QString> kept;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("t"));
        db.setDatabaseName(journal::JournalStore::FileIn(journalFolder));
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("SELECT path, text FROM answers WHERE kind = ''"));
            while (q.next())
                kept.insert(QFileInfo(q.value(0).toString()).fileName(), q.value(1).toString());
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("t"));
    return kept;
}

// Runs the statements on a database file of the test's own making or mending.
void execOn(const QString& path, const QStringList& statements)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("v"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        for (const QString& statement : statements) {
            QSqlQuery q(db);
            QVERIFY2(q.exec(statement), qPrintable(statement + u' ' + q.lastError().text()));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("v"));
}

} // namespace

class JournalTest : public QObject {
    Q_OBJECT

private slots:
    void requestsFollowedToTheirAnswers();
    void severalAnswersInOneRound();
    void receiveFolderFollowsTheSettings();
    void changesElsewhereAreTold();
    void hostileAnswersKeptUnread_data();
    void hostileAnswersKeptUnread();
    void damagedJournalSetAside_data();
    void damagedJournalSetAside();
    void unwritableJournalNeverStopsSend_data();
    void unwritableJournalNeverStopsSend();
    void journalThatCannotGrowKeepsItsSpool();
    void journalLeavesTheSendItsRoom_data();
    void journalLeavesTheSendItsRoom();
    void failedOpenLeavesNothing_data();
    void failedOpenLeavesNothing();
    void requestRecordedOnce();
    void stoppedWriteLeavesNothing();
};

void JournalTest::requestsFollowedToTheirAnswers()
{
    JournalFixture f;
    f.start();
    const QString dealKeys = QStringLiteral(" Participant=\"MC0001200000\" Issue=\"SNEN-AO1\"");

    // A report of three deals: recorded as it was written, every deal waiting.
    const SimpleReportTable report = JournalFixture::Report(
        {{kParticipant, QStringLiteral("SNEN-AO1"), QStringLiteral("Д-1/24"), QStringLiteral("R-1"),
          QStringLiteral("15.03.2024"), QStringLiteral("101,5")},
         {kParticipant, QStringLiteral("SNEN-AO1"), QStringLiteral("Д-2/24"), QStringLiteral("R-2"),
          QStringLiteral("15.03.2024"), QStringLiteral("0")},
         {kParticipant, QStringLiteral("SNEN-AO1"), QStringLiteral("Д-3/24"), QStringLiteral("R-3"),
          QStringLiteral("15.03.2024"), QStringLiteral("99")}});
    RequestData data;
    data.report = &report;
    const QString deals = f.send(QStringLiteral("Deals"), data);
    QVERIFY2(deals.startsWith(u"DL"), qPrintable(f.dialogs().texts().join(u'|')));
    f.name(deals, QStringLiteral("DL"));
    {
        journal::JournalStore store(journal::JournalStore::FileIn(f.journalFolder()));
        QVERIFY(store.open(false));
        const QList<journal::DealEntry> written = store.deals(store.requests({}).first().id, 0, 9);
        QCOMPARE(written.size(), 3);
        QCOMPARE(journal::ValueOf(written.first().fields, u"TradeDate"),
                 QStringLiteral("2024-03-15"));
        QCOMPARE(journal::ValueOf(written.first().fields, u"Price"), QStringLiteral("101.5"));
        QCOMPARE(store.requests({}).first().participant, kParticipant);
    }
    QCOMPARE(f.dump(), QStringLiteral("Deals DL: 3 deals, 0 accepted, 0 rejected, 3 waiting\n"
                                      "  1 Д-1/24 R-1 ждет ответа\n"
                                      "  2 Д-2/24 R-2 ждет ответа\n"
                                      "  3 Д-3/24 R-3 ждет ответа"));

    // Its receipt for two of them, in a transport's envelope.
    f.receive(stem(deals) + QStringLiteral(".msg"),
              Receipt(QStringLiteral("Receipts"), deals,
                      {row(1, QStringLiteral("Id=\"240315000101\" Agreement=\"Д-1/24\" "
                                             "Reference=\"R-1\"") +
                                  dealKeys + QStringLiteral(" Status=\"Accepted\"")),
                       row(2, QStringLiteral("Agreement=\"Д-2/24\" Reference=\"R-2\"") + dealKeys +
                                  QStringLiteral(" Status=\"Rejected\" Code=\"S16\" Text=\"(S16) "
                                                 "Поле Price (0) должно иметь положительное "
                                                 "значение\""))}),
              "ENVELOPE 0001 FROM THE TRANSPORT\r\n", "\r\n-- END OF ENVELOPE <<<");
    // A later receipt has the last word; a row whose keys are not the deal's changes nothing.
    f.receive(stem(deals) + QStringLiteral("_2.msg"),
              Receipt(QStringLiteral("Receipts"), deals,
                      {row(1, QStringLiteral("Agreement=\"Д-9/24\" Status=\"Rejected\" "
                                             "Code=\"S52\"")),
                       row(3, QStringLiteral("Id=\"240315000103\" Agreement=\"Д-3/24\" "
                                             "Status=\"Accepted\""))}));

    // A revocation of the first deal, accepted: the report's deal shows it.
    SimpleRevocationList revocation;
    revocation.addRow({QStringLiteral("240315000101"), QString(), QString(), kParticipant,
                       QStringLiteral("ошибка ввода")});
    RequestData revoke;
    revoke.revocation = &revocation;
    const QString rd = f.send(QStringLiteral("RevokeDeals"), revoke);
    f.name(rd, QStringLiteral("RD"));
    f.receive(stem(rd) + QStringLiteral(".msg"),
              Receipt(QStringLiteral("RevokeReceipts"), rd,
                      {row(1, QStringLiteral("Id=\"240315000101\" Agreement=\"Д-1/24\" "
                                             "Reference=\"R-1\" Status=\"Accepted\""))}));
    // Another, refused as a whole.
    const QString rd2 = f.send(QStringLiteral("RevokeDeals"), revoke);
    f.name(rd2, QStringLiteral("RD2"));
    f.receive(stem(rd2) + QStringLiteral(".msg"),
              Receipt(QStringLiteral("Receipts"), rd2, {},
                      QStringLiteral(" Code=\"S98\" Text=\"(S98) Сообщение не соответствует "
                                     "формату\"")));

    // A repo report, and its initial part revoked: only the second part is left to revoke.
    const SimpleReportTable repo = JournalFixture::Report(
        {{kParticipant, QStringLiteral("SNEN-BO3"), QStringLiteral("Р-1"), QStringLiteral("RR-1"),
          QStringLiteral("15.03.2024"), QStringLiteral("1000")}},
        true);
    RequestData repoData;
    repoData.report = &repo;
    const QString dr = f.send(QStringLiteral("RepoDeals"), repoData);
    f.name(dr, QStringLiteral("DR"));
    f.receive(stem(dr) + QStringLiteral(".msg"),
              Receipt(QStringLiteral("RepoReceipts"), dr,
                      {row(1, QStringLiteral("Id=\"777\" Agreement=\"Р-1\" Reference=\"RR-1\" "
                                             "Status=\"Accepted\""))}));
    SimpleRevocationList part(QStringLiteral("Short"));
    part.addRow({QStringLiteral("777"), QString(), QString(), QStringLiteral("I"), kParticipant});
    RequestData partData;
    partData.revocation = &part;
    const QString rr = f.send(QStringLiteral("RepoRevokeDeals"), partData);
    f.name(rr, QStringLiteral("RR"));
    f.receive(stem(rr) + QStringLiteral(".msg"),
              Receipt(QStringLiteral("RepoRevokeReceipts"), rr,
                      {row(1, QStringLiteral("Id=\"777\" Direction=\"I\" Status=\"Accepted\""))},
                      QStringLiteral(" ReplyType=\"Short\"")));
    {
        journal::JournalStore store(journal::JournalStore::FileIn(f.journalFolder()));
        QVERIFY(store.open(false));
        RequestFilter filter;
        qint64 repoId = 0;
        for (const journal::RequestEntry& r : store.requests(filter))
            repoId = r.kind == u"RepoDeals" ? r.id : repoId;
        QCOMPARE(journal::RevocationRowsOf(store.deals(repoId, 0, 9), true),
                 QList<QStringList>({{QStringLiteral("777"), QStringLiteral("Р-1"),
                                      QStringLiteral("RR-1"), QStringLiteral("S"), kParticipant}}));
    }

    // The handbook, answered by a handbook named after its request (it names none); a
    // subscription refused.
    const QString gil = f.send(QStringLiteral("GetIssueList"));
    f.name(gil, QStringLiteral("GIL"));
    f.receive(stem(gil) + QStringLiteral(".msg"),
              QStringLiteral("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\n<IssueList "
                             "Language=\"RU\" Created=\"2024-03-15T18:30:00\" Count=\"1\">\n"
                             "<Issue Code=\"SNEN-AO1\" />\n</IssueList>\n"));
    const QString sil = f.send(QStringLiteral("SubscribeIssueList"));
    f.name(sil, QStringLiteral("SIL"));
    f.receive(stem(sil) + QStringLiteral(".msg"),
              QStringLiteral("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\n"
                             "<SubscribeResult Language=\"RU\" Created=\"2024-03-15T09:00:12\" "
                             "Request=\"%1\" Action=\"Subscribe\" Status=\"Rejected\" "
                             "Subscribed=\"1\" Code=\"S90\" Text=\"(S90) Подписка на справочник "
                             "ЦБ уже оформлена\" />\n")
                  .arg(sil));

    // A mailing of the handbook answers no request; an answer that comes before its request is
    // recorded is matched once it is.
    f.receive(QStringLiteral("IL20240315183000.msg"),
              QStringLiteral("<?xml version=\"1.0\"?>\n<IssueList Created=\"2024-03-15T18:30:00\" "
                             "Count=\"0\">\n</IssueList>\n"));
    QString early;
    {
        ScopedSendStageHook hook([&](SendStage stage, const QString& work) {
            if (stage == SendStage::BeforeMove)
                f.receive(stem(work) + QStringLiteral(".msg"),
                          Receipt(QStringLiteral("Receipts"), QFileInfo(work).fileName(),
                                  {row(1, QStringLiteral("Id=\"240315000201\" "
                                                         "Status=\"Accepted\""))}));
        });
        early = f.send(QStringLiteral("Deals"), data);
    }
    f.name(early, QStringLiteral("DL early"));

    QCOMPARE(f.dump(),
             QStringLiteral(
                 "Deals DL: 3 deals, 2 accepted, 1 rejected, 0 waiting | Строк ответа, не "
                 "совпавших со сделками запроса: 1\n"
                 "  1 Д-1/24 R-1 принята, удалена в реестре 240315000101\n"
                 "  2 Д-2/24 R-2 отклонена S16\n"
                 "  3 Д-3/24 R-3 принята 240315000103\n"
                 "RevokeDeals RD: 1 deals, 1 accepted, 0 rejected, 0 waiting\n"
                 "  1 240315000101 принята 240315000101\n"
                 "RevokeDeals RD2: 1 deals, 0 accepted, 1 rejected, 0 waiting | (S98) Сообщение "
                 "не соответствует формату\n"
                 "  1 240315000101 отклонена S98\n"
                 "RepoDeals DR: 1 deals, 1 accepted, 0 rejected, 0 waiting\n"
                 "  1 Р-1 RR-1 принята, удалена часть I 777\n"
                 "RepoRevokeDeals RR: 1 deals, 1 accepted, 0 rejected, 0 waiting\n"
                 "  1 777 принята 777\n"
                 "GetIssueList GIL: 0 deals, 1 accepted, 0 rejected, 0 waiting\n"
                 "SubscribeIssueList SIL: 0 deals, 0 accepted, 1 rejected, 0 waiting | (S90) "
                 "Подписка на справочник ЦБ уже оформлена\n"
                 "Deals DL early: 3 deals, 1 accepted, 0 rejected, 2 waiting\n"
                 "  1 Д-1/24 R-1 принята 240315000201\n"
                 "  2 Д-2/24 R-2 ждет ответа\n"
                 "  3 Д-3/24 R-3 ждет ответа"));
    QCOMPARE(f.dump(RequestFilter::Status::AnswersOnly),
             QStringLiteral("IssueList IL20240315183000.msg: 0 deals, 0 accepted, 0 rejected, 0 "
                            "waiting"));
    QCOMPARE(f.dump(RequestFilter::Status::Waiting).count(QStringLiteral(" waiting")), 1);
    QCOMPARE(f.dump(RequestFilter::Status::WithRejected).count(QStringLiteral(" waiting")), 3);
    QCOMPARE(f.dump(RequestFilter::Status::Accepted).count(QStringLiteral(" waiting")), 4);
    QVERIFY(QDir(journal::SpoolFolderOf(f.journalFolder())).entryList(QDir::Files).isEmpty());
    QCOMPARE(f.notices(), QStringList());
}

// Answers that come together are taken in one round oldest first, whatever their names, so that
// the later has the last word; and an answer naming a request file that was sent twice (the
// names come round again) answers the newest of the two.
void JournalTest::severalAnswersInOneRound()
{
    JournalFixture f;
    f.start();
    const QString keys = QStringLiteral(" Agreement=\"Д-1/24\" Reference=\"R-1\" "
                                        "Participant=\"MC0001200000\" Issue=\"SNEN-AO1\"");
    const SimpleReportTable report = JournalFixture::Report(
        {{kParticipant, QStringLiteral("SNEN-AO1"), QStringLiteral("Д-1/24"), QStringLiteral("R-1"),
          QStringLiteral("15.03.2024"), QStringLiteral("101,5")}});
    RequestData data;
    data.report = &report;
    const QString first = f.send(QStringLiteral("Deals"), data);
    f.name(first, QStringLiteral("DL"));
    const QDateTime at = QDateTime::currentDateTime().addSecs(-600);
    f.drop(stem(first) + QStringLiteral("_b.msg"),
           Receipt(QStringLiteral("Receipts"), first,
                   {row(1, keys + QStringLiteral(" Status=\"Rejected\" Code=\"S16\""))}),
           {}, {}, at);
    f.drop(stem(first) + QStringLiteral("_a.msg"),
           Receipt(QStringLiteral("Receipts"), first,
                   {row(1, QStringLiteral("Id=\"1\"") + keys +
                               QStringLiteral(" Status=\"Accepted\""))}),
           {}, {}, at.addSecs(60));

    const QString second = f.send(QStringLiteral("Deals"), data);
    f.name(second, QStringLiteral("DL2"));
    {
        journal::JournalStore store(journal::JournalStore::FileIn(f.journalFolder()));
        QVERIFY(store.open(false));
        bool given = false;
        store.recordRequest(QStringLiteral("Deals"), second,
                            QDateTime::currentDateTime().addSecs(60).toString(Qt::ISODateWithMs),
                            kParticipant, [&](journal::DealEntry& deal) {
                                if (std::exchange(given, true))
                                    return false;
                                deal.n = 1;
                                deal.agreement = QStringLiteral("Д-1/24");
                                deal.reference = QStringLiteral("R-1");
                                deal.participant = kParticipant;
                                deal.issue = QStringLiteral("SNEN-AO1");
                                deal.fields = {{QStringLiteral("Reference"), deal.reference}};
                                return true;
                            });
    }
    f.drop(stem(second) + QStringLiteral(".msg"),
           Receipt(QStringLiteral("Receipts"), second,
                   {row(1, QStringLiteral("Id=\"2\"") + keys +
                               QStringLiteral(" Status=\"Accepted\""))}));
    f.round();
    QCOMPARE(f.dump(), QStringLiteral("Deals DL: 1 deals, 1 accepted, 0 rejected, 0 waiting\n"
                                      "  1 Д-1/24 R-1 принята 1\n"
                                      "Deals DL2: 1 deals, 0 accepted, 0 rejected, 1 waiting\n"
                                      "  1 Д-1/24 R-1 ждет ответа\n"
                                      "Deals DL2: 1 deals, 1 accepted, 0 rejected, 0 waiting\n"
                                      "  1 Д-1/24 R-1 принята 2"));
}

// The receive folder changed in the options: the journal watches the new one at once, and an
// answer that arrives there is taken in without anybody asking for a round.
void JournalTest::receiveFolderFollowsTheSettings()
{
    JournalFixture f;
    f.start();
    const QString gil = f.send(QStringLiteral("GetIssueList"));
    f.name(gil, QStringLiteral("GIL"));
    QTemporaryDir other;
    QVERIFY(other.isValid());
    QSignalSpy rounds(&f.journal(), &journal::Journal::synced);
    settings::kFolderReceive.writeOrFail(other.path());
    QVERIFY(rounds.wait());
    f.journal().waitForSync();
    rounds.clear();
    QVERIFY(WriteBytes(QDir(other.path()).filePath(stem(gil) + QStringLiteral(".msg")),
                       "<?xml version=\"1.0\"?>\n<IssueList Created=\"2024-03-15T18:30:00\" "
                       "Count=\"0\">\n</IssueList>\n"));
    QVERIFY(rounds.wait());
    f.journal().waitForSync();
    QCOMPARE(f.dump(),
             QStringLiteral("GetIssueList GIL: 0 deals, 1 accepted, 0 rejected, 0 waiting"));
}

// Another program on the same folder (a varnel-cli beside the client) records a request: the
// journal tells it without a round of its own, so that its window shows it at once.
void JournalTest::changesElsewhereAreTold()
{
    JournalFixture f;
    f.start();
    QSignalSpy told(&f.journal(), &journal::Journal::changedElsewhere);
    {
        journal::JournalStore other(journal::JournalStore::FileIn(f.journalFolder()));
        QVERIFY(other.open(false));
        other.recordRequest(QStringLiteral("GetIssueList"), QStringLiteral("GIL0001.xml"),
                            QStringLiteral("2024-03-15T18:00:00"), kParticipant,
                            [](journal::DealEntry&) { return false; });
    }
    QVERIFY(told.wait());
    QCOMPARE(f.dump(), QStringLiteral(
                           "GetIssueList GIL0001.xml: 0 deals, 0 accepted, 0 rejected, 1 waiting"));
}

void JournalTest::hostileAnswersKeptUnread_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("kept"); // what the journal says of it; empty: not even read
    const QByteArray head = "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n";
    QByteArray attributes = head + "<Receipts Request=\"DL0000.xml\">\r\n<Receipt";
    for (int i = 0; i < 1100; ++i)
        attributes += " a" + QByteArray::number(i) + "=\"1\"";
    QByteArray deep = head + "<Receipts Request=\"DL0000.xml\">";
    deep += QByteArray("<a>").repeated(20000);
    QTest::newRow("document type") << head + "<!DOCTYPE Receipts [<!ENTITY x \"xxxxxxxx\">]>\r\n"
                                             "<Receipts Request=\"&x;\" />"
                                   << QStringLiteral("DTD is prohibited");
    QTest::newRow("too many attributes")
        << attributes + " />\r\n</Receipts>" << QStringLiteral("more than 1024 attributes");
    QTest::newRow("too deep") << deep << QStringLiteral("Excessive depth");
    QTest::newRow("not XML") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)
                             << QStringLiteral("Document is empty");
    QTest::newRow("markup not in ASCII bytes")
        << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-7\"?><Receipts/>")
        << QStringLiteral("UTF-7");
    QTest::newRow("not an answer")
        << head + "<deals Language=\"RU\" />" << QStringLiteral("не ответ реестра: deals");
    QTest::newRow("too large") << QByteArray("sparse") << QStringLiteral("больше допустимого");
    QTest::newRow("named pipe") << QByteArray("fifo") << QString();
    QTest::newRow("link to a device") << QByteArray("link") << QString();
}

void JournalTest::hostileAnswersKeptUnread()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, kept);
    JournalFixture f;
    f.start();
    const SimpleReportTable report = JournalFixture::Report(
        {{kParticipant, QStringLiteral("SNEN-AO1"), QStringLiteral("A"), QStringLiteral("R"),
          QStringLiteral("15.03.2024"), QStringLiteral("1")}});
    RequestData data;
    data.report = &report;
    const QString deals = f.send(QStringLiteral("Deals"), data);
    f.name(deals, QStringLiteral("DL"));

    const QString hostile = f.folder().receive(QStringLiteral("hostile.msg"));
    if (bytes == "sparse") {
        QFile file(hostile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<?xml version=\"1.0\"?>\r\n<Receipts Request=\"" + deals.toUtf8() + "\">");
        QVERIFY(file.resize(varnel::kMaxAnswerBytes + 1));
    } else if (bytes == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(hostile).constData(), 0600), 0);
    } else if (bytes == "link") {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), hostile));
        QVERIFY(QFile::link(f.folder().work(QStringLiteral("elsewhere.msg")),
                            f.folder().receive(QStringLiteral("elsewhere.msg"))));
        QVERIFY(WriteBytes(f.folder().work(QStringLiteral("elsewhere.msg")),
                           Receipt(QStringLiteral("Receipts"), deals,
                                   {row(1, QStringLiteral("Status=\"Rejected\""))})
                               .toUtf8()));
    } else {
        QVERIFY(WriteBytes(hostile, bytes));
    }
    // The answer beside it is taken in all the same.
    f.receive(stem(deals) + QStringLiteral(".msg"),
              Receipt(QStringLiteral("Receipts"), deals,
                      {row(1, QStringLiteral("Id=\"1\" Status=\"Accepted\""))}));

    QCOMPARE(f.dump(), QStringLiteral("Deals DL: 1 deals, 1 accepted, 0 rejected, 0 waiting\n"
                                      "  1 A R принята 1"));
    const QMap<QString, QString> unread = unreadAnswers(f.journalFolder());
    if (kept.isEmpty()) {
        QVERIFY2(unread.isEmpty(), qPrintable(unread.keys().join(u',')));
    } else {
        QCOMPARE(unread.keys(), QStringList{QStringLiteral("hostile.msg")});
        QVERIFY2(unread.first().contains(kept), qPrintable(unread.first()));
    }
    QCOMPARE(f.notices(), QStringList());
}

void JournalTest::damagedJournalSetAside_data()
{
    // How the file is spoilt: its bytes, or statements run on it (a new file when "new" leads).
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QStringList>("statements");
    QTest::newRow("not a database") << QStringLiteral("garbage") << QStringList();
    QTest::newRow("damaged pages") << QStringLiteral("pages") << QStringList();
    QTest::newRow("journal of another version")
        << QString() << QStringList{QStringLiteral("PRAGMA user_version=99")};
    QTest::newRow("version 1 without tables")
        << QStringLiteral("new") << QStringList{QStringLiteral("PRAGMA user_version=1")};
    QTest::newRow("a table missing")
        << QString() << QStringList{QStringLiteral("DROP TABLE answers")};
    QTest::newRow("a column missing")
        << QString() << QStringList{QStringLiteral("ALTER TABLE deals DROP COLUMN revoked")};
    QTest::newRow("a view for a table")
        << QString()
        << QStringList{QStringLiteral("ALTER TABLE requests RENAME TO old"),
                       QStringLiteral("CREATE VIEW requests AS SELECT * FROM old")};
    // The journal makes no triggers: one would change what it records behind its back.
    QTest::newRow("a trigger of its own")
        << QString()
        << QStringList{QStringLiteral("CREATE TRIGGER forget AFTER INSERT ON deals BEGIN "
                                      "DELETE FROM deals; END")};
    // Without a version, a file that already holds tables is another program's, not a journal
    // to be begun in it.
    QTest::newRow("another program's database")
        << QStringLiteral("new")
        << QStringList{QStringLiteral("CREATE TABLE requests(id INTEGER PRIMARY KEY, body BLOB)")};
    QTest::newRow("the journal itself") << QString() << QStringList();
}

void JournalTest::damagedJournalSetAside()
{
    QFETCH(QString, damage);
    QFETCH(QStringList, statements);
    JournalFixture f;
    f.start();
    QList<QStringList> many;
    for (int i = 0; i < 2000; ++i)
        many.append({kParticipant, QStringLiteral("SNEN-AO1"), QStringLiteral("Договор %1").arg(i),
                     QStringLiteral("R-%1").arg(i), QStringLiteral("15.03.2024"),
                     QStringLiteral("1")});
    const SimpleReportTable report = JournalFixture::Report(many);
    RequestData data;
    data.report = &report;
    QVERIFY(!f.send(QStringLiteral("Deals"), data).isEmpty());
    f.stop(); // the last connection folds the log into the file

    const QString database = journal::JournalStore::FileIn(f.journalFolder());
    const QByteArray before = ReadBytes(database);
    QVERIFY(before.size() > 100000);
    if (damage == u"garbage") {
        QVERIFY(WriteBytes(database, QByteArray(8192, 'x')));
    } else if (damage == u"pages") {
        QByteArray bytes = before;
        for (qsizetype i = bytes.size() / 2; i < bytes.size() / 2 + 3 * 4096; ++i)
            bytes[i] = char(0xA5);
        QVERIFY(WriteBytes(database, bytes));
    } else if (damage == u"new") {
        QVERIFY(QFile::remove(database));
    }
    execOn(database, statements);
    const bool sound = damage.isEmpty() && statements.isEmpty();

    f.start();
    const QString next = f.send(QStringLiteral("GetIssueList"));
    QVERIFY(!next.isEmpty());
    journal::JournalStore store(database);
    QVERIFY(store.open(false));
    if (sound) {
        // Read over and kept, with every row.
        QCOMPARE(f.notices(), QStringList());
        QCOMPARE(store.requestCount(), qint64(2));
        QCOMPARE(store.dealCount(), qint64(2000));
        return;
    }
    QCOMPARE(f.notices().size(), 1);
    const QString notice = f.notices().first();
    QVERIFY2(notice.startsWith(QStringLiteral("Журнал отправок был поврежден: он отложен в файл ")),
             qPrintable(notice));
    const QString aside = notice.section(QStringLiteral("отложен в файл "), 1).section(u',', 0, 0);
    QVERIFY2(QFileInfo(aside).isFile() && aside.startsWith(database + QStringLiteral(".damaged-")),
             qPrintable(aside));
    // A new journal, in which the next request is recorded.
    store.close();
    f.name(next, QStringLiteral("GIL"));
    QCOMPARE(f.dump(), QStringLiteral("GetIssueList GIL: 0 deals, 0 accepted, 0 rejected, 1 "
                                      "waiting"));
}

void JournalTest::unwritableJournalNeverStopsSend_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("full disk") << false;
    QTest::newRow("read-only folder") << true;
}

void JournalTest::unwritableJournalNeverStopsSend()
{
    QFETCH(bool, readOnly);
    SmallDisk disk(1024 * 1024);
    VARNEL_REQUIRE_DISK(disk);
    JournalFixture f;
    // The journal's folder lies on the small disk; the work and send folders do not.
    QVERIFY(QFile::link(disk.path(), f.journalFolder()));
    if (readOnly)
        disk.makeReadOnly();
    else
        disk.fill();
    f.start();
    QStringList sent;
    for (int i = 0; i < 2; ++i)
        sent << f.send(QStringLiteral("GetIssueList"));
    QVERIFY(!sent.at(0).isEmpty() && !sent.at(1).isEmpty());
    QCOMPARE(QDir(f.folder().file(QStringLiteral("send"))).entryList(QDir::Files).size(), 2);
    QCOMPARE(f.dialogs().texts().filter(QStringLiteral("Запрос GetIssueList отправлен")).size(), 2);
    // Said once, for as long as it lasts.
    QCOMPARE(f.notices().size(), 1);
    QVERIFY2(f.notices().first().startsWith(QStringLiteral("Журнал отправок не записан: ")),
             qPrintable(f.notices().first()));
    QCOMPARE(FolderEntries(f.folder().work()), QStringList{QStringLiteral("journal")});
    if (readOnly)
        return;
    // Room again: the next request is recorded.
    QVERIFY(QFile::remove(disk.filePath(QStringLiteral(".filler"))));
    const QString third = f.send(QStringLiteral("GetIssueList"));
    f.name(third, QStringLiteral("GIL"));
    QCOMPARE(f.dump(), QStringLiteral("GetIssueList GIL: 0 deals, 0 accepted, 0 rejected, 1 "
                                      "waiting"));
}

void JournalTest::journalThatCannotGrowKeepsItsSpool()
{
    // A file-size limit that the request stays under and the journal's database does not:
    // the request goes out, the journal says why it could not record it, and keeps it waiting
    // in its spool for a round that can.
    const std::optional<QString> outcome = RunWithFileSizeLimit(96 * 1024, [] {
        JournalFixture f;
        f.start();
        QList<QStringList> deals;
        for (int i = 0; i < 400; ++i)
            deals.append({kParticipant, QStringLiteral("SNEN-AO1"),
                          QStringLiteral("Договор %1").arg(i), QStringLiteral("R-%1").arg(i),
                          QStringLiteral("15.03.2024"), QStringLiteral("1")});
        const SimpleReportTable report = JournalFixture::Report(deals);
        RequestData data;
        data.report = &report;
        const QString sent = f.send(QStringLiteral("Deals"), data);
        const bool placed = QFileInfo::exists(f.folder().file(QStringLiteral("send/")) + sent);
        return QStringLiteral("sent=%1 spool=%2 notices=%3")
            .arg(placed ? QStringLiteral("true") : QStringLiteral("false"))
            .arg(QDir(journal::SpoolFolderOf(f.journalFolder())).entryList(QDir::Files).size())
            .arg(f.notices().join(u'|'));
    });
    QVERIFY2(outcome, "the client ended at the file-size limit");
    QVERIFY2(outcome->startsWith(QStringLiteral("sent=true spool=1 notices=Журнал отправок не "
                                                "записан: ")),
             qPrintable(*outcome));
    QVERIFY2(!outcome->contains(u'|'), qPrintable(*outcome));
}

void JournalTest::journalLeavesTheSendItsRoom_data()
{
    QTest::addColumn<bool>("existing"); // a journal kept from before, or none yet
    QTest::newRow("journal kept from before") << true;
    QTest::newRow("no journal yet") << false;
}

void JournalTest::journalLeavesTheSendItsRoom()
{
    // The work folder (and the journal's in it) on a disk with two pages left: room for the
    // request, none for the journal. The journal fails to open and must leave the room it found,
    // so that the request the user sends next still goes out.
    QFETCH(bool, existing);
    SmallDisk disk(1024 * 1024);
    VARNEL_REQUIRE_DISK(disk);
    JournalFixture f;
    QVERIFY(QDir().rmdir(f.folder().work()));
    QVERIFY(QFile::link(disk.path(), f.folder().file(QStringLiteral("work"))));
    if (existing) {
        f.start();
        f.name(f.send(QStringLiteral("GetIssueList")), QStringLiteral("GIL"));
        f.stop();
        QCOMPARE(FolderEntries(f.journalFolder()),
                 (QStringList{QStringLiteral("journal.sqlite"), QStringLiteral("spool")}));
    }
    disk.fill();
    {
        QFile filler(disk.filePath(QStringLiteral(".filler")));
        QVERIFY(filler.resize(filler.size() / 4096 * 4096 - 8192));
    }

    f.start();
    QCOMPARE(f.notices().size(), 1);
    QVERIFY2(f.notices().first().startsWith(QStringLiteral("Журнал отправок не записан: ")),
             qPrintable(f.notices().first()));
    QList<QStringList> deals;
    for (int i = 0; i < 40; ++i)
        deals.append({kParticipant, QStringLiteral("SNEN-AO1"), QStringLiteral("Договор %1").arg(i),
                      QStringLiteral("R-%1").arg(i), QStringLiteral("15.03.2024"),
                      QStringLiteral("1")});
    const SimpleReportTable report = JournalFixture::Report(deals);
    RequestData data;
    data.report = &report;
    const QString sent = f.send(QStringLiteral("Deals"), data);
    QVERIFY2(!sent.isEmpty(), qPrintable(f.dialogs().last().text));
    // The request needs both pages.
    const qint64 size = QFileInfo(f.folder().file(QStringLiteral("send/")) + sent).size();
    QVERIFY2(size > 4096 && size <= 8192, qPrintable(QString::number(size)));
    f.name(sent, QStringLiteral("DL"));
    // Said once; nothing of the failed opens left, the request waits in the spool.
    QCOMPARE(f.notices().size(), 1);
    QCOMPARE(FolderEntries(f.journalFolder()),
             existing ? (QStringList{QStringLiteral("journal.sqlite"), QStringLiteral("spool")})
                      : QStringList{QStringLiteral("spool")});
    QCOMPARE(QDir(journal::SpoolFolderOf(f.journalFolder())).entryList(QDir::Files).size(), 1);

    // Room again: the request is recorded, the journal from before kept.
    QVERIFY(QFile::remove(disk.filePath(QStringLiteral(".filler"))));
    f.journal().sync();
    f.journal().waitForSync();
    QCOMPARE(f.dump().section(u'\n', 0, 0),
             existing
                 ? QStringLiteral("GetIssueList GIL: 0 deals, 0 accepted, 0 rejected, 1 waiting")
                 : QStringLiteral("Deals DL: 40 deals, 0 accepted, 0 rejected, 40 waiting"));
    QVERIFY(f.dump().contains(QStringLiteral("Deals DL: 40 deals, 0 accepted, 0 rejected, 40 "
                                             "waiting")));
}

void JournalTest::failedOpenLeavesNothing_data()
{
    journalLeavesTheSendItsRoom_data();
}

void JournalTest::failedOpenLeavesNothing()
{
    // The same without a disk of its own, for any user: files may not grow past 16 KB, which
    // a new database's tables and the memory index of a kept one both need.
    QFETCH(bool, existing);
    JournalFixture f;
    if (existing) {
        f.start();
        QVERIFY(!f.send(QStringLiteral("GetIssueList")).isEmpty());
        f.stop();
    }
    const QString folder = f.journalFolder();
    const QStringList before = FolderEntries(folder);
    const std::optional<QString> outcome = RunWithFileSizeLimit(16 * 1024, [&] {
        journal::SyncJob job;
        job.folder = folder;
        return journal::RunSync(job).failure;
    });
    QVERIFY2(outcome, "the round ended at the file-size limit");
    QVERIFY2(outcome->contains(QStringLiteral("journal.sqlite")), qPrintable(*outcome));
    QCOMPARE(FolderEntries(folder), existing ? before : QStringList{QStringLiteral("spool")});
}

// The rounds of a client and a command-line program on one journal may both find a request in
// the spool: the second finds it recorded, and the journal lists it once with its deals.
void JournalTest::requestRecordedOnce()
{
    QTemporaryDir dir;
    journal::JournalStore first(journal::JournalStore::FileIn(dir.path()));
    journal::JournalStore second(journal::JournalStore::FileIn(dir.path()));
    QVERIFY(first.open(true));
    QVERIFY(second.open(false));
    const auto twoDeals = [](int* n) {
        return [n](journal::DealEntry& deal) {
            if (*n >= 2)
                return false;
            deal = journal::DealEntry();
            deal.n = ++*n;
            deal.reference = QStringLiteral("R-%1").arg(*n);
            deal.fields = {{QStringLiteral("Reference"), deal.reference}};
            return true;
        };
    };
    int a = 0, b = 0, c = 0;
    const QString sent = QStringLiteral("2026-12-10T01:30:02.120");
    const qint64 id = first.recordRequest(QStringLiteral("Deals"), QStringLiteral("DL1.xml"), sent,
                                          QStringLiteral("MC01"), twoDeals(&a));
    QCOMPARE(second.recordRequest(QStringLiteral("Deals"), QStringLiteral("DL1.xml"), sent,
                                  QStringLiteral("MC01"), twoDeals(&b)),
             id);
    // Another placing of the same name is another request.
    QVERIFY(second.recordRequest(QStringLiteral("Deals"), QStringLiteral("DL1.xml"),
                                 QStringLiteral("2026-12-11T01:30:02.120"), QStringLiteral("MC01"),
                                 twoDeals(&c)) != id);
    QCOMPARE(first.requestCount(), 2);
    QCOMPARE(first.dealCount(), 4);
}

// A round stopped between the rows of a request or an answer undoes that write whole and says
// it stopped, not failed: the next round does it again from the start.
void JournalTest::stoppedWriteLeavesNothing()
{
    QTemporaryDir dir;
    journal::JournalStore store(journal::JournalStore::FileIn(dir.path()));
    QVERIFY(store.open(true));
    std::atomic_bool stop{false};
    store.stopWhen(&stop);
    int n = 0;
    int stopAt = 2; // the deal after which stop is set (0: never)
    const auto deals = [&](journal::DealEntry& deal) {
        if (n >= 3)
            return false;
        deal = journal::DealEntry();
        deal.n = ++n;
        deal.fields = {{QStringLiteral("Reference"), QStringLiteral("R-%1").arg(n)}};
        if (n == stopAt)
            stop = true;
        return true;
    };
    const QString sent = QStringLiteral("2026-12-10T01:30:02.120");
    QCOMPARE(store.recordRequest(QStringLiteral("Deals"), QStringLiteral("DL1.xml"), sent,
                                 QStringLiteral("MC01"), deals),
             0);
    QVERIFY(store.stopped());
    QCOMPARE(store.requestCount(), 0);
    QCOMPARE(store.dealCount(), 0);

    stop = false;
    n = 0;
    stopAt = 0;
    const qint64 id = store.recordRequest(QStringLiteral("Deals"), QStringLiteral("DL1.xml"), sent,
                                          QStringLiteral("MC01"), deals);
    QVERIFY(id > 0);
    QVERIFY(!store.stopped());
    QCOMPARE(store.dealCount(), 3);

    varnel::AnswerHead head;
    head.kind = varnel::AnswerKind::Receipts;
    head.request = QStringLiteral("DL1.xml");
    const journal::AnswerFile file{dir.filePath(QStringLiteral("in.xml")), 1, 1};
    int rows = 0;
    const auto answerRows = [&](varnel::AnswerRow& row) {
        if (rows >= 2)
            return false;
        row = varnel::AnswerRow();
        row.n = ++rows;
        stop = true; // after the first row
        return true;
    };
    QCOMPARE(store.takeAnswer(file, head, id, answerRows), 0);
    QVERIFY(store.stopped());
    QVERIFY(store.knownAnswers().isEmpty());
    QCOMPARE(store.request(id)->answered, false);
    store.close();

    // A round asked to stop leaves the spool as it was and reports a stop, not a failure.
    const QString spool = journal::SpoolFolderOf(dir.path());
    QVERIFY(QDir().mkpath(spool));
    const QString placed =
        spool + u'/' +
        journal::SpoolName(QDateTime::currentDateTime(), 1, QStringLiteral("Deals"),
                           QStringLiteral("MC01"), QStringLiteral("DL2.xml"));
    QVERIFY(QFile(placed).open(QIODevice::WriteOnly));
    journal::SyncJob job;
    job.folder = dir.path();
    stop = true;
    journal::SyncReport report = journal::RunSync(job, &stop);
    QVERIFY(report.stopped);
    QVERIFY(report.failure.isEmpty());
    QCOMPARE(report.recorded, 0);
    QVERIFY(QFile::exists(placed));
    stop = false;
    report = journal::RunSync(job, &stop);
    QVERIFY(!report.stopped);
    QCOMPARE(report.recorded, 1);
    QVERIFY(!QFile::exists(placed));
}

QTEST_MAIN(JournalTest)
#include "tst_journal.moc"
