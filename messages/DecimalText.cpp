#include "messages/DecimalText.h"

#include <QLocale>

namespace varnel {
namespace {

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The locale's separator as one character; a separator of several characters counts as none.
QChar singleChar(const QString& s)
{
    return s.size() == 1 ? s.at(0) : QChar();
}

} // namespace

std::optional<DecimalValue> ParseLocaleDecimal(const QString& text, QChar decimalSeparator,
                                               QChar groupSeparator)
{
    const QLocale locale;
    const QString t = text.trimmed();
    qsizetype i = 0;
    const qsizetype n = t.size();
    DecimalValue v;

    auto isMinus = [&](QChar c) {
        return c == u'-' || c == QChar(0x2212) || QString(c) == locale.negativeSign();
    };
    auto isPlus = [&](QChar c) { return c == u'+' || QString(c) == locale.positiveSign(); };

    if (i < n && (isMinus(t[i]) || isPlus(t[i]))) {
        v.negative = isMinus(t[i]);
        ++i;
    }

    QString mantissa;
    qint64 fractionDigits = 0;
    bool seenDigit = false;
    // Integer part: digits, with group separators only between digits.
    while (i < n) {
        const QChar c = t[i];
        if (isAsciiDigit(c)) {
            mantissa.append(c);
            seenDigit = true;
            ++i;
        } else if (!groupSeparator.isNull() && c == groupSeparator && c != decimalSeparator &&
                   seenDigit && i + 1 < n && isAsciiDigit(t[i + 1])) {
            ++i;
        } else {
            break;
        }
    }
    if (i < n && t[i] == decimalSeparator) {
        ++i;
        while (i < n && isAsciiDigit(t[i])) {
            mantissa.append(t[i]);
            ++fractionDigits;
            seenDigit = true;
            ++i;
        }
    }
    if (!seenDigit)
        return std::nullopt;

    qint64 exponent = 0;
    if (i < n && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (isMinus(t[i]) || isPlus(t[i]))) {
            negativeExponent = isMinus(t[i]);
            ++i;
        }
        int expDigits = 0;
        while (i < n && isAsciiDigit(t[i])) {
            if (expDigits == 9) // beyond any number a report holds
                return std::nullopt;
            exponent = exponent * 10 + (t[i].unicode() - u'0');
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

    qsizetype first = 0;
    while (first < mantissa.size() && mantissa[first] == u'0')
        ++first;
    qsizetype last = mantissa.size();
    qint64 trailing = 0;
    while (last > first && mantissa[last - 1] == u'0') {
        --last;
        ++trailing;
    }
    v.digits = mantissa.mid(first, last - first);
    if (v.digits.isEmpty())
        return DecimalValue{}; // every zero is the same zero, signed or not
    v.exponent = exponent - fractionDigits + trailing;
    return v;
}

std::optional<DecimalValue> ParseLocaleDecimal(const QString& text)
{
    const QLocale locale;
    return ParseLocaleDecimal(text, singleChar(locale.decimalPoint()),
                              singleChar(locale.groupSeparator()));
}

} // namespace varnel
