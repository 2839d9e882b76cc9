#include "TestSupport.h"

#include "core/AppContext.h"
#include "core/Settings.h"
#include "filesave/ReplacingFile.h"
#include "messages/DocumentWriters.h"
#include "messages/SendPipeline.h"
#include "messages/SendPipelineTesting.h"
#include "messages/SimpleData.h"
#include "tests/support/FaultInjection.h"
#include "tests/support/MessagesOverrides.h"
#include "tests/support/ScriptedDialogs.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

#include <sys/stat.h>

using namespace varnel;
using namespace varnel::test;

namespace {

const QString kBreak = QStringLiteral("\r\n");

SimpleReportTable sampleReport(int rows, bool repo = false)
{
    SimpleReportTable t({QStringLiteral("name="), QStringLiteral("name=DealNum;type=C"),
                         QStringLiteral("name=TradeDate;type=D"),
                         QStringLiteral("name=Price;type=N;empty=0"),
                         QStringLiteral("name=Note;type=C")},
                        repo);
    for (int r = 0; r < rows; ++r)
        t.addRow({QString::number(r + 1), QStringLiteral("D-%1").arg(r), "05.03.2016", "101,25",
                  QStringLiteral("Сделка № %1 & <примечание>").arg(r)});
    return t;
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// Switches the fault plan off when a test ends, however it ends.
struct FaultsOff {
    ~FaultsOff() { filesave::testing::SetFaultPlan({}); }
};

dev_t deviceOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_dev : dev_t(-1);
}

} // namespace

class SendPipelineTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir root_;
    QTemporaryDir scratch_;
    QString work_;
    QString send_;
    QString cwd_;
    QString oldCwd_;
    std::unique_ptr<QTemporaryDir> shm_;
    std::optional<ScopedProgramSettings> program_;
    std::optional<testing::ScopedSendStageHook> stageHook_;
    std::optional<testing::ScopedCrossDeviceMove> crossDevice_;

    void settings(const QString& work, const QString& send)
    {
        useSettings(root_.path(), {QStringLiteral("[Main]"), QStringLiteral("Language=RU"),
                                   QStringLiteral("[Path]"), QStringLiteral("FolderWork=") + work,
                                   QStringLiteral("FolderSend=") + send});
    }

    static void resetFolder(const QString& path)
    {
        QDir(path).removeRecursively();
        QFile::remove(path);
        QVERIFY(QDir().mkpath(path));
    }

    // A send folder on another file system than the work folder, when the machine has one.
    QString otherFileSystemFolder()
    {
        if (!shm_) {
            if (!QFileInfo(QStringLiteral("/dev/shm")).isDir())
                return QString();
            shm_ = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/varnel-XXXXXX"));
        }
        if (!shm_->isValid() || deviceOf(shm_->path()) == deviceOf(work_))
            return QString();
        return shm_->path();
    }

    // The question and what followed it.
    static void verifyQuestion(const ScriptedDialogs& d, const QString& question)
    {
        QVERIFY(!d.shown().isEmpty());
        const DialogRequest& q = d.shown().first();
        QCOMPARE(q.text, question);
        QCOMPARE(q.icon, MessageIcon::Question);
        QCOMPARE(q.buttons, MessageButtons::YesNo);
        QCOMPARE(q.title, kAppTitle);
    }

    static void verifyCritical(const DialogRequest& r, const QString& text)
    {
        QCOMPARE(r.icon, MessageIcon::Critical);
        QCOMPARE(r.buttons, MessageButtons::Ok);
        QCOMPARE(r.title, kAppTitle);
        QCOMPARE(r.text, text);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(root_.isValid());
        program_.emplace(root_.path());
        work_ = root_.filePath(QStringLiteral("work"));
        send_ = root_.filePath(QStringLiteral("send"));
        cwd_ = root_.filePath(QStringLiteral("cwd"));
        oldCwd_ = QDir::currentPath();
        SetUserName(QStringLiteral("tester"));
        xmlInitParser();
    }

    void cleanupTestCase() { program_.reset(); }

    void init()
    {
        resetFolder(work_);
        resetFolder(send_);
        resetFolder(cwd_);
        QDir::setCurrent(cwd_); // where a name without folder would land
        settings(QStringLiteral(".\\work"), QStringLiteral(".\\send"));
        stageHook_.reset();
        crossDevice_.reset();
    }

    void cleanup()
    {
        stageHook_.reset();
        crossDevice_.reset();
        QDir::setCurrent(oldCwd_);
    }

    // Each kind: its question, its prefix, the document, and the notice naming the target.
    void kinds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("get") << "GetIssueList"
                             << "Отправить запрос на получение справочника ценных бумаг ?"
                             << "GIL";
        QTest::newRow("subscribe") << "SubscribeIssueList"
                                   << "Отправить запрос на подписку на автоматическое получение "
                                      "справочника ценных бумаг ?"
                                   << "SIL";
        QTest::newRow("unsubscribe") << "UnsubscribeIssueList"
                                     << "Отправить запрос на отказ от подписки на автоматическое "
                                        "получение справочника ценных бумаг ?"
                                     << "UIL";
        QTest::newRow("deals") << "Deals"
                               << "Отправить данный отчет ?"
                               << "DL";
        QTest::newRow("repo deals") << "RepoDeals"
                                    << "Отправить данный отчет ?"
                                    << "DR";
        QTest::newRow("revoke") << "RevokeDeals"
                                << "Отправить запрос на удаление указанных сделок ?"
                                << "RD";
        QTest::newRow("repo revoke") << "RepoRevokeDeals"
                                     << "Отправить запрос на удаление указанных сделок РЕПО ?"
                                     << "RR";
    }

    void kinds()
    {
        QFETCH(QString, name);
        QFETCH(QString, question);
        QFETCH(QString, prefix);
        const SimpleReportTable report = sampleReport(3, name == u"RepoDeals");
        SimpleRevocationList revocation(QStringLiteral("Full"));
        revocation.addRow({"1", "A", "R", "P", "Reason"});
        const RequestData data{&report, &revocation};

        ScriptedDialogs d;
        d.answer(Answer::Yes);
        SendRequest(name, data);

        verifyQuestion(d, question);
        QCOMPARE(d.shown().size(), 2);
        const QStringList sent = entries(send_);
        QCOMPARE(sent.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^") + prefix +
                                    QStringLiteral("[0-9A-F]{1,4}\\.xml$"))
                     .match(sent.first())
                     .hasMatch(),
                 qPrintable(sent.first()));
        const QString target = send_ + u'/' + sent.first();
        const DialogRequest& notice = d.shown().at(1);
        QCOMPARE(notice.text, QStringLiteral("Запрос ") + name + QStringLiteral(" отправлен:") +
                                  kBreak + target);
        QCOMPARE(notice.icon, MessageIcon::None);
        QCOMPARE(notice.buttons, MessageButtons::Ok);
        QCOMPARE(notice.title, kAppTitle);
        QVERIFY(entries(work_).isEmpty());
        QVERIFY(entries(cwd_).isEmpty());

        const QString reference = scratch_.filePath(QStringLiteral("reference.xml"));
        WriteRequestXml(name, reference, data);
        QCOMPARE(ReadBytes(target), ReadBytes(reference));
    }

    void refusedNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("lower case") << "deals";
        QTest::newRow("upper case") << "GETISSUELIST";
        QTest::newRow("trailing blank") << "RevokeDeals ";
        QTest::newRow("unknown") << "Quotes";
        QTest::newRow("empty") << "";
    }

    void refusedNames()
    {
        QFETCH(QString, name);
        // No question: the one box shown is the refusal (a question would show first, and an
        // answer queued for it would fail the test at the refusal's OK box).
        ScriptedDialogs d;
        SendRequest(name);
        QCOMPARE(d.shown().size(), 1);
        verifyCritical(d.last(), QStringLiteral("Отправка запроса ") + name +
                                     QStringLiteral(" не поддерживается данной версией программы"));
        QVERIFY(entries(work_).isEmpty());
        QVERIFY(entries(send_).isEmpty());
    }

    void answerOtherThanYes_data()
    {
        QTest::addColumn<bool>("answerNo");
        QTest::newRow("no") << true;
        QTest::newRow("box closed") << false;
    }

    void answerOtherThanYes()
    {
        QFETCH(bool, answerNo);
        ScriptedDialogs d;
        if (answerNo)
            d.answer(Answer::No);
        SendRequest(QStringLiteral("GetIssueList"));
        QCOMPARE(d.shown().size(), 1);
        QVERIFY(entries(work_).isEmpty());
        QVERIFY(entries(send_).isEmpty());
    }

    void folderChecks_data()
    {
        QTest::addColumn<QString>("work");
        QTest::addColumn<QString>("send");
        QTest::addColumn<QString>("message"); // "@" stands for the folder of the tests
        QTest::newRow("work empty") << ""
                                    << ".\\send"
                                    << "Отсутствует настройка рабочего каталога";
        QTest::newRow("work blanks, send missing") << "   "
                                                   << "./nothing"
                                                   << "Отсутствует настройка рабочего каталога";
        QTest::newRow("work missing") << "./nowork"
                                      << ".\\send"
                                      << "Рабочий каталог не существует: \r\n@/nowork";
        QTest::newRow("work absolute missing")
            << "@/gone/deeper"
            << "./send"
            << "Рабочий каталог не существует: \r\n@/gone/deeper";
        QTest::newRow("work is a file") << "./varnel_client.ini"
                                        << "./send"
                                        << "Рабочий каталог не существует: \r\n@/varnel_client.ini";
        QTest::newRow("send empty") << "./work"
                                    << ""
                                    << "Отсутствует настройка каталога отправки";
        QTest::newRow("send missing") << "./work"
                                      << " ./nosend "
                                      << "Каталог отправки не существует: \r\n@/nosend";
        QTest::newRow("send is a file")
            << "./work"
            << "@/varnel_client.ini"
            << "Каталог отправки не существует: \r\n@/varnel_client.ini";
        // Only blanks are trimmed: a no-break space is a (wrong) folder, not a missing setting.
        QTest::newRow("send a no-break space")
            << "./work" << QStringLiteral("\u00A0")
            << QStringLiteral("Каталог отправки не существует: \r\n\u00A0");
        QTest::newRow("windows path") << "./work"
                                      << "C:\\out"
                                      << "Каталог отправки не существует: \r\nC:\\out";
    }

    void folderChecks()
    {
        QFETCH(QString, work);
        QFETCH(QString, send);
        QFETCH(QString, message);
        settings(QString(), QString());
        // Written through the settings file's own encoding, as the options dialog writes them.
        WriteSetting(QStringLiteral("Path"), QStringLiteral("FolderWork"),
                     work.replace(u'@', root_.path()));
        WriteSetting(QStringLiteral("Path"), QStringLiteral("FolderSend"),
                     send.replace(u'@', root_.path()));
        ScriptedDialogs d;
        d.answer(Answer::Yes);
        SendRequest(QStringLiteral("GetIssueList"));
        QCOMPARE(d.shown().size(), 2);
        verifyCritical(d.last(), message.replace(u'@', root_.path()));
        QVERIFY(entries(work_).isEmpty());
        QVERIFY(entries(send_).isEmpty());
        QVERIFY(entries(cwd_).isEmpty());
    }

    void folderForms_data()
    {
        QTest::addColumn<QString>("work");
        QTest::addColumn<QString>("send");
        QTest::newRow("backslash") << ".\\work"
                                   << ".\\send";
        QTest::newRow("slash") << "./work"
                               << "./send";
        QTest::newRow("absolute, blanks around") << " @/work "
                                                 << "@/send/";
        QTest::newRow("program folder as work folder") << "."
                                                       << "./send";
        QTest::newRow("program folder, backslash") << ".\\"
                                                   << "./send";
    }

    void folderForms()
    {
        QFETCH(QString, work);
        QFETCH(QString, send);
        settings(work.replace(u'@', root_.path()), send.replace(u'@', root_.path()));
        ScriptedDialogs d;
        d.answer(Answer::Yes);
        SendRequest(QStringLiteral("GetIssueList"));
        QCOMPARE(entries(send_).size(), 1);
        QVERIFY(entries(work_).isEmpty());
        QCOMPARE(QDir(root_.path()).entryList(QDir::Files), QStringList{"varnel_client.ini"});
        QVERIFY2(d.last().text.endsWith(QStringLiteral("/send/") + entries(send_).first()),
                 qPrintable(d.last().text));
        QVERIFY(!d.last().text.contains(QStringLiteral("//")));
    }

    // One folder for work and sending: the request still appears there only when complete.
    void workFolderIsSendFolder()
    {
        settings(QStringLiteral("./send"), send_);
        QString written;
        stageHook_.emplace([&](testing::SendStage s, const QString& file) {
            if (s == testing::SendStage::BeforeMove)
                written = QFileInfo(file).fileName();
        });
        ScriptedDialogs d;
        d.answer(Answer::Yes);
        SendRequest(QStringLiteral("GetIssueList"));
        QVERIFY2(written.startsWith(u'.') && !written.endsWith(QStringLiteral(".xml")),
                 qPrintable(written));
        const QStringList sent = entries(send_);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(d.last().text, QStringLiteral("Запрос GetIssueList отправлен:") + kBreak + send_ +
                                    u'/' + sent.first());
        QVERIFY(parseDocument(send_ + u'/' + sent.first()));
    }

    // A file of the request's name arrives in the send folder before the move: it is kept, and
    // the request stays in the work folder, complete.
    void collision_data()
    {
        QTest::addColumn<bool>("crossDevice");
        QTest::newRow("same file system") << false;
        QTest::newRow("across file systems") << true;
    }

    void collision()
    {
        QFETCH(bool, crossDevice);
        crossDevice_.emplace(crossDevice);
        QString waiting;
        stageHook_.emplace([&](testing::SendStage s, const QString& file) {
            if (s == testing::SendStage::BeforeMove) {
                waiting = send_ + u'/' + QFileInfo(file).fileName();
                WriteBytes(waiting, "waiting request");
            }
        });
        ScriptedDialogs d;
        d.answer(Answer::Yes);
        SendRequest(QStringLiteral("GetIssueList"));

        QVERIFY(!waiting.isEmpty());
        const QString workFile = work_ + u'/' + QFileInfo(waiting).fileName();
        QCOMPARE(d.shown().size(), 2);
        verifyCritical(d.last(),
                       QStringLiteral("Не удалось переместить запрос в каталог отправки: в нем уже "
                                      "есть файл ") +
                           waiting + kBreak +
                           QStringLiteral("Запрос остался в рабочем каталоге: ") + workFile);
        QCOMPARE(ReadBytes(waiting), QByteArray("waiting request"));
        QCOMPARE(entries(send_), QStringList{QFileInfo(waiting).fileName()});
        QCOMPARE(entries(work_), QStringList{QFileInfo(workFile).fileName()});
        QVERIFY(parseDocument(workFile));
    }

    // A name still waiting in the send folder is passed over: the request takes the next free
    // one and is placed, the waiting request is kept. While the request is written its name is
    // held in the work folder (its ".tmp"), so that another client or command-line program on
    // the same folder cannot pick it; nothing of it is left once the request has gone.
    void nameWaitingInSendFolder()
    {
        ScriptedDialogs d;
        d.answer(Answer::Yes);
        SendRequest(QStringLiteral("GetIssueList"));
        QCOMPARE(entries(send_).size(), 1);
        const QString sent = entries(send_).first();
        uint next = (sent.mid(3, sent.size() - 7).toUInt(nullptr, 16) + 1) & 0xFFFF;
        if (next == 0)
            next = 1;
        const QString name =
            QStringLiteral("GIL") + QString::number(next, 16).toUpper() + QStringLiteral(".xml");
        const QString waiting = send_ + u'/' + name;
        QVERIFY(WriteBytes(waiting, "waiting"));

        QString written;
        bool held = false;
        stageHook_.emplace([&](testing::SendStage s, const QString& file) {
            if (s == testing::SendStage::BeforeMove) {
                written = QFileInfo(file).fileName();
                held = QFileInfo::exists(work_ + u'/' + QFileInfo(file).completeBaseName() +
                                         QStringLiteral(".tmp"));
            }
        });
        d.clear();
        d.answer(Answer::Yes);
        d.answer(Answer::Ok);
        SendRequest(QStringLiteral("GetIssueList"));
        QVERIFY(!written.isEmpty() && written != name);
        QVERIFY(held);
        QCOMPARE(d.shown().size(), 2);
        QCOMPARE(d.last().icon, MessageIcon::None); // sent
        QCOMPARE(ReadBytes(waiting), QByteArray("waiting"));
        QCOMPARE(entries(send_).size(), 3);
        QVERIFY(parseDocument(send_ + u'/' + written));
        QCOMPARE(entries(work_), QStringList());
    }

    void crossDevice_data()
    {
        QTest::addColumn<bool>("forced");
        QTest::addColumn<bool>("choppyWrites");
        QTest::newRow("rename refused with EXDEV") << true << false;
        QTest::newRow("... copy written in short, interrupted pieces") << true << true;
        QTest::newRow("send folder on another file system") << false << false;
    }

    void crossDevice()
    {
        QFETCH(bool, forced);
        QFETCH(bool, choppyWrites);
        const FaultsOff faultsOff;
        QString send = send_;
        if (choppyWrites) {
            stageHook_.emplace([](testing::SendStage s, const QString&) {
                if (s != testing::SendStage::BeforeMove)
                    return;
                filesave::testing::FaultPlan plan;
                plan.maxBytesPerWrite = 1000;
                plan.interruptWrites = true;
                filesave::testing::SetFaultPlan(plan);
            });
        }
        if (forced) {
            crossDevice_.emplace(true);
        } else {
            send = otherFileSystemFolder();
            if (send.isEmpty())
                QSKIP("no second file system at hand");
            resetFolder(send);
        }
        settings(work_, send);
        const SimpleReportTable report = sampleReport(2000);
        ScriptedDialogs d;
        d.answer(Answer::Yes);
        SendRequest(QStringLiteral("Deals"), {&report, nullptr});

        const QStringList sent = entries(send);
        QCOMPARE(sent.size(), 1); // no copy left under a hidden name
        QVERIFY(sent.first().endsWith(QStringLiteral(".xml")));
        QCOMPARE(d.last().text,
                 QStringLiteral("Запрос Deals отправлен:") + kBreak + send + u'/' + sent.first());
        QVERIFY(entries(work_).isEmpty());
        const QString reference = scratch_.filePath(QStringLiteral("reference.xml"));
        WriteDealsXml(reference, report);
        QCOMPARE(ReadBytes(send + u'/' + sent.first()), ReadBytes(reference));
    }

    // A step of the move that fails is a failed send, shown with the system's reason: the
    // request stays whole in the work folder and nothing of it is left in the send folder,
    // not even a hidden part of its copy.
    void failedMoveKeepsTheRequest_data()
    {
        QTest::addColumn<bool>("crossDevice");
        QTest::addColumn<QString>("step");
        QTest::addColumn<int>("error");
        QTest::newRow("copy cannot be made") << true << "create" << int(EDQUOT);
        QTest::newRow("request cannot be read") << true << "read" << int(EIO);
        QTest::newRow("copy fails after 1000 bytes") << true << "write" << int(ENOSPC);
        QTest::newRow("copy cannot be synced") << true << "sync" << int(EIO);
        QTest::newRow("copy cannot be closed") << true << "close" << int(EIO);
        QTest::newRow("copy cannot be renamed into place") << true << "rename" << int(EIO);
        QTest::newRow("request cannot be removed from the work folder")
            << true << "remove" << int(EROFS);
        QTest::newRow("rename on one file system") << false << "rename" << int(EIO);
    }

    void failedMoveKeepsTheRequest()
    {
        QFETCH(bool, crossDevice);
        QFETCH(QString, step);
        QFETCH(int, error);
        const FaultsOff faultsOff;
        crossDevice_.emplace(crossDevice);
        filesave::testing::FaultPlan plan;
        if (step == u"create")
            plan.createError = error;
        else if (step == u"read")
            plan.readError = error;
        else if (step == u"write")
            plan.failWriteAfter = 1000;
        else if (step == u"sync")
            plan.syncError = error;
        else if (step == u"close")
            plan.closeError = error;
        else if (step == u"rename")
            plan.renameError = error;
        else if (step == u"remove")
            plan.removeError = error;
        QString request;
        QByteArray written;
        // The request itself is written without faults; they begin with its move.
        stageHook_.emplace([&](testing::SendStage s, const QString& file) {
            if (s != testing::SendStage::BeforeMove)
                return;
            request = file;
            written = ReadBytes(file);
            filesave::testing::SetFaultPlan(plan);
        });
        const SimpleReportTable report = sampleReport(200);
        ScriptedDialogs d;
        d.answer(Answer::Yes);
        SendRequest(QStringLiteral("Deals"), {&report, nullptr});

        QVERIFY(!request.isEmpty());
        QVERIFY(written.size() > 1000);
        const QString name = QFileInfo(request).fileName();
        QCOMPARE(d.shown().size(), 2);
        verifyCritical(d.last(), QStringLiteral("Не удалось переместить файл ") + request +
                                     QStringLiteral(" в ") + send_ + u'/' + name +
                                     QStringLiteral(":") + kBreak + qt_error_string(error));
        QCOMPARE(entries(work_), QStringList{name});
        QCOMPARE(ReadBytes(request), written);
        QCOMPARE(varnel::testing::FolderEntries(send_), QStringList());
    }

    // Folders that cannot be written, even by root.
    void unwritableFolder_data()
    {
        QTest::addColumn<QString>("work");
        QTest::addColumn<QString>("send");
        QTest::addColumn<QString>("messageStart");
        QTest::newRow("work") << "/proc"
                              << "@/send"
                              << "Не удалось создать файл запроса в рабочем каталоге: \r\n/proc";
        QTest::newRow("send") << "@/work"
                              << "/proc"
                              << "Не удалось переместить файл @/work/GIL";
    }

    void unwritableFolder()
    {
        QFETCH(QString, work);
        QFETCH(QString, send);
        QFETCH(QString, messageStart);
        if (!QFileInfo(QStringLiteral("/proc/self")).isDir())
            QSKIP("no /proc here");
        settings(work.replace(u'@', root_.path()), send.replace(u'@', root_.path()));
        messageStart.replace(u'@', root_.path());
        ScriptedDialogs d;
        d.answer(Answer::Yes);
        SendRequest(QStringLiteral("GetIssueList"));
        QCOMPARE(d.shown().size(), 2);
        QCOMPARE(d.last().icon, MessageIcon::Critical);
        QVERIFY2(d.last().text.startsWith(messageStart), qPrintable(d.last().text));
        QVERIFY(entries(send_).isEmpty());
        QVERIFY(entries(cwd_).isEmpty()); // no request made up in the current folder
        // A request that could not be moved stays in the work folder.
        QCOMPARE(entries(work_).size(), send == u"/proc" ? 1 : 0);
    }

    // Folders removed or replaced by a file after they were checked.
    void vanishingFolder_data()
    {
        QTest::addColumn<int>("stage");
        QTest::addColumn<bool>("workFolder");
        QTest::addColumn<bool>("replaceByFile");
        QTest::addColumn<QString>("messageStart");
        const int checked = int(testing::SendStage::FoldersChecked);
        const int named = int(testing::SendStage::WorkFileNamed);
        const int written = int(testing::SendStage::BeforeMove);
        QTest::newRow("work before naming")
            << checked << true << false << "Не удалось создать файл запроса в рабочем каталоге: ";
        QTest::newRow("work before writing")
            << named << true << false << "Не удалось создать файл @/work/GIL";
        QTest::newRow("work is a file before writing")
            << named << true << true << "Не удалось создать файл @/work/GIL";
        QTest::newRow("send before moving")
            << written << false << false << "Не удалось переместить файл @/work/GIL";
        QTest::newRow("send is a file before moving")
            << written << false << true << "Не удалось переместить файл @/work/GIL";
    }

    void vanishingFolder()
    {
        QFETCH(int, stage);
        QFETCH(bool, workFolder);
        QFETCH(bool, replaceByFile);
        QFETCH(QString, messageStart);
        messageStart.replace(u'@', root_.path());
        const QString folder = workFolder ? work_ : send_;
        stageHook_.emplace([&](testing::SendStage s, const QString&) {
            if (int(s) != stage)
                return;
            QDir(folder).removeRecursively();
            if (replaceByFile)
                WriteBytes(folder, "not a folder");
        });
        ScriptedDialogs d;
        d.answer(Answer::Yes);
        SendRequest(QStringLiteral("GetIssueList"));
        QCOMPARE(d.shown().size(), 2);
        QCOMPARE(d.last().icon, MessageIcon::Critical);
        QVERIFY2(d.last().text.startsWith(messageStart), qPrintable(d.last().text));
        if (QFileInfo(send_).isDir())
            QVERIFY(entries(send_).isEmpty());
        QVERIFY(entries(cwd_).isEmpty());
        if (!workFolder) // written, but not moved: it waits in the work folder
            QCOMPARE(entries(work_).size(), 1);
    }

    void badDateIsShown()
    {
        SimpleReportTable report = sampleReport(2);
        report.addRow({"3", "D-3", "31.04.2016"});
        ScriptedDialogs d;
        d.answer(Answer::Yes);
        SendRequest(QStringLiteral("Deals"), {&report, nullptr});
        QCOMPARE(d.shown().size(), 2);
        verifyCritical(d.last(), QStringLiteral("(C10) Недопустимый формат даты: 31.04.2016"));
        QVERIFY(entries(send_).isEmpty());
        QVERIFY(entries(work_).isEmpty());
    }

    // A request that cannot be written whole, or not synced to disk, is a failed send: it is
    // shown with the system's reason, and neither the work folder nor the send folder keeps
    // anything of it.
    void failedWriteLeavesNothingBehind_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("error");
        QTest::newRow("write fails after 1000 bytes") << "write" << ENOSPC;
        QTest::newRow("fsync fails") << "fsync" << EIO;
        QTest::newRow("file-size limit 1000") << "limit" << EFBIG;
        QTest::newRow("full disk") << "disk" << ENOSPC;
    }

    void failedWriteLeavesNothingBehind()
    {
        QFETCH(QString, fault);
        QFETCH(int, error);
        std::unique_ptr<varnel::testing::SmallDisk> disk;
        QString work = work_;
        if (fault == u"disk") {
            disk = std::make_unique<varnel::testing::SmallDisk>(64 * 1024);
            VARNEL_REQUIRE_DISK(*disk);
            work = disk->path();
            settings(work, QStringLiteral(".\\send"));
            disk->fill();
        }
        const SimpleReportTable report = sampleReport(40);
        const auto send = [&] {
            ScriptedDialogs d;
            d.answer(Answer::Yes);
            SendRequest(QStringLiteral("Deals"), {&report, nullptr});
            return d.shown().size() == 2 && d.last().icon == MessageIcon::Critical
                       ? d.last().text
                       : QStringLiteral("no failure shown");
        };
        QString shown;
        if (fault == u"limit") {
            const auto child = varnel::testing::RunWithFileSizeLimit(1000, send);
            QVERIFY(child);
            shown = *child;
        } else {
            filesave::testing::FaultPlan plan;
            if (fault == u"write")
                plan.failWriteAfter = 1000;
            if (fault == u"fsync")
                plan.syncError = EIO;
            filesave::testing::SetFaultPlan(plan);
            shown = send();
            filesave::testing::SetFaultPlan({});
        }
        const QRegularExpression expected(
            QStringLiteral("^Не удалось записать файл ") +
            QRegularExpression::escape(work + QStringLiteral("/DL")) +
            QStringLiteral("[0-9A-F]{1,4}\\.xml:\r\n") +
            QRegularExpression::escape(filesave::ErrorDescription(error)) + u'$');
        QVERIFY2(expected.match(shown).hasMatch(), qPrintable(shown));
        QCOMPARE(varnel::testing::FolderEntries(work), QStringList());
        QVERIFY(entries(send_).isEmpty());
        QVERIFY(entries(cwd_).isEmpty());
    }

    void workFileName_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("two letters") << "DL"
                                     << "xml"
                                     << "DL[0-9A-F]{1,4}\\.xml";
        QTest::newRow("long prefix") << "ABCDEF"
                                     << ".xml"
                                     << "ABC[0-9A-F]{1,4}\\.xml";
        QTest::newRow("other extension") << "GIL"
                                         << "html"
                                         << "GIL[0-9A-F]{1,4}\\.html";
    }

    void workFileName()
    {
        QFETCH(QString, prefix);
        QFETCH(QString, extension);
        QFETCH(QString, pattern);
        const QRegularExpression re(QStringLiteral("^") + QRegularExpression::escape(work_) + u'/' +
                                    pattern + u'$');
        QSet<QString> names;
        for (int i = 0; i < 300; ++i) {
            const QString name = MakeWorkFileName(prefix, work_, extension);
            QVERIFY2(re.match(name).hasMatch(), qPrintable(name));
            QVERIFY(!QFileInfo::exists(name));
            QVERIFY(WriteBytes(name, "taken"));
            names.insert(name);
        }
        QCOMPARE(names.size(), 300);
        QCOMPARE(entries(work_).size(), 300); // no .tmp left behind
    }

    // Every name but one is taken with the final extension: that one is found.
    void workFileNameSkipsTakenNames()
    {
        const QString free = QStringLiteral("ABC1F2E.xml");
        for (int n = 1; n <= 0xFFFF; ++n) {
            const QString name =
                QStringLiteral("ABC") + QString::number(n, 16).toUpper() + QStringLiteral(".xml");
            if (name != free) {
                QFile f(work_ + u'/' + name);
                QVERIFY(f.open(QIODevice::WriteOnly));
            }
        }
        QCOMPARE(MakeWorkFileName(QStringLiteral("ABC"), work_, QStringLiteral("xml")),
                 work_ + u'/' + free);
        QVERIFY(!QFileInfo::exists(work_ + QStringLiteral("/ABC1F2E.tmp")));
        QVERIFY(!QFileInfo::exists(work_ + QStringLiteral("/ABC0.xml")));
        QDir(work_).removeRecursively();
    }

    // A folder that cannot be written: the user name and the seconds since midnight, no folder.
    void workFileNameFallback()
    {
        const QString name =
            MakeWorkFileName(QStringLiteral("GIL"), QStringLiteral("/proc"), QStringLiteral("xml"));
        QVERIFY2(
            QRegularExpression(QStringLiteral("^tester_[0-9]{1,5}\\.xml$")).match(name).hasMatch(),
            qPrintable(name));
        QVERIFY(entries(cwd_).isEmpty());
    }

    // A second thread lists the send folder all the time while requests are sent: every .xml
    // file it ever sees is a complete document.
    void watcher_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("same file system") << 0;
        QTest::newRow("rename refused with EXDEV") << 1;
        QTest::newRow("send folder on another file system") << 2;
    }

    void watcher()
    {
        QFETCH(int, mode);
        QString send = send_;
        if (mode == 1)
            crossDevice_.emplace(true);
        if (mode == 2) {
            send = otherFileSystemFolder();
            if (send.isEmpty())
                QSKIP("no second file system at hand");
            resetFolder(send);
        }
        settings(work_, send);
        const SimpleReportTable report = sampleReport(200);

        std::atomic<bool> stop{false};
        std::mutex lock;
        QStringList broken;
        QSet<QString> seen;
        auto look = [&] {
            for (const QString& name : QDir(send).entryList(QDir::Files | QDir::Hidden)) {
                if (!name.endsWith(QStringLiteral(".xml")) || seen.contains(name))
                    continue;
                seen.insert(name);
                if (!parseDocument(send + u'/' + name)) {
                    std::lock_guard<std::mutex> g(lock);
                    broken.append(name);
                }
            }
        };
        std::thread watcher([&] {
            while (!stop.load())
                look();
        });

        ScriptedDialogs d;
        constexpr int kRequests = 200;
        for (int i = 0; i < kRequests; ++i) {
            d.answer(Answer::Yes);
            SendRequest(QStringLiteral("Deals"), {&report, nullptr});
        }
        stop = true;
        watcher.join();
        look();

        QCOMPARE(broken, QStringList());
        QCOMPARE(seen.size(), kRequests);
        QCOMPARE(entries(send).size(), kRequests);
        QVERIFY(entries(work_).isEmpty());
        int notices = 0;
        for (const DialogRequest& r : d.shown())
            notices += r.text.startsWith(QStringLiteral("Запрос Deals отправлен:")) ? 1 : 0;
        QCOMPARE(notices, kRequests);
    }
};

QTEST_MAIN(SendPipelineTest)
#include "tst_sendpipeline.moc"
