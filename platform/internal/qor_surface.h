// The contract between the window system (user), GDI and GDI+ for where pixels land.
// A surface is a top-down array of 32-bit pixels, 0xAARRGGBB as a DWORD (bytes B, G, R, A
// in memory), the layout of a Win32 32-bit DIB and of GDI+'s PixelFormat32bppARGB.
#pragma once

#include <windef.h>

namespace qor {

struct Surface {
    int width = 0;
    int height = 0;
    int stride = 0;           // bytes from one row to the next
                              // (negative for a bottom-up DIB section: bits is still the top row)
    DWORD* bits = nullptr;    // owned by whoever created the surface
};

// Where a DC draws: the surface, the device origin of the DC in surface pixels (a window
// DC's client origin; viewport and window origins are applied on top of it by GDI), and
// the clip in surface pixels (a window DC's visible client area, intersected with any clip
// that the DC's own state adds).
struct DCTarget {
    Surface surface;
    POINT origin{};
    RECT clip{};
};

// GDI: a DC that draws on a surface that someone else owns (user32's window surfaces).
// The surface must outlive the DC; DeleteDC ends it. origin and clip as in DCTarget.
HDC CreateSurfaceDC(const Surface& surface, POINT origin, const RECT& clip);

// GDI: fills *target for a memory DC (its selected bitmap) or a surface DC; FALSE for an
// invalid DC or a memory DC without a bitmap. Used by GDI+ to draw into a DC.
bool GetDCTarget(HDC hdc, DCTarget* target);

}  // namespace qor
