#include "LoopbackSupport.h"

#include "Registry.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <memory>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace loopback;

namespace {

const QString kHandbook =
    QStringLiteral("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n"
                   "<IssueList Language=\"RU\" Created=\"2024-03-15T18:30:00\" Count=\"2\">\r\n"
                   "<Issue Code=\"SNEN-AO1\" ShortName=\"СевЭнерг ао\" ISIN=\"RU000ZV01002\" />\r\n"
                   "<Issue Code=\"SNEN-BO3\" ISIN=\"RU000ZV02034\" />\r\n"
                   "</IssueList>\r\n");

// One program folder's send and receive folders, the archive beside them, and the registry.
struct Road {
    QTemporaryDir dir;
    QString send = dir.filePath(QStringLiteral("send"));
    QString receive = dir.filePath(QStringLiteral("receive"));
    QString archive = dir.filePath(QStringLiteral("archive"));
    Log log;
    std::unique_ptr<Registry> registry;

    Road()
    {
        QDir().mkpath(send);
        QDir().mkpath(receive);
        log.setEcho(qEnvironmentVariableIsSet("LOOPBACK_ECHO"));
    }

    bool start(const QString& handbook = QString())
    {
        registry.reset();
        registry =
            std::make_unique<Registry>(RegistryOptions{send, receive, archive, handbook, 0}, log);
        QString error;
        return registry->start(error);
    }
    void restart() { QVERIFY(start()); }

    void put(const QString& name, const QByteArray& bytes)
    {
        QVERIFY(WriteBytes(send + u'/' + name, bytes));
    }
    void putDeals(const QString& name, const QStringList& rows, const QString& language = "RU")
    {
        put(name, ClientDocument("deals", "Language=\"" + language + "\"", "deal", rows));
    }
    QByteArray answer(const QString& name) const { return ReadBytes(receive + u'/' + name); }
    QStringList files(const QString& folder, QDir::Filters filters = QDir::Files) const
    {
        return QDir(folder).entryList(filters | QDir::NoDotAndDotDot, QDir::Name);
    }
    QString logText() const
    {
        return QString::fromUtf8(ReadBytes(archive + QStringLiteral("/loopback.log")));
    }
};

bool mountTmpfs(const QString& folder, const char* size)
{
    if (::geteuid() != 0)
        return false;
    const QByteArray options = QByteArray("size=") + size;
    return ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0,
                   options.constData()) == 0;
}

// Fills a file system up to its last byte.
void fill(const QString& folder)
{
    QFile file(folder + QStringLiteral("/filler"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return;
    const QByteArray block(4096, 'x');
    while (file.write(block) == block.size()) {
    }
    while (file.write("x", 1) == 1) {
    }
}

} // namespace

class TestLoopbackRegistry : public QObject {
    Q_OBJECT

private slots:
    void answersEveryKind();
    void judgesAgainstEverythingAcceptedBefore();
    void revokesRepoParts();
    void handbookChecksAndIsServed();
    void subscription();
    void refusesWhatItCannotRead_data();
    void refusesWhatItCannotRead();
    void refusesHugeJunk();
    void takesOnlyCompleteRequests();
    void waitsForARequestBeingWritten();
    void namesItCannotKeepAreLoggedOnce();
    void requestsOfOneMillisecond();
    void sendFolderDisappears();
    void olderAnswerOfTheSameNameStays();
    void fullReceiveDisk();
    void fullArchiveAcrossDevices();
    void restartFinishesHalfDoneWork();
    void twoRegistriesAnswerOnce();
    void storeFailuresLeakNothing();
};

void TestLoopbackRegistry::answersEveryKind()
{
    Road road;
    QVERIFY(road.start());
    road.putDeals("DL1A2B.xml", {DealRow("MC0001200000", "Д-17/24", "IN-0001"),
                                 DealRow("MC0001200000", "Д-18/24", "IN-0002", "Price=\"0\"")
                                     .replace("Price=\"10.5\" ", "")});
    road.put("DR1.xml", ClientDocument("RepoDeals", "Language=\"EN\"", "RepoDeal",
                                       {RepoRow("MC01", "R-1"), RepoRow("MC01", "R-1")}));
    road.put("SIL5E6F.xml", ClientDocument("SubscribeIssueList", "Language=\"RU\"", "", {}));
    QCOMPARE(road.registry->poll(), 3);

    const QByteArray receipt = road.answer("DL1A2B.msg");
    QVERIFY(!receipt.contains("\n\n") && receipt.count("\r\n") == receipt.count('\n'));
    QVERIFY(receipt.contains("Agreement=\"\xC4-17/24\"")); // Windows-1251
    QString text = AnswerText(receipt);
    const QString id = ReceiptRows(receipt).value(0).value("Id");
    QVERIFY2(QRegularExpression("^\\d{12}$").match(id).hasMatch(), qPrintable(id));
    text.replace(id, "ID");
    QCOMPARE(text, QStringLiteral(
                       "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n"
                       "<Receipts Language=\"RU\" Created=\"*\" Request=\"DL1A2B.xml\" Total=\"2\" "
                       "Accepted=\"1\" Rejected=\"1\">\r\n"
                       "<Receipt N=\"1\" Id=\"ID\" Agreement=\"Д-17/24\" Reference=\"IN-0001\" "
                       "Participant=\"MC0001200000\" Issue=\"SNEN-AO1\" Status=\"Accepted\" />\r\n"
                       "<Receipt N=\"2\" Agreement=\"Д-18/24\" Reference=\"IN-0002\" "
                       "Participant=\"MC0001200000\" Issue=\"SNEN-AO1\" Status=\"Rejected\" "
                       "Code=\"S16\" Text=\"(S16) Поле Price (0) должно иметь положительное "
                       "значение\" />\r\n"
                       "</Receipts>\r\n"));

    const QString repo = AnswerText(road.answer("DR1.msg"));
    QVERIFY(repo.startsWith("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<RepoReceipts "
                            "Language=\"EN\" Created=\"*\" Request=\"DR1.xml\" Total=\"2\" "
                            "Accepted=\"1\" Rejected=\"1\">\r\n"));
    QVERIFY(repo.contains("Code=\"S52\" Text=\"(S52) A trade with Reference R-1 of the "
                          "Participant MC01 already exists\" />\r\n</RepoReceipts>\r\n"));

    QCOMPARE(AnswerText(road.answer("SIL5E6F.msg")),
             QStringLiteral("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n"
                            "<SubscribeResult Language=\"RU\" Created=\"*\" "
                            "Request=\"SIL5E6F.xml\" Action=\"Subscribe\" Status=\"Accepted\" "
                            "Subscribed=\"1\" />\r\n"));

    road.put("RD3C4D.xml",
             ClientDocument("RevokeDeals", "Language=\"RU\" ", "RevokeDeal",
                            {"Id=\"" + id + "\" Reason=\"ошибка &amp; &quot;опечатка&quot;\"",
                             "Id=\"240301000777\" Participant=\"MC0001200000\""}));
    road.put("RR1.xml", ClientDocument("RepoRevokeDeals", "Language=\"RU\" ReplyType=\"Full\" ",
                                       "   RepoRevokeDeal",
                                       {"Reference=\"R-1\" Direction=\"I\" "
                                        "Participant=\"MC01\""}));
    QCOMPARE(road.registry->poll(), 2);
    text = AnswerText(road.answer("RD3C4D.msg"));
    text.replace(id, "ID");
    QCOMPARE(text, QStringLiteral(
                       "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n"
                       "<RevokeReceipts Language=\"RU\" Created=\"*\" Request=\"RD3C4D.xml\" "
                       "Total=\"2\" Accepted=\"1\" Rejected=\"1\">\r\n"
                       "<Receipt N=\"1\" Id=\"ID\" Agreement=\"Д-17/24\" Reference=\"IN-0001\" "
                       "Participant=\"MC0001200000\" Status=\"Accepted\" />\r\n"
                       "<Receipt N=\"2\" Id=\"240301000777\" Participant=\"MC0001200000\" "
                       "Status=\"Rejected\" Code=\"S80\" Text=\"(S80) Сделка 240301000777 не "
                       "найдена\" />\r\n"
                       "</RevokeReceipts>\r\n"));
    text = AnswerText(road.answer("RR1.msg"));
    QVERIFY(text.contains("<RepoRevokeReceipts Language=\"RU\" Created=\"*\" Request=\"RR1.xml\" "
                          "ReplyType=\"Full\" Total=\"1\" Accepted=\"1\" Rejected=\"0\">\r\n"
                          "<Receipt N=\"1\" Id=\""));
    QVERIFY(text.contains("Reference=\"R-1\" Direction=\"I\" Status=\"Accepted\" />\r\n"
                          "</RepoRevokeReceipts>\r\n"));

    // One line per request and per answer, and nothing left hidden in the receive folder.
    QCOMPARE(road.logText().count(" request "), 5);
    QCOMPARE(road.logText().count(" answer "), 5);
    QCOMPARE(road.files(road.receive, QDir::Files | QDir::Hidden).size(), 5);
    QVERIFY(road.files(road.send).isEmpty());
}

void TestLoopbackRegistry::judgesAgainstEverythingAcceptedBefore()
{
    Road road;
    QVERIFY(road.start());
    const QString comment = "Comment=\"&quot;Д&quot; \\ a&#9;b\"";
    road.putDeals("DL1.xml", {DealRow("P1", "A-1", "R-1", comment), DealRow("P1", "A-2", ""),
                              DealRow("P1", "A-3", "R-1")});
    road.registry->poll();
    QCOMPARE(Codes(road.answer("DL1.msg")), QStringList({"ok", "ok", "S52"}));
    const QString first = ReceiptRows(road.answer("DL1.msg")).value(0).value("Id");
    {
        // Every attribute is kept as it came, in its order.
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "peek");
        db.setDatabaseName(road.registry->databasePath());
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec("SELECT attributes FROM deals WHERE id = '" + first + "'"));
        QVERIFY(query.next());
        const QJsonArray attributes =
            QJsonDocument::fromJson(query.value(0).toString().toUtf8()).array();
        QCOMPARE(attributes.size(), 10);
        QCOMPARE(attributes.at(0).toArray(), QJsonArray({"Participant", "P1"}));
        QCOMPARE(attributes.at(9).toArray(), QJsonArray({"Comment", "\"Д\" \\ a\tb"}));
    }
    QSqlDatabase::removeDatabase("peek");
    const QString second = ReceiptRows(road.answer("DL1.msg")).value(1).value("Id");

    // A restart opens the same database: the keys stay taken, the numbers go on.
    road.restart();
    road.putDeals("DL2.xml", {DealRow("P1", "A-9", "R-1"), DealRow("P1", "A-2", ""),
                              DealRow("P1", "A-1", ""), DealRow("P2", "A-1", "R-1")});
    road.registry->poll();
    const QByteArray again = road.answer("DL2.msg");
    QCOMPARE(Codes(again), QStringList({"S52", "S54", "S54", "ok"}));
    QCOMPARE(ReceiptRows(again).value(1).value("Text"),
             "(S54) Сделка участника P1 с номером договора A-2 и пустым внутренним номером уже "
             "существует в базе данных");
    const QString third = ReceiptRows(again).value(3).value("Id");
    QVERIFY(third > second && second > first);

    road.restart();
    road.put("RD1.xml",
             ClientDocument("RevokeDeals", "Language=\"EN\" ", "RevokeDeal",
                            {"Reference=\"R-1\" Participant=\"P1\"",
                             "Id=\"" + third + "\" Participant=\"P1\"",
                             "Agreement=\"A-2\" Participant=\"P1\"", "Id=\"" + first + "\"",
                             "Agreement=\"A-1\"", "Reference=\"R-404\" Participant=\"P1\"", ""}));
    road.registry->poll();
    const QByteArray revoked = road.answer("RD1.msg");
    QCOMPARE(Codes(revoked), QStringList({"ok", "S82", "ok", "S81", "S80", "S80", "S80"}));
    QCOMPARE(ReceiptRows(revoked).value(0).value("Id"), first);
    QCOMPARE(ReceiptRows(revoked).value(3).value("Text"),
             "(S81) Trade " + first + " has already been revoked");

    // A revoked deal is gone: its keys are free again, and it cannot be revoked twice.
    road.restart();
    road.putDeals("DL3.xml", {DealRow("P1", "A-7", "R-1"), DealRow("P1", "A-2", "")});
    road.put("RD2.xml", ClientDocument("RevokeDeals", "Language=\"RU\" ", "RevokeDeal",
                                       {"Id=\"" + second + "\""}));
    road.registry->poll();
    QCOMPARE(Codes(road.answer("DL3.msg")), QStringList({"ok", "ok"}));
    QCOMPARE(Codes(road.answer("RD2.msg")), QStringList({"S81"}));
}

void TestLoopbackRegistry::revokesRepoParts()
{
    Road road;
    QVERIFY(road.start());
    road.put("DR1.xml",
             ClientDocument("RepoDeals", "Language=\"RU\"", "RepoDeal", {RepoRow("P1", "R-1")}));
    road.registry->poll();
    const QString id = ReceiptRows(road.answer("DR1.msg")).value(0).value("Id");
    QVERIFY(!id.isEmpty());
    // An ordinary revocation does not find a repo deal.
    road.put("RD1.xml", ClientDocument("RevokeDeals", "Language=\"RU\" ", "RevokeDeal",
                                       {"Id=\"" + id + "\""}));
    road.put("RR1.xml", ClientDocument("RepoRevokeDeals", "Language=\"RU\" ReplyType=\"Short\" ",
                                       "   RepoRevokeDeal",
                                       {"Id=\"" + id + "\" Direction=\"I\"",
                                        "Id=\"" + id + "\" Direction=\"I\"",
                                        "Id=\"" + id + "\" Direction=\"X\"",
                                        "Reference=\"R-1\" Direction=\"S\" Participant=\"P1\"",
                                        "Reference=\"R-1\" Direction=\"S\" Participant=\"P1\""}));
    road.registry->poll();
    QCOMPARE(Codes(road.answer("RD1.msg")), QStringList({"S80"}));
    QCOMPARE(Codes(road.answer("RR1.msg")), QStringList({"ok", "S81", "S83", "ok", "S81"}));
    QCOMPARE(ReceiptRows(road.answer("RR1.msg")).value(2).value("Text"),
             "(S83) Часть X сделки РЕПО " + id + " не найдена");
    // With both parts revoked the Reference is free for a new repo deal.
    road.put("DR2.xml",
             ClientDocument("RepoDeals", "Language=\"RU\"", "RepoDeal", {RepoRow("P1", "R-1")}));
    road.registry->poll();
    QCOMPARE(Codes(road.answer("DR2.msg")), QStringList({"ok"}));
}

void TestLoopbackRegistry::handbookChecksAndIsServed()
{
    Road road;
    QVERIFY(road.start());
    // Without a handbook every security passes, and none is served.
    road.putDeals("DL1.xml", {DealRow("P1", "", "R-1").replace("SNEN-AO1", "NOPE")});
    road.put("GIL1.xml", ClientDocument("GetIssueList", "Language=\"RU\"", "", {}));
    road.registry->poll();
    QCOMPARE(Codes(road.answer("DL1.msg")), QStringList({"ok"}));
    QVERIFY(AnswerText(road.answer("GIL1.msg"))
                .contains("Code=\"S97\" Text=\"(S97) Справочник ЦБ недоступен\">\r\n</Receipts>"));

    // The newest handbook of the archive's handbook folder is picked up while running.
    QStringEncoder encoder("windows-1251");
    const QByteArray handbook = encoder.encode(kHandbook);
    QVERIFY(WriteBytes(road.registry->handbookFolder() + "/IL20240315183000.msg", handbook));
    road.putDeals(
        "DL2.xml",
        {DealRow("P1", "", "R-2").replace("SNEN-AO1", "NOPE"),
         DealRow("P1", "", "R-3").replace("SNEN-AO1", "SNEN-BO3"),
         DealRow("P1", "", "R-4").replace("Issue=\"SNEN-AO1\"", "ISIN=\"RU000ZV01002\"")});
    road.put("GIL2.xml", ClientDocument("GetIssueList", "Language=\"EN\"", "", {}));
    road.registry->poll();
    QCOMPARE(Codes(road.answer("DL2.msg")), QStringList({"S14", "ok", "ok"}));
    QCOMPARE(road.answer("GIL2.msg"), handbook); // as it is

    // A handbook named on the command line wins; a file that is no handbook serves nothing.
    const QString other = road.dir.filePath("other.msg");
    QVERIFY(WriteBytes(other, "<?xml version=\"1.0\"?>\r\n<Receipts Language=\"RU\"/>\r\n"));
    QVERIFY(road.start(other));
    road.put("GIL3.xml", ClientDocument("GetIssueList", "Language=\"RU\"", "", {}));
    road.registry->poll();
    QVERIFY(AnswerText(road.answer("GIL3.msg")).contains("Code=\"S97\""));
    QVERIFY(road.logText().contains("not IssueList"));
}

void TestLoopbackRegistry::subscription()
{
    Road road;
    QVERIFY(road.start());
    const QStringList steps = {"Subscribe", "Subscribe", "Unsubscribe", "Unsubscribe", "Subscribe"};
    QStringList seen;
    for (int i = 0; i < steps.size(); ++i) {
        const QString name =
            (steps[i] == u"Subscribe" ? "SIL" : "UIL") + QString::number(i) + ".xml";
        road.put(name, ClientDocument(steps[i] + "IssueList", "Language=\"RU\"", "", {}));
        road.registry->poll();
        const QString text = AnswerText(road.answer(name.left(name.size() - 4) + ".msg"));
        static const QRegularExpression status(
            "Status=\"(\\w+)\" Subscribed=\"(\\d)\"( Code=\"(\\w+)\")?");
        const auto m = status.match(text);
        seen.append(m.captured(1) + u' ' + m.captured(2) + u' ' + m.captured(4));
        road.restart(); // the state outlives the program
    }
    QCOMPARE(seen, QStringList({"Accepted 1 ", "Rejected 1 S90", "Accepted 0 ", "Rejected 0 S91",
                                "Accepted 1 "}));
}

void TestLoopbackRegistry::refusesWhatItCannotRead_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("start"); // how the answer begins after the declaration

    const QByteArray decl = "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n";
    auto refusal = [](const QString& root, const QString& request, const QString& extra,
                      const QString& text, const QString& language = "RU") {
        return QStringLiteral(
                   "<%1 Language=\"%5\" Created=\"*\" Request=\"%2\"%3 Code=\"%4\" Text=\"")
            .arg(root, request, extra, text, language);
    };
    QTest::newRow("doctype")
        << "DL1.xml"
        << decl + "<!DOCTYPE deals [<!ENTITY e SYSTEM \"/etc/passwd\">]>\r\n"
                  "<deals Language=\"RU\"><deal Participant=\"&e;\"/></deals>"
        << refusal("Receipts", "DL1.xml", "", "S98") +
               "(S98) Сообщение не соответствует формату: объявление DOCTYPE не допускается\">";
    QTest::newRow("undefined byte")
        << "DR1.xml"
        << decl + "<RepoDeals Language=\"EN\">\r\n<RepoDeal A=\"\x98\" />\r\n</RepoDeals>"
        // The parser gives up before the document element: the answer speaks Russian.
        << refusal("RepoReceipts", "DR1.xml", "", "S98") +
               "(S98) Сообщение не соответствует формату: ошибка XML: input conversion failed";
    QTest::newRow("wrong root for its name")
        << "DL2.xml" << ClientDocument("RepoDeals", "Language=\"RU\"", "RepoDeal", {})
        << refusal("Receipts", "DL2.xml", "", "S98") +
               "(S98) Сообщение не соответствует формату: ожидался элемент deals\">";
    QTest::newRow("unknown request")
        << "report.xml" << ClientDocument("Report", "Language=\"RU\"", "", {})
        << refusal("Receipts", "report.xml", "", "S98") +
               "(S98) Сообщение не соответствует формату: неизвестный запрос Report\">";
    QTest::newRow("root of another kind without prefix")
        << "any.xml" << ClientDocument("SubscribeIssueList", "Language=\"EN\"", "", {})
        << "<SubscribeResult Language=\"EN\" Created=\"*\" Request=\"any.xml\" "
           "Action=\"Subscribe\" Status=\"Accepted\"";
    QTest::newRow("cut short, rows undone")
        << "RR1.xml"
        << decl + "<RepoRevokeDeals Language=\"RU\" ReplyType=\"Short\" >\r\n"
                  "   <RepoRevokeDeal Id=\"1\" Direction=\"I\" />\r\n"
        << refusal("RepoRevokeReceipts", "RR1.xml", " ReplyType=\"Short\"", "S98") +
               "(S98) Сообщение не соответствует формату: ошибка XML в строке";
    QTest::newRow("cut short, deals undone")
        << "DL4.xml"
        << decl + "<deals Language=\"RU\">\r\n<deal " + DealRow("P", "", "R").toUtf8() + " />\r\n"
        << refusal("Receipts", "DL4.xml", "", "S98") +
               "(S98) Сообщение не соответствует формату: ошибка XML в строке";
    QTest::newRow("unknown language")
        << "DL3.xml" << ClientDocument("deals", "Language=\"DE\"", "deal", {DealRow("P", "", "R")})
        << refusal("Receipts", "DL3.xml", "", "S99", "DE") +
               "(S99) Неизвестный язык сообщений: DE\">";
    QTest::newRow("no language") << "RD1.xml"
                                 << ClientDocument("RevokeDeals", "", "RevokeDeal", {"Id=\"1\""})
                                 << refusal("RevokeReceipts", "RD1.xml", "", "S99") +
                                        "(S99) Неизвестный язык сообщений: \">";
    QTest::newRow("subscription with an element inside")
        << "UIL1.xml" << decl + "<UnsubscribeIssueList Language=\"RU\"><x/></UnsubscribeIssueList>"
        << "<SubscribeResult Language=\"RU\" Created=\"*\" Request=\"UIL1.xml\" "
           "Action=\"Unsubscribe\" Status=\"Rejected\" Subscribed=\"0\" Code=\"S98\" Text=\"(S98) "
           "Сообщение не соответствует формату: элемент x не допускается внутри "
           "UnsubscribeIssueList\" />";
    QTest::newRow("empty") << "GIL1.xml" << QByteArray()
                           << refusal("Receipts", "GIL1.xml", "", "S98") +
                                  "(S98) Сообщение не соответствует формату: файл пуст\">";
}

void TestLoopbackRegistry::refusesWhatItCannotRead()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, start);

    Road road;
    QVERIFY(road.start());
    road.put(name, bytes);
    QCOMPARE(road.registry->poll(), 1);
    const QString answer = AnswerText(road.answer(name.section('.', 0, 0) + ".msg"));
    const QString body = answer.section("\r\n", 1);
    QVERIFY2(body.startsWith(start), qPrintable(answer));
    QVERIFY(!body.contains("<Receipt "));
    // A refused request changes nothing: its deal is accepted when sent again properly.
    if (name.startsWith(u"DL")) {
        road.putDeals(name, {DealRow("P", "", "R")});
        road.registry->poll();
        QCOMPARE(Codes(road.answer(name.section('.', 0, 0) + "_2.msg")), QStringList({"ok"}));
    }
}

void TestLoopbackRegistry::refusesHugeJunk()
{
    Road road;
    QVERIFY(road.start());
    QFile junk(road.send + "/DL1.xml");
    QVERIFY(junk.open(QIODevice::WriteOnly));
    QByteArray block(1 << 20, '\0');
    for (int i = 0; i < block.size(); ++i)
        block[i] = char((qint64(i) * 7919 + 13) % 251);
    for (int i = 0; i < 100; ++i)
        QCOMPARE(junk.write(block), block.size());
    junk.close();
    // And 100 MB of well-formed rows cut off before the end.
    QFile big(road.send + "/DL2.xml");
    QVERIFY(big.open(QIODevice::WriteOnly));
    big.write("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<deals Language=\"RU\">\r\n");
    const QByteArray row = "<deal Participant=\"P\" Issue=\"I\" Price=\"1\" Qty=\"1\" "
                           "Currency=\"RUB\" Comment=\"" +
                           QByteArray(900, 'c') + "\" />\r\n";
    while (big.size() < 100 * 1024 * 1024)
        big.write(row);
    big.close();
    QCOMPARE(road.registry->poll(), 2);
    QVERIFY(AnswerText(road.answer("DL1.msg")).contains("Code=\"S98\""));
    QVERIFY(AnswerText(road.answer("DL2.msg")).contains("Code=\"S98\""));
}

void TestLoopbackRegistry::takesOnlyCompleteRequests()
{
    Road road;
    QVERIFY(road.start());
    road.put(".DL1.xml.part", ClientDocument("deals", "Language=\"RU\"", "deal", {}));
    road.put(".DL2.xml", ClientDocument("deals", "Language=\"RU\"", "deal", {}));
    road.put("notes.txt", "hello");
    QVERIFY(QDir(road.send).mkdir("DL3.xml"));
    QVERIFY(QFile::link("/dev/zero", road.send + "/DL4.xml"));
    QVERIFY(::mkfifo(QFile::encodeName(road.send + "/DL5.xml").constData(), 0600) == 0);
    const QStringList before =
        road.files(road.send, QDir::AllEntries | QDir::Hidden | QDir::System);
    QCOMPARE(road.registry->poll(), 0);
    QCOMPARE(road.files(road.send, QDir::AllEntries | QDir::Hidden | QDir::System), before);
    QVERIFY(road.files(road.receive, QDir::AllEntries | QDir::Hidden).isEmpty());
    QVERIFY(road.logText().contains("notes.txt in the send folder is not a request"));
}

// A request written in place is taken once its writer has closed it, and answered as the
// whole request it then is (not refused as the half it was while being written).
void TestLoopbackRegistry::waitsForARequestBeingWritten()
{
    Road road;
    QVERIFY(road.start());
    const QByteArray request =
        ClientDocument("deals", "Language=\"RU\"", "deal", {DealRow("P", "", "R-1")});
    QFile writer(road.send + "/DL1.xml");
    QVERIFY(writer.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    QCOMPARE(writer.write(request.left(request.size() / 2)), request.size() / 2);
    QCOMPARE(road.registry->poll(), 0);
    QCOMPARE(road.registry->poll(), 0);
    QCOMPARE(road.files(road.send), QStringList({"DL1.xml"}));
    QVERIFY(road.files(road.receive, QDir::Files | QDir::Hidden).isEmpty());
    QCOMPARE(writer.write(request.mid(request.size() / 2)), request.size() - request.size() / 2);
    writer.close();
    QCOMPARE(road.registry->poll(), 1);
    QCOMPARE(Codes(road.answer("DL1.msg")), QStringList({"ok"}));
    QVERIFY(!road.logText().contains("S98"));
}

// A file whose name the file system's encoding cannot hold, or whose name is too long to be
// kept in the archive, is left in the send folder with one line in the log, whatever the
// number of rounds; the requests beside it are answered.
void TestLoopbackRegistry::namesItCannotKeepAreLoggedOnce()
{
    Road road;
    QVERIFY(road.start());
    const QByteArray request =
        ClientDocument("deals", "Language=\"RU\"", "deal", {DealRow("P", "", "R-1")});
    const QByteArray badName = QFile::encodeName(road.send) + "/DL\xff\xfe.xml";
    const int fd = ::open(badName.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, request.constData(), size_t(request.size())), ssize_t(request.size()));
    ::close(fd);
    const QString longName = "DL" + QString(240, u'7') + ".xml";
    road.put(longName, request);
    road.putDeals("DL2.xml", {DealRow("P", "", "R-2")});
    QCOMPARE(road.registry->poll(), 1);
    QCOMPARE(road.registry->poll(), 0);
    QCOMPARE(road.registry->poll(), 0);
    QCOMPARE(road.files(road.receive), QStringList({"DL2.msg"}));
    QCOMPARE(road.files(road.send), QStringList({longName})); // the other one no listing shows
    QCOMPARE(::access(badName.constData(), F_OK), 0);
    QCOMPARE(road.logText().count("not valid in the file system's encoding"), 1);
    QCOMPARE(road.logText().count("too long to be kept in the archive"), 1);
    QVERIFY(road.registry->idle());
}

void TestLoopbackRegistry::requestsOfOneMillisecond()
{
    Road road;
    QVERIFY(road.start());
    road.putDeals("DL1.xml", {DealRow("P", "", "R-1")});
    road.putDeals("DL2.xml", {DealRow("P", "", "R-1")});
    struct timespec times[2] = {{1700000000, 5000000}, {1700000000, 5000000}};
    for (const char* name : {"/DL1.xml", "/DL2.xml"})
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(road.send + name).constData(), times, 0),
                 0);
    QCOMPARE(road.registry->poll(), 2);
    QCOMPARE(road.registry->poll(), 0);
    // Taken in name order, each once, under archive names of their own.
    QCOMPARE(Codes(road.answer("DL1.msg")), QStringList({"ok"}));
    QCOMPARE(Codes(road.answer("DL2.msg")), QStringList({"S52"}));
    QCOMPARE(road.files(road.registry->requestsFolder()).size(), 2);
    QCOMPARE(road.files(road.receive).size(), 2);
}

void TestLoopbackRegistry::sendFolderDisappears()
{
    Road road;
    QVERIFY(road.start());
    QVERIFY(QDir(road.send).removeRecursively());
    QCOMPARE(road.registry->poll(), 0);
    QCOMPARE(road.registry->poll(), 0);
    QVERIFY(!road.registry->idle());
    QVERIFY(QDir().mkpath(road.send));
    road.putDeals("DL1.xml", {DealRow("P", "", "R-1")});
    QCOMPARE(road.registry->poll(), 1);
    QVERIFY(road.registry->idle());
    QCOMPARE(road.logText().count("is missing"), 1);
    QCOMPARE(road.logText().count("is back"), 1);
}

void TestLoopbackRegistry::olderAnswerOfTheSameNameStays()
{
    Road road;
    QVERIFY(road.start());
    QVERIFY(WriteBytes(road.receive + "/DL1.msg", "an older answer"));
    road.putDeals("DL1.xml", {DealRow("P", "", "R-1")});
    road.registry->poll();
    QCOMPARE(road.answer("DL1.msg"), QByteArray("an older answer"));
    QCOMPARE(Codes(road.answer("DL1_2.msg")), QStringList({"ok"}));
}

void TestLoopbackRegistry::fullReceiveDisk()
{
    Road road;
    if (!mountTmpfs(road.receive, "256k"))
        QSKIP("needs root to mount a small file system");
    auto unmount =
        qScopeGuard([&] { ::umount2(QFile::encodeName(road.receive).constData(), MNT_DETACH); });
    fill(road.receive);
    QVERIFY(road.start());
    road.putDeals("DL1.xml", {DealRow("P", "", "R-1")});
    QCOMPARE(road.registry->poll(), 1);
    QCOMPARE(road.files(road.receive), QStringList({"filler"}));
    QVERIFY(road.files(road.receive, QDir::Hidden | QDir::Files).size() == 1);
    QVERIFY(!road.registry->idle());
    QCOMPARE(road.registry->poll(), 0);
    QVERIFY(road.logText().contains("cannot be placed"));

    // Also across a restart, the answer waits in the archive until there is room.
    road.restart();
    QVERIFY(QFile::remove(road.receive + "/filler"));
    QCOMPARE(road.registry->poll(), 0);
    QCOMPARE(road.files(road.receive), QStringList({"DL1.msg"}));
    QCOMPARE(Codes(road.answer("DL1.msg")), QStringList({"ok"}));
    QVERIFY(road.registry->idle());
    road.registry->poll();
    QCOMPARE(road.files(road.receive, QDir::Files | QDir::Hidden), QStringList({"DL1.msg"}));
}

void TestLoopbackRegistry::fullArchiveAcrossDevices()
{
    Road road;
    QVERIFY(QDir().mkpath(road.archive));
    if (!mountTmpfs(road.archive, "512k"))
        QSKIP("needs root to mount a small file system");
    auto unmount =
        qScopeGuard([&] { ::umount2(QFile::encodeName(road.archive).constData(), MNT_DETACH); });
    QVERIFY(road.start());
    fill(road.archive);
    road.putDeals("DL1.xml", {DealRow("P", "", "R-1"), DealRow("P", "", "R-2")});
    QCOMPARE(road.registry->poll(), 0);
    // Kept under a hidden name in the send folder, never in the receive folder.
    QCOMPARE(road.files(road.send).size(), 0);
    QCOMPARE(road.files(road.send, QDir::Files | QDir::Hidden).size(), 1);
    QVERIFY(road.files(road.receive, QDir::Files | QDir::Hidden).isEmpty());

    QVERIFY(QFile::remove(road.archive + "/filler"));
    road.restart();
    QCOMPARE(road.registry->poll(), 1);
    QCOMPARE(Codes(road.answer("DL1.msg")), QStringList({"ok", "ok"}));
    QVERIFY(road.files(road.send, QDir::Files | QDir::Hidden).isEmpty());
    QCOMPARE(road.registry->poll(), 0);
    QCOMPARE(road.files(road.receive), QStringList({"DL1.msg"}));
}

void TestLoopbackRegistry::restartFinishesHalfDoneWork()
{
    Road road;
    QVERIFY(road.start());
    // Taken into the archive by a run that stopped before answering, and a half-written
    // answer of a run that died.
    const QString taken = "20240315-104207123-4194399-1-DL7.xml";
    QVERIFY(
        WriteBytes(road.registry->requestsFolder() + u'/' + taken,
                   ClientDocument("deals", "Language=\"RU\"", "deal", {DealRow("P", "", "R")})));
    QVERIFY(WriteBytes(road.receive + "/.DL7.msg.4194399.0.part", "half"));
    // Answered while the receive folder was gone.
    QVERIFY(QDir(road.receive).removeRecursively());
    road.putDeals("DL8.xml", {DealRow("P", "", "R-8")});
    road.registry->poll();
    QVERIFY(QDir().mkpath(road.receive));
    QVERIFY(WriteBytes(road.receive + "/.DL7.msg.4194399.0.part", "half"));

    road.restart();
    QCOMPARE(road.registry->poll(), 1);
    QCOMPARE(road.files(road.receive, QDir::Files | QDir::Hidden),
             QStringList({"DL7.msg", "DL8.msg"}));
    QCOMPARE(Codes(road.answer("DL7.msg")), QStringList({"ok"}));
    road.restart();
    QCOMPARE(road.registry->poll(), 0);
    QCOMPARE(road.files(road.receive).size(), 2);
}

void TestLoopbackRegistry::twoRegistriesAnswerOnce()
{
    Road road;
    QVERIFY(road.start());
    for (int i = 20; i < 25; ++i)
        road.putDeals(QString("DL%1.xml").arg(i), {DealRow("P", "", "R")});
    road.registry->poll();
    // A second registry on the same archive finds every request taken answered already.
    Log quiet;
    quiet.setEcho(false);
    Registry second(RegistryOptions{road.send, road.receive, road.archive, QString(), 0}, quiet);
    QString error;
    QVERIFY(second.start(error));
    QCOMPARE(second.poll(), 0);
    for (int i = 0; i < 20; ++i) {
        road.putDeals(QString("DL%1.xml").arg(i), {DealRow("P", "", "R")});
        if (i % 3 == 0)
            road.registry->poll();
        else
            second.poll();
    }
    road.registry->poll();
    second.poll();
    QStringList answers = road.files(road.receive);
    QCOMPARE(answers.size(), 25);
    int accepted = 0;
    for (const QString& name : answers)
        accepted += Codes(road.answer(name)).count("ok");
    QCOMPARE(accepted, 1);
}

// The database fails at each of its statements in turn, as a locked or full one does (also
// while a request is being judged): the request waits and is answered once the database works,
// and no round leaves a file open behind it.
void TestLoopbackRegistry::storeFailuresLeakNothing()
{
    Road road;
    QVERIFY(road.start());
    road.putDeals("DL1.xml", {DealRow("P", "", "R-1")});
    QCOMPARE(road.registry->poll(), 1); // the database's files are open from here on
    const auto openFiles = [] {
        return QDir("/proc/self/fd")
            .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
            .size();
    };
    const qsizetype before = openFiles();
    road.putDeals("DL2.xml", {DealRow("P", "", "R-2"), DealRow("P", "", "R-3")});
    for (int statement = 1; statement <= 12; ++statement) {
        testing::FailStoreAt(statement);
        road.registry->poll();
        testing::FailStoreAt(0);
        QCOMPARE(openFiles(), before);
        if (!road.answer("DL2.msg").isEmpty())
            break;
    }
    road.registry->poll();
    QCOMPARE(Codes(road.answer("DL2.msg")), QStringList({"ok", "ok"}));
    QCOMPARE(road.files(road.receive), QStringList({"DL1.msg", "DL2.msg"}));
    QCOMPARE(openFiles(), before);
}

QTEST_GUILESS_MAIN(TestLoopbackRegistry)
#include "tst_loopback_registry.moc"
