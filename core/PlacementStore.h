#pragma once

#include <QString>

namespace varnel {

// The per-user store of window placements: QSettings in INI format under organisation
// "Varnel", application = the given application name, group "Settings".
namespace PlacementStore {

QString Read(const QString& application, const QString& key, const QString& def);
void Write(const QString& application, const QString& key, const QString& value);

// Points the store at another folder; an empty folder restores the user's own. Only tests do,
// through testing::ScopedPlacementRoot (tests/support/Overrides.h); this setter is built into
// the test support library, not into the program.
void SetRoot(const QString& folder);

} // namespace PlacementStore
} // namespace varnel
