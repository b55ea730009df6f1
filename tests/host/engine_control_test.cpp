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

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::u16string Widen(const char* psz)
{
    std::u16string text;
    for (; *psz; ++psz)
        text += static_cast<char16_t>(static_cast<unsigned char>(*psz));
    return text;
}

std::string Narrow(const std::u16string& text)
{
    return std::string(text.begin(), text.end());
}

class EngineWithControl : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char pattern[] = "/tmp/qor_engine_control_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        s_folder = pattern;
        setenv("QOR_REGISTRY_DIR", s_folder.c_str(), 1);
        s_hModule = LoadLibraryW(Widen(QORSCAN_MODULE_PATH).c_str());
        ASSERT_NE(nullptr, s_hModule);
        auto pfnRegister = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(GetProcAddress(s_hModule, "DllRegisterServer"));
        ASSERT_NE(nullptr, pfnRegister);
        ASSERT_EQ(S_OK, pfnRegister());
        ASSERT_EQ(S_OK, CoInitialize(nullptr));
    }
    static void TearDownTestSuite()
    {
        CoUninitialize();
        FreeLibrary(s_hModule);
        std::error_code ignored;
        std::filesystem::remove_all(s_folder, ignored);
    }

    void SetUp() override
    {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = u"EngineControlFrame";
        RegisterClassExW(&wc);
        m_hWndFrame = CreateWindowExW(0, u"EngineControlFrame", u"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800,
                                      600, nullptr, nullptr, nullptr, nullptr);
        m_hWndView = CreateWindowExW(0, u"EngineControlFrame", u"", WS_CHILD | WS_VISIBLE, 0, 0, 640, 480, m_hWndFrame,
                                     nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_hWndView);
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
        DestroyWindow(m_hWndFrame);
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

    HWND m_hWndFrame = nullptr;
    HWND m_hWndView = nullptr;
    std::unique_ptr<CHostSite> m_pSite;
    ATL::CComPtr<CHostPropertyBag> m_spBag;
    std::unique_ptr<CScanEngine> m_pEngine;
    ATL::CComPtr<IObjectWithSite> m_spControl;
    ATL::CComQIPtr<IOleCommandTarget> m_spCommands;
    static inline std::string s_folder;
    static inline HMODULE s_hModule = nullptr;
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
