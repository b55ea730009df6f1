// Number and rectangle helpers shared by the view's geometry and the crop-frame tracker.
#pragma once

#include <windows.h>

#include <cmath>
#include <utility>

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

// A page turned by a quarter (angles in hundredths of a degree) lies across the screen.
inline bool IsQuarterTurn(int nAngle) { return nAngle == 9000 || nAngle == 27000; }

// Left above right and top above bottom.
inline void Normalize(RECT* r)
{
    if (r->left > r->right)
        std::swap(r->left, r->right);
    if (r->top > r->bottom)
        std::swap(r->top, r->bottom);
}
