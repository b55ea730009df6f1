// CQORWait: the busy wheel on a test window that paints a flat background in its own WM_PAINT
// handler and chains the wheel's map after it, as the preview view does.
#include <windows.h>
#include <atlbase.h>
#include <atlwin.h>

#include <cmath>
#include <vector>

#include "QORWait.h"
#include "ui_test_support.h"

namespace {

using uitest::Pump;

constexpr COLORREF kBackground = RGB(0xFF, 0xFF, 0xFF);
constexpr DWORD kBackgroundPixel = 0xFFFFFF;
constexpr DWORD kSpokePixel = 0x9E9E3A;
constexpr UINT_PTR kWaitTimer = 548;
constexpr UINT kPeriod = 180;

class CWaitTestWindow : public ATL::CWindowImpl<CWaitTestWindow>, public CQORWait<CWaitTestWindow> {
public:
    BEGIN_MSG_MAP(CWaitTestWindow)
        MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBkgnd)
        MESSAGE_HANDLER(WM_PAINT, OnPaint)
        CHAIN_MSG_MAP(CQORWait<CWaitTestWindow>)
        MESSAGE_HANDLER(WM_TIMER, OnTimerAfterWheel)
        MESSAGE_HANDLER(WM_PAINT, OnPaintAfterWheel)
    END_MSG_MAP()

    // Paints the whole update region flat and leaves the message to the wheel, as the view does.
    LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL& bHandled)
    {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(&ps);
        HBRUSH brush = CreateSolidBrush(kBackground);
        FillRect(hdc, &ps.rcPaint, brush);
        DeleteObject(brush);
        EndPaint(&ps);
        bHandled = FALSE;
        return 0;
    }
    LRESULT OnEraseBkgnd(UINT, WPARAM, LPARAM, BOOL& bHandled)
    {
        ++erases;
        bHandled = FALSE;
        return 0;
    }
    LRESULT OnTimerAfterWheel(UINT, WPARAM wParam, LPARAM, BOOL& bHandled)
    {
        timersAfterWheel.push_back(wParam);
        bHandled = FALSE;
        return 0;
    }
    LRESULT OnPaintAfterWheel(UINT, WPARAM, LPARAM, BOOL& bHandled)
    {
        ++paintsAfterWheel;
        bHandled = FALSE;
        return 0;
    }

    int erases = 0;
    int paintsAfterWheel = 0;
    std::vector<WPARAM> timersAfterWheel;
};

// The test window subclassed by the wheel's window, painted once and with no message pending.
class WaitFixture {
public:
    WaitFixture(int width, int height) : window(width, height)
    {
        wait.SubclassWindow(window);
        wait.Invalidate(FALSE);
        Pump();
        wait.erases = 0;
        wait.paintsAfterWheel = 0;
        wait.timersAfterWheel.clear();
    }
    WaitFixture(const WaitFixture&) = delete;
    WaitFixture& operator=(const WaitFixture&) = delete;

    void Tick()
    {
        QorAdvanceClock(kPeriod);
        Pump();
    }

    uitest::GdiplusScope gdiplus;
    uitest::TestWindow window;
    CWaitTestWindow wait;
};

bool IsInside(const RECT& rc, int x, int y) { return x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom; }

TEST(QORWaitTimer, TwelveTicksTurnOnceAndComeBackToZero)
{
    WaitFixture f(300, 200);
    f.wait.SetBusy(true);
    ASSERT_TRUE(f.wait.m_bRunning);
    QorAdvanceClock(kPeriod - 1);
    Pump();
    EXPECT_EQ(0.0f, f.wait.m_fAngle) << "a tick before the period ran out";
    QorAdvanceClock(1);
    Pump();
    EXPECT_EQ(30.0f, f.wait.m_fAngle);
    for (int tick = 2; tick <= 12; ++tick) {
        f.Tick();
        EXPECT_EQ(static_cast<float>((tick * 30) % 360), f.wait.m_fAngle) << "tick " << tick;
    }
    // Every tick was the wheel's timer, and it went on to the window's later handlers.
    EXPECT_EQ(std::vector<WPARAM>(12, kWaitTimer), f.wait.timersAfterWheel);
}

TEST(QORWaitTimer, TickInvalidatesTheCentredBoxWithoutErase)
{
    struct Case {
        int width, height;
        RECT box;
    } const cases[] = {
        {300, 200, {128, 78, 172, 122}},
        {301, 200, {128, 78, 172, 122}},  // 301 / 2 is 150
        {302, 203, {129, 79, 173, 123}},
        // A client smaller than the box: the box reaches past it, the halves still truncated.
        {21, 11, {-12, -17, 32, 27}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        WaitFixture f(c.width, c.height);
        RECT box = {};
        ASSERT_TRUE(f.wait.GetWaitBox(box));
        EXPECT_EQ(c.box, box);

        // The message itself, not the timer, so that the invalidation can be read before a paint.
        f.wait.SendMessage(WM_TIMER, kWaitTimer, 0);
        RECT update = {};
        RECT expected = c.box;
        RECT client = {0, 0, c.width, c.height};
        IntersectRect(&expected, &expected, &client);
        EXPECT_TRUE(GetUpdateRect(f.wait, &update, FALSE));
        EXPECT_EQ(expected, update);
        Pump();
        EXPECT_EQ(0, f.wait.erases);
    }
}

TEST(QORWaitTimer, OtherTimersPassThroughUntouched)
{
    WaitFixture f(300, 200);
    f.wait.SetBusy(true);
    f.wait.SetTimer(7, 50);
    QorAdvanceClock(50);
    Pump();
    f.wait.SendMessage(WM_TIMER, 549, 0);
    f.wait.SendMessage(WM_TIMER, 548 + 0x10000, 0);
    RECT update;
    EXPECT_FALSE(GetUpdateRect(f.wait, &update, FALSE)) << "another timer invalidated " << update;
    EXPECT_EQ(0.0f, f.wait.m_fAngle);
    EXPECT_EQ((std::vector<WPARAM>{7, 549, 548 + 0x10000}), f.wait.timersAfterWheel);
    f.wait.KillTimer(7);
}

TEST(QORWaitTimer, SetBusyRestartsStopsAndKeepsTheAngle)
{
    WaitFixture f(300, 200);
    f.wait.SetBusy(true);
    f.Tick();
    ASSERT_EQ(30.0f, f.wait.m_fAngle);

    // Restart 100 ms into a period: the next tick is a whole period after the restart.
    QorAdvanceClock(100);
    Pump();
    f.wait.SetBusy(true);
    EXPECT_TRUE(f.wait.m_bRunning);
    QorAdvanceClock(kPeriod - 100);
    Pump();
    EXPECT_EQ(30.0f, f.wait.m_fAngle) << "the old timer still ran";
    QorAdvanceClock(100);
    Pump();
    EXPECT_EQ(60.0f, f.wait.m_fAngle);

    f.wait.SetBusy(false);
    EXPECT_FALSE(f.wait.m_bRunning);
    QorAdvanceClock(10 * kPeriod);
    Pump();
    EXPECT_EQ(60.0f, f.wait.m_fAngle) << "the timer runs after SetBusy(false)";

    f.wait.SetBusy(true);
    f.Tick();
    EXPECT_EQ(90.0f, f.wait.m_fAngle) << "the angle is kept between runs";
}

// A mix-in on a plain window object that still holds the handle of a destroyed window.
struct CStaleWait : ATL::CWindow, CQORWait<CStaleWait> {};

TEST(QORWaitTimer, StaleHandleIsNotUsed)
{
    uitest::GdiplusScope gdiplus;
    CStaleWait wait;
    {
        uitest::TestWindow window(300, 200);
        wait.m_hWnd = window;
    }
    wait.SetBusy(true);
    EXPECT_FALSE(wait.m_bRunning);
    BOOL handled = TRUE;
    EXPECT_EQ(0, wait.OnWaitTimer(WM_TIMER, kWaitTimer, 0, handled));
    EXPECT_FALSE(handled);
    EXPECT_EQ(30.0f, wait.m_fAngle) << "the wheel turns even with nothing to show it";
    QorAdvanceClock(kPeriod);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) << "timer " << msg.wParam;
}

TEST(QORWaitTimer, DestructorKillsTheTimer)
{
    uitest::GdiplusScope gdiplus;
    uitest::TestWindow window(300, 200);
    {
        CWaitTestWindow wait;
        wait.SubclassWindow(window);
        wait.SetBusy(true);
        ASSERT_TRUE(wait.m_bRunning);
    }
    QorAdvanceClock(kPeriod);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE)) << "timer " << msg.wParam;
}

// Where a spoke's pen fully covers a pixel (the middle of the brightest spoke) its colour is
// exact up to 2 per channel, the rounding of coverage and blending; everything outside the
// box is compared exactly.
TEST(QORWaitPaint, BrightestSpokeTurnsAndOnlyTheBoxChanges)
{
    WaitFixture f(300, 200);
    RECT box;
    ASSERT_TRUE(f.wait.GetWaitBox(box));
    f.wait.SetBusy(true);

    // A marker colour over the whole client, painted outside WM_PAINT: only the box may lose it.
    constexpr DWORD kMarker = 0x204060;
    f.window.Fill(RGB(0x20, 0x40, 0x60));

    std::vector<std::vector<DWORD>> frames;
    for (int tick = 1; tick <= 13; ++tick) {
        f.Tick();
        const std::vector<DWORD> pixels = f.window.Pixels();
        const float angle = f.wait.m_fAngle;
        SCOPED_TRACE(testing::Message() << "tick " << tick << ", angle " << angle);
        int outsideTouched = 0;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 300; ++x)
                outsideTouched += !IsInside(box, x, y) && (pixels[static_cast<size_t>(y) * 300 + x] & 0xFFFFFF) != kMarker;
        EXPECT_EQ(0, outsideTouched);
        EXPECT_EQ(kBackgroundPixel, pixels[100 * 300 + 150] & 0xFFFFFF) << "the hub is left empty";

        // The brightest spoke at radius 13.5 in the direction of the angle, clockwise on screen.
        const double rad = angle * 3.14159265358979323846 / 180.0;
        const DWORD brightest = pixels[static_cast<size_t>(100 + std::lround(13.5 * std::sin(rad))) * 300 + 150 +
                                       std::lround(13.5 * std::cos(rad))] & 0xFFFFFF;
        for (int shift = 0; shift < 24; shift += 8)
            EXPECT_NEAR(int((kSpokePixel >> shift) & 0xFF), int((brightest >> shift) & 0xFF), 2) << std::hex << brightest;
        frames.push_back(pixels);
    }
    for (size_t i = 1; i < 12; ++i)
        EXPECT_NE(frames[i - 1], frames[i]) << "ticks " << i << " and " << i + 1 << " look the same";
    // One turn later the wheel is drawn exactly as before.
    EXPECT_EQ(frames[0], frames[12]);
    EXPECT_EQ(13, f.wait.paintsAfterWheel) << "the paint did not go on past the wheel";
}

}  // namespace
