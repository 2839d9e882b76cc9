#include "core/AtomicSave.h"

#include "core/Error.h"

#include <QDir>

namespace varnel {

QString SystemErrorText(int error)
{
    return filesave::ErrorDescription(error);
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

QString FileSaveErrorText(const QString& path, const filesave::Failure& failure)
{
    const QString reason = SystemErrorText(failure.error);
    return failure.stage == filesave::Stage::Create ? FileCreateErrorText(path, reason)
                                                    : FileWriteErrorText(path, reason);
}

AtomicFile::AtomicFile(const QString& path, Target target) : path_(path)
{
    if (!file_.open(path, target))
        raise();
}

void AtomicFile::write(const char* data, qsizetype size)
{
    if (!file_.write(data, size))
        raise();
}

QString AtomicFile::writablePath() const
{
#if defined(Q_OS_LINUX)
    if (file_.descriptor() >= 0)
        return QStringLiteral("/proc/self/fd/%1").arg(file_.descriptor());
#endif
    return file_.temporaryPath();
}

void AtomicFile::commit()
{
    if (!file_.commit())
        raise();
}

void AtomicFile::raise() const
{
    throw Error(FileSaveErrorText(path_, file_.failure()));
}

void SaveFileAtomically(const QString& path, const QByteArray& bytes, AtomicFile::Target target)
{
    AtomicFile file(path, target);
    file.write(bytes);
    file.commit();
}

} // namespace varnel
