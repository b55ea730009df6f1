// COM activation: apartments, the in-process class table, and in-process servers found
// through HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32.
//
// Where this differs from Windows on purpose:
// - Activation works without CoInitialize (Windows answers CO_E_NOTINITIALIZED): hosts
//   and tests on this platform need no apartment, and nothing here depends on one.
//   CoInitialize is still counted per thread so that its results match Windows.
// - The class table is one per process, not one per apartment.
// - Servers stay loaded for the life of the process (there is no CoFreeUnusedLibraries),
//   and REG_EXPAND_SZ server paths are used as written, without expanding variables.
// - REGCLS_SUSPENDED is not honoured: registrations are visible at once.
#include <objbase.h>
#include <winbase.h>
#include <winreg.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

struct Registration {
    DWORD cookie;
    CLSID clsid;
    IUnknown* object;  // one reference, held until revoked
    DWORD context;
    DWORD flags;
    bool used;  // a REGCLS_SINGLEUSE object already handed out
};

struct ClassTable {
    std::mutex lock;
    std::vector<Registration> entries;
    DWORD nextCookie = 1;
    std::set<HMODULE> servers;  // in-process servers loaded so far
};

ClassTable& Table()
{
    static ClassTable table;
    return table;
}

struct Apartment {
    ULONG count = 0;
    DWORD model = 0;
};
thread_local Apartment t_apartment;

// The registered object for rclsid in one of the contexts, AddRef'd; null if none.
IUnknown* FindRegistered(REFCLSID rclsid, DWORD dwClsContext)
{
    ClassTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    for (Registration& entry : table.entries) {
        if (!IsEqualCLSID(entry.clsid, rclsid) || !(entry.context & dwClsContext) || entry.used)
            continue;
        if ((entry.flags & (REGCLS_MULTIPLEUSE | REGCLS_MULTI_SEPARATE)) == 0)
            entry.used = true;
        entry.object->AddRef();
        return entry.object;
    }
    return nullptr;
}

// The default value of InprocServer32 for rclsid. Registry contents are untrusted: the
// text ends at its first NUL or at the end of the data, whichever comes first, and a path
// that does not fit MAX_PATH (with its NUL) is refused as a module that cannot be found, never cut.
HRESULT ReadServerPath(REFCLSID rclsid, std::u16string* path)
{
    OLECHAR clsidText[39];
    StringFromGUID2(rclsid, clsidText, 39);
    const std::u16string subKey = u"CLSID\\" + std::u16string(clsidText) + u"\\InprocServer32";
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return REGDB_E_CLASSNOTREG;
    WCHAR buffer[MAX_PATH];
    DWORD type = 0;
    DWORD bytes = sizeof buffer;
    const LSTATUS status = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    RegCloseKey(key);
    if (status == ERROR_MORE_DATA)
        return CO_E_DLLNOTFOUND;
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return REGDB_E_CLASSNOTREG;
    const std::size_t chars = std::min<std::size_t>(bytes, sizeof buffer) / sizeof(WCHAR);
    path->assign(buffer, std::find(buffer, buffer + chars, u'\0'));
    return path->empty() ? REGDB_E_CLASSNOTREG : S_OK;
}

// Loads the server once per process and asks its DllGetClassObject.
HRESULT GetServerClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    std::u16string path;
    const HRESULT hr = ReadServerPath(rclsid, &path);
    if (FAILED(hr))
        return hr;
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module)
        return CO_E_DLLNOTFOUND;
    {
        ClassTable& table = Table();
        std::lock_guard<std::mutex> guard(table.lock);
        // One reference per server is enough: give back the one just taken if it is known.
        if (!table.servers.insert(module).second)
            FreeLibrary(module);
    }
    const FARPROC proc = GetProcAddress(module, "DllGetClassObject");
    if (!proc)
        return CO_E_ERRORINDLL;
    // FARPROC is the generic function pointer type; void (*)() converts to any other.
    const auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(reinterpret_cast<void (*)()>(proc));
    const HRESULT result = getClassObject(rclsid, riid, ppv);
    if (FAILED(result))
        *ppv = nullptr;
    return result;
}

}  // namespace

HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit)
{
    if (pvReserved)
        return E_INVALIDARG;
    const DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
    if (t_apartment.count > 0 && t_apartment.model != model)
        return RPC_E_CHANGED_MODE;
    t_apartment.model = model;
    return ++t_apartment.count == 1 ? S_OK : S_FALSE;
}

HRESULT WINAPI CoInitialize(LPVOID pvReserved) { return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED); }

void WINAPI CoUninitialize()
{
    if (t_apartment.count > 0)
        --t_apartment.count;
}

HRESULT WINAPI CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk, DWORD dwClsContext, DWORD flags,
                                     LPDWORD lpdwRegister)
{
    if (!lpdwRegister || !pUnk)
        return E_INVALIDARG;
    *lpdwRegister = 0;
    // A multiple-use local server object also serves its own process in-process.
    if ((flags & REGCLS_MULTIPLEUSE) && (dwClsContext & CLSCTX_LOCAL_SERVER))
        dwClsContext |= CLSCTX_INPROC_SERVER;
    ClassTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    for (const Registration& entry : table.entries) {
        if (IsEqualCLSID(entry.clsid, rclsid) && (entry.context & dwClsContext) && (entry.flags & REGCLS_MULTIPLEUSE))
            return CO_E_OBJISREG;
    }
    pUnk->AddRef();
    const DWORD cookie = table.nextCookie++;
    table.entries.push_back(Registration{cookie, rclsid, pUnk, dwClsContext, flags, false});
    *lpdwRegister = cookie;
    return S_OK;
}

HRESULT WINAPI CoRevokeClassObject(DWORD dwRegister)
{
    IUnknown* object = nullptr;
    {
        ClassTable& table = Table();
        std::lock_guard<std::mutex> guard(table.lock);
        const auto it = std::find_if(table.entries.begin(), table.entries.end(),
                                     [dwRegister](const Registration& entry) { return entry.cookie == dwRegister; });
        if (it == table.entries.end())
            return CO_E_OBJNOTREG;
        object = it->object;
        table.entries.erase(it);
    }
    // Released outside the lock: the object's destructor may call back into COM.
    object->Release();
    return S_OK;
}

HRESULT WINAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid, LPVOID* ppv)
{
    UNREFERENCED_PARAMETER(pvReserved);  // server information for remote activation
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    if (IUnknown* object = FindRegistered(rclsid, dwClsContext)) {
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        if (FAILED(hr))
            *ppv = nullptr;
        return hr;
    }
    if (!(dwClsContext & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    return GetServerClassObject(rclsid, riid, ppv);
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr))
        return hr;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    if (FAILED(hr))
        *ppv = nullptr;
    return hr;
}
