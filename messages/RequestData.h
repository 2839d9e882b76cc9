#pragma once

#include "core/ReportTable.h"

namespace varnel {

// The data handed to a request: a report grid, a revocation list, or nothing.
struct RequestData {
    const ReportTable* report = nullptr;
    const RevocationList* revocation = nullptr;
};

} // namespace varnel
