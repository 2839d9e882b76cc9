#pragma once

#include "Request.h"
#include "Texts.h"

#include <optional>

namespace loopback {

class Handbook;

// Blanks (spaces only) removed at both ends, as the client trims its fields.
QString TrimBlanks(const QString& text);

// The checks a deal must pass before the registry looks at what it holds already: the
// client's own deal rules, the security against the handbook (when one is loaded), the side,
// the settlement currency and the dates. The first failing rule gives the row's message.
std::optional<Message> CheckDeal(RequestKind kind, const Attributes& deal, Language language,
                                 const Handbook* handbook);

// Whether an attribute holds a date: its name ends in "Date", perhaps followed by digits
// (TradeDate, SettleDate2).
bool IsDateField(const QString& name);
// yyyy-mm-dd naming a day of the calendar.
bool IsIsoDate(const QString& value);

} // namespace loopback
