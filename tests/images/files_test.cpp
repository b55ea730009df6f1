// The files of the image store through whole scans: which files exist after each step of
// a preview scan and of a final scan with a preview backup, and the silent folder deletes.
// The platform refuses to delete or move a file that a live bitmap still reads, so a wrong
// order of disposal and deletion fails here as it would on Windows.
#include <windows.h>

#include "image_test_support.h"
#include "view_test_support.h"

namespace {

using imagetest::Content;
using imagetest::Names;
using imagetest::ScanTempFolders;
using imagetest::TestFolder;
using uitest::ViewWindow;

using Strings = std::vector<std::string>;

class ScanFiles : public ::testing::Test {
protected:
    ScanFiles() { std::filesystem::create_directory(engine); }

    // The engine writes preview file number n.
    std::u16string Engine(int n, int seed)
    {
        const auto path = engine / ("prev_" + std::to_string(n) + ".jpg");
        EXPECT_TRUE(imagetest::WriteJpeg(path.string(), 60, n < 100 ? 20 : 90, seed));
        return TestFolder::Wide(path);
    }

    // The engine's final preview goes through the store, then is shown.
    void Final(bool bPreviewScan, int seed)
    {
        const std::u16string path = Engine(100, seed);
        ASSERT_TRUE(w->view.KeepFinalPreview(path.c_str(), bPreviewScan, shown));
        ASSERT_TRUE(w->view.SetPreviewImage(shown));
    }

    std::filesystem::path TempFolder()
    {
        const auto found = ScanTempFolders(folder.Path());
        EXPECT_EQ(1u, found.size());
        return found.empty() ? std::filesystem::path() : found[0];
    }

    TestFolder folder;
    std::filesystem::path engine = folder / "engine";
    std::filesystem::path previewFile = engine / "qor_org_preview.jpg";
    std::unique_ptr<ViewWindow> w = std::make_unique<ViewWindow>(300, 200);
    ATL::CStringW shown;  // the file the last final preview showed
};

TEST_F(ScanFiles, PreviewScan)
{
    // Scan start: a new, empty scan temp folder in the temp path.
    w->view.BeginScanCanvas(300, 400);
    w->view.ResetScanCanvas();
    const auto temp = TempFolder();
    EXPECT_EQ(Strings{}, Names(temp));
    EXPECT_EQ(TestFolder::Wide(temp) + u"/", std::u16string(w->view.m_strTempFolder));

    // Partial previews: the file being shown is held; the one before it is deleted.
    const std::u16string first = Engine(1, 1);
    ASSERT_TRUE(w->view.LoadPartialPreview(first.c_str()));
    EXPECT_FALSE(DeleteFileW(first.c_str()));
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
    ASSERT_TRUE(w->view.LoadPartialPreview(Engine(2, 2).c_str()));
    EXPECT_EQ((Strings{"prev_2.jpg"}), Names(engine));

    // Final preview: a copy goes through the temp folder to the preview file; the engine's
    // file stays, no backup is made for a preview scan, the last partial file goes.
    const std::string finalContent = (Final(true, 3), Content(engine / "prev_100.jpg"));
    EXPECT_EQ((Strings{"prev_100.jpg", "qor_org_preview.jpg"}), Names(engine));
    EXPECT_EQ(finalContent, Content(previewFile));
    EXPECT_EQ(Strings{}, Names(temp));
    EXPECT_EQ(TestFolder::Wide(engine) + u"/", std::u16string(w->view.m_szEngineFolder));
    EXPECT_EQ(TestFolder::Wide(previewFile), std::u16string(w->view.m_szPreviewFile));

    // Scan end: no backup to put back; the temp folder goes; the preview file is shown.
    w->view.RestorePreviewBackup();
    EXPECT_TRUE(ScanTempFolders(folder.Path()).empty());
    EXPECT_TRUE(w->view.m_strTempFolder.IsEmpty());
    ASSERT_TRUE(w->view.SetPreviewImage(w->view.m_szPreviewFile));
    EXPECT_EQ(finalContent, Content(previewFile));

    // Final release deletes the preview file; view destruction empties the engine folder.
    w->view.ReleaseImages();
    EXPECT_EQ((Strings{"prev_100.jpg"}), Names(engine));
    w.reset();
    EXPECT_TRUE(std::filesystem::is_directory(engine));
    EXPECT_EQ(Strings{}, Names(engine));
}

TEST_F(ScanFiles, FinalScanKeepsABackupOfThePreviewAndPutsItBack)
{
    // A preview scan first.
    w->view.BeginScanCanvas(300, 400);
    Final(true, 1);
    w->view.RestorePreviewBackup();
    ASSERT_TRUE(w->view.SetPreviewImage(w->view.m_szPreviewFile));
    const std::string previewContent = Content(previewFile);

    // A final scan under the default base style.
    w->view.BeginScanCanvas(300, 400);
    EXPECT_TRUE(w->view.m_bHadPreviewAtScanStart);
    const auto temp = TempFolder();
    ASSERT_TRUE(w->view.LoadPartialPreview(Engine(5, 5).c_str()));
    Final(false, 6);
    const std::string scanContent = Content(engine / "prev_100.jpg");
    ASSERT_NE(previewContent, scanContent);
    EXPECT_EQ(Strings{"qor_org_preview.jpg"}, Names(temp)) << "the backup";
    EXPECT_EQ(previewContent, Content(temp / "qor_org_preview.jpg"));
    EXPECT_EQ(scanContent, Content(previewFile));
    EXPECT_EQ((Strings{"prev_100.jpg", "qor_org_preview.jpg"}), Names(engine));

    // A second final preview in the same scan keeps the first backup.
    Final(false, 7);
    EXPECT_EQ(previewContent, Content(temp / "qor_org_preview.jpg"));

    // Scan end: the backup goes back over the preview file, the temp folder goes.
    w->view.RestorePreviewBackup();
    EXPECT_EQ(previewContent, Content(previewFile));
    EXPECT_TRUE(ScanTempFolders(folder.Path()).empty());

    // Showing the sample after a scan deletes the preview file.
    ASSERT_TRUE(w->view.SetPreviewImage());
    EXPECT_EQ((Strings{"prev_100.jpg"}), Names(engine));
    EXPECT_EQ(0, w->view.m_szPreviewFile[0]);
    EXPECT_TRUE(w->view.m_bSampleShown);
}

TEST_F(ScanFiles, NoBackupUnderBaseStyleZeroOrForAMissingPreview)
{
    w->view.BeginScanCanvas(300, 400);
    Final(false, 1);  // no preview file existed yet: nothing to back up
    EXPECT_EQ(Strings{}, Names(TempFolder()));
    w->view.RestorePreviewBackup();

    w->view.m_dwBaseStyle = 0;
    w->view.BeginScanCanvas(300, 400);
    Final(false, 2);
    EXPECT_EQ(Strings{}, Names(TempFolder()));
}

TEST_F(ScanFiles, WithoutATempFolderTheEngineFileItselfIsMoved)
{
    setenv("TMPDIR", (folder / "missing").c_str(), 1);  // GetTempFileNameW fails there
    w->view.BeginScanCanvas(300, 400);
    EXPECT_TRUE(w->view.m_strTempFolder.IsEmpty());
    Final(false, 1);
    EXPECT_EQ(Strings{"qor_org_preview.jpg"}, Names(engine));
}

TEST_F(ScanFiles, NextScanStartDeletesAForgottenTempFolder)
{
    w->view.BeginScanCanvas(300, 400);
    const auto first = TempFolder();
    std::filesystem::create_directory(first / "inner");
    imagetest::WriteJpeg((first / "inner" / "x.jpg").string(), 4, 4, 0);
    w->view.BeginScanCanvas(300, 400);
    EXPECT_FALSE(std::filesystem::exists(first));
    EXPECT_NE(first, TempFolder());
}

TEST_F(ScanFiles, UnnameableFinalPathIsRefused)
{
    const std::u16string tooLong = TestFolder::Wide(engine) + u"/" + std::u16string(250, u'c') + u"/prev_100.jpg";
    EXPECT_FALSE(w->view.KeepFinalPreview(tooLong.c_str(), true, shown));
    EXPECT_EQ(0, w->view.m_szPreviewFile[0]);
    EXPECT_EQ(0, w->view.m_szEngineFolder[0]);
}

TEST_F(ScanFiles, EveryFinalNameInThePathIsReplaced)
{
    const auto odd = folder / "prev_100.jpg";
    std::filesystem::create_directory(odd);
    const auto path = odd / "prev_100.jpg";
    ASSERT_TRUE(imagetest::WriteJpeg(path.string(), 8, 8, 0));
    ASSERT_TRUE(w->view.KeepFinalPreview(TestFolder::Wide(path).c_str(), true, shown));
    EXPECT_EQ(TestFolder::Wide(folder / "qor_org_preview.jpg" / "qor_org_preview.jpg"),
              std::u16string(w->view.m_szPreviewFile));
}

// --- Folder deletion

class FolderDelete : public ::testing::Test {
protected:
    FolderDelete()
    {
        std::filesystem::create_directories(target / "sub");
        std::filesystem::create_directory(outside);
        for (const auto& file : {target / "a.jpg", target / "noext", target / "sub" / "b.jpg", outside / "keep.jpg"})
            imagetest::WriteJpeg(file.string(), 4, 4, 0);
        std::filesystem::create_directory_symlink(outside, target / "link");
    }

    TestFolder folder;
    std::filesystem::path target = folder / "target";
    std::filesystem::path outside = folder / "outside";
    CScanViewPreview view;
};

TEST_F(FolderDelete, FilesGoThenTheTreeAndLinksAreNotFollowed)
{
    view.DeleteFolderFiles((TestFolder::Wide(target) + u"/").c_str());
    EXPECT_TRUE(std::filesystem::is_directory(target));
    EXPECT_EQ(Strings{}, Names(target));
    EXPECT_EQ(Strings{"keep.jpg"}, Names(outside));

    std::filesystem::create_directories(target / "sub");
    imagetest::WriteJpeg((target / "sub" / "b.jpg").string(), 4, 4, 0);
    std::filesystem::create_directory_symlink(outside, target / "link");
    view.DeleteFolderTree((TestFolder::Wide(target) + u"/").c_str());
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_EQ(Strings{"keep.jpg"}, Names(outside));
}

TEST_F(FolderDelete, EmptyOrUnnameablePathsDeleteNothing)
{
    // A relative "*.*" would name the current folder's content.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(target);
    view.DeleteFolderFiles(u"");
    view.DeleteFolderTree(u"");
    view.DeleteFolderFiles(nullptr);
    const std::u16string tooLong = TestFolder::Wide(target) + u"/" + std::u16string(270, u'd');
    view.DeleteFolderFiles(tooLong.c_str());
    view.DeleteFolderTree(tooLong.c_str());
    std::filesystem::current_path(cwd);
    EXPECT_EQ((Strings{"a.jpg", "link", "noext", "sub"}), Names(target));
}

TEST_F(FolderDelete, HeldFileStopsTheDelete)
{
    const auto held = target / "a.jpg";
    {
        Gdiplus::Bitmap reader(TestFolder::Wide(held).c_str());
        view.DeleteFolderTree(TestFolder::Wide(target).c_str());
        EXPECT_TRUE(std::filesystem::exists(held));
    }
    view.DeleteFolderTree(TestFolder::Wide(target).c_str());
    EXPECT_FALSE(std::filesystem::exists(target));
}

}  // namespace
