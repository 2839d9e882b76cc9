// varnel-cli as a scheduler runs it: a process on a program folder of its own, its answers on
// standard output and its exit status, against the loopback registry process.
#include "messages/RequestKinds.h"
#include "messages/SendPipeline.h"
#include "reports/ImportFlow.h"
#include "reports/ReportDocument.h"
#include "reports/ReportModel.h"
#include "tests/support/FaultInjection.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/ScriptedDialogs.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <memory>

#include <sys/resource.h>

using namespace varnel;
using testing::ReadBytes;
using testing::WriteBytes;

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

const QByteArray kTitles =
    "Код ЦБ;№ договора;Внутр. номер;Дата сделки;Цена ЦБ;Количество;Валюта цены\n";
// Two deals the client's checks pass; the registry knows no instrument NOPE.
const QByteArray kBadDeals = kTitles + "SNEN-AO1;A-1;R-1;07.03.2024;101,5;10;RUB\n"
                                       "NOPE;A-2;R-2;07.03.2024;99;5;RUB\n";
const QByteArray kCorrected = kTitles + "SNEN-AO1;A-2;R-2;07.03.2024;99;5;RUB\n";

// A program folder as the launcher makes it: the settings (participant MC01, the folders
// beside it), the shipped layouts, and a per-user store of its own (XDG_CONFIG_HOME).
class CliFolder {
public:
    CliFolder()
    {
        for (const char* sub : {"work", "send", "receive", "config"})
            QDir(dir_.path()).mkdir(QString::fromLatin1(sub));
        WriteBytes(file("varnel_client.ini"),
                   "[Main]\r\nParticipant=MC01\r\nLanguage=RU\r\n[Path]\r\nFolderWork=.\\work\r\n"
                   "FolderSend=.\\send\r\nFolderReceive=.\\receive\r\n");
        for (const char* name : {"deals_struct_client.xml", "repo_deals_struct_client.xml"})
            QFile::copy(QStringLiteral(VARNEL_SOURCE_DIR "/dist/") + QLatin1String(name),
                        file(name));
    }
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }

    // Runs the program on this folder; limit, when given, is the file-size limit of the process.
    Run run(QStringList arguments, qint64 limit = 0) const
    {
        arguments.prepend(path());
        arguments.prepend(QStringLiteral("--program-folder"));
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), file("config"));
        // No display and no platform named: the program needs neither.
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(env);
        if (limit > 0)
            process.setChildProcessModifier([limit] {
                std::signal(SIGXFSZ, SIG_DFL);
                const rlimit bound{rlim_t(limit), rlim_t(limit)};
                ::setrlimit(RLIMIT_FSIZE, &bound);
            });
        process.start(QStringLiteral(CLI_PATH), arguments);
        process.closeWriteChannel();
        Run run;
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
            return run;
        run.status = process.exitCode();
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

private:
    QTemporaryDir dir_;
};

QList<QJsonObject> JsonLines(const QString& out)
{
    QList<QJsonObject> lines;
    for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts))
        lines << QJsonDocument::fromJson(line.toUtf8()).object();
    return lines;
}

// The request the report window's Send places for the deals of a file imported into a new
// report, in a program folder of the test's own.
QByteArray WindowRequest(const QByteArray& csv)
{
    testing::TestProgramFolder folder({QStringLiteral("[Main]"), QStringLiteral("Participant=MC01"),
                                       QStringLiteral("Language=RU"), QStringLiteral("[Path]"),
                                       QStringLiteral("FolderWork=.\\work"),
                                       QStringLiteral("FolderSend=.\\send")});
    folder.useShippedLayouts();
    WriteBytes(folder.file(QStringLiteral("deals.csv")), csv);
    ReportDocument document(ReportKind::Deals);
    if (!document.buildFromLayout().done())
        return "<no layout>";
    ImportRun run(document);
    NoProgress none;
    if (!run.open(folder.file(QStringLiteral("deals.csv")), none).done())
        return "<not read>";
    run.start(*run.settledMapping());
    run.check(none);
    document.appendDeals(run.result().takeDeals());
    ScriptedDialogs dialogs;
    dialogs.answer(Answer::Yes);
    dialogs.answer(Answer::Ok);
    RequestData data;
    data.report = &document.rows();
    SendRequest(RequestName(OutgoingRequest::Deals), data);
    const QStringList sent = QDir(folder.file(QStringLiteral("send"))).entryList(QDir::Files);
    return sent.size() == 1 ? ReadBytes(folder.file(QStringLiteral("send/")) + sent.first())
                            : QByteArray("<not one request>");
}

// The loopback registry answering the folder's requests (its handbook.msg) while it lives.
class RunningRegistry {
public:
    explicit RunningRegistry(const CliFolder& folder)
    {
        process_.start(QStringLiteral(LOOPBACK_PATH),
                       {"--program-folder", folder.path(), "--handbook",
                        folder.file("handbook.msg"), "--interval-ms", "20"});
    }
    ~RunningRegistry()
    {
        process_.terminate();
        process_.waitForFinished(20000);
    }
    bool started() { return process_.waitForStarted(); }

private:
    QProcess process_;
};

} // namespace

class CliTest : public QObject {
    Q_OBJECT

private slots:
    // A back office's night: a file with a deal the registry rejects, the file corrected, and
    // an accepted deal revoked, each waited for; the journal says what the registry said, and
    // the requests are the window's.
    void nightWithTheRegistry()
    {
        CliFolder folder;
        QVERIFY(WriteBytes(folder.file("bad.csv"), kBadDeals));
        QVERIFY(WriteBytes(folder.file("good.csv"), kCorrected));
        QVERIFY(WriteBytes(folder.file("handbook.msg"),
                           "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n"
                           "<IssueList Language=\"RU\" Count=\"1\">\r\n"
                           "<Issue Code=\"SNEN-AO1\" />\r\n</IssueList>\r\n"));

        // The request as the window writes it, and nothing placed for a dry run.
        Run dry = folder.run({"send", "--kind", "deals", "--dry-run", folder.file("dry.xml"),
                              folder.file("bad.csv")});
        QCOMPARE(dry.status, 0);
        QCOMPARE(ReadBytes(folder.file("dry.xml")), WindowRequest(kBadDeals));
        QVERIFY(QDir(folder.file("send")).isEmpty());

        RunningRegistry registry(folder);
        QVERIFY(registry.started());

        const Run bad = folder.run(
            {"send", "--kind", "deals", "--wait", "60", "--json", folder.file("bad.csv")});
        QCOMPARE(bad.status, 1);
        QList<QJsonObject> deals = JsonLines(bad.out);
        QCOMPARE(deals.size(), 2);
        QCOMPARE(deals[0]["result"].toString(), QStringLiteral("accepted"));
        const QString registryId = deals[0]["registry_id"].toString();
        QVERIFY(!registryId.isEmpty());
        QCOMPARE(deals[1]["result"].toString(), QStringLiteral("rejected"));
        QCOMPARE(deals[1]["code"].toString(), QStringLiteral("S14"));
        QCOMPARE(deals[1]["reference"].toString(), QStringLiteral("R-2"));
        // The placed request is the dry run's.
        const QString placed = deals[0]["file"].toString();
        const QStringList archived = QDir(folder.file("archive/requests"))
                                         .entryList({QStringLiteral("*-") + placed}, QDir::Files);
        QCOMPARE(archived.size(), 1);
        QCOMPARE(ReadBytes(folder.file("archive/requests/") + archived.first()),
                 ReadBytes(folder.file("dry.xml")));

        Run journal = folder.run({"journal", "--deals", "--state", "rejected", "--json"});
        QCOMPARE(journal.status, 0);
        deals = JsonLines(journal.out);
        QCOMPARE(deals.size(), 1);
        QCOMPARE(deals[0]["reference"].toString(), QStringLiteral("R-2"));
        QCOMPARE(deals[0]["file"].toString(), placed);

        const Run good =
            folder.run({"send", "--kind", "deals", "--wait", "60", folder.file("good.csv")});
        QCOMPARE(good.status, 0);
        QStringList lines = good.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2); // the titles and the one deal
        QVERIFY2(lines[0].startsWith(QStringLiteral("Файл;№;Договор;Внутр.номер")),
                 qPrintable(lines[0]));
        QVERIFY2(lines[1].contains(QStringLiteral(";принята;")), qPrintable(lines[1]));

        const Run revoke =
            folder.run({"revoke", "--kind", "deals", "--wait", "60", "--json", registryId});
        QCOMPARE(revoke.status, 0);
        QCOMPARE(JsonLines(revoke.out).size(), 1);
        QCOMPARE(JsonLines(revoke.out)[0]["result"].toString(), QStringLiteral("accepted"));

        journal = folder.run({"journal", "--deals", "--state", "revoked", "--json"});
        QCOMPARE(journal.status, 0);
        deals = JsonLines(journal.out);
        QCOMPARE(deals.size(), 1);
        QCOMPARE(deals[0]["registry_id"].toString(), registryId);
        QCOMPARE(deals[0]["reference"].toString(), QStringLiteral("R-1"));

        // The day's file reconciled as the window lines it up: the first deal revoked since, the
        // second accepted only as corrected; the corrected file alone is all accepted.
        const Run day =
            folder.run({"reconcile", "--kind", "deals", "--json", folder.file("bad.csv")});
        QCOMPARE(day.status, 1);
        deals = JsonLines(day.out);
        QCOMPARE(deals.size(), 2);
        QCOMPARE(deals[0]["state"].toString(), QStringLiteral("revoked"));
        QCOMPARE(deals[0]["registry_id"].toString(), registryId);
        QCOMPARE(deals[1]["state"].toString(), QStringLiteral("differs"));
        QCOMPARE(deals[1]["differences"].toArray().first().toObject()["file"].toString(),
                 QStringLiteral("NOPE"));
        const Run corrected = folder.run({"reconcile", "--kind", "deals", folder.file("good.csv")});
        QCOMPARE(corrected.status, 0);
        lines = corrected.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[1].startsWith(QStringLiteral("MC01;R-2;A-2;2;07.03.2024;принята;")),
                 qPrintable(lines[1]));

        // Three requests listed, the rejected one corrected since; none left in the spool.
        journal = folder.run({"journal", "--json"});
        QCOMPARE(JsonLines(journal.out).size(), 3);
        QVERIFY(QDir(folder.file("work/journal/spool")).entryList(QDir::Files).isEmpty());
        QCOMPARE(QDir(folder.file("work")).entryList({"*.tmp", "*.xml"}, QDir::Files),
                 QStringList());
    }

    // The client and two programs at once on one program folder, the registry answering: every
    // request placed under a name of its own, answered, and recorded once in the journal the
    // client lists too. The client takes its instance lock; the programs take none.
    void togetherWithTheClient()
    {
        CliFolder folder;
        QVERIFY(WriteBytes(folder.file("handbook.msg"),
                           "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n"
                           "<IssueList Language=\"RU\" Count=\"1\">\r\n"
                           "<Issue Code=\"SNEN-AO1\" />\r\n</IssueList>\r\n"));
        for (const char* side : {"a", "b"}) {
            QByteArray rows = kTitles;
            for (int n = 1; n <= 3; ++n)
                rows += QStringLiteral("SNEN-AO1;%1-%2;R-%1%2;07.03.2024;101,5;10;RUB\n")
                            .arg(QLatin1String(side))
                            .arg(n)
                            .toUtf8();
            QVERIFY(WriteBytes(folder.file(QLatin1String(side) + QStringLiteral(".csv")), rows));
        }

        // The client as a user starts it: its executable in the program folder, no screen.
        const QString client = folder.file("VarnelClient");
        QVERIFY(QFile::copy(QStringLiteral(CLIENT_PATH), client));
        QTemporaryDir runtime;
        QVERIFY(QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner |
                                                          QFileDevice::WriteOwner |
                                                          QFileDevice::ExeOwner));
        QProcess window;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.file("config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        window.setProcessEnvironment(env);
        window.start(client, {});
        QVERIFY(window.waitForStarted());
        const auto stopWindow = qScopeGuard([&] {
            window.terminate();
            if (!window.waitForFinished(20000))
                window.kill();
        });

        RunningRegistry registry(folder);
        QVERIFY(registry.started());

        QList<std::shared_ptr<QProcess>> programs;
        for (const char* side : {"a", "b"}) {
            auto program = std::make_shared<QProcess>();
            QProcessEnvironment own = env;
            own.remove(QStringLiteral("QT_QPA_PLATFORM"));
            program->setProcessEnvironment(own);
            program->start(QStringLiteral(CLI_PATH),
                           {"--program-folder", folder.path(), "send", "--kind", "deals", "--wait",
                            "90", "--json",
                            folder.file(QLatin1String(side) + QStringLiteral(".csv"))});
            programs << program;
        }
        QSet<QString> files;
        for (const std::shared_ptr<QProcess>& program : programs) {
            QVERIFY(program->waitForFinished(120000));
            QVERIFY2(program->exitCode() == 0, program->readAllStandardError().constData());
            const QList<QJsonObject> deals =
                JsonLines(QString::fromUtf8(program->readAllStandardOutput()));
            QCOMPARE(deals.size(), 3);
            for (const QJsonObject& deal : deals) {
                QCOMPARE(deal["result"].toString(), QStringLiteral("accepted"));
                files << deal["file"].toString();
            }
        }
        QCOMPARE(files.size(), 2);
        QCOMPARE(window.state(), QProcess::Running);

        // Both in the journal once each, answered; nothing left in the spool or the work folder.
        const Run journal = folder.run({"journal", "--json"});
        QCOMPARE(journal.status, 0);
        const QList<QJsonObject> requests = JsonLines(journal.out);
        QCOMPARE(requests.size(), 2);
        for (const QJsonObject& request : requests) {
            QVERIFY(files.contains(request["file"].toString()));
            QCOMPARE(request["accepted"].toInt(), 3);
        }
        QVERIFY(QDir(folder.file("work/journal/spool")).entryList(QDir::Files).isEmpty());
        QCOMPARE(QDir(folder.file("work")).entryList({"*.tmp", "*.xml"}, QDir::Files),
                 QStringList());
    }

    // What check finds, as CSV and as JSON, and the exit status.
    void checkRefused()
    {
        CliFolder folder;
        QVERIFY(WriteBytes(folder.file("deals.csv"),
                           kTitles + "SNEN-AO1;A-1;R-1;07.03.2024;101,5;10;RUB\n"
                                     "SNEN-AO1;A-2;R-1;07.03.2024;1;1;RUB\n"
                                     "SNEN-AO1;A-3;R-3;31.02.2024;=1+1;1;RUB\n"));
        const Run csv = folder.run({"check", "--kind", "deals", folder.file("deals.csv")});
        QCOMPARE(csv.status, 1);
        QCOMPARE(csv.out,
                 QStringLiteral(
                     "Строка;Поле;Значение;Ошибка\n"
                     "3;Внутр. номер;R-1;(S52) Сделка участника MC01 с внутренним номером R-1 "
                     "уже существует в базе данных\n"
                     "4;Дата сделки;31.02.2024;(C10) Недопустимый формат даты: 31.02.2024\n"
                     "4;Цена ЦБ;\"'=1+1\";Поле Price должно иметь числовой формат\n"));
        QVERIFY2(csv.err.contains(QStringLiteral("Загружено 1 из 3, отклонено 2")),
                 qPrintable(csv.err));
        const Run json =
            folder.run({"--json", "check", "--kind", "deals", folder.file("deals.csv")});
        QCOMPARE(json.status, 1);
        const QList<QJsonObject> rows = JsonLines(json.out);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[1]["row"].toInt(), 4);
        QCOMPARE(rows[1]["field"].toString(), QStringLiteral("Дата сделки"));
        QCOMPARE(rows[2]["value"].toString(), QStringLiteral("=1+1"));
        // Nothing sent for a file with refused rows.
        QCOMPARE(folder.run({"send", "--kind", "deals", folder.file("deals.csv")}).status, 1);
        QVERIFY(QDir(folder.file("send")).isEmpty());
        // Every row passing: exit 0, the title row alone.
        QVERIFY(WriteBytes(folder.file("good.csv"), kCorrected));
        const Run good = folder.run({"check", "--kind", "deals", folder.file("good.csv")});
        QCOMPARE(good.status, 0);
        QCOMPARE(good.out, QStringLiteral("Строка;Поле;Значение;Ошибка\n"));
    }

    // Bad input gets a clear message, exit 2, and changes nothing.
    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("no such file")
            << QStringList{"check", "--kind", "deals", "@/none.csv"} << "Не удается прочитать файл";
        QTest::newRow("a folder") << QStringList{"send", "--kind", "deals", "@/work"}
                                  << "Не удается прочитать файл";
        QTest::newRow("a damaged workbook")
            << QStringList{"send", "--kind", "deals", "@/damaged.xlsx"} << "damaged.xlsx";
        QTest::newRow("a column nobody placed")
            << QStringList{"send", "--kind", "deals", "@/odd.csv"} << "«Цена сделки»";
        QTest::newRow("a map to no field")
            << QStringList{"check", "--kind", "deals", "--map", "Цена сделки=Цена?", "@/odd.csv"}
            << "В отчете нет поля «Цена?»";
        QTest::newRow("no kind") << QStringList{"check", "@/odd.csv"} << "--kind";
        QTest::newRow("unknown option")
            << QStringList{"send", "--kind", "deals", "--fast", "@/odd.csv"} << "--fast";
        QTest::newRow("wait without seconds")
            << QStringList{"revoke", "--kind", "deals", "--wait", "soon", "12"} << "--wait";
        QTest::newRow("revocation id")
            << QStringList{"revoke", "--kind", "deals", "1e5"} << "целочисленным";
        QTest::newRow("unknown command") << QStringList{"reckon"} << "reckon";
    }
    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        CliFolder folder;
        QVERIFY(WriteBytes(folder.file("damaged.xlsx"), QByteArray("PK\x03\x04", 4) + "broken"));
        QVERIFY(WriteBytes(folder.file("odd.csv"), "Код ЦБ;Цена сделки;Количество\n"
                                                   "SNEN-AO1;10;1\n"));
        for (QString& argument : arguments)
            argument.replace(QStringLiteral("@"), folder.path());
        const Run run = folder.run(arguments);
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
        QVERIFY(QDir(folder.file("send")).isEmpty());
        QCOMPARE(QDir(folder.file("work"))
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
    }

    // A column placed by --map: the deals pass.
    void mapColumns()
    {
        CliFolder folder;
        QVERIFY(WriteBytes(folder.file("odd.csv"), "Код ЦБ;Цена сделки;Количество;Внутр. номер\n"
                                                   "SNEN-AO1;10;1;R-1\n"));
        const Run run = folder.run(
            {"check", "--kind", "deals", "--map", "цена  сделки=Price", folder.file("odd.csv")});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.contains(QStringLiteral("Загружено 1 из 1")), qPrintable(run.err));
    }

    // The dry run's file goes through the atomic save: under a file-size limit and on a full
    // disk the program fails with the system's reason, the file there stays whole and nothing
    // is left beside it.
    void dryRunOnAFullDisk_data()
    {
        QTest::addColumn<bool>("fullDisk");
        QTest::newRow("file-size limit") << false;
        QTest::newRow("full disk") << true;
    }
    void dryRunOnAFullDisk()
    {
        QFETCH(bool, fullDisk);
        CliFolder folder;
        QVERIFY(WriteBytes(folder.file("deals.csv"), kBadDeals));
        std::unique_ptr<testing::SmallDisk> disk;
        QString out = folder.file("out/request.xml");
        QDir(folder.path()).mkdir(QStringLiteral("out"));
        if (fullDisk) {
            disk = std::make_unique<testing::SmallDisk>(1024 * 1024);
            VARNEL_REQUIRE_DISK(*disk);
            out = disk->filePath(QStringLiteral("request.xml"));
        }
        QVERIFY(WriteBytes(out, "old request"));
        if (disk)
            disk->fill();
        const Run run =
            folder.run({"send", "--kind", "deals", "--dry-run", out, folder.file("deals.csv")},
                       fullDisk ? 0 : 64);
        QCOMPARE(run.status, 2);
        const QString reason = QString::fromLocal8Bit(std::strerror(fullDisk ? ENOSPC : EFBIG));
        QVERIFY2(run.err.contains(reason), qPrintable(run.err));
        QCOMPARE(ReadBytes(out), QByteArray("old request"));
        QCOMPARE(testing::FolderEntries(QFileInfo(out).path()), QStringList{"request.xml"});
    }

    // The program's help, and its version from the build.
    void helpAndVersion()
    {
        CliFolder folder;
        const Run help = folder.run({"send", "--help"});
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.startsWith(QStringLiteral("Использование: varnel-cli send")));
        QVERIFY(help.out.contains(QStringLiteral("--skip-refused")));
        QProcess version;
        version.start(QStringLiteral(CLI_PATH), {QStringLiteral("--version")});
        QVERIFY(version.waitForFinished(60000));
        QCOMPARE(version.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(version.readAllStandardOutput()),
                 QStringLiteral("varnel-cli %1\n").arg(VersionString()));
    }
};

QTEST_MAIN(CliTest)
#include "tst_cli.moc"
