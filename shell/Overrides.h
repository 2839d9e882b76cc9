#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace varnel::overrides {

// Process-wide values of the shell that the program never sets; tests replace them for a
// while through the guards of tests/support/Overrides.h.

// The answer of the spreadsheet test instead of the platform's (unset in the program).
std::optional<bool>& ExcelAvailable();
// Where start-up takes the login name from instead of the system (empty in the program).
std::function<QString()>& LoginNameSource();

} // namespace varnel::overrides
