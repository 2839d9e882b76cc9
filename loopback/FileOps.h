#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace loopback {

// Small file system steps, each answering 0 or the errno of its failure, so that the caller
// can tell a full disk or a vanished folder from its own mistakes and try again later.

QString ErrorText(int error);

// Syncs a folder, so that a rename in it survives a crash. A file system that cannot sync a
// folder is not a failure.
void SyncFolder(const QString& folder);

// Moves a file to a name that must not exist yet, atomically: only one of several movers of
// the same file succeeds (the others get ENOENT), and a file already at the target is never
// replaced (EEXIST). EXDEV when the two lie on different file systems.
int MoveNoReplace(const QString& from, const QString& to);

// True when the path names a regular file itself (a symbolic link, a pipe or a device is not).
bool IsPlainFile(const QString& path);

// The names in a folder as the file system keeps them (bytes, which need not be valid in its
// encoding), "." and ".." left out. Empty when the folder cannot be read.
QList<QByteArray> FolderNames(const QString& folder);

// True while a program may still be writing the file: while some program has it open for
// writing, as the system's read lease on it tells; where the file system cannot tell (it has
// no leases, or the file belongs to another user), while it has changed within the last
// two seconds.
bool IsBeingWritten(const QString& path);

// Whether two files hold the same bytes.
bool SameContent(const QString& a, const QString& b);

// A file descriptor, closed when its owner goes, on every path out of a step.
class OpenFile {
public:
    explicit OpenFile(int fd) : fd_(fd) {}
    ~OpenFile();
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// A file written under a hidden name in its folder and put in place only when complete and
// synced to disk: the final name shows either the whole file or nothing. Without place() the
// hidden file is removed again.
class HiddenFile {
public:
    HiddenFile() = default;
    ~HiddenFile();
    HiddenFile(const HiddenFile&) = delete;
    HiddenFile& operator=(const HiddenFile&) = delete;

    // Creates the hidden file in folder for a file to be called finalName.
    int create(const QString& folder, const QString& finalName);
    int write(const char* data, qsizetype size);
    int write(const QByteArray& bytes) { return write(bytes.constData(), bytes.size()); }
    // Appends the whole of another file.
    int append(const QString& path);
    // Syncs and closes.
    int finish();
    // Renames the finished file to name in its folder. With replace false an existing file
    // of that name is kept and EEXIST answered; the hidden file then stays for another name.
    int place(const QString& name, bool replace);
    void discard();

    const QString& hiddenPath() const { return hidden_; }

private:
    QString folder_;
    QString hidden_;
    int fd_ = -1;
};

// Writes bytes to folder/name through a hidden file, replacing an older file of that name.
int WriteFileAtomically(const QString& folder, const QString& name, const QByteArray& bytes);

} // namespace loopback
