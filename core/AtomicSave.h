#pragma once

#include <QByteArray>
#include <QString>

namespace varnel {

// Every file the client or the merge tool writes for the user goes through here: the new
// contents are written to a hidden file beside the target, flushed, synced to disk and only
// then renamed over the target. Until the rename the old file stays byte for byte; after a
// failure nothing of the new file is left behind. Each step is checked, and a failure raises
// an Error (number 514) whose text names the file and the system's reason.
class AtomicFile {
public:
    // Creates the hidden file beside path. A path that is a symbolic link replaces the file the
    // link points to, and the link stays. Raises when the folder cannot hold a new file, and when
    // the path names something other than a regular file (a folder, a device, a pipe), which is
    // never replaced.
    explicit AtomicFile(const QString& path);
    // Without commit() the hidden file is removed and the target left as it was.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Appends bytes; unbuffered, so a failure shows at once. Raises on a short or failed write.
    void write(const char* data, qsizetype size);
    void write(const QByteArray& bytes) { write(bytes.constData(), bytes.size()); }

    // Syncs and closes the hidden file, gives it the permissions of the file it replaces (or
    // the usual ones for a new file) and renames it over the target. Raises on any failure,
    // having removed the hidden file.
    void commit();
    // Drops the new contents (as the destructor does).
    void cancel();

    // The file that will be replaced, and the hidden file being written.
    const QString& target() const { return target_; }
    const QString& temporaryPath() const { return temporary_; }
    bool isCommitted() const { return committed_; }

private:
    [[noreturn]] void fail(int error);
    void discard();

    QString target_;
    QString temporary_;
    int fd_ = -1;
    bool committed_ = false;
};

// The whole contents at once.
void SaveFileAtomically(const QString& path, const QByteArray& bytes);

// "Не удалось создать файл <path>:" and "Не удалось записать файл <path>:", then CR LF and the
// reason.
QString FileCreateErrorText(const QString& path, const QString& reason);
QString FileWriteErrorText(const QString& path, const QString& reason);
// The system's description of an errno value.
QString SystemErrorText(int error);

} // namespace varnel
