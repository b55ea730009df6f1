// The module's exports: the class object, the unload check and self-registration.
#include <shlwapi.h>

#include "QORScanModule.h"

CQORScanModule _AtlModule;

STDAPI QORSCAN_EXPORT DllCanUnloadNow()
{
    return _AtlModule.DllCanUnloadNow();
}

STDAPI QORSCAN_EXPORT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    return _AtlModule.DllGetClassObject(rclsid, riid, ppv);
}

STDAPI QORSCAN_EXPORT DllRegisterServer()
{
    return _AtlModule.RegisterServer();
}

STDAPI QORSCAN_EXPORT DllUnregisterServer()
{
    const HRESULT hr = _AtlModule.UnregisterServer();
    return SUCCEEDED(hr) ? S_OK : hr;
}

// pszCmdLine "user" (any case) registers for the current user only. The comparison takes in
// the terminating NUL, so a longer word that begins with "user" is not the switch.
STDAPI QORSCAN_EXPORT DllInstall(BOOL bInstall, LPCWSTR pszCmdLine)
{
    if (pszCmdLine != nullptr && StrCmpNIW(pszCmdLine, OLESTR("user"), 5) == 0)
        AtlSetPerUserRegistration(true);
    if (!bInstall)
        return DllUnregisterServer();
    const HRESULT hr = DllRegisterServer();
    if (FAILED(hr))
        DllUnregisterServer();
    return hr;
}
