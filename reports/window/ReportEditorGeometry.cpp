// The report window's geometry: the arrangement of the grid, the panel and its fields by the
// layout rules in twips, and the window's placement in the per-user store.
#include "reports/window/ReportEditorWindow.h"

#include "core/AppContext.h"
#include "core/SettingKeys.h"
#include "core/Settings.h"
#include "core/Twips.h"
#include "reports/ReportModel.h"
#include "ui/DatePicker.h"
#include "ui/WindowPlacement.h"

#include <QEvent>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>

#include <cmath>

namespace varnel {
namespace {

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

int rowsOf(ReportKind kind, int columns)
{
    if (kind == ReportKind::Deals)
        return kDealLeftRows;
    const int slotCount = TraitsOf(kind).slotCount;
    return columns == 1 ? slotCount : (slotCount + 1) / 2;
}

// The shared placement of both report kinds in the per-user store.
WindowPlacement placementRecord()
{
    return WindowPlacement(kAppTitle + QStringLiteral("_Reports"), WindowPlacement::kDefaultTwips);
}

} // namespace

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

void ReportEditorWindow::arrangeFirst()
{
    arrange(12000, kind_ == ReportKind::Repo ? 10500 : 8500, true);
    // Rounded up, so that the smallest window is no narrower than its rules need.
    // The one-column arrangement of the repo window is the tallest.
    setMinimumSize(
        px(kMinWidth) + 1,
        px(panelHeightTwips(1) + kMargin + 2 * kGap + statusHeightTwips() + kGridMinHeight) + 1);
}

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
                                     px(kPickerWidthHiddenTwips), px(kRowHeight + 120));
        }
    }
}

void ReportEditorWindow::arrangeControls()
{
    if (!layoutLoaded_)
        return;
    arrange(int(std::lround(twips(width()))), int(std::lround(twips(height()))), false);
}

void ReportEditorWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    arrangeControls();
}

// ---------------------------------------------------------------------------------------------
// Placement

bool ReportEditorWindow::event(QEvent* event)
{
    // The main window active again after this window asked for the focus in vain.
    if (event->type() == QEvent::WindowActivate && std::exchange(firstFieldPending_, false))
        focusFirstField();
    // Put into a frame window: its activation is this window's activation.
    if (event->type() == QEvent::ParentChange) {
        auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
        if (sub && sub != activationSource_) {
            activationSource_ = sub;
            connect(sub, &QMdiSubWindow::windowStateChanged, this,
                    [this](Qt::WindowStates old, Qt::WindowStates now) {
                        if (now.testFlag(Qt::WindowActive) && !old.testFlag(Qt::WindowActive))
                            focusFirstField();
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
    RestoreChildPlacement(*this, placementRecord());
}

void ReportEditorWindow::savePlacement()
{
    SaveChildPlacement(*this, placementRecord());
}

void ReportEditorWindow::saveColumnWidths()
{
    QList<GridColumnWidth> widths;
    for (int c = 0; c < document_->rows().columnCount(); ++c)
        widths.append({document_->rows().column(c).descriptor,
                       double(std::lround(twips(lvDeals_->horizontalHeader()->sectionSize(c))))});
    SaveColumnWidths(widths, QLatin1String(settings::kReportGridSection));
}

} // namespace varnel
