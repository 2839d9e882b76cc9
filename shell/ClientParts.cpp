#include "shell/ClientParts.h"

#include "core/AppContext.h"
#include "core/NumberLocale.h"
#include "core/PickSeam.h"
#include "filesave/ReplacingFile.h"
#include "handbook/HandbookDiscovery.h"
#include "handbook/window/dlgPick.h"
#include "handbook/window/dlgPickXMLFile.h"
#include "journal/Journal.h"
#include "journal/window/frmJournal.h"
#include "reconcile/window/frmReconcile.h"
#include "reports/ReportFile.h"
#include "reports/ReportModel.h"
#include "reports/window/ReportEditorWindow.h"
#include "reports/window/frmReport.h"
#include "revoke/window/RevocationDialog.h"
#include "shell/MdiWindows.h"
#include "shell/Startup.h"
#include "shell/frmMain.h"
#include "ui/QtDialogs.h"
#include "viewer/ViewerFiles.h"
#include "viewer/window/HtmlView.h"
#include "viewer/window/ViewerCommands.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStatusBar>
#include <QTimer>
#include <QTranslator>

#include <functional>
#include <utility>

namespace varnel {
namespace {

// Runs a work once the window has painted for the first time, so that what the start adds
// (the sending journal's first round, the tidying of the temporary folder) never holds up the
// first sight of the window. A window shown but not painted in time (one started minimized) gets
// it all the same.
class AfterFirstPaint : public QObject {
public:
    AfterFirstPaint(QWidget& window, std::function<void()> work)
        : QObject(&window), window_(window), work_(std::move(work))
    {
        window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &window_) {
            // The paint of the whole window ends before a timer of no delay runs.
            if (event->type() == QEvent::Paint)
                QTimer::singleShot(0, this, [this] { run(); });
            else if (event->type() == QEvent::Show)
                QTimer::singleShot(kLatestMs, this, [this] { run(); });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    static constexpr int kLatestMs = 2000;

    void run()
    {
        if (!work_)
            return;
        window_.removeEventFilter(this);
        const std::function<void()> work = std::exchange(work_, nullptr);
        deleteLater();
        work();
    }

    QWidget& window_;
    std::function<void()> work_;
};

journal::Journal* journalOf(frmMain& main)
{
    return main.findChild<journal::Journal*>();
}

// A new report window of the kind holding the deals given as field cells, the first chosen and
// shown, so that "изменить" has one at once.
void openInNewReport(frmMain& main, ReportKind kind, const QList<QStringList>& deals)
{
    auto* report = qobject_cast<ReportEditorWindow*>(main.openNewReport(kind));
    if (!report)
        return;
    report->document().appendDeals(deals);
    if (report->document().rowCount() > 0) {
        report->selectRow(0);
        report->showDealOfRow(0);
    }
}

// "Сверка с файлом": the window of the reconciliation (the one already open comes to the
// front) asks for the file at once.
void reconcileWithFile(frmMain& main)
{
    // The journal takes in the answers that have come, beside the window ("Сверить снова"
    // shows what they said).
    if (journal::Journal* journal = journalOf(main))
        journal->sync();
    frmReconcile* window = nullptr;
    if (QMdiSubWindow* open = FindSubWindow(*main.mdiArea(), [](QMdiSubWindow* sub) {
            return qobject_cast<frmReconcile*>(sub->widget()) != nullptr;
        })) {
        BringToFront(*main.mdiArea(), open);
        window = qobject_cast<frmReconcile*>(open->widget());
    } else {
        frmReconcile::Actions actions;
        actions.send = [&main](ReportKind kind, const QList<QStringList>& deals) {
            openInNewReport(main, kind, deals);
        };
        window = new frmReconcile(std::move(actions));
        main.addChildWindow(window);
        window->restorePlacement();
    }
    window->chooseFile();
}

// The sending journal's window, over the main window's journal; the one already open comes
// to the front.
void showSendingJournal(frmMain& main)
{
    journal::Journal* journal = journalOf(main);
    if (!journal)
        return;
    if (QMdiSubWindow* open = FindSubWindow(*main.mdiArea(), [](QMdiSubWindow* sub) {
            return qobject_cast<frmJournal*>(sub->widget()) != nullptr;
        })) {
        BringToFront(*main.mdiArea(), open);
        qobject_cast<frmJournal*>(open->widget())->showNewest();
        journal->sync();
        return;
    }
    frmJournal::Actions actions;
    actions.correct = [&main](ReportKind kind, const QList<journal::Attributes>& deals) {
        auto* report = qobject_cast<ReportEditorWindow*>(main.openNewReport(kind));
        if (!report)
            return;
        report->document().appendDeals(ReportFieldsOf(deals, report->model().columns()));
        // The first deal chosen and shown, so that "изменить" has one at once.
        if (report->document().rowCount() > 0) {
            report->selectRow(0);
            report->showDealOfRow(0);
        }
    };
    actions.revoke = [&main](bool repo, const QList<QStringList>& rows) {
        if (repo)
            dlgRevokeDealRepo::Run(&main, rows);
        else
            dlgRevokeDeal::Run(&main, rows);
    };
    actions.openAnswer = [&main](const QString& path) {
        BrowseMessageFile(&main, path, [&main](QWidget* w) { return main.addChildWindow(w); });
    };
    actions.reconcile = [&main] { reconcileWithFile(main); };
    auto* window = new frmJournal(*journal, std::move(actions));
    main.addChildWindow(window);
    window->restorePlacement();
    window->showNewest();
    journal->sync();
}

} // namespace

void RegisterClientParts()
{
    // Report windows of both kinds.
    frmMain::setReportWindowFactory(ReportKind::Deals,
                                    [] { return NewReportWindow(ReportKind::Deals); });
    frmMain::setReportWindowFactory(ReportKind::Repo,
                                    [] { return NewReportWindow(ReportKind::Repo); });

    // Deals from a table file into a report, and a report out as a table.
    frmMain::setCommandHandler(frmMain::Command::ImportDeals, [](frmMain& main) {
        RunImportDealsCommand(&main, main.activeChild(),
                              [&main](ReportKind kind) { return main.openNewReport(kind); });
    });
    frmMain::setCommandHandler(frmMain::Command::ExportReport, [](frmMain& main) {
        RunExportReportCommand(&main, main.activeChild());
    });

    // The revocation dialogs.
    frmMain::setCommandHandler(frmMain::Command::RevokeDeal,
                               [](frmMain& main) { dlgRevokeDeal::Run(&main); });
    frmMain::setCommandHandler(frmMain::Command::RevokeDealRepo,
                               [](frmMain& main) { dlgRevokeDealRepo::Run(&main); });

    // Handbook: finding the current handbook, and the two pick lists of the report editors.
    frmMain::setCommandHandler(frmMain::Command::HandbookFind, [](frmMain& main) {
        HandbookFindContext context;
        context.parent = &main;
        context.dateTimeText = GeneralDateTimeText;
        context.currentHandbookChanged = [&main] { main.SetStatusInfo(1, HandbookStatusText()); };
        RunFindHandbook(context);
    });
    SetPickFunction(PickList::Handbook, &dlgPickXMLFile::Pick);
    SetPickFunction(PickList::Fixed, &dlgPick::Pick);
    // Where the viewers' browser engine cannot be loaded, the main window's status bar says so
    // once.
    SetPageViewFallbackNotice([](const QString& text) {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* main = qobject_cast<frmMain*>(top))
                main->statusBar()->showMessage(text, 30000);
        }
    });
    // Incoming message viewer and handbook viewer.
    frmMain::setCommandHandler(frmMain::Command::IncomingViewer, [](frmMain& main) {
        // Answers are taken into the sending journal whenever the user looks for them.
        if (journal::Journal* journal = journalOf(main))
            journal->sync();
        BrowseIncomingMessage(&main, [&main](QWidget* w) { return main.addChildWindow(w); });
    });
    // The sending journal: it follows every request placed and every answer that comes for as
    // long as the main window runs, and says in its status bar when it cannot be written.
    // It follows the requests from the start; its watch and first round wait until the window
    // has painted, as does the removal of the copies of messages a client left behind in the
    // temporary folder.
    frmMain::registry().started = [](frmMain& main) {
        auto* journal = new journal::Journal(&main);
        QObject::connect(journal, &journal::Journal::notice, &main, [&main](const QString& text) {
            main.statusBar()->showMessage(text, 30000);
        });
        journal->followRequests();
        new AfterFirstPaint(main, [journal] {
            journal->start();
            RemoveStaleViewerFiles();
        });
    };
    frmMain::setCommandHandler(frmMain::Command::SendingJournal, showSendingJournal);
    frmMain::setCommandHandler(frmMain::Command::Reconcile, reconcileWithFile);
    frmMain::setCommandHandler(frmMain::Command::HandbookViewer, [](frmMain& main) {
        BrowseHandbook(&main, [&main](QWidget* w) { return main.addChildWindow(w); });
    });
}

void PrepareClientApplication()
{
    // The application object has just taken the C locale from the environment: numbers in files
    // keep "." on a Russian desktop too.
    UseCNumbers();
    // A save beyond a file-size limit fails and is reported like a full disk, instead of the
    // limit's signal ending the client with its unsaved windows.
    filesave::IgnoreFileSizeSignal();
    QApplication::setApplicationName(kAppTitle);
    QApplication::setApplicationVersion(VersionString());
    QApplication::setWindowIcon(frmMain::ApplicationIcon());
    InstallQtDialogs();

    // The client speaks Russian, and so do Qt's own buttons and file dialogs ("Да", "Нет",
    // "Отмена" under a Russian question). Without the translations they stay English.
    auto* qtTexts = new QTranslator(qApp);
    if (qtTexts->load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(qtTexts);
}

} // namespace varnel
