#include "shell/InstanceLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLockFile>

namespace varnel {

InstanceLock::InstanceLock() = default;

InstanceLock::~InstanceLock()
{
    release();
}

QString InstanceLock::LockFilePath(const QString& title)
{
    const QString key = title.trimmed().toUpper();
    // Letters and digits stay readable in the name; everything else (separators, dots,
    // parentheses) becomes "_". The digest keeps titles apart that differ only there.
    QString readable;
    for (const QChar c : key) {
        readable += c.isLetterOrNumber() ? c : QChar(u'_');
        if (readable.size() >= 80)
            break;
    }
    const QByteArray digest =
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QDir(QDir::tempPath())
        .filePath(QStringLiteral("varnel-%1-%2.lock").arg(readable, QString::fromLatin1(digest)));
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
    // Only a lock held by a live client refuses; a temporary folder that cannot be written
    // says nothing about other clients.
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

} // namespace varnel
