#pragma once

#include <QCollator>
#include <QLocale>
#include <QStringView>

#include "handbook/LargeAllocator.h"

namespace varnel {

// The order of a pick list's text sort: letter case aside, by the user's locale; users without
// a locale of their own (C, POSIX) get the Russian order, the language the client speaks.
QLocale PickListLocale();
// That order as a collator (for single comparisons).
QCollator PickListCollator();

// The rank of every text in that order: a text that sorts before another has a smaller rank,
// texts that compare equal share one. Ranks run from 0 without gaps.
LargeVector<int> CollationRanks(const LargeVector<QStringView>& texts);

} // namespace varnel
