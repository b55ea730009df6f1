// Lines: MoveToEx, LineTo and Polyline with cosmetic and geometric pens.
//
// Cosmetic lines step one pixel along the major axis. The minor coordinate is the exact
// one rounded to the nearer pixel, a tie going to the smaller coordinate whatever the
// direction (Windows' rule, which makes a line cover the same pixels both ways); the last
// pixel is not drawn. Styles advance one unit per pixel with the Windows display lengths:
// PS_DASH 18 on 6 off, PS_DOT 3 on 3 off, PS_DASHDOT 9 on 6 off 3 on 6 off, PS_DASHDOTDOT
// 9 on 3 off 3 on 3 off 3 on 3 off, PS_ALTERNATE 1 on 1 off. In OPAQUE mode the gaps are
// drawn in the background colour. A style starts afresh with every LineTo and runs on
// across the segments of one Polyline or Rectangle.
//
// Geometric lines (width above 1) are the area of the stroke: a pixel whose centre lies
// inside is drawn once, its centre taken a hair right of and below the integer point so
// that edges falling on pixel centres are decided as the top-left fill rule decides them.
// Their dashes are the style lengths in units of the pen width (PS_DASH 3 on 1 off, PS_DOT
// 1 on 1 off, PS_DASHDOT 3 1 1 1, PS_DASHDOTDOT 3 1 1 1 1 1), each dash carrying the
// pen's end caps; their gaps are never filled.
#include <winbase.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "gdi_private.h"

namespace qor::gdi {

namespace {

const std::vector<DWORD>& CosmeticStyle(DWORD dash)
{
    static const std::vector<DWORD> kDash{18, 6}, kDot{3, 3}, kDashDot{9, 6, 3, 6}, kDashDotDot{9, 3, 3, 3, 3, 3},
        kAlternate{1, 1}, kSolid{};
    switch (dash) {
    case PS_DASH:
        return kDash;
    case PS_DOT:
        return kDot;
    case PS_DASHDOT:
        return kDashDot;
    case PS_DASHDOTDOT:
        return kDashDotDot;
    case PS_ALTERNATE:
        return kAlternate;
    default:
        return kSolid;
    }
}

const std::vector<DWORD>& GeometricStyle(DWORD dash)
{
    static const std::vector<DWORD> kDash{3, 1}, kDot{1, 1}, kDashDot{3, 1, 1, 1}, kDashDotDot{3, 1, 1, 1, 1, 1},
        kSolid{};
    switch (dash) {
    case PS_DASH:
        return kDash;
    case PS_DOT:
        return kDot;
    case PS_DASHDOT:
        return kDashDot;
    case PS_DASHDOTDOT:
        return kDashDotDot;
    default:
        return kSolid;
    }
}

// Position in a style: which entry (even entries are dashes) and how far into it.
struct StyleCursor {
    const std::vector<DWORD>* lengths;
    double unit = 1;  // length of one style unit
    size_t entry = 0;
    double into = 0;

    double Total() const
    {
        double t = 0;
        for (DWORD v : *lengths)
            t += v * unit;
        return t;
    }
    bool Solid() const { return lengths->empty() || Total() <= 0; }
    bool On() const { return entry % 2 == 0; }
    double Left() const { return (*lengths)[entry] * unit - into; }
    // Moves by up to len within the current entry; returns how far it moved.
    double Advance(double len)
    {
        const double step = std::min(len, Left());
        into += step;
        if (Left() <= 1e-9) {
            entry = (entry + 1) % lengths->size();
            into = 0;
        }
        return step;
    }
    // Moves by len, whole periods at once, so that far off-screen lines cost nothing.
    void Skip(double len)
    {
        if (Solid() || len <= 0)
            return;
        len = std::fmod(len, Total());
        while (len > 1e-9)
            len -= Advance(len);
    }
};

// Floor of a / b for b > 0. Wide, since a line may span 2^31 pixels each way.
__int128 FloorDiv(__int128 a, __int128 b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

void CosmeticSegment(Canvas& canvas, const DcState& s, POINT a, POINT b, StyleCursor& style)
{
    const long long dx = (long long)b.x - a.x, dy = (long long)b.y - a.y;
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const long long major = xMajor ? std::llabs(dx) : std::llabs(dy);
    const long long minorDelta = xMajor ? dy : dx;
    const int majorStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const DWORD penInk = canvas.Ink(s.pen->color), bkInk = canvas.Ink(s.bkColor);
    const bool solid = style.Solid();
    // Only the steps whose major coordinate lies in the clip are visited.
    const long long start = xMajor ? a.x + canvas.offset.x : a.y + canvas.offset.y;
    const long long lo = xMajor ? canvas.clip.left : canvas.clip.top;
    const long long hi = xMajor ? canvas.clip.right : canvas.clip.bottom;
    long long first = majorStep > 0 ? lo - start : start - (hi - 1);
    long long last = majorStep > 0 ? hi - 1 - start : start - lo;  // inclusive
    first = std::max<long long>(first, 0);
    last = std::min<long long>(last, major - 1);
    if (first > last) {
        style.Skip(double(major));
        return;
    }
    style.Skip(double(first));
    for (long long i = first; i <= last; ++i) {
        // Nearest pixel to i * minorDelta / major, ties to the smaller coordinate:
        // ceil((2 i d - major) / (2 major)).
        const long long minor = (long long)-FloorDiv(-(__int128(2) * i * minorDelta - major), __int128(2) * major);
        const long long px = xMajor ? a.x + i * majorStep : a.x + minor;
        const long long py = xMajor ? a.y + minor : a.y + i * majorStep;
        bool on = true;
        if (!solid) {
            on = style.On();
            style.Advance(1);
        }
        if (!on && s.bkMode != OPAQUE)
            continue;
        const long long sx = px + canvas.offset.x, sy = py + canvas.offset.y;
        if (sx < canvas.clip.left || sx >= canvas.clip.right || sy < canvas.clip.top || sy >= canvas.clip.bottom)
            continue;
        canvas.Put(int(sx), int(sy), Rop2(s.rop2, on ? penInk : bkInk, canvas.Get(int(sx), int(sy))));
    }
    style.Skip(double(major - 1 - last));
}

// One stroked piece of a geometric line: from a to b (device pixels), half width h.
struct Piece {
    double ax, ay, bx, by;
    DWORD startCap, endCap;
};

// A coverage mask over a surface rectangle, so that a pixel under several pieces is drawn once.
struct Coverage {
    RECT box{};
    std::vector<BYTE> bits;
    int Width() const { return box.right - box.left; }
    void Add(const Piece& p, double h, POINT offset)
    {
        const double pad = h + 1;
        const long long left = std::max<long long>(box.left, (long long)std::floor(std::min(p.ax, p.bx) - pad) + offset.x);
        const long long right = std::min<long long>(box.right, (long long)std::ceil(std::max(p.ax, p.bx) + pad) + offset.x);
        const long long top = std::max<long long>(box.top, (long long)std::floor(std::min(p.ay, p.by) - pad) + offset.y);
        const long long bottom =
            std::min<long long>(box.bottom, (long long)std::ceil(std::max(p.ay, p.by) + pad) + offset.y);
        const double vx = p.bx - p.ax, vy = p.by - p.ay;
        const double len = std::hypot(vx, vy);
        const double ux = len > 0 ? vx / len : 1, uy = len > 0 ? vy / len : 0;
        const double lo = p.startCap == PS_ENDCAP_SQUARE ? -h : 0;
        const double hi = len + (p.endCap == PS_ENDCAP_SQUARE ? h : 0);
        for (long long sy = top; sy < bottom; ++sy) {
            for (long long sx = left; sx < right; ++sx) {
                // The sample point: the pixel centre nudged right and down.
                const double qx = double(sx - offset.x) + 1.0 / 512 - p.ax;
                const double qy = double(sy - offset.y) + 1.0 / 1024 - p.ay;
                const double along = qx * ux + qy * uy;
                const double across = -qx * uy + qy * ux;
                bool in = len > 0 && along >= lo && along <= hi && std::fabs(across) <= h;
                if (!in && p.startCap == PS_ENDCAP_ROUND)
                    in = qx * qx + qy * qy <= h * h;
                if (!in && p.endCap == PS_ENDCAP_ROUND)
                    in = (qx - vx) * (qx - vx) + (qy - vy) * (qy - vy) <= h * h;
                if (!in && len == 0 && p.startCap == PS_ENDCAP_SQUARE)
                    in = std::fabs(qx) <= h && std::fabs(qy) <= h;
                if (in)
                    bits[size_t(sy - box.top) * size_t(Width()) + size_t(sx - box.left)] = 1;
            }
        }
    }
};

DWORD CapOf(const Pen& pen)
{
    return pen.style & PS_ENDCAP_MASK;
}

// Joins of a closed or multi-segment geometric line: round joins are discs, mitre joins
// of the right angles that rectangles have are the squared-off corners; bevels and other
// mitres are the segment ends as they meet.
DWORD JoinCapOf(const Pen& pen)
{
    switch (pen.style & PS_JOIN_MASK) {
    case PS_JOIN_ROUND:
        return PS_ENDCAP_ROUND;
    case PS_JOIN_MITER:
        return PS_ENDCAP_SQUARE;
    default:
        return PS_ENDCAP_FLAT;
    }
}

void GeometricPolyline(Canvas& canvas, const DcState& s, const POINT* pts, int count, bool closed,
                       const std::vector<DWORD>& lengths)
{
    const Pen& pen = *s.pen;
    const double h = pen.width / 2.0;
    Coverage cover;
    long long minX = pts[0].x, maxX = pts[0].x, minY = pts[0].y, maxY = pts[0].y;
    for (int i = 1; i < count; ++i) {
        minX = std::min<long long>(minX, pts[i].x);
        maxX = std::max<long long>(maxX, pts[i].x);
        minY = std::min<long long>(minY, pts[i].y);
        maxY = std::max<long long>(maxY, pts[i].y);
    }
    const long long pad = (long long)std::ceil(h) + 1;
    cover.box.left = LONG(std::max<long long>(canvas.clip.left, minX - pad + canvas.offset.x));
    cover.box.right = LONG(std::min<long long>(canvas.clip.right, maxX + pad + 1 + canvas.offset.x));
    cover.box.top = LONG(std::max<long long>(canvas.clip.top, minY - pad + canvas.offset.y));
    cover.box.bottom = LONG(std::min<long long>(canvas.clip.bottom, maxY + pad + 1 + canvas.offset.y));
    if (cover.box.right <= cover.box.left || cover.box.bottom <= cover.box.top)
        return;
    cover.bits.assign(size_t(cover.Width()) * size_t(cover.box.bottom - cover.box.top), 0);

    StyleCursor style{&lengths, pen.Dash() == PS_USERSTYLE ? 1.0 : double(pen.width)};
    const int segments = closed ? count : count - 1;
    const DWORD cap = CapOf(pen), join = JoinCapOf(pen);
    for (int i = 0; i < segments; ++i) {
        const POINT a = pts[i], b = pts[(i + 1) % count];
        const DWORD startCap = (i == 0 && !closed) ? cap : join;
        const DWORD endCap = (i == segments - 1 && !closed) ? cap : join;
        if (style.Solid()) {
            cover.Add(Piece{double(a.x), double(a.y), double(b.x), double(b.y), startCap, endCap}, h, canvas.offset);
            continue;
        }
        const double ax = a.x, ay = a.y, vx = double(b.x) - ax, vy = double(b.y) - ay;
        const double len = std::hypot(vx, vy);
        // The stretch of the segment that can reach the coverage box, in length along it.
        const double ux = len > 0 ? vx / len : 0, uy = len > 0 ? vy / len : 0;
        double visLo = 1e300, visHi = -1e300;
        for (LONG cy : {cover.box.top, cover.box.bottom})
            for (LONG cx : {cover.box.left, cover.box.right}) {
                const double t = (double(cx - canvas.offset.x) - ax) * ux + (double(cy - canvas.offset.y) - ay) * uy;
                visLo = std::min(visLo, t - h - 1);
                visHi = std::max(visHi, t + h + 1);
            }
        double at = 0;
        if (visLo > 0) {
            const double skip = std::min(visLo, len);
            style.Skip(skip);
            at = skip;
        }
        while (at < len - 1e-9) {
            if (at > visHi) {
                style.Skip(len - at);
                break;
            }
            const bool on = style.On();
            const double step = style.Advance(len - at);
            if (on) {
                // Differs from Windows on purpose: GDI caps every dash, so square caps on a
                // width-2 pen fill the gaps and a dashed crop frame draws solid. Only the
                // ends of the segment get its caps; the dashes keep their gaps.
                const double t0 = at / len, t1 = (at + step) / len;
                const DWORD dashStart = at <= 1e-9 ? startCap : PS_ENDCAP_FLAT;
                const DWORD dashEnd = at + step >= len - 1e-9 ? endCap : PS_ENDCAP_FLAT;
                cover.Add(Piece{ax + vx * t0, ay + vy * t0, ax + vx * t1, ay + vy * t1, dashStart, dashEnd}, h,
                          canvas.offset);
            }
            at += step;
        }
    }
    const DWORD ink = canvas.Ink(pen.color);
    for (LONG sy = cover.box.top; sy < cover.box.bottom; ++sy)
        for (LONG sx = cover.box.left; sx < cover.box.right; ++sx)
            if (cover.bits[size_t(sy - cover.box.top) * size_t(cover.Width()) + size_t(sx - cover.box.left)])
                canvas.Put(sx, sy, Rop2(s.rop2, ink, canvas.Get(sx, sy)));
}

}  // namespace

void StrokePolyline(Canvas& canvas, const DcState& s, const POINT* device, int count, bool closed)
{
    const Pen& pen = *s.pen;
    if (pen.Null() || count < 2)
        return;
    if (pen.Geometric() && pen.width > 1) {
        // Styled pens of CreatePen wider than a pixel draw solid, as Windows documents.
        const std::vector<DWORD>& lengths = !pen.extended             ? GeometricStyle(PS_SOLID)
                                            : pen.Dash() == PS_USERSTYLE ? pen.userStyle
                                                                         : GeometricStyle(pen.Dash());
        GeometricPolyline(canvas, s, device, count, closed, lengths);
        return;
    }
    const std::vector<DWORD>& lengths = pen.Dash() == PS_USERSTYLE ? pen.userStyle : CosmeticStyle(pen.Dash());
    StyleCursor style{&lengths};
    const int segments = closed ? count : count - 1;
    for (int i = 0; i < segments; ++i)
        CosmeticSegment(canvas, s, device[i], device[(i + 1) % count], style);
}

}  // namespace qor::gdi

using namespace qor::gdi;

BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return FALSE;
    if (lppt)
        *lppt = dc->state.position;
    dc->state.position = POINT{x, y};
    return TRUE;
}

BOOL WINAPI LineTo(HDC hdc, int x, int y)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return FALSE;
    Canvas canvas;
    if (!GetCanvas(*dc, &canvas))
        return FALSE;
    DcState& s = dc->state;
    const POINT device[2] = {ToDevice(s, s.position.x, s.position.y), ToDevice(s, x, y)};
    StrokePolyline(canvas, s, device, 2, false);
    s.position = POINT{x, y};
    return TRUE;
}

BOOL WINAPI Polyline(HDC hdc, const POINT* apt, int cpt)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return FALSE;
    if (!apt || cpt < 2) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Canvas canvas;
    if (!GetCanvas(*dc, &canvas))
        return FALSE;
    std::vector<POINT> device(static_cast<size_t>(cpt));
    for (int i = 0; i < cpt; ++i)
        device[size_t(i)] = ToDevice(dc->state, apt[i].x, apt[i].y);
    StrokePolyline(canvas, dc->state, device.data(), cpt, false);
    return TRUE;
}
