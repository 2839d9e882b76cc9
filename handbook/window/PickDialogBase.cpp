#include "handbook/window/PickDialogBase.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/Settings.h"
#include "core/Twips.h"
#include "core/Values.h"
#include "handbook/PickModel.h"
#include "ui/RowDelegate.h"
#include "ui/WindowPlacement.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>

#include <optional>

namespace varnel {
namespace {

std::optional<QRect> g_screenArea;

// Pixels kept clear at the right and bottom edges of the screen.
constexpr int kEdgeMarginPixels = 100;

} // namespace

PickDialogBase::PickDialogBase(QWidget* parent, const QSize& designTwips)
    : QDialog(parent), designTwips_(designTwips)
{
    setWindowTitle(QStringLiteral("Выбор из справочника"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);
    setMinimumSize(240, 160);

    model_ = new PickModel(this);
    lvGrid_ = new QTableView(this);
    lvGrid_->setObjectName(QStringLiteral("lvGrid"));
    lvGrid_->setModel(model_);
    // A report list: rows of one height, no grid lines, no row numbers.
    lvGrid_->setShowGrid(false);
    lvGrid_->setItemDelegate(new RowDelegate(lvGrid_));
    lvGrid_->setWordWrap(false);
    lvGrid_->setCornerButtonEnabled(false);
    lvGrid_->verticalHeader()->hide();
    lvGrid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvGrid_->verticalHeader()->setDefaultSectionSize(lvGrid_->fontMetrics().height() + 4);
    lvGrid_->horizontalHeader()->setHighlightSections(false);
    lvGrid_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lvGrid_->setSelectionMode(QAbstractItemView::SingleSelection);
    lvGrid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvGrid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvGrid_->setTextElideMode(Qt::ElideRight);
    // The last column takes what is left of the dialog's width, no middle one.
    lvGrid_->horizontalHeader()->setStretchLastSection(true);
    lvGrid_->horizontalHeader()->setSectionsMovable(false);
    lvGrid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);

    OKButton_ = new QPushButton(QStringLiteral("OK"), this);
    OKButton_->setObjectName(QStringLiteral("OKButton"));
    CancelButton_ = new QPushButton(QStringLiteral("Отмена"), this);
    CancelButton_->setObjectName(QStringLiteral("CancelButton"));
    // The list fills the dialog; Enter, a double click and Esc do the buttons' work.
    OKButton_->setVisible(false);
    CancelButton_->setVisible(false);
    OKButton_->setAutoDefault(false);
    CancelButton_->setAutoDefault(false);
    connect(OKButton_, &QPushButton::clicked, this, &PickDialogBase::pickSelectedRow);

    resize(toPixels(designTwips_.width()), toPixels(designTwips_.height()));
}

PickDialogBase::~PickDialogBase() = default;

void PickDialogBase::SetScreenAreaForTesting(const QRect& area)
{
    if (area.isValid())
        g_screenArea = area;
    else
        g_screenArea.reset();
}

double PickDialogBase::twipsPerPixel() const
{
    return PixelsToTwips(1, logicalDpiX());
}

int PickDialogBase::toPixels(double twips) const
{
    return TwipsToPixels(twips, logicalDpiX());
}

QString PickDialogBase::storeApplication() const
{
    return kAppTitle + settingsKey_;
}

WindowPlacement PickDialogBase::sizeRecord() const
{
    // The size alone, under the list's own key: "<key>Width" and "<key>Height".
    return WindowPlacement(storeApplication(), QRectF(QPointF(), QSizeF(designTwips_)),
                           settingsKey_);
}

QString PickDialogBase::gridSection() const
{
    return QStringLiteral("Grid_") + settingsKey_;
}

void PickDialogBase::beginPick(const QString& settingsKey)
{
    settingsKey_ = settingsKey;
    result_.clear();
}

void PickDialogBase::restoreSize()
{
    WindowPlacement record = sizeRecord();
    record.read();
    sizeTwips_ = record.twips().size();
    const QRect pixels = record.pixels(logicalDpiX(), logicalDpiY());
    resize(pixels.width(), pixels.height());
}

void PickDialogBase::placeAt(int xTwips, int yTwips)
{
    QRect area;
    if (g_screenArea) {
        area = *g_screenArea;
    } else {
        const QPoint corner(toPixels(xTwips), toPixels(yTwips));
        QScreen* screen = QGuiApplication::screenAt(corner);
        if (!screen)
            screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
        if (screen)
            area = screen->availableGeometry();
    }
    double x = xTwips;
    double y = yTwips;
    if (area.isValid()) {
        const double dpi = logicalDpiX();
        const double widthLimit = PixelsToTwips(area.x() + area.width() - kEdgeMarginPixels, dpi);
        const double heightLimit = PixelsToTwips(area.y() + area.height() - kEdgeMarginPixels, dpi);
        // The window's frame is not known before it is first shown; the owner's frame, drawn
        // by the same window manager, stands for it.
        QSize frame(0, 0);
        if (const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
            owner && owner->isVisible())
            frame = (owner->frameGeometry().size() - owner->size()).expandedTo(QSize(0, 0));
        const double width = PixelsToTwips(this->width() + frame.width(), dpi);
        const double height = PixelsToTwips(this->height() + frame.height(), dpi);
        if (x + width > widthLimit)
            x = widthLimit - width;
        if (y + height > heightLimit)
            y = heightLimit - height;
        // A dialog larger than the screen still shows its title bar and first columns.
        x = std::max(x, PixelsToTwips(area.x(), dpi));
        y = std::max(y, PixelsToTwips(area.y(), dpi));
    }
    move(toPixels(x), toPixels(y));
}

int PickDialogBase::storedColumnWidth(int column, int defaultTwips) const
{
    const QList<PickColumn>& columns = model_->columns();
    QString key = column < columns.size()
                      ? GetTagValue(columns.at(column).descriptor(), QStringLiteral("name="))
                      : QString();
    if (key.isEmpty())
        key = QString::number(column + 1);
    return ReadSettingInt(gridSection(), key, defaultTwips);
}

void PickDialogBase::applyColumnWidths(const QList<int>& twips)
{
    columnTwips_ = twips;
    for (int c = 0; c < twips.size(); ++c)
        lvGrid_->horizontalHeader()->resizeSection(c, std::max(toPixels(twips.at(c)), 0));
}

void PickDialogBase::fitToColumns()
{
    QHeaderView* header = lvGrid_->horizontalHeader();
    int total = 0;
    for (int c = 0; c < model_->columnCount(); ++c) {
        if (lvGrid_->isColumnHidden(c))
            continue;
        const int fitted =
            std::max(header->sectionSizeHint(c),
                     static_cast<const QAbstractItemView*>(lvGrid_)->sizeHintForColumn(c));
        if (fitted > header->sectionSize(c))
            header->resizeSection(c, fitted);
        total += header->sectionSize(c);
    }
    QRect area;
    if (g_screenArea)
        area = *g_screenArea;
    else if (const QScreen* s = parentWidget() ? parentWidget()->screen() : screen())
        area = s->availableGeometry();
    // The list's frame and scroll bar, and whatever the dialog has beside the list: laid out
    // for the present size first, as a dialog not shown yet has not been.
    QResizeEvent laidOut(size(), size());
    QCoreApplication::sendEvent(this, &laidOut);
    const int chrome = 2 * lvGrid_->frameWidth() +
                       lvGrid_->style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                       std::max(width() - lvGrid_->width(), 0);
    int wanted = total + chrome;
    if (area.isValid())
        wanted = std::min(wanted, area.width() - kEdgeMarginPixels);
    if (wanted > width())
        resize(wanted, height());
}

void PickDialogBase::saveLayout()
{
    QList<GridColumnWidth> widths;
    const QList<PickColumn>& columns = model_->columns();
    const double perPixel = twipsPerPixel();
    const QHeaderView* header = lvGrid_->horizontalHeader();
    const int last = columns.size() - 1;
    for (int c = 0; c < columns.size(); ++c) {
        const QString descriptor =
            columns.at(c).name.isEmpty() ? QString() : columns.at(c).descriptor();
        const int pixels = header->sectionSize(c);
        const int given = c < columnTwips_.size() ? std::max(toPixels(columnTwips_.at(c)), 0) : -1;
        // The last column stretches to the dialog's width: what it was given is its width.
        const bool unchanged = given == pixels || (c == last && given >= 0 && pixels > given &&
                                                   header->stretchLastSection());
        widths.append({descriptor, unchanged ? double(columnTwips_.at(c)) : pixels * perPixel});
    }
    SaveColumnWidths(widths, gridSection());
    WindowPlacement record = sizeRecord();
    if (sizeTwips_.isValid())
        record.setTwips(QRectF(QPointF(), sizeTwips_));
    record.writeSize(
        record.twipsToStore(QRect(QPoint(), size()), logicalDpiX(), logicalDpiY()).size());
}

void PickDialogBase::runPick()
{
    Dialogs::RunModal(*this);
    hide();
    saveLayout();
}

void PickDialogBase::pickSelectedRow()
{
    const QModelIndexList selected = lvGrid_->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    result_ = PickResultText(model_->rowCells(selected.first().row()));
    accept();
}

void PickDialogBase::pickRowAt(const QPoint& viewportPosition)
{
    const QModelIndex index = lvGrid_->indexAt(viewportPosition);
    if (!index.isValid())
        return;
    lvGrid_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
    pickSelectedRow();
}

bool PickDialogBase::previewKey(int key)
{
    switch (key) {
    case Qt::Key_Escape: reject(); return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: pickSelectedRow(); return true;
    default: return false;
    }
}

void PickDialogBase::watchKeys(QWidget* widget)
{
    widget->installEventFilter(this);
    for (QWidget* child : widget->findChildren<QWidget*>())
        child->installEventFilter(this);
}

bool PickDialogBase::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
            return QDialog::eventFilter(watched, event);
        if (previewKey(key->key()))
            return true;
    } else if (event->type() == QEvent::MouseButtonDblClick && watched == lvGrid_->viewport()) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            pickRowAt(mouse->position().toPoint());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace varnel
