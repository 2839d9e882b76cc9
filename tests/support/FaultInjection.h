#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Making writes fail the ways a full disk makes them fail, for the tests of every write path:
// a file-size limit in a child process, and a small file system that fills up.
namespace varnel::testing {

// Runs action in a child process whose files may not grow beyond limit bytes. The child starts
// with the signal that the limit raises (SIGXFSZ) at its default, which ends a process, and is
// then set up by start the way its program sets itself up where it starts: by default with
// filesave::IgnoreFileSizeSignal(), the call each program makes (the client's tests may pass
// its start-up function). A write past the limit then fails with EFBIG, as on a full disk. The
// action returns what the test wants to know (say a failure text, empty after success); an
// Error or other exception it raises comes back as its description. std::nullopt when the
// child did not end normally (it crashed, or the limit ended it).
std::optional<QString> RunWithFileSizeLimit(qint64 limit, const std::function<QString()>& action,
                                            const std::function<void()>& start = {});

// A tmpfs of the given size (and number of files, when given) mounted on a temporary folder of
// its own for as long as the object lives. Only root may mount; elsewhere isMounted() is false
// and skipReason() says why, for QSKIP.
class SmallDisk {
public:
    explicit SmallDisk(qint64 bytes, qint64 files = 0);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool isMounted() const { return mounted_; }
    const QString& skipReason() const { return skipReason_; }
    const QString& path() const { return path_; }
    QString filePath(const QString& name) const { return path_ + u'/' + name; }

    // Takes every free byte with a file named ".filler" (hidden, so that it is not mistaken
    // for a file the code under test left behind; FolderEntries leaves it out).
    void fill();
    // Takes every free file slot with empty files ".slotN": no new file can be made, while
    // the files there can still be written in place.
    void useUpFiles();
    // Mounts the file system again read-only: nothing there can be made or written.
    void makeReadOnly();

private:
    QString path_;
    QString skipReason_;
    bool mounted_ = false;
};

// Every entry of a folder, hidden ones included, without those SmallDisk made itself.
QStringList FolderEntries(const QString& folder);

} // namespace varnel::testing

#define VARNEL_REQUIRE_DISK(disk)                                                                  \
    do {                                                                                           \
        if (!(disk).isMounted())                                                                   \
            QSKIP(qPrintable((disk).skipReason()));                                                \
    } while (false)
