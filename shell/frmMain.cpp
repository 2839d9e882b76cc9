#include "shell/frmMain.h"

#include "core/AppContext.h"
#include "core/ChildWindow.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/Settings.h"
#include "messages/SendPipeline.h"
#include "shell/SettingsUpdate.h"
#include "shell/TextCommands.h"
#include "shell/frmAbout.h"
#include "shell/frmDocument.h"
#include "shell/frmOptions.h"

#include <QAction>
#include <QCloseEvent>
#include <QDate>
#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QStatusBar>
#include <QTime>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <map>

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
namespace {

const QString kReportFilter = QStringLiteral("xml-files (*.xml);;all files (*.*)");

struct Registry {
    frmMain::WindowFactory ordinary;
    frmMain::WindowFactory repo;
    std::map<frmMain::Command, frmMain::CommandHandler> handlers;
    frmMain::ModalRunner modal;
};

Registry& registry()
{
    static Registry r;
    return r;
}

ChildWindow* protocolOf(QMdiSubWindow* sub)
{
    return sub ? dynamic_cast<ChildWindow*>(sub->widget()) : nullptr;
}

QIcon icon(const QString& name)
{
    return QIcon(QStringLiteral(":/icons/") + name + QStringLiteral(".svg"));
}

// A status bar panel whose text, when the window is too narrow for it, ends in "…" instead of
// being cut off mid-letter; the whole text stays in text() and in the tool tip.
class StatusPanel : public QLabel {
public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override
    {
        QSize size = QLabel::minimumSizeHint();
        const QMargins m = contentsMargins();
        size.setWidth(std::min(size.width(), fontMetrics().horizontalAdvance(QStringLiteral("…")) +
                                                 m.left() + m.right() + 2 * frameWidth()));
        return size;
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        drawFrame(&painter);
        const QRect r = contentsRect();
        painter.drawText(r, int(alignment()),
                         fontMetrics().elidedText(text(), Qt::ElideRight, r.width()));
    }
};

} // namespace

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

void frmMain::setModalRunner(ModalRunner runner)
{
    registry().modal = std::move(runner);
}

void frmMain::resetRegistry()
{
    registry() = Registry();
}

QIcon frmMain::ApplicationIcon()
{
    initShellResources();
    return icon(QStringLiteral("varnel"));
}

frmMain::frmMain(QWidget* parent) : QMainWindow(parent)
{
    initShellResources();
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(kAppTitle);
    setWindowIcon(ApplicationIcon());
    setContextMenuPolicy(Qt::NoContextMenu);

    mdiArea_ = new QMdiArea(this);
    mdiArea_->setObjectName(QStringLiteral("mdiArea"));
    mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea_);

    buildMenus();
    buildToolBar();
    buildStatusBar();

    Timer1_ = new QTimer(this);
    Timer1_->setObjectName(QStringLiteral("Timer1"));
    Timer1_->setInterval(500);
    connect(Timer1_, &QTimer::timeout, this, &frmMain::Timer1_Timer);

    tmClock_ = new QTimer(this);
    tmClock_->setObjectName(QStringLiteral("tmClock"));
    tmClock_->setInterval(1000);
    connect(tmClock_, &QTimer::timeout, this, &frmMain::UpdateClock);
    UpdateClock();

    startupResult_ = RunStartup(*this, instanceLock_);
    if (startupResult_ == StartupResult::Refused) {
        // Closed before it was ever shown; shutdown still runs.
        close();
        return;
    }
    Timer1_->start();
    tmClock_->start();
}

frmMain::~frmMain() = default;

// ---------------------------------------------------------------------------------------------
// Menus, toolbar, status bar

QMenu* frmMain::addMenu(const QString& name, const QString& caption)
{
    QMenu* menu = menuBar()->addMenu(caption);
    menu->setObjectName(name);
    menu->menuAction()->setObjectName(name);
    actions_.insert(name, menu->menuAction());
    return menu;
}

QAction* frmMain::addItem(QMenu* menu, const QString& name, const QString& caption,
                          void (frmMain::*slot)(), const QKeySequence& shortcut)
{
    QAction* a = menu->addAction(caption);
    a->setObjectName(name);
    if (!shortcut.isEmpty()) {
        a->setShortcut(shortcut);
        a->setShortcutContext(Qt::WindowShortcut);
    }
    if (slot)
        connect(a, &QAction::triggered, this, slot);
    actions_.insert(name, a);
    return a;
}

QAction* frmMain::addSeparator(QMenu* menu, const QString& name)
{
    QAction* a = menu->addSeparator();
    a->setObjectName(name);
    actions_.insert(name, a);
    return a;
}

QAction* frmMain::action(const QString& name) const
{
    return actions_.value(name);
}

void frmMain::buildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));

    QMenu* file = addMenu(QStringLiteral("mnuFile"), QStringLiteral("&Файл"));
    addItem(file, QStringLiteral("mnuFileOpen"), QStringLiteral("&Открыть..."),
            &frmMain::mnuFileOpen_Click);
    addItem(file, QStringLiteral("mnuFileSave"), QStringLiteral("&Сохранить"),
            &frmMain::mnuFileSave_Click)
        ->setEnabled(false);
    addItem(file, QStringLiteral("mnuFileSaveAs"), QStringLiteral("Сохранить К&ак..."),
            &frmMain::mnuFileSaveAs_Click)
        ->setEnabled(false);
    QAction* pageSetup =
        addItem(file, QStringLiteral("mnuFilePageSetup"), QStringLiteral("Page Set&up..."),
                &frmMain::mnuFilePageSetup_Click);
    pageSetup->setVisible(false);
    pageSetup->setEnabled(false);
    QAction* print = addItem(file, QStringLiteral("mnuFilePrint"), QStringLiteral("&Print..."),
                             &frmMain::mnuFilePrint_Click);
    print->setVisible(false);
    print->setEnabled(false);
    addSeparator(file, QStringLiteral("mnuFileBar3"));
    addItem(file, QStringLiteral("mnuFileUpgrade"), QStringLiteral("Обновить настройки ..."),
            &frmMain::mnuFileUpgrade_Click);
    addSeparator(file, QStringLiteral("mnuFileMRU"));
    addItem(file, QStringLiteral("mnuFileExit"), QStringLiteral("Вы&ход"),
            &frmMain::mnuFileExit_Click);

    QMenu* report = addMenu(QStringLiteral("mnuReport"), QStringLiteral("&Отчеты"));
    addItem(report, QStringLiteral("mnuReportNew"), QStringLiteral("&Новый отчет"),
            &frmMain::mnuReportNew_Click, QKeySequence(Qt::CTRL | Qt::Key_N));
    addItem(report, QStringLiteral("mnuReportNewRepo"), QStringLiteral("&Новый отчет РЕПО"),
            &frmMain::mnuReportNewRepo_Click, QKeySequence(Qt::CTRL | Qt::Key_M))
        ->setVisible(false);
    addItem(report, QStringLiteral("mnuReportOpen"), QStringLiteral("&Открыть отчет ..."),
            &frmMain::mnuReportOpen_Click, QKeySequence(Qt::CTRL | Qt::Key_O));
    addItem(report, QStringLiteral("mnuReportOpenRepo"), QStringLiteral("&Открыть отчет РЕПО..."),
            &frmMain::mnuReportOpenRepo_Click, QKeySequence(Qt::CTRL | Qt::Key_P))
        ->setVisible(false);
    addItem(report, QStringLiteral("mnuReportSave"), QStringLiteral("&Сохранить отчет"),
            &frmMain::mnuReportSave_Click, QKeySequence(Qt::CTRL | Qt::Key_S))
        ->setEnabled(false);
    addItem(report, QStringLiteral("mnuReportSaveAs"), QStringLiteral("Сохранить отчет к&ак ..."),
            &frmMain::mnuReportSaveAs_Click)
        ->setEnabled(false);
    addSeparator(report, QStringLiteral("mnuBar4"));
    addItem(report, QStringLiteral("mnuReportSend"), QStringLiteral("От&править отчет"),
            &frmMain::mnuReportSend_Click)
        ->setEnabled(false);
    addSeparator(report, QStringLiteral("mnuBar5"));
    addItem(report, QStringLiteral("mnuRevokeDeal"), QStringLiteral("&Запрос на удаление сделки"),
            &frmMain::mnuRevokeDeal_Click);
    addItem(report, QStringLiteral("mnuRevokeDealRepo"),
            QStringLiteral("&Запрос на удаление сделки РЕПО"), &frmMain::mnuRevokeDealRepo_Click)
        ->setVisible(false);

    QMenu* issues = addMenu(QStringLiteral("mnuIssueList"), QStringLiteral("Справочник &ЦБ"));
    addItem(issues, QStringLiteral("mnuIssueListBrowse"), QStringLiteral("&Просмотр"),
            &frmMain::mnuIssueListBrowse_Click);
    addItem(issues, QStringLiteral("mnuIssueListFind"), QStringLiteral("&Найти справочник ЦБ"),
            &frmMain::mnuIssueListFind_Click);
    addItem(issues, QStringLiteral("mnuIssueListRequest"),
            QStringLiteral("&Запросить справочник ЦБ"), &frmMain::mnuIssueListRequest_Click);
    addSeparator(issues, QStringLiteral("mnuILBar1"));
    addItem(issues, QStringLiteral("mnuIssueListSubscribe"),
            QStringLiteral("По&дписаться на справочник ЦБ"), &frmMain::mnuIssueListSubscribe_Click);
    addItem(issues, QStringLiteral("mnuIssueListUnsubscribe"),
            QStringLiteral("&Отказаться от подписки"), &frmMain::mnuIssueListUnsubscribe_Click);

    QMenu* edi = addMenu(QStringLiteral("mnuEDI"), QStringLiteral("&Сообщения"));
    addItem(edi, QStringLiteral("mnuEDIBrowseIn"), QStringLiteral("&Просмотр входящих сообщений"),
            &frmMain::mnuEDIBrowseIn_Click);
    addItem(edi, QStringLiteral("mnuEDIExpExcel"), QStringLiteral("Экспорт в MS E&xcel"),
            &frmMain::mnuEDIExpExcel_Click)
        ->setEnabled(false);

    QMenu* view = addMenu(QStringLiteral("mnuView"), QStringLiteral("&Вид"));
    QAction* viewToolbar =
        addItem(view, QStringLiteral("mnuViewToolbar"), QStringLiteral("&Панель инструментов"),
                &frmMain::mnuViewToolbar_Click);
    viewToolbar->setCheckable(true);
    viewToolbar->setChecked(true);
    QAction* viewStatus =
        addItem(view, QStringLiteral("mnuViewStatusBar"), QStringLiteral("&Строка статуса"),
                &frmMain::mnuViewStatusBar_Click);
    viewStatus->setCheckable(true);
    viewStatus->setChecked(true);

    mnuWindow_ = addMenu(QStringLiteral("mnuWindow"), QStringLiteral("&Окна"));
    addItem(mnuWindow_, QStringLiteral("mnuWindowCascade"), QStringLiteral("&Каскадом"),
            &frmMain::mnuWindowCascade_Click);
    addItem(mnuWindow_, QStringLiteral("mnuWindowTileHorizontal"),
            QStringLiteral("Черепицей &Горизонтально"), &frmMain::mnuWindowTileHorizontal_Click);
    addItem(mnuWindow_, QStringLiteral("mnuWindowTileVertical"),
            QStringLiteral("Черепицей &Вертикально"), &frmMain::mnuWindowTileVertical_Click);
    QAction* arrange =
        addItem(mnuWindow_, QStringLiteral("mnuWindowArrangeIcons"),
                QStringLiteral("&Arrange Icons"), &frmMain::mnuWindowArrangeIcons_Click);
    arrange->setVisible(false);
    arrange->setEnabled(false);
    connect(mnuWindow_, &QMenu::aboutToShow, this, &frmMain::fillWindowList);

    // A menu title that acts itself: a bare action on the menu bar.
    QAction* options = bar->addAction(QStringLiteral("&Настройки"));
    options->setObjectName(QStringLiteral("mnuOptions"));
    connect(options, &QAction::triggered, this, &frmMain::mnuOptions_Click);
    actions_.insert(options->objectName(), options);

    QMenu* help = addMenu(QStringLiteral("mnuHelp"), QStringLiteral("&Help"));
    addItem(help, QStringLiteral("mnuHelpContents"), QStringLiteral("&Contents"),
            &frmMain::mnuHelpContents_Click);
    addItem(help, QStringLiteral("mnuHelpSearchForHelpOn"),
            QStringLiteral("&Search For Help On..."), &frmMain::mnuHelpSearchForHelpOn_Click);
    addSeparator(help, QStringLiteral("mnuHelpBar0"));
    addItem(help, QStringLiteral("mnuHelpAbout"), QStringLiteral("О &Программе"),
            &frmMain::mnuHelpAbout_Click);
    // There is no help file: the whole menu stays out of reach, the about box with it.
    help->menuAction()->setVisible(false);
    help->menuAction()->setEnabled(false);
}

void frmMain::buildToolBar()
{
    tbToolBar_ = addToolBar(QStringLiteral("tbToolBar"));
    tbToolBar_->setObjectName(QStringLiteral("tbToolBar"));
    tbToolBar_->setFloatable(false);
    tbToolBar_->setMovable(false);
    tbToolBar_->setContextMenuPolicy(Qt::PreventContextMenu);
    tbToolBar_->setIconSize(QSize(24, 24));

    struct Button {
        const char* key;
        const char* tip;
        const char* image;
    };
    static const Button buttons[] = {
        {"NewReport", "Новый отчет", "new_report"},
        {"NewRepoReport", "Новый отчет РЕПО", "new_repo_report"},
        {"OpenReport", "Открыть отчет", "open_report"},
        {"OpenRepoReport", "Открыть отчет РЕПО", "open_repo_report"},
        {"SaveReport", "Сохранить отчет", "save_report"},
        {"IssueList", "Справочник ЦБ", "handbook"},
        {"GetIssueList", "Запрос справочника ЦБ", "request_handbook"},
        {"BrowseXML", "Просмотр сообщений", "browse_messages"},
        {"ExpExcel", "Экспорт в MS Excel", "export_spreadsheet"},
    };
    for (const Button& b : buttons) {
        const QString key = QString::fromUtf8(b.key);
        const QString tip = QString::fromUtf8(b.tip);
        QAction* a = tbToolBar_->addAction(icon(QString::fromUtf8(b.image)), tip);
        a->setObjectName(key);
        a->setToolTip(tip);
        connect(a, &QAction::triggered, this, [this, key] { tbToolBar_ButtonClick(key); });
        actions_.insert(key, a);
    }
    // Nothing to save or export before a child window is active.
    action(QStringLiteral("SaveReport"))->setEnabled(false);
    action(QStringLiteral("ExpExcel"))->setEnabled(false);
}

void frmMain::buildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("sbStatusBar"));
    for (int i = 1; i <= 4; ++i) {
        // The handbook path may be long; the other panels are short and keep their whole text.
        auto* label = i == 1 ? new StatusPanel(bar) : new QLabel(bar);
        label->setObjectName(QStringLiteral("sbPanel%1").arg(i));
        label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        label->setContentsMargins(4, 0, 4, 0);
        // The handbook and language panels share the free width; date and time fit their text.
        if (i <= 2)
            bar->addWidget(label, i == 1 ? 3 : 1);
        else
            bar->addPermanentWidget(label);
        panels_.append(label);
    }
}

void frmMain::SetStatusInfo(int panel, const QString& text)
{
    if (panel < 1 || panel > panels_.size())
        return;
    QLabel* label = panels_.at(panel - 1);
    label->setText(text);
    // A long handbook path does not fit a narrow window; the whole text is a hover away.
    if (panel <= 2)
        label->setToolTip(text);
}

QString frmMain::StatusInfo(int panel) const
{
    return panel >= 1 && panel <= panels_.size() ? panels_.at(panel - 1)->text() : QString();
}

void frmMain::UpdateClock()
{
    const QLocale locale = QLocale::system();
    SetStatusInfo(3, locale.toString(QDate::currentDate(), QLocale::ShortFormat));
    SetStatusInfo(4, QTime::currentTime().toString(QStringLiteral("HH:mm")));
}

void frmMain::fillWindowList()
{
    for (QAction* a : std::as_const(windowListActions_)) {
        mnuWindow_->removeAction(a);
        a->deleteLater();
    }
    windowListActions_.clear();
    const QList<QMdiSubWindow*> windows = mdiArea_->subWindowList();
    if (windows.isEmpty())
        return;
    windowListActions_.append(mnuWindow_->addSeparator());
    QMdiSubWindow* current = mdiArea_->currentSubWindow();
    int number = 0;
    for (QMdiSubWindow* sub : windows) {
        ++number;
        QString title = sub->windowTitle();
        title.replace(u'&', QStringLiteral("&&"));
        QAction* a = mnuWindow_->addAction(
            number < 10 ? QStringLiteral("&%1 %2").arg(number).arg(title) : title);
        a->setCheckable(true);
        a->setChecked(sub == current);
        // The entry outlives a window closed meanwhile; a guarded pointer never mistakes a new
        // window made at the old one's address for it.
        connect(a, &QAction::triggered, this, [this, sub = QPointer<QMdiSubWindow>(sub)] {
            if (sub && mdiArea_->subWindowList().contains(sub)) {
                if (sub->isMinimized())
                    sub->showNormal();
                mdiArea_->setActiveSubWindow(sub);
            }
        });
        windowListActions_.append(a);
    }
}

// ---------------------------------------------------------------------------------------------
// Start-up and shutdown

void frmMain::applyPlacement(const MainPlacement& p)
{
    const double dpiX = logicalDpiX();
    const double dpiY = logicalDpiY();
    move(TwipsToPixels(p.left, dpiX), TwipsToPixels(p.top, dpiY));
    resize(TwipsToPixels(p.width, dpiX), TwipsToPixels(p.height, dpiY));
}

MainPlacement frmMain::currentPlacement() const
{
    const double dpiX = logicalDpiX();
    const double dpiY = logicalDpiY();
    MainPlacement p;
    p.left = PixelsToTwips(pos().x(), dpiX);
    p.top = PixelsToTwips(pos().y(), dpiY);
    p.width = PixelsToTwips(width(), dpiX);
    p.height = PixelsToTwips(height(), dpiY);
    return p;
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
    action(QStringLiteral("mnuEDIExpExcel"))->setVisible(false);
    action(QStringLiteral("ExpExcel"))->setVisible(false);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    // The child windows go first; one that refuses (unsaved changes kept) keeps the frame.
    mdiArea_->closeAllSubWindows();
    const QList<QMdiSubWindow*> remaining = mdiArea_->subWindowList();
    for (QMdiSubWindow* sub : remaining) {
        if (!sub->isHidden()) {
            event->ignore();
            return;
        }
    }
    Timer1_->stop();
    tmClock_->stop();
    RunShutdown(*this);
    instanceLock_.release();
    event->accept();
}

// ---------------------------------------------------------------------------------------------
// Child windows

QMdiSubWindow* frmMain::addChildWindow(QWidget* window)
{
    QMdiSubWindow* sub = mdiArea_->addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    sub->show();
    mdiArea_->setActiveSubWindow(sub);
    return sub;
}

QWidget* frmMain::activeWidget() const
{
    QMdiSubWindow* sub = mdiArea_->currentSubWindow();
    return sub ? sub->widget() : nullptr;
}

ChildWindow* frmMain::activeChild() const
{
    return protocolOf(mdiArea_->currentSubWindow());
}

int frmMain::runModal(QDialog& dialog)
{
    if (registry().modal)
        return registry().modal(dialog);
    return Dialogs::RunModal(dialog);
}

int frmMain::newReportCount(ReportKind kind) const
{
    return kind == ReportKind::Repo ? newRepoReports_ : newReports_;
}

void frmMain::Timer1_Timer()
{
    try {
        const auto enable = [this](const char* name, bool on) {
            if (QAction* a = action(QString::fromLatin1(name)))
                a->setEnabled(on);
        };
        if (!mdiArea_->currentSubWindow()) {
            for (const char* name : {"mnuFileSave", "mnuFileSaveAs", "mnuReportSave",
                                     "mnuReportSaveAs", "SaveReport", "mnuEDIExpExcel", "ExpExcel"})
                enable(name, false);
            return;
        }
        // A window that does not speak the protocol is none of the three kinds.
        const ChildWindow* child = activeChild();
        const bool text = child && child->IsTextDocument();
        const bool report = child && child->IsReportDocument();
        const bool viewer = child && child->IsBrowseXMLDocument();
        enable("mnuFileSave", text);
        enable("mnuFileSaveAs", text);
        enable("mnuReportSave", report);
        enable("mnuReportSaveAs", report);
        enable("mnuReportSend", report);
        enable("SaveReport", report);
        enable("mnuEDIExpExcel", viewer);
        enable("ExpExcel", viewer);
    } catch (...) {
        // The next tick tries again.
    }
}

// ---------------------------------------------------------------------------------------------
// Commands

void frmMain::tbToolBar_ButtonClick(const QString& key)
{
    static const std::map<QString, void (frmMain::*)()> commands = {
        {QStringLiteral("NewReport"), &frmMain::mnuReportNew_Click},
        {QStringLiteral("NewRepoReport"), &frmMain::mnuReportNewRepo_Click},
        {QStringLiteral("OpenReport"), &frmMain::mnuReportOpen_Click},
        {QStringLiteral("OpenRepoReport"), &frmMain::mnuReportOpenRepo_Click},
        {QStringLiteral("SaveReport"), &frmMain::mnuReportSave_Click},
        {QStringLiteral("IssueList"), &frmMain::mnuIssueListBrowse_Click},
        {QStringLiteral("GetIssueList"), &frmMain::mnuIssueListRequest_Click},
        {QStringLiteral("BrowseXML"), &frmMain::mnuEDIBrowseIn_Click},
        {QStringLiteral("ExpExcel"), &frmMain::mnuEDIExpExcel_Click},
    };
    const auto it = commands.find(key);
    if (it != commands.end())
        (this->*(it->second))();
}

void frmMain::mnuFileOpen_Click()
{
    RunTrapped(this, kMainTrapCaption, [this] {
        if (frmDocument* document = TextCommands::Open(this))
            addChildWindow(document);
    });
}

void frmMain::mnuFileSave_Click()
{
    RunTrapped(this, kMainTrapCaption, [this] {
        auto* document = dynamic_cast<frmDocument*>(activeWidget());
        if (document && document->IsTextDocument())
            TextCommands::Save(document);
    });
}

void frmMain::mnuFileSaveAs_Click()
{
    RunTrapped(this, kMainTrapCaption, [this] {
        auto* document = dynamic_cast<frmDocument*>(activeWidget());
        if (document && document->IsTextDocument())
            TextCommands::SaveAs(document, this);
    });
}

void frmMain::mnuFilePageSetup_Click()
{
    RunTrapped(this, kMainTrapCaption, [this] { TextCommands::PageSetup(this); });
}

void frmMain::mnuFilePrint_Click()
{
    RunTrapped(this, kMainTrapCaption, [this] {
        auto* document = dynamic_cast<frmDocument*>(activeWidget());
        if (document && document->IsTextDocument())
            TextCommands::Print(document, this);
    });
}

void frmMain::mnuFileUpgrade_Click()
{
    RunTrapped(this, kMainTrapCaption, [this] { RunSettingsUpdate(this); });
}

void frmMain::mnuFileExit_Click()
{
    close();
}

void frmMain::newReport(ReportKind kind)
{
    RunTrapped(this, kMainTrapCaption, [this, kind] {
        const bool repo = kind == ReportKind::Repo;
        int& counter = repo ? newRepoReports_ : newReports_;
        // The counters are 16-bit numbers.
        if (counter >= 32767)
            throw Error(6, QStringLiteral("Overflow"));
        ++counter;
        QWidget* window = makeReportWindow(kind);
        if (!window)
            return;
        addChildWindow(window);
        window->setWindowTitle(
            (repo ? QStringLiteral("[New Report REPO %1]") : QStringLiteral("[New Report %1]"))
                .arg(counter));
    });
}

QWidget* frmMain::makeReportWindow(ReportKind kind)
{
    const WindowFactory& factory = kind == ReportKind::Repo ? registry().repo : registry().ordinary;
    if (!factory)
        return nullptr;
    QWidget* window = factory();
    auto* child = dynamic_cast<ChildWindow*>(window);
    ReportWindow* report = child ? child->asReport() : nullptr;
    if (!report) {
        delete window;
        return nullptr;
    }
    if (report->loadFailed()) {
        // The window has told the user what went wrong; it is never shown.
        window->deleteLater();
        return nullptr;
    }
    return window;
}

void frmMain::openReport(ReportKind kind)
{
    RunTrapped(this, kMainTrapCaption, [this, kind] {
        const bool repo = kind == ReportKind::Repo;
        const QString path =
            Dialogs::OpenFile(this,
                              repo ? QStringLiteral("Загрузить отчет РЕПО из файла")
                                   : QStringLiteral("Загрузить отчет из файла"),
                              QString(), kReportFilter);
        if (path.isEmpty())
            return;

        // A report of this kind already open from this file comes to the front instead. The
        // file name is compared, not the caption: a changed report's caption carries " * ",
        // and a second window on that file would let one save overwrite the other's changes.
        const ChildKind wanted = repo ? ChildKind::RepoReport : ChildKind::Report;
        for (QMdiSubWindow* sub : mdiArea_->subWindowList()) {
            ChildWindow* child = protocolOf(sub);
            ReportWindow* report = child ? child->asReport() : nullptr;
            if (report && child->childKind() == wanted &&
                (sub->widget()->windowTitle() == path || report->fileName() == path)) {
                if (sub->isMinimized())
                    sub->showNormal();
                mdiArea_->setActiveSubWindow(sub);
                sub->raise();
                return;
            }
        }

        QWidget* window = makeReportWindow(kind);
        if (!window)
            return;
        addChildWindow(window);
        dynamic_cast<ChildWindow*>(window)->asReport()->LoadFile(path);
    });
}

void frmMain::mnuReportNew_Click()
{
    newReport(ReportKind::Ordinary);
}

void frmMain::mnuReportNewRepo_Click()
{
    newReport(ReportKind::Repo);
}

void frmMain::mnuReportOpen_Click()
{
    openReport(ReportKind::Ordinary);
}

void frmMain::mnuReportOpenRepo_Click()
{
    openReport(ReportKind::Repo);
}

void frmMain::mnuReportSave_Click()
{
    // The report window reports its own failures.
    try {
        if (ChildWindow* child = activeChild(); child && child->asReport())
            child->asReport()->SaveFile();
    } catch (...) {
    }
}

void frmMain::mnuReportSaveAs_Click()
{
    RunTrapped(this, kMainTrapCaption, [this] {
        ChildWindow* child = activeChild();
        ReportWindow* report = child ? child->asReport() : nullptr;
        if (!report)
            return;
        const QString folder = ResolvePath(
            ReadSetting(QStringLiteral("Path"), QStringLiteral("FolderWork"), QString()));
        const QString path = Dialogs::SaveFile(this, QStringLiteral("Сохранить отчет в файле"),
                                               folder, kReportFilter);
        if (path.isEmpty())
            return;
        report->SaveFileAs(path);
    });
}

void frmMain::mnuReportSend_Click()
{
    RunTrapped(this, kMainTrapCaption, [this] {
        ChildWindow* child = activeChild();
        ReportWindow* report = child ? child->asReport() : nullptr;
        if (!report)
            return;
        const QString name = child->childKind() == ChildKind::RepoReport
                                 ? QStringLiteral("RepoDeals")
                                 : QStringLiteral("Deals");
        RequestData data;
        data.report = &report->lvDeals();
        SendRequest(name, data, this);
    });
}

void frmMain::runHandler(Command command)
{
    RunTrapped(this, kMainTrapCaption, [this, command] {
        const auto it = registry().handlers.find(command);
        if (it != registry().handlers.end() && it->second)
            it->second(*this);
    });
}

void frmMain::mnuRevokeDeal_Click()
{
    runHandler(Command::RevokeDeal);
}

void frmMain::mnuRevokeDealRepo_Click()
{
    runHandler(Command::RevokeDealRepo);
}

void frmMain::mnuIssueListBrowse_Click()
{
    runHandler(Command::HandbookViewer);
}

void frmMain::mnuIssueListFind_Click()
{
    runHandler(Command::HandbookFind);
}

void frmMain::mnuIssueListRequest_Click()
{
    SendRequest(QStringLiteral("GetIssueList"), {}, this);
}

void frmMain::mnuIssueListSubscribe_Click()
{
    SendRequest(QStringLiteral("SubscribeIssueList"), {}, this);
}

void frmMain::mnuIssueListUnsubscribe_Click()
{
    SendRequest(QStringLiteral("UnsubscribeIssueList"), {}, this);
}

void frmMain::mnuEDIBrowseIn_Click()
{
    runHandler(Command::IncomingViewer);
}

void frmMain::mnuEDIExpExcel_Click()
{
    RunTrapped(this, kMainTrapCaption, [this] {
        if (ChildWindow* child = activeChild(); child && child->asViewer())
            child->asViewer()->ExportExcel();
    });
}

void frmMain::mnuViewToolbar_Click()
{
    // The item has already changed its check mark.
    tbToolBar_->setVisible(action(QStringLiteral("mnuViewToolbar"))->isChecked());
}

void frmMain::mnuViewStatusBar_Click()
{
    statusBar()->setVisible(action(QStringLiteral("mnuViewStatusBar"))->isChecked());
}

void frmMain::mnuWindowCascade_Click()
{
    mdiArea_->cascadeSubWindows();
}

void frmMain::tileSubWindows(Qt::Orientation orientation)
{
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* sub : mdiArea_->subWindowList()) {
        if (!sub->isHidden() && !sub->isMinimized())
            windows.append(sub);
    }
    if (windows.isEmpty())
        return;
    const QRect area = mdiArea_->viewport()->rect();
    const int n = int(windows.size());
    for (int i = 0; i < n; ++i) {
        QMdiSubWindow* sub = windows.at(i);
        if (sub->isMaximized())
            sub->showNormal();
        QRect r;
        if (orientation == Qt::Vertical) {
            // One above the other, each the full width.
            const int top = area.height() * i / n;
            const int bottom = area.height() * (i + 1) / n;
            r = QRect(0, top, area.width(), bottom - top);
        } else {
            // Side by side, each the full height.
            const int left = area.width() * i / n;
            const int right = area.width() * (i + 1) / n;
            r = QRect(left, 0, right - left, area.height());
        }
        sub->setGeometry(r);
    }
}

void frmMain::mnuWindowTileHorizontal_Click()
{
    tileSubWindows(Qt::Vertical);
}

void frmMain::mnuWindowTileVertical_Click()
{
    tileSubWindows(Qt::Horizontal);
}

void frmMain::mnuWindowArrangeIcons_Click()
{
    // Minimized child windows in a row along the bottom edge.
    const QRect area = mdiArea_->viewport()->rect();
    int x = 0;
    for (QMdiSubWindow* sub : mdiArea_->subWindowList()) {
        if (!sub->isMinimized())
            continue;
        const QSize size = sub->size();
        sub->move(x, area.height() - size.height());
        x += size.width();
    }
}

void frmMain::mnuOptions_Click()
{
    RunTrapped(this, kMainTrapCaption, [this] {
        frmOptions dialog(this);
        connect(&dialog, &frmOptions::statusInfo, this, &frmMain::SetStatusInfo);
        runModal(dialog);
        SetStatusInfo(2, LanguageStatusText());
    });
}

void frmMain::mnuHelpContents_Click()
{
    Dialogs::Notice(this,
                    QStringLiteral("Unable to display Help Contents. There is no Help associated "
                                   "with this project."),
                    kAppTitle, MessageIcon::Information);
}

void frmMain::mnuHelpSearchForHelpOn_Click()
{
    mnuHelpContents_Click();
}

void frmMain::mnuHelpAbout_Click()
{
    RunTrapped(this, kMainTrapCaption, [this] {
        frmAbout dialog(this);
        runModal(dialog);
    });
}

} // namespace varnel
