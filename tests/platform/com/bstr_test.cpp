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

TEST(Bstr, LengthCountsEmbeddedNulsAndUninitialisedContent)
{
    BSTR text = SysAllocStringLen(u"a\0b", 3);
    EXPECT_EQ(3u, SysStringLen(text));
    EXPECT_EQ(u'b', text[2]);
    EXPECT_EQ(u'\0', text[3]);
    SysFreeString(text);

    BSTR blank = SysAllocStringLen(nullptr, 5);
    ASSERT_NE(nullptr, blank);
    EXPECT_EQ(5u, SysStringLen(blank));
    EXPECT_EQ(u'\0', blank[5]);
    SysFreeString(blank);

    BSTR empty = SysAllocStringLen(u"ignored", 0);
    ASSERT_NE(nullptr, empty);
    EXPECT_EQ(0u, SysStringLen(empty));
    EXPECT_EQ(u'\0', empty[0]);
    SysFreeString(empty);
}

TEST(Bstr, ByteLengthMayBeOdd)
{
    BSTR bytes = SysAllocStringByteLen("abc", 3);
    ASSERT_NE(nullptr, bytes);
    EXPECT_EQ(3u, SysStringByteLen(bytes));
    EXPECT_EQ(1u, SysStringLen(bytes));
    EXPECT_EQ(0, std::memcmp(bytes, "abc\0\0", 5));
    SysFreeString(bytes);
}

TEST(Bstr, RefusesLengthsBeyondTheFourBytePrefix)
{
    EXPECT_EQ(nullptr, SysAllocStringLen(nullptr, 0x80000000u));
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
