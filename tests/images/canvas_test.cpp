// The image store's pixel routine and the live canvases of a scan: ComposeCanvas, the
// scan start and the partial previews that grow the live page.
#include <windows.h>

#include "image_test_support.h"
#include "view_test_support.h"

namespace {

using imagetest::Filled;
using imagetest::Pixels;
using imagetest::TestFolder;
using uitest::ViewWindow;

const Gdiplus::ARGB kWhite = 0xFFFFFFFF;
const Gdiplus::ARGB kDimGray = 0xFF696969;
const Gdiplus::ARGB kOld = 0xFF123456;  // what the destination held before

// A source whose every pixel differs: 0xFF00yyxx.
std::unique_ptr<Gdiplus::Bitmap> Numbered(int width, int height)
{
    auto bitmap = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap->SetPixel(x, y, Gdiplus::Color(0xFF000000 | (y << 8) | x));
    return bitmap;
}

Gdiplus::ARGB At(int x, int y) { return 0xFF000000 | (y << 8) | x; }

// --- ComposeCanvas

TEST(ComposeCanvas, WithoutSourceFillsEverythingAndReceivesNothing)
{
    CScanViewPreview view;
    for (bool white : {false, true}) {
        auto dst = Filled(7, 5, kOld);
        view.m_fReceivedFraction = 0.5f;
        ASSERT_TRUE(view.ComposeCanvas(dst.get(), nullptr, 7, 5, white));
        EXPECT_EQ(std::vector<Gdiplus::ARGB>(35, white ? kWhite : kDimGray), Pixels(*dst)) << white;
        EXPECT_EQ(0.0f, view.m_fReceivedFraction);
    }
    EXPECT_FALSE(view.ComposeCanvas(nullptr, nullptr, 7, 5, false));
}

TEST(ComposeCanvas, NarrowerSourceEndsEachRowWhiteAndFillDecidesTheRowsBelow)
{
    CScanViewPreview view;
    auto src = Numbered(3, 2);
    for (bool white : {false, true}) {
        auto dst = Filled(6, 5, kOld);
        ASSERT_TRUE(view.ComposeCanvas(dst.get(), src.get(), 6, 5, white));
        const Gdiplus::ARGB below = white ? kWhite : kDimGray;
        const std::vector<Gdiplus::ARGB> expected = {
            At(0, 0), At(1, 0), At(2, 0), kWhite, kWhite, kWhite,
            At(0, 1), At(1, 1), At(2, 1), kWhite, kWhite, kWhite,
            below, below, below, below, below, below,
            below, below, below, below, below, below,
            below, below, below, below, below, below};
        EXPECT_EQ(expected, Pixels(*dst)) << white;
        EXPECT_FLOAT_EQ(0.4f, view.m_fReceivedFraction);
    }
}

TEST(ComposeCanvas, WiderButShorterSourceWritesOnlyItsRows)
{
    CScanViewPreview view;
    auto src = Numbered(8, 2);
    auto dst = Filled(5, 4, kOld);
    ASSERT_TRUE(view.ComposeCanvas(dst.get(), src.get(), 5, 4, true));
    const std::vector<Gdiplus::ARGB> expected = {
        At(0, 0), At(1, 0), At(2, 0), At(3, 0), At(4, 0),
        At(0, 1), At(1, 1), At(2, 1), At(3, 1), At(4, 1),
        kOld, kOld, kOld, kOld, kOld,
        kOld, kOld, kOld, kOld, kOld};
    EXPECT_EQ(expected, Pixels(*dst));
    EXPECT_EQ(1.0f, view.m_fReceivedFraction);
}

TEST(ComposeCanvas, FailedLockReleasesTheOtherAndKeepsTheFraction)
{
    CScanViewPreview view;
    auto src = Numbered(3, 3);
    auto dst = Filled(3, 3, kOld);
    Gdiplus::BitmapData held = {};
    const Gdiplus::Rect all(0, 0, 3, 3);

    // The destination cannot be locked: the source lock already taken is given back.
    ASSERT_EQ(Gdiplus::Ok, dst->LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &held));
    view.m_fReceivedFraction = 0.75f;
    EXPECT_FALSE(view.ComposeCanvas(dst.get(), src.get(), 3, 3, false));
    EXPECT_EQ(0.75f, view.m_fReceivedFraction);
    dst->UnlockBits(&held);
    Gdiplus::BitmapData probe = {};
    EXPECT_EQ(Gdiplus::Ok, src->LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &probe));
    src->UnlockBits(&probe);

    // The source cannot be locked: nothing is written.
    ASSERT_EQ(Gdiplus::Ok, src->LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &held));
    EXPECT_FALSE(view.ComposeCanvas(dst.get(), src.get(), 3, 3, false));
    src->UnlockBits(&held);
    EXPECT_EQ(std::vector<Gdiplus::ARGB>(9, kOld), Pixels(*dst));
    EXPECT_EQ(0.75f, view.m_fReceivedFraction);

    // An empty area or a bitmap without pixels cannot be locked either.
    EXPECT_FALSE(view.ComposeCanvas(dst.get(), nullptr, 0, 3, false));
    Gdiplus::Bitmap nothing(0, 0, PixelFormat32bppARGB);
    EXPECT_FALSE(view.ComposeCanvas(&nothing, nullptr, 3, 3, false));
    EXPECT_FALSE(view.ComposeCanvas(dst.get(), &nothing, 3, 3, false));
}

// --- Scan start

class ScanCanvas : public ::testing::Test {
protected:
    TestFolder folder;
    ViewWindow w{300, 200};
};

TEST_F(ScanCanvas, BeginMakesAGrayBackgroundOfTheClientAndTheScanAspect)
{
    w.view.BeginScanCanvas(200, 300);
    EXPECT_FLOAT_EQ(1.5f, w.view.m_fScanAspect);
    ASSERT_TRUE(w.view.m_pLiveBackground);
    EXPECT_EQ(std::vector<Gdiplus::ARGB>(300 * 200, kDimGray), Pixels(*w.view.m_pLiveBackground));
    EXPECT_EQ(0.0f, w.view.m_fReceivedFraction);
    EXPECT_FALSE(w.view.m_pLivePage);

    w.view.ResetScanCanvas();
    ASSERT_TRUE(w.view.m_pLivePage);
    EXPECT_EQ(Pixels(*w.view.m_pLiveBackground), Pixels(*w.view.m_pLivePage));

    w.view.BeginScanCanvas(0, 480);  // a zero width means square
    EXPECT_EQ(1.0f, w.view.m_fScanAspect);
}

TEST_F(ScanCanvas, BeginStartsTheWheelAndTheFirstPartialPreviewStopsIt)
{
    w.view.m_bFramesVisible = true;
    w.view.BeginScanCanvas(40, 40);
    EXPECT_FALSE(w.view.m_bFramesVisible);
    bool ticked = false;
    w.window.onMessage = [&](UINT message, WPARAM wParam, LPARAM, LRESULT*) {
        ticked |= message == WM_TIMER && wParam == 548;
        return false;
    };
    QorAdvanceClock(180);
    uitest::Pump();
    EXPECT_TRUE(ticked);

    const auto file = folder / "prev_1.jpg";
    ASSERT_TRUE(imagetest::WriteJpeg(file.string(), 40, 10, 1));
    ASSERT_TRUE(w.view.LoadPartialPreview(TestFolder::Wide(file).c_str()));
    ticked = false;
    QorAdvanceClock(1000);
    uitest::Pump();
    EXPECT_FALSE(ticked);
}

// --- Partial previews

TEST_F(ScanCanvas, PartialPreviewFillsTheReceivedRowsOfTheScanAspect)
{
    const auto file = folder / "prev_1.jpg";
    ASSERT_TRUE(imagetest::WriteJpeg(file.string(), 1000, 300, 1));
    w.view.BeginScanCanvas(1000, 1500);
    w.view.ResetScanCanvas();
    ASSERT_TRUE(w.view.LoadPartialPreview(TestFolder::Wide(file).c_str()));

    ASSERT_TRUE(w.view.m_pLivePage && w.view.m_pPartialImage);
    ASSERT_EQ(1000u, w.view.m_pLivePage->GetWidth());
    ASSERT_EQ(1500u, w.view.m_pLivePage->GetHeight());
    EXPECT_FLOAT_EQ(0.2f, w.view.m_fReceivedFraction);
    const std::vector<Gdiplus::ARGB> received = Pixels(*w.view.m_pPartialImage);
    const std::vector<Gdiplus::ARGB> canvas = Pixels(*w.view.m_pLivePage);
    EXPECT_TRUE(std::equal(received.begin(), received.end(), canvas.begin())) << "rows 0 to 299 are the image";
    EXPECT_TRUE(std::all_of(canvas.begin() + 1000 * 300, canvas.end(), [](Gdiplus::ARGB p) { return p == kDimGray; }))
        << "rows 300 to 1499 are dim gray";
    EXPECT_EQ(TestFolder::Wide(file), std::u16string(w.view.m_szPartialFile));
}

TEST_F(ScanCanvas, MissingOrUnnameablePartialFileChangesNothing)
{
    const auto file = folder / "prev_1.jpg";
    ASSERT_TRUE(imagetest::WriteJpeg(file.string(), 40, 10, 1));
    w.view.BeginScanCanvas(40, 40);
    ASSERT_TRUE(w.view.LoadPartialPreview(TestFolder::Wide(file).c_str()));
    Gdiplus::Bitmap* const pImage = w.view.m_pPartialImage.get();

    EXPECT_FALSE(w.view.LoadPartialPreview(TestFolder::Wide(folder / "prev_2.jpg").c_str()));
    // Too long for the path buffers: refused as no file, never cut to another name.
    const std::u16string tooLong = TestFolder::Wide(folder.Path()) + u"/" + std::u16string(300, u'a') + u".jpg";
    EXPECT_FALSE(w.view.LoadPartialPreview(tooLong.c_str()));
    EXPECT_FALSE(w.view.LoadPartialPreview(nullptr));

    EXPECT_EQ(pImage, w.view.m_pPartialImage.get());
    EXPECT_EQ(TestFolder::Wide(file), std::u16string(w.view.m_szPartialFile));
    EXPECT_TRUE(std::filesystem::exists(file));
}

TEST_F(ScanCanvas, CorruptPartialPreviewLeavesAnEmptyLivePage)
{
    const auto good = folder / "prev_1.jpg";
    const auto bad = folder / "prev_2.jpg";
    ASSERT_TRUE(imagetest::WriteJpeg(good.string(), 40, 10, 1));
    imagetest::WriteCorruptJpeg(bad.string());
    w.view.BeginScanCanvas(40, 40);
    ASSERT_TRUE(w.view.LoadPartialPreview(TestFolder::Wide(good).c_str()));
    w.view.m_fReceivedFraction = 0.25f;

    EXPECT_TRUE(w.view.LoadPartialPreview(TestFolder::Wide(bad).c_str()));
    EXPECT_FALSE(std::filesystem::exists(good)) << "the previous partial file is gone";
    ASSERT_TRUE(w.view.m_pLivePage);
    EXPECT_EQ(0u, w.view.m_pLivePage->GetWidth());
    EXPECT_EQ(0.25f, w.view.m_fReceivedFraction) << "the canvas could not be made";
}

}  // namespace
