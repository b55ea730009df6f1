// Raster operations: PatBlt, BitBlt and the DIB transfers onto a DC. Every ternary raster
// operation is evaluated from its truth-table byte, bitwise on all 32 bits of a pixel
// (so DSTINVERT also inverts the unused top byte, as on a Windows 32-bit DIB).
#include <winbase.h>

#include <algorithm>
#include <cstdlib>

#include "gdi_private.h"

namespace qor::gdi {

namespace {

// The part of a device rectangle that the canvas clip lets through, in surface pixels.
RECT VisiblePart(const Canvas& canvas, const RECT& device)
{
    RECT r{device.left + canvas.offset.x, device.top + canvas.offset.y, device.right + canvas.offset.x,
           device.bottom + canvas.offset.y};
    r.left = std::max(r.left, canvas.clip.left);
    r.top = std::max(r.top, canvas.clip.top);
    r.right = std::min(r.right, canvas.clip.right);
    r.bottom = std::min(r.bottom, canvas.clip.bottom);
    return r;
}

// Applies code to every visible pixel of a device rectangle. source(sx, sy, &value) gives
// the source value for a surface pixel of the destination, or false where there is none
// (that pixel is left alone).
template <class Source>
void Transfer(Canvas& canvas, const DcState& s, const Brush* brush, const RECT& device, BYTE code, Source source)
{
    const RECT r = VisiblePart(canvas, device);
    const bool usesPattern = RopUsesPattern(code);
    for (int sy = r.top; sy < r.bottom; ++sy) {
        for (int sx = r.left; sx < r.right; ++sx) {
            DWORD src = 0;
            if (!source(sx, sy, &src))
                continue;
            DWORD pat = 0;
            if (usesPattern) {
                const int dx = sx - canvas.offset.x, dy = sy - canvas.offset.y;
                if (BrushSkips(s, *brush, dx, dy))
                    continue;
                pat = BrushPixel(canvas, s, *brush, dx, dy);
            }
            canvas.Put(sx, sy, Rop3(code, pat, src, canvas.Get(sx, sy)));
        }
    }
}

bool NoSource(int, int, DWORD*)
{
    return true;
}

// A brush that a pattern operation can use; the null brush draws nothing.
const Brush* DrawingBrush(const DcState& s, BYTE code, bool* nothing)
{
    *nothing = RopUsesPattern(code) && s.brush->style == BS_NULL;
    return s.brush.get();
}

// SRCCOPY between 32-bit surfaces, row by row; the same result as the general path, in
// an order that also suits overlapping areas of one surface.
void CopyRows(Canvas& to, const Canvas& from, const RECT& r, long long shiftX, long long shiftY)
{
    const long long left = std::max<long long>(r.left, -shiftX);
    const long long right = std::min<long long>(r.right, from.width - shiftX);
    if (left >= right)
        return;
    const bool upward = shiftY < 0;  // the source lies above: copy the bottom rows first
    for (long long k = 0; k < r.bottom - r.top; ++k) {
        const long long y = upward ? r.bottom - 1 - k : r.top + k;
        const long long fy = y + shiftY;
        if (fy < 0 || fy >= from.height)
            continue;
        const auto* src = reinterpret_cast<const DWORD*>(from.top + from.stride * fy) + (left + shiftX);
        auto* dst = reinterpret_cast<DWORD*>(to.top + to.stride * y) + left;
        std::memmove(dst, src, size_t(right - left) * sizeof(DWORD));
    }
}

}  // namespace

void PatFill(Canvas& canvas, const DcState& s, const Brush* brush, RECT device, BYTE code)
{
    Transfer(canvas, s, brush, device, code, NoSource);
}

}  // namespace qor::gdi

using namespace qor::gdi;

BOOL WINAPI PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return FALSE;
    const BYTE code = BYTE(rop >> 16);
    if (RopUsesSource(code)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Canvas canvas;
    if (!GetCanvas(*dc, &canvas))
        return FALSE;
    bool nothing = false;
    const Brush* brush = DrawingBrush(dc->state, code, &nothing);
    if (nothing)
        return TRUE;
    PatFill(canvas, dc->state, brush, ExtentToDevice(dc->state, x, y, w, h), code);
    return TRUE;
}

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return FALSE;
    const BYTE code = BYTE(rop >> 16);
    if (!RopUsesSource(code))
        return PatBlt(hdc, x, y, cx, cy, rop);
    auto src = LookupDc(hdcSrc);
    if (!src)
        return FALSE;
    // Negative extents (mirroring through StretchBlt on Windows) are not provided.
    if (cx < 0 || cy < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Canvas canvas, from;
    if (!GetCanvas(*dc, &canvas) || !GetCanvas(*src, &from))
        return FALSE;
    bool nothing = false;
    const Brush* brush = DrawingBrush(dc->state, code, &nothing);
    if (nothing)
        return TRUE;

    const POINT d0 = ToDevice(dc->state, x, y);
    const POINT s0 = ToDevice(src->state, x1, y1);
    // Surface pixel (sx, sy) of the destination reads surface pixel (sx + shift) of the source.
    const long long shiftX = ((long long)s0.x + from.offset.x) - ((long long)d0.x + canvas.offset.x);
    const long long shiftY = ((long long)s0.y + from.offset.y) - ((long long)d0.y + canvas.offset.y);
    const RECT device = ExtentToDevice(dc->state, x, y, cx, cy);

    const RECT r = VisiblePart(canvas, device);
    if (code == BYTE(SRCCOPY >> 16) && !canvas.mono && !from.mono) {
        CopyRows(canvas, from, r, shiftX, shiftY);
        return TRUE;
    }
    // Overlapping copies within one surface read from a snapshot of the source area.
    const int rw = std::max(0, int(r.right - r.left)), rh = std::max(0, int(r.bottom - r.top));
    std::vector<DWORD> snapshot(size_t(rw) * size_t(rh));
    std::vector<BYTE> present(snapshot.size());
    // Colour conversions of Windows: monochrome to colour takes the destination's text (0)
    // and background (1) colours; colour to monochrome gives 1 where the source pixel has
    // the source DC's background colour.
    const DWORD textInk = canvas.Ink(dc->state.textColor), bkInk = canvas.Ink(dc->state.bkColor);
    const DWORD srcBk = PixelOf(src->state.bkColor);
    for (int j = 0; j < rh; ++j) {
        for (int i = 0; i < rw; ++i) {
            const long long fx = r.left + i + shiftX, fy = r.top + j + shiftY;
            if (fx < 0 || fy < 0 || fx >= from.width || fy >= from.height)
                continue;
            DWORD v = from.Get(int(fx), int(fy));
            if (from.mono && !canvas.mono)
                v = v ? bkInk : textInk;
            else if (!from.mono && canvas.mono)
                v = (v & 0x00FFFFFF) == srcBk ? 0x00FFFFFF : 0;
            snapshot[size_t(j) * size_t(rw) + size_t(i)] = v;
            present[size_t(j) * size_t(rw) + size_t(i)] = 1;
        }
    }
    Transfer(canvas, dc->state, brush, device, code, [&](int sx, int sy, DWORD* value) {
        const size_t k = size_t(sy - r.top) * size_t(rw) + size_t(sx - r.left);
        *value = snapshot[k];
        return present[k] != 0;
    });
    return TRUE;
}

namespace {

// A 32-bit DIB in the caller's memory, read top-down: row 0 is the top row of the image.
struct DibView {
    const DWORD* bits = nullptr;
    int width = 0;
    int height = 0;  // rows present in the buffer
    bool bottomUp = false;
    DWORD Pixel(int x, int topRow) const
    {
        const int row = bottomUp ? height - 1 - topRow : topRow;
        return bits[size_t(row) * size_t(width) + size_t(x)];
    }
};

bool Dib32Info(const BITMAPINFO* bmi)
{
    if (!bmi || bmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER))
        return false;
    const BITMAPINFOHEADER& h = bmi->bmiHeader;
    const long long height = std::llabs(h.biHeight);
    return h.biBitCount == 32 && h.biCompression == BI_RGB && h.biWidth > 0 && height > 0 &&
           h.biWidth * height <= (1LL << 28);
}

}  // namespace

int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc,
                         int SrcWidth, int SrcHeight, const void* lpBits, const BITMAPINFO* lpbmi, UINT iUsage,
                         DWORD rop)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return 0;
    // 32-bit BI_RGB images only; stretching samples the nearest source pixel (COLORONCOLOR).
    if (!lpBits || !Dib32Info(lpbmi) || iUsage != DIB_RGB_COLORS || DestWidth == 0 || DestHeight == 0 ||
        SrcWidth == 0 || SrcHeight == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Canvas canvas;
    if (!GetCanvas(*dc, &canvas))
        return 0;
    const BYTE code = BYTE(rop >> 16);
    bool nothing = false;
    const Brush* brush = DrawingBrush(dc->state, code, &nothing);
    if (nothing)
        return std::abs(SrcHeight);

    const BITMAPINFOHEADER& h = lpbmi->bmiHeader;
    const DibView dib{static_cast<const DWORD*>(lpBits), h.biWidth, int(std::llabs(h.biHeight)), h.biHeight > 0};
    // The source rectangle of a bottom-up image is measured from its bottom-left corner.
    const long long srcLeft = std::min<long long>(xSrc, (long long)xSrc + SrcWidth);
    const long long srcRows = std::llabs(SrcHeight);
    const long long srcTop = dib.bottomUp ? dib.height - std::max<long long>(ySrc, (long long)ySrc + SrcHeight)
                                          : std::min<long long>(ySrc, (long long)ySrc + SrcHeight);
    const long long srcCols = std::llabs(SrcWidth);
    const bool flipX = (DestWidth < 0) != (SrcWidth < 0);
    const bool flipY = (DestHeight < 0) != (SrcHeight < 0);
    const RECT device = ExtentToDevice(dc->state, xDest, yDest, DestWidth, DestHeight);
    const long long dw = device.right - device.left, dh = device.bottom - device.top;
    Transfer(canvas, dc->state, brush, device, code, [&](int sx, int sy, DWORD* value) {
        long long i = sx - canvas.offset.x - device.left, j = sy - canvas.offset.y - device.top;
        if (flipX)
            i = dw - 1 - i;
        if (flipY)
            j = dh - 1 - j;
        const long long fx = srcLeft + (2 * i + 1) * srcCols / (2 * dw);
        const long long fy = srcTop + (2 * j + 1) * srcRows / (2 * dh);
        if (fx < 0 || fy < 0 || fx >= dib.width || fy >= dib.height)
            return false;
        const DWORD v = dib.Pixel(int(fx), int(fy));
        *value = canvas.mono ? ((v & 0x00FFFFFF) == 0x00FFFFFF ? 0x00FFFFFF : 0) : v;
        return true;
    });
    return int(srcRows);
}

int WINAPI SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc, UINT StartScan,
                             UINT cLines, const void* lpvBits, const BITMAPINFO* lpbmi, UINT ColorUse)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return 0;
    if (!lpvBits || !Dib32Info(lpbmi) || ColorUse != DIB_RGB_COLORS || w > 0x7FFFFFFF || h > 0x7FFFFFFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Canvas canvas;
    if (!GetCanvas(*dc, &canvas))
        return 0;
    const BITMAPINFOHEADER& bih = lpbmi->bmiHeader;
    const long long imageHeight = std::llabs(bih.biHeight);
    const bool bottomUp = bih.biHeight > 0;
    // The buffer holds scan lines StartScan .. StartScan + cLines - 1 of the image, counted
    // from the bottom of a bottom-up image and from the top of a top-down one.
    const long long lines = std::min<long long>(cLines, std::max<long long>(0, imageHeight - StartScan));
    const auto* bits = static_cast<const DWORD*>(lpvBits);
    const POINT d0 = ToDevice(dc->state, xDest, yDest);
    const RECT device = ExtentToDevice(dc->state, xDest, yDest, w, h);
    Transfer(canvas, dc->state, nullptr, device, BYTE(SRCCOPY >> 16), [&](int sx, int sy, DWORD* value) {
        const long long i = sx - canvas.offset.x - d0.x, j = sy - canvas.offset.y - d0.y;
        const long long col = xSrc + i;
        // A bottom-up source rectangle is measured from the bottom-left corner.
        const long long scan = bottomUp ? (long long)ySrc + (long long)h - 1 - j : (long long)ySrc + j;
        if (col < 0 || col >= bih.biWidth || scan < (long long)StartScan || scan >= (long long)StartScan + lines)
            return false;
        const DWORD v = bits[size_t(scan - StartScan) * size_t(bih.biWidth) + size_t(col)];
        *value = canvas.mono ? ((v & 0x00FFFFFF) == 0x00FFFFFF ? 0x00FFFFFF : 0) : v;
        return true;
    });
    return int(lines);
}
