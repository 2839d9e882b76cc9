#include "core/AppContext.h"

#include "core/Overrides.h"
#include "core/Values.h"

#include "varnel_version.h"

#include <QCoreApplication>
#include <QDir>

#include <pwd.h>
#include <unistd.h>

namespace varnel {
namespace {

QString g_settingsPath;
QString g_chosenProgramFolder;
QString g_userName = QStringLiteral("@default");

} // namespace

namespace overrides {
QString& ProgramFolder()
{
    static QString folder;
    return folder;
}
} // namespace overrides

QString ProgramFolder()
{
    QString folder = overrides::ProgramFolder();
    if (folder.isEmpty())
        folder = g_chosenProgramFolder;
    if (folder.isEmpty())
        return QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                            : QDir::currentPath();
    while (folder.size() > 1 && (folder.endsWith(u'/') || folder.endsWith(u'\\')))
        folder.chop(1);
    return folder;
}

void ChooseProgramFolder(const QString& folder)
{
    g_chosenProgramFolder = folder;
}

QString SettingsFilePath()
{
    if (!g_settingsPath.isEmpty())
        return g_settingsPath;
    return JoinPath(ProgramFolder(), QStringLiteral("varnel_client.ini"));
}

void SetSettingsFilePath(const QString& path)
{
    g_settingsPath = path;
}

QString UserName()
{
    return g_userName;
}

void SetUserName(const QString& name)
{
    g_userName = name;
}

QString QueryLoginName()
{
    QString name;
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name)
        name = QString::fromLocal8Bit(pw->pw_name);
    if (name.isEmpty())
        name = qEnvironmentVariable("USER");
    return name.left(255);
}

QString VersionString()
{
    return QStringLiteral(VARNEL_VERSION_STRING);
}

int VersionMajor()
{
    return VARNEL_VERSION_MAJOR;
}

int VersionMinor()
{
    return VARNEL_VERSION_MINOR;
}

int VersionPatch()
{
    return VARNEL_VERSION_PATCH;
}

} // namespace varnel
