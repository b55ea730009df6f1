// CScanViewPreview::GetPaperRects: where the paper lies, in image pixels and in view
// coordinates, for portrait and landscape pages at every angle.
#include <windows.h>

#include "view_test_support.h"

// Found by argument-dependent lookup: the area is a member type of the view.
inline bool operator==(const CScanViewPreview::PageAreaF& a, const CScanViewPreview::PageAreaF& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline std::ostream& operator<<(std::ostream& os, const CScanViewPreview::PageAreaF& a)
{
    return os << "{" << a.left << ", " << a.top << ", " << a.right << ", " << a.bottom << "}";
}

namespace {

using uitest::ViewWindow;

struct Matrix {
    Gdiplus::REAL m11, m12, m21, m22;
};
constexpr Matrix kUpright = {1, 0, 0, 1};
constexpr Matrix kRight = {0, 1, -1, 0};
constexpr Matrix kHalf = {-1, 0, 0, -1};
constexpr Matrix kLeft = {0, -1, 1, 0};

struct Paper {
    CScanViewPreview::PageAreaF pageArea = {-7, -7, -7, -7};  // left alone unless landscape
    RECT imageView = {};
    RECT paperImage = {};
};

Paper PaperOf(CScanViewPreview& view, const Matrix& m, RECT client = {0, 0, 4000, 4000})
{
    view.m_matOrientation.SetElements(m.m11, m.m12, m.m21, m.m22, 0, 0);
    Paper paper;
    view.GetPaperRects(client, &paper.pageArea, &paper.imageView, &paper.paperImage);
    return paper;
}

// A letter page at s = 10, one view pixel per two image pixels.
class PortraitPaper : public ::testing::Test {
protected:
    PortraitPaper()
    {
        view.m_rcPage = {0, 0, 8500, 11000};
        view.m_dUnitsPerPixel = 10.0;
        view.m_dScaleX = view.m_dScaleY = 2.0;
    }
    CScanViewPreview view;
};

TEST_F(PortraitPaper, SampleWidthAtEachAngle)
{
    // While the sample is shown the paper is the portrait sample's width (8493).
    for (const Matrix& m : {kUpright, kHalf}) {
        const Paper paper = PaperOf(view, m);
        EXPECT_EQ((RECT{0, 0, 849, 1100}), paper.paperImage);
        EXPECT_EQ((RECT{0, 0, 424, 550}), paper.imageView);
        EXPECT_EQ((CScanViewPreview::PageAreaF{-7, -7, -7, -7}), paper.pageArea);
    }
    for (const Matrix& m : {kRight, kLeft}) {
        const Paper paper = PaperOf(view, m);
        EXPECT_EQ((RECT{0, 0, 1100, 849}), paper.paperImage);
        EXPECT_EQ((RECT{0, 0, 550, 424}), paper.imageView);
    }
}

TEST_F(PortraitPaper, ScannedPageWidth)
{
    view.m_bSampleShown = false;
    EXPECT_EQ((RECT{0, 0, 850, 1100}), PaperOf(view, kUpright).paperImage);
    view.m_nOffsetX = 100;  // scrolled: the view rectangle moves, the image one does not
    const Paper paper = PaperOf(view, kRight);
    EXPECT_EQ((RECT{0, 0, 1100, 850}), paper.paperImage);
    EXPECT_EQ((RECT{-50, 0, 500, 425}), paper.imageView);
}

// A landscape scan of 12000 x 9000 page units while the landscape sample (17000 x 11693)
// is shown, at zoom step 1 with two image pixels per view pixel: one view pixel per image
// pixel, and no stretch for turned pages.
class LandscapePaper : public ::testing::Test {
protected:
    LandscapePaper()
    {
        view.m_bLandscape = true;
        view.m_rcPage = {0, 0, 12000, 9000};
        view.m_dUnitsPerPixel = 10.0;
        view.m_nZoomStep = 1;
        view.m_dZoom = 2.0;
        view.m_dScaleX = view.m_dScaleY = 2.0;
    }
    ViewWindow pane{400, 600};
    CScanViewPreview& view = pane.view;
};

TEST_F(LandscapePaper, EachAngle)
{
    struct Row {
        Matrix m;
        RECT paperImage;
        CScanViewPreview::PageAreaF pageArea;
    };
    const Row rows[] = {
        {kUpright, {-500, 0, 1200, 1169}, {0, 0, 2400, 1800}},
        {kRight, {-269, -500, 900, 1200}, {-538, 0, 1800, 2400}},
        {kHalf, {0, -269, 1700, 900}, {0, 0, 2400, 1800}},
        {kLeft, {0, 0, 1169, 1700}, {-538, 0, 1800, 2400}},
        // Mirrors move the paper to the other side of the page.
        {{-1, 0, 0, 1}, {0, 0, 1700, 1169}, {0, 0, 2400, 1800}},
        {{1, 0, 0, -1}, {-500, -269, 1200, 900}, {0, 0, 2400, 1800}},
        {{0, 1, 1, 0}, {0, -500, 1169, 1200}, {-538, 0, 1800, 2400}},
    };
    for (const Row& row : rows) {
        const Paper paper = PaperOf(view, row.m);
        EXPECT_EQ(row.paperImage, paper.paperImage) << row.m.m11 << " " << row.m.m12;
        EXPECT_EQ(row.paperImage, paper.imageView) << row.m.m11 << " " << row.m.m12;
        EXPECT_EQ(row.pageArea, paper.pageArea) << row.m.m11 << " " << row.m.m12;
    }
}

TEST_F(LandscapePaper, FitZoomSqueezesIntoTheClientArea)
{
    view.m_nZoomStep = 0;
    view.m_dZoom = 1.0;
    view.m_dScaleX = view.m_dScaleY = 5.0;
    // imageView before squeezing: {-100, 0, 240, 233}; 240 > 200 scales x by 200 / 240.
    const Paper paper = PaperOf(view, kUpright, RECT{0, 0, 200, 300});
    EXPECT_EQ((RECT{-500, 0, 1200, 1169}), paper.paperImage);
    EXPECT_EQ((RECT{-83, 0, 200, 233}), paper.imageView);
    EXPECT_EQ((CScanViewPreview::PageAreaF{0, 0, 200, 180}), paper.pageArea);
}

TEST_F(LandscapePaper, TurnedSampleAtFitZoomIsStretchedByTheWindow)
{
    view.m_nZoomStep = 0;
    view.m_dZoom = 1.0;
    view.m_dScaleX = view.m_dScaleY = 5.0;
    // The 400 x 600 window: k' = 1.5 on {-53, -100, 180, 240}.
    const Paper paper = PaperOf(view, kRight, RECT{0, 0, 400, 600});
    EXPECT_EQ((RECT{-269, -500, 900, 1200}), paper.paperImage);
    EXPECT_EQ((RECT{-79, -150, 270, 360}), paper.imageView);
    EXPECT_EQ((CScanViewPreview::PageAreaF{-80, 0, 270, 360}), paper.pageArea);

    view.m_bSampleShown = false;  // a scanned page is not stretched
    const Paper scanned = PaperOf(view, kRight, RECT{0, 0, 400, 600});
    EXPECT_EQ((RECT{0, 0, 900, 1200}), scanned.paperImage);
    EXPECT_EQ((RECT{0, 0, 180, 240}), scanned.imageView);
}

}  // namespace
