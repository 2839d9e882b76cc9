#pragma once

#include <QList>

#include <functional>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace varnel {

// What the Окна menu does with the child windows of a multi-document area.

// Child windows one above the other (Qt::Vertical), each the full width, or side by side
// (Qt::Horizontal), each the full height; hidden and minimized ones keep their place.
void TileSubWindows(QMdiArea& area, Qt::Orientation orientation);
// Minimized child windows in a row along the bottom edge.
void ArrangeMinimized(QMdiArea& area);
// Restores a minimized child window, makes it the active one and raises it.
void BringToFront(QMdiArea& area, QMdiSubWindow* sub);
// The first child window that matches; null when none does.
QMdiSubWindow* FindSubWindow(const QMdiArea& area,
                             const std::function<bool(QMdiSubWindow*)>& matches);

// While a child window is maximized, the main window's title is its own, " - " and the child's
// title, shown once: the frame puts no brackets of its own around it (a new report's title
// "[New Report 1]" has its own). Installs the format for the application; once is enough.
void ShowMaximizedChildTitleOnce();

// Puts the list of child windows at the end of the menu ("&1 title", the active one checked,
// "&" in a title shown as itself) after a separator, in place of the entries made last time,
// which the caller keeps in entries. Choosing an entry brings its window forward; an entry of
// a window closed meanwhile does nothing.
void FillWindowList(QMenu& menu, QMdiArea& area, QList<QAction*>& entries);

} // namespace varnel
