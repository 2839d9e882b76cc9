#include "core/SettingKeys.h"

#include "core/Settings.h"

namespace varnel {

QString SettingKey::read() const
{
    return ReadSetting(sectionName(), keyName(), QString::fromLatin1(def));
}

void SettingKey::write(const QString& value) const
{
    WriteSetting(sectionName(), keyName(), value);
}

void SettingKey::writeOrFail(const QString& value) const
{
    WriteSettingOrFail(sectionName(), keyName(), value);
}

QString MessageLanguage()
{
    return settings::kLanguage.read();
}

QString DefaultParticipant()
{
    return settings::kParticipant.read();
}

QString WorkFolder()
{
    return ResolvePath(settings::kFolderWork.read());
}

QString ReceiveFolder()
{
    return ResolvePath(settings::kFolderReceive.read());
}

QString CurrentHandbookPath()
{
    return settings::kCurrentHandbookPath.read();
}

} // namespace varnel
