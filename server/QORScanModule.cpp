// The module of the scan control: its class table, lock count and self-registration.
#include "QORScanModule.h"

#include <oleauto.h>

namespace {

// Registry text is written under the system's locale, whatever the calling thread uses;
// the thread's own locale comes back when the scope ends.
class CSystemLocaleScope {
public:
    CSystemLocaleScope() : m_lcidSaved(GetThreadLocale()) { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~CSystemLocaleScope() { SetThreadLocale(m_lcidSaved); }
    CSystemLocaleScope(const CSystemLocaleScope&) = delete;
    CSystemLocaleScope& operator=(const CSystemLocaleScope&) = delete;

private:
    LCID m_lcidSaved;
};

}  // namespace

HRESULT CQORScanModule::UpdateClassRegistry(BOOL bRegister)
{
    WCHAR szClassId[39];
    WCHAR szLibId[39];
    StringFromGUID2(CLSID_QORScan, szClassId, 39);
    StringFromGUID2(m_libid, szLibId, 39);
    // No program id and no AppID are registered, so APPID is empty.
    ATL::_ATL_REGMAP_ENTRY regMap[] = {
        {OLESTR("APPID"), OLESTR("")},
        {OLESTR("GUID_QOR_SCAN"), szClassId},
        {OLESTR("GUID_LIB_SCAN"), szLibId},
        {nullptr, nullptr},
    };
    return UpdateRegistryFromResource(IDR_QORSCAN, bRegister, regMap);
}

HRESULT CQORScanModule::RegisterServer()
{
    CSystemLocaleScope locale;
    // The class's key, then its component categories (it declares none), then the library.
    HRESULT hr = UpdateClassRegistry(TRUE);
    if (SUCCEEDED(hr))
        hr = ATL::AtlRegisterTypeLib(ATL::_AtlModuleInstance(), nullptr);
    return hr;
}

HRESULT CQORScanModule::UnregisterServer()
{
    CSystemLocaleScope locale;
    HRESULT hrFirst = UpdateClassRegistry(FALSE);
    const HRESULT hr = ATL::AtlUnRegisterTypeLib(ATL::_AtlModuleInstance(), nullptr);
    if (SUCCEEDED(hrFirst))
        hrFirst = hr;
    return hrFirst;
}
