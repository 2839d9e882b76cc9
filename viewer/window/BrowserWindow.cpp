#include "viewer/window/BrowserWindow.h"

#include "answers/IncomingMessage.h"
#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/Twips.h"
#include "ui/BusyCursor.h"
#include "ui/WindowPlacement.h"
#include "viewer/PageJob.h"
#include "viewer/SpreadsheetExport.h"
#include "viewer/ViewerFiles.h"
#include "viewer/XslTransform.h"
#include "viewer/window/ExportCommand.h"
#include "viewer/window/HtmlView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <climits>

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

// A page that comes within this time shows no bar.
constexpr int kProgressAfterMs = 500;

// A process this big when it ended most likely ended for lack of memory.
constexpr qint64 kLikelyOutOfMemoryBytes = 1536LL << 20;

} // namespace

QString RendererEndText(const PageView::RendererEnd& end)
{
    using Kind = PageView::RendererEnd::Kind;
    QString why;
    switch (end.kind) {
    case Kind::Normal: why = QStringLiteral("он завершился сам"); break;
    case Kind::Abnormal:
        why = QStringLiteral("он завершился с ошибкой (код %1)").arg(end.exitCode);
        break;
    case Kind::Crashed:
        why = QStringLiteral("он завершился аварийно (код %1)").arg(end.exitCode);
        break;
    case Kind::Killed:
        why = QStringLiteral("его остановила система; так бывает, когда не хватает памяти");
        break;
    }
    QString text = QStringLiteral("Страница больше не показывается: процесс, который её "
                                  "показывал, остановлен, ") +
                   why + u'.';
    if (end.lastMemoryBytes > 0) {
        text += QStringLiteral(" Перед этим он занимал %1 МБ памяти")
                    .arg(end.lastMemoryBytes / (1024 * 1024));
        text += end.lastMemoryBytes >= kLikelyOutOfMemoryBytes
                    ? QStringLiteral(": вероятнее всего, ему не хватило памяти.")
                    : QStringLiteral(".");
    }
    return text;
}

BrowserWindow::BrowserWindow(ChildKind kind, const QString& caption, QWidget* parent)
    : QWidget(parent), kind_(kind)
{
    initViewerResources();
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose, false);
    // Opened from a menu, the viewer stays in front however late its page starts.
    setProperty(kKeepInFrontProperty, true);

    // The browser engine starts here, with the first viewer window.
    wbPage_ = CreatePageView(this);
    wbPage_->widget()->setObjectName(QStringLiteral("wbPage"));
    wbPage_->widget()->hide();
    // The keyboard reaches the page.
    setFocusProxy(wbPage_->widget());
    wbPage_->setLoadFinishedHandler([this](bool ok) { onLoadFinished(ok); });
    wbPage_->setRendererEndedHandler(
        [this](const PageView::RendererEnd& end) { onRendererEnded(end); });

    rendererEnded_ = new QFrame(this);
    rendererEnded_->setObjectName(QStringLiteral("rendererEnded"));
    rendererEnded_->setFrameShape(QFrame::StyledPanel);
    rendererEnded_->setAutoFillBackground(true);
    rendererEndedText_ = new QLabel(rendererEnded_);
    rendererEndedText_->setObjectName(QStringLiteral("lblRendererEnded"));
    rendererEndedText_->setWordWrap(true);
    rendererEndedText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cmdShowAgain_ = new QPushButton(QStringLiteral("Показать страницу снова"), rendererEnded_);
    cmdShowAgain_->setObjectName(QStringLiteral("cmdShowAgain"));
    connect(cmdShowAgain_, &QPushButton::clicked, this, [this] { showAgain(); });
    auto* endedLayout = new QVBoxLayout(rendererEnded_);
    endedLayout->addWidget(rendererEndedText_);
    endedLayout->addWidget(cmdShowAgain_, 0, Qt::AlignLeft);
    endedLayout->addStretch();
    rendererEnded_->hide();

    cmdExportExcel_ = new QToolButton(this);
    cmdExportExcel_->setObjectName(QStringLiteral("cmdExportExcel"));
    cmdExportExcel_->setIcon(QIcon(QStringLiteral(":/viewer/export.svg")));
    cmdExportExcel_->setIconSize(QSize(20, 20));
    cmdExportExcel_->setAutoRaise(false);
    cmdExportExcel_->setToolTip(QStringLiteral("Экспортировать в MS Excel"));
    cmdExportExcel_->setCursor(Qt::ArrowCursor);
    connect(cmdExportExcel_, &QToolButton::clicked, this, [this] { ExportExcel(); });

    footer_ = new QWidget(this);
    footer_->setObjectName(QStringLiteral("pageFooter"));
    auto* footerLayout = new QHBoxLayout(footer_);
    footerLayout->setContentsMargins(0, 0, 0, 0);
    pager_ = new QWidget(footer_);
    pager_->setObjectName(QStringLiteral("pager"));
    auto* pagerLayout = new QHBoxLayout(pager_);
    pagerLayout->setContentsMargins(0, 0, 0, 0);
    const auto pagerButton = [&](const char* name, const QString& text, const QString& tip) {
        auto* button = new QToolButton(pager_);
        button->setObjectName(QString::fromLatin1(name));
        button->setText(text);
        button->setToolTip(tip);
        pagerLayout->addWidget(button);
        return button;
    };
    cmdFirst_ =
        pagerButton("cmdFirstPage", QStringLiteral("|◀"), QStringLiteral("Первая страница"));
    cmdPrevious_ =
        pagerButton("cmdPreviousPage", QStringLiteral("◀"), QStringLiteral("Предыдущая страница"));
    pageNumber_ = new QSpinBox(pager_);
    pageNumber_->setObjectName(QStringLiteral("pageNumber"));
    pageNumber_->setKeyboardTracking(false);
    pageNumber_->setToolTip(QStringLiteral("Номер страницы"));
    pagerLayout->addWidget(pageNumber_);
    cmdNext_ =
        pagerButton("cmdNextPage", QStringLiteral("▶"), QStringLiteral("Следующая страница"));
    cmdLast_ =
        pagerButton("cmdLastPage", QStringLiteral("▶|"), QStringLiteral("Последняя страница"));
    rowsShown_ = new QLabel(pager_);
    rowsShown_->setObjectName(QStringLiteral("rowsShown"));
    pagerLayout->addWidget(rowsShown_);
    footerLayout->addWidget(pager_);
    findText_ = new QLineEdit(footer_);
    findText_->setObjectName(QStringLiteral("findText"));
    findText_->setPlaceholderText(QStringLiteral("Найти: код, ISIN, рег. номер, название"));
    findText_->setClearButtonEnabled(true);
    findText_->setMinimumWidth(260);
    footerLayout->addWidget(findText_);
    findState_ = new QLabel(footer_);
    findState_->setObjectName(QStringLiteral("findState"));
    footerLayout->addWidget(findState_);
    footerLayout->addStretch();
    connect(cmdFirst_, &QToolButton::clicked, this, [this] { showWindow(0); });
    connect(cmdPrevious_, &QToolButton::clicked, this, [this] { showWindow(window_ - 1); });
    connect(cmdNext_, &QToolButton::clicked, this, [this] { showWindow(window_ + 1); });
    connect(cmdLast_, &QToolButton::clicked, this, [this] { showWindow(windowCount() - 1); });
    connect(pageNumber_, &QSpinBox::valueChanged, this, [this](int number) {
        if (number - 1 != window_)
            showWindow(number - 1);
    });
    connect(findText_, &QLineEdit::returnPressed, this, [this] { findNext(); });
    connect(findText_, &QLineEdit::textEdited, this, [this] { findState_->clear(); });
    footer_->hide();

    pageProgress_ = new QProgressBar(footer_);
    footerLayout->addWidget(pageProgress_);
    pageProgress_->setObjectName(QStringLiteral("pageProgress"));
    pageProgress_->setRange(0, 1000);
    pageProgress_->setFormat(QStringLiteral("Страница готовится: %p%"));
    pageProgress_->setTextVisible(true);
    pageProgress_->hide();
    progressTimer_.setInterval(100);
    connect(&progressTimer_, &QTimer::timeout, this, [this] { showProgress(); });

    resize(sizeHint());
    placeControls();
}

BrowserWindow::~BrowserWindow()
{
    // A page still being made is stopped first: its file is among those removed.
    job_.reset();
    RemoveFiles(temporaryFiles_);
}

bool BrowserWindow::isMakingPage() const
{
    return job_ && job_->running();
}

void BrowserWindow::showProgress()
{
    updatePager();
    showPendingWindow();
    if (!isMakingPage()) {
        progressTimer_.stop();
        pageProgress_->hide();
        updatePager();
        return;
    }
    if (making_.elapsed() < kProgressAfterMs)
        return;
    const int permille = job_->permille();
    if (permille < 0) {
        pageProgress_->setRange(0, 0);
    } else {
        pageProgress_->setRange(0, 1000);
        pageProgress_->setValue(permille);
    }
    if (pageProgress_->isHidden()) {
        pageProgress_->show();
        updatePager();
    }
}

qint64 BrowserWindow::windowCount() const
{
    if (!job_ || !job_->windowed())
        return 0;
    // Before the rows are counted: the windows made so far.
    const qint64 per = job_->rowsPerWindow();
    const qint64 rows = job_->rowCount() >= 0 ? job_->rowCount() : job_->rowsMade();
    return std::max<qint64>(1, (rows + per - 1) / per);
}

void BrowserWindow::updatePager()
{
    const qint64 windows = windowCount();
    const bool windowed = windows > 0;
    pager_->setVisible(windows > 1);
    findText_->setVisible(windowed);
    findState_->setVisible(windowed);
    if (windowed) {
        const qint64 per = job_->rowsPerWindow();
        const qint64 counted = job_->rowCount();
        const qint64 rows = counted >= 0 ? counted : job_->rowsMade();
        const QSignalBlocker quiet(pageNumber_);
        pageNumber_->setRange(1, int(std::min<qint64>(windows, INT_MAX)));
        pageNumber_->setValue(int(window_ + 1));
        rowsShown_->setText(QStringLiteral("%1 %2–%3 из %4")
                                .arg(rowsNoun())
                                .arg(window_ * per + 1)
                                .arg(std::min(rows, (window_ + 1) * per))
                                .arg(counted >= 0 ? QString::number(rows) : QStringLiteral("…")));
        cmdFirst_->setEnabled(window_ > 0);
        cmdPrevious_->setEnabled(window_ > 0);
        cmdNext_->setEnabled(window_ + 1 < windows);
        cmdLast_->setEnabled(window_ + 1 < windows);
    }
    const bool shown = windowed || !pageProgress_->isHidden();
    if (footer_->isHidden() == shown) {
        footer_->setVisible(shown);
        placeControls();
    }
}

void BrowserWindow::showWindow(qint64 window, qint64 row)
{
    RunTrapped(this, kAppTitle, [&] {
        const qint64 windows = windowCount();
        if (windows == 0 || window < 0 || window >= windows)
            return;
        QByteArray html;
        if (!job_->windowPage(window, &html)) {
            // Shown once its rows are made.
            pendingWindow_ = window;
            pendingRow_ = row;
            findState_->setText(QStringLiteral("страница ещё готовится"));
            return;
        }
        pendingWindow_ = -1;
        const TemporaryFile file = ReserveTemporaryFile(QStringLiteral(".htm"));
        adoptTemporaryFiles(file.files());
        WriteTemporaryFile(file, html, origin_.chosen);
        html.clear();
        // The window shown before goes.
        RemoveFiles(windowFiles_);
        for (const QString& gone : std::as_const(windowFiles_))
            temporaryFiles_.removeAll(gone);
        windowFiles_ = file.files();
        window_ = window;
        rendererEnded_->hide();
        if (row >= 0)
            wbPage_->showFileAt(file.path, QStringLiteral("row-%1").arg(row + 1));
        else
            wbPage_->showFile(file.path);
        if (findState_->text() == u"страница ещё готовится")
            findState_->clear();
        updatePager();
    });
}

void BrowserWindow::showPendingWindow()
{
    if (pendingWindow_ >= 0 && job_ && job_->windowed()) {
        QByteArray probe;
        if (!isMakingPage() || job_->windowPage(pendingWindow_, &probe))
            showWindow(pendingWindow_, pendingRow_);
    }
}

void BrowserWindow::findNext()
{
    const QString text = findText_->text();
    if (!job_ || !job_->windowed() || PageJob::FindKey(text).isEmpty())
        return;
    const qint64 row = job_->find(text, marked_);
    if (row < 0) {
        findState_->setText(QStringLiteral("не найдено"));
        return;
    }
    findState_->clear();
    marked_ = row;
    showWindow(row / job_->rowsPerWindow(), row);
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

void BrowserWindow::restorePlacement()
{
    RestoreChildPlacement(*this, recordOf(placementApplication()));
}

void BrowserWindow::savePlacement()
{
    SaveChildPlacement(*this, recordOf(placementApplication()));
}

void BrowserWindow::navigate(const QString& file, const QString& relativeBase)
{
    fileName_ = file;
    rendererEnded_->hide();
    wbPage_->widget()->show();
    if (IsHtmlExtension(file)) {
        pageFile_ = file;
        wbPage_->showFile(file);
        return;
    }
    const TemporaryFile html = ReserveTemporaryFile(QStringLiteral(".htm"));
    adoptTemporaryFiles(html.files());
    notice_.clear();
    pageFile_ = html.path;
    // What is found in the copy is told about the file the user chose. The folders the
    // stylesheet may read come from the settings as they stand when the user asked.
    const CopyOrigin origin = origin_;
    TransformLimits limits;
    limits.readableFolders = StylesheetReadableFolders(relativeBase);
    // The rows of a page made in parts, kept for its windows.
    const TemporaryFile rows = ReserveTemporaryFile(QStringLiteral(".htm"));
    adoptTemporaryFiles(rows.files());
    window_ = 0;
    marked_ = -1;
    pendingWindow_ = -1;
    job_ = std::make_unique<PageJob>(
        file, relativeBase, html.path,
        [origin](const QString& text) { return origin.describe(text); }, origin_.chosen, limits,
        rows.path);
    cmdExportExcel_->setEnabled(false);
    wbPage_->showGrowingPage(html.path, job_->page());
    making_.start();
    progressTimer_.start();
    job_->start([this](const PageJob::End& ended) {
        progressTimer_.stop();
        pageProgress_->hide();
        cmdExportExcel_->setEnabled(true);
        updatePager();
        showPendingWindow();
        placeControls();
        if (ended.outcome.cancelled())
            return;
        notice_ = ended.page.notice;
        if (ended.outcome.failed()) {
            showFailurePage(ended.outcome.failure);
            Dialogs::Critical(this, ended.outcome.failure, kAppTitle);
        }
    });
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
        // The page that would repeat it cannot be written (no temporary folder, a full disk):
        // the failure itself is shown in a box all the same, and the page stays empty.
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
            const QUrl file = shown.adjusted(QUrl::RemoveFragment);
            const bool ownPage = (!pageFile_.isEmpty() && file == QUrl::fromLocalFile(pageFile_)) ||
                                 (!windowFiles_.isEmpty() && file.isLocalFile() &&
                                  windowFiles_.contains(file.toLocalFile()));
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

void BrowserWindow::onRendererEnded(const PageView::RendererEnd& end)
{
    const QString text = RendererEndText(end);
    rendererEndedText_->setText(text);
    rendererEnded_->show();
    rendererEnded_->raise();
    cmdExportExcel_->raise();
    emit rendererEnded(text);
}

void BrowserWindow::showAgain()
{
    rendererEnded_->hide();
    wbPage_->reload();
}

void BrowserWindow::ExportExcel()
{
    RunTrapped(this, kAppTitle, [this] {
        if (pageFile_.isEmpty())
            Fail(QStringLiteral("В окне нет страницы для экспорта"));
        if (isMakingPage())
            Fail(QStringLiteral("Страница ещё готовится: её можно экспортировать, когда она будет "
                                "показана целиком."));
        PageSource whole;
        // Every row of the file, not only the window shown, read from where they are kept.
        const Outcome outcome = job_ && job_->windowed() && job_->wholePage(&whole)
                                    ? ExportPageToWorkbook(this, whole, exportName())
                                    : ExportPageToWorkbook(this, pageFile_, exportName());
        if (outcome.failed())
            Fail(outcome.failure);
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
    // The pager, the find box and the progress go under the page, never over it.
    const int footer = footer_->isHidden() ? 0 : footer_->sizeHint().height();
    const int pageHeight = footer > 0 ? std::max(0, h - footer - top) : h;
    wbPage_->widget()->setGeometry(left, top, w, pageHeight);
    rendererEnded_->setGeometry(left, top, w, pageHeight);
    if (footer > 0)
        footer_->setGeometry(left, top + h - footer, w, footer);
    pageProgress_->setMaximumWidth(420);
    // Over the page's top right corner, clear of its scroll bar.
    const QSize button = cmdExportExcel_->sizeHint();
    cmdExportExcel_->setGeometry(left + w - button.width() - 22, top + 6, button.width(),
                                 button.height());
    cmdExportExcel_->raise();
}

} // namespace varnel
