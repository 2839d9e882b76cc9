#include "messages/DecimalText.h"

#include <QLocale>
#include <QVarLengthArray>

namespace varnel {
namespace {

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The locale's symbol as one character; a symbol of several characters counts as none.
QChar singleChar(const QString& s)
{
    return s.size() == 1 ? s.at(0) : QChar();
}

} // namespace

NumberSyntax NumberSyntax::ofUserLocale(QChar decimal)
{
    const QLocale locale;
    NumberSyntax s;
    s.decimal = decimal.isNull() ? singleChar(locale.decimalPoint()) : decimal;
    if (s.decimal.isNull())
        s.decimal = u'.';
    s.group = singleChar(locale.groupSeparator());
    if (s.group == s.decimal)
        s.group = QChar();
    if (const QChar m = singleChar(locale.negativeSign()); !m.isNull())
        s.minus = m;
    if (const QChar p = singleChar(locale.positiveSign()); !p.isNull())
        s.plus = p;
    return s;
}

std::optional<DecimalValue> ParseDecimal(QStringView text, const NumberSyntax& syntax,
                                         QChar alsoDecimal)
{
    const QStringView t = text.trimmed();
    const qsizetype n = t.size();
    auto at = [&](qsizetype i) {
        const QChar c = t[i];
        return (!alsoDecimal.isNull() && c == alsoDecimal) ? syntax.decimal : c;
    };
    auto isMinus = [&](QChar c) { return c == u'-' || c == syntax.minus || c == QChar(0x2212); };
    auto isPlus = [&](QChar c) { return c == u'+' || c == syntax.plus; };

    qsizetype i = 0;
    DecimalValue v;
    if (i < n && (isMinus(at(i)) || isPlus(at(i)))) {
        v.negative = isMinus(at(i));
        ++i;
    }

    // Significant digits, collected on the stack: most numbers are short.
    QVarLengthArray<char, 64> digits;
    qint64 fractionDigits = 0;
    bool seenDigit = false;
    // Integer part: digits, with group separators only between digits.
    while (i < n) {
        const QChar c = at(i);
        if (isAsciiDigit(c)) {
            if (!digits.isEmpty() || c != u'0')
                digits.append(char(c.unicode()));
            seenDigit = true;
            ++i;
        } else if (!syntax.group.isNull() && c == syntax.group && seenDigit && i + 1 < n &&
                   isAsciiDigit(at(i + 1))) {
            ++i;
        } else {
            break;
        }
    }
    if (i < n && at(i) == syntax.decimal) {
        ++i;
        while (i < n && isAsciiDigit(at(i))) {
            const QChar c = at(i);
            if (!digits.isEmpty() || c != u'0')
                digits.append(char(c.unicode()));
            ++fractionDigits;
            seenDigit = true;
            ++i;
        }
    }
    if (!seenDigit)
        return std::nullopt;

    qint64 exponent = 0;
    if (i < n && (at(i) == u'e' || at(i) == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (isMinus(at(i)) || isPlus(at(i)))) {
            negativeExponent = isMinus(at(i));
            ++i;
        }
        int expDigits = 0;
        while (i < n && isAsciiDigit(at(i))) {
            if (expDigits == 9) // beyond any number a report holds
                return std::nullopt;
            exponent = exponent * 10 + (at(i).unicode() - u'0');
            ++expDigits;
            ++i;
        }
        if (expDigits == 0)
            return std::nullopt;
        if (negativeExponent)
            exponent = -exponent;
    }
    if (i != n)
        return std::nullopt;

    if (digits.isEmpty())
        return DecimalValue{}; // every zero is the same zero, signed or not
    qint64 trailing = 0;
    while (digits.back() == '0') {
        digits.removeLast();
        ++trailing;
    }
    v.digits.assign(digits.constData(), size_t(digits.size()));
    v.exponent = exponent - fractionDigits + trailing;
    return v;
}

std::optional<DecimalValue> ParseLocaleDecimal(const QString& text, QChar decimalSeparator,
                                               QChar groupSeparator)
{
    NumberSyntax s = NumberSyntax::ofUserLocale(decimalSeparator);
    s.group = groupSeparator == decimalSeparator ? QChar() : groupSeparator;
    return ParseDecimal(text, s);
}

} // namespace varnel
