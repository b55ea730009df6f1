// CRectTrackerBase: object layout, handle geometry and hit tests, the modal drag loop driven
// by injected input, and its drawing.
#include <windows.h>
#include <winreg.h>

#include <cstdlib>
#include <vector>

#include "RectTrackerBase.h"
#include "ui_test_support.h"

namespace {

using uitest::Pump;
using uitest::TestWindow;

constexpr RECT kFrame = {100, 100, 200, 180};

RECT HandleRect(CRectTrackerBase& t, int handle)
{
    RECT r = {-1, -1, -1, -1};
    t.GetHandleRect(handle, &r);
    return r;
}

// --- The handle size from the profile

TEST(RectTrackerLayout, HandleSizeComesFromTheWindowsProfileOnce)
{
    // The shared objects are made once per process, so the profile is read in a fresh one.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            HKEY key = nullptr;
            RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", 0,
                            nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
            const WCHAR value[] = u"7";
            RegSetValueExW(key, u"oleinplaceborderwidth", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                           sizeof(value));
            CRectTrackerBase first(kFrame, 0);
            RegDeleteValueW(key, u"oleinplaceborderwidth");
            RegCloseKey(key);
            CRectTrackerBase second(kFrame, 0);
            std::exit(first.handleSize == 7 && second.handleSize == 7 ? second.minSize.cx : 1);
        },
        ::testing::ExitedWithCode(14), "");
}

// --- Handle geometry and hit tests

TEST(RectTrackerHandles, HandleSizeShrinksForSmallRectanglesUnlessOutside)
{
    CRectTrackerBase t(RECT{10, 10, 16, 60}, 0);
    EXPECT_EQ(3, t.GetHandleSize());  // 6 wide: half of it
    const RECT wide = {0, 0, 30, 30};
    EXPECT_EQ(4, t.GetHandleSize(&wide));
    const RECT inverted = {20, 40, 13, 10};
    EXPECT_EQ(3, t.GetHandleSize(&inverted));  // |-7| / 2
    t.style = CRectTrackerBase::StyleHandlesOutside;
    EXPECT_EQ(4, t.GetHandleSize());
}

TEST(RectTrackerHandles, EdgeHandlesAppearFromFiveSparePixels)
{
    CRectTrackerBase t(RECT{0, 0, 30, 16}, CRectTrackerBase::StyleHandlesOutside);
    EXPECT_EQ(0x5Fu, t.GetHandleMask());  // 30 - 12 >= 5: top and bottom; 16 - 12 < 5: no sides
    t.rect = {0, 0, 16, 30};
    EXPECT_EQ(0xAFu, t.GetHandleMask());
    t.rect = {30, 17, 0, 0};  // inverted: the magnitudes count
    EXPECT_EQ(0xFFu, t.GetHandleMask());
    t.rect = {0, 0, 16, 16};
    EXPECT_EQ(0x0Fu, t.GetHandleMask());

    // The bounding rectangle grows by the handles and the line.
    t.rect = {200, 180, 100, 100};
    t.style = 0;
    RECT r;
    t.GetBoundingRect(&r);
    EXPECT_EQ((RECT{100, 100, 200, 180}), r);
    t.style = CRectTrackerBase::StyleHandlesOutside;
    t.GetBoundingRect(&r);
    EXPECT_EQ((RECT{97, 97, 203, 183}), r);
    t.style = CRectTrackerBase::StyleHandlesOutside | CRectTrackerBase::StyleSolidLine;
    t.GetBoundingRect(&r);
    EXPECT_EQ((RECT{96, 96, 204, 184}), r);
}

TEST(RectTrackerHandles, HandleSquaresFollowTheTable)
{
    CRectTrackerBase t(kFrame, CRectTrackerBase::StyleHandlesOutside);
    const RECT expected[8] = {
        {97, 97, 101, 101},   {199, 97, 203, 101},  {199, 179, 203, 183}, {97, 179, 101, 183},
        {148, 97, 152, 101},  {199, 138, 203, 142}, {148, 179, 152, 183}, {97, 138, 101, 142},
    };
    for (int h = 0; h < 8; ++h)
        EXPECT_EQ(expected[h], HandleRect(t, h)) << "handle " << h;
    EXPECT_EQ((RECT{-1, -1, -1, -1}), HandleRect(t, 9));  // nothing for codes past the middle

    // An inverted rectangle swaps the handles: the top-left square is where top-right was.
    t.rect = {200, 100, 100, 180};
    EXPECT_EQ(expected[1], HandleRect(t, 0));
    EXPECT_EQ(1, t.NormalizeHandle(0));
    t.rect = {200, 180, 100, 100};
    EXPECT_EQ(2, t.NormalizeHandle(0));
    EXPECT_EQ(6, t.NormalizeHandle(4));
    EXPECT_EQ(7, t.NormalizeHandle(5));
    EXPECT_EQ(8, t.NormalizeHandle(8));
    EXPECT_EQ(-1, t.NormalizeHandle(-1));
}

TEST(RectTrackerHandles, HitTestFindsHandlesThenTheMiddle)
{
    CRectTrackerBase t(kFrame, CRectTrackerBase::StyleHandlesOutside);
    EXPECT_EQ(0, t.HitTest(97, 97));
    EXPECT_EQ(5, t.HitTest(202, 141));
    EXPECT_EQ(8, t.HitTest(150, 140));
    EXPECT_EQ(8, t.HitTest(99, 120));   // the pixel just outside the rectangle still counts
    EXPECT_EQ(-1, t.HitTest(98, 120));  // inside the bounds, but beyond it
    EXPECT_EQ(-1, t.HitTest(203, 140));
    // Edge handles that the mask hides are not hit: this is the left handle's square.
    t.rect = {100, 100, 116, 116};
    EXPECT_EQ(8, t.HitTest(100, 108));
    // Without a handle style everything inside the bounds is the middle.
    t.style = 0;
    t.rect = kFrame;
    EXPECT_EQ(8, t.HitTest(100, 100));
    EXPECT_EQ(-1, t.HitTest(99, 100));
    // The hatched band is the middle too.
    t.style = CRectTrackerBase::StyleHatchedBorder;
    EXPECT_EQ(8, t.HitTestHandles(97, 150));
}

// --- Dragging

class TrackerDrag : public ::testing::Test {
protected:
    TrackerDrag() : window(400, 300), tracker(kFrame, CRectTrackerBase::StyleHandlesOutside) {}

    // A press on the window starts the drag, as a control's WM_LBUTTONDOWN handler does.
    void TrackOnPress(BOOL allowInvert, bool newRect = false)
    {
        window.onMessage = [this, allowInvert, newRect](UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
            if (message != WM_LBUTTONDOWN)
                return false;
            const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
            tracked = newRect ? tracker.TrackNewRect(window, x, y, allowInvert)
                              : tracker.Track(window, x, y, allowInvert, nullptr);
            *result = 0;
            return true;
        };
    }

    TestWindow window;
    CRectTrackerBase tracker;
    BOOL tracked = -1;
};

TEST_F(TrackerDrag, ResizeMoveAndNewRectangle)
{
    struct Case {
        const char* name;
        bool newRect;
        BOOL allowInvert;
        POINT press;
        std::vector<POINT> moves;  // the release is at the last point
        BOOL tracked;
        RECT expected;
    } const cases[] = {
        {"right edge stops at the minimum width", false, FALSE, {200, 140}, {{150, 140}, {50, 140}}, TRUE,
         {100, 100, 108, 180}},
        {"inverted keeps the minimum on its new side", false, TRUE, {200, 140}, {{95, 140}}, TRUE, {100, 100, 92, 180}},
        {"inverted far enough", false, TRUE, {200, 140}, {{50, 140}}, TRUE, {100, 100, 50, 180}},
        {"move follows the grab point", false, FALSE, {150, 140}, {{170, 130}, {171, 135}}, TRUE, {121, 95, 221, 175}},
        {"move back to the start", false, FALSE, {150, 140}, {{170, 150}, {150, 140}}, FALSE, kFrame},
        {"new rectangle inverted", true, TRUE, {100, 50}, {{80, 70}, {60, 90}}, TRUE, {100, 50, 60, 90}},
        {"new rectangle without moving", true, TRUE, {100, 50}, {}, FALSE, {100, 50, 100, 50}},
    };
    for (const Case& c : cases) {
        tracker.rect = kFrame;
        TrackOnPress(c.allowInvert, c.newRect);
        window.Press(c.press.x, c.press.y);
        POINT last = c.press;
        for (const POINT& pt : c.moves)
            window.MoveTo((last = pt).x, pt.y);
        window.Release(last.x, last.y);
        Pump();
        EXPECT_EQ(c.tracked, tracked) << c.name;
        EXPECT_EQ(c.expected, tracker.rect) << c.name;
        EXPECT_EQ(nullptr, GetCapture()) << c.name;
    }
}

TEST_F(TrackerDrag, EscapeAndTheRightButtonCancel)
{
    TrackOnPress(FALSE);
    window.Press(150, 140);
    window.MoveTo(170, 150);
    QorInjectKey('A', TRUE);  // other keys are swallowed
    window.MoveTo(180, 160);
    QorInjectKey(VK_ESCAPE, TRUE);
    window.MoveTo(190, 170);  // after the loop: not tracked
    window.Release(190, 170);
    Pump();
    EXPECT_FALSE(tracked);
    EXPECT_EQ(kFrame, tracker.rect);
    EXPECT_EQ(nullptr, GetCapture());

    tracked = -1;
    window.Press(150, 140);
    window.MoveTo(170, 150);
    window.Mouse(WM_RBUTTONDOWN, 170, 150);
    window.MoveTo(190, 170);
    window.Release(190, 170);
    Pump();
    EXPECT_FALSE(tracked);
    EXPECT_EQ(kFrame, tracker.rect);
}

TEST_F(TrackerDrag, EndOfInputLosesTheCaptureAndKeepsTheLastPosition)
{
    TrackOnPress(FALSE);
    window.Press(150, 140);
    window.MoveTo(160, 150);
    Pump();  // the script ends without a button-up: the capture goes
    EXPECT_TRUE(tracked);
    EXPECT_EQ((RECT{110, 110, 210, 190}), tracker.rect);
    EXPECT_EQ(nullptr, GetCapture());

    tracker.rect = kFrame;
    window.Press(150, 140);
    Pump();  // no move at all: back to the start
    EXPECT_FALSE(tracked);
    EXPECT_EQ(kFrame, tracker.rect);
}

// A tracker that gives the capture to another window at its first change.
class CaptureStealingTracker : public CRectTrackerBase {
public:
    CaptureStealingTracker(const RECT& r, HWND thief) : CRectTrackerBase(r, StyleHandlesOutside), m_thief(thief) {}
    void OnRectChanged(const RECT* old) override
    {
        ++changes;
        if (changes == 1)
            SetCapture(m_thief);
        CRectTrackerBase::OnRectChanged(old);
    }
    int changes = 0;

private:
    HWND m_thief;
};

TEST(TrackerCapture, LosingTheCaptureToAnotherWindowEndsTheDrag)
{
    TestWindow thief(10, 10);  // created first, so the test window lies above it
    TestWindow window(400, 300);
    CaptureStealingTracker tracker(kFrame, thief);
    BOOL tracked = -1;
    window.onMessage = [&](UINT message, WPARAM, LPARAM lParam, LRESULT*) {
        if (message == WM_LBUTTONDOWN)
            tracked = tracker.Track(window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), FALSE, nullptr);
        return message == WM_LBUTTONDOWN;
    };
    window.Press(150, 140);
    window.MoveTo(155, 141);
    window.MoveTo(170, 150);
    window.Release(170, 150);
    Pump();
    EXPECT_TRUE(tracked);
    EXPECT_EQ(1, tracker.changes);
    EXPECT_EQ((RECT{105, 101, 205, 181}), tracker.rect);  // where the first move put it
    EXPECT_EQ(thief.hwnd, GetCapture());                 // not taken back
    ReleaseCapture();
}

TEST(TrackerCapture, RefusesToStartWhileAnotherWindowHoldsTheCapture)
{
    TestWindow other(10, 10);
    TestWindow window(400, 300);
    CRectTrackerBase tracker(kFrame, CRectTrackerBase::StyleHandlesOutside);
    SetCapture(other);
    EXPECT_FALSE(tracker.Track(window, 150, 140, FALSE, nullptr));
    EXPECT_EQ(kFrame, tracker.rect);
    EXPECT_EQ(other.hwnd, GetCapture());
    ReleaseCapture();
    EXPECT_FALSE(tracker.Track(window, 10, 10, FALSE, nullptr));  // nothing there
}

// --- Drawing

TEST(RectTrackerDrawing, XorFeedbackDrawnTwiceRestoresThePixels)
{
    uitest::MemoryCanvas canvas(120, 100, RGB(0x80, 0x40, 0x20));
    const auto original = canvas.Snapshot();
    CRectTrackerBase tracker(RECT{20, 20, 90, 70}, 0);

    RECT first = {20, 20, 90, 70};
    tracker.DrawDragFeedback(&first, nullptr, canvas.dc(), nullptr);
    const auto drawn = canvas.Snapshot();
    EXPECT_NE(original, drawn);
    EXPECT_EQ(original[50 * 120 + 50], drawn[50 * 120 + 50]);  // only the outline changes

    // As the drag loop does: remember the old outline, draw the new one, then erase it.
    tracker.erasing = TRUE;
    tracker.DrawDragFeedback(&first, nullptr, canvas.dc(), nullptr);
    EXPECT_EQ(drawn, canvas.Snapshot());  // erasing alone draws nothing
    RECT second = {30, 25, 95, 80};
    tracker.rect = second;
    tracker.erasing = FALSE;
    tracker.DrawDragFeedback(&second, nullptr, canvas.dc(), nullptr);
    EXPECT_NE(drawn, canvas.Snapshot());
    tracker.erasing = TRUE;
    tracker.finalErase = TRUE;
    tracker.DrawDragFeedback(&second, nullptr, canvas.dc(), nullptr);
    EXPECT_EQ(original, canvas.Snapshot());
}

TEST(RectTrackerDrawing, DragLeavesTheWindowAsItWas)
{
    TestWindow window(300, 200);
    window.Fill(RGB(0x33, 0x66, 0x99));
    const auto before = window.Pixels();
    ASSERT_EQ(0x336699u, before[0] & 0x00FFFFFF);
    CRectTrackerBase tracker(RECT{50, 50, 150, 120}, 0);
    window.onMessage = [&](UINT message, WPARAM, LPARAM lParam, LRESULT*) {
        if (message == WM_LBUTTONDOWN)
            tracker.Track(window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), FALSE, nullptr);
        return message == WM_LBUTTONDOWN;
    };
    window.Press(100, 80);
    window.MoveTo(110, 90);
    window.MoveTo(120, 95);
    window.Release(120, 95);
    Pump();
    EXPECT_EQ((RECT{70, 65, 170, 135}), tracker.rect);
    EXPECT_EQ(before, window.Pixels());
}

TEST(RectTrackerDrawing, DrawShowsLineAndHandles)
{
    uitest::MemoryCanvas canvas(260, 220, RGB(255, 255, 255));
    CRectTrackerBase tracker(kFrame, CRectTrackerBase::StyleSolidLine | CRectTrackerBase::StyleHandlesOutside);
    tracker.Draw(canvas.dc());
    EXPECT_EQ(0x000000u, canvas.At(120, 99));   // the line one pixel outside
    EXPECT_EQ(0x000000u, canvas.At(120, 180));  // Rectangle's bottom edge at 181 - 1
    EXPECT_EQ(0x000000u, canvas.At(99, 160));
    EXPECT_EQ(0xFFFFFFu, canvas.At(120, 120));
    // Handles with the line style: the rectangle is inflated by 1 and by s - 1 = 3.
    EXPECT_EQ(0x000000u, canvas.At(96, 96));
    EXPECT_EQ(0x000000u, canvas.At(99, 99));
    EXPECT_EQ(0xFFFFFFu, canvas.At(95, 95));
    EXPECT_EQ(0x000000u, canvas.At(149, 96));  // the top edge handle, centred
    EXPECT_EQ(0xFFFFFFu, canvas.At(130, 96));
}

}  // namespace
