#include "messages/FileMove.h"

#include "core/Error.h"
#include "core/Values.h"
#include "messages/Overrides.h"

#include "filesave/ReplacingFile.h"

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

const filesave::testing::FaultPlan& faults()
{
    return filesave::testing::CurrentFaultPlan();
}

// A system call, unless the tests' fault plan makes it fail without running.
template <typename Call> int planned(int injected, Call call)
{
    if (injected) {
        errno = injected;
        return -1;
    }
    return call();
}

// Renames without replacing an existing target. Returns 0 or an errno value.
int renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (faults().renameError)
        return faults().renameError;
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

// Copies everything from in to out. 0 or an errno value.
int copyData(int in, int out)
{
    char block[64 * 1024];
    qint64 written = 0;
    bool interrupted = false;
    for (;;) {
        ssize_t got = -1;
        if (faults().readError)
            errno = faults().readError;
        else
            got = ::read(in, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
        const char* p = block;
        while (got > 0) {
            const qint64 put =
                filesave::testing::PlannedWrite(out, p, qint64(got), written, interrupted);
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0)
                return errno;
            if (put == 0)
                return ENOSPC;
            p += put;
            got -= put;
            written += put;
        }
    }
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
        out = planned(faults().createError, [&] {
            return ::open(part.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          0666);
        });
        if (out < 0 && errno != EEXIST)
            break;
    }
    if (out < 0) {
        const int error = errno;
        ::close(in);
        failMove(source, target, errorText(error));
    }

    int error = copyData(in, out);
    if (!error && planned(faults().syncError, [&] { return ::fsync(out); }) != 0)
        error = errno;
    int closed = ::close(out);
    if (faults().closeError) {
        errno = faults().closeError;
        closed = -1;
    }
    // The descriptor is gone after an interrupted close() on this system, and the data were
    // synced above: only another failure counts.
    if (closed != 0 && errno != EINTR && !error)
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

    // The request must not stay in both folders: one the user would send again while the
    // other is on its way. When the original cannot be removed, the copy is taken back out
    // of the send folder (under its hidden name, which the transport does not pick up) and
    // the move fails. A copy that cannot be taken back is already on its way: the move then
    // counts as made, and the original is all that is left over.
    if (planned(faults().removeError, [&] { return ::unlink(src.constData()); }) == 0 ||
        errno == ENOENT)
        return;
    const int removeError = errno;
    if (::rename(dst.constData(), part.constData()) != 0)
        return;
    ::unlink(part.constData());
    syncFolderOf(target);
    failMove(source, target, errorText(removeError));
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
