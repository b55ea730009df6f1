// The preview window as the control uses it: a host frame with a child window that the view
// subclasses. The layout for a new page, crop or size, the scroll bars and the frame views.
#include <gtest/gtest.h>

#include "view_test_support.h"

namespace {

using uitest::Pump;
using uitest::RecordingView;
using uitest::TestWindow;

constexpr RECT kLetter = {0, 0, 8500, 11000};  // page units


// A host frame with an 800 x 600 child window at (10, 10), subclassed by the view.
class PreviewWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        static const ATOM atom = [] {
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof(wc);
            wc.lpfnWndProc = ::DefWindowProcW;
            wc.lpszClassName = u"QorPreviewHostChild";
            return ::RegisterClassExW(&wc);
        }();
        ASSERT_NE(0, atom);
        m_hWndChild = ::CreateWindowExW(0, u"QorPreviewHostChild", u"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 10,
                                        10, 800, 600, m_frame, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_hWndChild);
        ASSERT_TRUE(m_view.SubclassWindow(m_hWndChild));
        Pump();
    }
    void TearDown() override
    {
        m_view.UnsubclassWindow(TRUE);
        ::DestroyWindow(m_hWndChild);
    }

    // A finished preview of cx x cy image pixels, shown through the store's orientation step.
    void ShowPreview(int cx, int cy)
    {
        m_view.m_bSampleShown = false;
        m_view.m_pPreviewSource.reset(new Gdiplus::Bitmap(cx, cy, PixelFormat32bppARGB));
        m_view.m_pPreviewImage.reset(new Gdiplus::Bitmap(1, 1, PixelFormat32bppARGB));
        m_view.ApplyOrientation();
    }

    // A letter page with a finished 850 x 1100 preview (10 page units per image pixel).
    void ShowLetterPage(const RECT& rcCrop)
    {
        m_view.SetPageAndCrop(kLetter, rcCrop, true);
        ShowPreview(850, 1100);
        m_view.SetPageAndCrop(kLetter, rcCrop, true);
    }

    void Zoom(int nStep)
    {
        m_view.m_nZoomStep = nStep;
        if (m_view.UpdateZoom())
            m_view.UpdateScrollBars();
    }

    SCROLLINFO Bar(int nBar) const
    {
        SCROLLINFO si = {sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
        ::GetScrollInfo(m_hWndChild, nBar, &si);
        return si;
    }

    RECT Client() const
    {
        RECT rc = {0, 0, 0, 0};
        ::GetClientRect(m_hWndChild, &rc);
        return rc;
    }

    DWORD Style() const { return static_cast<DWORD>(::GetWindowLongW(m_hWndChild, GWL_STYLE)); }

    std::vector<DWORD> Pixels() const
    {
        const RECT rc = Client();
        std::vector<DWORD> pixels(static_cast<size_t>(rc.right) * rc.bottom);
        ::QorGetWindowPixels(m_hWndChild, pixels.data(), rc.right * 4);
        for (DWORD& pixel : pixels)
            pixel &= 0x00FFFFFF;  // GDI leaves alpha alone
        return pixels;
    }

    // Paints the child's client area black behind the view's back.
    void Blacken() const
    {
        HDC hdc = ::GetDC(m_hWndChild);
        const RECT rc = Client();
        ::PatBlt(hdc, 0, 0, rc.right, rc.bottom, BLACKNESS);
        ::ReleaseDC(m_hWndChild, hdc);
    }

    TestWindow m_frame{1000, 800};
    HWND m_hWndChild = nullptr;
    RecordingView m_view;
};

// --- Layout

TEST_F(PreviewWindow, FitBoxHasThePageProportionsInsideTheWindow)
{
    m_view.SetPageAndCrop(kLetter, kLetter, true);
    EXPECT_EQ((RECT{0, 0, 463, 600}), m_view.m_rcFit);  // 600 * 8500 / 11000, truncated

    m_view.SetPageAndCrop({0, 0, 17000, 11693}, {0, 0, 8500, 5000}, true);
    EXPECT_EQ((RECT{0, 0, 800, 550}), m_view.m_rcFit);  // 800 * 11693 / 17000
    // The crop box in the same scale: 17000 / 800 = 21.25 and 11693 / 550 units per pixel.
    EXPECT_EQ((RECT{0, 0, 400, 235}), m_view.m_rcCropFit);
}

TEST_F(PreviewWindow, CropIsClippedToThePageAndBecomesTheOnlyFrame)
{
    ShowLetterPage({1000, 1000, 2000, 2000});
    m_view.SetPageAndCrop(kLetter, {-500, 2000, 9000, 12000}, true);
    EXPECT_EQ((RECT{0, 2000, 8500, 11000}), m_view.m_rcCrop);
    ASSERT_EQ(1u, m_view.m_vecFrames.size());
    EXPECT_EQ((RECT{0, 2000, 8500, 11000}), m_view.m_vecFrames[0]);
    EXPECT_EQ((RECT{0, 200, 850, 1100}), m_view.m_vecFrameImages[0]);
    EXPECT_EQ(m_view.m_rcCropImage, m_view.m_vecFrameImages[0]);
    ASSERT_EQ(1u, m_view.m_vecTrackers.size());
}

TEST_F(PreviewWindow, EmptyPageOrCropChangesNothing)
{
    ShowLetterPage({1000, 1000, 2000, 2000});
    Pump();
    const RECT rcCrop = m_view.m_rcCrop;
    const RECT rcFit = m_view.m_rcFit;
    const RECT rcCropFit = m_view.m_rcCropFit;
    m_view.SetPageAndCrop(kLetter, {3000, 3000, 3000, 5000}, true);
    m_view.SetPageAndCrop({0, 0, 0, 11000}, {0, 0, 100, 100}, true);
    EXPECT_EQ(rcCrop, m_view.m_rcCrop);
    EXPECT_EQ(kLetter, m_view.m_rcPage);
    EXPECT_EQ(rcFit, m_view.m_rcFit);
    EXPECT_EQ(rcCropFit, m_view.m_rcCropFit);
    EXPECT_EQ(1u, m_view.m_vecFrames.size());
    EXPECT_FALSE(::GetUpdateRect(m_hWndChild, nullptr, FALSE));  // not even a repaint
}

TEST_F(PreviewWindow, ResetFramesFalseKeepsTheUsersFramesAndMapsThemAgain)
{
    ShowLetterPage({1000, 1000, 2000, 2000});
    m_view.m_vecFrames = {{100, 200, 1100, 2200}, {5000, 6000, 8000, 9000}};
    m_view.m_vecFrameImages.assign(2, RECT{0, 0, 0, 0});
    m_view.m_vecTrackers.assign(2, m_view.m_tracker);

    m_view.SetPageAndCrop(kLetter, {3000, 3000, 4000, 4000}, false);
    EXPECT_EQ((RECT{3000, 3000, 4000, 4000}), m_view.m_rcCrop);
    ASSERT_EQ(2u, m_view.m_vecFrames.size());
    EXPECT_EQ((RECT{100, 200, 1100, 2200}), m_view.m_vecFrames[0]);
    EXPECT_EQ((RECT{10, 20, 110, 220}), m_view.m_vecFrameImages[0]);
    EXPECT_EQ((RECT{500, 600, 800, 900}), m_view.m_vecFrameImages[1]);

    m_view.SetPageAndCrop(kLetter, {3000, 3000, 4000, 4000}, true);
    ASSERT_EQ(1u, m_view.m_vecFrames.size());
    EXPECT_EQ((RECT{3000, 3000, 4000, 4000}), m_view.m_vecFrames[0]);
}

TEST_F(PreviewWindow, PlainResizeOfAPortraitPageOnlyRefreshesZoomBarsAndTrackers)
{
    ShowLetterPage({1000, 1000, 2000, 2000});
    const RECT rcFit = m_view.m_rcFit;
    const RECT rcFrameImage = m_view.m_vecFrameImages[0];
    const RECT rcTracker = m_view.m_vecTrackers[0].rect;
    const double dScale = m_view.m_dScaleY;

    ::MoveWindow(m_hWndChild, 10, 10, 400, 300, TRUE);
    EXPECT_EQ(rcFit, m_view.m_rcFit);
    EXPECT_EQ(rcFrameImage, m_view.m_vecFrameImages[0]);
    EXPECT_NE(dScale, m_view.m_dScaleY);                       // zoom followed the client
    EXPECT_NE(rcTracker, m_view.m_vecTrackers[0].rect);         // trackers too
    EXPECT_DOUBLE_EQ(1100.0 / 299.0, m_view.m_dScaleY);

    // A landscape layout is laid out again.
    m_view.m_bLandscape = true;
    ::MoveWindow(m_hWndChild, 10, 10, 300, 300, TRUE);
    EXPECT_EQ((RECT{0, 0, 231, 300}), m_view.m_rcFit);  // 300 * 8500 / 11000
}

// --- Scroll bars

TEST_F(PreviewWindow, ScrollBarsAppearTakeClientAreaAndKeepTheThumb)
{
    ShowLetterPage({1000, 1000, 2000, 2000});
    EXPECT_EQ(0u, Style() & (WS_HSCROLL | WS_VSCROLL));  // the fitted page needs none
    EXPECT_EQ((RECT{0, 0, 800, 600}), Client());

    Zoom(1);
    ASSERT_EQ(static_cast<DWORD>(WS_HSCROLL | WS_VSCROLL), Style() & (WS_HSCROLL | WS_VSCROLL));
    const RECT rcClient = Client();
    EXPECT_EQ(800 - ::GetSystemMetrics(SM_CXVSCROLL), rcClient.right);
    EXPECT_EQ(600 - ::GetSystemMetrics(SM_CYHSCROLL), rcClient.bottom);
    SCROLLINFO v = Bar(SB_VERT);
    EXPECT_EQ(0, v.nMin);
    EXPECT_EQ(1099, v.nMax);  // image pixels
    EXPECT_EQ(0, v.nPos);
    EXPECT_EQ(static_cast<UINT>(m_view.ViewToImageY(rcClient.bottom)), v.nPage);
    EXPECT_EQ(849, Bar(SB_HORZ).nMax);

    // SB_BOTTOM goes to nMax, not to the last full page; then halfway down at twice the
    // zoom, the thumb stays halfway.
    ::SendMessageW(m_hWndChild, WM_VSCROLL, SB_BOTTOM, 0);
    ASSERT_EQ(1099, m_view.m_nOffsetY);
    ::SendMessageW(m_hWndChild, WM_HSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(849, m_view.m_nOffsetX);
    m_view.m_nOffsetY = 0;
    SCROLLINFO half = {sizeof(SCROLLINFO), SIF_POS, 0, 0, 0, 550, 0};
    ::SetScrollInfo(m_hWndChild, SB_VERT, &half, TRUE);
    const UINT nPage = Bar(SB_VERT).nPage;
    Zoom(2);
    v = Bar(SB_VERT);
    EXPECT_EQ(1099, v.nMax);
    EXPECT_EQ(550, v.nPos);       // 1099 * 550 / 1099
    EXPECT_EQ(nPage, v.nPage);    // the old page stays with the kept position
    EXPECT_EQ(0, m_view.m_nOffsetY);  // the offset waits for the next scroll request

    // Back to fit: the bars go and the offsets with them.
    Zoom(0);
    EXPECT_EQ(0u, Style() & (WS_HSCROLL | WS_VSCROLL));
    EXPECT_EQ(0, m_view.m_nOffsetX);
}

TEST_F(PreviewWindow, ThumbPositionKeepsThePositionButRefreshes)
{
    ShowLetterPage({1000, 1000, 2000, 2000});
    Zoom(1);
    for (int i = 0; i < 3; ++i)
        ::SendMessageW(m_hWndChild, WM_VSCROLL, SB_LINEDOWN, 0);
    ASSERT_EQ(3, m_view.m_nOffsetY);
    const RECT rcTracker = m_view.m_vecTrackers[0].rect;
    m_view.m_vecTrackers[0].rect = {0, 0, 1, 1};
    Pump();
    Blacken();

    ::SendMessageW(m_hWndChild, WM_VSCROLL, SB_THUMBPOSITION, 0);
    EXPECT_EQ(3, m_view.m_nOffsetY);
    EXPECT_EQ(3, Bar(SB_VERT).nPos);
    EXPECT_EQ(rcTracker, m_view.m_vecTrackers[0].rect);
    EXPECT_NE(0u, Pixels()[0] & 0xFFFFFFu);  // painted at once: no longer black
}

TEST_F(PreviewWindow, WheelDoesNotMoveThePreview)
{
    ShowLetterPage({1000, 1000, 2000, 2000});
    Zoom(1);
    for (int delta : {-WHEEL_DELTA, -3 * WHEEL_DELTA, WHEEL_DELTA}) {
        ::SendMessageW(m_hWndChild, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), 0);
        ::SendMessageW(m_hWndChild, WM_MOUSEHWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), 0);
    }
    EXPECT_EQ(0, m_view.m_nOffsetX);
    EXPECT_EQ(0, m_view.m_nOffsetY);
    EXPECT_EQ(0, Bar(SB_VERT).nPos);
    EXPECT_EQ(0, Bar(SB_HORZ).nPos);
}

// --- Frame views

TEST_F(PreviewWindow, FrameViewsShowTheCloseGlyphOnlyWithTwoFrames)
{
    ShowLetterPage({1000, 1000, 2000, 2000});
    m_view.m_vecFrames = {{1000, 2000, 3005, 4005}};
    m_view.m_vecFrameImages.clear();
    m_view.m_vecTrackers.clear();
    m_view.BuildFrameViews();
    ASSERT_EQ(1u, m_view.m_vecTrackers.size());
    EXPECT_EQ((RECT{100, 200, 300, 400}), m_view.m_vecFrameImages[0]);
    EXPECT_FALSE(m_view.m_vecTrackers[0].glyphShown);
    EXPECT_EQ(m_view.m_pCloseGlyph.get(), m_view.m_vecTrackers[0].closeGlyph);
    EXPECT_EQ(&m_view, m_view.m_vecTrackers[0].view);
    const RECT rcExpected = {m_view.PageToViewCeilX(1000), m_view.PageToViewCeilY(2000),
                             m_view.PageToViewFloorX(3005), m_view.PageToViewFloorY(4005)};
    EXPECT_EQ(rcExpected, m_view.m_vecTrackers[0].rect);

    // Lists that exist already are left alone.
    m_view.m_vecFrames.push_back({5000, 5000, 6000, 6000});
    m_view.BuildFrameViews();
    EXPECT_EQ(1u, m_view.m_vecTrackers.size());

    m_view.m_vecFrameImages.clear();
    m_view.m_vecTrackers.clear();
    m_view.BuildFrameViews();
    ASSERT_EQ(2u, m_view.m_vecTrackers.size());
    EXPECT_TRUE(m_view.m_vecTrackers[0].glyphShown);
    EXPECT_TRUE(m_view.m_vecTrackers[1].glyphShown);
    EXPECT_EQ((RECT{500, 500, 600, 600}), m_view.m_vecFrameImages[1]);
}

}  // namespace
