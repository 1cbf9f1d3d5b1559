#pragma once
// The window design is measured in twips: 1440 to the inch, so 15 to a pixel at 96 dots per inch.
#include <cmath>

namespace twips {

inline constexpr int PerPixel = 15;

inline int toPixels(double twips) {
    return static_cast<int>(std::lround(twips / PerPixel));
}
inline double fromPixels(int pixels) {
    return static_cast<double>(pixels) * PerPixel;
}

} // namespace twips
