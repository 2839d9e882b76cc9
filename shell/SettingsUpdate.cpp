#include "shell/SettingsUpdate.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/MessageTexts.h"
#include "core/SettingKeys.h"
#include "core/Settings.h"
#include "shell/Startup.h"

namespace varnel {

QString SettingsUpdateQuestion()
{
    return QStringLiteral("Актуализировать настройки ini-файла под версию ") + VersionString() +
           QStringLiteral(" ?");
}

void RunSettingsUpdate(QWidget* parent)
{
    if (Dialogs::AskYesNo(parent, SettingsUpdateQuestion(), kAppTitle) != Answer::Yes)
        return;

    // The settings file must be there and writable; a write that fails all the same (a full
    // disk) is shown instead of the notice of success.
    const bool written = RunTrapped(parent, kAppTitle, [] {
        const QString path = SettingsFilePath();
        if (IsFileReadOnly(path))
            Fail(ReadOnlySettingsText(path));
        settings::kLanguage.writeOrFail(QStringLiteral("RU"));
        const QString section = QLatin1String(settings::kErrorMessageSection);
        for (const StockMessage& m : StockMessages()) {
            WriteSettingOrFail(section, m.code + QStringLiteral("_RU"), m.ru);
            WriteSettingOrFail(section, m.code + QStringLiteral("_EN"), m.en);
        }
    });
    if (!written)
        return;
    Dialogs::Notice(parent, QStringLiteral("Настройки актуализированы."), kAppTitle,
                    MessageIcon::Information);
}

} // namespace varnel
