// CScanViewPreview: decoding the orientation matrix, and the turn and mirror commands with
// their finishing steps.
#include <windows.h>

#include "view_test_support.h"

namespace {

using uitest::RecordingView;

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

// After a quarter turn the page lies across the screen: a mirror on screen is the page's other
// mirror, and the frame lands where the screen mirror puts it in the turned 1100 x 850 image.
TEST_F(LandscapeTurns, MirrorsAfterAQuarterTurnFollowTheScreen)
{
    view.RotateRight();  // the frame at {320, 121, 869, 559}
    view.MirrorHorizontal();
    EXPECT_EQ((RECT{231, 121, 780, 559}), view.m_vecFrameImages[0]);
    view.MirrorHorizontal();
    view.MirrorVertical();
    EXPECT_EQ((RECT{320, 291, 869, 729}), view.m_vecFrameImages[0]);
}

}  // namespace
