#include "shell/ClientParts.h"

#include "reports/frmReport.h"
#include "revoke/RevocationDialog.h"
#include "shell/frmMain.h"

namespace varnel {

void RegisterClientParts()
{
    frmMain::setReportWindowFactory(frmMain::ReportKind::Ordinary,
                                    [] { return NewReportWindow(ReportKind::Deals); });
    frmMain::setReportWindowFactory(frmMain::ReportKind::Repo,
                                    [] { return NewReportWindow(ReportKind::Repo); });
    frmMain::setCommandHandler(frmMain::Command::RevokeDeal,
                               [](frmMain& main) { dlgRevokeDeal::Run(&main); });
    frmMain::setCommandHandler(frmMain::Command::RevokeDealRepo,
                               [](frmMain& main) { dlgRevokeDealRepo::Run(&main); });
}

} // namespace varnel
