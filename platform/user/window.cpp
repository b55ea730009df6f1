// Window objects: creation and destruction, the window tree, window values, properties,
// text, visibility, enabling and the keyboard focus.
#include "user_private.h"

#include <unistd.h>

#include <algorithm>
#include <functional>

#include <winbase.h>

namespace qor::user {

HWND g_focus = nullptr;

bool IsVisibleChain(const Window& w)
{
    if (!(w.style & WS_VISIBLE)) return false;
    for (HWND p = w.parent; p;) {
        WindowPtr pw = LookupWindow(p);
        if (!pw || !(pw->style & WS_VISIBLE)) return false;
        p = pw->parent;
    }
    return true;
}

HWND TopLevelOf(HWND hwnd)
{
    for (WindowPtr w = LookupWindow(hwnd); w; w = LookupWindow(w->parent))
        if (!w->parent) return w->hwnd;
    return nullptr;
}

namespace {

// The value of type T among the window's extra bytes at a non-negative index, replaced by
// *pNew when given; 0 with ERROR_INVALID_INDEX when it does not fit.
template <typename T>
T ExchangeExtra(const WindowPtr& w, int index, const T* pNew)
{
    if (static_cast<size_t>(index) + sizeof(T) > w->extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    T old;
    std::memcpy(&old, w->extra.data() + index, sizeof(old));
    if (pNew) std::memcpy(w->extra.data() + index, pNew, sizeof(T));
    return old;
}

bool IsDescendantOrSelf(HWND ancestor, HWND hwnd)
{
    for (WindowPtr w = LookupWindow(hwnd); w; w = LookupWindow(w->parent))
        if (w->hwnd == ancestor) return true;
    return false;
}

std::vector<HWND>& SiblingsOf(const Window& w)
{
    if (w.parent) return LookupWindow(w.parent)->children;
    return TopLevelWindows();
}

void Unlink(const Window& w)
{
    if (w.parent) {
        WindowPtr parent = LookupWindow(w.parent);
        if (!parent) return;
        auto& list = parent->children;
        list.erase(std::remove(list.begin(), list.end(), w.hwnd), list.end());
    } else {
        auto& list = TopLevelWindows();
        list.erase(std::remove(list.begin(), list.end(), w.hwnd), list.end());
    }
}

void NotifyParents(const Window& w, UINT event)
{
    if (!(w.style & WS_CHILD) || (w.exStyle & WS_EX_NOPARENTNOTIFY) || !w.parent) return;
    Send(w.parent, WM_PARENTNOTIFY, MAKEWPARAM(event, static_cast<WORD>(w.id)), reinterpret_cast<LPARAM>(w.hwnd));
}

void SendDestroyMessages(HWND hwnd)
{
    Send(hwnd, WM_DESTROY, 0, 0);
    WindowPtr w = LookupWindow(hwnd);
    if (!w) return;
    const std::vector<HWND> children = w->children;
    for (HWND child : children)
        if (LookupWindow(child)) SendDestroyMessages(child);
}

// Children are freed before their parent, each with its WM_NCDESTROY.
void FreeWindow(HWND hwnd)
{
    WindowPtr w = LookupWindow(hwnd);
    if (!w) return;
    w->destroying = true;
    const std::vector<HWND> children = w->children;
    for (HWND child : children) FreeWindow(child);
    Send(hwnd, WM_NCDESTROY, 0, 0);
    ThreadQueue& queue = CurrentQueue();
    queue.timers.erase(std::remove_if(queue.timers.begin(), queue.timers.end(),
                                      [hwnd](const Timer& t) { return t.hwnd == hwnd; }),
                       queue.timers.end());
    RemoveWindowMessages(hwnd);
    ReleaseWindowDCs(hwnd);
    if (g_focus == hwnd) g_focus = nullptr;
    if (g_capture == hwnd) g_capture = nullptr;
    Unlink(*w);
    w->cls->windows--;
    RemoveWindow(hwnd);
}

}  // namespace

void ReleaseCaptureOf(HWND hwnd)
{
    if (g_capture && IsDescendantOrSelf(hwnd, g_capture)) ReleaseCapture();
}

}  // namespace qor::user

using namespace qor::user;

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND parentHandle, HMENU menu, HINSTANCE instance, LPVOID param)
{
    auto cls = FindClass(className, instance);
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if (parentHandle == HWND_MESSAGE) parentHandle = nullptr;  // message-only windows are plain hidden windows here
    WindowPtr parent;
    if (parentHandle) {
        parent = LookupWindowOrFail(parentHandle);
        if (!parent) return nullptr;
    } else if (style & WS_CHILD) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }

    auto w = std::make_shared<Window>();
    w->cls = cls;
    w->proc = cls->proc;
    w->instance = instance;
    w->extra.assign(static_cast<size_t>(cls->wndExtra), 0);
    w->thread = std::this_thread::get_id();
    CurrentQueue();  // other threads may post to the window from now on
    w->text = windowName && !IS_INTRESOURCE(windowName) ? std::u16string(windowName) : std::u16string();
    const bool child = (style & WS_CHILD) != 0;
    if (child) {
        w->parent = parentHandle;
        w->id = reinterpret_cast<LONG_PTR>(menu);
    } else {
        if (parentHandle) w->owner = GetAncestor(parentHandle, GA_ROOT);
        if (!(style & WS_POPUP)) style |= WS_CLIPSIBLINGS | WS_CAPTION;  // as Windows does for overlapped windows
    }
    // The window becomes visible through ShowWindow once it is created, as on Windows.
    const bool show = (style & WS_VISIBLE) != 0;
    w->style = style & ~WS_VISIBLE;
    w->exStyle = exStyle;
    w->bars[SB_HORZ].exists = (style & WS_HSCROLL) != 0;
    w->bars[SB_VERT].exists = (style & WS_VSCROLL) != 0;

    // CW_USEDEFAULT: top-level windows go to the screen's corner with three quarters of its
    // size (Windows cascades them); child windows get 0.
    const SIZE screen = CurrentBackend().ScreenSize();
    if (x == CW_USEDEFAULT) x = y = 0;
    if (width == CW_USEDEFAULT) {
        width = child ? 0 : screen.cx * 3 / 4;
        height = child ? 0 : screen.cy * 3 / 4;
    }
    width = std::max(width, 0);
    height = std::max(height, 0);
    const HWND hwnd = AddWindow(w);
    cls->windows++;

    if ((style & WS_THICKFRAME) || !(style & (WS_POPUP | WS_CHILD))) {
        MINMAXINFO info{};
        info.ptMaxSize = POINT{screen.cx, screen.cy};
        info.ptMaxTrackSize = POINT{0x7FFF, 0x7FFF};
        Send(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
        width = std::clamp<int>(width, info.ptMinTrackSize.x, std::max(info.ptMinTrackSize.x, info.ptMaxTrackSize.x));
        height = std::clamp<int>(height, info.ptMinTrackSize.y, std::max(info.ptMinTrackSize.y, info.ptMaxTrackSize.y));
    }
    if (!LookupWindow(hwnd)) return nullptr;
    w->window = RECT{x, y, x + width, y + height};
    w->client = w->window;
    if (!child) ResizeSurface(*w);

    CREATESTRUCTW cs{param, instance, menu, parentHandle, height, width, y, x, static_cast<LONG>(style),
                     windowName, className, exStyle};
    if (!Send(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        Send(hwnd, WM_NCDESTROY, 0, 0);
        cls->windows--;
        RemoveWindow(hwnd);
        return nullptr;
    }
    // Linked into the z-order after WM_NCCREATE: new child windows go to the bottom (so the
    // first child created is the first one GetWindow(GW_CHILD) returns), top-level windows
    // to the top.
    if (child) parent->children.push_back(hwnd);
    else TopLevelWindows().insert(TopLevelWindows().begin(), hwnd);

    RECT rc = w->window;
    Send(hwnd, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&rc));
    w->client = rc;
    if (Send(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (!LookupWindow(hwnd)) return nullptr;
    SendSizeAndMove(hwnd);
    NotifyParents(*w, WM_CREATE);
    if (!LookupWindow(hwnd)) return nullptr;
    if (show) ShowWindow(hwnd, SW_SHOW);
    return LookupWindow(hwnd) ? hwnd : nullptr;
}

BOOL WINAPI DestroyWindow(HWND hwnd)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return FALSE;
    if (w->thread != std::this_thread::get_id()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (w->destroying) return TRUE;
    w->destroying = true;
    NotifyParents(*w, WM_DESTROY);

    // Owned windows go first.
    const std::vector<HWND> tops = TopLevelWindows();
    for (HWND top : tops) {
        WindowPtr t = LookupWindow(top);
        if (t && t->owner == hwnd) DestroyWindow(top);
    }
    if (w->style & WS_VISIBLE) {
        if (w->style & WS_CHILD) {
            ShowWindow(hwnd, SW_HIDE);
        } else {
            SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                         SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    ReleaseCaptureOf(hwnd);
    if (g_focus && LookupWindow(g_focus) && IsChild(hwnd, g_focus)) g_focus = nullptr;
    SendDestroyMessages(hwnd);
    FreeWindow(hwnd);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hwnd)
{
    return LookupWindow(hwnd) ? TRUE : FALSE;
}

BOOL WINAPI IsWindowVisible(HWND hwnd)
{
    WindowPtr w = LookupWindow(hwnd);
    return w && IsVisibleChain(*w);
}

BOOL WINAPI IsWindowEnabled(HWND hwnd)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    return w && !(w->style & WS_DISABLED);
}

BOOL WINAPI IsChild(HWND parent, HWND hwnd)
{
    WindowPtr w = LookupWindow(hwnd);
    while (w && (w->style & WS_CHILD) && w->parent) {
        if (w->parent == parent) return TRUE;
        w = LookupWindow(w->parent);
    }
    return FALSE;
}

HWND WINAPI GetParent(HWND hwnd)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return nullptr;
    if (w->style & WS_CHILD) return w->parent;
    if (w->style & WS_POPUP) return w->owner;
    return nullptr;
}

HWND WINAPI GetAncestor(HWND hwnd, UINT flags)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return nullptr;
    switch (flags) {
    case GA_PARENT:
        return w->parent;
    case GA_ROOT:
        return TopLevelOf(hwnd);
    case GA_ROOTOWNER: {
        WindowPtr root = LookupWindow(TopLevelOf(hwnd));
        while (root && root->owner) root = LookupWindow(root->owner);
        return root ? root->hwnd : nullptr;
    }
    default:
        return nullptr;
    }
}

HWND WINAPI GetWindow(HWND hwnd, UINT cmd)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return nullptr;
    if (cmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
    if (cmd == GW_OWNER) return w->owner;
    if (cmd > GW_CHILD) {
        SetLastError(ERROR_INVALID_GW_COMMAND);
        return nullptr;
    }
    const std::vector<HWND>& list = SiblingsOf(*w);
    auto it = std::find(list.begin(), list.end(), hwnd);
    switch (cmd) {
    case GW_HWNDFIRST:
        return list.empty() ? nullptr : list.front();
    case GW_HWNDLAST:
        return list.empty() ? nullptr : list.back();
    case GW_HWNDNEXT:
        return it == list.end() || it + 1 == list.end() ? nullptr : *(it + 1);
    default:  // GW_HWNDPREV
        return it == list.end() || it == list.begin() ? nullptr : *(it - 1);
    }
}

HWND WINAPI GetDlgItem(HWND hwnd, int id)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return nullptr;
    for (HWND child : w->children) {
        WindowPtr c = LookupWindow(child);
        if (c && c->id == id) return child;
    }
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

int WINAPI GetDlgCtrlID(HWND hwnd)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    return w && (w->style & WS_CHILD) ? static_cast<int>(w->id) : 0;
}

DWORD WINAPI GetWindowThreadProcessId(HWND hwnd, LPDWORD processId)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return 0;
    if (processId) *processId = static_cast<DWORD>(getpid());
    return static_cast<DWORD>(std::hash<std::thread::id>{}(w->thread)) | 1;
}

LONG_PTR WINAPI GetWindowLongPtrW(HWND hwnd, int index)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return 0;
    if (index >= 0) return ExchangeExtra<LONG_PTR>(w, index, nullptr);
    switch (index) {
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
    case GWLP_USERDATA:
        return w->userData;
    case GWLP_ID:
        return w->id;
    case GWL_STYLE:
        return static_cast<LONG>(w->style);
    case GWL_EXSTYLE:
        return static_cast<LONG>(w->exStyle);
    default:
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
}

// A style change is announced with WM_STYLECHANGING, which may alter the new value, and
// confirmed with WM_STYLECHANGED. The frame is not recomputed until SetWindowPos is called
// with SWP_FRAMECHANGED, as on Windows.
static LONG_PTR ChangeStyle(const WindowPtr& w, int index, DWORD value)
{
    DWORD& field = index == GWL_STYLE ? w->style : w->exStyle;
    STYLESTRUCT change{field, value};
    Send(w->hwnd, WM_STYLECHANGING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&change));
    const DWORD old = field;
    if (!LookupWindow(w->hwnd)) return static_cast<LONG>(old);
    field = change.styleNew;
    change.styleOld = old;
    Send(w->hwnd, WM_STYLECHANGED, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&change));
    return static_cast<LONG>(old);
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return 0;
    LONG_PTR old = 0;
    if (index >= 0) return ExchangeExtra<LONG_PTR>(w, index, &value);
    switch (index) {
    case GWLP_WNDPROC:
        old = reinterpret_cast<LONG_PTR>(w->proc);
        w->proc = reinterpret_cast<WNDPROC>(value);
        return old;
    case GWLP_HINSTANCE:
        old = reinterpret_cast<LONG_PTR>(w->instance);
        w->instance = reinterpret_cast<HINSTANCE>(value);
        return old;
    case GWLP_HWNDPARENT:
        if (w->style & WS_CHILD) {  // SetParent's job, which this platform does not provide
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        old = reinterpret_cast<LONG_PTR>(w->owner);
        w->owner = reinterpret_cast<HWND>(value);
        return old;
    case GWLP_USERDATA:
        old = w->userData;
        w->userData = value;
        return old;
    case GWLP_ID:
        old = w->id;
        w->id = value;
        return old;
    case GWL_STYLE:
    case GWL_EXSTYLE:
        return ChangeStyle(w, index, static_cast<DWORD>(value));
    default:
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
}

// The LONG functions reach the 32-bit values only; the pointer-sized slots (window
// procedure, instance, parent) fail with ERROR_INVALID_INDEX, as on 64-bit Windows.
LONG WINAPI GetWindowLongW(HWND hwnd, int index)
{
    if (index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT) {
        if (LookupWindowOrFail(hwnd)) SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    if (index >= 0) {
        WindowPtr w = LookupWindowOrFail(hwnd);
        return w ? ExchangeExtra<LONG>(w, index, nullptr) : 0;
    }
    return static_cast<LONG>(GetWindowLongPtrW(hwnd, index));
}

LONG WINAPI SetWindowLongW(HWND hwnd, int index, LONG value)
{
    if (index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT) {
        if (LookupWindowOrFail(hwnd)) SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    if (index >= 0) {
        WindowPtr w = LookupWindowOrFail(hwnd);
        return w ? ExchangeExtra<LONG>(w, index, &value) : 0;
    }
    if (index == GWL_STYLE || index == GWL_EXSTYLE)
        return static_cast<LONG>(SetWindowLongPtrW(hwnd, index, static_cast<LONG_PTR>(static_cast<DWORD>(value))));
    return static_cast<LONG>(SetWindowLongPtrW(hwnd, index, value));
}

BOOL WINAPI SetWindowTextW(HWND hwnd, LPCWSTR text)
{
    if (!LookupWindowOrFail(hwnd)) return FALSE;
    return static_cast<BOOL>(Send(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

int WINAPI GetWindowTextW(HWND hwnd, LPWSTR buffer, int count)
{
    if (!buffer || count <= 0) return 0;
    buffer[0] = 0;
    if (!LookupWindowOrFail(hwnd)) return 0;
    return static_cast<int>(Send(hwnd, WM_GETTEXT, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(buffer)));
}

int WINAPI GetWindowTextLengthW(HWND hwnd)
{
    if (!LookupWindowOrFail(hwnd)) return 0;
    return static_cast<int>(Send(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

// Property names compare without regard to case, like the atoms Windows keeps them as.
static bool PropKey(LPCWSTR name, std::u16string* key)
{
    if (!name) return false;
    if (IS_INTRESOURCE(name)) {
        std::u16string atomName;
        if (!FindAtomName(static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name)), &atomName)) {
            *key = u"#" + std::u16string(1, static_cast<char16_t>(reinterpret_cast<ULONG_PTR>(name)));
            return true;
        }
        *key = FoldCase(atomName);
        return true;
    }
    *key = FoldCase(name);
    return true;
}

BOOL WINAPI SetPropW(HWND hwnd, LPCWSTR name, HANDLE data)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return FALSE;
    std::u16string key;
    if (!PropKey(name, &key)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    w->props[key] = data;
    return TRUE;
}

HANDLE WINAPI GetPropW(HWND hwnd, LPCWSTR name)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    std::u16string key;
    if (!w || !PropKey(name, &key)) return nullptr;
    auto it = w->props.find(key);
    return it == w->props.end() ? nullptr : it->second;
}

HANDLE WINAPI RemovePropW(HWND hwnd, LPCWSTR name)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    std::u16string key;
    if (!w || !PropKey(name, &key)) return nullptr;
    auto it = w->props.find(key);
    if (it == w->props.end()) return nullptr;
    HANDLE data = it->second;
    w->props.erase(it);
    return data;
}

BOOL WINAPI ShowWindow(HWND hwnd, int cmd)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return FALSE;
    if (cmd < SW_HIDE || cmd > 11) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const BOOL wasVisible = (w->style & WS_VISIBLE) != 0;
    const bool show = cmd != SW_HIDE;
    // Minimised and maximised states are not modelled: every other command shows the window.
    if (show == static_cast<bool>(wasVisible)) return wasVisible;
    Send(hwnd, WM_SHOWWINDOW, show, 0);
    if (!LookupWindow(hwnd)) return wasVisible;
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                 (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW) | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return wasVisible;
}

BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return FALSE;
    const BOOL wasDisabled = (w->style & WS_DISABLED) != 0;
    if (static_cast<bool>(enable) == !wasDisabled) return wasDisabled;
    if (!enable) {
        Send(hwnd, WM_CANCELMODE, 0, 0);
        if (g_focus && (g_focus == hwnd || IsChild(hwnd, g_focus))) SetFocus(nullptr);
        w->style |= WS_DISABLED;
    } else {
        w->style &= ~WS_DISABLED;
    }
    Send(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return wasDisabled;
}

HWND WINAPI SetFocus(HWND hwnd)
{
    if (hwnd && !LookupWindowOrFail(hwnd)) return nullptr;
    const HWND previous = g_focus;
    if (previous == hwnd) return previous;
    g_focus = hwnd;
    if (previous && LookupWindow(previous)) Send(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd && LookupWindow(hwnd) && g_focus == hwnd)
        Send(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    return previous;
}

HWND WINAPI GetFocus()
{
    return g_focus;
}
