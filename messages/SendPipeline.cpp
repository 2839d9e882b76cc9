#include "messages/SendPipeline.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/Outcome.h"
#include "core/SettingKeys.h"
#include "core/Settings.h"
#include "core/TempFiles.h"
#include "core/Values.h"
#include "messages/DocumentWriters.h"
#include "messages/FileMove.h"
#include "messages/Overrides.h"
#include "messages/RequestKinds.h"
#include "messages/RequestWatch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTime>

namespace varnel {
namespace {

const QString kBreak = QStringLiteral("\r\n");

void stage(testing::SendStage s, const QString& file = QString())
{
    if (const testing::SendStageHook& hook = overrides::SendStageHook())
        hook(s, file);
}

// The steps of MakeWorkFileName. Without the fallback, a folder that cannot be written gives
// an empty name and nothing outside the folder is touched.
QString makeWorkFileName(const QString& prefix, const QString& folder, const QString& extension,
                         bool allowFallback)
{
    const QString ext = extension.startsWith(u'.') ? extension : u'.' + extension;
    // The name with the final extension must be free as well: a request left in the work folder
    // by a failed move has that name, and writing the new request would destroy it.
    QString name = CreateUniqueTempFile(folder, prefix, ext);
    if (name.isEmpty()) {
        if (!allowFallback)
            return QString();
        const double seconds = QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
        name = UserName() + u'_' + QString::number(seconds, 'f', 2);
    }
    if (QFileInfo::exists(name))
        QFile::remove(name);
    return RenamePathExtension(name, ext);
}

// The name of a request in the work folder, held by its reservation (the ".tmp" file of the
// same stem, made exclusively) until the request has left the work folder: another client or
// command-line program on the same work folder never picks the name meanwhile, as it would once
// the reservation were gone and before the request was written. A name that a request still
// waiting in the send folder has is passed over, so the move never meets it there.
class ReservedName {
public:
    ReservedName(const QString& prefix, const QString& work, const QString& sendFolder)
    {
        QStringList passed;
        for (int tries = 0; tries < 256; ++tries) {
            const QString reservation = CreateUniqueTempFile(work, prefix, QStringLiteral(".xml"));
            if (reservation.isEmpty())
                break;
            const QString file = RenamePathExtension(reservation, QStringLiteral(".xml"));
            const QString target = JoinPath(sendFolder, QFileInfo(file).fileName());
            if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
                passed << reservation;
                continue;
            }
            reservation_ = reservation;
            file_ = file;
            break;
        }
        for (const QString& name : passed)
            QFile::remove(name);
    }
    ~ReservedName()
    {
        if (!reservation_.isEmpty())
            QFile::remove(reservation_);
    }
    ReservedName(const ReservedName&) = delete;
    ReservedName& operator=(const ReservedName&) = delete;

    // Empty when the work folder cannot be written.
    const QString& file() const { return file_; }

private:
    QString reservation_;
    QString file_;
};

bool sameFolder(const QString& a, const QString& b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

QString checkedFolder(const SettingKey& setting, const QString& missingText,
                      const QString& absentText)
{
    const QString value = TrimSpaces(setting.read());
    if (value.isEmpty())
        Fail(missingText);
    const QString folder = ResolvePath(value);
    if (!QFileInfo(folder).isDir())
        Fail(absentText + kBreak + folder);
    return folder;
}

const RequestKind& kindOf(const QString& requestName)
{
    const RequestKind* kind = FindRequestKind(requestName);
    if (!kind)
        Fail(QStringLiteral("Отправка запроса ") + requestName +
             QStringLiteral(" не поддерживается данной версией программы"));
    return *kind;
}

QString place(const RequestKind& kind, const QString& requestName, const RequestData& data)
{
    const QString work = checkedFolder(settings::kFolderWork,
                                       QStringLiteral("Отсутствует настройка рабочего каталога"),
                                       QStringLiteral("Рабочий каталог не существует: "));
    const QString sendFolder = checkedFolder(
        settings::kFolderSend, QStringLiteral("Отсутствует настройка каталога отправки"),
        QStringLiteral("Каталог отправки не существует: "));
    stage(testing::SendStage::FoldersChecked);

    // The name is free in the work folder and in the send folder, and reserved until the
    // request has been moved. A request is never made up elsewhere (the fallback name of
    // MakeWorkFileName lies in the current folder and lacks the prefix the transport looks for:
    // it would never be taken), so a work folder that cannot be written ends the sending.
    const ReservedName reserved(QLatin1String(kind.prefix), work, sendFolder);
    QString file = reserved.file();
    if (file.isEmpty())
        Fail(QStringLiteral("Не удалось создать файл запроса в рабочем каталоге: ") + kBreak +
             work);
    const QString target = JoinPath(sendFolder, QFileInfo(file).fileName());
    // With one folder for both, the request would be written under its final name where the
    // transport looks: it is written under a hidden name and renamed into place instead.
    if (sameFolder(work, sendFolder))
        file = JoinPath(work, u'.' + QFileInfo(file).fileName() + QStringLiteral(".part"));
    stage(testing::SendStage::WorkFileNamed, file);

    WriteRequestXml(requestName, file, data);
    stage(testing::SendStage::BeforeMove, file);

    WatchedRequest watched(kind, file);
    MoveRequestFile(file, target);
    watched.placed(target);
    return target;
}

void send(const QString& requestName, const RequestData& data, QWidget* parent)
{
    const RequestKind& kind = kindOf(requestName);
    if (Dialogs::AskYesNo(parent, QString::fromUtf16(kind.question), kAppTitle) != Answer::Yes)
        return;
    const QString target = place(kind, requestName, data);
    Dialogs::Notice(parent,
                    QStringLiteral("Запрос ") + requestName + QStringLiteral(" отправлен:") +
                        kBreak + target,
                    kAppTitle, MessageIcon::None);
}

} // namespace

void SendRequest(const QString& requestName, const RequestData& data, QWidget* parent)
{
    RunTrapped(parent, kAppTitle, [&] { send(requestName, data, parent); });
}

Outcome PlaceRequest(const QString& requestName, const RequestData& data, QString* target)
{
    return Trapping([&] {
        const QString placed = place(kindOf(requestName), requestName, data);
        if (target)
            *target = placed;
    });
}

QString MakeWorkFileName(const QString& prefix, const QString& folder, const QString& extension)
{
    return makeWorkFileName(prefix, folder, extension, true);
}

namespace overrides {
testing::SendStageHook& SendStageHook()
{
    static testing::SendStageHook hook;
    return hook;
}
} // namespace overrides

} // namespace varnel
