// CMainPaneTracker: handles and hit order, cursors, snapping of dragged frames to image
// pixels, the repaint feedback and the drawn frame.
#include <windows.h>

#include <functional>
#include <memory>

#include "MainPaneTracker.h"
#include "view_test_support.h"

namespace {

using uitest::Pump;
using uitest::TestWindow;
using uitest::ViewWindow;

RECT HandleRect(CMainPaneTracker& t, int code)
{
    RECT r = {-1, -1, -1, -1};
    t.GetHandleRect(code, &r);
    return r;
}

class MainPaneTrackerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        glyph = uitest::LoadCloseGlyph();
        ASSERT_NE(nullptr, glyph);
    }
    uitest::GdiplusScope gdiplus;
    std::unique_ptr<Gdiplus::Bitmap> glyph;
};

// --- Construction and layout

// --- Handles and hit order

TEST_F(MainPaneTrackerTest, HandlesHaveFixedSizes)
{
    CMainPaneTracker t(100, 100, 200, 180, nullptr);
    const RECT expected[11] = {
        {99, 99, 109, 109},   {191, 99, 201, 109},  {191, 171, 201, 181}, {99, 171, 109, 181},
        {110, 99, 190, 105},  {195, 110, 201, 170}, {110, 175, 190, 181}, {99, 110, 105, 170},
        {99, 99, 201, 181},   {0, 0, 0, 0},         {99, 99, 201, 181},
    };
    for (int code = 0; code <= 10; ++code)
        EXPECT_EQ(expected[code], HandleRect(t, code)) << "code " << code;

    // With the glyph: a narrow top-right corner, and the glyph's inner 14 x 14.
    t.SetCloseGlyph(glyph.get());
    EXPECT_EQ((RECT{191, 99, 201, 109}), HandleRect(t, 1));  // not shown yet
    t.glyphShown = TRUE;
    EXPECT_EQ((RECT{197, 99, 201, 103}), HandleRect(t, 1));
    EXPECT_EQ((RECT{185, 101, 199, 115}), HandleRect(t, 9));

    // A frame 20 wide: the top and bottom handles shrink to nothing.
    t.rect = {120, 100, 100, 150};  // inverted: handles come from the normalised frame
    EXPECT_EQ((RECT{110, 99, 110, 105}), HandleRect(t, 4));
    EXPECT_EQ((RECT{110, 145, 110, 151}), HandleRect(t, 6));
}

TEST_F(MainPaneTrackerTest, HitOrderWithAndWithoutTheGlyph)
{
    CMainPaneTracker t(100, 100, 200, 180, nullptr);
    EXPECT_EQ(1, t.HitTest(195, 105));  // 5 left of and 5 below the top-right corner
    t.glyphShown = TRUE;
    EXPECT_EQ(1, t.HitTest(195, 105));  // no glyph image: no glyph
    t.SetCloseGlyph(glyph.get());
    EXPECT_EQ(9, t.HitTest(195, 105));
    EXPECT_EQ(1, t.HitTest(198, 102));  // in both: the corner comes first
    EXPECT_EQ(8, t.HitTest(186, 116));  // below the glyph's inner part
    EXPECT_EQ(8, t.HitTest(150, 140));
    EXPECT_EQ(5, t.HitTest(200, 140));
    EXPECT_EQ(-1, t.HitTest(201, 140));
    EXPECT_EQ(-1, t.HitTest(50, 50));

    // In a small frame the corners overlap; the lower code wins.
    t.glyphShown = FALSE;
    t.rect = {100, 100, 110, 110};
    EXPECT_EQ(0, t.HitTest(105, 105));
    EXPECT_EQ(2, t.HitTest(110, 110));
    EXPECT_EQ(3, t.HitTest(100, 110));
}

TEST_F(MainPaneTrackerTest, CursorFollowsThePartUnderThePointer)
{
    TestWindow window(300, 250);
    CMainPaneTracker t(100, 100, 200, 180, nullptr);
    t.SetCloseGlyph(glyph.get());
    t.glyphShown = TRUE;
    BOOL lastResult = -1;
    window.onMessage = [&](UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
        if (message != WM_SETCURSOR)
            return false;
        lastResult = t.SetCursorForHit(window, LOWORD(lParam));
        *result = TRUE;
        return true;
    };
    struct Case {
        int x, y;
        HCURSOR cursor;
        BOOL result;
    };
    const Case cases[] = {
        {199, 179, uitest::ModuleCursor(105), TRUE}, {100, 179, uitest::ModuleCursor(106), TRUE},
        {150, 100, uitest::ModuleCursor(107), TRUE}, {199, 140, uitest::ModuleCursor(108), TRUE},
        {150, 140, uitest::ModuleCursor(109), TRUE}, {192, 106, uitest::ModuleCursor(110), TRUE},
        {30, 30, LoadCursorW(nullptr, IDC_CROSS), FALSE},
    };
    for (const Case& c : cases) {
        SetCursor(nullptr);
        window.MoveTo(c.x, c.y);
        Pump();
        EXPECT_EQ(c.cursor, QorGetCurrentCursor()) << c.x << ", " << c.y;
        EXPECT_EQ(c.result, lastResult) << c.x << ", " << c.y;
    }
}

// --- Dragging a frame over a 200 x 150 image shown at two view pixels per image pixel

// The view paints itself and edits frames on a press, so paints are counted, and presses
// start the tracker under test, in a procedure installed above it.
class PaintCounter {
public:
    explicit PaintCounter(HWND hwnd) : m_hwnd(hwnd)
    {
        s_pCounter = this;
        m_pfnPrevious = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PaintCounter::WindowProc)));
    }
    ~PaintCounter()
    {
        SetWindowLongPtrW(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnPrevious));
        s_pCounter = nullptr;
    }
    PaintCounter(const PaintCounter&) = delete;
    PaintCounter& operator=(const PaintCounter&) = delete;

    int paints = 0;
    std::function<void(int x, int y)> onPress;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        PaintCounter* self = s_pCounter;
        if (message == WM_LBUTTONDOWN && self->onPress) {
            self->onPress(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            return 0;
        }
        self->paints += message == WM_PAINT;
        return CallWindowProcW(self->m_pfnPrevious, hwnd, message, wParam, lParam);
    }

    static inline PaintCounter* s_pCounter = nullptr;
    HWND m_hwnd;
    WNDPROC m_pfnPrevious;
};

class MainPaneDrag : public MainPaneTrackerTest {
protected:
    MainPaneDrag() : pane(500, 400), tracker(39, 19, 121, 101, &pane.view), counter(pane.window)
    {
        pane.SetMapping(0, 0.5);
        pane.view.m_pPreviewImage = std::make_unique<Gdiplus::Bitmap>(200, 150);
        counter.onPress = [this](int x, int y) { tracked = tracker.Track(pane.window, x, y, TRUE, nullptr); };
    }

    ViewWindow pane;
    CMainPaneTracker tracker;  // the frame of image pixels {20, 10, 60, 50}
    PaintCounter counter;
    BOOL tracked = -1;
};

TEST_F(MainPaneDrag, EdgesSnapToWholeImagePixelsAndColumnZero)
{
    pane.window.Press(40, 60);  // the left edge handle
    pane.window.MoveTo(20, 60);
    pane.window.MoveTo(-2, 60);  // the edge 3 view pixels left of the image
    pane.window.Release(-2, 60);
    Pump();
    EXPECT_TRUE(tracked);
    EXPECT_EQ((RECT{1, 19, 121, 101}), tracker.rect);
    EXPECT_GE(counter.paints, 1);  // the view repainted to show the frame moving

    pane.window.Press(121, 60);   // the right edge handle, on the edge
    pane.window.MoveTo(132, 60);  // image column 65.5 (after the one-pixel frame offset)
    pane.window.Release(132, 60);
    Pump();
    EXPECT_EQ((RECT{1, 19, 131, 101}), tracker.rect);  // column 65
}

TEST_F(MainPaneDrag, MovedFrameIsPushedBackInsideWithItsSize)
{
    pane.window.Press(80, 60);
    pane.window.MoveTo(200, 60);
    pane.window.MoveTo(380, 60);  // the right edge would be at image column 210
    pane.window.Release(380, 60);
    Pump();
    EXPECT_TRUE(tracked);
    EXPECT_EQ((RECT{317, 19, 399, 101}), tracker.rect);  // right edge on column 199

    pane.window.Press(340, 60);
    pane.window.MoveTo(-100, 60);  // past the left side
    pane.window.Release(-100, 60);
    Pump();
    EXPECT_EQ((RECT{1, 19, 83, 101}), tracker.rect);
}

TEST_F(MainPaneDrag, FrameWithTheGlyphStopsAt17Pixels)
{
    pane.SetMapping(0, 1.0);  // one view pixel per image pixel: snapping keeps the size
    tracker.SetCloseGlyph(glyph.get());
    tracker.glyphShown = TRUE;
    pane.window.Press(118, 98);  // the bottom-right corner
    pane.window.MoveTo(80, 60);
    pane.window.MoveTo(40, 20);
    pane.window.Release(40, 20);
    Pump();
    EXPECT_EQ((RECT{39, 19, 56, 36}), tracker.rect);
}

TEST_F(MainPaneDrag, WithoutAnImageTheLimitsAreZero)
{
    pane.view.m_pPreviewImage.reset();
    RECT r = {39, 19, 121, 101};
    tracker.AdjustRect(CRectTrackerBase::HitRight, &r);
    EXPECT_EQ((RECT{39, 19, -1, 101}), r);  // pulled to column -1
    r = {39, 19, 121, 101};
    tracker.AdjustRect(CRectTrackerBase::HitNothing, &r);
    EXPECT_EQ((RECT{39, 19, 121, 101}), r);
}

TEST_F(MainPaneDrag, LandscapeLimitsComeFromThePage)
{
    CScanViewPreview& view = pane.view;
    view.m_bLandscape = true;
    view.m_rcPage = {0, 0, 12000, 9000};
    view.m_dUnitsPerPixel = 10.0;  // the page is 1200 x 900 image pixels
    pane.SetMapping(1, 1.0);       // two view pixels per image pixel

    RECT r = {0, 0, 5000, 5000};
    tracker.AdjustRect(CRectTrackerBase::HitBottomRight, &r);
    EXPECT_EQ((RECT{0, 0, 2399, 1799}), r);  // columns to 1199, rows to 899

    // Turned a quarter: the page's height runs across, stretched by the turned aspect.
    view.m_matOrientation.SetElements(0, 1, -1, 0, 0, 0);
    view.m_fAspectTurned = 1.5f;
    r = {0, 0, 5000, 5000};
    tracker.AdjustRect(CRectTrackerBase::HitBottomRight, &r);
    EXPECT_EQ((RECT{0, 0, 2699, 3599}), r);  // 1350 columns, 1800 rows

    // At fit zoom the limits are cut to the 500 x 400 client area.
    view.m_matOrientation.Reset();
    pane.SetMapping(0, 1.0);
    r = {0, 0, 5000, 5000};
    tracker.AdjustRect(CRectTrackerBase::HitBottomRight, &r);
    EXPECT_EQ((RECT{0, 0, 499, 399}), r);
}

// --- Drawing

TEST_F(MainPaneTrackerTest, FrameIsBlackDashesOnWhite)
{
    uitest::MemoryCanvas canvas(80, 60, RGB(0x80, 0x80, 0x80));
    CMainPaneTracker t(10, 10, 50, 40, nullptr);
    t.Draw(canvas.dc());
    // The 2-pixel line runs along the frame shrunk by one pixel: rows 10 and 11 on top.
    // Every pixel of it is black (a dash) or white (the line under the dashes), and both
    // show: the dashes keep their gaps (they used to be capped into a solid black line).
    int black = 0, white = 0;
    for (int y : {10, 11}) {
        for (int x = 12; x <= 47; ++x) {
            const DWORD px = canvas.At(x, y);
            EXPECT_TRUE(px == 0x000000 || px == 0xFFFFFF) << x << ", " << y << ": " << std::hex << px;
            black += px == 0x000000;
            white += px == 0xFFFFFF;
        }
    }
    EXPECT_GT(black, white);
    EXPECT_GT(white, 0);
    for (int y = 14; y <= 36; ++y) {
        const DWORD left = canvas.At(10, y), right = canvas.At(49, y);
        EXPECT_TRUE(left == 0x000000 || left == 0xFFFFFF) << y;
        EXPECT_TRUE(right == 0x000000 || right == 0xFFFFFF) << y;
    }
    EXPECT_EQ(0x808080u, canvas.At(30, 25));  // the inside is not painted
    EXPECT_EQ(0x808080u, canvas.At(30, 8));
    EXPECT_EQ(0x808080u, canvas.At(43, 18));  // no glyph without glyphShown

    // Under XOR the black dashes change nothing, so what shows is the white line beneath
    // them: it runs along the whole outline (the corners, where two strokes overlap, are
    // XORed twice).
    uitest::MemoryCanvas xored(80, 60, RGB(0x80, 0x80, 0x80));
    SetROP2(xored.dc(), R2_XORPEN);
    t.Draw(xored.dc());
    for (int x = 12; x <= 47; ++x) {
        EXPECT_EQ(0x7F7F7Fu, xored.At(x, 10)) << x;
        EXPECT_EQ(0x7F7F7Fu, xored.At(x, 39)) << x;
    }
    EXPECT_EQ(0x808080u, xored.At(30, 25));
}

TEST_F(MainPaneTrackerTest, GlyphSitsInTheTopRightCorner)
{
    uitest::MemoryCanvas canvas(80, 60, RGB(0x80, 0x80, 0x80));
    CMainPaneTracker t(10, 10, 50, 40, nullptr);
    t.SetCloseGlyph(glyph.get());
    t.glyphShown = TRUE;
    t.Draw(canvas.dc());
    // The 16 x 16 glyph's top-left corner is at (50 - 16, 10).
    EXPECT_EQ(0xC82828u, canvas.At(34 + 8, 10 + 3));  // the red button
    EXPECT_EQ(0xFFFFFFu, canvas.At(34 + 7, 10 + 7));  // the white x
    EXPECT_EQ(0xFFFFFFu, canvas.At(34 + 5, 10 + 10));
    EXPECT_EQ(0x808080u, canvas.At(34 + 0, 10 + 15));  // a transparent corner
    EXPECT_EQ(0x808080u, canvas.At(33, 18));           // just left of the glyph
}

}  // namespace
