// GDI+ colour matrix: a row vector (r, g, b, a, 1) of values in 0..1 times the 5 x 5 matrix.
#pragma once

#include "gdiplustypes.h"

namespace Gdiplus {

struct ColorMatrix {
    REAL m[5][5];
};

static_assert(sizeof(ColorMatrix) == 100);

}  // namespace Gdiplus
