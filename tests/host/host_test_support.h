// Shared pieces of the host bag tests: a C++ sink with a hook, and small value builders.
#pragma once

#include <HostPropertyBag.h>
#include <HostJob.h>
#include <oleauto.h>

#include <functional>

// An IQORNotify sink that counts its live instances and runs a hook on Notify, so a test can
// make it call back into the bag from inside the call.
class ATL_NO_VTABLE CTestSink : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>, public IQORNotify {
public:
    BEGIN_COM_MAP(CTestSink)
        COM_INTERFACE_ENTRY(IQORNotify)
    END_COM_MAP()

    static inline int s_nLive = 0;

    static ATL::CComPtr<CTestSink> Create()
    {
        ATL::CComObject<CTestSink>* p = nullptr;
        ATL::CComObject<CTestSink>::CreateInstance(&p);
        return ATL::CComPtr<CTestSink>(p);
    }

    STDMETHOD(Notify)(GUID guidSource, BSTR bstrName, VARIANT* pVar) override
    {
        m_vecNames.emplace_back(bstrName);
        m_vecSources.push_back(guidSource);
        m_vecNull.push_back(pVar == nullptr);
        if (m_fnOnNotify)
            m_fnOnNotify(bstrName, pVar);
        return S_OK;
    }
    STDMETHOD(NotifyWindow)(HWND, LONG, LONG) override { return S_OK; }

    std::function<void(BSTR bstrName, VARIANT* pVar)> m_fnOnNotify;
    std::function<void()> m_fnOnDestroy;
    std::vector<ATL::CComBSTR> m_vecNames;
    std::vector<GUID> m_vecSources;
    std::vector<bool> m_vecNull;

protected:
    CTestSink() { ++s_nLive; }
    ~CTestSink()
    {
        --s_nLive;
        if (m_fnOnDestroy)
            m_fnOnDestroy();
    }
};

inline ATL::CComPtr<CHostPropertyBag> MakeBag()
{
    ATL::CComPtr<CHostPropertyBag> spBag;
    CHostPropertyBag::CreateInstance(&spBag);
    return spBag;
}

inline ATL::CComVariant PairValue(DWORD a, DWORD b)
{
    return ATL::CComVariant(QorScanMakePair(a, b));
}

inline ATL::CComVariant FrameArrayValue(const std::vector<DWORD>& vecPairs)
{
    ATL::CComVariant var;
    HostMakeFrameArray(vecPairs, &var);
    return var;
}
