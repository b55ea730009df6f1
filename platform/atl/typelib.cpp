// A module's type library: loaded from its TYPELIB resource and registered machine-wide or,
// under per-user registration, for the user.
#include "atlbase.h"

#include <string>

#include "oleauto.h"

namespace ATL {
namespace {

typedef HRESULT(WINAPI* PFNREGISTERTYPELIB)(ITypeLib*, LPCOLESTR, LPCOLESTR);
typedef HRESULT(WINAPI* PFNUNREGISTERTYPELIB)(REFGUID, WORD, WORD, LCID, SYSKIND);

// The per-user function of oleaut32 when per-user registration is on and the system offers
// it (older systems do not), else the machine-wide one.
template <class Function>
Function PickFunction(const char* perUserName, Function machineWide)
{
    bool bPerUser = false;
    AtlGetPerUserRegistration(&bPerUser);
    if (!bPerUser)
        return machineWide;
    HMODULE hOleAut = GetModuleHandleW(OLESTR("OLEAUT32.DLL"));
    FARPROC proc = hOleAut ? GetProcAddress(hOleAut, perUserName) : nullptr;
    return proc ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc)) : machineWide;
}

}  // namespace

HRESULT AtlLoadTypeLib(HINSTANCE hInstTypeLib, LPCOLESTR lpszIndex, BSTR* pbstrPath, ITypeLib** ppTypeLib)
{
    if (!pbstrPath || !ppTypeLib)
        return E_POINTER;
    *pbstrPath = nullptr;
    *ppTypeLib = nullptr;
    WCHAR szModule[MAX_PATH];
    const DWORD length = GetModuleFileNameW(hInstTypeLib, szModule, MAX_PATH);
    if (length == 0 || length == MAX_PATH)
        return HRESULT_FROM_WIN32(length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE);
    std::basic_string<OLECHAR> path = szModule;
    if (lpszIndex)
        path = path + OLESTR("\\") + lpszIndex;
    const HRESULT hr = LoadTypeLib(path.c_str(), ppTypeLib);
    if (FAILED(hr))
        return hr;
    *pbstrPath = SysAllocString(szModule);
    if (!*pbstrPath) {
        (*ppTypeLib)->Release();
        *ppTypeLib = nullptr;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT AtlRegisterTypeLib(HINSTANCE hInstTypeLib, LPCOLESTR lpszIndex)
{
    CComBSTR bstrPath;
    CComPtr<ITypeLib> pTypeLib;
    HRESULT hr = AtlLoadTypeLib(hInstTypeLib, lpszIndex, &bstrPath, &pTypeLib);
    if (FAILED(hr))
        return hr;
    // The help folder is the library's documentation path up to its last separator.
    CComBSTR bstrHelpFile;
    std::basic_string<OLECHAR> helpDir;
    bool bHasHelpDir = false;
    if (SUCCEEDED(pTypeLib->GetDocumentation(-1, nullptr, nullptr, nullptr, &bstrHelpFile)) && bstrHelpFile) {
        helpDir = static_cast<LPCOLESTR>(bstrHelpFile);
        const size_t separator = helpDir.find_last_of(OLESTR("\\/"));
        helpDir.resize(separator == std::basic_string<OLECHAR>::npos ? 0 : separator);
        bHasHelpDir = true;
    }
    const PFNREGISTERTYPELIB pfnRegister = PickFunction<PFNREGISTERTYPELIB>("RegisterTypeLibForUser", &RegisterTypeLib);
    return pfnRegister(pTypeLib, bstrPath, bHasHelpDir ? helpDir.c_str() : nullptr);
}

HRESULT AtlUnRegisterTypeLib(HINSTANCE hInstTypeLib, LPCOLESTR lpszIndex)
{
    CComBSTR bstrPath;
    CComPtr<ITypeLib> pTypeLib;
    HRESULT hr = AtlLoadTypeLib(hInstTypeLib, lpszIndex, &bstrPath, &pTypeLib);
    if (FAILED(hr))
        return hr;
    TLIBATTR* pAttr = nullptr;
    hr = pTypeLib->GetLibAttr(&pAttr);
    if (FAILED(hr))
        return hr;
    const TLIBATTR attr = *pAttr;
    pTypeLib->ReleaseTLibAttr(pAttr);
    const PFNUNREGISTERTYPELIB pfnUnregister =
        PickFunction<PFNUNREGISTERTYPELIB>("UnRegisterTypeLibForUser", &UnRegisterTypeLib);
    return pfnUnregister(attr.guid, attr.wMajorVerNum, attr.wMinorVerNum, attr.lcid, attr.syskind);
}

}  // namespace ATL
