#include "shell/ClientParts.h"

#include "core/AppContext.h"
#include "core/PickSeam.h"
#include "filesave/ReplacingFile.h"
#include "handbook/HandbookDiscovery.h"
#include "handbook/dlgPick.h"
#include "handbook/dlgPickXMLFile.h"
#include "handbook/viewer/HtmlView.h"
#include "handbook/viewer/ViewerCommands.h"
#include "handbook/viewer/ViewerFiles.h"
#include "reports/frmReport.h"
#include "revoke/RevocationDialog.h"
#include "shell/Startup.h"
#include "shell/frmMain.h"
#include "ui/QtDialogs.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStatusBar>
#include <QTimer>
#include <QTranslator>

namespace varnel {

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
        BrowseIncomingMessage(&main, [&main](QWidget* w) { return main.addChildWindow(w); });
    });
    frmMain::setCommandHandler(frmMain::Command::HandbookViewer, [](frmMain& main) {
        BrowseHandbook(&main, [&main](QWidget* w) { return main.addChildWindow(w); });
    });
    // Copies of messages a client left behind in the temporary folder go once the client runs.
    if (QCoreApplication* app = QCoreApplication::instance())
        QTimer::singleShot(0, app, [] { RemoveStaleViewerFiles(); });
}

void PrepareClientApplication()
{
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
