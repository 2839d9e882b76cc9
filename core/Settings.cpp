#include "core/Settings.h"

#include "core/AppContext.h"
#include "core/Error.h"
#include "core/PrivateProfile.h"
#include "core/Values.h"

#include <cmath>

namespace varnel {

QString ReadSetting(const QString& section, const QString& key, const QString& def,
                    const QString& file)
{
    return PrivateProfile::GetString(file.isEmpty() ? SettingsFilePath() : file, section, key, def,
                                     2048);
}

int ReadSettingInt(const QString& section, const QString& key, int def)
{
    const int value = PrivateProfile::GetInt(SettingsFilePath(), section, key, def);
    return value < 1 ? def : value;
}

SettingsEvents& SettingsEvents::Instance()
{
    static SettingsEvents events;
    return events;
}

void WriteSetting(const QString& section, const QString& key, const QString& value)
{
    if (PrivateProfile::WriteString(SettingsFilePath(), section, key, value).done())
        emit SettingsEvents::Instance().changed(section, key);
}

void WriteSettingOrFail(const QString& section, const QString& key, const QString& value)
{
    const Outcome written = PrivateProfile::WriteString(SettingsFilePath(), section, key, value);
    if (written.failed())
        Fail(written.failure);
    emit SettingsEvents::Instance().changed(section, key);
}

QString ResolvePath(const QString& path)
{
    const QString trimmed = TrimSpaces(path);
    const QString folder = ProgramFolder();
    if (trimmed.isEmpty() || trimmed == u"." || trimmed == u".\\" || trimmed == u"./")
        return folder;
    if (trimmed.startsWith(u".\\") || trimmed.startsWith(u"./")) {
        QString rest = trimmed.mid(2);
        rest.replace(u'\\', u'/');
        return JoinPath(folder, rest);
    }
    return trimmed;
}

void SaveColumnWidths(const QList<GridColumnWidth>& columns, const QString& section)
{
    for (qsizetype i = 0; i < columns.size(); ++i) {
        QString key = GetTagValue(columns.at(i).descriptor, QStringLiteral("name="));
        if (key.isEmpty())
            key = QString::number(i + 1);
        WriteSetting(section, key, SingleToText(columns.at(i).widthTwips));
    }
}

QString SingleToText(double value)
{
    const float single = static_cast<float>(value);
    if (!std::isfinite(single) || single == 0.0f)
        return QStringLiteral("0");
    // Seven significant digits, as a single-precision number is shown: plain decimals from
    // 1E-4 up to 9999999, an exponent ("1.5E+07") beyond. Always with "." whatever the
    // user's locale: the C library's formatting would write "7,5" under a comma locale.
    return QString::number(double(single), 'G', 7);
}

} // namespace varnel
