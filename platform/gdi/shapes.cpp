// Shapes and fills: Rectangle, FillRect, FrameRect, InvertRect, ExtTextOutW.
#include <winbase.h>

#include <algorithm>

#include "gdi_private.h"

using namespace qor::gdi;

namespace {

RECT Normalized(int left, int top, int right, int bottom)
{
    return RECT{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
}

bool Empty(const RECT& r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

// Fills a logical rectangle with a brush under a ternary code: FillRect and friends.
int FillWith(HDC hdc, const RECT* lprc, HBRUSH hbr, BYTE code, bool frame)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return 0;
    std::shared_ptr<Brush> brush;
    if (RopUsesPattern(code)) {
        brush = LookupAs<Brush>(hbr, Kind::Brush);
        if (!brush) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
    }
    if (!lprc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Canvas canvas;
    if (!GetCanvas(*dc, &canvas))
        return 0;
    if (brush && brush->style == BS_NULL)
        return 1;
    const RECT r = ToDeviceRect(dc->state, *lprc);
    if (Empty(r))
        return 1;
    if (!frame) {
        PatFill(canvas, dc->state, brush.get(), r, code);
        return 1;
    }
    // A frame one pixel wide along the inside of the rectangle.
    const RECT strips[4] = {{r.left, r.top, r.right, r.top + 1},
                            {r.left, r.bottom - 1, r.right, r.bottom},
                            {r.left, r.top + 1, r.left + 1, r.bottom - 1},
                            {r.right - 1, r.top + 1, r.right, r.bottom - 1}};
    for (const RECT& strip : strips)
        if (!Empty(strip))
            PatFill(canvas, dc->state, brush.get(), strip, code);
    return 1;
}

}  // namespace

BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return FALSE;
    Canvas canvas;
    if (!GetCanvas(*dc, &canvas))
        return FALSE;
    const DcState& s = dc->state;
    const RECT r = ToDeviceRect(s, Normalized(left, top, right, bottom));
    // The right and bottom edges lie outside the figure: the outline runs along the pixels
    // inside them and the brush fills what it encloses. Without a pen the fill reaches the
    // outline's place on the left and top only, so it is one pixel narrower and lower than
    // the rectangle, as on Windows.
    const bool pen = !s.pen->Null();
    if (s.brush->style != BS_NULL) {
        const RECT inside = pen ? RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}
                                : RECT{r.left, r.top, r.right - 1, r.bottom - 1};
        if (!Empty(inside))
            PatFill(canvas, s, s.brush.get(), inside, Rop3FromRop2(s.rop2));
    }
    if (pen && r.right - r.left >= 1 && r.bottom - r.top >= 1) {
        // Counter-clockwise on the screen from the top-right corner, the default arc
        // direction; a pen style starts there.
        const POINT corners[4] = {{r.right - 1, r.top}, {r.left, r.top}, {r.left, r.bottom - 1}, {r.right - 1, r.bottom - 1}};
        StrokePolyline(canvas, s, corners, 4, true);
    }
    return TRUE;
}

int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr)
{
    return FillWith(hDC, lprc, hbr, BYTE(PATCOPY >> 16), false);
}

int WINAPI FrameRect(HDC hDC, const RECT* lprc, HBRUSH hbr)
{
    return FillWith(hDC, lprc, hbr, BYTE(PATCOPY >> 16), true);
}

BOOL WINAPI InvertRect(HDC hDC, const RECT* lprc)
{
    return FillWith(hDC, lprc, nullptr, BYTE(DSTINVERT >> 16), false);
}

BOOL WINAPI ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* lprect, LPCWSTR lpString, UINT c,
                        const INT* lpDx)
{
    (void)x;
    (void)y;
    (void)lpDx;
    auto dc = LookupDc(hdc);
    if (!dc)
        return FALSE;
    if (c > 0 && !lpString) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Canvas canvas;
    if (!GetCanvas(*dc, &canvas))
        return FALSE;
    if ((options & ETO_OPAQUE) && lprect) {
        // The opaque rectangle takes the background colour as it is, whatever the binary
        // raster operation.
        const RECT r = ToDeviceRect(dc->state, *lprect);
        auto solid = std::make_shared<Brush>();
        solid->color = dc->state.bkColor;
        PatFill(canvas, dc->state, solid.get(), r, BYTE(PATCOPY >> 16));
    }
    // No fonts on this platform: characters draw nothing. The control only fills with it.
    return TRUE;
}
