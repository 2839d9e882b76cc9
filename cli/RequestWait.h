#pragma once

#include "cli/Commands.h"
#include "core/Outcome.h"

#include <QList>
#include <QString>

#include <functional>

namespace varnel::cli {

// Places one request with the sending journal of this run watching (so the journal records
// it as it records the window's), then either says where it went, or with --wait waits for
// the registry's answer (the journal's rounds, set off by the watch of the receive folder; no
// polling) and prints each deal's result as the journal lists it. place does the placing and
// learns the target. someRefused: rows were left out before (--skip-refused).
// Exit: 0 placed (or every deal accepted), 1 rows refused or deals rejected, 2 not placed,
// 3 no answer in time.
// The columns of a request's deals as the journal's window lists them, with the request file
// first: the output of send --wait, revoke --wait and journal --deals.
QList<OutputColumn> JournalDealColumns();

int PlaceAndFollow(const CommandContext& context, const QString& requestName,
                   const std::function<Outcome(QString* target)>& place, int deals,
                   bool someRefused);

} // namespace varnel::cli
