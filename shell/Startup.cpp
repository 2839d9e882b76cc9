#include "shell/Startup.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/MessageTexts.h"
#include "core/PlacementStore.h"
#include "core/Settings.h"
#include "core/Values.h"
#include "shell/InstanceLock.h"

#include <QFileInfo>
#include <QLocale>

#include <cmath>

namespace varnel {
namespace {

// Number of the failure when a file to be examined is not there.
constexpr int kFileNotFound = 53;

std::optional<bool> g_excelOverride;
std::function<QString()> g_loginNameSource;

// A value that is not a number (a store edited by hand) gives the default instead of failing
// start-up, which would skip the settings file check and the second-client check with it. A
// decimal comma is read too: the number may have been written under a locale that uses one.
double placementValue(const QString& key, double def)
{
    const QString text = PlacementStore::Read(kAppTitle, key, SingleToText(def)).trimmed();
    bool ok = false;
    double value = text.toDouble(&ok);
    if (!ok)
        value = QString(text).replace(u',', u'.').toDouble(&ok);
    return ok && std::isfinite(value) ? value : def;
}

QString loginName()
{
    return g_loginNameSource ? g_loginNameSource() : QueryLoginName();
}

} // namespace

MainPlacement ReadMainPlacement()
{
    const MainPlacement defaults;
    MainPlacement p;
    p.left = placementValue(QStringLiteral("MainLeft"), defaults.left);
    p.top = placementValue(QStringLiteral("MainTop"), defaults.top);
    p.width = placementValue(QStringLiteral("MainWidth"), defaults.width);
    p.height = placementValue(QStringLiteral("MainHeight"), defaults.height);
    return p;
}

void WriteMainPlacement(const MainPlacement& placement)
{
    PlacementStore::Write(kAppTitle, QStringLiteral("MainLeft"), SingleToText(placement.left));
    PlacementStore::Write(kAppTitle, QStringLiteral("MainTop"), SingleToText(placement.top));
    PlacementStore::Write(kAppTitle, QStringLiteral("MainWidth"), SingleToText(placement.width));
    PlacementStore::Write(kAppTitle, QStringLiteral("MainHeight"), SingleToText(placement.height));
}

bool IsFileReadOnly(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw Error(kFileNotFound, QStringLiteral("Файл ") + path + QStringLiteral(" не найден"));
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
    return ProductCaption() + QStringLiteral(" - ") + userName;
}

QString GeneralDateTimeText(const QDateTime& time)
{
    const QDateTime local = time.toLocalTime();
    return QLocale::system().toString(local.date(), QLocale::ShortFormat) + u' ' +
           local.time().toString(QStringLiteral("HH:mm:ss"));
}

QString HandbookStatusText()
{
    const QString path = TrimSpaces(
        ReadSetting(QStringLiteral("IssueList"), QStringLiteral("CurrentHandbookPath"), QString()));
    if (!path.isEmpty()) {
        const QFileInfo info(path);
        if (info.exists() && info.isFile())
            return QStringLiteral("Справочник ЦБ: ") + path + QStringLiteral(" (") +
                   GeneralDateTimeText(info.lastModified()) + u')';
    }
    return QStringLiteral("Справочник ЦБ не установлен");
}

QString LanguageStatusText()
{
    return QStringLiteral("язык сообщ: ") +
           ReadSetting(QStringLiteral("Main"), QStringLiteral("Language"), QStringLiteral("RU"));
}

bool IsExcelAvailable()
{
    return g_excelOverride.value_or(true);
}

void SetExcelAvailableOverride(std::optional<bool> available)
{
    g_excelOverride = available;
}

void SetLoginNameSource(std::function<QString()> source)
{
    g_loginNameSource = std::move(source);
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
            ShowMessage(QStringLiteral("Не удалось определить пользователя"), MessageStyle::Plain,
                        kAppTitle, host.boxParent());
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
