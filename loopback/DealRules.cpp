#include "DealRules.h"

#include "Handbook.h"

#include <QDate>

namespace loopback {
namespace {

// No digit 1 to 9: empty, 0, 0.00 and -0 are all zero.
bool isZeroText(const QString& text)
{
    for (const QChar c : text) {
        if (c >= u'1' && c <= u'9')
            return false;
    }
    return true;
}

bool isNegativeText(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == u' ')
        ++i;
    return i < text.size() && text.at(i) == u'-';
}

// Decimal text as the client writes numbers: a sign, digits, a point and digits.
bool isDecimal(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text.at(i) == u'-' || text.at(i) == u'+'))
        ++i;
    qsizetype digits = 0;
    while (i < n && text.at(i).isDigit() && text.at(i).unicode() < 0x80) {
        ++i;
        ++digits;
    }
    if (i < n && text.at(i) == u'.') {
        ++i;
        while (i < n && text.at(i).isDigit() && text.at(i).unicode() < 0x80) {
            ++i;
            ++digits;
        }
    }
    return digits > 0 && i == n;
}

// Positive: a number, neither zero nor negative.
bool isPositive(const QString& value)
{
    return isDecimal(value) && !isZeroText(value) && !isNegativeText(value);
}

// Absent, or a number that is not negative.
bool isAbsentOrNotNegative(const QString& value)
{
    return value.isEmpty() || (isDecimal(value) && !isNegativeText(value));
}

} // namespace

QString TrimBlanks(const QString& text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && text.at(b) == u' ')
        ++b;
    while (e > b && text.at(e - 1) == u' ')
        --e;
    return (b == 0 && e == text.size()) ? text : text.mid(b, e - b);
}

bool IsDateField(const QString& name)
{
    qsizetype end = name.size();
    while (end > 0 && name.at(end - 1).isDigit())
        --end;
    return QStringView(name).left(end).endsWith(u"Date");
}

bool IsIsoDate(const QString& value)
{
    if (value.size() != 10 || value.at(4) != u'-' || value.at(7) != u'-')
        return false;
    for (const qsizetype i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (value.at(i) < u'0' || value.at(i) > u'9')
            return false;
    }
    return QDate(value.left(4).toInt(), value.mid(5, 2).toInt(), value.mid(8, 2).toInt()).isValid();
}

std::optional<Message> CheckDeal(RequestKind kind, const Attributes& deal, Language language,
                                 const Handbook* handbook)
{
    const bool repo = kind == RequestKind::RepoDeals;
    auto field = [&](const char16_t* name) { return TrimBlanks(ValueOf(deal, name)); };
    auto fail = [&](Code code, const QString& value = QString()) {
        return std::optional<Message>(MakeMessage(code, language, value));
    };

    if (field(u"Participant").isEmpty())
        return fail(Code::S5);
    const QString issue = field(u"Issue");
    const QString isin = repo ? QString() : field(u"ISIN");
    if (issue.isEmpty() && isin.isEmpty())
        return fail(Code::S13);
    if (handbook && handbook->loaded()) {
        if (!issue.isEmpty() && !handbook->knowsCode(issue))
            return fail(Code::S14, issue);
        if (issue.isEmpty() && !handbook->knowsIsin(isin))
            return fail(Code::S14, isin);
    }

    // The side is the Latin B or S: a look-alike letter (the Cyrillic "В" or "С") or a small one
    // would pass for a side it is not. An empty side passes: a layout without a default sends
    // none.
    const QString side = field(u"Side");
    if (!side.isEmpty() && side != u"B" && side != u"S")
        return fail(Code::S15, side);

    const QString price = field(u"Price");
    const QString qty = field(u"Qty");
    const QString qtyFrac = field(u"QtyFrac");
    if (!isPositive(price))
        return fail(Code::S16, price);
    if (repo) {
        const QString repurchase = field(u"RepurchaseAmount");
        if (!isPositive(repurchase))
            return fail(Code::S26, repurchase);
        const QString amount = field(u"Amount");
        if (!isPositive(amount))
            return fail(Code::S16Amount, amount);
        const QString days = field(u"RepoDays");
        if (!isAbsentOrNotNegative(days))
            return fail(Code::S27, days);
    }
    // A quantity is a whole part and a fraction, of which at least one is above zero.
    if (!isAbsentOrNotNegative(qty) || (isZeroText(qty) && isZeroText(qtyFrac)))
        return fail(Code::S17, qty);
    if (!isAbsentOrNotNegative(qtyFrac))
        return fail(Code::S59, qtyFrac);
    if (field(u"Currency").isEmpty())
        return fail(Code::S18);
    if (field(u"SettlCurrency").isEmpty())
        return fail(Code::S55);

    for (const Attribute& attribute : deal) {
        if (!IsDateField(attribute.name))
            continue;
        const QString value = TrimBlanks(attribute.value);
        if (!value.isEmpty() && !IsIsoDate(value))
            return fail(Code::C10, attribute.value);
    }
    return std::nullopt;
}

} // namespace loopback
