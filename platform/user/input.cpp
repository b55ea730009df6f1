// Mouse and keyboard: injected input turned into messages, the cursor position and its
// confinement, the mouse capture and the key state.
#include "user_private.h"

#include <algorithm>
#include <cstdlib>

#include <winbase.h>

#include "qordisplay.h"
#include "qorheadless.h"

namespace qor::user {

HWND g_capture = nullptr;

namespace {

// Input state, as of the last input that happened. GetKeyState and GetAsyncKeyState both
// read it: input happens when the message loop takes it, so the two cannot differ here.
struct InputState {
    POINT cursor{};
    bool clipped = false;
    RECT clip{};
    BYTE keys[256]{};
    // The last button press, for double clicks.
    HWND clickWindow = nullptr;
    UINT clickMessage = 0;
    DWORD clickTime = 0;
    POINT clickPoint{};
};

InputState& S()
{
    static InputState state;
    return state;
}

RECT ScreenRect()
{
    const SIZE size = CurrentBackend().ScreenSize();
    return RECT{0, 0, size.cx, size.cy};
}

// The cursor stays inside the screen and the ClipCursor rectangle.
POINT Clamp(POINT pt)
{
    const RECT area = S().clipped ? S().clip : ScreenRect();
    pt.x = std::clamp<LONG>(pt.x, area.left, std::max(area.left, area.right - 1));
    pt.y = std::clamp<LONG>(pt.y, area.top, std::max(area.top, area.bottom - 1));
    return pt;
}

UINT ButtonKey(UINT message)
{
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        return VK_LBUTTON;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        return VK_RBUTTON;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
        return VK_MBUTTON;
    default:
        return 0;
    }
}

bool IsDown(UINT message)
{
    return message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN;
}

void SetKey(UINT vk, bool down)
{
    BYTE& key = S().keys[vk & 0xFF];
    if (down && !(key & 0x80)) key ^= 0x01;  // toggled on every press
    key = static_cast<BYTE>(down ? (key | 0x80) : (key & ~0x80));
}

WPARAM MouseKeys()
{
    const BYTE* k = S().keys;
    WPARAM flags = 0;
    if (k[VK_LBUTTON] & 0x80) flags |= MK_LBUTTON;
    if (k[VK_RBUTTON] & 0x80) flags |= MK_RBUTTON;
    if (k[VK_MBUTTON] & 0x80) flags |= MK_MBUTTON;
    if (k[VK_SHIFT] & 0x80) flags |= MK_SHIFT;
    if (k[VK_CONTROL] & 0x80) flags |= MK_CONTROL;
    return flags;
}

// A press becomes a double click when the window's class asks for them and the press
// repeats the last one within the double-click time and rectangle.
UINT DoubleClick(const Window& target, UINT message, POINT pt, DWORD now)
{
    InputState& s = S();
    const bool repeat = s.clickWindow == target.hwnd && s.clickMessage == message &&
                        now - s.clickTime <= GetDoubleClickTime() &&
                        std::abs(pt.x - s.clickPoint.x) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
                        std::abs(pt.y - s.clickPoint.y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2;
    if (repeat && (target.cls->style & CS_DBLCLKS)) {
        s.clickWindow = nullptr;
        return message + 2;  // WM_xBUTTONDOWN -> WM_xBUTTONDBLCLK
    }
    s.clickWindow = target.hwnd;
    s.clickMessage = message;
    s.clickTime = now;
    s.clickPoint = pt;
    return message;
}

// Lets a mouse event happen: moves the cursor, updates the buttons, finds the window
// (the capture, else the window under the cursor, asked with WM_NCHITTEST and told with
// WM_SETCURSOR) and builds its message. False when no window gets one.
bool CookMouse(const InputEvent& ev, MSG* msg)
{
    InputState& s = S();
    const POINT pt = Clamp(ev.pt);
    s.cursor = pt;
    if (UINT vk = ButtonKey(ev.message)) SetKey(vk, IsDown(ev.message));
    const DWORD now = CurrentBackend().Now();
    if (ev.message == WM_MOUSEWHEEL) {
        HWND target = g_focus && LookupWindow(g_focus) ? g_focus : WindowAtPoint(pt);
        if (!target) return false;
        *msg = MSG{target, WM_MOUSEWHEEL, MAKEWPARAM(MouseKeys(), static_cast<WORD>(ev.wheel)),
                   MAKELPARAM(pt.x, pt.y), now, pt, 0};
        return true;
    }
    HWND target = g_capture;
    LRESULT hit = HTCLIENT;
    if (!target) {
        target = WindowAtPoint(pt);
        if (!target) return false;
        hit = Send(target, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y));
        Send(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(static_cast<WORD>(hit), ev.message));
    }
    WindowPtr w = LookupWindow(target);
    if (!w) return false;
    UINT message = IsDown(ev.message) ? DoubleClick(*w, ev.message, pt, now) : ev.message;
    if (g_capture || hit == HTCLIENT) {
        const POINT o = ClientOriginOnScreen(*w);
        *msg = MSG{target, message, MouseKeys(), MAKELPARAM(pt.x - o.x, pt.y - o.y), now, pt, 0};
    } else {
        *msg = MSG{target, message - (WM_MOUSEMOVE - WM_NCMOUSEMOVE), static_cast<WPARAM>(hit),
                   MAKELPARAM(pt.x, pt.y), now, pt, 0};
    }
    return true;
}

void CookKey(const InputEvent& ev, MSG* msg)
{
    HWND target = g_focus && LookupWindow(g_focus) ? g_focus : nullptr;
    if (ev.message == WM_CHAR) {  // a character: no key changes state
        *msg = MSG{target, WM_CHAR, ev.vk, 1, CurrentBackend().Now(), S().cursor, 0};
        return;
    }
    const bool wasDown = (S().keys[ev.vk] & 0x80) != 0;
    const bool down = ev.message == WM_KEYDOWN;
    SetKey(ev.vk, down);
    LPARAM lParam = 1;
    if (wasDown) lParam |= 1L << 30;
    if (!down) lParam |= 0xC0000000L;
    *msg = MSG{target, ev.message, ev.vk, static_cast<LPARAM>(static_cast<DWORD>(lParam)), CurrentBackend().Now(),
               S().cursor, 0};
}

bool InRange(UINT msg, UINT first, UINT last)
{
    return (first == 0 && last == 0) || (msg >= first && msg <= last);
}

}  // namespace

// Input is taken strictly in order: a cooked message that the filter does not accept keeps
// the later input waiting (Windows would look past it).
bool TakeInput(ThreadQueue& queue, MSG* msg, HWND filter, UINT first, UINT last, bool remove)
{
    while (!queue.cooked) {
        if (queue.input.empty()) return false;
        const InputEvent ev = queue.input.front();
        if (ev.key) {
            CookKey(ev, &queue.cookedMsg);
            queue.cooked = true;
        } else if (CookMouse(ev, &queue.cookedMsg)) {
            queue.cooked = true;
        } else if (!queue.input.empty()) {
            queue.input.pop_front();  // nobody gets this one
        }
    }
    const MSG& m = queue.cookedMsg;
    const bool windowOk = !filter || (filter == reinterpret_cast<HWND>(-1) ? !m.hwnd : m.hwnd == filter || IsChild(filter, m.hwnd));
    if (!InRange(m.message, first, last) || !windowOk) return false;
    *msg = m;
    if (remove) {
        queue.cooked = false;
        if (!queue.input.empty()) queue.input.pop_front();
    }
    return true;
}

void QueueMouseMove()
{
    CurrentQueue().input.push_back(InputEvent{false, WM_MOUSEMOVE, S().cursor, 0, 0});
}

}  // namespace qor::user

using namespace qor::user;

HWND WINAPI SetCapture(HWND hwnd)
{
    if (hwnd && !LookupWindowOrFail(hwnd)) return nullptr;
    const HWND previous = g_capture && LookupWindow(g_capture) ? g_capture : nullptr;
    g_capture = hwnd;
    if (previous && previous != hwnd) Send(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    return previous;
}

BOOL WINAPI ReleaseCapture()
{
    const HWND previous = g_capture;
    g_capture = nullptr;
    if (previous && LookupWindow(previous)) Send(previous, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND WINAPI GetCapture()
{
    return g_capture && LookupWindow(g_capture) ? g_capture : nullptr;
}

BOOL WINAPI GetCursorPos(LPPOINT pt)
{
    if (!pt) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    *pt = S().cursor;
    return TRUE;
}

// Moves the cursor at once and, as on Windows, lets the windows see a mouse move there.
BOOL WINAPI SetCursorPos(int x, int y)
{
    S().cursor = Clamp(POINT{x, y});
    QueueMouseMove();
    return TRUE;
}

BOOL WINAPI ClipCursor(const RECT* rect)
{
    InputState& s = S();
    if (!rect) {
        s.clipped = false;
        return TRUE;
    }
    RECT clip = *rect;
    const RECT screen = ScreenRect();
    if (!IntersectRect(&clip, &clip, &screen)) clip = RECT{rect->left, rect->top, rect->left + 1, rect->top + 1};
    s.clip = clip;
    s.clipped = true;
    s.cursor = Clamp(s.cursor);
    return TRUE;
}

BOOL WINAPI GetClipCursor(LPRECT rect)
{
    if (!rect) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    *rect = S().clipped ? S().clip : ScreenRect();
    return TRUE;
}

SHORT WINAPI GetKeyState(int vk)
{
    const BYTE key = S().keys[vk & 0xFF];
    return static_cast<SHORT>(((key & 0x80) ? 0x8000 : 0) | (key & 0x01));
}

SHORT WINAPI GetAsyncKeyState(int vk)
{
    return static_cast<SHORT>((S().keys[vk & 0xFF] & 0x80) ? 0x8000 : 0);
}

UINT WINAPI GetDoubleClickTime()
{
    return 500;
}

BOOL WINAPI QorInjectMouse(UINT message, int x, int y, int wheelDelta)
{
    switch (message) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MOUSEWHEEL:
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    CurrentQueue().input.push_back(InputEvent{false, message, POINT{x, y}, wheelDelta, 0});
    return TRUE;
}

BOOL WINAPI QorInjectKey(UINT vk, BOOL down)
{
    if (vk < 1 || vk > 254) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    CurrentQueue().input.push_back(InputEvent{true, static_cast<UINT>(down ? WM_KEYDOWN : WM_KEYUP), {}, 0, vk});
    return TRUE;
}

BOOL WINAPI QorInjectChar(WCHAR ch)
{
    if (ch == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    CurrentQueue().input.push_back(InputEvent{true, WM_CHAR, {}, 0, ch});
    return TRUE;
}

void WINAPI QorResetInput()
{
    ThreadQueue& queue = CurrentQueue();
    queue.input.clear();
    queue.cooked = false;
    std::fill(std::begin(S().keys), std::end(S().keys), 0);
    S().clickWindow = nullptr;
}
