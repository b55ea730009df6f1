// Interfaces and COM classes shared by the ATL tests. Each class counts its constructions
// and FinalRelease calls so that tests can see when an object really goes away.
#pragma once

#include <atlbase.h>
#include <atlcom.h>

struct IAtlTestFoo : IUnknown {
    STDMETHOD_(int, Foo)() = 0;
};
QOR_DEFINE_IID(IAtlTestFoo, 0x5a1e0001, 0x0000, 0x4000, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01);

struct IAtlTestBar : IUnknown {
    STDMETHOD_(int, Bar)() = 0;
};
QOR_DEFINE_IID(IAtlTestBar, 0x5a1e0002, 0x0000, 0x4000, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02);

// Answered by no test class.
struct IAtlTestNone : IUnknown {};
QOR_DEFINE_IID(IAtlTestNone, 0x5a1e0003, 0x0000, 0x4000, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03);

// An IID that two table entries answer; the first entry in table order must win.
DEFINE_GUID(IID_IAtlTestAlias, 0x5a1e0004, 0x0000, 0x4000, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04);

DEFINE_GUID(CLSID_AtlTestObject, 0x5a1e0100, 0x0000, 0x4000, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00);
DEFINE_GUID(CLSID_AtlTestSolo, 0x5a1e0101, 0x0000, 0x4000, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x01);

struct AtlTestCounters {
    int nConstructed = 0;
    int nFinalReleased = 0;
};
inline AtlTestCounters g_atlTestCounters;

// A class with two interfaces, aggregatable (the default). Its table lists IAtlTestBar first,
// so IAtlTestBar is the object's identity.
class ATL_NO_VTABLE CAtlTestObject : public CComObjectRootEx<CComSingleThreadModel>,
                                     public CComCoClass<CAtlTestObject, &CLSID_AtlTestObject>,
                                     public IAtlTestFoo,
                                     public IAtlTestBar {
public:
    CAtlTestObject() { ++g_atlTestCounters.nConstructed; }

    BEGIN_COM_MAP(CAtlTestObject)
    COM_INTERFACE_ENTRY(IAtlTestBar)
    COM_INTERFACE_ENTRY(IAtlTestFoo)
    COM_INTERFACE_ENTRY_IID(IID_IAtlTestAlias, IAtlTestBar)
    COM_INTERFACE_ENTRY_IID(IID_IAtlTestAlias, IAtlTestFoo)
    END_COM_MAP()

    HRESULT FinalConstruct()
    {
        if (s_hrFinalConstruct != S_OK)
            return s_hrFinalConstruct;
        // Handing out and dropping a reference here must not destroy the object. (The table
        // is asked directly: an aggregate's QueryInterface would go to the outer object, which
        // does not know its inner object yet.)
        IAtlTestFoo* pFoo = nullptr;
        HRESULT hr = _InternalQueryInterface(IID_IAtlTestFoo, reinterpret_cast<void**>(&pFoo));
        if (SUCCEEDED(hr))
            pFoo->Release();
        return hr;
    }
    void FinalRelease() { ++g_atlTestCounters.nFinalReleased; }

    STDMETHODIMP_(int) Foo() override { return 1; }
    STDMETHODIMP_(int) Bar() override { return 2; }

    static inline HRESULT s_hrFinalConstruct = S_OK;
};

// A class that refuses aggregation.
class ATL_NO_VTABLE CAtlTestSolo : public CComObjectRootEx<CComSingleThreadModel>,
                                   public CComCoClass<CAtlTestSolo, &CLSID_AtlTestSolo>,
                                   public IAtlTestFoo {
public:
    DECLARE_NOT_AGGREGATABLE(CAtlTestSolo)

    BEGIN_COM_MAP(CAtlTestSolo)
    COM_INTERFACE_ENTRY(IAtlTestFoo)
    END_COM_MAP()

    STDMETHODIMP_(int) Foo() override { return 3; }
};

// A hand-written outer object that aggregates an inner object: unknown IIDs go to the inner
// object's non-delegating IUnknown.
class CAtlTestOuter : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (ppv == nullptr)
            return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        if (m_pInner == nullptr) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        return m_pInner->QueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++m_nRef); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--m_nRef); }

    LONG m_nRef = 1;
    IUnknown* m_pInner = nullptr;  // the inner object's own IUnknown, one reference
};
