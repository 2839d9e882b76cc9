#pragma once

#include <QString>

class QWidget;

namespace varnel {

// The question asked before the settings file is brought up to date for this version:
// "Актуализировать настройки ini-файла под версию 2.1.0 ?"
QString SettingsUpdateQuestion();

// "Обновить настройки ...": after the user's Yes, writes Language=RU and the stock message
// texts (code_RU, code_EN in the stock order) into the settings file. A write-protected or
// missing settings file is reported with a stop icon and nothing is written.
void RunSettingsUpdate(QWidget* parent);

} // namespace varnel
