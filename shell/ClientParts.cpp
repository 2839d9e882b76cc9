#include "shell/ClientParts.h"

#include "core/PickSeam.h"
#include "handbook/HandbookDiscovery.h"
#include "handbook/dlgPick.h"
#include "handbook/dlgPickXMLFile.h"
#include "reports/frmReport.h"
#include "revoke/RevocationDialog.h"
#include "shell/Startup.h"
#include "shell/frmMain.h"

namespace varnel {

void RegisterClientParts()
{
    // Report windows of both kinds.
    frmMain::setReportWindowFactory(frmMain::ReportKind::Ordinary,
                                    [] { return NewReportWindow(ReportKind::Deals); });
    frmMain::setReportWindowFactory(frmMain::ReportKind::Repo,
                                    [] { return NewReportWindow(ReportKind::Repo); });

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
}

} // namespace varnel
