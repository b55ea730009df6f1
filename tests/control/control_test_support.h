// The control as a host sees it: a host frame with a child window, sites that name that
// window, and sinks that record what the control sends them.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <HostPropertyBag.h>

#include "QORScan.h"
#include "ui_test_support.h"

namespace controltest {

// The host's own procedure of the child window, behind the control.
inline LRESULT CALLBACK HostChildProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

inline std::string Narrow(LPCOLESTR psz)
{
    std::string text;
    for (; psz != nullptr && *psz != 0; ++psz)
        text += static_cast<char>(*psz);
    return text;
}

// A COM object of the test, its IUnknown written out so that a test chooses what it answers.
class CTestSite : public IOleWindow, public IQORNotify {
public:
    // A site naming hWnd; GetWindow fails with hrGetWindow when that is a failure.
    static CTestSite* Create(HWND hWnd, bool bAnswersNotify, HRESULT hrGetWindow = S_OK)
    {
        CTestSite* pSite = new CTestSite;
        pSite->m_hWnd = hWnd;
        pSite->m_bAnswersNotify = bAnswersNotify;
        pSite->m_hrGetWindow = hrGetWindow;
        return pSite;
    }

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IOleWindow))
            *ppv = static_cast<IOleWindow*>(this);
        else if (m_bAnswersNotify && IsEqualGUID(riid, IID_IQORNotify))
            *ppv = static_cast<IQORNotify*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++m_cRef; }
    STDMETHOD_(ULONG, Release)() override
    {
        const ULONG cRef = --m_cRef;
        if (cRef == 0)
            delete this;
        return cRef;
    }

    STDMETHOD(GetWindow)(HWND* phwnd) override
    {
        *phwnd = SUCCEEDED(m_hrGetWindow) ? m_hWnd : nullptr;
        return m_hrGetWindow;
    }
    STDMETHOD(ContextSensitiveHelp)(BOOL) override { return E_NOTIMPL; }

    // Records "name = <vt>" or "name = null"; onNotify runs after recording.
    STDMETHOD(Notify)(GUID guidSource, BSTR bstrName, VARIANT* pVar) override
    {
        std::string text = Narrow(bstrName) + (pVar == nullptr ? " = null" : " = vt " + std::to_string(pVar->vt));
        if (!IsEqualGUID(guidSource, GUID_ScanSource))
            text += " (foreign)";
        notifies.push_back(text);
        if (onNotify)
            onNotify();
        return S_OK;
    }
    STDMETHOD(NotifyWindow)(HWND, LONG, LONG) override { return S_OK; }

    ULONG RefCount() const { return m_cRef; }

    std::vector<std::string> notifies;
    std::function<void()> onNotify;

private:
    CTestSite() = default;
    virtual ~CTestSite() = default;

    ULONG m_cRef = 1;
    HWND m_hWnd = nullptr;
    bool m_bAnswersNotify = false;
    HRESULT m_hrGetWindow = S_OK;
};

// A sink that answers only IQORNotify; a window-less CTestSite.
inline CTestSite* CreateSink()
{
    return CTestSite::Create(nullptr, true);
}

// A host frame with a 400 x 300 child window at (10, 10), and a new control (one reference).
class ControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static const ATOM atom = [] {
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof(wc);
            wc.lpfnWndProc = HostChildProc;
            wc.lpszClassName = u"QorControlHostChild";
            return ::RegisterClassExW(&wc);
        }();
        ASSERT_NE(0, atom);
        m_hWndChild = ::CreateWindowExW(0, u"QorControlHostChild", u"", WS_CHILD | WS_VISIBLE, 10, 10, 400, 300,
                                        m_frame, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_hWndChild);
        ATL::CComObject<CQORScan>* pControl = nullptr;
        ASSERT_EQ(S_OK, ATL::CComObject<CQORScan>::CreateInstance(&pControl));
        pControl->AddRef();
        m_pControl = pControl;
    }
    void TearDown() override
    {
        if (m_pControl != nullptr)
            m_pControl->Release();
        ::DestroyWindow(m_hWndChild);
        uitest::Pump();
    }

    // The control's interfaces, as a host reaches them.
    template <class I>
    ATL::CComPtr<I> Query()
    {
        ATL::CComPtr<I> sp;
        EXPECT_EQ(S_OK, m_pControl->QueryInterface(__uuidof(I), reinterpret_cast<void**>(&sp)));
        return sp;
    }

    WNDPROC ChildProc() const { return reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(m_hWndChild, GWLP_WNDPROC)); }

    uitest::TestWindow m_frame{800, 600};
    HWND m_hWndChild = nullptr;
    ATL::CComObject<CQORScan>* m_pControl = nullptr;
};

// The control attached to the host's window, with a recording host bag at hand.
class HostBagTest : public ControlTest {
protected:
    void SetUp() override
    {
        ControlTest::SetUp();
        m_pSite = CTestSite::Create(m_hWndChild, false);
        ASSERT_EQ(S_OK, Query<IObjectWithSite>()->SetSite(static_cast<IOleWindow*>(m_pSite)));
        ASSERT_EQ(S_OK, CHostPropertyBag::CreateInstance(&m_pBag));
        uitest::Pump();
    }
    void TearDown() override
    {
        Query<IObjectWithSite>()->SetSite(nullptr);
        m_pSite->Release();
        m_pBag->ReleaseAllSinks();  // a bound control advised itself there
        ControlTest::TearDown();
        m_pBag->Release();
    }
    // Binds the bag as Load leaves it (without reading anything from it).
    void Bind()
    {
        m_pBag->AddRef();
        m_pControl->m_spPropertyBag = static_cast<IPropertyBag*>(m_pBag);
    }
    // The number of WM_SIZE messages posted to the window, taken off the queue.
    int TakePostedSizes()
    {
        int nCount = 0;
        MSG msg;
        while (::PeekMessageW(&msg, m_hWndChild, WM_SIZE, WM_SIZE, PM_REMOVE))
            nCount += msg.wParam == 0 && msg.lParam == 0 ? 1 : 100;
        return nCount;
    }

    CTestSite* m_pSite = nullptr;
    CHostPropertyBag* m_pBag = nullptr;
};

// A frame array as a host may build it by hand: a VT_UI4 vector whose descriptor was then
// told that each element is cbElement bytes wide, with the data to match; every element
// starts with its pair.
inline SAFEARRAY* HandMadePairArray(const std::vector<DWORD>& pairs, ULONG cbElement)
{
    const ULONG cWords = cbElement / sizeof(DWORD);
    SAFEARRAY* psa = ::SafeArrayCreateVector(VT_UI4, 0, static_cast<ULONG>(pairs.size()) * cWords);
    if (psa == nullptr)
        return nullptr;
    for (size_t i = 0; i < pairs.size(); ++i)
        static_cast<DWORD*>(psa->pvData)[i * cWords] = pairs[i];
    psa->cbElements = cbElement;
    psa->rgsabound[0].cElements = static_cast<ULONG>(pairs.size());
    return psa;
}

// A host bag written in C style that builds its frame arrays afresh for every Read, as
// HandMadePairArray does, and passes everything else on to a recording bag.
class CHandMadeArrayBag : public IPropertyBag {
public:
    CHandMadeArrayBag(CHostPropertyBag* pBag, std::vector<DWORD> positions, std::vector<DWORD> sizes, ULONG cbElement)
        : m_pBag(pBag), m_positions(std::move(positions)), m_sizes(std::move(sizes)), m_cbElement(cbElement)
    {
    }

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IPropertyBag))
            return E_NOINTERFACE;
        *ppv = static_cast<IPropertyBag*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++m_cRef; }
    STDMETHOD_(ULONG, Release)() override { return --m_cRef; }  // lives on the test's stack

    STDMETHOD(Read)(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) override
    {
        const bool bPositions = lstrcmpW(pszPropName, QORSCAN_KEY_SCAN_MULTIPOS_ARRAY) == 0;
        if (!bPositions && lstrcmpW(pszPropName, QORSCAN_KEY_SCAN_MULTICROP_ARRAY) != 0)
            return m_pBag->Read(pszPropName, pVar, pErrorLog);
        ::VariantClear(pVar);
        pVar->parray = HandMadePairArray(bPositions ? m_positions : m_sizes, m_cbElement);
        pVar->vt = VT_ARRAY | VT_UI4;
        return S_OK;
    }
    STDMETHOD(Write)(LPCOLESTR pszPropName, VARIANT* pVar) override { return m_pBag->Write(pszPropName, pVar); }

private:
    CHostPropertyBag* m_pBag;
    std::vector<DWORD> m_positions;
    std::vector<DWORD> m_sizes;
    ULONG m_cbElement;
    ULONG m_cRef = 0;
};

}  // namespace controltest
