// Graphics: targets (a DC's surface or a bitmap), rendering state, world transform, clipping,
// Clear and rectangle fills.
#include "gdiplus_private.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>

namespace qor::gdiplus {
namespace {

// Source-over of one colour with one alpha along a row. Four pixels at a time when their
// destination is opaque (all of a DC's, and the usual case in a canvas): per channel
// round((s a + d (255 - a)) / 255), the same value BlendOver gives, in 16-bit lanes.
void BlendSpan(DWORD* row, int count, DWORD color, unsigned alpha, bool opaqueDst)
{
    const unsigned inv = 255 - alpha;
    const __m128i zero = _mm_setzero_si128();
    // s * a + 128 per channel, the source alpha channel counted as 255 so that an opaque
    // destination stays opaque.
    const DWORD opaqueColor = color | 0xFF000000;
    const __m128i srcTerm = _mm_add_epi16(
        _mm_mullo_epi16(_mm_unpacklo_epi8(_mm_set1_epi32(int(opaqueColor)), zero), _mm_set1_epi16(short(alpha))),
        _mm_set1_epi16(128));
    const __m128i invLanes = _mm_set1_epi16(short(inv));
    const __m128i alphaMask = _mm_set1_epi32(int(0xFF000000));
    int x = 0;
    for (; x + 4 <= count; x += 4) {
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
        if (!opaqueDst && _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(d, alphaMask), alphaMask)) != 0xFFFF) {
            for (int k = 0; k < 4; ++k)
                row[x + k] = BlendOver(row[x + k], color, alpha, false);
            continue;
        }
        __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), invLanes), srcTerm);
        __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), invLanes), srcTerm);
        lo = _mm_srli_epi16(_mm_add_epi16(lo, _mm_srli_epi16(lo, 8)), 8);
        hi = _mm_srli_epi16(_mm_add_epi16(hi, _mm_srli_epi16(hi, 8)), 8);
        __m128i out = _mm_packus_epi16(lo, hi);
        if (opaqueDst)  // keep the destination's alpha byte
            out = _mm_or_si128(_mm_andnot_si128(alphaMask, out), _mm_and_si128(d, alphaMask));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), out);
    }
    for (; x < count; ++x)
        row[x] = BlendOver(row[x], color, alpha, opaqueDst);
}

}  // namespace

void GraphicsObject::UpdatePaintRects()
{
    paintRects.clear();
    RECT target = targetClip;
    const RECT surfaceRect{0, 0, surface.width, surface.height};
    if (!IntersectRects(&target, target, surfaceRect))
        return;
    if (clipInfinite) {
        paintRects.push_back(target);
        return;
    }
    for (RECT r : clip.rects) {
        r.left += origin.x;
        r.right += origin.x;
        r.top += origin.y;
        r.bottom += origin.y;
        if (IntersectRects(&r, r, target))
            paintRects.push_back(r);
    }
}

void GraphicsObject::BlendColor(ARGB color, const RECT& bounds, const BYTE* mask, int maskStride)
{
    const unsigned alpha = color >> 24;
    const bool copy = compositing == CompositingModeSourceCopy;
    if (alpha == 0 && !copy)
        return;
    auto* base = reinterpret_cast<BYTE*>(surface.bits);
    for (const RECT& paint : paintRects) {
        RECT r;
        if (!IntersectRects(&r, paint, bounds))
            continue;
        if (!mask && !copy && alpha != 255) {
            for (LONG y = r.top; y < r.bottom; ++y)
                BlendSpan(reinterpret_cast<DWORD*>(base + std::ptrdiff_t(y) * surface.stride) + r.left,
                          r.right - r.left, color, alpha, opaqueTarget);
            continue;
        }
        for (LONG y = r.top; y < r.bottom; ++y) {
            DWORD* row = reinterpret_cast<DWORD*>(base + std::ptrdiff_t(y) * surface.stride);
            const BYTE* cover = mask ? mask + std::ptrdiff_t(y - bounds.top) * maskStride - bounds.left : nullptr;
            for (LONG x = r.left; x < r.right; ++x) {
                const unsigned c = cover ? cover[x] : 255;
                if (copy) {
                    // Source copy replaces the pixel; partial coverage mixes towards it.
                    const DWORD src = opaqueTarget ? ((row[x] & 0xFF000000) | (color & 0x00FFFFFF)) : color;
                    if (c == 255) {
                        row[x] = src;
                    } else if (c != 0) {
                        DWORD out = 0;
                        for (int shift = 0; shift < 32; shift += 8) {
                            const unsigned s = (src >> shift) & 0xFF, d = (row[x] >> shift) & 0xFF;
                            out |= DWORD(Div255(s * c + d * (255 - c))) << shift;
                        }
                        row[x] = out;
                    }
                } else {
                    row[x] = BlendOver(row[x], color, c == 255 ? alpha : Div255(alpha * c), opaqueTarget);
                }
            }
        }
    }
    // Source-over onto opaque pixels leaves them opaque; only a copy of alpha can clear them.
    if (bitmap && copy && alpha != 255)
        bitmap->opaque = false;
}

namespace {

bool IsStateEnum(int value, int low, int high) { return value >= low && value <= high; }

// Rectangle fill in device space: the pixels whose centres lie inside it, without
// antialiasing; cairo's coverage when smoothing is on or the transform turns the rectangle.
Status FillRect(GraphicsObject& g, ARGB color, double x, double y, double w, double h)
{
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(w) || !std::isfinite(h))
        return InvalidParameter;
    if (w <= 0 || h <= 0)
        return Ok;
    double corners[8];
    g.world.Apply(x, y, &corners[0], &corners[1]);
    g.world.Apply(x + w, y, &corners[2], &corners[3]);
    g.world.Apply(x + w, y + h, &corners[4], &corners[5]);
    g.world.Apply(x, y + h, &corners[6], &corners[7]);
    const double centre = g.PixelCentre();
    if (g.world.IsAxisAligned() && !g.Antialias()) {
        const double l = std::min(corners[0], corners[4]), r = std::max(corners[0], corners[4]);
        const double t = std::min(corners[1], corners[5]), b = std::max(corners[1], corners[5]);
        RectSet device = RectSetFromFloat(l - centre, t - centre, r - centre, b - centre);
        if (device.rects.empty())
            return Ok;
        RECT area = device.rects.front();
        area.left += g.origin.x;
        area.right += g.origin.x;
        area.top += g.origin.y;
        area.bottom += g.origin.y;
        g.BlendColor(color, area, nullptr, 0);
        return Ok;
    }
    double minX = corners[0], maxX = corners[0], minY = corners[1], maxY = corners[1];
    for (int i = 0; i < 8; i += 2) {
        corners[i] += g.origin.x + 0.5 - centre;  // cairo puts pixel centres at +0.5
        corners[i + 1] += g.origin.y + 0.5 - centre;
        minX = std::min(minX, corners[i]);
        maxX = std::max(maxX, corners[i]);
        minY = std::min(minY, corners[i + 1]);
        maxY = std::max(maxY, corners[i + 1]);
    }
    RECT bounds{LONG(std::max(std::floor(minX), -1.0 * kInfiniteExtent)),
                LONG(std::max(std::floor(minY), -1.0 * kInfiniteExtent)),
                LONG(std::min(std::ceil(maxX), 1.0 * kInfiniteExtent)),
                LONG(std::min(std::ceil(maxY), 1.0 * kInfiniteExtent))};
    CoverageMask mask;
    if (!RasterPolygon(corners, 4, g.Antialias(), bounds, &mask))
        return OutOfMemory;
    if (!mask.bytes.empty())
        g.BlendColor(color, mask.bounds, mask.bytes.data(), mask.stride);
    return Ok;
}

// The clip is kept in device coordinates; rectangles and regions arrive in world ones.
Status CombineClip(GraphicsObject& g, const RectSet& world, CombineMode mode)
{
    if (!IsValidCombineMode(mode))
        return InvalidParameter;
    RectSet device;
    if (!TransformRectSet(world, g.world, &device))
        return NotImplemented;  // a turned clip is not a set of rectangles
    if (mode == CombineModeReplace) {
        g.clip = std::move(device);
    } else {
        const RectSet current = g.clipInfinite ? InfiniteRectSet() : g.clip;
        g.clip = CombineRectSets(current, device, mode);
    }
    g.clipInfinite = false;
    g.UpdatePaintRects();
    return Ok;
}

GpStatus NewGraphics(std::unique_ptr<GraphicsObject> g, GpGraphics** graphics)
{
    g->UpdatePaintRects();
    *graphics = g.release();
    return Ok;
}

}  // namespace
}  // namespace qor::gdiplus

namespace Gdiplus::DllExports {

using namespace qor::gdiplus;

GpStatus WINAPI GdipCreateFromHDC(HDC hdc, GpGraphics** graphics)
{
    if (!hdc || !graphics)
        return hdc ? InvalidParameter : OutOfMemory;  // GDI+ reports a null DC as OutOfMemory
    if (!IsStarted())
        return GdiplusNotInitialized;
    qor::DCTarget target;
    if (!qor::GetDCTarget(hdc, &target) || !target.surface.bits)
        return OutOfMemory;
    std::unique_ptr<GraphicsObject> g(new (std::nothrow) GraphicsObject);
    if (!g)
        return OutOfMemory;
    g->surface = target.surface;
    g->origin = target.origin;
    g->targetClip = target.clip;
    // A DC's pixels carry no alpha: colour blends over them as opaque and the alpha byte
    // is left as GDI put it.
    g->opaqueTarget = true;
    return NewGraphics(std::move(g), graphics);
}

GpStatus WINAPI GdipGetImageGraphicsContext(GpImage* image, GpGraphics** graphics)
{
    if (!image || !graphics)
        return InvalidParameter;
    if (!IsStarted())
        return GdiplusNotInitialized;
    BitmapObject& b = *ToBitmap(image);
    if (b.locked)
        return WrongState;
    std::unique_ptr<GraphicsObject> g(new (std::nothrow) GraphicsObject);
    if (!g)
        return OutOfMemory;
    g->surface = qor::Surface{b.width, b.height, int(b.stride * 4), b.bits};
    g->targetClip = RECT{0, 0, b.width, b.height};
    g->opaqueTarget = !b.HasAlphaFormat();
    try {
        b.graphics.push_back(g.get());
    } catch (const std::bad_alloc&) {
        return OutOfMemory;
    }
    g->bitmap = &b;
    return NewGraphics(std::move(g), graphics);
}

GpStatus WINAPI GdipDeleteGraphics(GpGraphics* graphics)
{
    if (!graphics)
        return InvalidParameter;
    GraphicsObject* g = ToGraphics(graphics);
    if (g->bitmap)
        std::erase(g->bitmap->graphics, g);
    delete g;
    return Ok;
}

GpStatus WINAPI GdipSetInterpolationMode(GpGraphics* graphics, InterpolationMode mode)
{
    if (!graphics || !IsStateEnum(mode, InterpolationModeDefault, InterpolationModeHighQualityBicubic))
        return InvalidParameter;
    // Default and LowQuality are bilinear, HighQuality is high-quality bicubic, as in GDI+.
    if (mode == InterpolationModeDefault || mode == InterpolationModeLowQuality)
        mode = InterpolationModeBilinear;
    else if (mode == InterpolationModeHighQuality)
        mode = InterpolationModeHighQualityBicubic;
    ToGraphics(graphics)->interpolation = mode;
    return Ok;
}

GpStatus WINAPI GdipGetInterpolationMode(GpGraphics* graphics, InterpolationMode* mode)
{
    if (!graphics || !mode)
        return InvalidParameter;
    *mode = ToGraphics(graphics)->interpolation;
    return Ok;
}

GpStatus WINAPI GdipSetSmoothingMode(GpGraphics* graphics, SmoothingMode mode)
{
    if (!graphics || !IsStateEnum(mode, SmoothingModeDefault, SmoothingModeAntiAlias8x8))
        return InvalidParameter;
    // Default and HighSpeed draw aliased, HighQuality antialiased, as in GDI+.
    if (mode == SmoothingModeDefault || mode == SmoothingModeHighSpeed)
        mode = SmoothingModeNone;
    else if (mode == SmoothingModeHighQuality)
        mode = SmoothingModeAntiAlias;
    ToGraphics(graphics)->smoothing = mode;
    return Ok;
}

GpStatus WINAPI GdipGetSmoothingMode(GpGraphics* graphics, SmoothingMode* mode)
{
    if (!graphics || !mode)
        return InvalidParameter;
    *mode = ToGraphics(graphics)->smoothing;
    return Ok;
}

GpStatus WINAPI GdipSetPixelOffsetMode(GpGraphics* graphics, PixelOffsetMode mode)
{
    if (!graphics || !IsStateEnum(mode, PixelOffsetModeDefault, PixelOffsetModeHalf))
        return InvalidParameter;
    ToGraphics(graphics)->pixelOffset = mode;
    return Ok;
}

GpStatus WINAPI GdipGetPixelOffsetMode(GpGraphics* graphics, PixelOffsetMode* mode)
{
    if (!graphics || !mode)
        return InvalidParameter;
    *mode = ToGraphics(graphics)->pixelOffset;
    return Ok;
}

GpStatus WINAPI GdipSetCompositingMode(GpGraphics* graphics, CompositingMode mode)
{
    if (!graphics || !IsStateEnum(mode, CompositingModeSourceOver, CompositingModeSourceCopy))
        return InvalidParameter;
    ToGraphics(graphics)->compositing = mode;
    return Ok;
}

GpStatus WINAPI GdipGetCompositingMode(GpGraphics* graphics, CompositingMode* mode)
{
    if (!graphics || !mode)
        return InvalidParameter;
    *mode = ToGraphics(graphics)->compositing;
    return Ok;
}

GpStatus WINAPI GdipSetCompositingQuality(GpGraphics* graphics, CompositingQuality quality)
{
    // Blending is always done in gamma space; the quality is kept for callers that read it.
    if (!graphics || !IsStateEnum(quality, CompositingQualityDefault, CompositingQualityAssumeLinear))
        return InvalidParameter;
    ToGraphics(graphics)->compositingQuality = quality;
    return Ok;
}

GpStatus WINAPI GdipGetCompositingQuality(GpGraphics* graphics, CompositingQuality* quality)
{
    if (!graphics || !quality)
        return InvalidParameter;
    *quality = ToGraphics(graphics)->compositingQuality;
    return Ok;
}

GpStatus WINAPI GdipSetWorldTransform(GpGraphics* graphics, GpMatrix* matrix)
{
    if (!graphics || !matrix)
        return InvalidParameter;
    ToGraphics(graphics)->world = ToMatrix(matrix)->m;
    return Ok;
}

GpStatus WINAPI GdipGetWorldTransform(GpGraphics* graphics, GpMatrix* matrix)
{
    if (!graphics || !matrix)
        return InvalidParameter;
    ToMatrix(matrix)->m = ToGraphics(graphics)->world;
    return Ok;
}

GpStatus WINAPI GdipResetWorldTransform(GpGraphics* graphics)
{
    if (!graphics)
        return InvalidParameter;
    ToGraphics(graphics)->world = Affine();
    return Ok;
}

GpStatus WINAPI GdipMultiplyWorldTransform(GpGraphics* graphics, const GpMatrix* matrix, GpMatrixOrder order)
{
    if (!graphics || !matrix || (order != MatrixOrderPrepend && order != MatrixOrderAppend))
        return InvalidParameter;
    GraphicsObject& g = *ToGraphics(graphics);
    g.world = Combine(g.world, ToMatrix(matrix)->m, order);
    return Ok;
}

GpStatus WINAPI GdipTranslateWorldTransform(GpGraphics* graphics, REAL dx, REAL dy, GpMatrixOrder order)
{
    if (!graphics || (order != MatrixOrderPrepend && order != MatrixOrderAppend))
        return InvalidParameter;
    GraphicsObject& g = *ToGraphics(graphics);
    g.world = Combine(g.world, TranslationOf(dx, dy), order);
    return Ok;
}

GpStatus WINAPI GdipScaleWorldTransform(GpGraphics* graphics, REAL sx, REAL sy, GpMatrixOrder order)
{
    if (!graphics || (order != MatrixOrderPrepend && order != MatrixOrderAppend))
        return InvalidParameter;
    GraphicsObject& g = *ToGraphics(graphics);
    g.world = Combine(g.world, ScalingOf(sx, sy), order);
    return Ok;
}

GpStatus WINAPI GdipRotateWorldTransform(GpGraphics* graphics, REAL angle, GpMatrixOrder order)
{
    if (!graphics || (order != MatrixOrderPrepend && order != MatrixOrderAppend))
        return InvalidParameter;
    GraphicsObject& g = *ToGraphics(graphics);
    g.world = Combine(g.world, RotationOf(angle), order);
    return Ok;
}

GpStatus WINAPI GdipSetClipRect(GpGraphics* graphics, REAL x, REAL y, REAL width, REAL height, CombineMode mode)
{
    if (!graphics)
        return InvalidParameter;
    // A rectangle given with a negative size spans the same area from its other corner.
    const double l = std::min(double(x), double(x) + width), r = std::max(double(x), double(x) + width);
    const double t = std::min(double(y), double(y) + height), b = std::max(double(y), double(y) + height);
    return CombineClip(*ToGraphics(graphics), RectSetFromFloat(l, t, r, b), mode);
}

GpStatus WINAPI GdipSetClipRectI(GpGraphics* graphics, INT x, INT y, INT width, INT height, CombineMode mode)
{
    return GdipSetClipRect(graphics, REAL(x), REAL(y), REAL(width), REAL(height), mode);
}

GpStatus WINAPI GdipSetClipRegion(GpGraphics* graphics, GpRegion* region, CombineMode mode)
{
    if (!graphics || !region)
        return InvalidParameter;
    return CombineClip(*ToGraphics(graphics), ToRegion(region)->set, mode);
}

GpStatus WINAPI GdipResetClip(GpGraphics* graphics)
{
    if (!graphics)
        return InvalidParameter;
    GraphicsObject& g = *ToGraphics(graphics);
    g.clipInfinite = true;
    g.clip.rects.clear();
    g.UpdatePaintRects();
    return Ok;
}

GpStatus WINAPI GdipGetClip(GpGraphics* graphics, GpRegion* region)
{
    if (!graphics || !region)
        return InvalidParameter;
    GraphicsObject& g = *ToGraphics(graphics);
    const RectSet device = g.clipInfinite ? InfiniteRectSet() : g.clip;
    if (g.clipInfinite) {
        ToRegion(region)->set = device;
        return Ok;
    }
    Affine inverse = g.world;  // the clip goes back into world coordinates
    const double det = double(inverse.m11) * inverse.m22;
    if (!inverse.IsAxisAligned() || det == 0)
        return NotImplemented;
    inverse = Affine{REAL(1.0 / inverse.m11), 0, 0, REAL(1.0 / inverse.m22), REAL(-inverse.dx / inverse.m11),
                     REAL(-inverse.dy / inverse.m22)};
    RectSet world;
    TransformRectSet(device, inverse, &world);
    ToRegion(region)->set = std::move(world);
    return Ok;
}

GpStatus WINAPI GdipGraphicsClear(GpGraphics* graphics, ARGB color)
{
    if (!graphics)
        return InvalidParameter;
    GraphicsObject& g = *ToGraphics(graphics);
    const CompositingMode saved = g.compositing;
    g.compositing = CompositingModeSourceCopy;
    g.BlendColor(color, RECT{-kInfiniteExtent, -kInfiniteExtent, kInfiniteExtent, kInfiniteExtent}, nullptr, 0);
    g.compositing = saved;
    return Ok;
}

GpStatus WINAPI GdipFillRectangle(GpGraphics* graphics, GpBrush* brush, REAL x, REAL y, REAL width, REAL height)
{
    if (!graphics || !brush)
        return InvalidParameter;
    return FillRect(*ToGraphics(graphics), ToBrush(brush)->color, x, y, width, height);
}

GpStatus WINAPI GdipFillRectangleI(GpGraphics* graphics, GpBrush* brush, INT x, INT y, INT width, INT height)
{
    if (!graphics || !brush)
        return InvalidParameter;
    return FillRect(*ToGraphics(graphics), ToBrush(brush)->color, x, y, width, height);
}

}  // namespace Gdiplus::DllExports
