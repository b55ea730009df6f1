// BSTR allocation and layout, and VarBstrCmp.
#include <gtest/gtest.h>
#include <oleauto.h>

#include <cstring>
#include <string>

namespace {

std::uint32_t LengthPrefix(BSTR bstr)
{
    std::uint32_t length;
    std::memcpy(&length, reinterpret_cast<const char*>(bstr) - 4, 4);
    return length;
}

TEST(Bstr, KeepsByteLengthBeforeTextAndNulAfter)
{
    BSTR text = SysAllocString(u"scan.pos");
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(16u, LengthPrefix(text));
    EXPECT_EQ(8u, SysStringLen(text));
    EXPECT_EQ(16u, SysStringByteLen(text));
    EXPECT_EQ(u'\0', text[8]);
    EXPECT_EQ(std::u16string(u"scan.pos"), std::u16string(text));
    SysFreeString(text);

    EXPECT_EQ(nullptr, SysAllocString(nullptr));
    EXPECT_EQ(0u, SysStringLen(nullptr));
    EXPECT_EQ(0u, SysStringByteLen(nullptr));
    SysFreeString(nullptr);
}

TEST(Bstr, LengthCountsEmbeddedNulsBlankContentAndOddBytes)
{
    const struct {
        BSTR text;
        UINT length, byteLength;
    } cases[] = {
        {SysAllocStringLen(u"a\0b", 3), 3, 6},
        {SysAllocStringLen(nullptr, 5), 5, 10},
        {SysAllocStringLen(u"ignored", 0), 0, 0},
        {SysAllocStringByteLen("abc", 3), 1, 3},
    };
    for (const auto& c : cases) {
        ASSERT_NE(nullptr, c.text);
        EXPECT_EQ(c.length, SysStringLen(c.text));
        EXPECT_EQ(c.byteLength, SysStringByteLen(c.text));
        // Always two NUL bytes after the content.
        EXPECT_EQ(0, std::memcmp(reinterpret_cast<const char*>(c.text) + c.byteLength, "\0\0", 2));
        SysFreeString(c.text);
    }
    EXPECT_EQ(nullptr, SysAllocStringLen(nullptr, 0x80000000u)) << "beyond the four-byte prefix";
    EXPECT_EQ(nullptr, SysAllocStringByteLen(nullptr, 0xFFFFFFFFu));
}

TEST(Bstr, ReallocationMayReadFromTheOldString)
{
    BSTR text = SysAllocString(u"prev_12.jpg");
    ASSERT_TRUE(SysReAllocStringLen(&text, text + 5, 2));
    EXPECT_EQ(std::u16string(u"12"), std::u16string(text));
    EXPECT_EQ(2u, SysStringLen(text));
    ASSERT_TRUE(SysReAllocString(&text, u"scan.temp"));
    EXPECT_EQ(9u, SysStringLen(text));
    ASSERT_TRUE(SysReAllocString(&text, nullptr));
    EXPECT_EQ(nullptr, text);
    EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
    EXPECT_FALSE(SysReAllocStringLen(nullptr, u"x", 1));
}

struct CompareCase {
    const char16_t* left;  // null for a null BSTR
    const char16_t* right;
    UINT leftLength;
    UINT rightLength;
    ULONG flags;
    HRESULT expected;
};

TEST(VarBstrCmp, ComparesCodeUnitsThenLengths)
{
    const CompareCase cases[] = {
        {u"scan.pos", u"scan.pos", 8, 8, 0, VARCMP_EQ},
        {u"scan.pos", u"scan.poz", 8, 8, 0, VARCMP_LT},
        {u"scan.poz", u"scan.pos", 8, 8, 0, VARCMP_GT},
        {u"scan", u"scan.pos", 4, 8, 0, VARCMP_LT},
        {u"BASE.STYLE", u"base.style", 10, 10, 0, VARCMP_LT},  // case-sensitive without flags
        {u"BASE.STYLE", u"base.style", 10, 10, NORM_IGNORECASE, VARCMP_EQ},
        {u"\u0100", u"\u00FF", 1, 1, 0, VARCMP_GT},  // by code unit, not by byte
        {u"a\0b", u"a", 3, 1, 0, VARCMP_GT},         // embedded NULs count
        {nullptr, u"", 0, 0, 0, VARCMP_EQ},          // null equals empty
        {nullptr, nullptr, 0, 0, 0, VARCMP_EQ},
        {nullptr, u"a", 0, 1, 0, VARCMP_LT},
        {u"a", nullptr, 1, 0, 0, VARCMP_GT},
    };
    for (const CompareCase& c : cases) {
        BSTR left = c.left ? SysAllocStringLen(c.left, c.leftLength) : nullptr;
        BSTR right = c.right ? SysAllocStringLen(c.right, c.rightLength) : nullptr;
        EXPECT_EQ(c.expected, VarBstrCmp(left, right, LOCALE_USER_DEFAULT, c.flags))
            << "left length " << c.leftLength << ", right length " << c.rightLength << ", flags " << c.flags;
        SysFreeString(left);
        SysFreeString(right);
    }
}

}  // namespace
