// CQORScan: the host's "boot." settings, kept in the current user's registry where the suite
// reads them when it starts.
#include <string_view>

#include "QORScan.h"

namespace {

constexpr WCHAR szBootKey[] = OLESTR("SOFTWARE\\Velmora\\Scrivane\\Boot\\");

// The key closed on every way out.
class CBootKey {
public:
    CBootKey() = default;
    CBootKey(const CBootKey&) = delete;
    CBootKey& operator=(const CBootKey&) = delete;
    ~CBootKey()
    {
        if (m_hKey != nullptr)
            ::RegCloseKey(m_hKey);
    }
    bool Create()
    {
        return ::RegCreateKeyExW(HKEY_CURRENT_USER, szBootKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                 nullptr, &m_hKey, nullptr) == ERROR_SUCCESS;
    }
    operator HKEY() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};

// Names compare exactly, case included, as every key of the bag does.
bool IsBootKeyName(const VARIANT& varName)
{
    return varName.vt == VT_BSTR && varName.bstrVal != nullptr &&
           std::basic_string_view<WCHAR>(varName.bstrVal, ::SysStringLen(varName.bstrVal))
               .starts_with(QORSCAN_KEY_PREFIX_BOOT);
}

// Numbers as REG_DWORD, texts as REG_SZ without their terminator; other types are not kept.
void StoreBootValue(HKEY hKey, LPCWSTR pszName, const VARIANT& var)
{
    switch (var.vt) {
    case VT_UI4:
    case VT_I4:
        ::RegSetValueExW(hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&var.ulVal), sizeof(DWORD));
        break;
    case VT_BSTR:
        ::RegSetValueExW(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(var.bstrVal),
                         ::SysStringLen(var.bstrVal) * sizeof(WCHAR));
        break;
    default:
        break;
    }
}

}  // namespace

// Every key of the host bag whose name begins with "boot.", under the same name. Failures
// end the copy quietly: the settings are a convenience for the next start.
void CQORScan::SaveBootSettings(IPropertyBag* pBag)
{
    CBootKey key;
    if (!key.Create())
        return;
    ATL::CComPtr<IEnumVARIANT> spNames;
    if (FAILED(pBag->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&spNames))))
        return;
    spNames->Reset();
    for (;;) {
        ATL::CComVariant varName;
        ULONG nFetched = 0;
        if (spNames->Next(1, &varName, &nFetched) != S_OK || nFetched != 1)
            break;
        if (!IsBootKeyName(varName))
            continue;
        ATL::CComVariant varValue;
        if (SUCCEEDED(pBag->Read(varName.bstrVal, &varValue, nullptr)))
            StoreBootValue(key, varName.bstrVal, varValue);
    }
}
