#pragma once

#include <QString>

namespace varnel {

// What a long step tells of itself and asks, free of widgets: a window shows it in its busy
// dialog (ui/BusyTask.h), the command-line program on its terminal, and a step run in place
// tells nobody.
class Progress {
public:
    virtual ~Progress() = default;
    // A new stage: what it does and the amount it goes to (0: unknown).
    virtual void stage(const QString& text, qint64 total = 0) = 0;
    // The amount of the current stage done so far.
    virtual void advance(qint64 done) = 0;
    // True once whoever waits has asked to stop.
    virtual bool stopRequested() const = 0;
};

// Progress that nobody follows and that is never stopped.
class NoProgress final : public Progress {
public:
    void stage(const QString&, qint64 = 0) override {}
    void advance(qint64) override {}
    bool stopRequested() const override { return false; }
};

} // namespace varnel
