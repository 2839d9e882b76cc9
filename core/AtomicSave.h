#pragma once

#include "filesave/ReplacingFile.h"

#include <QByteArray>
#include <QString>

namespace varnel {

// Every file the client writes for the user goes through here: the new contents are written
// to a hidden file beside the target, synced to disk and only then renamed over the target
// (filesave::ReplacingFile). Until the rename the old file stays byte for byte; after a failure
// nothing of the new file is left behind. Each step is checked, and a failure raises an Error
// (number 514) whose text names the file as the caller gave it and the system's reason.
class AtomicFile {
public:
    using Target = filesave::ReplacingFile::Target;
    // A new file of the user's alone (0600): whatever stands at the path, a link included, is
    // neither followed nor replaced, and the save fails with "File exists".
    static constexpr Target NewPrivateFile = Target::NewPrivateFile;

    // Creates the hidden file beside path. A path that is a symbolic link replaces the file the
    // link leads to, and the link stays. Raises when the folder cannot hold a new file, when
    // the path names something other than a regular file (a folder, a device, a pipe), which
    // is never replaced, and when the file is write-protected.
    explicit AtomicFile(const QString& path, Target target = Target::Replace);
    // Without commit() the hidden file is removed and the target left as it was.
    ~AtomicFile() = default;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Appends bytes; unbuffered, so a failure shows at once. Raises on a failed write.
    void write(const char* data, qsizetype size);
    void write(const QByteArray& bytes) { write(bytes.constData(), bytes.size()); }

    // Syncs and closes the hidden file, gives it the permissions of the file it replaces (or
    // the usual ones for a new file) and renames it over the target. Raises on any failure,
    // having removed the hidden file.
    void commit();
    // Drops the new contents (as the destructor does).
    void cancel() { file_.cancel(); }

    // The file that will be replaced, and the hidden file being written.
    const QString& target() const { return file_.target(); }
    const QString& temporaryPath() const { return file_.temporaryPath(); }
    // A name under which a library that writes files by name (libxlsxwriter) writes the hidden
    // file itself: on Linux the process's own descriptor of it, so that no name in the folder is
    // followed; elsewhere its path.
    QString writablePath() const;
    bool isCommitted() const { return file_.isCommitted(); }

private:
    [[noreturn]] void raise() const;

    QString path_;
    filesave::ReplacingFile file_;
};

// The whole contents at once.
void SaveFileAtomically(const QString& path, const QByteArray& bytes,
                        AtomicFile::Target target = AtomicFile::Target::Replace);

// "Не удалось создать файл <path>:" and "Не удалось записать файл <path>:", then CR LF and the
// reason.
QString FileCreateErrorText(const QString& path, const QString& reason);
QString FileWriteErrorText(const QString& path, const QString& reason);
// The text of a failed save of path.
QString FileSaveErrorText(const QString& path, const filesave::Failure& failure);
// The system's description of an errno value.
QString SystemErrorText(int error);

} // namespace varnel
