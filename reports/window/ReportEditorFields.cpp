// The report window's controls: the grid, the fields of the panel with their checks, the pick
// button and the date picker.
#include "reports/window/ReportEditorWindow.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/PickSeam.h"
#include "core/Values.h"
#include "reports/FieldFormat.h"
#include "reports/ReportModel.h"
#include "ui/DatePicker.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFrame>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolTip>

#include <cmath>

namespace varnel {
namespace {

const char* const kSlotProperty = "slot";
const QString kPickTip = QStringLiteral("Список значений (F4 или Alt+Вниз)");

// The keys that open a field's pick list from the field itself.
bool IsPickKey(const QKeyEvent& key)
{
    const Qt::KeyboardModifiers mods =
        key.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    return (key.key() == Qt::Key_F4 && mods == Qt::NoModifier) ||
           (key.key() == Qt::Key_Down && mods == Qt::AltModifier);
}

QDate today()
{
    return QDate::currentDate();
}

// A field caption that fits its place: a title too long for it ends in "…" instead of being cut
// off at its start, and the whole title shows as a tool tip.
class FieldLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    bool cut() const { return fontMetrics().horizontalAdvance(text()) > contentsRect().width(); }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRect r = contentsRect();
        QString shown = text();
        if (cut()) {
            const int gap = fontMetrics().horizontalAdvance(QStringLiteral("  "));
            shown = fontMetrics().elidedText(shown.trimmed(), Qt::ElideRight,
                                             std::max(r.width() - gap, 0)) +
                    QStringLiteral("  ");
        }
        painter.drawText(r, int(alignment()), shown);
    }

    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::ToolTip && cut()) {
            QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), text().trimmed(), this);
            return true;
        }
        return QLabel::event(e);
    }
};

} // namespace

void ReportEditorWindow::createControls()
{
    lvDeals_ = new QTableView(this);
    lvDeals_->setObjectName(QStringLiteral("lvDeals"));
    lvDeals_->setModel(&document_->rows());
    lvDeals_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvDeals_->setSelectionMode(QAbstractItemView::SingleSelection);
    lvDeals_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvDeals_->setWordWrap(false);
    // Tab leaves the grid for the panel; the arrows move through the rows.
    lvDeals_->setTabKeyNavigation(false);
    lvDeals_->setAlternatingRowColors(true);
    lvDeals_->verticalHeader()->hide();
    lvDeals_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvDeals_->verticalHeader()->setDefaultSectionSize(lvDeals_->fontMetrics().height() + 6);
    lvDeals_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    lvDeals_->horizontalHeader()->setHighlightSections(false);
    lvDeals_->horizontalHeader()->setStretchLastSection(false);
    connect(lvDeals_, &QTableView::clicked, this,
            [this](const QModelIndex& index) { showDealOfRow(index.row()); });
    connect(lvDeals_, &QTableView::doubleClicked, this, [this](const QModelIndex&) {
        showDealAt(lvDeals_->viewport()->mapFromGlobal(QCursor::pos()));
    });
    // Moving through the rows with the keyboard shows each deal as a click does.
    connect(lvDeals_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (lvDeals_->hasFocus() && current.isValid())
                    showDealOfRow(current.row());
            });

    grpEdit_ = new QFrame(this);
    grpEdit_->setObjectName(QStringLiteral("grpEdit"));
    grpEdit_->setFrameShape(QFrame::StyledPanel);
    // The panel's rows are 300 twips apart, as the layout rules fix them: its text is set a
    // little smaller than the grid's so that the captions fit beside their fields.
    QFont panelFont = grpEdit_->font();
    if (panelFont.pointSizeF() > 8.5)
        panelFont.setPointSizeF(panelFont.pointSizeF() - 1);
    grpEdit_->setFont(panelFont);

    const int slotCount = TraitsOf(kind_).slotCount;
    for (int i = 0; i < slotCount; ++i) {
        auto* label = new FieldLabel(grpEdit_);
        label->setObjectName(QStringLiteral("lblEdit_%1").arg(i));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->hide();
        auto* box = new QLineEdit(grpEdit_);
        box->setObjectName(QStringLiteral("txtEdit_%1").arg(i));
        box->setProperty(kSlotProperty, i);
        box->installEventFilter(this);
        box->hide();
        lblEdit_.append(label);
        txtEdit_.append(box);
    }

    const auto makeButton = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, grpEdit_);
        b->setObjectName(QLatin1String(name));
        // Enter on a focused button presses it, as Space does.
        b->setAutoDefault(true);
        b->setFocusPolicy(Qt::StrongFocus);
        return b;
    };
    cmdAdd_ = makeButton("cmdAdd", QStringLiteral("&добавить"));
    cmdEdit_ = makeButton("cmdEdit", QStringLiteral("&изменить"));
    cmdDel_ = makeButton("cmdDel", QStringLiteral("&удалить"));
    cmdClear_ = makeButton("cmdClear", QStringLiteral("о&чистить поля"));
    connect(cmdAdd_, &QPushButton::clicked, this, &ReportEditorWindow::addDeal);
    connect(cmdEdit_, &QPushButton::clicked, this, &ReportEditorWindow::changeSelectedDeal);
    connect(cmdDel_, &QPushButton::clicked, this, &ReportEditorWindow::deleteSelectedDeal);
    connect(cmdClear_, &QPushButton::clicked, this, &ReportEditorWindow::clearFields);
    // Change and delete follow the number of deals (showEnabling).
    cmdEdit_->setEnabled(false);
    cmdDel_->setEnabled(false);

    cmdPick_ = makeButton("cmdPick", QStringLiteral("..."));
    cmdPick_->setToolTip(kPickTip);
    cmdPick_->hide();
    connect(cmdPick_, &QPushButton::clicked, this, &ReportEditorWindow::pickIntoField);

    if (kind_ == ReportKind::Deals) {
        dtPickDate_ = new DatePicker(grpEdit_);
        dtPickDate_->hide();
        // Tab and Shift+Tab leave the picker for the fields beside the one it stands for.
        connect(dtPickDate_, &DatePicker::tabbed, this, [this](bool forward) {
            if (pickerSlot_ < 0)
                return;
            const int step = forward ? 1 : -1;
            QWidget* next = forward ? cmdAdd_ : nullptr;
            for (int i = pickerSlot_ + step; i >= 0 && i < int(txtEdit_.size()); i += step) {
                if (editor_->columnOfSlot(i)) {
                    next = txtEdit_[i];
                    break;
                }
            }
            if (next)
                next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        });
    }

    picEdit_ = new QLabel(grpEdit_);
    picEdit_->setObjectName(QStringLiteral("picEdit"));
    picEdit_->setPixmap(style()
                            ->standardIcon(kind_ == ReportKind::Repo
                                               ? QStyle::SP_FileDialogListView
                                               : QStyle::SP_FileDialogDetailedView)
                            .pixmap(32, 32));
    picEdit_->setAlignment(Qt::AlignCenter);

    stbInfo_ = new QStatusBar(this);
    stbInfo_->setObjectName(QStringLiteral("stbInfo"));
    stbInfo_->setSizeGripEnabled(false);
    stbPanel1_ = new QLabel(stbInfo_);
    stbPanel1_->setObjectName(QStringLiteral("stbInfoPanel1"));
    stbPanel1_->setMinimumWidth(px(1800));
    stbPanel2_ = new QLabel(stbInfo_);
    stbPanel2_->setObjectName(QStringLiteral("stbInfoPanel2"));
    stbInfo_->addWidget(stbPanel1_);
    stbInfo_->addWidget(stbPanel2_, 1);

    // The document's state by name, for whoever looks for it there (followDocument keeps them).
    for (QLabel** state : {&lblFileName_, &lblChanged_, &lblLoadFail_}) {
        *state = new QLabel(this);
        (*state)->hide();
    }
    lblFileName_->setObjectName(QStringLiteral("lblFileName"));
    lblChanged_->setObjectName(QStringLiteral("lblChanged"));
    lblChanged_->setText(QStringLiteral("0"));
    lblLoadFail_->setObjectName(QStringLiteral("lblLoadFail"));
    lblLoadFail_->setText(QStringLiteral("0"));
}

void ReportEditorWindow::showFields()
{
    const ReportModel& model = document_->rows();
    for (int c = 0; c < model.columnCount(); ++c)
        lvDeals_->horizontalHeader()->resizeSection(c, px(model.column(c).widthTwips));
    for (const ReportColumn& c : model.columns()) {
        if (c.slot < 0)
            continue;
        QLabel* label = lblEdit_[c.slot];
        label->setText(c.title + QStringLiteral("   "));
        label->setProperty("tag", c.name);
        label->show();
        QLineEdit* box = txtEdit_[c.slot];
        box->setProperty("tag", c.name);
        box->setAlignment((c.alignment & Qt::AlignRight) ? Qt::AlignRight : Qt::AlignLeft);
        box->setToolTip(c.pick.isEmpty() ? QString() : kPickTip);
        box->show();
    }
}

// ---------------------------------------------------------------------------------------------
// Editor panel

QString ReportEditorWindow::slotText(int slot) const
{
    const QLineEdit* box = txtEdit_.value(slot);
    return box ? box->text() : QString();
}

void ReportEditorWindow::setSlotText(int slot, const QString& text)
{
    if (QLineEdit* box = txtEdit_.value(slot)) {
        box->setText(text);
        box->setCursorPosition(0);
    }
}

bool ReportEditorWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        const QVariant slot = watched->property(kSlotProperty);
        if (slot.isValid() && slot.toInt() == pickSlot_ && cmdPick_->isVisible() &&
            IsPickKey(*static_cast<QKeyEvent*>(event))) {
            // The override is taken so that no shortcut of the main window eats the key.
            event->accept();
            if (event->type() == QEvent::KeyPress)
                pickIntoField();
            return true;
        }
    }
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        const QVariant slot = watched->property(kSlotProperty);
        if (slot.isValid()) {
            const auto* focus = static_cast<QFocusEvent*>(event);
            const int i = slot.toInt();
            if (event->type() == QEvent::FocusIn) {
                // Backwards out of the picker: past its field, not into the picker again.
                if (focus->reason() == Qt::BacktabFocusReason && pickerSlot_ == i) {
                    closeDatePicker();
                    focusNextPrevChild(false);
                    return false;
                }
                if (!refocusing_)
                    enterField(i);
            } else if (focus->reason() != Qt::ActiveWindowFocusReason &&
                       focus->reason() != Qt::PopupFocusReason && !refocusing_) {
                // Into the picker over a date field: the picker gives the field its value.
                if (!(dtPickDate_ && dtPickDate_->holds(QApplication::focusWidget())))
                    leaveField(i);
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ReportEditorWindow::setCurrentLabel(int slot)
{
    if (QLabel* old = lblEdit_.value(boldSlot_)) {
        QFont f = old->font();
        f.setBold(false);
        old->setFont(f);
    }
    boldSlot_ = slot;
    if (QLabel* label = lblEdit_.value(slot)) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
}

void ReportEditorWindow::showPickButton(int slot)
{
    QLineEdit* box = txtEdit_[slot];
    const QRect g = box->geometry();
    const int narrowed = px(standardWidth_ - kPickWidthTwips);
    box->resize(narrowed, g.height());
    cmdPick_->setGeometry(g.x() + narrowed, g.y(), px(kPickWidthTwips), g.height());
    cmdPick_->show();
    cmdPick_->raise();
    pickSlot_ = slot;
}

void ReportEditorWindow::hidePickButton()
{
    cmdPick_->hide();
    if (QLineEdit* box = txtEdit_.value(pickSlot_))
        box->resize(px(standardWidth_), box->height());
    pickSlot_ = -1;
}

void ReportEditorWindow::openDatePicker(int slot)
{
    QLineEdit* box = txtEdit_[slot];
    dtPickDate_->setGeometry(box->x() - px(60), box->y() - px(60), px(standardWidth_ + 60),
                             box->height() + px(120));
    dtPickDate_->raise();
}

void ReportEditorWindow::enterField(int slot)
{
    const ReportColumn* column = editor_->columnOfSlot(slot);
    if (!column)
        return;
    // Another field's picker is done with.
    if (pickerSlot_ >= 0 && pickerSlot_ != slot)
        closeDatePicker();
    for (int i = 0; i < int(txtEdit_.size()); ++i) {
        if (i != slot && txtEdit_[i]->width() != px(standardWidth_))
            txtEdit_[i]->resize(px(standardWidth_), txtEdit_[i]->height());
    }
    setCurrentLabel(slot);
    currentSlot_ = slot;

    if (dtPickDate_ && column->type == u"D") {
        hidePickButton();
        const QString text = txtEdit_[slot]->text();
        // The picker shows the field's date (today's when the field is empty); a text that
        // names no date stays as it stands, for the field check to judge unless the user
        // changes it.
        if (TrimSpaces(text).isEmpty()) {
            dtPickDate_->setValue(today(), true);
        } else {
            try {
                dtPickDate_->setValue(ParseDate(text), true);
            } catch (const Error&) {
                dtPickDate_->setText(text, true);
            }
        }
        pickerSlot_ = slot;
        pickerEntered_ = false;
        openDatePicker(slot);
        dtPickDate_->show();
        // Once the focus change that brought us here has finished.
        QTimer::singleShot(0, this, [this, slot] {
            if (pickerSlot_ == slot)
                dtPickDate_->setFocus(Qt::TabFocusReason);
        });
        return;
    }
    if (column->pick.isEmpty()) {
        hidePickButton();
        return;
    }
    if (pickSlot_ >= 0 && pickSlot_ != slot)
        hidePickButton();
    showPickButton(slot);
    cmdPick_->setProperty("tag", column->pick);
    currentFieldName_ = column->name;
}

void ReportEditorWindow::leaveField(int slot)
{
    if (slot == pickSlot_ && QApplication::focusWidget() != cmdPick_)
        hidePickButton();
    pendingCheck_ = slot;
    deferPendingCheck();
}

void ReportEditorWindow::deferPendingCheck()
{
    QTimer::singleShot(0, this, [this] {
        // Focus that went to another window leaves the check for the next command here.
        QWidget* focus = QApplication::focusWidget();
        if (!focus || !isAncestorOf(focus))
            return;
        runPendingCheck();
    });
}

bool ReportEditorWindow::runPendingCheck()
{
    if (pendingCheck_ < 0)
        return true;
    return checkField(std::exchange(pendingCheck_, -1));
}

bool ReportEditorWindow::checkField(int slot)
{
    const FieldCheck check = editor_->checkField(slot, today());
    if (check.passed())
        return true;
    Dialogs::Critical(this, check.failure, kAppTitle);
    if (QLineEdit* box = txtEdit_.value(slot); box && box->isVisible()) {
        refocusing_ = true;
        box->setFocus(Qt::OtherFocusReason);
        refocusing_ = false;
        enterField(slot);
    }
    return false;
}

void ReportEditorWindow::followPickerFocus(QWidget* old, QWidget* now)
{
    if (!dtPickDate_ || pickerSlot_ < 0)
        return;
    if (dtPickDate_->holds(now))
        pickerEntered_ = true;
    else if (now && pickerEntered_ && dtPickDate_->holds(old))
        closeDatePicker();
}

void ReportEditorWindow::closeDatePicker()
{
    if (!dtPickDate_ || pickerSlot_ < 0)
        return;
    const int slot = std::exchange(pickerSlot_, -1);
    pickerEntered_ = false;
    // The picker never replaces what the user typed with another date: a text that names a
    // date goes into the field in the field's format, any other text as typed, and the field
    // check then refuses it.
    bool check = false;
    if (const ReportColumn* column = editor_->columnOfSlot(slot)) {
        const QDate date = dtPickDate_->value();
        if (!dtPickDate_->isChecked()) {
            setSlotText(slot, QString());
        } else if (date.isValid()) {
            setSlotText(slot, FormatDatePicture(date, column->format));
        } else {
            setSlotText(slot, dtPickDate_->text());
            check = true;
        }
    }
    dtPickDate_->setGeometry(px(pickerHome_.x()), px(pickerHome_.y()), px(kPickerWidthHiddenTwips),
                             dtPickDate_->height());
    dtPickDate_->hide();
    if (check) {
        pendingCheck_ = slot;
        deferPendingCheck();
    }
}

void ReportEditorWindow::focusFirstField()
{
    // After the frame has given the activated window its own focus.
    QTimer::singleShot(0, this, [this] {
        // Another child window made active meanwhile keeps the focus: taking it here would
        // bring this window back in front of the one the user just opened.
        const auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
        if (sub && sub->mdiArea() && sub->mdiArea()->activeSubWindow() != sub)
            return;
        // The first shown field takes the focus (slot 0 unless the layout hides it).
        for (int slot = 0; slot < int(txtEdit_.size()); ++slot) {
            if (editor_->columnOfSlot(slot)) {
                txtEdit_[slot]->setFocus(Qt::ActiveWindowFocusReason);
                if (!txtEdit_[slot]->hasFocus()) {
                    // The main window is not active yet (a dialog had the activation): the
                    // field takes the focus once it is, not the window the focus left.
                    enterField(slot);
                    firstFieldPending_ = true;
                }
                break;
            }
        }
    });
}

void ReportEditorWindow::pickIntoField()
{
    if (!runPendingCheck())
        return;
    const QString source = cmdPick_->property("tag").toString();
    if (source.isEmpty() || pickSlot_ < 0)
        return;
    const int slot = pickSlot_;
    PickRequest request;
    request.source = source;
    request.currentText = txtEdit_[slot]->text();
    const QPoint corner =
        grpEdit_->mapToGlobal(QPoint(cmdPick_->x() + cmdPick_->width(), cmdPick_->y()));
    request.xTwips = int(std::lround(twips(corner.x())));
    request.yTwips = int(std::lround(twips(corner.y())));
    request.settingsKey = QStringLiteral("Pick_") + currentFieldName_;
    request.parent = this;
    const PickList list = PickListOf(source);
    if (list == PickList::Fixed)
        request.currentText.clear();
    const QString result = Pick(list, request);
    editor_->applyPick(slot, result);
    if (txtEdit_[slot]->isVisible())
        txtEdit_[slot]->setFocus(Qt::OtherFocusReason);
}

} // namespace varnel
