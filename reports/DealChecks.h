#pragma once

#include "core/Outcome.h"
#include "reports/ReportKind.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <array>

#include <functional>
#include <utility>

namespace varnel {

class ReportModel;
class ReportTable;

// The editor value of a field by its name (exact case); empty when the layout has no such
// field.
using FieldValueOf = std::function<QString(const QString& name)>;

// The two fields whose values the duplicate rules compare.
enum class DealKey { Reference, Agreement };

// Where the duplicate rules of the deal check look: the deals a new or changed deal must not
// repeat. The report's rows answer for themselves (ReportModel); a caller that checks many deals
// before any is added (an import) answers for the rows and the deals it checked before.
class DealKeys {
public:
    virtual ~DealKeys() = default;
    // True when a deal other than the one at exceptRow (-1: none) holds exactly this text in
    // the key's field (a column named Reference or Agreement, the name's letter case ignored).
    virtual bool holds(DealKey key, const QString& text, int exceptRow) const = 0;
};

// The duplicate rules for deals checked one after another before any of them is added (an
// import): a deal may repeat neither a row nor a deal checked before it. remember() each deal
// once it has passed.
class CheckedDeals : public DealKeys {
public:
    explicit CheckedDeals(const ReportModel& rows);
    bool holds(DealKey key, const QString& text, int exceptRow) const override;
    // A deal that passed, as field cells (column 1 onwards).
    void remember(const QStringList& fields);

private:
    const ReportModel& rows_;
    std::array<int, 2> columns_;
    std::array<QSet<QString>, 2> checked_;
};

enum class DealCheckMode {
    Add,   // "A": every row of the grid takes part in the duplicate rules
    Change // "U": the row being changed does not
};

// What the deal check found: the deal passed, or the coded text of the first rule that fails
// and the name of the field that rule is about.
struct DealCheck {
    bool passed = true;
    QString failure;
    QString field;

    static DealCheck Passed() { return {}; }
    static DealCheck Failed(QString field, QString failure)
    {
        return {false, std::move(failure), std::move(field)};
    }
};

// The deal check before a deal is added or changed: required fields and signs, then the
// duplicate rules; the first rule that fails is the check's failure. changedRow is the 0-based
// row being changed (mode Change), which the duplicate rules pass over. Nothing here fills in a
// default: the editor applies the default participant before it asks.
DealCheck CheckDeal(ReportKind kind, const FieldValueOf& value, const DealKeys& keys,
                    DealCheckMode mode, int changedRow = -1);

// Dry run of what saving converts: every date of every date column must parse. Failed with the
// first failure.
Outcome IsReportCorrect(const ReportTable& grid);

// A number text counts as zero when it holds none of the digits 1 to 9.
bool IsZeroText(const QString& text);
// A number text is negative when, blanks at its start dropped, it starts with "-".
bool IsNegativeText(const QString& text);

} // namespace varnel
