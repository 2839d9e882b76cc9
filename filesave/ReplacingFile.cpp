#include "ReplacingFile.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <csignal>
#include <cstring>

#if defined(Q_OS_UNIX)
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QFileInfo>
#include <QSaveFile>
#include <memory>
#endif

namespace varnel::filesave {
namespace {

testing::FaultPlan g_plan;

} // namespace

QString ErrorDescription(int error)
{
    if (error == kNotRegularFile)
        return QStringLiteral("Not a regular file");
    return QString::fromLocal8Bit(std::strerror(error));
}

void IgnoreFileSizeSignal()
{
#if defined(SIGXFSZ)
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

Failure SaveFile(const QString& path, const char* data, qint64 size)
{
    ReplacingFile file;
    if (file.open(path) && file.write(data, size))
        file.commit();
    return file.failure();
}

namespace testing {
void SetFaultPlan(const FaultPlan& plan)
{
    g_plan = plan;
}

const FaultPlan& CurrentFaultPlan()
{
    return g_plan;
}
} // namespace testing

#if defined(Q_OS_UNIX)

namespace {

// Longest file name the hidden file may be made from: "." + name + "." + 6 digits + ".tmp".
constexpr qsizetype kHiddenNameExtra = 12;

// The path that writing through `path` reaches: symbolic links followed one after another,
// a relative link taken from the folder of the link. A dangling link gives the path it names,
// where the file is then made.
QByteArray followLinks(QByteArray path)
{
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(path.constData(), buffer, sizeof buffer);
        if (n <= 0 || n >= ssize_t(sizeof buffer))
            return path;
        QByteArray next(buffer, qsizetype(n));
        if (!next.startsWith('/')) {
            const qsizetype slash = path.lastIndexOf('/');
            if (slash >= 0)
                next.prepend(path.left(slash + 1));
        }
        path = next;
    }
    return path; // a loop: making the file beside it fails with the system's reason
}

// "folder/.name.1a2b3c.tmp": hidden, so that a transport or a folder listing does not take
// it for a finished file. A name too long to take the additions is shortened (at a character
// boundary of its UTF-8 bytes).
QByteArray hiddenName(const QByteArray& target)
{
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = target.left(slash + 1);
    QByteArray name = target.mid(slash + 1);
    const qsizetype room = NAME_MAX - kHiddenNameExtra;
    if (name.size() > room) {
        qsizetype cut = room;
        while (cut > 0 && (static_cast<unsigned char>(name.at(cut)) & 0xC0) == 0x80)
            --cut;
        name.truncate(cut);
    }
    const quint32 digits = QRandomGenerator::global()->generate() & 0xFFFFFF;
    return folder + '.' + name + '.' + QByteArray::number(digits, 16).rightJustified(6, '0') +
           ".tmp";
}

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// Gives the finished file its name only where nothing stands at that name: EEXIST otherwise,
// a dangling link included.
int renameNoReplace(const QByteArray& from, const QByteArray& to)
{
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
#endif
    // Without the flag: a hard link is never made over anything.
    if (::link(from.constData(), to.constData()) != 0)
        return -1;
    ::unlink(from.constData());
    return 0;
}

// write() as the fault plan lets it run.
ssize_t plannedWrite(int fd, const char* data, size_t size, qint64 written, bool& interrupted)
{
    if (g_plan.interruptWrites && !interrupted) {
        interrupted = true;
        errno = EINTR;
        return -1;
    }
    interrupted = false;
    if (g_plan.maxBytesPerWrite > 0)
        size = std::min(size, size_t(g_plan.maxBytesPerWrite));
    if (g_plan.failWriteAfter >= 0) {
        const qint64 room = g_plan.failWriteAfter - written;
        if (room <= 0) {
            errno = g_plan.writeError;
            return -1;
        }
        size = std::min(size, size_t(room));
    }
    return ::write(fd, data, size);
}

// A system call, unless the fault plan makes it fail without running.
template <typename Call> int planned(int injected, Call call)
{
    if (injected) {
        errno = injected;
        return -1;
    }
    return call();
}

} // namespace

qint64 testing::PlannedWrite(int fd, const char* data, qint64 size, qint64 written,
                             bool& interrupted)
{
    return plannedWrite(fd, data, size_t(size), written, interrupted);
}

bool ReplacingFile::open(const QString& path, Target mode)
{
    discard();
    committed_ = false;
    failure_ = {};
    written_ = 0;
    mode_ = mode;

    const bool fresh = mode == Target::NewPrivateFile;
    const QByteArray target =
        fresh ? QFile::encodeName(path) : followLinks(QFile::encodeName(path));
    target_ = QFile::decodeName(target);
    if (target.isEmpty())
        return fail(Stage::Create, ENOENT);

    struct stat st {};
    if (fresh) {
        if (::lstat(target.constData(), &st) == 0)
            return fail(Stage::Create, EEXIST);
        if (errno != ENOENT)
            return fail(Stage::Create, errno);
    } else if (::stat(target.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return fail(Stage::Create, S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile);
        // A file the user protected stays as it is, also where the folder would let us
        // replace it. Root may write anything, so the owner's bit decides for root.
        if (!(st.st_mode & S_IWUSR))
            return fail(Stage::Write, EACCES);
        if (::geteuid() != 0 && ::access(target.constData(), W_OK) != 0)
            return fail(Stage::Write, errno);
    } else if (errno != ENOENT) {
        return fail(Stage::Create, errno);
    }

    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray candidate = hiddenName(target);
        int fd = -1;
        do {
            fd = planned(g_plan.createError, [&] {
                return ::open(candidate.constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              S_IRUSR | S_IWUSR);
            });
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            fd_ = fd;
            temporary_ = QFile::decodeName(candidate);
            return true;
        }
        if (errno != EEXIST)
            return fail(Stage::Create, errno);
    }
    return fail(Stage::Create, EEXIST);
}

bool ReplacingFile::write(const char* data, qint64 size)
{
    if (fd_ < 0)
        return fail(Stage::Write, EBADF);
    bool interrupted = false;
    while (size > 0) {
        const ssize_t n = plannedWrite(fd_, data, size_t(size), written_, interrupted);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(Stage::Write, errno);
        }
        if (n == 0)
            return fail(Stage::Write, ENOSPC);
        data += n;
        size -= n;
        written_ += n;
    }
    return true;
}

bool ReplacingFile::commit()
{
    if (fd_ < 0)
        return fail(Stage::Write, EBADF);

    int rc = 0;
    do {
        rc = planned(g_plan.syncError, [this] { return ::fsync(fd_); });
    } while (rc != 0 && errno == EINTR);
    if (rc != 0)
        return fail(Stage::Write, errno);

    const QByteArray target = QFile::encodeName(target_);
    const bool fresh = mode_ == Target::NewPrivateFile;
    struct stat old {};
    mode_t mode = fresh ? mode_t(S_IRUSR | S_IWUSR) : 0666 & ~currentUmask();
    if (!fresh && ::stat(target.constData(), &old) == 0) {
        mode = old.st_mode & 07777;
        // Keeps the owner and group where the process may; a failure leaves the file ours,
        // which is no reason to lose the new contents.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)::fchown(fd_, old.st_uid, old.st_gid);
    }
    if (planned(g_plan.chmodError, [&] { return ::fchmod(fd_, mode); }) != 0)
        return fail(Stage::Write, errno);

    const int fd = fd_;
    fd_ = -1;
    // After an interrupted close() the descriptor is gone on this system and the data were
    // synced above, so only another failure counts.
    int closed = ::close(fd);
    if (g_plan.closeError) {
        errno = g_plan.closeError;
        closed = -1;
    }
    if (closed != 0 && errno != EINTR)
        return fail(Stage::Write, errno);

    const QByteArray temporary = QFile::encodeName(temporary_);
    if (planned(g_plan.renameError, [&] {
            return fresh ? renameNoReplace(temporary, target)
                         : ::rename(temporary.constData(), target.constData());
        }) != 0)
        return fail(fresh && errno == EEXIST ? Stage::Create : Stage::Write, errno);
    committed_ = true;
    temporary_.clear();

    // Makes the rename itself durable. The new contents are in place and visible by now; a
    // file system that cannot sync a folder is no failure of the save.
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? target.left(slash) : QByteArray(slash == 0 ? "/" : ".");
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void ReplacingFile::discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.isEmpty()) {
        ::unlink(QFile::encodeName(temporary_).constData());
        temporary_.clear();
    }
}

#else // Elsewhere Qt's own save file does the work, checked at every step.

struct ReplacingFile::Portable {
    std::unique_ptr<QSaveFile> file;
};

bool ReplacingFile::open(const QString& path, Target mode)
{
    discard();
    committed_ = false;
    failure_ = {};
    target_ = path;
    mode_ = mode;
    const QFileInfo info(path);
    if (mode == Target::NewPrivateFile && (info.exists() || info.isSymLink()))
        return fail(Stage::Create, EEXIST);
    if (info.exists() && !info.isFile())
        return fail(Stage::Create, info.isDir() ? EISDIR : kNotRegularFile);
    if (info.exists() && !info.isWritable())
        return fail(Stage::Write, EACCES);
    portable_ = std::make_unique<Portable>();
    portable_->file = std::make_unique<QSaveFile>(path);
    if (!portable_->file->open(QIODevice::WriteOnly))
        return fail(Stage::Create, EACCES);
    fd_ = 0;
    return true;
}

bool ReplacingFile::write(const char* data, qint64 size)
{
    if (fd_ < 0)
        return fail(Stage::Write, EBADF);
    // The buffer is flushed at once: a commit that has to write it out may not tell.
    if (portable_->file->write(data, size) != size || !portable_->file->flush())
        return fail(Stage::Write, EIO);
    return true;
}

bool ReplacingFile::commit()
{
    if (fd_ < 0)
        return fail(Stage::Write, EBADF);
    fd_ = -1;
    if (!portable_->file->flush() || !portable_->file->commit())
        return fail(Stage::Write, EIO);
    committed_ = true;
    portable_.reset();
    return true;
}

void ReplacingFile::discard()
{
    fd_ = -1;
    if (portable_ && portable_->file)
        portable_->file->cancelWriting();
    portable_.reset();
}

#endif

ReplacingFile::~ReplacingFile()
{
    discard();
}

void ReplacingFile::cancel()
{
    discard();
}

bool ReplacingFile::fail(Stage stage, int error)
{
    discard();
    if (!failure_)
        failure_ = Failure{stage, error ? error : EIO};
    return false;
}

} // namespace varnel::filesave
