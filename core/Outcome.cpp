#include "core/Outcome.h"

namespace varnel {

Outcome Trapping(const std::function<void()>& work)
{
    try {
        work();
    } catch (const Error& e) {
        return Outcome::Failed(e);
    }
    return Outcome::Done();
}

} // namespace varnel
