#include "MergeRun.h"

#include "Windows1251.h"
#include "filesave/ReplacingFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <new>

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
