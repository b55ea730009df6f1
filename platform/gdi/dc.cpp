// Device contexts: memory and surface DCs, their state, SaveDC/RestoreDC, origins.
#include <winbase.h>

#include <algorithm>
#include <utility>

#include "gdi_private.h"

namespace qor::gdi {

namespace {

RECT Intersect(const RECT& a, const RECT& b)
{
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (r.right < r.left)
        r.right = r.left;
    if (r.bottom < r.top)
        r.bottom = r.top;
    return r;
}

DcState DefaultState()
{
    DcState s;
    s.pen = StockPen(BLACK_PEN);
    s.brush = StockBrush(WHITE_BRUSH);
    return s;
}

HDC Publish(std::shared_ptr<Dc> dc)
{
    std::lock_guard guard(TableLock());
    HoldState(dc->state);
    return static_cast<HDC>(Insert(std::move(dc)));
}

}  // namespace

DWORD Canvas::Ink(COLORREF c) const
{
    const DWORD p = PixelOf(c);
    if (!mono)
        return p;
    const DWORD r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return (r * 30 + g * 59 + b * 11) >= 128 * 100 ? 0x00FFFFFF : 0;
}

bool GetCanvas(const Dc& dc, Canvas* canvas)
{
    *canvas = Canvas{};
    if (dc.memory) {
        Bitmap& bitmap = *dc.state.bitmap;
        canvas->mono = bitmap.bpp == 1 ? &bitmap : nullptr;
        canvas->top = bitmap.top;
        canvas->stride = bitmap.stride;
        canvas->width = bitmap.width;
        canvas->height = bitmap.height;
        canvas->clip = RECT{0, 0, bitmap.width, bitmap.height};
    } else {
        if (!dc.surface.bits)
            return false;
        canvas->top = reinterpret_cast<BYTE*>(dc.surface.bits);
        canvas->stride = dc.surface.stride;
        canvas->width = dc.surface.width;
        canvas->height = dc.surface.height;
        canvas->offset = dc.origin;
        canvas->clip = Intersect(dc.surfaceClip, RECT{0, 0, dc.surface.width, dc.surface.height});
    }
    if (dc.state.hasClip) {
        RECT own = dc.state.clip;
        own.left += canvas->offset.x;
        own.right += canvas->offset.x;
        own.top += canvas->offset.y;
        own.bottom += canvas->offset.y;
        canvas->clip = Intersect(canvas->clip, own);
    }
    return true;
}

RECT ToDeviceRect(const DcState& s, const RECT& logical)
{
    const POINT a = ToDevice(s, logical.left, logical.top);
    const POINT b = ToDevice(s, logical.right, logical.bottom);
    return RECT{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

RECT ExtentToDevice(const DcState& s, int x, int y, long long w, long long h)
{
    const long long ax = (long long)x - s.windowOrg.x + s.viewportOrg.x;
    const long long ay = (long long)y - s.windowOrg.y + s.viewportOrg.y;
    const LONG l = Clamp(std::min(ax, ax + w)), r = Clamp(std::max(ax, ax + w));
    const LONG t = Clamp(std::min(ay, ay + h)), b = Clamp(std::max(ay, ay + h));
    return RECT{l, t, r, b};
}

}  // namespace qor::gdi

using namespace qor::gdi;

HDC qor::CreateSurfaceDC(const Surface& surface, POINT origin, const RECT& clip)
{
    const long long rowBytes = surface.stride < 0 ? -(long long)surface.stride : surface.stride;
    if (!surface.bits || surface.width <= 0 || surface.height <= 0 || rowBytes < 4LL * surface.width) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto dc = std::make_shared<Dc>();
    dc->memory = false;
    dc->surface = surface;
    dc->origin = origin;
    dc->surfaceClip = clip;
    dc->state = DefaultState();
    return Publish(std::move(dc));
}

bool qor::GetDCTarget(HDC hdc, DCTarget* target)
{
    auto dc = LookupAs<Dc>(hdc, Kind::Dc);
    Canvas canvas;
    if (!dc || !target || !GetCanvas(*dc, &canvas) || canvas.mono)
        return false;
    target->surface.width = canvas.width;
    target->surface.height = canvas.height;
    target->surface.stride = int(canvas.stride);
    target->surface.bits = reinterpret_cast<DWORD*>(canvas.top);
    target->origin = canvas.offset;
    target->clip = canvas.clip;
    return true;
}

HDC WINAPI CreateCompatibleDC(HDC hdc)
{
    if (hdc && !LookupDc(hdc))
        return nullptr;
    auto dc = std::make_shared<Dc>();
    dc->state = DefaultState();
    dc->state.bitmap = StockBitmap();
    return Publish(std::move(dc));
}

BOOL WINAPI DeleteDC(HDC hdc)
{
    std::lock_guard guard(TableLock());
    auto dc = LookupDc(hdc);
    if (!dc)
        return FALSE;
    Remove(hdc);
    ReleaseState(dc->state);
    dc->saved.clear();
    return TRUE;
}

int WINAPI SaveDC(HDC hdc)
{
    std::lock_guard guard(TableLock());
    auto dc = LookupDc(hdc);
    if (!dc)
        return 0;
    dc->saved.push_back(dc->state);
    return int(dc->saved.size());
}

BOOL WINAPI RestoreDC(HDC hdc, int nSavedDC)
{
    std::lock_guard guard(TableLock());
    auto dc = LookupDc(hdc);
    if (!dc)
        return FALSE;
    const int depth = int(dc->saved.size());
    // A negative level counts back from the newest saved state; a positive one names a level.
    const int level = nSavedDC < 0 ? depth + 1 + nSavedDC : nSavedDC;
    if (level < 1 || level > depth) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DcState restored = dc->saved[size_t(level - 1)];
    dc->saved.resize(size_t(level - 1));
    HoldState(restored);
    ReleaseState(dc->state);
    dc->state = std::move(restored);
    return TRUE;
}

int WINAPI SetMapMode(HDC hdc, int iMode)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return 0;
    // Only MM_TEXT is provided: the other modes scale, which nothing here needs.
    if (iMode != MM_TEXT) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const int previous = dc->state.mapMode;
    dc->state.mapMode = iMode;
    return previous;
}

int WINAPI GetMapMode(HDC hdc)
{
    auto dc = LookupDc(hdc);
    return dc ? dc->state.mapMode : 0;
}

namespace {

BOOL SetPoint(HDC hdc, POINT DcState::*field, int x, int y, bool offset, LPPOINT previous)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return FALSE;
    POINT& p = dc->state.*field;
    if (previous)
        *previous = p;
    p = offset ? POINT{p.x + x, p.y + y} : POINT{x, y};
    return TRUE;
}

BOOL GetPoint(HDC hdc, POINT DcState::*field, LPPOINT out)
{
    auto dc = LookupDc(hdc);
    if (!dc || !out)
        return FALSE;
    *out = dc->state.*field;
    return TRUE;
}

}  // namespace

BOOL WINAPI SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt)
{
    return SetPoint(hdc, &DcState::viewportOrg, x, y, false, lppt);
}

BOOL WINAPI GetViewportOrgEx(HDC hdc, LPPOINT lppoint)
{
    return GetPoint(hdc, &DcState::viewportOrg, lppoint);
}

BOOL WINAPI OffsetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt)
{
    return SetPoint(hdc, &DcState::viewportOrg, x, y, true, lppt);
}

BOOL WINAPI SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt)
{
    return SetPoint(hdc, &DcState::windowOrg, x, y, false, lppt);
}

BOOL WINAPI GetWindowOrgEx(HDC hdc, LPPOINT lppoint)
{
    return GetPoint(hdc, &DcState::windowOrg, lppoint);
}

BOOL WINAPI OffsetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt)
{
    return SetPoint(hdc, &DcState::windowOrg, x, y, true, lppt);
}

BOOL WINAPI SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT lppt)
{
    return SetPoint(hdc, &DcState::brushOrg, x, y, false, lppt);
}

BOOL WINAPI GetBrushOrgEx(HDC hdc, LPPOINT lppt)
{
    return GetPoint(hdc, &DcState::brushOrg, lppt);
}

BOOL WINAPI GetCurrentPositionEx(HDC hdc, LPPOINT lppt)
{
    return GetPoint(hdc, &DcState::position, lppt);
}

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return CLR_INVALID;
    return std::exchange(dc->state.bkColor, color);
}

COLORREF WINAPI GetBkColor(HDC hdc)
{
    auto dc = LookupDc(hdc);
    return dc ? dc->state.bkColor : CLR_INVALID;
}

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return CLR_INVALID;
    return std::exchange(dc->state.textColor, color);
}

COLORREF WINAPI GetTextColor(HDC hdc)
{
    auto dc = LookupDc(hdc);
    return dc ? dc->state.textColor : CLR_INVALID;
}

namespace {

// Sets one of the DC's mode values, which must lie in [lowest, highest]; returns the previous
// value, or 0 with ERROR_INVALID_PARAMETER.
int SetDcMode(HDC hdc, int DcState::*mode, int value, int lowest, int highest)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return 0;
    if (value < lowest || value > highest) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return std::exchange(dc->state.*mode, value);
}

}  // namespace

int WINAPI SetBkMode(HDC hdc, int mode)
{
    return SetDcMode(hdc, &DcState::bkMode, mode, TRANSPARENT, OPAQUE);
}

int WINAPI GetBkMode(HDC hdc)
{
    auto dc = LookupDc(hdc);
    return dc ? dc->state.bkMode : 0;
}

int WINAPI SetROP2(HDC hdc, int rop2)
{
    return SetDcMode(hdc, &DcState::rop2, rop2, R2_BLACK, R2_WHITE);
}

int WINAPI GetROP2(HDC hdc)
{
    auto dc = LookupDc(hdc);
    return dc ? dc->state.rop2 : 0;
}

int WINAPI SetStretchBltMode(HDC hdc, int mode)
{
    return SetDcMode(hdc, &DcState::stretchMode, mode, BLACKONWHITE, HALFTONE);
}

int WINAPI GetStretchBltMode(HDC hdc)
{
    auto dc = LookupDc(hdc);
    return dc ? dc->state.stretchMode : 0;
}

BOOL WINAPI LPtoDP(HDC hdc, LPPOINT lppt, int c)
{
    auto dc = LookupDc(hdc);
    if (!dc || (c > 0 && !lppt))
        return FALSE;
    for (int i = 0; i < c; ++i)
        lppt[i] = ToDevice(dc->state, lppt[i].x, lppt[i].y);
    return TRUE;
}

BOOL WINAPI DPtoLP(HDC hdc, LPPOINT lppt, int c)
{
    auto dc = LookupDc(hdc);
    if (!dc || (c > 0 && !lppt))
        return FALSE;
    const DcState& s = dc->state;
    for (int i = 0; i < c; ++i)
        lppt[i] = POINT{lppt[i].x - s.viewportOrg.x + s.windowOrg.x, lppt[i].y - s.viewportOrg.y + s.windowOrg.y};
    return TRUE;
}

namespace {

// The clip of a DC in logical units: its own clip rectangle or the whole drawable area.
int ClipBox(const Dc& dc, RECT* logical)
{
    Canvas canvas;
    if (!GetCanvas(dc, &canvas))
        return ERROR;
    const DcState& s = dc.state;
    const int dx = -canvas.offset.x - s.viewportOrg.x + s.windowOrg.x;
    const int dy = -canvas.offset.y - s.viewportOrg.y + s.windowOrg.y;
    *logical = RECT{canvas.clip.left + dx, canvas.clip.top + dy, canvas.clip.right + dx, canvas.clip.bottom + dy};
    return (canvas.clip.right <= canvas.clip.left || canvas.clip.bottom <= canvas.clip.top) ? NULLREGION
                                                                                      : SIMPLEREGION;
}

}  // namespace

int WINAPI IntersectClipRect(HDC hdc, int left, int top, int right, int bottom)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return ERROR;
    DcState& s = dc->state;
    const RECT device = ExtentToDevice(s, left, top, (long long)right - left, (long long)bottom - top);
    s.clip = s.hasClip ? Intersect(s.clip, device) : device;
    s.hasClip = true;
    RECT box;
    return ClipBox(*dc, &box);
}

int WINAPI SelectClipRgn(HDC hdc, HRGN hrgn)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return ERROR;
    if (hrgn) {
        // Regions are not provided; only removing the clip is.
        SetLastError(ERROR_INVALID_HANDLE);
        return ERROR;
    }
    dc->state.hasClip = false;
    RECT box;
    return ClipBox(*dc, &box);
}

int WINAPI GetClipBox(HDC hdc, LPRECT lprect)
{
    auto dc = LookupDc(hdc);
    if (!dc || !lprect)
        return ERROR;
    return ClipBox(*dc, lprect);
}
