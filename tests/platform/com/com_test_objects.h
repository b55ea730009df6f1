// Small COM objects whose reference counts the tests can read, and VARIANT builders.
#pragma once

#include <objbase.h>
#include <oleauto.h>

namespace comtest {

inline VARIANT Of(VARTYPE vt)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}
inline VARIANT I4(LONG value)
{
    VARIANT v = Of(VT_I4);
    v.lVal = value;
    return v;
}
inline VARIANT UI4(ULONG value)
{
    VARIANT v = Of(VT_UI4);
    v.ulVal = value;
    return v;
}
inline VARIANT R8(double value)
{
    VARIANT v = Of(VT_R8);
    v.dblVal = value;
    return v;
}
// Owns a new BSTR: clear it.
inline VARIANT Text(const char16_t* text)
{
    VARIANT v = Of(VT_BSTR);
    v.bstrVal = SysAllocString(text);
    return v;
}

// Answers IUnknown and IDispatch; deletes itself at zero only when heap-owned, so that
// tests can keep one on the stack and read its count after the last Release.
class CountedObject final : public IDispatch {
public:
    explicit CountedObject(bool heap = false) : m_heap(heap) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG refs = --m_refs;
        if (refs == 0 && m_heap)
            delete this;
        return refs;
    }
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override
    {
        *pctinfo = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return DISP_E_MEMBERNOTFOUND;
    }

    ULONG Refs() const { return m_refs; }

private:
    ULONG m_refs = 1;
    bool m_heap;
};

// An object that answers IUnknown only.
class PlainUnknown final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override { return --m_refs; }
    ULONG Refs() const { return m_refs; }

private:
    ULONG m_refs = 1;
};

// Makes heap CountedObjects; refuses aggregation. Lives on the test's stack.
class CountedFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override { return --m_refs; }
    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (pUnkOuter)
            return CLASS_E_NOAGGREGATION;
        auto* object = new CountedObject(true);
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        ++m_created;
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

    ULONG Refs() const { return m_refs; }
    int Created() const { return m_created; }

private:
    ULONG m_refs = 1;
    int m_created = 0;
};

}  // namespace comtest
