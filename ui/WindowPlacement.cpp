#include "ui/WindowPlacement.h"

#include "core/PlacementStore.h"
#include "core/Settings.h"
#include "core/Twips.h"

#include <QMdiSubWindow>

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

} // namespace varnel
