// Scrolling windows: bars, scroll requests, the wheel and its settings, and painting.
#include <atlscrl.h>

#include <vector>

#include "../registry/registry_fixture.h"

namespace {

// A scrolling window object that records where its content is painted.
class CScrollTestWindow : public WTL::CScrollWindowImpl<CScrollTestWindow> {
public:
    struct Paint {
        HDC hdc;
        POINT ptViewportOrg;
        BOOL bUpdatePending;  // the window still had an update region while painting
    };

    BEGIN_MSG_MAP(CScrollTestWindow)
        CHAIN_MSG_MAP(WTL::CScrollWindowImpl<CScrollTestWindow>)
    END_MSG_MAP()

    void DoPaint(HDC hdc)
    {
        Paint paint = {hdc, {0, 0}, GetUpdateRect(nullptr, FALSE)};
        ::GetViewportOrgEx(hdc, &paint.ptViewportOrg);
        paints.push_back(paint);
    }

    std::vector<Paint> paints;
};

// A popup host window without frame, 200 x 100, subclassed by the scrolling object.
class AtlScroll : public RegistryTest {
protected:
    static constexpr int kClientWidth = 200;
    static constexpr int kClientHeight = 100;

    void SetUp() override
    {
        RegistryTest::SetUp();
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.lpszClassName = u"AtlScrollHost";
        ::RegisterClassExW(&wc);
        m_hWnd = ::CreateWindowExW(0, u"AtlScrollHost", u"", WS_POPUP | WS_VISIBLE, 0, 0, kClientWidth,
                                   kClientHeight, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_hWnd);
        ASSERT_TRUE(m_wnd.SubclassWindow(m_hWnd));
        Pump();
        m_wnd.paints.clear();
    }
    void TearDown() override
    {
        m_wnd.UnsubclassWindow(TRUE);
        ::DestroyWindow(m_hWnd);
        RegistryTest::TearDown();
    }

    static void Pump()
    {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
    }

    SCROLLINFO Bar(int nBar)
    {
        SCROLLINFO si = {sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
        EXPECT_TRUE(::GetScrollInfo(m_hWnd, nBar, &si));
        return si;
    }

    POINT Offset() const
    {
        POINT pt;
        m_wnd.GetScrollOffset(pt);
        return pt;
    }

    void Wheel(int zDelta) { ::SendMessageW(m_hWnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(zDelta)), 0); }

    HWND m_hWnd = nullptr;
    CScrollTestWindow m_wnd;
};

TEST_F(AtlScroll, ScrollSizeSetsBothBarsDefaultStepsAndLimitsTheOffset)
{
    // Without a content size the wheel and the bars move nothing.
    Wheel(-WHEEL_DELTA);
    ::SendMessageW(m_hWnd, WM_VSCROLL, SB_BOTTOM, 0);
    m_wnd.SetScrollOffset(5, 5);
    EXPECT_EQ(0, Offset().x);
    EXPECT_EQ(0, Offset().y);

    m_wnd.SetScrollSize(1000, 500);
    const SCROLLINFO h = Bar(SB_HORZ), v = Bar(SB_VERT);
    EXPECT_EQ(999, h.nMax);
    EXPECT_EQ(499, v.nMax);
    SIZE line, page;
    m_wnd.GetScrollLine(line);
    m_wnd.GetScrollPage(page);
    EXPECT_EQ(10, line.cx);
    EXPECT_EQ(5, line.cy);
    EXPECT_EQ(100, page.cx);
    EXPECT_EQ(50, page.cy);

    RECT rcClient;
    ::GetClientRect(m_hWnd, &rcClient);
    m_wnd.SetScrollOffset(5000, 30);
    EXPECT_EQ(1000 - rcClient.right, Offset().x);
    EXPECT_EQ(30, Offset().y);
    EXPECT_EQ(1000 - rcClient.right, Bar(SB_HORZ).nPos);
    m_wnd.SetScrollSize(2000, 1000, TRUE, false);  // keeps the offset
    EXPECT_EQ(30, Offset().y);
    m_wnd.SetScrollSize(2000, 1000);  // resets it
    EXPECT_EQ(0, Offset().y);
}

TEST_F(AtlScroll, ScrollRequestsMoveTheOffsetWithinTheContentAndInvalidate)
{
    m_wnd.SetScrollSize(1000, 500);
    m_wnd.SetScrollLine(7, 7);
    m_wnd.SetScrollPage(40, 40);
    Pump();
    RECT rcClient;
    ::GetClientRect(m_hWnd, &rcClient);
    const int maxY = 500 - rcClient.bottom;
    const struct {
        WORD code;
        int expectedY;
    } steps[] = {
        {SB_LINEDOWN, 7}, {SB_PAGEDOWN, 47}, {SB_LINEUP, 40}, {SB_BOTTOM, maxY}, {SB_LINEDOWN, maxY},
        {SB_PAGEUP, maxY - 40}, {SB_ENDSCROLL, maxY - 40}, {SB_TOP, 0}, {SB_LINEUP, 0},
    };
    for (const auto& step : steps) {
        ::SendMessageW(m_hWnd, WM_VSCROLL, step.code, 0);
        EXPECT_EQ(step.expectedY, Offset().y) << "code " << step.code;
        EXPECT_EQ(step.expectedY, Bar(SB_VERT).nPos) << "code " << step.code;
    }
    EXPECT_EQ(0, Offset().x);
    RECT rcUpdate = {0, 0, 0, 0};
    EXPECT_TRUE(::GetUpdateRect(m_hWnd, &rcUpdate, FALSE));
    EXPECT_TRUE(::EqualRect(&rcClient, &rcUpdate));
}

TEST_F(AtlScroll, NoThumbTrackingIgnoresTrackButNotThePosition)
{
    m_wnd.SetScrollSize(1000, 500);
    m_wnd.SetScrollExtendedStyle(SCRL_NOTHUMBTRACKING, SCRL_NOTHUMBTRACKING);
    // The thumb's track position is 0 outside a drag: a request that reads it goes to 0.
    m_wnd.SetScrollOffset(50, 0);
    ::SendMessageW(m_hWnd, WM_HSCROLL, SB_THUMBTRACK, 0);
    EXPECT_EQ(50, Offset().x);
    ::SendMessageW(m_hWnd, WM_HSCROLL, SB_THUMBPOSITION, 0);
    EXPECT_EQ(Bar(SB_HORZ).nTrackPos, Offset().x);
}

TEST_F(AtlScroll, WheelScrollsLinesPerNotchKeepsPartialNotchesAndGoesSidewaysOnFlatContent)
{
    m_wnd.SetScrollSize(1000, 500);
    m_wnd.SetScrollLine(2, 2);
    const struct {
        int delta, expectedY;
    } notches[] = {{-WHEEL_DELTA, 6}, {-WHEEL_DELTA / 2, 6}, {-WHEEL_DELTA / 2, 12}, {WHEEL_DELTA, 6}};
    for (const auto& notch : notches) {
        Wheel(notch.delta);
        EXPECT_EQ(notch.expectedY, Offset().y) << notch.delta;
    }
    ::SendMessageW(m_hWnd, WM_MOUSEHWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    EXPECT_EQ(6, Offset().x) << "the horizontal wheel scrolls right for positive deltas";

    m_wnd.SetScrollSize(1000, 50);
    m_wnd.SetScrollLine(2, 2);
    Wheel(-WHEEL_DELTA);
    EXPECT_EQ(6, Offset().x);
    EXPECT_EQ(0, Offset().y);
}

TEST_F(AtlScroll, SettingChangeReadsTheUsersWheelSettings)
{
    HKEY key = Create(HKEY_CURRENT_USER, u"Control Panel\\Desktop");
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, u"WheelScrollLines", u"5"));
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, u"WheelScrollChars", u"0"));
    RegCloseKey(key);

    ::SendMessageW(m_hWnd, WM_SETTINGCHANGE, 0, 0);
    EXPECT_EQ(5, m_wnd.m_nWheelLines);
    EXPECT_EQ(3, m_wnd.m_nHWheelChars);  // 0 is no usable setting

    m_wnd.SetScrollSize(1000, 500);
    m_wnd.SetScrollLine(1, 1);
    Wheel(-WHEEL_DELTA);
    EXPECT_EQ(5, Offset().y);
}

TEST_F(AtlScroll, SizePullsTheOffsetBackAndSetsThePages)
{
    m_wnd.SetScrollSize(300, 150);
    m_wnd.SetScrollOffset(100, 50);
    ASSERT_EQ(100, Offset().x);
    ::MoveWindow(m_hWnd, 0, 0, 280, 140, TRUE);
    RECT rcClient;
    ::GetClientRect(m_hWnd, &rcClient);
    EXPECT_EQ(300 - rcClient.right, Offset().x);
    EXPECT_EQ(150 - rcClient.bottom, Offset().y);
    EXPECT_EQ(static_cast<UINT>(rcClient.right), Bar(SB_HORZ).nPage);
    EXPECT_EQ(Offset().x, Bar(SB_HORZ).nPos);
}

TEST_F(AtlScroll, PaintMovesTheViewportOriginByMinusTheOffset)
{
    m_wnd.SetScrollSize(1000, 500);
    m_wnd.SetScrollOffset(30, 20);
    m_wnd.paints.clear();

    ::InvalidateRect(m_hWnd, nullptr, FALSE);
    ::UpdateWindow(m_hWnd);
    ASSERT_EQ(1u, m_wnd.paints.size());
    EXPECT_EQ(-30, m_wnd.paints[0].ptViewportOrg.x);
    EXPECT_EQ(-20, m_wnd.paints[0].ptViewportOrg.y);
    EXPECT_FALSE(m_wnd.paints[0].bUpdatePending);  // inside BeginPaint
    EXPECT_FALSE(::GetUpdateRect(m_hWnd, nullptr, FALSE));

    // WM_PRINTCLIENT paints into the caller's DC and gives its origin back.
    HDC hdc = ::CreateCompatibleDC(nullptr);
    ASSERT_NE(nullptr, hdc);
    ::SetViewportOrgEx(hdc, 4, 6, nullptr);
    ::SendMessageW(m_hWnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(hdc), PRF_CLIENT);
    ASSERT_EQ(2u, m_wnd.paints.size());
    EXPECT_EQ(hdc, m_wnd.paints[1].hdc);
    EXPECT_EQ(-30, m_wnd.paints[1].ptViewportOrg.x);
    EXPECT_EQ(-20, m_wnd.paints[1].ptViewportOrg.y);
    POINT pt = {0, 0};
    ::GetViewportOrgEx(hdc, &pt);
    EXPECT_EQ(4, pt.x);
    EXPECT_EQ(6, pt.y);
    ::DeleteDC(hdc);
}

}  // namespace
