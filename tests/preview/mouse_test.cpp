// Editing the crop frames with the mouse, through injected input: moving and resizing,
// deleting through the close glyph, dragging out new frames, where a press counts and the
// cursor's confinement during a drag.
#include <windows.h>

#include "view_test_support.h"

namespace {

using uitest::Pump;
using Reports = std::vector<int>;

constexpr RECT kLetter = {0, 0, 8500, 11000};  // page units

// A view that also looks at the edit whenever it paints during a drag.
class ProbedView : public uitest::RecordingView {
public:
    BEGIN_MSG_MAP(ProbedView)
        MESSAGE_HANDLER(WM_PAINT, OnProbePaint)
        CHAIN_MSG_MAP(uitest::RecordingView)
    END_MSG_MAP()

    LRESULT OnProbePaint(UINT, WPARAM, LPARAM, BOOL& bHandled)
    {
        if (GetCapture() == m_hWnd) {
            RECT rcClip;
            POINT ptCursor;
            ::GetClipCursor(&rcClip);
            ::GetCursorPos(&ptCursor);
            clipsDuringDrag.push_back(rcClip);
            cursorsDuringDrag.push_back(ptCursor);
            activeDuringDrag = activeDuringDrag || m_pActiveTracker != nullptr;
        }
        bHandled = FALSE;
        return 0;
    }

    std::vector<RECT> clipsDuringDrag;  // screen coordinates
    std::vector<POINT> cursorsDuringDrag;
    bool activeDuringDrag = false;
};

// An 800 x 600 window showing a letter page as an 850 x 1100 preview: the page is 463 x 600
// view pixels, and its one frame lies around (55, 55) to (164, 164).
class MouseEditing : public ::testing::Test {
protected:
    MouseEditing() : window(800, 600)
    {
        view.SubclassWindow(window);
        view.m_bSampleShown = false;
        view.SetPageAndCrop(kLetter, {1000, 1000, 3000, 3000}, true);
        view.m_pPreviewSource.reset(new Gdiplus::Bitmap(850, 1100, PixelFormat32bppARGB));
        view.m_pPreviewImage.reset(new Gdiplus::Bitmap(1, 1, PixelFormat32bppARGB));
        view.ApplyOrientation();
        view.SetPageAndCrop(kLetter, {1000, 1000, 3000, 3000}, true);
        Pump();
    }
    ~MouseEditing() override { view.UnsubclassWindow(TRUE); }

    // Replaces the frames (page units), as the host's frame list would.
    void SetFrames(const std::vector<RECT>& frames)
    {
        view.m_vecFrames = frames;
        view.m_vecFrameImages.clear();
        view.m_vecTrackers.clear();
        view.BuildFrameViews();
        view.UpdateTrackers();
        Pump();
    }

    RECT Tracker(size_t i) const { return view.m_vecTrackers.at(i).rect; }
    size_t Count() const
    {
        EXPECT_EQ(view.m_vecTrackers.size(), view.m_vecFrames.size());
        EXPECT_EQ(view.m_vecTrackers.size(), view.m_vecFrameImages.size());
        return view.m_vecTrackers.size();
    }
    bool AllGlyphsShown() const
    {
        return std::all_of(view.m_vecTrackers.begin(), view.m_vecTrackers.end(),
                           [](const CMainPaneTracker& t) { return t.glyphShown != 0; });
    }

    // A press at (x, y), moves through the given points and the release at the last one.
    void Drag(int x, int y, std::initializer_list<POINT> moves)
    {
        window.Press(x, y);
        POINT last = {x, y};
        for (const POINT& pt : moves) {
            window.MoveTo(pt.x, pt.y);
            last = pt;
        }
        window.Release(last.x, last.y);
        Pump();
    }
    // A press on frame i's close glyph.
    void PressGlyph(size_t i)
    {
        const RECT rc = Tracker(i);
        ASSERT_EQ(CMainPaneTracker::HitCloseGlyph, view.m_vecTrackers[i].HitTest(rc.right - 6, rc.top + 8));
        Drag(rc.right - 6, rc.top + 8, {});
    }

    // The paper grown by one pixel, view coordinates.
    RECT PressArea() const
    {
        RECT rcClient, rcPaper;
        ::GetClientRect(window, &rcClient);
        view.GetPaperRects(rcClient, nullptr, &rcPaper, nullptr);
        InflateRect(&rcPaper, 1, 1);
        return rcPaper;
    }
    static bool CursorIsFree()
    {
        RECT rcClip;
        ::GetClipCursor(&rcClip);
        return rcClip == (RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)});
    }

    uitest::TestWindow window;
    ProbedView view;
};

TEST_F(MouseEditing, SingleFrameHasNoGlyphAndItsTopRightCornerResizes)
{
    const RECT before = Tracker(0);
    EXPECT_FALSE(view.m_vecTrackers[0].glyphShown);
    // Where a deletable frame's glyph would be, the corner handle is.
    const int x = before.right - 6, y = before.top + 2;
    ASSERT_EQ(CRectTrackerBase::HitTopRight, view.m_vecTrackers[0].HitTest(x, y));
    Drag(x, y, {{x + 20, y - 10}, {x + 40, y - 20}});
    ASSERT_EQ(1u, Count());
    const RECT after = Tracker(0);
    EXPECT_EQ(before.left, after.left);
    EXPECT_EQ(before.bottom, after.bottom);
    EXPECT_NEAR(before.right + 40, after.right, 2);  // snapped to whole image pixels
    EXPECT_NEAR(before.top - 20, after.top, 2);
    // The image pixels and page units moved with it.
    EXPECT_EQ(view.ViewToImageFloorX(after.right), view.m_vecFrameImages[0].right);
    EXPECT_EQ(view.ViewToImageCeilY(after.top), view.m_vecFrameImages[0].top);
    EXPECT_NEAR(3000 + 40 * 11000 / 600, view.m_vecFrames[0].right, 40);
    EXPECT_EQ(Reports{0}, view.frameReports);
    EXPECT_TRUE(CursorIsFree());

    // A press and release without moving changes and reports nothing.
    Drag((after.left + after.right) / 2, (after.top + after.bottom) / 2, {});
    EXPECT_EQ(after, Tracker(0));
    EXPECT_EQ(Reports{0}, view.frameReports);
}

TEST_F(MouseEditing, GlyphDeletesItsFrameFromAllListsWithItsIndex)
{
    // Two frames: the second goes, and the first, now alone, loses its glyph.
    SetFrames({{500, 500, 3000, 3000}, {4000, 5000, 7000, 9000}});
    EXPECT_TRUE(AllGlyphsShown());
    const RECT first = Tracker(0);
    PressGlyph(1);
    ASSERT_EQ(1u, Count());
    EXPECT_EQ((RECT{500, 500, 3000, 3000}), view.m_vecFrames[0]);
    EXPECT_EQ(first, Tracker(0));
    EXPECT_FALSE(view.m_vecTrackers[0].glyphShown);
    EXPECT_EQ(Reports{1}, view.frameReports);

    // Three frames, the middle one goes: the former third takes index 1.
    SetFrames({{500, 500, 3000, 3000}, {4000, 500, 7000, 3000}, {1000, 5000, 7000, 9000}});
    const RECT third = Tracker(2);
    const RECT thirdImage = view.m_vecFrameImages[2];
    view.frameReports.clear();
    PressGlyph(1);
    ASSERT_EQ(2u, Count());
    EXPECT_EQ((RECT{1000, 5000, 7000, 9000}), view.m_vecFrames[1]);
    EXPECT_EQ(third, Tracker(1));
    EXPECT_NEAR(thirdImage.top, view.m_vecFrameImages[1].top, 1);  // taken again from the tracker
    EXPECT_NEAR(thirdImage.right, view.m_vecFrameImages[1].right, 1);
    EXPECT_TRUE(AllGlyphsShown());
    EXPECT_EQ(Reports{1}, view.frameReports);
}

TEST_F(MouseEditing, NewFrameIsDraggedOutOnBarePaperWithinThePaper)
{
    const RECT first = Tracker(0);
    Drag(250, 300, {{300, 350}, {2000, 2000}, {350, 420}});
    ASSERT_EQ(2u, Count());
    EXPECT_EQ(first, Tracker(0));
    const RECT added = Tracker(1);
    EXPECT_NEAR(250, added.left, 2);
    EXPECT_NEAR(300, added.top, 2);
    EXPECT_NEAR(350, added.right, 2);
    EXPECT_NEAR(420, added.bottom, 2);
    EXPECT_TRUE(AllGlyphsShown());
    EXPECT_EQ(view.m_pCloseGlyph.get(), view.m_vecTrackers[1].closeGlyph);
    EXPECT_EQ((RECT{view.ViewToImageCeilX(added.left), view.ViewToImageCeilY(added.top),
                    view.ViewToImageFloorX(added.right), view.ViewToImageFloorY(added.bottom)}),
              view.m_vecFrameImages[1]);
    EXPECT_EQ(Reports{1}, view.frameReports);

    // The new frame was painted while it was dragged; the mouse stayed on the paper grown by
    // one pixel (the move to (2000, 2000) stopped at its last pixel) and is free again.
    EXPECT_TRUE(view.activeDuringDrag);
    EXPECT_EQ(nullptr, view.m_pActiveTracker);
    RECT rcConfine = PressArea();
    ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rcConfine), 2);
    ASSERT_FALSE(view.clipsDuringDrag.empty());
    bool reachedCorner = false;
    for (size_t i = 0; i < view.clipsDuringDrag.size(); ++i) {
        EXPECT_EQ(rcConfine, view.clipsDuringDrag[i]);
        const POINT pt = view.cursorsDuringDrag[i];
        EXPECT_TRUE(PtInRect(&rcConfine, pt));
        reachedCorner = reachedCorner || (pt.x == rcConfine.right - 1 && pt.y == rcConfine.bottom - 1);
    }
    EXPECT_TRUE(reachedCorner);
    EXPECT_TRUE(CursorIsFree());

    // The right button cancels a new frame; a press without moving makes none.
    window.Press(250, 460);
    window.MoveTo(320, 520);
    window.Mouse(WM_RBUTTONDOWN, 320, 520);
    window.MoveTo(340, 540);
    window.Release(340, 540);
    Pump();
    Drag(250, 460, {});
    EXPECT_EQ(2u, Count());
    EXPECT_EQ(Reports{1}, view.frameReports);
    EXPECT_TRUE(CursorIsFree());
}

TEST_F(MouseEditing, PressActsOnTheFirstFrameHitAndStartsOneEditOnly)
{
    SetFrames({{1000, 1000, 4000, 4000}, {2000, 2000, 5000, 5000}});
    const RECT first = Tracker(0);
    const RECT second = Tracker(1);
    // In the overlap the first frame, listed earlier, moves, though the second is on top.
    const int x = second.right - 6 - 80, y = second.top + 8;
    ASSERT_EQ(CRectTrackerBase::HitMiddle, view.m_vecTrackers[0].HitTest(x, y));
    ASSERT_NE(CRectTrackerBase::HitNothing, view.m_vecTrackers[1].HitTest(x, y));
    // A second press that the drag's loop dispatches, on the second frame's glyph, is no
    // edit of its own: deleting a frame under the running drag would break the lists apart.
    window.Press(x, y);
    window.MoveTo(x + 20, y + 30);
    window.Press(second.right - 6, second.top + 8);
    window.MoveTo(x + 40, y + 60);
    window.Release(x + 40, y + 60);
    Pump();
    ASSERT_EQ(2u, Count());
    EXPECT_EQ(second, Tracker(1));
    EXPECT_NEAR(first.left + 40, Tracker(0).left, 2);
    EXPECT_NEAR(first.top + 60, Tracker(0).top, 2);
    EXPECT_NEAR(first.right - first.left, Tracker(0).right - Tracker(0).left, 2);
    EXPECT_EQ(Reports{0}, view.frameReports);
}

TEST_F(MouseEditing, PressCountsOnThePaperGrownByOnePixel)
{
    // A page that begins 300 units right of its origin puts the paper's left edge inside
    // the window.
    view.SetPageAndCrop({300, 0, 8500, 11000}, {7000, 9000, 8000, 10000}, true);
    Pump();
    const RECT area = PressArea();
    ASSERT_GE(area.left, 1);
    ASSERT_LT(area.right, 799);
    const struct {
        int x, dx;
        bool edits;
    } cases[] = {{area.left, 60, true}, {area.left - 1, 60, false}, {area.right - 1, -60, true}, {area.right, -60, false}};
    for (const auto& c : cases) {
        const size_t count = view.m_vecTrackers.size();
        Drag(c.x, 200, {{c.x + c.dx, 260}});
        EXPECT_EQ(count + (c.edits ? 1 : 0), view.m_vecTrackers.size()) << "press at " << c.x;
    }

    // Hidden frames take no press at all, and nothing is repainted.
    view.m_bFramesVisible = false;
    const size_t count = view.m_vecTrackers.size();
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 200));
    EXPECT_FALSE(::GetUpdateRect(window, nullptr, FALSE));
    EXPECT_EQ(count, view.m_vecTrackers.size());
}

}  // namespace
