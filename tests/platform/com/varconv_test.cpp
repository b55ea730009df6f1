// VariantChangeType between numbers, booleans, text and interfaces.
#include <gtest/gtest.h>
#include <oleauto.h>

#include <cmath>
#include <limits>
#include <string>

#include "com_test_objects.h"

namespace {

using comtest::I4;
using comtest::Of;
using comtest::R8;
using comtest::Text;
using comtest::UI4;

VARIANT Typed(VARTYPE vt, LONGLONG value)
{
    VARIANT v = Of(vt);
    if (vt == VT_BOOL)
        v.boolVal = static_cast<VARIANT_BOOL>(value);
    else if (vt == VT_CY)
        v.cyVal.int64 = value;
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
    case VT_CY:
        return v.cyVal.int64;
    default:
        ADD_FAILURE() << "unexpected type " << v.vt;
        return 0;
    }
}

struct Conversion {
    VARIANT source;  // cleared after its row
    VARTYPE vt;
    HRESULT expected;
    LONGLONG value;  // compared in the target's own type when the conversion succeeds
};

void ExpectConversions(std::initializer_list<Conversion> rows)
{
    int row = 0;
    for (Conversion c : rows) {
        testing::Message from;
        from << "row " << row++ << ": vt " << c.source.vt;
        if (c.source.vt == VT_BSTR)
            from << " \"" << std::string(c.source.bstrVal, c.source.bstrVal + SysStringLen(c.source.bstrVal)) << "\"";
        SCOPED_TRACE(from << " to vt " << c.vt);
        VARIANT result;
        VariantInit(&result);
        const HRESULT hr = VariantChangeType(&result, &c.source, 0, c.vt);
        EXPECT_EQ(c.expected, hr);
        if (SUCCEEDED(hr) && SUCCEEDED(c.expected)) {
            EXPECT_EQ(c.vt, result.vt);
            if (c.vt == VT_R8)
                EXPECT_EQ(static_cast<double>(c.value), result.dblVal);
            else
                EXPECT_EQ(c.value, ValueOf(result));
        } else {
            EXPECT_EQ(VT_EMPTY, result.vt);
        }
        VariantClear(&c.source);
        VariantClear(&result);
    }
}

TEST(VariantChangeType, ReadsNumbersFromText)
{
    ExpectConversions({
        {Text(u"42"), VT_I4, S_OK, 42},
        {Text(u"  -17\t"), VT_I4, S_OK, -17},
        {Text(u"1.5"), VT_I4, S_OK, 2},  // halves round to even
        {Text(u"2.5"), VT_I4, S_OK, 2},
        {Text(u"1e3"), VT_I4, S_OK, 1000},
        {Text(u"2147483648"), VT_I4, DISP_E_OVERFLOW, 0},
        {Text(u"-2147483649"), VT_I4, DISP_E_OVERFLOW, 0},
        {Text(u"4294967295"), VT_UI4, S_OK, 0xFFFFFFFF},
        {Text(u"4294967295"), VT_I4, DISP_E_OVERFLOW, 0},
        {Text(u"-1"), VT_UI4, DISP_E_OVERFLOW, 0},
        {Text(u"255"), VT_UI1, S_OK, 255},
        {Text(u"256"), VT_UI1, DISP_E_OVERFLOW, 0},
        {Text(u"32768"), VT_I2, DISP_E_OVERFLOW, 0},
        {Text(u"65535"), VT_UI2, S_OK, 65535},
        {Text(u"-9223372036854775808"), VT_I8, S_OK, std::numeric_limits<LONGLONG>::min()},
        {Text(u"99999999999999999999"), VT_I8, DISP_E_OVERFLOW, 0},
        {Text(u""), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {Text(u"abc"), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {Text(u"12abc"), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {Text(u"inf"), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {Text(u"nan"), VT_R8, DISP_E_TYPEMISMATCH, 0},
        {Text(u"1e400"), VT_R8, DISP_E_OVERFLOW, 0},
        {Text(u"\u0661"), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {Text(u"True"), VT_BOOL, S_OK, VARIANT_TRUE},
        {Text(u"false"), VT_BOOL, S_OK, VARIANT_FALSE},
        {Text(u"3"), VT_BOOL, S_OK, VARIANT_TRUE},
        {Text(u"True"), VT_I4, DISP_E_TYPEMISMATCH, 0},
    });
}

TEST(VariantChangeType, ConvertsBetweenNumericTypes)
{
    ExpectConversions({
        {R8(3.5), VT_I4, S_OK, 4},
        {R8(-0.5), VT_I4, S_OK, 0},
        {R8(3e9), VT_I4, DISP_E_OVERFLOW, 0},
        {R8(3e9), VT_UI4, S_OK, 3000000000},
        {R8(std::nan("")), VT_I4, DISP_E_OVERFLOW, 0},
        {R8(1e300), VT_R4, DISP_E_OVERFLOW, 0},
        {I4(300), VT_UI1, DISP_E_OVERFLOW, 0},
        {UI4(0x80000000u), VT_I4, DISP_E_OVERFLOW, 0},
        {UI4(0x80000000u), VT_R8, S_OK, 2147483648},
        {I4(5), VT_BOOL, S_OK, VARIANT_TRUE},
        {I4(5), VT_CY, S_OK, 50000},
        {Typed(VT_CY, 25000), VT_I4, S_OK, 2},  // 2.5
        {Of(VT_EMPTY), VT_I4, S_OK, 0},
        // True has all bits set.
        {Typed(VT_BOOL, VARIANT_TRUE), VT_I4, S_OK, -1},
        {Typed(VT_BOOL, VARIANT_TRUE), VT_UI1, S_OK, 0xFF},
        {Typed(VT_BOOL, VARIANT_TRUE), VT_UI4, S_OK, 0xFFFFFFFF},
        {Of(VT_NULL), VT_I4, DISP_E_TYPEMISMATCH, 0},
    });

    // A failed conversion leaves the destination as it was.
    VARIANT text = Text(u"4294967295");
    VARIANT back = UI4(7);
    EXPECT_EQ(DISP_E_OVERFLOW, VariantChangeType(&back, &text, 0, VT_I4));
    EXPECT_EQ(VT_UI4, back.vt);
    EXPECT_EQ(7u, back.ulVal);
    VariantClear(&text);
}

TEST(VariantChangeType, FormatsText)
{
    ULONG referenced = 0x00640032;
    VARIANT byRef = Of(VT_UI4 | VT_BYREF);
    byRef.pulVal = &referenced;
    VARIANT single = Of(VT_R4);
    single.fltVal = 0.1f;
    const struct {
        VARIANT source;
        USHORT flags;
        const char16_t* expected;
    } rows[] = {
        {I4(-123), 0, u"-123"},
        {I4(-2147483647 - 1), 0, u"-2147483648"},
        {UI4(0xFFFFFFFFu), 0, u"4294967295"},
        {UI4(0x00010001u), 0, u"65537"},
        {Typed(VT_CY, 25000), 0, u"2.5"},
        {Typed(VT_CY, -12345678), 0, u"-1234.5678"},
        {Typed(VT_BOOL, VARIANT_TRUE), 0, u"-1"},
        {Typed(VT_BOOL, VARIANT_TRUE), VARIANT_ALPHABOOL, u"True"},
        {Typed(VT_BOOL, VARIANT_FALSE), VARIANT_ALPHABOOL, u"False"},
        // Reals with significant digits.
        {R8(1.5), 0, u"1.5"},
        {R8(0.1), 0, u"0.1"},
        {R8(1e20), 0, u"1E+20"},
        {R8(1.0 / 3.0), 0, u"0.333333333333333"},
        {single, 0, u"0.1"},
        {Of(VT_EMPTY), 0, u""},
        {Of(VT_NULL), 0, u"<failed>"},
        {byRef, 0, u"6553650"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "vt " << row.source.vt << ", flags " << row.flags);
        EXPECT_EQ(row.expected, AsText(row.source, row.flags));
    }
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

    VARIANT array = Of(VT_ARRAY | VT_UI4);
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
    VARIANT source = Of(VT_UNKNOWN);
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
