#pragma once

namespace varnel {

// Geometry is kept in twips: 1440 to the inch, so 15 to a pixel at 96 dots an inch.
inline constexpr double kTwipsPerInch = 1440.0;

// Nearest whole pixel of a length in twips at the given dots per inch.
int TwipsToPixels(double twips, double dpi);
// Exact length in twips of a number of pixels.
double PixelsToTwips(int pixels, double dpi);

} // namespace varnel
