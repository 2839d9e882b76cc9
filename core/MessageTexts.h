#pragma once

#include <QList>
#include <QString>

namespace varnel {

// Shifts varnel.log -> .1 -> .2 in the program folder; raises Error when a step fails.
void RotateLog();

// The stored text of a coded message in the current language, or defaultText.
QString MessageText(const QString& code, const QString& defaultText);
// Replaces every "%1%" and "%2%" in a message text.
QString FillMessage(QString text, const QString& first, const QString& second = QString());

// "<!-- Message has been generated with Varnel Client version 2.1.0 -->"
QString VersionComment();

// The stock table of coded texts, in its order.
struct StockMessage {
    QString code;
    QString ru;
    QString en;
};
const QList<StockMessage>& StockMessages();

} // namespace varnel
