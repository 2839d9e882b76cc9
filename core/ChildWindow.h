#pragma once

#include <QString>

class QPrinter;

namespace varnel {

class ReportTable;
class ReportWindow;
class TextWindow;
class ViewerWindow;

// The kinds of child window the main window hosts.
enum class ChildKind {
    TextDocument, // frmDocument
    Report,       // frmReport
    RepoReport,   // frmReportRepo
    BrowseXML,    // frmBrowseXML, the incoming message viewer
    IssueList     // frmIssue, the handbook viewer
};

// What every child window of the main window answers. The main window reaches the operations
// of a kind only through the accessor of that kind, which the window of that kind overrides.
class ChildWindow {
public:
    virtual ~ChildWindow() = default;

    virtual ChildKind childKind() const = 0;

    bool IsTextDocument() const { return childKind() == ChildKind::TextDocument; }
    bool IsReportDocument() const
    {
        return childKind() == ChildKind::Report || childKind() == ChildKind::RepoReport;
    }
    bool IsBrowseXMLDocument() const
    {
        return childKind() == ChildKind::BrowseXML || childKind() == ChildKind::IssueList;
    }

    // The operations of the window's kind; null for the other kinds.
    virtual ReportWindow* asReport() { return nullptr; }
    virtual TextWindow* asText() { return nullptr; }
    virtual ViewerWindow* asViewer() { return nullptr; }
};

// Report windows (both kinds). Operations raise Error and show nothing of a failure
// themselves: the caller's trap shows it (the main window's command, or the window's own
// question before it closes), so that no failed save can pass for a saved one.
class ReportWindow {
public:
    virtual ~ReportWindow() = default;
    // Binds the window to the file and loads its deals (a missing file gives an empty report).
    virtual void LoadFile(const QString& path) = 0;
    // Saves to the current file, asking for a name first when there is none. True when saved;
    // false when the user chose no name. Raises Error when saving failed.
    virtual bool SaveFile() = 0;
    // Saves to path and makes it the current file; true when saved. Raises Error when saving
    // failed.
    virtual bool SaveFileAs(const QString& path) = 0;
    // Dry run of what saving converts: false with the first failure's text.
    virtual bool IsReportCorrect(QString& errorText) const = 0;
    // The deals grid as the writers read it.
    virtual const ReportTable& lvDeals() const = 0;
    // The load-failed marker lblLoadFail: true when building the window from its layout failed.
    virtual bool loadFailed() const = 0;
    // The report file, empty for a report never saved.
    virtual QString fileName() const = 0;
};

// Text document windows. Operations raise Error.
class TextWindow {
public:
    virtual ~TextWindow() = default;
    virtual void LoadFile(const QString& path) = 0;
    // An empty path saves to the path the document was loaded from.
    virtual void SaveFile(const QString& path) = 0;
    virtual QString filePath() const = 0;
    // Prints the document's text on the printer, which the caller has set up.
    virtual void Print(QPrinter& printer) = 0;
};

// Viewer windows (incoming messages, the handbook). ExportExcel reports its own failures.
class ViewerWindow {
public:
    virtual ~ViewerWindow() = default;
    virtual void ExportExcel() = 0;
};

} // namespace varnel
