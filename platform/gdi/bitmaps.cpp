// Bitmaps: device-dependent (32 bpp, or 1 bpp monochrome), DIB sections, DIB transfers.
#include <winbase.h>

#include <algorithm>
#include <new>

#include "gdi_private.h"

namespace qor::gdi {

std::shared_ptr<Bitmap> MakeBitmap(int width, int height, int bpp, bool bottomUp)
{
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bpp = bpp;
    const std::ptrdiff_t rowBytes = bitmap->WidthBytes();
    try {
        bitmap->storage.assign(size_t(rowBytes) * size_t(height), 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (bottomUp) {
        bitmap->top = bitmap->storage.data() + rowBytes * (height - 1);
        bitmap->stride = -rowBytes;
    } else {
        bitmap->top = bitmap->storage.data();
        bitmap->stride = rowBytes;
    }
    return bitmap;
}

}  // namespace qor::gdi

using namespace qor::gdi;

namespace {

// Larger bitmaps are refused rather than risking an allocation the size of the address space.
constexpr long long kMaxPixels = 1LL << 28;

bool SizeOk(long long width, long long height)
{
    return width > 0 && height > 0 && width * height <= kMaxPixels;
}

HBITMAP Publish(std::shared_ptr<Bitmap> bitmap)
{
    if (!bitmap) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return static_cast<HBITMAP>(Insert(std::move(bitmap)));
}

// A 32-bit BI_RGB DIB header as the DIB functions accept it; other formats are refused.
bool Dib32(const BITMAPINFO* bmi)
{
    if (!bmi || bmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER))
        return false;
    const BITMAPINFOHEADER& h = bmi->bmiHeader;
    return h.biBitCount == 32 && h.biCompression == BI_RGB && h.biWidth > 0 && h.biHeight != 0 &&
           h.biHeight != LONG(0x80000000) && SizeOk(h.biWidth, h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight);
}

// Reads a bitmap pixel as a 32-bit value; monochrome bitmaps through their black/white table.
DWORD ReadPixel(const Bitmap& bitmap, int x, int y)
{
    if (bitmap.bpp == 1)
        return bitmap.Bit(x, y) ? 0x00FFFFFF : 0;
    return bitmap.Row32(y)[x];
}

void WritePixel(Bitmap& bitmap, int x, int y, DWORD v)
{
    if (bitmap.bpp == 1)
        bitmap.SetBit(x, y, (v & 0x00FFFFFF) == 0x00FFFFFF);  // only white sets a monochrome bit
    else
        bitmap.Row32(y)[x] = v;
}

}  // namespace

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return nullptr;
    if (cx < 0 || cy < 0 || !(cx == 0 || cy == 0 || SizeOk(cx, cy))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (cx == 0 || cy == 0)
        return static_cast<HBITMAP>(StockBitmap()->handle);  // as Windows: the 1 x 1 stock bitmap
    // A memory DC makes bitmaps of the format of the bitmap selected in it, so a new memory
    // DC (with its monochrome stock bitmap) makes monochrome bitmaps, as on Windows.
    const int bpp = dc->memory ? dc->state.bitmap->bpp : 32;
    return Publish(MakeBitmap(cx, cy, bpp));
}

HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const void* lpBits)
{
    if (nWidth < 0 || nHeight < 0 || nPlanes != 1 || (nBitCount != 1 && nBitCount != 32)) {
        // Other depths are not provided: the control needs monochrome patterns and 32 bpp.
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (nWidth == 0 || nHeight == 0)
        return static_cast<HBITMAP>(StockBitmap()->handle);
    if (!SizeOk(nWidth, nHeight)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto bitmap = MakeBitmap(nWidth, nHeight, int(nBitCount));
    if (bitmap && lpBits)  // rows of the caller's data are WORD-aligned, as in the bitmap
        std::memcpy(bitmap->storage.data(), lpBits, bitmap->storage.size());
    return Publish(std::move(bitmap));
}

HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, void** ppvBits, HANDLE hSection,
                                DWORD offset)
{
    (void)hdc;  // the DC only matters for DIB_PAL_COLORS, which is not provided
    if (ppvBits)
        *ppvBits = nullptr;
    if (!Dib32(pbmi) || usage != DIB_RGB_COLORS || hSection || offset) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const BITMAPINFOHEADER& h = pbmi->bmiHeader;
    const bool bottomUp = h.biHeight > 0;
    auto bitmap = MakeBitmap(h.biWidth, bottomUp ? h.biHeight : -h.biHeight, 32, bottomUp);
    if (!bitmap) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    bitmap->dibSection = true;
    bitmap->dibHeader = h;
    bitmap->dibHeader.biSize = sizeof(BITMAPINFOHEADER);
    bitmap->dibHeader.biSizeImage = DWORD(bitmap->storage.size());
    if (ppvBits)
        *ppvBits = bitmap->storage.data();
    return Publish(std::move(bitmap));
}

int WINAPI GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, LPBITMAPINFO lpbmi, UINT usage)
{
    auto dc = LookupDc(hdc);
    auto bitmap = LookupAs<Bitmap>(hbm, Kind::Bitmap);
    if (!dc || !bitmap || !lpbmi || lpbmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER) || usage != DIB_RGB_COLORS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    BITMAPINFOHEADER& h = lpbmi->bmiHeader;
    if (!lpvBits) {
        // Without a buffer, a zero bit count asks for the bitmap's own format.
        if (h.biBitCount == 0) {
            h.biWidth = bitmap->width;
            h.biHeight = bitmap->height;
            h.biPlanes = 1;
            h.biBitCount = WORD(bitmap->bpp);
            h.biCompression = BI_RGB;
            h.biSizeImage = DWORD(bitmap->WidthBytes() * bitmap->height);
            h.biClrUsed = 0;
            h.biClrImportant = 0;
            return bitmap->height;
        }
        return Dib32(lpbmi) ? bitmap->height : 0;
    }
    if (!Dib32(lpbmi) || h.biWidth != bitmap->width) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const bool bottomUp = h.biHeight > 0;
    if (start >= UINT(bitmap->height))
        return 0;
    const UINT lines = std::min<UINT>(cLines, UINT(bitmap->height) - start);
    auto* out = static_cast<DWORD*>(lpvBits);
    // Scan lines of a bottom-up DIB count from the bottom row of the bitmap.
    for (UINT i = 0; i < lines; ++i) {
        const int y = bottomUp ? bitmap->height - 1 - int(start + i) : int(start + i);
        for (int x = 0; x < bitmap->width; ++x)
            out[size_t(i) * size_t(bitmap->width) + size_t(x)] = ReadPixel(*bitmap, x, y);
    }
    return int(lines);
}

int WINAPI SetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, const void* lpBits, const BITMAPINFO* lpbmi,
                     UINT ColorUse)
{
    (void)hdc;  // only needed for DIB_PAL_COLORS
    auto bitmap = LookupAs<Bitmap>(hbm, Kind::Bitmap);
    if (!bitmap || !lpBits || !Dib32(lpbmi) || ColorUse != DIB_RGB_COLORS ||
        lpbmi->bmiHeader.biWidth != bitmap->width) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const bool bottomUp = lpbmi->bmiHeader.biHeight > 0;
    if (start >= UINT(bitmap->height))
        return 0;
    const UINT lines = std::min<UINT>(cLines, UINT(bitmap->height) - start);
    const auto* in = static_cast<const DWORD*>(lpBits);
    for (UINT i = 0; i < lines; ++i) {
        const int y = bottomUp ? bitmap->height - 1 - int(start + i) : int(start + i);
        for (int x = 0; x < bitmap->width; ++x)
            WritePixel(*bitmap, x, y, in[size_t(i) * size_t(bitmap->width) + size_t(x)]);
    }
    return int(lines);
}

COLORREF WINAPI GetPixel(HDC hdc, int x, int y)
{
    auto dc = LookupDc(hdc);
    Canvas canvas;
    if (!dc || !GetCanvas(*dc, &canvas))
        return CLR_INVALID;
    const POINT d = ToDevice(dc->state, x, y);
    const int sx = d.x + canvas.offset.x;
    const int sy = d.y + canvas.offset.y;
    if (!canvas.Visible(sx, sy))
        return CLR_INVALID;
    return ColorOf(canvas.Get(sx, sy) & 0x00FFFFFF);
}

COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color)
{
    auto dc = LookupDc(hdc);
    Canvas canvas;
    if (!dc || !GetCanvas(*dc, &canvas))
        return CLR_INVALID;
    const POINT d = ToDevice(dc->state, x, y);
    const int sx = d.x + canvas.offset.x;
    const int sy = d.y + canvas.offset.y;
    if (!canvas.Visible(sx, sy))
        return CLR_INVALID;
    // SetPixel writes the colour itself; the binary raster operation does not apply.
    canvas.Put(sx, sy, canvas.Ink(color));
    return ColorOf(canvas.Get(sx, sy) & 0x00FFFFFF);
}
