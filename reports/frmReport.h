#pragma once

#include "reports/ReportEditorWindow.h"

namespace varnel {

// The report window for ordinary deals (layout deals_struct_client.xml).
class frmReport : public ReportEditorWindow {
    Q_OBJECT
public:
    explicit frmReport(QWidget* parent = nullptr) : ReportEditorWindow(ReportKind::Deals, parent) {}
};

// The report window for repo deals (layout repo_deals_struct_client.xml); its grid is the
// "REPO" grid.
class frmReportRepo : public ReportEditorWindow {
    Q_OBJECT
public:
    explicit frmReportRepo(QWidget* parent = nullptr) : ReportEditorWindow(ReportKind::Repo, parent)
    {
    }
};

// A new, unparented report window of the kind, built from its layout.
QWidget* NewReportWindow(ReportKind kind);

} // namespace varnel
