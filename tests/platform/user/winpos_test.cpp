// Window geometry: SetWindowPos message order, rectangles and coordinate mapping, windows
// under a point.
#include "user_test_util.h"

namespace {

using namespace usertest;

class WindowPos : public UserTest {};

TEST_F(WindowPos, SizeAndMoveMessagesFollowWhatChangedAndWindowPosChangingIsObeyed)
{
    HWND parent = CreateQuiet("parent", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200);
    HWND child = CreateQuiet("child", WS_CHILD | WS_VISIBLE, 10, 10, 100, 50, parent);
    // Resizing only: no WM_MOVE, as the client area did not move.
    ASSERT_TRUE(SetWindowPos(child, nullptr, 0, 0, 120, 70, SWP_NOMOVE | SWP_NOZORDER));
    EXPECT_TRUE(Recorder::Get().Matches({{"child", WM_WINDOWPOSCHANGING}, {"child", WM_NCCALCSIZE, true, TRUE},
                                         {"child", WM_WINDOWPOSCHANGED}, {"child", WM_SIZE, true, SIZE_RESTORED}}));
    EXPECT_EQ(MAKELPARAM(120, 70), Recorder::Get().Log().back().lParam);
    std::vector<UINT> sent = Recorder::Get().MessagesOf(child);
    EXPECT_EQ(sent.end(), std::find(sent.begin(), sent.end(), static_cast<UINT>(WM_MOVE)));

    Recorder::Get().Clear();
    ASSERT_TRUE(MoveWindow(child, 20, 30, 80, 40, TRUE));
    EXPECT_TRUE(Recorder::Get().Matches({{"child", WM_WINDOWPOSCHANGING}, {"child", WM_NCCALCSIZE},
                                         {"child", WM_WINDOWPOSCHANGED}, {"child", WM_MOVE}, {"child", WM_SIZE}}));
    // A move of the same size does not recompute the client area and sends no WM_SIZE.
    Recorder::Get().Clear();
    ASSERT_TRUE(SetWindowPos(child, nullptr, 25, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
    EXPECT_EQ((std::vector<UINT>{WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE}),
              Recorder::Get().MessagesOf(child));

    Handlers()[child] = [](HWND, UINT msg, WPARAM, LPARAM l, LRESULT*) {
        if (msg == WM_WINDOWPOSCHANGING) reinterpret_cast<WINDOWPOS*>(l)->cx = 33;
        return false;
    };
    SetWindowPos(child, nullptr, 0, 0, 200, 60, SWP_NOMOVE | SWP_NOZORDER);
    RECT rc;
    GetClientRect(child, &rc);
    EXPECT_EQ(33, rc.right);
    EXPECT_EQ(60, rc.bottom);
}

TEST_F(WindowPos, RectanglesAndMappingBetweenWindows)
{
    HWND parent = CreateQuiet("parent", WS_POPUP | WS_VISIBLE, 100, 50, 300, 200);
    HWND child = CreateQuiet("child", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 20, 60, 40, parent);
    RECT rc;
    ASSERT_TRUE(GetWindowRect(child, &rc));
    const RECT expected{110, 70, 170, 110};
    EXPECT_TRUE(EqualRect(&expected, &rc));
    ASSERT_TRUE(GetClientRect(child, &rc));
    EXPECT_EQ(58, rc.right);  // a 1-pixel border on both sides
    EXPECT_EQ(38, rc.bottom);
    POINT pt{0, 0};
    ClientToScreen(child, &pt);
    EXPECT_EQ(111, pt.x);
    EXPECT_EQ(71, pt.y);
    ScreenToClient(parent, &pt);
    EXPECT_EQ(11, pt.x);
    EXPECT_EQ(21, pt.y);
    POINT pts[2] = {{0, 0}, {5, 5}};
    const int offset = MapWindowPoints(child, parent, pts, 2);
    EXPECT_EQ(MAKELONG(11, 21), offset);
    EXPECT_EQ(16, pts[1].x);
    EXPECT_EQ(26, pts[1].y);
    pts[0] = POINT{0, 0};
    MapWindowPoints(child, HWND_DESKTOP, pts, 1);
    EXPECT_EQ(111, pts[0].x);
    SetLastError(0);
    EXPECT_FALSE(GetClientRect(reinterpret_cast<HWND>(0x4321), &rc));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
}

TEST_F(WindowPos, WindowsUnderAPoint)
{
    HWND parent = CreateQuiet("parent", WS_POPUP | WS_VISIBLE, 100, 50, 300, 200);
    HWND child = CreateQuiet("child", WS_CHILD | WS_VISIBLE, 10, 20, 60, 40, parent);
    HWND hidden = CreateQuiet("hidden", WS_CHILD, 100, 20, 60, 40, parent);
    EXPECT_EQ(child, WindowFromPoint(POINT{115, 75}));
    EXPECT_EQ(parent, WindowFromPoint(POINT{210, 75}));  // over the hidden child
    EXPECT_EQ(nullptr, WindowFromPoint(POINT{50, 10}));
    EnableWindow(child, FALSE);
    EXPECT_EQ(parent, WindowFromPoint(POINT{115, 75}));
    EXPECT_EQ(hidden, ChildWindowFromPoint(parent, POINT{110, 30}));
    EXPECT_EQ(parent, ChildWindowFromPointEx(parent, POINT{110, 30}, CWP_SKIPINVISIBLE));
    EXPECT_EQ(child, ChildWindowFromPoint(parent, POINT{15, 25}));
    EXPECT_EQ(parent, ChildWindowFromPointEx(parent, POINT{15, 25}, CWP_SKIPDISABLED));
    EXPECT_EQ(nullptr, ChildWindowFromPoint(parent, POINT{-1, 25}));
}

}  // namespace
