// The main window's command surface: menu tree, toolbar, enabling timer, and the commands it
// carries out itself.
#include "core/AppContext.h"
#include "core/ChildWindow.h"
#include "core/Error.h"
#include "core/PlacementStore.h"
#include "core/Settings.h"
#include "messages/RequestData.h"
#include "shell/Startup.h"
#include "shell/frmAbout.h"
#include "shell/frmMain.h"
#include "shell/frmOptions.h"
#include "tests/support/GoldenDump.h"
#include "tests/support/MainWindowSuite.h"
#include "tests/support/ProgramFolder.h"
#include "text/window/frmDocument.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

#include <optional>

using namespace varnel;

namespace {

// An empty report grid: the row-number column only.
class EmptyGrid : public ReportTable {
public:
    explicit EmptyGrid(bool repo) : repo_(repo) {}
    int columnCount() const override { return 1; }
    QString columnDescriptor(int) const override { return QString(); }
    int rowCount() const override { return 0; }
    QString cell(int, int) const override { return QString(); }
    bool isRepo() const override { return repo_; }

private:
    bool repo_;
};

// A child window of any kind that records what the main window asks of it.
class FakeChild : public QWidget,
                  public ChildWindow,
                  public ReportWindow,
                  public TextWindow,
                  public ViewerWindow {
public:
    explicit FakeChild(const QString& kind)
        : kind_(kind), grid_(kind == QStringLiteral("frmReportRepo"))
    {
    }
    ChildKind childKind() const override
    {
        if (kind_ == QStringLiteral("frmDocument"))
            return ChildKind::TextDocument;
        if (kind_ == QStringLiteral("frmReportRepo"))
            return ChildKind::RepoReport;
        if (kind_ == QStringLiteral("frmReport"))
            return ChildKind::Report;
        if (kind_ == QStringLiteral("frmIssue"))
            return ChildKind::IssueList;
        return ChildKind::BrowseXML;
    }
    ReportWindow* asReport() override { return IsReportDocument() ? this : nullptr; }
    TextWindow* asText() override { return IsTextDocument() ? this : nullptr; }
    ViewerWindow* asViewer() override { return IsBrowseXMLDocument() ? this : nullptr; }
    bool SaveFile() override
    {
        if (failSave)
            Fail(QStringLiteral("Не удалось сохранить отчет"));
        ++saves;
        return true;
    }
    // TextWindow
    void SaveFile(const QString& path) override
    {
        if (failSave)
            Fail(QStringLiteral("Не удалось сохранить файл"));
        textSaves << path;
    }
    QString filePath() const override { return windowTitle(); }
    void Print(QPrinter&) override { ++prints; }
    bool SaveFileAs(const QString& path) override
    {
        savedAs = path;
        return true;
    }
    void LoadFile(const QString& path) override { setWindowTitle(path); }
    Outcome IsReportCorrect() const override { return Outcome::Done(); }
    const ReportTable& lvDeals() const override { return grid_; }
    bool loadFailed() const override { return failed; }
    QString fileName() const override { return windowTitle(); }
    void ExportExcel() override { ++exports; }

    bool failed = false;
    bool refuseClose = false;
    bool failSave = false;
    int saves = 0;
    int prints = 0;
    QStringList textSaves;
    int exports = 0;
    QString savedAs;

protected:
    void closeEvent(QCloseEvent* e) override { refuseClose ? e->ignore() : e->accept(); }

private:
    QString kind_;
    EmptyGrid grid_;
};

} // namespace

class MainWindowTest : public testing::MainWindowSuite {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::optional<testing::ScopedProgramSettings> program_;
    int made_[2] = {0, 0};
    bool nextFails_ = false;
    bool alwaysFail_ = false;

    QAction* act(const QString& name) const { return main_->findChild<QAction*>(name); }
    FakeChild* open(const QString& kind)
    {
        auto* child = new FakeChild(kind);
        main_->addChildWindow(child);
        return child;
    }
    // Report windows of the test's own in place of the client's parts.
    void registerFakeReports()
    {
        frmMain::setReportWindowFactory(ReportKind::Deals, [this]() -> QWidget* {
            ++made_[0];
            auto* c = new FakeChild(QStringLiteral("frmReport"));
            c->failed = std::exchange(nextFails_, false) || alwaysFail_;
            return c;
        });
        frmMain::setReportWindowFactory(ReportKind::Repo, [this]() -> QWidget* {
            ++made_[1];
            return new FakeChild(QStringLiteral("frmReportRepo"));
        });
    }
    QStringList sendFolder() const
    {
        return QDir(dir_->filePath(QStringLiteral("send"))).entryList(QDir::Files);
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        program_.emplace(dir_->path());
        QVERIFY(QFile::copy(QStringLiteral(VARNEL_TEST_DATA_DIR "/main_client.ini"),
                            dir_->filePath(QStringLiteral("varnel_client.ini"))));
        QFile(dir_->filePath(QStringLiteral("varnel_client.ini")))
            .setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        for (const char* sub : {"work", "send", "receive", "store"})
            QDir(dir_->path()).mkdir(QString::fromLatin1(sub));
        made_[0] = made_[1] = 0;
        nextFails_ = false;
        alwaysFail_ = false;
        QCOMPARE(openClient([this] { registerFakeReports(); }), StartupResult::Running);
        main_->show();
    }

    void cleanup()
    {
        closeClient();
        program_.reset();
    }

    void barsMatchTheGoldenDump()
    {
        // Captions, access keys, shortcuts, order, and what is hidden, disabled and checked at
        // start: the menu tree, the toolbar and the status bar as one golden file. The user
        // name, the date and the time vary from run to run.
        QString dump;
        for (QString line : testing::DumpWidgetTexts(*main_).split(u'\n')) {
            line.replace(user_, QStringLiteral("<user>"));
            static const QRegularExpression clock(
                QStringLiteral("(sbPanel[34] .*text=)\"[^\"]*\""));
            line.replace(clock, QStringLiteral("\\1\"<clock>\""));
            dump += line + u'\n';
        }
        dump.chop(1);
        QString message;
        if (!testing::MatchesGolden(dump, QStringLiteral(VARNEL_GOLDEN_DIR "/frmMain.txt"),
                                    &message))
            QFAIL(qPrintable(message));
    }

    void hiddenItemsKeepTheirDesignedState_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("mnuFilePageSetup") << QStringLiteral("mnuFilePageSetup") << false;
        QTest::newRow("mnuFilePrint") << QStringLiteral("mnuFilePrint") << false;
        QTest::newRow("mnuReportNewRepo") << QStringLiteral("mnuReportNewRepo") << true;
        QTest::newRow("mnuReportOpenRepo") << QStringLiteral("mnuReportOpenRepo") << true;
        QTest::newRow("mnuRevokeDealRepo") << QStringLiteral("mnuRevokeDealRepo") << true;
        QTest::newRow("mnuWindowArrangeIcons") << QStringLiteral("mnuWindowArrangeIcons") << false;
        QTest::newRow("mnuHelp") << QStringLiteral("mnuHelp") << false;
    }
    void hiddenItemsKeepTheirDesignedState()
    {
        QFETCH(QString, name);
        QFETCH(bool, enabled);
        QAction* a = act(name);
        QVERIFY(a);
        // A hidden item is out of reach (Qt disables it); shown again it has its designed state.
        QVERIFY(!a->isVisible());
        QVERIFY(!a->isEnabled());
        a->setVisible(true);
        QCOMPARE(a->isEnabled(), enabled);
    }

    void toolbarButtonsHaveIcons()
    {
        auto* bar = main_->findChild<QToolBar*>(QStringLiteral("tbToolBar"));
        QVERIFY(bar);
        QCOMPARE(bar->actions().size(), 11);
        for (QAction* a : bar->actions()) {
            QVERIFY2(!a->icon().pixmap(16).isNull() && !a->icon().pixmap(48).isNull(),
                     qPrintable(a->objectName()));
        }
        QVERIFY(!main_->windowIcon().isNull());
    }

    void hiddenShortcutsDoNotAct()
    {
        QVERIFY(QTest::qWaitForWindowActive(main_.get()));
        QTest::keyClick(main_.get(), Qt::Key_M, Qt::ControlModifier);
        QCOMPARE(made_[1], 0);
        QTest::keyClick(main_.get(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(made_[0], 1);
        // The repo button is on the toolbar although its menu item is hidden.
        act(QStringLiteral("NewRepoReport"))->trigger();
        QCOMPARE(made_[1], 1);
    }

    void enablingFollowsTheActiveChild_data()
    {
        QTest::addColumn<QString>("kind"); // empty: no child window
        QTest::addColumn<bool>("text");
        QTest::addColumn<bool>("report");
        QTest::addColumn<bool>("viewer");
        QTest::newRow("none") << QString() << false << false << false;
        QTest::newRow("text") << QStringLiteral("frmDocument") << true << false << false;
        QTest::newRow("report") << QStringLiteral("frmReport") << false << true << false;
        QTest::newRow("repo report") << QStringLiteral("frmReportRepo") << false << true << false;
        QTest::newRow("message viewer") << QStringLiteral("frmBrowseXML") << false << false << true;
        // The handbook viewer answers as a viewer, so export is offered for it too.
        QTest::newRow("handbook viewer") << QStringLiteral("frmIssue") << false << false << true;
    }
    void enablingFollowsTheActiveChild()
    {
        QFETCH(QString, kind);
        QFETCH(bool, text);
        QFETCH(bool, report);
        QFETCH(bool, viewer);
        if (!kind.isEmpty())
            open(kind);
        QCOMPARE(act(QStringLiteral("mnuFileSave"))->isEnabled(), text);
        QCOMPARE(act(QStringLiteral("mnuFileSaveAs"))->isEnabled(), text);
        for (const char* name : {"mnuReportSave", "mnuReportSaveAs", "SaveReport"})
            QCOMPARE(act(QString::fromLatin1(name))->isEnabled(), report);
        QCOMPARE(act(QStringLiteral("mnuEDIExpExcel"))->isEnabled(), viewer);
        QCOMPARE(act(QStringLiteral("ExpExcel"))->isEnabled(), viewer);
        QCOMPARE(act(QStringLiteral("mnuReportSend"))->isEnabled(), report);
    }

    void sendKeepsItsStateWhenTheLastChildCloses()
    {
        FakeChild* report = open(QStringLiteral("frmReport"));
        QVERIFY(act(QStringLiteral("mnuReportSend"))->isEnabled());
        report->parentWidget()->close();
        QVERIFY(!act(QStringLiteral("mnuReportSave"))->isEnabled());
        QVERIFY(act(QStringLiteral("mnuReportSend"))->isEnabled());
    }

    void exportStaysHiddenWithoutSpreadsheet()
    {
        main_.reset();
        {
            testing::ScopedExcelAvailable noSpreadsheet(false);
            main_ = std::make_unique<frmMain>();
        }
        QCOMPARE(main_->startupResult(), StartupResult::Running);
        open(QStringLiteral("frmBrowseXML"));
        QVERIFY(!act(QStringLiteral("mnuEDIExpExcel"))->isVisible());
        QVERIFY(!act(QStringLiteral("ExpExcel"))->isVisible());
    }

    void newReportsAreCounted()
    {
        for (int i = 0; i < 3; ++i)
            act(QStringLiteral("mnuReportNew"))->trigger();
        QCOMPARE(main_->mdiArea()->currentSubWindow()->windowTitle(),
                 QStringLiteral("[New Report 3]"));
        main_->mdiArea()->currentSubWindow()->close();
        // A window whose layout failed is never shown but takes its number.
        nextFails_ = true;
        main_->pressToolbarButton(QStringLiteral("NewReport"));
        QCOMPARE(main_->mdiArea()->subWindowList().size(), 2);
        main_->pressToolbarButton(QStringLiteral("NewReport"));
        QCOMPARE(main_->mdiArea()->currentSubWindow()->windowTitle(),
                 QStringLiteral("[New Report 5]"));
        main_->pressToolbarButton(QStringLiteral("NewRepoReport"));
        QCOMPARE(main_->mdiArea()->currentSubWindow()->windowTitle(),
                 QStringLiteral("[New Report REPO 1]"));
        main_->pressToolbarButton(QStringLiteral("NoSuchKey"));
        QCOMPARE(made_[0] + made_[1], 6);
        QVERIFY(dialogs_->shown().isEmpty());
    }

    void counterIsASixteenBitNumber()
    {
        alwaysFail_ = true;
        for (int i = 0; i < 32767; ++i)
            main_->newDealReport();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(dialogs_->shown().isEmpty());
        main_->newDealReport();
        QCOMPARE(made_[0], 32767);
        QCOMPARE(dialogs_->shown().size(), 1);
        QCOMPARE(dialogs_->last().title, QStringLiteral("Error! "));
        QCOMPARE(dialogs_->last().icon, MessageIcon::Critical);
    }

    void openReportFindsAnOpenWindow()
    {
        const QString path = dir_->filePath(QStringLiteral("r.xml"));
        dialogs_->choosePath(path);
        main_->pressToolbarButton(QStringLiteral("OpenReport"));
        QCOMPARE(dialogs_->last().title, QStringLiteral("Загрузить отчет из файла"));
        QMdiSubWindow* first = main_->mdiArea()->currentSubWindow();
        QCOMPARE(first->windowTitle(), path);
        act(QStringLiteral("mnuReportNew"))->trigger();
        dialogs_->choosePath(path);
        act(QStringLiteral("mnuReportOpen"))->trigger();
        QCOMPARE(made_[0], 2);
        QCOMPARE(main_->mdiArea()->currentSubWindow(), first);
        // The repo command does not take an ordinary window of that path.
        dialogs_->choosePath(path);
        main_->pressToolbarButton(QStringLiteral("OpenRepoReport"));
        QCOMPARE(dialogs_->last().title, QStringLiteral("Загрузить отчет РЕПО из файла"));
        QCOMPARE(made_[1], 1);
        QCOMPARE(main_->mdiArea()->subWindowList().size(), 3);
        dialogs_->cancelNext();
        act(QStringLiteral("mnuReportOpen"))->trigger();
        QCOMPARE(made_[0], 2);
        QCOMPARE(dialogs_->texts(), QStringList());
    }

    void saveReportCommands()
    {
        FakeChild* report = open(QStringLiteral("frmReport"));
        main_->pressToolbarButton(QStringLiteral("SaveReport"));
        QCOMPARE(report->saves, 1);
        const QString target = dir_->filePath(QStringLiteral("out.xml"));
        dialogs_->choosePath(target);
        main_->saveReportAs();
        QCOMPARE(report->savedAs, target);
        QCOMPARE(dialogs_->last().title, QStringLiteral("Сохранить отчет в файле"));
        QCOMPARE(QDir(dialogs_->last().directory), QDir(dir_->filePath(QStringLiteral("work"))));
        report->savedAs.clear();
        dialogs_->cancelNext();
        main_->saveReportAs();
        QVERIFY(report->savedAs.isEmpty());
        // Nothing for a viewer.
        open(QStringLiteral("frmBrowseXML"));
        main_->saveReport();
        QCOMPARE(report->saves, 1);
        main_->pressToolbarButton(QStringLiteral("ExpExcel"));
        QCOMPARE(static_cast<FakeChild*>(main_->mdiArea()->currentSubWindow()->widget())->exports,
                 1);
    }

    void sendReportByKind_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("ordinary") << QStringLiteral("frmReport") << QStringLiteral("DL");
        QTest::newRow("repo") << QStringLiteral("frmReportRepo") << QStringLiteral("DR");
    }
    void sendReportByKind()
    {
        QFETCH(QString, kind);
        QFETCH(QString, prefix);
        open(kind);
        dialogs_->answer(Answer::Yes);
        act(QStringLiteral("mnuReportSend"))->trigger();
        QCOMPARE(dialogs_->texts().value(0), QStringLiteral("Отправить данный отчет ?"));
        const QStringList sent = sendFolder();
        QCOMPARE(sent.size(), 1);
        QVERIFY2(sent.first().startsWith(prefix), qPrintable(sent.first()));
    }

    void handbookRequests_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<bool>("yes");
        for (bool yes : {true, false}) {
            const char* answer = yes ? " yes" : " no";
            QTest::addRow("request%s", answer)
                << QStringLiteral("mnuIssueListRequest") << QStringLiteral("GetIssueList")
                << QStringLiteral("GIL") << yes;
            QTest::addRow("subscribe%s", answer)
                << QStringLiteral("mnuIssueListSubscribe") << QStringLiteral("SubscribeIssueList")
                << QStringLiteral("SIL") << yes;
            QTest::addRow("unsubscribe%s", answer)
                << QStringLiteral("mnuIssueListUnsubscribe")
                << QStringLiteral("UnsubscribeIssueList") << QStringLiteral("UIL") << yes;
            QTest::addRow("button%s", answer)
                << QStringLiteral("GetIssueList") << QStringLiteral("GetIssueList")
                << QStringLiteral("GIL") << yes;
        }
    }
    void handbookRequests()
    {
        QFETCH(QString, item);
        QFETCH(QString, request);
        QFETCH(QString, prefix);
        QFETCH(bool, yes);
        dialogs_->answer(yes ? Answer::Yes : Answer::No);
        act(item)->trigger();
        QCOMPARE(dialogs_->shown().first().icon, MessageIcon::Question);
        const QStringList sent = sendFolder();
        QVERIFY(QDir(dir_->filePath(QStringLiteral("work"))).entryList(QDir::Files).isEmpty());
        if (!yes) {
            QVERIFY(sent.isEmpty());
            QCOMPARE(dialogs_->shown().size(), 1);
            return;
        }
        QCOMPARE(sent.size(), 1);
        QVERIFY(sent.first().startsWith(prefix) && sent.first().endsWith(QStringLiteral(".xml")));
        QVERIFY2(dialogs_->last().text.startsWith(QStringLiteral("Запрос ") + request +
                                                  QStringLiteral(" отправлен:")),
                 qPrintable(dialogs_->last().text));
    }

    void optionsRefreshTheLanguagePanel()
    {
        dialogs_->onModal([](QDialog& dialog) {
            auto* options = qobject_cast<frmOptions*>(&dialog);
            if (!options)
                return int(QDialog::Rejected);
            WriteSetting(QStringLiteral("Main"), QStringLiteral("Language"), QStringLiteral("EN"));
            emit options->statusInfo(1, QStringLiteral("from the dialog"));
            return int(QDialog::Accepted);
        });
        QCOMPARE(main_->StatusInfo(2), QStringLiteral("язык сообщ: RU"));
        act(QStringLiteral("mnuOptions"))->trigger();
        QCOMPARE(main_->StatusInfo(1), QStringLiteral("from the dialog"));
        QCOMPARE(main_->StatusInfo(2), QStringLiteral("язык сообщ: EN"));
    }

    void aboutAndHelp()
    {
        QString shown;
        bool owned = false;
        dialogs_->onModal([&](QDialog& dialog) {
            shown = QString::fromLatin1(dialog.metaObject()->className());
            owned = dialog.parentWidget() == main_.get();
            return int(QDialog::Accepted);
        });
        main_->showAbout();
        QCOMPARE(shown, QStringLiteral("varnel::frmAbout"));
        QVERIFY(owned);
        main_->showHelpContents();
        QCOMPARE(dialogs_->texts(),
                 QStringList{QStringLiteral("Unable to display Help Contents. There is no "
                                            "Help associated with this project.")});
        QCOMPARE(dialogs_->last().icon, MessageIcon::Information);
    }

    void statusPanelsInTheDefaultWindow()
    {
        // At the default 6500-twip width the handbook panel gives way; the short panels keep
        // their whole text and the handbook text stays whole behind its "…".
        QCoreApplication::processEvents();
        for (int panel = 2; panel <= 4; ++panel) {
            auto* label = main_->findChild<QLabel*>(QStringLiteral("sbPanel%1").arg(panel));
            QVERIFY2(label->contentsRect().width() >=
                         label->fontMetrics().horizontalAdvance(label->text()),
                     qPrintable(label->text()));
        }
        QCOMPARE(main_->StatusInfo(1), QStringLiteral("Справочник ЦБ не установлен"));
        QCOMPARE(main_->findChild<QLabel*>(QStringLiteral("sbPanel1"))->toolTip(),
                 main_->StatusInfo(1));
    }

    void viewToggles_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("bar");
        QTest::newRow("toolbar") << QStringLiteral("mnuViewToolbar") << QStringLiteral("tbToolBar");
        QTest::newRow("status bar")
            << QStringLiteral("mnuViewStatusBar") << QStringLiteral("sbStatusBar");
    }
    void viewToggles()
    {
        QFETCH(QString, item);
        QFETCH(QString, bar);
        auto* widget = main_->findChild<QWidget*>(bar);
        QVERIFY(widget->isVisible());
        act(item)->trigger();
        QVERIFY(!act(item)->isChecked());
        QVERIFY(!widget->isVisible());
        act(item)->trigger();
        QVERIFY(act(item)->isChecked());
        QVERIFY(widget->isVisible());
    }

    void tiling_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<bool>("stacked");
        QTest::newRow("horizontal: one above the other")
            << QStringLiteral("mnuWindowTileHorizontal") << true;
        QTest::newRow("vertical: side by side") << QStringLiteral("mnuWindowTileVertical") << false;
    }
    void tiling()
    {
        QFETCH(QString, item);
        QFETCH(bool, stacked);
        main_->resize(800, 600);
        open(QStringLiteral("frmDocument"));
        open(QStringLiteral("frmReport"));
        act(item)->trigger();
        const QList<QMdiSubWindow*> subs = main_->mdiArea()->subWindowList();
        const QRect a = subs.at(0)->geometry();
        const QRect b = subs.at(1)->geometry();
        const QRect area = main_->mdiArea()->viewport()->rect();
        if (stacked) {
            QCOMPARE(a.width(), area.width());
            QCOMPARE(b.top(), a.bottom() + 1);
        } else {
            QCOMPARE(a.height(), area.height());
            QCOMPARE(b.left(), a.right() + 1);
        }
    }

    void windowMenuListsTheChildWindows()
    {
        auto* menu = main_->findChild<QMenu*>(QStringLiteral("mnuWindow"));
        const auto listed = [menu] {
            QStringList out;
            for (QAction* a : menu->actions()) {
                if (a->objectName().isEmpty() && !a->isSeparator())
                    out << a->text() + (a->isChecked() ? QStringLiteral(" *") : QString());
            }
            return out;
        };
        emit menu->aboutToShow();
        QVERIFY(listed().isEmpty());

        FakeChild* first = open(QStringLiteral("frmDocument"));
        first->setWindowTitle(QStringLiteral("a&b.txt"));
        open(QStringLiteral("frmReport"))->setWindowTitle(QStringLiteral("[New Report 1]"));
        emit menu->aboutToShow();
        QCOMPARE(listed(), (QStringList{QStringLiteral("&1 a&&b.txt"),
                                        QStringLiteral("&2 [New Report 1] *")}));
        // Choosing an entry brings its window forward; an entry of a closed window does nothing.
        QAction* entry = nullptr;
        for (QAction* a : menu->actions()) {
            if (a->text().startsWith(QStringLiteral("&1 ")))
                entry = a;
        }
        QVERIFY(entry);
        entry->trigger();
        QCOMPARE(main_->mdiArea()->currentSubWindow()->widget(), first);
        first->parentWidget()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        entry->trigger();
        emit menu->aboutToShow();
        QCOMPARE(listed(), QStringList{QStringLiteral("&1 [New Report 1] *")});
    }

    void exitClosesChildrenFirst()
    {
        FakeChild* keeps = open(QStringLiteral("frmDocument"));
        keeps->refuseClose = true;
        open(QStringLiteral("frmReport"));
        act(QStringLiteral("mnuFileExit"))->trigger();
        // The changed text window kept itself open, and the frame with it.
        QVERIFY(main_->isVisible());
        QCOMPARE(
            PlacementStore::Read(kAppTitle, QStringLiteral("MainLeft"), QStringLiteral("absent")),
            QStringLiteral("absent"));
        keeps->refuseClose = false;
        act(QStringLiteral("mnuFileExit"))->trigger();
        QVERIFY(!main_->isVisible());
        QVERIFY(main_->mdiArea()->subWindowList().isEmpty());
        QVERIFY(PlacementStore::Read(kAppTitle, QStringLiteral("MainLeft"),
                                     QStringLiteral("absent")) != QStringLiteral("absent"));
    }

    void failedReportSaveIsShown_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("menu") << QStringLiteral("mnuReportSave");
        QTest::newRow("button") << QStringLiteral("SaveReport");
    }
    void failedReportSaveIsShown()
    {
        // A save that fails is never taken for a saved report: the trap shows it.
        QFETCH(QString, command);
        FakeChild* report = open(QStringLiteral("frmReport"));
        report->failSave = true;
        act(command)->trigger();
        QCOMPARE(report->saves, 0);
        QCOMPARE(dialogs_->texts(), QStringList{QStringLiteral("Не удалось сохранить отчет")});
        QCOMPARE(dialogs_->last().title, QStringLiteral("Error! "));
        QCOMPARE(dialogs_->last().icon, MessageIcon::Critical);
    }

    void textCommandsGoThroughTheProtocol()
    {
        // Any window that offers the text operations is saved and printed by the File menu.
        FakeChild* text = open(QStringLiteral("frmDocument"));
        text->setWindowTitle(dir_->filePath(QStringLiteral("t.txt")));
        act(QStringLiteral("mnuFileSave"))->trigger();
        QCOMPARE(text->textSaves, QStringList{QString()});
        const QString other = dir_->filePath(QStringLiteral("u.txt"));
        dialogs_->choosePath(other);
        act(QStringLiteral("mnuFileSaveAs"))->trigger();
        QCOMPARE(text->textSaves.value(1), other);
        QCOMPARE(dialogs_->last().title, QStringLiteral("Save As"));

        text->failSave = true;
        main_->saveTextDocument();
        QCOMPARE(dialogs_->texts(), QStringList{QStringLiteral("Не удалось сохранить файл")});
        QCOMPARE(dialogs_->last().title, QStringLiteral("Error! "));

        // Nothing for a report window.
        FakeChild* report = open(QStringLiteral("frmReport"));
        main_->saveTextDocument();
        QCOMPARE(report->saves, 0);
        QCOMPARE(text->textSaves.size(), 2);
    }

    void settingsUpdateRefreshesTheLanguagePanel()
    {
        main_.reset();
        WriteSetting(QStringLiteral("Main"), QStringLiteral("Language"), QStringLiteral("EN"));
        main_ = std::make_unique<frmMain>();
        QCOMPARE(main_->StatusInfo(2), QStringLiteral("язык сообщ: EN"));
        dialogs_->answer(Answer::Yes);
        act(QStringLiteral("mnuFileUpgrade"))->trigger();
        QCOMPARE(dialogs_->texts().value(1), QStringLiteral("Настройки актуализированы."));
        QCOMPARE(main_->StatusInfo(2), QStringLiteral("язык сообщ: RU"));
    }

    void textDocumentThroughTheFileMenu()
    {
        const QString path = dir_->filePath(QStringLiteral("note.txt"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("first line\r\n");
        f.close();
        dialogs_->choosePath(path);
        act(QStringLiteral("mnuFileOpen"))->trigger();
        auto* document = qobject_cast<frmDocument*>(main_->mdiArea()->currentSubWindow()->widget());
        QVERIFY(document);
        // The window opens with room for its text, not shrunk to its title bar.
        QVERIFY2(
            document->height() > 100 && document->width() > 200,
            qPrintable(QStringLiteral("%1x%2").arg(document->width()).arg(document->height())));
        QVERIFY(act(QStringLiteral("mnuFileSave"))->isEnabled());
        QVERIFY(!act(QStringLiteral("mnuReportSave"))->isEnabled());
        document->body()->appendPlainText(QStringLiteral("second"));

        // Closing the frame asks about the changed text; Cancel keeps both windows.
        dialogs_->answer(Answer::Cancel);
        act(QStringLiteral("mnuFileExit"))->trigger();
        QCOMPARE(dialogs_->texts().value(0),
                 QStringLiteral("Вы внесли изменения в файл. Сохранить файл ") + path +
                     QStringLiteral(" ?"));
        QVERIFY(main_->isVisible());
        QCOMPARE(main_->mdiArea()->subWindowList().size(), 1);
        dialogs_->answer(Answer::Yes);
        act(QStringLiteral("mnuFileExit"))->trigger();
        QVERIFY(!main_->isVisible());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains("second"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
