// The default window procedure and CallWindowProcW.
#include "user_private.h"

#include <algorithm>

#include <winbase.h>
#include <wingdi.h>

namespace qor::user {
namespace {

LPCWSTR CursorForHit(LRESULT hit)
{
    switch (hit) {
    case HTLEFT:
    case HTRIGHT:
        return IDC_SIZEWE;
    case HTTOP:
    case HTBOTTOM:
        return IDC_SIZENS;
    case HTTOPLEFT:
    case HTBOTTOMRIGHT:
        return IDC_SIZENWSE;
    case HTTOPRIGHT:
    case HTBOTTOMLEFT:
        return IDC_SIZENESW;
    default:
        return IDC_ARROW;
    }
}

// The parent decides first; then the class cursor in the client area, a sizing cursor on
// the borders, the arrow elsewhere.
LRESULT OnSetCursor(Window& w, WPARAM wParam, LPARAM lParam)
{
    if ((w.style & WS_CHILD) && w.parent && Send(w.parent, WM_SETCURSOR, wParam, lParam)) return TRUE;
    const LRESULT hit = static_cast<SHORT>(LOWORD(lParam));
    if (hit == HTCLIENT) {
        if (!w.cls->cursor) return FALSE;
        SetCursor(w.cls->cursor);
        return TRUE;
    }
    if (hit == HTERROR) return FALSE;
    SetCursor(SystemCursor(CursorForHit(hit)));
    return TRUE;
}

// The class brush, which may also be a system colour index + 1 as on Windows.
LRESULT OnEraseBackground(Window& w, HDC hdc)
{
    HBRUSH brush = w.cls->background;
    if (!brush || !hdc) return 0;
    const RECT client{0, 0, w.client.right - w.client.left, w.client.bottom - w.client.top};
    const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(brush);
    if (value <= COLOR_BTNHIGHLIGHT + 1) {
        HBRUSH solid = CreateSolidBrush(GetSysColor(static_cast<int>(value) - 1));
        FillRect(hdc, &client, solid);
        DeleteObject(solid);
    } else {
        FillRect(hdc, &client, brush);
    }
    return 1;
}

}  // namespace
}  // namespace qor::user

using namespace qor::user;

LRESULT WINAPI DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    WindowPtr w = LookupWindow(hwnd);
    if (!w) return 0;
    switch (msg) {
    case WM_NCCREATE: {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) w->text = cs->lpszName;
        return TRUE;
    }
    case WM_NCCALCSIZE: {
        if (!lParam) return 0;
        RECT* rc = wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0] : reinterpret_cast<RECT*>(lParam);
        ComputeClientRect(*w, *rc, rc);
        return 0;
    }
    case WM_NCHITTEST:
        return HitTest(*w, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    case WM_SETCURSOR:
        return OnSetCursor(*w, wParam, lParam);
    case WM_ERASEBKGND:
        return OnEraseBackground(*w, reinterpret_cast<HDC>(wParam));
    case WM_PAINT: {
        PAINTSTRUCT ps;
        if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_PRINT:
        if ((lParam & PRF_CHECKVISIBLE) && !IsWindowVisible(hwnd)) return 0;
        if (lParam & PRF_ERASEBKGND) Send(hwnd, WM_ERASEBKGND, wParam, 0);
        if (lParam & PRF_CLIENT) Send(hwnd, WM_PRINTCLIENT, wParam, lParam);
        return 0;
    case WM_WINDOWPOSCHANGED: {
        const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
        if (!pos) return 0;
        if (!(pos->flags & kSwpNoClientMove)) Send(hwnd, WM_MOVE, 0, MAKELPARAM(w->client.left, w->client.top));
        if (!(pos->flags & kSwpNoClientSize) && LookupWindow(hwnd))
            Send(hwnd, WM_SIZE, SIZE_RESTORED,
                 MAKELPARAM(w->client.right - w->client.left, w->client.bottom - w->client.top));
        return 0;
    }
    case WM_NCLBUTTONDOWN:
        ClickScrollBar(hwnd, static_cast<LRESULT>(wParam), POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_CANCELMODE:
        if (GetCapture() == hwnd) ReleaseCapture();
        return 0;
    case WM_SETTEXT:
        w->text = lParam ? std::u16string(reinterpret_cast<LPCWSTR>(lParam)) : std::u16string();
        return TRUE;
    case WM_GETTEXT: {
        auto* buffer = reinterpret_cast<LPWSTR>(lParam);
        if (!buffer || wParam == 0) return 0;
        const size_t n = std::min<size_t>(wParam - 1, w->text.size());
        std::copy_n(w->text.data(), n, buffer);
        buffer[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->text.size());
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
        if ((w->style & WS_CHILD) && w->parent) return Send(w->parent, msg, wParam, lParam);
        return 0;
    default:
        return 0;
    }
}

LRESULT WINAPI CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}
