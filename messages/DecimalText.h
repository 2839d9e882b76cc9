#pragma once

#include <QString>

#include <optional>

namespace varnel {

// A number text reduced to sign, significant digits and a power of ten, so that two texts
// compare as decimal numbers exactly, whatever their length: no binary floating point.
struct DecimalValue {
    bool negative = false;
    QString digits;      // no leading or trailing zeros; empty for zero
    qint64 exponent = 0; // value = digits * 10^exponent

    bool operator==(const DecimalValue&) const = default;
};

// Reads a number as the user's locale writes it: blanks around it, an optional sign, digits
// with the locale's group separator allowed between integer digits, an optional decimal
// separator with more digits, and an optional exponent (1e3). Anything else is no number.
std::optional<DecimalValue> ParseLocaleDecimal(const QString& text, QChar decimalSeparator,
                                               QChar groupSeparator);

// The same with the separators of the user's locale (QLocale()).
std::optional<DecimalValue> ParseLocaleDecimal(const QString& text);

} // namespace varnel
