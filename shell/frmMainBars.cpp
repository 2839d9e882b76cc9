// The main window's menu bar, toolbar and status bar, built from one table of items.
#include "shell/frmMain.h"

#include "shell/MdiWindows.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <functional>

namespace varnel {
namespace {

using Slot = void (frmMain::*)();
using Keep = QAction* frmMain::Actions::*;

enum class Place {
    Menu,      // a menu of the menu bar
    Item,      // an item of a menu, or of the menu bar itself when it has no menu
    Separator, // a separator line of a menu
    Button,    // a toolbar button
    Panel      // a status bar panel
};

enum Flag : unsigned {
    Hidden = 1,     // not shown from the start
    Disabled = 2,   // enabled when the active child window wants it
    Checked = 4,    // carries a check mark that the user switches
    Elided = 8,     // a panel whose text ends in "…" when the window is too narrow
    Permanent = 16, // a panel at the right end that keeps its whole text
};

struct BarItem {
    Place place;
    const char* menu = nullptr; // the item's menu; null for the menu bar itself
    const char* name = nullptr; // object name: the control name, the button key
    const char* text = nullptr; // caption, tool tip of a button
    Slot slot = nullptr;
    int shortcut = 0; // a combined key, 0 for none
    unsigned flags = 0;
    const char* image = nullptr; // a button's icon
    int stretch = 0;             // the share of a panel in the free width
    Keep keep = nullptr;         // where the window holds the action, when it sets its state
};

constexpr BarItem menu(const char* name, const char* caption, unsigned flags = 0)
{
    return {Place::Menu, nullptr, name, caption, nullptr, 0, flags};
}

constexpr BarItem item(const char* menu, const char* name, const char* caption, Slot slot,
                       unsigned flags = 0, int shortcut = 0, Keep keep = nullptr)
{
    return {Place::Item, menu, name, caption, slot, shortcut, flags, nullptr, 0, keep};
}

constexpr BarItem separator(const char* menu, const char* name)
{
    return {Place::Separator, menu, name};
}

constexpr BarItem button(const char* key, const char* tip, const char* image, Slot slot,
                         unsigned flags = 0, Keep keep = nullptr)
{
    return {Place::Button, nullptr, key, tip, slot, 0, flags, image, 0, keep};
}

constexpr BarItem panel(const char* name, unsigned flags, int stretch = 0)
{
    return {Place::Panel, nullptr, name, nullptr, nullptr, 0, flags, nullptr, stretch};
}

constexpr int ctrl(Qt::Key key)
{
    return (Qt::CTRL | key).toCombined();
}

// The whole command surface, in the order it is shown.
const BarItem kItems[] = {
    menu("mnuFile", "&Файл"),
    item("mnuFile", "mnuFileOpen", "&Открыть...", &frmMain::openTextDocument),
    item("mnuFile", "mnuFileSave", "&Сохранить", &frmMain::saveTextDocument, Disabled, 0,
         &frmMain::Actions::fileSave),
    item("mnuFile", "mnuFileSaveAs", "Сохранить К&ак...", &frmMain::saveTextDocumentAs, Disabled, 0,
         &frmMain::Actions::fileSaveAs),
    item("mnuFile", "mnuFilePageSetup", "Page Set&up...", &frmMain::setUpPrinterPage,
         Hidden | Disabled),
    item("mnuFile", "mnuFilePrint", "&Print...", &frmMain::printTextDocument, Hidden | Disabled),
    separator("mnuFile", "mnuFileBar3"),
    item("mnuFile", "mnuFileUpgrade", "Обновить настройки ...", &frmMain::updateSettingsFile),
    separator("mnuFile", "mnuFileMRU"),
    item("mnuFile", "mnuFileExit", "Вы&ход", &frmMain::exitClient),

    menu("mnuReport", "&Отчеты"),
    item("mnuReport", "mnuReportNew", "&Новый отчет", &frmMain::newDealReport, 0, ctrl(Qt::Key_N)),
    item("mnuReport", "mnuReportNewRepo", "&Новый отчет РЕПО", &frmMain::newRepoReport, Hidden,
         ctrl(Qt::Key_M)),
    item("mnuReport", "mnuReportOpen", "&Открыть отчет ...", &frmMain::openDealReport, 0,
         ctrl(Qt::Key_O)),
    item("mnuReport", "mnuReportOpenRepo", "&Открыть отчет РЕПО...", &frmMain::openRepoReport,
         Hidden, ctrl(Qt::Key_P)),
    item("mnuReport", "mnuReportImport", "&Импорт сделок из файла...", &frmMain::importDeals, 0,
         ctrl(Qt::Key_I)),
    item("mnuReport", "mnuReportSave", "&Сохранить отчет", &frmMain::saveReport, Disabled,
         ctrl(Qt::Key_S), &frmMain::Actions::reportSave),
    item("mnuReport", "mnuReportSaveAs", "Сохранить отчет к&ак ...", &frmMain::saveReportAs,
         Disabled, 0, &frmMain::Actions::reportSaveAs),
    item("mnuReport", "mnuReportExport", "&Экспорт отчета в таблицу", &frmMain::exportReport,
         Disabled, 0, &frmMain::Actions::reportExport),
    separator("mnuReport", "mnuBar4"),
    item("mnuReport", "mnuReportSend", "От&править отчет", &frmMain::sendReport, Disabled, 0,
         &frmMain::Actions::reportSend),
    separator("mnuReport", "mnuBar5"),
    item("mnuReport", "mnuRevokeDeal", "&Запрос на удаление сделки", &frmMain::revokeDeals),
    item("mnuReport", "mnuRevokeDealRepo", "&Запрос на удаление сделки РЕПО",
         &frmMain::revokeRepoDeals, Hidden),

    menu("mnuIssueList", "Справочник &ЦБ"),
    item("mnuIssueList", "mnuIssueListBrowse", "&Просмотр", &frmMain::browseHandbook),
    item("mnuIssueList", "mnuIssueListFind", "&Найти справочник ЦБ", &frmMain::findHandbook),
    item("mnuIssueList", "mnuIssueListRequest", "&Запросить справочник ЦБ",
         &frmMain::requestHandbook),
    separator("mnuIssueList", "mnuILBar1"),
    item("mnuIssueList", "mnuIssueListSubscribe", "По&дписаться на справочник ЦБ",
         &frmMain::subscribeToHandbook),
    item("mnuIssueList", "mnuIssueListUnsubscribe", "&Отказаться от подписки",
         &frmMain::unsubscribeFromHandbook),

    menu("mnuEDI", "&Сообщения"),
    item("mnuEDI", "mnuEDIBrowseIn", "&Просмотр входящих сообщений",
         &frmMain::browseIncomingMessages),
    item("mnuEDI", "mnuEDIJournal", "&Журнал отправок", &frmMain::showSendingJournal),
    item("mnuEDI", "mnuEDIReconcile", "&Сверка с файлом...", &frmMain::reconcileWithFile),
    item("mnuEDI", "mnuEDIExpExcel", "Экспорт в MS E&xcel", &frmMain::exportToSpreadsheet, Disabled,
         0, &frmMain::Actions::exportMenu),

    menu("mnuView", "&Вид"),
    item("mnuView", "mnuViewToolbar", "&Панель инструментов", &frmMain::toggleToolbar, Checked, 0,
         &frmMain::Actions::viewToolbar),
    item("mnuView", "mnuViewToolbarKeys", "&Кнопки панели инструментов", &frmMain::focusToolbar),
    item("mnuView", "mnuViewStatusBar", "&Строка статуса", &frmMain::toggleStatusBar, Checked, 0,
         &frmMain::Actions::viewStatusBar),

    menu("mnuWindow", "&Окна"),
    item("mnuWindow", "mnuWindowCascade", "&Каскадом", &frmMain::cascadeWindows),
    item("mnuWindow", "mnuWindowTileHorizontal", "Черепицей &Горизонтально",
         &frmMain::tileWindowsHorizontally),
    item("mnuWindow", "mnuWindowTileVertical", "Черепицей &Вертикально",
         &frmMain::tileWindowsVertically),
    item("mnuWindow", "mnuWindowArrangeIcons", "&Arrange Icons", &frmMain::arrangeIcons,
         Hidden | Disabled),

    // A menu title that acts itself: a bare item of the menu bar.
    item(nullptr, "mnuOptions", "&Настройки", &frmMain::editOptions),

    // There is no help file: the whole menu stays out of reach, the about box with it.
    menu("mnuHelp", "&Help", Hidden | Disabled),
    item("mnuHelp", "mnuHelpContents", "&Contents", &frmMain::showHelpContents),
    item("mnuHelp", "mnuHelpSearchForHelpOn", "&Search For Help On...", &frmMain::searchHelp),
    separator("mnuHelp", "mnuHelpBar0"),
    item("mnuHelp", "mnuHelpAbout", "О &Программе", &frmMain::showAbout),

    // Nothing to save or export before a child window is active.
    button("NewReport", "Новый отчет", "new_report", &frmMain::newDealReport),
    button("NewRepoReport", "Новый отчет РЕПО", "new_repo_report", &frmMain::newRepoReport),
    button("OpenReport", "Открыть отчет", "open_report", &frmMain::openDealReport),
    button("OpenRepoReport", "Открыть отчет РЕПО", "open_repo_report", &frmMain::openRepoReport),
    button("SaveReport", "Сохранить отчет", "save_report", &frmMain::saveReport, Disabled,
           &frmMain::Actions::saveReportButton),
    // Revocations of both kinds, the repo one reachable here alone (its menu item is hidden).
    button("RevokeDeal", "Запрос на удаление сделки", "revoke_deal", &frmMain::revokeDeals),
    button("RevokeDealRepo", "Запрос на удаление сделки РЕПО", "revoke_repo_deal",
           &frmMain::revokeRepoDeals),
    button("IssueList", "Справочник ЦБ", "handbook", &frmMain::browseHandbook),
    button("GetIssueList", "Запрос справочника ЦБ", "request_handbook", &frmMain::requestHandbook),
    button("BrowseXML", "Просмотр сообщений", "browse_messages", &frmMain::browseIncomingMessages),
    button("ExpExcel", "Экспорт в MS Excel", "export_spreadsheet", &frmMain::exportToSpreadsheet,
           Disabled, &frmMain::Actions::exportButton),

    // The handbook path may be long: it gives way with an ellipsis and shares the free width
    // with the language; date and time keep their whole text at the right end.
    panel("sbPanel1", Elided, 3),
    panel("sbPanel2", 0, 1),
    panel("sbPanel3", Permanent),
    panel("sbPanel4", Permanent),
};

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// A status bar panel whose text, when the window is too narrow for it, ends in "…" instead of
// being cut off mid-letter; the whole text stays in text() and in the tool tip.
class ElidedPanel : public QLabel {
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
                         fontMetrics().elidedText(QLabel::text(), Qt::ElideRight, r.width()));
    }
};

// The toolbar from the keyboard: "Кнопки панели инструментов" puts the focus on its first
// button; the arrows move along the shown buttons, Enter or Space presses one, Escape and Tab
// go back to the window the user came from.
class ToolbarKeys : public QObject {
public:
    ToolbarKeys(QToolBar& bar, std::function<void()> leave)
        : QObject(&bar), bar_(bar), leave_(std::move(leave))
    {
    }

    QList<QToolButton*> buttons() const
    {
        QList<QToolButton*> out;
        for (QAction* a : bar_.actions()) {
            auto* b = qobject_cast<QToolButton*>(bar_.widgetForAction(a));
            if (b && a->isVisible() && a->isEnabled())
                out.append(b);
        }
        return out;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* button = qobject_cast<QToolButton*>(watched);
        if (!button || event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const QList<QToolButton*> shown = buttons();
        const int at = int(shown.indexOf(button));
        switch (key->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right: {
            if (shown.isEmpty())
                return true;
            const int step = key->key() == Qt::Key_Right ? 1 : -1;
            const int n = int(shown.size());
            shown[((at < 0 ? 0 : at + step) % n + n) % n]->setFocus(Qt::TabFocusReason);
            return true;
        }
        case Qt::Key_Return:
        case Qt::Key_Enter: button->click(); return true;
        case Qt::Key_Escape:
        case Qt::Key_Tab:
        case Qt::Key_Backtab: leave_(); return true;
        default: return false;
        }
    }

private:
    QToolBar& bar_;
    std::function<void()> leave_;
};

} // namespace

void frmMain::buildBars()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));

    tbToolBar_ = addToolBar(QStringLiteral("tbToolBar"));
    tbToolBar_->setObjectName(QStringLiteral("tbToolBar"));
    tbToolBar_->setFloatable(false);
    tbToolBar_->setMovable(false);
    tbToolBar_->setContextMenuPolicy(Qt::PreventContextMenu);
    tbToolBar_->setIconSize(QSize(24, 24));

    QStatusBar* status = statusBar();
    status->setObjectName(QStringLiteral("sbStatusBar"));

    QHash<QString, QMenu*> menus;
    for (const BarItem& it : kItems) {
        const QString name = text(it.name);
        QAction* a = nullptr;
        switch (it.place) {
        case Place::Menu: {
            QMenu* m = bar->addMenu(text(it.text));
            m->setObjectName(name);
            menus.insert(name, m);
            a = m->menuAction();
            break;
        }
        case Place::Item: {
            QMenu* m = it.menu ? menus.value(text(it.menu)) : nullptr;
            a = m ? m->addAction(text(it.text)) : bar->addAction(text(it.text));
            if (it.shortcut) {
                a->setShortcut(QKeySequence(QKeyCombination::fromCombined(it.shortcut)));
                a->setShortcutContext(Qt::WindowShortcut);
            }
            break;
        }
        case Place::Separator: a = menus.value(text(it.menu))->addSeparator(); break;
        case Place::Button: {
            a = tbToolBar_->addAction(
                QIcon(QStringLiteral(":/icons/") + text(it.image) + QStringLiteral(".svg")),
                text(it.text));
            a->setToolTip(text(it.text));
            connect(a, &QAction::triggered, this, [this, name] { pressToolbarButton(name); });
            break;
        }
        case Place::Panel: {
            auto* label = (it.flags & Elided) ? new ElidedPanel(status) : new QLabel(status);
            label->setObjectName(name);
            label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
            label->setContentsMargins(4, 0, 4, 0);
            if (it.flags & Permanent)
                status->addPermanentWidget(label);
            else
                status->addWidget(label, it.stretch);
            panels_.append(label);
            statusTexts_.append(QString());
            continue;
        }
        }
        a->setObjectName(name);
        if (it.slot && it.place == Place::Item)
            connect(a, &QAction::triggered, this, it.slot);
        if (it.flags & Checked) {
            a->setCheckable(true);
            a->setChecked(true);
        }
        if (it.flags & Hidden)
            a->setVisible(false);
        if (it.flags & Disabled)
            a->setEnabled(false);
        if (it.keep)
            actions_.*it.keep = a;
    }

    toolbarKeys_ = new ToolbarKeys(*tbToolBar_, [this] { focusActiveChild(); });
    for (QAction* a : tbToolBar_->actions()) {
        if (QWidget* b = tbToolBar_->widgetForAction(a))
            b->installEventFilter(toolbarKeys_);
    }

    // Ctrl+F4 closes the active child window too, as it does in other programs, besides the
    // platform's own key for it.
    const QKeySequence ctrlF4(QKeyCombination(Qt::CTRL, Qt::Key_F4));
    if (!QKeySequence::keyBindings(QKeySequence::Close).contains(ctrlF4)) {
        auto* closeChild = new QAction(this);
        closeChild->setObjectName(QStringLiteral("actCloseChild"));
        closeChild->setShortcut(ctrlF4);
        closeChild->setShortcutContext(Qt::WindowShortcut);
        connect(closeChild, &QAction::triggered, mdiArea_, &QMdiArea::closeActiveSubWindow);
        addAction(closeChild);
    }

    mnuWindow_ = menus.value(QStringLiteral("mnuWindow"));
    connect(mnuWindow_, &QMenu::aboutToShow, this,
            [this] { FillWindowList(*mnuWindow_, *mdiArea_, windowListActions_); });
}

void frmMain::focusToolbar()
{
    if (!tbToolBar_->isVisible())
        return;
    const QList<QToolButton*> shown = static_cast<ToolbarKeys*>(toolbarKeys_)->buttons();
    if (!shown.isEmpty())
        shown.first()->setFocus(Qt::ShortcutFocusReason);
}

void frmMain::focusActiveChild()
{
    QMdiSubWindow* sub = mdiArea_->activeSubWindow();
    QWidget* child = sub ? sub->widget() : nullptr;
    if (!child) {
        mdiArea_->setFocus(Qt::OtherFocusReason);
        return;
    }
    // Where the focus was last in that window, or its first control that takes it.
    QWidget* target = child->focusWidget();
    if (!target || !target->isVisible() || !target->isEnabled()) {
        target = child;
        for (QWidget* w = child->nextInFocusChain(); w != child && child->isAncestorOf(w);
             w = w->nextInFocusChain()) {
            if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)) {
                target = w;
                break;
            }
        }
    }
    target->setFocus(Qt::OtherFocusReason);
}

void frmMain::pressToolbarButton(const QString& key)
{
    for (const BarItem& it : kItems) {
        if (it.place == Place::Button && key == text(it.name)) {
            (this->*it.slot)();
            return;
        }
    }
}

QSize frmMain::firstRunSize() const
{
    // Room for a text window (640 x 480, its own size) below the bars, and the whole menu bar:
    // at the default 6500 twips "Настройки" would hide behind the overflow chevron.
    const QSize room(640, 480);
    const int bars = menuBar()->sizeHint().height() + tbToolBar_->sizeHint().height() +
                     statusBar()->sizeHint().height();
    return {std::max(room.width(), menuBar()->sizeHint().width()), room.height() + bars};
}

} // namespace varnel
