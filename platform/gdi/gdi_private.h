// Objects of gdi32 and the pixel machinery they share.
#pragma once

#include <wingdi.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "qor_surface.h"

namespace qor::gdi {

enum class Kind { Dc, Bitmap, Pen, Brush };

// Every handle of gdi32 names one of these in the handle table.
struct GdiObject {
    explicit GdiObject(Kind k) : kind(k) {}
    virtual ~GdiObject() = default;
    Kind kind;
    HGDIOBJ handle = nullptr;
    bool stock = false;
    int selectCount = 0;         // DCs that have it selected now
    bool deletePending = false;  // DeleteObject came while selected: goes when deselected
};

// A bitmap: 32 bits per pixel (0x00RRGGBB) or 1 bit per pixel (1 = white), rows top-down
// in memory unless it is a bottom-up DIB section.
struct Bitmap : GdiObject {
    Bitmap() : GdiObject(Kind::Bitmap) {}
    int width = 0;
    int height = 0;
    int bpp = 32;
    std::vector<BYTE> storage;
    BYTE* top = nullptr;       // row 0, the top row
    std::ptrdiff_t stride = 0; // bytes from a row to the one below it; negative if bottom-up
    bool dibSection = false;
    BITMAPINFOHEADER dibHeader{};

    int WidthBytes() const { return bpp == 1 ? ((width + 15) / 16) * 2 : width * 4; }
    DWORD* Row32(int y) const { return reinterpret_cast<DWORD*>(top + stride * y); }
    bool Bit(int x, int y) const { return (top[stride * y + x / 8] >> (7 - x % 8)) & 1; }
    void SetBit(int x, int y, bool v)
    {
        BYTE& b = top[stride * y + x / 8];
        const BYTE m = BYTE(0x80 >> (x % 8));
        b = v ? BYTE(b | m) : BYTE(b & ~m);
    }
};

// Makes a zeroed bitmap; nullptr when the size cannot be allocated. Bottom-up only for
// DIB sections with a positive height.
std::shared_ptr<Bitmap> MakeBitmap(int width, int height, int bpp, bool bottomUp = false);

struct Pen : GdiObject {
    Pen() : GdiObject(Kind::Pen) {}
    bool extended = false;  // from ExtCreatePen: GetObjectW answers with EXTLOGPEN
    DWORD style = PS_SOLID; // the full style word: type, dash style, end cap, join
    int width = 0;          // logical units
    COLORREF color = 0;
    UINT brushStyle = BS_SOLID;
    ULONG_PTR hatch = 0;
    std::vector<DWORD> userStyle;

    DWORD Type() const { return style & PS_TYPE_MASK; }
    DWORD Dash() const { return style & PS_STYLE_MASK; }
    bool Geometric() const { return Type() == PS_GEOMETRIC; }
    bool Null() const { return Dash() == PS_NULL || (extended && brushStyle == BS_NULL); }
};

struct Brush : GdiObject {
    Brush() : GdiObject(Kind::Brush) {}
    UINT style = BS_SOLID;
    COLORREF color = 0;
    ULONG_PTR hatch = 0;              // LOGBRUSH lbHatch: the hatch index or the pattern bitmap handle
    std::shared_ptr<Bitmap> pattern;  // a private copy of the pattern bitmap
};

// Everything SaveDC saves.
struct DcState {
    std::shared_ptr<Pen> pen;
    std::shared_ptr<Brush> brush;
    std::shared_ptr<Bitmap> bitmap;  // memory DCs only
    COLORREF bkColor = 0x00FFFFFF;
    COLORREF textColor = 0;
    int bkMode = OPAQUE;
    int rop2 = R2_COPYPEN;
    int mapMode = MM_TEXT;
    int stretchMode = BLACKONWHITE;
    POINT viewportOrg{};
    POINT windowOrg{};
    POINT brushOrg{};
    POINT position{};
    bool hasClip = false;
    RECT clip{};  // device pixels, when hasClip
};

struct Dc : GdiObject {
    Dc() : GdiObject(Kind::Dc) {}
    bool memory = true;
    Surface surface;  // surface DCs: where they draw
    POINT origin{};   // surface DCs: device (0, 0) in surface pixels
    RECT surfaceClip{};
    DcState state;
    std::vector<DcState> saved;
};

// --- The handle table. Lookups take the table lock for their own duration; objects stay
// alive while a caller holds them.
std::recursive_mutex& TableLock();
HGDIOBJ Insert(std::shared_ptr<GdiObject> object);
std::shared_ptr<GdiObject> Lookup(HGDIOBJ handle);
template <class T>
std::shared_ptr<T> LookupAs(HGDIOBJ handle, Kind kind)
{
    auto object = Lookup(handle);
    if (!object || object->kind != kind)
        return nullptr;
    return std::static_pointer_cast<T>(object);
}
void Remove(HGDIOBJ handle);
std::shared_ptr<Dc> LookupDc(HDC hdc);  // sets ERROR_INVALID_HANDLE when not a DC
std::shared_ptr<Bitmap> StockBitmap();  // the 1 x 1 monochrome bitmap of a new memory DC
std::shared_ptr<Pen> StockPen(int index);
std::shared_ptr<Brush> StockBrush(int index);

// Changes what a DC state holds, keeping the selection counts; an object whose deletion
// was deferred goes when its last selection ends.
void Hold(GdiObject* object);
void Release(GdiObject* object);
void ReleaseState(DcState& state);
void HoldState(DcState& state);

// --- Pixels.
inline DWORD PixelOf(COLORREF c)
{
    if ((c >> 24) == 1)  // PALETTEINDEX: no palettes here; index 0 of the default palette is black
        c = 0;
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
inline COLORREF ColorOf(DWORD pixel)
{
    return ((pixel & 0xFF) << 16) | (pixel & 0xFF00) | ((pixel >> 16) & 0xFF);
}

// Bitwise choice: the bits of a where c is set, of b elsewhere.
inline DWORD Mux(DWORD c, DWORD a, DWORD b)
{
    return (c & a) | (~c & b);
}
// All ones if bit i of code is set, else zero.
inline DWORD Spread(unsigned code, int i)
{
    return ((code >> i) & 1) ? 0xFFFFFFFFu : 0u;
}
// Ternary raster operation: each bit of the result is the bit of the truth-table byte
// indexed by (pattern << 2) | (source << 1) | destination.
inline DWORD Rop3(BYTE code, DWORD p, DWORD s, DWORD d)
{
    const DWORD s1 = Mux(d, Spread(code, 7), Spread(code, 6)), s0 = Mux(d, Spread(code, 5), Spread(code, 4));
    const DWORD n1 = Mux(d, Spread(code, 3), Spread(code, 2)), n0 = Mux(d, Spread(code, 1), Spread(code, 0));
    return Mux(p, Mux(s, s1, s0), Mux(s, n1, n0));
}
// Binary raster operation R2_*: bit (pen << 1) | destination of (mode - 1).
inline DWORD Rop2(int mode, DWORD p, DWORD d)
{
    const unsigned code = unsigned(mode - 1);
    return Mux(p, Mux(d, Spread(code, 3), Spread(code, 2)), Mux(d, Spread(code, 1), Spread(code, 0)));
}
// The ternary code that does what a binary mode does with a brush as the pen.
inline BYTE Rop3FromRop2(int mode)
{
    const int code = mode - 1;
    BYTE r = 0;
    for (int i = 0; i < 8; ++i)
        if ((code >> (((i >> 2) << 1) | (i & 1))) & 1)
            r = BYTE(r | (1 << i));
    return r;
}
inline bool RopUsesSource(BYTE code) { return ((code >> 2) ^ code) & 0x33; }
inline bool RopUsesPattern(BYTE code) { return ((code >> 4) ^ code) & 0x0F; }

// Where a DC's drawing lands, resolved for one call: the pixels, the clip (surface pixels)
// and the offset from device to surface pixels.
struct Canvas {
    Bitmap* mono = nullptr;  // a 1 bpp target
    BYTE* top = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0;
    int height = 0;
    RECT clip{};
    POINT offset{};

    bool Visible(int sx, int sy) const
    {
        return sx >= clip.left && sx < clip.right && sy >= clip.top && sy < clip.bottom;
    }
    // Values are pixels; a monochrome target reads 0 or 0x00FFFFFF and stores bit 0.
    DWORD Get(int sx, int sy) const
    {
        if (mono)
            return mono->Bit(sx, sy) ? 0x00FFFFFF : 0;
        return reinterpret_cast<const DWORD*>(top + stride * sy)[sx];
    }
    void Put(int sx, int sy, DWORD v)
    {
        if (mono)
            mono->SetBit(sx, sy, v & 1);
        else
            reinterpret_cast<DWORD*>(top + stride * sy)[sx] = v;
    }
    // A drawing colour as the target stores it: monochrome targets take the nearer of
    // black and white.
    DWORD Ink(COLORREF c) const;
};
bool GetCanvas(const Dc& dc, Canvas* canvas);

// Coordinates are kept within +-2^30 device pixels, beyond anything drawable, so that the
// arithmetic on them cannot overflow (Windows itself only takes 27-bit coordinates).
inline LONG Clamp(long long v)
{
    constexpr long long kLimit = 1LL << 30;
    return LONG(v < -kLimit ? -kLimit : v > kLimit ? kLimit : v);
}
inline POINT ToDevice(const DcState& s, int x, int y)
{
    return POINT{Clamp((long long)x - s.windowOrg.x + s.viewportOrg.x),
                 Clamp((long long)y - s.windowOrg.y + s.viewportOrg.y)};
}
// The logical rectangle (x, y) to (x + w, y + h), normalised, in device pixels.
RECT ExtentToDevice(const DcState& s, int x, int y, long long w, long long h);
// The brush's value at a device pixel, with the pattern aligned to the brush origin and a
// monochrome pattern coloured by the DC's text (0 bits) and background (1 bits) colours.
DWORD BrushPixel(const Canvas& canvas, const DcState& s, const Brush& brush, int dx, int dy);
// Whether a brush leaves a device pixel alone (a hatch's background in TRANSPARENT mode).
bool BrushSkips(const DcState& s, const Brush& brush, int dx, int dy);
// Applies a ternary raster operation without a source on a device rectangle (PatBlt).
void PatFill(Canvas& canvas, const DcState& s, const Brush* brush, RECT device, BYTE code);

// A normalised rectangle in logical units, in device pixels.
RECT ToDeviceRect(const DcState& s, const RECT& logical);

// --- Lines (lines.cpp): a polyline in device pixels with the DC's pen.
void StrokePolyline(Canvas& canvas, const DcState& s, const POINT* device, int count, bool closed);

}  // namespace qor::gdi
