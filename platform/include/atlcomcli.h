// Client-side COM helpers: interface smart pointers and the BSTR and VARIANT wrappers.
// Included by atlbase.h.
#pragma once

#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>

#include "objbase.h"
#include "oleauto.h"
#include "unknwn.h"

namespace ATL {

// --- CComPtr: one reference on an interface, released when the pointer goes.

template <class T>
class CComPtr {
public:
    typedef T _PtrClass;

    CComPtr() noexcept : p(nullptr) {}
    CComPtr(std::nullptr_t) noexcept : p(nullptr) {}
    CComPtr(T* lp) noexcept : p(lp)
    {
        if (p != nullptr)
            p->AddRef();
    }
    CComPtr(const CComPtr& lp) noexcept : CComPtr(lp.p) {}
    CComPtr(CComPtr&& lp) noexcept : p(lp.p) { lp.p = nullptr; }
    ~CComPtr()
    {
        if (p != nullptr)
            p->Release();
    }

    T* operator=(T* lp) noexcept
    {
        if (p != lp)
            CComPtr(lp).Swap(*this);
        return p;
    }
    T* operator=(const CComPtr& lp) noexcept { return *this = lp.p; }
    T* operator=(CComPtr&& lp) noexcept
    {
        if (this != std::addressof(lp))
            CComPtr(std::move(lp)).Swap(*this);
        return p;
    }

    operator T*() const noexcept { return p; }
    T& operator*() const
    {
        ATLASSERT(p != nullptr);
        return *p;
    }
    // Taking the address is how an out-parameter is filled; the pointer must be empty then,
    // or the reference it holds would leak.
    T** operator&() noexcept
    {
        ATLASSERT(p == nullptr);
        return &p;
    }
    T* operator->() const noexcept
    {
        ATLASSERT(p != nullptr);
        return p;
    }
    bool operator!() const noexcept { return p == nullptr; }
    bool operator==(T* pT) const noexcept { return p == pT; }
    // Two smart pointers: without this one, C++20's reversed candidates of the raw-pointer
    // comparison make spA == spB ambiguous.
    bool operator==(const CComPtr& other) const noexcept { return p == other.p; }
    bool operator==(std::nullptr_t) const noexcept { return p == nullptr; }

    void Release() noexcept
    {
        T* pTemp = p;
        if (pTemp != nullptr) {
            p = nullptr;
            pTemp->Release();
        }
    }
    // Takes over a reference the caller owns.
    void Attach(T* p2) noexcept
    {
        T* pOld = p;
        p = p2;
        if (pOld != nullptr && pOld != p2)
            pOld->Release();
    }
    T* Detach() noexcept
    {
        T* pt = p;
        p = nullptr;
        return pt;
    }
    HRESULT CopyTo(T** ppT) const noexcept
    {
        if (ppT == nullptr)
            return E_POINTER;
        *ppT = p;
        if (p != nullptr)
            p->AddRef();
        return S_OK;
    }
    template <class Q>
    HRESULT QueryInterface(Q** pp) const noexcept
    {
        if (pp == nullptr)
            return E_POINTER;
        if (p == nullptr) {
            *pp = nullptr;
            return E_POINTER;
        }
        return p->QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
    }
    // Two pointers name the same object when their IUnknowns are equal.
    bool IsEqualObject(IUnknown* pOther) const noexcept
    {
        if (p == nullptr && pOther == nullptr)
            return true;
        if (p == nullptr || pOther == nullptr)
            return false;
        CComPtr<IUnknown> punk1;
        CComPtr<IUnknown> punk2;
        p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&punk1));
        pOther->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&punk2));
        return punk1 != nullptr && punk1 == punk2;
    }
    void Swap(CComPtr& other) noexcept { std::swap(p, other.p); }
    HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter = nullptr, DWORD dwClsContext = CLSCTX_ALL) noexcept
    {
        ATLASSERT(p == nullptr);
        return ::CoCreateInstance(rclsid, pUnkOuter, dwClsContext, __uuidof(T), reinterpret_cast<void**>(&p));
    }

    T* p;
};

// --- CComQIPtr: a CComPtr that queries for its interface when given another one.

template <class T, const IID* piid = &__uuidof(T)>
class CComQIPtr : public CComPtr<T> {
public:
    CComQIPtr() noexcept {}
    CComQIPtr(std::nullptr_t) noexcept {}
    CComQIPtr(T* lp) noexcept : CComPtr<T>(lp) {}
    CComQIPtr(const CComQIPtr& lp) noexcept : CComPtr<T>(lp.p) {}
    CComQIPtr(IUnknown* lp) noexcept
    {
        if (lp != nullptr)
            lp->QueryInterface(*piid, reinterpret_cast<void**>(&this->p));
    }

    T* operator=(T* lp) noexcept { return CComPtr<T>::operator=(lp); }
    T* operator=(const CComQIPtr& lp) noexcept { return CComPtr<T>::operator=(lp.p); }
    T* operator=(IUnknown* lp) noexcept
    {
        CComQIPtr tmp(lp);
        this->Swap(tmp);
        return this->p;
    }
};

// For IUnknown itself the two constructors would coincide; querying keeps the identity rule.
template <>
class CComQIPtr<IUnknown, &IID_IUnknown> : public CComPtr<IUnknown> {
public:
    CComQIPtr() noexcept {}
    CComQIPtr(std::nullptr_t) noexcept {}
    CComQIPtr(IUnknown* lp) noexcept
    {
        if (lp != nullptr)
            lp->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&p));
    }
    CComQIPtr(const CComQIPtr& lp) noexcept : CComPtr<IUnknown>(lp.p) {}
    IUnknown* operator=(IUnknown* lp) noexcept
    {
        CComQIPtr tmp(lp);
        Swap(tmp);
        return p;
    }
    IUnknown* operator=(const CComQIPtr& lp) noexcept { return CComPtr<IUnknown>::operator=(lp.p); }
};

// --- CComBSTR: owns one BSTR. A null BSTR is the empty string. Allocation failures leave
// the string null and make the HRESULT-returning members report E_OUTOFMEMORY.

class CComBSTR {
public:
    CComBSTR() noexcept : m_str(nullptr) {}
    CComBSTR(LPCOLESTR pSrc) noexcept : m_str(pSrc == nullptr ? nullptr : ::SysAllocString(pSrc)) {}
    CComBSTR(int nSize, LPCOLESTR sz) noexcept
        : m_str(nSize > 0 ? ::SysAllocStringLen(sz, static_cast<UINT>(nSize)) : nullptr)
    {
    }
    explicit CComBSTR(REFGUID guid) noexcept : m_str(nullptr)
    {
        OLECHAR szGUID[64];
        if (::StringFromGUID2(guid, szGUID, 64) > 0)
            m_str = ::SysAllocString(szGUID);
    }
    CComBSTR(const CComBSTR& src) noexcept : m_str(src.Copy()) {}
    CComBSTR(CComBSTR&& src) noexcept : m_str(src.m_str) { src.m_str = nullptr; }
    ~CComBSTR() { ::SysFreeString(m_str); }

    CComBSTR& operator=(const CComBSTR& src) noexcept
    {
        if (m_str != src.m_str)
            Attach(src.Copy());
        return *this;
    }
    CComBSTR& operator=(CComBSTR&& src) noexcept
    {
        if (this != std::addressof(src))
            Attach(src.Detach());
        return *this;
    }
    CComBSTR& operator=(LPCOLESTR pSrc) noexcept
    {
        if (pSrc != m_str)
            Attach(pSrc == nullptr ? nullptr : ::SysAllocString(pSrc));
        return *this;
    }

    unsigned int Length() const noexcept { return ::SysStringLen(m_str); }
    unsigned int ByteLength() const noexcept { return ::SysStringByteLen(m_str); }
    operator BSTR() const noexcept { return m_str; }
    // Taking the address is how an out-parameter is filled; the string must be empty then.
    BSTR* operator&() noexcept
    {
        ATLASSERT(m_str == nullptr);
        return &m_str;
    }
    bool operator!() const noexcept { return m_str == nullptr; }

    // A new BSTR with the same contents (embedded NULs included); null for a null string.
    BSTR Copy() const noexcept
    {
        if (m_str == nullptr)
            return nullptr;
        return ::SysAllocStringByteLen(reinterpret_cast<LPCSTR>(m_str), ::SysStringByteLen(m_str));
    }
    HRESULT CopyTo(BSTR* pbstr) const noexcept
    {
        if (pbstr == nullptr)
            return E_POINTER;
        *pbstr = Copy();
        return (*pbstr == nullptr && m_str != nullptr) ? E_OUTOFMEMORY : S_OK;
    }
    HRESULT CopyTo(VARIANT* pvarDest) const noexcept
    {
        if (pvarDest == nullptr)
            return E_POINTER;
        BSTR copy = Copy();
        if (copy == nullptr && m_str != nullptr)
            return E_OUTOFMEMORY;
        pvarDest->vt = VT_BSTR;
        pvarDest->bstrVal = copy;
        return S_OK;
    }
    void Attach(BSTR src) noexcept
    {
        if (m_str != src) {
            ::SysFreeString(m_str);
            m_str = src;
        }
    }
    BSTR Detach() noexcept
    {
        BSTR s = m_str;
        m_str = nullptr;
        return s;
    }
    void Empty() noexcept
    {
        ::SysFreeString(m_str);
        m_str = nullptr;
    }
    HRESULT AssignBSTR(const BSTR bstrSrc) noexcept
    {
        if (bstrSrc == m_str)
            return S_OK;
        BSTR copy = nullptr;
        if (bstrSrc != nullptr) {
            copy = ::SysAllocStringByteLen(reinterpret_cast<LPCSTR>(bstrSrc), ::SysStringByteLen(bstrSrc));
            if (copy == nullptr)
                return E_OUTOFMEMORY;
        }
        Attach(copy);
        return S_OK;
    }

    HRESULT Append(LPCOLESTR lpsz, int nLen) noexcept
    {
        if (lpsz == nullptr || nLen <= 0)
            return nLen < 0 ? E_INVALIDARG : S_OK;
        const UINT n1 = Length();
        const UINT n2 = static_cast<UINT>(nLen);
        if (n2 > 0x7FFFFFFFu / sizeof(OLECHAR) - n1)
            return E_OUTOFMEMORY;
        // Built into a new string first: lpsz may point into m_str.
        BSTR joined = ::SysAllocStringLen(nullptr, n1 + n2);
        if (joined == nullptr)
            return E_OUTOFMEMORY;
        if (n1 > 0)
            std::memcpy(joined, m_str, n1 * sizeof(OLECHAR));
        std::memcpy(joined + n1, lpsz, n2 * sizeof(OLECHAR));
        joined[n1 + n2] = 0;
        Attach(joined);
        return S_OK;
    }
    HRESULT Append(LPCOLESTR lpsz) noexcept { return Append(lpsz, ::lstrlenW(lpsz)); }
    HRESULT Append(const CComBSTR& bstrSrc) noexcept
    {
        return Append(bstrSrc.m_str, static_cast<int>(bstrSrc.Length()));
    }
    HRESULT AppendBSTR(BSTR p) noexcept { return Append(p, static_cast<int>(::SysStringLen(p))); }
    HRESULT Append(OLECHAR ch) noexcept { return Append(&ch, 1); }
    CComBSTR& operator+=(const CComBSTR& bstrSrc) noexcept
    {
        Append(bstrSrc);
        return *this;
    }
    CComBSTR& operator+=(LPCOLESTR pszSrc) noexcept
    {
        Append(pszSrc);
        return *this;
    }

    // Ordinal comparison over the whole length; a null string equals the empty string.
    int Compare(LPCOLESTR psz, unsigned int nLen) const noexcept
    {
        const unsigned int nMine = Length();
        const unsigned int n = nMine < nLen ? nMine : nLen;
        for (unsigned int i = 0; i < n; ++i) {
            if (m_str[i] != psz[i])
                return m_str[i] < psz[i] ? -1 : 1;
        }
        return nMine == nLen ? 0 : (nMine < nLen ? -1 : 1);
    }
    bool operator==(const CComBSTR& bstrSrc) const noexcept { return Compare(bstrSrc.m_str, bstrSrc.Length()) == 0; }
    bool operator==(LPCOLESTR pszSrc) const noexcept
    {
        return Compare(pszSrc, static_cast<unsigned int>(::lstrlenW(pszSrc))) == 0;
    }
    bool operator==(std::nullptr_t) const noexcept { return m_str == nullptr; }
    bool operator<(const CComBSTR& bstrSrc) const noexcept { return Compare(bstrSrc.m_str, bstrSrc.Length()) < 0; }

    BSTR m_str;
};

// --- CComVariant: a VARIANT that clears itself. A constructor that cannot store its value
// leaves VT_ERROR with the reason in scode, as ATL does.

class CComVariant : public tagVARIANT {
public:
    CComVariant() noexcept { ::VariantInit(this); }
    ~CComVariant() { ::VariantClear(this); }

    CComVariant(const VARIANT& varSrc) noexcept
    {
        ::VariantInit(this);
        InternalCopy(&varSrc);
    }
    CComVariant(const CComVariant& varSrc) noexcept : CComVariant(static_cast<const VARIANT&>(varSrc)) {}
    CComVariant(CComVariant&& varSrc) noexcept
    {
        std::memcpy(static_cast<VARIANT*>(this), static_cast<VARIANT*>(&varSrc), sizeof(VARIANT));
        varSrc.vt = VT_EMPTY;
    }
    CComVariant(LPCOLESTR lpszSrc) noexcept
    {
        ::VariantInit(this);
        SetString(lpszSrc);
    }
    CComVariant(const CComBSTR& bstrSrc) noexcept
    {
        ::VariantInit(this);
        vt = VT_BSTR;
        bstrVal = bstrSrc.Copy();
        if (bstrVal == nullptr && bstrSrc.m_str != nullptr)
            SetError(E_OUTOFMEMORY);
    }
    CComVariant(bool bSrc) noexcept
    {
        ::VariantInit(this);
        vt = VT_BOOL;
        boolVal = bSrc ? VARIANT_TRUE : VARIANT_FALSE;
    }
    CComVariant(int nSrc, VARTYPE vtSrc = VT_I4) noexcept
    {
        ::VariantInit(this);
        if (vtSrc == VT_I4 || vtSrc == VT_INT) {
            vt = vtSrc;
            intVal = nSrc;
        } else {
            SetError(E_INVALIDARG);
        }
    }
    CComVariant(unsigned int nSrc, VARTYPE vtSrc = VT_UI4) noexcept
    {
        ::VariantInit(this);
        if (vtSrc == VT_UI4 || vtSrc == VT_UINT) {
            vt = vtSrc;
            uintVal = nSrc;
        } else {
            SetError(E_INVALIDARG);
        }
    }
#ifdef _WIN32
    // LONG and ULONG are long there, a type of their own.
    CComVariant(long nSrc, VARTYPE vtSrc = VT_I4) noexcept : CComVariant(static_cast<int>(nSrc), vtSrc) {}
    CComVariant(unsigned long nSrc, VARTYPE vtSrc = VT_UI4) noexcept
        : CComVariant(static_cast<unsigned int>(nSrc), vtSrc)
    {
    }
#endif
    CComVariant(BYTE nSrc) noexcept
    {
        ::VariantInit(this);
        vt = VT_UI1;
        bVal = nSrc;
    }
    CComVariant(char cSrc) noexcept
    {
        ::VariantInit(this);
        vt = VT_I1;
        cVal = cSrc;
    }
    CComVariant(short nSrc, VARTYPE vtSrc = VT_I2) noexcept
    {
        ::VariantInit(this);
        if (vtSrc == VT_I2 || vtSrc == VT_BOOL) {
            vt = vtSrc;
            iVal = nSrc;
        } else {
            SetError(E_INVALIDARG);
        }
    }
    CComVariant(unsigned short nSrc) noexcept
    {
        ::VariantInit(this);
        vt = VT_UI2;
        uiVal = nSrc;
    }
    CComVariant(LONGLONG nSrc) noexcept
    {
        ::VariantInit(this);
        vt = VT_I8;
        llVal = nSrc;
    }
    CComVariant(ULONGLONG nSrc) noexcept
    {
        ::VariantInit(this);
        vt = VT_UI8;
        ullVal = nSrc;
    }
    CComVariant(float fltSrc) noexcept
    {
        ::VariantInit(this);
        vt = VT_R4;
        fltVal = fltSrc;
    }
    CComVariant(double dblSrc, VARTYPE vtSrc = VT_R8) noexcept
    {
        ::VariantInit(this);
        if (vtSrc == VT_R8 || vtSrc == VT_DATE) {
            vt = vtSrc;
            dblVal = dblSrc;
        } else {
            SetError(E_INVALIDARG);
        }
    }
    CComVariant(IUnknown* pSrc) noexcept
    {
        ::VariantInit(this);
        vt = VT_UNKNOWN;
        punkVal = pSrc;
        if (punkVal != nullptr)
            punkVal->AddRef();
    }
    CComVariant(IDispatch* pSrc) noexcept
    {
        ::VariantInit(this);
        vt = VT_DISPATCH;
        pdispVal = pSrc;
        if (pdispVal != nullptr)
            pdispVal->AddRef();
    }

    // Every assignment builds the new value first, so a failure leaves VT_ERROR, never a
    // half-released value.
    CComVariant& operator=(const CComVariant& varSrc) noexcept
    {
        if (this != &varSrc)
            InternalCopy(&varSrc);
        return *this;
    }
    CComVariant& operator=(CComVariant&& varSrc) noexcept
    {
        if (this != &varSrc) {
            ::VariantClear(this);
            std::memcpy(static_cast<VARIANT*>(this), static_cast<VARIANT*>(&varSrc), sizeof(VARIANT));
            varSrc.vt = VT_EMPTY;
        }
        return *this;
    }
    CComVariant& operator=(const VARIANT& varSrc) noexcept
    {
        if (static_cast<const VARIANT*>(this) != &varSrc)
            InternalCopy(&varSrc);
        return *this;
    }
    template <class T>
        requires std::is_constructible_v<CComVariant, const T&> && (!std::is_base_of_v<VARIANT, T>)
    CComVariant& operator=(const T& value) noexcept
    {
        return *this = CComVariant(value);
    }

    bool operator==(const VARIANT& varSrc) const noexcept;
    // As for CComPtr: two CComVariants would otherwise be ambiguous under C++20's reversed
    // candidates.
    bool operator==(const CComVariant& varSrc) const noexcept { return operator==(static_cast<const VARIANT&>(varSrc)); }
    bool operator!=(const VARIANT& varSrc) const noexcept { return !operator==(varSrc); }

    HRESULT Clear() noexcept { return ::VariantClear(this); }
    HRESULT Copy(const VARIANT* pSrc) noexcept { return ::VariantCopy(this, pSrc); }
    HRESULT CopyTo(BSTR* pstrDest) const noexcept
    {
        if (pstrDest == nullptr)
            return E_POINTER;
        *pstrDest = nullptr;
        if (vt != VT_BSTR)
            return DISP_E_TYPEMISMATCH;
        *pstrDest = ::SysAllocStringByteLen(reinterpret_cast<LPCSTR>(bstrVal), ::SysStringByteLen(bstrVal));
        return (*pstrDest == nullptr && bstrVal != nullptr) ? E_OUTOFMEMORY : S_OK;
    }
    // Takes over the caller's VARIANT, which is left empty.
    HRESULT Attach(VARIANT* pSrc) noexcept
    {
        if (pSrc == nullptr)
            return E_INVALIDARG;
        if (pSrc == this)
            return S_OK;
        HRESULT hr = ::VariantClear(this);
        if (FAILED(hr))
            return hr;
        std::memcpy(static_cast<VARIANT*>(this), pSrc, sizeof(VARIANT));
        pSrc->vt = VT_EMPTY;
        return S_OK;
    }
    // Hands the value to the caller's VARIANT (cleared first); this one is left empty.
    HRESULT Detach(VARIANT* pDest) noexcept
    {
        if (pDest == nullptr)
            return E_POINTER;
        if (pDest == this)
            return S_OK;
        HRESULT hr = ::VariantClear(pDest);
        if (FAILED(hr))
            return hr;
        std::memcpy(pDest, static_cast<VARIANT*>(this), sizeof(VARIANT));
        vt = VT_EMPTY;
        return S_OK;
    }
    // Converts pSrc (this variant when null) to vtNew and stores the result here.
    HRESULT ChangeType(VARTYPE vtNew, const VARIANT* pSrc = nullptr) noexcept
    {
        return ::VariantChangeType(this, pSrc != nullptr ? pSrc : this, 0, vtNew);
    }

private:
    void SetError(HRESULT hr) noexcept
    {
        vt = VT_ERROR;
        scode = hr;
    }
    void SetString(LPCOLESTR lpszSrc) noexcept
    {
        vt = VT_BSTR;
        bstrVal = lpszSrc == nullptr ? nullptr : ::SysAllocString(lpszSrc);
        if (bstrVal == nullptr && lpszSrc != nullptr)
            SetError(E_OUTOFMEMORY);
    }
    void InternalCopy(const VARIANT* pSrc) noexcept
    {
        VARIANT copy;
        ::VariantInit(&copy);
        HRESULT hr = ::VariantCopy(&copy, pSrc);
        ::VariantClear(this);
        if (FAILED(hr)) {
            SetError(hr);
            return;
        }
        std::memcpy(static_cast<VARIANT*>(this), &copy, sizeof(VARIANT));
    }
};

// Equal when the types match and the values are equal; strings compare by their contents,
// interfaces by pointer.
inline bool CComVariant::operator==(const VARIANT& varSrc) const noexcept
{
    if (this == &varSrc)
        return true;
    if (vt != varSrc.vt)
        return false;
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
        return true;
    case VT_BOOL:
        return boolVal == varSrc.boolVal;
    case VT_I1:
        return cVal == varSrc.cVal;
    case VT_UI1:
        return bVal == varSrc.bVal;
    case VT_I2:
        return iVal == varSrc.iVal;
    case VT_UI2:
        return uiVal == varSrc.uiVal;
    case VT_I4:
    case VT_INT:
        return lVal == varSrc.lVal;
    case VT_UI4:
    case VT_UINT:
        return ulVal == varSrc.ulVal;
    case VT_ERROR:
        return scode == varSrc.scode;
    case VT_I8:
        return llVal == varSrc.llVal;
    case VT_UI8:
        return ullVal == varSrc.ullVal;
    case VT_R4:
        return fltVal == varSrc.fltVal;
    case VT_R8:
    case VT_DATE:
        return dblVal == varSrc.dblVal;
    case VT_BSTR: {
        const UINT n = ::SysStringLen(bstrVal);
        return n == ::SysStringLen(varSrc.bstrVal) &&
               (n == 0 || std::memcmp(bstrVal, varSrc.bstrVal, n * sizeof(OLECHAR)) == 0);
    }
    case VT_UNKNOWN:
    case VT_DISPATCH:
        return punkVal == varSrc.punkVal;
    default:
        return false;
    }
}

}  // namespace ATL
