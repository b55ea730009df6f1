// gdi32: device contexts, bitmaps, pens, brushes and raster operations (platform/gdi).
#pragma once

#include "windef.h"
#include "winerror.h"
