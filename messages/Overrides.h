#pragma once

#include "messages/SendPipelineTesting.h"

namespace varnel::overrides {

// Process-wide values of the send pipeline that the program never sets; tests replace them
// for a while through the guards of tests/support/Overrides.h.

// Called at each stage of SendRequest; empty in the program.
testing::SendStageHook& SendStageHook();
// Makes every request move take the cross-file-system way, as if the rename had failed with
// EXDEV; false in the program.
bool& ForceCrossDeviceMove();

} // namespace varnel::overrides
