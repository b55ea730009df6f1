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

TEST_F(ControlObject, GetClassIdIsTheScanSourceNotTheClassId)
{
    auto spPersist = Query<IPersistPropertyBag>();
    CLSID clsid = CLSID_QORScan;
    EXPECT_EQ(S_OK, spPersist->GetClassID(&clsid));
    EXPECT_TRUE(IsEqualGUID(GUID_ScanSource, clsid));
    EXPECT_EQ(E_POINTER, spPersist->GetClassID(nullptr));
    EXPECT_EQ(E_NOTIMPL, spPersist->InitNew());
}

TEST_F(ControlObject, GetWindowBeforeASiteIsNullAndSucceeds)
{
    auto spWindow = Query<IOleWindow>();
    HWND hWnd = reinterpret_cast<HWND>(1);
    EXPECT_EQ(S_OK, spWindow->GetWindow(&hWnd));
    EXPECT_EQ(nullptr, hWnd);
    EXPECT_EQ(E_INVALIDARG, spWindow->GetWindow(nullptr));
    EXPECT_EQ(E_NOTIMPL, spWindow->ContextSensitiveHelp(TRUE));
}

TEST_F(ControlObject, ReadWithoutABagIsNoInterface)
{
    ATL::CComVariant var;
    EXPECT_EQ(E_NOINTERFACE, Query<IPropertyBag>()->Read(QORSCAN_KEY_SCAN_SIZE, &var, nullptr));
}

TEST_F(ControlObject, NotifyFromAnotherSourceIsIgnored)
{
    GUID guidOther = GUID_ScanSource;
    guidOther.Data1 = 7;
    ATL::CComBSTR bstrBusy(QORSCAN_KEY_SCAN_BUSY);
    EXPECT_EQ(S_OK, Query<IQORNotify>()->Notify(guidOther, bstrBusy, nullptr));
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

TEST_F(ControlSite, ASiteNamingNoWindowFailsAndGetSiteWithoutASiteFails)
{
    auto spSiteObj = Query<IObjectWithSite>();
    void* pv = nullptr;
    EXPECT_EQ(E_FAIL, spSiteObj->GetSite(IID_IUnknown, &pv));
    EXPECT_EQ(E_POINTER, spSiteObj->GetSite(IID_IUnknown, nullptr));

    CTestSite* pSite = CTestSite::Create(reinterpret_cast<HWND>(0x1234), false);
    EXPECT_EQ(E_FAIL, spSiteObj->SetSite(static_cast<IOleWindow*>(pSite)));
    HWND hWnd = reinterpret_cast<HWND>(1);
    Query<IOleWindow>()->GetWindow(&hWnd);
    EXPECT_EQ(nullptr, hWnd);
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

TEST_F(AttachedControl, CreateIsTheControlsOwnAndLeavesTheExtendedStyle)
{
    const LONG lExStyle = ::GetWindowLongW(m_hWndChild, GWL_EXSTYLE);
    CREATESTRUCTW cs{};
    cs.dwExStyle = WS_EX_LAYOUTRTL;
    EXPECT_EQ(0, ::SendMessageW(m_hWndChild, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)));
    EXPECT_EQ(lExStyle, ::GetWindowLongW(m_hWndChild, GWL_EXSTYLE));
}

TEST_F(AttachedControl, ThumbDragsScrollTheViewToTheThumbsPosition)
{
    for (int nBar : {SB_HORZ, SB_VERT}) {
        SCROLLINFO si = {sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE, 0, 500, 100, 0, 0};
        ::SetScrollInfo(m_hWndChild, nBar, &si, TRUE);
    }
    ::SendMessageW(m_hWndChild, WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, 37), 0);
    EXPECT_EQ(37, m_pControl->m_nOffsetX);
    ::SendMessageW(m_hWndChild, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 120), 0);
    EXPECT_EQ(120, m_pControl->m_nOffsetY);
    EXPECT_EQ(37, m_pControl->m_nOffsetX);
    // Other codes scroll as the view does, from the bar's own position.
    ::SendMessageW(m_hWndChild, WM_HSCROLL, MAKEWPARAM(SB_LINEDOWN, 300), 0);
    EXPECT_EQ(38, m_pControl->m_nOffsetX);
}

}  // namespace
