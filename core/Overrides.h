#pragma once

#include <QString>

namespace varnel::overrides {

// Process-wide values that the program never sets: each stays empty in the program, and the
// tests replace one for a while through the guards of tests/support/Overrides.h, which put
// back what was there before.

// The program folder instead of the executable's.
QString& ProgramFolder();
// The folder of the per-user placement store instead of the user's configuration folder.
QString& PlacementRoot();

} // namespace varnel::overrides
