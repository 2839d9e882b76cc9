#include "FileOps.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace loopback {
namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

int writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return ENOSPC;
        data += n;
        size -= n;
    }
    return 0;
}

// Gives a hidden file its final name without replacing anything.
int linkNoReplace(const QByteArray& from, const QByteArray& to)
{
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
#endif
    // File systems without the flag: a hard link fails on an existing target.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS)
        return errno;
    // Nor hard links: the check and the rename are two steps here.
    struct stat st {};
    if (::lstat(to.constData(), &st) == 0)
        return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

} // namespace

QString ErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

void SyncFolder(const QString& folder)
{
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

int MoveNoReplace(const QString& from, const QString& to)
{
    return linkNoReplace(native(from), native(to));
}

bool IsPlainFile(const QString& path)
{
    struct stat st {};
    return ::lstat(native(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

QList<QByteArray> FolderNames(const QString& folder)
{
    QList<QByteArray> names;
    DIR* dir = ::opendir(native(folder).constData());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(name);
    }
    ::closedir(dir);
    return names;
}

bool IsBeingWritten(const QString& path)
{
    const int fd = ::open(native(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false; // gone, or not to be read: the taking step says why
    // A read lease is granted only while nobody has the file open for writing.
    const int leased = ::fcntl(fd, F_SETLEASE, F_RDLCK);
    const int error = errno;
    if (leased == 0)
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
    struct stat st {};
    const bool known = ::fstat(fd, &st) == 0;
    ::close(fd);
    if (leased == 0)
        return false;
    if (error == EAGAIN || error == EBUSY)
        return true;
    if (!known)
        return false;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec - st.st_mtim.tv_sec < 2;
}

bool SameContent(const QString& a, const QString& b)
{
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly))
        return false;
    if (fa.size() != fb.size())
        return false;
    while (!fa.atEnd()) {
        const QByteArray x = fa.read(1 << 20);
        const QByteArray y = fb.read(1 << 20);
        if (x != y || x.isEmpty())
            return false;
    }
    return fb.atEnd();
}

OpenFile::~OpenFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

HiddenFile::~HiddenFile()
{
    discard();
}

int HiddenFile::create(const QString& folder, const QString& finalName)
{
    discard();
    folder_ = folder;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString candidate = folder + QStringLiteral("/.") + finalName + u'.' +
                                  QString::number(::getpid()) + u'.' + QString::number(attempt) +
                                  QStringLiteral(".part");
        fd_ = ::open(native(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd_ >= 0) {
            hidden_ = candidate;
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int HiddenFile::write(const char* data, qsizetype size)
{
    return fd_ < 0 ? EBADF : writeAll(fd_, data, size);
}

int HiddenFile::append(const QString& path)
{
    if (fd_ < 0)
        return EBADF;
    const int in = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    int result = 0;
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), size_t(buffer.size()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            result = errno;
            break;
        }
        if (n == 0)
            break;
        result = writeAll(fd_, buffer.constData(), n);
        if (result != 0)
            break;
    }
    ::close(in);
    return result;
}

int HiddenFile::finish()
{
    if (fd_ < 0)
        return EBADF;
    if (::fsync(fd_) != 0) {
        const int error = errno;
        discard();
        return error;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        const int error = errno;
        discard();
        return error;
    }
    return 0;
}

int HiddenFile::place(const QString& name, bool replace)
{
    if (hidden_.isEmpty() || fd_ >= 0)
        return EBADF;
    const QByteArray target = native(folder_ + u'/' + name);
    int result = 0;
    if (replace)
        result = ::rename(native(hidden_).constData(), target.constData()) == 0 ? 0 : errno;
    else
        result = linkNoReplace(native(hidden_), target);
    if (result != 0)
        return result;
    hidden_.clear();
    SyncFolder(folder_);
    return 0;
}

void HiddenFile::discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!hidden_.isEmpty()) {
        ::unlink(native(hidden_).constData());
        hidden_.clear();
    }
}

int WriteFileAtomically(const QString& folder, const QString& name, const QByteArray& bytes)
{
    HiddenFile file;
    int result = file.create(folder, name);
    if (result == 0)
        result = file.write(bytes);
    if (result == 0)
        result = file.finish();
    if (result == 0)
        result = file.place(name, true);
    return result;
}

} // namespace loopback
