#pragma once

#include <QString>
#include <QStringView>

#include <optional>
#include <string>

// Numbers as the texts a workbook stores ("1234.5", "-0.0001", "1E+20", "1.234E-06"), read and
// compared exactly: no binary floating point on the way.
namespace varnel::tables {

struct DecimalNumber {
    bool negative = false;
    std::string digits; // no leading or trailing zeros; empty for zero
    long exponent = 0;  // value = digits * 10^exponent

    bool isZero() const { return digits.empty(); }
    bool operator==(const DecimalNumber&) const = default;
};

// An optional sign, digits with at most one ".", an optional exponent ("E+20", "e-4"); nothing
// else, no blanks. Empty for any other text.
std::optional<DecimalNumber> ReadDecimal(QStringView text);

// The number as plain decimal text, without an exponent: "-0.0001", "100000000000000000000".
// Empty when the number has more than maxDigits digits written out that way.
QString PlainDecimalText(const DecimalNumber& number, int maxDigits = 400);

// The number rounded to at most `significant` significant digits, halves away from zero, as a
// spreadsheet shows the binary number of a cell: 66.849999999999994 to 15 digits is 66.85.
DecimalNumber RoundedDecimal(const DecimalNumber& number, size_t significant);

// The whole part of a number (rounded towards zero), when it lies within the range of the type.
std::optional<qint64> WholePart(const DecimalNumber& number);

} // namespace varnel::tables
