#pragma once

#include "core/DecimalText.h"

#include <QDate>
#include <QString>

#include <optional>

namespace varnel {

// A number as the user typed it into a report field, read exactly: no binary floating point
// on the way from the editor to the file.
struct FieldNumber {
    DecimalValue value;
    // Digits the text had after its decimal separator (0 for a text with an exponent); a
    // picture without digit placeholders shows the number with them.
    int typedScale = 0;
};

// Reads a number text the way the report editors do: blanks at either end dropped; the text's
// own decimal separator ("." when it has one, else "," when it has one) taken for the locale's;
// the locale's group separator (a typed blank where the locale groups with blanks) allowed
// between integer digits; an optional sign and exponent. Empty when the text is no number.
std::optional<FieldNumber> ReadFieldNumber(const QString& text);

// What reading a number takes from the locale: the system's decimal separator
// (SystemDecimalSeparator) and the locale's syntax around it. Asking the locale costs more than
// reading a number, so an import of a file reads it once for all of its rows.
struct NumberReading {
    QString system;
    NumberSyntax syntax;
    // As the locale stands now.
    static NumberReading Current();
};

// ReadFieldNumber with the locale as read.
std::optional<FieldNumber> ReadFieldNumber(const QString& text, const NumberReading& reading);

// True when the number can be held exactly by the decimal type of report values: at most 29
// significant digits (a whole part up to 79228162514264337593543950335) and at most 28
// decimals.
bool FitsReportDecimal(const DecimalValue& value);

// The number's plain text: "-" for a negative number, the whole part without leading zeros,
// then "." and the decimals without trailing zeros, no point when no decimal is left ("0012.50"
// is "12.5", "7.0" is "7"). With keepScale the decimals the text was typed with are kept.
QString PlainNumberText(const FieldNumber& number, bool keepScale = false);

// The number in a number picture of the layout ("0", "0.00", "#,##0.00", "0.00##",
// "0.00%", the names "Fixed", "Standard", "Percent" and "General Number"), rounded half away
// from zero to the picture's decimals. The text always has "." as its decimal separator and no
// group separators or blanks, whatever the locale: that is how report values are kept. A
// picture without digit placeholders gives the plain text.
QString FormatNumberPicture(const FieldNumber& number, const QString& picture);

// The date in a date picture of the layout: d, dd, m, mm, yy, yyyy, with any other character
// (and text in double quotes, or after a backslash) copied as it stands. An empty picture
// means dd.mm.yyyy.
QString FormatDatePicture(const QDate& date, const QString& picture);

// The picture a date field is shown with: its format, or dd.mm.yyyy when it has none.
QString DatePictureOf(const QString& format);

} // namespace varnel
