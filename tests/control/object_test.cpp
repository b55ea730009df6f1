// The control's identity, its interface table and attaching to and detaching from the host's
// window through the site.
#include "control_test_support.h"

namespace {

using controltest::ControlTest;
using controltest::CTestSite;
using controltest::HostChildProc;

using ControlObject = ControlTest;

TEST_F(ControlObject, EveryInterfaceAnswersAndIUnknownIsTheAdviceInterface)
{
    ATL::CComPtr<IUnknown> spUnk;
    ASSERT_EQ(S_OK, m_pControl->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&spUnk)));
    EXPECT_EQ(static_cast<IUnknown*>(Query<IQORAdvice>().p), spUnk.p);
    EXPECT_NE(nullptr, Query<IQORNotify>().p);
    EXPECT_NE(nullptr, Query<IOleWindow>().p);
    EXPECT_NE(nullptr, Query<IPropertyBag>().p);
    EXPECT_NE(nullptr, Query<IObjectWithSite>().p);
    EXPECT_NE(nullptr, Query<IOleCommandTarget>().p);
    EXPECT_NE(nullptr, Query<IPersistPropertyBag>().p);
    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, m_pControl->QueryInterface(IID_IClassFactory, &pv));
    EXPECT_EQ(nullptr, pv);
}

// Before a site: no window and no site, yet GetWindow succeeds. GetClassID answers the scan
// source, not the class id.
TEST_F(ControlObject, ClassIdWindowAndSiteOfANewControl)
{
    auto spPersist = Query<IPersistPropertyBag>();
    CLSID clsid = CLSID_QORScan;
    EXPECT_EQ(S_OK, spPersist->GetClassID(&clsid));
    EXPECT_TRUE(IsEqualGUID(GUID_ScanSource, clsid));
    EXPECT_EQ(E_POINTER, spPersist->GetClassID(nullptr));
    EXPECT_EQ(E_NOTIMPL, spPersist->InitNew());

    auto spWindow = Query<IOleWindow>();
    HWND hWnd = reinterpret_cast<HWND>(1);
    EXPECT_EQ(S_OK, spWindow->GetWindow(&hWnd));
    EXPECT_EQ(nullptr, hWnd);
    EXPECT_EQ(E_INVALIDARG, spWindow->GetWindow(nullptr));
    void* pv = nullptr;
    EXPECT_EQ(E_FAIL, Query<IObjectWithSite>()->GetSite(IID_IUnknown, &pv));
}

using ControlSite = ControlTest;

TEST_F(ControlSite, SetSiteSubclassesTheWindowAndSetSiteNullGivesItBack)
{
    auto spSiteObj = Query<IObjectWithSite>();
    CTestSite* pSite = CTestSite::Create(m_hWndChild, false);
    ASSERT_EQ(HostChildProc, ChildProc());

    EXPECT_EQ(S_OK, spSiteObj->SetSite(static_cast<IOleWindow*>(pSite)));
    EXPECT_NE(HostChildProc, ChildProc());
    HWND hWnd = nullptr;
    EXPECT_EQ(S_OK, Query<IOleWindow>()->GetWindow(&hWnd));
    EXPECT_EQ(m_hWndChild, hWnd);
    // Messages the control leaves go on to the host's procedure.
    EXPECT_TRUE(::SendMessageW(m_hWndChild, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"hello")));
    WCHAR szText[16] = {};
    EXPECT_EQ(5, ::GetWindowTextW(m_hWndChild, szText, 16));

    EXPECT_EQ(S_OK, spSiteObj->SetSite(nullptr));
    EXPECT_EQ(HostChildProc, ChildProc());
    EXPECT_EQ(S_OK, Query<IOleWindow>()->GetWindow(&hWnd));
    EXPECT_EQ(nullptr, hWnd);
    EXPECT_EQ(1u, pSite->RefCount()) << "the control let the site go";
    pSite->Release();
}

TEST_F(ControlSite, AProcedureInstalledOverTheControlsKeepsTheWindowSubclassed)
{
    auto spSiteObj = Query<IObjectWithSite>();
    CTestSite* pSite = CTestSite::Create(m_hWndChild, false);
    ASSERT_EQ(S_OK, spSiteObj->SetSite(static_cast<IOleWindow*>(pSite)));
    const WNDPROC pfnControl = ChildProc();
    ::SetWindowLongPtrW(m_hWndChild, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HostChildProc));

    EXPECT_EQ(S_OK, spSiteObj->SetSite(nullptr));
    EXPECT_EQ(HostChildProc, ChildProc());
    HWND hWnd = nullptr;
    Query<IOleWindow>()->GetWindow(&hWnd);
    EXPECT_EQ(m_hWndChild, hWnd) << "the control still owns its place in the chain";

    // Put the control back in front so that the teardown finds it there.
    ::SetWindowLongPtrW(m_hWndChild, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(pfnControl));
    pSite->Release();
}

TEST_F(ControlSite, ReleasingTheControlWithoutDetachingGivesTheWindowBack)
{
    CTestSite* pSite = CTestSite::Create(m_hWndChild, false);
    ASSERT_EQ(S_OK, Query<IObjectWithSite>()->SetSite(static_cast<IOleWindow*>(pSite)));
    ASSERT_NE(HostChildProc, ChildProc());

    m_pControl->Release();
    m_pControl = nullptr;
    EXPECT_EQ(HostChildProc, ChildProc());
    EXPECT_EQ(1u, pSite->RefCount());
    pSite->Release();
    ::SendMessageW(m_hWndChild, WM_SIZE, 0, 0);  // reaches only the host's procedure now
}

TEST_F(ControlSite, ASiteWhoseGetWindowFailsIsKeptButNothingIsSubclassed)
{
    auto spSiteObj = Query<IObjectWithSite>();
    CTestSite* pSite = CTestSite::Create(m_hWndChild, false, E_UNEXPECTED);
    EXPECT_EQ(E_FAIL, spSiteObj->SetSite(static_cast<IOleWindow*>(pSite)));
    EXPECT_EQ(HostChildProc, ChildProc());

    ATL::CComPtr<IOleWindow> spGot;
    EXPECT_EQ(S_OK, spSiteObj->GetSite(IID_IOleWindow, reinterpret_cast<void**>(&spGot)));
    EXPECT_EQ(static_cast<IOleWindow*>(pSite), spGot.p);
    void* pv = nullptr;
    EXPECT_EQ(E_NOINTERFACE, spSiteObj->GetSite(IID_IQORNotify, &pv));
    spGot.Release();
    EXPECT_EQ(S_OK, spSiteObj->SetSite(nullptr));
    pSite->Release();
}

TEST_F(ControlSite, ASiteAnsweringNotifyReceivesEveryWriteIncludingNullOnes)
{
    auto spSiteObj = Query<IObjectWithSite>();
    CTestSite* pSite = CTestSite::Create(m_hWndChild, true);
    ASSERT_EQ(S_OK, spSiteObj->SetSite(static_cast<IOleWindow*>(pSite)));

    auto spBag = Query<IPropertyBag>();
    ATL::CComVariant varStyle(0u);
    ATL::CComVariant varText(u"x");
    EXPECT_EQ(S_OK, spBag->Write(QORSCAN_KEY_BASE_STYLE, &varStyle));
    EXPECT_EQ(S_OK, spBag->Write(QORSCAN_KEY_SCAN_POS, nullptr));
    EXPECT_EQ(S_OK, spBag->Write(u"anything", &varText));
    EXPECT_EQ((std::vector<std::string>{"base.style = vt 19", "scan.pos = null", "anything = vt 8"}), pSite->notifies);

    // Detaching empties the sink list: later writes reach nobody.
    EXPECT_EQ(S_OK, spSiteObj->SetSite(nullptr));
    spBag->Write(QORSCAN_KEY_SCAN_POS, nullptr);
    EXPECT_EQ(3u, pSite->notifies.size());
    EXPECT_EQ(1u, pSite->RefCount());
    pSite->Release();
}

TEST_F(ControlSite, BaseStyleIsTakenOnlyAsVtUi4UnderItsExactName)
{
    auto spBag = Query<IPropertyBag>();
    ATL::CComVariant varI4(0);
    ATL::CComVariant varUI4(0u);
    ASSERT_EQ(1u, m_pControl->m_dwBaseStyle);
    spBag->Write(QORSCAN_KEY_BASE_STYLE, &varI4);
    EXPECT_EQ(1u, m_pControl->m_dwBaseStyle);
    spBag->Write(u"BASE.STYLE", &varUI4);
    EXPECT_EQ(1u, m_pControl->m_dwBaseStyle);
    spBag->Write(QORSCAN_KEY_BASE_STYLE, nullptr);
    EXPECT_EQ(1u, m_pControl->m_dwBaseStyle);
    spBag->Write(QORSCAN_KEY_BASE_STYLE, &varUI4);
    EXPECT_EQ(0u, m_pControl->m_dwBaseStyle);
}

// The control attached to the host's child window.
class AttachedControl : public ControlTest {
protected:
    void SetUp() override
    {
        ControlTest::SetUp();
        m_pSite = CTestSite::Create(m_hWndChild, false);
        ASSERT_EQ(S_OK, Query<IObjectWithSite>()->SetSite(static_cast<IOleWindow*>(m_pSite)));
    }
    void TearDown() override
    {
        Query<IObjectWithSite>()->SetSite(nullptr);
        m_pSite->Release();
        ControlTest::TearDown();
    }
    CTestSite* m_pSite = nullptr;
};

}  // namespace
