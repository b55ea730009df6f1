// Standard scroll bars: values checked as Windows does, visibility that follows range and
// page, and the client area that a visible bar gives up.
#include "user_test_util.h"
#include <qordisplay.h>

namespace {

using namespace usertest;

class ScrollBars : public UserTest {
protected:
    SIZE Client(HWND hwnd)
    {
        RECT rc;
        GetClientRect(hwnd, &rc);
        return SIZE{rc.right, rc.bottom};
    }
    LPARAM LastSize(HWND hwnd)
    {
        LPARAM last = -1;
        for (const Recorded& r : Recorder::Get().Log())
            if (r.hwnd == hwnd && r.message == WM_SIZE) last = r.lParam;
        return last;
    }
    static SCROLLINFO Info(UINT mask, int nMin, int nMax, UINT page, int pos)
    {
        return SCROLLINFO{sizeof(SCROLLINFO), mask, nMin, nMax, page, pos, 0};
    }
};

TEST_F(ScrollBars, ShowingABarTakesItsWidthFromTheClientAreaAndSendsSize)
{
    HWND parent = CreateQuiet("parent", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300);
    HWND view = CreateQuiet("view", WS_CHILD | WS_VISIBLE, 0, 0, 200, 100, parent);
    EXPECT_EQ(17, GetSystemMetrics(SM_CXVSCROLL));
    EXPECT_EQ(17, GetSystemMetrics(SM_CYHSCROLL));
    ASSERT_TRUE(ShowScrollBar(view, SB_VERT, TRUE));
    EXPECT_TRUE(GetWindowLongW(view, GWL_STYLE) & WS_VSCROLL);
    EXPECT_EQ(183, Client(view).cx);
    EXPECT_TRUE(Recorder::Get().Matches({
        {"view", WM_WINDOWPOSCHANGING},
        {"view", WM_NCCALCSIZE, true, TRUE},
        {"view", WM_WINDOWPOSCHANGED},
        {"view", WM_SIZE},
    }));
    EXPECT_EQ(MAKELPARAM(183, 100), LastSize(view));
    ShowScrollBar(view, SB_HORZ, TRUE);
    EXPECT_EQ(83, Client(view).cy);
    EXPECT_EQ(MAKELPARAM(183, 83), LastSize(view));
    Recorder::Get().Clear();
    ShowScrollBar(view, SB_HORZ, TRUE);  // no change: no messages
    EXPECT_TRUE(Recorder::Get().Log().empty());
    ShowScrollBar(view, SB_BOTH, FALSE);
    EXPECT_EQ(200, Client(view).cx);
    EXPECT_EQ(100, Client(view).cy);
    EXPECT_EQ(MAKELPARAM(200, 100), LastSize(view));
    // The bars' area is non-client: a point there is HTVSCROLL.
    ShowScrollBar(view, SB_VERT, TRUE);
    EXPECT_EQ(HTVSCROLL, SendMessageW(view, WM_NCHITTEST, 0, MAKELPARAM(190, 50)));
    EXPECT_EQ(HTCLIENT, SendMessageW(view, WM_NCHITTEST, 0, MAKELPARAM(10, 50)));

    // A left scroll bar moves the client area right.
    HWND left = CreateQuiet("left", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 0, 0, 200, 100, parent, WS_EX_LEFTSCROLLBAR);
    POINT origin{0, 0};
    ClientToScreen(left, &origin);
    EXPECT_EQ(17, origin.x);
    EXPECT_EQ(183, Client(left).cx);
    EXPECT_EQ(HTVSCROLL, SendMessageW(left, WM_NCHITTEST, 0, MAKELPARAM(5, 50)));
}

TEST_F(ScrollBars, RangeAndPageDecideWhetherTheBarIsShown)
{
    HWND parent = CreateQuiet("parent", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300);
    HWND view = CreateQuiet("view", WS_CHILD | WS_VISIBLE, 0, 0, 200, 100, parent);
    SCROLLINFO si = Info(SIF_RANGE | SIF_PAGE, 0, 99, 50, 0);
    SetScrollInfo(view, SB_HORZ, &si, TRUE);
    EXPECT_TRUE(GetWindowLongW(view, GWL_STYLE) & WS_HSCROLL);
    EXPECT_EQ(MAKELPARAM(200, 83), LastSize(view));
    // A page covering the whole range leaves nothing to scroll: the bar goes away.
    si = Info(SIF_PAGE, 0, 0, 100, 0);
    SetScrollInfo(view, SB_HORZ, &si, TRUE);
    EXPECT_FALSE(GetWindowLongW(view, GWL_STYLE) & WS_HSCROLL);
    EXPECT_EQ(100, Client(view).cy);
    // A page-only change never shows a bar, even when it makes scrolling possible again.
    si = Info(SIF_PAGE, 0, 0, 10, 0);
    SetScrollInfo(view, SB_HORZ, &si, TRUE);
    EXPECT_FALSE(GetWindowLongW(view, GWL_STYLE) & WS_HSCROLL);
    // With SIF_DISABLENOSCROLL a bar with nothing to scroll stays, disabled.
    si = Info(SIF_RANGE, 0, 99, 0, 0);
    SetScrollInfo(view, SB_VERT, &si, TRUE);
    EXPECT_TRUE(GetWindowLongW(view, GWL_STYLE) & WS_VSCROLL);
    si = Info(SIF_RANGE | SIF_DISABLENOSCROLL, 0, 0, 0, 0);
    SetScrollInfo(view, SB_VERT, &si, TRUE);
    EXPECT_TRUE(GetWindowLongW(view, GWL_STYLE) & WS_VSCROLL);
    // A position change alone never changes visibility.
    si = Info(SIF_RANGE, 5, 5, 0, 0);
    SetScrollInfo(view, SB_VERT, &si, TRUE);
    EXPECT_FALSE(GetWindowLongW(view, GWL_STYLE) & WS_VSCROLL);
    si = Info(SIF_POS, 0, 0, 0, 3);
    SetScrollInfo(view, SB_VERT, &si, TRUE);
    EXPECT_FALSE(GetWindowLongW(view, GWL_STYLE) & WS_VSCROLL);
}

TEST_F(ScrollBars, PageAndPositionAreClampedAndArgumentsCheckedAsWindowsDoes)
{
    HWND w = CreateQuiet("w", WS_POPUP | WS_VSCROLL, 0, 0, 200, 100);
    SCROLLINFO got{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
    ASSERT_TRUE(GetScrollInfo(w, SB_VERT, &got));
    EXPECT_EQ(0, got.nMin);  // the initial range of a standard bar
    EXPECT_EQ(100, got.nMax);
    SCROLLINFO si = Info(SIF_RANGE | SIF_PAGE | SIF_POS, 0, 100, 10, 200);
    EXPECT_EQ(91, SetScrollInfo(w, SB_VERT, &si, FALSE));  // nMax - (nPage - 1)
    si = Info(SIF_POS, 0, 0, 0, -5);
    EXPECT_EQ(0, SetScrollInfo(w, SB_VERT, &si, FALSE));
    si = Info(SIF_PAGE | SIF_POS, 0, 0, 500, 50);
    EXPECT_EQ(0, SetScrollInfo(w, SB_VERT, &si, FALSE));
    ASSERT_TRUE(GetScrollInfo(w, SB_VERT, &got));
    EXPECT_EQ(101u, got.nPage);  // at most the range size
    si = Info(SIF_PAGE | SIF_POS, 0, 0, 0, 60);
    EXPECT_EQ(60, SetScrollInfo(w, SB_VERT, &si, FALSE));
    ASSERT_TRUE(GetScrollInfo(w, SB_VERT, &got));
    EXPECT_EQ(60, got.nTrackPos);  // not dragging: the tracking position is the position
    // An inverted range becomes empty.
    si = Info(SIF_RANGE, 10, 5, 0, 0);
    SetScrollInfo(w, SB_VERT, &si, FALSE);
    int nMin = -1, nMax = -1;
    EXPECT_TRUE(GetScrollRange(w, SB_VERT, &nMin, &nMax));
    EXPECT_EQ(0, nMin);
    EXPECT_EQ(0, nMax);
    EXPECT_TRUE(SetScrollRange(w, SB_VERT, 0, 50, FALSE));
    EXPECT_EQ(0, SetScrollPos(w, SB_VERT, 20, FALSE));
    EXPECT_EQ(20, SetScrollPos(w, SB_VERT, 80, FALSE));
    EXPECT_EQ(50, GetScrollPos(w, SB_VERT));

    HWND plain = CreateQuiet("plain", WS_POPUP, 0, 0, 200, 100);
    SetLastError(0);
    EXPECT_FALSE(GetScrollInfo(plain, SB_HORZ, &got));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_SCROLLBARS), GetLastError());
    got.cbSize = 12;
    EXPECT_FALSE(GetScrollInfo(plain, SB_HORZ, &got));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    got = SCROLLINFO{sizeof(SCROLLINFO), 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(GetScrollInfo(w, SB_VERT, &got));
    got.fMask = SIF_ALL;
    EXPECT_FALSE(GetScrollInfo(w, SB_CTL, &got));
    EXPECT_FALSE(GetScrollInfo(w, SB_HORZ, nullptr));
}

TEST_F(ScrollBars, PressesOnTheBarSendScrollRequests)
{
    HWND w = CreateQuiet("w", WS_POPUP | WS_VISIBLE | WS_VSCROLL, 0, 0, 100, 100);
    SCROLLINFO si = Info(SIF_RANGE | SIF_PAGE | SIF_POS, 0, 99, 10, 0);
    SetScrollInfo(w, SB_VERT, &si, TRUE);
    Pump();
    // The bar spans x 83..100; arrows of 17 pixels at both ends, the thumb (8 pixels, the
    // smallest) at the top of the track.
    const POINT presses[] = {{90, 5}, {90, 95}, {90, 60}};
    for (POINT p : presses) {
        QorInjectMouse(WM_LBUTTONDOWN, p.x, p.y, 0);
        QorInjectMouse(WM_LBUTTONUP, p.x, p.y, 0);
    }
    // Thumb drag from y 20 to y 49: 29 of the 58 free track pixels over a span of 90.
    QorInjectMouse(WM_LBUTTONDOWN, 90, 20, 0);
    QorInjectMouse(WM_MOUSEMOVE, 90, 49, 0);
    QorInjectMouse(WM_LBUTTONUP, 90, 49, 0);
    Recorder::Get().Clear();
    Pump();
    std::vector<WPARAM> requests;
    for (const Recorded& r : Recorder::Get().Log())
        if (r.message == WM_VSCROLL) requests.push_back(r.wParam);
    const std::vector<WPARAM> expected{
        SB_LINEUP, SB_ENDSCROLL, SB_LINEDOWN, SB_ENDSCROLL, SB_PAGEDOWN, SB_ENDSCROLL,
        MAKEWPARAM(SB_THUMBTRACK, 45), MAKEWPARAM(SB_THUMBPOSITION, 45), SB_ENDSCROLL};
    EXPECT_EQ(expected, requests);
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_EQ(0, GetScrollPos(w, SB_VERT));  // the window moves the bar itself
}

}  // namespace

namespace {

// The arrows are drawn in the arrow boxes: dark while there is something to scroll, grey when not.
TEST_F(ScrollBars, ArrowsShowWhetherThereIsSomethingToScroll)
{
    HWND w = CreateQuiet("w", WS_POPUP | WS_VISIBLE | WS_VSCROLL, 0, 0, 100, 100);
    SCROLLINFO si{sizeof(si), SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL, 0, 199, 50, 0, 0};
    SetScrollInfo(w, SB_VERT, &si, TRUE);
    Pump();
    QORSURFACE surface{};
    ASSERT_TRUE(QorGetWindowSurface(w, &surface));
    const int box = GetSystemMetrics(SM_CXVSCROLL);
    auto at = [&](int x, int y) { return surface.bits[y * surface.stride / 4 + x] & 0xFFFFFF; };
    const int cx = 100 - box + box / 2;
    EXPECT_EQ(0x404040u, at(cx, box / 2));        // the up arrow's middle
    EXPECT_EQ(0x404040u, at(cx, 100 - box + box / 2));  // the down arrow's
    EXPECT_NE(0x404040u, at(100 - box + 1, 1));   // the box's corner is not arrow
    si = SCROLLINFO{sizeof(si), SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL, 0, 10, 50, 0, 0};
    SetScrollInfo(w, SB_VERT, &si, TRUE);
    Pump();
    ASSERT_TRUE(QorGetWindowSurface(w, &surface));
    EXPECT_EQ(0xA0A0A0u, at(cx, box / 2));
}

}  // namespace
