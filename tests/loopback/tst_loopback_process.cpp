#include "LoopbackSupport.h"

#include <QElapsedTimer>
#include <QProcess>

#include <csignal>
#include <cstring>

#include <sys/resource.h>

namespace {

const QString kProgram = QStringLiteral(LOOPBACK_PATH);

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// With a file-size limit, the signal the limit raises is left at its default, which ends a
// process: the program has to keep it from ending the registry itself.
Run RunOnce(const QStringList& arguments, qint64 fileSizeLimit = 0)
{
    QProcess process;
    if (fileSizeLimit > 0)
        process.setChildProcessModifier([fileSizeLimit] {
            std::signal(SIGXFSZ, SIG_DFL);
            const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
    process.start(kProgram, arguments);
    Run run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

bool waitFor(const QString& path, int ms = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!QFile::exists(path)) {
        if (timer.hasExpired(ms))
            return false;
        QTest::qWait(20);
    }
    return true;
}

} // namespace

class TestLoopbackProcess : public QObject {
    Q_OBJECT

private slots:
    void answersTheProgramFolderOnce();
    void runsUntilTerminated();
    void fileSizeLimit();
    void refusesBadCommandLines_data();
    void refusesBadCommandLines();
};

void TestLoopbackProcess::answersTheProgramFolderOnce()
{
    QTemporaryDir dir;
    const QString program = dir.filePath("Программа");
    QVERIFY(QDir().mkpath(program + "/send") && QDir().mkpath(program + "/in"));
    // The client's settings file: Windows-1251, the folders relative to the program folder.
    QVERIFY(WriteBytes(program + "/varnel_client.ini",
                       "[Main]\r\nParticipant=MC01\r\n[Path]\r\nFolderWork=.\\work\r\n"
                       "FolderSend = .\\send \r\nFolderReceive=./in\r\n"));
    const QString handbook = dir.filePath("handbook.msg");
    QVERIFY(WriteBytes(handbook, "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n"
                                 "<IssueList Language=\"RU\" Count=\"1\">\r\n"
                                 "<Issue Code=\"SNEN-AO1\" />\r\n</IssueList>\r\n"));
    QVERIFY(WriteBytes(program + "/send/DL1.xml",
                       ClientDocument("deals", "Language=\"RU\"", "deal",
                                      {DealRow("MC01", "", "R-1"),
                                       DealRow("MC01", "", "R-2").replace("SNEN-AO1", "X")})));
    QVERIFY(WriteBytes(program + "/send/GIL1.xml",
                       ClientDocument("GetIssueList", "Language=\"RU\"", "", {})));

    const Run run = RunOnce({"--program-folder", program, "--handbook", handbook, "--once"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(Codes(ReadBytes(program + "/in/DL1.msg")), QStringList({"ok", "S14"}));
    QCOMPARE(ReadBytes(program + "/in/GIL1.msg"), ReadBytes(handbook));
    // The archive lies beside the send folder; the log names each request and answer.
    const QString log = QString::fromUtf8(ReadBytes(program + "/archive/loopback.log"));
    QCOMPARE(log.count(" request "), 2);
    QCOMPARE(log.count(" answer "), 2);
    QCOMPARE(run.out.count(u'\n'), log.count(u'\n'));

    // Nothing new: nothing answered again.
    QCOMPARE(RunOnce({"--program-folder", program, "--once"}).exitCode, 0);
    QCOMPARE(QDir(program + "/in").entryList(QDir::Files | QDir::Hidden).size(), 2);
}

void TestLoopbackProcess::runsUntilTerminated()
{
    QTemporaryDir dir;
    const QString send = dir.filePath("send"), receive = dir.filePath("receive");
    QVERIFY(QDir().mkpath(send) && QDir().mkpath(receive));
    QProcess process;
    process.start(kProgram, {"--send", send, "--receive", receive, "--archive", dir.filePath("a"),
                             "--interval-ms", "20"});
    QVERIFY(process.waitForStarted());
    for (int i = 1; i <= 3; ++i) {
        QVERIFY(WriteBytes(send + "/.SIL.part",
                           ClientDocument("SubscribeIssueList", "Language=\"EN\"", "", {})));
        QVERIFY(QFile::rename(send + "/.SIL.part", send + QString("/SIL%1.xml").arg(i)));
        QVERIFY(waitFor(receive + QString("/SIL%1.msg").arg(i)));
    }
    ::kill(pid_t(process.processId()), SIGTERM);
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    QVERIFY(out.trimmed().endsWith("loopback registry stopped"));
    QVERIFY(ReadBytes(receive + "/SIL2.msg").contains("Code=\"S90\""));
}

// Under a file-size limit that its log is already beyond and that a big answer would pass, the
// registry still starts, answers what fits, keeps the big request for a later try with
// nothing half-written left, and answers it once the limit is gone.
void TestLoopbackProcess::fileSizeLimit()
{
    QTemporaryDir dir;
    const QString send = dir.filePath("send"), receive = dir.filePath("receive");
    const QString archive = dir.filePath("archive");
    QVERIFY(QDir().mkpath(send) && QDir().mkpath(receive));
    const QStringList arguments{"--send",    send,    "--receive", receive,
                                "--archive", archive, "--once"};
    QCOMPARE(RunOnce(arguments).exitCode, 0); // the archive and its database made
    const QByteArray oldLog = ReadBytes(archive + "/loopback.log") + QByteArray(300000, '#');
    QVERIFY(WriteBytes(archive + "/loopback.log", oldLog));
    QVERIFY(WriteBytes(send + "/DL1.xml", ClientDocument("deals", "Language=\"RU\"", "deal",
                                                         {DealRow("MC01", "", "R-1")})));
    QStringList rejected;
    for (int i = 0; i < 2000; ++i)
        rejected << DealRow("MC01", "", QString("B-%1").arg(i)).replace("10.5", "0");
    QVERIFY(WriteBytes(send + "/DL2.xml",
                       ClientDocument("deals", "Language=\"RU\"", "deal", rejected)));

    const Run limited = RunOnce(arguments, 128 * 1024);
    QCOMPARE(limited.exitCode, 1); // ended by itself, the big request waiting
    // The system's reason in the locale the registry runs in, which is this test's.
    QVERIFY2(limited.out.contains(QString::fromLocal8Bit(std::strerror(EFBIG))),
             qPrintable(limited.out));
    QCOMPARE(Codes(ReadBytes(receive + "/DL1.msg")), QStringList({"ok"}));
    QCOMPARE(QDir(receive).entryList(QDir::Files | QDir::Hidden), QStringList({"DL1.msg"}));
    QCOMPARE(QDir(archive + "/answers").entryList(QDir::Files | QDir::Hidden).size(), 1);
    QCOMPARE(ReadBytes(archive + "/loopback.log"), oldLog);

    QCOMPARE(RunOnce(arguments).exitCode, 0);
    QCOMPARE(Codes(ReadBytes(receive + "/DL2.msg")).size(), 2000);
}

void TestLoopbackProcess::refusesBadCommandLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::newRow("nothing") << QStringList() << "--program-folder";
    QTest::newRow("send only") << QStringList({"--send", "/tmp"}) << "--receive";
    QTest::newRow("no settings file")
        << QStringList({"--program-folder", "/nonexistent/x"}) << "varnel_client.ini";
    QTest::newRow("bad interval") << QStringList({"--send", "/tmp", "--receive", "/tmp",
                                                  "--interval-ms", "soon"})
                                  << "--interval-ms";
}

void TestLoopbackProcess::refusesBadCommandLines()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    const Run run = RunOnce(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(error), qPrintable(run.err));
}

QTEST_GUILESS_MAIN(TestLoopbackProcess)
#include "tst_loopback_process.moc"
