#include "reports/ReportEditorWindow.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/PickSeam.h"
#include "core/PlacementStore.h"
#include "core/Settings.h"
#include "core/Twips.h"
#include "core/Values.h"
#include "messages/DocumentWriters.h"
#include "reports/FieldFormat.h"
#include "reports/ReportFile.h"
#include "reports/ReportModel.h"
#include "ui/DatePicker.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
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

const QString kChangedMarker = QStringLiteral(" * ");
const QString kReportFilter = QStringLiteral("xml-files (*.xml);;all files (*.*)");
const QString kNoDealSelected = QStringLiteral("Не выбрана текущая сделка");
const char* const kSlotProperty = "slot";

// The shared placement of both report kinds in the per-user store.
QString placementApplication()
{
    return kAppTitle + QStringLiteral("_Reports");
}

// Geometry of the editor panel, in twips.
constexpr int kMinWidth = 7700;
constexpr int kMargin = 20;
constexpr int kGap = 40;
constexpr int kFirstRowTop = 240;
constexpr int kRowPitch = 300;
constexpr int kRowHeight = 285;
constexpr int kLabelLeft = 120;
constexpr int kBoxLeft = 1605;
constexpr int kLabelWidth = 1440;
constexpr int kLabelSlack = 90;
constexpr int kPickWidth = 285;
constexpr int kButtonHeight = 375;
constexpr int kButtonGapAbove = 135;
constexpr int kPanelBottom = 120;
constexpr int kIconSize = 480;
constexpr int kGridMinHeight = 1800;
// Deal window: fifteen rows on the left, the rest on the right.
constexpr int kDealLeftRows = 15;
// Repo window: text boxes of a fixed width, in one column of 24 rows or two of 12.
constexpr int kRepoBoxWidth = 3000;
constexpr int kRepoRightLabel = kBoxLeft + kRepoBoxWidth + 300;
constexpr int kRepoRightBox = kRepoRightLabel + kBoxLeft - kLabelLeft;
constexpr int kPickerWidthHidden = 3000;

int rowsOf(ReportKind kind, int columns)
{
    if (kind == ReportKind::Deals)
        return kDealLeftRows;
    const int slotCount = TraitsOf(kind).slotCount;
    return columns == 1 ? slotCount : (slotCount + 1) / 2;
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

ReportEditorWindow::ReportEditorWindow(ReportKind kind, QWidget* parent)
    : QWidget(parent), kind_(kind)
{
    setObjectName(QLatin1String(TraitsOf(kind).windowName));
    setAttribute(Qt::WA_DeleteOnClose, false);
    model_ = new ReportModel(kind == ReportKind::Repo, this);
    editor_.reset(new ReportEditor(kind, *model_, *this));
    createControls();
    connect(qApp, &QApplication::focusChanged, this, &ReportEditorWindow::onFocusChanged);
    buildFromLayout();
}

ReportEditorWindow::~ReportEditorWindow()
{
    // Destroying the child widgets moves the focus; the window must no longer hear of it, its
    // own members being gone by then.
    if (qApp)
        disconnect(qApp, nullptr, this, nullptr);
}

ChildKind ReportEditorWindow::childKind() const
{
    return kind_ == ReportKind::Repo ? ChildKind::RepoReport : ChildKind::Report;
}

int ReportEditorWindow::px(double tw) const
{
    return TwipsToPixels(tw, logicalDpiX());
}

double ReportEditorWindow::twips(int pixels) const
{
    return PixelsToTwips(pixels, logicalDpiX());
}

QSize ReportEditorWindow::sizeHint() const
{
    return {px(12000), px(kind_ == ReportKind::Repo ? 10500 : 8500)};
}

// ---------------------------------------------------------------------------------------------
// Building

void ReportEditorWindow::createControls()
{
    lvDeals_ = new QTableView(this);
    lvDeals_->setObjectName(QStringLiteral("lvDeals"));
    lvDeals_->setModel(model_);
    lvDeals_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvDeals_->setSelectionMode(QAbstractItemView::SingleSelection);
    lvDeals_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvDeals_->setWordWrap(false);
    lvDeals_->setAlternatingRowColors(true);
    lvDeals_->verticalHeader()->hide();
    lvDeals_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvDeals_->verticalHeader()->setDefaultSectionSize(lvDeals_->fontMetrics().height() + 6);
    lvDeals_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    lvDeals_->horizontalHeader()->setHighlightSections(false);
    lvDeals_->horizontalHeader()->setStretchLastSection(false);
    connect(lvDeals_, &QTableView::clicked, this,
            [this](const QModelIndex& index) { lvDeals_Click(index.row()); });
    connect(lvDeals_, &QTableView::doubleClicked, this, [this](const QModelIndex&) {
        lvDeals_DblClick(lvDeals_->viewport()->mapFromGlobal(QCursor::pos()));
    });
    // Moving through the rows with the keyboard shows each deal as a click does.
    connect(lvDeals_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (lvDeals_->hasFocus() && current.isValid())
                    lvDeals_Click(current.row());
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
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::StrongFocus);
        return b;
    };
    cmdAdd_ = makeButton("cmdAdd", QStringLiteral("добавить"));
    cmdEdit_ = makeButton("cmdEdit", QStringLiteral("изменить"));
    cmdDel_ = makeButton("cmdDel", QStringLiteral("удалить"));
    cmdClear_ = makeButton("cmdClear", QStringLiteral("очистить поля"));
    connect(cmdAdd_, &QPushButton::clicked, this, &ReportEditorWindow::cmdAdd_Click);
    connect(cmdEdit_, &QPushButton::clicked, this, &ReportEditorWindow::cmdEdit_Click);
    connect(cmdDel_, &QPushButton::clicked, this, &ReportEditorWindow::cmdDel_Click);
    connect(cmdClear_, &QPushButton::clicked, this, &ReportEditorWindow::cmdClear_Click);
    cmdEdit_->setEnabled(false);
    cmdDel_->setEnabled(false);

    cmdPick_ = makeButton("cmdPick", QStringLiteral("..."));
    cmdPick_->setToolTip(QStringLiteral("Список значений"));
    cmdPick_->hide();
    connect(cmdPick_, &QPushButton::clicked, this, &ReportEditorWindow::cmdPick_Click);

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

    for (QLabel** state : {&lblFileName_, &lblChanged_, &lblLoadFail_}) {
        *state = new QLabel(this);
        (*state)->hide();
    }
    lblFileName_->setObjectName(QStringLiteral("lblFileName"));
    lblChanged_->setObjectName(QStringLiteral("lblChanged"));
    lblChanged_->setText(QStringLiteral("0"));
    lblLoadFail_->setObjectName(QStringLiteral("lblLoadFail"));
    lblLoadFail_->setText(QStringLiteral("0"));

    tmEnabling_ = new QTimer(this);
    tmEnabling_->setObjectName(QStringLiteral("tmEnabling"));
    tmEnabling_->setInterval(1000);
    connect(tmEnabling_, &QTimer::timeout, this, &ReportEditorWindow::tmEnabling_Timer);
    tmEnabling_->start();
}

void ReportEditorWindow::buildFromLayout()
{
    model_->setColumns({ReportColumn::rowNumber()});
    for (int i = 0; i < int(txtEdit_.size()); ++i) {
        lblEdit_[i]->hide();
        txtEdit_[i]->hide();
    }
    try {
        layout_ = ReadReportLayout(LayoutPathOf(kind_), TraitsOf(kind_).slotCount);
    } catch (const Error& e) {
        // The window is never shown: the main window discards it.
        lblLoadFail_->setText(QStringLiteral("1"));
        Dialogs::Critical(this, e.description(), kAppTitle);
        return;
    }

    QList<ReportColumn> columns{ReportColumn::rowNumber()};
    for (const LayoutField& f : layout_.fields) {
        if (!f.visible)
            continue;
        ReportColumn c = ReportColumn::of(f);
        if (!f.name.isEmpty())
            c.widthTwips = ReadSettingInt(QStringLiteral("Grid_Reports"), f.name, f.widthTwips);
        columns.append(c);
    }
    model_->setColumns(columns);
    editor_->bindColumns();
    for (int c = 0; c < int(columns.size()); ++c)
        lvDeals_->horizontalHeader()->resizeSection(c, px(columns.at(c).widthTwips));

    for (const ReportColumn& c : columns) {
        if (c.slot < 0)
            continue;
        QLabel* label = lblEdit_[c.slot];
        label->setText(c.title + QStringLiteral("   "));
        label->setProperty("tag", c.name);
        label->show();
        QLineEdit* box = txtEdit_[c.slot];
        box->setProperty("tag", c.name);
        box->setAlignment((c.alignment & Qt::AlignRight) ? Qt::AlignRight : Qt::AlignLeft);
        box->show();
    }
    editor_->fillInitialValues(today());
    editor_->applyDefaultParticipant();
    layoutLoaded_ = true;

    // A design arrangement until the window gets its size.
    arrange(12000, kind_ == ReportKind::Repo ? 10500 : 8500, true);
    // Rounded up, so that the smallest window is no narrower than its rules need.
    // The one-column arrangement of the repo window is the tallest.
    setMinimumSize(
        px(kMinWidth) + 1,
        px(panelHeightTwips(1) + kMargin + 2 * kGap + statusHeightTwips() + kGridMinHeight) + 1);
    showCount();
}

// ---------------------------------------------------------------------------------------------
// Geometry

int ReportEditorWindow::statusHeightTwips() const
{
    return int(std::lround(twips(stbInfo_->sizeHint().height())));
}

int ReportEditorWindow::panelHeightTwips(int columns) const
{
    const int rows = rowsOf(kind_, columns);
    return kFirstRowTop + (rows - 1) * kRowPitch + kRowHeight + kButtonGapAbove + kButtonHeight +
           kPanelBottom;
}

void ReportEditorWindow::placeSlot(int slot, int labelLeft, int boxLeft, int top, int boxWidth)
{
    // Captions are right-justified against their field; a long one (a bold one) may use the
    // margin to the left of its column before it has to be shortened.
    lblEdit_[slot]->setGeometry(px(labelLeft - kLabelSlack), px(top), px(kLabelWidth + kLabelSlack),
                                px(kRowHeight));
    txtEdit_[slot]->setGeometry(px(boxLeft), px(top), px(boxWidth), px(kRowHeight));
}

void ReportEditorWindow::arrange(int clientWidth, int clientHeight, bool force)
{
    const int status = statusHeightTwips();
    stbInfo_->setGeometry(0, height() - stbInfo_->sizeHint().height(), width(),
                          stbInfo_->sizeHint().height());
    const int gridWidth = clientWidth - 2 * kMargin;
    const int panel = gridWidth;
    // The repo window shows its fields in two columns when two fit beside each other.
    int columns = editorColumns_;
    if (kind_ == ReportKind::Repo) {
        const int pair = 2 * (kBoxLeft + kRepoBoxWidth);
        columns = pair > panel - 1500 ? 1 : pair < panel - 1500 ? 2 : editorColumns_;
    }
    const int panelHeight = panelHeightTwips(columns);
    const int gridHeight = clientHeight - panelHeight - 2 * kGap - status;
    if (!force && (clientWidth < kMinWidth || gridHeight < 0))
        return;

    lvDeals_->setGeometry(px(kMargin), px(kMargin), px(gridWidth), px(std::max(gridHeight, 0)));
    const int panelTop = kMargin + std::max(gridHeight, 0) + kGap;
    grpEdit_->setGeometry(px(kMargin), px(panelTop), px(gridWidth), px(panelHeight));

    int buttonsTop = 0;
    if (kind_ == ReportKind::Deals) {
        standardWidth_ = std::max((panel - 4000) / 2, 600);
        const int rightLabel = (panel - 4000) / 2 + 1750;
        const int rightBox = (panel - 4000) / 2 + 3200;
        for (int slot = 0; slot < int(txtEdit_.size()); ++slot) {
            const bool left = slot < kDealLeftRows;
            const int row = left ? slot : slot - kDealLeftRows;
            placeSlot(slot, left ? kLabelLeft : rightLabel, left ? kBoxLeft : rightBox,
                      kFirstRowTop + row * kRowPitch, standardWidth_);
        }
        buttonsTop = kFirstRowTop + (kDealLeftRows - 1) * kRowPitch + kRowHeight + kButtonGapAbove;
    } else {
        standardWidth_ = kRepoBoxWidth;
        if (force || columns != editorColumns_) {
            editorColumns_ = columns;
            const int rows = rowsOf(kind_, editorColumns_);
            for (int slot = 0; slot < int(txtEdit_.size()); ++slot) {
                const bool left = slot < rows;
                const int row = left ? slot : slot - rows;
                placeSlot(slot, left ? kLabelLeft : kRepoRightLabel,
                          left ? kBoxLeft : kRepoRightBox, kFirstRowTop + row * kRowPitch,
                          standardWidth_);
            }
        }
        buttonsTop = kFirstRowTop + (rowsOf(kind_, editorColumns_) - 1) * kRowPitch + kRowHeight +
                     kButtonGapAbove;
    }

    int x = kLabelLeft;
    for (QPushButton* b : {cmdAdd_, cmdEdit_, cmdDel_, cmdClear_}) {
        const int w = b == cmdClear_ ? 1800 : 1500;
        b->setGeometry(px(x), px(buttonsTop), px(w), px(kButtonHeight));
        x += w + 60;
    }
    picEdit_->setGeometry(px(panel - kIconSize - kLabelLeft),
                          px(buttonsTop + kButtonHeight - kIconSize), px(kIconSize), px(kIconSize));

    // The pick button and the picker follow their field.
    if (pickSlot_ >= 0 && cmdPick_->isVisible())
        showPickButton(pickSlot_);
    if (dtPickDate_) {
        if (pickerSlot_ >= 0) {
            openDatePicker(pickerSlot_);
        } else {
            pickerHome_ = QPoint(kBoxLeft, kFirstRowTop);
            dtPickDate_->setGeometry(px(pickerHome_.x()), px(pickerHome_.y()),
                                     px(kPickerWidthHidden), px(kRowHeight + 120));
        }
    }
}

void ReportEditorWindow::Form_Resize()
{
    if (!layoutLoaded_)
        return;
    arrange(int(std::lround(twips(width()))), int(std::lround(twips(height()))), false);
}

void ReportEditorWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

// ---------------------------------------------------------------------------------------------
// Placement

bool ReportEditorWindow::event(QEvent* event)
{
    // Put into a frame window: its activation is this window's activation.
    if (event->type() == QEvent::ParentChange) {
        auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
        if (sub && sub != activationSource_) {
            activationSource_ = sub;
            connect(sub, &QMdiSubWindow::windowStateChanged, this,
                    [this](Qt::WindowStates old, Qt::WindowStates now) {
                        if (now.testFlag(Qt::WindowActive) && !old.testFlag(Qt::WindowActive))
                            Form_Activate();
                    });
        }
    }
    return QWidget::event(event);
}

void ReportEditorWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (placementRestored_ || !layoutLoaded_)
        return;
    placementRestored_ = true;
    restorePlacement();
}

void ReportEditorWindow::restorePlacement()
{
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    // A frame whose windows are maximized shows a new one maximized as well.
    if (!sub || sub->isMaximized())
        return;
    const QString app = placementApplication();
    if (PlacementStore::Read(app, QStringLiteral("Maximized"), QStringLiteral("0")) == u"1") {
        sub->showMaximized();
        return;
    }
    const auto value = [&](const char* key, int def) {
        bool ok = false;
        const double v =
            PlacementStore::Read(app, QLatin1String(key), QString::number(def)).toDouble(&ok);
        return ok ? v : double(def);
    };
    const QRect r(px(value("MainLeft", 1000)), px(value("MainTop", 1000)),
                  px(value("MainWidth", 6500)), px(value("MainHeight", 6500)));
    sub->setGeometry(r.x(), r.y(), std::max(r.width(), sub->minimumSizeHint().width()),
                     std::max(r.height(), sub->minimumSizeHint().height()));
}

void ReportEditorWindow::savePlacement()
{
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (!sub || sub->isMinimized())
        return;
    const QString app = placementApplication();
    PlacementStore::Write(app, QStringLiteral("Maximized"),
                          sub->isMaximized() ? QStringLiteral("1") : QStringLiteral("0"));
    const QRect g = sub->geometry();
    const auto write = [&](const char* key, int pixels) {
        PlacementStore::Write(app, QLatin1String(key), QString::number(std::lround(twips(pixels))));
    };
    write("MainLeft", g.x());
    write("MainTop", g.y());
    write("MainWidth", g.width());
    write("MainHeight", g.height());
}

void ReportEditorWindow::saveColumnWidths()
{
    QList<GridColumnWidth> widths;
    for (int c = 0; c < model_->columnCount(); ++c)
        widths.append({model_->column(c).descriptor,
                       double(std::lround(twips(lvDeals_->horizontalHeader()->sectionSize(c))))});
    SaveColumnWidths(widths, QStringLiteral("Grid_Reports"));
}

// ---------------------------------------------------------------------------------------------
// Document state

bool ReportEditorWindow::loadFailed() const
{
    return lblLoadFail_->text() == u"1";
}

QString ReportEditorWindow::fileName() const
{
    return lblFileName_->text();
}

bool ReportEditorWindow::isChanged() const
{
    return lblChanged_->text() == u"1";
}

const ReportTable& ReportEditorWindow::lvDeals() const
{
    return *model_;
}

bool ReportEditorWindow::IsReportCorrect(QString& errorText) const
{
    return varnel::IsReportCorrect(*model_, errorText);
}

QString ReportEditorWindow::statusText(int panel) const
{
    return panel == 1 ? stbPanel1_->text() : stbPanel2_->text();
}

void ReportEditorWindow::showCount()
{
    stbPanel1_->setText(QStringLiteral("Записей: ") + QString::number(model_->rows()));
}

void ReportEditorWindow::markChanged()
{
    lblChanged_->setText(QStringLiteral("1"));
    if (!windowTitle().contains(kChangedMarker))
        setWindowTitle(windowTitle() + kChangedMarker);
    showCount();
}

QPushButton* ReportEditorWindow::button(const QString& name) const
{
    return grpEdit_->findChild<QPushButton*>(name);
}

int ReportEditorWindow::selectedRow() const
{
    const QModelIndexList rows = lvDeals_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ReportEditorWindow::selectRow(int row)
{
    if (row < 0 || row >= model_->rows()) {
        lvDeals_->clearSelection();
        return;
    }
    const QModelIndex index = model_->index(row, 0);
    lvDeals_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                           QItemSelectionModel::Rows);
    lvDeals_->scrollTo(index);
}

// ---------------------------------------------------------------------------------------------
// Loading and saving

void ReportEditorWindow::LoadFile(const QString& path)
{
    lblFileName_->setText(path);
    setWindowTitle(path);
    model_->clearRows();
    if (QFileInfo::exists(path)) {
        stbPanel2_->setText(QStringLiteral("Загружается файл ") + path + QStringLiteral("..."));
        stbPanel2_->repaint();
        try {
            model_->resetRows(ReadReportRows(path, model_->columns()));
        } catch (const Error& e) {
            showCount();
            stbPanel2_->clear();
            Dialogs::Critical(this, e.description(), kAppTitle);
            return;
        }
        lvDeals_->setFocus();
        if (model_->rows() > 0) {
            selectRow(0);
            editor_->showDeal(0);
        }
    }
    showCount();
    stbPanel2_->clear();
    model_->renumberRows();
}

bool ReportEditorWindow::saveTo(const QString& path)
{
    try {
        QString error;
        if (!IsReportCorrect(error))
            Fail(error);
        WriteDealsXml(path, *model_);
    } catch (const Error& e) {
        stbPanel2_->setText(e.description());
        if (!e.description().isEmpty())
            Dialogs::Critical(this, e.description(), kAppTitle);
        return false;
    }
    lblChanged_->setText(QStringLiteral("0"));
    setWindowTitle(path);
    stbPanel2_->clear();
    return true;
}

bool ReportEditorWindow::SaveFile()
{
    if (fileName().isEmpty()) {
        const QString folder =
            ResolvePath(ReadSetting(QStringLiteral("Path"), QStringLiteral("FolderWork"), {}));
        const QString chosen =
            Dialogs::SaveFile(this, QStringLiteral("Save Report As"), folder, kReportFilter);
        if (chosen.isEmpty())
            return false;
        lblFileName_->setText(chosen);
    }
    return saveTo(fileName());
}

bool ReportEditorWindow::SaveFileAs(const QString& path)
{
    if (!saveTo(path))
        return false;
    lblFileName_->setText(path);
    return true;
}

bool ReportEditorWindow::confirmClose()
{
    if (!isChanged())
        return true;
    switch (Dialogs::AskYesNoCancel(this,
                                    QStringLiteral("Вы внесли изменения в отчет. Сохранить файл ") +
                                        fileName() + QStringLiteral(" ?"),
                                    kAppTitle)) {
    case Answer::Yes: return SaveFile();
    case Answer::No: lblChanged_->setText(QStringLiteral("0")); return true;
    default: return false;
    }
}

void ReportEditorWindow::closeEvent(QCloseEvent* event)
{
    if (!confirmClose()) {
        event->ignore();
        return;
    }
    if (layoutLoaded_ && !loadFailed()) {
        saveColumnWidths();
        savePlacement();
    }
    tmEnabling_->stop();
    event->accept();
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
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        const QVariant slot = watched->property(kSlotProperty);
        if (slot.isValid()) {
            const auto* focus = static_cast<QFocusEvent*>(event);
            const int i = slot.toInt();
            if (event->type() == QEvent::FocusIn) {
                // Backwards out of the picker: past its field, not into the picker again.
                if (focus->reason() == Qt::BacktabFocusReason && pickerSlot_ == i) {
                    dtPickDate_LostFocus();
                    focusNextPrevChild(false);
                    return false;
                }
                if (!refocusing_)
                    txtEdit_GotFocus(i);
            } else if (focus->reason() != Qt::ActiveWindowFocusReason &&
                       focus->reason() != Qt::PopupFocusReason && !refocusing_) {
                // Into the picker over a date field: the picker gives the field its value.
                if (!(dtPickDate_ && dtPickDate_->holds(QApplication::focusWidget())))
                    txtEdit_LostFocus(i);
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
    const int narrowed = px(standardWidth_ - kPickWidth);
    box->resize(narrowed, g.height());
    cmdPick_->setGeometry(g.x() + narrowed, g.y(), px(kPickWidth), g.height());
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

void ReportEditorWindow::txtEdit_GotFocus(int slot)
{
    const ReportColumn* column = editor_->columnOfSlot(slot);
    if (!column)
        return;
    // Another field's picker is done with.
    if (pickerSlot_ >= 0 && pickerSlot_ != slot)
        dtPickDate_LostFocus();
    for (int i = 0; i < int(txtEdit_.size()); ++i) {
        if (i != slot && txtEdit_[i]->width() != px(standardWidth_))
            txtEdit_[i]->resize(px(standardWidth_), txtEdit_[i]->height());
    }
    setCurrentLabel(slot);
    currentSlot_ = slot;

    if (dtPickDate_ && column->type == u"D") {
        hidePickButton();
        QDate value = today();
        const QString text = TrimSpaces(txtEdit_[slot]->text());
        if (!text.isEmpty()) {
            try {
                value = ParseDate(text);
            } catch (const Error&) {
            }
        }
        pickerSlot_ = slot;
        pickerEntered_ = false;
        dtPickDate_->setValue(value, true);
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

void ReportEditorWindow::txtEdit_LostFocus(int slot)
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
    return txtEdit_Validate(std::exchange(pendingCheck_, -1));
}

bool ReportEditorWindow::txtEdit_Validate(int slot)
{
    const FieldCheck check = editor_->checkField(slot, today());
    if (check.passed())
        return true;
    Dialogs::Critical(this, check.failure, kAppTitle);
    if (QLineEdit* box = txtEdit_.value(slot); box && box->isVisible()) {
        refocusing_ = true;
        box->setFocus(Qt::OtherFocusReason);
        refocusing_ = false;
        txtEdit_GotFocus(slot);
    }
    return false;
}

void ReportEditorWindow::onFocusChanged(QWidget* old, QWidget* now)
{
    if (!dtPickDate_ || pickerSlot_ < 0)
        return;
    if (dtPickDate_->holds(now))
        pickerEntered_ = true;
    else if (now && pickerEntered_ && dtPickDate_->holds(old))
        dtPickDate_LostFocus();
}

void ReportEditorWindow::dtPickDate_LostFocus()
{
    if (!dtPickDate_ || pickerSlot_ < 0)
        return;
    const int slot = std::exchange(pickerSlot_, -1);
    pickerEntered_ = false;
    if (const ReportColumn* column = editor_->columnOfSlot(slot)) {
        setSlotText(slot, dtPickDate_->isChecked()
                              ? FormatDatePicture(dtPickDate_->value(), column->format)
                              : QString());
    }
    dtPickDate_->setGeometry(px(pickerHome_.x()), px(pickerHome_.y()), px(kPickerWidthHidden),
                             dtPickDate_->height());
    dtPickDate_->hide();
}

void ReportEditorWindow::Form_Activate()
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
                if (!txtEdit_[slot]->hasFocus())
                    txtEdit_GotFocus(slot);
                break;
            }
        }
    });
}

// ---------------------------------------------------------------------------------------------
// Commands

bool ReportEditorWindow::refused(const QString& failure)
{
    if (failure.isEmpty())
        return false;
    Dialogs::Critical(this, failure, kAppTitle);
    return true;
}

void ReportEditorWindow::cmdAdd_Click()
{
    if (!runPendingCheck())
        return;
    int row = -1;
    if (refused(editor_->addDeal(&row)))
        return;
    markChanged();
    selectRow(row);
}

void ReportEditorWindow::cmdEdit_Click()
{
    if (!runPendingCheck())
        return;
    const int row = selectedRow();
    if (row < 0) {
        refused(kNoDealSelected);
        return;
    }
    if (refused(editor_->changeDeal(row)))
        return;
    markChanged();
}

void ReportEditorWindow::cmdDel_Click()
{
    const int row = selectedRow();
    if (row < 0) {
        refused(kNoDealSelected);
        return;
    }
    if (Dialogs::AskYesNo(this, QStringLiteral("Удалить текущую сделку ?"), kAppTitle) !=
        Answer::Yes)
        return;
    pendingCheck_ = -1; // the editors are about to show another deal
    editor_->deleteDeal(row);
    const int next = std::min(row, model_->rows() - 1);
    selectRow(next);
    if (next >= 0)
        editor_->showDeal(next);
    lvDeals_->setFocus();
    markChanged();
}

void ReportEditorWindow::cmdClear_Click()
{
    pendingCheck_ = -1;
    editor_->clearFields(today());
}

void ReportEditorWindow::cmdPick_Click()
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

void ReportEditorWindow::tmEnabling_Timer()
{
    try {
        const bool rows = model_->rows() > 0;
        cmdEdit_->setEnabled(rows);
        cmdDel_->setEnabled(rows);
    } catch (...) {
    }
}

void ReportEditorWindow::lvDeals_Click(int row)
{
    if (!runPendingCheck())
        return;
    editor_->showDeal(row);
}

void ReportEditorWindow::lvDeals_DblClick(const QPoint& viewportPos)
{
    const QModelIndex index = lvDeals_->indexAt(viewportPos);
    if (!index.isValid())
        return;
    if (!runPendingCheck())
        return;
    selectRow(index.row());
    editor_->showDeal(index.row());
}

} // namespace varnel
