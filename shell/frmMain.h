#pragma once

#include "messages/RequestKinds.h"
#include "shell/InstanceLock.h"
#include "shell/Startup.h"

#include <QIcon>
#include <QMainWindow>
#include <QStringList>

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

// The client's multi-document frame: menus, toolbar, status bar, and the commands it carries out
// itself. Creating it runs start-up; closing it runs shutdown.
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
        SendingJournal, // mnuEDIJournal
        Reconcile,      // mnuEDIReconcile
        RevokeDeal,     // mnuRevokeDeal
        RevokeDealRepo, // mnuRevokeDealRepo
        ImportDeals,    // mnuReportImport
        ExportReport    // mnuReportExport
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
        // What the parts start once a main window has started (the journal's watch).
        CommandHandler started;
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

    // The text of status panel 1 to 4, as it was set (panel 1 shows the handbook's file name
    // of it, with this text in its tool tip).
    QString StatusInfo(int panel) const;

    // Puts a child window into the frame, shows it and makes it the active one.
    QMdiSubWindow* addChildWindow(QWidget* window);
    QMdiArea* mdiArea() const { return mdiArea_; }
    // The child window protocol of the active child window; nullptr when there is none.
    ChildWindow* activeChild() const;

    // The last numbers given to new reports of each kind.
    int newReportCount(ReportKind kind) const;
    // A new report window of the kind, numbered and shown as "Новый отчет" makes it; null when
    // it could not be built (the user has been told).
    QWidget* openNewReport(ReportKind kind);

    // The actions whose state the window sets itself, held by type: a name mistyped here
    // does not compile, where a name looked up at run time would do nothing.
    struct Actions {
        QAction* fileSave = nullptr;         // mnuFileSave
        QAction* fileSaveAs = nullptr;       // mnuFileSaveAs
        QAction* reportSave = nullptr;       // mnuReportSave
        QAction* reportSaveAs = nullptr;     // mnuReportSaveAs
        QAction* reportSend = nullptr;       // mnuReportSend
        QAction* reportExport = nullptr;     // mnuReportExport
        QAction* saveReportButton = nullptr; // the toolbar's SaveReport
        QAction* exportMenu = nullptr;       // mnuEDIExpExcel
        QAction* exportButton = nullptr;     // the toolbar's ExpExcel
        QAction* viewToolbar = nullptr;      // mnuViewToolbar
        QAction* viewStatusBar = nullptr;    // mnuViewStatusBar
    };

public slots:
    // Sets the text of a status panel (1: current handbook, 2: message language, 3: date,
    // 4: time).
    void SetStatusInfo(int panel, const QString& text);

    // Keeps the date and time panels current.
    void updateClock();

    // A toolbar button: runs the command of its key; an unknown key does nothing.
    void pressToolbarButton(const QString& key);

    void openTextDocument();
    void saveTextDocument();
    void saveTextDocumentAs();
    void setUpPrinterPage();
    void printTextDocument();
    void updateSettingsFile();
    void exitClient();

    void newDealReport();
    void newRepoReport();
    void openDealReport();
    void openRepoReport();
    void saveReport();
    void saveReportAs();
    void sendReport();
    void importDeals();
    void exportReport();
    void revokeDeals();
    void revokeRepoDeals();

    void browseHandbook();
    void findHandbook();
    void requestHandbook();
    void subscribeToHandbook();
    void unsubscribeFromHandbook();

    void browseIncomingMessages();
    void showSendingJournal();
    void reconcileWithFile();
    void exportToSpreadsheet();

    void toggleToolbar();
    // The focus on the toolbar's first button, for the keyboard.
    void focusToolbar();
    void toggleStatusBar();

    void cascadeWindows();
    void tileWindowsHorizontally();
    void tileWindowsVertically();
    void arrangeIcons();

    void editOptions();
    void showHelpContents();
    void searchHelp();
    void showAbout();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // MainWindowHost
    QWidget* boxParent() override { return this; }
    void applyPlacement(const MainPlacement& placement) override;
    MainPlacement currentPlacement() const override;
    bool isMinimizedNow() const override;
    void setTitle(const QString& title) override;
    void setStatusInfo(int panel, const QString& text) override { SetStatusInfo(panel, text); }
    void hideSpreadsheetExport() override;

    // The commands that depend on the active child window follow it: saving text with a text
    // window, saving and sending a report with a report window, the export with a viewer.
    // With no child window the save and export commands are off and sending keeps its state.
    void updateCommandStates();

    // frmMainBars.cpp
    void buildBars();
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
    // The focus back in the active child window, where it was last (its first field for a
    // report), or in the window area when there is none.
    void focusActiveChild();
    // After a command's dialogs have closed: the main window active again and the focus in a
    // window of it, unless one of its windows holds the focus already.
    void comeBack();

    QMdiArea* mdiArea_ = nullptr;
    QToolBar* tbToolBar_ = nullptr;
    QObject* toolbarKeys_ = nullptr;
    QList<QLabel*> panels_;
    QStringList statusTexts_;
    QTimer* tmClock_ = nullptr;
    QMenu* mnuWindow_ = nullptr;
    QList<QAction*> windowListActions_;
    Actions actions_;
    int newReports_ = 0;
    int newRepoReports_ = 0;
    // The placement start-up read from the store, to write back unchanged what was not moved.
    MainPlacement readPlacement_;
    InstanceLock instanceLock_;
    StartupResult startupResult_ = StartupResult::Running;
};

} // namespace varnel
