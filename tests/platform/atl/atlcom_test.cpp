// COM objects of the ATL layer: the interface table's search order and identity, reference
// counts and lifetimes, aggregation, the class factory and the module's lock count.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "atl_test_objects.h"

namespace {

class CAtlTestModule : public CAtlDllModuleT<CAtlTestModule> {};
CAtlTestModule g_module;

}  // namespace

OBJECT_ENTRY_AUTO(CLSID_AtlTestObject, CAtlTestObject)
OBJECT_ENTRY_AUTO(CLSID_AtlTestSolo, CAtlTestSolo)

namespace {

// Creates a plain object holding one reference through its identity.
CComObject<CAtlTestObject>* NewObject()
{
    CComObject<CAtlTestObject>* p = nullptr;
    EXPECT_EQ(S_OK, CComObject<CAtlTestObject>::CreateInstance(&p));
    if (p != nullptr)
        p->AddRef();
    return p;
}

TEST(AtlComObject, QueryInterfaceFollowsTheTableAndTheFirstEntryIsTheIdentity)
{
    CComObject<CAtlTestObject>* p = NewObject();
    ASSERT_NE(nullptr, p);
    IAtlTestBar* pBarBase = p;
    IAtlTestFoo* pFooBase = p;

    void* pv = nullptr;
    ASSERT_EQ(S_OK, p->QueryInterface(IID_IUnknown, &pv));
    EXPECT_EQ(static_cast<void*>(pBarBase), pv) << "IID_IUnknown answers the first entry";
    static_cast<IUnknown*>(pv)->Release();

    ASSERT_EQ(S_OK, p->QueryInterface(IID_IAtlTestFoo, &pv));
    EXPECT_EQ(static_cast<void*>(pFooBase), pv);
    EXPECT_EQ(1, static_cast<IAtlTestFoo*>(pv)->Foo());
    // Every interface leads back to the same IUnknown.
    void* pvUnk = nullptr;
    ASSERT_EQ(S_OK, static_cast<IAtlTestFoo*>(pv)->QueryInterface(IID_IUnknown, &pvUnk));
    EXPECT_EQ(static_cast<void*>(pBarBase), pvUnk);
    static_cast<IUnknown*>(pvUnk)->Release();
    static_cast<IAtlTestFoo*>(pv)->Release();

    // Two entries answer the alias: the search stops at the first.
    ASSERT_EQ(S_OK, p->QueryInterface(IID_IAtlTestAlias, &pv));
    EXPECT_EQ(static_cast<void*>(pBarBase), pv);
    static_cast<IUnknown*>(pv)->Release();

    pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, p->QueryInterface(IID_IAtlTestNone, &pv));
    EXPECT_EQ(nullptr, pv) << "a failed query clears the out-pointer";
    EXPECT_EQ(E_POINTER, p->QueryInterface(IID_IAtlTestFoo, nullptr));

    EXPECT_EQ(0u, p->Release());
}

TEST(AtlComObject, LivesUntilTheLastReferenceAndLocksTheModuleMeanwhile)
{
    const LONG nLocks = g_module.GetLockCount();
    const AtlTestCounters before = g_atlTestCounters;

    CComObject<CAtlTestObject>* p = nullptr;
    ASSERT_EQ(S_OK, CComObject<CAtlTestObject>::CreateInstance(&p));
    EXPECT_EQ(nLocks + 1, g_module.GetLockCount());
    EXPECT_EQ(before.nConstructed + 1, g_atlTestCounters.nConstructed);

    EXPECT_EQ(1u, p->AddRef()) << "a new object starts at count 0";
    IAtlTestFoo* pFoo = nullptr;
    ASSERT_EQ(S_OK, p->QueryInterface(&pFoo));
    EXPECT_EQ(3u, pFoo->AddRef());
    EXPECT_EQ(2u, pFoo->Release());
    EXPECT_EQ(1u, pFoo->Release());
    EXPECT_EQ(before.nFinalReleased, g_atlTestCounters.nFinalReleased);
    EXPECT_EQ(0u, p->Release());
    EXPECT_EQ(before.nFinalReleased + 1, g_atlTestCounters.nFinalReleased);
    EXPECT_EQ(nLocks, g_module.GetLockCount());

    EXPECT_EQ(E_POINTER, CComObject<CAtlTestObject>::CreateInstance(nullptr));
}

TEST(AtlComObject, FailedFinalConstructDestroysTheObjectAndReportsTheError)
{
    const LONG nLocks = g_module.GetLockCount();
    const AtlTestCounters before = g_atlTestCounters;
    CAtlTestObject::s_hrFinalConstruct = E_ACCESSDENIED;

    CComObject<CAtlTestObject>* p = reinterpret_cast<CComObject<CAtlTestObject>*>(1);
    EXPECT_EQ(E_ACCESSDENIED, CComObject<CAtlTestObject>::CreateInstance(&p));
    EXPECT_EQ(nullptr, p);
    IAtlTestFoo* pFoo = reinterpret_cast<IAtlTestFoo*>(1);
    EXPECT_EQ(E_ACCESSDENIED, CAtlTestObject::CreateInstance(&pFoo));
    EXPECT_EQ(nullptr, pFoo);

    CAtlTestObject::s_hrFinalConstruct = S_OK;
    EXPECT_EQ(before.nConstructed + 2, g_atlTestCounters.nConstructed);
    EXPECT_EQ(before.nFinalReleased + 2, g_atlTestCounters.nFinalReleased);
    EXPECT_EQ(nLocks, g_module.GetLockCount());
}

// --- Aggregation

TEST(AtlComAggregation, InnerUnknownIsNonDelegatingAndInterfacesDelegateToTheOuter)
{
    const LONG nLocks = g_module.GetLockCount();
    const AtlTestCounters before = g_atlTestCounters;
    CAtlTestOuter outer;

    ASSERT_EQ(S_OK, CAtlTestObject::_CreatorClass::CreateInstance(static_cast<IUnknown*>(&outer), IID_IUnknown,
                                                                  reinterpret_cast<void**>(&outer.m_pInner)));
    ASSERT_NE(nullptr, outer.m_pInner);
    EXPECT_EQ(nLocks + 1, g_module.GetLockCount());
    EXPECT_EQ(1, outer.m_nRef) << "creating the inner object takes no reference on the outer";

    // The inner IUnknown answers IID_IUnknown with itself, counting on its own.
    void* pv = nullptr;
    ASSERT_EQ(S_OK, outer.m_pInner->QueryInterface(IID_IUnknown, &pv));
    EXPECT_EQ(static_cast<void*>(outer.m_pInner), pv);
    EXPECT_EQ(1u, outer.m_pInner->Release());

    // Through the outer object: interfaces of the inner one, counted on the outer.
    IAtlTestFoo* pFoo = nullptr;
    ASSERT_EQ(S_OK, outer.QueryInterface(IID_IAtlTestFoo, reinterpret_cast<void**>(&pFoo)));
    EXPECT_EQ(1, pFoo->Foo());
    EXPECT_EQ(2, outer.m_nRef);

    // The aggregate's identity is the outer object, from any of its interfaces.
    IUnknown* pUnk = nullptr;
    ASSERT_EQ(S_OK, pFoo->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pUnk)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), pUnk);
    pUnk->Release();

    // Queries through an inner interface go to the outer's table (here back to the inner one).
    IAtlTestBar* pBar = nullptr;
    ASSERT_EQ(S_OK, pFoo->QueryInterface(IID_IAtlTestBar, reinterpret_cast<void**>(&pBar)));
    EXPECT_EQ(2, pBar->Bar());
    EXPECT_EQ(3, outer.m_nRef);
    pBar->Release();
    pFoo->Release();
    EXPECT_EQ(1, outer.m_nRef);

    // Only the release of the inner IUnknown ends the inner object.
    EXPECT_EQ(before.nFinalReleased, g_atlTestCounters.nFinalReleased);
    EXPECT_EQ(0u, outer.m_pInner->Release());
    outer.m_pInner = nullptr;
    EXPECT_EQ(before.nFinalReleased + 1, g_atlTestCounters.nFinalReleased);
    EXPECT_EQ(nLocks, g_module.GetLockCount());
}

TEST(AtlComAggregation, NotAggregatableClassRefusesAnOuterObject)
{
    CAtlTestOuter outer;
    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              CAtlTestSolo::_CreatorClass::CreateInstance(static_cast<IUnknown*>(&outer), IID_IUnknown, &pv));
    EXPECT_EQ(nullptr, pv);
    EXPECT_EQ(1, outer.m_nRef);
}

// --- Class factory and module

class AtlClassFactory : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, g_module.GetLockCount()) << "an earlier test leaked a lock";
        ASSERT_EQ(S_OK, g_module.DllGetClassObject(CLSID_AtlTestObject, IID_IClassFactory,
                                                   reinterpret_cast<void**>(&m_pFactory)));
    }
    void TearDown() override
    {
        if (m_pFactory != nullptr)
            m_pFactory->Release();
        EXPECT_EQ(0, g_module.GetLockCount());
        EXPECT_EQ(S_OK, g_module.DllCanUnloadNow());
    }

    IClassFactory* m_pFactory = nullptr;
};

TEST_F(AtlClassFactory, ModuleLockCountFollowsFactoryReferencesObjectsAndLockServer)
{
    EXPECT_EQ(1, g_module.GetLockCount()) << "a factory held by a caller locks the module";
    EXPECT_EQ(S_FALSE, g_module.DllCanUnloadNow());

    IAtlTestFoo* pFoo = nullptr;
    ASSERT_EQ(S_OK, m_pFactory->CreateInstance(nullptr, IID_IAtlTestFoo, reinterpret_cast<void**>(&pFoo)));
    EXPECT_EQ(2, g_module.GetLockCount());
    EXPECT_EQ(S_OK, m_pFactory->LockServer(TRUE));
    EXPECT_EQ(3, g_module.GetLockCount());

    m_pFactory->Release();
    m_pFactory = nullptr;
    pFoo->Release();
    EXPECT_EQ(1, g_module.GetLockCount()) << "LockServer(TRUE) outlives the factory reference";
    EXPECT_EQ(S_FALSE, g_module.DllCanUnloadNow());

    IClassFactory* pFactory = nullptr;
    ASSERT_EQ(S_OK, g_module.DllGetClassObject(CLSID_AtlTestObject, IID_IClassFactory,
                                               reinterpret_cast<void**>(&pFactory)));
    EXPECT_EQ(S_OK, pFactory->LockServer(FALSE));
    pFactory->Release();
    EXPECT_EQ(0, g_module.GetLockCount());
    EXPECT_EQ(S_OK, g_module.DllCanUnloadNow());
}

TEST_F(AtlClassFactory, CreateInstanceValidatesInOrderAndRefusesAggregationForOtherInterfaces)
{
    CAtlTestOuter outer;
    // A null out-pointer is reported first, even with an outer object.
    EXPECT_EQ(E_POINTER, m_pFactory->CreateInstance(&outer, IID_IAtlTestFoo, nullptr));
    EXPECT_EQ(E_POINTER, m_pFactory->CreateInstance(nullptr, IID_IAtlTestFoo, nullptr));

    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, m_pFactory->CreateInstance(&outer, IID_IAtlTestFoo, &pv));
    EXPECT_EQ(nullptr, pv);

    // With IID_IUnknown aggregation works: the result is the inner, non-delegating IUnknown.
    ASSERT_EQ(S_OK, m_pFactory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.m_pInner)));
    EXPECT_EQ(2, g_module.GetLockCount());
    IAtlTestBar* pBar = nullptr;
    ASSERT_EQ(S_OK, outer.QueryInterface(IID_IAtlTestBar, reinterpret_cast<void**>(&pBar)));
    EXPECT_EQ(2, outer.m_nRef);
    pBar->Release();
    EXPECT_EQ(0u, outer.m_pInner->Release());
    outer.m_pInner = nullptr;

    pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, m_pFactory->CreateInstance(nullptr, IID_IAtlTestNone, &pv));
    EXPECT_EQ(nullptr, pv);
    EXPECT_EQ(1, g_module.GetLockCount()) << "the object that failed the query is gone";
}

TEST_F(AtlClassFactory, ModuleHandsOutOneCachedFactoryPerClass)
{
    IClassFactory* pAgain = nullptr;
    ASSERT_EQ(S_OK, g_module.DllGetClassObject(CLSID_AtlTestObject, IID_IClassFactory,
                                               reinterpret_cast<void**>(&pAgain)));
    EXPECT_EQ(m_pFactory, pAgain);
    EXPECT_EQ(1, g_module.GetLockCount()) << "one lock however many references callers hold";
    pAgain->Release();

    IClassFactory* pSolo = nullptr;
    ASSERT_EQ(S_OK, g_module.DllGetClassObject(CLSID_AtlTestSolo, IID_IClassFactory,
                                               reinterpret_cast<void**>(&pSolo)));
    EXPECT_NE(m_pFactory, pSolo);
    CAtlTestOuter outer;
    void* pv = nullptr;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, pSolo->CreateInstance(&outer, IID_IUnknown, &pv));
    pSolo->Release();

    pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, g_module.DllGetClassObject(IID_IAtlTestFoo, IID_IClassFactory, &pv));
    EXPECT_EQ(nullptr, pv);
    EXPECT_EQ(E_NOINTERFACE, g_module.DllGetClassObject(CLSID_AtlTestObject, IID_IAtlTestFoo, &pv));
    EXPECT_EQ(E_POINTER, g_module.DllGetClassObject(CLSID_AtlTestObject, IID_IClassFactory, nullptr));
}

TEST(AtlThreadModel, MultiThreadModelCountsAtomically)
{
    LONG nCount = 0;
    constexpr int kThreads = 4;
    constexpr int kSteps = 200000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&nCount] {
            for (int i = 0; i < kSteps; ++i) {
                CComMultiThreadModel::Increment(&nCount);
                CComMultiThreadModel::Increment(&nCount);
                CComMultiThreadModel::Decrement(&nCount);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(kThreads * kSteps, nCount);
}

}  // namespace
