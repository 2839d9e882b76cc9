#include "core/TempFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace varnel {
namespace {

QString g_temporaryFolder;

// Next number tried; like the system's generator it starts from a varying value and counts up
// from the last name it made.
quint16 g_nextUnique = 0;
bool g_uniqueSeeded = false;

// True when a file (or anything else, a dangling link included) of that name exists.
bool nameTaken(const QString& path)
{
    return QFileInfo::exists(path) || QFileInfo(path).isSymLink();
}

QString inFolder(const QString& folder, const QString& name)
{
    if (folder.isEmpty())
        return name;
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

} // namespace

QString TemporaryFolder()
{
    return g_temporaryFolder.isEmpty() ? QDir::tempPath() : g_temporaryFolder;
}

void SetTemporaryFolder(const QString& folder)
{
    g_temporaryFolder = folder;
}

QString CreateUniqueTempFile(const QString& folder, const QString& prefix,
                             const QString& finalExtension)
{
    if (!g_uniqueSeeded) {
        g_nextUnique = quint16(QRandomGenerator::global()->generate());
        g_uniqueSeeded = true;
    }
    const QString head = prefix.left(3);
    for (int tries = 0; tries < 0x10000; ++tries) {
        const quint16 unique = g_nextUnique++;
        if (unique == 0)
            continue;
        const QString stem = inFolder(folder, head + QString::number(unique, 16).toUpper());
        if (!finalExtension.isEmpty() && nameTaken(stem + finalExtension))
            continue;
        const QString name = stem + QStringLiteral(".tmp");
#if defined(Q_OS_UNIX)
        const QByteArray encoded = QFile::encodeName(name);
        const int fd = ::open(encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return name;
        }
        if (errno != EEXIST)
            return QString();
#else
        QFile file(name);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return name;
        if (nameTaken(name))
            continue;
        return QString();
#endif
    }
    return QString();
}

QString RenamePathExtension(const QString& path, const QString& extension)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot > slash)
        return path.left(dot) + extension;
    return path + extension;
}

} // namespace varnel
