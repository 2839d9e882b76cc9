#pragma once

#include <QChar>
#include <QString>
#include <QStringView>

#include <optional>
#include <string>

namespace varnel {

// A number text reduced to sign, significant digits and a power of ten, so that two texts
// compare as decimal numbers exactly, whatever their length: no binary floating point.
struct DecimalValue {
    bool negative = false;
    std::string digits;  // no leading or trailing zeros; empty for zero
    qint64 exponent = 0; // value = digits * 10^exponent

    bool operator==(const DecimalValue&) const = default;
};

// How the user's locale writes numbers.
struct NumberSyntax {
    QChar decimal = u'.';
    QChar group; // none when null
    QChar minus = u'-';
    QChar plus = u'+';

    // The syntax of QLocale(), with the given decimal separator when not null.
    static NumberSyntax ofUserLocale(QChar decimal = QChar());
};

// Reads a number as the locale writes it: blanks around it, an optional sign, digits with the
// group separator allowed between integer digits, an optional decimal separator with more
// digits, and an optional exponent (1e3). Anything else is no number. A character equal to
// alsoDecimal is read as the decimal separator (a text written with the other separator).
std::optional<DecimalValue> ParseDecimal(QStringView text, const NumberSyntax& syntax,
                                         QChar alsoDecimal = QChar());

// The same with the given separators and the locale's signs.
std::optional<DecimalValue> ParseLocaleDecimal(const QString& text, QChar decimalSeparator,
                                               QChar groupSeparator);

} // namespace varnel
