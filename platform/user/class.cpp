// Window classes: registration, lookup by name or atom, class information.
#include "user_private.h"

#include <algorithm>

#include <winbase.h>

namespace qor::user {
namespace {

// Registered classes; registration and window creation run on the UI thread.
std::vector<std::shared_ptr<WindowClass>>& Classes()
{
    static std::vector<std::shared_ptr<WindowClass>> classes;
    return classes;
}

bool NameOf(LPCWSTR name, std::u16string* out)
{
    if (!name) return false;
    if (IS_INTRESOURCE(name)) return FindAtomName(static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name)), out);
    *out = name;
    return true;
}

bool Matches(const WindowClass& c, const std::u16string& folded)
{
    return FoldCase(c.name) == folded;
}

}  // namespace

// A module's own (local) class first, then a global class, then a local class of another
// module: this platform loads every module into one process and hosts pass their own
// instance handle, so the last step keeps CreateWindowExW from failing over a module handle.
std::shared_ptr<WindowClass> FindClass(LPCWSTR name, HINSTANCE instance)
{
    std::u16string text;
    if (!NameOf(name, &text)) return nullptr;
    const std::u16string folded = FoldCase(text);
    std::shared_ptr<WindowClass> global, other;
    for (const auto& c : Classes()) {
        if (!Matches(*c, folded)) continue;
        if (!(c->style & CS_GLOBALCLASS) && c->instance == instance) return c;
        if (c->style & CS_GLOBALCLASS) global = c;
        else if (!other) other = c;
    }
    return global ? global : other;
}

}  // namespace qor::user

using namespace qor::user;

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* wc)
{
    if (!wc || wc->cbSize != sizeof(WNDCLASSEXW) || wc->cbClsExtra < 0 || wc->cbWndExtra < 0 ||
        wc->cbClsExtra > 40000 || wc->cbWndExtra > 40000) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string name;
    if (!NameOf(wc->lpszClassName, &name) || name.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string folded = FoldCase(name);
    for (const auto& c : Classes()) {
        if (!Matches(*c, folded)) continue;
        const bool global = (c->style & CS_GLOBALCLASS) || (wc->style & CS_GLOBALCLASS);
        if (global || c->instance == wc->hInstance) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    }
    auto c = std::make_shared<WindowClass>();
    c->atom = AddAtom(name);
    if (!c->atom) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    c->name = name;
    c->style = wc->style;
    c->proc = wc->lpfnWndProc;
    c->clsExtra = wc->cbClsExtra;
    c->wndExtra = wc->cbWndExtra;
    c->instance = wc->hInstance;
    c->icon = wc->hIcon;
    c->iconSmall = wc->hIconSm;
    c->cursor = wc->hCursor;
    c->background = wc->hbrBackground;
    Classes().push_back(c);
    return c->atom;
}

ATOM WINAPI RegisterClassW(const WNDCLASSW* wc)
{
    if (!wc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WNDCLASSEXW ex{sizeof(WNDCLASSEXW), wc->style, wc->lpfnWndProc, wc->cbClsExtra, wc->cbWndExtra, wc->hInstance,
                   wc->hIcon, wc->hCursor, wc->hbrBackground, wc->lpszMenuName, wc->lpszClassName, nullptr};
    return RegisterClassExW(&ex);
}

BOOL WINAPI UnregisterClassW(LPCWSTR className, HINSTANCE instance)
{
    std::u16string name;
    if (!NameOf(className, &name)) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    const std::u16string folded = FoldCase(name);
    auto& classes = Classes();
    auto it = std::find_if(classes.begin(), classes.end(), [&](const auto& c) {
        return Matches(*c, folded) && (c->instance == instance || (c->style & CS_GLOBALCLASS));
    });
    if (it == classes.end()) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if ((*it)->windows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    classes.erase(it);
    return TRUE;
}

BOOL WINAPI GetClassInfoExW(HINSTANCE instance, LPCWSTR className, LPWNDCLASSEXW wc)
{
    if (!wc) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    auto c = FindClass(className, instance);
    if (!c) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    wc->style = c->style;
    wc->lpfnWndProc = c->proc;
    wc->cbClsExtra = c->clsExtra;
    wc->cbWndExtra = c->wndExtra;
    wc->hInstance = c->instance;
    wc->hIcon = c->icon;
    wc->hCursor = c->cursor;
    wc->hbrBackground = c->background;
    wc->lpszMenuName = nullptr;
    wc->lpszClassName = className;
    wc->hIconSm = c->iconSmall;
    return c->atom;
}

int WINAPI GetClassNameW(HWND hwnd, LPWSTR buffer, int count)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return 0;
    if (!buffer || count <= 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const int n = std::min<int>(count - 1, static_cast<int>(w->cls->name.size()));
    std::copy_n(w->cls->name.data(), n, buffer);
    buffer[n] = 0;
    return n;
}
