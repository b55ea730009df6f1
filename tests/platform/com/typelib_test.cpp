// Type libraries: loading from a module's TYPELIB resources and from files, what ITypeLib
// reports, corrupt libraries, and registration machine-wide and per user with the keys
// Windows writes.
#include <gtest/gtest.h>
#include <objbase.h>
#include <oleauto.h>
#include <winreg.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "../registry/registry_fixture.h"
#include "qor_text.h"

namespace {

DEFINE_GUID(kLibId, 0x6B1E2D33, 0x4C5F, 0x4A61, 0x8B, 0x72, 0x9C, 0x0D, 0x1E, 0x2F, 0x3A, 0x01);
DEFINE_GUID(kOtherLibId, 0x6B1E2D33, 0x4C5F, 0x4A61, 0x8B, 0x72, 0x9C, 0x0D, 0x1E, 0x2F, 0x3A, 0x99);

constexpr LPCOLESTR kLibraryKey = u"Software\\Classes\\TypeLib\\{6B1E2D33-4C5F-4A61-8B72-9C0D1E2F3A01}";

std::u16string ProgramPath()
{
    WCHAR path[MAX_PATH] = {};
    EXPECT_LT(0u, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return path;
}

// A library loaded for a test, released at its end.
struct Loaded {
    ITypeLib* lib = nullptr;
    HRESULT hr = E_FAIL;
    explicit Loaded(const std::u16string& path) { hr = LoadTypeLib(path.c_str(), &lib); }
    ~Loaded()
    {
        if (lib)
            lib->Release();
    }
};

// Each test has registry files of its own; the registry of the program's other tests is as
// before afterwards.
class TypeLibTest : public RegistryTest {
protected:
    void SetUp() override
    {
        const char* previous = std::getenv("QOR_REGISTRY_DIR");
        m_previous = previous ? std::optional<std::string>(previous) : std::nullopt;
        RegistryTest::SetUp();
    }
    void TearDown() override
    {
        RegistryTest::TearDown();
        if (m_previous)
            setenv("QOR_REGISTRY_DIR", m_previous->c_str(), 1);
        else
            unsetenv("QOR_REGISTRY_DIR");
        qor::ResetRegistry();
    }

    std::u16string WriteFile(const char* name, const std::string& bytes)
    {
        const std::string path = m_folder + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return qor::ToUtf16(path);
    }

    std::optional<std::string> m_previous;
};

TEST_F(TypeLibTest, ModuleResourceDescribesTheLibrary)
{
    Loaded loaded(ProgramPath());
    ASSERT_EQ(S_OK, loaded.hr);
    ITypeLib* lib = loaded.lib;

    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(kLibId, attr->guid));
    EXPECT_EQ(0u, attr->lcid);
    EXPECT_EQ(SYS_WIN64, attr->syskind);
    EXPECT_EQ(1, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    EXPECT_EQ(LIBFLAG_FCONTROL, attr->wLibFlags);
    lib->ReleaseTLibAttr(attr);

    BSTR name = nullptr, doc = nullptr, file = nullptr;
    DWORD context = 99;
    ASSERT_EQ(S_OK, lib->GetDocumentation(-1, &name, &doc, &context, &file));
    EXPECT_EQ(std::u16string(u"ScanTestLib"), name);
    EXPECT_EQ(std::u16string(u"Scan Test 1.0 Type Library"), doc);
    EXPECT_EQ(std::u16string(u"C:\\Help\\It's\\scan.chm"), file);
    EXPECT_EQ(0u, context);
    SysFreeString(name);
    SysFreeString(doc);
    SysFreeString(file);

    EXPECT_EQ(1u, lib->GetTypeInfoCount());
    TYPEKIND kind = TKIND_MAX;
    EXPECT_EQ(S_OK, lib->GetTypeInfoType(0, &kind));
    EXPECT_EQ(TKIND_COCLASS, kind);
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, lib->GetTypeInfoType(1, &kind));
    name = doc = nullptr;
    ASSERT_EQ(S_OK, lib->GetDocumentation(0, &name, &doc, nullptr, nullptr));
    EXPECT_EQ(std::u16string(u"ScanTest"), name);
    EXPECT_EQ(nullptr, doc);
    SysFreeString(name);
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, lib->GetDocumentation(1, &name, nullptr, nullptr, nullptr));
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, lib->GetDocumentation(-2, &name, nullptr, nullptr, nullptr));

    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(E_NOTIMPL, lib->GetTypeInfo(0, &info));
    EXPECT_EQ(nullptr, info);
}

TEST_F(TypeLibTest, ResourceNumberAfterTheModulePath)
{
    Loaded wide(ProgramPath() + u"\\2");
    ASSERT_EQ(S_OK, wide.hr);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, wide.lib->GetLibAttr(&attr));
    EXPECT_EQ(2, attr->wMajorVerNum);
    EXPECT_EQ(10, attr->wMinorVerNum);
    EXPECT_EQ(0x409u, attr->lcid);
    wide.lib->ReleaseTLibAttr(attr);
    EXPECT_EQ(2u, wide.lib->GetTypeInfoCount());
    BSTR doc = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(S_OK, wide.lib->GetDocumentation(-1, nullptr, &doc, nullptr, nullptr));
    EXPECT_EQ(nullptr, doc);

    EXPECT_EQ(TYPE_E_INVDATAREAD, Loaded(ProgramPath() + u"\\3").hr);
    EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, Loaded(ProgramPath() + u"\\9").hr);
    EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, Loaded(ProgramPath() + u"\\0").hr);
    EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, Loaded(ProgramPath() + u"\\x").hr);
    // A module without type libraries.
    EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, Loaded(qor::ToUtf16(QOR_TEST_NOEXPORT_MODULE)).hr);
}

TEST_F(TypeLibTest, StandaloneFilesAndTheirFaults)
{
    const std::string good = "QORTYPELIB 1\nlibrary FileLib\nuuid {6B1E2D33-4C5F-4A61-8B72-9C0D1E2F3A01}\nversion 3.4\n";
    Loaded file(WriteFile("good.tlb", good));
    ASSERT_EQ(S_OK, file.hr);
    BSTR name = nullptr;
    ASSERT_EQ(S_OK, file.lib->GetDocumentation(-1, &name, nullptr, nullptr, nullptr));
    EXPECT_EQ(std::u16string(u"FileLib"), name);
    SysFreeString(name);
    EXPECT_EQ(0u, file.lib->GetTypeInfoCount());

    const struct {
        const char* name;
        std::string bytes;
        HRESULT expected;
    } faults[] = {
        {"empty", "", TYPE_E_CANTLOADLIBRARY},
        {"text", "just some text\n", TYPE_E_CANTLOADLIBRARY},
        {"binary", std::string("MSFT\0\0\x01\x02\xff", 9), TYPE_E_CANTLOADLIBRARY},
        {"open quote", "'unterminated\n", TYPE_E_CANTLOADLIBRARY},
        {"format 2", "QORTYPELIB 2\n", TYPE_E_UNSUPFORMAT},
        {"no uuid", "QORTYPELIB 1\nlibrary X\nversion 1.0\n", TYPE_E_INVDATAREAD},
        {"no version", "QORTYPELIB 1\nlibrary X\nuuid {6B1E2D33-4C5F-4A61-8B72-9C0D1E2F3A01}\n", TYPE_E_INVDATAREAD},
        {"two names", good + "library Y\n", TYPE_E_INVDATAREAD},
        {"big version", "QORTYPELIB 1\nlibrary X\nuuid {6B1E2D33-4C5F-4A61-8B72-9C0D1E2F3A01}\nversion 1.65536\n",
         TYPE_E_INVDATAREAD},
        {"bad coclass", good + "coclass Thing {not-a-guid}\n", TYPE_E_INVDATAREAD},
        {"short coclass", good + "coclass Thing\n", TYPE_E_INVDATAREAD},
        {"unknown", good + "interface IThing\n", TYPE_E_INVDATAREAD},
        {"open text", good + "helpstring 'no end\n", TYPE_E_INVDATAREAD},
        {"bad utf8", good + "helpstring '\xC3'\n", TYPE_E_CANTLOADLIBRARY},
        {"huge", "QORTYPELIB 1\n" + std::string(2 << 20, '#'), TYPE_E_INVDATAREAD},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.name);
        Loaded loaded(WriteFile("fault.tlb", fault.bytes));
        EXPECT_EQ(fault.expected, loaded.hr);
        EXPECT_EQ(nullptr, loaded.lib);
    }
    // A resource number means nothing after a file that is not a module.
    EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, Loaded(WriteFile("good.tlb", good) + u"\\1").hr);
    EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, Loaded(qor::ToUtf16(m_folder + "/missing.tlb")).hr);
    EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, Loaded(qor::ToUtf16(m_folder)).hr);

    ITypeLib* lib = reinterpret_cast<ITypeLib*>(1);
    EXPECT_EQ(E_INVALIDARG, LoadTypeLib(nullptr, &lib));
    EXPECT_EQ(nullptr, lib);
    EXPECT_EQ(E_INVALIDARG, LoadTypeLib(u"x", nullptr));
}

TEST_F(TypeLibTest, RegisterWritesTheKeysWindowsWritesAndUnregisterKeepsOtherLocales)
{
    Loaded loaded(ProgramPath());
    ASSERT_EQ(S_OK, loaded.hr);
    ASSERT_EQ(S_OK, RegisterTypeLib(loaded.lib, u"C:\\Server\\scan.dll", u"C:\\Help"));

    const std::u16string version = std::u16string(kLibraryKey) + u"\\1.0";
    EXPECT_EQ((std::vector<std::u16string>{u"1.0"}), SubKeysOf(HKEY_LOCAL_MACHINE, kLibraryKey));
    EXPECT_EQ((std::vector<std::u16string>{u"0", u"FLAGS", u"HELPDIR"}), SubKeysOf(HKEY_LOCAL_MACHINE, version));
    EXPECT_EQ((std::vector<std::u16string>{u"win64"}), SubKeysOf(HKEY_LOCAL_MACHINE, version + u"\\0"));
    EXPECT_EQ(u"Scan Test 1.0 Type Library", Text(HKEY_LOCAL_MACHINE, version));
    EXPECT_EQ(u"C:\\Server\\scan.dll", Text(HKEY_LOCAL_MACHINE, version + u"\\0\\win64"));
    EXPECT_EQ(u"2", Text(HKEY_LOCAL_MACHINE, version + u"\\FLAGS"));
    EXPECT_EQ(u"C:\\Help", Text(HKEY_LOCAL_MACHINE, version + u"\\HELPDIR"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kLibraryKey));

    // A second version of the same library: the version in hex, the locale in hex, the
    // name when there is no help string, an empty HELPDIR without a help folder.
    Loaded wide(ProgramPath() + u"\\2");
    ASSERT_EQ(S_OK, wide.hr);
    ASSERT_EQ(S_OK, RegisterTypeLib(wide.lib, u"/opt/wide.so", nullptr));
    const std::u16string wideVersion = std::u16string(kLibraryKey) + u"\\2.a";
    EXPECT_EQ(u"WideLib", Text(HKEY_LOCAL_MACHINE, wideVersion));
    EXPECT_EQ(u"/opt/wide.so", Text(HKEY_LOCAL_MACHINE, wideVersion + u"\\409\\win64"));
    EXPECT_EQ(u"", Text(HKEY_LOCAL_MACHINE, wideVersion + u"\\HELPDIR"));

    // Unregistering one version leaves the other and the library key.
    EXPECT_EQ(S_OK, UnRegisterTypeLib(kLibId, 2, 10, 0x409, SYS_WIN64));
    EXPECT_EQ((std::vector<std::u16string>{u"1.0"}), SubKeysOf(HKEY_LOCAL_MACHINE, kLibraryKey));
    EXPECT_EQ(S_OK, UnRegisterTypeLib(kLibId, 1, 0, 0, SYS_WIN64));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kLibraryKey));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\TypeLib"));

    EXPECT_EQ(TYPE_E_REGISTRYACCESS, UnRegisterTypeLib(kLibId, 1, 0, 0, SYS_WIN64));
    EXPECT_EQ(TYPE_E_REGISTRYACCESS, UnRegisterTypeLib(kOtherLibId, 1, 0, 0, SYS_WIN64));
    EXPECT_EQ(E_INVALIDARG, UnRegisterTypeLib(kLibId, 1, 0, 0, static_cast<SYSKIND>(7)));
    EXPECT_EQ(E_INVALIDARG, RegisterTypeLib(nullptr, u"x", nullptr));
    EXPECT_EQ(E_INVALIDARG, RegisterTypeLib(loaded.lib, nullptr, nullptr));

    // Unregistering keeps another locale of the same version.
    ASSERT_EQ(S_OK, RegisterTypeLib(loaded.lib, u"C:\\scan.dll", nullptr));
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, (version + u"\\407\\win64").c_str()));
    EXPECT_EQ(S_OK, UnRegisterTypeLib(kLibId, 1, 0, 0, SYS_WIN64));
    EXPECT_EQ((std::vector<std::u16string>{u"407", u"FLAGS", u"HELPDIR"}), SubKeysOf(HKEY_LOCAL_MACHINE, version));
}

TEST_F(TypeLibTest, PerUserRegistrationAndLoadTypeLibEx)
{
    Loaded loaded(ProgramPath());
    ASSERT_EQ(S_OK, loaded.hr);
    WCHAR path[] = u"/home/user/scan.so";
    WCHAR help[] = u"/home/user";
    ASSERT_EQ(S_OK, RegisterTypeLibForUser(loaded.lib, path, help));
    const std::u16string version = std::u16string(kLibraryKey) + u"\\1.0";
    EXPECT_EQ(u"/home/user/scan.so", Text(HKEY_CURRENT_USER, version + u"\\0\\win64"));
    EXPECT_EQ(u"/home/user", Text(HKEY_CURRENT_USER, version + u"\\HELPDIR"));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kLibraryKey));

    ASSERT_EQ(S_OK, UnRegisterTypeLibForUser(kLibId, 1, 0, 0, SYS_WIN64));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kLibraryKey));

    // LoadTypeLibEx registers on request only.
    ITypeLib* lib = nullptr;
    ASSERT_EQ(S_OK, LoadTypeLibEx(ProgramPath().c_str(), REGKIND_NONE, &lib));
    lib->Release();
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, u"TypeLib\\{6B1E2D33-4C5F-4A61-8B72-9C0D1E2F3A01}"));
    ASSERT_EQ(S_OK, LoadTypeLibEx(ProgramPath().c_str(), REGKIND_REGISTER, &lib));
    lib->Release();
    EXPECT_EQ(ProgramPath(), Text(HKEY_CLASSES_ROOT, u"TypeLib\\{6B1E2D33-4C5F-4A61-8B72-9C0D1E2F3A01}\\1.0\\0\\win64"));
}

}  // namespace
