#include "core/DecimalText.h"

#include <QLocale>
#include <QVarLengthArray>

#include <algorithm>

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

std::optional<DecimalValue> ReadDecimal(QStringView text)
{
    DecimalValue number;
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text[i] == u'-' || text[i] == u'+'))
        number.negative = text[i++] == u'-';
    std::string digits;
    qint64 scale = 0;
    bool point = false;
    bool anyDigit = false;
    for (; i < n; ++i) {
        if (isAsciiDigit(text[i])) {
            anyDigit = true;
            // Leading zeros say nothing; the length stays in proportion to the digits that do.
            if (!(digits.empty() && text[i] == u'0'))
                digits.push_back(char(text[i].unicode()));
            if (point)
                ++scale;
        } else if (text[i] == u'.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return std::nullopt;
    qint64 exponent = 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == u'-' || text[i] == u'+'))
            negativeExponent = text[i++] == u'-';
        const qsizetype first = i;
        for (; i < n && isAsciiDigit(text[i]); ++i)
            exponent = std::min<qint64>(exponent * 10 + (text[i].unicode() - '0'), 1000000);
        if (i == first)
            return std::nullopt;
        if (negativeExponent)
            exponent = -exponent;
    }
    if (i != n)
        return std::nullopt;
    if (digits.empty())
        return DecimalValue{}; // zero, whatever its sign
    size_t trailing = 0;
    while (digits[digits.size() - 1 - trailing] == '0')
        ++trailing;
    digits.resize(digits.size() - trailing);
    number.digits = std::move(digits);
    number.exponent = exponent - scale + qint64(trailing);
    return number;
}

QString PlainDecimalText(const DecimalValue& number, int maxDigits)
{
    if (number.isZero())
        return QStringLiteral("0");
    const qint64 size = qint64(number.digits.size());
    const qint64 written =
        number.exponent >= 0 ? size + number.exponent : std::max(size, -number.exponent) + 1;
    if (written > maxDigits)
        return QString();
    std::string text;
    if (number.negative)
        text.push_back('-');
    if (number.exponent >= 0) {
        text += number.digits;
        text.append(size_t(number.exponent), '0');
    } else {
        const qint64 whole = size + number.exponent; // digits before the point
        if (whole > 0) {
            text.append(number.digits, 0, size_t(whole));
            text.push_back('.');
            text.append(number.digits, size_t(whole), std::string::npos);
        } else {
            text += "0.";
            text.append(size_t(-whole), '0');
            text += number.digits;
        }
    }
    return QString::fromLatin1(text);
}

DecimalValue RoundedDecimal(const DecimalValue& number, size_t significant)
{
    if (number.digits.size() <= significant || significant == 0)
        return number;
    DecimalValue rounded = number;
    const bool up = number.digits[significant] >= '5';
    rounded.exponent += qint64(number.digits.size() - significant);
    rounded.digits.resize(significant);
    if (up) {
        size_t i = significant;
        while (i > 0 && rounded.digits[i - 1] == '9')
            --i;
        if (i == 0) // 999.. became 1000..
            return DecimalValue{number.negative, std::string(1, '1'),
                                rounded.exponent + qint64(significant)};
        ++rounded.digits[i - 1];
        rounded.exponent += qint64(significant - i);
        rounded.digits.resize(i);
    }
    while (!rounded.digits.empty() && rounded.digits.back() == '0') {
        rounded.digits.pop_back();
        ++rounded.exponent;
    }
    return rounded;
}

std::optional<qint64> WholePart(const DecimalValue& number)
{
    if (number.isZero())
        return 0;
    const qint64 size = qint64(number.digits.size());
    const qint64 wholeDigits = size + number.exponent;
    if (wholeDigits <= 0)
        return 0;
    if (wholeDigits > 18)
        return std::nullopt;
    qint64 value = 0;
    for (qint64 i = 0; i < wholeDigits; ++i)
        value = value * 10 + (i < size ? number.digits[size_t(i)] - '0' : 0);
    return number.negative ? -value : value;
}

} // namespace varnel
