// "GetCrop for QOR": the request the control posts to itself after a preview scan, which runs
// the automatic crop the user asked for with the auto-crop keys.
#include <HostJob.h>

#include <filesystem>
#include <optional>

#include "control_test_support.h"
#include "image_test_support.h"

namespace {

class GetCropRequest : public controltest::HostBagTest {
protected:
    HRESULT Exec(DWORD nCmdID)
    {
        return Query<IOleCommandTarget>()->Exec(&CGID_ScanControl, nCmdID, 0, nullptr, nullptr);
    }
    LRESULT SendGetCrop() { return ::SendMessageW(m_hWndChild, ::RegisterWindowMessageW(QORSCAN_MSG_GETCROP), 0, 0); }
    void SetKey(LPCOLESTR pszKey, std::optional<LONG> value)
    {
        m_pBag->Write(pszKey, nullptr);
        if (value) {
            ASSERT_EQ(S_OK, m_pBag->SetValue(pszKey, ATL::CComVariant(*value)));
        }
    }
    size_t CropsAsked() const
    {
        size_t nCount = 0;
        for (const CHostBagCall& call : m_pBag->CallsOf(HostBagCallKind::Exec))
            nCount += call.dwId == QORSCAN_CMDID_AUTOCROP ? 1 : 0;
        return nCount;
    }
};

TEST_F(GetCropRequest, TheLow16BitsOfEitherKeyAskForTheCrop)
{
    EXPECT_EQ(0, SendGetCrop()) << "without a bag";
    Bind();
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_INIT, ATL::CComVariant(true)));
    const struct {
        std::optional<LONG> single;
        std::optional<LONG> multi;
        bool bCrop;
    } cases[] = {
        {1, std::nullopt, true},       {0, 1, true},        {std::nullopt, std::nullopt, false},
        {0, 0, false},                 {0x10000, std::nullopt, false},
        {std::nullopt, 0x10002, true},
    };
    for (const auto& c : cases) {
        SetKey(QORSCAN_KEY_SCAN_AUTOCROP_SINGLE, c.single);
        SetKey(QORSCAN_KEY_SCAN_AUTOCROP_MULTI, c.multi);
        m_pBag->ClearCalls();
        m_pControl->m_bAutoCropPending = false;
        EXPECT_EQ(0, SendGetCrop());
        EXPECT_EQ(c.bCrop ? 1u : 0u, CropsAsked()) << c.single.value_or(-1) << " " << c.multi.value_or(-1);
        EXPECT_EQ(c.bCrop, m_pControl->m_bAutoCropPending);
    }
}

TEST_F(GetCropRequest, ABusyControlIgnoresTheRequest)
{
    Bind();
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_INIT, ATL::CComVariant(true)));
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_BUSY, ATL::CComVariant(true)));
    SetKey(QORSCAN_KEY_SCAN_AUTOCROP_SINGLE, 1);
    m_pControl->m_bPartialPreview = true;
    EXPECT_EQ(0, SendGetCrop());
    EXPECT_EQ(0u, CropsAsked());
    EXPECT_FALSE(m_pControl->m_bAutoCropPending);
}

// The whole road: the user asks for several frames, the next preview scan ends, the control
// asks the host's engine for the crop, and the engine's frames arrive in the view.
TEST_F(GetCropRequest, APreviewScanEndsInTheEnginesFrames)
{
    imagetest::TestFolder folder;
    const std::filesystem::path engine = folder / "engine";
    std::filesystem::create_directories(engine);
    ASSERT_EQ(S_OK, HostFillLetterFlatbedJob(m_pBag, nullptr));
    ASSERT_EQ(S_OK, m_pBag->SetValue(QORSCAN_KEY_SCAN_PREVIEW, ATL::CComVariant(1)));
    ASSERT_TRUE(SUCCEEDED(Query<IPersistPropertyBag>()->Load(m_pBag, nullptr)));
    auto spNotify = Query<IQORNotify>();
    auto notify = [&](LPCOLESTR pszKey, ATL::CComVariant var) {
        EXPECT_EQ(S_OK, spNotify->Notify(GUID_ScanSource, ATL::CComBSTR(pszKey), &var));
    };
    // The engine's side of a preview scan: the final preview, then idle again.
    auto previewScan = [&](int seed) {
        ASSERT_EQ(S_OK, Exec(QORSCAN_CMDID_PREVIEW));
        const std::filesystem::path path = engine / "prev_100.jpg";
        ASSERT_TRUE(imagetest::WriteJpeg(path.string(), 85, 110, seed));
        notify(QORSCAN_KEY_SCAN_TEMP_PRE, ATL::CComVariant(path.u16string().c_str()));
        notify(QORSCAN_KEY_SCAN_BUSY, ATL::CComVariant(false));
    };

    previewScan(1);
    uitest::Pump();
    EXPECT_EQ(0u, CropsAsked()) << "no crop was asked for";
    ASSERT_FALSE(m_pControl->m_bSampleShown);

    ASSERT_EQ(S_OK, Exec(QORSCAN_CMDID_AUTOCROP_MULTI));
    EXPECT_EQ(1u, CropsAsked()) << "asked at once for the preview shown";
    previewScan(2);
    EXPECT_FALSE(m_pControl->m_bAutoCropPending) << "the scan's end settled the earlier request";
    EXPECT_EQ(1u, CropsAsked()) << "the request waits for its message";
    uitest::Pump();
    EXPECT_EQ(2u, CropsAsked());
    EXPECT_TRUE(m_pControl->m_bAutoCropPending);

    VARIANT varPositions, varSizes;
    ::VariantInit(&varPositions);
    ::VariantInit(&varSizes);
    ASSERT_EQ(S_OK, HostMakeFrameArray({QorScanMakePair(1000, 1000), QorScanMakePair(5000, 2000)}, &varPositions));
    ASSERT_EQ(S_OK, HostMakeFrameArray({QorScanMakePair(2000, 3000), QorScanMakePair(2000, 3000)}, &varSizes));
    m_pBag->SetValue(QORSCAN_KEY_SCAN_MULTIPOS_ARRAY, varPositions);
    m_pBag->SetValue(QORSCAN_KEY_SCAN_MULTICROP_ARRAY, varSizes);
    ::VariantClear(&varPositions);
    ::VariantClear(&varSizes);
    m_pBag->ClearCalls();
    notify(QORSCAN_KEY_SCAN_PROC, ATL::CComVariant(0));
    EXPECT_EQ((std::vector<RECT>{{1000, 1000, 3000, 4000}, {5000, 2000, 7000, 5000}}), m_pControl->m_vecFrames);
    EXPECT_EQ(2u, m_pControl->m_vecTrackers.size());
    EXPECT_EQ(ATL::CComVariant(QorScanMakePair(1000, 1000)), m_pBag->GetValue(QORSCAN_KEY_SCAN_POS));
    EXPECT_EQ(ATL::CComVariant(QorScanMakePair(6001, 4001)), m_pBag->GetValue(QORSCAN_KEY_SCAN_CROP));
}

}  // namespace
