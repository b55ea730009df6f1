// QORScan.dll through its exports on Windows: class objects and the lock count, registration
// machine-wide and per user as regsvr32 runs it, and the resources windres put into it.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <QORScan.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const wchar_t kClassKey[] = L"CLSID\\{7C3E9A52-7700-0000-0000-770000000001}";
const wchar_t kLibraryKey[] = L"TypeLib\\{7C3E9A52-7700-7700-0000-770000000001}";

class ModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_hModule = LoadLibraryW(L"QORScan.dll");
        ASSERT_NE(nullptr, s_hModule);
        wchar_t szPath[MAX_PATH];
        const DWORD cch = GetModuleFileNameW(s_hModule, szPath, MAX_PATH);
        ASSERT_TRUE(cch > 0 && cch < MAX_PATH);
        s_strPath = szPath;
    }
    static void TearDownTestSuite() { FreeLibrary(s_hModule); }

    template <class Function>
    static Function Export(const char* pszName)
    {
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(s_hModule, pszName)));
    }
    static HRESULT Call(const char* pszName) { return Export<HRESULT(STDAPICALLTYPE*)()>(pszName)(); }
    static HRESULT Install(BOOL bInstall, LPCWSTR pszCmdLine)
    {
        return Export<HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR)>("DllInstall")(bInstall, pszCmdLine);
    }
    static HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
    {
        return Export<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(rclsid, riid, ppv);
    }

    // The text of a REG_SZ value, or "<none>" when the key or the value is missing.
    static std::wstring Text(HKEY hRoot, const std::wstring& strKey, LPCWSTR pszValue = nullptr)
    {
        wchar_t szText[MAX_PATH * 2] = {};
        DWORD cbText = sizeof(szText);
        if (RegGetValueW(hRoot, strKey.c_str(), pszValue, RRF_RT_REG_SZ, nullptr, szText, &cbText) != ERROR_SUCCESS)
            return L"<none>";
        return szText;
    }
    static bool KeyExists(HKEY hRoot, const std::wstring& strKey)
    {
        HKEY hKey = nullptr;
        if (RegOpenKeyExW(hRoot, strKey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
            return false;
        RegCloseKey(hKey);
        return true;
    }

    static inline HMODULE s_hModule = nullptr;
    static inline std::wstring s_strPath;
};

TEST_F(ModuleTest, ClassObjectsAnswerOnlyTheControlsClass)
{
    IClassFactory* pFactory = nullptr;
    EXPECT_EQ(E_POINTER, GetClassObject(CLSID_QORScan, IID_IClassFactory, nullptr));
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              GetClassObject(IID_IQORNotify, IID_IClassFactory, reinterpret_cast<void**>(&pFactory)));
    EXPECT_EQ(nullptr, pFactory);
    EXPECT_EQ(E_NOINTERFACE, GetClassObject(CLSID_QORScan, IID_IQORNotify, reinterpret_cast<void**>(&pFactory)));
    ASSERT_EQ(S_OK, GetClassObject(CLSID_QORScan, IID_IClassFactory, reinterpret_cast<void**>(&pFactory)));

    // An outer object may only ask for the inner IUnknown.
    IUnknown* pUnk = nullptr;
    EXPECT_EQ(E_POINTER, pFactory->CreateInstance(nullptr, IID_IUnknown, nullptr));
    EXPECT_EQ(CLASS_E_NOAGGREGATION, pFactory->CreateInstance(pFactory, IID_IQORNotify, reinterpret_cast<void**>(&pUnk)));
    EXPECT_EQ(nullptr, pUnk);

    // Objects and LockServer locks keep the module loaded; the factory alone does not.
    EXPECT_EQ(S_FALSE, Call("DllCanUnloadNow"));
    ASSERT_EQ(S_OK, pFactory->CreateInstance(nullptr, IID_IQORNotify, reinterpret_cast<void**>(&pUnk)));
    pFactory->Release();
    EXPECT_EQ(S_FALSE, Call("DllCanUnloadNow"));
    pUnk->Release();
    EXPECT_EQ(S_OK, Call("DllCanUnloadNow"));
    ASSERT_EQ(S_OK, GetClassObject(CLSID_QORScan, IID_IClassFactory, reinterpret_cast<void**>(&pFactory)));
    ASSERT_EQ(S_OK, pFactory->LockServer(TRUE));
    pFactory->Release();
    EXPECT_EQ(S_FALSE, Call("DllCanUnloadNow"));
    ASSERT_EQ(S_OK, GetClassObject(CLSID_QORScan, IID_IClassFactory, reinterpret_cast<void**>(&pFactory)));
    ASSERT_EQ(S_OK, pFactory->LockServer(FALSE));
    pFactory->Release();
    EXPECT_EQ(S_OK, Call("DllCanUnloadNow"));
}

// What regsvr32 QORScan.dll and regsvr32 /u QORScan.dll leave in the registry.
TEST_F(ModuleTest, MachineRegistrationWritesAndRemovesTheClassAndItsLibrary)
{
    const std::wstring strServer = std::wstring(L"Software\\Classes\\") + kClassKey + L"\\InprocServer32";
    ASSERT_EQ(S_OK, Call("DllRegisterServer"));
    EXPECT_EQ(s_strPath, Text(HKEY_LOCAL_MACHINE, strServer));
    EXPECT_EQ(L"Apartment", Text(HKEY_LOCAL_MACHINE, strServer, L"ThreadingModel"));
    EXPECT_EQ(L"{7C3E9A52-7700-7700-0000-770000000001}",
              Text(HKEY_CLASSES_ROOT, std::wstring(kClassKey) + L"\\TypeLib"));
    EXPECT_EQ(s_strPath, Text(HKEY_CLASSES_ROOT, std::wstring(kLibraryKey) + L"\\1.0\\0\\win64"));
    EXPECT_EQ(L"QORScan 1.0 Type Library", Text(HKEY_CLASSES_ROOT, std::wstring(kLibraryKey) + L"\\1.0"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::wstring(L"Software\\Classes\\") + kClassKey));

    // The class is created through the registry, as a host does.
    IUnknown* pUnk = nullptr;
    ASSERT_EQ(S_OK, CoInitialize(nullptr));
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_QORScan, nullptr, CLSCTX_INPROC_SERVER, IID_IQORAdvice,
                                     reinterpret_cast<void**>(&pUnk)));
    if (pUnk != nullptr)
        pUnk->Release();
    CoUninitialize();

    ASSERT_EQ(S_OK, Call("DllUnregisterServer"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kLibraryKey));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID")) << "NoRemove keeps the shared key";
}

// regsvr32 /i:user /n QORScan.dll and its /u form: DllInstall with "user" in any case. The
// switch holds for the rest of the process, as in ATL, so this test runs after the machine one.
TEST_F(ModuleTest, PerUserRegistrationStaysInTheUsersClasses)
{
    const std::wstring strUserClass = std::wstring(L"Software\\Classes\\") + kClassKey;
    ASSERT_EQ(S_OK, Install(TRUE, L"USER"));
    EXPECT_EQ(s_strPath, Text(HKEY_CURRENT_USER, strUserClass + L"\\InprocServer32"));
    EXPECT_EQ(L"Apartment", Text(HKEY_CURRENT_USER, strUserClass + L"\\InprocServer32", L"ThreadingModel"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, strUserClass));
    // Windows keeps the library under the user's classes too; Wine registers it machine-wide.
    // Both show it through HKEY_CLASSES_ROOT.
    EXPECT_EQ(s_strPath, Text(HKEY_CLASSES_ROOT, std::wstring(kLibraryKey) + L"\\1.0\\0\\win64"));
    ASSERT_EQ(S_OK, Install(FALSE, L"user"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, strUserClass));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kLibraryKey));
}

// The resources the module loads by id: a wrong id or type in the resource script shows here.
TEST_F(ModuleTest, ResourcesAreWhereTheModuleLooksForThem)
{
    const struct {
        int nId;
        LPCWSTR pszType;
    } rgResources[] = {{102, L"REGISTRY"}, {1, L"TYPELIB"}, {103, L"JPEG"}, {112, L"JPEG"}, {104, L"PNG"}};
    for (const auto& resource : rgResources) {
        HRSRC hResource = FindResourceW(s_hModule, MAKEINTRESOURCEW(resource.nId), resource.pszType);
        ASSERT_NE(nullptr, hResource) << resource.nId;
        EXPECT_GT(SizeofResource(s_hModule, hResource), 100u) << resource.nId;
    }
    for (int nCursor = 105; nCursor <= 110; ++nCursor)
        EXPECT_NE(nullptr, LoadCursorW(s_hModule, MAKEINTRESOURCEW(nCursor))) << nCursor;

    wchar_t szText[128];
    ASSERT_EQ(7, LoadStringW(s_hModule, 100, szText, 128));
    EXPECT_STREQ(L"QORScan", szText);
    EXPECT_GT(LoadStringW(s_hModule, 104, szText, 128), 20);

    // The product name the control puts on its message boxes, in both code pages it asks for.
    DWORD dwHandle = 0;
    const DWORD cbInfo = GetFileVersionInfoSizeW(s_strPath.c_str(), &dwHandle);
    ASSERT_GT(cbInfo, 0u);
    std::vector<BYTE> info(cbInfo);
    ASSERT_TRUE(GetFileVersionInfoW(s_strPath.c_str(), 0, cbInfo, info.data()));
    for (LPCWSTR pszKey : {L"\\StringFileInfo\\040904E4\\ProductName", L"\\StringFileInfo\\040904B0\\ProductName"}) {
        LPVOID pValue = nullptr;
        UINT cchValue = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), pszKey, &pValue, &cchValue)) << pszKey;
        EXPECT_STREQ(L"Scrivane", static_cast<LPCWSTR>(pValue));
    }
}

}  // namespace
