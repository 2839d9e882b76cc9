#pragma once

// Guards for the send pipeline's test-only values (see Overrides.h).

#include "messages/Overrides.h"
#include "tests/support/Overrides.h"

namespace varnel::testing {

// Called at each stage of SendRequest.
class ScopedSendStageHook : public ScopedOverride<SendStageHook> {
public:
    explicit ScopedSendStageHook(SendStageHook hook)
        : ScopedOverride(overrides::SendStageHook(), std::move(hook))
    {
    }
};

// Every request move takes the cross-file-system way (or, with false, the usual one).
class ScopedCrossDeviceMove : public ScopedOverride<bool> {
public:
    explicit ScopedCrossDeviceMove(bool force = true)
        : ScopedOverride(overrides::ForceCrossDeviceMove(), force)
    {
    }
};

} // namespace varnel::testing
