// Objects behind the GDI+ flat API handles, and the pixel helpers the object families share.
#pragma once

#include <gdiplusflat.h>
#include <qor_filehold.h>
#include <qor_surface.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

namespace qor::gdiplus {

using namespace Gdiplus;

// GDI+ refuses to make objects before GdiplusStartup.
bool IsStarted();

// ---- pixels ----------------------------------------------------------------------------

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using PixelBuffer = std::unique_ptr<DWORD[], FreeDeleter>;

// Page-sized buffers come from malloc/calloc so that a failed allocation is a status, not
// an exception, and so that zeroed pages cost nothing until touched.
PixelBuffer AllocatePixels(int width, int height, bool zeroed);
// A large buffer given back here serves the next request of the same size: a fresh page
// costs far more in page faults than the pixel work on it. One buffer of at most a page's
// size is kept at a time; a bigger one is freed at once.
void RecyclePixels(PixelBuffer buffer, std::size_t pixelCount);
void TrimPixelCache();

inline BYTE Div255(unsigned v)  // round(v / 255) for v <= 255 * 255
{
    v += 128;
    return static_cast<BYTE>((v + (v >> 8)) >> 8);
}

// Source-over of a straight ARGB colour whose alpha is already scaled by coverage. An
// opaque destination (a DC or an RGB bitmap) keeps its alpha byte and blends colour only.
inline DWORD BlendOver(DWORD dst, DWORD src, unsigned alpha, bool opaqueDst)
{
    if (alpha == 0)
        return dst;
    if (alpha == 255)
        return opaqueDst ? (dst & 0xFF000000) | (src & 0x00FFFFFF) : src;
    const unsigned inv = 255 - alpha;
    if (opaqueDst) {
        DWORD out = dst & 0xFF000000;
        for (int shift = 0; shift < 24; shift += 8) {
            const unsigned s = (src >> shift) & 0xFF, d = (dst >> shift) & 0xFF;
            out |= DWORD(Div255(s * alpha + d * inv)) << shift;
        }
        return out;
    }
    const unsigned dstAlpha = dst >> 24;
    const unsigned outAlpha255 = alpha * 255 + dstAlpha * inv;  // result alpha times 255
    DWORD out = DWORD(Div255(outAlpha255)) << 24;
    for (int shift = 0; shift < 24; shift += 8) {
        const unsigned s = (src >> shift) & 0xFF, d = (dst >> shift) & 0xFF;
        const unsigned num = s * alpha * 255 + d * dstAlpha * inv;
        out |= DWORD((num + outAlpha255 / 2) / outAlpha255) << shift;
    }
    return out;
}

// ---- bitmaps -----------------------------------------------------------------------------

// Every bitmap is stored as 32-bit straight BGRA whatever format it reports; formats
// without alpha keep 0xFF in the alpha byte. LockBits converts to the format asked for.
struct BitmapObject : GpBitmap {
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat32bppARGB;
    PixelBuffer storage;        // null when the pixels belong to the caller (Scan0 bitmaps)
    DWORD* bits = nullptr;      // row 0
    std::ptrdiff_t stride = 0;  // pixels from one row to the next
    REAL dpiX = 96.0f;
    REAL dpiY = 96.0f;
    // Every alpha byte is 0xFF: drawing may skip alpha work.
    bool opaque = false;
    FileHoldId fileHold = 0;
    std::vector<struct GraphicsObject*> graphics;  // live Graphics drawing on these pixels

    bool locked = false;
    bool lockDirect = false;  // the caller writes straight into bits
    Rect lockRect;
    UINT lockFlags = 0;
    PixelFormat lockFormat = 0;
    BYTE* lockScan0 = nullptr;
    INT lockStride = 0;
    std::unique_ptr<BYTE[], FreeDeleter> lockBuffer;  // conversion buffer we own

    ~BitmapObject();
    DWORD* Row(int y) const { return bits + y * stride; }
    bool HasAlphaFormat() const { return IsAlphaPixelFormat(format); }
    void Adopt(PixelBuffer buffer, int w, int h)
    {
        storage = std::move(buffer);
        bits = storage.get();
        width = w;
        height = h;
        stride = w;
    }
};

inline BitmapObject* ToBitmap(GpImage* image) { return static_cast<BitmapObject*>(static_cast<GpBitmap*>(image)); }
inline const BitmapObject* ToBitmap(const GpImage* image)
{
    return static_cast<const BitmapObject*>(static_cast<const GpBitmap*>(image));
}

bool IsSupportedFormat(PixelFormat format);
std::unique_ptr<BitmapObject> NewBitmap(int width, int height, PixelFormat format, bool zeroed, Status* status);

// Decodes a JPEG or PNG held in memory into a new bitmap. Corrupt, truncated, unknown and
// oversized data give an error status and no bitmap.
Status DecodeImage(const BYTE* data, std::size_t size, std::unique_ptr<BitmapObject>* bitmap);

// Images larger than this are refused from their header, before any pixel memory is taken.
// A 1200-dpi A4 page is about 140 megapixels.
constexpr std::uint64_t kMaxImagePixels = 200'000'000;

// ---- matrices ----------------------------------------------------------------------------

// (x, y) maps to (x m11 + y m21 + dx, x m12 + y m22 + dy), as in GDI+. Elements are REALs
// as GDI+ keeps them; products are formed in double and stored back.
struct Affine {
    REAL m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;

    bool IsIdentity() const { return m11 == 1 && m12 == 0 && m21 == 0 && m22 == 1 && dx == 0 && dy == 0; }
    bool IsAxisAligned() const { return m12 == 0 && m21 == 0; }
    void Apply(double x, double y, double* ox, double* oy) const
    {
        *ox = x * m11 + y * m21 + dx;
        *oy = x * m12 + y * m22 + dy;
    }
};
// The matrix of "first a, then b".
Affine Multiply(const Affine& a, const Affine& b);
Affine Combine(const Affine& m, const Affine& op, MatrixOrder order);
Affine TranslationOf(REAL dx, REAL dy);
Affine ScalingOf(REAL sx, REAL sy);
Affine RotationOf(REAL degrees);

struct MatrixObject : GpMatrix {
    Affine m;
};
inline MatrixObject* ToMatrix(GpMatrix* p) { return static_cast<MatrixObject*>(p); }
inline const MatrixObject* ToMatrix(const GpMatrix* p) { return static_cast<const MatrixObject*>(p); }

// ---- regions -------------------------------------------------------------------------------

// A region is a set of disjoint integer rectangles in y-x bands. A float rectangle covers
// the pixels whose centres lie inside it, pixel centres at integer coordinates (GDI+'s
// default pixel offset): x from ceil(left) up to ceil(right).
struct RectSet {
    std::vector<RECT> rects;
};
constexpr LONG kInfiniteExtent = 4194304;  // GDI+'s infinite region spans -2^22 .. 2^22
RectSet InfiniteRectSet();
RectSet RectSetFromFloat(double left, double top, double right, double bottom);
RectSet CombineRectSets(const RectSet& a, const RectSet& b, CombineMode mode);
// The region mapped through an axis-aligned matrix; false for one that turns or shears.
bool TransformRectSet(const RectSet& in, const Affine& m, RectSet* out);
bool IsValidCombineMode(CombineMode mode);

struct RegionObject : GpRegion {
    RectSet set;
};
inline RegionObject* ToRegion(GpRegion* p) { return static_cast<RegionObject*>(p); }

// ---- brushes, pens, attributes -----------------------------------------------------------------

struct BrushObject : GpSolidFill {
    ARGB color = 0;
};
inline BrushObject* ToBrush(GpBrush* p) { return static_cast<BrushObject*>(static_cast<GpSolidFill*>(p)); }

struct PenObject : GpPen {
    ARGB color = 0;
    REAL width = 1;
    Unit unit = UnitWorld;
    LineCap startCap = LineCapFlat;
    LineCap endCap = LineCapFlat;
    DashCap dashCap = DashCapFlat;
};
inline PenObject* ToPen(GpPen* p) { return static_cast<PenObject*>(p); }

struct ImageAttributesObject : GpImageAttributes {
    bool hasMatrix = false;
    ColorMatrix matrix{};
    bool hasThreshold = false;
    REAL threshold = 0;
    bool IsIdentity() const { return !hasMatrix && !hasThreshold; }
};
inline const ImageAttributesObject* ToAttributes(const GpImageAttributes* p)
{
    return static_cast<const ImageAttributesObject*>(p);
}
inline ImageAttributesObject* ToAttributes(GpImageAttributes* p) { return static_cast<ImageAttributesObject*>(p); }

// Recolours a run of straight ARGB pixels in place: the colour matrix, then the threshold.
void ApplyAttributes(const ImageAttributesObject& attributes, DWORD* pixels, std::size_t count);

// ---- graphics ------------------------------------------------------------------------------

struct GraphicsObject : GpGraphics {
    Surface surface;
    POINT origin{};          // graphics device (0, 0) in surface pixels
    RECT targetClip{};       // surface pixels the target lets us touch
    bool opaqueTarget = false;
    BitmapObject* bitmap = nullptr;  // the image drawn on, if any

    Affine world;
    bool clipInfinite = true;
    RectSet clip;  // device coordinates, when not infinite
    std::vector<RECT> paintRects;  // clip and target clip in surface pixels

    InterpolationMode interpolation = InterpolationModeBilinear;
    SmoothingMode smoothing = SmoothingModeNone;
    PixelOffsetMode pixelOffset = PixelOffsetModeNone;
    CompositingMode compositing = CompositingModeSourceOver;
    CompositingQuality compositingQuality = CompositingQualityDefault;

    void UpdatePaintRects();
    bool Antialias() const
    {
        return smoothing == SmoothingModeAntiAlias || smoothing == SmoothingModeAntiAlias8x8 ||
               smoothing == SmoothingModeHighQuality;
    }
    // Where pixel centres lie in device coordinates: 0 for integers, 0.5 for Half.
    double PixelCentre() const
    {
        return (pixelOffset == PixelOffsetModeHalf || pixelOffset == PixelOffsetModeHighQuality) ? 0.5 : 0.0;
    }
    // Blends a colour through a coverage mask (nullptr: full coverage) over the paint rects.
    // The mask covers bounds (surface pixels), one byte per pixel, maskStride bytes a row.
    void BlendColor(ARGB color, const RECT& bounds, const BYTE* mask, int maskStride);
};
inline GraphicsObject* ToGraphics(GpGraphics* p) { return static_cast<GraphicsObject*>(p); }

// Coverage of a polygon or a stroked line rasterised by cairo into an 8-bit mask over
// bounds (surface pixels). Coordinates are surface pixels with pixel centres at +0.5.
struct CoverageMask {
    RECT bounds{};
    int stride = 0;
    std::vector<BYTE> bytes;
};
bool RasterPolygon(const double* xy, int points, bool antialias, const RECT& bounds, CoverageMask* mask);

// Resamples a bitmap into outW x outH pixels: output pixel (i, j) has its centre at source
// coordinates (u0 + i du, v0 + j dv), where source pixel k spans [k, k + 1). Samples come only
// from window (source pixels; edges repeat). Straight ARGB in and out; transparent pixels are
// filtered premultiplied so that their colour does not bleed.
Status ResampleImage(const BitmapObject& src, const RECT& window, double u0, double v0, double du, double dv,
                     InterpolationMode mode, DWORD* out, int outW, int outH);

bool IntersectRects(RECT* out, const RECT& a, const RECT& b);

}  // namespace qor::gdiplus
