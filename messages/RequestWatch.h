#pragma once

#include <QString>

namespace varnel {

struct RequestKind;

// Who follows the requests the send pipeline places (the sending journal). The pipeline tells
// the watcher of a request once its document is written, while it still lies in the work
// folder, and then whether it was placed in the send folder or not. The watcher only looks:
// whatever it does or fails to do never changes the sending, and nothing it raises reaches
// the pipeline.
class RequestWatcher {
public:
    virtual ~RequestWatcher() = default;
    // The document of the request is complete in workFile, to be moved into the send folder.
    virtual void written(const RequestKind& kind, const QString& workFile) = 0;
    // The request written last now lies in the send folder as target.
    virtual void placed(const QString& target) = 0;
    // The request written last was not placed (the move failed): it was never sent.
    virtual void notPlaced() = 0;
};

// The watcher of the process; null when none. The caller keeps ownership and removes it
// (nullptr) before it goes.
void SetRequestWatcher(RequestWatcher* watcher);
RequestWatcher* CurrentRequestWatcher();

// Tells the watcher of one request written to workFile, and that it was not placed unless
// placed() was called before the guard ends.
class WatchedRequest {
public:
    WatchedRequest(const RequestKind& kind, const QString& workFile);
    ~WatchedRequest();
    WatchedRequest(const WatchedRequest&) = delete;
    WatchedRequest& operator=(const WatchedRequest&) = delete;

    void placed(const QString& target);

private:
    RequestWatcher* watcher_;
    bool told_ = false;
};

} // namespace varnel
