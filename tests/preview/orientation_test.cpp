// CScanViewPreview: decoding the orientation matrix, the turn and mirror commands with their
// finishing steps, and the oriented bitmap.
#include <windows.h>

#include "view_test_support.h"

namespace {

using uitest::RecordingView;
using uitest::ViewWindow;

struct Decoded {
    bool mirrorV, mirrorH;
    int angle;
    bool operator==(const Decoded&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Decoded& d)
{
    return os << "(V " << d.mirrorV << ", H " << d.mirrorH << ", " << d.angle << ")";
}

Decoded Orientation(const CScanViewPreview& view)
{
    Decoded d{};
    view.GetOrientation(d.mirrorV, d.mirrorH, d.angle);
    return d;
}

// --- Decoding

TEST(ScanViewOrientation, TableIsTriedInOrder)
{
    CScanViewPreview view;
    struct Row {
        Gdiplus::REAL m11, m12, m21, m22;
        Decoded expected;
    };
    const Row rows[] = {
        {1, 0, 0, 1, {false, false, 0}},     {-1, 0, 0, 1, {false, true, 0}},
        {1, 0, 0, -1, {true, false, 0}},     {-1, 0, 0, -1, {false, false, 18000}},
        {0, 1, 1, 0, {false, true, 27000}},  {0, 1, -1, 0, {false, false, 9000}},
        {0, -1, 1, 0, {false, false, 27000}}, {0, -1, -1, 0, {false, true, 9000}},
        {2, 0, 0, 2, {false, false, 0}},     {0, 0, 0, 0, {false, false, 0}},
        // "any" columns: the first matching row decides.
        {1, 5, 7, 1, {false, false, 0}},     {1, 1, 1, -1, {true, false, 0}},
        {0.5f, 1, -1, 0.5f, {false, false, 9000}},
    };
    for (const Row& row : rows) {
        view.m_matOrientation.SetElements(row.m11, row.m12, row.m21, row.m22, 0, 0);
        EXPECT_EQ(row.expected, Orientation(view)) << row.m11 << " " << row.m12 << " " << row.m21 << " " << row.m22;
    }
}

TEST(ScanViewOrientation, CommandsComposeNewestLast)
{
    RecordingView view;
    for (int i = 0; i < 4; ++i)
        view.RotateRight();
    EXPECT_TRUE(view.m_matOrientation.IsIdentity());
    EXPECT_EQ((Decoded{false, false, 0}), Orientation(view));

    view.MirrorVertical();
    view.RotateRight();
    view.RotateRight();  // a top-bottom mirror at 18000 is a left-right mirror at 0
    EXPECT_EQ((Decoded{false, true, 0}), Orientation(view));

    view.m_matOrientation.Reset();
    view.MirrorHorizontal();
    view.RotateRight();
    EXPECT_EQ((Decoded{false, true, 9000}), Orientation(view));
    view.RotateLeft();
    view.MirrorHorizontal();
    EXPECT_TRUE(view.m_matOrientation.IsIdentity());
    view.RotateLeft();
    EXPECT_EQ((Decoded{false, false, 27000}), Orientation(view));
}

// --- The direct forms (no landscape layout): image pixels only

class DirectTurns : public ::testing::Test {
protected:
    DirectTurns()
    {
        view.m_rcImage = {0, 0, 850, 1100};
        view.m_vecFrameImages = {{100, 200, 300, 400}};
        view.m_vecFrames = {{50, 60, 10, 20}};
    }
    RecordingView view;
};

TEST_F(DirectTurns, EachTurnTakesTwoPixelsOffTheRightEdge)
{
    view.RotateRight();
    EXPECT_EQ((RECT{0, 0, 1100, 850}), view.m_rcImage);
    EXPECT_EQ((RECT{700, 100, 898, 300}), view.m_vecFrameImages[0]);
    EXPECT_EQ((RECT{10, 20, 50, 60}), view.m_vecFrames[0]);  // page frames normalised too
    EXPECT_EQ(1, view.orientationReports);

    view.RotateLeft();
    EXPECT_EQ((RECT{0, 0, 850, 1100}), view.m_rcImage);
    EXPECT_EQ((RECT{100, 202, 298, 400}), view.m_vecFrameImages[0]);  // not where it started
    EXPECT_EQ(2, view.orientationReports);
}

TEST_F(DirectTurns, MirrorsKeepTheSizeAndNormaliseImagesOnly)
{
    view.MirrorHorizontal();
    EXPECT_EQ((RECT{0, 0, 850, 1100}), view.m_rcImage);
    EXPECT_EQ((RECT{550, 200, 750, 400}), view.m_vecFrameImages[0]);
    EXPECT_EQ((RECT{50, 60, 10, 20}), view.m_vecFrames[0]);
    view.MirrorVertical();
    EXPECT_EQ((RECT{550, 700, 750, 900}), view.m_vecFrameImages[0]);
    EXPECT_EQ(2, view.orientationReports);
}

// --- Landscape layout: the frames are mapped again from page units

class LandscapeTurns : public ::testing::Test {
protected:
    LandscapeTurns()
    {
        view.m_bLandscape = true;
        view.m_bSampleShown = false;
        view.m_rcPage = {0, 0, 8500, 11000};
        view.m_dUnitsPerPixel = 10.0;
        view.m_rcImage = {0, 0, 850, 1100};
        view.m_vecFrames = {{1205, 2301, 5599, 7808}};
        view.m_vecFrameImages = {{0, 0, 0, 0}};
    }
    RecordingView view;
};

TEST_F(LandscapeTurns, TurnsMapFromPageUnits)
{
    view.RotateRight();
    EXPECT_EQ((RECT{320, 121, 869, 559}), view.m_vecFrameImages[0]);
    EXPECT_EQ(2, view.orientationReports);  // the mapping and the finishing step
    view.RotateRight();
    EXPECT_EQ((RECT{291, 320, 729, 869}), view.m_vecFrameImages[0]);
    view.RotateLeft();
    view.RotateLeft();
    view.RotateLeft();  // 0 wraps to 27000
    EXPECT_EQ((RECT{231, 291, 780, 729}), view.m_vecFrameImages[0]);
}

TEST_F(LandscapeTurns, MirroredTurnMapsTwiceAndMirrorsFollowTheScreen)
{
    view.MirrorHorizontal();  // at 0: a left-right mirror of the page
    EXPECT_EQ((RECT{291, 231, 729, 780}), view.m_vecFrameImages[0]);
    EXPECT_EQ(2, view.orientationReports);
    view.RotateRight();  // mapped without, then with the mirror: two reports and the last
    EXPECT_EQ((RECT{320, 291, 869, 729}), view.m_vecFrameImages[0]);
    EXPECT_EQ(5, view.orientationReports);

    // After a quarter turn a left-right mirror on screen mirrors the page top-bottom.
    view.m_matOrientation.SetElements(0, 1, -1, 0, 0, 0);
    view.MirrorHorizontal();
    EXPECT_EQ((RECT{231, 121, 780, 559}), view.m_vecFrameImages[0]);
    view.m_matOrientation.SetElements(0, 1, -1, 0, 0, 0);
    view.MirrorVertical();
    EXPECT_EQ((RECT{320, 291, 869, 729}), view.m_vecFrameImages[0]);
}

// --- The oriented bitmap

TEST(ScanViewOrientedImage, TurnsRebuildTheBitmapFromTheSource)
{
    ViewWindow pane(300, 201);
    CScanViewPreview& view = pane.view;
    view.m_bSampleShown = false;
    view.m_rcPage = {0, 0, 400, 200};
    view.m_pPreviewSource = std::make_unique<Gdiplus::Bitmap>(40, 20);
    view.m_pPreviewSource->SetPixel(0, 0, Gdiplus::Color(255, 255, 0, 0));
    view.m_pPreviewImage = std::make_unique<Gdiplus::Bitmap>(40, 20);
    view.m_rcImage = {0, 0, 40, 20};
    view.m_vecFrameImages = {{0, 0, 40, 20}};
    view.m_vecTrackers.assign(1, CMainPaneTracker(0, 0, 0, 0, &view));

    view.RotateRight();
    ASSERT_NE(nullptr, view.m_pPreviewImage);
    EXPECT_EQ(20u, view.m_pPreviewImage->GetWidth());
    EXPECT_EQ(40u, view.m_pPreviewImage->GetHeight());
    EXPECT_EQ((RECT{0, 0, 20, 40}), view.m_rcImage);
    Gdiplus::Color color;
    view.m_pPreviewImage->GetPixel(19, 0, &color);  // the source's top-left, turned right
    EXPECT_EQ(0xFFFF0000u, color.GetValue());
    EXPECT_EQ(10.0, view.m_dUnitsPerPixel);          // 600 / 60
    EXPECT_DOUBLE_EQ(0.2, view.m_dScaleX);           // 40 / (201 - 1) beats 20 / 300
    EXPECT_EQ((RECT{0, 0, 91, 201}), view.m_vecTrackers[0].rect);  // image {0, 0, 18, 40} times 5

    view.MirrorHorizontal();
    view.m_pPreviewImage->GetPixel(0, 0, &color);
    EXPECT_EQ(0xFFFF0000u, color.GetValue());
    EXPECT_EQ((RECT{0, 0, 20, 40}), view.m_rcImage);
}

TEST(ScanViewOrientedImage, LandscapeBitmapSetsTheAspectOfTheWindow)
{
    ViewWindow pane(400, 600);
    CScanViewPreview& view = pane.view;
    view.m_bLandscape = true;
    view.m_rcPage = {0, 0, 400, 200};
    view.m_pPreviewSource = std::make_unique<Gdiplus::Bitmap>(40, 20);
    view.m_pPreviewImage = std::make_unique<Gdiplus::Bitmap>(40, 20);
    view.ApplyOrientation();
    EXPECT_EQ(1.5f, view.m_fAspectUpright);
    EXPECT_EQ(1.0f, view.m_fAspectTurned);
    view.RotateRight();
    EXPECT_EQ(1.0f, view.m_fAspectUpright);
    EXPECT_EQ(1.5f, view.m_fAspectTurned);

    // Without a source nothing is rebuilt.
    view.m_pPreviewSource.reset();
    view.m_rcImage = {0, 0, 7, 7};
    view.ApplyOrientation();
    EXPECT_EQ((RECT{0, 0, 7, 7}), view.m_rcImage);
}

}  // namespace
