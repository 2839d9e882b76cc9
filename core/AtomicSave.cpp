#include "core/AtomicSave.h"

#include "core/Error.h"
#include "core/Values.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnel {
namespace {

QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(QDir::toNativeSeparators(path));
}

// The file a path names: a symbolic link is followed, so that the link survives the rename.
QString resolveTarget(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString target = info.symLinkTarget();
        if (!target.isEmpty())
            return target;
    }
    return info.absoluteFilePath();
}

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

void syncFolder(const QString& folder)
{
    // Makes the rename itself durable; a file system that cannot sync a folder is no failure.
    const int fd = ::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

QString SystemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString FileCreateErrorText(const QString& path, const QString& reason)
{
    return QStringLiteral("Не удалось создать файл ") + QDir::toNativeSeparators(path) +
           QStringLiteral(":\r\n") + reason;
}

QString FileWriteErrorText(const QString& path, const QString& reason)
{
    return QStringLiteral("Не удалось записать файл ") + QDir::toNativeSeparators(path) +
           QStringLiteral(":\r\n") + reason;
}

AtomicFile::AtomicFile(const QString& path) : target_(resolveTarget(path))
{
    const QFileInfo info(target_);
    // A device, a pipe or a folder at the path is never replaced by a file.
    struct stat existing {};
    if (::stat(nativePath(target_).constData(), &existing) == 0 && !S_ISREG(existing.st_mode))
        throw Error(FileCreateErrorText(path, S_ISDIR(existing.st_mode)
                                                  ? SystemErrorText(EISDIR)
                                                  : QStringLiteral("Not a regular file")));
    const QString folder = info.absolutePath();
    // Hidden, so that a transport or a folder listing does not take it for a finished file.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate =
            JoinPath(folder, u'.' + info.fileName() + u'.') +
            QString::number(QRandomGenerator::global()->generate() & 0xFFFFFF, 16) +
            QStringLiteral(".tmp");
        fd_ = ::open(nativePath(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                     S_IRUSR | S_IWUSR);
        if (fd_ >= 0) {
            temporary_ = candidate;
            return;
        }
        if (errno != EEXIST)
            throw Error(FileCreateErrorText(path, SystemErrorText(errno)));
    }
    throw Error(FileCreateErrorText(path, SystemErrorText(EEXIST)));
}

AtomicFile::~AtomicFile()
{
    discard();
}

void AtomicFile::write(const char* data, qsizetype size)
{
    if (fd_ < 0)
        fail(EBADF);
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        if (n == 0)
            fail(ENOSPC);
        data += n;
        size -= n;
    }
}

void AtomicFile::commit()
{
    if (fd_ < 0)
        fail(EBADF);
    if (::fsync(fd_) != 0)
        fail(errno);

    struct stat old {};
    const QByteArray target = nativePath(target_);
    const mode_t mode =
        ::stat(target.constData(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~currentUmask());
    if (::fchmod(fd_, mode) != 0)
        fail(errno);

    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        fail(errno);
    if (::rename(nativePath(temporary_).constData(), target.constData()) != 0)
        fail(errno);
    committed_ = true;
    temporary_.clear();
    syncFolder(QFileInfo(target_).absolutePath());
}

void AtomicFile::cancel()
{
    discard();
}

void AtomicFile::discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.isEmpty()) {
        ::unlink(nativePath(temporary_).constData());
        temporary_.clear();
    }
}

void AtomicFile::fail(int error)
{
    const int saved = error;
    discard();
    throw Error(FileWriteErrorText(target_, SystemErrorText(saved)));
}

void SaveFileAtomically(const QString& path, const QByteArray& bytes)
{
    AtomicFile file(path);
    file.write(bytes);
    file.commit();
}

} // namespace varnel
