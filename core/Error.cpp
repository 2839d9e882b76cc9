#include "core/Error.h"

namespace varnel {

void Fail(const QString& description)
{
    throw Error(kClientErrorNumber, description);
}

void FailOverflow()
{
    throw Error(kOverflowErrorNumber, kOverflowText);
}

} // namespace varnel
