// COM objects: the object root with its reference count, the interface table, the object
// wrappers (plain, aggregated, cached), creators, the class factory and the module's class
// table with its DllGetClassObject / DllCanUnloadNow helpers.
#pragma once

#include "atlbase.h"

namespace ATL {

// --- The interface table. Entries are in QueryInterface search order; the first entry also
// answers IID_IUnknown and its pointer is the object's identity. dw is the offset from the
// start of the class to the interface's base subobject.

struct _ATL_INTMAP_ENTRY {
    const IID* piid;
    DWORD_PTR dw;
};

typedef HRESULT(WINAPI _ATL_CREATORFUNC)(void* pv, REFIID riid, LPVOID* ppv);

// Offset of base class `base` inside `derived`. The cast needs a non-null pointer to adjust,
// so it is made on a dummy address that is never dereferenced.
#define _ATL_PACKING 8
#define offsetofclass(base, derived) \
    (reinterpret_cast<DWORD_PTR>(static_cast<base*>(reinterpret_cast<derived*>(_ATL_PACKING))) - _ATL_PACKING)

class CComObjectRootBase {
public:
    CComObjectRootBase() noexcept = default;
    CComObjectRootBase(const CComObjectRootBase&) = delete;
    CComObjectRootBase& operator=(const CComObjectRootBase&) = delete;

    // Overridables of the object class. FinalConstruct runs once the object is fully built,
    // under a temporary reference of its own, so it may hand out and release interface
    // pointers; a failure destroys the object. FinalRelease runs before the object is deleted.
    HRESULT FinalConstruct() { return S_OK; }
    void FinalRelease() {}

    // Receives the creator's argument; the class factory takes its creator function here.
    void SetVoid(void*) {}

    // Delegation to the outer object of an aggregate.
    ULONG OuterAddRef() { return m_pOuterUnknown->AddRef(); }
    ULONG OuterRelease() { return m_pOuterUnknown->Release(); }
    HRESULT OuterQueryInterface(REFIID iid, void** ppvObject) { return m_pOuterUnknown->QueryInterface(iid, ppvObject); }

    // The table walk behind every QueryInterface.
    static HRESULT WINAPI InternalQueryInterface(void* pThis, const _ATL_INTMAP_ENTRY* pEntries, REFIID iid,
                                                 void** ppvObject)
    {
        if (ppvObject == nullptr)
            return E_POINTER;
        *ppvObject = nullptr;
        if (pThis == nullptr || pEntries == nullptr || pEntries->piid == nullptr)
            return E_NOINTERFACE;
        const _ATL_INTMAP_ENTRY* pFound = nullptr;
        if (InlineIsEqualUnknown(iid)) {
            pFound = pEntries;
        } else {
            for (const _ATL_INTMAP_ENTRY* pEntry = pEntries; pEntry->piid != nullptr; ++pEntry) {
                if (IsEqualGUID(*pEntry->piid, iid)) {
                    pFound = pEntry;
                    break;
                }
            }
        }
        if (pFound == nullptr)
            return E_NOINTERFACE;
        IUnknown* pUnk = reinterpret_cast<IUnknown*>(static_cast<BYTE*>(pThis) + pFound->dw);
        pUnk->AddRef();
        *ppvObject = pUnk;
        return S_OK;
    }

    LONG m_dwRef = 0;
    IUnknown* m_pOuterUnknown = nullptr;
};

template <class ThreadModel>
class CComObjectRootEx : public CComObjectRootBase {
public:
    typedef ThreadModel _ThreadModel;
    typedef typename ThreadModel::AutoCriticalSection _CritSec;

    ULONG InternalAddRef() { return _ThreadModel::Increment(&m_dwRef); }
    ULONG InternalRelease() { return _ThreadModel::Decrement(&m_dwRef); }
    void InternalFinalConstructAddRef() { InternalAddRef(); }
    void InternalFinalConstructRelease() { InternalRelease(); }

    void Lock() { m_critsec.Lock(); }
    void Unlock() { m_critsec.Unlock(); }

private:
    _CritSec m_critsec;
};

// The table's macros. END_COM_MAP leaves IUnknown's methods pure in the class; the wrappers
// below (CComObject, CComAggObject's contained object, ...) supply them.
#define BEGIN_COM_MAP(x)                                                                                 \
public:                                                                                                  \
    typedef x _ComMapClass;                                                                              \
    IUnknown* _GetRawUnknown()                                                                           \
    {                                                                                                    \
        return reinterpret_cast<IUnknown*>(reinterpret_cast<BYTE*>(this) + _GetEntries()->dw);           \
    }                                                                                                    \
    IUnknown* GetUnknown() { return _GetRawUnknown(); }                                                  \
    HRESULT _InternalQueryInterface(REFIID iid, void** ppvObject)                                        \
    {                                                                                                    \
        return ATL::CComObjectRootBase::InternalQueryInterface(this, _GetEntries(), iid, ppvObject);     \
    }                                                                                                    \
    static const ATL::_ATL_INTMAP_ENTRY* WINAPI _GetEntries()                                            \
    {                                                                                                    \
        static const ATL::_ATL_INTMAP_ENTRY _entries[] = {
#define COM_INTERFACE_ENTRY(x) {&__uuidof(x), offsetofclass(x, _ComMapClass)},
#define COM_INTERFACE_ENTRY_IID(iid, x) {&(iid), offsetofclass(x, _ComMapClass)},
#define END_COM_MAP()                                         \
    {nullptr, 0}                                              \
    }                                                         \
    ;                                                         \
    return _entries;                                          \
    }                                                         \
    ULONG STDMETHODCALLTYPE AddRef() override = 0;            \
    ULONG STDMETHODCALLTYPE Release() override = 0;           \
    STDMETHOD(QueryInterface)(REFIID, void**) override = 0;

// --- Object wrappers. Each supplies IUnknown for a class with a COM map.

// The count of an object being destroyed: far from 0, so that references taken and dropped
// during FinalRelease cannot delete the object a second time.
inline constexpr LONG _ATL_DESTRUCTING_REFCOUNT = -(0x7FFFFFFF / 2);

// Runs FinalConstruct under a temporary self-reference.
template <class T>
HRESULT AtlInternalFinalConstruct(T* p)
{
    p->InternalFinalConstructAddRef();
    HRESULT hr = p->FinalConstruct();
    p->InternalFinalConstructRelease();
    return hr;
}

// A stand-alone object: it locks the module while it lives and deletes itself when its
// count reaches 0.
template <class Base>
class CComObject : public Base {
public:
    typedef Base _BaseClass;

    explicit CComObject(void* = nullptr) { AtlModuleLock(); }
    virtual ~CComObject()
    {
        this->m_dwRef = _ATL_DESTRUCTING_REFCOUNT;
        this->FinalRelease();
        AtlModuleUnlock();
    }

    STDMETHOD_(ULONG, AddRef)() override { return this->InternalAddRef(); }
    STDMETHOD_(ULONG, Release)() override
    {
        ULONG l = this->InternalRelease();
        if (l == 0)
            delete this;
        return l;
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppvObject) override
    {
        return this->_InternalQueryInterface(iid, ppvObject);
    }
    template <class Q>
    HRESULT QueryInterface(Q** pp)
    {
        return QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
    }

    // A new object with count 0 (the caller takes the first reference), FinalConstruct done.
    static HRESULT WINAPI CreateInstance(CComObject<Base>** pp)
    {
        if (pp == nullptr)
            return E_POINTER;
        *pp = nullptr;
        CComObject<Base>* p = new (std::nothrow) CComObject<Base>();
        if (p == nullptr)
            return E_OUTOFMEMORY;
        HRESULT hr = AtlInternalFinalConstruct(p);
        if (FAILED(hr)) {
            delete p;
            return hr;
        }
        *pp = p;
        return hr;
    }
};

// A class factory kept by the module: the module's own reference does not lock the module,
// every further one does (the count going to 2 locks, back to 1 unlocks).
template <class Base>
class CComObjectCached : public Base {
public:
    typedef Base _BaseClass;

    explicit CComObjectCached(void* = nullptr) {}
    virtual ~CComObjectCached()
    {
        this->m_dwRef = _ATL_DESTRUCTING_REFCOUNT;
        this->FinalRelease();
    }

    STDMETHOD_(ULONG, AddRef)() override
    {
        ULONG l = this->InternalAddRef();
        if (l == 2)
            AtlModuleLock();
        return l;
    }
    STDMETHOD_(ULONG, Release)() override
    {
        ULONG l = this->InternalRelease();
        if (l == 0)
            delete this;
        else if (l == 1)
            AtlModuleUnlock();
        return l;
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppvObject) override
    {
        return this->_InternalQueryInterface(iid, ppvObject);
    }
};

// The inner part of an aggregate: every IUnknown call goes to the outer object.
template <class Base>
class CComContainedObject : public Base {
public:
    typedef Base _BaseClass;

    explicit CComContainedObject(void* pv) { this->m_pOuterUnknown = static_cast<IUnknown*>(pv); }

    STDMETHOD_(ULONG, AddRef)() override { return this->OuterAddRef(); }
    STDMETHOD_(ULONG, Release)() override { return this->OuterRelease(); }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppvObject) override
    {
        return this->OuterQueryInterface(iid, ppvObject);
    }
    template <class Q>
    HRESULT QueryInterface(Q** pp)
    {
        return QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
    }
    IUnknown* GetControllingUnknown() { return this->m_pOuterUnknown; }
};

// An aggregated object. It is the inner object's own, non-delegating IUnknown: the outer
// object holds it, asks it for interfaces, and its count alone decides the inner object's
// lifetime. The interfaces it hands out belong to the contained object and delegate to the
// outer object.
template <class contained>
class CComAggObject : public IUnknown,
                      public CComObjectRootEx<typename contained::_ThreadModel::ThreadModelNoCS> {
public:
    typedef contained _BaseClass;

    explicit CComAggObject(void* pv) : m_contained(pv) { AtlModuleLock(); }
    virtual ~CComAggObject()
    {
        this->m_dwRef = _ATL_DESTRUCTING_REFCOUNT;
        FinalRelease();
        AtlModuleUnlock();
    }

    HRESULT FinalConstruct()
    {
        this->InternalAddRef();
        HRESULT hr = AtlInternalFinalConstruct(&m_contained);
        this->InternalRelease();
        return hr;
    }
    void FinalRelease() { m_contained.FinalRelease(); }

    STDMETHOD_(ULONG, AddRef)() override { return this->InternalAddRef(); }
    STDMETHOD_(ULONG, Release)() override
    {
        ULONG l = this->InternalRelease();
        if (l == 0)
            delete this;
        return l;
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppvObject) override
    {
        if (ppvObject == nullptr)
            return E_POINTER;
        *ppvObject = nullptr;
        if (InlineIsEqualUnknown(iid)) {
            *ppvObject = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return m_contained._InternalQueryInterface(iid, ppvObject);
    }

    static HRESULT WINAPI CreateInstance(LPUNKNOWN pUnkOuter, CComAggObject<contained>** pp)
    {
        if (pp == nullptr)
            return E_POINTER;
        *pp = nullptr;
        if (pUnkOuter == nullptr)
            return E_INVALIDARG;
        CComAggObject<contained>* p = new (std::nothrow) CComAggObject<contained>(pUnkOuter);
        if (p == nullptr)
            return E_OUTOFMEMORY;
        HRESULT hr = p->FinalConstruct();
        if (FAILED(hr)) {
            delete p;
            return hr;
        }
        *pp = p;
        return hr;
    }

    CComContainedObject<contained> m_contained;
};

// --- Creators: functions of the _ATL_CREATORFUNC shape that build an object and query it.

// FinalConstruct of a plain or cached object runs under the self-reference; an aggregate's
// does that itself.
template <class T1>
struct _AtlFinalConstructOf {
    static HRESULT Run(T1* p) { return AtlInternalFinalConstruct(p); }
};
template <class contained>
struct _AtlFinalConstructOf<CComAggObject<contained>> {
    static HRESULT Run(CComAggObject<contained>* p) { return p->FinalConstruct(); }
};

template <class T1>
class CComCreator {
public:
    static HRESULT WINAPI CreateInstance(void* pv, REFIID riid, LPVOID* ppv)
    {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        T1* p = new (std::nothrow) T1(pv);
        if (p == nullptr)
            return E_OUTOFMEMORY;
        p->SetVoid(pv);
        HRESULT hr = _AtlFinalConstructOf<T1>::Run(p);
        if (SUCCEEDED(hr))
            hr = p->QueryInterface(riid, ppv);
        // The object is still at count 0 when construction or the query failed.
        if (FAILED(hr))
            delete p;
        return hr;
    }
};

template <HRESULT hr>
class CComFailCreator {
public:
    static HRESULT WINAPI CreateInstance(void*, REFIID, LPVOID* ppv)
    {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        return hr;
    }
};

// T1 without an outer object, T2 with one.
template <class T1, class T2>
class CComCreator2 {
public:
    static HRESULT WINAPI CreateInstance(void* pv, REFIID riid, LPVOID* ppv)
    {
        return pv == nullptr ? T1::CreateInstance(nullptr, riid, ppv) : T2::CreateInstance(pv, riid, ppv);
    }
};

#define DECLARE_NOT_AGGREGATABLE(x) \
public:                             \
    typedef ATL::CComCreator2<ATL::CComCreator<ATL::CComObject<x>>, ATL::CComFailCreator<CLASS_E_NOAGGREGATION>> _CreatorClass;
#define DECLARE_AGGREGATABLE(x) \
public:                         \
    typedef ATL::CComCreator2<ATL::CComCreator<ATL::CComObject<x>>, ATL::CComCreator<ATL::CComAggObject<x>>> _CreatorClass;
#define DECLARE_ONLY_AGGREGATABLE(x) \
public:                              \
    typedef ATL::CComCreator2<ATL::CComFailCreator<E_FAIL>, ATL::CComCreator<ATL::CComAggObject<x>>> _CreatorClass;
#define DECLARE_CLASSFACTORY_EX(cf) typedef ATL::CComCreator<ATL::CComObjectCached<cf>> _ClassFactoryCreatorClass;
#define DECLARE_CLASSFACTORY() DECLARE_CLASSFACTORY_EX(ATL::CComClassFactory)
#define DECLARE_PROTECT_FINAL_CONSTRUCT()
#define DECLARE_NO_REGISTRY() \
    static HRESULT WINAPI UpdateRegistry(BOOL) { return S_OK; }
// The class registers through its module's registry script (resource REGISTRY x).
#define DECLARE_REGISTRY_RESOURCEID(x)                                                      \
    static HRESULT WINAPI UpdateRegistry(BOOL bRegister)                                    \
    {                                                                                       \
        return ATL::_pAtlModule ? ATL::_pAtlModule->UpdateRegistryFromResource(x, bRegister) \
                                : E_UNEXPECTED;                                             \
    }

// --- The class factory. Factories are shared between threads, so their counts are atomic.

class CComClassFactory : public IClassFactory, public CComObjectRootEx<CComMultiThreadModel> {
public:
    BEGIN_COM_MAP(CComClassFactory)
    COM_INTERFACE_ENTRY(IClassFactory)
    END_COM_MAP()

    STDMETHOD(CreateInstance)(LPUNKNOWN pUnkOuter, REFIID riid, void** ppvObj) override
    {
        if (ppvObj == nullptr)
            return E_POINTER;
        *ppvObj = nullptr;
        // An aggregate must hand its outer object the inner IUnknown, nothing else.
        if (pUnkOuter != nullptr && !InlineIsEqualUnknown(riid))
            return CLASS_E_NOAGGREGATION;
        if (m_pfnCreateInstance == nullptr)
            return E_UNEXPECTED;
        return m_pfnCreateInstance(pUnkOuter, riid, ppvObj);
    }
    STDMETHOD(LockServer)(BOOL fLock) override
    {
        if (fLock)
            AtlModuleLock();
        else
            AtlModuleUnlock();
        return S_OK;
    }

    // The creator of the class this factory makes, given by the class table.
    void SetVoid(void* pv) { m_pfnCreateInstance = reinterpret_cast<_ATL_CREATORFUNC*>(pv); }

    _ATL_CREATORFUNC* m_pfnCreateInstance = nullptr;
};

template <class T, const CLSID* pclsid = &GUID_NULL>
class CComCoClass {
public:
    DECLARE_CLASSFACTORY()
    DECLARE_AGGREGATABLE(T)

    static const CLSID& WINAPI GetObjectCLSID() { return *pclsid; }

    template <class Q>
    static HRESULT CreateInstance(IUnknown* punkOuter, Q** pp)
    {
        return T::_CreatorClass::CreateInstance(punkOuter, __uuidof(Q), reinterpret_cast<void**>(pp));
    }
    template <class Q>
    static HRESULT CreateInstance(Q** pp)
    {
        return T::_CreatorClass::CreateInstance(nullptr, __uuidof(Q), reinterpret_cast<void**>(pp));
    }
};

// --- The module's class table. Each OBJECT_ENTRY_AUTO adds one class at static
// initialisation; DllGetClassObject looks it up and hands out one cached factory per class.

typedef HRESULT(WINAPI _ATL_UPDATEREGISTRYFUNC)(BOOL bRegister);

struct _ATL_OBJMAP_ENTRY {
    const CLSID* pclsid;
    _ATL_CREATORFUNC* pfnGetClassObject;  // makes the class factory
    _ATL_CREATORFUNC* pfnCreateInstance;  // makes an object; given to the factory
    IUnknown* pCF;                        // the cached factory, made on first request
    _ATL_OBJMAP_ENTRY* pNext;
    _ATL_UPDATEREGISTRYFUNC* pfnUpdateRegistry;  // the class's registration, if it has one
};

// A class registers itself when it declares UpdateRegistry (DECLARE_REGISTRY_RESOURCEID).
template <class T>
constexpr _ATL_UPDATEREGISTRYFUNC* _AtlUpdateRegistryOf()
{
    if constexpr (requires { &T::UpdateRegistry; })
        return &T::UpdateRegistry;
    else
        return nullptr;
}

QOR_ATL_MODULE_LOCAL inline _ATL_OBJMAP_ENTRY* _pAtlObjMapHead = nullptr;

struct _AtlObjMapRegistrar {
    explicit _AtlObjMapRegistrar(_ATL_OBJMAP_ENTRY* pEntry) noexcept
    {
        pEntry->pNext = _pAtlObjMapHead;
        _pAtlObjMapHead = pEntry;
    }
};

#define QOR_ATL_CONCAT2(a, b) a##b
#define QOR_ATL_CONCAT(a, b) QOR_ATL_CONCAT2(a, b)
#define OBJECT_ENTRY_AUTO(clsid, cls)                                                                  \
    static ATL::_ATL_OBJMAP_ENTRY QOR_ATL_CONCAT(qor_objMap_, cls) = {                                  \
        &(clsid), cls::_ClassFactoryCreatorClass::CreateInstance, cls::_CreatorClass::CreateInstance,     \
        nullptr, nullptr, ATL::_AtlUpdateRegistryOf<cls>()};                                            \
    static ATL::_AtlObjMapRegistrar QOR_ATL_CONCAT(qor_objMapRegistrar_, cls)(&QOR_ATL_CONCAT(qor_objMap_, cls));

// A DLL server's module object: its lock count answers DllCanUnloadNow, its class table
// DllGetClassObject. A server needs little more than:
//   class CMyModule : public CAtlDllModuleT<CMyModule> {} _AtlModule;
//   OBJECT_ENTRY_AUTO(CLSID_My, CMy)
//   STDAPI DllCanUnloadNow() { return _AtlModule.DllCanUnloadNow(); }
//   STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
//   { return _AtlModule.DllGetClassObject(rclsid, riid, ppv); }
//   STDAPI DllRegisterServer() { return _AtlModule.DllRegisterServer(); }
//   STDAPI DllUnregisterServer() { return _AtlModule.DllUnregisterServer(); }
template <class T>
class CAtlDllModuleT : public CAtlModule {
public:
    ~CAtlDllModuleT() override { Term(); }

    HRESULT DllCanUnloadNow() { return GetLockCount() == 0 ? S_OK : S_FALSE; }

    HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) { return GetClassObject(rclsid, riid, ppv); }

    HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
    {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        for (_ATL_OBJMAP_ENTRY* pEntry = _pAtlObjMapHead; pEntry != nullptr; pEntry = pEntry->pNext) {
            if (!IsEqualCLSID(*pEntry->pclsid, rclsid))
                continue;
            std::lock_guard<std::mutex> lock(m_csObjMap);
            if (pEntry->pCF == nullptr) {
                HRESULT hr = pEntry->pfnGetClassObject(reinterpret_cast<void*>(pEntry->pfnCreateInstance),
                                                       IID_IUnknown, reinterpret_cast<void**>(&pEntry->pCF));
                if (FAILED(hr))
                    return hr;
            }
            return pEntry->pCF->QueryInterface(riid, ppv);
        }
        return CLASS_E_CLASSNOTAVAILABLE;
    }

    // Runs the registration of every class in the table that has one, then registers the
    // module's type library (resource TYPELIB 1; per user under per-user registration).
    // The first failure ends it and is the result.
    QOR_ATL_MODULE_LOCAL HRESULT DllRegisterServer(BOOL bRegTypeLib = TRUE)
    {
        for (_ATL_OBJMAP_ENTRY* pEntry = _pAtlObjMapHead; pEntry != nullptr; pEntry = pEntry->pNext) {
            if (pEntry->pfnUpdateRegistry != nullptr) {
                const HRESULT hr = pEntry->pfnUpdateRegistry(TRUE);
                if (FAILED(hr))
                    return hr;
            }
        }
        return bRegTypeLib ? AtlRegisterTypeLib(_AtlModuleInstance(), nullptr) : S_OK;
    }

    // The same in reverse; it goes on after a failure and returns the first one.
    QOR_ATL_MODULE_LOCAL HRESULT DllUnregisterServer(BOOL bUnRegTypeLib = TRUE)
    {
        HRESULT hrFirst = S_OK;
        for (_ATL_OBJMAP_ENTRY* pEntry = _pAtlObjMapHead; pEntry != nullptr; pEntry = pEntry->pNext) {
            if (pEntry->pfnUpdateRegistry != nullptr) {
                const HRESULT hr = pEntry->pfnUpdateRegistry(FALSE);
                if (FAILED(hr) && SUCCEEDED(hrFirst))
                    hrFirst = hr;
            }
        }
        if (bUnRegTypeLib) {
            const HRESULT hr = AtlUnRegisterTypeLib(_AtlModuleInstance(), nullptr);
            if (FAILED(hr) && SUCCEEDED(hrFirst))
                hrFirst = hr;
        }
        return hrFirst;
    }

    // Drops the cached factories; called when the module ends.
    void Term()
    {
        std::lock_guard<std::mutex> lock(m_csObjMap);
        for (_ATL_OBJMAP_ENTRY* pEntry = _pAtlObjMapHead; pEntry != nullptr; pEntry = pEntry->pNext) {
            if (pEntry->pCF != nullptr) {
                IUnknown* pCF = pEntry->pCF;
                pEntry->pCF = nullptr;
                pCF->Release();
            }
        }
    }

private:
    std::mutex m_csObjMap;
};

}  // namespace ATL
