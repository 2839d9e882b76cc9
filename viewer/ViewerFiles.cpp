#include "viewer/ViewerFiles.h"

#include "core/AtomicSave.h"
#include "core/Error.h"
#include "core/SettingKeys.h"
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

bool IsLineBreakAt(const QByteArray& text, qsizetype i)
{
    // CR LF counts once, at its LF; a lone CR counts as a break of its own.
    return text.at(i) == '\n' ||
           (text.at(i) == '\r' && (i + 1 >= text.size() || text.at(i + 1) != '\n'));
}

// Line breaks in text before position end, and the characters after the last of them.
QPair<int, int> BreaksBefore(const QByteArray& text, qsizetype end)
{
    int breaks = 0;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < end; ++i) {
        if (IsLineBreakAt(text, i)) {
            ++breaks;
            lineStart = i + 1;
        }
    }
    return {breaks, int(end - lineStart)};
}

// Attaches the stylesheet as AttachStylesheet does (upper: the text upper-cased) and notes in
// origin where it went.
// Inserts the stylesheet's instruction at `at` and notes where it stands.
void InsertNoting(QByteArray& text, qsizetype at, const QString& stylesheet, CopyOrigin& origin)
{
    text.insert(at, StylesheetInstruction(stylesheet));
    const auto [breaks, column] = BreaksBefore(text, at);
    origin.insertedLine = breaks + 1;
    origin.insertedColumn = column;
}

void AttachNoting(QByteArray& text, const QByteArray& upper, const QByteArray& marker,
                  const QString& stylesheet, CopyOrigin& origin)
{
    const qsizetype at = StylesheetPlace(upper, marker, stylesheet);
    if (at >= 0)
        InsertNoting(text, at, stylesheet, origin);
}

} // namespace

QPair<int, int> CopyOrigin::chosenPosition(int line, int column) const
{
    if (insertedLine > 0) {
        if (line == insertedLine && column > insertedColumn) {
            column = insertedColumn + 1; // within the instruction: where the root begins
        } else if (line == insertedLine + 1) {
            --line;
            column += insertedColumn;
        } else if (line > insertedLine + 1) {
            --line;
        }
    }
    if (line == 1)
        column += droppedColumns;
    return {line + droppedLines, column};
}

namespace {

// The parser's reason with every "line N" it names as that line of the chosen file.
QString ChosenLines(const CopyOrigin& origin, const QString& reason)
{
    static const QRegularExpression tagLine(QStringLiteral("\\bline (\\d+)\\b"));
    QString told;
    qsizetype from = 0;
    for (QRegularExpressionMatchIterator it = tagLine.globalMatch(reason); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        told += reason.mid(from, m.capturedStart(1) - from);
        told += QString::number(origin.chosenPosition(m.captured(1).toInt(), 1).first);
        from = m.capturedEnd(1);
    }
    return told + reason.mid(from);
}

} // namespace

QString CopyOrigin::describe(const QString& text) const
{
    if (copy.isEmpty() || !text.contains(copy))
        return text;
    QString told = text;
    static const QRegularExpression place(QStringLiteral("Строка: (\\d+), поз: (\\d+)$"));
    if (const QRegularExpressionMatch m = place.match(told); m.hasMatch()) {
        const auto [line, column] = chosenPosition(m.captured(1).toInt(), m.captured(2).toInt());
        told.replace(m.capturedStart(), m.capturedLength(),
                     QStringLiteral("Строка: %1, поз: %2").arg(line).arg(column));
        // The parser's reason may name the line of an open tag too ("... in tag X line 3").
        const qsizetype reasonStart = told.indexOf(kBreak);
        const qsizetype reasonEnd = told.lastIndexOf(kBreak);
        if (reasonStart >= 0 && reasonEnd > reasonStart)
            told.replace(reasonStart, reasonEnd - reasonStart,
                         ChosenLines(*this, told.mid(reasonStart, reasonEnd - reasonStart)));
    }
    return told.replace(copy, chosen);
}

QString TemporaryCopyFailureText(const QString& chosen, const QString& reason)
{
    return QStringLiteral("Не удалось записать временную копию файла ") + chosen +
           QStringLiteral(":") + kBreak + reason;
}

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

void WriteTemporaryFile(const TemporaryFile& file, const QByteArray& bytes, const QString& chosen)
{
    filesave::ReplacingFile out;
    if (out.open(file.path, filesave::ReplacingFile::Target::NewPrivateFile) &&
        out.write(bytes.constData(), bytes.size()))
        out.commit();
    if (out.failure())
        Fail(TemporaryCopyFailureText(chosen.isEmpty() ? file.path : chosen,
                                      SystemErrorText(out.failure().error)));
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
    // The size in whole megabytes, rounded up: a file a byte beyond the limit is not told as
    // being of the limit's size.
    constexpr qint64 kMegabyte = 1024 * 1024;
    if (file.size() > kViewerMaxFileBytes)
        Fail(QStringLiteral("Файл ") + path + QStringLiteral(" слишком велик для просмотра: ") +
             QString::number((file.size() + kMegabyte - 1) / kMegabyte) +
             QStringLiteral(" МБ (не более ") + QString::number(kViewerMaxFileBytes / kMegabyte) +
             QStringLiteral(" МБ)"));
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
    result.origin.chosen = path;
    result.origin.copy = result.copy.path;
    try {
        const QByteArray text = ReadViewerFile(path);
        PreparedMessage message = PrepareIncomingMessage(text);
        if (!message.kind)
            Fail(NotAMessageText(path));
        const qsizetype declaration = UpperCasedText(text).indexOf("<?XML");
        if (declaration > 0) {
            const auto [breaks, column] = BreaksBefore(text, declaration);
            result.origin.droppedLines = breaks;
            result.origin.droppedColumns = column;
        }
        AttachNoting(message.text, UpperCasedText(message.text), message.kind->openingMarker,
                     StylesheetOfKind(*message.kind), result.origin);
        WriteTemporaryFile(result.copy, message.text, path);
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
    result.origin.chosen = path;
    if (IsHtmlExtension(path))
        return result;

    // A whole market's handbook is looked through as it is, not copied in capitals first.
    QByteArray text = ReadViewerFile(path);
    const qsizetype root = IndexOfIgnoringCase(text, QByteArrayLiteral("<ISSUELIST"));
    if (IndexOfIgnoringCase(text, QByteArrayLiteral("<?XML")) < 0 || root < 0)
        Fail(NotAHandbookText(path));
    if (ContainsStylesheetInstruction(text))
        return result;
    const QString stylesheet = ResolveStylesheetSetting(settings::kSchemaIssueList.read());
    if (stylesheet.isEmpty())
        return result;

    result.copy = ReserveTemporaryFile(QStringLiteral(".XML"));
    result.origin.copy = result.copy.path;
    try {
        InsertNoting(text, root, stylesheet, result.origin);
        WriteTemporaryFile(result.copy, text, path);
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
