// The version resource of the test program (data/test.rc) through GetFileVersionInfoW
// and VerQueryValueW.
#include <gtest/gtest.h>
#include <winver.h>

#include <filesystem>
#include <string>

#include "test_data.h"

namespace {

std::u16string ProgramPath()
{
    const std::string path = std::filesystem::read_symlink("/proc/self/exe").string();
    return std::u16string(path.begin(), path.end());  // test paths are ASCII
}

std::vector<BYTE> VersionBlock(const std::u16string& path)
{
    DWORD handle = 1;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    EXPECT_EQ(0u, handle);
    std::vector<BYTE> block(size);
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
        block.clear();
    return block;
}

std::u16string QueryText(const std::vector<BYTE>& block, LPCWSTR key)
{
    LPVOID value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), key, &value, &length))
        return u"<missing>";
    // Text lengths count characters with the terminator.
    EXPECT_GE(length, 1u);
    return std::u16string(static_cast<const WCHAR*>(value), length - 1);
}

class VersionInfo : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_block = VersionBlock(ProgramPath());
        ASSERT_FALSE(m_block.empty());
    }
    std::vector<BYTE> m_block;
};

TEST_F(VersionInfo, ProductNameInBothStringTables)
{
    EXPECT_EQ(u"Resource tests 1252", QueryText(m_block, u"\\StringFileInfo\\040904E4\\ProductName"));
    EXPECT_EQ(u"Resource tests Unicode", QueryText(m_block, u"\\StringFileInfo\\040904B0\\ProductName"));
    EXPECT_EQ(u"Test company", QueryText(m_block, u"\\StringFileInfo\\040904e4\\companyname"));
    EXPECT_EQ(u"", QueryText(m_block, u"\\StringFileInfo\\040904B0\\Comments"));
    EXPECT_EQ(u"<missing>", QueryText(m_block, u"\\StringFileInfo\\040904B0\\CompanyName"));
    EXPECT_EQ(u"<missing>", QueryText(m_block, u"\\StringFileInfo\\04070000\\ProductName"));
    SetLastError(0);
    LPVOID value = nullptr;
    UINT length = 0;
    EXPECT_FAILS_WITH(ERROR_RESOURCE_TYPE_NOT_FOUND,
                      VerQueryValueW(m_block.data(), u"\\StringFileInfo\\040904E4\\ProductNam", &value, &length));
}

TEST_F(VersionInfo, RootIsTheFixedFileInfoAndTranslationListsEveryStringTable)
{
    LPVOID value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(m_block.data(), u"\\", &value, &length));
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(static_cast<DWORD>(VS_FFI_SIGNATURE), fixed->dwSignature);
    EXPECT_EQ(static_cast<DWORD>(VS_FFI_STRUCVERSION), fixed->dwStrucVersion);
    EXPECT_EQ((std::vector<DWORD>{0x00010002, 0x00030004, 0x00050006, 0x00070008}),
              (std::vector<DWORD>{fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionMS,
                                  fixed->dwProductVersionLS}));
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);
    EXPECT_EQ(static_cast<DWORD>(VOS_NT_WINDOWS32), fixed->dwFileOS);

    ASSERT_TRUE(VerQueryValueW(m_block.data(), u"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(8u, length);
    const auto* pairs = static_cast<const WORD*>(value);
    EXPECT_EQ((std::vector<WORD>{0x0409, 0x04E4, 0x0409, 0x04B0}), std::vector<WORD>(pairs, pairs + 4));
}

TEST_F(VersionInfo, ShortBufferGetsTheStartAndQueriesStayInside)
{
    std::vector<BYTE> part(100);
    ASSERT_TRUE(GetFileVersionInfoW(ProgramPath().c_str(), 0, 100, part.data()));
    LPVOID value = nullptr;
    UINT length = 0;
    EXPECT_TRUE(VerQueryValueW(part.data(), u"\\", &value, &length));
    EXPECT_EQ(sizeof(VS_FIXEDFILEINFO), length);
    EXPECT_FALSE(VerQueryValueW(part.data(), u"\\StringFileInfo\\040904B0\\ProductName", &value, &length));
}

TEST_F(VersionInfo, NullArgumentsFail)
{
    LPVOID value = nullptr;
    UINT length = 0;
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, VerQueryValueW(nullptr, u"\\", &value, &length));
    EXPECT_FALSE(VerQueryValueW(m_block.data(), nullptr, &value, &length));
    EXPECT_FALSE(VerQueryValueW(m_block.data(), u"\\", nullptr, &length));
    EXPECT_TRUE(VerQueryValueW(m_block.data(), u"\\", &value, nullptr));  // the length is optional
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, GetFileVersionInfoW(ProgramPath().c_str(), 0, 16, nullptr));
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, GetFileVersionInfoSizeW(nullptr, nullptr));
}

TEST(VersionFiles, OnlyLoadedModulesHaveAVersionUnderAnySpellingOfTheirPath)
{
    const std::u16string notModule = u"" QOR_RES_TEST_DATA "/hello.txt";
    DWORD handle = 0;
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_RESOURCE_TYPE_NOT_FOUND, GetFileVersionInfoSizeW(notModule.c_str(), &handle));
    BYTE buffer[16];
    EXPECT_FAILS_WITH(ERROR_RESOURCE_TYPE_NOT_FOUND,
                      GetFileVersionInfoW(notModule.c_str(), 0, sizeof buffer, buffer));

    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_FILE_NOT_FOUND,
                      GetFileVersionInfoSizeW(u"" QOR_RES_TEST_DATA "/no such file", &handle));

    // Any spelling of the program's path finds it.
    const std::string path = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::filesystem::path dir = std::filesystem::path(path).parent_path();
    const std::string other = dir.string() + "/./" + std::filesystem::path(path).filename().string();
    EXPECT_EQ(VersionBlock(ProgramPath()), VersionBlock(std::u16string(other.begin(), other.end())));
}

}  // namespace
