#pragma once

// Guards for the test-only values and registrations of the shell and its text windows (see
// shell/Overrides.h and text/window/Overrides.h).

#include "shell/Overrides.h"
#include "shell/frmMain.h"
#include "tests/support/Overrides.h"
#include "text/window/Overrides.h"

#include <functional>
#include <optional>

namespace varnel::testing {

// The login name start-up finds.
class ScopedLoginName : public ScopedOverride<std::function<QString()>> {
public:
    explicit ScopedLoginName(const QString& name)
        : ScopedOverride(overrides::LoginNameSource(), [name] { return name; })
    {
    }
};

// The answer of the spreadsheet test.
class ScopedExcelAvailable : public ScopedOverride<std::optional<bool>> {
public:
    explicit ScopedExcelAvailable(bool available)
        : ScopedOverride(overrides::ExcelAvailable(), available)
    {
    }
};

// The print dialog of the text windows.
class ScopedPrintDialog : public ScopedOverride<TextCommands::PrinterDialog> {
public:
    explicit ScopedPrintDialog(TextCommands::PrinterDialog dialog)
        : ScopedOverride(overrides::PrintDialog(), std::move(dialog))
    {
    }
};

// The page setup dialog of the text windows.
class ScopedPageSetupDialog : public ScopedOverride<TextCommands::PrinterDialog> {
public:
    explicit ScopedPageSetupDialog(TextCommands::PrinterDialog dialog)
        : ScopedOverride(overrides::PageSetupDialog(), std::move(dialog))
    {
    }
};

// The main window's registrations: empty for the guard's lifetime (the test registers its
// own), the program's back afterwards.
class ScopedMainRegistry : public ScopedOverride<frmMain::Registry> {
public:
    ScopedMainRegistry() : ScopedOverride(frmMain::registry(), frmMain::Registry()) {}
};

} // namespace varnel::testing
