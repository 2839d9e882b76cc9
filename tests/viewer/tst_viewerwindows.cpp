// The viewer windows with the browser engine: every shipped message opened as the command
// opens it, the handbook viewer, placements per kind, the windows' texts, the export button,
// and the main window's commands reaching them.
#include "XlsxReader.h"

#include "core/AppContext.h"
#include "core/ChildWindow.h"
#include "core/PlacementStore.h"
#include "core/Settings.h"
#include "core/TempFiles.h"
#include "core/Twips.h"
#include "shell/ClientParts.h"
#include "shell/Startup.h"
#include "shell/frmMain.h"
#include "tests/support/GoldenDump.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/ShellOverrides.h"
#include "ui/WindowPlacement.h"
#include "viewer/SpreadsheetExport.h"
#include "viewer/window/HtmlView.h"
#include "viewer/window/ViewerCommands.h"
#include "viewer/window/frmBrowseXML.h"
#include "viewer/window/frmIssue.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUuid>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QtTest>

#include <csignal>
#include <sys/types.h>

using namespace varnel;

namespace {

const QString kSamples = QStringLiteral(VARNEL_SOURCE_DIR "/dist/receive/");
const QString kStylesheets = QStringLiteral(VARNEL_SOURCE_DIR "/dist/xsl/");

bool WaitForPage(BrowserWindow* window)
{
    QSignalSpy loaded(window, &BrowserWindow::pageLoaded);
    if (loaded.isEmpty() && !loaded.wait(60000))
        return false;
    return loaded.first().first().toBool();
}

} // namespace

class ViewerWindowsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
    std::unique_ptr<QMainWindow> host_;
    QMdiArea* area_ = nullptr;
    QString temp_;

    AddChildWindow adder()
    {
        return [this](QWidget* w) {
            QMdiSubWindow* sub = area_->addSubWindow(w);
            sub->setAttribute(Qt::WA_DeleteOnClose);
            w->show();
            sub->show();
            return sub;
        };
    }
    void writeSettings(const QString& extra = QString())
    {
        QFile ini(dir_->filePath(QStringLiteral("varnel_client.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QString text = QStringLiteral("[Path]\r\nFolderReceive=.\\receive\r\n");
        const char* keys[][2] = {{"SchemaDeals", "receipts"},
                                 {"SchemaRepoDeals", "repo_receipts"},
                                 {"SchemaIssueList", "issue_list"},
                                 {"SchemaIssueListSubscr", "subscribe_result"},
                                 {"SchemaDealsRevoke", "revoke_receipts"},
                                 {"SchemaRepoDealsRevoke", "repo_revoke_receipts"}};
        for (const auto& key : keys)
            text += QString::fromLatin1(key[0]) + u'=' + kStylesheets +
                    QString::fromLatin1(key[1]) + QStringLiteral(".xsl\r\n");
        text += QStringLiteral("[IssueList]\r\n") + extra;
        ini.write(text.toUtf8());
    }
    QStringList tempFiles() const { return QDir(temp_).entryList(QDir::Files | QDir::Hidden); }
    frmBrowseXML* openMessage(const QString& name)
    {
        dialogs_->choosePath(kSamples + name);
        return BrowseIncomingMessage(host_.get(), adder());
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        SetProgramFolder(dir_->path());
        temp_ = dir_->filePath(QStringLiteral("tmp"));
        for (const char* sub : {"tmp", "store", "receive", "work"})
            QDir(dir_->path()).mkdir(QString::fromLatin1(sub));
        SetTemporaryFolder(temp_);
        SetWorkbookFolder(temp_);
        PlacementStore::SetRoot(dir_->filePath(QStringLiteral("store")));
        SetPageViewPluginFolder(QStringLiteral(VARNEL_PROGRAM_DIR "/plugins"));
        SetWorkbookOpener([](const QString&) { return true; });
        writeSettings();
        dialogs_ = std::make_unique<ScriptedDialogs>();
        host_ = std::make_unique<QMainWindow>();
        area_ = new QMdiArea;
        host_->setCentralWidget(area_);
        host_->resize(1200, 900);
        host_->show();
    }
    void cleanup()
    {
        host_.reset();
        dialogs_.reset();
        SetTemporaryFolder(QString());
        SetWorkbookFolder(QString());
        SetWorkbookOpener(nullptr);
    }

    void engineIsThePlugin()
    {
        frmBrowseXML window;
        QCOMPARE(window.wbPage()->engineName(), QStringLiteral("QtWebEngine"));
        QVERIFY(IsPageViewPluginLoaded());
    }

    // Each shipped message is shown through its kind's stylesheet; its caption becomes the
    // copy's address once loaded, and closing it removes the copy.
    void shippedMessages_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("title"); // the page's own, as the shipped stylesheet gives it
        QTest::newRow("receipts") << "DL1A2B.msg"
                                  << "RECEIPTS"
                                  << "Квитанции на отчет о сделках";
        QTest::newRow("repo receipts") << "DR5B6C.msg"
                                       << "REPORECEIPTS"
                                       << "Квитанции на отчет о сделках РЕПО";
        QTest::newRow("handbook") << "ISSUELIST_20250310.msg"
                                  << "ISSUELIST"
                                  << "Справочник ценных бумаг";
        QTest::newRow("subscription") << "SIL5E6F.msg"
                                      << "SUBSCRIBERESULT"
                                      << "Подписка на справочник ценных бумаг";
        QTest::newRow("revocation") << "RD3C4D.msg"
                                    << "REVOKERECEIPTS"
                                    << "Квитанции на запрос на удаление сделок";
        QTest::newRow("repo revocation") << "RR7D8E.msg"
                                         << "REPOREVOKERECEIPTS"
                                         << "Квитанции на запрос на удаление сделок РЕПО";
    }
    void shippedMessages()
    {
        QFETCH(QString, message);
        QFETCH(QString, kind);
        QFETCH(QString, title);
        frmBrowseXML* window = openMessage(message);
        QVERIFY(window);
        const DialogRequest& request = dialogs_->shown().first();
        QCOMPARE(request.kind, DialogKind::OpenFile);
        QCOMPARE(request.title, QStringLiteral("Открыть сообщение"));
        QCOMPARE(request.directory, dir_->filePath(QStringLiteral("receive")));
        QCOMPARE(request.filter,
                 QStringLiteral("msg-files (*.msg);;xml-files (*.xml);;all files (*)"));
        QCOMPARE(window->docType(), kind);
        QVERIFY(window->IsBrowseXMLDocument() && !window->IsReportDocument());
        QVERIFY(window->asViewer());
        QVERIFY(WaitForPage(window));
        // Called by what it shows and the file the user chose, not by the copy's address.
        QCOMPARE(window->windowTitle(), title + QStringLiteral(" - ") + message);
        QVERIFY2(window->notice().isEmpty(), qPrintable(window->notice()));
        QVERIFY(QFileInfo(window->fileName()).fileName().endsWith(QStringLiteral(".XML")));
        QVERIFY(!tempFiles().isEmpty());
        QCOMPARE(dialogs_->shown().size(), 1);
        window->parentWidget()->close();
        QTRY_COMPARE(area_->subWindowList().size(), 0);
        QCOMPARE(tempFiles(), QStringList());
    }

    void commandFailures_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("text"); // empty: nothing shown
        QTest::newRow("cancelled") << QString() << QByteArray() << QString();
        QTest::newRow("wrong extension") << "a.txt" << QByteArray("<Receipts/>")
                                         << "Допустимые типы файлов-справочников инструментов: "
                                            "msg, xml, htm(l)";
        QTest::newRow("no kind") << "b.msg" << QByteArray("\x89PNG\r\n\x1a\n binary")
                                 << "не содержит сообщения одного из допустимых типов";
        QTest::newRow("htm without markers") << "c.htm" << QByteArray("<html><p>x</p></html>")
                                             << "не содержит сообщения одного из допустимых типов";
    }
    void commandFailures()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, text);
        QString path;
        if (!file.isEmpty()) {
            path = dir_->filePath(file);
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        dialogs_->choosePath(path);
        QCOMPARE(BrowseIncomingMessage(host_.get(), adder()), nullptr);
        QCOMPARE(area_->subWindowList().size(), 0);
        QCOMPARE(tempFiles(), QStringList());
        if (text.isEmpty()) {
            QCOMPARE(dialogs_->shown().size(), 1);
            return;
        }
        QCOMPARE(dialogs_->shown().size(), 2);
        QCOMPARE(dialogs_->last().icon, MessageIcon::Critical);
        QCOMPARE(dialogs_->last().title, kAppTitle);
        QVERIFY2(dialogs_->last().text.contains(text), qPrintable(dialogs_->last().text));
    }

    // The engine's process that draws the page ends (here it is killed, as the system kills a
    // process that takes too much memory): the window says why in place of the page, nothing
    // else is lost, and the page comes back on request, drawn by a new process.
    void rendererEndIsSaid()
    {
        frmBrowseXML* window = openMessage(QStringLiteral("DL1A2B.msg"));
        QVERIFY(window);
        QVERIFY(WaitForPage(window));
        const QString title = window->windowTitle();
        const qint64 pid = window->wbPage()->rendererPid();
        QVERIFY(pid > 0);
        QSignalSpy ended(window, &BrowserWindow::rendererEnded);
        QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
        QVERIFY(ended.wait(60000));
        QVERIFY2(ended.first().first().toString().contains(QStringLiteral("остановила система")),
                 qPrintable(ended.first().first().toString()));
        QVERIFY(window->rendererEndedPanel()->isVisible());
        QCOMPARE(window->windowTitle(), title);
        QVERIFY(!tempFiles().isEmpty());

        QSignalSpy loaded(window, &BrowserWindow::pageLoaded);
        window->cmdShowAgain()->click();
        QVERIFY(!window->rendererEndedPanel()->isVisible());
        QVERIFY(loaded.wait(60000));
        QVERIFY(loaded.last().first().toBool());
        QCOMPARE(window->windowTitle(), title);
        QTRY_VERIFY(window->wbPage()->rendererPid() > 0);
        QVERIFY(window->wbPage()->rendererPid() != pid);
    }

    // The text when the process ended on its own: why, and memory when that was the likely
    // cause.
    void rendererEndTexts_data()
    {
        using Kind = PageView::RendererEnd::Kind;
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<qint64>("memory");
        QTest::addColumn<QString>("says");
        QTest::addColumn<bool>("outOfMemory");
        QTest::newRow("trap of a big one")
            << int(Kind::Crashed) << 5 << (4700LL << 20)
            << "аварийно (код 5). Перед этим он занимал 4700 МБ" << true;
        QTest::newRow("crash of a small one")
            << int(Kind::Crashed) << 11 << (90LL << 20) << "занимал 90 МБ памяти." << false;
        QTest::newRow("killed, memory unknown")
            << int(Kind::Killed) << 9 << 0LL << "когда не хватает памяти." << false;
    }
    void rendererEndTexts()
    {
        QFETCH(int, kind);
        QFETCH(int, exitCode);
        QFETCH(qint64, memory);
        QFETCH(QString, says);
        QFETCH(bool, outOfMemory);
        const QString text = RendererEndText({PageView::RendererEnd::Kind(kind), exitCode, memory});
        QVERIFY2(text.contains(says), qPrintable(text));
        QCOMPARE(text.contains(QStringLiteral("не хватило памяти")), outOfMemory);
    }

    // A handbook bigger than a window of rows: shown a window at a time with the heading on
    // each, the pager saying which rows; a find over every row of the file goes to the window
    // of its row and marks it; the export writes every row.
    void handbookInWindows()
    {
        constexpr int kRows = 12345;
        const QString path = dir_->filePath(QStringLiteral("work/IL20250310.msg"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<IssueList "
                           "Language=\"RU\" Created=\"2025-03-10T18:30:00\">\r\n";
        for (int i = 1; i <= kRows; ++i)
            bytes += QStringLiteral("<Issue Code=\"I%1\" ShortName=\"Бумага %1\" Name=\"Ценная "
                                    "бумага номер %1\" ISIN=\"RU%2\" RegNum=\"1-%1-A\" />\r\n")
                         .arg(i, 5, 10, QLatin1Char('0'))
                         .arg(i, 10, 10, QLatin1Char('0'))
                         .toUtf8();
        bytes += "</IssueList>\r\n";
        f.write(bytes);
        f.close();
        dialogs_->choosePath(path);
        frmIssue* window = BrowseHandbook(host_.get(), adder());
        QVERIFY(window);
        QVERIFY(WaitForPage(window));
        QTRY_VERIFY_WITH_TIMEOUT(!window->isMakingPage(), 120000);
        QCOMPARE(window->windowCount(), 7);
        QCOMPARE(window->rowsShown()->text(), QStringLiteral("Инструменты 1–2000 из 12345"));
        const auto shownHtml = [window]() -> QString {
            auto* view = qobject_cast<QWebEngineView*>(window->wbPage()->widget());
            QString html;
            bool done = false;
            view->page()->toHtml([&](const QString& text) {
                html = text;
                done = true;
            });
            return QTest::qWaitFor([&] { return done; }, 60000) ? html : QString();
        };
        const auto turn = [&](auto step) {
            QSignalSpy loaded(window, &BrowserWindow::pageLoaded);
            step();
            return loaded.wait(60000) && loaded.last().first().toBool();
        };

        QVERIFY(
            turn([&] { window->findChild<QToolButton*>(QStringLiteral("cmdLastPage"))->click(); }));
        QCOMPARE(window->rowsShown()->text(), QStringLiteral("Инструменты 12001–12345 из 12345"));
        QCOMPARE(window->pageNumber()->value(), 7);
        QString html = shownHtml();
        QVERIFY(html.contains(QStringLiteral("Справочник ценных бумаг")));
        QVERIFY(html.contains(QStringLiteral("id=\"row-12345\"")));
        QVERIFY(!html.contains(QStringLiteral("id=\"row-12000\"")));
        QCOMPARE(window->windowTitle(), QStringLiteral("Справочник ценных бумаг - IL20250310.msg"));

        // Letter case and blanks ignored; the next match after the marked row.
        window->findText()->setText(QStringLiteral("ru 0000000 777"));
        QVERIFY(turn([&] { window->findNext(); }));
        QCOMPARE(window->markedRow(), 776);
        QCOMPARE(window->shownWindow(), 0);
        QCOMPARE(window->wbPage()->url().fragment(), QStringLiteral("row-777"));
        window->findText()->setText(QStringLiteral("I0777")); // I07770 to I07779
        QVERIFY(turn([&] { window->findNext(); }));
        QCOMPARE(window->markedRow(), 7769);
        QCOMPARE(window->shownWindow(), 3);
        QVERIFY(turn([&] { window->findNext(); }));
        QCOMPARE(window->markedRow(), 7770);
        QCOMPARE(window->wbPage()->url().fragment(), QStringLiteral("row-7771"));
        window->findText()->setText(QStringLiteral("нет такой бумаги"));
        window->findNext();
        QCOMPARE(window->findState()->text(), QStringLiteral("не найдено"));
        QCOMPARE(window->shownWindow(), 3);

        // The marked row stays in view when the window is restored from maximized and made
        // smaller: the last row, at the foot of a tall view, would end below a short one.
        auto* frame = qobject_cast<QMdiSubWindow*>(window->parentWidget());
        QVERIFY(frame);
        frame->showMaximized();
        window->findText()->setText(QStringLiteral("I12345"));
        QVERIFY(turn([&] { window->findNext(); }));
        QCOMPARE(window->markedRow(), 12344);
        auto* view = qobject_cast<QWebEngineView*>(window->wbPage()->widget());
        const auto markInView = [view]() {
            // Only once the page has the view's present height; wholly above the scroll bar (to
            // the pixel: a row's edges may fall between two).
            const QString script =
                QStringLiteral("(function () { var box = document.getElementById('row-12345')"
                               ".getBoundingClientRect(); return innerHeight === %1 && "
                               "box.top >= -1 && box.bottom <= visualViewport.height + 1; })()")
                    .arg(view->height());
            QVariant answer;
            view->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                                        [&answer](const QVariant& v) { answer = v; });
            return QTest::qWaitFor([&] { return answer.isValid(); }, 60000) && answer.toBool();
        };
        QTRY_VERIFY_WITH_TIMEOUT(markInView(), 60000);
        frame->showNormal();
        frame->resize(520, 360);
        QTRY_VERIFY_WITH_TIMEOUT(markInView(), 60000);

        QStringList opened;
        SetWorkbookOpener([&](const QString& workbook) -> bool {
            opened << workbook;
            return true;
        });
        window->cmdExportExcel()->click();
        QCOMPARE(opened.size(), 1);
        const testing::XlsxSheet sheet = testing::ReadXlsx(opened.first());
        QCOMPARE(sheet.text(QStringLiteral("A3")), QStringLiteral("1"));
        QCOMPARE(sheet.text(QStringLiteral("B12347")), QStringLiteral("I12345"));
    }

    // Opened over a maximized window while the main window is busy with a dialog, the viewer
    // is the active window once the main window is back, even when the focus goes back to the
    // window that had it; the user's own click still goes where it is made.
    void viewerOpensInFront()
    {
        auto* report = new QWidget;
        auto* field = new QLineEdit(report);
        QMdiSubWindow* reportFrame = ShowNewChildWindow(*area_, report);
        reportFrame->showMaximized();
        QVERIFY(QTest::qWaitForWindowActive(host_.get()));
        field->setFocus();

        // A progress dialog has the activation while the handbook is read.
        QDialog busy;
        busy.show();
        busy.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&busy));
        const QString current = dir_->filePath(QStringLiteral("work/ISSUELIST_20250310.msg"));
        QVERIFY(QFile::copy(kSamples + QStringLiteral("ISSUELIST_20250310.msg"), current));
        dialogs_->choosePath(current);
        frmIssue* window = BrowseHandbook(
            host_.get(), [this](QWidget* w) { return ShowNewChildWindow(*area_, w); });
        QVERIFY(window);
        QMdiSubWindow* frame = qobject_cast<QMdiSubWindow*>(window->parentWidget());
        busy.close();
        host_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(host_.get()));
        // The focus comes back to where it was before the dialog.
        field->setFocus();
        QTRY_COMPARE(area_->activeSubWindow(), frame);
        QVERIFY(frame->isMaximized());
        QVERIFY(WaitForPage(window));
        QCOMPARE(area_->activeSubWindow(), frame);

        QTest::mouseClick(field, Qt::LeftButton);
        area_->setActiveSubWindow(reportFrame);
        QCoreApplication::processEvents();
        QCOMPARE(area_->activeSubWindow(), reportFrame);
    }

    // A message the loading rule refuses: the failure in a box, and the window stays with the
    // failure on its page.
    void refusedMessageKeepsItsWindow()
    {
        const QString path = dir_->filePath(QStringLiteral("dtd.msg"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("ENVELOPE\r\n<?xml version=\"1.0\"?>\r\n<!DOCTYPE Receipts [<!ENTITY e "
                "\"x\">]>\r\n<Receipts/>");
        f.close();
        dialogs_->choosePath(path);
        frmBrowseXML* window = BrowseIncomingMessage(host_.get(), adder());
        QVERIFY(window);
        // The page is made beside the window: the refusal comes when its making ends, told about
        // the file the user chose, not about the viewer's copy of it.
        QTRY_COMPARE(dialogs_->shown().size(), 2);
        QCOMPARE(dialogs_->last().text,
                 QStringLiteral("Ошибка загрузки файла ") + path +
                     QStringLiteral(": \r\nDTD is prohibited.\r\nСтрока: 3, поз: 1"));
        QCOMPARE(dialogs_->last().icon, MessageIcon::Critical);
        QVERIFY(!window->isMakingPage());
        QVERIFY(window->notice().contains(QStringLiteral("DTD is prohibited.")));
    }

    // Each kind keeps its own placement; a maximised record maximises; a minimised window
    // writes nothing on closing.
    void placements()
    {
        const QString receipts = kAppTitle + QStringLiteral("brwRECEIPTS");
        PlacementStore::Write(receipts, QStringLiteral("MainLeft"), QStringLiteral("1500"));
        PlacementStore::Write(receipts, QStringLiteral("MainTop"), QStringLiteral("300"));
        PlacementStore::Write(receipts, QStringLiteral("MainWidth"), QStringLiteral("9000"));
        PlacementStore::Write(receipts, QStringLiteral("MainHeight"), QStringLiteral("6000"));
        frmBrowseXML* window = openMessage(QStringLiteral("DL1A2B.msg"));
        QVERIFY(window);
        const double dpi = window->logicalDpiX();
        QMdiSubWindow* sub = qobject_cast<QMdiSubWindow*>(window->parentWidget());
        QCOMPARE(sub->geometry(), QRect(TwipsToPixels(1500, dpi), TwipsToPixels(300, dpi),
                                        TwipsToPixels(9000, dpi), TwipsToPixels(6000, dpi)));
        // The page keeps 20 twips to every edge of the window.
        const QRect page = window->wbPage()->widget()->geometry();
        QCOMPARE(page.topLeft(), QPoint(TwipsToPixels(20, dpi), TwipsToPixels(20, dpi)));
        QVERIFY(window->cmdExportExcel()->geometry().intersects(page));

        // Another kind has a record of its own, empty yet: the window opens whole in the frame,
        // with room for a page of a wide table.
        frmBrowseXML* other = openMessage(QStringLiteral("RD3C4D.msg"));
        QMdiSubWindow* otherSub = qobject_cast<QMdiSubWindow*>(other->parentWidget());
        QVERIFY(otherSub->mdiArea()->viewport()->rect().contains(otherSub->geometry()));
        QVERIFY(otherSub->width() > TwipsToPixels(6500, dpi));
        QVERIFY(otherSub->height() > TwipsToPixels(6500, dpi));

        sub->setGeometry(30, 45, 600, 450);
        sub->close();
        QCOMPARE(PlacementStore::Read(receipts, QStringLiteral("Maximized"), {}),
                 QStringLiteral("0"));
        QCOMPARE(PlacementStore::Read(receipts, QStringLiteral("MainLeft"), {}),
                 SingleToText(PixelsToTwips(30, dpi)));
        QCOMPARE(PlacementStore::Read(receipts, QStringLiteral("MainWidth"), {}),
                 SingleToText(PixelsToTwips(600, dpi)));

        otherSub->showMinimized();
        otherSub->close();
        const QString revoke = kAppTitle + QStringLiteral("brwREVOKERECEIPTS");
        QCOMPARE(PlacementStore::Read(revoke, QStringLiteral("MainLeft"), QStringLiteral("none")),
                 QStringLiteral("none"));

        PlacementStore::Write(receipts, QStringLiteral("Maximized"), QStringLiteral("1"));
        frmBrowseXML* maximised = openMessage(QStringLiteral("DL1A2B.msg"));
        QVERIFY(maximised->parentWidget()->isMaximized());
    }

    void handbookViewer()
    {
        const QString current = dir_->filePath(QStringLiteral("work/ISSUELIST_20250310.msg"));
        QVERIFY(QFile::copy(kSamples + QStringLiteral("ISSUELIST_20250310.msg"), current));
        writeSettings(QStringLiteral("CurrentHandbookPath=") + current + QStringLiteral("\r\n"));
        dialogs_->choosePath(current);
        frmIssue* window = BrowseHandbook(host_.get(), adder());
        QVERIFY(window);
        const DialogRequest& request = dialogs_->shown().first();
        QCOMPARE(request.title, QStringLiteral("Открыть справочник инструментов"));
        QCOMPARE(request.directory, current);
        QVERIFY(!window->loadFailed());
        QCOMPARE(window->lblLoadFail()->text(), QString());
        QVERIFY(window->IsBrowseXMLDocument());
        QCOMPARE(window->childKind(), ChildKind::IssueList);
        QVERIFY(window->fileName() != current); // a copy with the stylesheet attached
        QVERIFY(WaitForPage(window));
        QCOMPARE(window->windowTitle(),
                 QStringLiteral("Справочник ценных бумаг - ISSUELIST_20250310.msg"));

        // The export button: the workbook starts with the table, its heading cut.
        QStringList opened;
        SetWorkbookOpener([&](const QString& path) -> bool {
            opened << path;
            return true;
        });
        window->cmdExportExcel()->click();
        QCOMPARE(opened.size(), 1);
        const testing::XlsxSheet sheet = testing::ReadXlsx(opened.first());
        QCOMPARE(sheet.text(QStringLiteral("A1")), QStringLiteral("№"));
        QCOMPARE(sheet.text(QStringLiteral("B1")), QStringLiteral("Инструмент"));
        QCOMPARE(sheet.text(QStringLiteral("B2")), QStringLiteral("Код"));
        QCOMPARE(sheet.text(QStringLiteral("B3")), QStringLiteral("AEIDP"));
        QCOMPARE(sheet.text(QStringLiteral("A302")), QStringLiteral("300"));
        QVERIFY(sheet.merges.contains(QStringLiteral("B1:D1")));

        window->parentWidget()->close();
        const QString record = kAppTitle + QStringLiteral("_IssueList");
        QCOMPARE(PlacementStore::Read(record, QStringLiteral("Maximized"), {}),
                 QStringLiteral("0"));
    }

    void handbookFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("direct");
        QTest::newRow("htm as it is")
            << "page.htm" << QByteArray("<html><body><p>x</p></body></html>") << true << true;
        QTest::newRow("own stylesheet")
            << "own.xml"
            << QByteArray("<?xml version=\"1.0\"?>\n<?xml-stylesheet type=\"text/xsl\" "
                          "href=\"missing.xsl\"?>\n<IssueList Count=\"0\"></IssueList>")
            << true << true;
        QTest::newRow("not a handbook")
            << "r.msg" << QByteArray("<?xml version=\"1.0\"?><Receipts/>") << false << false;
        QTest::newRow("wrong extension")
            << "h.txt" << QByteArray("<?xml?><IssueList/>") << false << false;
    }
    void handbookFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(bool, shown);
        QFETCH(bool, direct);
        const QString path = dir_->filePath(name);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        dialogs_->choosePath(path);
        frmIssue* window = BrowseHandbook(host_.get(), adder());
        QCOMPARE(window != nullptr, shown);
        const QString record = kAppTitle + QStringLiteral("_IssueList");
        if (!shown) {
            QCOMPARE(dialogs_->shown().size(), 2);
            QCOMPARE(dialogs_->last().icon, MessageIcon::Critical);
            QCOMPARE(area_->subWindowList().size(), 0);
            QCOMPARE(tempFiles(), QStringList());
            // A window whose loading failed writes no placement.
            QCOMPARE(
                PlacementStore::Read(record, QStringLiteral("Maximized"), QStringLiteral("none")),
                QStringLiteral("none"));
            return;
        }
        QCOMPARE(window->fileName() == path, direct);
        QVERIFY(WaitForPage(window));
        if (name.endsWith(QStringLiteral(".htm")))
            QCOMPARE(window->pageFile(), path);
        else
            QVERIFY(window->notice().contains(QStringLiteral("missing.xsl")));
    }

    // A page shows no file of the disk but itself: a picture from another folder is not
    // loaded, and the page cannot be taken to a file of another folder.
    void pageKeepsToItsFolder()
    {
        QTemporaryDir elsewhere;
        QImage image(3, 2, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(elsewhere.filePath(QStringLiteral("out.png"))));
        const QString secret = elsewhere.filePath(QStringLiteral("secret.htm"));
        QFile(secret).open(QIODevice::WriteOnly);
        const QString page = dir_->filePath(QStringLiteral("page.htm"));
        QFile f(page);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<html><body><img id=\"out\" src=\"" +
                QUrl::fromLocalFile(elsewhere.filePath(QStringLiteral("out.png"))).toEncoded() +
                "\"></body></html>");
        f.close();
        dialogs_->choosePath(page);
        frmIssue* window = BrowseHandbook(host_.get(), adder());
        QVERIFY(window);
        QVERIFY(WaitForPage(window));
        auto* view = qobject_cast<QWebEngineView*>(window->wbPage()->widget());
        QVERIFY(view);
        QVariant width;
        view->page()->runJavaScript(QStringLiteral("document.getElementById('out').naturalWidth"),
                                    QWebEngineScript::ApplicationWorld,
                                    [&width](const QVariant& v) { width = v; });
        QTRY_VERIFY_WITH_TIMEOUT(width.isValid(), 60000);
        QCOMPARE(width.toInt(), 0);

        QSignalSpy loaded(window, &BrowserWindow::pageLoaded);
        view->load(QUrl::fromLocalFile(secret));
        QVERIFY(loaded.wait(60000));
        QCOMPARE(loaded.first().first().toBool(), false);
        QCOMPARE(view->url(), QUrl::fromLocalFile(page));
    }

    void handbookCancelled()
    {
        dialogs_->cancelNext();
        QCOMPARE(BrowseHandbook(host_.get(), adder()), nullptr);
        QCOMPARE(dialogs_->shown().size(), 1);
    }

    // The windows as they are made, with their design captions.
    void windowTexts()
    {
        frmBrowseXML message;
        VARNEL_COMPARE_GOLDEN(message, QStringLiteral(VARNEL_GOLDEN_DIR "/frmBrowseXML.txt"));
        frmIssue handbook;
        VARNEL_COMPARE_GOLDEN(handbook, QStringLiteral(VARNEL_GOLDEN_DIR "/frmIssue.txt"));
    }

    // The main window's commands open the viewers and export the active one.
    void mainWindowCommands()
    {
        host_.reset();
        const QString user =
            QStringLiteral("tst-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
        {
            testing::ScopedLoginName login(user);
            testing::ScopedMainRegistry registry;
            RegisterClientParts();
            frmMain main;
            QCOMPARE(main.startupResult(), StartupResult::Running);
            main.show();
            dialogs_->choosePath(kSamples + QStringLiteral("DL1A2B.msg"));
            main.browseIncomingMessages();
            ChildWindow* child = main.activeChild();
            QVERIFY(child && child->IsBrowseXMLDocument());
            QVERIFY(main.findChild<QAction*>(QStringLiteral("mnuEDIExpExcel"))->isEnabled());
            auto* viewer = dynamic_cast<BrowserWindow*>(child);
            QVERIFY(viewer);
            QTRY_VERIFY(!viewer->isMakingPage());
            QStringList opened;
            SetWorkbookOpener([&](const QString& path) -> bool {
                opened << path;
                return true;
            });
            main.exportToSpreadsheet();
            QCOMPARE(opened.size(), 1);
            QVERIFY(QFileInfo(opened.first())
                        .fileName()
                        .startsWith(QStringLiteral("Varnel_RECEIPTS_")));

            dialogs_->choosePath(kSamples + QStringLiteral("ISSUELIST_20250310.msg"));
            main.pressToolbarButton(QStringLiteral("IssueList"));
            QCOMPARE(main.activeChild()->asViewer() != nullptr, true);
            QCOMPARE(main.mdiArea()->subWindowList().size(), 2);
            main.close();
        }
        QCOMPARE(tempFiles().filter(QStringLiteral(".XML")), QStringList());
    }
};

int main(int argc, char** argv)
{
    // The browser engine shares its drawing contexts with Qt, as in the client.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ViewerWindowsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_viewerwindows.moc"
