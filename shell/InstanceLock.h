#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace varnel {

// Keeps a second client with the same window title from running: a lock file named after the
// title (trimmed, upper-cased), held while the client runs.
//
// The lock lies in a folder of the user's alone, which no other user can put anything into:
// the user's runtime folder ($XDG_RUNTIME_DIR) when it is a real folder of the user's that
// nobody else may enter, else a folder "varnel-<uid>" of the same kind in the temporary
// folder, else one in the user's cache folder; each is made when missing and checked before
// use. The lock file is opened without following a link or waiting on what it finds, and is
// held by an advisory lock of the system, which ends with the process: a client that crashed
// leaves nothing that blocks the next one.
class InstanceLock {
public:
    InstanceLock();
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // The lock file of a title; titles that differ only in letter case or surrounding blanks
    // share it. Makes the lock folder when it is missing; empty when no folder of the user's
    // alone can be had.
    static QString LockFilePath(const QString& title);

    // True when no other running client holds the title; the lock is then held until
    // release() or destruction. False when another client holds it. When no lock can be made
    // (no folder of the user's alone, or something other than a lock file of the user's at
    // its name) the answer is true without a lock held: nothing there tells of another client.
    bool acquire(const QString& title);
    void release();
    bool isHeld() const;

private:
#if defined(Q_OS_UNIX)
    int fd_ = -1;
#else
    std::unique_ptr<QLockFile> lock_;
#endif
};

} // namespace varnel
