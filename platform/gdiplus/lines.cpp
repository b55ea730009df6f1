// Solid brushes, pens, lines, and the coverage masks that cairo rasterises for lines and
// for fills that are antialiased or turned. cairo only measures coverage here; colour and
// blending stay in our own straight-alpha code.
#include "gdiplus_private.h"

#include <algorithm>
#include <cmath>

#include <cairo.h>

namespace qor::gdiplus {
namespace {

// Runs draw on an A8 cairo surface over bounds and copies the coverage out.
template <class Draw>
bool Rasterise(const RECT& bounds, bool antialias, CoverageMask* mask, Draw draw)
{
    mask->bounds = bounds;
    mask->bytes.clear();
    const int w = bounds.right - bounds.left, h = bounds.bottom - bounds.top;
    if (w <= 0 || h <= 0)
        return true;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return false;
    }
    cairo_t* cr = cairo_create(surface);
    cairo_set_antialias(cr, antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    cairo_translate(cr, -bounds.left, -bounds.top);
    draw(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    mask->stride = cairo_image_surface_get_stride(surface);
    const BYTE* data = cairo_image_surface_get_data(surface);
    bool ok = true;
    try {
        mask->bytes.assign(data, data + std::size_t(mask->stride) * h);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    cairo_surface_destroy(surface);
    return ok;
}

cairo_line_cap_t CairoCap(LineCap cap)
{
    switch (cap) {
    case LineCapSquare:
    case LineCapSquareAnchor:
        return CAIRO_LINE_CAP_SQUARE;
    case LineCapRound:
    case LineCapRoundAnchor:
        return CAIRO_LINE_CAP_ROUND;
    default:
        return CAIRO_LINE_CAP_BUTT;
    }
}

bool IsValidCap(LineCap cap)
{
    return (cap >= LineCapFlat && cap <= LineCapTriangle) || (cap >= LineCapNoAnchor && cap <= LineCapArrowAnchor) ||
           cap == LineCapCustom;
}

// How much a world length grows in device space: the larger scale of the two axes.
double WorldScale(const Affine& m)
{
    return std::sqrt(std::max(double(m.m11) * m.m11 + double(m.m12) * m.m12, double(m.m21) * m.m21 + double(m.m22) * m.m22));
}

Status DrawLine(GraphicsObject& g, const PenObject& pen, double x1, double y1, double x2, double y2)
{
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2))
        return InvalidParameter;
    double dx1, dy1, dx2, dy2;
    g.world.Apply(x1, y1, &dx1, &dy1);
    g.world.Apply(x2, y2, &dx2, &dy2);
    // A pen never draws thinner than one device pixel, as in GDI+.
    double width = pen.unit == UnitWorld ? pen.width * WorldScale(g.world) : pen.width;
    width = std::max(width, 1.0);
    const double shift = 0.5 - g.PixelCentre();  // cairo puts pixel centres at +0.5
    dx1 += g.origin.x + shift;
    dx2 += g.origin.x + shift;
    dy1 += g.origin.y + shift;
    dy2 += g.origin.y + shift;
    const double reach = width / 2 * M_SQRT2 + 1;
    const double limit = kInfiniteExtent;
    RECT bounds{LONG(std::clamp(std::floor(std::min(dx1, dx2) - reach), -limit, limit)),
                LONG(std::clamp(std::floor(std::min(dy1, dy2) - reach), -limit, limit)),
                LONG(std::clamp(std::ceil(std::max(dx1, dx2) + reach), -limit, limit)),
                LONG(std::clamp(std::ceil(std::max(dy1, dy2) + reach), -limit, limit))};
    RECT target{0, 0, g.surface.width, g.surface.height};
    if (!IntersectRects(&bounds, bounds, target))
        return Ok;
    CoverageMask mask;
    const bool ok = Rasterise(bounds, g.Antialias(), &mask, [&](cairo_t* cr) {
        cairo_set_line_width(cr, width);
        if (CairoCap(pen.startCap) == CairoCap(pen.endCap)) {
            cairo_set_line_cap(cr, CairoCap(pen.startCap));
            cairo_move_to(cr, dx1, dy1);
            cairo_line_to(cr, dx2, dy2);
            cairo_stroke(cr);
            return;
        }
        // Different caps at the two ends: a flat stroke and each cap added on its own.
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
        cairo_move_to(cr, dx1, dy1);
        cairo_line_to(cr, dx2, dy2);
        cairo_stroke(cr);
        const double len = std::hypot(dx2 - dx1, dy2 - dy1);
        if (len == 0)
            return;
        const double ux = (dx2 - dx1) / len, uy = (dy2 - dy1) / len;
        const struct {
            double x, y, dir;
            LineCap cap;
        } ends[2] = {{dx1, dy1, -1, pen.startCap}, {dx2, dy2, 1, pen.endCap}};
        for (const auto& end : ends) {
            const cairo_line_cap_t cap = CairoCap(end.cap);
            if (cap == CAIRO_LINE_CAP_BUTT)
                continue;
            cairo_set_line_cap(cr, cap);
            // A stroke of a hair's length outward from the end carries exactly the cap.
            cairo_move_to(cr, end.x, end.y);
            cairo_line_to(cr, end.x + end.dir * ux * 1e-3, end.y + end.dir * uy * 1e-3);
            cairo_stroke(cr);
        }
    });
    if (!ok)
        return OutOfMemory;
    if (!mask.bytes.empty())
        g.BlendColor(pen.color, mask.bounds, mask.bytes.data(), mask.stride);
    return Ok;
}

}  // namespace

bool RasterPolygon(const double* xy, int points, bool antialias, const RECT& bounds, CoverageMask* mask)
{
    return Rasterise(bounds, antialias, mask, [&](cairo_t* cr) {
        cairo_move_to(cr, xy[0], xy[1]);
        for (int i = 1; i < points; ++i)
            cairo_line_to(cr, xy[2 * i], xy[2 * i + 1]);
        cairo_close_path(cr);
        cairo_fill(cr);
    });
}

}  // namespace qor::gdiplus

namespace Gdiplus::DllExports {

using namespace qor::gdiplus;

GpStatus WINAPI GdipCreateSolidFill(ARGB color, GpSolidFill** brush)
{
    if (!brush)
        return InvalidParameter;
    if (!IsStarted())
        return GdiplusNotInitialized;
    auto* b = new (std::nothrow) BrushObject;
    if (!b)
        return OutOfMemory;
    b->color = color;
    *brush = b;
    return Ok;
}

GpStatus WINAPI GdipGetSolidFillColor(GpSolidFill* brush, ARGB* color)
{
    if (!brush || !color)
        return InvalidParameter;
    *color = ToBrush(brush)->color;
    return Ok;
}

GpStatus WINAPI GdipSetSolidFillColor(GpSolidFill* brush, ARGB color)
{
    if (!brush)
        return InvalidParameter;
    ToBrush(brush)->color = color;
    return Ok;
}

GpStatus WINAPI GdipCloneBrush(GpBrush* brush, GpBrush** cloneBrush)
{
    if (!brush || !cloneBrush)
        return InvalidParameter;
    auto* b = new (std::nothrow) BrushObject(*ToBrush(brush));
    *cloneBrush = b;
    return b ? Ok : OutOfMemory;
}

GpStatus WINAPI GdipDeleteBrush(GpBrush* brush)
{
    if (!brush)
        return InvalidParameter;
    delete ToBrush(brush);
    return Ok;
}

GpStatus WINAPI GdipCreatePen1(ARGB color, REAL width, GpUnit unit, GpPen** pen)
{
    if (!pen)
        return InvalidParameter;
    // World, pixel and display units; the physical units (points, inches...) are not offered.
    if (unit != UnitWorld && unit != UnitPixel && unit != UnitDisplay)
        return unit >= UnitPoint && unit <= UnitMillimeter ? NotImplemented : InvalidParameter;
    if (!std::isfinite(width) || width < 0)
        return InvalidParameter;
    if (!IsStarted())
        return GdiplusNotInitialized;
    auto* p = new (std::nothrow) PenObject;
    if (!p)
        return OutOfMemory;
    p->color = color;
    p->width = width;
    p->unit = unit == UnitDisplay ? UnitPixel : unit;
    *pen = p;
    return Ok;
}

GpStatus WINAPI GdipClonePen(GpPen* pen, GpPen** clonePen)
{
    if (!pen || !clonePen)
        return InvalidParameter;
    auto* p = new (std::nothrow) PenObject(*ToPen(pen));
    *clonePen = p;
    return p ? Ok : OutOfMemory;
}

GpStatus WINAPI GdipDeletePen(GpPen* pen)
{
    if (!pen)
        return InvalidParameter;
    delete ToPen(pen);
    return Ok;
}

GpStatus WINAPI GdipSetPenStartCap(GpPen* pen, GpLineCap startCap)
{
    if (!pen || !IsValidCap(startCap))
        return InvalidParameter;
    ToPen(pen)->startCap = startCap;
    return Ok;
}

GpStatus WINAPI GdipSetPenEndCap(GpPen* pen, GpLineCap endCap)
{
    if (!pen || !IsValidCap(endCap))
        return InvalidParameter;
    ToPen(pen)->endCap = endCap;
    return Ok;
}

GpStatus WINAPI GdipSetPenLineCap197819(GpPen* pen, GpLineCap startCap, GpLineCap endCap, GpDashCap dashCap)
{
    if (!pen || !IsValidCap(startCap) || !IsValidCap(endCap) ||
        (dashCap != DashCapFlat && dashCap != DashCapRound && dashCap != DashCapTriangle))
        return InvalidParameter;
    PenObject& p = *ToPen(pen);
    p.startCap = startCap;
    p.endCap = endCap;
    p.dashCap = dashCap;
    return Ok;
}

GpStatus WINAPI GdipGetPenStartCap(GpPen* pen, GpLineCap* startCap)
{
    if (!pen || !startCap)
        return InvalidParameter;
    *startCap = ToPen(pen)->startCap;
    return Ok;
}

GpStatus WINAPI GdipGetPenEndCap(GpPen* pen, GpLineCap* endCap)
{
    if (!pen || !endCap)
        return InvalidParameter;
    *endCap = ToPen(pen)->endCap;
    return Ok;
}

GpStatus WINAPI GdipGetPenWidth(GpPen* pen, REAL* width)
{
    if (!pen || !width)
        return InvalidParameter;
    *width = ToPen(pen)->width;
    return Ok;
}

GpStatus WINAPI GdipGetPenColor(GpPen* pen, ARGB* argb)
{
    if (!pen || !argb)
        return InvalidParameter;
    *argb = ToPen(pen)->color;
    return Ok;
}

GpStatus WINAPI GdipDrawLine(GpGraphics* graphics, GpPen* pen, REAL x1, REAL y1, REAL x2, REAL y2)
{
    if (!graphics || !pen)
        return InvalidParameter;
    return DrawLine(*ToGraphics(graphics), *ToPen(pen), x1, y1, x2, y2);
}

GpStatus WINAPI GdipDrawLineI(GpGraphics* graphics, GpPen* pen, INT x1, INT y1, INT x2, INT y2)
{
    if (!graphics || !pen)
        return InvalidParameter;
    return DrawLine(*ToGraphics(graphics), *ToPen(pen), x1, y1, x2, y2);
}

}  // namespace Gdiplus::DllExports
