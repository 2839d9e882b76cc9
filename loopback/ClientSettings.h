#pragma once

#include <QByteArray>
#include <QString>

namespace loopback {

// The two folders the registry serves, as the client's settings file names them.
struct ClientFolders {
    QString send;
    QString receive;
};

// The value of a key in the text of an INI file, read the way the client reads its settings:
// section and key names without regard to letter case, only the first section of a name,
// the first line of a key, blanks around the value dropped and one pair of enclosing double
// quotes removed. Windows-1251 text, or UTF-8 after a byte-order mark. Empty when absent.
QString ReadIniValue(const QByteArray& fileText, const QString& section, const QString& key);

// A folder setting resolved against the program folder: empty, ".", ".\" and "./" are the
// program folder itself; a value starting with ".\" or "./" lies inside it; anything else is
// taken as it stands.
QString ResolveFolder(const QString& programFolder, const QString& value);

// FolderSend and FolderReceive of section Path in programFolder/varnel_client.ini. Returns
// false with a reason when the file cannot be read or a key is missing.
bool ReadClientFolders(const QString& programFolder, ClientFolders& folders, QString& reason);

} // namespace loopback
