#include "HostJob.h"

#include <atlbase.h>
#include <oleauto.h>

#include <cstring>

HRESULT HostMakeFrameArray(const std::vector<DWORD>& vecPairs, VARIANT* pVar)
{
    if (pVar == nullptr)
        return E_POINTER;
    HRESULT hr = ::VariantClear(pVar);
    if (FAILED(hr))
        return hr;
    SAFEARRAY* psa = ::SafeArrayCreateVector(VT_UI4, 0, static_cast<ULONG>(vecPairs.size()));
    if (psa == nullptr)
        return E_OUTOFMEMORY;
    if (!vecPairs.empty()) {
        void* pvData = nullptr;
        hr = ::SafeArrayAccessData(psa, &pvData);
        if (FAILED(hr)) {
            ::SafeArrayDestroy(psa);
            return hr;
        }
        std::memcpy(pvData, vecPairs.data(), vecPairs.size() * sizeof(DWORD));
        ::SafeArrayUnaccessData(psa);
    }
    pVar->vt = VT_ARRAY | VT_UI4;
    pVar->parray = psa;
    return S_OK;
}

HRESULT HostReadFrameArray(const VARIANT& var, std::vector<DWORD>& vecPairs)
{
    vecPairs.clear();
    SAFEARRAY* psa = var.parray;
    LONG lLower = 0;
    LONG lUpper = -1;
    if (var.vt != (VT_ARRAY | VT_UI4) || psa == nullptr || ::SafeArrayGetDim(psa) != 1 ||
        ::SafeArrayGetElemsize(psa) != sizeof(DWORD) || FAILED(::SafeArrayGetLBound(psa, 1, &lLower)) ||
        FAILED(::SafeArrayGetUBound(psa, 1, &lUpper)) || lLower != 0)
        return E_INVALIDARG;
    const size_t nCount = static_cast<size_t>(static_cast<LONGLONG>(lUpper) + 1);  // lLower is 0
    if (nCount == 0)
        return S_OK;
    void* pvData = nullptr;
    HRESULT hr = ::SafeArrayAccessData(psa, &pvData);
    if (FAILED(hr))
        return hr;
    // A descriptor made by hand may have bounds and no data.
    if (pvData == nullptr) {
        ::SafeArrayUnaccessData(psa);
        return E_INVALIDARG;
    }
    const DWORD* pPairs = static_cast<const DWORD*>(pvData);
    vecPairs.assign(pPairs, pPairs + nCount);
    ::SafeArrayUnaccessData(psa);
    return S_OK;
}

namespace {

HRESULT WriteValue(IPropertyBag* pBag, LPCOLESTR pszName, const ATL::CComVariant& value)
{
    ATL::CComVariant copy(value);
    return pBag->Write(pszName, &copy);
}

}  // namespace

HRESULT HostFillLetterFlatbedJob(IPropertyBag* pBag, LPCOLESTR pszTempFolder)
{
    if (pBag == nullptr)
        return E_POINTER;
    const ATL::CComVariant varLetter(QorScanMakePair(HOST_LETTER_WIDTH, HOST_LETTER_HEIGHT));
    const struct {
        LPCOLESTR pszName;
        ATL::CComVariant value;
    } rgJob[] = {
        {QORSCAN_KEY_SCAN_INIT, ATL::CComVariant(true)},
        {QORSCAN_KEY_SCAN_SIZE, varLetter},
        {QORSCAN_KEY_SCAN_POS, ATL::CComVariant(QorScanMakePair(0, 0))},
        {QORSCAN_KEY_SCAN_CROP, varLetter},
        {QORSCAN_KEY_SCAN_TYPE, ATL::CComVariant(static_cast<int>(QORSCAN_TYPE_COLOR))},
        {QORSCAN_KEY_SCAN_SOUR, ATL::CComVariant(1)},
        {QORSCAN_KEY_SCAN_RESO, ATL::CComVariant(300)},
    };
    for (const auto& key : rgJob) {
        HRESULT hr = WriteValue(pBag, key.pszName, key.value);
        if (FAILED(hr))
            return hr;
    }
    if (pszTempFolder == nullptr || pszTempFolder[0] == 0)
        return S_OK;
    return WriteValue(pBag, QORSCAN_KEY_SCAN_TEMP, ATL::CComVariant(pszTempFolder));
}

std::basic_string<WCHAR> HostWiden(const std::string& text)
{
    std::basic_string<WCHAR> wide(text.size() + 1, 0);
    const int cch = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    wide.resize(cch > 0 ? static_cast<size_t>(cch - 1) : 0);
    return wide;
}

int HostPreviewNumber(LPCWSTR pszPath)
{
    if (pszPath == nullptr)
        return 0;
    const std::basic_string<WCHAR> path(pszPath);
    const size_t nAt = path.rfind(OLESTR("prev_"));
    return nAt == std::basic_string<WCHAR>::npos ? 0 : ::_wtoi(path.c_str() + nAt + 5);
}
