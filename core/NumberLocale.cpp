#include "core/NumberLocale.h"

namespace varnel {

void UseCNumbers()
{
    std::setlocale(LC_NUMERIC, "C");
}

CNumbersHere::CNumbersHere()
{
#if defined(Q_OS_UNIX)
    // This thread's locale as it stands, with the numeric part taken from "C".
    const locale_t base = duplocale(uselocale(locale_t(0)));
    if (!base)
        return;
    own_ = newlocale(LC_NUMERIC_MASK, "C", base);
    if (!own_) {
        freelocale(base);
        return;
    }
    previous_ = uselocale(own_);
#endif
}

CNumbersHere::~CNumbersHere()
{
#if defined(Q_OS_UNIX)
    if (!own_)
        return;
    uselocale(previous_);
    freelocale(own_);
#endif
}

} // namespace varnel
