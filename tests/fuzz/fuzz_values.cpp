// Dates and decimal numbers as the user types them: every text is accepted or refused with the
// client's own error, and what is accepted reads back the same from the form it is written in.

#include "FuzzSupport.h"

#include "core/DecimalText.h"
#include "core/Error.h"
#include "core/Values.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace varnel;

namespace {

void CheckDate(const QString& text)
{
    QDate date;
    try {
        date = ParseDate(text);
    } catch (const Error&) {
        return; // C10 or the overflow text, shown by the caller's trap
    }
    FUZZ_CHECK(date.isValid(), "invalid date from %s", fuzz::Printable(text).constData());
    const QString iso = FormatIsoDate(date);
    if (date.year() > 9999)
        return; // the display form has room for four digits only
    const QString display = IsoToDisplayDate(iso);
    QDate again;
    try {
        again = ParseDate(display);
    } catch (const Error& e) {
        FUZZ_CHECK(false, "%s -> %s refused: %s", fuzz::Printable(text).constData(),
                   qPrintable(display), qPrintable(e.description()));
    }
    FUZZ_CHECK(again == date, "%s -> %s -> %s", fuzz::Printable(text).constData(),
               qPrintable(display), qPrintable(again.toString(Qt::ISODate)));
}

QString Canonical(const DecimalValue& v)
{
    if (v.digits.empty())
        return QStringLiteral("0");
    return (v.negative ? QStringLiteral("-") : QString()) + QString::fromStdString(v.digits) +
           QStringLiteral("e") + QString::number(v.exponent);
}

void CheckDecimal(const QString& text, const NumberSyntax& syntax)
{
    const std::optional<DecimalValue> value = ParseDecimal(text, syntax, u',');
    if (!value)
        return;
    FUZZ_CHECK(value->digits.empty() ||
                   (value->digits.front() != '0' && value->digits.back() != '0'),
               "digits %s", value->digits.c_str());
    for (const char c : value->digits)
        FUZZ_CHECK(c >= '0' && c <= '9', "digits %s", value->digits.c_str());
    NumberSyntax plain;
    const QString canonical = Canonical(*value);
    const std::optional<DecimalValue> again = ParseDecimal(canonical, plain);
    FUZZ_CHECK(again && *again == *value, "%s -> %s", fuzz::Printable(text).constData(),
               qPrintable(canonical));
    const QString separator = DecimalSeparatorOf(text);
    FUZZ_CHECK(separator == u"." || separator == u",", "separator %s", qPrintable(separator));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const QString text = QString::fromUtf8(in.ConsumeRemainingBytesAsString());
    CheckDate(text);
    NumberSyntax syntax;
    syntax.group = u' ';
    CheckDecimal(text, syntax);
    syntax.decimal = u',';
    syntax.group = u'.';
    CheckDecimal(text, syntax);
    GetTagValue(text, QStringLiteral("name="));
    GetFileExtension(text);
    IsoToDisplayDate(text);
    const QString escaped = EscapeXmlAttribute(text);
    FUZZ_CHECK(!escaped.contains(u'<') && !escaped.contains(u'"'), "escaped %s",
               fuzz::Printable(escaped).constData());
    return 0;
}
