// The main window's menu bar, toolbar and status bar, built from one table of items.
#include "shell/frmMain.h"

#include "shell/MdiWindows.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QToolBar>

#include <algorithm>

namespace varnel {
namespace {

using Slot = void (frmMain::*)();

enum class Place {
    Menu,      // a menu of the menu bar
    Item,      // an item of a menu, or of the menu bar itself when it has no menu
    Separator, // a separator line of a menu
    Button,    // a toolbar button
    Panel      // a status bar panel
};

enum Flag : unsigned {
    Hidden = 1,     // not shown from the start
    Disabled = 2,   // enabled later by the enabling timer
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
};

constexpr BarItem menu(const char* name, const char* caption, unsigned flags = 0)
{
    return {Place::Menu, nullptr, name, caption, nullptr, 0, flags};
}

constexpr BarItem item(const char* menu, const char* name, const char* caption, Slot slot,
                       unsigned flags = 0, int shortcut = 0)
{
    return {Place::Item, menu, name, caption, slot, shortcut, flags};
}

constexpr BarItem separator(const char* menu, const char* name)
{
    return {Place::Separator, menu, name};
}

constexpr BarItem button(const char* key, const char* tip, const char* image, Slot slot,
                         unsigned flags = 0)
{
    return {Place::Button, nullptr, key, tip, slot, 0, flags, image};
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
    item("mnuFile", "mnuFileOpen", "&Открыть...", &frmMain::mnuFileOpen_Click),
    item("mnuFile", "mnuFileSave", "&Сохранить", &frmMain::mnuFileSave_Click, Disabled),
    item("mnuFile", "mnuFileSaveAs", "Сохранить К&ак...", &frmMain::mnuFileSaveAs_Click, Disabled),
    item("mnuFile", "mnuFilePageSetup", "Page Set&up...", &frmMain::mnuFilePageSetup_Click,
         Hidden | Disabled),
    item("mnuFile", "mnuFilePrint", "&Print...", &frmMain::mnuFilePrint_Click, Hidden | Disabled),
    separator("mnuFile", "mnuFileBar3"),
    item("mnuFile", "mnuFileUpgrade", "Обновить настройки ...", &frmMain::mnuFileUpgrade_Click),
    separator("mnuFile", "mnuFileMRU"),
    item("mnuFile", "mnuFileExit", "Вы&ход", &frmMain::mnuFileExit_Click),

    menu("mnuReport", "&Отчеты"),
    item("mnuReport", "mnuReportNew", "&Новый отчет", &frmMain::mnuReportNew_Click, 0,
         ctrl(Qt::Key_N)),
    item("mnuReport", "mnuReportNewRepo", "&Новый отчет РЕПО", &frmMain::mnuReportNewRepo_Click,
         Hidden, ctrl(Qt::Key_M)),
    item("mnuReport", "mnuReportOpen", "&Открыть отчет ...", &frmMain::mnuReportOpen_Click, 0,
         ctrl(Qt::Key_O)),
    item("mnuReport", "mnuReportOpenRepo", "&Открыть отчет РЕПО...",
         &frmMain::mnuReportOpenRepo_Click, Hidden, ctrl(Qt::Key_P)),
    item("mnuReport", "mnuReportSave", "&Сохранить отчет", &frmMain::mnuReportSave_Click, Disabled,
         ctrl(Qt::Key_S)),
    item("mnuReport", "mnuReportSaveAs", "Сохранить отчет к&ак ...",
         &frmMain::mnuReportSaveAs_Click, Disabled),
    separator("mnuReport", "mnuBar4"),
    item("mnuReport", "mnuReportSend", "От&править отчет", &frmMain::mnuReportSend_Click, Disabled),
    separator("mnuReport", "mnuBar5"),
    item("mnuReport", "mnuRevokeDeal", "&Запрос на удаление сделки", &frmMain::mnuRevokeDeal_Click),
    item("mnuReport", "mnuRevokeDealRepo", "&Запрос на удаление сделки РЕПО",
         &frmMain::mnuRevokeDealRepo_Click, Hidden),

    menu("mnuIssueList", "Справочник &ЦБ"),
    item("mnuIssueList", "mnuIssueListBrowse", "&Просмотр", &frmMain::mnuIssueListBrowse_Click),
    item("mnuIssueList", "mnuIssueListFind", "&Найти справочник ЦБ",
         &frmMain::mnuIssueListFind_Click),
    item("mnuIssueList", "mnuIssueListRequest", "&Запросить справочник ЦБ",
         &frmMain::mnuIssueListRequest_Click),
    separator("mnuIssueList", "mnuILBar1"),
    item("mnuIssueList", "mnuIssueListSubscribe", "По&дписаться на справочник ЦБ",
         &frmMain::mnuIssueListSubscribe_Click),
    item("mnuIssueList", "mnuIssueListUnsubscribe", "&Отказаться от подписки",
         &frmMain::mnuIssueListUnsubscribe_Click),

    menu("mnuEDI", "&Сообщения"),
    item("mnuEDI", "mnuEDIBrowseIn", "&Просмотр входящих сообщений",
         &frmMain::mnuEDIBrowseIn_Click),
    item("mnuEDI", "mnuEDIExpExcel", "Экспорт в MS E&xcel", &frmMain::mnuEDIExpExcel_Click,
         Disabled),

    menu("mnuView", "&Вид"),
    item("mnuView", "mnuViewToolbar", "&Панель инструментов", &frmMain::mnuViewToolbar_Click,
         Checked),
    item("mnuView", "mnuViewStatusBar", "&Строка статуса", &frmMain::mnuViewStatusBar_Click,
         Checked),

    menu("mnuWindow", "&Окна"),
    item("mnuWindow", "mnuWindowCascade", "&Каскадом", &frmMain::mnuWindowCascade_Click),
    item("mnuWindow", "mnuWindowTileHorizontal", "Черепицей &Горизонтально",
         &frmMain::mnuWindowTileHorizontal_Click),
    item("mnuWindow", "mnuWindowTileVertical", "Черепицей &Вертикально",
         &frmMain::mnuWindowTileVertical_Click),
    item("mnuWindow", "mnuWindowArrangeIcons", "&Arrange Icons",
         &frmMain::mnuWindowArrangeIcons_Click, Hidden | Disabled),

    // A menu title that acts itself: a bare item of the menu bar.
    item(nullptr, "mnuOptions", "&Настройки", &frmMain::mnuOptions_Click),

    // There is no help file: the whole menu stays out of reach, the about box with it.
    menu("mnuHelp", "&Help", Hidden | Disabled),
    item("mnuHelp", "mnuHelpContents", "&Contents", &frmMain::mnuHelpContents_Click),
    item("mnuHelp", "mnuHelpSearchForHelpOn", "&Search For Help On...",
         &frmMain::mnuHelpSearchForHelpOn_Click),
    separator("mnuHelp", "mnuHelpBar0"),
    item("mnuHelp", "mnuHelpAbout", "О &Программе", &frmMain::mnuHelpAbout_Click),

    // Nothing to save or export before a child window is active.
    button("NewReport", "Новый отчет", "new_report", &frmMain::mnuReportNew_Click),
    button("NewRepoReport", "Новый отчет РЕПО", "new_repo_report",
           &frmMain::mnuReportNewRepo_Click),
    button("OpenReport", "Открыть отчет", "open_report", &frmMain::mnuReportOpen_Click),
    button("OpenRepoReport", "Открыть отчет РЕПО", "open_repo_report",
           &frmMain::mnuReportOpenRepo_Click),
    button("SaveReport", "Сохранить отчет", "save_report", &frmMain::mnuReportSave_Click, Disabled),
    button("IssueList", "Справочник ЦБ", "handbook", &frmMain::mnuIssueListBrowse_Click),
    button("GetIssueList", "Запрос справочника ЦБ", "request_handbook",
           &frmMain::mnuIssueListRequest_Click),
    button("BrowseXML", "Просмотр сообщений", "browse_messages", &frmMain::mnuEDIBrowseIn_Click),
    button("ExpExcel", "Экспорт в MS Excel", "export_spreadsheet", &frmMain::mnuEDIExpExcel_Click,
           Disabled),

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
            connect(a, &QAction::triggered, this, [this, name] { tbToolBar_ButtonClick(name); });
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
        actions_.insert(name, a);
    }

    mnuWindow_ = menus.value(QStringLiteral("mnuWindow"));
    connect(mnuWindow_, &QMenu::aboutToShow, this,
            [this] { FillWindowList(*mnuWindow_, *mdiArea_, windowListActions_); });
}

QAction* frmMain::action(const QString& name) const
{
    return actions_.value(name);
}

void frmMain::tbToolBar_ButtonClick(const QString& key)
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
