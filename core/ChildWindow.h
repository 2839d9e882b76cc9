#pragma once

#include "core/Outcome.h"

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
    IssueList,    // frmIssue, the handbook viewer
    Journal,      // frmJournal, the sending journal
    Reconcile     // frmReconcile, a file reconciled with the sending journal
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

    // Closing the main window asks every child window before any closes, so that a Cancel
    // keeps them all open. PrepareToClose asks what closing this window needs asked (whether to
    // save its changes), saves when told to, and answers whether the window may close; once it
    // may, its own close asks nothing more, until KeepOpen tells it that it stays after all.
    virtual bool PrepareToClose() { return true; }
    virtual void KeepOpen() {}

    // The operations of the window's kind; null for the other kinds.
    virtual ReportWindow* asReport() { return nullptr; }
    virtual TextWindow* asText() { return nullptr; }
    virtual ViewerWindow* asViewer() { return nullptr; }
};

// Report windows (both kinds), views over a report document (reports/ReportDocument.h).
//
// The one failure rule of the report operations: the document returns how each operation ended
// and shows no failure; the window that called it reports it. So LoadFile, SaveFile and
// SaveFileAs raise nothing: a failure is shown in a critical box with the application title (for
// the saves also in the window's status bar), and the saves return false. A save the user let go
// (no file name chosen, no Yes to replacing a file that could not be read) returns false and
// shows nothing. IsReportCorrect shows nothing: its caller does. The main window's commands
// therefore leave the report's failures to the report window.
class ReportWindow {
public:
    virtual ~ReportWindow() = default;
    // Binds the window to the file and loads its deals (a missing file gives an empty report).
    virtual void LoadFile(const QString& path) = 0;
    // Saves to the current file, asking for a name first when there is none (or when the file
    // could not be read). True when saved.
    virtual bool SaveFile() = 0;
    // Saves to path and makes it the current file; true when saved.
    virtual bool SaveFileAs(const QString& path) = 0;
    // Dry run of what saving converts: failed with the first failure.
    virtual Outcome IsReportCorrect() const = 0;
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
