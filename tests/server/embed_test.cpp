// A host embedding the control as a host developer outside the project would: only the public
// header, the platform's Windows headers, the host's own bag and the module's exports.
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <oleidl.h>
#include <atlbase.h>

#include <QORScan.h>
#include <HostJob.h>
#include <HostPropertyBag.h>
#include <HostSite.h>

#include <module_host_test.h>

#include <string>
#include <vector>

namespace {

class EmbedTest : public ModuleHostTest {
protected:
    static void SetUpTestSuite() { RegisterModule(QORSCAN_MODULE_PATH); }
};

TEST_F(EmbedTest, CreateSiteBindReadAndLetGo)
{
    ATL::CComPtr<IObjectWithSite> spControl;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_QORScan, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectWithSite,
                                     reinterpret_cast<void**>(&spControl)));
    const LONG_PTR pfnHostProc = GetWindowLongPtrW(m_hWndView, GWLP_WNDPROC);

    CHostSite site(m_hWndView);
    ASSERT_EQ(S_OK, spControl->SetSite(&site));
    EXPECT_NE(pfnHostProc, GetWindowLongPtrW(m_hWndView, GWLP_WNDPROC)) << "the site's window is the control's";
    ATL::CComQIPtr<IOleWindow> spWindow(spControl);
    HWND hWnd = nullptr;
    ASSERT_EQ(S_OK, spWindow->GetWindow(&hWnd));
    EXPECT_EQ(m_hWndView, hWnd);

    ATL::CComPtr<CHostPropertyBag> spHostBag;
    ASSERT_EQ(S_OK, CHostPropertyBag::CreateInstance(&spHostBag));
    ATL::CComPtr<IPropertyBag> spBag(spHostBag);
    ASSERT_EQ(S_OK, HostFillLetterFlatbedJob(spBag, nullptr));
    ATL::CComQIPtr<IPersistPropertyBag> spPersist(spControl);
    ASSERT_TRUE(SUCCEEDED(spPersist->Load(spBag, nullptr)));  // S_FALSE after a redraw

    // The control answers the bag's keys through its own IPropertyBag and marks the bag bound.
    ATL::CComQIPtr<IPropertyBag> spControlBag(spControl);
    ATL::CComVariant varSize;
    ASSERT_EQ(S_OK, spControlBag->Read(QORSCAN_KEY_SCAN_SIZE, &varSize, nullptr));
    EXPECT_EQ(VT_UI4, varSize.vt);
    EXPECT_EQ(QorScanMakePair(HOST_LETTER_WIDTH, HOST_LETTER_HEIGHT), varSize.ulVal);
    const auto page = spHostBag->GetValue(QORSCAN_KEY_SCAN_PAGE);
    ASSERT_TRUE(page.has_value());
    EXPECT_EQ(1u, page->ulVal);

    // A write on the control reaches the host bag as a notification.
    spHostBag->ClearCalls();
    ATL::CComVariant varStyle(0u);
    ASSERT_EQ(S_OK, spControlBag->Write(QORSCAN_KEY_BASE_STYLE, &varStyle));
    const std::vector<std::string> vecNotified = spHostBag->CallTexts(HostBagCallKind::Notify);
    ASSERT_EQ(1u, vecNotified.size());
    EXPECT_NE(std::string::npos, vecNotified[0].find("base.style")) << vecNotified[0];

    // Letting go: unbound, window given back, the module free to unload.
    ASSERT_TRUE(SUCCEEDED(spPersist->Load(nullptr, nullptr)));
    EXPECT_FALSE(spHostBag->GetValue(QORSCAN_KEY_SCAN_PAGE).has_value());
    ASSERT_EQ(S_OK, spControl->SetSite(nullptr));
    EXPECT_EQ(pfnHostProc, GetWindowLongPtrW(m_hWndView, GWLP_WNDPROC));
    EXPECT_EQ(0u, site.References()) << "the control keeps no reference to a site it let go";
    spWindow.Release();
    spControlBag.Release();
    spPersist.Release();
    spControl.Release();
    auto pfnCanUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void (*)()>(GetProcAddress(s_hModule, "DllCanUnloadNow")));
    ASSERT_NE(nullptr, pfnCanUnload);
    EXPECT_EQ(S_OK, pfnCanUnload());
}

}  // namespace
