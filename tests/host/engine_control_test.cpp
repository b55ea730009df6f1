// The scan engine behind the control, as a host wires them: the module's control on a child
// window, the host's bag bound to it, the engine attached to the same bag. Commands go to the
// control, which passes them on to the engine; the engine's events come back to the control.
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <oleidl.h>
#include <atlbase.h>

#include <QORScan.h>
#include <HostJob.h>
#include <HostPropertyBag.h>
#include <HostSite.h>
#include <ScanEngine.h>
#include <Scene.h>

#include <module_host_test.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string Narrow(const std::u16string& text)
{
    return std::string(text.begin(), text.end());
}

class EngineWithControl : public ModuleHostTest {
protected:
    static void SetUpTestSuite() { RegisterModule(QORSCAN_MODULE_PATH); }

    void SetUp() override
    {
        ModuleHostTest::SetUp();
        m_pSite = std::make_unique<CHostSite>(m_hWndView);

        ASSERT_EQ(S_OK, CHostPropertyBag::CreateInstance(&m_spBag));
        m_spBag->SetForwarding(true);
        ASSERT_EQ(S_OK, HostFillLetterFlatbedJob(m_spBag, nullptr));
        m_pEngine = std::make_unique<CScanEngine>();  // the built-in scene
        ASSERT_EQ(S_OK, m_pEngine->Attach(m_spBag));

        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_QORScan, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectWithSite,
                                         reinterpret_cast<void**>(&m_spControl)));
        ASSERT_EQ(S_OK, m_spControl->SetSite(m_pSite.get()));
        ATL::CComQIPtr<IPersistPropertyBag> spPersist(m_spControl);
        ASSERT_TRUE(SUCCEEDED(spPersist->Load(m_spBag, nullptr)));
        m_spCommands = m_spControl;
        ASSERT_TRUE(m_spCommands);
    }

    void TearDown() override
    {
        if (m_spControl) {
            ATL::CComQIPtr<IPersistPropertyBag> spPersist(m_spControl);
            spPersist->Load(nullptr, nullptr);
            m_spControl->SetSite(nullptr);
        }
        m_spCommands.Release();
        m_spControl.Release();
        m_pEngine.reset();
        if (m_spBag)
            m_spBag->ReleaseAllSinks();
        ModuleHostTest::TearDown();
    }

    HRESULT Command(DWORD nCmd) { return m_spCommands->Exec(&CGID_ScanControl, nCmd, 0, nullptr, nullptr); }

    size_t Count(const std::string& strCall) const
    {
        const std::vector<std::string> vecCalls = m_spBag->CallTexts();
        return static_cast<size_t>(std::count(vecCalls.begin(), vecCalls.end(), strCall));
    }

    // The kept preview that the control reported into the bag, empty when none.
    std::string KeptPreview() const
    {
        const auto value = m_spBag->GetValue(QORSCAN_KEY_SCAN_TEMP_PRE);
        return value && value->vt == VT_BSTR ? Narrow(value->bstrVal) : std::string();
    }

    std::unique_ptr<CHostSite> m_pSite;
    ATL::CComPtr<CHostPropertyBag> m_spBag;
    std::unique_ptr<CScanEngine> m_pEngine;
    ATL::CComPtr<IObjectWithSite> m_spControl;
    ATL::CComQIPtr<IOleCommandTarget> m_spCommands;
};

TEST_F(EngineWithControl, PreviewAndMultipleCropOfTheScene)
{
    ASSERT_EQ(S_OK, Command(QORSCAN_CMDID_PREVIEW));
    EXPECT_EQ(1u, Count("Exec 2205")) << "the control passed the preview on";
    ASSERT_TRUE(m_pEngine->PumpUntilIdle(30000));
    // The control kept the final preview in the engine's folder and ended the scan once.
    EXPECT_EQ(m_pEngine->Folder() + "/qor_org_preview.jpg", KeptPreview());
    EXPECT_TRUE(std::filesystem::exists(KeptPreview()));
    EXPECT_EQ(1u, Count("NotifyWindow 1 0"));

    // The multiple crop: the control asks, the engine finds the photos, the control frames
    // them and reports the frame around them, which starts at the first photo's corner.
    ASSERT_EQ(S_OK, Command(QORSCAN_CMDID_AUTOCROP_MULTI));
    EXPECT_EQ(1u, Count("Exec 2207"));
    ASSERT_TRUE(m_pEngine->PumpUntilIdle(30000));
    EXPECT_EQ(1u, Count("Exec 2207")) << "the end of the crop asks for no further crop";
    EXPECT_EQ(2u, Count("NotifyWindow 1 0"));
    const auto pos = m_spBag->GetValue(QORSCAN_KEY_SCAN_POS);
    const auto crop = m_spBag->GetValue(QORSCAN_KEY_SCAN_CROP);
    ASSERT_TRUE(pos && crop);
    const LONG nTolerance = 30;  // three preview pixels at 100 dpi
    EXPECT_NEAR(qorscene::kPhotos[0].left, static_cast<LONG>(QorScanPairLow(pos->ulVal)), nTolerance);
    EXPECT_NEAR(qorscene::kPhotos[0].top, static_cast<LONG>(QorScanPairHigh(pos->ulVal)), nTolerance);
    EXPECT_NEAR(7800 - 700, static_cast<LONG>(QorScanPairLow(crop->ulVal)), nTolerance);
    EXPECT_NEAR(9200 - 800, static_cast<LONG>(QorScanPairHigh(crop->ulVal)), nTolerance);
}

TEST_F(EngineWithControl, TheControlRecoversFromADeviceError)
{
    m_pEngine->SetDeviceOptions({"status-jammed=yes"});
    ASSERT_EQ(S_OK, Command(QORSCAN_CMDID_PREVIEW));
    ASSERT_TRUE(m_pEngine->PumpUntilIdle(30000));
    EXPECT_EQ(1u, Count("NotifyWindow 1 0")) << "the scan ended for the control";
    EXPECT_EQ(std::string(), KeptPreview());

    // The control takes the next preview and passes it on; this one goes through.
    m_pEngine->SetDeviceOptions({});
    OLECMD cmd{QORSCAN_CMDID_PREVIEW, 0};
    ASSERT_EQ(S_OK, m_spCommands->QueryStatus(&CGID_ScanControl, 1, &cmd, nullptr));
    EXPECT_TRUE(cmd.cmdf & OLECMDF_ENABLED);
    ASSERT_EQ(S_OK, Command(QORSCAN_CMDID_PREVIEW));
    EXPECT_EQ(2u, Count("Exec 2205"));
    ASSERT_TRUE(m_pEngine->PumpUntilIdle(30000));
    EXPECT_EQ(m_pEngine->Folder() + "/qor_org_preview.jpg", KeptPreview());
    EXPECT_TRUE(std::filesystem::exists(KeptPreview()));
}

}  // namespace
