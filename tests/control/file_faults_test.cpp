// Faults of the preview files around a scan: a full disk while the final preview is copied
// and moved into place, files that vanish between their notification and their decode, the
// engine's folder or the scan temp folder removed or made read-only while a scan runs. Each
// case ends with the kept preview as it was and a control that scans again as before.
//
// A full or read-only disk is a small tmpfs of the test's own (root may write anywhere, so
// permissions cannot stand in for it); where none can be mounted those cases are skipped.
#include <cstdlib>
#include <functional>

#include "engine_notify_test_support.h"
#include "small_disk.h"

namespace {

using imagetest::Content;
using notifytest::Quoted;
using notifytest::Texts;
using qortest::SmallDisk;

class FileFaults : public notifytest::EngineNotify {
protected:
    // The control asks the host whether the scan is a preview scan after a notification of a
    // preview file has arrived and before the file is decoded: the pending fault strikes then.
    void SetUp() override
    {
        EngineNotify::SetUp();
        m_pBag->SetCallHook([this](const CHostBagCall& call) {
            if (call.kind == HostBagCallKind::Read && call.bstrName == QORSCAN_KEY_SCAN_PREVIEW && m_fnPendingFault)
                std::exchange(m_fnPendingFault, nullptr)();
        });
    }
    void TearDown() override
    {
        m_pBag->SetCallHook(nullptr);
        UseTempPath(folder.Path());
        EngineNotify::TearDown();
    }

    void BeforeTheNextDecode(std::function<void()> fnFault) { m_fnPendingFault = std::move(fnFault); }

    // Where the next scan makes its temp folder.
    static void UseTempPath(const std::filesystem::path& path) { setenv("TMPDIR", path.c_str(), 1); }

    // The engine's final preview, written but not yet announced.
    std::filesystem::path WriteFinal(int seed)
    {
        const auto path = engine / "prev_100.jpg";
        EXPECT_TRUE(imagetest::WriteJpeg(path.string(), 60, 90, seed));
        return path;
    }

    // Whether the preview shown starts with the first row of the picture in file.
    bool Shows(const std::filesystem::path& file)
    {
        if (!m_pControl->m_pPreviewSource)
            return false;
        Gdiplus::Bitmap decoded(file.u16string().c_str());
        const auto picture = imagetest::Pixels(decoded);
        const auto shown = imagetest::Pixels(*m_pControl->m_pPreviewSource);
        return picture.size() >= 60 && shown.size() >= 60 && std::equal(picture.begin(), picture.begin() + 60, shown.begin());
    }

    // A whole preview scan after the fault is over works as ever.
    void ExpectScansAgain(int seed)
    {
        Scan(true, seed);
        EXPECT_EQ(Content(engine / "prev_100.jpg"), Content(previewFile));
        EXPECT_TRUE(Shows(previewFile));
        EXPECT_TRUE(TempFolders().empty());
    }

    std::function<void()> m_fnPendingFault;
};

// The scan temp folder of a final scan runs full, becomes read-only or goes away: the final
// preview cannot be copied there, nor the kept preview backed up, so the kept preview is not
// replaced; the scan's own preview is shown from the engine's file while the scan runs.
TEST_F(FileFaults, TheScanTempFolderFailsDuringAFinalScan)
{
    SmallDisk disk(64 * 1024);
    if (!disk.Mounted())
        GTEST_SKIP() << "no small disk can be mounted here";
    const std::pair<const char*, std::function<void()>> faults[] = {
        {"full", [&] { disk.Fill(); }},
        {"read-only", [&] { ASSERT_TRUE(disk.SetReadOnly(true)); }},
    };
    int seed = 1;
    for (const auto& [name, fnFault] : faults) {
        Scan(true, seed++);
        const std::string preview = Content(previewFile);
        UseTempPath(disk.Path());
        StartScan(false);
        ASSERT_EQ(1u, imagetest::ScanTempFolders(disk.Path()).size()) << name;
        fnFault();
        Partial(1);
        const auto last = Engine(100, 60, 90, seed++);
        EXPECT_EQ(preview, Content(previewFile)) << name;
        EXPECT_TRUE(Shows(last)) << name;

        m_pBag->ClearCalls();
        NotifyIdle();
        EXPECT_EQ(preview, Content(previewFile)) << name;
        EXPECT_TRUE(Shows(previewFile)) << name;
        EXPECT_EQ(Texts{"Write scan.temp.pre = VT_BSTR " + Quoted(previewFile)}, CallsOf(HostBagCallKind::Write));

        disk.Free();
        ASSERT_TRUE(disk.SetReadOnly(false));
        UseTempPath(folder.Path());
        ExpectScansAgain(seed++);
    }
}

// The engine's folder runs full or becomes read-only just before the final preview is moved
// into it: the kept preview there stays whole (a copy across file systems that runs out of
// room used to cut it short and delete it), and the scan's preview is shown all the same.
TEST_F(FileFaults, TheEngineFolderFailsBeforeTheFinalPreviewIsMovedIn)
{
    SmallDisk disk(256 * 1024);
    if (!disk.Mounted())
        GTEST_SKIP() << "no small disk can be mounted here";
    engine = disk.Path();
    previewFile = engine / "qor_org_preview.jpg";
    const std::pair<const char*, std::function<void()>> faults[] = {
        {"full", [&] { disk.Fill(); }},
        {"read-only", [&] { ASSERT_TRUE(disk.SetReadOnly(true)); }},
    };
    int seed = 1;
    for (const auto& [name, fnFault] : faults) {
        Scan(true, seed++);
        const std::string preview = Content(previewFile);
        StartScan(true);
        Partial(1);
        const auto last = WriteFinal(seed++);
        fnFault();
        NotifyPath(last);
        EXPECT_EQ(preview, Content(previewFile)) << name;
        EXPECT_TRUE(Shows(last)) << name;
        NotifyIdle();
        EXPECT_EQ(preview, Content(previewFile)) << name;
        EXPECT_TRUE(TempFolders().empty()) << name;

        ASSERT_TRUE(disk.SetReadOnly(false));
        disk.Free();
        ExpectScansAgain(seed++);
    }
}

// A partial or final preview file that vanishes after its notification changes nothing: the
// partial preview shown before stays on screen and on disk, the kept preview stays, and the
// host hears of no file that is not there.
TEST_F(FileFaults, FilesVanishBeforeTheyAreDecoded)
{
    Scan(true, 1);
    const std::string preview = Content(previewFile);
    StartScan(true);
    const auto first = Partial(1);

    const auto second = engine / "prev_2.jpg";
    ASSERT_TRUE(imagetest::WriteJpeg(second.string(), 60, 10, 2));
    BeforeTheNextDecode([&] { std::filesystem::remove(second); });
    NotifyPath(second);
    EXPECT_TRUE(std::filesystem::exists(first));
    EXPECT_EQ(first.u16string(), std::u16string(m_pControl->m_szPartialFile));
    ASSERT_TRUE(m_pControl->m_pLivePage);
    EXPECT_EQ(60u, m_pControl->m_pLivePage->GetWidth());

    const auto last = WriteFinal(3);
    BeforeTheNextDecode([&] { std::filesystem::remove(last); });
    m_pBag->ClearCalls();
    NotifyPath(last);
    EXPECT_EQ(Texts{}, CallsOf(HostBagCallKind::Write));
    EXPECT_EQ(preview, Content(previewFile));

    NotifyIdle();
    EXPECT_EQ(preview, Content(previewFile));
    EXPECT_TRUE(Shows(previewFile));
    ExpectScansAgain(4);
}

// The engine's folder, with the kept preview in it, goes away while a scan runs: the sample
// takes the preview's place, the host hears of no preview file, and a scan into a new folder
// works.
TEST_F(FileFaults, TheEngineFolderGoesAwayDuringAScan)
{
    Scan(true, 1);
    StartScan(true);
    Partial(1);
    std::filesystem::remove_all(engine);
    m_pBag->ClearCalls();
    NotifyPath(engine / "prev_100.jpg");
    NotifyIdle();
    EXPECT_EQ(Texts{"Write scan.temp.pre = VT_BSTR \"\""}, CallsOf(HostBagCallKind::Write));
    EXPECT_TRUE(m_pControl->m_bSampleShown);
    EXPECT_TRUE(m_pControl->m_pPreviewSource);
    EXPECT_TRUE(TempFolders().empty());

    std::filesystem::create_directories(engine);
    ExpectScansAgain(2);
}

}  // namespace
