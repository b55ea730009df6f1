// CScanViewPreview painting, read back from the window's pixels: the grey surroundings, the
// wash outside the frames and its exceptions, the received rows, the colour modes, the live
// page of a scan, the frames on top, and the kept scaled picture against a direct GDI+ draw.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>

#include "view_test_support.h"

namespace {

using uitest::ViewWindow;

constexpr RECT kLetter = {0, 0, 8500, 11000};  // page units
constexpr DWORD kGrey = 0x696969;
constexpr DWORD kColour = 0x3060A0;             // the flat preview
constexpr int kWidth = 500, kHeight = 400;      // the client area

int Channel(DWORD rgb, int shift) { return static_cast<int>((rgb >> shift) & 0xFF); }

// White at alpha 128 over an opaque pixel, rounded per channel as GDI+ blends.
DWORD Washed(DWORD rgb)
{
    DWORD out = 0;
    for (int shift = 0; shift < 24; shift += 8)
        out |= static_cast<DWORD>(std::lround((255.0 * 128 + Channel(rgb, shift) * 127.0) / 255.0)) << shift;
    return out;
}

std::unique_ptr<Gdiplus::Bitmap> MakeImage(int cx, int cy, const std::function<DWORD(int, int)>& rgbAt)
{
    auto image = std::make_unique<Gdiplus::Bitmap>(cx, cy, PixelFormat32bppARGB);
    Gdiplus::BitmapData data = {};
    const Gdiplus::Rect all(0, 0, cx, cy);
    image->LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &data);
    for (int y = 0; y < cy; ++y) {
        auto* row = reinterpret_cast<DWORD*>(static_cast<BYTE*>(data.Scan0) + ptrdiff_t(y) * data.Stride);
        for (int x = 0; x < cx; ++x)
            row[x] = 0xFF000000 | rgbAt(x, y);
    }
    image->UnlockBits(&data);
    return image;
}

std::unique_ptr<Gdiplus::Bitmap> FlatImage(int cx, int cy, DWORD rgb)
{
    return MakeImage(cx, cy, [rgb](int, int) { return rgb; });
}

// A letter page with a finished preview on a 500 x 400 view.
class Painting : public ::testing::Test {
protected:
    Painting() : hwnd(window.window.hwnd), view(window.view) {}

    // The preview shows source (not the sample) with the frames (page units) as the host
    // gave them.
    void ShowPreview(std::unique_ptr<Gdiplus::Bitmap> source, const std::vector<RECT>& frames)
    {
        view.m_bSampleShown = false;
        view.SetPageAndCrop(kLetter, kLetter, true);
        view.m_pPreviewSource = std::move(source);
        view.m_pPreviewImage.reset(new Gdiplus::Bitmap(1, 1, PixelFormat32bppARGB));
        view.ApplyOrientation();
        view.SetPageAndCrop(kLetter, kLetter, true);
        SetFrames(frames);
    }
    void SetFrames(const std::vector<RECT>& frames)
    {
        view.m_vecFrames = frames;
        view.m_vecFrameImages.clear();
        view.m_vecTrackers.clear();
        view.BuildFrameViews();
        view.UpdateTrackers();
    }
    void Zoom(int nStep)
    {
        view.m_nZoomStep = nStep;
        if (view.UpdateZoom())
            view.UpdateScrollBars();
        view.UpdateTrackers();
    }

    // Paints the whole window and reads it back, colour only.
    std::vector<DWORD> Paint()
    {
        ::InvalidateRect(hwnd, nullptr, FALSE);
        ::UpdateWindow(hwnd);
        std::vector<DWORD> pixels = window.window.Pixels();
        for (DWORD& pixel : pixels)
            pixel &= 0x00FFFFFF;
        return pixels;
    }
    DWORD At(const std::vector<DWORD>& pixels, int x, int y) const
    {
        RECT rc;
        ::GetClientRect(hwnd, &rc);
        return pixels[static_cast<size_t>(y) * rc.right + x];
    }

    // The paper in view coordinates.
    RECT Paper() const
    {
        RECT rcClient, rcPaper, rcPaperImage;
        ::GetClientRect(hwnd, &rcClient);
        CScanViewPreview::PageAreaF pageArea = {};
        view.GetPaperRects(rcClient, &pageArea, &rcPaper, &rcPaperImage);
        return rcPaper;
    }
    // The hole of frame i in view coordinates.
    RECT Hole(size_t i) const
    {
        const RECT& r = view.m_vecFrameImages[i];
        return {view.ImageToViewCeilX(r.left), view.ImageToViewCeilY(r.top), view.ImageToViewFloorX(r.right),
                view.ImageToViewFloorY(r.bottom)};
    }

    // What GDI+ shows when it draws the displayed image into the paper directly, with
    // high-quality bicubic and the colour mode's transform, over grey: the reference for
    // the kept picture.
    std::vector<DWORD> DirectDraw() const
    {
        RECT rcClient;
        ::GetClientRect(hwnd, &rcClient);
        const int cx = rcClient.right, cy = rcClient.bottom;
        Gdiplus::Bitmap target(cx, cy, PixelFormat32bppARGB);
        Gdiplus::Graphics graphics(&target);
        graphics.Clear(Gdiplus::Color(0xFF000000 | kGrey));
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        const RECT rcPaper = Paper();
        const RECT& rcImage = view.m_rcImage;
        graphics.DrawImage(view.m_pPreviewImage.get(),
                           Gdiplus::RectF(Gdiplus::REAL(rcPaper.left), Gdiplus::REAL(rcPaper.top),
                                          Gdiplus::REAL(rcPaper.right - rcPaper.left),
                                          Gdiplus::REAL(rcPaper.bottom - rcPaper.top)),
                           Gdiplus::REAL(rcImage.left), Gdiplus::REAL(rcImage.top),
                           Gdiplus::REAL(rcImage.right - rcImage.left), Gdiplus::REAL(rcImage.bottom - rcImage.top),
                           Gdiplus::UnitPixel);
        std::vector<DWORD> pixels(static_cast<size_t>(cx) * cy);
        for (int y = 0; y < cy; ++y)
            for (int x = 0; x < cx; ++x) {
                Gdiplus::Color colour;
                target.GetPixel(x, y, &colour);
                pixels[static_cast<size_t>(y) * cx + x] = colour.GetValue() & 0x00FFFFFF;
            }
        return pixels;
    }
    // The largest difference of one channel between two pictures.
    static int LargestDifference(const std::vector<DWORD>& a, const std::vector<DWORD>& b)
    {
        int largest = 0;
        for (size_t i = 0; i < a.size(); ++i)
            for (int shift = 0; shift < 24; shift += 8)
                largest = std::max(largest, std::abs(Channel(a[i], shift) - Channel(b[i], shift)));
        return largest;
    }

    ViewWindow window{kWidth, kHeight};
    HWND hwnd;
    CScanViewPreview& view;
};

TEST_F(Painting, WithoutAPictureTheWindowIsGrey)
{
    for (DWORD pixel : Paint())
        ASSERT_EQ(kGrey, pixel);
}

TEST_F(Painting, WashLightensTheImageOutsideTheFrames)
{
    ShowPreview(FlatImage(850, 1100, kColour), {{1000, 1000, 4000, 4000}, {5000, 6000, 8000, 10000}});
    const RECT rcPaper = Paper();
    ASSERT_LT(rcPaper.right + 2, kWidth);  // grey to the right of the paper
    const RECT rcHole0 = Hole(0), rcHole1 = Hole(1);
    const int xInside0 = (rcHole0.left + rcHole0.right) / 2, yInside0 = (rcHole0.top + rcHole0.bottom) / 2;
    const int xInside1 = (rcHole1.left + rcHole1.right) / 2, yInside1 = (rcHole1.top + rcHole1.bottom) / 2;
    const int xOutside = (rcHole0.right + rcHole1.left) / 2, yOutside = rcPaper.bottom - 3;

    std::vector<DWORD> pixels = Paint();
    EXPECT_EQ(kColour, At(pixels, xInside0, yInside0));
    EXPECT_EQ(kColour, At(pixels, xInside1, yInside1));
    EXPECT_EQ(Washed(kColour), At(pixels, xOutside, yOutside));
    EXPECT_EQ(kGrey, At(pixels, rcPaper.right + 1, yInside0));

    // While a scan temp folder exists the image stays as it is, also outside the frames.
    view.m_strTempFolder = u"/tmp/QOR1234.tmp/";
    pixels = Paint();
    EXPECT_EQ(kColour, At(pixels, xOutside, yOutside));
    EXPECT_EQ(kColour, At(pixels, xInside0, yInside0));
    view.m_strTempFolder.Empty();

    // Without frames there is nothing to wash around.
    SetFrames({});
    pixels = Paint();
    EXPECT_EQ(kColour, At(pixels, xOutside, yOutside));
    EXPECT_EQ(kColour, At(pixels, rcPaper.left, rcPaper.top));
}

TEST_F(Painting, BaseStyleZeroShowsOnlyTheReceivedRows)
{
    ShowPreview(FlatImage(850, 1100, kColour), {{1000, 1000, 4000, 4000}});
    view.m_bFramesVisible = false;
    view.m_dwBaseStyle = 0;
    view.m_fReceivedFraction = 0.5f;
    const RECT rcPaper = Paper();
    // The received rows end at the first pixel centre below top + height / 2.
    const int yEnd = static_cast<int>(std::ceil(rcPaper.top + (rcPaper.bottom - rcPaper.top) * 0.5f));
    const int x = (rcPaper.left + rcPaper.right) / 2;

    const std::vector<DWORD> pixels = Paint();
    EXPECT_EQ(kColour, At(pixels, x, rcPaper.top));
    EXPECT_EQ(kColour, At(pixels, x, yEnd - 1));  // unwashed under base style 0
    EXPECT_EQ(kGrey, At(pixels, x, yEnd));
    EXPECT_EQ(kGrey, At(pixels, x, rcPaper.bottom - 1));
    EXPECT_EQ(kGrey, At(pixels, rcPaper.right + 1, rcPaper.top));
}

TEST_F(Painting, ZoomedFrameReachingOutOfTheWindowKeepsItsVisibleHole)
{
    ShowPreview(FlatImage(850, 1100, kColour), {{500, 500, 8000, 2000}});
    view.m_bFramesVisible = false;
    Zoom(2);
    RECT rcClient;
    ::GetClientRect(hwnd, &rcClient);  // the scroll bars take their share
    const RECT rcHole = Hole(0);
    ASSERT_GT(rcHole.right, rcClient.right);
    const std::vector<DWORD> pixels = Paint();
    EXPECT_EQ(kColour, At(pixels, rcClient.right - 1, (rcHole.top + rcHole.bottom) / 2));
    EXPECT_EQ(kColour, At(pixels, rcHole.left, rcHole.top));
    EXPECT_EQ(Washed(kColour), At(pixels, rcHole.left - 1, rcHole.top));
    EXPECT_EQ(Washed(kColour), At(pixels, rcClient.right - 1, rcHole.bottom));
}

TEST_F(Painting, ColourModesRecolourTheImage)
{
    // A colourful page without frames, so that nothing is washed.
    ShowPreview(MakeImage(850, 1100, [](int x, int y) { return DWORD((x % 256) << 16 | (y % 256) << 8 | 0x40); }), {});
    const RECT rcPaper = Paper();
    view.m_nColorMode = 1;
    std::vector<DWORD> pixels = Paint();
    int black = 0, white = 0;
    for (int y = rcPaper.top; y < rcPaper.bottom; ++y)
        for (int x = rcPaper.left; x < rcPaper.right; ++x) {
            const DWORD pixel = At(pixels, x, y);
            for (int shift = 0; shift < 24; shift += 8)
                ASSERT_TRUE(Channel(pixel, shift) == 0 || Channel(pixel, shift) == 255) << x << ", " << y;
            black += pixel == 0;
            white += pixel == 0xFFFFFF;
        }
    EXPECT_GT(black, 1000);
    EXPECT_GT(white, 1000);

    // Greyscale weighs red, green and blue by 0.299, 0.587 and 0.114.
    ShowPreview(FlatImage(850, 1100, 0xC86432), {});
    view.m_nColorMode = 0;
    pixels = Paint();
    const int grey = static_cast<int>(std::lround(0.299 * 0xC8 + 0.587 * 0x64 + 0.114 * 0x32));
    const DWORD centre = At(pixels, (rcPaper.left + rcPaper.right) / 2, (rcPaper.top + rcPaper.bottom) / 2);
    for (int shift = 0; shift < 24; shift += 8)
        EXPECT_NEAR(grey, Channel(centre, shift), 1);
}

TEST_F(Painting, FramesAndTheirGlyphsAreDrawnOnTop)
{
    ShowPreview(FlatImage(850, 1100, kColour), {{1000, 1000, 4000, 4000}, {5000, 6000, 8000, 10000}});
    ASSERT_NE(nullptr, view.m_pCloseGlyph);
    const std::vector<DWORD> pixels = Paint();
    for (const CMainPaneTracker& tracker : view.m_vecTrackers) {
        ASSERT_TRUE(tracker.glyphShown);
        const RECT& rc = tracker.rect;
        // The border: black dashes on white along the rectangle's edges.
        for (const POINT& pt : {POINT{(rc.left + rc.right) / 2, rc.top}, POINT{rc.left, (rc.top + rc.bottom) / 2},
                                POINT{(rc.left + rc.right) / 2, rc.bottom - 1}}) {
            const DWORD border = At(pixels, pt.x, pt.y);
            EXPECT_TRUE(border == 0 || border == 0xFFFFFF) << std::hex << border << " at " << pt.x << ", " << pt.y;
        }
        // The glyph's opaque pixels in the top-right corner.
        int opaque = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                Gdiplus::Color glyph;
                view.m_pCloseGlyph->GetPixel(x, y, &glyph);
                if (glyph.GetA() != 255)
                    continue;
                ++opaque;
                EXPECT_EQ(glyph.GetValue() & 0x00FFFFFF, At(pixels, rc.right - 16 + x, rc.top + y)) << x << ", " << y;
            }
        EXPECT_GT(opaque, 20);
    }
}

TEST_F(Painting, LivePageFillsItsShareOfTheFitBox)
{
    // A page twice as high as wide in a 400 x 300 fit box: 150 x 300 at (0, 0).
    view.m_bPartialPreview = true;
    view.m_bFitPage = true;
    view.m_rcPage = {0, 0, 1000, 2000};
    view.m_rcFit = {0, 0, 400, 300};
    view.m_pLiveBackground = FlatImage(kWidth, kHeight, kGrey);
    view.m_pLivePage = FlatImage(1000, 2000, kColour);
    view.m_pPartialImage = FlatImage(1000, 2000, kColour);
    view.InvalidatePicture();
    std::vector<DWORD> pixels = Paint();
    EXPECT_FLOAT_EQ(1.0f, view.m_fReceivedFraction);
    EXPECT_EQ(kColour, At(pixels, 0, 0));
    EXPECT_EQ(kColour, At(pixels, 149, 299));
    EXPECT_EQ(kGrey, At(pixels, 150, 0));
    EXPECT_EQ(kGrey, At(pixels, 0, 300));

    // Half the rows of the next page received: the lower half of the live image is grey, and
    // the rows above are the new page's alone, down to the last one.
    view.m_pLivePage = FlatImage(1000, 2000, 0xC86432);
    view.m_pPartialImage = FlatImage(1000, 1000, 0xC86432);
    view.InvalidatePicture();
    pixels = Paint();
    EXPECT_FLOAT_EQ(0.5f, view.m_fReceivedFraction);
    for (int y = 0; y < 150; ++y)
        ASSERT_EQ(0xC86432u, At(pixels, 75, y)) << y;
    EXPECT_EQ(kGrey, At(pixels, 75, 150));

    // A new live page of the same size, as the scan start makes it: the dim grey of the
    // background, not the kept picture of the page before.
    view.m_pLivePage = FlatImage(kWidth, kHeight, kColour);
    view.m_pPartialImage = FlatImage(200, kHeight, kColour);
    view.InvalidatePicture();
    EXPECT_EQ(kColour, At(Paint(), 75, 75));
    view.ResetScanCanvas();
    EXPECT_EQ(kGrey, At(Paint(), 75, 75));
}

TEST_F(Painting, KeptPictureFollowsTheImageAndItsPlace)
{
    // Fine stripes and smooth ramps: a shrunk page must neither alias nor drift.
    ShowPreview(MakeImage(2550, 3300,
                          [](int x, int y) {
                              const DWORD stripe = (x / 2 + y / 3) % 2 ? 0xF0 : 0x10;
                              return DWORD(stripe << 16 | (y * 255 / 3300) << 8 | (x * 255 / 2550));
                          }),
                {});
    view.m_bFramesVisible = false;
    // The paint's pixels against a direct high-quality draw; the tolerance covers the two
    // filters (box then bicubic against one wide bicubic).
    auto expectLikeDirectDraw = [this](const char* when) {
        EXPECT_LE(LargestDifference(Paint(), DirectDraw()), 6) << when;
    };
    expectLikeDirectDraw("fit");

    // A moved frame repaints from the kept picture.
    SetFrames({{1000, 1000, 4000, 4000}});
    SetFrames({});
    Paint();
    EXPECT_FALSE(view.m_picture.Rebuilt());

    Zoom(1);
    expectLikeDirectDraw("zoom 1");
    ::SendMessageW(hwnd, WM_VSCROLL, SB_LINEDOWN, 0);
    ::SendMessageW(hwnd, WM_HSCROLL, SB_PAGEDOWN, 0);
    ASSERT_GT(view.m_nOffsetY, 0);
    expectLikeDirectDraw("scrolled");
    Zoom(0);

    // A turn makes a new displayed bitmap.
    view.RotateRight();
    expectLikeDirectDraw("turned");
}

}  // namespace
