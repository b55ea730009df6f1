// The scan control module's own resources (server/res/QORScan.rc), built into this
// program: the string table the control falls back to and the product name of its
// message boxes.
#include <gtest/gtest.h>
#include <winver.h>

#include <filesystem>
#include <string>
#include <vector>

#include <windows.h>

namespace {

std::u16string Load(UINT id)
{
    WCHAR buffer[128];
    const int n = LoadStringW(nullptr, id, buffer, 128);
    return std::u16string(buffer, n);
}

TEST(ServerResources, StringTable)
{
    EXPECT_EQ(u"QORScan", Load(100));
    EXPECT_EQ(u"Cancel", Load(101));
    EXPECT_EQ(u"Back", Load(102));
    EXPECT_EQ(u"Upload", Load(103));
    EXPECT_EQ(u"Please, check if paper is properly inserted before ADF scan starts", Load(104));
}

TEST(ServerResources, ProductNameInBothStringTables)
{
    const std::string path = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::u16string path16(path.begin(), path.end());
    const DWORD size = GetFileVersionInfoSizeW(path16.c_str(), nullptr);
    ASSERT_NE(0u, size);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path16.c_str(), 0, size, block.data()));
    for (LPCWSTR key : {u"\\StringFileInfo\\040904E4\\ProductName", u"\\StringFileInfo\\040904B0\\ProductName"}) {
        LPVOID value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), key, &value, &length));
        EXPECT_EQ(9u, length);
        EXPECT_EQ(u"Scrivane", std::u16string(static_cast<const WCHAR*>(value)));
    }
}

}  // namespace
