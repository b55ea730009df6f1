// Brushes: solid, pattern (from a bitmap) and hatched, and their pixels.
#include <winbase.h>

#include "gdi_private.h"

namespace qor::gdi {

namespace {

// The 8 x 8 hatch patterns; a set bit is a hatch line (drawn in the brush colour).
constexpr BYTE kHatches[6][8] = {
    {0x00, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00},  // HS_HORIZONTAL
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // HS_VERTICAL
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // HS_FDIAGONAL
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // HS_BDIAGONAL
    {0x08, 0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08},  // HS_CROSS
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // HS_DIAGCROSS
};

int Wrap(int v, int n)
{
    const int m = v % n;
    return m < 0 ? m + n : m;
}

HBRUSH Publish(std::shared_ptr<Brush> brush)
{
    return static_cast<HBRUSH>(Insert(std::move(brush)));
}

}  // namespace

DWORD BrushPixel(const Canvas& canvas, const DcState& s, const Brush& brush, int dx, int dy)
{
    switch (brush.style) {
    case BS_PATTERN: {
        const Bitmap& p = *brush.pattern;
        const int px = Wrap(dx - s.brushOrg.x, p.width);
        const int py = Wrap(dy - s.brushOrg.y, p.height);
        if (p.bpp == 1)
            return canvas.Ink(p.Bit(px, py) ? s.bkColor : s.textColor);
        return p.Row32(py)[px];
    }
    case BS_HATCHED: {
        const bool line = (kHatches[brush.hatch][Wrap(dy - s.brushOrg.y, 8)] >> (7 - Wrap(dx - s.brushOrg.x, 8))) & 1;
        return canvas.Ink(line ? brush.color : s.bkColor);
    }
    default:
        return canvas.Ink(brush.color);
    }
}

// Whether a brush leaves this pixel alone: the background of a hatch in TRANSPARENT mode.
// Pattern brushes ignore the background mode, as on Windows.
bool BrushSkips(const DcState& s, const Brush& brush, int dx, int dy)
{
    if (brush.style != BS_HATCHED || s.bkMode != TRANSPARENT)
        return false;
    return !((kHatches[brush.hatch][Wrap(dy - s.brushOrg.y, 8)] >> (7 - Wrap(dx - s.brushOrg.x, 8))) & 1);
}

}  // namespace qor::gdi

using namespace qor::gdi;

HBRUSH WINAPI CreateSolidBrush(COLORREF color)
{
    auto brush = std::make_shared<Brush>();
    brush->color = color;
    return Publish(std::move(brush));
}

HBRUSH WINAPI CreatePatternBrush(HBITMAP hbm)
{
    auto bitmap = LookupAs<Bitmap>(hbm, Kind::Bitmap);
    if (!bitmap) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // The brush keeps a copy, so the caller may delete the bitmap at once.
    auto copy = MakeBitmap(bitmap->width, bitmap->height, bitmap->bpp);
    if (!copy) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    for (int y = 0; y < bitmap->height; ++y)
        std::memcpy(copy->top + copy->stride * y, bitmap->top + bitmap->stride * y, size_t(copy->WidthBytes()));
    auto brush = std::make_shared<Brush>();
    brush->style = BS_PATTERN;
    brush->hatch = reinterpret_cast<ULONG_PTR>(hbm);
    brush->pattern = std::move(copy);
    return Publish(std::move(brush));
}

HBRUSH WINAPI CreateHatchBrush(int iHatch, COLORREF color)
{
    if (iHatch < HS_HORIZONTAL || iHatch > HS_DIAGCROSS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto brush = std::make_shared<Brush>();
    brush->style = BS_HATCHED;
    brush->color = color;
    brush->hatch = ULONG_PTR(iHatch);
    return Publish(std::move(brush));
}
