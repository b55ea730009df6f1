// The scan control's module through its exports: self-registration machine-wide and per user,
// the type library keys, the class object with its aggregation rule and the module's lock
// count, and creation through the registry in a fresh process.
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>
#include <atlreg.h>

#include <QORScan.h>

#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>

#include "../platform/registry/registry_fixture.h"

extern char** environ;

namespace {

typedef HRESULT(STDAPICALLTYPE* PFN_CANUNLOAD)();
typedef HRESULT(STDAPICALLTYPE* PFN_GETCLASSOBJECT)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT(STDAPICALLTYPE* PFN_REGISTER)();
typedef HRESULT(STDAPICALLTYPE* PFN_INSTALL)(BOOL, LPCWSTR);

constexpr LPCWSTR kClassKey = u"CLSID\\{7C3E9A52-7700-0000-0000-770000000001}";
constexpr LPCWSTR kUserClassKey = u"Software\\Classes\\CLSID\\{7C3E9A52-7700-0000-0000-770000000001}";
constexpr LPCWSTR kLibId = u"{7C3E9A52-7700-7700-0000-770000000001}";
constexpr LPCWSTR kTypeLibKey = u"Software\\Classes\\TypeLib\\{7C3E9A52-7700-7700-0000-770000000001}";
constexpr LPCWSTR kTypeLibVersion = u"Software\\Classes\\TypeLib\\{7C3E9A52-7700-7700-0000-770000000001}\\1.0";
constexpr LPCWSTR kTypeLibPath = u"Software\\Classes\\TypeLib\\{7C3E9A52-7700-7700-0000-770000000001}\\1.0\\0\\win64";

std::u16string Widen(const char* psz)
{
    std::u16string text;
    for (; *psz; ++psz)
        text += static_cast<char16_t>(static_cast<unsigned char>(*psz));
    return text;
}

// An outer object for aggregation: it only counts its references.
class COuter : public IUnknown {
public:
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        if (!IsEqualIID(riid, IID_IUnknown)) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = this;
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++m_cRef; }
    STDMETHOD_(ULONG, Release)() override { return --m_cRef; }
    ULONG m_cRef = 1;
};

class ServerTest : public RegistryTest {
protected:
    static void SetUpTestSuite()
    {
        s_hModule = LoadLibraryW(Widen(QORSCAN_MODULE_PATH).c_str());
        ASSERT_NE(nullptr, s_hModule);
    }
    static void TearDownTestSuite()
    {
        FreeLibrary(s_hModule);
        s_hModule = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(nullptr, s_hModule);
        RegistryTest::SetUp();
        m_pfnCanUnloadNow = Export<PFN_CANUNLOAD>("DllCanUnloadNow");
        m_pfnGetClassObject = Export<PFN_GETCLASSOBJECT>("DllGetClassObject");
        m_pfnRegister = Export<PFN_REGISTER>("DllRegisterServer");
        m_pfnUnregister = Export<PFN_REGISTER>("DllUnregisterServer");
        m_pfnInstall = Export<PFN_INSTALL>("DllInstall");
        ASSERT_NE(nullptr, m_pfnCanUnloadNow);
        ASSERT_NE(nullptr, m_pfnGetClassObject);
        ASSERT_NE(nullptr, m_pfnRegister);
        ASSERT_NE(nullptr, m_pfnUnregister);
        ASSERT_NE(nullptr, m_pfnInstall);
    }
    void TearDown() override
    {
        // The per-user switch holds for the whole process.
        AtlSetPerUserRegistration(false);
        RegistryTest::TearDown();
    }

    template <class PFN>
    static PFN Export(LPCSTR pszName)
    {
        return reinterpret_cast<PFN>(reinterpret_cast<void*>(GetProcAddress(s_hModule, pszName)));
    }

    static std::u16string ModulePath()
    {
        WCHAR path[MAX_PATH] = {};
        EXPECT_LT(0u, GetModuleFileNameW(s_hModule, path, MAX_PATH));
        return path;
    }

    IClassFactory* ClassFactory()
    {
        IClassFactory* pFactory = nullptr;
        EXPECT_EQ(S_OK, m_pfnGetClassObject(CLSID_QORScan, IID_IClassFactory, reinterpret_cast<void**>(&pFactory)));
        return pFactory;
    }

    // Checks the class key and the type library keys below root\Software\Classes.
    void ExpectRegisteredUnder(HKEY root)
    {
        const std::u16string classKey = kUserClassKey;
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, Open(root, (classKey + u"\\InprocServer32").c_str(), &key));
        EXPECT_EQ(ModulePath(), GetText(key, nullptr));
        EXPECT_EQ(u"Apartment", GetText(key, u"ThreadingModel"));
        RegCloseKey(key);
        ASSERT_EQ(ERROR_SUCCESS, Open(root, (classKey + u"\\TypeLib").c_str(), &key));
        EXPECT_EQ(kLibId, GetText(key, nullptr));
        RegCloseKey(key);
        ASSERT_EQ(ERROR_SUCCESS, Open(root, kUserClassKey, &key));
        EXPECT_EQ((std::vector<std::u16string>{u"InprocServer32", u"TypeLib"}), SubKeys(key));
        RegCloseKey(key);

        ASSERT_EQ(ERROR_SUCCESS, Open(root, kTypeLibVersion, &key));
        EXPECT_EQ(u"QORScan 1.0 Type Library", GetText(key, nullptr));
        RegCloseKey(key);
        ASSERT_EQ(ERROR_SUCCESS, Open(root, kTypeLibPath, &key));
        EXPECT_EQ(ModulePath(), GetText(key, nullptr));
        RegCloseKey(key);
    }

    // Runs a program in a new process with this test's registry; its exit status. The
    // hives this process wrote are closed first, so that the program reads them as they are.
    static int Run(std::vector<std::string> args)
    {
        qor::ResetRegistry();
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            return -1;
        int status = 0;
        if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
            return -2;
        return WEXITSTATUS(status);
    }
    static int RunChild() { return Run({QORSCAN_CHILD_PATH, QORSCAN_MODULE_PATH}); }

    static HMODULE s_hModule;
    PFN_CANUNLOAD m_pfnCanUnloadNow = nullptr;
    PFN_GETCLASSOBJECT m_pfnGetClassObject = nullptr;
    PFN_REGISTER m_pfnRegister = nullptr;
    PFN_REGISTER m_pfnUnregister = nullptr;
    PFN_INSTALL m_pfnInstall = nullptr;
};

HMODULE ServerTest::s_hModule = nullptr;

// --- Registration

TEST_F(ServerTest, InstallForUserWritesTheUsersClassesOnly)
{
    ASSERT_EQ(S_OK, m_pfnInstall(TRUE, u"User"));
    ExpectRegisteredUnder(HKEY_CURRENT_USER);
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kUserClassKey));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kTypeLibKey));
    // The merged view shows the user's registration.
    EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, kClassKey));
}

// The switch is compared with its terminating NUL, ignoring case: "Users" is no switch.
TEST_F(ServerTest, InstallWithoutTheSwitchRegistersMachineWide)
{
    for (LPCWSTR pszSwitch : {static_cast<LPCWSTR>(nullptr), u"Users", u"use"}) {
        ASSERT_EQ(S_OK, m_pfnInstall(TRUE, pszSwitch));
        ExpectRegisteredUnder(HKEY_LOCAL_MACHINE);
        EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kUserClassKey));
        EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kTypeLibKey));
    }
    ASSERT_EQ(S_OK, m_pfnInstall(TRUE, u"USER"));
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kUserClassKey));

    // Uninstalling for the user leaves the machine registration and the CLSID key.
    EXPECT_EQ(S_OK, m_pfnInstall(FALSE, u"user"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kUserClassKey));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kTypeLibKey));
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID"));
    ExpectRegisteredUnder(HKEY_LOCAL_MACHINE);
}

TEST_F(ServerTest, UnregisterRemovesTheClassKeyButNotClsid)
{
    ASSERT_EQ(S_OK, m_pfnRegister());
    ASSERT_TRUE(Exists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_EQ(S_OK, m_pfnUnregister());
    EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, u"CLSID"));
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kTypeLibKey));
}

// The class key is the script's own: whatever was below it before is replaced.
TEST_F(ServerTest, RegisterReplacesTheWholeClassKey)
{
    const std::u16string stale = std::u16string(kUserClassKey) + u"\\ProgID";
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, stale.c_str()));
    ASSERT_EQ(S_OK, m_pfnRegister());
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, stale.c_str()));
    ExpectRegisteredUnder(HKEY_LOCAL_MACHINE);
}

// A machine hive that cannot be opened makes registration fail; the failure is returned and
// nothing is left registered.
TEST_F(ServerTest, InstallReturnsTheRegistrationFailure)
{
    std::filesystem::create_directory(m_folder + "/HKLM.db");
    const HRESULT hr = m_pfnInstall(TRUE, nullptr);
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, kClassKey));
}

// --- The class object and the lock count

TEST_F(ServerTest, ClassObjectIsOnePerProcess)
{
    IClassFactory* pFirst = ClassFactory();
    IClassFactory* pSecond = ClassFactory();
    ASSERT_NE(nullptr, pFirst);
    EXPECT_EQ(pFirst, pSecond);
    pSecond->Release();
    pFirst->Release();

    IUnknown* pUnknown = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, m_pfnGetClassObject(IID_IUnknown, IID_IClassFactory,
                                                             reinterpret_cast<void**>(&pUnknown)));
    EXPECT_EQ(nullptr, pUnknown);
}

TEST_F(ServerTest, CanUnloadNowFollowsObjectsAndLocks)
{
    EXPECT_EQ(S_OK, m_pfnCanUnloadNow());
    IClassFactory* pFactory = ClassFactory();
    ASSERT_NE(nullptr, pFactory);
    // A factory with a reference beyond the module's own keeps the module loaded.
    EXPECT_EQ(S_FALSE, m_pfnCanUnloadNow());

    IPersistPropertyBag* pPersist = nullptr;
    ASSERT_EQ(S_OK, pFactory->CreateInstance(nullptr, IID_IPersistPropertyBag, reinterpret_cast<void**>(&pPersist)));
    ASSERT_EQ(S_OK, pFactory->LockServer(TRUE));
    pFactory->Release();
    EXPECT_EQ(S_FALSE, m_pfnCanUnloadNow());
    pPersist->Release();
    EXPECT_EQ(S_FALSE, m_pfnCanUnloadNow());  // the lock still holds

    pFactory = ClassFactory();
    ASSERT_NE(nullptr, pFactory);
    EXPECT_EQ(S_OK, pFactory->LockServer(FALSE));
    EXPECT_EQ(S_FALSE, m_pfnCanUnloadNow());
    pFactory->Release();
    EXPECT_EQ(S_OK, m_pfnCanUnloadNow());
}

TEST_F(ServerTest, CreateInstanceArguments)
{
    IClassFactory* pFactory = ClassFactory();
    ASSERT_NE(nullptr, pFactory);
    COuter outer;
    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, pFactory->CreateInstance(&outer, IID_IPersistPropertyBag, &pv));
    EXPECT_EQ(nullptr, pv);
    EXPECT_EQ(E_POINTER, pFactory->CreateInstance(nullptr, IID_IUnknown, nullptr));
    pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, pFactory->CreateInstance(nullptr, IID_IClassFactory, &pv));
    EXPECT_EQ(nullptr, pv);
    pFactory->Release();
    // The object that did not answer is gone again.
    EXPECT_EQ(S_OK, m_pfnCanUnloadNow());
    EXPECT_EQ(1u, outer.m_cRef);
}

// Aggregated, the object's interfaces answer for the outer object.
TEST_F(ServerTest, AggregatedObjectDelegatesToItsOuter)
{
    IClassFactory* pFactory = ClassFactory();
    ASSERT_NE(nullptr, pFactory);
    COuter outer;
    IUnknown* pInner = nullptr;
    ASSERT_EQ(S_OK, pFactory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&pInner)));
    pFactory->Release();
    ASSERT_NE(nullptr, pInner);
    EXPECT_NE(static_cast<IUnknown*>(&outer), pInner);

    IPersistPropertyBag* pPersist = nullptr;
    ASSERT_EQ(S_OK, pInner->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&pPersist)));
    EXPECT_EQ(2u, outer.m_cRef);
    IUnknown* pIdentity = nullptr;
    ASSERT_EQ(S_OK, pPersist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pIdentity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), pIdentity);
    pIdentity->Release();
    pPersist->Release();
    EXPECT_EQ(1u, outer.m_cRef);
    EXPECT_EQ(S_FALSE, m_pfnCanUnloadNow());
    EXPECT_EQ(0u, pInner->Release());
    EXPECT_EQ(S_OK, m_pfnCanUnloadNow());
}

// --- A host process

TEST_F(ServerTest, FreshProcessCreatesTheRegisteredClass)
{
    // Not registered: the child cannot create the class.
    EXPECT_EQ(3, RunChild());
    ASSERT_EQ(S_OK, m_pfnInstall(TRUE, u"user"));
    EXPECT_EQ(0, RunChild());
    ASSERT_EQ(S_OK, m_pfnInstall(FALSE, u"user"));
    EXPECT_EQ(3, RunChild());
}

// --- The registration tool

TEST_F(ServerTest, RegistrationToolRegistersAndUnregisters)
{
    EXPECT_EQ(0, Run({QORREGSVR_PATH, QORSCAN_MODULE_PATH}));
    ExpectRegisteredUnder(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kUserClassKey));
    EXPECT_EQ(0, Run({QORREGSVR_PATH, "/i:user", QORSCAN_MODULE_PATH}));
    ExpectRegisteredUnder(HKEY_CURRENT_USER);
    EXPECT_EQ(0, Run({QORREGSVR_PATH, "/u", "/i:user", QORSCAN_MODULE_PATH}));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kUserClassKey));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, kUserClassKey));
    EXPECT_EQ(0, Run({QORREGSVR_PATH, "-u", QORSCAN_MODULE_PATH}));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kUserClassKey));
}

TEST_F(ServerTest, RegistrationToolReportsErrors)
{
    EXPECT_EQ(1, Run({QORREGSVR_PATH}));
    EXPECT_EQ(1, Run({QORREGSVR_PATH, "-x", QORSCAN_MODULE_PATH}));
    EXPECT_EQ(2, Run({QORREGSVR_PATH, m_folder + "/missing.so"}));
    // A module without the entry points.
    EXPECT_EQ(2, Run({QORREGSVR_PATH, QORPLATFORM_PATH}));
    std::filesystem::create_directory(m_folder + "/HKLM.db");
    EXPECT_EQ(3, Run({QORREGSVR_PATH, QORSCAN_MODULE_PATH}));
}

}  // namespace
