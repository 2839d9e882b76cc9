#pragma once

#include "core/Error.h"

#include <QString>

#include <functional>
#include <utility>

namespace varnel {

// How an operation at a document, store or file boundary ended: done, cancelled (the user
// chose no file, would not replace one, or stopped a long step: nothing to report), or failed
// with the text the user is to be shown and its number. Such an operation shows no failure:
// it hands the outcome back, and whoever called it (a window, the command-line program) says
// it. Exceptions stay inside the parsers and writers below; cancelling is never one.
struct Outcome {
    enum class Status { Done, Cancelled, Failed };
    Status status = Status::Done;
    QString failure;
    int code = 0;

    bool done() const { return status == Status::Done; }
    bool cancelled() const { return status == Status::Cancelled; }
    bool failed() const { return status == Status::Failed; }

    static Outcome Done() { return {}; }
    static Outcome Cancelled() { return {Status::Cancelled, QString(), 0}; }
    static Outcome Failed(QString text, int code = kClientErrorNumber)
    {
        return {Status::Failed, std::move(text), code};
    }
    static Outcome Failed(const NumberedError& error)
    {
        return Failed(error.description(), error.number());
    }
};

// Runs work and turns the client's Error it raises into a failed outcome, so that a boundary
// hands it back instead of raising it. Whatever else it raises is raised.
Outcome Trapping(const std::function<void()>& work);

} // namespace varnel
