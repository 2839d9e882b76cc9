#include "shell/InstanceLock.h"

#include "core/TempFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLockFile>

#if defined(Q_OS_UNIX)
#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace varnel {
namespace {

// The lock file's name: letters and digits stay readable; everything else (separators,
// dots, parentheses) becomes "_". The digest keeps titles apart that differ only there.
QString lockFileName(const QString& title)
{
    const QString key = title.trimmed().toUpper();
    QString readable;
    for (const QChar c : key) {
        readable += c.isLetterOrNumber() ? c : QChar(u'_');
        if (readable.size() >= 80)
            break;
    }
    const QByteArray digest =
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("varnel-%1-%2.lock").arg(readable, QString::fromLatin1(digest));
}

#if defined(Q_OS_UNIX)

QString absoluteFromEnvironment(const char* name)
{
    const QString value = qEnvironmentVariable(name);
    return value.startsWith(u'/') ? QDir::cleanPath(value) : QString();
}

QString lockFolder()
{
    // The runtime folder is the session's own: it is used only as it is.
    const QString runtime = absoluteFromEnvironment("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && IsPrivateFolder(runtime))
        return runtime;
    // The temporary folder is shared: another user may hold the name already, with anything.
    const QString temp =
        QDir(QDir::tempPath()).filePath(QStringLiteral("varnel-") + QString::number(::geteuid()));
    if (EnsurePrivateFolder(temp))
        return temp;
    QString cache = absoluteFromEnvironment("XDG_CACHE_HOME");
    if (cache.isEmpty() && QDir::homePath() != QDir::rootPath())
        cache = QDir::homePath() + QStringLiteral("/.cache");
    if (cache.isEmpty() || !QDir().mkpath(cache))
        return QString();
    const QString own = cache + QStringLiteral("/varnel-locks");
    return EnsurePrivateFolder(own) ? own : QString();
}

// The lock file, opened without following a link, without waiting on a pipe or device, and
// only when it is a plain file of the user's. -1 otherwise.
int openLockFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

#endif

} // namespace

InstanceLock::InstanceLock() = default;

InstanceLock::~InstanceLock()
{
    release();
}

#if defined(Q_OS_UNIX)

QString InstanceLock::LockFilePath(const QString& title)
{
    const QString folder = lockFolder();
    return folder.isEmpty() ? QString() : folder + u'/' + lockFileName(title);
}

bool InstanceLock::acquire(const QString& title)
{
    release();
    const QString path = LockFilePath(title);
    if (path.isEmpty())
        return true;
    const int fd = openLockFile(path);
    if (fd < 0)
        return true;
    // The lock belongs to this open file: a second client opens the file anew and is refused,
    // in this process as in another. The system lets it go when the process ends, however it
    // ends. The file itself stays: removing it could let two clients lock two files.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        fd_ = fd;
        return true;
    }
    const int error = errno;
    ::close(fd);
    return error != EWOULDBLOCK;
}

void InstanceLock::release()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool InstanceLock::isHeld() const
{
    return fd_ >= 0;
}

#else

QString InstanceLock::LockFilePath(const QString& title)
{
    return QDir(QDir::tempPath()).filePath(lockFileName(title));
}

bool InstanceLock::acquire(const QString& title)
{
    release();
    auto lock = std::make_unique<QLockFile>(LockFilePath(title));
    // A running client keeps its lock for as long as it runs: the lock is never stale by
    // age, only when its owner process is gone.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        lock_ = std::move(lock);
        return true;
    }
    return lock->error() != QLockFile::LockFailedError;
}

void InstanceLock::release()
{
    if (lock_) {
        lock_->unlock();
        lock_.reset();
    }
}

bool InstanceLock::isHeld() const
{
    return lock_ && lock_->isLocked();
}

#endif

} // namespace varnel
