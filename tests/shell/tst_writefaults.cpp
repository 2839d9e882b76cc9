// Every write path of the client under the two faults of a disk that is full: a file-size limit,
// each in a child process that is set up by the client's own start-up function and nothing else
// (the signal the limit raises is at its default there), and a file system without a free byte
// (root only: it is a tmpfs of the test's own). The write fails with the system's reason, the
// user is told, the old file stays whole and nothing is left behind.
#include "core/AppContext.h"
#include "core/AtomicSave.h"
#include "core/ChildWindow.h"
#include "core/Error.h"
#include "core/PlacementStore.h"
#include "core/Settings.h"
#include "core/TempFiles.h"
#include "handbook/HandbookDiscovery.h"
#include "messages/SendPipeline.h"
#include "reports/window/frmReport.h"
#include "shell/ClientParts.h"
#include "tests/support/FaultInjection.h"
#include "tests/support/ScriptedDialogs.h"
#include "text/window/frmDocument.h"
#include "viewer/WorkbookPlace.h"
#include "viewer/window/ExportCommand.h"
#include "viewer/window/ViewerCommands.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <optional>

using namespace varnel;

namespace {

bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray ReadBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QByteArray Rows(int count, const QByteArray& pattern)
{
    QByteArray rows;
    for (int i = 0; i < count; ++i)
        rows += QByteArray(pattern).replace("%N", QByteArray::number(i)) + "\r\n";
    return rows;
}

} // namespace

class WriteFaultsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<testing::SmallDisk> disk_;
    QString root_;

    QString file(const QString& name) const { return root_ + u'/' + name; }
    // A program folder with its folders, the settings file and the layout.
    void makeProgramFolder(const QString& root)
    {
        root_ = root;
        SetProgramFolder(root_);
        SetSettingsFilePath(file(QStringLiteral("varnel_client.ini")));
        for (const char* sub : {"work", "send", "receive", "tmp", "docs", "store"})
            QDir(root_).mkdir(QString::fromLatin1(sub));
        PlacementStore::SetRoot(file(QStringLiteral("store")));
        SetTemporaryFolder(file(QStringLiteral("tmp")));
        SetWorkbookFolder(file(QStringLiteral("docs")));
        for (const char* name : {"deals_struct_client.xml", "varnel_client.ini"})
            QVERIFY(QFile::copy(QStringLiteral(VARNEL_PROGRAM_DIR "/") + QString::fromLatin1(name),
                                file(QString::fromLatin1(name))));
        QFile::setPermissions(file(QStringLiteral("varnel_client.ini")),
                              QFile::ReadOwner | QFile::WriteOwner);
    }
    // Every entry of the program folder's subfolders and of the temporary folder.
    QStringList leftovers() const
    {
        QStringList all;
        for (const char* sub : {"", "work", "send", "receive", "tmp", "docs"}) {
            for (const QString& name : testing::FolderEntries(file(QString::fromLatin1(sub))))
                all << QString::fromLatin1(sub) + u'/' + name;
        }
        return all;
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        SetWorkbookOpener([](const QString&) { return true; });
    }
    void cleanup()
    {
        SetWorkbookOpener(nullptr);
        SetWorkbookFolder(QString());
        SetTemporaryFolder(QString());
        PlacementStore::SetRoot(QString());
        disk_.reset();
    }

    void everyWritePath_data()
    {
        QTest::addColumn<QString>("path");
        // Bytes a file may hold (-1: the settings file's size); 0: a full disk instead.
        QTest::addColumn<qint64>("limit");
        const struct {
            const char* name;
            const char* path;
            qint64 limit;
        } paths[] = {{"report saved", "report", 16384},
                     {"request sent", "send", 64},
                     {"handbook made current", "handbook", 16384},
                     {"page exported", "export", 4096},
                     {"message copied for the viewer", "viewer", 16384},
                     {"settings written", "settings", -1},
                     {"text document saved", "text", 16384}};
        for (const auto& p : paths) {
            QTest::addRow("%s, file-size limit", p.name) << QString::fromLatin1(p.path) << p.limit;
            QTest::addRow("%s, full disk", p.name) << QString::fromLatin1(p.path) << qint64(0);
        }
    }
    void everyWritePath()
    {
        QFETCH(QString, path);
        QFETCH(qint64, limit);
        if (limit == 0) {
            // On a small file system of the test's own, which is filled up below.
            disk_ = std::make_unique<testing::SmallDisk>(4 * 1024 * 1024);
            VARNEL_REQUIRE_DISK(*disk_);
        }
        makeProgramFolder(disk_ ? disk_->path() : dir_->path());
        const QString report = file(QStringLiteral("docs/report.xml"));
        const QString text = file(QStringLiteral("docs/notes.txt"));
        const QString page = file(QStringLiteral("docs/page.htm"));
        WriteBytes(report, "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<deals "
                           "Language=\"RU\">\r\n" +
                               Rows(3000, "<deal Participant=\"MC0001\" Issue=\"SNEN-AO1\" "
                                          "Agreement=\"A-%N\" Reference=\"R-%N\" "
                                          "TradeDate=\"2024-03-15\" SettleDate=\"2024-03-15\" "
                                          "Price=\"101.5\" Qty=\"%N\" />") +
                               "</deals>\r\n");
        WriteBytes(text, Rows(3000, "line %N of the user's notes"));
        WriteBytes(page, "<html><body><table>" +
                             Rows(3000, "<tr><td>%N</td><td>code %N</td><td>name %N</td></tr>") +
                             "</table></body></html>");
        WriteBytes(file(QStringLiteral("receive/DL1A2B.msg")),
                   "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<Receipts Total=\"3000\">"
                   "\r\n" +
                       Rows(3000, "<Receipt N=\"%N\" Status=\"Accepted\" />") + "</Receipts>\r\n");
        WriteBytes(file(QStringLiteral("receive/IL20240315.msg")),
                   "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<IssueList Count=\"3000\">"
                   "\r\n" +
                       Rows(3000, "<Issue Code=\"C%N\" ShortName=\"Issue %N\" />") +
                       "</IssueList>\r\n");
        WriteSetting(QStringLiteral("Main"), QStringLiteral("Participant"),
                     QStringLiteral("MC0001"));
        WriteSetting(QStringLiteral("Path"), QStringLiteral("FolderWork"),
                     QStringLiteral(".\\work"));
        WriteSetting(QStringLiteral("Path"), QStringLiteral("FolderSend"),
                     QStringLiteral(".\\send"));
        WriteSetting(QStringLiteral("Path"), QStringLiteral("FolderReceive"),
                     QStringLiteral(".\\receive"));
        const QString settings = SettingsFilePath();
        const QStringList before = leftovers();
        const QByteArray oldSettings = ReadBytes(settings);
        const QByteArray oldReport = ReadBytes(report);
        const QByteArray oldText = ReadBytes(text);

        const std::function<QString()> write = [&]() -> QString {
            ScriptedDialogs dialogs;
            if (path == u"report") {
                std::unique_ptr<QWidget> window(NewReportWindow(ReportKind::Deals));
                ReportWindow* r = dynamic_cast<ChildWindow*>(window.get())->asReport();
                r->LoadFile(report);
                r->SaveFile();
            } else if (path == u"send") {
                dialogs.answer(Answer::Yes);
                SendRequest(QStringLiteral("GetIssueList"));
            } else if (path == u"handbook") {
                dialogs.answer(Answer::Yes);
                HandbookFindContext context;
                context.dateTimeText = [](const QDateTime& t) { return t.toString(); };
                RunFindHandbook(context);
            } else if (path == u"export") {
                const Outcome exported =
                    ExportPageToWorkbook(nullptr, page, QStringLiteral("Varnel_RECEIPTS"));
                if (exported.failed())
                    return exported.failure;
            } else if (path == u"viewer") {
                dialogs.choosePath(file(QStringLiteral("receive/DL1A2B.msg")));
                BrowseIncomingMessage(nullptr, [](QWidget*) { return nullptr; });
            } else if (path == u"settings") {
                WriteSettingOrFail(QStringLiteral("Main"), QStringLiteral("Participant"),
                                   QStringLiteral("MC0001200000"));
            } else if (path == u"text") {
                frmDocument document;
                document.LoadFile(text);
                document.SaveFile();
            }
            return dialogs.texts().join(u'|');
        };
        std::optional<QString> outcome;
        int reason = EFBIG;
        if (limit != 0) {
            outcome = testing::RunWithFileSizeLimit(limit < 0 ? oldSettings.size() : limit, write,
                                                    [] { PrepareClientApplication(); });
        } else {
            reason = ENOSPC;
            disk_->fill();
            try {
                outcome = write();
            } catch (const std::exception& e) {
                outcome = QString::fromUtf8(e.what());
            }
        }
        QVERIFY2(outcome, "the client ended at the file-size limit");
        QVERIFY2(outcome->contains(SystemErrorText(reason)), qPrintable(*outcome));
        // The viewer names the message the user chose, not its copy.
        if (path == u"viewer")
            QVERIFY2(outcome->contains(file(QStringLiteral("receive/DL1A2B.msg"))) &&
                         !outcome->contains(file(QStringLiteral("tmp"))),
                     qPrintable(*outcome));
        QCOMPARE(ReadBytes(settings), oldSettings);
        QCOMPARE(ReadBytes(report), oldReport);
        QCOMPARE(ReadBytes(text), oldText);
        QCOMPARE(leftovers(), before);
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    WriteFaultsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_writefaults.moc"
