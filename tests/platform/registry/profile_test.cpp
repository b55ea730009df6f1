// GetProfileIntW reads the "windows" section of win.ini from the current user's registry.
#include "registry_fixture.h"

namespace {
constexpr LPCWSTR kWindows = u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
}

class ProfileTest : public RegistryTest {
protected:
    UINT WithText(std::u16string_view text)
    {
        HKEY key = Create(HKEY_CURRENT_USER, kWindows);
        EXPECT_EQ(ERROR_SUCCESS, SetText(key, u"OleInPlaceBorderWidth", text));
        RegCloseKey(key);
        return GetProfileIntW(u"Windows", u"oleinplaceborderwidth", 4);
    }
};

TEST_F(ProfileTest, DefaultWhenTheValueIsAbsent)
{
    EXPECT_EQ(4u, GetProfileIntW(u"windows", u"oleinplaceborderwidth", 4));
    RegCloseKey(Create(HKEY_CURRENT_USER, kWindows));
    EXPECT_EQ(4u, GetProfileIntW(u"windows", u"oleinplaceborderwidth", 4));
    EXPECT_EQ(static_cast<UINT>(-1), GetProfileIntW(u"windows", u"other", -1));
}

TEST_F(ProfileTest, ValueTextIsReadAsANumber)
{
    EXPECT_EQ(7u, WithText(u"7"));
    EXPECT_EQ(12u, WithText(u"12px"));
    EXPECT_EQ(31u, WithText(u"  0x1F"));
    EXPECT_EQ(static_cast<UINT>(-3), WithText(u"-3"));
    EXPECT_EQ(0u, WithText(u"wide"));
    EXPECT_EQ(4u, WithText(u""));
}

TEST_F(ProfileTest, OnlyTextValuesOfMappedSectionsCount)
{
    HKEY key = Create(HKEY_CURRENT_USER, kWindows);
    const DWORD nine = 9;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&nine), 4));
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, u"Text", u"5"));
    RegCloseKey(key);
    EXPECT_EQ(4u, GetProfileIntW(u"windows", u"Number", 4));
    EXPECT_EQ(5u, GetProfileIntW(u"WINDOWS", u"TEXT", 4));
    EXPECT_EQ(4u, GetProfileIntW(u"NotASection", u"Text", 4));
    EXPECT_EQ(4u, GetProfileIntW(nullptr, u"Text", 4));
}
