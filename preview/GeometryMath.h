// Number conversions shared by the view's geometry and the crop-frame tracker.
#pragma once

#include <climits>
#include <cmath>

// A double converted to a 32-bit integer toward zero. A value that does not fit (or NaN)
// gives INT_MIN, the "integer indefinite" result of the x86 conversion the control was
// built with, instead of undefined behaviour.
inline int TruncToInt(double value)
{
    if (!(value > -2147483649.0 && value < 2147483648.0))
        return INT_MIN;
    return static_cast<int>(value);
}

inline int CeilToInt(double value) { return TruncToInt(std::ceil(value)); }
inline int FloorToInt(double value) { return TruncToInt(std::floor(value)); }
