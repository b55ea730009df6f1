// The control driven as a scan engine drives it: real JPEG preview files in an engine folder,
// Notify calls through IQORNotify, and a recording host bag that can call Notify back from
// inside a write. A bitmap decoded from a file keeps it open and the platform refuses to move
// or delete such a file, so a wrong order of disposal leaves files behind here.
#include <filesystem>
#include <utility>

#include "engine_notify_test_support.h"

namespace {

using imagetest::Content;
using imagetest::Names;
using imagetest::TestFolder;
using notifytest::EngineNotify;
using notifytest::Quoted;
using notifytest::Texts;

TEST_F(EngineNotify, NotificationsNotMeantForTheControlAreIgnored)
{
    const ATL::CComVariant bw(0);
    EXPECT_EQ(S_OK, Notify(QORSCAN_KEY_SCAN_TYPE, bw, CLSID_QORScan));  // another source
    EXPECT_EQ(S_OK, Notify(u"SCAN.TYPE", bw));                         // names are case-sensitive
    EXPECT_EQ(S_OK, Notify(u"scan.type ", bw));
    const ATL::CComBSTR bstrType(QORSCAN_KEY_SCAN_TYPE);
    EXPECT_EQ(S_OK, Query<IQORNotify>()->Notify(GUID_ScanSource, bstrType, nullptr));
    EXPECT_EQ(24, m_pControl->m_nColorMode);

    // Without a bag nothing is read or changed.
    ASSERT_TRUE(SUCCEEDED(Query<IPersistPropertyBag>()->Load(nullptr, nullptr)));
    m_pBag->ClearCalls();
    EXPECT_EQ(S_OK, Notify(QORSCAN_KEY_SCAN_TYPE, bw));
    EXPECT_EQ(S_OK, Notify(QORSCAN_KEY_SCAN_CROP, QorScanPairVariant(10, 10)));
    EXPECT_EQ(24, m_pControl->m_nColorMode);
    EXPECT_EQ(rcCrop, m_pControl->m_rcCrop);
    EXPECT_EQ(Texts{}, m_pBag->CallTexts());
}

// A crop that grows past the right edge of a landscape page moves left; the layout then cuts
// it to the page. On a portrait page it stays where it is.
TEST_F(EngineNotify, ScanCropMovesLeftOnALandscapePage)
{
    for (const bool bLandscape : {true, false}) {
        m_pControl->m_rcPage = RECT{0, 0, 10000, 7000};
        m_pControl->m_rcCrop = RECT{6000, 500, 9000, 2500};
        m_pBag->SetValue(QORSCAN_KEY_SCAN_POS, QorScanPairVariant(8000, 500));
        m_pBag->SetValue(QORSCAN_KEY_SCAN_SIZE,
                         bLandscape ? QorScanPairVariant(10000, 7000) : QorScanPairVariant(7000, 10000));
        m_pBag->ClearCalls();
        Notify(QORSCAN_KEY_SCAN_CROP, QorScanPairVariant(3000, 2000));
        EXPECT_EQ((RECT{bLandscape ? 7000 : 8000, 500, 10000, 2500}), m_pControl->m_rcCrop);
        EXPECT_EQ((Texts{"Read scan.pos", "Read scan.size"}), m_pBag->CallTexts());
    }
}

// A layout resets the frame list to the crop; no layout keeps it.
TEST_F(EngineNotify, CropAndPositionLayOutOnlyWhenTheyChange)
{
    const std::vector<RECT> twoFrames = {RECT{1000, 1000, 2000, 2000}, RECT{3000, 3000, 5000, 6000}};
    const auto notifyKeepsFrames = [&](LPCOLESTR pszKey, VARIANT var) {
        m_pControl->m_vecFrames = twoFrames;
        Notify(pszKey, var);
        return m_pControl->m_vecFrames.size() == 2;
    };
    // The host holds the same position and size as the control.
    EXPECT_TRUE(notifyKeepsFrames(QORSCAN_KEY_SCAN_CROP, QorScanPairVariant(4000, 5000)));
    EXPECT_TRUE(notifyKeepsFrames(QORSCAN_KEY_SCAN_POS, QorScanPairVariant(1000, 1000)));
    EXPECT_EQ(rcCrop, m_pControl->m_rcCrop);

    EXPECT_FALSE(notifyKeepsFrames(QORSCAN_KEY_SCAN_CROP, QorScanPairVariant(3000, 5000)));
    EXPECT_EQ((RECT{1000, 1000, 4000, 6000}), m_pControl->m_rcCrop);
    EXPECT_EQ(std::vector<RECT>{m_pControl->m_rcCrop}, m_pControl->m_vecFrames);

    // Without the host's size a new position moves the crop's corner only.
    m_pBag->Write(QORSCAN_KEY_SCAN_CROP, nullptr);
    EXPECT_FALSE(notifyKeepsFrames(QORSCAN_KEY_SCAN_POS, QorScanPairVariant(1500, 1200)));
    EXPECT_EQ((RECT{1500, 1200, 4000, 6000}), m_pControl->m_rcCrop);
    EXPECT_TRUE(notifyKeepsFrames(QORSCAN_KEY_SCAN_POS, QorScanPairVariant(1500, 1200)));
}

TEST_F(EngineNotify, PreviewScan)
{
    m_pBag->SetValue(QORSCAN_KEY_SCAN_AUTOCROP_SINGLE, ATL::CComVariant(1));
    StartScan(true);
    ASSERT_EQ(1u, TempFolders().size());
    const auto temp = TempFolders()[0];
    EXPECT_FALSE(m_pControl->m_bFramesVisible);

    // Each partial preview is held open while shown; the one before it is deleted.
    const auto first = Partial(1);
    EXPECT_TRUE(m_pControl->m_bPartialPreview);
    EXPECT_FALSE(::DeleteFileW(first.u16string().c_str()));
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), ::GetLastError());
    Partial(2);
    EXPECT_EQ(Texts{"prev_2.jpg"}, Names(engine));
    EXPECT_EQ((Texts{"Read scan.preview", "Read scan.preview"}), m_pBag->CallTexts());

    // The final preview: a copy becomes the preview file, the engine's file stays, the host
    // learns the preview file's path.
    m_pBag->ClearCalls();
    const auto last = Engine(100, 60, 90, 7);
    EXPECT_FALSE(m_pControl->m_bPartialPreview);
    EXPECT_EQ((Texts{"prev_100.jpg", "qor_org_preview.jpg"}), Names(engine));
    EXPECT_EQ(Content(last), Content(previewFile));
    EXPECT_EQ(Texts{}, Names(temp));
    EXPECT_EQ((Texts{"Read scan.preview", "Write scan.temp.pre = VT_BSTR " + Quoted(previewFile)}),
              m_pBag->CallTexts());
    EXPECT_EQ(0, TakePostedGetCrops());

    // The engine is idle: the temp folder goes, the preview stays, the host and the sinks
    // hear of the end, and the automatic crop is asked for.
    m_pBag->ClearCalls();
    EXPECT_EQ(S_OK, NotifyIdle());
    EXPECT_EQ(0u, TempFolders().size());
    EXPECT_EQ((Texts{"prev_100.jpg", "qor_org_preview.jpg"}), Names(engine));
    EXPECT_EQ((Texts{"Read scan.preview", "Write scan.temp.pre = VT_BSTR " + Quoted(previewFile),
                     "NotifyWindow 1 0"}),
              m_pBag->CallTexts());
    EXPECT_EQ(1, TakePostedGetCrops());
    EXPECT_FALSE(m_pControl->m_bSampleShown);
    EXPECT_TRUE(m_pControl->m_bFramesVisible);
    EXPECT_EQ(rcLetter, m_pControl->m_rcPage);
    EXPECT_EQ(rcCrop, m_pControl->m_rcCrop);
    // Nothing holds the preview file any more.
    EXPECT_TRUE(::DeleteFileW(previewFile.u16string().c_str()));
}

TEST_F(EngineNotify, FinalScanShowsItsPreviewOnlyWhileItRuns)
{
    Scan(true, 1);
    const std::string preview = Content(previewFile);
    EXPECT_EQ(1, TakePostedGetCrops());
    m_pBag->ClearCalls();

    // Under base style 1 the scanned area is the page while the final scan runs.
    StartScan(false);
    Partial(1);
    EXPECT_EQ((RECT{0, 0, 4000, 5000}), m_pControl->m_rcPage);
    EXPECT_EQ(rcLetter, m_pControl->m_rcPageSaved);
    const auto last = Engine(100, 60, 90, 2);
    const auto temp = TempFolders();
    ASSERT_EQ(1u, temp.size());
    EXPECT_EQ(Content(last), Content(previewFile));
    EXPECT_EQ(Texts{"qor_org_preview.jpg"}, Names(temp[0]));
    EXPECT_EQ(preview, Content(temp[0] / "qor_org_preview.jpg"));
    EXPECT_EQ((Texts{}), CallsOf(HostBagCallKind::Write));  // the host keeps the old path

    // At its end the backup and the page come back; no automatic crop after a final scan.
    NotifyIdle();
    EXPECT_EQ(preview, Content(previewFile));
    EXPECT_EQ(0u, TempFolders().size());
    EXPECT_EQ(rcLetter, m_pControl->m_rcPage);
    EXPECT_EQ(rcCrop, m_pControl->m_rcCrop);
    EXPECT_TRUE(::IsRectEmpty(&m_pControl->m_rcPageSaved));
    EXPECT_EQ(Texts{"Write scan.temp.pre = VT_BSTR " + Quoted(previewFile)}, CallsOf(HostBagCallKind::Write));
    EXPECT_EQ(Texts{"NotifyWindow 1 0"}, CallsOf(HostBagCallKind::NotifyWindow));
    EXPECT_EQ(0, TakePostedGetCrops());
    EXPECT_FALSE(m_pControl->m_bSampleShown);
}

TEST_F(EngineNotify, UnderBaseStyleZeroTheScannedAreaStaysThePage)
{
    VARIANT style = QorScanPairVariant(0, 0);
    Query<IPropertyBag>()->Write(QORSCAN_KEY_BASE_STYLE, &style);
    m_pBag->ClearCalls();
    Scan(false, 3);
    EXPECT_EQ((RECT{0, 0, 4000, 5000}), m_pControl->m_rcPage);
    EXPECT_EQ((RECT{0, 0, 4000, 5000}), m_pControl->m_rcCrop);
    EXPECT_EQ(rcLetter, m_pControl->m_rcPageSaved);
    EXPECT_EQ(rcCrop, m_pControl->m_rcCropSaved);
    EXPECT_FALSE(m_pControl->m_bSampleShown);
    EXPECT_FALSE(m_pControl->m_bFramesVisible);
    EXPECT_EQ((Texts{"prev_100.jpg", "qor_org_preview.jpg"}), Names(engine));
    // The final preview and the end both tell the host.
    EXPECT_EQ(2u, CallsOf(HostBagCallKind::Write).size());
}

TEST_F(EngineNotify, AnErrorEndsTheLivePreview)
{
    StartScan(true);
    Partial(1);
    Partial(2);
    m_pBag->ClearCalls();
    EXPECT_EQ(S_OK, Notify(QORSCAN_KEY_SCAN_ERROR, ATL::CComVariant()));
    EXPECT_FALSE(m_pControl->m_bPartialPreview);
    EXPECT_FALSE(m_pControl->m_bRunning);
    EXPECT_TRUE(m_pControl->m_bFramesVisible);
    EXPECT_TRUE(m_pControl->m_bSampleShown);
    EXPECT_EQ(Texts{}, Names(engine));  // the shown partial file was let go and deleted
    EXPECT_EQ(Texts{}, m_pBag->CallTexts());
}

TEST_F(EngineNotify, PreviewPathForms)
{
    StartScan(true);
    std::filesystem::create_directories(engine / "prev_7");
    const std::pair<std::string, bool> cases[] = {
        {"prev_37.jpg", true}, {"prev_abc.jpg", true}, {"page.jpg", false}, {"prev_7/page.jpg", true}};
    for (const auto& [name, bPartial] : cases) {
        ASSERT_TRUE(imagetest::WriteJpeg((engine / name).string(), 40, 10, 1));
        m_pControl->m_bPartialPreview = false;
        NotifyPath(engine / name);
        EXPECT_EQ(bPartial, m_pControl->m_bPartialPreview) << name;
        EXPECT_EQ(bPartial ? (engine / name).u16string() : std::u16string(), std::u16string(m_pControl->m_szPartialFile))
            << name;
        if (bPartial)
            m_pControl->SetPreviewImage();  // lets the partial file go
    }
    // A backslash separates as well.
    ASSERT_TRUE(imagetest::WriteJpeg((engine / "prev_5.jpg").string(), 40, 10, 1));
    Notify(QORSCAN_KEY_SCAN_TEMP_PRE, ATL::CComVariant((engine.u16string() + u"\\prev_5.jpg").c_str()));
    EXPECT_TRUE(m_pControl->m_bPartialPreview);
    // A final preview under a backslash: its preview file replaces the final name.
    ASSERT_TRUE(imagetest::WriteJpeg((engine / "prev_100.jpg").string(), 40, 30, 1));
    Notify(QORSCAN_KEY_SCAN_TEMP_PRE, ATL::CComVariant((engine.u16string() + u"\\prev_100.jpg").c_str()));
    EXPECT_FALSE(m_pControl->m_bPartialPreview);
    EXPECT_EQ(engine.u16string() + u"\\qor_org_preview.jpg", std::u16string(m_pControl->m_szPreviewFile));
    EXPECT_TRUE(std::filesystem::exists(previewFile));
}

TEST_F(EngineNotify, AnEmptyPathResetsOnlyWithoutAPreviewImage)
{
    m_pControl->m_bAutoCropPending = true;
    Notify(QORSCAN_KEY_SCAN_TEMP_PRE, ATL::CComVariant(u""));
    EXPECT_TRUE(m_pControl->m_bAutoCropPending);  // the sample is an image

    m_pControl->m_pPreviewImage.reset();
    m_pControl->m_pPreviewSource.reset();
    m_pControl->m_bPartialPreview = true;
    Notify(QORSCAN_KEY_SCAN_TEMP_PRE, ATL::CComVariant(u""));
    EXPECT_FALSE(m_pControl->m_bAutoCropPending);
    EXPECT_FALSE(m_pControl->m_bPartialPreview);
    EXPECT_NE(nullptr, m_pControl->m_pPreviewImage.get());  // the sample again
}

TEST_F(EngineNotify, OnlyAnIdleEngineEndsTheScan)
{
    StartScan(true);
    Partial(1);
    m_pBag->ClearCalls();
    Notify(QORSCAN_KEY_SCAN_BUSY, ATL::CComVariant(true));
    Notify(QORSCAN_KEY_SCAN_BUSY, ATL::CComVariant(1));
    EXPECT_TRUE(m_pControl->m_bPartialPreview);
    EXPECT_EQ(Texts{}, m_pBag->CallTexts());

    NotifyIdle();
    EXPECT_FALSE(m_pControl->m_bPartialPreview);
    const auto ends = m_pBag->CallsOf(HostBagCallKind::NotifyWindow);
    ASSERT_EQ(1u, ends.size());
    EXPECT_EQ(m_hWndChild, ends[0].hWnd);
    EXPECT_EQ(1u, ends[0].dwId);
    EXPECT_EQ(0, ends[0].nParam);
}

class AutoCrop : public EngineNotify {
protected:
    void SetUp() override
    {
        EngineNotify::SetUp();
        m_pControl->m_bAutoCropPending = true;
        m_pBag->SetValue(QORSCAN_KEY_SCAN_AUTOCROP_MULTI, ATL::CComVariant(1));
    }
    void SetFrames(const std::vector<DWORD>& positions, const std::vector<DWORD>& sizes)
    {
        ATL::CComVariant var;
        ASSERT_EQ(S_OK, HostMakeFrameArray(positions, &var));
        m_pBag->SetValue(QORSCAN_KEY_SCAN_MULTIPOS_ARRAY, var);
        ASSERT_EQ(S_OK, HostMakeFrameArray(sizes, &var));
        m_pBag->SetValue(QORSCAN_KEY_SCAN_MULTICROP_ARRAY, var);
    }
    void Proc(int nValue) { EXPECT_EQ(S_OK, Notify(QORSCAN_KEY_SCAN_PROC, ATL::CComVariant(nValue))); }

    const std::vector<RECT> twoFrames = {RECT{100, 100, 600, 400}, RECT{700, 200, 900, 500}};
};

TEST_F(AutoCrop, SeveralFramesBecomeTheFramesAndTheirBoundingBoxTheCrop)
{
    SetFrames({QorScanMakePair(100, 100), QorScanMakePair(700, 200)},
              {QorScanMakePair(500, 300), QorScanMakePair(200, 300)});
    m_pControl->m_bPartialPreview = true;
    Proc(0);
    EXPECT_EQ(twoFrames, m_pControl->m_vecFrames);
    EXPECT_EQ(2u, m_pControl->m_vecTrackers.size());
    EXPECT_EQ((RECT{100, 100, 900, 500}), m_pControl->m_rcCrop);
    EXPECT_EQ((Texts{"Read scan.autocrop.multi", "Read scan.multipos.array", "Read scan.multicrop.array",
                     "Write scan.pos = VT_UI4 100x100", "Write scan.crop = VT_UI4 801x401"}),
              m_pBag->CallTexts());
    EXPECT_FALSE(m_pControl->m_bPartialPreview);
    EXPECT_TRUE(m_pControl->m_bAutoCropPending);
    EXPECT_FALSE(m_pControl->m_bWritingToHost);
}

// The host echoes the control's writes as notifications; those must not reset the new frames.
TEST_F(AutoCrop, TheHostsEchoOfTheCropKeepsTheFrames)
{
    m_pBag->SetForwarding(true);
    SetFrames({QorScanMakePair(100, 100), QorScanMakePair(700, 200)},
              {QorScanMakePair(500, 300), QorScanMakePair(200, 300)});
    Proc(0);
    EXPECT_EQ(twoFrames, m_pControl->m_vecFrames);
    EXPECT_EQ(2u, m_pControl->m_vecTrackers.size());
    // The echoed size is inclusive, one more than the frames' extent.
    EXPECT_EQ((RECT{100, 100, 901, 501}), m_pControl->m_rcCrop);
    EXPECT_FALSE(m_pControl->m_bWritingToHost);
}

TEST_F(AutoCrop, FramesComeOnlyFromValidArraysForIndicesBothHave)
{
    const std::vector<RECT> before = m_pControl->m_vecFrames;
    Proc(1);  // not finished yet
    m_pControl->m_bAutoCropPending = false;
    Proc(0);  // nothing pending
    EXPECT_EQ(Texts{}, m_pBag->CallTexts());

    m_pControl->m_bAutoCropPending = true;
    SetFrames({QorScanMakePair(100, 100)}, {});
    Proc(0);
    EXPECT_EQ(before, m_pControl->m_vecFrames);
    EXPECT_EQ(Texts{}, CallsOf(HostBagCallKind::Write));

    SetFrames({QorScanMakePair(100, 100), QorScanMakePair(700, 200), QorScanMakePair(5, 5)},
              {QorScanMakePair(500, 300), QorScanMakePair(200, 300)});
    Proc(0);
    EXPECT_EQ(twoFrames, m_pControl->m_vecFrames);

    // A single automatic crop takes nothing from the arrays.
    m_pBag->SetValue(QORSCAN_KEY_SCAN_AUTOCROP_MULTI, ATL::CComVariant(0));
    SetFrames({QorScanMakePair(1, 1)}, {QorScanMakePair(2, 2)});
    m_pBag->ClearCalls();
    Proc(0);
    EXPECT_EQ(twoFrames, m_pControl->m_vecFrames);
    EXPECT_EQ(Texts{"Read scan.autocrop.multi"}, m_pBag->CallTexts());
}

// Hand-made arrays whose elements claim VT_UI4 but are 16 bytes wide give no frames.
// Formerly each element was copied whole into a 4-byte pair on the stack.
TEST_F(AutoCrop, FrameArraysOfWideElementsGiveNoFrames)
{
    const std::vector<RECT> before = m_pControl->m_vecFrames;
    const std::vector<DWORD> positions = {QorScanMakePair(100, 100), QorScanMakePair(700, 200)};
    const std::vector<DWORD> sizes = {QorScanMakePair(500, 300), QorScanMakePair(200, 300)};
    for (const ULONG cbElement : {ULONG{16}, ULONG{sizeof(DWORD)}}) {
        controltest::CHandMadeArrayBag bag(m_pBag, positions, sizes, cbElement);
        Query<IPersistPropertyBag>()->Load(&bag, nullptr);
        Proc(0);
        EXPECT_EQ(cbElement == sizeof(DWORD) ? twoFrames : before, m_pControl->m_vecFrames) << cbElement;
        Query<IPersistPropertyBag>()->Load(m_pBag, nullptr);
    }
}

// A host that passes the preview path back as a notification, as the forwarding host does
// for the geometry keys.
class EchoingHost : public EngineNotify {
protected:
    void SetUp() override
    {
        EngineNotify::SetUp();
        m_pBag->SetCallHook([this](const CHostBagCall& call) {
            if (call.kind == HostBagCallKind::Write && call.value && call.bstrName == QORSCAN_KEY_SCAN_TEMP_PRE &&
                nEchoes++ < 10)
                Notify(QORSCAN_KEY_SCAN_TEMP_PRE, *call.value);
        });
    }
    void TearDown() override
    {
        m_pBag->SetCallHook(nullptr);
        EngineNotify::TearDown();
    }
    int nEchoes = 0;
};

// A final preview not named "prev_100.jpg" is its own preview file, and the host's echo of that
// path names a final preview again. Formerly each echo handled it anew, without end.
TEST_F(EchoingHost, AnEchoIsNotHandledAgain)
{
    StartScan(true);
    const auto last = Engine(101, 60, 90, 6);
    EXPECT_EQ(1, nEchoes);
    EXPECT_EQ(last.u16string(), std::u16string(m_pControl->m_szPreviewFile));
    NotifyIdle();
    EXPECT_EQ(2, nEchoes);
    EXPECT_TRUE(std::filesystem::exists(last));
    EXPECT_FALSE(m_pControl->m_bSampleShown);
}

// Formerly the control's own preview file, named in a folder whose name begins with "prev_",
// counted as a partial preview and was deleted with the next one.
TEST_F(EngineNotify, ThePreviewFileIsNeverTakenForAPartialPreview)
{
    Scan(true, 5);
    const auto kept = folder / "prev_1" / "qor_org_preview.jpg";
    std::filesystem::create_directories(kept.parent_path());
    std::filesystem::copy_file(previewFile, kept);
    StartScan(true);
    NotifyPath(kept);
    Partial(1);
    Partial(2);
    EXPECT_TRUE(std::filesystem::exists(kept));
}

// A host path that names "prev_100.jpg" in a folder of its own makes that folder the
// engine's; when the view goes, only the preview files of the engine's naming go with it,
// never other files, subfolders or links. Formerly everything in the folder went, and a
// "prev_100.jpg" that was not even there was enough.
TEST_F(EngineNotify, TheViewDeletesOnlyTheEnginesPreviewFiles)
{
    const auto docs = folder / "docs", outside = folder / "outside";
    std::filesystem::create_directories(docs / "sub");
    std::filesystem::create_directories(outside);
    for (const auto& file : {docs / "letter.txt", docs / "prev_abc.jpg", docs / "prev_5.jpg.bak", docs / "sub" / "prev_3.jpg",
                             docs / "prev_7.jpg", outside / "prev_8.jpg", outside / "prev_9.jpg"})
        ASSERT_TRUE(imagetest::WriteJpeg(file.string(), 8, 8, 1));
    std::filesystem::create_symlink(outside / "prev_8.jpg", docs / "prev_8.jpg");
    std::filesystem::create_directory_symlink(outside, folder / "linked");

    // A missing final preview names no engine folder.
    StartScan(true);
    NotifyPath(outside / "prev_100.jpg");
    EXPECT_EQ(0, m_pControl->m_szEngineFolder[0]);
    // The first final preview that is there does.
    ASSERT_TRUE(imagetest::WriteJpeg((docs / "prev_100.jpg").string(), 60, 90, 2));
    NotifyPath(docs / "prev_100.jpg");
    NotifyIdle();
    EXPECT_EQ(docs.u16string() + u"/", std::u16string(m_pControl->m_szEngineFolder));

    m_pBag->ReleaseAllSinks();
    std::exchange(m_pControl, nullptr)->Release();
    EXPECT_EQ((Texts{"letter.txt", "prev_5.jpg.bak", "prev_8.jpg", "prev_abc.jpg", "sub"}), Names(docs));
    EXPECT_EQ(Texts{"prev_3.jpg"}, Names(docs / "sub"));
    EXPECT_EQ((Texts{"prev_8.jpg", "prev_9.jpg"}), Names(outside));

    // An engine folder reached through a link loses nothing.
    ATL::CComObject<CQORScan>* pFresh = nullptr;
    ASSERT_EQ(S_OK, ATL::CComObject<CQORScan>::CreateInstance(&pFresh));
    pFresh->AddRef();
    m_pControl = pFresh;
    ASSERT_TRUE(SUCCEEDED(Query<IPersistPropertyBag>()->Load(m_pBag, nullptr)));
    StartScan(true);
    ASSERT_TRUE(imagetest::WriteJpeg((outside / "prev_100.jpg").string(), 60, 90, 3));
    NotifyPath(folder / "linked" / "prev_100.jpg");
    NotifyIdle();
    m_pBag->ReleaseAllSinks();
    std::exchange(m_pControl, nullptr)->Release();
    EXPECT_EQ((Texts{"prev_100.jpg", "prev_8.jpg", "prev_9.jpg"}), Names(outside));

    ASSERT_EQ(S_OK, ATL::CComObject<CQORScan>::CreateInstance(&pFresh));
    pFresh->AddRef();
    m_pControl = pFresh;
}

// A partial preview named again while it is shown stays on disk and on screen; only one that
// a different file replaced is deleted. Formerly it was deleted before it was decoded again:
// the file was lost and the view went blank.
TEST_F(EngineNotify, ThePartialPreviewNamedAgainStays)
{
    StartScan(true);
    const auto first = Partial(1);
    for (const auto& again : {first, engine / "." / "prev_1.jpg"}) {
        EXPECT_EQ(S_OK, NotifyPath(again));
        EXPECT_TRUE(std::filesystem::exists(first)) << again;
        ASSERT_TRUE(m_pControl->m_pLivePage);
        EXPECT_EQ(60u, m_pControl->m_pLivePage->GetWidth());
    }
    Partial(2);
    EXPECT_EQ(Texts{"prev_2.jpg"}, Names(engine));
}

// A final scan whose preview backup cannot be made (the scan temp folder went away) leaves
// the kept preview where it is and shows its own preview from the engine's file. Formerly
// the final scan's preview was moved over the kept one without a backup: the earlier preview
// was lost for good.
TEST_F(EngineNotify, AFailedBackupKeepsThePreview)
{
    Scan(true, 1);
    const std::string preview = Content(previewFile);
    m_pBag->ClearCalls();
    StartScan(false);
    Partial(1);
    ASSERT_EQ(1u, TempFolders().size());
    std::filesystem::remove_all(TempFolders()[0]);
    const auto last = Engine(100, 60, 90, 2);
    EXPECT_EQ(preview, Content(previewFile));
    EXPECT_TRUE(std::filesystem::exists(last));
    ASSERT_TRUE(m_pControl->m_pPreviewSource);
    Gdiplus::Bitmap decoded(last.u16string().c_str());
    const auto shown = imagetest::Pixels(*m_pControl->m_pPreviewSource);
    const auto scanned = imagetest::Pixels(decoded);
    EXPECT_TRUE(std::equal(scanned.begin(), scanned.begin() + 60, shown.begin())) << "the final scan's own preview";

    NotifyIdle();
    EXPECT_EQ(preview, Content(previewFile));
    EXPECT_EQ(Texts{"Write scan.temp.pre = VT_BSTR " + Quoted(previewFile)}, CallsOf(HostBagCallKind::Write));
    EXPECT_FALSE(m_pControl->m_bSampleShown);
}

// A final preview that is not there changes nothing, and the host is never told of a preview
// file that does not exist. Formerly the control reported the path all the same.
TEST_F(EngineNotify, AMissingFinalPreviewIsNotReported)
{
    StartScan(true);
    Partial(1);
    m_pBag->ClearCalls();
    NotifyPath(engine / "prev_100.jpg");
    EXPECT_EQ(0, m_pControl->m_szPreviewFile[0]);
    NotifyIdle();
    EXPECT_EQ(Texts{}, CallsOf(HostBagCallKind::Write));
    EXPECT_FALSE(std::filesystem::exists(previewFile));

    // Once the kept preview file is gone, the end of a scan reports no path.
    Scan(true, 3);
    ASSERT_TRUE(std::filesystem::remove(previewFile));
    m_pBag->ClearCalls();
    StartScan(true);
    NotifyIdle();
    EXPECT_EQ(Texts{"Write scan.temp.pre = VT_BSTR \"\""}, CallsOf(HostBagCallKind::Write));
}

// A host may let go of the control from inside a write, here when it learns the preview path
// at the end of a scan: the notification is finished first, then the control goes with its
// files.
TEST_F(EngineNotify, TheHostMayReleaseTheControlFromInsideAWrite)
{
    StartScan(true);
    Engine(100, 60, 90, 1);
    IQORNotify* pNotify = m_pControl;  // no reference of its own, as a host's sink list holds it
    m_pBag->SetCallHook([this](const CHostBagCall& call) {
        if (call.kind == HostBagCallKind::Write && m_pControl != nullptr) {
            m_pBag->ReleaseAllSinks();
            std::exchange(m_pControl, nullptr)->Release();
        }
    });
    const ATL::CComBSTR bstrBusy(QORSCAN_KEY_SCAN_BUSY);
    ATL::CComVariant idle(false);
    EXPECT_EQ(S_OK, pNotify->Notify(GUID_ScanSource, bstrBusy, &idle));
    m_pBag->SetCallHook(nullptr);
    EXPECT_EQ(nullptr, m_pControl);
    EXPECT_EQ(Texts{}, Names(engine));

    // A control of its own for the fixture's teardown.
    ATL::CComObject<CQORScan>* pFresh = nullptr;
    ASSERT_EQ(S_OK, ATL::CComObject<CQORScan>::CreateInstance(&pFresh));
    pFresh->AddRef();
    m_pControl = pFresh;
}

// Large previews arriving quickly: every file the control deletes or moves is gone, so no
// bitmap held one of them at the time.
TEST_F(EngineNotify, LargePreviewsLeaveNothingBehind)
{
    const int cxPage = 2550, cyPage = 3300, nPartials = 50;
    StartScan(true);
    const auto temp = TempFolders();
    ASSERT_EQ(1u, temp.size());
    for (int n = 1; n <= nPartials; ++n) {
        const auto path = Engine(n, cxPage, cyPage * n / (nPartials + 1), n);
        ASSERT_EQ(Texts{path.filename().string()}, Names(engine)) << "partial " << n;
    }
    const auto last = Engine(100, cxPage, cyPage, 1);
    EXPECT_EQ((Texts{"prev_100.jpg", "qor_org_preview.jpg"}), Names(engine));
    EXPECT_EQ(Texts{}, Names(temp[0]));
    NotifyIdle();
    EXPECT_EQ((Texts{"prev_100.jpg", "qor_org_preview.jpg"}), Names(engine));
    EXPECT_EQ(0u, TempFolders().size());
    EXPECT_EQ(Content(last), Content(previewFile));
    ASSERT_NE(nullptr, m_pControl->m_pPreviewSource.get());
    EXPECT_EQ(UINT(cxPage), m_pControl->m_pPreviewSource->GetWidth());
    // Neither file is held: the engine may clean up.
    EXPECT_TRUE(::DeleteFileW(last.u16string().c_str()));
    EXPECT_TRUE(::DeleteFileW(previewFile.u16string().c_str()));
}

}  // namespace
