// VARIANT: initialisation, clearing and copying.
#include "com_private.h"

#include <cstring>

namespace qor::com {

bool IsValidVariantType(VARTYPE vt)
{
    const VARTYPE base = vt & VT_TYPEMASK;
    const VARTYPE flags = vt & ~VT_TYPEMASK;
    if (flags & ~(VT_ARRAY | VT_BYREF))
        return false;
    switch (base) {
    case VT_EMPTY:
    case VT_NULL:
        return flags == 0;
    case VT_VARIANT:
        return flags != 0;
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
    case VT_DECIMAL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
        return true;
    default:
        return false;
    }
}

ULONG ValueSize(VARTYPE vt)
{
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
        return 8;
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH:
    case VT_INT_PTR:
    case VT_UINT_PTR:
        return sizeof(void*);
    case VT_DECIMAL:
        return sizeof(DECIMAL);
    case VT_VARIANT:
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

}  // namespace qor::com

namespace {

using qor::com::IsValidVariantType;

HRESULT CopyString(BSTR source, BSTR* target)
{
    *target = nullptr;
    if (!source)
        return S_OK;
    *target = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source), SysStringByteLen(source));
    return *target ? S_OK : E_OUTOFMEMORY;
}

// Makes `copy` own what it points at: `copy` holds the bits of a VARIANT without
// by-reference flag; strings and arrays are duplicated, interfaces AddRef'd.
HRESULT TakeOwnership(VARIANT* copy)
{
    if (copy->vt & VT_ARRAY) {
        SAFEARRAY* source = copy->parray;
        return SafeArrayCopy(source, &copy->parray);
    }
    switch (copy->vt) {
    case VT_BSTR:
        return CopyString(copy->bstrVal, &copy->bstrVal);
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (copy->punkVal)
            copy->punkVal->AddRef();
        return S_OK;
    default:
        return S_OK;
    }
}

// Puts `value` (owned) into `dest`, releasing what dest held; value is consumed either way.
HRESULT Replace(VARIANT* dest, VARIANT* value)
{
    const HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(value);
        return hr;
    }
    std::memcpy(dest, value, sizeof(VARIANT));
    return S_OK;
}

}  // namespace

void WINAPI VariantInit(VARIANTARG* pvarg)
{
    if (!pvarg)
        return;
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = 0;
    pvarg->wReserved2 = 0;
    pvarg->wReserved3 = 0;
}

// Values held by reference belong to someone else and are left alone.
HRESULT WINAPI VariantClear(VARIANTARG* pvarg)
{
    if (!pvarg)
        return E_INVALIDARG;
    if (!IsValidVariantType(pvarg->vt))
        return DISP_E_BADVARTYPE;
    if (!(pvarg->vt & VT_BYREF)) {
        if (pvarg->vt & VT_ARRAY) {
            const HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr))
                return hr;
        } else if (pvarg->vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if ((pvarg->vt == VT_UNKNOWN || pvarg->vt == VT_DISPATCH) && pvarg->punkVal) {
            pvarg->punkVal->Release();
        }
    }
    pvarg->vt = VT_EMPTY;
    return S_OK;
}

// The copy is made before the destination is cleared, so that a destination that owns
// the source's data (or is the source) is safe.
HRESULT WINAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc)
{
    if (!pvargDest || !pvargSrc)
        return E_INVALIDARG;
    if (!IsValidVariantType(pvargSrc->vt))
        return DISP_E_BADVARTYPE;
    if (pvargDest == pvargSrc)
        return S_OK;
    VARIANT copy;
    std::memcpy(&copy, pvargSrc, sizeof(VARIANT));
    if (!(copy.vt & VT_BYREF)) {
        const HRESULT hr = TakeOwnership(&copy);
        if (FAILED(hr))
            return hr;
    }
    return Replace(pvargDest, &copy);
}

// Follows one level of reference; a VT_VARIANT | VT_BYREF that points at another
// reference is refused with E_INVALIDARG, as on Windows.
HRESULT WINAPI VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc)
{
    if (!pvarDest || !pvargSrc)
        return E_INVALIDARG;
    if (!(pvargSrc->vt & VT_BYREF))
        return VariantCopy(pvarDest, pvargSrc);
    if (!IsValidVariantType(pvargSrc->vt))
        return DISP_E_BADVARTYPE;
    if (!pvargSrc->byref)
        return E_INVALIDARG;
    const VARTYPE vt = pvargSrc->vt & ~VT_BYREF;
    VARIANT copy;
    VariantInit(&copy);
    if (vt == VT_VARIANT) {
        const VARIANT* inner = pvargSrc->pvarVal;
        if (inner->vt & VT_BYREF)
            return E_INVALIDARG;
        const HRESULT hr = VariantCopy(&copy, inner);
        if (FAILED(hr))
            return hr;
    } else {
        if (vt & VT_ARRAY) {
            copy.parray = *pvargSrc->pparray;
        } else if (vt == VT_DECIMAL) {
            copy.decVal = *pvargSrc->pdecVal;
        } else {
            std::memcpy(&copy.llVal, pvargSrc->byref, qor::com::ValueSize(vt));
        }
        copy.vt = vt;
        const HRESULT hr = TakeOwnership(&copy);
        if (FAILED(hr))
            return hr;
    }
    return Replace(pvarDest, &copy);
}
