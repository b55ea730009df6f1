// CScanViewPreview: crop frames from page units to image pixels for every orientation, and
// edited trackers back to page units.
#include <windows.h>

#include "view_test_support.h"

namespace {

using uitest::RecordingView;
using uitest::ViewWindow;

constexpr RECT kNoWindow = {0, 0, 0, 0};
constexpr RECT kPortraitWindow = {30, 20, 430, 620};  // 400 x 600 screen pixels

// A letter page of 8500 x 11000 page units shown as 850 x 1100 image pixels (s = 10).
class FrameMapping : public ::testing::Test {
protected:
    FrameMapping()
    {
        view.m_bSampleShown = false;
        view.m_rcPage = {0, 0, 8500, 11000};
        view.m_rcImage = {0, 0, 850, 1100};
        view.UpdateUnitsPerPixel();
        view.m_vecFrames = {{1205, 2301, 5599, 7808}};
        view.m_vecFrameImages = {{0, 0, 0, 0}};
    }
    RECT Map(bool mirrorV, bool mirrorH, int angle, RECT window = kNoWindow)
    {
        view.MapFramesToImage(mirrorV, mirrorH, angle, window, false);
        return view.m_vecFrameImages[0];
    }
    RecordingView view;
};

TEST_F(FrameMapping, EveryOrientationRoundsInward)
{
    // p / s: left 120.5, top 230.1, right 559.9, bottom 780.8;
    // (W - right) / s 290.1, (W - left) / s 729.5, (H - bottom) / s 319.2, (H - top) / s 869.9.
    struct Row {
        int angle;
        bool mirrorV, mirrorH;
        RECT expected;
    };
    const Row rows[] = {
        {0, false, false, {121, 231, 559, 780}},     {0, false, true, {291, 231, 729, 780}},
        {0, true, false, {121, 320, 559, 869}},      {9000, false, false, {320, 121, 869, 559}},
        {9000, false, true, {320, 291, 869, 729}},   {9000, true, false, {231, 121, 780, 559}},
        {18000, false, false, {291, 320, 729, 869}}, {18000, false, true, {121, 320, 559, 869}},
        {18000, true, false, {291, 231, 729, 780}},  {27000, false, false, {231, 291, 780, 729}},
        {27000, false, true, {231, 121, 780, 559}},  {27000, true, false, {320, 291, 869, 729}},
        {0, true, true, {291, 320, 729, 869}},       {9000, true, true, {231, 291, 780, 729}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.expected, Map(row.mirrorV, row.mirrorH, row.angle))
            << "angle " << row.angle << " V " << row.mirrorV << " H " << row.mirrorH;
}

TEST_F(FrameMapping, WholePageAndNarrowFrames)
{
    view.m_vecFrames = {{0, 0, 8500, 11000}};
    EXPECT_EQ((RECT{0, 0, 850, 1100}), Map(false, false, 0));
    EXPECT_EQ((RECT{0, 0, 1100, 850}), Map(false, false, 9000));
    // A frame narrower than a pixel comes out inverted; it is normalised later.
    view.m_vecFrames = {{15, 15, 19, 19}};
    EXPECT_EQ((RECT{2, 2, 1, 1}), Map(false, false, 0));
}

TEST_F(FrameMapping, TurnedSampleAtFitZoomIsStretchedByTheWindow)
{
    view.m_bSampleShown = true;
    // {320, 121, 869, 559} at 9000, each edge times 400 x 600's k = 1.5, truncated.
    EXPECT_EQ((RECT{480, 181, 1303, 838}), Map(false, false, 9000, kPortraitWindow));
    EXPECT_EQ((RECT{346, 436, 1170, 1093}), Map(false, false, 27000, kPortraitWindow));
    EXPECT_EQ((RECT{121, 231, 559, 780}), Map(false, false, 0, kPortraitWindow));  // upright: no k
    EXPECT_EQ((RECT{320, 121, 869, 559}), Map(false, false, 9000, kNoWindow));      // empty window: k = 1
    view.m_nZoomStep = 1;
    EXPECT_EQ((RECT{320, 121, 869, 559}), Map(false, false, 9000, kPortraitWindow));
    view.m_nZoomStep = 0;
    view.m_bSampleShown = false;
    EXPECT_EQ((RECT{320, 121, 869, 559}), Map(false, false, 9000, kPortraitWindow));
}

TEST_F(FrameMapping, StopsAtTheShorterList)
{
    view.m_vecFrames.push_back({0, 0, 100, 100});
    view.MapFramesToImage(false, false, 0, kNoWindow, false);
    EXPECT_EQ(1u, view.m_vecFrameImages.size());
    view.m_vecFrameImages.push_back({7, 7, 7, 7});
    view.m_vecFrameImages.push_back({8, 8, 8, 8});
    view.MapFramesToImage(false, false, 0, kNoWindow, false);
    EXPECT_EQ((RECT{0, 0, 10, 10}), view.m_vecFrameImages[1]);
    EXPECT_EQ((RECT{8, 8, 8, 8}), view.m_vecFrameImages[2]);
}

// --- Committing trackers: one view pixel per image pixel

class Commit : public ::testing::Test {
protected:
    Commit() : pane(400, 600), view(pane.view), tracker(0, 0, 0, 0, &pane.view)
    {
        pane.SetMapping(0, 1.0);
        view.m_rcPage = {0, 0, 850, 1100};
        view.m_rcImage = {0, 0, 850, 1100};
        view.UpdateUnitsPerPixel();  // s = 1
        view.m_rcCrop = {0, 0, 850, 1100};
        uitest::Pump();
    }
    // Takes a posted WM_SIZE (wParam 0, lParam 0) off the queue.
    bool TakeSizeRequest()
    {
        MSG msg;
        if (!PeekMessageW(&msg, pane.window, WM_SIZE, WM_SIZE, PM_REMOVE))
            return false;
        return msg.wParam == 0 && msg.lParam == 0;
    }

    ViewWindow pane;
    RecordingView& view;
    CMainPaneTracker tracker;
};

TEST_F(Commit, UndoesEveryOrientation)
{
    const RECT p = {120, 230, 560, 781};  // page units
    struct Orientation {
        float m11, m12, m21, m22;
    };
    const Orientation orientations[] = {
        {1, 0, 0, 1},  {0, 1, -1, 0}, {-1, 0, 0, -1}, {0, -1, 1, 0},   // turns
        {-1, 0, 0, 1}, {1, 0, 0, -1}, {0, 1, 1, 0},   {0, -1, -1, 0},  // mirrored
    };
    for (const Orientation& o : orientations) {
        view.m_matOrientation.SetElements(o.m11, o.m12, o.m21, o.m22, 0, 0);
        bool mirrorV = false, mirrorH = false;
        int angle = 0;
        view.GetOrientation(mirrorV, mirrorH, angle);
        view.m_vecFrames = {p};
        view.m_vecFrameImages = {{0, 0, 0, 0}};
        view.MapFramesToImage(mirrorV, mirrorH, angle, kNoWindow, false);
        tracker.rect = view.m_vecFrameImages[0];  // the frame where the image shows it
        view.m_vecFrames = {{0, 0, 0, 0}};
        view.CommitTracker(&tracker, 0);
        EXPECT_EQ(p, view.m_vecFrames[0]) << o.m11 << " " << o.m12 << " " << o.m21 << " " << o.m22;
        Gdiplus::REAL m[6];
        view.m_matOrientation.GetElements(m);
        EXPECT_TRUE(m[0] == o.m11 && m[1] == o.m12 && m[2] == o.m21 && m[3] == o.m22);  // restored
    }
    EXPECT_EQ(8u, view.frameReports.size());
}

TEST_F(Commit, EdgesRoundUpExceptTheBottom)
{
    view.m_rcPage = {0, 0, 100, 100};
    view.m_dUnitsPerPixel = 2.5;
    view.m_vecFrames = {{0, 0, 0, 0}};
    tracker.rect = {1, 1, 7, 7};  // page units 2.5 and 17.5
    view.CommitTracker(&tracker, 0);
    EXPECT_EQ((RECT{3, 3, 18, 17}), view.m_vecFrames[0]);

    // A left-right mirror at 0 rounds all four up, in the mirrored page.
    view.m_matOrientation.SetElements(-1, 0, 0, 1, 0, 0);
    view.CommitTracker(&tracker, 0);
    EXPECT_EQ((RECT{82, 3, 97, 18}), view.m_vecFrames[0]);
}

TEST_F(Commit, CropIsClippedToThePageAndAskForALayout)
{
    tracker.rect = {-20, 10, 900, 500};
    view.CommitTracker(&tracker, -1);
    EXPECT_EQ((RECT{0, 10, 850, 500}), view.m_rcCrop);
    EXPECT_TRUE(TakeSizeRequest());
    EXPECT_EQ(std::vector<int>{-1}, view.frameReports);

    view.CommitTracker(&tracker, -1);  // the same crop again: no new layout
    EXPECT_FALSE(TakeSizeRequest());

    tracker.rect = {900, 10, 950, 500};  // entirely outside
    view.CommitTracker(&tracker, -1);
    EXPECT_EQ((RECT{0, 0, 0, 0}), view.m_rcCrop);
    EXPECT_TRUE(TakeSizeRequest());
}

TEST_F(Commit, FramesAreStoredClippedAppendedOrOnlyReported)
{
    view.m_vecFrames = {{1, 1, 2, 2}};
    tracker.rect = {-5, 100, 300, 1200};
    view.CommitTracker(&tracker, 0);
    EXPECT_EQ((RECT{0, 100, 300, 1100}), view.m_vecFrames[0]);

    tracker.rect = {10, 20, 30, 40};
    view.CommitTracker(&tracker, 1);  // the frame count: appended
    ASSERT_EQ(2u, view.m_vecFrames.size());
    EXPECT_EQ((RECT{10, 20, 30, 40}), view.m_vecFrames[1]);

    view.CommitTracker(nullptr, 0);  // a deleted frame: only reported
    EXPECT_EQ(2u, view.m_vecFrames.size());
    EXPECT_EQ((RECT{0, 100, 300, 1100}), view.m_vecFrames[0]);
    EXPECT_EQ((std::vector<int>{0, 1, 0}), view.frameReports);
    EXPECT_TRUE(view.writingDuringReport);
    EXPECT_FALSE(view.m_bWritingToHost);
    EXPECT_FALSE(TakeSizeRequest());  // frames never ask for a layout
}

TEST(CommitDegenerate, OnePixelHighClientAreaStaysWithinThePage)
{
    // The zoom divides by the client height less one: an infinite scale.
    ViewWindow pane(400, 1);
    RecordingView& view = pane.view;
    view.m_bSampleShown = false;
    view.m_rcPage = {0, 0, 850, 1100};
    view.m_rcImage = {0, 0, 850, 1100};
    view.UpdateUnitsPerPixel();
    ASSERT_TRUE(view.UpdateZoom());
    view.m_matOrientation.SetElements(-1, 0, 0, 1, 0, 0);
    CMainPaneTracker tracker(10, 0, 20, 1, &view);
    view.m_vecFrames = {{0, 0, 0, 0}};
    view.CommitTracker(&tracker, 0);
    RECT inside;
    IntersectRect(&inside, &view.m_vecFrames[0], &view.m_rcPage);
    EXPECT_EQ(inside, view.m_vecFrames[0]);
}

}  // namespace
