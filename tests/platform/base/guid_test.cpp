// GUID text in registry form.
#include <gtest/gtest.h>
#include <objbase.h>

#include <string>

namespace {

DEFINE_GUID(kSample, 0x7C3E9A52, 0x7700, 0x0000, 0x00, 0x00, 0x77, 0x00, 0x00, 0x00, 0x00, 0x01);

TEST(Guid, FormatsUpperCaseWithBracesAndParsesEitherCase)
{
    OLECHAR text[39];
    EXPECT_EQ(39, StringFromGUID2(kSample, text, 39));
    EXPECT_EQ(std::u16string(u"{7C3E9A52-7700-0000-0000-770000000001}"), std::u16string(text));
    EXPECT_EQ(0, StringFromGUID2(kSample, text, 38));
    CLSID clsid{};
    EXPECT_EQ(S_OK, CLSIDFromString(u"{7c3e9a52-7700-0000-0000-770000000001}", &clsid)) << "either case";
    EXPECT_TRUE(IsEqualGUID(clsid, kSample));
}

TEST(Guid, RefusesMalformedText)
{
    CLSID clsid = kSample;
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromString(u"7C3E9A52-7700-0000-0000-770000000001", &clsid));
    EXPECT_TRUE(IsEqualGUID(clsid, GUID_NULL));
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromString(u"{7C3E9A52-7700-0000-0000-77000000000}", &clsid));
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromString(u"{7C3E9A52-7700-0000-0000-7700000000011}", &clsid));
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromString(u"{7C3E9A52-7700-0000-0000-77000000000G}", &clsid));
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromString(u"{7C3E9A52+7700-0000-0000-770000000001}", &clsid));
    EXPECT_EQ(E_INVALIDARG, CLSIDFromString(u"{7C3E9A52-7700-0000-0000-770000000001}", nullptr));
    EXPECT_EQ(S_OK, CLSIDFromString(u"", &clsid));
    EXPECT_TRUE(IsEqualGUID(clsid, GUID_NULL));
}

}  // namespace
