#include "messages/RequestWatch.h"

#include <exception>

namespace varnel {
namespace {

RequestWatcher*& watcherSlot()
{
    static RequestWatcher* watcher = nullptr;
    return watcher;
}

// A watcher's failure stays with the watcher: the request goes on as if none were there.
template <class Call> void tell(Call&& call) noexcept
{
    try {
        call();
    } catch (...) {
        // Whatever a watcher raises is its own: a request never fails for its onlooker.
    }
}

} // namespace

void SetRequestWatcher(RequestWatcher* watcher)
{
    watcherSlot() = watcher;
}

RequestWatcher* CurrentRequestWatcher()
{
    return watcherSlot();
}

WatchedRequest::WatchedRequest(const RequestKind& kind, const QString& workFile)
    : watcher_(watcherSlot())
{
    if (watcher_)
        tell([&] { watcher_->written(kind, workFile); });
}

WatchedRequest::~WatchedRequest()
{
    if (watcher_ && !told_)
        tell([&] { watcher_->notPlaced(); });
}

void WatchedRequest::placed(const QString& target)
{
    if (!watcher_ || told_)
        return;
    told_ = true;
    tell([&] { watcher_->placed(target); });
}

} // namespace varnel
