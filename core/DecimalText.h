#pragma once

#include <QChar>
#include <QString>
#include <QStringView>

#include <optional>
#include <string>

// Numbers as texts, read and compared exactly: no binary floating point on the way. Two readers
// share one value: the texts a user types in the locale's way (ParseDecimal), and the strict
// texts a workbook stores ("1234.5", "-0.0001", "1E+20", "1.234E-06": ReadDecimal).
namespace varnel {

// A number text reduced to sign, significant digits and a power of ten, so that two texts
// compare as decimal numbers exactly, whatever their length.
struct DecimalValue {
    bool negative = false;
    std::string digits;  // no leading or trailing zeros; empty for zero
    qint64 exponent = 0; // value = digits * 10^exponent

    bool isZero() const { return digits.empty(); }
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

// A number as a workbook stores it: an optional sign, digits with at most one ".", an optional
// exponent ("E+20", "e-4"); nothing else, no blanks. Empty for any other text.
std::optional<DecimalValue> ReadDecimal(QStringView text);

// The number as plain decimal text, without an exponent: "-0.0001", "100000000000000000000".
// Empty when the number has more than maxDigits digits written out that way.
QString PlainDecimalText(const DecimalValue& number, int maxDigits = 400);

// The number rounded to at most `significant` significant digits, halves away from zero, as a
// spreadsheet shows the binary number of a cell: 66.849999999999994 to 15 digits is 66.85.
DecimalValue RoundedDecimal(const DecimalValue& number, size_t significant);

// The whole part of a number (rounded towards zero), when it lies within the range of the type.
std::optional<qint64> WholePart(const DecimalValue& number);

} // namespace varnel
