#pragma once

#include "reports/window/ReportEditorWindow.h"

#include <functional>

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

// "Импорт сделок из файла...": into the active report window, or, with none, into a new report
// of the kind the user chooses (openReport opens it: the main window's new report, null when it
// could not be built). The file is asked for first; the window reports the import.
void RunImportDealsCommand(QWidget* parent, ChildWindow* active,
                           const std::function<QWidget*(ReportKind)>& openReport);
// "Экспорт отчета в таблицу": the active report as a workbook (.xlsx) or a CSV file, the format
// by the name the user gives (a name of neither gets ".xlsx").
void RunExportReportCommand(QWidget* parent, ChildWindow* active);

} // namespace varnel
