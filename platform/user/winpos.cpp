// Window geometry: rectangles, coordinate mapping, the non-client layout, hit testing,
// SetWindowPos and the windows under a point.
#include "user_private.h"

#include <algorithm>

#include <winbase.h>

namespace qor::user {
namespace {

RECT Offset(RECT rc, int dx, int dy)
{
    OffsetRect(&rc, dx, dy);
    return rc;
}

bool Contains(const RECT& rc, POINT pt)
{
    return PtInRect(&rc, pt) != FALSE;
}

}  // namespace

NonClientLayout LayoutNonClient(DWORD style, DWORD exStyle, int width, int height)
{
    NonClientLayout layout;
    // Frames and captions belong to the display's window manager on this platform, so only
    // the thin borders of child-style windows take space here.
    int border = 0;
    if ((style & WS_CAPTION) == WS_BORDER) border += GetSystemMetrics(SM_CXBORDER);
    if (exStyle & WS_EX_CLIENTEDGE) border += GetSystemMetrics(SM_CXEDGE);
    if (exStyle & WS_EX_STATICEDGE) border += GetSystemMetrics(SM_CXBORDER);
    RECT inner{border, border, std::max(border, width - border), std::max(border, height - border)};
    const int cxV = GetSystemMetrics(SM_CXVSCROLL);
    const int cyH = GetSystemMetrics(SM_CYHSCROLL);
    const bool vbar = (style & WS_VSCROLL) && inner.right - inner.left >= cxV;
    const bool hbar = (style & WS_HSCROLL) && inner.bottom - inner.top > cyH;
    RECT client = inner;
    if (hbar) client.bottom -= cyH;
    if (vbar) {
        if (exStyle & WS_EX_LEFTSCROLLBAR) {
            layout.vbar = RECT{inner.left, inner.top, inner.left + cxV, client.bottom};
            client.left += cxV;
        } else {
            layout.vbar = RECT{inner.right - cxV, inner.top, inner.right, client.bottom};
            client.right -= cxV;
        }
    }
    if (hbar) layout.hbar = RECT{client.left, client.bottom, client.right, inner.bottom};
    layout.client = client;
    return layout;
}

void ComputeClientRect(const Window& w, const RECT& window, RECT* client)
{
    const NonClientLayout layout =
        LayoutNonClient(w.style, w.exStyle, window.right - window.left, window.bottom - window.top);
    *client = Offset(layout.client, window.left, window.top);
}

POINT ClientOriginOnScreen(const Window& w)
{
    POINT origin{w.client.left, w.client.top};
    for (WindowPtr p = LookupWindow(w.parent); p; p = LookupWindow(p->parent)) {
        origin.x += p->client.left;
        origin.y += p->client.top;
    }
    return origin;
}

POINT WindowOriginOnScreen(const Window& w)
{
    POINT origin{w.window.left, w.window.top};
    if (WindowPtr p = LookupWindow(w.parent)) {
        const POINT base = ClientOriginOnScreen(*p);
        origin.x += base.x;
        origin.y += base.y;
    }
    return origin;
}

RECT ClientRectOnScreen(const Window& w)
{
    const POINT o = ClientOriginOnScreen(w);
    return RECT{o.x, o.y, o.x + (w.client.right - w.client.left), o.y + (w.client.bottom - w.client.top)};
}

POINT ClientOriginInSurface(const Window& w)
{
    WindowPtr top = LookupWindow(TopLevelOf(w.hwnd));
    const POINT client = ClientOriginOnScreen(w);
    const POINT base = top ? WindowOriginOnScreen(*top) : POINT{};
    return POINT{client.x - base.x, client.y - base.y};
}

RECT VisibleClientInSurface(const Window& w)
{
    WindowPtr top = LookupWindow(TopLevelOf(w.hwnd));
    if (!top || !top->surface) return RECT{};
    const POINT base = WindowOriginOnScreen(*top);
    RECT visible = Offset(ClientRectOnScreen(w), -base.x, -base.y);
    for (WindowPtr p = LookupWindow(w.parent); p; p = LookupWindow(p->parent)) {
        const RECT parentClient = Offset(ClientRectOnScreen(*p), -base.x, -base.y);
        IntersectRect(&visible, &visible, &parentClient);
    }
    const RECT bounds{0, 0, top->surface->width, top->surface->height};
    IntersectRect(&visible, &visible, &bounds);
    return visible;
}

LRESULT HitTest(const Window& w, POINT screen)
{
    const POINT origin = WindowOriginOnScreen(w);
    const RECT window{0, 0, w.window.right - w.window.left, w.window.bottom - w.window.top};
    const POINT pt{screen.x - origin.x, screen.y - origin.y};
    if (!Contains(window, pt)) return HTNOWHERE;
    const NonClientLayout layout = LayoutNonClient(w.style, w.exStyle, window.right, window.bottom);
    if (Contains(layout.client, pt)) return HTCLIENT;
    if (Contains(layout.vbar, pt)) return HTVSCROLL;
    if (Contains(layout.hbar, pt)) return HTHSCROLL;
    return HTBORDER;
}

namespace {

// The deepest visible and enabled window under a point given in the client coordinates of
// the window whose children are searched.
HWND ChildAt(const Window& parent, POINT pt)
{
    const RECT client{0, 0, parent.client.right - parent.client.left, parent.client.bottom - parent.client.top};
    if (!Contains(client, pt)) return parent.hwnd;
    for (HWND hwnd : parent.children) {
        WindowPtr c = LookupWindow(hwnd);
        if (!c || !(c->style & WS_VISIBLE) || (c->style & WS_DISABLED) || !Contains(c->window, pt)) continue;
        return ChildAt(*c, POINT{pt.x - c->client.left, pt.y - c->client.top});
    }
    return parent.hwnd;
}

}  // namespace

HWND WindowAtPoint(POINT screen)
{
    for (HWND hwnd : TopLevelWindows()) {
        WindowPtr w = LookupWindow(hwnd);
        if (!w || !(w->style & WS_VISIBLE) || (w->style & WS_DISABLED) || !Contains(w->window, screen)) continue;
        return ChildAt(*w, POINT{screen.x - w->client.left, screen.y - w->client.top});
    }
    return nullptr;
}

void SendSizeAndMove(HWND hwnd)
{
    WindowPtr w = LookupWindow(hwnd);
    if (!w) return;
    Send(hwnd, WM_SIZE, SIZE_RESTORED,
         MAKELPARAM(w->client.right - w->client.left, w->client.bottom - w->client.top));
    Send(hwnd, WM_MOVE, 0, MAKELPARAM(w->client.left, w->client.top));
}

}  // namespace qor::user

using namespace qor::user;

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return FALSE;
    if (!rect) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    const POINT o = WindowOriginOnScreen(*w);
    *rect = RECT{o.x, o.y, o.x + (w->window.right - w->window.left), o.y + (w->window.bottom - w->window.top)};
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return FALSE;
    if (!rect) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    *rect = RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT pt)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w || !pt) return FALSE;
    const POINT o = ClientOriginOnScreen(*w);
    pt->x += o.x;
    pt->y += o.y;
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT pt)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w || !pt) return FALSE;
    const POINT o = ClientOriginOnScreen(*w);
    pt->x -= o.x;
    pt->y -= o.y;
    return TRUE;
}

// Right-to-left layouts are not mirrored on this platform, so no point pair is swapped.
int WINAPI MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count)
{
    POINT origin{};
    if (from) {
        WindowPtr w = LookupWindowOrFail(from);
        if (!w) return 0;
        const POINT o = ClientOriginOnScreen(*w);
        origin.x += o.x;
        origin.y += o.y;
    }
    if (to) {
        WindowPtr w = LookupWindowOrFail(to);
        if (!w) return 0;
        const POINT o = ClientOriginOnScreen(*w);
        origin.x -= o.x;
        origin.y -= o.y;
    }
    for (UINT i = 0; points && i < count; ++i) {
        points[i].x += origin.x;
        points[i].y += origin.y;
    }
    SetLastError(ERROR_SUCCESS);
    return MAKELONG(static_cast<WORD>(origin.x), static_cast<WORD>(origin.y));
}

BOOL WINAPI SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return FALSE;
    const RECT oldWindow = w->window;
    const RECT oldClient = w->client;
    const bool wasVisible = (w->style & WS_VISIBLE) != 0;
    WINDOWPOS pos{hwnd, insertAfter, x, y, std::max(cx, 0), std::max(cy, 0), flags};
    if (flags & SWP_NOMOVE) {
        pos.x = oldWindow.left;
        pos.y = oldWindow.top;
    }
    if (flags & SWP_NOSIZE) {
        pos.cx = oldWindow.right - oldWindow.left;
        pos.cy = oldWindow.bottom - oldWindow.top;
    }
    if (pos.x == oldWindow.left && pos.y == oldWindow.top) pos.flags |= SWP_NOMOVE;
    if (pos.cx == oldWindow.right - oldWindow.left && pos.cy == oldWindow.bottom - oldWindow.top) pos.flags |= SWP_NOSIZE;
    if (wasVisible) pos.flags &= ~SWP_SHOWWINDOW;
    else pos.flags &= ~SWP_HIDEWINDOW;

    if (!(pos.flags & SWP_NOSENDCHANGING)) {
        Send(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
        if (!LookupWindow(hwnd)) return FALSE;
        pos.cx = std::max(pos.cx, 0);
        pos.cy = std::max(pos.cy, 0);
    }
    RECT newWindow = oldWindow;
    if (!(pos.flags & SWP_NOMOVE)) OffsetRect(&newWindow, pos.x - oldWindow.left, pos.y - oldWindow.top);
    if (!(pos.flags & SWP_NOSIZE)) {
        newWindow.right = newWindow.left + pos.cx;
        newWindow.bottom = newWindow.top + pos.cy;
    }
    const bool sized = (newWindow.right - newWindow.left != oldWindow.right - oldWindow.left) ||
                       (newWindow.bottom - newWindow.top != oldWindow.bottom - oldWindow.top);
    RECT newClient = Offset(oldClient, newWindow.left - oldWindow.left, newWindow.top - oldWindow.top);
    w->window = newWindow;
    if (sized || (pos.flags & SWP_FRAMECHANGED)) {
        NCCALCSIZE_PARAMS params{{newWindow, oldWindow, oldClient}, &pos};
        Send(hwnd, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&params));
        if (!LookupWindow(hwnd)) return FALSE;
        newClient = params.rgrc[0];
    }
    w->client = newClient;

    if (!(pos.flags & SWP_NOZORDER)) {
        std::vector<HWND>& list = w->parent ? LookupWindow(w->parent)->children : TopLevelWindows();
        list.erase(std::remove(list.begin(), list.end(), hwnd), list.end());
        auto at = list.begin();
        if (insertAfter == HWND_BOTTOM) {
            at = list.end();
        } else if (insertAfter != HWND_TOP && insertAfter != HWND_TOPMOST && insertAfter != HWND_NOTOPMOST) {
            auto it = std::find(list.begin(), list.end(), insertAfter);
            at = it == list.end() ? list.begin() : it + 1;
        }
        list.insert(at, hwnd);
    }
    if (pos.flags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
    if (pos.flags & SWP_HIDEWINDOW) w->style &= ~WS_VISIBLE;
    if (!w->parent && sized) ResizeSurface(*w);

    // Repainting: Windows copies the pixels that stay visible; here a moved or resized window
    // is repainted whole (CS_HREDRAW/CS_VREDRAW or not), and the parent repaints what the
    // window uncovered.
    const bool moved = newWindow.left != oldWindow.left || newWindow.top != oldWindow.top;
    const bool visibleNow = (w->style & WS_VISIBLE) != 0;
    if (!(pos.flags & SWP_NOREDRAW)) {
        if (visibleNow && (sized || moved || (pos.flags & (SWP_SHOWWINDOW | SWP_FRAMECHANGED)))) {
            DrawNonClient(*w);
            InvalidateArea(*w, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        }
        WindowPtr parent = LookupWindow(w->parent);
        if (parent && wasVisible && (!visibleNow || sized || moved)) {
            InvalidateArea(*parent, &oldWindow, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        }
    }

    if (newClient.right - newClient.left == oldClient.right - oldClient.left &&
        newClient.bottom - newClient.top == oldClient.bottom - oldClient.top)
        pos.flags |= kSwpNoClientSize;
    if (newClient.left == oldClient.left && newClient.top == oldClient.top) pos.flags |= kSwpNoClientMove;
    pos.x = newWindow.left;
    pos.y = newWindow.top;
    pos.cx = newWindow.right - newWindow.left;
    pos.cy = newWindow.bottom - newWindow.top;
    Send(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint)
{
    return SetWindowPos(hwnd, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

HWND WINAPI WindowFromPoint(POINT pt)
{
    return WindowAtPoint(pt);
}

HWND WINAPI ChildWindowFromPointEx(HWND hwnd, POINT pt, UINT flags)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return nullptr;
    const RECT client{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
    if (!PtInRect(&client, pt)) return nullptr;
    for (HWND child : w->children) {
        WindowPtr c = LookupWindow(child);
        if (!c) continue;
        if ((flags & CWP_SKIPINVISIBLE) && !(c->style & WS_VISIBLE)) continue;
        if ((flags & CWP_SKIPDISABLED) && (c->style & WS_DISABLED)) continue;
        if ((flags & CWP_SKIPTRANSPARENT) && (c->exStyle & WS_EX_TRANSPARENT)) continue;
        if (PtInRect(&c->window, pt)) return child;
    }
    return hwnd;
}

HWND WINAPI ChildWindowFromPoint(HWND hwnd, POINT pt)
{
    return ChildWindowFromPointEx(hwnd, pt, CWP_ALL);
}
