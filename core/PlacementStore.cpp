#include "core/PlacementStore.h"

#include "core/Overrides.h"
#include "core/Values.h"

#include <QSettings>

#include <memory>

namespace varnel::PlacementStore {
namespace {

constexpr auto kOrganisation = "Varnel";
constexpr auto kGroup = "Settings";

// One file per application name: a "/" or "\" in it would name a folder instead.
QString FileSafe(const QString& application)
{
    QString name = application;
    name.replace(u'/', u'_');
    name.replace(u'\\', u'_');
    return name;
}

// The store of an application: under the user's configuration folder, or under the folder a
// test put in its place.
std::unique_ptr<QSettings> Open(const QString& application)
{
    const QString& root = overrides::PlacementRoot();
    if (root.isEmpty())
        return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                           QLatin1String(kOrganisation), FileSafe(application));
    const QString file = JoinPath(JoinPath(root, QLatin1String(kOrganisation)),
                                  FileSafe(application) + QStringLiteral(".ini"));
    return std::make_unique<QSettings>(file, QSettings::IniFormat);
}

} // namespace

QString Read(const QString& application, const QString& key, const QString& def)
{
    const std::unique_ptr<QSettings> store = Open(application);
    store->sync();
    store->beginGroup(QLatin1String(kGroup));
    return store->value(key, def).toString();
}

void Write(const QString& application, const QString& key, const QString& value)
{
    const std::unique_ptr<QSettings> store = Open(application);
    store->beginGroup(QLatin1String(kGroup));
    store->setValue(key, value);
    store->endGroup();
    store->sync();
}

} // namespace varnel::PlacementStore

namespace varnel::overrides {

QString& PlacementRoot()
{
    static QString root;
    return root;
}

} // namespace varnel::overrides
