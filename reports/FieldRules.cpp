#include "reports/FieldRules.h"

#include "core/Error.h"
#include "core/MessageTexts.h"
#include "core/Values.h"
#include "reports/FieldFormat.h"
#include "reports/ReportModel.h"

#include <optional>

namespace varnel {
namespace {

// Number of the platform's overflow failure (a date part beyond 16 bits).
constexpr int kOverflowNumber = 6;

const QString kDateToken = QStringLiteral("%DATE%");

QString numberFailure(const ReportColumn& column, const QString& value, ReportKind kind)
{
    if (kind == ReportKind::Repo) {
        const QString upper = column.name.toUpper();
        const auto coded = [&](const char* code, const char* text) {
            return FillMessage(MessageText(QLatin1String(code), QString::fromUtf8(text)), value);
        };
        if (upper == u"QTY")
            return coded("S1", "(S1) Поле Qty (%1%) должно иметь формат numeric(16,0)");
        if (upper == u"PRICE")
            return coded("S2", "(S2) Поле Price (%1%) должно иметь формат numeric(16,10)");
        if (upper == u"REPURCHASEAMOUNT")
            return coded("S3", "(S3) Поле Amount (%1%) должно иметь формат numeric(1)");
        if (upper == u"REPORATE")
            return coded("S4", "(S4) Поле RepaRate (%1%) должно иметь формат numeric(1)");
    }
    return QStringLiteral("Поле ") + column.name + QStringLiteral(" должно иметь числовой формат");
}

// The number text of a field: in its picture, or the number's plain text ("0012.50" is
// "12.5"); "." and no blanks either way.
QString numberText(const FieldNumber& n, const QString& format)
{
    QString out = format.isEmpty() ? PlainNumberText(n) : FormatNumberPicture(n, format);
    out.remove(u' ');
    out.replace(u',', u'.');
    return out;
}

} // namespace

QString NumberDefaultText(const QString& value, const QString& format)
{
    if (format.isEmpty())
        return value;
    const std::optional<FieldNumber> n = ReadFieldNumber(value);
    if (!n || !FitsReportDecimal(n->value))
        return value;
    return numberText(*n, format).trimmed();
}

namespace {

// A date default shown in the field's picture; one that is no date stays as written.
QString formattedDate(const QString& value, const QString& picture)
{
    try {
        return FormatDatePicture(ParseDate(value), picture);
    } catch (const Error&) {
        return value;
    }
}

} // namespace

QString TooLargeValueText()
{
    return QStringLiteral("Слишком большое значение");
}

namespace {

// The field check; numbers are read with the locale as given, or as it stands when not given.
FieldCheck checkValue(const ReportColumn& column, const QString& text, ReportKind kind,
                      const QDate& today, const NumberReading* numbers)
{
    FieldCheck check;
    check.text = text;
    if (column.type == u"D") {
        if (TrimSpaces(text).isEmpty()) {
            if (column.def.isEmpty())
                return check;
            check.text = FormatDatePicture(today, column.format);
            return check;
        }
        try {
            check.text = FormatDatePicture(ParseDate(text), column.format);
        } catch (const Error& e) {
            check.fail(e.number() == kOverflowNumber ? TooLargeValueText() : e.description());
        }
        return check;
    }
    if (column.type == u"N") {
        QString value = TrimSpaces(text);
        if (value.isEmpty()) {
            if (kind == ReportKind::Deals) {
                check.text = value;
                return check;
            }
            value = column.def;
        }
        check.text = value;
        std::optional<NumberReading> current;
        if (!numbers)
            numbers = &current.emplace(NumberReading::Current());
        // The text's own decimal separator becomes the system's before the value is read, and
        // a refusal names the value so.
        const QString& system = numbers->system;
        const QString own = value.contains(u'.')   ? QStringLiteral(".")
                            : value.contains(u',') ? QStringLiteral(",")
                                                   : system;
        if (own != system)
            value.replace(own, system);
        const std::optional<FieldNumber> n = ReadFieldNumber(value, *numbers);
        if (!n) {
            check.fail(numberFailure(column, value, kind));
            return check;
        }
        if (!FitsReportDecimal(n->value)) {
            check.fail(TooLargeValueText());
            return check;
        }
        check.text = numberText(*n, column.format);
        return check;
    }
    if (text.isEmpty())
        check.text = column.def;
    return check;
}

} // namespace

FieldCheck CheckFieldValue(const ReportColumn& column, const QString& text, ReportKind kind,
                           const QDate& today)
{
    return checkValue(column, text, kind, today, nullptr);
}

FieldCheck CheckFieldValue(const ReportColumn& column, const QString& text, ReportKind kind,
                           const QDate& today, const NumberReading& numbers)
{
    return checkValue(column, text, kind, today, &numbers);
}

QString InitialEditorValue(const ReportColumn& column, ReportKind kind, const QDate& today)
{
    if (column.type == u"D") {
        const QString picture = DatePictureOf(column.format);
        if (kind == ReportKind::Repo)
            return FormatDatePicture(today, picture);
        if (column.def.isEmpty())
            return QString();
        QString def = column.def;
        def.replace(kDateToken, FormatDatePicture(today, picture));
        return formattedDate(def, picture);
    }
    if (column.type == u"N") {
        QString value = column.def;
        if (value.isEmpty() && kind == ReportKind::Repo)
            value = QStringLiteral("0");
        return NumberDefaultText(value, column.format);
    }
    return column.def;
}

QString ClearedEditorValue(const ReportColumn& column, const QDate& today)
{
    if (column.type == u"D") {
        if (column.def == kDateToken)
            return FormatDatePicture(today, DatePictureOf(column.format));
        return column.def;
    }
    if (column.type == u"N")
        return NumberDefaultText(column.def.isEmpty() ? QStringLiteral("0") : column.def,
                                 column.format);
    return column.def;
}

QString EditorTextOfCell(const ReportColumn& column, const QString& cell)
{
    if (column.type != u"N")
        return cell;
    QString text = cell;
    text.remove(u' ');
    text.replace(u',', u'.');
    return text;
}

} // namespace varnel
