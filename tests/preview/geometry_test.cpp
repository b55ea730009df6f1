// CScanViewPreview: scale and zoom, the conversions between page units, image pixels and
// view coordinates, and the trackers placed from image pixels.
#include <windows.h>

#include "view_test_support.h"

namespace {

using uitest::ViewWindow;

// --- Scale and zoom

TEST(ScanViewScale, ZoomFitsTheImageAndTheHeightLosesAPixel)
{
    ViewWindow pane(400, 600);
    CScanViewPreview& view = pane.view;
    EXPECT_FALSE(view.UpdateZoom());  // no page
    view.m_rcPage = {0, 0, 8500, 11000};
    view.m_rcImage = {0, 0, 850, 1100};
    EXPECT_TRUE(view.UpdateZoom());
    EXPECT_EQ(1.0, view.m_dZoom);
    EXPECT_DOUBLE_EQ(2.125, view.m_dScaleX);  // 850 / 400 is the larger of the two
    EXPECT_DOUBLE_EQ(2.125, view.m_dScaleY);

    view.m_rcImage = {0, 0, 100, 599};
    view.m_nZoomStep = 2;
    EXPECT_TRUE(view.UpdateZoom());
    EXPECT_EQ(4.0, view.m_dZoom);
    EXPECT_EQ(1.0, view.m_dScaleX);  // 599 / (600 - 1)
    EXPECT_EQ(1.0, view.m_dScaleY);

    view.m_nZoomStep = 5;
    EXPECT_TRUE(view.UpdateZoom());
    EXPECT_EQ(32.0, view.m_dZoom);

    // A negative step or an empty image changes nothing but still answers true.
    view.m_nZoomStep = -1;
    view.m_rcImage = {0, 0, 850, 1100};
    EXPECT_TRUE(view.UpdateZoom());
    EXPECT_EQ(32.0, view.m_dZoom);
    EXPECT_EQ(1.0, view.m_dScaleX);
}

// --- Conversions: zoom 2, 1.25 image pixels per view pixel, scrolled by (10, 20), s = 10

class Conversions : public ::testing::Test {
protected:
    Conversions()
    {
        view.m_bSampleShown = false;
        view.m_dZoom = 2.0;
        view.m_dScaleX = view.m_dScaleY = 1.25;
        view.m_nOffsetX = 10;
        view.m_nOffsetY = 20;
        view.m_dUnitsPerPixel = 10.0;
    }
    CScanViewPreview view;
};

// Ceilings and floors, not truncations, also left of the scrolled-out part; page and image
// edges round inward.
TEST_F(Conversions, EachConversionRoundsItsOwnWay)
{
    const struct {
        const char* what;
        double expected, actual;
    } rows[] = {
        {"ImageToViewX(30)", 32.0, view.ImageToViewX(30)},  // (30 - 10) * 2 / 1.25
        {"ImageToViewY(30)", 16.0, view.ImageToViewY(30)},
        {"ImageToViewCeilX(31)", 34, double(view.ImageToViewCeilX(31))},  // 33.6
        {"ImageToViewFloorX(31)", 33, double(view.ImageToViewFloorX(31))},
        {"ImageToViewCeilY(31)", 18, double(view.ImageToViewCeilY(31))},  // 17.6
        {"ImageToViewFloorY(31)", 17, double(view.ImageToViewFloorY(31))},
        {"ImageToViewCeilX(9)", -1, double(view.ImageToViewCeilX(9))},  // -1.6
        {"ImageToViewFloorX(9)", -2, double(view.ImageToViewFloorX(9))},
        {"ViewToImageX(8)", 5.0, view.ViewToImageX(8)},  // a length: (8 / 2) * 1.25, no offset
        {"ViewToImageCeilX(7)", 15, double(view.ViewToImageCeilX(7))},  // 4.375 + 10
        {"ViewToImageFloorX(7)", 14, double(view.ViewToImageFloorX(7))},
        {"ViewToImageCeilY(7)", 25, double(view.ViewToImageCeilY(7))},  // 4.375 + 20
        {"ViewToImageFloorY(7)", 24, double(view.ViewToImageFloorY(7))},
        {"ViewToImageCeilX(-5)", 7, double(view.ViewToImageCeilX(-5))},  // -3.125 + 10
        {"ViewToImageFloorX(-5)", 6, double(view.ViewToImageFloorX(-5))},
        {"PageToImageCeil(15)", 2, double(view.PageToImageCeil(15))},  // a low edge at 1.5 goes up
        {"PageToImageFloor(15)", 1, double(view.PageToImageFloor(15))},  // a high edge goes down
        {"PageToImageCeil(-15)", -1, double(view.PageToImageCeil(-15))},
        {"PageToImageFloor(-15)", -2, double(view.PageToImageFloor(-15))},
        {"PageToImageFloor(30)", 3, double(view.PageToImageFloor(30))},
        {"ViewToPageCeilX(7)", 144, double(view.ViewToPageCeilX(7))},  // (4.375 + 10) * 10
        {"ViewToPageCeilY(7)", 244, double(view.ViewToPageCeilY(7))},  // 243.75
        {"ViewToPageFloorY(7)", 243, double(view.ViewToPageFloorY(7))},
        {"PageToViewCeilX(155)", 9, double(view.PageToViewCeilX(155))},  // (15.5 - 10) * 2 / 1.25
        {"PageToViewFloorX(155)", 8, double(view.PageToViewFloorX(155))},
        {"PageToViewCeilY(155)", -7, double(view.PageToViewCeilY(155))},  // -7.2
        {"PageToViewFloorY(155)", -8, double(view.PageToViewFloorY(155))},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.expected, row.actual) << row.what;
}

TEST_F(Conversions, SampleAspectAppliesOnlyWhileTheSampleIsShown)
{
    view.m_fAspectUpright = 0.75f;
    EXPECT_EQ(32.0, view.ImageToViewX(30));  // a scanned preview: no aspect
    view.m_bSampleShown = true;
    EXPECT_DOUBLE_EQ(20 * 2 / 0.75 / 1.25, view.ImageToViewX(30));
    EXPECT_DOUBLE_EQ(0.75 * 4 * 1.25, view.ViewToImageX(8));
    EXPECT_EQ(43, view.ImageToViewCeilX(30));  // 42.67
    EXPECT_EQ(14, view.ViewToImageCeilX(7));   // 0.75 * 3.5 * 1.25 + 10 = 13.28
    EXPECT_EQ(133, view.ViewToPageCeilX(7));
    EXPECT_EQ(11, view.PageToViewFloorX(155));  // 5.5 * 2 / 0.75 / 1.25 = 11.73
}

TEST_F(Conversions, OrderOfOperationsIsPartOfTheResult)
{
    // 21 / 0.7 is 30.000000000000004 in doubles: dividing, as the view does, rounds the low
    // edge up to 31 where multiplying by 1 / 0.7 would give exactly 30.
    view.m_dUnitsPerPixel = 0.7;
    EXPECT_EQ(31, view.PageToImageCeil(21));
    EXPECT_EQ(30, view.PageToImageFloor(21));
    view.m_nOffsetX = 0;
    view.m_dZoom = 1.0;
    view.m_dScaleX = 0.7;
    EXPECT_EQ(31, view.ImageToViewCeilX(21));  // (21 - 0) * 1 / 1 / 0.7
    view.m_dUnitsPerPixel = 1.0;
    EXPECT_EQ(31, view.PageToViewCeilX(21));
}

// --- Trackers from image pixels

TEST(ScanViewTrackers, FramesLieOnePixelOutsideTheirImageRectangle)
{
    ViewWindow pane(400, 300);
    CScanViewPreview& view = pane.view;
    pane.SetMapping(1, 4.0);  // two image pixels per view pixel
    view.m_vecFrameImages = {{100, 200, 301, 401}, {0, 0, 40, 40}, {60, 50, 20, 10}};
    view.m_vecTrackers.assign(3, CMainPaneTracker(0, 0, 0, 0, &view));
    view.UpdateTrackers();
    EXPECT_EQ((RECT{49, 99, 151, 201}), view.m_vecTrackers[0].rect);  // 50 - 1, ..., 150.5 -> 150 + 1
    EXPECT_EQ((RECT{0, 0, 21, 21}), view.m_vecTrackers[1].rect);      // an edge at 0 stays at 0
    EXPECT_EQ((RECT{11, 6, 29, 24}), view.m_vecTrackers[2].rect);     // normalised
}

TEST(ScanViewTrackers, FitZoomSqueezesFramesIntoTheClientArea)
{
    ViewWindow pane(400, 300);
    CScanViewPreview& view = pane.view;
    pane.SetMapping(0, 1.0);
    view.m_vecFrameImages = {{100, 50, 400, 300}};
    view.m_vecTrackers.assign(1, CMainPaneTracker(0, 0, 0, 0, &view));
    view.UpdateTrackers();
    // Right 401 > 400: both x edges scaled by 400 / 401 in single precision (99 -> 98.75);
    // bottom 301 > 300 likewise.
    EXPECT_EQ((RECT{98, 48, 400, 300}), view.m_vecTrackers[0].rect);

    view.m_nZoomStep = 1;  // zoomed: frames may run past the client area
    view.UpdateTrackers();
    EXPECT_EQ((RECT{99, 49, 401, 301}), view.m_vecTrackers[0].rect);
}

TEST(ScanViewTrackers, WalkStopsAtTheShorterList)
{
    ViewWindow pane(400, 300);
    CScanViewPreview& view = pane.view;
    pane.SetMapping(1, 2.0);
    view.m_vecFrameImages = {{10, 10, 20, 20}};
    view.m_vecTrackers.assign(2, CMainPaneTracker(1, 2, 3, 4, &view));
    view.UpdateTrackers();
    EXPECT_EQ((RECT{9, 9, 21, 21}), view.m_vecTrackers[0].rect);
    EXPECT_EQ((RECT{1, 2, 3, 4}), view.m_vecTrackers[1].rect);
}

}  // namespace
