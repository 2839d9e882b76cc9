#include "messages/FileMove.h"

#include "core/Error.h"
#include "core/Values.h"
#include "messages/Overrides.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace varnel {
namespace {

const QString kBreak = QStringLiteral("\r\n");

[[noreturn]] void failExists(const QString& source, const QString& target)
{
    Fail(QStringLiteral("Не удалось переместить запрос в каталог отправки: в нем уже есть файл ") +
         target + kBreak + QStringLiteral("Запрос остался в рабочем каталоге: ") + source);
}

[[noreturn]] void failMove(const QString& source, const QString& target, const QString& reason)
{
    Fail(QStringLiteral("Не удалось переместить файл ") + source + QStringLiteral(" в ") + target +
         QStringLiteral(":") + kBreak + reason);
}

#if defined(Q_OS_UNIX)

QString errorText(int error)
{
    return qt_error_string(error);
}

// Renames without replacing an existing target. Returns 0 or an errno value.
int renameNoReplace(const QByteArray& from, const QByteArray& to)
{
#if defined(Q_OS_LINUX) && defined(RENAME_NOREPLACE)
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP && errno != EOPNOTSUPP)
        return errno;
#endif
    // A hard link is refused when the name is taken; the old name is then dropped.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != ENOSYS &&
        errno != EMLINK)
        return errno;
    // A file system without hard links or an exclusive rename: look before renaming.
    struct stat st;
    if (::lstat(to.constData(), &st) == 0)
        return EEXIST;
    if (::rename(from.constData(), to.constData()) == 0)
        return 0;
    return errno;
}

void syncFile(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void syncFolderOf(const QString& path)
{
    syncFile(QFile::encodeName(QFileInfo(path).absolutePath()));
}

// Copies source into the target's folder under a hidden name and renames the copy into place.
void copyIntoPlace(const QString& source, const QString& target)
{
    const QByteArray src = QFile::encodeName(source);
    const QByteArray dst = QFile::encodeName(target);
    const int in = ::open(src.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        failMove(source, target, errorText(errno));

    const QFileInfo ti(target);
    QByteArray part;
    int out = -1;
    for (int attempt = 0; attempt < 100 && out < 0; ++attempt) {
        part = QFile::encodeName(JoinPath(ti.absolutePath(), u'.' + ti.fileName() + u'.') +
                                 QString::number(QRandomGenerator::global()->generate(), 16) +
                                 QStringLiteral(".part"));
        out = ::open(part.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (out < 0 && errno != EEXIST)
            break;
    }
    if (out < 0) {
        const int error = errno;
        ::close(in);
        failMove(source, target, errorText(error));
    }

    int error = 0;
    char block[64 * 1024];
    for (;;) {
        ssize_t got = ::read(in, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = errno;
            break;
        }
        if (got == 0)
            break;
        const char* p = block;
        while (got > 0) {
            const ssize_t put = ::write(out, p, size_t(got));
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0) {
                error = errno;
                break;
            }
            p += put;
            got -= put;
        }
        if (error)
            break;
    }
    if (!error && ::fsync(out) != 0)
        error = errno;
    if (::close(out) != 0 && !error)
        error = errno;
    ::close(in);
    if (!error)
        error = renameNoReplace(part, dst);
    if (error) {
        ::unlink(part.constData());
        if (error == EEXIST)
            failExists(source, target);
        failMove(source, target, errorText(error));
    }
    syncFolderOf(target);
    ::unlink(src.constData());
}

#endif

} // namespace

void MoveRequestFile(const QString& source, const QString& target)
{
#if defined(Q_OS_UNIX)
    const QByteArray src = QFile::encodeName(source);
    const QByteArray dst = QFile::encodeName(target);
    // The data reach the disk before the name does, so that no empty request survives a crash.
    syncFile(src);
    int error = EXDEV;
    if (!overrides::ForceCrossDeviceMove())
        error = renameNoReplace(src, dst);
    if (error == 0) {
        syncFolderOf(target);
        return;
    }
    if (error == EEXIST)
        failExists(source, target);
    if (error != EXDEV)
        failMove(source, target, errorText(error));
    copyIntoPlace(source, target);
#else
    if (QFileInfo::exists(target))
        failExists(source, target);
    QFile file(source);
    if (!file.rename(target))
        failMove(source, target, file.errorString());
#endif
}

namespace overrides {
bool& ForceCrossDeviceMove()
{
    static bool force = false;
    return force;
}
} // namespace overrides

} // namespace varnel
