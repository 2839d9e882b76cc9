#include "core/TempFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>

#include <cstdlib>
#include <string>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace varnel {
namespace {

QString g_temporaryFolder;
QString g_privateFolder;

#if defined(Q_OS_UNIX)
bool IsPrivateFolder(const QByteArray& path)
{
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

bool EnsurePrivateFolder(const QByteArray& path)
{
    return (::mkdir(path.constData(), 0700) == 0 || errno == EEXIST) && IsPrivateFolder(path);
}

// The folder made fresh for this process, removed at exit when nothing is left in it (a
// workbook the user may still open keeps it). Never freed: the exit handler reads it.
std::string* g_freshFolder = nullptr;

void RemoveFreshFolder()
{
    if (g_freshFolder)
        ::rmdir(g_freshFolder->c_str());
}

QString MakePrivateFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && IsPrivateFolder(runtime)) {
        const QByteArray folder = runtime + "/varnel";
        if (EnsurePrivateFolder(folder))
            return QFile::decodeName(folder);
    }
    QByteArray pattern = QFile::encodeName(QDir::tempPath() + QStringLiteral("/varnel-XXXXXX"));
    if (!::mkdtemp(pattern.data()))
        return QString();
    if (!g_freshFolder) {
        g_freshFolder = new std::string;
        std::atexit(RemoveFreshFolder);
    }
    *g_freshFolder = pattern.toStdString();
    return QFile::decodeName(pattern);
}
#else
QString MakePrivateFolder()
{
    const QString folder = QDir::tempPath() + QStringLiteral("/varnel");
    return QDir().mkpath(folder) ? folder : QString();
}
#endif

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

#if defined(Q_OS_UNIX)
bool IsPrivateFolder(const QString& path)
{
    return IsPrivateFolder(QFile::encodeName(path));
}

bool EnsurePrivateFolder(const QString& path)
{
    return EnsurePrivateFolder(QFile::encodeName(path));
}
#else
bool IsPrivateFolder(const QString& path)
{
    return QFileInfo(path).isDir();
}

bool EnsurePrivateFolder(const QString& path)
{
    return QDir().mkpath(path);
}
#endif

QString TemporaryFolder()
{
    if (!g_temporaryFolder.isEmpty())
        return g_temporaryFolder;
    if (g_privateFolder.isEmpty())
        g_privateFolder = MakePrivateFolder();
    return g_privateFolder;
}

void SetTemporaryFolder(const QString& folder)
{
    g_temporaryFolder = folder;
    g_privateFolder.clear();
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
        const int fd =
            ::open(encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
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
