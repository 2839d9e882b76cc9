#include "ui/WindowPlacement.h"

#include "core/PlacementStore.h"
#include "core/Settings.h"
#include "core/Twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QStyle>
#include <QTimer>

#include <cmath>
#include <optional>

namespace varnel {
namespace {

constexpr double kLimitTwips = 1e7;

std::optional<double> storedValue(const QString& text, bool isSize)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    bool ok = false;
    double value = trimmed.toDouble(&ok);
    if (!ok)
        value = QString(trimmed).replace(u',', u'.').toDouble(&ok);
    if (!ok || !std::isfinite(value) || std::abs(value) > kLimitTwips || (isSize && value <= 0))
        return std::nullopt;
    return value;
}

// Twips back from pixels: the value read when the pixels are still those it gave.
double keptOrNew(double read, int pixels, double dpi)
{
    return TwipsToPixels(read, dpi) == pixels ? read : PixelsToTwips(pixels, dpi);
}

// Keeps a new child window the active one of its area until the user's first key or click (or
// until another new window takes its place): an activation that no user asked for goes back to
// it, once the events that brought it are through.
class KeepInFront : public QObject {
public:
    KeepInFront(QMdiArea& area, QMdiSubWindow* sub) : QObject(&area), area_(&area), sub_(sub)
    {
        qApp->installEventFilter(this);
        connect(&area, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* now) {
            if (sub_ && now && now != sub_)
                QTimer::singleShot(0, this, [this] { takeBack(); });
        });
        connect(sub, &QObject::destroyed, this, &QObject::deleteLater);
    }

    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::KeyPress:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
            sub_ = nullptr;
            deleteLater();
            break;
        default: break;
        }
        return false;
    }

private:
    void takeBack()
    {
        if (!sub_ || !area_ || sub_->isHidden() || area_->activeSubWindow() == sub_ ||
            QApplication::activeModalWidget() || QApplication::activePopupWidget())
            return;
        area_->setActiveSubWindow(sub_);
        // The focus goes with it: left in the other window, it would bring that one back.
        QWidget* window = sub_->widget();
        if (window && !window->isAncestorOf(QApplication::focusWidget()))
            window->setFocus(Qt::OtherFocusReason);
    }

    QPointer<QMdiArea> area_;
    QPointer<QMdiSubWindow> sub_;
};

} // namespace

WindowPlacement::WindowPlacement(QString application, const QRectF& defaults, QString prefix)
    : application_(std::move(application)), prefix_(std::move(prefix)), defaults_(defaults),
      twips_(defaults)
{
}

QString WindowPlacement::key(const char* name) const
{
    return prefix_ + QLatin1String(name);
}

void WindowPlacement::read()
{
    stored_ = false;
    const auto value = [&](const char* name, double def, bool isSize) {
        const QString text = PlacementStore::Read(application_, key(name), QString());
        if (!text.isEmpty())
            stored_ = true;
        return storedValue(text, isSize).value_or(def);
    };
    twips_ =
        QRectF(value("Left", defaults_.x(), false), value("Top", defaults_.y(), false),
               value("Width", defaults_.width(), true), value("Height", defaults_.height(), true));
    maximized_ = PlacementStore::Read(application_, QStringLiteral("Maximized"), QString()) == u"1";
}

QRect WindowPlacement::pixels(double dpiX, double dpiY) const
{
    return QRect(TwipsToPixels(twips_.x(), dpiX), TwipsToPixels(twips_.y(), dpiY),
                 TwipsToPixels(twips_.width(), dpiX), TwipsToPixels(twips_.height(), dpiY));
}

QRectF WindowPlacement::twipsToStore(const QRect& now, double dpiX, double dpiY) const
{
    return QRectF(keptOrNew(twips_.x(), now.x(), dpiX), keptOrNew(twips_.y(), now.y(), dpiY),
                  keptOrNew(twips_.width(), now.width(), dpiX),
                  keptOrNew(twips_.height(), now.height(), dpiY));
}

void WindowPlacement::write(const QRectF& twips) const
{
    PlacementStore::Write(application_, key("Left"), SingleToText(twips.x()));
    PlacementStore::Write(application_, key("Top"), SingleToText(twips.y()));
    writeSize(twips.size());
}

void WindowPlacement::writeSize(const QSizeF& twips) const
{
    PlacementStore::Write(application_, key("Width"), SingleToText(twips.width()));
    PlacementStore::Write(application_, key("Height"), SingleToText(twips.height()));
}

void WindowPlacement::writeMaximized(bool maximized) const
{
    PlacementStore::Write(application_, QStringLiteral("Maximized"),
                          maximized ? QStringLiteral("1") : QStringLiteral("0"));
}

void SaveFramePlacement(const QMdiSubWindow& frame, WindowPlacement record)
{
    if (frame.isMinimized())
        return;
    record.read();
    record.writeMaximized(frame.isMaximized());
    record.write(record.twipsToStore(frame.geometry(), frame.logicalDpiX(), frame.logicalDpiY()));
}

void RestoreFramePlacement(QMdiSubWindow& frame, WindowPlacement record)
{
    record.read();
    if (record.maximized()) {
        frame.showMaximized();
        return;
    }
    if (frame.isMaximized() || !record.stored())
        return;
    const QRect r = record.pixels(frame.logicalDpiX(), frame.logicalDpiY());
    const QSize least = frame.minimumSizeHint().expandedTo(frame.minimumSize());
    frame.setGeometry(r.x(), r.y(), std::max(r.width(), least.width()),
                      std::max(r.height(), least.height()));
}

void RestoreChildPlacement(QWidget& child, WindowPlacement record)
{
    auto* frame = qobject_cast<QMdiSubWindow*>(child.parentWidget());
    if (!frame)
        return;
    if (frame->isMinimized())
        frame->showNormal();
    RestoreFramePlacement(*frame, std::move(record));
}

void SaveChildPlacement(const QWidget& child, WindowPlacement record) noexcept
{
    try {
        if (const auto* frame = qobject_cast<const QMdiSubWindow*>(child.parentWidget()))
            SaveFramePlacement(*frame, std::move(record));
    } catch (...) {
        // The settings file that cannot be written says so at the next save the user asks for.
    }
}

QRect FirstStartMainGeometry(const QRect& available, const QSize& atLeast)
{
    const QSize share(int(available.width() * kFirstStartShare),
                      int(available.height() * kFirstStartShare));
    const QSize size = share.expandedTo(atLeast).boundedTo(available.size());
    QRect r(QPoint(), size);
    r.moveCenter(available.center());
    return r;
}

QRect FirstStartChildGeometry(const QSize& wanted, const QSize& least, const QSize& area,
                              const QPoint& place)
{
    const QSize size = wanted.boundedTo(area).expandedTo(least);
    // As far up and left as it must go for its right and bottom edges to be seen, never past
    // the area's top left corner.
    const int x = std::max(0, std::min(place.x(), area.width() - size.width()));
    const int y = std::max(0, std::min(place.y(), area.height() - size.height()));
    return QRect(QPoint(x, y), size);
}

QMdiSubWindow* ShowNewChildWindow(QMdiArea& area, QWidget* window)
{
    QMdiSubWindow* active = area.currentSubWindow();
    const bool maximized = active && active->isMaximized();
    QMdiSubWindow* sub = area.addSubWindow(window);
    // The first-start place is also where a window that opens maximized goes when restored.
    QPoint place(TwipsToPixels(WindowPlacement::kDefaultTwips.x(), sub->logicalDpiX()),
                 TwipsToPixels(WindowPlacement::kDefaultTwips.y(), sub->logicalDpiY()));
    if (active && !maximized && !active->isMinimized() && !active->isHidden()) {
        const int step = sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, sub);
        place = active->pos() + QPoint(step, step);
    }
    sub->setGeometry(FirstStartChildGeometry(sub->sizeHint(), sub->minimumSizeHint(),
                                             area.viewport()->size(), place));
    window->show();
    if (maximized)
        sub->showMaximized();
    else
        sub->show();
    area.setActiveSubWindow(sub);
    const QString keeper = QStringLiteral("keepNewChildInFront");
    for (QObject* before : area.findChildren<QObject*>(keeper, Qt::FindDirectChildrenOnly))
        delete before;
    if (window->property(kKeepInFrontProperty).toBool())
        (new KeepInFront(area, sub))->setObjectName(keeper);
    return sub;
}

PlacedChildWidget::PlacedChildWidget(QString record, const QRectF& defaultTwips, QWidget* parent)
    : QWidget(parent), record_(std::move(record)), defaultTwips_(defaultTwips)
{
}

WindowPlacement PlacedChildWidget::record() const
{
    return WindowPlacement(record_, defaultTwips_);
}

QSize PlacedChildWidget::sizeHint() const
{
    return {TwipsToPixels(defaultTwips_.width(), logicalDpiX()),
            TwipsToPixels(defaultTwips_.height(), logicalDpiY())};
}

void PlacedChildWidget::restorePlacement()
{
    // Where it was left, or, the first time, at its size where the area shows all of it (a small
    // screen's area takes no more than it has room for).
    RestoreChildPlacement(*this, record());
}

void PlacedChildWidget::closeEvent(QCloseEvent* event)
{
    SaveChildPlacement(*this, record());
    event->accept();
}

} // namespace varnel
