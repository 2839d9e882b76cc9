#include "tables/NumberText.h"

#include <algorithm>

namespace varnel::tables {
namespace {

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

} // namespace

std::optional<DecimalNumber> ReadDecimal(QStringView text)
{
    DecimalNumber number;
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text[i] == u'-' || text[i] == u'+'))
        number.negative = text[i++] == u'-';
    std::string digits;
    long scale = 0;
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
    long exponent = 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == u'-' || text[i] == u'+'))
            negativeExponent = text[i++] == u'-';
        const qsizetype first = i;
        for (; i < n && isAsciiDigit(text[i]); ++i)
            exponent = std::min(exponent * 10 + (text[i].unicode() - '0'), 1000000L);
        if (i == first)
            return std::nullopt;
        if (negativeExponent)
            exponent = -exponent;
    }
    if (i != n)
        return std::nullopt;
    if (digits.empty())
        return DecimalNumber{}; // zero, whatever its sign
    size_t trailing = 0;
    while (digits[digits.size() - 1 - trailing] == '0')
        ++trailing;
    digits.resize(digits.size() - trailing);
    number.digits = std::move(digits);
    number.exponent = exponent - scale + long(trailing);
    return number;
}

QString PlainDecimalText(const DecimalNumber& number, int maxDigits)
{
    if (number.isZero())
        return QStringLiteral("0");
    const long size = long(number.digits.size());
    const long written =
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
        const long whole = size + number.exponent; // digits before the point
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

DecimalNumber RoundedDecimal(const DecimalNumber& number, size_t significant)
{
    if (number.digits.size() <= significant || significant == 0)
        return number;
    DecimalNumber rounded = number;
    const bool up = number.digits[significant] >= '5';
    rounded.exponent += long(number.digits.size() - significant);
    rounded.digits.resize(significant);
    if (up) {
        size_t i = significant;
        while (i > 0 && rounded.digits[i - 1] == '9')
            --i;
        if (i == 0) // 999.. became 1000..
            return DecimalNumber{number.negative, std::string(1, '1'),
                                 rounded.exponent + long(significant)};
        ++rounded.digits[i - 1];
        rounded.exponent += long(significant - i);
        rounded.digits.resize(i);
    }
    while (!rounded.digits.empty() && rounded.digits.back() == '0') {
        rounded.digits.pop_back();
        ++rounded.exponent;
    }
    return rounded;
}

std::optional<qint64> WholePart(const DecimalNumber& number)
{
    if (number.isZero())
        return 0;
    const long size = long(number.digits.size());
    const long wholeDigits = size + number.exponent;
    if (wholeDigits <= 0)
        return 0;
    if (wholeDigits > 18)
        return std::nullopt;
    qint64 value = 0;
    for (long i = 0; i < wholeDigits; ++i)
        value = value * 10 + (i < size ? number.digits[size_t(i)] - '0' : 0);
    return number.negative ? -value : value;
}

} // namespace varnel::tables
