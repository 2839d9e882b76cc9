#include "shell/frmMain.h"

#include "core/AppContext.h"
#include "core/ChildWindow.h"
#include "core/Twips.h"
#include "shell/MdiWindows.h"
#include "ui/WindowPlacement.h"

#include <QAction>
#include <QCloseEvent>
#include <QDate>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScreen>
#include <QTime>
#include <QTimer>

// The icons are compiled into the shell library; a static library needs its resources pulled
// in by hand.
static void initShellResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)registered;
}

namespace varnel {

frmMain::Registry& frmMain::registry()
{
    static Registry r;
    return r;
}

void frmMain::setReportWindowFactory(ReportKind kind, WindowFactory factory)
{
    (kind == ReportKind::Repo ? registry().repo : registry().ordinary) = std::move(factory);
}

void frmMain::setCommandHandler(Command command, CommandHandler handler)
{
    if (handler)
        registry().handlers[command] = std::move(handler);
    else
        registry().handlers.erase(command);
}

QIcon frmMain::ApplicationIcon()
{
    initShellResources();
    return QIcon(QStringLiteral(":/icons/varnel.svg"));
}

frmMain::frmMain(QWidget* parent) : QMainWindow(parent)
{
    initShellResources();
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(kAppTitle);
    setWindowIcon(ApplicationIcon());
    setContextMenuPolicy(Qt::NoContextMenu);

    ShowMaximizedChildTitleOnce();
    mdiArea_ = new QMdiArea(this);
    mdiArea_->setObjectName(QStringLiteral("mdiArea"));
    mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea_);

    buildBars();

    connect(mdiArea_, &QMdiArea::subWindowActivated, this, &frmMain::updateCommandStates);

    tmClock_ = new QTimer(this);
    tmClock_->setObjectName(QStringLiteral("tmClock"));
    tmClock_->setInterval(1000);
    connect(tmClock_, &QTimer::timeout, this, &frmMain::updateClock);
    updateClock();

    startupResult_ = RunStartup(*this, instanceLock_);
    if (startupResult_ == StartupResult::Refused) {
        // Closed before it was ever shown; shutdown still runs.
        close();
        return;
    }
    tmClock_->start();
    if (registry().started)
        registry().started(*this);
}

frmMain::~frmMain()
{
    // The child windows close in QWidget's destructor, after this window's own part is gone: the
    // area's activation signal must no longer reach it then.
    disconnect(mdiArea_, nullptr, this, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Status bar

void frmMain::SetStatusInfo(int panel, const QString& text)
{
    if (panel < 1 || panel > panels_.size())
        return;
    QLabel* label = panels_.at(panel - 1);
    statusTexts_[panel - 1] = text;
    // The handbook panel names the file; its whole path is a hover away, as is the whole text
    // of a panel too narrow for it.
    label->setText(panel == 1 ? HandbookStatusShownText(text) : text);
    if (panel <= 2)
        label->setToolTip(text);
}

QString frmMain::StatusInfo(int panel) const
{
    return statusTexts_.value(panel - 1);
}

void frmMain::updateClock()
{
    const QLocale locale = QLocale::system();
    SetStatusInfo(3, locale.toString(QDate::currentDate(), QLocale::ShortFormat));
    SetStatusInfo(4, QTime::currentTime().toString(QStringLiteral("HH:mm")));
}

// ---------------------------------------------------------------------------------------------
// Start-up and shutdown

void frmMain::applyPlacement(const MainPlacement& p)
{
    readPlacement_ = p;
    const double dpiX = logicalDpiX();
    const double dpiY = logicalDpiY();
    const QRect wanted(TwipsToPixels(p.left, dpiX), TwipsToPixels(p.top, dpiY),
                       TwipsToPixels(p.width, dpiX), TwipsToPixels(p.height, dpiY));
    // The screen the window is to open on; the window's own when it lies on none.
    const QScreen* s = QGuiApplication::screenAt(wanted.center());
    if (!s)
        s = screen();
    const QRect available = s ? s->availableGeometry() : QRect();
    const QRect r = p.stored || available.isEmpty()
                        ? FitMainWindow(wanted, available, p.stored ? QSize() : firstRunSize())
                        : FirstStartMainGeometry(available, firstRunSize());
    move(r.topLeft());
    resize(r.size());
}

MainPlacement frmMain::currentPlacement() const
{
    return PlacementToStore(readPlacement_, QRect(pos(), size()), logicalDpiX(), logicalDpiY());
}

bool frmMain::isMinimizedNow() const
{
    return isMinimized();
}

void frmMain::setTitle(const QString& title)
{
    setWindowTitle(title);
}

void frmMain::hideSpreadsheetExport()
{
    actions_.exportMenu->setVisible(false);
    actions_.exportButton->setVisible(false);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    // Every child window asks its question before any closes: a Cancel keeps them all open,
    // and the program running.
    QList<QPointer<QWidget>> agreed;
    const auto keepOpen = [&agreed] {
        for (const QPointer<QWidget>& window : std::as_const(agreed)) {
            if (auto* child = dynamic_cast<ChildWindow*>(window.data()))
                child->KeepOpen();
        }
    };
    for (QMdiSubWindow* sub : mdiArea_->subWindowList()) {
        auto* child = dynamic_cast<ChildWindow*>(sub->widget());
        if (!child)
            continue;
        if (!child->PrepareToClose()) {
            keepOpen();
            event->ignore();
            return;
        }
        agreed.append(sub->widget());
    }
    // Then they close; one that still refuses keeps the frame.
    mdiArea_->closeAllSubWindows();
    const QList<QMdiSubWindow*> remaining = mdiArea_->subWindowList();
    for (QMdiSubWindow* sub : remaining) {
        if (!sub->isHidden()) {
            keepOpen();
            event->ignore();
            return;
        }
    }
    tmClock_->stop();
    RunShutdown(*this);
    instanceLock_.release();
    event->accept();
}

// ---------------------------------------------------------------------------------------------
// Child windows

QMdiSubWindow* frmMain::addChildWindow(QWidget* window)
{
    QMdiSubWindow* sub = ShowNewChildWindow(*mdiArea_, window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    updateCommandStates();
    // A window that closes leaves another current, or none.
    connect(sub, &QObject::destroyed, this, &frmMain::updateCommandStates, Qt::QueuedConnection);
    return sub;
}

ChildWindow* frmMain::activeChild() const
{
    QMdiSubWindow* sub = mdiArea_->currentSubWindow();
    return sub ? dynamic_cast<ChildWindow*>(sub->widget()) : nullptr;
}

ReportWindow* frmMain::activeReport() const
{
    ChildWindow* child = activeChild();
    return child ? child->asReport() : nullptr;
}

int frmMain::newReportCount(ReportKind kind) const
{
    return kind == ReportKind::Repo ? newRepoReports_ : newReports_;
}

void frmMain::updateCommandStates()
{
    const Actions& a = actions_;
    // The frame's current window, not the signal's: a frame that loses the focus to another
    // program reports no active window while its current one stays.
    if (!mdiArea_->currentSubWindow()) {
        for (QAction* action : {a.fileSave, a.fileSaveAs, a.reportSave, a.reportSaveAs,
                                a.reportExport, a.saveReportButton, a.exportMenu, a.exportButton})
            action->setEnabled(false);
        return;
    }
    // A window that does not speak the protocol is none of the three kinds.
    const ChildWindow* child = activeChild();
    const bool text = child && child->IsTextDocument();
    const bool report = child && child->IsReportDocument();
    const bool viewer = child && child->IsBrowseXMLDocument();
    for (QAction* action : {a.fileSave, a.fileSaveAs})
        action->setEnabled(text);
    for (QAction* action :
         {a.reportSave, a.reportSaveAs, a.reportSend, a.reportExport, a.saveReportButton})
        action->setEnabled(report);
    for (QAction* action : {a.exportMenu, a.exportButton})
        action->setEnabled(viewer);
}

} // namespace varnel
