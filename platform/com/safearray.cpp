// SAFEARRAY: descriptors, bounds, locks and element access.
//
// A descriptor made here is preceded by 16 bytes whose last 4 hold the element type, as
// on Windows (FADF_HAVEVARTYPE). Bounds are stored in reverse order of the dimensions,
// and dimension 1 varies fastest in memory; rgIndices[0] indexes dimension 1.
//
// Unlike Windows, the element functions refuse an array whose element size is not that of
// its element type (a descriptor a host filled in by hand may say VT_UI4 with 16-byte
// elements): copying whole elements of it would write past a caller's value, and walking
// strings or variants at the wrong stride past the array's own data.
#include "com_private.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kPrefix = 16;
// Arrays whose data would exceed this are refused: sizes cross the API as 32-bit values.
constexpr std::uint64_t kMaxDataBytes = 0x7FFFFFFF;
// Windows refuses a lock beyond this count.
constexpr ULONG kMaxLocks = 0xFFFF;
// Elements that own something: copied and released one by one.
constexpr USHORT kOwningElements = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT;
// Descriptors and data that the caller placed itself (on the stack or inside a structure).
constexpr USHORT kCallerOwned = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED;

USHORT FeatureOf(VARTYPE vt)
{
    switch (vt) {
    case VT_BSTR:
        return FADF_BSTR;
    case VT_UNKNOWN:
        return FADF_UNKNOWN;
    case VT_DISPATCH:
        return FADF_DISPATCH;
    case VT_VARIANT:
        return FADF_VARIANT;
    default:
        return 0;
    }
}

std::uint8_t* PrefixOf(SAFEARRAY* psa) { return reinterpret_cast<std::uint8_t*>(psa) - kPrefix; }

void StoreVartype(SAFEARRAY* psa, VARTYPE vt)
{
    const DWORD value = vt;
    std::memcpy(reinterpret_cast<std::uint8_t*>(psa) - sizeof(DWORD), &value, sizeof value);
}

// Dimension d (0-based, in the order given to SafeArrayCreate).
const SAFEARRAYBOUND& Bound(const SAFEARRAY* psa, UINT d) { return psa->rgsabound[psa->cDims - 1 - d]; }

std::uint64_t ElementCount(const SAFEARRAY* psa)
{
    std::uint64_t count = 1;
    for (UINT d = 0; d < psa->cDims; ++d)
        count *= Bound(psa, d).cElements;
    return count;
}

// A descriptor of cDims dimensions with its type prefix, zeroed; no data yet.
SAFEARRAY* AllocDescriptor(UINT cDims)
{
    const std::size_t size = kPrefix + sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
    auto* block = static_cast<std::uint8_t*>(std::calloc(1, size));
    return block ? reinterpret_cast<SAFEARRAY*>(block + kPrefix) : nullptr;
}

void FreeDescriptor(SAFEARRAY* psa) { std::free(PrefixOf(psa)); }

// The size that the array's elements must have: a pointer for strings and interfaces, a
// VARIANT for variants, else the size of the stored type; 0 when nothing fixes it.
ULONG RequiredElementSize(SAFEARRAY* psa)
{
    if (psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH))
        return sizeof(void*);
    if (psa->fFeatures & FADF_VARIANT)
        return sizeof(VARIANT);
    VARTYPE vt = VT_EMPTY;
    if ((psa->fFeatures & FADF_HAVEVARTYPE) && SUCCEEDED(SafeArrayGetVartype(psa, &vt)))
        return qor::com::ValueSize(vt);
    return 0;
}

bool HasElementsOfTheirSize(SAFEARRAY* psa)
{
    const ULONG required = RequiredElementSize(psa);
    return psa->cbElements != 0 && (required == 0 || psa->cbElements == required);
}

// Elements that may be read and written whole: of their size, with data behind them.
bool HasSoundElements(SAFEARRAY* psa)
{
    return HasElementsOfTheirSize(psa) && (psa->pvData != nullptr || ElementCount(psa) == 0);
}

// Releases what the elements own (strings, interfaces, variants); the data stays. Slots of
// the wrong size are left alone: their owners cannot be found.
void ClearElements(SAFEARRAY* psa)
{
    if (!psa->pvData || !(psa->fFeatures & kOwningElements) || !HasSoundElements(psa))
        return;
    const std::uint64_t count = ElementCount(psa);
    auto* data = static_cast<std::uint8_t*>(psa->pvData);
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint8_t* element = data + i * psa->cbElements;
        if (psa->fFeatures & FADF_BSTR) {
            BSTR* slot = reinterpret_cast<BSTR*>(element);
            SysFreeString(*slot);
            *slot = nullptr;
        } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
            IUnknown** slot = reinterpret_cast<IUnknown**>(element);
            if (*slot)
                (*slot)->Release();
            *slot = nullptr;
        } else if (psa->fFeatures & FADF_VARIANT) {
            VariantClear(reinterpret_cast<VARIANT*>(element));
        }
    }
}

// The address of the element at rgIndices, or null when an index is outside its bounds.
void* ElementAt(SAFEARRAY* psa, const LONG* rgIndices)
{
    std::int64_t offset = 0;
    std::int64_t stride = 1;
    for (UINT d = 0; d < psa->cDims; ++d) {
        const SAFEARRAYBOUND& bound = Bound(psa, d);
        const std::int64_t index = std::int64_t{rgIndices[d]} - bound.lLbound;
        if (index < 0 || index >= std::int64_t{bound.cElements})
            return nullptr;
        offset += index * stride;
        stride *= bound.cElements;
    }
    return static_cast<std::uint8_t*>(psa->pvData) + offset * psa->cbElements;
}

// Keeps the array locked for the life of an element access.
class ArrayLock {
public:
    explicit ArrayLock(SAFEARRAY* psa) : m_psa(psa), m_hr(SafeArrayLock(psa)) {}
    ~ArrayLock()
    {
        if (SUCCEEDED(m_hr))
            SafeArrayUnlock(m_psa);
    }
    ArrayLock(const ArrayLock&) = delete;
    ArrayLock& operator=(const ArrayLock&) = delete;
    HRESULT Result() const { return m_hr; }

private:
    SAFEARRAY* m_psa;
    HRESULT m_hr;
};

}  // namespace

HRESULT WINAPI SafeArrayAllocDescriptor(UINT cDims, SAFEARRAY** ppsaOut)
{
    if (!ppsaOut)
        return E_POINTER;
    *ppsaOut = nullptr;
    if (cDims == 0 || cDims > 0xFFFF)
        return E_INVALIDARG;
    SAFEARRAY* psa = AllocDescriptor(cDims);
    if (!psa)
        return E_UNEXPECTED;
    psa->cDims = static_cast<USHORT>(cDims);
    *ppsaOut = psa;
    return S_OK;
}

HRESULT WINAPI SafeArrayAllocDescriptorEx(VARTYPE vt, UINT cDims, SAFEARRAY** ppsaOut)
{
    // Windows makes a descriptor of no element size for a type without one; such an array
    // could never hold an element, so it is refused here.
    const ULONG elementSize = qor::com::ValueSize(vt);
    if (ppsaOut && elementSize == 0) {
        *ppsaOut = nullptr;
        return E_INVALIDARG;
    }
    const HRESULT hr = SafeArrayAllocDescriptor(cDims, ppsaOut);
    if (FAILED(hr))
        return hr;
    SAFEARRAY* psa = *ppsaOut;
    psa->fFeatures = FADF_HAVEVARTYPE | FeatureOf(vt);
    psa->cbElements = elementSize;
    StoreVartype(psa, vt);
    return S_OK;
}

// Zeroed data for the bounds and element size already in the descriptor. Sizes and counts
// that do not fit the 32-bit sizes of the API are refused, not wrapped.
HRESULT WINAPI SafeArrayAllocData(SAFEARRAY* psa)
{
    if (!psa || psa->cDims == 0 || psa->cbElements == 0 || psa->pvData)
        return E_INVALIDARG;
    std::uint64_t count = 1;
    for (UINT d = 0; d < psa->cDims; ++d) {
        if (__builtin_mul_overflow(count, std::uint64_t{Bound(psa, d).cElements}, &count))
            return E_OUTOFMEMORY;
    }
    std::uint64_t bytes = 0;
    if (__builtin_mul_overflow(count, std::uint64_t{psa->cbElements}, &bytes) || bytes > kMaxDataBytes)
        return E_OUTOFMEMORY;
    psa->pvData = std::calloc(1, bytes ? bytes : 1);
    return psa->pvData ? S_OK : E_OUTOFMEMORY;
}

SAFEARRAY* WINAPI SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound)
{
    SAFEARRAY* psa = nullptr;
    if (!rgsabound || FAILED(SafeArrayAllocDescriptorEx(vt, cDims, &psa)))
        return nullptr;
    for (UINT d = 0; d < cDims; ++d)
        psa->rgsabound[cDims - 1 - d] = rgsabound[d];
    if (FAILED(SafeArrayAllocData(psa))) {
        FreeDescriptor(psa);
        return nullptr;
    }
    return psa;
}

SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements)
{
    SAFEARRAYBOUND bound{cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT WINAPI SafeArrayDestroyData(SAFEARRAY* psa)
{
    if (!psa)
        return E_INVALIDARG;
    if (std::atomic_ref<ULONG>(psa->cLocks).load() > 0)
        return DISP_E_ARRAYISLOCKED;
    ClearElements(psa);
    if (!(psa->fFeatures & kCallerOwned)) {
        std::free(psa->pvData);
        psa->pvData = nullptr;
    }
    return S_OK;
}

HRESULT WINAPI SafeArrayDestroyDescriptor(SAFEARRAY* psa)
{
    if (!psa)
        return S_OK;
    if (std::atomic_ref<ULONG>(psa->cLocks).load() > 0)
        return DISP_E_ARRAYISLOCKED;
    if (!(psa->fFeatures & kCallerOwned))
        FreeDescriptor(psa);
    return S_OK;
}

HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* psa)
{
    if (!psa)
        return S_OK;
    const HRESULT hr = SafeArrayDestroyData(psa);
    return FAILED(hr) ? hr : SafeArrayDestroyDescriptor(psa);
}

UINT WINAPI SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

UINT WINAPI SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound)
{
    if (!psa || !plLbound)
        return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    *plLbound = Bound(psa, nDim - 1).lLbound;
    return S_OK;
}

HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound)
{
    if (!psa || !plUbound)
        return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& bound = Bound(psa, nDim - 1);
    // An empty dimension reports lLbound - 1, wrapping as the 32-bit arithmetic of Windows.
    *plUbound = static_cast<LONG>(std::int64_t{bound.lLbound} + bound.cElements - 1);
    return S_OK;
}

HRESULT WINAPI SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt)
{
    if (!psa || !pvt)
        return E_INVALIDARG;
    if (psa->fFeatures & FADF_HAVEVARTYPE) {
        DWORD value;
        std::memcpy(&value, reinterpret_cast<std::uint8_t*>(psa) - sizeof(DWORD), sizeof value);
        *pvt = static_cast<VARTYPE>(value);
    } else if (psa->fFeatures & FADF_BSTR) {
        *pvt = VT_BSTR;
    } else if (psa->fFeatures & FADF_UNKNOWN) {
        *pvt = VT_UNKNOWN;
    } else if (psa->fFeatures & FADF_DISPATCH) {
        *pvt = VT_DISPATCH;
    } else if (psa->fFeatures & FADF_VARIANT) {
        *pvt = VT_VARIANT;
    } else if (psa->fFeatures & FADF_RECORD) {
        *pvt = VT_RECORD;
    } else {
        return E_INVALIDARG;
    }
    return S_OK;
}

// The lock count changes atomically, as Windows' interlocked count does, so that threads
// that share an array may lock it at the same time.
HRESULT WINAPI SafeArrayLock(SAFEARRAY* psa)
{
    if (!psa)
        return E_INVALIDARG;
    std::atomic_ref<ULONG> locks(psa->cLocks);
    ULONG count = locks.load();
    do {
        if (count >= kMaxLocks)
            return E_UNEXPECTED;
    } while (!locks.compare_exchange_weak(count, count + 1));
    return S_OK;
}

HRESULT WINAPI SafeArrayUnlock(SAFEARRAY* psa)
{
    if (!psa)
        return E_INVALIDARG;
    std::atomic_ref<ULONG> locks(psa->cLocks);
    ULONG count = locks.load();
    do {
        if (count == 0)
            return E_UNEXPECTED;
    } while (!locks.compare_exchange_weak(count, count - 1));
    return S_OK;
}

HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* psa, void** ppvData)
{
    if (!psa || !ppvData)
        return E_INVALIDARG;
    const HRESULT hr = SafeArrayLock(psa);
    *ppvData = SUCCEEDED(hr) ? psa->pvData : nullptr;
    return hr;
}

HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

HRESULT WINAPI SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData)
{
    if (!psa || !rgIndices || !ppvData || !HasSoundElements(psa))
        return E_INVALIDARG;
    void* element = ElementAt(psa, rgIndices);
    if (!element)
        return DISP_E_BADINDEX;
    *ppvData = element;
    return S_OK;
}

// Strings and variants are copied out and interfaces AddRef'd; the caller owns the copy.
// The destination of a VARIANT element is treated as uninitialised, never cleared.
HRESULT WINAPI SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv)
{
    if (!psa || !rgIndices || !pv)
        return E_INVALIDARG;
    // Element semantics of record arrays need IRecordInfo, which this platform lacks.
    if (psa->fFeatures & FADF_RECORD)
        return E_NOTIMPL;
    if (!HasSoundElements(psa))
        return E_INVALIDARG;
    ArrayLock lock(psa);
    if (FAILED(lock.Result()))
        return lock.Result();
    void* element = ElementAt(psa, rgIndices);
    if (!element)
        return DISP_E_BADINDEX;
    if (psa->fFeatures & FADF_BSTR) {
        const BSTR source = *static_cast<BSTR*>(element);
        BSTR copy = nullptr;
        if (source) {
            copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source), SysStringByteLen(source));
            if (!copy)
                return E_OUTOFMEMORY;
        }
        *static_cast<BSTR*>(pv) = copy;
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* unknown = *static_cast<IUnknown**>(element);
        if (unknown)
            unknown->AddRef();
        *static_cast<IUnknown**>(pv) = unknown;
    } else if (psa->fFeatures & FADF_VARIANT) {
        VariantInit(static_cast<VARIANT*>(pv));
        return VariantCopy(static_cast<VARIANT*>(pv), static_cast<VARIANT*>(element));
    } else {
        std::memcpy(pv, element, psa->cbElements);
    }
    return S_OK;
}

// pv is the BSTR itself for string arrays, the interface pointer for interface arrays, a
// VARIANT* for variant arrays, and a pointer to the value otherwise. The old element is
// released only after the new one was made.
HRESULT WINAPI SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv)
{
    if (!psa || !rgIndices)
        return E_INVALIDARG;
    if (psa->fFeatures & FADF_RECORD)
        return E_NOTIMPL;
    // Only string and interface elements may be given as null.
    if (!pv && !(psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH)))
        return E_INVALIDARG;
    if (!HasSoundElements(psa))
        return E_INVALIDARG;
    ArrayLock lock(psa);
    if (FAILED(lock.Result()))
        return lock.Result();
    void* element = ElementAt(psa, rgIndices);
    if (!element)
        return DISP_E_BADINDEX;
    if (psa->fFeatures & FADF_BSTR) {
        const BSTR source = static_cast<BSTR>(pv);
        BSTR copy = nullptr;
        if (source) {
            copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source), SysStringByteLen(source));
            if (!copy)
                return E_OUTOFMEMORY;
        }
        SysFreeString(*static_cast<BSTR*>(element));
        *static_cast<BSTR*>(element) = copy;
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* unknown = static_cast<IUnknown*>(pv);
        if (unknown)
            unknown->AddRef();
        IUnknown* old = *static_cast<IUnknown**>(element);
        *static_cast<IUnknown**>(element) = unknown;
        if (old)
            old->Release();
    } else if (psa->fFeatures & FADF_VARIANT) {
        return VariantCopy(static_cast<VARIANT*>(element), static_cast<VARIANT*>(pv));
    } else {
        std::memcpy(element, pv, psa->cbElements);
    }
    return S_OK;
}

HRESULT WINAPI SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut)
{
    if (!ppsaOut)
        return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa)
        return S_OK;
    if (psa->cDims == 0 || (psa->fFeatures & FADF_RECORD) || !HasElementsOfTheirSize(psa))
        return E_INVALIDARG;
    SAFEARRAY* copy = AllocDescriptor(psa->cDims);
    if (!copy)
        return E_OUTOFMEMORY;
    copy->cDims = psa->cDims;
    // The copy owns its descriptor and data, whoever owned the original's.
    copy->fFeatures = static_cast<USHORT>(psa->fFeatures & ~kCallerOwned);
    copy->cbElements = psa->cbElements;
    std::memcpy(copy->rgsabound, psa->rgsabound, psa->cDims * sizeof(SAFEARRAYBOUND));
    VARTYPE vt;
    if (SUCCEEDED(SafeArrayGetVartype(psa, &vt))) {
        copy->fFeatures |= FADF_HAVEVARTYPE;
        StoreVartype(copy, vt);
    }
    if (const HRESULT hr = SafeArrayAllocData(copy); FAILED(hr)) {
        FreeDescriptor(copy);
        return hr;
    }
    if (!psa->pvData) {
        *ppsaOut = copy;
        return S_OK;
    }
    const std::uint64_t count = ElementCount(psa);
    const auto* from = static_cast<const std::uint8_t*>(psa->pvData);
    auto* to = static_cast<std::uint8_t*>(copy->pvData);
    if (!(psa->fFeatures & kOwningElements)) {
        std::memcpy(to, from, count * psa->cbElements);
        *ppsaOut = copy;
        return S_OK;
    }
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint8_t* source = from + i * psa->cbElements;
        std::uint8_t* target = to + i * psa->cbElements;
        HRESULT hr = S_OK;
        if (psa->fFeatures & FADF_BSTR) {
            const BSTR text = *reinterpret_cast<const BSTR*>(source);
            if (text) {
                BSTR dup = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(text), SysStringByteLen(text));
                hr = dup ? S_OK : E_OUTOFMEMORY;
                *reinterpret_cast<BSTR*>(target) = dup;
            }
        } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
            IUnknown* unknown = *reinterpret_cast<IUnknown* const*>(source);
            if (unknown)
                unknown->AddRef();
            *reinterpret_cast<IUnknown**>(target) = unknown;
        } else {
            hr = VariantCopy(reinterpret_cast<VARIANT*>(target), reinterpret_cast<const VARIANT*>(source));
        }
        if (FAILED(hr)) {
            SafeArrayDestroy(copy);
            return hr;
        }
    }
    *ppsaOut = copy;
    return S_OK;
}
