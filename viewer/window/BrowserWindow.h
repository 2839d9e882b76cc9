#pragma once

#include "core/ChildWindow.h"
#include "viewer/PageView.h"
#include "viewer/ViewerFiles.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <memory>

class QFrame;
class QLabel;
class QLineEdit;
class QSpinBox;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace varnel {

class PageJob;

// What the window says when the engine's process that drew its page has ended.
QString RendererEndText(const PageView::RendererEnd& end);

// What the two viewer windows share: the browser control wbPage, 20 twips from every edge,
// the export button cmdExportExcel over the page's top right corner, the caption that becomes
// the shown document's address once it has loaded, the placement record of the window's kind,
// and the temporary files the window removes when it goes.
class BrowserWindow : public QWidget, public ChildWindow, public ViewerWindow {
    Q_OBJECT

public:
    ~BrowserWindow() override;

    ChildKind childKind() const override { return kind_; }
    ViewerWindow* asViewer() override { return this; }
    // The spreadsheet export of the shown page; reports its own failures.
    void ExportExcel() override;

    // The file the window shows (a temporary copy or the chosen file), its page (the HTML the
    // browser loads), and why a stylesheet the document names was not applied.
    QString fileName() const { return fileName_; }
    QString pageFile() const { return pageFile_; }
    QString notice() const { return notice_; }
    // True while the page is being made (the export waits for it).
    bool isMakingPage() const;
    // The bar over the page's foot that shows how far the page has come.
    QProgressBar* pageProgress() const { return pageProgress_; }
    PageView* wbPage() const { return wbPage_; }
    // Over the page when the engine's process that drew it has ended: why, and a button that
    // shows the page again.
    QFrame* rendererEndedPanel() const { return rendererEnded_; }
    QPushButton* cmdShowAgain() const { return cmdShowAgain_; }

    // A page made in parts is shown a window of rows at a time. The pager under the page: the
    // first, previous, next and last window, the number of the one shown (from 1), and which rows
    // it holds ("Инструменты 1–2000 из 200000"); beside it the find box.
    qint64 shownWindow() const { return window_; }
    qint64 windowCount() const;
    QSpinBox* pageNumber() const { return pageNumber_; }
    QLabel* rowsShown() const { return rowsShown_; }
    QLineEdit* findText() const { return findText_; }
    QLabel* findState() const { return findState_; }
    // Shows that window of rows (from 0); the row (from 0), when given, marked and in view. A
    // window still being made is shown once it is.
    void showWindow(qint64 window, qint64 row = -1);
    // The next row whose code, ISIN, registration number or name holds the find box's text,
    // over every row of the file: its window shown, the row marked; "не найдено" said when none.
    void findNext();
    // The row the last find marked (from 0); -1 for none.
    qint64 markedRow() const { return marked_; }
    QToolButton* cmdExportExcel() const { return cmdExportExcel_; }

    // The file the user chose, when the window shows a copy of it: what is told about the copy
    // is told about that file.
    void setCopyOrigin(const CopyOrigin& origin) { origin_ = origin; }

    // The files to remove when the window goes.
    void adoptTemporaryFiles(const QStringList& files);
    QStringList temporaryFiles() const { return temporaryFiles_; }
    void removeTemporaryFiles();

    // Places the window's frame in the main window as its placement record says (maximised, or
    // left, top, width and height in twips); the window must be in the frame already.
    void restorePlacement();
    // Writes the placement record unless the window is minimised.
    void savePlacement();

    QSize sizeHint() const override;

signals:
    // The browser has loaded the page (or failed to).
    void pageLoaded(bool ok);
    // The engine's process that drew the page has ended; text says why, as the window shows it.
    void rendererEnded(const QString& text);

protected:
    BrowserWindow(ChildKind kind, const QString& caption, QWidget* parent);

    // The placement record's application name.
    virtual QString placementApplication() const = 0;
    // Whether closing the window writes its placement.
    virtual bool savesPlacement() const { return true; }
    // The name the workbook of an export starts with.
    virtual QString exportName() const = 0;
    // What the rows of a page are called in the pager.
    virtual QString rowsNoun() const { return QStringLiteral("Строки"); }

    // Shows a file: an HTM page as it is, an XML document as the page its stylesheet makes
    // (relative stylesheet addresses taken from relativeBase), or as its tree. The page is made
    // beside the user-interface thread and shows as it grows; a bar over its foot says how far it
    // has come. When the document cannot be read the window shows the failure on its page and
    // in a box.
    void navigate(const QString& file, const QString& relativeBase);

    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeControls();
    void showFailurePage(const QString& text);
    void onLoadFinished(bool ok);
    void showProgress();
    void onRendererEnded(const PageView::RendererEnd& end);
    void updatePager();
    void showPendingWindow();
    void showAgain();

    ChildKind kind_;
    PageView* wbPage_ = nullptr;
    QToolButton* cmdExportExcel_ = nullptr;
    QFrame* rendererEnded_ = nullptr;
    QLabel* rendererEndedText_ = nullptr;
    QPushButton* cmdShowAgain_ = nullptr;
    QWidget* footer_ = nullptr;
    QWidget* pager_ = nullptr;
    QToolButton* cmdFirst_ = nullptr;
    QToolButton* cmdPrevious_ = nullptr;
    QToolButton* cmdNext_ = nullptr;
    QToolButton* cmdLast_ = nullptr;
    QSpinBox* pageNumber_ = nullptr;
    QLabel* rowsShown_ = nullptr;
    QLineEdit* findText_ = nullptr;
    QLabel* findState_ = nullptr;
    qint64 window_ = 0;
    qint64 marked_ = -1;
    qint64 pendingWindow_ = -1;
    qint64 pendingRow_ = -1;
    QStringList windowFiles_;
    QString fileName_;
    QString pageFile_;
    QString notice_;
    QStringList temporaryFiles_;
    std::unique_ptr<PageJob> job_;
    QProgressBar* pageProgress_ = nullptr;
    QTimer progressTimer_;
    QElapsedTimer making_;
    CopyOrigin origin_;
};

} // namespace varnel
