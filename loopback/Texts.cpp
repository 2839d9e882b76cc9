#include "Texts.h"

namespace loopback {
namespace {

struct Entry {
    Code code;
    const char* name;
    const char16_t* ru;
    const char16_t* en;
};

// The deal checks speak as the client's own checks do; the revocation, subscription and
// format codes are the registry's.
constexpr Entry kTexts[] = {
    {Code::C10, "C10", u"(C10) Недопустимый формат даты: %1%", u"(C10) Invalid date format: %1%"},
    {Code::S5, "S5", u"(S5) Не указан код участника", u"(S5) No field Participant in the message"},
    {Code::S13, "S13", u"(S13) Не указан код ЦБ", u"(S13) No field Security in the message"},
    {Code::S14, "S14", u"(S14) Ценная бумага %1% не найдена в справочнике",
     u"(S14) Security %1% not found in the handbook"},
    {Code::S15, "S15", u"(S15) Поле Side (%1%) должно иметь значение B или S",
     u"(S15) The field Side (%1%) must be B or S"},
    {Code::S16, "S16", u"(S16) Поле Price (%1%) должно иметь положительное значение",
     u"(S16) The field Price (%1%) must be positive"},
    {Code::S16Amount, "S16", u"(S16) Поле Amount (%1%) должно иметь положительное значение",
     u"(S16) The field Amount (%1%) must be positive"},
    {Code::S17, "S17", u"(S17) Поле Qty (%1%) должно иметь положительное значение",
     u"(S17) The field Qty (%1%) must be positive"},
    {Code::S18, "S18", u"(S18) Не указана валюта", u"(S18) No field Currency in the message"},
    {Code::S26, "S26", u"(S26) Поле RepurchaseAmount (%1%) должно иметь положительное значение",
     u"(S26) The field RepurchaseAmount (%1%) must be positive"},
    {Code::S27, "S27", u"(S27) Поле RepoDays (%1%) должно иметь положительное значение",
     u"(S27) The field RepoDays (%1%) must not be negative"},
    {Code::S52, "S52",
     u"(S52) Сделка участника %1% с внутренним номером %2% уже существует в базе данных",
     u"(S52) A trade with Reference %2% of the Participant %1% already exists"},
    {Code::S54, "S54",
     u"(S54) Сделка участника %1% с номером договора %2% и пустым внутренним номером уже "
     u"существует в базе данных",
     u"(S54) A trade with Agreement %2% and with empty Reference of the Participant %1% already "
     u"exists"},
    {Code::S55, "S55", u"(S55) Не указана валюта расчетов",
     u"(S55) No field SettlCurrency in the message"},
    {Code::S59, "S59", u"(S59) Поле QtyFrac (%1%) должно иметь неотрицательное значение",
     u"(S59) The field QtyFrac (%1%) must be zero or positive"},
    {Code::S80, "S80", u"(S80) Сделка %1% не найдена", u"(S80) Trade %1% not found"},
    {Code::S81, "S81", u"(S81) Сделка %1% уже удалена",
     u"(S81) Trade %1% has already been revoked"},
    {Code::S82, "S82", u"(S82) Сделка %1% заявлена другим участником",
     u"(S82) Trade %1% belongs to another participant"},
    {Code::S83, "S83", u"(S83) Часть %2% сделки РЕПО %1% не найдена",
     u"(S83) Part %2% of the repo trade %1% not found"},
    {Code::S90, "S90", u"(S90) Подписка на справочник ЦБ уже оформлена",
     u"(S90) Already subscribed to the handbook"},
    {Code::S91, "S91", u"(S91) Подписка на справочник ЦБ не оформлена",
     u"(S91) Not subscribed to the handbook"},
    {Code::S97, "S97", u"(S97) Справочник ЦБ недоступен",
     u"(S97) The securities handbook is not available"},
    {Code::S98, "S98", u"(S98) Сообщение не соответствует формату: %1%",
     u"(S98) The message does not match its format: %1%"},
    {Code::S99, "S99", u"(S99) Неизвестный язык сообщений: %1%",
     u"(S99) Unknown message language: %1%"},
};

} // namespace

Message MakeMessage(Code code, Language language, const QString& v1, const QString& v2)
{
    for (const Entry& entry : kTexts) {
        if (entry.code != code)
            continue;
        QString text = QString::fromUtf16(language == Language::EN ? entry.en : entry.ru);
        // One pass each, so a value that itself holds "%2%" is not filled in again.
        const qsizetype second = text.indexOf(u"%2%");
        if (second >= 0)
            text.replace(second, 3, v2);
        const qsizetype first = text.indexOf(u"%1%");
        if (first >= 0)
            text.replace(first, 3, v1);
        return {QString::fromLatin1(entry.name), text};
    }
    return {};
}

QString FormatFaultText(FormatFault fault, Language language, const QString& detail,
                        const QString& detail2, int line, int column)
{
    const bool en = language == Language::EN;
    switch (fault) {
    case FormatFault::Empty:
        return en ? QStringLiteral("the file is empty") : QStringLiteral("файл пуст");
    case FormatFault::Doctype:
        return en ? QStringLiteral("a DOCTYPE declaration is not allowed")
                  : QStringLiteral("объявление DOCTYPE не допускается");
    case FormatFault::Xml:
        if (line <= 0) // a fault of the bytes rather than of the markup
            return (en ? QStringLiteral("XML error: %1") : QStringLiteral("ошибка XML: %1"))
                .arg(detail);
        return (en ? QStringLiteral("XML error at line %1, column %2: %3")
                   : QStringLiteral("ошибка XML в строке %1, поз. %2: %3"))
            .arg(line)
            .arg(column)
            .arg(detail);
    case FormatFault::Root:
        return (en ? QStringLiteral("expected the element %1")
                   : QStringLiteral("ожидался элемент %1"))
            .arg(detail);
    case FormatFault::UnknownRoot:
        return (en ? QStringLiteral("unknown request %1") : QStringLiteral("неизвестный запрос %1"))
            .arg(detail);
    case FormatFault::Row:
        return (en ? QStringLiteral("expected the element %1 instead of %2")
                   : QStringLiteral("ожидался элемент %1 вместо %2"))
            .arg(detail, detail2);
    case FormatFault::Nested:
        return (en ? QStringLiteral("the element %1 is not allowed inside %2")
                   : QStringLiteral("элемент %1 не допускается внутри %2"))
            .arg(detail, detail2);
    case FormatFault::Text:
        return (en ? QStringLiteral("text is not allowed inside the element %1")
                   : QStringLiteral("текст внутри элемента %1 не допускается"))
            .arg(detail);
    case FormatFault::NotRegular:
        return en ? QStringLiteral("the request is not a plain file")
                  : QStringLiteral("запрос не является обычным файлом");
    }
    return QString();
}

} // namespace loopback
