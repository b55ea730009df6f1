// DrawImage: source rectangle to destination rectangle through an axis-aligned world
// transform, resampled by the interpolation mode, recoloured by the image attributes and
// blended over the target inside the clip.
#include "gdiplus_private.h"

#include <algorithm>
#include <cmath>

namespace qor::gdiplus {
namespace {

bool AllFinite(std::initializer_list<double> values)
{
    for (double v : values)
        if (!std::isfinite(v))
            return false;
    return true;
}

Status DrawImage(GraphicsObject& g, GpImage* image, double dstX, double dstY, double dstW, double dstH, double srcX,
                 double srcY, double srcW, double srcH, const GpImageAttributes* attributes)
{
    const BitmapObject& src = *ToBitmap(image);
    if (!AllFinite({dstX, dstY, dstW, dstH, srcX, srcY, srcW, srcH}))
        return InvalidParameter;
    if (src.locked)
        return WrongState;
    if (dstW == 0 || dstH == 0 || srcW <= 0 || srcH <= 0)
        return Ok;
    if (!g.world.IsAxisAligned())
        return NotImplemented;  // turned images are not drawn by this layer
    // Device edges of the destination; x0 may lie right of x1 when the image is mirrored.
    double x0, y0, x1, y1;
    g.world.Apply(dstX, dstY, &x0, &y0);
    g.world.Apply(dstX + dstW, dstY + dstH, &x1, &y1);
    // Images are placed on pixel areas whatever the pixel offset mode: pixel i spans [i, i + 1)
    // and is drawn when its centre lies inside. GDI+ shifts images by half a pixel in its
    // default mode; the layer does not, so that an unscaled draw is an exact copy.
    const double left = std::min(x0, x1), right = std::max(x0, x1);
    const double top = std::min(y0, y1), bottom = std::max(y0, y1);
    const double limit = kInfiniteExtent;
    RECT area{LONG(std::clamp(std::ceil(left - 0.5), -limit, limit)) + g.origin.x,
              LONG(std::clamp(std::ceil(top - 0.5), -limit, limit)) + g.origin.y,
              LONG(std::clamp(std::ceil(right - 0.5), -limit, limit)) + g.origin.x,
              LONG(std::clamp(std::ceil(bottom - 0.5), -limit, limit)) + g.origin.y};
    RECT bounds{};
    bool any = false;
    for (const RECT& paint : g.paintRects) {
        RECT r;
        if (!IntersectRects(&r, paint, area))
            continue;
        bounds = any ? RECT{std::min(bounds.left, r.left), std::min(bounds.top, r.top),
                            std::max(bounds.right, r.right), std::max(bounds.bottom, r.bottom)}
                     : r;
        any = true;
    }
    const RECT window{LONG(std::max(std::floor(srcX), 0.0)), LONG(std::max(std::floor(srcY), 0.0)),
                      LONG(std::min(std::ceil(srcX + srcW), double(src.width))),
                      LONG(std::min(std::ceil(srcY + srcH), double(src.height)))};
    if (!any || window.left >= window.right || window.top >= window.bottom)
        return Ok;

    const double du = srcW / (x1 - x0), dv = srcH / (y1 - y0);
    const double u0 = srcX + (bounds.left - g.origin.x + 0.5 - x0) * du;
    const double v0 = srcY + (bounds.top - g.origin.y + 0.5 - y0) * dv;
    const int outW = bounds.right - bounds.left, outH = bounds.bottom - bounds.top;
    PixelBuffer pixels = AllocatePixels(outW, outH, false);
    if (!pixels)
        return OutOfMemory;
    const Status status = ResampleImage(src, window, u0, v0, du, dv, g.interpolation, pixels.get(), outW, outH);
    if (status != Ok)
        return status;
    if (attributes && !ToAttributes(attributes)->IsIdentity())
        ApplyAttributes(*ToAttributes(attributes), pixels.get(), std::size_t(outW) * outH);

    const bool copy = g.compositing == CompositingModeSourceCopy;
    auto* base = reinterpret_cast<BYTE*>(g.surface.bits);
    for (const RECT& paint : g.paintRects) {
        RECT r;
        if (!IntersectRects(&r, paint, bounds))
            continue;
        for (LONG y = r.top; y < r.bottom; ++y) {
            DWORD* row = reinterpret_cast<DWORD*>(base + std::ptrdiff_t(y) * g.surface.stride);
            const DWORD* s = pixels.get() + std::size_t(y - bounds.top) * outW - bounds.left;
            for (LONG x = r.left; x < r.right; ++x) {
                if (copy)
                    row[x] = g.opaqueTarget ? (row[x] & 0xFF000000) | (s[x] & 0x00FFFFFF) : s[x];
                else
                    row[x] = BlendOver(row[x], s[x], s[x] >> 24, g.opaqueTarget);
            }
        }
    }
    if (g.bitmap && copy && !g.opaqueTarget)
        g.bitmap->opaque = false;
    return Ok;
}

}  // namespace
}  // namespace qor::gdiplus

namespace Gdiplus::DllExports {

using namespace qor::gdiplus;

GpStatus WINAPI GdipDrawImageRectRect(GpGraphics* graphics, GpImage* image, REAL dstx, REAL dsty, REAL dstwidth,
                                      REAL dstheight, REAL srcx, REAL srcy, REAL srcwidth, REAL srcheight,
                                      GpUnit srcUnit, const GpImageAttributes* imageAttributes,
                                      DrawImageAbort callback, VOID* callbackData)
{
    (void)callback;  // drawing is never interrupted, so the abort callback is not consulted
    (void)callbackData;
    if (!graphics || !image)
        return InvalidParameter;
    if (srcUnit != UnitPixel)
        return NotImplemented;  // source rectangles in physical units are not offered
    return DrawImage(*ToGraphics(graphics), image, dstx, dsty, dstwidth, dstheight, srcx, srcy, srcwidth, srcheight,
                     imageAttributes);
}

GpStatus WINAPI GdipDrawImageRectRectI(GpGraphics* graphics, GpImage* image, INT dstx, INT dsty, INT dstwidth,
                                       INT dstheight, INT srcx, INT srcy, INT srcwidth, INT srcheight,
                                       GpUnit srcUnit, const GpImageAttributes* imageAttributes,
                                       DrawImageAbort callback, VOID* callbackData)
{
    (void)callback;
    (void)callbackData;
    if (!graphics || !image)
        return InvalidParameter;
    if (srcUnit != UnitPixel)
        return NotImplemented;
    return DrawImage(*ToGraphics(graphics), image, dstx, dsty, dstwidth, dstheight, srcx, srcy, srcwidth, srcheight,
                     imageAttributes);
}

GpStatus WINAPI GdipDrawImageRect(GpGraphics* graphics, GpImage* image, REAL x, REAL y, REAL width, REAL height)
{
    if (!graphics || !image)
        return InvalidParameter;
    const BitmapObject& b = *ToBitmap(image);
    return DrawImage(*ToGraphics(graphics), image, x, y, width, height, 0, 0, b.width, b.height, nullptr);
}

GpStatus WINAPI GdipDrawImageRectI(GpGraphics* graphics, GpImage* image, INT x, INT y, INT width, INT height)
{
    return GdipDrawImageRect(graphics, image, REAL(x), REAL(y), REAL(width), REAL(height));
}

GpStatus WINAPI GdipDrawImage(GpGraphics* graphics, GpImage* image, REAL x, REAL y)
{
    if (!graphics || !image)
        return InvalidParameter;
    // Drawn at one image pixel per world unit. GDI+ scales by the image's resolution against
    // the display's; the images here are drawn pixel for pixel, which is what callers expect
    // of their glyphs.
    const BitmapObject& b = *ToBitmap(image);
    return DrawImage(*ToGraphics(graphics), image, x, y, b.width, b.height, 0, 0, b.width, b.height, nullptr);
}

GpStatus WINAPI GdipDrawImageI(GpGraphics* graphics, GpImage* image, INT x, INT y)
{
    return GdipDrawImage(graphics, image, REAL(x), REAL(y));
}

}  // namespace Gdiplus::DllExports
