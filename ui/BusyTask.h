#pragma once

#include "core/Progress.h"

#include <QString>

#include <atomic>
#include <functional>
#include <mutex>

class QWidget;

namespace varnel {

// How far a long step has come, told from the thread that does it and shown by RunBusy. Every
// member may be called from any thread.
class BusyProgress : public Progress {
public:
    // A new stage: what it does ("Чтение страницы") and the amount it goes to (0: unknown).
    void stage(const QString& text, qint64 total = 0) override;
    // The amount of the current stage done so far.
    void advance(qint64 done) override;
    // True once the user has asked to stop; a step that can stop checks it and ends, and its
    // flow hands back a cancelled outcome (core/Outcome.h): stopping is never raised.
    bool stopRequested() const override { return stop_.load(); }
    void requestStop() { stop_.store(true); }
    // The work can stop when asked: the dialog offers a button for it (otherwise none).
    void allowStop() { stoppable_.store(true); }
    bool stoppable() const { return stoppable_.load(); }

    struct State {
        QString text;
        qint64 done = 0;
        qint64 total = 0;
    };
    State state() const;

private:
    mutable std::mutex mutex_;
    QString text_;
    std::atomic<qint64> done_{0};
    std::atomic<qint64> total_{0};
    std::atomic<bool> stop_{false};
    std::atomic<bool> stoppable_{false};
};

// Runs work on a thread of its own and waits for it while the user-interface thread goes on with
// its events: every window keeps painting and timers keep running. Until the work ends the
// user's input to the application's windows (keys, the mouse, closing a window) is held off and
// the busy cursor shows; once the work has taken longer than showAfterMs a progress dialog
// (titled title, the stage's text, a bar, and a button to stop for a work that allows it) shows
// how far it has come. An
// exception the work raises is raised here when it has ended. The work must not touch widgets.
void RunBusy(QWidget* parent, const QString& title,
             const std::function<void(BusyProgress& progress)>& work, int showAfterMs = 500);

// True while RunBusy waits for a work (on this thread).
bool IsBusy();

} // namespace varnel
