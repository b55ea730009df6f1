// Mouse and keyboard input through the headless backend: WM_SETCURSOR, capture, ClipCursor,
// key state, a modal drag loop; cursors and message boxes.
#include "user_test_util.h"

namespace {

using namespace usertest;

class Input : public UserTest {};

TEST_F(Input, SetCursorGoesToTheChildThenItsParentBeforeTheMove)
{
    HWND parent = CreateQuiet("parent", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100);
    HWND child = CreateQuiet("child", WS_CHILD | WS_VISIBLE, 10, 10, 50, 50, parent);
    Pump();
    Recorder::Get().Clear();
    QorInjectMouse(WM_MOUSEMOVE, 20, 25, 0);
    Pump();
    EXPECT_TRUE(Recorder::Get().Matches({
        {"child", WM_NCHITTEST},
        {"child", WM_SETCURSOR, true, reinterpret_cast<WPARAM>(child)},
        {"parent", WM_SETCURSOR, true, reinterpret_cast<WPARAM>(child)},
        {"child", WM_MOUSEMOVE},
    }));
    for (const Recorded& r : Recorder::Get().Log()) {
        if (r.message == WM_SETCURSOR) {
            EXPECT_EQ(MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), r.lParam);
        }
        if (r.message == WM_MOUSEMOVE) {
            EXPECT_EQ(MAKELPARAM(10, 15), r.lParam);
        }
    }
    POINT pt;
    GetCursorPos(&pt);
    EXPECT_EQ(20, pt.x);
    EXPECT_EQ(25, pt.y);
}

TEST_F(Input, TheClassCursorIsSetUnlessTheParentTakesWmSetCursor)
{
    ASSERT_TRUE(RegisterTestClass(u"QorTestCrossClass", DefWindowProcW, LoadCursorW(nullptr, IDC_CROSS)));
    HWND parent = CreateQuiet("parent", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100);
    HWND child = CreateWindowExW(0, u"QorTestCrossClass", u"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, parent, nullptr,
                                 nullptr, nullptr);
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    QorInjectMouse(WM_MOUSEMOVE, 5, 5, 0);
    Pump();
    EXPECT_EQ(LoadCursorW(nullptr, IDC_CROSS), QorGetCurrentCursor());

    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    Handlers()[parent] = [](HWND, UINT msg, WPARAM, LPARAM, LRESULT* result) {
        if (msg != WM_SETCURSOR) return false;
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        *result = TRUE;
        return true;
    };
    QorInjectMouse(WM_MOUSEMOVE, 6, 6, 0);
    Pump();
    EXPECT_EQ(LoadCursorW(nullptr, IDC_WAIT), QorGetCurrentCursor());
    DestroyWindow(child);
    UnregisterClassW(u"QorTestCrossClass", nullptr);
}

TEST_F(Input, OverAScrollBarTheMouseMessagesAreNonClient)
{
    CreateQuiet("w", WS_POPUP | WS_VISIBLE | WS_VSCROLL, 0, 0, 100, 100);
    Pump();
    Recorder::Get().Clear();
    QorInjectMouse(WM_MOUSEMOVE, 90, 50, 0);
    Pump();
    EXPECT_TRUE(Recorder::Get().Matches({{"w", WM_SETCURSOR}, {"w", WM_NCMOUSEMOVE, true, HTVSCROLL}}));
    const std::vector<UINT> sent = Recorder::Get().MessagesOf(Recorder::Get().Log().front().hwnd);
    EXPECT_EQ(sent.end(), std::find(sent.begin(), sent.end(), static_cast<UINT>(WM_MOUSEMOVE)));
}

TEST_F(Input, CaptureChangesAreAnnouncedToTheWindowLosingIt)
{
    HWND a = CreateQuiet("a", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    HWND b = CreateQuiet("b", WS_POPUP | WS_VISIBLE, 200, 0, 100, 100);
    EXPECT_EQ(nullptr, SetCapture(a));
    EXPECT_EQ(a, GetCapture());
    EXPECT_EQ(a, SetCapture(b));
    EXPECT_TRUE(ReleaseCapture());
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_TRUE(Recorder::Get().Matches({{"a", WM_CAPTURECHANGED}, {"b", WM_CAPTURECHANGED}}));
    const auto& log = Recorder::Get().Log();
    std::vector<LPARAM> params;
    for (const Recorded& r : log)
        if (r.message == WM_CAPTURECHANGED) params.push_back(r.lParam);
    EXPECT_EQ((std::vector<LPARAM>{reinterpret_cast<LPARAM>(b), 0}), params);

    // With the capture, mouse messages go to the capturing window in its client
    // coordinates, wherever the cursor is, and no WM_SETCURSOR is sent.
    Pump();
    SetCapture(a);
    Recorder::Get().Clear();
    QorInjectMouse(WM_MOUSEMOVE, 250, 50, 0);
    Pump();
    EXPECT_TRUE(Recorder::Get().Matches({{"a", WM_MOUSEMOVE}}));
    EXPECT_TRUE(Recorder::Get().MessagesOf(b).empty());
    ASSERT_FALSE(Recorder::Get().Log().empty());
    EXPECT_EQ(MAKELPARAM(250, 50), Recorder::Get().Log().back().lParam);
    ReleaseCapture();
}

TEST_F(Input, ClipCursorConfinesTheCursor)
{
    const RECT clip{100, 100, 200, 150};
    SetCursorPos(10, 10);
    ASSERT_TRUE(ClipCursor(&clip));
    POINT pt;
    GetCursorPos(&pt);
    EXPECT_EQ(100, pt.x);  // moved inside at once
    EXPECT_EQ(100, pt.y);
    QorInjectMouse(WM_MOUSEMOVE, 50, 300, 0);
    Pump();
    GetCursorPos(&pt);
    EXPECT_EQ(100, pt.x);
    EXPECT_EQ(149, pt.y);  // the right and bottom edges lie outside
    SetCursorPos(500, 120);
    GetCursorPos(&pt);
    EXPECT_EQ(199, pt.x);
    EXPECT_EQ(120, pt.y);
    RECT got;
    ASSERT_TRUE(GetClipCursor(&got));
    EXPECT_TRUE(EqualRect(&clip, &got));
    ASSERT_TRUE(ClipCursor(nullptr));
    GetClipCursor(&got);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), got.right);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), got.bottom);
    QorInjectMouse(WM_MOUSEMOVE, 50, 300, 0);
    Pump();
    GetCursorPos(&pt);
    EXPECT_EQ(50, pt.x);
    EXPECT_EQ(300, pt.y);
}

TEST_F(Input, ButtonStateChangesWhenTheInputIsTaken)
{
    HWND w = CreateQuiet("w", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    Pump();
    QorInjectMouse(WM_LBUTTONDOWN, 10, 10, 0);
    QorInjectMouse(WM_MOUSEMOVE, 12, 10, 0);
    EXPECT_FALSE(GetKeyState(VK_LBUTTON) & 0x8000);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_LBUTTONDOWN), msg.message);
    EXPECT_EQ(w, msg.hwnd);
    EXPECT_TRUE(GetKeyState(VK_LBUTTON) & 0x8000);
    EXPECT_TRUE(GetAsyncKeyState(VK_LBUTTON) & 0x8000);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE));
    EXPECT_EQ(static_cast<WPARAM>(MK_LBUTTON), msg.wParam);
    EXPECT_FALSE(QorInjectMouse(WM_KEYDOWN, 0, 0, 0));
    EXPECT_FALSE(QorInjectKey(0, TRUE));
}

// A drag loop shaped like a rectangle tracker's: capture, then GetMessageW until the
// button goes up, Escape is pressed or the capture is lost.
struct DragResult {
    std::vector<POINT> moves;
    const char* end = "";
};

DragResult g_drag;

LRESULT CALLBACK DragProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_LBUTTONDOWN) return DefWindowProcW(hwnd, msg, wParam, lParam);
    g_drag = DragResult{};
    if (GetCapture()) return 0;
    SetCapture(hwnd);
    MSG m;
    for (;;) {
        if (!GetMessageW(&m, nullptr, 0, 0)) {
            g_drag.end = "quit";
            break;
        }
        if (GetCapture() != hwnd) {
            g_drag.end = "capture lost";
            break;
        }
        if (m.message == WM_MOUSEMOVE) {
            g_drag.moves.push_back(POINT{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)});
        } else if (m.message == WM_LBUTTONUP) {
            g_drag.end = "button up";
            break;
        } else if (m.message == WM_KEYDOWN && m.wParam == VK_ESCAPE) {
            g_drag.end = "escape";
            break;
        } else if (m.message != WM_KEYDOWN) {
            DispatchMessageW(&m);
        }
    }
    if (GetCapture() == hwnd) ReleaseCapture();
    return 0;
}

class DragLoop : public UserTest {
protected:
    HWND MakeDragWindow()
    {
        RegisterTestClass(u"QorTestDrag", DragProc);
        HWND w = CreateWindowExW(0, u"QorTestDrag", u"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr,
                                 nullptr, nullptr);
        created_.push_back(w);
        return w;
    }
    static void RunUntilIdle()
    {
        MSG msg;
        int guard = 0;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0 && ++guard < 1000) DispatchMessageW(&msg);
        EXPECT_LT(guard, 1000);
    }
};

TEST_F(DragLoop, EndsWithTheButtonUpEscapeOrWhenTheInputRunsOut)
{
    // Each row: the input after the button goes down; how the loop ends; the last move seen.
    const struct {
        std::vector<std::pair<UINT, POINT>> input;
        bool clip;
        const char* end;
        size_t moves;
        POINT last;
    } cases[] = {
        // Outside the window the drag is still captured.
        {{{WM_MOUSEMOVE, {20, 15}}, {WM_MOUSEMOVE, {400, 15}}, {WM_LBUTTONUP, {400, 15}}}, false, "button up", 2,
         {400, 15}},
        {{{WM_MOUSEMOVE, {30, 40}}}, false, "capture lost", 1, {30, 40}},
        {{{WM_MOUSEMOVE, {120, 130}}, {WM_KEYDOWN, {}}, {WM_MOUSEMOVE, {5, 5}}}, true, "escape", 1, {49, 49}},
    };
    MakeDragWindow();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.end);
        QorInjectMouse(WM_LBUTTONDOWN, 10, 10, 0);
        const RECT clip{0, 0, 50, 50};
        ClipCursor(c.clip ? &clip : nullptr);
        for (const auto& [message, pt] : c.input) {
            if (message == WM_KEYDOWN)
                QorInjectKey(VK_ESCAPE, TRUE);
            else
                QorInjectMouse(message, pt.x, pt.y, 0);
        }
        RunUntilIdle();
        EXPECT_STREQ(c.end, g_drag.end);
        ASSERT_EQ(c.moves, g_drag.moves.size());
        EXPECT_EQ(c.last.x, g_drag.moves.back().x);
        EXPECT_EQ(c.last.y, g_drag.moves.back().y);
        EXPECT_EQ(nullptr, GetCapture());
        ClipCursor(nullptr);
        QorResetInput();
    }
}

TEST_F(Input, SystemAndModuleCursorsAreStableHandles)
{
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    ASSERT_TRUE(arrow);
    EXPECT_EQ(arrow, LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_NE(arrow, LoadCursorW(nullptr, IDC_CROSS));
    for (LPCWSTR id : {IDC_WAIT, IDC_SIZEALL, IDC_SIZENWSE, IDC_SIZENESW, IDC_SIZEWE, IDC_SIZENS, IDC_HAND, IDC_NO})
        EXPECT_TRUE(LoadCursorW(nullptr, id));
    SetLastError(0);
    EXPECT_EQ(nullptr, LoadCursorW(nullptr, MAKEINTRESOURCEW(105)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
    SetCursor(arrow);
    EXPECT_EQ(arrow, SetCursor(LoadCursorW(nullptr, IDC_CROSS)));
    EXPECT_EQ(LoadCursorW(nullptr, IDC_CROSS), GetCursor());
    EXPECT_EQ(nullptr, SetCursor(reinterpret_cast<HCURSOR>(0x5555)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_CURSOR_HANDLE), GetLastError());
    EXPECT_EQ(LoadCursorW(nullptr, IDC_CROSS), GetCursor());
    EXPECT_TRUE(DestroyCursor(arrow));  // shared: still usable
    EXPECT_EQ(LoadCursorW(nullptr, IDC_CROSS), SetCursor(arrow));
    // Module cursors load from the module's resources.
    const HINSTANCE module = HINST_THISCOMPONENT;
    ASSERT_TRUE(module);
    HCURSOR nwse = LoadCursorW(module, MAKEINTRESOURCEW(105));
    ASSERT_TRUE(nwse) << GetLastError();
    EXPECT_EQ(nwse, LoadCursorW(module, MAKEINTRESOURCEW(105)));  // shared
    HCURSOR close = LoadCursorW(module, MAKEINTRESOURCEW(110));
    ASSERT_TRUE(close);
    EXPECT_NE(nwse, close);
    EXPECT_NE(nwse, LoadCursorW(nullptr, IDC_SIZENWSE));
    SetCursor(close);
    EXPECT_EQ(close, QorGetCurrentCursor());
    EXPECT_TRUE(DestroyCursor(close));
    SetLastError(0);
    EXPECT_EQ(nullptr, LoadCursorW(module, MAKEINTRESOURCEW(999)));
    EXPECT_NE(0u, GetLastError());
    // The close glyph (104) is a PNG resource, not a cursor.
    EXPECT_EQ(nullptr, LoadCursorW(module, MAKEINTRESOURCEW(104)));
}

struct BoxCall {
    HWND hwnd = nullptr;
    std::u16string text, caption;
    UINT type = 0;
};

TEST_F(Input, MessageBoxGoesThroughTheHandler)
{
    static BoxCall call;
    int context = 0;
    EXPECT_EQ(nullptr, QorSetMessageBoxHandler(
                           [](HWND hwnd, LPCWSTR text, LPCWSTR caption, UINT type, void* ctx) -> int {
                               call = BoxCall{hwnd, text, caption, type};
                               ++*static_cast<int*>(ctx);
                               return IDCANCEL;
                           },
                           &context));
    EXPECT_EQ(IDCANCEL, MessageBoxW(nullptr, u"The feeder is empty.", u"Scan", MB_OKCANCEL | MB_ICONWARNING));
    EXPECT_EQ(1, context);
    EXPECT_EQ(u"The feeder is empty.", call.text);
    EXPECT_EQ(u"Scan", call.caption);
    EXPECT_EQ(static_cast<UINT>(MB_OKCANCEL | MB_ICONWARNING), call.type);
    MessageBoxW(nullptr, u"x", nullptr, MB_OK);
    EXPECT_EQ(u"Error", call.caption);
    EXPECT_NE(nullptr, QorSetMessageBoxHandler(nullptr, nullptr));
    // The default answers with the default button.
    EXPECT_EQ(IDOK, MessageBoxW(nullptr, u"text", u"caption", MB_OK));
    EXPECT_EQ(IDNO, MessageBoxW(nullptr, u"text", u"caption", MB_YESNO | MB_DEFBUTTON2));
    EXPECT_EQ(0, MessageBoxW(reinterpret_cast<HWND>(0x7777), u"text", u"caption", MB_OK));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
}

}  // namespace
