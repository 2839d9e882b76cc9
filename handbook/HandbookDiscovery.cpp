#include "handbook/HandbookDiscovery.h"

#include "core/AppContext.h"
#include "core/AtomicSave.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/SettingKeys.h"
#include "core/Settings.h"
#include "core/Values.h"
#include "handbook/HandbookFields.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include <cstdio>

#include <dirent.h>
#include <unistd.h>

namespace varnel {
namespace {

const QString kIssueList = settings::kCurrentHandbookPath.sectionName();
const QString kPathKey = settings::kCurrentHandbookPath.keyName();
const QString kTimeKey = settings::kCurrentHandbookTime.keyName();

QString WithSeparator(const QString& folder)
{
    if (folder.endsWith(u'/') || folder.endsWith(u'\\'))
        return folder;
    return folder + u'/';
}

// "*.msg" as the system's wildcard matches it: any name ending in ".msg", letter case aside.
bool MatchesMessageMask(const QString& name)
{
    return name.endsWith(QStringLiteral(".msg"), Qt::CaseInsensitive);
}

QString ReadFailureText(const QString& path, const QString& reason)
{
    return QStringLiteral("Не удалось прочитать файл ") + path + QStringLiteral(":\r\n") + reason;
}

constexpr qint64 kCopyChunk = 1024 * 1024;

// What stood at the name of the copy before it is made, kept under a hidden name beside it
// until the settings name the copy, so that a failure can put the work folder back as it was.
class PreviousFile {
public:
    explicit PreviousFile(const QString& path) : path_(path)
    {
        const QFileInfo info(path);
        if (!info.isFile() || info.isSymLink())
            return;
        kept_ = info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                QStringLiteral(".previous");
        QFile::remove(kept_);
        // A second name for the same file; a copy where the file system has no such names.
        const bool linked =
            ::link(QFile::encodeName(path).constData(), QFile::encodeName(kept_).constData()) == 0;
        if (!linked && !QFile::copy(path, kept_))
            kept_.clear();
        existed_ = true;
    }
    ~PreviousFile()
    {
        if (!kept_.isEmpty())
            QFile::remove(kept_);
    }
    PreviousFile(const PreviousFile&) = delete;
    PreviousFile& operator=(const PreviousFile&) = delete;

    // The file as it was before (or no file, when there was none). Where the copy never
    // replaced it, both names are the same file and the rename leaves the hidden one, which
    // goes with this object.
    void restore()
    {
        if (!existed_)
            QFile::remove(path_);
        else if (!kept_.isEmpty())
            ::rename(QFile::encodeName(kept_).constData(), QFile::encodeName(path_).constData());
    }

private:
    QString path_;
    QString kept_;
    bool existed_ = false;
};

} // namespace

QList<ListedMessage> ListMessageFiles(const QString& folder)
{
    const QString prefix = WithSeparator(folder);
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        Fail(QStringLiteral("Не удалось прочитать каталог ") + folder + QStringLiteral(":\r\n") +
             SystemErrorText(errno));
    struct Closer {
        DIR* dir;
        ~Closer() { ::closedir(dir); }
    } closer{dir};

    QList<ListedMessage> files;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0)
                Fail(QStringLiteral("Ошибка при поиске следующего файла"));
            break;
        }
#ifdef DT_DIR
        if (entry->d_type == DT_DIR)
            continue;
#endif
        const QString name = QFile::decodeName(entry->d_name);
        if (!MatchesMessageMask(name))
            continue;
        // Only regular files (or links to them): a folder, a pipe or a device named x.msg is
        // no message, and opening a pipe would wait for a writer.
        const QFileInfo info(prefix + name);
        if (!info.isFile())
            continue;
        QDateTime created = info.birthTime();
        if (!created.isValid())
            created = info.lastModified();
        files.append({name, created});
    }
    std::sort(files.begin(), files.end(), [](const ListedMessage& a, const ListedMessage& b) {
        const int folded = QString::compare(a.name, b.name, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a.name < b.name;
    });
    return files;
}

QString ResolveHandbookFolder(const QString& value)
{
    const QString trimmed = TrimSpaces(value);
    if (trimmed.isEmpty())
        return QString();
    return ResolvePath(trimmed);
}

double HandbookTimeStamp(const QDateTime& time)
{
    if (!time.isValid())
        return 0;
    const QDateTime local = time.toLocalTime();
    const QDate d = local.date();
    const QTime t = local.time();
    return ((((double(d.year()) * 100 + d.month()) * 100 + d.day()) * 100 + t.hour()) * 100 +
            t.minute()) *
               100 +
           t.second();
}

QString HandbookTimeStampText(double stamp)
{
    return QString::number(stamp, 'f', 0);
}

double ParseHandbookTimeStamp(const QString& text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(TrimSpaces(text), &ok);
    return ok && std::isfinite(value) ? value : 0;
}

void CopyFileAtomically(const QString& source, const QString& target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        Fail(ReadFailureText(source, in.errorString()));
    const QDateTime modified = QFileInfo(source).lastModified();

    AtomicFile out(target);
    QByteArray buffer(kCopyChunk, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n < 0)
            Fail(ReadFailureText(source, in.errorString()));
        if (n == 0)
            break;
        out.write(buffer.constData(), n);
    }
    in.close();
    out.commit();

    // The copy keeps the handbook's own date, which the status bar and the next question show.
    QFile copy(out.target());
    if (modified.isValid() && copy.open(QIODevice::ReadOnly))
        copy.setFileTime(modified, QFileDevice::FileModificationTime);
}

bool FindHandbook(const HandbookFindContext& context)
{
    const auto dateTime = [&](const QString& path) {
        const QDateTime modified = QFileInfo(path).lastModified();
        return context.dateTimeText ? context.dateTimeText(modified)
                                    : QLocale::system().toString(modified, QLocale::ShortFormat);
    };

    // The current handbook, unless its file has gone.
    QString currentPath = TrimSpaces(ReadSetting(kIssueList, kPathKey, QString()));
    if (!currentPath.isEmpty() && !QFileInfo(currentPath).isFile())
        currentPath.clear();
    double currentStamp = 0;
    if (!currentPath.isEmpty())
        currentStamp = ParseHandbookTimeStamp(ReadSetting(kIssueList, kTimeKey, QString()));

    const QString receive = ResolveHandbookFolder(settings::kFolderReceive.read());
    if (receive.isEmpty())
        Fail(QStringLiteral("Каталог приема входящих сообщений не задан (параметр FolderReceive "
                            "раздела Path)"));
    if (!QFileInfo(receive).isDir())
        Fail(QStringLiteral("Каталог приема входящих сообщений ") + receive +
             QStringLiteral(" не существует"));
    const QString receiveFolder = WithSeparator(receive);
    const QString mask = receiveFolder + QStringLiteral("*.msg");

    const QString work = ResolveHandbookFolder(settings::kFolderWork.read());
    if (work.isEmpty())
        Fail(QStringLiteral("Рабочий каталог не задан (параметр FolderWork раздела Path)"));
    if (!QFileInfo(work).isDir())
        Fail(QStringLiteral("Рабочий каталог ") + work + QStringLiteral(" не существует"));
    const QString workFolder = WithSeparator(work);

    const QList<ListedMessage> files =
        context.lister ? context.lister(receive) : ListMessageFiles(receive);
    if (files.isEmpty())
        Fail(QStringLiteral("Не найдено ни одного файла. Маска поиска: ") + mask);

    // The newest handbook; on equal time stamps the one listed first.
    double bestStamp = 0;
    QString bestName;
    for (const ListedMessage& file : files) {
        if (!IsHandbookFile(receiveFolder + file.name))
            continue;
        const double stamp = HandbookTimeStamp(file.created);
        if (stamp > bestStamp) {
            bestStamp = stamp;
            bestName = file.name;
        }
    }

    if (!bestName.isEmpty() && currentStamp < bestStamp) {
        const QString found = receiveFolder + bestName;
        QString question = QStringLiteral("Текущий справочник ЦБ: ");
        if (currentPath.isEmpty())
            question += QStringLiteral("не установлен.");
        else
            question +=
                currentPath + QStringLiteral(" (") + dateTime(currentPath) + QStringLiteral(").");
        question += QStringLiteral("\r\nНайден справочник: ") + found + QStringLiteral(" (") +
                    dateTime(found) +
                    QStringLiteral(").\r\nСделать найденный справочник текущим ?");
        if (Dialogs::AskYesNo(context.parent, question, QStringLiteral("Подтверждение")) !=
            Answer::Yes)
            return false;

        // The settings name the copy only once it is complete, and the copy stays only once
        // they name it: a copy or a settings write that fails leaves the current handbook, the
        // work folder and the settings as they were, and is shown.
        const QString copy = workFolder + bestName;
        PreviousFile previous(copy);
        const QString storedPath = ReadSetting(kIssueList, kPathKey, QString());
        try {
            CopyFileAtomically(found, copy);
            WriteSettingOrFail(kIssueList, kPathKey, copy);
            try {
                WriteSettingOrFail(kIssueList, kTimeKey, HandbookTimeStampText(bestStamp));
            } catch (...) {
                WriteSetting(kIssueList, kPathKey, storedPath);
                throw;
            }
        } catch (...) {
            previous.restore();
            throw;
        }
        if (context.currentHandbookChanged)
            context.currentHandbookChanged();
        return true;
    }

    if (bestName.isEmpty())
        Dialogs::Message(context.parent,
                         QStringLiteral("Не найдено ни одного файла, который мог бы содержать "
                                        "справочник ЦБ. Маска поиска: ") +
                             mask,
                         kAppTitle, MessageIcon::Warning, MessageButtons::Ok);
    else
        Dialogs::Message(context.parent,
                         QStringLiteral("Не найдено справочника, более нового, чем текущий"),
                         kAppTitle, MessageIcon::Warning, MessageButtons::Ok);
    return false;
}

void RunFindHandbook(const HandbookFindContext& context)
{
    RunTrapped(context.parent, kAppTitle, [&] { FindHandbook(context); });
}

} // namespace varnel
