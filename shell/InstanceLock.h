#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace varnel {

// Keeps a second client with the same window title from running: a lock file in the
// temporary folder named after the title (trimmed, upper-cased), held while the client runs.
// A lock left behind by a client that crashed is taken over.
class InstanceLock {
public:
    InstanceLock();
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // The lock file of a title; titles that differ only in letter case or surrounding blanks
    // share it.
    static QString LockFilePath(const QString& title);

    // True when no other running client holds the title; the lock is then held until
    // release() or destruction. False when another client holds it. When the lock file cannot
    // be made at all (a temporary folder without write access) the answer is true without a
    // lock held.
    bool acquire(const QString& title);
    void release();
    bool isHeld() const;

private:
    std::unique_ptr<QLockFile> lock_;
};

} // namespace varnel
