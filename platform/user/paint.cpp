// Painting: update regions, invalidation and validation, WM_PAINT and WM_ERASEBKGND,
// window DCs on the top-level surfaces.
#include "user_private.h"

#include <algorithm>

#include <winbase.h>
#include <wingdi.h>

namespace qor::user {
namespace {

// Pixels put back when a DC is released: the surface contract clips a DC to one rectangle,
// so the children (WS_CLIPCHILDREN, DCX_CLIPCHILDREN) and the siblings above
// (WS_CLIPSIBLINGS, DCX_CLIPSIBLINGS) that Windows would clip out are saved when the DC is
// made and restored when it is released.
struct SavedBlock {
    RECT rect{};  // surface pixels
    std::vector<DWORD> pixels;
};

struct DcRecord {
    HWND hwnd = nullptr;
    HWND top = nullptr;
    std::shared_ptr<SurfaceBuffer> buffer;
    RECT clip{};
    std::vector<SavedBlock> saved;
};

std::map<HDC, DcRecord>& Dcs()
{
    static std::map<HDC, DcRecord> dcs;
    return dcs;
}

// GetDC(NULL): there is no screen to draw on, so the screen DC draws on a private 1x1
// surface; it still serves as the reference DC for compatible DCs and bitmaps.
std::shared_ptr<SurfaceBuffer> ScreenBuffer()
{
    static auto buffer = std::make_shared<SurfaceBuffer>(SurfaceBuffer{1, 1, std::vector<DWORD>(1, 0)});
    return buffer;
}

RECT WindowRectInSurface(const Window& w)
{
    WindowPtr top = LookupWindow(TopLevelOf(w.hwnd));
    const POINT base = WindowOriginOnScreen(*top);
    const POINT o = WindowOriginOnScreen(w);
    return RECT{o.x - base.x, o.y - base.y, o.x - base.x + (w.window.right - w.window.left),
                o.y - base.y + (w.window.bottom - w.window.top)};
}

void SaveBlock(SurfaceBuffer& buffer, RECT rc, const RECT& clip, std::vector<SavedBlock>* saved)
{
    if (!IntersectRect(&rc, &rc, &clip)) return;
    SavedBlock block{rc, {}};
    for (LONG y = rc.top; y < rc.bottom; ++y)
        block.pixels.insert(block.pixels.end(), buffer.bits.begin() + y * buffer.width + rc.left,
                            buffer.bits.begin() + y * buffer.width + rc.right);
    saved->push_back(std::move(block));
}

void RestoreBlocks(SurfaceBuffer& buffer, const std::vector<SavedBlock>& saved)
{
    for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
        const LONG width = it->rect.right - it->rect.left;
        for (LONG y = it->rect.top; y < it->rect.bottom; ++y)
            std::copy_n(it->pixels.begin() + (y - it->rect.top) * width, width,
                        buffer.bits.begin() + y * buffer.width + it->rect.left);
    }
}

// A DC on the window's top-level surface: the client area (or the whole window with
// DCX_WINDOW), clipped to the ancestors' client areas and to clipClient (client
// coordinates) when given.
HDC MakeDC(Window& w, DWORD flags, const RECT* clipClient)
{
    WindowPtr top = LookupWindow(TopLevelOf(w.hwnd));
    if (!top || !top->surface) return nullptr;
    DcRecord record;
    record.hwnd = w.hwnd;
    record.top = top->hwnd;
    record.buffer = top->surface;
    POINT origin;
    RECT clip;
    if (flags & DCX_WINDOW) {
        const RECT rc = WindowRectInSurface(w);
        origin = POINT{rc.left, rc.top};
        clip = rc;
        if (WindowPtr parent = LookupWindow(w.parent)) {
            const RECT parentVisible = VisibleClientInSurface(*parent);
            IntersectRect(&clip, &clip, &parentVisible);
        }
    } else {
        origin = ClientOriginInSurface(w);
        clip = VisibleClientInSurface(w);
    }
    if (clipClient) {
        RECT extra = *clipClient;
        OffsetRect(&extra, origin.x, origin.y);
        IntersectRect(&clip, &clip, &extra);
    }
    const RECT bounds{0, 0, record.buffer->width, record.buffer->height};
    IntersectRect(&clip, &clip, &bounds);
    record.clip = clip;
    if ((flags & DCX_CLIPCHILDREN) || (w.style & WS_CLIPCHILDREN)) {
        for (HWND child : w.children) {
            WindowPtr c = LookupWindow(child);
            if (c && (c->style & WS_VISIBLE)) SaveBlock(*record.buffer, WindowRectInSurface(*c), clip, &record.saved);
        }
    }
    if (((flags & DCX_CLIPSIBLINGS) || (w.style & WS_CLIPSIBLINGS)) && w.parent) {
        WindowPtr parent = LookupWindow(w.parent);
        for (HWND sibling : parent->children) {
            if (sibling == w.hwnd) break;  // only the ones above in the z-order
            WindowPtr s = LookupWindow(sibling);
            if (s && (s->style & WS_VISIBLE)) SaveBlock(*record.buffer, WindowRectInSurface(*s), clip, &record.saved);
        }
    }
    HDC hdc = CreateSurfaceDC(record.buffer->View(), origin, clip);
    if (hdc) Dcs()[hdc] = std::move(record);
    return hdc;
}

bool NeedsPaint(const Window& w)
{
    return !w.update.Empty() || w.internalPaint;
}

HWND FindPaint(const std::vector<HWND>& list, HWND filter)
{
    for (HWND hwnd : list) {
        WindowPtr w = LookupWindow(hwnd);
        if (!w || !(w->style & WS_VISIBLE) || w->thread != std::this_thread::get_id()) continue;
        const bool matches = !filter || hwnd == filter || IsChild(filter, hwnd);
        if (matches && NeedsPaint(*w)) return hwnd;
        if (HWND child = FindPaint(w->children, filter)) return child;
    }
    return nullptr;
}

bool IncludesChildren(const Window& w, UINT flags)
{
    if (flags & RDW_ALLCHILDREN) return true;
    return !(flags & RDW_NOCHILDREN) && !(w.style & WS_CLIPCHILDREN);
}

void PaintNow(HWND hwnd, UINT flags)
{
    WindowPtr w = LookupWindow(hwnd);
    if (!w || !IsVisibleChain(*w)) return;
    if (w->erase) w->eraseRefused = !SendEraseIfNeeded(*w);
    if ((flags & RDW_UPDATENOW) && NeedsPaint(*w)) {
        w->internalPaint = false;
        Send(hwnd, WM_PAINT, 0, 0);
    }
    if (!(flags & RDW_NOCHILDREN) && LookupWindow(hwnd)) {
        const std::vector<HWND> children = w->children;
        for (HWND child : children) PaintNow(child, flags);
    }
}

}  // namespace

void InvalidateArea(Window& w, const RECT* rcClient, UINT flags)
{
    const RECT client{0, 0, w.client.right - w.client.left, w.client.bottom - w.client.top};
    RECT area = client;
    if (rcClient && !IntersectRect(&area, rcClient, &client)) area = RECT{};
    if ((flags & RDW_INVALIDATE) && IsVisibleChain(w)) {
        if (!IsRectEmpty(&area)) {
            w.update.Add(area);
            if (flags & RDW_ERASE) w.erase = true;
            CurrentBackend().Wake();  // a WM_PAINT to retrieve
        }
    }
    if (flags & RDW_INTERNALPAINT) w.internalPaint = true;
    if (flags & RDW_VALIDATE) {
        w.update.Subtract(area);
        if (w.update.Empty()) w.erase = false;
    }
    if (flags & RDW_NOERASE) w.erase = false;
    if (flags & RDW_NOINTERNALPAINT) w.internalPaint = false;
    if (!IncludesChildren(w, flags)) return;
    for (HWND child : w.children) {
        WindowPtr c = LookupWindow(child);
        if (!c) continue;
        RECT part;
        if (!IntersectRect(&part, &area, &c->window)) continue;
        OffsetRect(&part, -c->client.left, -c->client.top);
        InvalidateArea(*c, &part, flags | RDW_ALLCHILDREN);
    }
}

HWND NextWindowToPaint(HWND filter)
{
    return FindPaint(TopLevelWindows(), filter);
}

bool SendEraseIfNeeded(Window& w)
{
    if (!w.erase) return false;
    w.erase = false;
    const RECT bounds = w.update.Bounds();
    HDC hdc = MakeDC(w, 0, &bounds);
    if (!hdc) return false;
    const HWND hwnd = w.hwnd;
    const bool erased = Send(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) != 0;
    ReleaseDC(hwnd, hdc);
    return erased;
}

void ReleaseWindowDCs(HWND hwnd)
{
    auto& dcs = Dcs();
    for (auto it = dcs.begin(); it != dcs.end();) {
        if (it->second.hwnd == hwnd) {
            DeleteDC(it->first);
            it = dcs.erase(it);
        } else {
            ++it;
        }
    }
}

// A resized top-level window gets a new buffer that keeps the old pixels where both
// overlap; DCs made before keep the old buffer until they are released.
void ResizeSurface(Window& w)
{
    auto buffer = std::make_shared<SurfaceBuffer>();
    buffer->width = std::max<int>(1, w.window.right - w.window.left);
    buffer->height = std::max<int>(1, w.window.bottom - w.window.top);
    buffer->bits.assign(static_cast<size_t>(buffer->width) * buffer->height, kBlankPixel);
    if (w.surface) {
        const int width = std::min(buffer->width, w.surface->width);
        for (int y = 0; y < std::min(buffer->height, w.surface->height); ++y)
            std::copy_n(w.surface->bits.begin() + y * w.surface->width, width, buffer->bits.begin() + y * buffer->width);
    }
    w.surface = std::move(buffer);
}

}  // namespace qor::user

using namespace qor::user;

BOOL WINAPI RedrawWindow(HWND hwnd, const RECT* rect, HRGN region, UINT flags)
{
    if (!hwnd) {
        const std::vector<HWND> tops = TopLevelWindows();
        for (HWND top : tops) RedrawWindow(top, nullptr, nullptr, flags | RDW_ALLCHILDREN);
        return TRUE;
    }
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return FALSE;
    // GDI regions cannot be read here, so a region stands for the whole client area.
    InvalidateArea(*w, region ? nullptr : rect, flags);
    if (flags & RDW_FRAME) DrawNonClient(*w);
    if (flags & (RDW_UPDATENOW | RDW_ERASENOW)) PaintNow(hwnd, flags);
    return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase)
{
    if (!hwnd) return RedrawWindow(nullptr, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ERASENOW);
    return RedrawWindow(hwnd, rect, nullptr, RDW_INVALIDATE | (erase ? RDW_ERASE : 0));
}

BOOL WINAPI ValidateRect(HWND hwnd, const RECT* rect)
{
    if (!hwnd) return RedrawWindow(nullptr, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ERASENOW);
    return RedrawWindow(hwnd, rect, nullptr, RDW_VALIDATE);
}

BOOL WINAPI GetUpdateRect(HWND hwnd, LPRECT rect, BOOL erase)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return FALSE;
    if (erase && w->erase) w->eraseRefused = !SendEraseIfNeeded(*w);
    if (rect) *rect = w->update.Bounds();
    return !w->update.Empty();
}

BOOL WINAPI UpdateWindow(HWND hwnd)
{
    if (!LookupWindowOrFail(hwnd)) return FALSE;
    return RedrawWindow(hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// The paint DC is clipped to the bounding rectangle of the update region (the surface
// contract clips to one rectangle); rcPaint is that rectangle, as on Windows.
HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT ps)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return nullptr;
    if (!ps) {
        SetLastError(ERROR_NOACCESS);
        return nullptr;
    }
    DrawNonClient(*w);
    const RECT client{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
    RECT paint = w->update.Bounds();
    IntersectRect(&paint, &paint, &client);
    w->update.Clear();
    w->internalPaint = false;
    HDC hdc = MakeDC(*w, 0, &paint);
    *ps = PAINTSTRUCT{};
    ps->hdc = hdc;
    ps->rcPaint = paint;
    if (w->erase) {
        w->erase = false;
        ps->fErase = Send(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) == 0;
    } else {
        ps->fErase = w->eraseRefused;
    }
    w->eraseRefused = false;
    return hdc;
}

BOOL WINAPI EndPaint(HWND hwnd, const PAINTSTRUCT* ps)
{
    if (ps && ps->hdc) ReleaseDC(hwnd, ps->hdc);
    return TRUE;
}

HDC WINAPI GetDCEx(HWND hwnd, HRGN region, DWORD flags)
{
    HDC hdc = nullptr;
    if (!hwnd) {
        auto buffer = ScreenBuffer();
        hdc = CreateSurfaceDC(buffer->View(), POINT{}, RECT{0, 0, 1, 1});
        if (hdc) Dcs()[hdc] = DcRecord{nullptr, nullptr, buffer, RECT{0, 0, 1, 1}, {}};
    } else if (WindowPtr w = LookupWindowOrFail(hwnd)) {
        hdc = MakeDC(*w, flags, nullptr);
    }
    // The DC owns a region given with DCX_INTERSECTRGN or DCX_EXCLUDERGN; regions cannot
    // be read here, so it does not clip.
    if (region && (flags & (DCX_INTERSECTRGN | DCX_EXCLUDERGN))) DeleteObject(region);
    return hdc;
}

HDC WINAPI GetDC(HWND hwnd)
{
    return GetDCEx(hwnd, nullptr, DCX_CACHE);
}

HDC WINAPI GetWindowDC(HWND hwnd)
{
    return GetDCEx(hwnd, nullptr, DCX_CACHE | DCX_WINDOW);
}

int WINAPI ReleaseDC(HWND, HDC hdc)
{
    auto& dcs = Dcs();
    auto it = dcs.find(hdc);
    if (it == dcs.end()) return 0;
    DcRecord record = std::move(it->second);
    dcs.erase(it);
    RestoreBlocks(*record.buffer, record.saved);
    DeleteDC(hdc);
    if (WindowPtr top = LookupWindow(record.top); top && top->surface == record.buffer)
        CurrentBackend().Present(record.top, record.buffer->View(), record.clip);
    return 1;
}
