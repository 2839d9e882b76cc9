// The plain setters of the test-only values, kept for tests that set a value for the whole
// run; a guard of Overrides.h puts the value back and is the better choice.
#include "core/Overrides.h"
#include "core/AppContext.h"
#include "core/PlacementStore.h"

namespace varnel {

void SetProgramFolder(const QString& folder)
{
    overrides::ProgramFolder() = folder;
}

void PlacementStore::SetRoot(const QString& folder)
{
    overrides::PlacementRoot() = folder;
}

} // namespace varnel
