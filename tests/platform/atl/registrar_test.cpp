// The registrar: registry scripts in register and unregister mode, replacements, syntax
// errors, per-user registration, and a module's script and type library from its resources.
#include <atlbase.h>
#include <atlcom.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "../registry/registry_fixture.h"
#include "qor_text.h"

struct IRegistrarTestThing : IUnknown {};
QOR_DEFINE_IID(IRegistrarTestThing, 0x5a1e0005, 0x0000, 0x4000, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05);
DEFINE_GUID(CLSID_RegisteredObject, 0x5A0F3C11, 0x2B7E, 0x4C90, 0x9D, 0x41, 0x6E, 0x8A, 0x1B, 0x2C, 0x3D, 0x03);

// A class of the program's class table with a registry script (resource REGISTRY 103).
class ATL_NO_VTABLE CRegisteredObject : public CComObjectRootEx<CComSingleThreadModel>,
                                        public CComCoClass<CRegisteredObject, &CLSID_RegisteredObject>,
                                        public IRegistrarTestThing {
public:
    DECLARE_REGISTRY_RESOURCEID(103)
    BEGIN_COM_MAP(CRegisteredObject)
    COM_INTERFACE_ENTRY(IRegistrarTestThing)
    END_COM_MAP()
};
OBJECT_ENTRY_AUTO(CLSID_RegisteredObject, CRegisteredObject)

namespace {

constexpr LPCOLESTR kClassId = u"{5A0F3C11-2B7E-4C90-9D41-6E8A1B2C3D02}";
constexpr LPCOLESTR kLibId = u"{5A0F3C11-2B7E-4C90-9D41-6E8A1B2C3D01}";
// The class key below HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER.
constexpr LPCOLESTR kClassKey = u"Software\\Classes\\CLSID\\{5A0F3C11-2B7E-4C90-9D41-6E8A1B2C3D02}";
constexpr LPCOLESTR kTypeLibVersion = u"Software\\Classes\\TypeLib\\{5A0F3C11-2B7E-4C90-9D41-6E8A1B2C3D01}\\1.0";

ATL::_ATL_REGMAP_ENTRY g_map[] = {{u"GUID_CLASS", kClassId}, {u"GUID_LIB", kLibId}, {nullptr, nullptr}};

// A class that registers through the test program's script (resource REGISTRY 101); the
// program's module object is the one of atlcom_test.cpp.
class CRegisteredClass {
public:
    static HRESULT WINAPI UpdateRegistry(BOOL bRegister)
    {
        return ATL::_pAtlModule ? ATL::_pAtlModule->UpdateRegistryFromResource(101, bRegister, g_map) : E_UNEXPECTED;
    }
};

class CResourceIdClass {
public:
    DECLARE_REGISTRY_RESOURCEID(102)
};

// Each test has registry files of its own; the registry of the program's other tests and
// the per-user switch are as before afterwards.
class RegistrarTest : public RegistryTest {
protected:
    void SetUp() override
    {
        const char* previous = std::getenv("QOR_REGISTRY_DIR");
        m_previous = previous ? std::optional<std::string>(previous) : std::nullopt;
        RegistryTest::SetUp();
    }
    void TearDown() override
    {
        AtlSetPerUserRegistration(false);
        RegistryTest::TearDown();
        if (m_previous)
            setenv("QOR_REGISTRY_DIR", m_previous->c_str(), 1);
        else
            unsetenv("QOR_REGISTRY_DIR");
        qor::ResetRegistry();
    }

    static std::u16string ModulePath()
    {
        WCHAR path[MAX_PATH] = {};
        EXPECT_LT(0u, GetModuleFileNameW(nullptr, path, MAX_PATH));
        return path;
    }

    static HRESULT Register(LPCOLESTR script, BOOL bRegister = TRUE)
    {
        ATL::CRegObject registrar;
        registrar.AddReplacement(u"GUID_CLASS", kClassId);
        registrar.AddReplacement(u"Percent", u"%");
        return bRegister ? registrar.StringRegister(script) : registrar.StringUnregister(script);
    }

    std::optional<std::string> m_previous;
};

TEST_F(RegistrarTest, ServerScriptReplacesTheClassAndUnregistersItButNotClsid)
{
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID\\{00000000-0000-0000-0000-0000000000AA}"));
    // ForceRemove deletes stale subkeys and values before writing.
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, (std::u16string(kClassKey) + u"\\LocalServer32\\Old").c_str()));
    HKEY classKey = Create(HKEY_LOCAL_MACHINE, kClassKey);
    EXPECT_EQ(ERROR_SUCCESS, SetText(classKey, u"AppID", u"{stale}"));
    RegCloseKey(classKey);

    ASSERT_EQ(S_OK, CRegisteredClass::UpdateRegistry(TRUE));
    EXPECT_EQ(u"Registrar Test Class", Text(HKEY_LOCAL_MACHINE, kClassKey));
    EXPECT_EQ(ModulePath(), Text(HKEY_LOCAL_MACHINE, (std::u16string(kClassKey) + u"\\InprocServer32").c_str()));
    EXPECT_EQ(u"Apartment", Text(HKEY_CLASSES_ROOT, (std::u16string(u"CLSID\\") + kClassId + u"\\InprocServer32").c_str(),
                                 u"ThreadingModel"));
    EXPECT_EQ(kLibId, Text(HKEY_LOCAL_MACHINE, (std::u16string(kClassKey) + u"\\TypeLib").c_str()));
    EXPECT_EQ((std::vector<std::u16string>{u"InprocServer32", u"TypeLib"}), SubKeysOf(HKEY_LOCAL_MACHINE, kClassKey));
    EXPECT_EQ(u"<error 2>", Text(HKEY_LOCAL_MACHINE, kClassKey, u"AppID"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kClassKey));

    ASSERT_EQ(S_OK, CRegisteredClass::UpdateRegistry(FALSE));
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, (std::u16string(u"CLSID\\") + kClassId).c_str()));
    EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, u"CLSID"));
    EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, u"CLSID\\{00000000-0000-0000-0000-0000000000AA}"));
    // Unregistering what is not there is no error.
    EXPECT_EQ(S_OK, CRegisteredClass::UpdateRegistry(FALSE));
}

TEST_F(RegistrarTest, PerUserRegistrationWritesTheUsersClassesOnly)
{
    ASSERT_EQ(S_OK, AtlSetPerUserRegistration(true));
    bool enabled = false;
    EXPECT_EQ(S_OK, AtlGetPerUserRegistration(&enabled));
    EXPECT_TRUE(enabled);
    EXPECT_EQ(E_POINTER, AtlGetPerUserRegistration(nullptr));

    ASSERT_EQ(S_OK, CRegisteredClass::UpdateRegistry(TRUE));
    EXPECT_EQ(ModulePath(), Text(HKEY_CURRENT_USER, (std::u16string(kClassKey) + u"\\InprocServer32").c_str()));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kClassKey));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID"));

    ASSERT_EQ(S_OK, CRegisteredClass::UpdateRegistry(FALSE));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kClassKey));
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID"));
}

TEST_F(RegistrarTest, ValueTypesFlagsAndQuotedNames)
{
    const LPCOLESTR script = u"HKCU\n"
                             u"{\n"
                             u"  'Test Key' = s 'It''s %Percent%%%'\n"
                             u"  {\n"
                             u"    val Decimal = d '17'\n"
                             u"    val 'Hex Basic' = d '&H55'\n"
                             u"    val HexC = d '0xFFFFFFFF'\n"
                             u"    val Bytes = b '0aFF10'\n"
                             u"    'Sub''Key' = s '%GUID_CLASS%'\n"
                             u"    Delete Gone\n"
                             u"  }\n"
                             u"}\n";
    HKEY gone = Create(HKEY_CURRENT_USER, u"Test Key\\Gone\\Deeper");
    RegCloseKey(gone);

    ASSERT_EQ(S_OK, Register(script));
    EXPECT_EQ(u"It's %%", Text(HKEY_CURRENT_USER, u"Test Key"));
    EXPECT_EQ(kClassId, Text(HKEY_CURRENT_USER, u"Test Key\\Sub'Key"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Test Key\\Gone"));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"Test Key", &key));
    const struct {
        LPCWSTR name;
        DWORD type;
        std::vector<BYTE> bytes;
    } expected[] = {{u"Decimal", REG_DWORD, {17, 0, 0, 0}},
                    {u"Hex Basic", REG_DWORD, {0x55, 0, 0, 0}},
                    {u"HexC", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}},
                    {u"Bytes", REG_BINARY, {0x0A, 0xFF, 0x10}}};
    for (const auto& value : expected) {
        BYTE data[16] = {};
        DWORD size = sizeof data, type = 0;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, value.name, nullptr, &type, data, &size));
        EXPECT_EQ(value.type, type);
        EXPECT_EQ(value.bytes, std::vector<BYTE>(data, data + size));
    }
    RegCloseKey(key);

    // Unregister: named values and keys go; the key stays while a foreign subkey is left.
    HKEY foreign = Create(HKEY_CURRENT_USER, u"Test Key\\Foreign");
    RegCloseKey(foreign);
    ASSERT_EQ(S_OK, Register(script, FALSE));
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"Test Key\\Foreign"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Test Key\\Sub'Key"));
    EXPECT_EQ(u"<error 2>", Text(HKEY_CURRENT_USER, u"Test Key", u"Decimal"));
    EXPECT_EQ(u"It's %%", Text(HKEY_CURRENT_USER, u"Test Key"));
}

TEST_F(RegistrarTest, ScriptFaultsFailWithoutWritingAnything)
{
    // Each script writes a key first, then goes wrong.
    const LPCOLESTR scripts[] = {
        u"HKCU { Written = s 'x' }  HKCU { Broken = s 'x' ",       // unclosed brace
        u"HKCU { Written = s 'x' Broken = s 'no end }",            // unterminated text
        u"HKCU { Written = s 'x' Broken = q 'x' }",                // unknown type
        u"HKCU { Written = s 'x' Broken = d '12a' }",              // not a number
        u"HKCU { Written = s 'x' Broken = d '4294967296' }",       // too large for a DWORD
        u"HKCU { Written = s 'x' Broken = b 'abc' }",              // odd number of hex digits
        u"HKCU { Written = s 'x' } HKXX { Broken }",               // unknown root
        u"HKCU { Written = s 'x' Broken = }",                      // no value
        u"HKCU { Written = s 'x' Broken } }",                      // a stray brace
        u"HKCU { Written = s 'x' NoRemove }",                      // a flag without a key
        u"HKCU { Written = s 'x' } HKLM { val Broken = s 'x' }",    // a value at a root
        u"HKCU { Written = s 'x' val = s 'x' }",                   // a value without a name
        u"HKCU { Written = s 'x' 'a'b }",                          // text run into a word
        u"HKCU { Written = s '%UNKNOWN%' }",                       // not in the map
        u"HKCU { Written = s '100% sure' }",                       // a lone percent sign
        u"HKCU { Written = s 'x' Broken = s '' ''' }",             // quote left open
    };
    for (LPCOLESTR script : scripts) {
        SCOPED_TRACE(qor::ToUtf8(script));
        EXPECT_EQ(DISP_E_EXCEPTION, Register(script));
        EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Written"));
    }
    EXPECT_EQ(E_INVALIDARG, Register(nullptr));
}

TEST_F(RegistrarTest, FailedWriteTakesBackWhatTheScriptWrote)
{
    HKEY kept = Create(HKEY_CURRENT_USER, u"Kept");
    RegCloseKey(kept);
    // HKEY_USERS refuses writes on this platform.
    const LPCOLESTR script = u"HKCU { NoRemove Kept { Written = s 'x' } Other } HKU { Refused }";
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), Register(script));
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"Kept"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Kept\\Written"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Other"));
}

TEST_F(RegistrarTest, DeeplyNestedScriptIsRefusedWithoutExhaustingTheStack)
{
    std::u16string script = u"HKCU {";
    for (int i = 0; i < 10000; ++i)
        script += u" K {";
    for (int i = 0; i < 10000; ++i)
        script += u" }";
    script += u" }";
    EXPECT_EQ(DISP_E_EXCEPTION, Register(script.c_str()));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"K"));
}

TEST_F(RegistrarTest, ScriptFromAModuleFileOrAMissingResource)
{
    ATL::CRegObject registrar;
    registrar.AddReplacement(u"GUID_CLASS", kClassId);
    registrar.AddReplacement(u"GUID_LIB", kLibId);
    // Replacements are inserted as they are, so a quote inside a quoted text is doubled.
    registrar.AddReplacement(u"MODULE", u"C:\\It''s\\here.dll");
    ASSERT_EQ(S_OK, registrar.ResourceRegister(ModulePath().c_str(), 101, u"REGISTRY"));
    EXPECT_EQ(u"C:\\It's\\here.dll", Text(HKEY_LOCAL_MACHINE, (std::u16string(kClassKey) + u"\\InprocServer32").c_str()));
    ASSERT_EQ(S_OK, registrar.ResourceUnregisterSz(ModulePath().c_str(), u"#101", u"registry"));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kClassKey));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND), CResourceIdClass::UpdateRegistry(TRUE));
}

// A UTF-8 script (here with its byte order mark) carries text beyond ASCII, surrogate pairs
// included; a byte that is not UTF-8 refuses the whole script instead of writing a garbled name.
TEST_F(RegistrarTest, ResourceScriptsInUtf8)
{
    ATL::CRegObject registrar;
    ASSERT_EQ(S_OK, registrar.ResourceRegister(ModulePath().c_str(), 104, u"REGISTRY"));
    EXPECT_EQ(u"Caf\u00e9 \u20ac \U0001F4C4", Text(HKEY_LOCAL_MACHINE, u"Software\\RegistrarTestUtf8"));
    ASSERT_EQ(S_OK, registrar.ResourceUnregister(ModulePath().c_str(), 104, u"REGISTRY"));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Software\\RegistrarTestUtf8"));

    EXPECT_EQ(DISP_E_EXCEPTION, registrar.ResourceRegister(ModulePath().c_str(), 105, u"REGISTRY"));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Software\\RegistrarTestBadUtf8"));
}

class CRegistrarTestModule : public CAtlDllModuleT<CRegistrarTestModule> {};

TEST_F(RegistrarTest, DllModuleRegistersItsClassesAndTypeLibrary)
{
    constexpr LPCOLESTR kObjectKey = u"Software\\Classes\\CLSID\\{5A0F3C11-2B7E-4C90-9D41-6E8A1B2C3D03}";
    // The program's own module object comes back when this one is gone.
    ATL::CAtlModule* const pProgramModule = ATL::_pAtlModule;
    {
        CRegistrarTestModule module;
        ASSERT_EQ(S_OK, module.DllRegisterServer());
        EXPECT_EQ(u"Registered Object", Text(HKEY_LOCAL_MACHINE, kObjectKey));
        EXPECT_EQ(ModulePath(), Text(HKEY_LOCAL_MACHINE, (std::u16string(kObjectKey) + u"\\InprocServer32").c_str()));
        EXPECT_EQ(ModulePath(), Text(HKEY_LOCAL_MACHINE, (std::u16string(kTypeLibVersion) + u"\\0\\win64").c_str()));

        ASSERT_EQ(S_OK, module.DllUnregisterServer());
        EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kObjectKey));
        EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID"));
        EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kTypeLibVersion));

        // Per user, and without the type library.
        AtlSetPerUserRegistration(true);
        ASSERT_EQ(S_OK, module.DllRegisterServer(FALSE));
        EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kObjectKey));
        EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kObjectKey));
        EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kTypeLibVersion));
        ASSERT_EQ(S_OK, module.DllUnregisterServer(FALSE));
        EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kObjectKey));
    }
    ATL::_pAtlModule = pProgramModule;
}

TEST_F(RegistrarTest, ModuleTypeLibraryRegistersMachineWideOrForTheUser)
{
    ASSERT_EQ(S_OK, ATL::AtlRegisterTypeLib(HINST_THISCOMPONENT, nullptr));
    EXPECT_EQ(u"ATL Test 1.0 Type Library", Text(HKEY_LOCAL_MACHINE, kTypeLibVersion));
    EXPECT_EQ(ModulePath(), Text(HKEY_LOCAL_MACHINE, (std::u16string(kTypeLibVersion) + u"\\0\\win64").c_str()));
    EXPECT_EQ(u"\\help\\docs", Text(HKEY_LOCAL_MACHINE, (std::u16string(kTypeLibVersion) + u"\\HELPDIR").c_str()));
    ASSERT_EQ(S_OK, ATL::AtlUnRegisterTypeLib(HINST_THISCOMPONENT, nullptr));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\TypeLib\\{5A0F3C11-2B7E-4C90-9D41-6E8A1B2C3D01}"));

    // Per user: RegisterTypeLibForUser, found by name in OLEAUT32.DLL.
    AtlSetPerUserRegistration(true);
    ASSERT_EQ(S_OK, ATL::AtlRegisterTypeLib(HINST_THISCOMPONENT, nullptr));
    EXPECT_EQ(ModulePath(), Text(HKEY_CURRENT_USER, (std::u16string(kTypeLibVersion) + u"\\0\\win64").c_str()));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\TypeLib\\{5A0F3C11-2B7E-4C90-9D41-6E8A1B2C3D01}"));
    ASSERT_EQ(S_OK, ATL::AtlUnRegisterTypeLib(HINST_THISCOMPONENT, nullptr));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Software\\Classes\\TypeLib\\{5A0F3C11-2B7E-4C90-9D41-6E8A1B2C3D01}"));

    EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, ATL::AtlRegisterTypeLib(HINST_THISCOMPONENT, u"7"));
}

}  // namespace
