#pragma once

#include <QString>

#include <cerrno>
#include <memory>

// Replacing a file safely, for the client and the merge tool alike. The library knows nothing
// of either program: it needs Qt Core and the C library only, and reports failures as the
// system's error numbers, which each program turns into its own messages.
namespace varnel::filesave {

// Where a save failed: Create when the file beside the target could not be made or the path
// names something that is not a file; Write when the target may not be replaced (it is
// write-protected) or the new contents could not be written, synced or put in place.
enum class Stage { Create, Write };

// The error number given for a device, a pipe or a socket in place of the target.
inline constexpr int kNotRegularFile = -1;

struct Failure {
    Stage stage = Stage::Create;
    int error = 0; // errno value; 0 when nothing failed
    explicit operator bool() const { return error != 0; }
};

// The new contents go to a hidden file beside the target ("." + name + "." + hex digits +
// ".tmp"), written unbuffered, synced to disk and only then renamed over the target. Until
// the rename the old file stays byte for byte; after any failure the hidden file is removed.
//
// - A symbolic link is followed (through a chain of them, and also when it dangles): the file
//   it leads to is replaced and the link stays.
// - A folder, a device, a pipe or a socket at the path is never replaced.
// - A file whose owner write permission is clear is not replaced (Create, EACCES), for root
//   as well: that bit is how a user protects a file. For other users a file they could not
//   write in place is refused likewise.
// - The new file keeps the old one's permission bits (and owner and group where the process
//   may set them); a new file gets 0666 less the umask.
//
// Asked for a new private file instead (NewPrivateFile), it makes a file that did not exist:
// nothing that stands at the path, a link least of all, is followed or replaced, neither when
// the save begins nor when the file is put in place (Create, EEXIST), and the file is made
// for the user alone (0600).
class ReplacingFile {
public:
    enum class Target { Replace, NewPrivateFile };

    ReplacingFile() = default;
    // Drops the new contents unless commit() succeeded.
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Makes the hidden file. false on failure (see failure()); nothing is left behind.
    bool open(const QString& path, Target target = Target::Replace);
    // Appends bytes, retrying interrupted and short writes. false on failure, after which the
    // hidden file is already gone and every further call fails.
    bool write(const char* data, qint64 size);
    // Syncs and closes the hidden file, gives it the old file's permissions and renames it over
    // the target, then syncs the folder. false on failure, with the hidden file removed and
    // the target as it was.
    bool commit();
    // Drops the new contents; the target stays as it was.
    void cancel();

    const Failure& failure() const { return failure_; }
    bool isOpen() const { return fd_ >= 0; }
    bool isCommitted() const { return committed_; }
    // The file that is replaced (links followed) and the hidden file while it exists.
    const QString& target() const { return target_; }
    const QString& temporaryPath() const { return temporary_; }
    // The hidden file's descriptor while it is open (-1 otherwise), for a writer that writes it
    // by itself.
    int descriptor() const { return fd_; }

private:
    bool fail(Stage stage, int error);
    void discard();

    QString target_;
    QString temporary_;
    Target mode_ = Target::Replace;
    int fd_ = -1;
    qint64 written_ = 0;
    bool committed_ = false;
    Failure failure_;
#if !defined(Q_OS_UNIX)
    struct Portable;
    std::unique_ptr<Portable> portable_;
#endif
};

// The whole contents at once; the failure, or an empty one after success.
Failure SaveFile(const QString& path, const char* data, qint64 size);

// The system's description of an errno value ("No space left on device").
QString ErrorDescription(int error);

// A write beyond the process's file-size limit (ulimit -f) then fails with EFBIG ("File too
// large"), so that the save reports it and removes its hidden file, instead of the signal the
// limit raises ending the whole program. Each program calls it where it starts.
void IgnoreFileSizeSignal();

// Faults the tests make happen at chosen steps, as a failing disk would. Process-wide; a
// default-constructed plan switches them off.
namespace testing {
struct FaultPlan {
    qint64 failWriteAfter = -1; // writes fail once this many bytes went through (-1: never)
    int writeError = ENOSPC;
    qint64 maxBytesPerWrite = 0;  // each write() passes at most this many bytes (0: all)
    bool interruptWrites = false; // every write() is interrupted (EINTR) once before it runs
    int createError = 0;          // the hidden file cannot be made
    int syncError = 0;            // fsync() of the hidden file fails
    int closeError = 0;           // close() of the hidden file fails
    int chmodError = 0;           // its permissions cannot be set
    int renameError = 0;          // the rename over the target fails
    // Steps of a file's move to another file system (a copy written with the faults above):
    int readError = 0;   // the file to be moved cannot be read
    int removeError = 0; // the moved file cannot be removed from its old place
};
void SetFaultPlan(const FaultPlan& plan);
// The plan in force, for the other writers that follow it.
const FaultPlan& CurrentFaultPlan();
#if defined(Q_OS_UNIX)
// write() as the plan lets it run, `written` bytes into the file: interrupted, shortened or
// failed as the plan says. -1 with errno set on a failure, as write() itself.
qint64 PlannedWrite(int fd, const char* data, qint64 size, qint64 written, bool& interrupted);
#endif
} // namespace testing

} // namespace varnel::filesave
