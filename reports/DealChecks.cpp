#include "reports/DealChecks.h"

#include "core/Error.h"
#include "core/MessageTexts.h"
#include "core/ReportTable.h"
#include "core/SettingKeys.h"
#include "core/Values.h"
#include "reports/ReportModel.h"

#include <QSet>

#include <vector>

namespace varnel {
namespace {

QString coded(const char* code, const char* builtIn, const QString& first = QString(),
              const QString& second = QString())
{
    return FillMessage(MessageText(QLatin1String(code), QString::fromUtf8(builtIn)), first, second);
}

DealCheck duplicates(const FieldValueOf& value, const DealKeys& keys, DealCheckMode mode,
                     int changedRow)
{
    const int except = mode == DealCheckMode::Change ? changedRow : -1;
    const QString agreement = TrimSpaces(value(QStringLiteral("Agreement")));
    const QString reference = TrimSpaces(value(QStringLiteral("Reference")));
    if (!reference.isEmpty()) {
        if (keys.holds(DealKey::Reference, reference, except)) {
            return DealCheck::Failed(
                QStringLiteral("Reference"),
                coded("S52",
                      "(S52) Сделка участника %1% с внутренним номером %2% уже существует в "
                      "базе данных",
                      DefaultParticipant(), reference));
        }
    } else if (!agreement.isEmpty()) {
        if (keys.holds(DealKey::Agreement, agreement, except)) {
            return DealCheck::Failed(
                QStringLiteral("Agreement"),
                coded("S54",
                      "(S54) Сделка участника %1% с номером договора %2% и пустым внутренним "
                      "номером уже существует в базе данных",
                      DefaultParticipant(), agreement));
        }
    }
    return DealCheck::Passed();
}

bool notPositive(const QString& text)
{
    return IsZeroText(text) || IsNegativeText(text);
}

} // namespace

bool IsZeroText(const QString& text)
{
    for (const QChar c : text) {
        if (c >= u'1' && c <= u'9')
            return false;
    }
    return true;
}

bool IsNegativeText(const QString& text)
{
    for (const QChar c : text) {
        if (c != u' ')
            return c == u'-';
    }
    return false;
}

DealCheck CheckDeal(ReportKind kind, const FieldValueOf& value, const DealKeys& keys,
                    DealCheckMode mode, int changedRow)
{
    const auto trimmed = [&](const char* name) { return TrimSpaces(value(QLatin1String(name))); };
    // The rule that failed, told with the field it is about.
    const auto about = [](const char* name, QString text) {
        return DealCheck::Failed(QLatin1String(name), std::move(text));
    };
    if (trimmed("Participant").isEmpty())
        return about("Participant", coded("S5", "(S5) Не указан код участника"));

    const QString qty = value(QStringLiteral("Qty"));
    const QString qtyFrac = value(QStringLiteral("QtyFrac"));
    const auto quantity = [&]() -> DealCheck {
        if (IsNegativeText(qty) || (IsZeroText(qty) && IsZeroText(qtyFrac)))
            return about(
                "Qty",
                coded("S17", "(S17) Поле Qty (%1%) должно иметь положительное значение", qty));
        if (IsNegativeText(qtyFrac))
            return about("QtyFrac",
                         coded("S59",
                               "(S59) Поле QtyFrac (%1%) должно иметь неотрицательное значение",
                               qtyFrac));
        return DealCheck::Passed();
    };

    if (kind == ReportKind::Deals) {
        if (trimmed("Issue").isEmpty() && trimmed("ISIN").isEmpty())
            return about("Issue", coded("S13", "(S13) Не указан код ЦБ"));
        const QString price = trimmed("Price");
        if (notPositive(price))
            return about("Price", coded("S16",
                                        "(S16) Поле Price (%1%) должно иметь положительное "
                                        "значение",
                                        price));
        if (DealCheck check = quantity(); !check.passed)
            return check;
    } else {
        if (trimmed("Issue").isEmpty())
            return about("Issue", coded("S13", "(S13) Не указан код ЦБ"));
        const QString price = value(QStringLiteral("Price"));
        if (notPositive(price))
            return about("Price", coded("S16",
                                        "(S16) Поле Price (%1%) должно иметь положительное "
                                        "значение",
                                        price));
        const QString repurchase = value(QStringLiteral("RepurchaseAmount"));
        if (notPositive(repurchase))
            return about("RepurchaseAmount",
                         coded("S26",
                               "(S26) Поле RepurchaseAmount (%1%) должно иметь положительное "
                               "значение",
                               repurchase));
        const QString amount = value(QStringLiteral("Amount"));
        if (notPositive(amount))
            return about("Amount", coded("S16",
                                         "(S16) Поле Amount (%1%) должно иметь положительное "
                                         "значение",
                                         amount));
        const QString days = value(QStringLiteral("RepoDays"));
        if (IsNegativeText(days))
            return about("RepoDays", coded("S27",
                                           "(S27) Поле RepoDays (%1%) должно иметь "
                                           "положительное значение",
                                           days));
        if (DealCheck check = quantity(); !check.passed)
            return check;
    }
    if (trimmed("Currency").isEmpty())
        return about("Currency", coded("S18", "(S18) Не указана валюта"));
    return duplicates(value, keys, mode, changedRow);
}

CheckedDeals::CheckedDeals(const ReportModel& rows)
    : rows_(rows), columns_{rows.columnOfNameIgnoringCase(QStringLiteral("REFERENCE")),
                            rows.columnOfNameIgnoringCase(QStringLiteral("AGREEMENT"))}
{
}

bool CheckedDeals::holds(DealKey key, const QString& text, int exceptRow) const
{
    return rows_.holds(key, text, exceptRow) || checked_[size_t(key)].contains(text);
}

void CheckedDeals::remember(const QStringList& fields)
{
    for (size_t k = 0; k < columns_.size(); ++k) {
        const QString value = fields.value(columns_[k] - 1);
        if (columns_[k] > 0 && !value.isEmpty())
            checked_[k].insert(value);
    }
}

Outcome IsReportCorrect(const ReportTable& grid)
{
    std::vector<int> dateColumns;
    for (int c = 0; c < grid.columnCount(); ++c) {
        const ReportField field = grid.field(c);
        if (!field.name.isEmpty() && field.type == u"D")
            dateColumns.push_back(c);
    }
    if (dateColumns.empty())
        return Outcome::Done();
    // Dates repeat throughout a report: a text that parsed once in this check is not parsed
    // again (the texts of a column that parsed are kept for the check, a few thousand at most).
    // A date that parses is one saving converts.
    constexpr qsizetype kKeptDates = 4096;
    std::vector<QString> lastGood(dateColumns.size());
    std::vector<QSet<QString>> good(dateColumns.size());
    try {
        for (int r = 0; r < grid.rowCount(); ++r) {
            const QStringList* cells = grid.rowCells(r);
            for (size_t k = 0; k < dateColumns.size(); ++k) {
                const int c = dateColumns[k];
                const QString value =
                    cells ? (c < cells->size() ? cells->at(c) : QString()) : grid.cell(r, c);
                if (value.isEmpty() || value == lastGood[k] || good[k].contains(value))
                    continue;
                ParseDate(value);
                lastGood[k] = value;
                if (good[k].size() < kKeptDates)
                    good[k].insert(value);
            }
        }
    } catch (const Error& e) {
        return Outcome::Failed(e);
    }
    return Outcome::Done();
}

} // namespace varnel
