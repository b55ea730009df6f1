// The control driven as a scan engine drives it, shared by the notification tests and the
// fault tests of the preview files: real JPEG preview files in an engine folder, Notify calls
// through IQORNotify, and a recording host bag that can call Notify back from inside a write.
#pragma once

#include <HostJob.h>

#include <filesystem>
#include <string>
#include <vector>

#include "control_test_support.h"
#include "image_test_support.h"

namespace notifytest {

using Texts = std::vector<std::string>;

inline std::string Quoted(const std::filesystem::path& path)
{
    return "\"" + path.string() + "\"";
}

class EngineNotify : public controltest::HostBagTest {
protected:
    // A letter page with the crop (1000, 1000) 4000 x 5000, bound through Load.
    void SetUp() override
    {
        HostBagTest::SetUp();
        std::filesystem::create_directories(engine);
        ASSERT_EQ(S_OK, HostFillLetterFlatbedJob(m_pBag, nullptr));
        m_pBag->SetValue(QORSCAN_KEY_SCAN_POS, QorScanPairVariant(1000, 1000));
        m_pBag->SetValue(QORSCAN_KEY_SCAN_CROP, QorScanPairVariant(4000, 5000));
        ASSERT_TRUE(SUCCEEDED(Query<IPersistPropertyBag>()->Load(m_pBag, nullptr)));
        m_pBag->ClearCalls();
    }

    HRESULT Notify(LPCOLESTR pszKey, VARIANT var, const GUID& source = GUID_ScanSource)
    {
        const ATL::CComBSTR bstrKey(pszKey);
        return Query<IQORNotify>()->Notify(source, bstrKey, &var);
    }
    HRESULT NotifyPath(const std::filesystem::path& path)
    {
        return Notify(QORSCAN_KEY_SCAN_TEMP_PRE, ATL::CComVariant(path.u16string().c_str()));
    }
    HRESULT NotifyIdle() { return Notify(QORSCAN_KEY_SCAN_BUSY, ATL::CComVariant(false)); }

    // What the scan-start command does to the image store.
    void StartScan(bool bPreview)
    {
        m_pBag->SetValue(QORSCAN_KEY_SCAN_PREVIEW, ATL::CComVariant(bPreview ? 1 : 0));
        m_pControl->BeginScanCanvas(m_pControl->m_rcFit.right, m_pControl->m_rcFit.bottom);
        m_pControl->ResetScanCanvas();
    }
    // The engine writes preview file n into its folder and announces it.
    std::filesystem::path Engine(int n, int cx, int cy, int seed)
    {
        const auto path = engine / ("prev_" + std::to_string(n) + ".jpg");
        EXPECT_TRUE(imagetest::WriteJpeg(path.string(), cx, cy, seed));
        EXPECT_EQ(S_OK, NotifyPath(path));
        return path;
    }
    std::filesystem::path Partial(int n) { return Engine(n, 60, 5 * n, n); }
    // A whole scan: two partial previews, the final one, the engine idle again.
    void Scan(bool bPreview, int seed)
    {
        StartScan(bPreview);
        Partial(1);
        Partial(2);
        Engine(100, 60, 90, seed);
        NotifyIdle();
    }

    int TakePostedGetCrops()
    {
        int nCount = 0;
        MSG msg;
        while (::PeekMessageW(&msg, m_hWndChild, g_uMsgGetCrop, g_uMsgGetCrop, PM_REMOVE))
            nCount += msg.wParam == 0 && msg.lParam == 0 ? 1 : 100;
        return nCount;
    }
    Texts CallsOf(HostBagCallKind kind) { return m_pBag->CallTexts(kind); }
    std::vector<std::filesystem::path> TempFolders() { return imagetest::ScanTempFolders(folder.Path()); }

    imagetest::TestFolder folder;
    std::filesystem::path engine = folder / "engine";
    std::filesystem::path previewFile = engine / "qor_org_preview.jpg";
    const RECT rcLetter = {0, 0, 8500, 11000};
    const RECT rcCrop = {1000, 1000, 5000, 6000};
};

}  // namespace notifytest
