#pragma once

#include <QCursor>
#include <QGuiApplication>

namespace varnel {

// The wait cursor over the whole application while a long step runs, put back when the guard
// ends (or earlier, by restore(), before a box that asks the user something).
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~BusyCursor() { restore(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

    void restore()
    {
        if (active_)
            QGuiApplication::restoreOverrideCursor();
        active_ = false;
    }

private:
    bool active_ = true;
};

} // namespace varnel
