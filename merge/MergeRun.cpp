#include "MergeRun.h"

#include "Windows1251.h"
#include "filesave/ReplacingFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <new>
#include <utility>
#include <vector>

namespace varnel {

namespace {

constexpr int kExitFailure = 1;
constexpr int kErrOutOfMemory = 7;

QString Shown(const QString& path)
{
    return u'«' + QDir::toNativeSeparators(path) + u'»';
}

void LoadFile(CIniMngr& document, const QString& path)
{
    const QStringList lines = ReadIniLines(path);
    try {
        document.LoadLines(lines);
    } catch (const IniError& error) {
        throw IniError(error.number(),
                       QStringLiteral("Файл %1. %2").arg(Shown(path), error.description()));
    }
}

} // namespace

QStringList SplitCommandLine(const QString& commandLine)
{
    QStringList arguments;
    const qsizetype n = commandLine.size();
    qsizetype i = 0;
    for (;;) {
        while (i < n && commandLine[i] == u' ')
            ++i;
        if (i >= n)
            break;
        if (commandLine[i] == u'"') {
            const qsizetype close = commandLine.indexOf(u'"', i + 1);
            if (close < 0)
                throw IniError(kIniErrInvalidArgument,
                               QStringLiteral("В командной строке не закрыта кавычка: %1")
                                   .arg(commandLine.mid(i)));
            arguments.append(commandLine.mid(i + 1, close - i - 1));
            i = close + 1;
        } else {
            qsizetype end = commandLine.indexOf(u' ', i);
            if (end < 0)
                end = n;
            arguments.append(commandLine.mid(i, end - i));
            i = end;
        }
    }
    return arguments;
}

QStringList SplitAtCrLf(const QString& text)
{
    if (text.isEmpty())
        return {};
    return text.split(QStringLiteral("\r\n"), Qt::KeepEmptyParts);
}

QStringList ReadIniLines(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        throw IniError(kIniErrFileNotFound, QStringLiteral("Файл %1 не найден").arg(Shown(path)));
    if (info.isDir())
        throw IniError(kIniErrPathFileAccess,
                       QStringLiteral("%1 - папка, а не файл").arg(Shown(path)));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw IniError(
            file.error() == QFileDevice::PermissionsError ? kIniErrPermissionDenied
                                                          : kIniErrPathFileAccess,
            QStringLiteral("Не удаётся открыть файл %1: %2").arg(Shown(path), file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw IniError(kIniErrDeviceIo, QStringLiteral("Не удаётся прочитать файл %1: %2")
                                            .arg(Shown(path), file.errorString()));
    return SplitAtCrLf(DecodeWindows1251(bytes));
}

void WriteIniLines(const QString& path, const QStringList& lines)
{
    const QFileInfo info(path);
    if (path.isEmpty())
        throw IniError(kIniErrPathFileAccess, QStringLiteral("Не задано имя файла результата"));
    if (info.isDir())
        throw IniError(kIniErrPathFileAccess,
                       QStringLiteral("%1 - папка, а не файл").arg(Shown(path)));
    if (info.exists() && !info.permissions().testFlag(QFileDevice::WriteOwner))
        throw IniError(kIniErrPermissionDenied,
                       QStringLiteral("Файл %1 защищён от записи").arg(Shown(path)));
    if (!info.exists() && !info.absoluteDir().exists())
        throw IniError(kIniErrPathNotFound,
                       QStringLiteral("Папка %1 не найдена").arg(Shown(info.absolutePath())));

    const QByteArray bytes = EncodeWindows1251(lines.join(QStringLiteral("\r\n")));

    // Writing in place would leave a truncated file behind on a full disk; the new text goes
    // beside the old file and replaces it only once it is complete and on the disk.
    const filesave::Failure failure = filesave::SaveFile(path, bytes.constData(), bytes.size());
    if (!failure)
        return;
    const QString reason = filesave::ErrorDescription(failure.error);
    const bool refused =
        failure.error == EACCES || failure.error == EPERM || failure.error == EROFS;
    if (failure.stage == filesave::Stage::Create)
        throw IniError(refused                   ? kIniErrPermissionDenied
                       : failure.error == ENOENT ? kIniErrPathNotFound
                                                 : kIniErrPathFileAccess,
                       QStringLiteral("Не удаётся создать файл %1: %2").arg(Shown(path), reason));
    throw IniError(refused ? kIniErrPermissionDenied : kIniErrDeviceIo,
                   QStringLiteral("Не удаётся записать файл %1: %2").arg(Shown(path), reason));
}

void MergeValues(CIniMngr& base, const CIniMngr& values)
{
    const IniValueMap taken = values.Values();
    const QStringList& keys = taken.keys();
    const QStringList& texts = taken.values();
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (base.ValueExistsKey(keys.at(i)))
            base.Value(keys.at(i), texts.at(i));
    }
}

namespace {

// The section and key names of a combined key "[" + section + "]" + key. A key name never
// holds a bracket, so the last "]" ends the section name, whatever that name holds.
void SplitCombinedKey(const QString& combined, QString& section, QString& key)
{
    const qsizetype close = combined.lastIndexOf(u']');
    section = combined.mid(1, close - 1);
    key = combined.mid(close + 1);
}

} // namespace

void AddValueOnlyKeys(QStringList& lines, const CIniMngr& base, const CIniMngr& values)
{
    // The keys that the base lacks, as key lines per section in the value file's order.
    struct Addition {
        QString section;
        QStringList lines;
    };
    std::vector<Addition> additions;
    QHash<NoCaseName, std::size_t> bySection;
    const IniValueMap entries = values.Values();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QString& combined = entries.keys().at(i);
        if (base.ValueExistsKey(combined))
            continue;
        QString section;
        QString key;
        SplitCombinedKey(combined, section, key);
        auto found = bySection.constFind(NoCaseName{section});
        if (found == bySection.cend()) {
            found = bySection.insert(NoCaseName{section}, additions.size());
            additions.push_back({section, {}});
        }
        additions[*found].lines.append(key + u'=' + entries.values().at(i));
    }
    if (additions.empty())
        return;

    // Where the first block of each base section ends. Key lines before the first header
    // belong to the section with the empty name, which starts the text.
    QHash<NoCaseName, qsizetype> blockEnd;
    blockEnd.insert(NoCaseName{QString()}, 0);
    NoCaseName current{QString()};
    bool firstBlock = true;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const IniLineRecord record = ParseIniLine(lines.at(i));
        if (record.kind == IniLineKind::Header) {
            current = NoCaseName{record.name};
            firstBlock = !blockEnd.contains(current);
            if (firstBlock)
                blockEnd.insert(current, i + 1);
        } else if (record.kind == IniLineKind::Key && firstBlock) {
            blockEnd.insert(current, i + 1);
        }
    }

    std::vector<std::pair<qsizetype, const QStringList*>> intoSections;
    QStringList newSections;
    qsizetype tail = lines.size();
    if (tail > 0 && lines.last().isEmpty())
        --tail;
    for (const Addition& addition : additions) {
        const auto end = blockEnd.constFind(NoCaseName{addition.section});
        if (end != blockEnd.cend()) {
            intoSections.emplace_back(*end, &addition.lines);
            continue;
        }
        const QString before = !newSections.isEmpty() ? newSections.last()
                               : tail > 0             ? lines.at(tail - 1)
                                                      : QString();
        if (!before.trimmed().isEmpty())
            newSections.append(QString());
        newSections.append(u'[' + addition.section + u']');
        newSections += addition.lines;
    }

    // From the bottom up, so that the positions found above stay valid. The keys of the last
    // base section go before the new sections, which therefore come first.
    for (qsizetype i = newSections.size() - 1; i >= 0; --i)
        lines.insert(tail, newSections.at(i));
    std::sort(intoSections.begin(), intoSections.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [at, keyLines] : intoSections) {
        for (qsizetype i = keyLines->size() - 1; i >= 0; --i)
            lines.insert(at, keyLines->at(i));
    }
}

void RunMerge(const QStringList& arguments)
{
    if (arguments.size() < 2)
        throw IniError(kIniErrSubscript,
                       QStringLiteral("Не заданы файлы. Вызов: Quilmer <базовый файл> "
                                      "<файл значений> [<файл результата>]"));
    const QString& basePath = arguments.at(0);
    const QString& valuePath = arguments.at(1);
    const QString& outputPath = arguments.size() > 2 ? arguments.at(2) : basePath;

    CIniMngr base;
    LoadFile(base, basePath);
    CIniMngr values;
    LoadFile(values, valuePath);
    MergeValues(base, values);

    QStringList lines;
    base.SaveLines(lines);
    if (arguments.mid(3).contains(QLatin1String(kKeepValueKeysOption)))
        AddValueOnlyKeys(lines, base, values);
    WriteIniLines(outputPath, lines);
}

namespace {

template <typename Run> int Guarded(Run run, std::FILE* errors)
{
    int number = 0;
    QString description;
    try {
        run();
        return 0;
    } catch (const IniError& error) {
        number = error.number();
        description = error.description();
    } catch (const std::bad_alloc&) {
        number = kErrOutOfMemory;
        description = QStringLiteral("Недостаточно памяти");
    }
    const QByteArray report =
        QStringLiteral("Ошибка %1: %2\n").arg(number).arg(description).toLocal8Bit();
    std::fputs(report.constData(), errors);
    std::fflush(errors);
    return kExitFailure;
}

} // namespace

int QuilmerMain(const QStringList& arguments, std::FILE* errors)
{
    return Guarded([&arguments] { RunMerge(arguments); }, errors);
}

int QuilmerMainFromCommandLine(const QString& commandLine, std::FILE* errors)
{
    return Guarded(
        [&commandLine] {
            QStringList arguments = SplitCommandLine(commandLine);
            if (!arguments.isEmpty())
                arguments.removeFirst();
            RunMerge(arguments);
        },
        errors);
}

} // namespace varnel
