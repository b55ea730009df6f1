// The system library names in a program that links the shared platform library: they name
// that library, and the functions of oleaut32 are found in it by name.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

namespace {

template <class Function>
Function As(FARPROC proc)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

TEST(SystemLibraries, AreTheSharedPlatformLibrary)
{
    HMODULE platform = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCWSTR>(&RegisterTypeLibForUser), &platform));
    EXPECT_NE(GetModuleHandleW(nullptr), platform);

    const HMODULE oleaut = LoadLibraryW(u"OLEAUT32.DLL");
    ASSERT_EQ(platform, oleaut);
    EXPECT_EQ(&RegisterTypeLibForUser,
              As<decltype(&RegisterTypeLibForUser)>(GetProcAddress(oleaut, "RegisterTypeLibForUser")));
    EXPECT_EQ(&UnRegisterTypeLibForUser,
              As<decltype(&UnRegisterTypeLibForUser)>(GetProcAddress(oleaut, "UnRegisterTypeLibForUser")));
    EXPECT_EQ(nullptr, GetProcAddress(oleaut, "NoSuchFunction"));
    EXPECT_TRUE(FreeLibrary(oleaut));
    EXPECT_EQ(platform, GetModuleHandleW(u"kernel32"));
}

}  // namespace
