// Regions: sets of disjoint integer rectangles kept in y-x bands, combined by a sweep over
// the bands, so that clipping is exact to the pixel.
#include "gdiplus_private.h"

#include <algorithm>
#include <cmath>

namespace qor::gdiplus {
namespace {

using Spans = std::vector<std::pair<LONG, LONG>>;  // sorted, disjoint [left, right)

bool Inside(CombineMode mode, bool a, bool b)
{
    switch (mode) {
    case CombineModeReplace:
        return b;
    case CombineModeIntersect:
        return a && b;
    case CombineModeUnion:
        return a || b;
    case CombineModeXor:
        return a != b;
    case CombineModeExclude:
        return a && !b;
    case CombineModeComplement:
        return b && !a;
    }
    return false;
}

Spans SpansOfBand(const RectSet& set, LONG top, LONG bottom)
{
    Spans spans;
    for (const RECT& r : set.rects)
        if (r.top <= top && r.bottom >= bottom)
            spans.emplace_back(r.left, r.right);
    std::sort(spans.begin(), spans.end());
    return spans;
}

Spans CombineSpans(const Spans& a, const Spans& b, CombineMode mode)
{
    std::vector<LONG> xs;
    for (const auto& s : a) {
        xs.push_back(s.first);
        xs.push_back(s.second);
    }
    for (const auto& s : b) {
        xs.push_back(s.first);
        xs.push_back(s.second);
    }
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    Spans out;
    std::size_t ia = 0, ib = 0;
    for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
        const LONG x0 = xs[i], x1 = xs[i + 1];
        while (ia < a.size() && a[ia].second <= x0)
            ++ia;
        while (ib < b.size() && b[ib].second <= x0)
            ++ib;
        const bool inA = ia < a.size() && a[ia].first <= x0;
        const bool inB = ib < b.size() && b[ib].first <= x0;
        if (!Inside(mode, inA, inB))
            continue;
        if (!out.empty() && out.back().second == x0)
            out.back().second = x1;
        else
            out.emplace_back(x0, x1);
    }
    return out;
}

LONG PixelEdge(double v)
{
    const double e = std::ceil(v);
    return LONG(std::clamp(e, double(-kInfiniteExtent), double(kInfiniteExtent)));
}

}  // namespace

RectSet InfiniteRectSet()
{
    return RectSet{{RECT{-kInfiniteExtent, -kInfiniteExtent, kInfiniteExtent, kInfiniteExtent}}};
}

RectSet RectSetFromFloat(double left, double top, double right, double bottom)
{
    RectSet set;
    if (!std::isfinite(left) || !std::isfinite(top) || !std::isfinite(right) || !std::isfinite(bottom))
        return set;
    const RECT r{PixelEdge(left), PixelEdge(top), PixelEdge(right), PixelEdge(bottom)};
    if (r.left < r.right && r.top < r.bottom)
        set.rects.push_back(r);
    return set;
}

RectSet CombineRectSets(const RectSet& a, const RectSet& b, CombineMode mode)
{
    std::vector<LONG> ys;
    for (const RectSet* set : {&a, &b})
        for (const RECT& r : set->rects) {
            ys.push_back(r.top);
            ys.push_back(r.bottom);
        }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    RectSet out;
    Spans previous;
    std::size_t previousFirst = 0;  // index of the previous band's first rectangle
    LONG previousBottom = 0;
    for (std::size_t i = 0; i + 1 < ys.size(); ++i) {
        const LONG top = ys[i], bottom = ys[i + 1];
        Spans spans = CombineSpans(SpansOfBand(a, top, bottom), SpansOfBand(b, top, bottom), mode);
        if (spans.empty()) {
            previous.clear();
            continue;
        }
        if (spans == previous && previousBottom == top) {
            // Same spans as the band just above: grow those rectangles down.
            for (std::size_t k = previousFirst; k < out.rects.size(); ++k)
                out.rects[k].bottom = bottom;
        } else {
            previousFirst = out.rects.size();
            for (const auto& s : spans)
                out.rects.push_back(RECT{s.first, top, s.second, bottom});
            previous = std::move(spans);
        }
        previousBottom = bottom;
    }
    return out;
}

bool TransformRectSet(const RectSet& in, const Affine& m, RectSet* out)
{
    if (!m.IsAxisAligned())
        return false;
    RectSet result;
    for (const RECT& r : in.rects) {
        double x0, y0, x1, y1;
        m.Apply(r.left, r.top, &x0, &y0);
        m.Apply(r.right, r.bottom, &x1, &y1);
        const RectSet piece = RectSetFromFloat(std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1));
        // Axis-aligned maps keep the pieces disjoint, so their union is a plain append.
        result = CombineRectSets(result, piece, CombineModeUnion);
    }
    *out = std::move(result);
    return true;
}

bool IsValidCombineMode(CombineMode mode) { return mode >= CombineModeReplace && mode <= CombineModeComplement; }

bool IntersectRects(RECT* out, const RECT& a, const RECT& b)
{
    out->left = std::max(a.left, b.left);
    out->top = std::max(a.top, b.top);
    out->right = std::min(a.right, b.right);
    out->bottom = std::min(a.bottom, b.bottom);
    return out->left < out->right && out->top < out->bottom;
}

}  // namespace qor::gdiplus

namespace Gdiplus::DllExports {

using namespace qor::gdiplus;

namespace {

GpStatus NewRegion(RectSet set, GpRegion** region)
{
    if (!IsStarted())
        return GdiplusNotInitialized;
    auto* r = new (std::nothrow) RegionObject;
    if (!r)
        return OutOfMemory;
    r->set = std::move(set);
    *region = r;
    return Ok;
}

}  // namespace

GpStatus WINAPI GdipCreateRegion(GpRegion** region)
{
    if (!region)
        return InvalidParameter;
    return NewRegion(InfiniteRectSet(), region);
}

GpStatus WINAPI GdipCreateRegionRect(const RectF* rect, GpRegion** region)
{
    if (!rect || !region)
        return InvalidParameter;
    return NewRegion(RectSetFromFloat(rect->X, rect->Y, double(rect->X) + rect->Width, double(rect->Y) + rect->Height),
                     region);
}

GpStatus WINAPI GdipCreateRegionRectI(const Rect* rect, GpRegion** region)
{
    if (!rect || !region)
        return InvalidParameter;
    return NewRegion(RectSetFromFloat(rect->X, rect->Y, double(rect->X) + rect->Width, double(rect->Y) + rect->Height),
                     region);
}

GpStatus WINAPI GdipCloneRegion(GpRegion* region, GpRegion** cloneRegion)
{
    if (!region || !cloneRegion)
        return InvalidParameter;
    return NewRegion(ToRegion(region)->set, cloneRegion);
}

GpStatus WINAPI GdipDeleteRegion(GpRegion* region)
{
    if (!region)
        return InvalidParameter;
    delete ToRegion(region);
    return Ok;
}

GpStatus WINAPI GdipSetInfinite(GpRegion* region)
{
    if (!region)
        return InvalidParameter;
    ToRegion(region)->set = InfiniteRectSet();
    return Ok;
}

GpStatus WINAPI GdipSetEmpty(GpRegion* region)
{
    if (!region)
        return InvalidParameter;
    ToRegion(region)->set.rects.clear();
    return Ok;
}

GpStatus WINAPI GdipCombineRegionRect(GpRegion* region, const RectF* rect, CombineMode mode)
{
    if (!region || !rect || !IsValidCombineMode(mode))
        return InvalidParameter;
    RectSet& set = ToRegion(region)->set;
    set = CombineRectSets(
        set, RectSetFromFloat(rect->X, rect->Y, double(rect->X) + rect->Width, double(rect->Y) + rect->Height), mode);
    return Ok;
}

GpStatus WINAPI GdipCombineRegionRectI(GpRegion* region, const Rect* rect, CombineMode mode)
{
    if (!region || !rect || !IsValidCombineMode(mode))
        return InvalidParameter;
    RectSet& set = ToRegion(region)->set;
    set = CombineRectSets(
        set, RectSetFromFloat(rect->X, rect->Y, double(rect->X) + rect->Width, double(rect->Y) + rect->Height), mode);
    return Ok;
}

GpStatus WINAPI GdipCombineRegionRegion(GpRegion* region, GpRegion* region2, CombineMode mode)
{
    if (!region || !region2 || !IsValidCombineMode(mode))
        return InvalidParameter;
    ToRegion(region)->set = CombineRectSets(ToRegion(region)->set, ToRegion(region2)->set, mode);
    return Ok;
}

GpStatus WINAPI GdipIsVisibleRegionPoint(GpRegion* region, REAL x, REAL y, GpGraphics*, BOOL* result)
{
    if (!region || !result)
        return InvalidParameter;
    *result = FALSE;
    for (const RECT& r : ToRegion(region)->set.rects)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
            *result = TRUE;
    return Ok;
}

GpStatus WINAPI GdipIsVisibleRegionPointI(GpRegion* region, INT x, INT y, GpGraphics* graphics, BOOL* result)
{
    return GdipIsVisibleRegionPoint(region, REAL(x), REAL(y), graphics, result);
}

GpStatus WINAPI GdipIsEmptyRegion(GpRegion* region, GpGraphics* graphics, BOOL* result)
{
    if (!region || !graphics || !result)
        return InvalidParameter;
    *result = ToRegion(region)->set.rects.empty() ? TRUE : FALSE;
    return Ok;
}

GpStatus WINAPI GdipGetRegionBounds(GpRegion* region, GpGraphics* graphics, RectF* rect)
{
    if (!region || !graphics || !rect)
        return InvalidParameter;
    const auto& rects = ToRegion(region)->set.rects;
    if (rects.empty()) {
        *rect = RectF();
        return Ok;
    }
    RECT b = rects.front();
    for (const RECT& r : rects) {
        b.left = std::min(b.left, r.left);
        b.top = std::min(b.top, r.top);
        b.right = std::max(b.right, r.right);
        b.bottom = std::max(b.bottom, r.bottom);
    }
    *rect = RectF(REAL(b.left), REAL(b.top), REAL(b.right - b.left), REAL(b.bottom - b.top));
    return Ok;
}

}  // namespace Gdiplus::DllExports
