// Resources belong to the module that holds them: a loaded library's table is found by
// its HMODULE and path, and is gone once the library is unloaded.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <winver.h>

#include <string>

#include "test_data.h"

namespace {

TEST(ModuleResources, EachModuleHasItsOwnTableUntilUnloaded)
{
    void* library = dlopen(QOR_RES_TEST_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, library) << dlerror();
    Dl_info info{};
    ASSERT_NE(0, dladdr(dlsym(library, "ResourceTestModuleAnchor"), &info));
    auto module = static_cast<HMODULE>(info.dli_fbase);

    WCHAR buffer[32];
    EXPECT_EQ(15, LoadStringW(module, 1, buffer, 32));
    EXPECT_EQ(u"From the module", std::u16string(buffer));
    EXPECT_EQ(3, LoadStringW(nullptr, 1, buffer, 32));  // the program's own
    EXPECT_EQ(nullptr, FindResourceW(module, MAKEINTRESOURCEW(7), u"PNG"));

    const std::string path = QOR_RES_TEST_MODULE;
    const std::u16string path16(path.begin(), path.end());
    const DWORD size = GetFileVersionInfoSizeW(path16.c_str(), nullptr);
    ASSERT_NE(0u, size);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path16.c_str(), 0, size, block.data()));
    LPVOID value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\StringFileInfo\\040904B0\\ProductName", &value, &length));
    EXPECT_EQ(u"Loaded module", std::u16string(static_cast<const WCHAR*>(value)));
    EXPECT_FALSE(VerQueryValueW(block.data(), u"\\StringFileInfo\\040904E4\\ProductName", &value, &length));

    ASSERT_EQ(0, dlclose(library));
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_RESOURCE_DATA_NOT_FOUND, LoadStringW(module, 1, buffer, 32));
    EXPECT_FAILS_WITH(ERROR_RESOURCE_TYPE_NOT_FOUND, GetFileVersionInfoSizeW(path16.c_str(), nullptr));
}

}  // namespace
