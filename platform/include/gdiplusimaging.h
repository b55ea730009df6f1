// GDI+ imaging: lock modes and the BitmapData of LockBits, in their Win32 x64 layout.
#pragma once

#include "gdipluspixelformats.h"

namespace Gdiplus {

enum ImageLockMode {
    ImageLockModeRead = 0x0001,
    ImageLockModeWrite = 0x0002,
    ImageLockModeUserInputBuf = 0x0004
};

class BitmapData {
public:
    UINT Width;
    UINT Height;
    INT Stride;
    Gdiplus::PixelFormat PixelFormat;
    void* Scan0;
    UINT_PTR Reserved;
};

static_assert(sizeof(BitmapData) == 32);
static_assert(offsetof(BitmapData, Stride) == 8 && offsetof(BitmapData, Scan0) == 16 &&
              offsetof(BitmapData, Reserved) == 24);

}  // namespace Gdiplus
