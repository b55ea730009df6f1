// Window classes, creation and destruction order, window values, subclassing, properties
// and registered messages, as Windows behaves.
#include "user_test_util.h"

namespace {

using namespace usertest;

class Windows : public UserTest {};

TEST_F(Windows, CreatingAVisibleChildSendsTheWindowsSequence)
{
    HWND parent = CreateQuiet("parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 20, 300, 200);
    ASSERT_TRUE(parent);
    HWND child = Create("child", WS_CHILD | WS_VISIBLE, 5, 6, 100, 50, parent, 0, 42);
    ASSERT_TRUE(child);
    EXPECT_TRUE(Recorder::Get().Matches({
        {"child", WM_NCCREATE},
        {"child", WM_NCCALCSIZE, true, FALSE},
        {"child", WM_CREATE},
        {"child", WM_SIZE, true, SIZE_RESTORED},
        {"child", WM_MOVE},
        {"parent", WM_PARENTNOTIFY, true, MAKEWPARAM(WM_CREATE, 42)},
        {"child", WM_SHOWWINDOW, true, TRUE},
        {"child", WM_WINDOWPOSCHANGING},
        {"child", WM_WINDOWPOSCHANGED},
    }));
    EXPECT_TRUE(IsWindowVisible(child));
    EXPECT_EQ(42, GetDlgCtrlID(child));
}

TEST_F(Windows, CreatingATopLevelWindowAsksForItsSizeLimitsFirst)
{
    HWND top = Create("top", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100);
    ASSERT_TRUE(top);
    // No WM_SHOWWINDOW: the window was created hidden.
    EXPECT_TRUE(Recorder::Get().Matches({{"top", WM_GETMINMAXINFO}, {"top", WM_NCCREATE}, {"top", WM_NCCALCSIZE},
                                         {"top", WM_CREATE}, {"top", WM_SIZE}, {"top", WM_MOVE}, }));
    const std::vector<UINT> sent = Recorder::Get().MessagesOf(top);
    EXPECT_EQ(sent.end(), std::find(sent.begin(), sent.end(), static_cast<UINT>(WM_SHOWWINDOW)));
}

TEST_F(Windows, CreateStructCarriesTheArgumentsAndSizeAndMoveTheClientArea)
{
    static CREATESTRUCTW seen;
    static LPARAM sizeParam, moveParam;
    ASSERT_TRUE(RegisterTestClass(u"QorTestCreateStruct", [](HWND hwnd, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        if (msg == WM_CREATE) seen = *reinterpret_cast<CREATESTRUCTW*>(l);
        if (msg == WM_SIZE) sizeParam = l;
        if (msg == WM_MOVE) moveParam = l;
        return DefWindowProcW(hwnd, msg, w, l);
    }));
    HWND parent = CreateQuiet("parent", WS_POPUP, 0, 0, 300, 200);
    int marker = 0;
    HWND child = CreateWindowExW(WS_EX_CLIENTEDGE, u"QorTestCreateStruct", u"name", WS_CHILD, 7, 8, 60, 40, parent,
                                 reinterpret_cast<HMENU>(9), nullptr, &marker);
    ASSERT_TRUE(child);
    EXPECT_EQ(&marker, seen.lpCreateParams);
    EXPECT_EQ(parent, seen.hwndParent);
    EXPECT_EQ((std::vector<int>{7, 8, 60, 40}), (std::vector<int>{seen.x, seen.y, seen.cx, seen.cy}));
    EXPECT_EQ(static_cast<DWORD>(WS_EX_CLIENTEDGE), seen.dwExStyle);
    // WS_EX_CLIENTEDGE takes 2 pixels on every side.
    EXPECT_EQ(MAKELPARAM(56, 36), sizeParam);
    EXPECT_EQ(MAKELPARAM(9, 10), moveParam);
    WCHAR text[16];
    EXPECT_EQ(4, GetWindowTextW(child, text, 16));
    EXPECT_EQ(std::u16string(u"name"), std::u16string(text));
    DestroyWindow(child);
    EXPECT_TRUE(UnregisterClassW(u"QorTestCreateStruct", nullptr));
}

TEST_F(Windows, CreateReturningMinusOneFailsAndDestroysTheWindow)
{
    static HWND failed = nullptr;
    static std::vector<UINT> messages;
    messages.clear();
    ASSERT_TRUE(RegisterTestClass(u"QorTestFailingCreate", [](HWND hwnd, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        failed = hwnd;
        messages.push_back(msg);
        if (msg == WM_CREATE) return -1;
        return DefWindowProcW(hwnd, msg, w, l);
    }));
    EXPECT_EQ(nullptr, CreateWindowExW(0, u"QorTestFailingCreate", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                       nullptr, nullptr));
    EXPECT_FALSE(IsWindow(failed));
    const std::vector<UINT> tail(messages.end() - 3, messages.end());
    EXPECT_EQ((std::vector<UINT>{WM_CREATE, WM_DESTROY, WM_NCDESTROY}), tail);
    EXPECT_TRUE(UnregisterClassW(u"QorTestFailingCreate", nullptr));
}

TEST_F(Windows, DestroyingAParentDestroysChildrenInWindowsOrder)
{
    HWND parent = CreateQuiet("parent", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200);
    HWND child = CreateQuiet("child", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, parent);
    HWND grandchild = CreateQuiet("grandchild", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, child);
    ASSERT_TRUE(DestroyWindow(parent));
    EXPECT_TRUE(Recorder::Get().Matches({
        {"parent", WM_WINDOWPOSCHANGING},
        {"parent", WM_WINDOWPOSCHANGED},
        {"parent", WM_DESTROY},
        {"child", WM_DESTROY},
        {"grandchild", WM_DESTROY},
        {"grandchild", WM_NCDESTROY},
        {"child", WM_NCDESTROY},
        {"parent", WM_NCDESTROY},
    }));
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(IsWindow(grandchild));
    SetLastError(0);
    EXPECT_FALSE(DestroyWindow(parent));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
}

TEST_F(Windows, DestroyingAVisibleChildNotifiesTheParentAndHidesItFirst)
{
    HWND parent = CreateQuiet("parent", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200);
    HWND child = CreateQuiet("child", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, parent);
    ASSERT_TRUE(DestroyWindow(child));
    EXPECT_TRUE(Recorder::Get().Matches({
        {"parent", WM_PARENTNOTIFY, true, MAKEWPARAM(WM_DESTROY, 0)},
        {"child", WM_SHOWWINDOW, true, FALSE},
        {"child", WM_WINDOWPOSCHANGING},
        {"child", WM_WINDOWPOSCHANGED},
        {"child", WM_DESTROY},
        {"child", WM_NCDESTROY},
    }));
    EXPECT_EQ(nullptr, GetWindow(parent, GW_CHILD));
}

TEST_F(Windows, ClassRegistrationErrors)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc) - 1;
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"QorTestClassErrors";
    SetLastError(0);
    EXPECT_EQ(0, RegisterClassExW(&wc));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    wc.cbSize = sizeof(wc);
    const ATOM atom = RegisterClassExW(&wc);
    EXPECT_GE(atom, 0xC000);
    wc.lpszClassName = u"QORTESTCLASSERRORS";  // class names compare without case
    EXPECT_EQ(0, RegisterClassExW(&wc));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS), GetLastError());

    HWND w = CreateWindowExW(0, MAKEINTRESOURCEW(atom), u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(w);
    WCHAR name[64];
    EXPECT_EQ(18, GetClassNameW(w, name, 64));
    EXPECT_FALSE(UnregisterClassW(u"QorTestClassErrors", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS), GetLastError());
    DestroyWindow(w);
    EXPECT_TRUE(UnregisterClassW(u"qortestclasserrors", nullptr));
    EXPECT_FALSE(UnregisterClassW(u"QorTestClassErrors", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST), GetLastError());

    EXPECT_EQ(nullptr, CreateWindowExW(0, u"NoSuchClass", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS), GetLastError());
    EXPECT_EQ(nullptr, Create("orphan", WS_CHILD, 0, 0, 1, 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD), GetLastError());
    EXPECT_EQ(nullptr, Create("bad parent", WS_CHILD, 0, 0, 1, 1, reinterpret_cast<HWND>(0x1234)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
}

TEST_F(Windows, TreeNavigationFollowsCreationOrder)
{
    HWND parent = CreateQuiet("parent", WS_POPUP, 0, 0, 100, 100);
    HWND first = CreateQuiet("first", WS_CHILD, 0, 0, 10, 10, parent);
    HWND second = CreateQuiet("second", WS_CHILD, 0, 0, 10, 10, parent);
    HWND inner = CreateQuiet("inner", WS_CHILD, 0, 0, 5, 5, second);
    EXPECT_EQ(first, GetWindow(parent, GW_CHILD));
    EXPECT_EQ(second, GetWindow(first, GW_HWNDNEXT));
    EXPECT_EQ(first, GetWindow(second, GW_HWNDPREV));
    EXPECT_EQ(nullptr, GetWindow(second, GW_HWNDNEXT));
    EXPECT_EQ(parent, GetParent(first));
    EXPECT_EQ(nullptr, GetParent(parent));
    EXPECT_TRUE(IsChild(parent, inner));
    EXPECT_FALSE(IsChild(first, inner));
    EXPECT_EQ(parent, GetAncestor(inner, GA_ROOT));
    // SetWindowPos moves a window in the z-order.
    SetWindowPos(second, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(second, GetWindow(parent, GW_CHILD));
}

TEST_F(Windows, WindowValuesAndTheirErrors)
{
    HWND w = CreateQuiet("w", WS_POPUP | WS_VSCROLL, 0, 0, 100, 100);
    EXPECT_EQ(static_cast<LONG>(WS_POPUP | WS_VSCROLL), GetWindowLongW(w, GWL_STYLE));
    EXPECT_EQ(0, SetWindowLongPtrW(w, GWLP_USERDATA, 0x1234567890LL));
    EXPECT_EQ(0x1234567890LL, GetWindowLongPtrW(w, GWLP_USERDATA));
    // 64-bit Windows: the window procedure is not reachable through the 32-bit functions.
    SetLastError(0);
    EXPECT_EQ(0, GetWindowLongW(w, GWLP_WNDPROC));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_INDEX), GetLastError());
    SetLastError(0);
    EXPECT_EQ(0, SetWindowLongW(w, GWLP_WNDPROC, 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_INDEX), GetLastError());
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(RecordingProc), GetWindowLongPtrW(w, GWLP_WNDPROC));
    SetLastError(0);
    EXPECT_EQ(0, GetWindowLongPtrW(w, 0));  // the class has no extra bytes
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_INDEX), GetLastError());

    Recorder::Get().Clear();
    EXPECT_EQ(0, SetWindowLongW(w, GWL_EXSTYLE, WS_EX_LEFTSCROLLBAR));
    EXPECT_EQ(WS_EX_LEFTSCROLLBAR, GetWindowLongW(w, GWL_EXSTYLE));
    EXPECT_TRUE(Recorder::Get().Matches({{"w", WM_STYLECHANGING, true, static_cast<WPARAM>(GWL_EXSTYLE)},
                                         {"w", WM_STYLECHANGED, true, static_cast<WPARAM>(GWL_EXSTYLE)}}));
    // The frame is not recomputed until SWP_FRAMECHANGED, as on Windows: the client area
    // keeps the bar on the right.
    POINT origin{0, 0};
    ClientToScreen(w, &origin);
    EXPECT_EQ(0, origin.x);
    SetWindowPos(w, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
    origin = POINT{0, 0};
    ClientToScreen(w, &origin);
    EXPECT_EQ(17, origin.x);
}

// Three procedures chained with SetWindowLongPtrW(GWLP_WNDPROC) and CallWindowProcW.
WNDPROC g_prevOuter = nullptr;
WNDPROC g_prevInner = nullptr;
std::vector<std::string> g_chain;

LRESULT CALLBACK InnerProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l)
{
    if (msg == WM_APP) g_chain.push_back("inner");
    return CallWindowProcW(g_prevInner, hwnd, msg, w, l);
}

LRESULT CALLBACK OuterProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l)
{
    if (msg == WM_APP) {
        g_chain.push_back("outer");
        return CallWindowProcW(g_prevOuter, hwnd, msg, w, l) + 100;
    }
    return CallWindowProcW(g_prevOuter, hwnd, msg, w, l);
}

TEST_F(Windows, SubclassingChainsThroughCallWindowProc)
{
    HWND w = CreateQuiet("w", WS_POPUP, 0, 0, 10, 10);
    Handlers()[w] = [](HWND, UINT msg, WPARAM, LPARAM, LRESULT* result) {
        if (msg != WM_APP) return false;
        g_chain.push_back("original");
        *result = 7;
        return true;
    };
    g_chain.clear();
    g_prevInner = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(InnerProc)));
    EXPECT_EQ(RecordingProc, g_prevInner);
    g_prevOuter = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OuterProc)));
    EXPECT_EQ(InnerProc, g_prevOuter);
    EXPECT_EQ(107, SendMessageW(w, WM_APP, 0, 0));
    EXPECT_EQ((std::vector<std::string>{"outer", "inner", "original"}), g_chain);
    // Unhooking restores the previous procedure and returns the one removed.
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(OuterProc), SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_prevOuter)));
    g_chain.clear();
    EXPECT_EQ(7, SendMessageW(w, WM_APP, 0, 0));
    EXPECT_EQ((std::vector<std::string>{"inner", "original"}), g_chain);
    EXPECT_EQ(0, CallWindowProcW(nullptr, w, WM_APP, 0, 0));
}

TEST_F(Windows, PropertiesAndRegisteredMessagesCompareWithoutCase)
{
    HWND w = CreateQuiet("w", WS_POPUP, 0, 0, 10, 10);
    int a = 0, b = 0;
    EXPECT_TRUE(SetPropW(w, u"Owner", &a));
    EXPECT_EQ(&a, GetPropW(w, u"OWNER"));
    EXPECT_TRUE(SetPropW(w, u"owner", &b));
    EXPECT_EQ(&b, RemovePropW(w, u"Owner"));
    EXPECT_EQ(nullptr, GetPropW(w, u"Owner"));
    EXPECT_EQ(nullptr, RemovePropW(w, u"Owner"));
    const UINT crop = RegisterWindowMessageW(u"GetCrop for QOR");
    EXPECT_GE(crop, 0xC000u);
    EXPECT_LE(crop, 0xFFFFu);
    EXPECT_EQ(crop, RegisterWindowMessageW(u"GetCrop for QOR"));
    EXPECT_EQ(crop, RegisterWindowMessageW(u"getcrop FOR qor"));
    EXPECT_EQ(crop, RegisterWindowMessageA("GetCrop for QOR"));
    const UINT fonts = RegisterWindowMessageA("QOR Fonts Change");
    EXPECT_NE(crop, fonts);
    EXPECT_EQ(fonts, RegisterWindowMessageW(u"QOR Fonts Change"));
    SetLastError(0);
    EXPECT_EQ(0u, RegisterWindowMessageW(u""));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(0u, RegisterWindowMessageW(nullptr));
}

TEST_F(Windows, EnableAndShowReportThePreviousState)
{
    HWND w = CreateQuiet("w", WS_POPUP, 0, 0, 10, 10);
    EXPECT_FALSE(ShowWindow(w, SW_SHOW));
    EXPECT_TRUE(ShowWindow(w, SW_SHOW));
    EXPECT_TRUE(ShowWindow(w, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(w));
    Recorder::Get().Clear();
    EXPECT_FALSE(EnableWindow(w, FALSE));
    EXPECT_FALSE(IsWindowEnabled(w));
    EXPECT_TRUE(EnableWindow(w, TRUE));
    EXPECT_TRUE(Recorder::Get().Matches({{"w", WM_CANCELMODE}, {"w", WM_ENABLE, true, FALSE}, {"w", WM_ENABLE, true, TRUE}}));
}

}  // namespace
