#include "core/PlacementStore.h"

#include <QSettings>

namespace varnel::PlacementStore {
namespace {

constexpr auto kOrganisation = "Varnel";
constexpr auto kGroup = "Settings";

bool g_rootChanged = false;
QString g_defaultRoot;

// One file per application name: a "/" or "\" in it would name a folder instead.
QString FileSafe(const QString& application)
{
    QString name = application;
    name.replace(u'/', u'_');
    name.replace(u'\\', u'_');
    return name;
}

} // namespace

QString Read(const QString& application, const QString& key, const QString& def)
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, QLatin1String(kOrganisation),
                    FileSafe(application));
    store.sync();
    store.beginGroup(QLatin1String(kGroup));
    return store.value(key, def).toString();
}

void Write(const QString& application, const QString& key, const QString& value)
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, QLatin1String(kOrganisation),
                    FileSafe(application));
    store.beginGroup(QLatin1String(kGroup));
    store.setValue(key, value);
    store.endGroup();
    store.sync();
}

void SetRoot(const QString& folder)
{
    if (!g_rootChanged) {
        // Qt offers no getter for the path; learn it from where a store would live.
        const QSettings probe(QSettings::IniFormat, QSettings::UserScope,
                              QLatin1String(kOrganisation), QStringLiteral("probe"));
        const QString file = probe.fileName();
        const QString tail = QStringLiteral("/%1/probe.ini").arg(QLatin1String(kOrganisation));
        g_defaultRoot = file.endsWith(tail) ? file.left(file.size() - tail.size()) : QString();
        g_rootChanged = true;
    }
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       folder.isEmpty() ? g_defaultRoot : folder);
}

} // namespace varnel::PlacementStore
