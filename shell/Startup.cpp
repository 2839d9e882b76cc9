#include "shell/Startup.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/MessageTexts.h"
#include "core/SettingKeys.h"
#include "core/Settings.h"
#include "core/Values.h"
#include "shell/InstanceLock.h"
#include "shell/Overrides.h"
#include "ui/WindowPlacement.h"

#include <QFileInfo>
#include <QLocale>

namespace varnel {
namespace {

// The main window's record: application "Varnel", MainLeft, MainTop, MainWidth, MainHeight. A
// value that cannot be used gives its default instead of failing start-up, which would skip the
// settings file check and the second-client check with it.
WindowPlacement mainRecord(const MainPlacement& p = MainPlacement())
{
    return WindowPlacement(kAppTitle, QRectF(p.left, p.top, p.width, p.height));
}

MainPlacement placementOf(const QRectF& twips, bool stored)
{
    MainPlacement p;
    p.left = twips.x();
    p.top = twips.y();
    p.width = twips.width();
    p.height = twips.height();
    p.stored = stored;
    return p;
}

QString loginName()
{
    const std::function<QString()>& source = overrides::LoginNameSource();
    return source ? source() : QueryLoginName();
}

} // namespace

namespace overrides {

std::optional<bool>& ExcelAvailable()
{
    static std::optional<bool> available;
    return available;
}

std::function<QString()>& LoginNameSource()
{
    static std::function<QString()> source;
    return source;
}

} // namespace overrides

MainPlacement ReadMainPlacement()
{
    WindowPlacement record = mainRecord();
    record.read();
    return placementOf(record.twips(), record.stored());
}

void WriteMainPlacement(const MainPlacement& placement)
{
    mainRecord().write(QRectF(placement.left, placement.top, placement.width, placement.height));
}

MainPlacement PlacementToStore(const MainPlacement& read, const QRect& now, double dpiX,
                               double dpiY)
{
    return placementOf(mainRecord(read).twipsToStore(now, dpiX, dpiY), true);
}

QRect FitMainWindow(const QRect& wanted, const QRect& available, const QSize& atLeast)
{
    QRect r = wanted;
    r.setSize(r.size().expandedTo(atLeast));
    if (available.isEmpty() || available.contains(r))
        return r;
    r.setSize(r.size().boundedTo(available.size()));
    if (r.right() > available.right())
        r.moveRight(available.right());
    if (r.bottom() > available.bottom())
        r.moveBottom(available.bottom());
    if (r.left() < available.left())
        r.moveLeft(available.left());
    if (r.top() < available.top())
        r.moveTop(available.top());
    return r;
}

bool IsFileReadOnly(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw Error(kFileNotFoundErrorNumber,
                    QStringLiteral("Файл ") + path + QStringLiteral(" не найден"));
    // The owner's write bit, not the caller's access: root may write anything.
    return !info.permission(QFileDevice::WriteOwner);
}

QString ReadOnlySettingsText(const QString& path)
{
    return QStringLiteral("Файл ") + path +
           QStringLiteral(" не должен иметь атрибут 'read_only'. Снимите защиту от записи !");
}

QString ProductCaption()
{
    return QStringLiteral("Varnel. Клиентский модуль (%1.%2)")
        .arg(VersionMajor())
        .arg(VersionMinor());
}

QString MainWindowTitle(const QString& userName)
{
    QString title = ProductCaption() + QStringLiteral(" - ") + userName;
    if (settings::kDemo.read().trimmed() == u"1")
        title += QStringLiteral(" (демонстрация)");
    return title;
}

QString GeneralDateTimeText(const QDateTime& time)
{
    const QDateTime local = time.toLocalTime();
    return QLocale::system().toString(local.date(), QLocale::ShortFormat) + u' ' +
           local.time().toString(QStringLiteral("HH:mm:ss"));
}

QString HandbookStatusText()
{
    const QString path = TrimSpaces(CurrentHandbookPath());
    if (!path.isEmpty()) {
        const QFileInfo info(path);
        if (info.exists() && info.isFile())
            return QStringLiteral("Справочник ЦБ: ") + path + QStringLiteral(" (") +
                   GeneralDateTimeText(info.lastModified()) + u')';
    }
    return QStringLiteral("Справочник ЦБ не установлен");
}

QString HandbookStatusShownText(const QString& statusText)
{
    const QString prefix = QStringLiteral("Справочник ЦБ: ");
    // The date and time in brackets come last, so the last " (" ends the path.
    const qsizetype time = statusText.lastIndexOf(QStringLiteral(" ("));
    if (!statusText.startsWith(prefix) || !statusText.endsWith(u')') || time < prefix.size())
        return statusText;
    const QString path = statusText.mid(prefix.size(), time - prefix.size());
    return prefix + QFileInfo(path).fileName() + statusText.mid(time);
}

QString LanguageStatusText()
{
    return QStringLiteral("язык сообщ: ") + MessageLanguage();
}

bool IsExcelAvailable()
{
    return overrides::ExcelAvailable().value_or(true);
}

StartupResult RunStartup(MainWindowHost& host, InstanceLock& lock)
{
    bool fatal = false;
    const bool completed = RunTrapped(host.boxParent(), kMainTrapCaption, [&] {
        // 1. The user name.
        QString user = loginName();
        const int nul = user.indexOf(QChar(u'\0'));
        if (nul >= 0)
            user.truncate(nul);
        user = user.left(255);
        if (user.isEmpty()) {
            Dialogs::Notice(host.boxParent(), QStringLiteral("Не удалось определить пользователя"),
                            kAppTitle);
            user = QStringLiteral("@default");
        }
        SetUserName(user);

        // 2. The settings file is the one in the program folder.
        SetSettingsFilePath(QString());

        // 3. Log generations.
        RotateLog();

        // 4. Placement.
        host.applyPlacement(ReadMainPlacement());

        // 5. A settings file that cannot be written would lose every change silently.
        const QString settings = SettingsFilePath();
        if (IsFileReadOnly(settings)) {
            fatal = true;
            Fail(ReadOnlySettingsText(settings));
        }

        // 6. Title.
        const QString title = MainWindowTitle(user);
        host.setTitle(title);

        // 7. Another client with this title.
        if (!lock.acquire(title)) {
            fatal = true;
            Fail(QStringLiteral("Клиентский модуль Varnel уже запущен !"));
        }

        // 8, 9. Status panels.
        host.setStatusInfo(1, HandbookStatusText());
        host.setStatusInfo(2, LanguageStatusText());

        // 10. Spreadsheet export.
        if (!IsExcelAvailable())
            host.hideSpreadsheetExport();
    });
    if (completed)
        return StartupResult::Running;
    return fatal ? StartupResult::Refused : StartupResult::Incomplete;
}

void RunShutdown(MainWindowHost& host)
{
    RunTrapped(host.boxParent(), kMainTrapCaption, [&] {
        // A minimized window keeps the last normal placement in the store.
        if (!host.isMinimizedNow())
            WriteMainPlacement(host.currentPlacement());
    });
}

} // namespace varnel
