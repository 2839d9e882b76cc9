#pragma once

#include <QString>

class QWidget;

namespace varnel {

class ReportTable;

// What every child window of the main window answers, and the operations some of them offer.
// The main window finds it on the active sub-window's widget with dynamic_cast.
class ChildWindow {
public:
    virtual ~ChildWindow() = default;

    virtual bool IsTextDocument() const { return false; }
    virtual bool IsReportDocument() const { return false; }
    virtual bool IsBrowseXMLDocument() const { return false; }

    // The window's kind as the main window compares it: "frmDocument", "frmReport",
    // "frmReportRepo", "frmBrowseXML", "frmIssueList" ...
    virtual QString kindName() const = 0;

    // Report windows.
    virtual void SaveFile() {}
    virtual void SaveFileAs(const QString& path) { (void)path; }
    virtual void LoadFile(const QString& path) { (void)path; }
    virtual const ReportTable* lvDeals() const { return nullptr; }
    // The hidden label lblLoadFail: true when building the window failed.
    virtual bool loadFailed() const { return false; }

    // Viewer windows.
    virtual void ExportExcel() {}
};

} // namespace varnel
