#pragma once

#include "messages/RequestKinds.h"
#include "shell/InstanceLock.h"
#include "shell/Startup.h"

#include <QHash>
#include <QIcon>
#include <QMainWindow>

#include <functional>
#include <map>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTimer;
class QToolBar;

namespace varnel {

class ChildWindow;
class ReportWindow;

// The client's multi-document frame: menus, toolbar, status bar, the enabling timer, and the
// commands it carries out itself. Creating it runs start-up; closing it runs shutdown.
//
// frmMain.cpp holds the frame, start-up and shutdown and the child windows; frmMainBars.cpp
// builds the menu bar, the toolbar and the status bar from one table of items;
// frmMainCommands.cpp carries out the commands.
class frmMain : public QMainWindow, private MainWindowHost {
    Q_OBJECT

public:
    // Commands whose windows and dialogs live in other parts of the client; they register
    // their handler here before the main window is used.
    enum class Command {
        HandbookViewer, // mnuIssueListBrowse, button IssueList
        HandbookFind,   // mnuIssueListFind
        IncomingViewer, // mnuEDIBrowseIn, button BrowseXML
        RevokeDeal,     // mnuRevokeDeal
        RevokeDealRepo  // mnuRevokeDealRepo
    };

    // Makes a new, unparented report window; the widget implements ChildWindow and has been
    // built from its layout (ReportWindow::loadFailed() tells whether that failed).
    using WindowFactory = std::function<QWidget*()>;
    using CommandHandler = std::function<void(frmMain& main)>;

    static void setReportWindowFactory(ReportKind kind, WindowFactory factory);
    static void setCommandHandler(Command command, CommandHandler handler);

    // Every registration of the process at once. The program fills it through the two
    // functions above (RegisterClientParts); the tests' guard keeps it and puts it back.
    struct Registry {
        WindowFactory ordinary;
        WindowFactory repo;
        std::map<Command, CommandHandler> handlers;
    };
    static Registry& registry();

    // The program icon (the main window's, and the application's for every other window).
    static QIcon ApplicationIcon();

    // Runs start-up: the settings file is then the one in the program folder (tests point
    // the program folder at a temporary one).
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // How start-up ended; Refused means the window was closed and must not be shown.
    StartupResult startupResult() const { return startupResult_; }
    bool startupRefused() const { return startupResult_ == StartupResult::Refused; }

    // The text of status panel 1 to 4.
    QString StatusInfo(int panel) const;

    // Puts a child window into the frame, shows it and makes it the active one.
    QMdiSubWindow* addChildWindow(QWidget* window);
    QMdiArea* mdiArea() const { return mdiArea_; }
    // The child window protocol of the active child window; nullptr when there is none.
    ChildWindow* activeChild() const;

    // The last numbers given to new reports of each kind.
    int newReportCount(ReportKind kind) const;

public slots:
    // Sets the text of a status panel (1: current handbook, 2: message language, 3: date,
    // 4: time).
    void SetStatusInfo(int panel, const QString& text);

    // Enabling timer: asks the active child window what it is.
    void Timer1_Timer();
    // Keeps the date and time panels current.
    void UpdateClock();

    // A toolbar button: runs the command of its key; an unknown key does nothing.
    void tbToolBar_ButtonClick(const QString& key);

    void mnuFileOpen_Click();
    void mnuFileSave_Click();
    void mnuFileSaveAs_Click();
    void mnuFilePageSetup_Click();
    void mnuFilePrint_Click();
    void mnuFileUpgrade_Click();
    void mnuFileExit_Click();

    void mnuReportNew_Click();
    void mnuReportNewRepo_Click();
    void mnuReportOpen_Click();
    void mnuReportOpenRepo_Click();
    void mnuReportSave_Click();
    void mnuReportSaveAs_Click();
    void mnuReportSend_Click();
    void mnuRevokeDeal_Click();
    void mnuRevokeDealRepo_Click();

    void mnuIssueListBrowse_Click();
    void mnuIssueListFind_Click();
    void mnuIssueListRequest_Click();
    void mnuIssueListSubscribe_Click();
    void mnuIssueListUnsubscribe_Click();

    void mnuEDIBrowseIn_Click();
    void mnuEDIExpExcel_Click();

    void mnuViewToolbar_Click();
    void mnuViewStatusBar_Click();

    void mnuWindowCascade_Click();
    void mnuWindowTileHorizontal_Click();
    void mnuWindowTileVertical_Click();
    void mnuWindowArrangeIcons_Click();

    void mnuOptions_Click();
    void mnuHelpContents_Click();
    void mnuHelpSearchForHelpOn_Click();
    void mnuHelpAbout_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // MainWindowHost
    QWidget* boxParent() override { return this; }
    void applyPlacement(const MainPlacement& placement) override;
    MainPlacement currentPlacement() const override;
    bool isMinimizedNow() const override;
    void setTitle(const QString& title) override;
    void setStatusInfo(int panel, const QString& text) override { SetStatusInfo(panel, text); }
    void hideSpreadsheetExport() override;

    // frmMainBars.cpp
    void buildBars();
    QAction* action(const QString& name) const;
    // The size the window opens with when no placement is stored: its whole menu bar and room
    // for a text window below the bars.
    QSize firstRunSize() const;

    void newReport(ReportKind kind);
    // A new report window of the kind, built from its layout; null when it failed to build.
    QWidget* makeReportWindow(ReportKind kind);
    void openReport(ReportKind kind);
    // The report operations of the active child window; null when it is no report window.
    ReportWindow* activeReport() const;
    void runHandler(Command command);

    QMdiArea* mdiArea_ = nullptr;
    QToolBar* tbToolBar_ = nullptr;
    QList<QLabel*> panels_;
    QTimer* Timer1_ = nullptr;
    QTimer* tmClock_ = nullptr;
    QMenu* mnuWindow_ = nullptr;
    QList<QAction*> windowListActions_;
    QHash<QString, QAction*> actions_;
    int newReports_ = 0;
    int newRepoReports_ = 0;
    // The placement start-up read from the store, to write back unchanged what was not moved.
    MainPlacement readPlacement_;
    InstanceLock instanceLock_;
    StartupResult startupResult_ = StartupResult::Running;
};

} // namespace varnel
