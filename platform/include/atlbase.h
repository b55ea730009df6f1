// A small ATL of our own: threading models, the module object with its lock count,
// and (through atlcomcli.h) the smart pointers and the BSTR and VARIANT wrappers.
#pragma once

#include <atomic>
#include <cassert>
#include <mutex>
#include <new>

#include "windows.h"
#include "objbase.h"
#include "unknwn.h"
#include "atlreg.h"
#include "oleauto.h"

#ifdef __MINGW32__
// mingw-w64 declares the inputs of these without const, as an older SDK did. The code is
// written to the current SDK's signatures, which forward to them; none changes its inputs.
inline HRESULT WINAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc)
{
    return VariantCopy(pvargDest, const_cast<VARIANTARG*>(pvargSrc));
}
inline HRESULT WINAPI VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc)
{
    return VariantCopyInd(pvarDest, const_cast<VARIANTARG*>(pvargSrc));
}
inline HRESULT WINAPI VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt)
{
    return VariantChangeType(pvargDest, const_cast<VARIANTARG*>(pvarSrc), wFlags, vt);
}
inline HRESULT WINAPI RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir)
{
    return RegisterTypeLib(ptlib, const_cast<LPOLESTR>(szFullPath), const_cast<LPOLESTR>(szHelpDir));
}
#endif

#define ATLASSERT(expr) assert(expr)
#define ATL_NO_VTABLE

// State that belongs to one module (the server library, a host program) rather than to the
// process: on Windows ATL is linked into each module separately, so each has its own lock count
// and class table. Hidden visibility keeps the copies apart when several modules of a process
// include these headers; a Windows module has its own copy of every symbol anyway.
#ifdef _WIN32
#define QOR_ATL_MODULE_LOCAL
#else
#define QOR_ATL_MODULE_LOCAL __attribute__((visibility("hidden")))
#endif

// The Windows SDK leaves the module's own handle to the code: the linker's image base is it.
#ifndef HINST_THISCOMPONENT
extern "C" IMAGE_DOS_HEADER __ImageBase;
#define HINST_THISCOMPONENT (reinterpret_cast<HINSTANCE>(&__ImageBase))
#endif

namespace ATL {

// --- Threading models. Objects of an apartment use plain counts; the module, the class
// factories and anything shared between threads use interlocked ones.

class CComFakeCriticalSection {
public:
    HRESULT Init() { return S_OK; }
    HRESULT Term() { return S_OK; }
    HRESULT Lock() { return S_OK; }
    HRESULT Unlock() { return S_OK; }
};

class CComCriticalSection {
public:
    HRESULT Init() { return S_OK; }
    HRESULT Term() { return S_OK; }
    HRESULT Lock()
    {
        m_sec.lock();
        return S_OK;
    }
    HRESULT Unlock()
    {
        m_sec.unlock();
        return S_OK;
    }

private:
    std::recursive_mutex m_sec;
};
typedef CComCriticalSection CComAutoCriticalSection;

class CComSingleThreadModel {
public:
    static ULONG WINAPI Increment(LONG* p) { return static_cast<ULONG>(++(*p)); }
    static ULONG WINAPI Decrement(LONG* p) { return static_cast<ULONG>(--(*p)); }
    typedef CComFakeCriticalSection AutoCriticalSection;
    typedef CComFakeCriticalSection CriticalSection;
    typedef CComSingleThreadModel ThreadModelNoCS;
};

class CComMultiThreadModelNoCS {
public:
    static ULONG WINAPI Increment(LONG* p) { return static_cast<ULONG>(std::atomic_ref<LONG>(*p).fetch_add(1) + 1); }
    static ULONG WINAPI Decrement(LONG* p) { return static_cast<ULONG>(std::atomic_ref<LONG>(*p).fetch_sub(1) - 1); }
    typedef CComFakeCriticalSection AutoCriticalSection;
    typedef CComFakeCriticalSection CriticalSection;
    typedef CComMultiThreadModelNoCS ThreadModelNoCS;
};

class CComMultiThreadModel {
public:
    static ULONG WINAPI Increment(LONG* p) { return CComMultiThreadModelNoCS::Increment(p); }
    static ULONG WINAPI Decrement(LONG* p) { return CComMultiThreadModelNoCS::Decrement(p); }
    typedef CComAutoCriticalSection AutoCriticalSection;
    typedef CComCriticalSection CriticalSection;
    typedef CComMultiThreadModelNoCS ThreadModelNoCS;
};

typedef CComMultiThreadModel CComGlobalsThreadModel;
typedef CComSingleThreadModel CComObjectThreadModel;

// --- The module object: the lock count (live objects plus LockServer locks) that decides
// whether the module may be unloaded. The most recently constructed module object of a module
// is that module's _pAtlModule.

class CAtlModule;
QOR_ATL_MODULE_LOCAL inline CAtlModule* _pAtlModule = nullptr;

// The module that includes these headers (ATL's _AtlBaseModule.GetModuleInstance()).
QOR_ATL_MODULE_LOCAL inline HINSTANCE _AtlModuleInstance() { return HINST_THISCOMPONENT; }

class CAtlModule {
public:
    CAtlModule() noexcept { _pAtlModule = this; }
    virtual ~CAtlModule()
    {
        if (_pAtlModule == this)
            _pAtlModule = nullptr;
    }
    CAtlModule(const CAtlModule&) = delete;
    CAtlModule& operator=(const CAtlModule&) = delete;

    virtual LONG Lock() { return static_cast<LONG>(CComGlobalsThreadModel::Increment(&m_nLockCnt)); }
    virtual LONG Unlock() { return static_cast<LONG>(CComGlobalsThreadModel::Decrement(&m_nLockCnt)); }
    virtual LONG GetLockCount() { return std::atomic_ref<LONG>(m_nLockCnt).load(); }

    // Runs this module's registry script (resource REGISTRY nResID, see atlreg.h) with
    // %MODULE% and the replacements of pMapEntries. Hidden so that each module's call
    // names that module, never another module's copy of this function.
    QOR_ATL_MODULE_LOCAL HRESULT UpdateRegistryFromResource(UINT nResID, BOOL bRegister,
                                                            _ATL_REGMAP_ENTRY* pMapEntries = nullptr)
    {
        return AtlUpdateRegistryFromResource(_AtlModuleInstance(), nResID, bRegister, pMapEntries);
    }

    LONG m_nLockCnt = 0;
};

// Objects lock the module while they live. A program that has no module object (a test, a
// host) still creates objects; the lock is then skipped.
inline void AtlModuleLock()
{
    if (_pAtlModule != nullptr)
        _pAtlModule->Lock();
}
inline void AtlModuleUnlock()
{
    if (_pAtlModule != nullptr)
        _pAtlModule->Unlock();
}

inline bool InlineIsEqualUnknown(REFGUID rguid) { return IsEqualGUID(rguid, IID_IUnknown); }

// --- A module's type library: resource TYPELIB 1 of the module, or TYPELIB N when
// lpszIndex is "N". AtlLoadTypeLib gives the module's path too. AtlRegisterTypeLib takes the
// help folder from the library's documentation path (up to its last separator) and, under
// per-user registration, registers through RegisterTypeLibForUser as found by name in
// OLEAUT32.DLL, falling back to RegisterTypeLib; AtlUnRegisterTypeLib likewise.
HRESULT AtlLoadTypeLib(HINSTANCE hInstTypeLib, LPCOLESTR lpszIndex, BSTR* pbstrPath, ITypeLib** ppTypeLib);
HRESULT AtlRegisterTypeLib(HINSTANCE hInstTypeLib, LPCOLESTR lpszIndex);
HRESULT AtlUnRegisterTypeLib(HINSTANCE hInstTypeLib, LPCOLESTR lpszIndex);

}  // namespace ATL

#include "atlcomcli.h"

#ifndef _ATL_NO_AUTOMATIC_NAMESPACE
using namespace ATL;
#endif
