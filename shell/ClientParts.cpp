#include "shell/ClientParts.h"

#include "reports/frmReport.h"
#include "shell/frmMain.h"

namespace varnel {

void RegisterClientParts()
{
    // Each part adds its registration here.
    frmMain::setReportWindowFactory(frmMain::ReportKind::Ordinary,
                                    [] { return NewReportWindow(ReportKind::Deals); });
    frmMain::setReportWindowFactory(frmMain::ReportKind::Repo,
                                    [] { return NewReportWindow(ReportKind::Repo); });
}

} // namespace varnel
