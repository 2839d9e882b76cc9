#pragma once

#include "reports/ReportKind.h"

#include <QDate>
#include <QString>

#include <utility>

namespace varnel {

struct NumberReading;
struct ReportColumn;

// What a field check left: the text the field holds now, and whether the value passed, with
// the failure to show when it did not. A failed check keeps the text it put back (trimmed, or
// the repo window's default) and the focus stays in the field.
struct FieldCheck {
    QString text;
    QString failure;
    bool failed = false;

    bool passed() const { return !failed; }
    void fail(QString why)
    {
        failed = true;
        failure = std::move(why);
    }
};

// The check that runs when the user leaves a field: dates parsed and shown in the field's
// format, numbers read exactly and shown in the field's picture with "." and no grouping,
// empty texts given their defaults.
FieldCheck CheckFieldValue(const ReportColumn& column, const QString& text, ReportKind kind,
                           const QDate& today);
// The same with the locale's number settings as read for a whole import.
FieldCheck CheckFieldValue(const ReportColumn& column, const QString& text, ReportKind kind,
                           const QDate& today, const NumberReading& numbers);

// The editor's value when the window opens.
QString InitialEditorValue(const ReportColumn& column, ReportKind kind, const QDate& today);
// The editor's value after "очистить поля".
QString ClearedEditorValue(const ReportColumn& column, const QDate& today);
// A number field's layout default as the field shows it: in the field's picture ("0" of a
// "#,##0.00" field is "0.00"); a default that is no number, or a field without a picture,
// keeps the default as written.
QString NumberDefaultText(const QString& value, const QString& format);
// A grid cell as the editor shows it: number cells without blanks and with "." for ",".
QString EditorTextOfCell(const ReportColumn& column, const QString& cell);

// "Слишком большое значение": a number beyond the decimal type of report values.
QString TooLargeValueText();

} // namespace varnel
