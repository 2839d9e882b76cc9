#include "handbook/viewer/ViewerFiles.h"

#include "core/AtomicSave.h"
#include "core/Error.h"
#include "core/Settings.h"
#include "core/TempFiles.h"
#include "core/Values.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace varnel {
namespace {

// The system's temporary folder is asked into a buffer of this many characters.
constexpr qsizetype kTempPathBuffer = 512;

const QString kBreak = QStringLiteral("\r\n");

QString CleanedName(QString name)
{
    name.remove(QChar(u'\0'));
    return TrimSpaces(name);
}

bool OwnedByUser(const QFileInfo& info)
{
#if defined(Q_OS_UNIX)
    return info.ownerId() == ::getuid();
#else
    Q_UNUSED(info);
    return true;
#endif
}

} // namespace

QStringList TemporaryFile::files() const
{
    QStringList list;
    if (!path.isEmpty())
        list << path;
    if (!reserved.isEmpty())
        list << reserved;
    return list;
}

TemporaryFile ReserveTemporaryFile(const QString& extension)
{
    // The folder as the system reports it, with its closing separator.
    QString folder = TemporaryFolder();
    if (!folder.isEmpty() && !folder.endsWith(u'/'))
        folder += u'/';
    if (folder.size() < 1 || folder.size() >= kTempPathBuffer)
        Fail(NoTemporaryFolderText());
    folder = CleanedName(folder);

    const QString reserved = CreateUniqueTempFile(folder, QString(), extension);
    if (reserved.isEmpty())
        Fail(NoTemporaryNameText());
    TemporaryFile file;
    file.reserved = reserved;
    file.path = CleanedName(RenamePathExtension(reserved, extension));
    return file;
}

void WriteTemporaryFile(const TemporaryFile& file, const QByteArray& bytes)
{
    SaveFileAtomically(file.path, bytes, AtomicFile::NewPrivateFile);
}

void RemoveFiles(const QStringList& files)
{
    for (const QString& file : files) {
        const QFileInfo info(file);
        if (info.isFile() || info.isSymLink())
            QFile::remove(file);
    }
}

QByteArray ReadViewerFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("Не удалось открыть файл ") + path + u':' + kBreak +
             file.errorString());
    if (file.size() > kViewerMaxFileBytes)
        Fail(QStringLiteral("Файл ") + path + QStringLiteral(" слишком велик для просмотра: ") +
             QString::number(file.size() / (1024 * 1024)) + QStringLiteral(" МБ (не более ") +
             QString::number(kViewerMaxFileBytes / (1024 * 1024)) + QStringLiteral(" МБ)"));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        Fail(QStringLiteral("Не удалось прочитать файл ") + path + u':' + kBreak +
             file.errorString());
    return bytes;
}

MessageCopy MakeMessageCopy(const QString& path)
{
    MessageCopy result;
    result.copy = ReserveTemporaryFile(QStringLiteral(".XML"));
    try {
        PreparedMessage message = PrepareIncomingMessage(ReadViewerFile(path));
        if (!message.kind)
            Fail(NotAMessageText(path));
        AttachStylesheet(message.text, message.kind->openingMarker,
                         StylesheetOfKind(*message.kind));
        WriteTemporaryFile(result.copy, message.text);
        result.kind = message.kind;
    } catch (...) {
        // A command that fails leaves nothing behind in the temporary folder.
        RemoveFiles(result.copy.files());
        throw;
    }
    return result;
}

HandbookFile PrepareHandbookFile(const QString& path)
{
    HandbookFile result;
    result.shown = path;
    if (IsHtmlExtension(path))
        return result;

    QByteArray text = ReadViewerFile(path);
    const QByteArray upper = UpperCasedText(text);
    const QByteArray marker = QByteArrayLiteral("<ISSUELIST");
    if (!upper.contains("<?XML") || !upper.contains(marker))
        Fail(NotAHandbookText(path));
    if (HasStylesheetInstruction(upper))
        return result;
    const QString stylesheet = ResolveStylesheetSetting(
        ReadSetting(QStringLiteral("Path"), QStringLiteral("SchemaIssueList"), {}));
    if (stylesheet.isEmpty())
        return result;

    result.copy = ReserveTemporaryFile(QStringLiteral(".XML"));
    try {
        AttachStylesheet(text, marker, stylesheet);
        WriteTemporaryFile(result.copy, text);
    } catch (...) {
        RemoveFiles(result.copy.files());
        throw;
    }
    result.shown = result.copy.path;
    return result;
}

int RemoveStaleViewerFiles(const QString& folder, const QDateTime& olderThan)
{
    static const QRegularExpression reserved(QStringLiteral("^([0-9A-F]{1,4})\\.tmp$"));
    const QDir dir(folder);
    int removed = 0;
    const auto stale = [&](const QFileInfo& info) {
        return info.isFile() && !info.isSymLink() && OwnedByUser(info) &&
               info.lastModified() < olderThan;
    };
    const QFileInfoList candidates =
        dir.entryInfoList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& info : candidates) {
        const QRegularExpressionMatch match = reserved.match(info.fileName());
        if (!match.hasMatch() || info.size() != 0 || !stale(info))
            continue;
        // Only a pair proves the files are a viewer's: the empty reservation and its twin.
        bool twinned = false;
        for (const char* ext : {".XML", ".htm"}) {
            const QFileInfo twin(dir.filePath(match.captured(1) + QLatin1String(ext)));
            if (!stale(twin))
                continue;
            twinned = true;
            if (QFile::remove(twin.filePath()))
                ++removed;
        }
        if (twinned && QFile::remove(info.filePath()))
            ++removed;
    }
    return removed;
}

int RemoveStaleViewerFolders(const QString& sharedFolder, const QDateTime& olderThan)
{
    int removed = 0;
    const QFileInfoList folders =
        QDir(sharedFolder)
            .entryInfoList({QStringLiteral("varnel-??????")},
                           QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo& info : folders) {
        if (info.isSymLink() || !OwnedByUser(info) || info.lastModified() >= olderThan ||
            info.absoluteFilePath() == QFileInfo(TemporaryFolder()).absoluteFilePath())
            continue;
        RemoveStaleViewerFiles(info.absoluteFilePath(), olderThan);
        if (QDir().rmdir(info.absoluteFilePath()))
            ++removed;
    }
    return removed;
}

void RemoveStaleViewerFiles()
{
    const QDateTime dayAgo = QDateTime::currentDateTime().addDays(-1);
    RemoveStaleViewerFiles(TemporaryFolder(), dayAgo);
    RemoveStaleViewerFolders(QDir::tempPath(), dayAgo);
}

} // namespace varnel
