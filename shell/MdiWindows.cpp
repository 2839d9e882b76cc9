#include "shell/MdiWindows.h"

#include <QAction>
#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QTranslator>

namespace varnel {
namespace {

// The multi-document frame writes a maximized child's title into the main window's as
// "%1 - [%2]"; this gives it the format "%1 - %2", and nothing else.
class ChildTitleFormat : public QTranslator {
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }

    QString translate(const char* context, const char* sourceText, const char*, int) const override
    {
        if (qstrcmp(context, "QMdiSubWindow") != 0)
            return QString();
        if (qstrcmp(sourceText, "%1 - [%2]") == 0)
            return QStringLiteral("%1 - %2");
        if (qstrcmp(sourceText, "- [%1]") == 0)
            return QStringLiteral("- %1");
        return QString();
    }
};

} // namespace

void ShowMaximizedChildTitleOnce()
{
    // Found by its name: the application holds other translators (Qt's own texts).
    const QString name = QStringLiteral("childTitleFormat");
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || app->findChild<QTranslator*>(name, Qt::FindDirectChildrenOnly))
        return;
    auto* format = new ChildTitleFormat(app);
    format->setObjectName(name);
    QCoreApplication::installTranslator(format);
}

void TileSubWindows(QMdiArea& area, Qt::Orientation orientation)
{
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* sub : area.subWindowList()) {
        if (!sub->isHidden() && !sub->isMinimized())
            windows.append(sub);
    }
    if (windows.isEmpty())
        return;
    const QRect viewport = area.viewport()->rect();
    const int n = int(windows.size());
    for (int i = 0; i < n; ++i) {
        QMdiSubWindow* sub = windows.at(i);
        if (sub->isMaximized())
            sub->showNormal();
        QRect r;
        if (orientation == Qt::Vertical) {
            const int top = viewport.height() * i / n;
            const int bottom = viewport.height() * (i + 1) / n;
            r = QRect(0, top, viewport.width(), bottom - top);
        } else {
            const int left = viewport.width() * i / n;
            const int right = viewport.width() * (i + 1) / n;
            r = QRect(left, 0, right - left, viewport.height());
        }
        sub->setGeometry(r);
    }
}

void ArrangeMinimized(QMdiArea& area)
{
    const QRect viewport = area.viewport()->rect();
    int x = 0;
    for (QMdiSubWindow* sub : area.subWindowList()) {
        if (!sub->isMinimized())
            continue;
        const QSize size = sub->size();
        sub->move(x, viewport.height() - size.height());
        x += size.width();
    }
}

void BringToFront(QMdiArea& area, QMdiSubWindow* sub)
{
    if (!sub)
        return;
    if (sub->isMinimized())
        sub->showNormal();
    area.setActiveSubWindow(sub);
    sub->raise();
}

QMdiSubWindow* FindSubWindow(const QMdiArea& area,
                             const std::function<bool(QMdiSubWindow*)>& matches)
{
    for (QMdiSubWindow* sub : area.subWindowList()) {
        if (matches(sub))
            return sub;
    }
    return nullptr;
}

void FillWindowList(QMenu& menu, QMdiArea& area, QList<QAction*>& entries)
{
    for (QAction* a : std::as_const(entries)) {
        menu.removeAction(a);
        a->deleteLater();
    }
    entries.clear();
    const QList<QMdiSubWindow*> windows = area.subWindowList();
    if (windows.isEmpty())
        return;
    entries.append(menu.addSeparator());
    QMdiSubWindow* current = area.currentSubWindow();
    int number = 0;
    for (QMdiSubWindow* sub : windows) {
        ++number;
        QString title = sub->windowTitle();
        title.replace(u'&', QStringLiteral("&&"));
        QAction* a =
            menu.addAction(number < 10 ? QStringLiteral("&%1 %2").arg(number).arg(title) : title);
        a->setCheckable(true);
        a->setChecked(sub == current);
        // The entry outlives a window closed meanwhile; a guarded pointer never mistakes a new
        // window made at the old one's address for it.
        QObject::connect(a, &QAction::triggered, &area,
                         [area = QPointer<QMdiArea>(&area), sub = QPointer<QMdiSubWindow>(sub)] {
                             if (area && sub && area->subWindowList().contains(sub)) {
                                 if (sub->isMinimized())
                                     sub->showNormal();
                                 area->setActiveSubWindow(sub);
                             }
                         });
        entries.append(a);
    }
}

} // namespace varnel
