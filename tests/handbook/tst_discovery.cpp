// Finding the newest handbook in the receive folder and making it current.
#include "HandbookTestSupport.h"
#include "filesave/ReplacingFile.h"

#include "core/AppContext.h"
#include "core/Error.h"
#include "core/Settings.h"
#include "handbook/HandbookDiscovery.h"
#include "tests/support/ScriptedDialogs.h"
#include "tools/HandbookGenerator.h"

#include <QtTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace varnel;
using namespace varnel::test;

namespace {

const QString kWorkDate = QStringLiteral("<date>");

QString CurrentPath()
{
    return ReadSetting(QStringLiteral("IssueList"), QStringLiteral("CurrentHandbookPath"), {});
}

QString CurrentTime()
{
    return ReadSetting(QStringLiteral("IssueList"), QStringLiteral("CurrentHandbookTime"), {});
}

QByteArray SmallHandbook(const QString& code = QStringLiteral("SU26207RMFS9"))
{
    return HandbookXml({{{QStringLiteral("Code"), code}, {QStringLiteral("ISIN"), code}}});
}

const QByteArray kReceipt = "<?xml version=\"1.0\"?>\r\n<RECEIPTS Date=\"x\">\r\n</RECEIPTS>\r\n";

QDateTime At(int day, int hour = 9, int minute = 30, int second = 12)
{
    return QDateTime(QDate(2025, 3, day), QTime(hour, minute, second));
}

// The command with a file listing whose creation times the test sets (a file system keeps
// its own); names not listed are files in the folder that the test does not care about.
struct Run {
    QList<ListedMessage> listing;
    bool useListing = false;
    int changed = 0;

    void operator()()
    {
        HandbookFindContext context;
        context.dateTimeText = [](const QDateTime&) { return kWorkDate; };
        context.currentHandbookChanged = [this] { ++changed; };
        if (useListing)
            context.lister = [this](const QString&) { return listing; };
        RunFindHandbook(context);
    }
};

} // namespace

class tst_Discovery : public QObject {
    Q_OBJECT

private slots:
    void stopsWithoutChanges_data();
    void stopsWithoutChanges();
    void newestHandbookMadeCurrent();
    void noAndAgain();
    void storedHandbookCompared_data();
    void storedHandbookCompared();
    void equalTimeStampsTakeTheFirstListed();
    void listingMatchesTheMaskOnly();
    void badFilesAmongTwoThousand();
    void gigabyteWithoutMarker();
    void unreadableFileStopsTheCommand();
    void failedCopyKeepsTheCurrentHandbook();
    void unwritableSettingsKeepTheCurrentHandbook_data();
    void unwritableSettingsKeepTheCurrentHandbook();
    void timeStamps();
    void folderRule_data();
    void folderRule();
};

void tst_Discovery::stopsWithoutChanges_data()
{
    QTest::addColumn<QString>("receive");
    QTest::addColumn<QString>("work");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("message"); // %1: program folder
    QTest::addColumn<bool>("critical");

    const QStringList none;
    QTest::newRow("receive folder missing")
        << ".\\inbox"
        << ".\\work" << none << "Каталог приема входящих сообщений %1/inbox не существует" << true;
    QTest::newRow("work folder missing")
        << ".\\receive"
        << "/nonexistent/work" << none << "Рабочий каталог /nonexistent/work не существует" << true;
    QTest::newRow("receive folder not set")
        << ""
        << ".\\work" << none
        << "Каталог приема входящих сообщений не задан (параметр FolderReceive раздела Path)"
        << true;
    QTest::newRow("work folder not set")
        << ".\\receive"
        << "" << none << "Рабочий каталог не задан (параметр FolderWork раздела Path)" << true;
    QTest::newRow("no .msg file") << ".\\receive"
                                  << ".\\work" << QStringList{"a.xml", "b.msgx", "msg"}
                                  << "Не найдено ни одного файла. Маска поиска: %1/receive/*.msg"
                                  << true;
    QTest::newRow("folder given with a separator")
        << ".\\receive\\"
        << ".\\work" << none << "Не найдено ни одного файла. Маска поиска: %1/receive/*.msg"
        << true;
    QTest::newRow("no handbook among the files")
        << "./receive"
        << ".\\work" << QStringList{"r1.msg", "r2.MSG"}
        << "Не найдено ни одного файла, который мог бы содержать справочник ЦБ. Маска поиска: "
           "%1/receive/*.msg"
        << false;
}

void tst_Discovery::stopsWithoutChanges()
{
    QFETCH(QString, receive);
    QFETCH(QString, work);
    QFETCH(QStringList, files);
    QFETCH(QString, message);
    QFETCH(bool, critical);

    Sandbox box;
    WriteSetting(QStringLiteral("Path"), QStringLiteral("FolderReceive"), receive);
    WriteSetting(QStringLiteral("Path"), QStringLiteral("FolderWork"), work);
    WriteSetting(QStringLiteral("IssueList"), QStringLiteral("CurrentHandbookTime"), "12");
    for (const QString& f : files)
        QVERIFY(WriteBytes(box.receive(f), f.endsWith(u"xml") ? SmallHandbook() : kReceipt));
    const QByteArray settingsBefore = box.settings();

    ScriptedDialogs dialogs;
    Run run;
    run();
    QCOMPARE(dialogs.texts(),
             QStringList{message.contains(u'%') ? message.arg(box.folder()) : message});
    const DialogRequest& shown = dialogs.last();
    QCOMPARE(shown.icon, critical ? MessageIcon::Critical : MessageIcon::Warning);
    QCOMPARE(shown.title, kAppTitle);
    QCOMPARE(box.settings(), settingsBefore);
    QCOMPARE(run.changed, 0);
    QVERIFY(QDir(box.work()).isEmpty());
}

void tst_Discovery::newestHandbookMadeCurrent()
{
    Sandbox box;
    QVERIFY(WriteBytes(box.receive("old.msg"), SmallHandbook("OLD")));
    QVERIFY(WriteBytes(box.receive("new.msg"), SmallHandbook("NEW")));
    QVERIFY(WriteBytes(box.receive("receipt.msg"), kReceipt));
    // A file of the same name in the work folder is replaced.
    QVERIFY(WriteBytes(box.work("new.msg"), "stale copy"));
    const QDateTime modified = At(9, 8, 0, 0);
    {
        QFile f(box.receive("new.msg"));
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(modified, QFileDevice::FileModificationTime));
    }

    ScriptedDialogs dialogs;
    dialogs.answer(Answer::Yes);
    Run run;
    run.useListing = true;
    run.listing = {{"new.msg", At(10)}, {"old.msg", At(9)}, {"receipt.msg", At(11)}};
    run();

    QCOMPARE(dialogs.shown().size(), 1);
    const DialogRequest& question = dialogs.last();
    QCOMPARE(question.title, QStringLiteral("Подтверждение"));
    QCOMPARE(question.icon, MessageIcon::Question);
    QCOMPARE(question.buttons, MessageButtons::YesNo);
    QCOMPARE(question.text, QStringLiteral("Текущий справочник ЦБ: не установлен.\r\n"
                                           "Найден справочник: %1 (<date>).\r\n"
                                           "Сделать найденный справочник текущим ?")
                                .arg(box.receive("new.msg")));
    QCOMPARE(ReadBytes(box.work("new.msg")), ReadBytes(box.receive("new.msg")));
    QCOMPARE(QFileInfo(box.work("new.msg")).lastModified(), modified);
    QCOMPARE(CurrentPath(), box.work("new.msg"));
    QCOMPARE(CurrentTime(), QStringLiteral("20250310093012"));
    QCOMPARE(run.changed, 1);
    // The file in the receive folder stays where it was, and no copy is left half-made.
    QVERIFY(QFileInfo::exists(box.receive("new.msg")));
    QCOMPARE(QDir(box.work()).entryList(QDir::Files | QDir::Hidden), QStringList{"new.msg"});

    // Made current once, it is not offered again.
    dialogs.clear();
    run();
    QCOMPARE(dialogs.texts(),
             QStringList{QStringLiteral("Не найдено справочника, более нового, чем текущий")});
    QCOMPARE(dialogs.last().icon, MessageIcon::Warning);

    // A later handbook is offered, naming the current one.
    QVERIFY(WriteBytes(box.receive("later.msg"), SmallHandbook("LATER")));
    run.listing.append({"later.msg", At(10, 9, 30, 13)});
    dialogs.clear();
    dialogs.answer(Answer::Yes);
    run();
    QCOMPARE(dialogs.last().text, QStringLiteral("Текущий справочник ЦБ: %1 (<date>).\r\n"
                                                 "Найден справочник: %2 (<date>).\r\n"
                                                 "Сделать найденный справочник текущим ?")
                                      .arg(box.work("new.msg"), box.receive("later.msg")));
    QCOMPARE(CurrentPath(), box.work("later.msg"));
    QCOMPARE(CurrentTime(), QStringLiteral("20250310093013"));
}

void tst_Discovery::noAndAgain()
{
    Sandbox box;
    QVERIFY(WriteBytes(box.receive("h.msg"), SmallHandbook()));
    const QByteArray before = box.settings();
    ScriptedDialogs dialogs;
    dialogs.answer(Answer::No);
    Run run;
    run();
    QCOMPARE(dialogs.shown().size(), 1);
    QCOMPARE(dialogs.last().buttons, MessageButtons::YesNo);
    QCOMPARE(box.settings(), before);
    QCOMPARE(run.changed, 0);
    QVERIFY(QDir(box.work()).isEmpty());
}

void tst_Discovery::storedHandbookCompared_data()
{
    QTest::addColumn<QString>("storedTime");
    QTest::addColumn<bool>("currentFileExists");
    QTest::addColumn<bool>("offered");
    QTest::addColumn<QString>("currentText"); // how the question names the current handbook

    QTest::newRow("older") << "20250309000000" << true << true << "%1 (<date>).";
    QTest::newRow("equal") << "20250310093012" << true << false << "";
    QTest::newRow("newer") << "20991231235959" << true << false << "";
    QTest::newRow("blanks around") << " 20250310093012 " << true << false << "";
    QTest::newRow("not a number") << "2025-03-10" << true << true << "%1 (<date>).";
    QTest::newRow("empty") << "" << true << true << "%1 (<date>).";
    QTest::newRow("not a finite number") << "1e999" << true << true << "%1 (<date>).";
    QTest::newRow("file gone") << "20991231235959" << false << true << "не установлен.";
}

void tst_Discovery::storedHandbookCompared()
{
    QFETCH(QString, storedTime);
    QFETCH(bool, currentFileExists);
    QFETCH(bool, offered);
    QFETCH(QString, currentText);

    Sandbox box;
    QVERIFY(WriteBytes(box.receive("h.msg"), SmallHandbook()));
    const QString current = box.work("current.msg");
    if (currentFileExists)
        QVERIFY(WriteBytes(current, SmallHandbook("CUR")));
    WriteSetting(QStringLiteral("IssueList"), QStringLiteral("CurrentHandbookPath"), current);
    WriteSetting(QStringLiteral("IssueList"), QStringLiteral("CurrentHandbookTime"), storedTime);

    ScriptedDialogs dialogs;
    if (offered)
        dialogs.answer(Answer::No);
    Run run;
    run.useListing = true;
    run.listing = {{"h.msg", At(10)}};
    run();
    QCOMPARE(dialogs.shown().size(), 1);
    if (offered) {
        QCOMPARE(dialogs.last().text.section(QStringLiteral("\r\n"), 0, 0),
                 QStringLiteral("Текущий справочник ЦБ: ") +
                     (currentText.contains(u'%') ? currentText.arg(current) : currentText));
    } else {
        QCOMPARE(dialogs.last().text,
                 QStringLiteral("Не найдено справочника, более нового, чем текущий"));
    }
}

void tst_Discovery::equalTimeStampsTakeTheFirstListed()
{
    Sandbox box;
    for (const char* name : {"b.msg", "a.msg", "c.msg"})
        QVERIFY(WriteBytes(box.receive(name), SmallHandbook(name)));
    ScriptedDialogs dialogs;
    dialogs.answer(Answer::Yes);
    Run run;
    run.useListing = true;
    // The same second; milliseconds do not count.
    run.listing = {
        {"b.msg", At(10).addMSecs(100)}, {"a.msg", At(10).addMSecs(900)}, {"c.msg", At(9)}};
    run();
    QCOMPARE(CurrentPath(), box.work("b.msg"));
}

void tst_Discovery::listingMatchesTheMaskOnly()
{
    Sandbox box;
    for (const char* name : {"b.msg", "A.MSG", "c.Msg", ".hidden.msg", "x.msg.bak", "y.xml"})
        QVERIFY(WriteBytes(box.receive(name), kReceipt));
    QVERIFY(QDir().mkpath(box.receive("folder.msg")));
    QVERIFY(::mkfifo(QFile::encodeName(box.receive("pipe.msg")).constData(), 0600) == 0);
    QVERIFY(QFile::link(box.receive("b.msg"), box.receive("link.msg")));
    QVERIFY(QFile::link(box.receive("gone"), box.receive("dangling.msg")));

    QStringList names;
    for (const ListedMessage& m : ListMessageFiles(box.receive())) {
        names << m.name;
        QVERIFY(m.created.isValid());
    }
    QCOMPARE(names, (QStringList{".hidden.msg", "A.MSG", "b.msg", "c.Msg", "link.msg"}));

    try {
        ListMessageFiles(box.path("nowhere"));
        QFAIL("a missing folder listed");
    } catch (const Error& e) {
        QVERIFY(e.description().contains(box.path("nowhere")));
    }
}

// Two thousand files: receipts, binary files, a folder and a pipe named like messages, a
// handbook with a document type (its contents are the pick list's business). The one handbook
// is found; nothing hangs on the pipe.
void tst_Discovery::badFilesAmongTwoThousand()
{
    Sandbox box;
    for (int i = 0; i < 1990; ++i)
        QVERIFY(WriteBytes(box.receive(QStringLiteral("R%1.msg").arg(i, 4, 10, QLatin1Char('0'))),
                           kReceipt));
    QByteArray binary(70000, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 7919) >> 3);
    for (int i = 0; i < 5; ++i)
        QVERIFY(WriteBytes(box.receive(QStringLiteral("bin%1.msg").arg(i)), binary));
    QVERIFY(WriteBytes(box.receive("empty.msg"), QByteArray()));
    QVERIFY(QDir().mkpath(box.receive("x.msg")));
    QVERIFY(::mkfifo(QFile::encodeName(box.receive("pipe.msg")).constData(), 0600) == 0);
    QVERIFY(WriteBytes(box.receive("zz_doctype.msg"),
                       HandbookXml({}, "<?xml version=\"1.0\"?>\r\n<!DOCTYPE IssueList [\r\n"
                                       "<!ENTITY e SYSTEM \"file:///etc/passwd\">]>")));

    ScriptedDialogs dialogs;
    dialogs.answer(Answer::Yes);
    Run run;
    run();
    QCOMPARE(dialogs.shown().size(), 1);
    QVERIFY(dialogs.last().text.contains(box.receive("zz_doctype.msg")));
    QCOMPARE(CurrentPath(), box.work("zz_doctype.msg"));
}

// A file of a gigabyte without a line end (sparse, so it costs no disk) is read to its end in
// steps and judged no handbook; the real one beside it is found.
void tst_Discovery::gigabyteWithoutMarker()
{
    Sandbox box;
    {
        QFile big(box.receive("big.msg"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        if (!big.resize(qint64(1) << 30))
            QSKIP("the temporary folder cannot hold a sparse file of 1 GB");
    }
    QVERIFY(WriteBytes(box.receive("h.msg"), SmallHandbook()));
    ScriptedDialogs dialogs;
    dialogs.answer(Answer::No);
    Run run;
    run();
    QCOMPARE(dialogs.shown().size(), 1);
    QVERIFY(dialogs.last().text.contains(box.receive("h.msg")));
}

// A file that cannot be read ends the command with its reason; nothing changes.
void tst_Discovery::unreadableFileStopsTheCommand()
{
    Sandbox box;
    QVERIFY(WriteBytes(box.receive("h.msg"), SmallHandbook()));
    const QString bad = box.receive("a_bad.msg");
    if (::geteuid() != 0) {
        QVERIFY(WriteBytes(bad, kReceipt));
        QVERIFY(QFile::setPermissions(bad, QFileDevice::Permissions()));
    } else {
        // Permissions do not stop root; this process's memory file cannot be read at its start.
        if (!QFileInfo(QStringLiteral("/proc/self/mem")).isFile())
            QSKIP("no memory file to read");
        QVERIFY(QFile::link(QStringLiteral("/proc/self/mem"), bad));
    }
    const QByteArray before = box.settings();
    ScriptedDialogs dialogs;
    Run run;
    run();
    QCOMPARE(dialogs.shown().size(), 1);
    QVERIFY2(dialogs.last().text.startsWith(QStringLiteral("Не удалось прочитать файл ") + bad +
                                            QStringLiteral(":\r\n")),
             qPrintable(dialogs.last().text));
    QCOMPARE(dialogs.last().icon, MessageIcon::Critical);
    QCOMPARE(box.settings(), before);
}

// A copy that fails half-way (the file-size limit of a child process stands for a full disk)
// leaves the current handbook of the same name byte for byte, and the settings as they were.
void tst_Discovery::failedCopyKeepsTheCurrentHandbook()
{
    Sandbox box;
    tools::HandbookOptions options;
    options.instruments = 2000;
    QVERIFY(WriteBytes(box.receive("h.msg"), tools::GenerateHandbook(options)));
    // The current handbook, and an older copy of the same name as the new one.
    const QByteArray current = SmallHandbook("CURRENT");
    QVERIFY(WriteBytes(box.work("current.msg"), current));
    QVERIFY(WriteBytes(box.work("h.msg"), current));
    WriteSetting(QStringLiteral("IssueList"), QStringLiteral("CurrentHandbookPath"),
                 box.work("current.msg"));
    WriteSetting(QStringLiteral("IssueList"), QStringLiteral("CurrentHandbookTime"), "1");
    const QByteArray before = box.settings();

    int pipeFds[2];
    QVERIFY(::pipe(pipeFds) == 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        filesave::IgnoreFileSizeSignal(); // as the client does where it starts
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ScriptedDialogs dialogs;
        dialogs.answer(Answer::Yes);
        Run run;
        run();
        const QByteArray shown = dialogs.texts().join(QStringLiteral("|")).toUtf8();
        [[maybe_unused]] const auto written = ::write(pipeFds[1], shown.constData(), shown.size());
        ::close(pipeFds[1]);
        ::_exit(run.changed == 0 ? 0 : 1);
    }
    ::close(pipeFds[1]);
    QByteArray shown;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        shown.append(buffer, n);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);

    const QStringList texts = QString::fromUtf8(shown).split(u'|');
    QCOMPARE(texts.size(), 2); // the question, then the failure
    QVERIFY2(
        texts.at(1).startsWith(QStringLiteral("Не удалось записать файл ") + box.work("h.msg")),
        qPrintable(texts.at(1)));
    QCOMPARE(ReadBytes(box.work("h.msg")), current);
    QCOMPARE(box.settings(), before);
    QCOMPARE(QDir(box.work()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"current.msg", "h.msg"}));

    // A folder in the way of the copy is not replaced either.
    QVERIFY(QFile::remove(box.work("h.msg")));
    QVERIFY(QDir().mkpath(box.work("h.msg")));
    ScriptedDialogs dialogs;
    dialogs.answer(Answer::Yes);
    Run run;
    run();
    QCOMPARE(dialogs.shown().size(), 2);
    QVERIFY(dialogs.last().text.startsWith(QStringLiteral("Не удалось создать файл ")));
    QCOMPARE(box.settings(), before);
}

// The settings cannot be written once the copy is made: the failure is shown, the settings
// still name the current handbook, and the work folder is as it was: a copy that took a new
// name is removed, a file of that name that was there before is back, byte for byte.
void tst_Discovery::unwritableSettingsKeepTheCurrentHandbook_data()
{
    QTest::addColumn<bool>("sameName"); // the current handbook has the new one's file name
    QTest::newRow("new name") << false;
    QTest::newRow("the current handbook's name") << true;
}

void tst_Discovery::unwritableSettingsKeepTheCurrentHandbook()
{
    QFETCH(bool, sameName);
    Sandbox box;
    const QByteArray current = SmallHandbook("CURRENT");
    const QString currentName = sameName ? QStringLiteral("h.msg") : QStringLiteral("current.msg");
    QVERIFY(WriteBytes(box.work(currentName), current));
    WriteSetting(QStringLiteral("IssueList"), QStringLiteral("CurrentHandbookPath"),
                 box.work(currentName));
    WriteSetting(QStringLiteral("IssueList"), QStringLiteral("CurrentHandbookTime"), "1");
    QVERIFY(WriteBytes(box.receive("h.msg"), SmallHandbook("NEW")));
    const QByteArray before = box.settings();
    QVERIFY(QFile::setPermissions(SettingsFilePath(), QFile::ReadOwner | QFile::ReadGroup));

    ScriptedDialogs dialogs;
    dialogs.answer(Answer::Yes);
    Run run;
    run();
    QFile::setPermissions(SettingsFilePath(), QFile::ReadOwner | QFile::WriteOwner);

    QCOMPARE(dialogs.shown().size(), 2); // the question, then the failure
    QCOMPARE(dialogs.last().icon, MessageIcon::Critical);
    QVERIFY2(dialogs.last().text.startsWith(QStringLiteral("Не удалось записать файл ") +
                                            SettingsFilePath()),
             qPrintable(dialogs.last().text));
    QCOMPARE(run.changed, 0);
    QCOMPARE(box.settings(), before);
    QCOMPARE(ReadBytes(box.work(currentName)), current);
    QCOMPARE(QDir(box.work()).entryList(QDir::Files | QDir::Hidden), QStringList{currentName});
}

void tst_Discovery::timeStamps()
{
    QCOMPARE(HandbookTimeStamp(At(10)), 20250310093012.0);
    QCOMPARE(HandbookTimeStamp(QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5))), 20240102030405.0);
    // Universal time is shown in local time.
    const QDateTime utc(QDate(2025, 3, 10), QTime(9, 30, 12), Qt::UTC);
    QCOMPARE(HandbookTimeStamp(utc), HandbookTimeStamp(utc.toLocalTime()));
    QCOMPARE(HandbookTimeStamp(QDateTime()), 0.0);
    QCOMPARE(HandbookTimeStampText(20250310093012.0), QStringLiteral("20250310093012"));
    QCOMPARE(HandbookTimeStampText(0), QStringLiteral("0"));
    QCOMPARE(ParseHandbookTimeStamp(QStringLiteral("20250310093012")), 20250310093012.0);
    QCOMPARE(ParseHandbookTimeStamp(QStringLiteral("abc")), 0.0);
    QCOMPARE(ParseHandbookTimeStamp(QStringLiteral("nan")), 0.0);
}

void tst_Discovery::folderRule_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("resolved"); // %1: program folder

    QTest::newRow("dot") << "."
                         << "%1";
    QTest::newRow("dot backslash") << ".\\"
                                   << "%1";
    QTest::newRow("dot slash") << "./"
                               << "%1";
    QTest::newRow("relative") << ".\\receive"
                              << "%1/receive";
    QTest::newRow("relative, deeper") << ".\\in\\msg"
                                      << "%1/in/msg";
    QTest::newRow("absolute") << "/var/spool/in"
                              << "/var/spool/in";
    QTest::newRow("windows path unchanged") << "C:\\x"
                                            << "C:\\x";
    QTest::newRow("empty stays empty") << ""
                                       << "";
}

void tst_Discovery::folderRule()
{
    QFETCH(QString, value);
    QFETCH(QString, resolved);
    Sandbox box;
    QCOMPARE(ResolveHandbookFolder(value),
             resolved.contains(u'%') ? resolved.arg(box.folder()) : resolved);
}

QTEST_GUILESS_MAIN(tst_Discovery)
#include "tst_discovery.moc"
