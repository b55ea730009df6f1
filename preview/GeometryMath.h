// Number conversions shared by the view's geometry and the crop-frame tracker.
#pragma once

#include <cmath>

// A double converted to a 32-bit integer toward zero. Coordinates of pages, images and
// windows stay far below 10^9; a result beyond that (an infinite scale from a one-pixel
// client area, say) is clamped to +-10^9 and NaN gives 0, so that the edge arithmetic that
// follows cannot overflow.
inline int TruncToInt(double value)
{
    constexpr double kLimit = 1e9;
    if (std::isnan(value))
        return 0;
    if (value > kLimit)
        return static_cast<int>(kLimit);
    if (value < -kLimit)
        return -static_cast<int>(kLimit);
    return static_cast<int>(value);
}

inline int CeilToInt(double value) { return TruncToInt(std::ceil(value)); }
inline int FloorToInt(double value) { return TruncToInt(std::floor(value)); }
