#include "reports/FieldFormat.h"

#include "core/Values.h"

#include <QLocale>

#include <string>
#include <utility>

namespace varnel {
namespace {

// The largest whole number the decimal type holds: 2^96 - 1.
constexpr std::string_view kMaxMantissa = "79228162514264337593543950335";
constexpr int kMaxScale = 28;
// Far beyond any value a report holds; keeps the digit strings small for hostile input.
constexpr qint64 kExponentLimit = 400;

bool isBlank(QChar c)
{
    return c == u' ' || c == QChar(0x00A0) || c == QChar(0x202F);
}

// Whole part and decimals of a number, rounded half away from zero to `decimals` places.
struct FixedDigits {
    std::string whole; // without leading zeros; empty for zero
    std::string fraction;
};

FixedDigits toFixed(const DecimalValue& v, int decimals)
{
    FixedDigits out;
    const std::string& d = v.digits;
    const qint64 length = qint64(d.size());
    const qint64 point = length + v.exponent; // digits before the decimal point
    std::string fraction;
    if (d.empty()) {
        // zero
    } else if (point >= length) {
        out.whole = d + std::string(size_t(point - length), '0');
    } else if (point > 0) {
        out.whole = d.substr(0, size_t(point));
        fraction = d.substr(size_t(point));
    } else {
        fraction = std::string(size_t(-point), '0') + d;
    }
    if (qint64(fraction.size()) > decimals) {
        const bool up = fraction[size_t(decimals)] >= '5';
        fraction.resize(size_t(decimals));
        if (up) {
            std::string all = out.whole + fraction;
            qint64 i = qint64(all.size()) - 1;
            for (; i >= 0; --i) {
                if (all[size_t(i)] == '9') {
                    all[size_t(i)] = '0';
                } else {
                    ++all[size_t(i)];
                    break;
                }
            }
            if (i < 0)
                all.insert(all.begin(), '1');
            out.whole = all.substr(0, all.size() - size_t(decimals));
            fraction = all.substr(all.size() - size_t(decimals));
        }
    } else {
        fraction.append(size_t(decimals - qint64(fraction.size())), '0');
    }
    size_t lead = 0;
    while (lead < out.whole.size() && out.whole[lead] == '0')
        ++lead;
    out.whole.erase(0, lead);
    out.fraction = std::move(fraction);
    return out;
}

bool allZero(const std::string& s)
{
    return s.find_first_not_of('0') == std::string::npos;
}

// A number picture reduced to what the report values need of it.
struct NumberPicture {
    bool valid = false; // has at least one digit placeholder
    QString prefix;
    QString suffix;
    int minWhole = 0; // "0" placeholders before the decimal point
    int minDecimals = 0;
    int maxDecimals = 0;
    bool percent = false;
};

// The picture's text trimmed and in small letters, as the picture names are compared.
QString lowerName(const QString& text)
{
    const QStringView trimmed = QStringView(text).trimmed();
    // A picture of ASCII characters, as every picture is, needs no copy unless it holds a
    // capital letter.
    bool ascii = true;
    bool capitals = false;
    for (const QChar c : trimmed) {
        ascii = ascii && c.unicode() < 0x80;
        capitals = capitals || (c >= u'A' && c <= u'Z');
    }
    if (!ascii)
        return text.trimmed().toLower();
    if (!capitals)
        return trimmed.size() == text.size() ? text : trimmed.toString();
    return trimmed.toString().toLower();
}

NumberPicture parsePicture(const QString& text)
{
    const QString named = lowerName(text);
    if (named == u"fixed")
        return parsePicture(QStringLiteral("0.00"));
    if (named == u"standard")
        return parsePicture(QStringLiteral("#,##0.00"));
    if (named == u"percent")
        return parsePicture(QStringLiteral("0.00%"));

    NumberPicture p;
    bool seenPlaceholder = false;
    bool inDecimals = false;
    int placeholders = 0;
    auto literal = [&](QChar c) { (seenPlaceholder ? p.suffix : p.prefix).append(c); };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'"') {
            const qsizetype end = text.indexOf(u'"', i + 1);
            const qsizetype stop = end < 0 ? text.size() : end;
            for (qsizetype k = i + 1; k < stop; ++k)
                literal(text.at(k));
            i = stop;
        } else if (c == u'\\') {
            if (i + 1 < text.size())
                literal(text.at(++i));
        } else if (c == u'0' || c == u'#') {
            seenPlaceholder = true;
            ++placeholders;
            if (inDecimals) {
                ++p.maxDecimals;
                if (c == u'0')
                    p.minDecimals = p.maxDecimals;
            } else if (c == u'0') {
                ++p.minWhole;
            }
        } else if (c == u'.' && !inDecimals) {
            inDecimals = true;
            seenPlaceholder = true;
        } else if (c == u',' && !inDecimals) {
            // Grouping: report values are kept without group separators.
        } else {
            if (c == u'%')
                p.percent = true;
            literal(c);
        }
    }
    p.valid = placeholders > 0;
    if (p.maxDecimals > kMaxScale)
        p.maxDecimals = kMaxScale;
    if (p.minDecimals > p.maxDecimals)
        p.minDecimals = p.maxDecimals;
    return p;
}

QString fromDigits(const std::string& s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

// A number too far from 1 to be written out digit by digit (only hostile input gets here).
bool outOfReach(const DecimalValue& v)
{
    return v.exponent > kExponentLimit || v.exponent < -kExponentLimit;
}

QString scientificText(const DecimalValue& v)
{
    return (v.negative ? QStringLiteral("-") : QString()) + fromDigits(v.digits) + u'E' +
           QString::number(v.exponent);
}

QString withoutBlanks(QString s)
{
    s.removeIf(isBlank);
    return s;
}

} // namespace

NumberReading NumberReading::Current()
{
    NumberReading reading;
    reading.system = SystemDecimalSeparator();
    reading.syntax = NumberSyntax::ofUserLocale(reading.system.at(0));
    return reading;
}

std::optional<FieldNumber> ReadFieldNumber(const QString& text)
{
    return ReadFieldNumber(text, NumberReading::Current());
}

std::optional<FieldNumber> ReadFieldNumber(const QString& text, const NumberReading& reading)
{
    QString t = TrimSpaces(text);
    if (t.isEmpty())
        return std::nullopt;
    const QString& sys = reading.system;
    // The text's own separator as DecimalSeparatorOf finds it, the system's when it has none.
    const QString own = t.contains(u'.')   ? QStringLiteral(".")
                        : t.contains(u',') ? QStringLiteral(",")
                                           : sys;
    if (own != sys)
        t.replace(own, sys);

    NumberSyntax syntax = reading.syntax;
    // A locale that groups with a (no-break) blank accepts the blank the keyboard types.
    if (!syntax.group.isNull() && isBlank(syntax.group)) {
        for (QChar& c : t) {
            if (isBlank(c))
                c = syntax.group;
        }
    }
    const std::optional<DecimalValue> value = ParseDecimal(t, syntax);
    if (!value)
        return std::nullopt;

    FieldNumber n;
    n.value = *value;
    const qsizetype point = t.indexOf(syntax.decimal);
    if (point >= 0 && !t.contains(u'e', Qt::CaseInsensitive)) {
        qsizetype k = point + 1;
        while (k < t.size() && t.at(k) >= u'0' && t.at(k) <= u'9')
            ++k;
        n.typedScale = int(std::min<qsizetype>(k - point - 1, kMaxScale));
    }
    return n;
}

bool FitsReportDecimal(const DecimalValue& value)
{
    if (value.digits.empty())
        return true;
    if (value.exponent > kExponentLimit || value.exponent < -kExponentLimit)
        return false;
    const qint64 scale = value.exponent < 0 ? -value.exponent : 0;
    if (scale > kMaxScale)
        return false;
    // The mantissa: every digit down to the last decimal.
    const qint64 length = qint64(value.digits.size()) + (value.exponent > 0 ? value.exponent : 0);
    if (length != qint64(kMaxMantissa.size()))
        return length < qint64(kMaxMantissa.size());
    std::string mantissa = value.digits;
    mantissa.append(size_t(length - qint64(value.digits.size())), '0');
    return mantissa <= kMaxMantissa;
}

QString PlainNumberText(const FieldNumber& number, bool keepScale)
{
    const DecimalValue& v = number.value;
    if (outOfReach(v))
        return scientificText(v);
    const qint64 ownScale = v.exponent < 0 ? -v.exponent : 0;
    qint64 scale = keepScale ? std::max<qint64>(ownScale, number.typedScale) : ownScale;
    if (scale > kMaxScale)
        scale = ownScale;
    const FixedDigits f = toFixed(v, int(scale));
    QString out;
    if (v.negative && !(f.whole.empty() && allZero(f.fraction)))
        out += u'-';
    out += f.whole.empty() ? QStringLiteral("0") : fromDigits(f.whole);
    if (!f.fraction.empty())
        out += u'.' + fromDigits(f.fraction);
    return out;
}

QString FormatNumberPicture(const FieldNumber& number, const QString& picture)
{
    const NumberPicture p = parsePicture(picture);
    if (!p.valid || outOfReach(number.value))
        return PlainNumberText(number, true);
    DecimalValue v = number.value;
    if (p.percent && !v.digits.empty())
        v.exponent += 2;
    FixedDigits f = toFixed(v, p.maxDecimals);
    // Optional decimals ("#") that come out as zeros are dropped.
    while (int(f.fraction.size()) > p.minDecimals && f.fraction.back() == '0')
        f.fraction.pop_back();
    std::string whole = f.whole;
    if (int(whole.size()) < p.minWhole)
        whole.insert(0, size_t(p.minWhole - int(whole.size())), '0');
    QString out;
    out.reserve(1 + p.prefix.size() + qsizetype(whole.size()) + 1 + qsizetype(f.fraction.size()) +
                1 + p.suffix.size());
    if (v.negative && !(allZero(f.whole) && allZero(f.fraction)))
        out += u'-';
    out += p.prefix;
    out += QLatin1String(whole.data(), qsizetype(whole.size()));
    if (!f.fraction.empty()) {
        out += u'.';
        out += QLatin1String(f.fraction.data(), qsizetype(f.fraction.size()));
    } else if (whole.empty()) {
        out += u'0'; // "#" of a zero: a field never holds an empty number text
    }
    out += p.suffix;
    return withoutBlanks(std::move(out));
}

QString DatePictureOf(const QString& format)
{
    return format.isEmpty() ? QStringLiteral("dd.mm.yyyy") : format;
}

namespace {

// A part of a date as its own digits (d, m, yyyy).
void appendNumber(QString& out, int value)
{
    if (value < 0 || value > 9999) {
        out += QString::number(value);
        return;
    }
    char16_t digits[4];
    int n = 0;
    do {
        digits[n++] = char16_t(u'0' + value % 10);
        value /= 10;
    } while (value);
    while (n)
        out += QChar(digits[--n]);
}

// A part of a date as at least two digits, a zero in front of one (dd, mm, yy).
void appendTwoDigits(QString& out, int value)
{
    if (value < 0 || value > 99) {
        out += QStringLiteral("%1").arg(value, 2, 10, QChar(u'0'));
        return;
    }
    out += QChar(char16_t(u'0' + value / 10));
    out += QChar(char16_t(u'0' + value % 10));
}

} // namespace

QString FormatDatePicture(const QDate& date, const QString& picture)
{
    const QString pic = DatePictureOf(picture);
    QString out;
    out.reserve(pic.size() + 8);
    for (qsizetype i = 0; i < pic.size(); ++i) {
        const QChar c = pic.at(i);
        const QChar lower = c.toLower();
        if (c == u'"') {
            const qsizetype end = pic.indexOf(u'"', i + 1);
            const qsizetype stop = end < 0 ? pic.size() : end;
            out += QStringView(pic).mid(i + 1, stop - i - 1);
            i = stop;
            continue;
        }
        if (c == u'\\') {
            if (i + 1 < pic.size())
                out += pic.at(++i);
            continue;
        }
        if (lower != u'd' && lower != u'm' && lower != u'y') {
            out += c;
            continue;
        }
        qsizetype run = 1;
        while (i + run < pic.size() && pic.at(i + run).toLower() == lower)
            ++run;
        i += run - 1;
        if (lower == u'd') {
            if (run == 1)
                appendNumber(out, date.day());
            else
                appendTwoDigits(out, date.day());
        } else if (lower == u'm') {
            if (run == 1)
                appendNumber(out, date.month());
            else
                appendTwoDigits(out, date.month());
        } else if (run <= 2) {
            appendTwoDigits(out, date.year() % 100);
        } else {
            appendNumber(out, date.year());
        }
    }
    return out;
}

} // namespace varnel
