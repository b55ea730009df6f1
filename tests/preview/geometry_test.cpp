// CScanViewPreview: the view object, scale and zoom, the conversions between page units,
// image pixels and view coordinates, and the trackers placed from image pixels.
#include <windows.h>


#include "view_test_support.h"

namespace {

using uitest::RecordingView;
using uitest::VirtualSlot;
using uitest::ViewWindow;

// --- The view object

TEST(ScanViewObject, VirtualOperationsFollowTheWindowFramework)
{
    EXPECT_EQ(0, VirtualSlot(&CScanViewPreview::ProcessWindowMessage));
    // Slots 1 and 2: the destructor (complete and deleting in this ABI).
    EXPECT_EQ(3, VirtualSlot(&CScanViewPreview::GetWindowProc));
    EXPECT_EQ(4, VirtualSlot(&CScanViewPreview::OnFinalMessage));
    EXPECT_EQ(5, VirtualSlot(&CScanViewPreview::ReportOrientation));
    EXPECT_EQ(6, VirtualSlot(&CScanViewPreview::ReportFrames));
}

TEST(ScanViewObject, ConstructionSetsTheInitialGeometry)
{
    CScanViewPreview view;
    EXPECT_EQ((RECT{0, 0, 0, 0}), view.m_rcPage);
    EXPECT_EQ((RECT{0, 0, 0, 0}), view.m_rcCrop);
    EXPECT_EQ((RECT{0, 0, 8493, 11693}), view.m_rcPortraitPage);
    EXPECT_EQ((RECT{0, 0, 17000, 11693}), view.m_rcLandscapePage);
    EXPECT_TRUE(view.m_bSampleShown);
    EXPECT_FALSE(view.m_bLandscape);
    EXPECT_FALSE(view.m_bWritingToHost);
    EXPECT_EQ(1.0, view.m_dUnitsPerPixel);
    EXPECT_EQ(1.0, view.m_dZoom);
    EXPECT_EQ(0, view.m_nZoomStep);
    EXPECT_EQ(1.0f, view.m_fAspectUpright);
    EXPECT_EQ(1.0f, view.m_fAspectTurned);
    EXPECT_TRUE(view.m_matOrientation.IsIdentity());
    EXPECT_EQ(&view, view.m_tracker.view);
    EXPECT_EQ((RECT{0, 0, 0, 0}), view.m_tracker.rect);
    EXPECT_TRUE(view.m_vecFrames.empty() && view.m_vecFrameImages.empty() && view.m_vecTrackers.empty());
    EXPECT_EQ(Gdiplus::Ok, view.m_gdiplus.status);
    Gdiplus::REAL m[6];
    view.m_matRotateRight.GetElements(m);
    EXPECT_TRUE(m[0] == 0 && m[1] == 1 && m[2] == -1 && m[3] == 0 && m[4] == 0 && m[5] == 0);
    view.m_matMirrorY.GetElements(m);
    EXPECT_TRUE(m[0] == 1 && m[1] == 0 && m[2] == 0 && m[3] == -1);
}

TEST(ScanViewObject, MembersKeepTheirDeclarationOrder)
{
    CScanViewPreview view;
    const void* members[] = {&view.m_rcCrop,          &view.m_rcPage,         &view.m_rcPortraitPage,
                             &view.m_rcLandscapePage, &view.m_bSampleShown,   &view.m_vecFrames,
                             &view.m_rcImage,         &view.m_rcFit,          &view.m_rcCropFit,
                             &view.m_fPageAspect,     &view.m_fAspectUpright, &view.m_pPreviewImage,
                             &view.m_pCloseGlyph,     &view.m_nColorMode,     &view.m_fAspectTurned,
                             &view.m_bFitPage,        &view.m_rcPageSaved,    &view.m_fPageAspectSaved,
                             &view.m_bPartialPreview, &view.m_bAutoCropPending, &view.m_gdiplus,
                             &view.m_bLandscape,      &view.m_bPageLandscape, &view.m_nOffsetX,
                             &view.m_dZoom,           &view.m_dUnitsPerPixel, &view.m_nZoomStep,
                             &view.m_matOrientation,  &view.m_matMirrorY,     &view.m_bFramesVisible,
                             &view.m_bWritingToHost,  &view.m_tracker,        &view.m_pActiveTracker,
                             &view.m_vecTrackers,     &view.m_rcCropImage,    &view.m_vecFrameImages};
    for (size_t i = 1; i < std::size(members); ++i)
        EXPECT_LT(members[i - 1], members[i]) << "member " << i;
}

// --- Scale and zoom

TEST(ScanViewScale, UnitsPerPixelFromPageAndImage)
{
    CScanViewPreview view;
    view.m_rcPage = {0, 0, 8500, 11000};
    view.m_rcImage = {0, 0, 850, 1100};
    view.UpdateUnitsPerPixel();
    EXPECT_EQ(10.0, view.m_dUnitsPerPixel);  // 19500 / 1950
    view.m_rcImage = {0, 0, 1000, 950};
    view.UpdateUnitsPerPixel();
    EXPECT_DOUBLE_EQ(19500.0 / 1950.0, view.m_dUnitsPerPixel);
    view.m_rcImage = {0, 0, 0, 0};
    view.m_dUnitsPerPixel = 3.0;
    view.UpdateUnitsPerPixel();
    EXPECT_EQ(3.0, view.m_dUnitsPerPixel);  // an empty image leaves s alone
    view.m_rcImage = {0, 0, 500, 0};
    view.UpdateUnitsPerPixel();
    EXPECT_EQ(3.0, view.m_dUnitsPerPixel);
}

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
    view.m_nZoomStep = 0;
    view.m_rcImage = {0, 0, 0, 0};
    EXPECT_TRUE(view.UpdateZoom());
    EXPECT_EQ(32.0, view.m_dZoom);
}

TEST(ScanViewScale, ZoomWithoutAWindowChangesNothing)
{
    CScanViewPreview view;
    view.m_rcPage = {0, 0, 8500, 11000};
    view.m_rcImage = {0, 0, 850, 1100};
    EXPECT_TRUE(view.UpdateZoom());
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

TEST_F(Conversions, ImageToViewSubtractsTheScrollOffset)
{
    EXPECT_EQ(32.0, view.ImageToViewX(30));  // (30 - 10) * 2 / 1.25
    EXPECT_EQ(16.0, view.ImageToViewY(30));
    EXPECT_EQ(34, view.ImageToViewCeilX(31));  // 33.6
    EXPECT_EQ(33, view.ImageToViewFloorX(31));
    EXPECT_EQ(18, view.ImageToViewCeilY(31));  // 17.6
    EXPECT_EQ(17, view.ImageToViewFloorY(31));
    // Left of the scrolled-out part: the ceiling and floor of -1.6, not a truncation.
    EXPECT_EQ(-1, view.ImageToViewCeilX(9));
    EXPECT_EQ(-2, view.ImageToViewFloorX(9));
}

TEST_F(Conversions, ViewToImageLengthsHaveNoOffsetPositionsDo)
{
    EXPECT_EQ(5.0, view.ViewToImageX(8));  // (8 / 2) * 1.25
    EXPECT_EQ(5.0, view.ViewToImageY(8));
    EXPECT_EQ(15, view.ViewToImageCeilX(7));  // 4.375 + 10
    EXPECT_EQ(14, view.ViewToImageFloorX(7));
    EXPECT_EQ(25, view.ViewToImageCeilY(7));  // 4.375 + 20
    EXPECT_EQ(24, view.ViewToImageFloorY(7));
    EXPECT_EQ(7, view.ViewToImageCeilX(-5));  // -3.125 + 10
    EXPECT_EQ(6, view.ViewToImageFloorX(-5));
}

TEST_F(Conversions, PageAndImageRoundInward)
{
    EXPECT_EQ(2, view.PageToImageCeil(15));  // a low edge at 1.5 pixels goes up
    EXPECT_EQ(1, view.PageToImageFloor(15));  // a high edge goes down
    EXPECT_EQ(-1, view.PageToImageCeil(-15));
    EXPECT_EQ(-2, view.PageToImageFloor(-15));
    EXPECT_EQ(3, view.PageToImageCeil(30));
    EXPECT_EQ(3, view.PageToImageFloor(30));
}

TEST_F(Conversions, ViewAndPage)
{
    EXPECT_EQ(144, view.ViewToPageCeilX(7));   // (4.375 + 10) * 10 = 143.75
    EXPECT_EQ(244, view.ViewToPageCeilY(7));   // 243.75
    EXPECT_EQ(243, view.ViewToPageFloorY(7));
    EXPECT_EQ(9, view.PageToViewCeilX(155));   // (15.5 - 10) * 2 / 1.25 = 8.8
    EXPECT_EQ(8, view.PageToViewFloorX(155));
    EXPECT_EQ(-7, view.PageToViewCeilY(155));  // (15.5 - 20) * 2 / 1.25 = -7.2
    EXPECT_EQ(-8, view.PageToViewFloorY(155));
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
    // 21 / 0.7 is 30.000000000000004 in doubles: dividing (as specified) rounds the low
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
    view.m_vecFrameImages.push_back({0, 0, 1, 1});
    view.m_vecFrameImages.push_back({0, 0, 1, 1});
    view.UpdateTrackers();  // more images than trackers
    EXPECT_EQ(2u, view.m_vecTrackers.size());
}

}  // namespace
