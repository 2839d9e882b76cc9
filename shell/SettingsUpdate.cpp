#include "shell/SettingsUpdate.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/MessageTexts.h"
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

    // The settings file must be there and writable: the writes below fail silently otherwise.
    const bool writable = RunTrapped(parent, kAppTitle, [] {
        const QString path = SettingsFilePath();
        if (IsFileReadOnly(path))
            Fail(ReadOnlySettingsText(path));
    });
    if (!writable)
        return;

    WriteSetting(QStringLiteral("Main"), QStringLiteral("Language"), QStringLiteral("RU"));
    const QString section = QStringLiteral("ErrorMessage");
    for (const StockMessage& m : StockMessages()) {
        WriteSetting(section, m.code + QStringLiteral("_RU"), m.ru);
        WriteSetting(section, m.code + QStringLiteral("_EN"), m.en);
    }
    Dialogs::Notice(parent, QStringLiteral("Настройки актуализированы."), kAppTitle,
                    MessageIcon::Information);
}

} // namespace varnel
