// The module of CDemoBag: class object, unload check and self-registration.
#include "DemoBag.h"

#include <objbase.h>
#include <winreg.h>

namespace {

class CDemoBagModule : public ATL::CAtlDllModuleT<CDemoBagModule> {
};

CDemoBagModule _AtlModule;

// HKEY_CLASSES_ROOT\CLSID\{class id}
void ClassKeyPath(WCHAR* path, int cch)
{
    WCHAR clsid[39];
    StringFromGUID2(CLSID_DemoBag, clsid, 39);
    lstrcpynW(path, u"CLSID\\", cch);
    lstrcatW(path, clsid);
}

LSTATUS SetString(HKEY key, LPCWSTR name, LPCWSTR value)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(WCHAR)));
}

}  // namespace

OBJECT_ENTRY_AUTO(CLSID_DemoBag, CDemoBag)

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    return _AtlModule.DllGetClassObject(rclsid, riid, ppv);
}

STDAPI DllCanUnloadNow()
{
    return _AtlModule.DllCanUnloadNow();
}

STDAPI DllRegisterServer()
{
    WCHAR modulePath[MAX_PATH];
    if (!GetModuleFileNameW(HINST_THISCOMPONENT, modulePath, MAX_PATH))
        return HRESULT_FROM_WIN32(GetLastError());
    WCHAR keyPath[64];
    ClassKeyPath(keyPath, 64);
    lstrcatW(keyPath, u"\\InprocServer32");
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, keyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = SetString(key, nullptr, modulePath);
        if (status == ERROR_SUCCESS)
            status = SetString(key, u"ThreadingModel", u"Apartment");
        RegCloseKey(key);
    }
    return status == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer()
{
    WCHAR keyPath[64];
    ClassKeyPath(keyPath, 64);
    const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, keyPath);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}
