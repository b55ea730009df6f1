// COM activation: apartments, classes registered in the process, and in-process servers
// registered under HKEY_CLASSES_ROOT\CLSID in a temporary registry.
#include <gtest/gtest.h>
#include <objbase.h>
#include <winreg.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "com_test_objects.h"
#include "testserver.h"

namespace {

using comtest::CountedFactory;
using comtest::CountedObject;

DEFINE_GUID(kInProcessClass, 0x0c4b7d21, 0x6a55, 0x4e0f, 0x8d, 0x13, 0x5e, 0x2a, 0x90, 0x41, 0x77, 0x01);
DEFINE_GUID(kUnknownClass, 0x0c4b7d21, 0x6a55, 0x4e0f, 0x8d, 0x13, 0x5e, 0x2a, 0x90, 0x41, 0x77, 0x02);
DEFINE_GUID(kMissingModuleClass, 0x0c4b7d21, 0x6a55, 0x4e0f, 0x8d, 0x13, 0x5e, 0x2a, 0x90, 0x41, 0x77, 0x03);
DEFINE_GUID(kNoExportClass, 0x0c4b7d21, 0x6a55, 0x4e0f, 0x8d, 0x13, 0x5e, 0x2a, 0x90, 0x41, 0x77, 0x04);
DEFINE_GUID(kNoServerKeyClass, 0x0c4b7d21, 0x6a55, 0x4e0f, 0x8d, 0x13, 0x5e, 0x2a, 0x90, 0x41, 0x77, 0x05);
DEFINE_GUID(kWrongClassInModule, 0x0c4b7d21, 0x6a55, 0x4e0f, 0x8d, 0x13, 0x5e, 0x2a, 0x90, 0x41, 0x77, 0x06);
DEFINE_GUID(kLongPathClass, 0x0c4b7d21, 0x6a55, 0x4e0f, 0x8d, 0x13, 0x5e, 0x2a, 0x90, 0x41, 0x77, 0x07);

// Every test of this program sees an empty registry of its own (QOR_REGISTRY_DIR), set
// before any registry call.
class TemporaryRegistry : public ::testing::Environment {
public:
    void SetUp() override
    {
        char pattern[] = "/tmp/qor_com_test_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        m_folder = pattern;
        setenv("QOR_REGISTRY_DIR", m_folder.c_str(), 1);
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

private:
    std::string m_folder;
};
::testing::Environment* const g_registry = ::testing::AddGlobalTestEnvironment(new TemporaryRegistry);

std::u16string ClassKey(REFCLSID clsid)
{
    OLECHAR text[39];
    StringFromGUID2(clsid, text, 39);
    return u"Software\\Classes\\CLSID\\" + std::u16string(text);
}

// Registers clsid for the current user; a null path makes the class key without
// InprocServer32.
void RegisterServer(REFCLSID clsid, const char* path)
{
    const std::u16string keyName = ClassKey(clsid) + (path ? u"\\InprocServer32" : u"");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, keyName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &key, nullptr));
    if (path) {
        const std::u16string value(path, path + std::char_traits<char>::length(path));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                                static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR))));
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExW(key, u"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"Apartment"), 20));
    }
    RegCloseKey(key);
}

// Creates clsid's object and releases it; a failure must leave a null result.
HRESULT Create(REFCLSID clsid, DWORD context = CLSCTX_INPROC_SERVER, IUnknown* outer = nullptr,
               REFIID riid = IID_IUnknown)
{
    void* result = &result;
    const HRESULT hr = CoCreateInstance(clsid, outer, context, riid, &result);
    if (FAILED(hr))
        EXPECT_EQ(nullptr, result);
    else
        static_cast<IUnknown*>(result)->Release();
    return hr;
}

TEST(CoInitialize, IsCountedPerThread)
{
    std::thread([] {
        EXPECT_EQ(S_OK, CoInitialize(nullptr));
        EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
        EXPECT_EQ(RPC_E_CHANGED_MODE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        CoUninitialize();
        CoUninitialize();
        EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        CoUninitialize();
        int reserved = 0;
        EXPECT_EQ(E_INVALIDARG, CoInitializeEx(&reserved, COINIT_APARTMENTTHREADED));
    }).join();
    std::thread([] {
        EXPECT_EQ(S_OK, CoInitialize(nullptr));
        CoUninitialize();
    }).join();
}

TEST(CoRegisterClassObject, ServesTheClassInProcessUntilRevokedOrUsedOnce)
{
    CountedFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK,
              CoRegisterClassObject(kInProcessClass, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
    EXPECT_NE(0u, cookie);
    EXPECT_EQ(2u, factory.Refs());

    IDispatch* object = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(kInProcessClass, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                     reinterpret_cast<void**>(&object)));
    ASSERT_NE(nullptr, object);
    EXPECT_EQ(0u, object->Release());  // the caller holds the only reference
    EXPECT_EQ(2u, factory.Refs());     // the factory reference taken for the call is given back

    IClassFactory* classObject = nullptr;
    ASSERT_EQ(S_OK, CoGetClassObject(kInProcessClass, CLSCTX_ALL, nullptr, IID_IClassFactory,
                                     reinterpret_cast<void**>(&classObject)));
    EXPECT_EQ(static_cast<IClassFactory*>(&factory), classObject);
    classObject->Release();

    // Errors of the factory come through unchanged, with a null result.
    EXPECT_EQ(E_NOINTERFACE, Create(kInProcessClass, CLSCTX_INPROC_SERVER, nullptr, IID_IStream));
    CountedObject outer;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, Create(kInProcessClass, CLSCTX_INPROC_SERVER, &outer));
    // Registered for in-process use only: another context does not find it.
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Create(kInProcessClass, CLSCTX_LOCAL_SERVER));

    ASSERT_EQ(S_OK, CoRevokeClassObject(cookie));
    EXPECT_EQ(1u, factory.Refs());
    EXPECT_EQ(CO_E_OBJNOTREG, CoRevokeClassObject(cookie));
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Create(kInProcessClass));
    EXPECT_EQ(2, factory.Created());

    // Single-use objects are handed out once.
    ASSERT_EQ(S_OK, CoRegisterClassObject(kInProcessClass, &factory, CLSCTX_INPROC_SERVER, REGCLS_SINGLEUSE, &cookie));
    ASSERT_EQ(S_OK, Create(kInProcessClass));
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Create(kInProcessClass));
    EXPECT_EQ(S_OK, CoRevokeClassObject(cookie));
    EXPECT_EQ(1u, factory.Refs());
}

TEST(CoRegisterClassObject, RefusesBadArgumentsAndDuplicates)
{
    CountedFactory factory;
    DWORD cookie = 0;
    EXPECT_EQ(E_INVALIDARG,
              CoRegisterClassObject(kInProcessClass, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, nullptr));
    EXPECT_EQ(E_INVALIDARG,
              CoRegisterClassObject(kInProcessClass, nullptr, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
    ASSERT_EQ(S_OK,
              CoRegisterClassObject(kInProcessClass, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
    DWORD second = 0;
    EXPECT_EQ(CO_E_OBJISREG,
              CoRegisterClassObject(kInProcessClass, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &second));
    EXPECT_EQ(0u, second);
    EXPECT_EQ(S_OK, CoRevokeClassObject(cookie));
    EXPECT_EQ(1u, factory.Refs());
    EXPECT_EQ(E_POINTER, CoCreateInstance(kUnknownClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr));
    EXPECT_EQ(E_INVALIDARG, CoGetClassObject(kUnknownClass, CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown, nullptr));
}



TEST(CoCreateInstance, LoadsTheServerNamedInTheRegistry)
{
    RegisterServer(CLSID_TestServerObject, QOR_TEST_SERVER_MODULE);
    IPersist* persist = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_INPROC_SERVER, IID_IPersist,
                                     reinterpret_cast<void**>(&persist)));
    ASSERT_NE(nullptr, persist);
    CLSID clsid = GUID_NULL;
    EXPECT_EQ(S_OK, persist->GetClassID(&clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_TestServerObject, clsid));
    persist->Release();

    // A second creation uses the module already loaded; results of the server pass through.
    EXPECT_EQ(S_OK, Create(CLSID_TestServerObject, CLSCTX_ALL));
    CountedObject outer;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, Create(CLSID_TestServerObject, CLSCTX_INPROC_SERVER, &outer));
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Create(CLSID_TestServerObject, CLSCTX_LOCAL_SERVER));
}

TEST(CoCreateInstance, ReportsRegistrationAndModuleErrors)
{
    // The server's path padded with "/." to a length: MAX_PATH - 1 characters (MAX_PATH
    // with the NUL) still load, one more is refused although it names the same file.
    const auto paddedServerPath = [](std::size_t length) {
        const std::filesystem::path server(QOR_TEST_SERVER_MODULE);
        std::string path = server.parent_path().string();
        const std::string name = "/" + server.filename().string();
        while (path.size() + name.size() < length)
            path += path.size() + name.size() + 2 <= length ? "/." : "/";
        return path + name;
    };
    const std::string fits = paddedServerPath(MAX_PATH - 1);
    ASSERT_EQ(static_cast<std::size_t>(MAX_PATH - 1), fits.size());
    const std::string tooLong = paddedServerPath(MAX_PATH);
    ASSERT_EQ(static_cast<std::size_t>(MAX_PATH), tooLong.size());
    const struct {
        const CLSID* clsid;
        const char* server;  // "" registers nothing, null only the class key
        HRESULT expected;
    } rows[] = {
        {&kUnknownClass, "", REGDB_E_CLASSNOTREG},
        {&kNoServerKeyClass, nullptr, REGDB_E_CLASSNOTREG},
        {&kMissingModuleClass, "/nonexistent/libmissing.so", CO_E_DLLNOTFOUND},
        {&kWrongClassInModule, QOR_TEST_SERVER_MODULE, CLASS_E_CLASSNOTAVAILABLE},
        {&kLongPathClass, fits.c_str(), CLASS_E_CLASSNOTAVAILABLE},
        {&kLongPathClass, tooLong.c_str(), CO_E_DLLNOTFOUND},
        {&kNoExportClass, QOR_TEST_NOEXPORT_MODULE, CO_E_ERRORINDLL},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.server ? row.server : "(no InprocServer32)");
        if (!row.server || *row.server)
            RegisterServer(*row.clsid, row.server);
        EXPECT_EQ(row.expected, Create(*row.clsid));
    }
}

}  // namespace
