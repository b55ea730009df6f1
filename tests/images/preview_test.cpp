// The image store's preview: the resource images, the preview padded to the page's
// proportions, the samples, and the oriented copy of the preview.
#include <windows.h>

#include "image_test_support.h"
#include "view_test_support.h"

namespace {

using imagetest::Pixels;
using imagetest::TestFolder;
using uitest::ViewWindow;

const Gdiplus::ARGB kWhite = 0xFFFFFFFF;
const Gdiplus::ARGB kDimGray = 0xFF696969;

// --- Resource images

TEST(ResourceImages, MissingResourceGivesNoBitmap)
{
    CScanViewPreview view;
    HGLOBAL hData = nullptr;
    EXPECT_FALSE(view.LoadImageResource(9999, u"JPEG", &hData));
    EXPECT_EQ(nullptr, hData);
    // The right number under the wrong type is not found either.
    EXPECT_FALSE(view.LoadImageResource(103, u"PNG", &hData));
    EXPECT_EQ(nullptr, hData);
    // A resource that is there but no picture: the block is made, the bitmap is not.
    EXPECT_FALSE(view.LoadImageResource(105, RT_CURSOR, &hData));
    EXPECT_NE(nullptr, hData);
    GlobalUnlock(hData);
    GlobalFree(hData);
}

// --- The preview padded to the page

class PreviewImage : public ::testing::Test {
protected:
    // A final preview of 1000 x 1200 shown at the given page aspect and base style.
    void ShowFinal(float pageAspect, DWORD baseStyle)
    {
        ASSERT_TRUE(imagetest::WriteJpeg(file.string(), 1000, 1200, 3));
        w.view.m_fPageAspect = pageAspect;
        w.view.m_dwBaseStyle = baseStyle;
        ASSERT_TRUE(w.view.SetPreviewImage(TestFolder::Wide(file).c_str()));
    }

    TestFolder folder;
    std::filesystem::path file = folder / "qor_org_preview.jpg";
    ViewWindow w{400, 300};
};

TEST_F(PreviewImage, PageAspectPadsBelowWithTheBaseStyleColour)
{
    for (DWORD style : {1u, 0u}) {
        ShowFinal(1.5f, style);
        ASSERT_TRUE(w.view.m_pPreviewSource);
        EXPECT_EQ(1000u, w.view.m_pPreviewSource->GetWidth());
        ASSERT_EQ(1500u, w.view.m_pPreviewSource->GetHeight());
        Gdiplus::Bitmap decoded(TestFolder::Wide(file).c_str());
        const std::vector<Gdiplus::ARGB> picture = Pixels(decoded);
        const std::vector<Gdiplus::ARGB> canvas = Pixels(*w.view.m_pPreviewSource);
        EXPECT_TRUE(std::equal(picture.begin(), picture.end(), canvas.begin())) << "the picture at the top";
        const Gdiplus::ARGB below = style != 0 ? kWhite : kDimGray;
        EXPECT_TRUE(std::all_of(canvas.begin() + 1000 * 1200, canvas.end(), [&](Gdiplus::ARGB p) { return p == below; }))
            << "style " << style;
        EXPECT_FALSE(w.view.m_bSampleShown);
    }
}

// The canvas is never shorter than the picture.
TEST_F(PreviewImage, PageAspectBelowThePicturesAddsNothing)
{
    for (float aspect : {1.0f, 1.1f}) {
        ShowFinal(aspect, 1);
        ASSERT_TRUE(w.view.m_pPreviewSource && w.view.m_pPreviewImage);
        EXPECT_EQ(1000u, w.view.m_pPreviewSource->GetWidth()) << aspect;
        EXPECT_EQ(1200u, w.view.m_pPreviewSource->GetHeight()) << aspect;
        EXPECT_EQ(1200u, w.view.m_pPreviewImage->GetHeight()) << aspect;
    }
}

TEST_F(PreviewImage, FileIsFreeOnceShown)
{
    ShowFinal(1.5f, 1);
    const auto moved = folder / "moved.jpg";
    EXPECT_TRUE(MoveFileExW(TestFolder::Wide(file).c_str(), TestFolder::Wide(moved).c_str(), MOVEFILE_REPLACE_EXISTING))
        << GetLastError();
    EXPECT_TRUE(DeleteFileW(TestFolder::Wide(moved).c_str())) << GetLastError();
}

TEST_F(PreviewImage, SampleFollowsThePageOrientation)
{
    w.view.m_fPageAspect = 1.0f;
    w.view.m_bLandscape = true;
    ASSERT_TRUE(w.view.SetPreviewImage());
    ASSERT_TRUE(w.view.m_pPreviewSource);
    EXPECT_EQ(1275u, w.view.m_pPreviewSource->GetWidth());
    EXPECT_TRUE(w.view.m_bSampleShown);

    w.view.m_bLandscape = false;
    ASSERT_TRUE(w.view.SetPreviewImage());
    EXPECT_EQ(637u, w.view.m_pPreviewSource->GetWidth());
    EXPECT_EQ(877u, w.view.m_pPreviewSource->GetHeight());
    EXPECT_EQ(Pixels(*w.view.m_pSamplePortrait), Pixels(*w.view.m_pPreviewSource));
}

TEST_F(PreviewImage, VanishedOrUnnameableFileChangesNothing)
{
    ShowFinal(1.0f, 1);
    Gdiplus::Bitmap* const pSource = w.view.m_pPreviewSource.get();
    EXPECT_FALSE(w.view.SetPreviewImage(TestFolder::Wide(folder / "gone.jpg").c_str()));
    const std::u16string tooLong = TestFolder::Wide(folder.Path()) + u"/" + std::u16string(300, u'b') + u".jpg";
    EXPECT_FALSE(w.view.SetPreviewImage(tooLong.c_str()));
    EXPECT_EQ(pSource, w.view.m_pPreviewSource.get());
}

TEST_F(PreviewImage, CorruptFileLeavesNothingToOrient)
{
    ShowFinal(1.0f, 1);
    const auto bad = folder / "bad.jpg";
    imagetest::WriteCorruptJpeg(bad.string());
    EXPECT_TRUE(w.view.SetPreviewImage(TestFolder::Wide(bad).c_str()));
    EXPECT_FALSE(w.view.m_pPreviewSource);
    ASSERT_TRUE(w.view.m_pPreviewImage);
    EXPECT_EQ(0u, w.view.m_pPreviewImage->GetWidth());
    w.view.RotateRight();  // nothing to rebuild from
    EXPECT_FALSE(w.view.m_pPreviewSource);
    EXPECT_TRUE(DeleteFileW(TestFolder::Wide(bad).c_str())) << "the corrupt file is not held";
}

// --- Orientation

TEST_F(PreviewImage, BothFlipsAndAQuarterTurnEqualATurnLeft)
{
    ShowFinal(1.0f, 1);
    w.view.MirrorHorizontal();
    w.view.MirrorVertical();
    w.view.RotateRight();
    std::unique_ptr<Gdiplus::Bitmap> expected(w.view.m_pPreviewSource->Clone(0, 0, 1000, 1200, PixelFormat32bppARGB));
    ASSERT_EQ(Gdiplus::Ok, expected->RotateFlip(Gdiplus::Rotate270FlipNone));
    ASSERT_EQ(1200u, w.view.m_pPreviewImage->GetWidth());
    EXPECT_EQ(Pixels(*expected), Pixels(*w.view.m_pPreviewImage));
    const RECT turned = {0, 0, 1200, 1000};
    EXPECT_TRUE(EqualRect(&turned, &w.view.m_rcImage));
}

// --- Release

TEST_F(PreviewImage, ReleaseDisposesEveryWorkingImageAndDeletesThePreviewFile)
{
    ShowFinal(1.0f, 1);
    lstrcpynW(w.view.m_szPreviewFile, TestFolder::Wide(file).c_str(), CScanViewPreview::PATH_BUFFER_CHARS);
    w.view.BeginScanCanvas(10, 10);
    w.view.ResetScanCanvas();
    w.view.ReleaseImages();
    EXPECT_FALSE(w.view.m_pPreviewImage || w.view.m_pPreviewSource || w.view.m_pLivePage ||
                 w.view.m_pLiveBackground || w.view.m_pPartialImage);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(0, w.view.m_szPreviewFile[0]);
    EXPECT_TRUE(w.view.m_pSamplePortrait) << "the samples live until teardown";
}

}  // namespace
