#include "core/AppContext.h"

#include "varnel_version.h"

#include <QCoreApplication>
#include <QDir>

#include <pwd.h>
#include <unistd.h>

namespace varnel {
namespace {

QString g_programFolder;
QString g_settingsPath;
QString g_userName = QStringLiteral("@default");

} // namespace

QString ProgramFolder()
{
    if (!g_programFolder.isEmpty())
        return g_programFolder;
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

void SetProgramFolder(const QString& folder)
{
    QString f = folder;
    while (f.size() > 1 && (f.endsWith(u'/') || f.endsWith(u'\\')))
        f.chop(1);
    g_programFolder = f;
}

QString SettingsFilePath()
{
    if (!g_settingsPath.isEmpty())
        return g_settingsPath;
    return ProgramFolder() + QStringLiteral("/varnel_client.ini");
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
