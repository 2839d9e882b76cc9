#pragma once

#include <QRect>
#include <QRectF>
#include <QString>
#include <QWidget>

class QMdiArea;
class QMdiSubWindow;

namespace varnel {

// One window's place in the per-user store (PlacementStore), in twips: "<prefix>Left",
// "<prefix>Top", "<prefix>Width" and "<prefix>Height" of the application's record (the prefix
// is "Main" for the main window and the child windows; a pick list keeps only its size, under a
// prefix of its own), and "Maximized" ("1" or "0") for the child windows that keep it.
//
// The one rule for every window that keeps a placement:
// - a value that is absent, not a number (a store edited by hand), not finite, or out of range
//   (a size of 0 or less, anything beyond 10,000,000 twips) gives its default; a decimal comma
//   is read as well, for a value written under a locale that uses one;
// - left and width are converted with the horizontal resolution, top and height with the
//   vertical one, to the nearest pixel;
// - a value whose pixels are still those it gave is written back exactly as it was read, so
//   that twips rounded to pixels and back never move a window a little at every start; the
//   others are the window's own, as the decimal text of a single-precision number.
class WindowPlacement {
public:
    // Where a window opens with nothing stored: at 1000, 1000 twips, 6500 x 6500.
    static constexpr QRectF kDefaultTwips{1000, 1000, 6500, 6500};

    WindowPlacement(QString application, const QRectF& defaults,
                    QString prefix = QStringLiteral("Main"));

    // Reads the record.
    void read();
    // True when the store held at least one of the four values.
    bool stored() const { return stored_; }
    bool maximized() const { return maximized_; }
    const QRectF& twips() const { return twips_; }
    void setTwips(const QRectF& twips) { twips_ = twips; }

    // The rectangle in pixels.
    QRect pixels(double dpiX, double dpiY) const;
    // What is written for a window whose geometry in pixels is now.
    QRectF twipsToStore(const QRect& now, double dpiX, double dpiY) const;

    // Writes the four values; the size alone; the maximized mark.
    void write(const QRectF& twips) const;
    void writeSize(const QSizeF& twips) const;
    void writeMaximized(bool maximized) const;

private:
    QString key(const char* name) const;

    QString application_;
    QString prefix_;
    QRectF defaults_;
    QRectF twips_;
    bool stored_ = false;
    bool maximized_ = false;
};

// Writes the record of a child window of the main window: maximized, or where its frame stands
// (read first, so that values the frame still has go back as they were). A minimized frame
// writes nothing, so the last normal placement survives.
void SaveFramePlacement(const QMdiSubWindow& frame, WindowPlacement record);

// Places a child window's frame as its record says: maximized, or where the record puts it (no
// smaller than the frame's least size). A record that holds no place leaves the frame where it
// opened (its first-start place, below), and a frame that opened maximized, because the
// window before it in front was, stays so.
void RestoreFramePlacement(QMdiSubWindow& frame, WindowPlacement record);

// The two above for a child window through the frame it lies in (a window in no frame: nothing).
// The restore first brings a minimized frame back; the save never raises, for a placement that
// cannot be saved is not worth a message when a window closes.
void RestoreChildPlacement(QWidget& child, WindowPlacement record);
void SaveChildPlacement(const QWidget& child, WindowPlacement record) noexcept;

// A child window of the main window that keeps its placement by the rule above: its size hint
// is its first-start size, restorePlacement() puts it where it was left, and it saves its
// placement when it closes.
class PlacedChildWidget : public QWidget {
public:
    PlacedChildWidget(QString record, const QRectF& defaultTwips, QWidget* parent = nullptr);

    void restorePlacement();
    QSize sizeHint() const override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    WindowPlacement record() const;

    QString record_;
    QRectF defaultTwips_;
};

// The first start of a window: where it opens while no placement of it is stored.
//
// The main window takes most of the available area of its screen (kFirstStartShare of its width
// and of its height), centred; no less than atLeast (the room its bars need) where the screen
// has it.
inline constexpr double kFirstStartShare = 0.9;
QRect FirstStartMainGeometry(const QRect& available, const QSize& atLeast);
// A child window opens with all of itself visible in its multi-document area: at its wanted
// size (its frame's size hint) at place, moved up and left as far as that needs; where the area
// is smaller, no larger than the area at its top left corner, and never smaller than least (the
// area then scrolls to the rest).
QRect FirstStartChildGeometry(const QSize& wanted, const QSize& least, const QSize& area,
                              const QPoint& place);

// Puts a new child window into a multi-document area, shows it and makes it the active one.
// While the active window is maximized the new one opens maximized, as in every
// multi-document frame, and nothing else changes size; otherwise it opens at its first-start
// place, a title bar below and right of the active window (at 1000, 1000 twips when there is
// none). A window that keeps a placement then restores it (RestoreFramePlacement).
//
// A window whose property kKeepInFrontProperty is true stays the active one until the user does
// something (a key, a click): the main window coming back from a progress dialog, or the engine
// of a page that starts late, may hand the activation back to the window that had it before; the
// new window then takes it again.
QMdiSubWindow* ShowNewChildWindow(QMdiArea& area, QWidget* window);
inline constexpr char kKeepInFrontProperty[] = "keepsInFrontUntilInput";

} // namespace varnel
