#pragma once

#include <QList>
#include <QObject>
#include <QString>

namespace varnel {

// The settings file (varnel_client.ini), read and written as the Windows private-profile
// functions do it. Nothing is cached: every call goes to the file.

// Tells of every setting written through the functions below once it is in the file, so that
// what follows a setting (the folder the journal watches, ...) follows it at once. A write that
// failed is not told; nor is a change made to the file by another program.
class SettingsEvents : public QObject {
    Q_OBJECT
public:
    static SettingsEvents& Instance();

signals:
    void changed(const QString& section, const QString& key);
};

// Value of key in section, or def when absent or empty; at most 2046 characters come back.
// An empty file means the settings file.
QString ReadSetting(const QString& section, const QString& key, const QString& def,
                    const QString& file = QString());
// The number the value starts with, as GetPrivateProfileInt reads it (PrivateProfile::GetInt);
// def when absent or below 1.
int ReadSettingInt(const QString& section, const QString& key, int def);
// Replaces the key's line in place or adds it at the end of its section. Failures are silent:
// for the writes made in passing (column widths, placements).
void WriteSetting(const QString& section, const QString& key, const QString& value);
// The same for a write the user asked for (options, the settings update): a failure raises an
// Error that names the settings file and the system's reason. The file then stays as it was.
void WriteSettingOrFail(const QString& section, const QString& key, const QString& value);
// ".\" (or "./") paths relative to the program folder; "", "." and ".\" are the folder itself.
QString ResolvePath(const QString& path);

// One grid column: its descriptor text and its width in twips.
struct GridColumnWidth {
    QString descriptor;
    double widthTwips = 0;
};
// Writes each column's width under its "name=" value, or its 1-based number when unnamed.
void SaveColumnWidths(const QList<GridColumnWidth>& columns, const QString& section);

// Decimal text of a single-precision number as the settings store it ("1440", "1234.5").
QString SingleToText(double value);

} // namespace varnel
