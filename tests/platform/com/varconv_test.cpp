// VariantChangeType between numbers, booleans, text and interfaces.
#include <gtest/gtest.h>
#include <oleauto.h>

#include <cmath>
#include <limits>
#include <string>

#include "com_test_objects.h"

namespace {

VARIANT I4(LONG value)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

VARIANT UI4(ULONG value)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UI4;
    v.ulVal = value;
    return v;
}

VARIANT R8(double value)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = value;
    return v;
}

VARIANT Text(const char16_t* text)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}

// The text a value converts to, or the failure as text.
std::u16string AsText(const VARIANT& source, USHORT flags = 0)
{
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = VariantChangeType(&result, &source, flags, VT_BSTR);
    if (FAILED(hr))
        return u"<failed>";
    EXPECT_EQ(VT_BSTR, result.vt);
    std::u16string text(result.bstrVal, SysStringLen(result.bstrVal));
    VariantClear(&result);
    return text;
}

struct TextToNumber {
    const char16_t* text;
    VARTYPE vt;
    HRESULT expected;
    LONGLONG value;  // compared in the target's own type when the conversion succeeds
};

LONGLONG ValueOf(const VARIANT& v)
{
    switch (v.vt) {
    case VT_I1:
        return static_cast<signed char>(v.cVal);
    case VT_UI1:
        return v.bVal;
    case VT_I2:
        return v.iVal;
    case VT_UI2:
        return v.uiVal;
    case VT_I4:
        return v.lVal;
    case VT_UI4:
        return v.ulVal;
    case VT_I8:
        return v.llVal;
    case VT_BOOL:
        return v.boolVal;
    default:
        ADD_FAILURE() << "unexpected type " << v.vt;
        return 0;
    }
}

TEST(VariantChangeType, FourByteIntegersRoundTripThroughText)
{
    EXPECT_EQ(u"-123", AsText(I4(-123)));
    EXPECT_EQ(u"2147483647", AsText(I4(2147483647)));
    EXPECT_EQ(u"-2147483648", AsText(I4(-2147483647 - 1)));
    EXPECT_EQ(u"4294967295", AsText(UI4(0xFFFFFFFFu)));
    EXPECT_EQ(u"65537", AsText(UI4(0x00010001u)));

    VARIANT text = Text(u"4294967295");
    VARIANT back;
    VariantInit(&back);
    ASSERT_EQ(S_OK, VariantChangeType(&back, &text, 0, VT_UI4));
    EXPECT_EQ(VT_UI4, back.vt);
    EXPECT_EQ(0xFFFFFFFFu, back.ulVal);
    // The same text does not fit a signed 4-byte integer.
    EXPECT_EQ(DISP_E_OVERFLOW, VariantChangeType(&back, &text, 0, VT_I4));
    EXPECT_EQ(VT_UI4, back.vt);  // unchanged by the failure
    VariantClear(&text);
}

TEST(VariantChangeType, ReadsNumbersFromText)
{
    const TextToNumber cases[] = {
        {u"42", VT_I4, S_OK, 42},
        {u"  -17\t", VT_I4, S_OK, -17},
        {u"+8", VT_I4, S_OK, 8},
        {u"1.5", VT_I4, S_OK, 2},  // halves round to even
        {u"2.5", VT_I4, S_OK, 2},
        {u"-2.5", VT_I4, S_OK, -2},
        {u"1e3", VT_I4, S_OK, 1000},
        {u"2147483648", VT_I4, DISP_E_OVERFLOW, 0},
        {u"-2147483649", VT_I4, DISP_E_OVERFLOW, 0},
        {u"-1", VT_UI4, DISP_E_OVERFLOW, 0},
        {u"255", VT_UI1, S_OK, 255},
        {u"256", VT_UI1, DISP_E_OVERFLOW, 0},
        {u"-128", VT_I1, S_OK, -128},
        {u"32768", VT_I2, DISP_E_OVERFLOW, 0},
        {u"65535", VT_UI2, S_OK, 65535},
        {u"-9223372036854775808", VT_I8, S_OK, std::numeric_limits<LONGLONG>::min()},
        {u"99999999999999999999", VT_I8, DISP_E_OVERFLOW, 0},
        {u"", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {u"   ", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {u"abc", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {u"12abc", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {u"inf", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {u"nan", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {u"1e400", VT_R8, DISP_E_OVERFLOW, 0},
        {u"\u0661", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {u"True", VT_BOOL, S_OK, VARIANT_TRUE},
        {u"false", VT_BOOL, S_OK, VARIANT_FALSE},
        {u"3", VT_BOOL, S_OK, VARIANT_TRUE},
        {u"True", VT_I4, DISP_E_TYPEMISMATCH, 0},
    };
    for (const TextToNumber& c : cases) {
        VARIANT text = Text(c.text);
        VARIANT result;
        VariantInit(&result);
        const HRESULT hr = VariantChangeType(&result, &text, 0, c.vt);
        EXPECT_EQ(c.expected, hr) << "vt " << c.vt << " from \""
                                  << std::string(c.text, c.text + SysStringLen(text.bstrVal)) << "\"";
        if (SUCCEEDED(hr) && SUCCEEDED(c.expected)) {
            EXPECT_EQ(c.vt, result.vt);
            EXPECT_EQ(c.value, ValueOf(result));
        } else {
            EXPECT_EQ(VT_EMPTY, result.vt);
        }
        VariantClear(&text);
        VariantClear(&result);
    }
}

TEST(VariantChangeType, ConvertsBetweenNumericTypes)
{
    VARIANT result;
    VariantInit(&result);
    VARIANT source = R8(3.5);
    ASSERT_EQ(S_OK, VariantChangeType(&result, &source, 0, VT_I4));
    EXPECT_EQ(4, result.lVal);
    source = R8(-0.5);
    ASSERT_EQ(S_OK, VariantChangeType(&result, &source, 0, VT_I4));
    EXPECT_EQ(0, result.lVal);
    source = R8(3e9);
    EXPECT_EQ(DISP_E_OVERFLOW, VariantChangeType(&result, &source, 0, VT_I4));
    ASSERT_EQ(S_OK, VariantChangeType(&result, &source, 0, VT_UI4));
    EXPECT_EQ(3000000000u, result.ulVal);
    source = R8(std::nan(""));
    EXPECT_EQ(DISP_E_OVERFLOW, VariantChangeType(&result, &source, 0, VT_I4));
    source = R8(1e300);
    EXPECT_EQ(DISP_E_OVERFLOW, VariantChangeType(&result, &source, 0, VT_R4));

    source = I4(300);
    EXPECT_EQ(DISP_E_OVERFLOW, VariantChangeType(&result, &source, 0, VT_UI1));
    source = I4(-1);
    EXPECT_EQ(DISP_E_OVERFLOW, VariantChangeType(&result, &source, 0, VT_UI4));
    source = UI4(0x80000000u);
    EXPECT_EQ(DISP_E_OVERFLOW, VariantChangeType(&result, &source, 0, VT_I4));
    ASSERT_EQ(S_OK, VariantChangeType(&result, &source, 0, VT_R8));
    EXPECT_EQ(2147483648.0, result.dblVal);

    source = I4(5);
    ASSERT_EQ(S_OK, VariantChangeType(&result, &source, 0, VT_BOOL));
    EXPECT_EQ(VARIANT_TRUE, result.boolVal);
    ASSERT_EQ(S_OK, VariantChangeType(&result, &source, 0, VT_CY));
    EXPECT_EQ(50000, result.cyVal.int64);

    VARIANT currency;
    VariantInit(&currency);
    currency.vt = VT_CY;
    currency.cyVal.int64 = 25000;  // 2.5
    ASSERT_EQ(S_OK, VariantChangeType(&result, &currency, 0, VT_I4));
    EXPECT_EQ(2, result.lVal);
    EXPECT_EQ(u"2.5", AsText(currency));
    currency.cyVal.int64 = -12345678;
    EXPECT_EQ(u"-1234.5678", AsText(currency));

    VARIANT empty;
    VariantInit(&empty);
    ASSERT_EQ(S_OK, VariantChangeType(&result, &empty, 0, VT_I4));
    EXPECT_EQ(VT_I4, result.vt);
    EXPECT_EQ(0, result.lVal);
}

TEST(VariantChangeType, TrueHasAllBitsSet)
{
    VARIANT flag;
    VariantInit(&flag);
    flag.vt = VT_BOOL;
    flag.boolVal = VARIANT_TRUE;
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(S_OK, VariantChangeType(&result, &flag, 0, VT_I4));
    EXPECT_EQ(-1, result.lVal);
    ASSERT_EQ(S_OK, VariantChangeType(&result, &flag, 0, VT_UI1));
    EXPECT_EQ(0xFF, result.bVal);
    ASSERT_EQ(S_OK, VariantChangeType(&result, &flag, 0, VT_UI4));
    EXPECT_EQ(0xFFFFFFFFu, result.ulVal);
    EXPECT_EQ(u"-1", AsText(flag));
    EXPECT_EQ(u"True", AsText(flag, VARIANT_ALPHABOOL));
    flag.boolVal = VARIANT_FALSE;
    EXPECT_EQ(u"0", AsText(flag));
    EXPECT_EQ(u"False", AsText(flag, VARIANT_ALPHABOOL));
}

TEST(VariantChangeType, FormatsRealsWithSignificantDigits)
{
    EXPECT_EQ(u"1.5", AsText(R8(1.5)));
    EXPECT_EQ(u"0.1", AsText(R8(0.1)));
    EXPECT_EQ(u"-250", AsText(R8(-250.0)));
    EXPECT_EQ(u"1E+20", AsText(R8(1e20)));
    EXPECT_EQ(u"0.333333333333333", AsText(R8(1.0 / 3.0)));
    VARIANT single;
    VariantInit(&single);
    single.vt = VT_R4;
    single.fltVal = 0.1f;
    EXPECT_EQ(u"0.1", AsText(single));
}

TEST(VariantChangeType, EmptyNullAndReferences)
{
    VARIANT empty;
    VariantInit(&empty);
    EXPECT_EQ(u"", AsText(empty));
    VARIANT null;
    VariantInit(&null);
    null.vt = VT_NULL;
    EXPECT_EQ(u"<failed>", AsText(null));
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&result, &null, 0, VT_I4));

    ULONG value = 0x00640032;
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_UI4 | VT_BYREF;
    byRef.pulVal = &value;
    EXPECT_EQ(u"6553650", AsText(byRef));
}

TEST(VariantChangeType, ConvertsInPlaceAndFreesTheOldValue)
{
    VARIANT v = Text(u"  1234 ");
    ASSERT_EQ(S_OK, VariantChangeType(&v, &v, 0, VT_I4));
    EXPECT_EQ(VT_I4, v.vt);
    EXPECT_EQ(1234, v.lVal);
    ASSERT_EQ(S_OK, VariantChangeType(&v, &v, 0, VT_BSTR));
    EXPECT_EQ(std::u16string(u"1234"), std::u16string(v.bstrVal));
    VariantClear(&v);
}

TEST(VariantChangeType, RefusesTypesItCannotConvert)
{
    VARIANT result;
    VariantInit(&result);
    VARIANT source = I4(1);
    EXPECT_EQ(DISP_E_BADVARTYPE, VariantChangeType(&result, &source, 0, VT_I4 | VT_BYREF));
    EXPECT_EQ(DISP_E_BADVARTYPE, VariantChangeType(&result, &source, 0, 15));
    EXPECT_EQ(DISP_E_BADVARTYPE, VariantChangeType(&result, &source, 0, VT_VARIANT));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&result, &source, 0, VT_ARRAY | VT_I4));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&result, &source, 0, VT_UNKNOWN));
    EXPECT_EQ(E_INVALIDARG, VariantChangeType(nullptr, &source, 0, VT_BSTR));
    EXPECT_EQ(E_INVALIDARG, VariantChangeType(&result, nullptr, 0, VT_BSTR));
    source.vt = 0x0FFF;
    EXPECT_EQ(DISP_E_BADVARTYPE, VariantChangeType(&result, &source, 0, VT_BSTR));

    VARIANT array;
    VariantInit(&array);
    array.vt = VT_ARRAY | VT_UI4;
    array.parray = SafeArrayCreateVector(VT_UI4, 0, 2);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&result, &array, 0, VT_I4));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&result, &array, 0, VT_BSTR));
    ASSERT_EQ(S_OK, VariantChangeType(&result, &array, 0, VT_ARRAY | VT_UI4));
    EXPECT_NE(array.parray, result.parray);
    VariantClear(&result);
    VariantClear(&array);
    EXPECT_EQ(VT_EMPTY, result.vt);
}

TEST(VariantChangeType, MovesBetweenIUnknownAndIDispatch)
{
    comtest::CountedObject object;
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_UNKNOWN;
    source.punkVal = &object;
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(S_OK, VariantChangeType(&result, &source, 0, VT_DISPATCH));
    EXPECT_EQ(VT_DISPATCH, result.vt);
    EXPECT_EQ(static_cast<IDispatch*>(&object), result.pdispVal);
    EXPECT_EQ(2u, object.Refs());
    EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&result, &source, 0, VT_I4));
    VariantClear(&result);
    EXPECT_EQ(1u, object.Refs());

    comtest::PlainUnknown plain;
    source.punkVal = &plain;
    EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&result, &source, 0, VT_DISPATCH));
    EXPECT_EQ(1u, plain.Refs());
}

}  // namespace
