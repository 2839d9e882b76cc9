#include "reports/window/frmReport.h"

namespace varnel {

QWidget* NewReportWindow(ReportKind kind)
{
    if (kind == ReportKind::Repo)
        return new frmReportRepo;
    return new frmReport;
}

} // namespace varnel
