#include "core/Twips.h"

#include <cmath>

namespace varnel {

int TwipsToPixels(double twips, double dpi)
{
    return int(std::lround(twips * dpi / kTwipsPerInch));
}

double PixelsToTwips(int pixels, double dpi)
{
    return pixels * kTwipsPerInch / dpi;
}

} // namespace varnel
