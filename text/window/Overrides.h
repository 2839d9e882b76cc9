#pragma once

#include "text/window/TextCommands.h"

namespace varnel::overrides {

// The print and page setup dialogs of the text windows instead of the system's (empty in the
// program), so that a test prints headless into a PDF file; tests replace them through the
// guards of tests/support/ShellOverrides.h.
TextCommands::PrinterDialog& PrintDialog();
TextCommands::PrinterDialog& PageSetupDialog();

} // namespace varnel::overrides
