#include "handbook/viewer/BrowserWindow.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/Twips.h"
#include "handbook/viewer/HtmlView.h"
#include "handbook/viewer/IncomingMessage.h"
#include "handbook/viewer/SpreadsheetExport.h"
#include "handbook/viewer/ViewerFiles.h"
#include "handbook/viewer/XslTransform.h"
#include "ui/BusyCursor.h"
#include "ui/WindowPlacement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QIcon>
#include <QMdiSubWindow>
#include <QToolButton>

// The viewer's pictures are compiled into its static library, whose resources are registered
// by hand.
static void initViewerResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(viewer);
        return true;
    }();
    (void)registered;
}

namespace varnel {
namespace {

constexpr double kMarginTwips = 20.0;
constexpr double kFirstStartWidthTwips = 15000;
constexpr double kFirstStartHeightTwips = 10500;

WindowPlacement recordOf(const QString& application)
{
    return WindowPlacement(application, WindowPlacement::kDefaultTwips);
}

} // namespace

BrowserWindow::BrowserWindow(ChildKind kind, const QString& caption, QWidget* parent)
    : QWidget(parent), kind_(kind)
{
    initViewerResources();
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose, false);

    // The browser engine starts here, with the first viewer window.
    wbPage_ = CreatePageView(this);
    wbPage_->widget()->setObjectName(QStringLiteral("wbPage"));
    wbPage_->widget()->hide();
    wbPage_->setLoadFinishedHandler([this](bool ok) { onLoadFinished(ok); });

    cmdExportExcel_ = new QToolButton(this);
    cmdExportExcel_->setObjectName(QStringLiteral("cmdExportExcel"));
    cmdExportExcel_->setIcon(QIcon(QStringLiteral(":/viewer/export.svg")));
    cmdExportExcel_->setIconSize(QSize(20, 20));
    cmdExportExcel_->setAutoRaise(false);
    cmdExportExcel_->setToolTip(QStringLiteral("Экспортировать в MS Excel"));
    cmdExportExcel_->setCursor(Qt::ArrowCursor);
    connect(cmdExportExcel_, &QToolButton::clicked, this, [this] { ExportExcel(); });

    resize(sizeHint());
    placeControls();
}

BrowserWindow::~BrowserWindow()
{
    RemoveFiles(temporaryFiles_);
}

void BrowserWindow::removeTemporaryFiles()
{
    RemoveFiles(temporaryFiles_);
    temporaryFiles_.clear();
}

QSize BrowserWindow::sizeHint() const
{
    // Room for a page of a wide table: the size a viewer opens with on its first start, where
    // the main window has it.
    return {TwipsToPixels(kFirstStartWidthTwips, logicalDpiX()),
            TwipsToPixels(kFirstStartHeightTwips, logicalDpiY())};
}

void BrowserWindow::adoptTemporaryFiles(const QStringList& files)
{
    temporaryFiles_ += files;
}

QMdiSubWindow* BrowserWindow::frame() const
{
    return qobject_cast<QMdiSubWindow*>(parentWidget());
}

void BrowserWindow::restorePlacement()
{
    if (QMdiSubWindow* sub = frame())
        RestoreFramePlacement(*sub, recordOf(placementApplication()));
}

void BrowserWindow::savePlacement()
{
    try {
        if (const QMdiSubWindow* sub = frame())
            SaveFramePlacement(*sub, recordOf(placementApplication()));
    } catch (...) {
        // A placement that cannot be saved is not worth a message.
    }
}

void BrowserWindow::navigate(const QString& file, const QString& relativeBase)
{
    fileName_ = file;
    wbPage_->widget()->show();
    if (IsHtmlExtension(file)) {
        pageFile_ = file;
        wbPage_->showFile(file);
        return;
    }
    ViewerPage page;
    try {
        const BusyCursor busy;
        page = RenderXmlPage(file, relativeBase);
    } catch (const Error& e) {
        const QString told = origin_.describe(e.description());
        showFailurePage(told);
        throw Error(e.number(), told);
    }
    if (page.notice != origin_.describe(page.notice)) {
        page.html.replace(HtmlEscaped(origin_.copy).toUtf8(), HtmlEscaped(origin_.chosen).toUtf8());
        page.notice = origin_.describe(page.notice);
    }
    const TemporaryFile html = ReserveTemporaryFile(QStringLiteral(".htm"));
    adoptTemporaryFiles(html.files());
    WriteTemporaryFile(html, page.html, origin_.chosen);
    notice_ = page.notice;
    pageFile_ = html.path;
    wbPage_->showFile(pageFile_);
}

void BrowserWindow::showFailurePage(const QString& text)
{
    try {
        const TemporaryFile html = ReserveTemporaryFile(QStringLiteral(".htm"));
        adoptTemporaryFiles(html.files());
        QByteArray page = QByteArrayLiteral(
            "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><style>"
            "body{font-family:sans-serif;margin:16px}pre{white-space:pre-wrap;"
            "background:#fdecea;border:1px solid #e0a0a0;padding:8px 12px}</style></head>"
            "<body><pre>");
        page += HtmlEscaped(text).toUtf8();
        page += "</pre></body></html>\n";
        WriteTemporaryFile(html, page, origin_.chosen);
        notice_ = text;
        pageFile_ = html.path;
        wbPage_->showFile(pageFile_);
    } catch (...) {
        // The failure itself is shown in a box; the page stays empty.
    }
}

void BrowserWindow::onLoadFinished(bool ok)
{
    try {
        if (ok) {
            const QUrl shown = wbPage_->url();
            // The page made from a document stands for that document. A page that names itself
            // (the shipped stylesheets name the message's kind) is called by that name and the
            // file the user chose, not by the address of the viewer's copy.
            const bool ownPage = !pageFile_.isEmpty() && shown == QUrl::fromLocalFile(pageFile_);
            const QString title = wbPage_->title().simplified();
            const QString chosen = origin_.chosen.isEmpty() ? fileName_ : origin_.chosen;
            if (ownPage && !title.isEmpty())
                setWindowTitle(title + QStringLiteral(" - ") + QFileInfo(chosen).fileName());
            else
                setWindowTitle(ownPage ? QUrl::fromLocalFile(fileName_).toString()
                                       : shown.toString());
        }
    } catch (...) {
        // The caption stays as it was.
    }
    emit pageLoaded(ok);
}

void BrowserWindow::ExportExcel()
{
    RunTrapped(this, kAppTitle, [this] {
        if (pageFile_.isEmpty())
            Fail(QStringLiteral("В окне нет страницы для экспорта"));
        ExportPageToWorkbook(this, pageFile_, exportName());
    });
}

void BrowserWindow::closeEvent(QCloseEvent* event)
{
    if (savesPlacement())
        savePlacement();
    event->accept();
    // The copy and its page go with the window.
    removeTemporaryFiles();
}

void BrowserWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeControls();
}

void BrowserWindow::placeControls()
{
    const double dpiX = logicalDpiX();
    const double dpiY = logicalDpiY();
    const int left = TwipsToPixels(kMarginTwips, dpiX);
    const int top = TwipsToPixels(kMarginTwips, dpiY);
    const int w = TwipsToPixels(width() * kTwipsPerInch / dpiX - 2 * kMarginTwips, dpiX);
    const int h = TwipsToPixels(height() * kTwipsPerInch / dpiY - 2 * kMarginTwips, dpiY);
    if (w <= 0 || h <= 0)
        return;
    wbPage_->widget()->setGeometry(left, top, w, h);
    // Over the page's top right corner, clear of its scroll bar.
    const QSize button = cmdExportExcel_->sizeHint();
    cmdExportExcel_->setGeometry(left + w - button.width() - 22, top + 6, button.width(),
                                 button.height());
    cmdExportExcel_->raise();
}

} // namespace varnel
