#include "core/MessageTexts.h"

#include "core/AppContext.h"
#include "core/Error.h"
#include "core/SettingKeys.h"
#include "core/Settings.h"
#include "core/Values.h"

#include <QFile>
#include <QFileInfo>

namespace varnel {
namespace {

bool PathExists(const QString& path)
{
    // A dangling symbolic link still occupies the name.
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

void RemoveGeneration(const QString& path)
{
    QFile file(path);
    if (!file.remove())
        Fail(QStringLiteral("Не удалось удалить файл журнала ") + path + QStringLiteral(": ") +
             file.errorString());
}

void RenameGeneration(const QString& from, const QString& to)
{
    QFile file(from);
    if (!file.rename(to))
        Fail(QStringLiteral("Не удалось переименовать файл журнала ") + from +
             QStringLiteral(" в ") + to + QStringLiteral(": ") + file.errorString());
}

} // namespace

void RotateLog()
{
    const QString log = JoinPath(ProgramFolder(), QStringLiteral("varnel.log"));
    if (!PathExists(log))
        return;
    const QString first = log + QStringLiteral(".1");
    const QString second = log + QStringLiteral(".2");
    if (PathExists(first)) {
        if (PathExists(second))
            RemoveGeneration(second);
        RenameGeneration(first, second);
    }
    RenameGeneration(log, first);
}

QString MessageText(const QString& code, const QString& defaultText)
{
    return ReadSetting(QLatin1String(settings::kErrorMessageSection),
                       code + u'_' + MessageLanguage(), defaultText);
}

QString FillMessage(QString text, const QString& first, const QString& second)
{
    // One pass from left to right: a value that itself contains "%2%" is left as typed.
    static const QString kFirst = QStringLiteral("%1%");
    static const QString kSecond = QStringLiteral("%2%");
    QString result;
    result.reserve(text.size() + first.size() + second.size());
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype p1 = text.indexOf(kFirst, from);
        const qsizetype p2 = text.indexOf(kSecond, from);
        qsizetype p = p1;
        if (p < 0 || (p2 >= 0 && p2 < p))
            p = p2;
        if (p < 0)
            break;
        result += QStringView(text).mid(from, p - from);
        result += (p == p1) ? first : second;
        from = p + 3;
    }
    result += QStringView(text).mid(from);
    return result;
}

QString VersionComment()
{
    return QStringLiteral("<!-- Message has been generated with Varnel Client version %1.%2.%3 -->")
        .arg(VersionMajor())
        .arg(VersionMinor())
        .arg(VersionPatch());
}

const QList<StockMessage>& StockMessages()
{
    static const QList<StockMessage> table = {
        {QStringLiteral("C10"), QStringLiteral("(C10) Недопустимый формат даты: %1%"),
         QStringLiteral("(C10) Invalid date format: %1%")},
        {QStringLiteral("S1"),
         QStringLiteral("(S1) Поле Qty (%1%) должно иметь формат numeric(16,0)"),
         QStringLiteral("(S1) The field Qty (%1%) must fit to numeric(16,0)")},
        {QStringLiteral("S2"),
         QStringLiteral("(S2) Поле Price (%1%) должно иметь формат numeric(26,10)"),
         QStringLiteral("(S2) The field Price (%1%) must fit to numeric(26,10)")},
        {QStringLiteral("S3"),
         QStringLiteral("(S3) Поле Block (%1%) должно иметь формат numeric(1)"),
         QStringLiteral("(S3) The field Block (%1%) must fit to numeric(1)")},
        {QStringLiteral("S4"),
         QStringLiteral("(S4) Поле Settle (%1%) должно иметь формат numeric(1)"),
         QStringLiteral("(S4) The field Settle (%1%) must fit to numeric(1)")},
        {QStringLiteral("S5"), QStringLiteral("(S5) Не указан код участника"),
         QStringLiteral("(S5) No field Participant in the message")},
        {QStringLiteral("S13"), QStringLiteral("(S13) Не указан код ЦБ"),
         QStringLiteral("(S13) No field Security in the message")},
        {QStringLiteral("S16"),
         QStringLiteral("(S16) Поле Price (%1%) должно иметь положительное значение"),
         QStringLiteral("(S16) The field Price (%1%) must be positive")},
        {QStringLiteral("S17"),
         QStringLiteral("(S17) Поле Qty (%1%) должно иметь положительное значение"),
         QStringLiteral("(S17) The field Qty (%1%) must be positive")},
        {QStringLiteral("S18"), QStringLiteral("(S18) Не указана валюта"),
         QStringLiteral("(S18) No field Currency in the message")},
        {QStringLiteral("S52"),
         QStringLiteral("(S52) Сделка участника %1% с внутренним номером %2% уже существует в "
                        "базе данных"),
         QStringLiteral("(S52) A trade with Reference %2% of the Participant %1% already exists")},
        {QStringLiteral("S54"),
         QStringLiteral("(S54) Сделка участника %1% с номером договора %2% и пустым внутренним "
                        "номером уже существует в базе данных"),
         QStringLiteral("(S54) A trade with Agreement %2% and with empty Reference of the "
                        "Participant %1% already exists")},
        {QStringLiteral("S55"), QStringLiteral("(S55) Не указана валюта расчетов"),
         QStringLiteral("(S55) No field SettlCurrency in the message")},
        {QStringLiteral("S59"),
         QStringLiteral("(S59) Поле QtyFrac (%1%) должно иметь неотрицательное значение"),
         QStringLiteral("(S59) The field QtyFrac (%1%) must be zero or positive")},
    };
    return table;
}

} // namespace varnel
