// VARIANT clearing and copying: what is freed, copied deeply, AddRef'd or left alone.
// Leaks and double frees of strings and arrays show under the sanitizer build.
#include <gtest/gtest.h>
#include <oleauto.h>

#include <string>

#include "com_test_objects.h"

namespace {

using comtest::CountedObject;
using comtest::Of;
using comtest::Text;

SAFEARRAY* MakeUi4Array(std::initializer_list<ULONG> values)
{
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UI4, 0, static_cast<ULONG>(values.size()));
    LONG i = 0;
    for (ULONG value : values) {
        SafeArrayPutElement(psa, &i, &value);
        ++i;
    }
    return psa;
}

TEST(VariantClear, FreesOwnedValuesLeavesReferencesAndEmptiesTheVariant)
{
    VARIANT text = Text(u"prev_1.jpg");
    EXPECT_EQ(S_OK, VariantClear(&text));
    EXPECT_EQ(VT_EMPTY, text.vt);

    CountedObject object;
    VARIANT unknown = Of(VT_DISPATCH);
    unknown.pdispVal = &object;
    object.AddRef();
    EXPECT_EQ(S_OK, VariantClear(&unknown));
    EXPECT_EQ(1u, object.Refs());

    VARIANT array = Of(VT_ARRAY | VT_UI4);
    array.parray = MakeUi4Array({1, 2, 3});
    EXPECT_EQ(S_OK, VariantClear(&array));
    EXPECT_EQ(VT_EMPTY, array.vt);

    VARIANT nullInterface = Of(VT_UNKNOWN);
    nullInterface.punkVal = nullptr;
    EXPECT_EQ(S_OK, VariantClear(&nullInterface));

    // Values held by reference stay alive.
    BSTR owned = SysAllocString(u"kept");
    VARIANT byRef = Of(VT_BSTR | VT_BYREF);
    byRef.pbstrVal = &owned;
    EXPECT_EQ(S_OK, VariantClear(&byRef));
    EXPECT_EQ(VT_EMPTY, byRef.vt);
    EXPECT_EQ(std::u16string(u"kept"), std::u16string(owned));
    SysFreeString(owned);
}

TEST(VariantClear, RefusesBadTypesAndLockedArrays)
{
    EXPECT_EQ(E_INVALIDARG, VariantClear(nullptr));
    const VARTYPE bad[] = {15, VT_VARIANT, VT_BSTR | VT_VECTOR, VT_EMPTY | VT_BYREF, 0x0FFF, VT_RECORD};
    for (VARTYPE vt : bad) {
        VARIANT v = Of(vt);
        EXPECT_EQ(DISP_E_BADVARTYPE, VariantClear(&v)) << "vt " << vt;
        EXPECT_EQ(vt, v.vt);
    }

    VARIANT array = Of(VT_ARRAY | VT_UI4);
    array.parray = MakeUi4Array({7});
    void* data = nullptr;
    ASSERT_EQ(S_OK, SafeArrayAccessData(array.parray, &data));
    EXPECT_EQ(DISP_E_ARRAYISLOCKED, VariantClear(&array));
    EXPECT_EQ(VT_ARRAY | VT_UI4, array.vt);
    SafeArrayUnaccessData(array.parray);
    EXPECT_EQ(S_OK, VariantClear(&array));
}

TEST(VariantCopy, CopiesStringsDeeplyWithTheirLength)
{
    VARIANT source = Of(VT_BSTR);
    source.bstrVal = SysAllocStringLen(u"a\0b", 3);
    VARIANT copy = Text(u"overwritten");  // freed by the copy
    ASSERT_EQ(S_OK, VariantCopy(&copy, &source));
    EXPECT_EQ(VT_BSTR, copy.vt);
    EXPECT_NE(source.bstrVal, copy.bstrVal);
    EXPECT_EQ(3u, SysStringLen(copy.bstrVal));
    EXPECT_EQ(u'b', copy.bstrVal[2]);
    VariantClear(&source);
    EXPECT_EQ(u'a', copy.bstrVal[0]);  // independent of the source
    VariantClear(&copy);

    VARIANT nullText = Of(VT_BSTR);
    nullText.bstrVal = nullptr;
    VARIANT nullCopy;
    VariantInit(&nullCopy);
    EXPECT_EQ(S_OK, VariantCopy(&nullCopy, &nullText));
    EXPECT_EQ(VT_BSTR, nullCopy.vt);
    EXPECT_EQ(nullptr, nullCopy.bstrVal);
}

TEST(VariantCopy, AddRefsInterfacesCopiesArraysAndKeepsReferences)
{
    CountedObject object;
    VARIANT source = Of(VT_UNKNOWN);
    source.punkVal = &object;
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(S_OK, VariantCopy(&copy, &source));
    EXPECT_EQ(2u, object.Refs());
    EXPECT_EQ(static_cast<IUnknown*>(&object), copy.punkVal);
    VariantClear(&copy);
    EXPECT_EQ(1u, object.Refs());

    VARIANT array = Of(VT_ARRAY | VT_UI4);
    array.parray = MakeUi4Array({10, 20});
    ASSERT_EQ(S_OK, VariantCopy(&copy, &array));
    EXPECT_EQ(VT_ARRAY | VT_UI4, copy.vt);
    ASSERT_NE(array.parray, copy.parray);
    LONG index = 1;
    ULONG changed = 99;
    SafeArrayPutElement(copy.parray, &index, &changed);
    ULONG original = 0;
    SafeArrayGetElement(array.parray, &index, &original);
    EXPECT_EQ(20u, original);
    VariantClear(&array);
    VariantClear(&copy);

    // References are copied as references.
    LONG value = 5;
    VARIANT byRef = Of(VT_I4 | VT_BYREF);
    byRef.plVal = &value;
    ASSERT_EQ(S_OK, VariantCopy(&copy, &byRef));
    EXPECT_EQ(VT_I4 | VT_BYREF, copy.vt);
    EXPECT_EQ(&value, copy.plVal);
}

TEST(VariantCopy, RefusesBadArgumentsWithoutTouchingTheDestination)
{
    VARIANT source = Of(15);
    VARIANT dest = Text(u"kept");
    EXPECT_EQ(DISP_E_BADVARTYPE, VariantCopy(&dest, &source));
    EXPECT_EQ(VT_BSTR, dest.vt);
    EXPECT_EQ(std::u16string(u"kept"), std::u16string(dest.bstrVal));
    EXPECT_EQ(E_INVALIDARG, VariantCopy(nullptr, &dest));
    EXPECT_EQ(E_INVALIDARG, VariantCopy(&dest, nullptr));
    EXPECT_EQ(S_OK, VariantCopy(&dest, &dest));
    EXPECT_EQ(std::u16string(u"kept"), std::u16string(dest.bstrVal));
    VariantClear(&dest);
}

TEST(VariantCopyInd, FollowsOneReferenceAlsoInPlace)
{
    LONG number = -7;
    VARIANT byRef = Of(VT_I4 | VT_BYREF);
    byRef.plVal = &number;
    VARIANT value;
    VariantInit(&value);
    ASSERT_EQ(S_OK, VariantCopyInd(&value, &byRef));
    EXPECT_EQ(VT_I4, value.vt);
    EXPECT_EQ(-7, value.lVal);

    BSTR text = SysAllocString(u"scan.temp");
    byRef.vt = VT_BSTR | VT_BYREF;
    byRef.pbstrVal = &text;
    ASSERT_EQ(S_OK, VariantCopyInd(&value, &byRef));
    EXPECT_EQ(VT_BSTR, value.vt);
    EXPECT_NE(text, value.bstrVal);
    EXPECT_EQ(std::u16string(u"scan.temp"), std::u16string(value.bstrVal));
    SysFreeString(text);
    VariantClear(&value);

    VARIANT inner = Text(u"inner");
    byRef.vt = VT_VARIANT | VT_BYREF;
    byRef.pvarVal = &inner;
    ASSERT_EQ(S_OK, VariantCopyInd(&value, &byRef));
    EXPECT_EQ(VT_BSTR, value.vt);
    EXPECT_EQ(std::u16string(u"inner"), std::u16string(value.bstrVal));
    VariantClear(&value);

    // A reference to a reference is refused.
    VARIANT middle = Of(VT_I4 | VT_BYREF);
    middle.plVal = &number;
    byRef.pvarVal = &middle;
    EXPECT_EQ(E_INVALIDARG, VariantCopyInd(&value, &byRef));
    VariantClear(&inner);

    // In place.
    SAFEARRAY* psa = MakeUi4Array({4, 5});
    VARIANT v = Of(VT_ARRAY | VT_UI4 | VT_BYREF);
    v.pparray = &psa;
    ASSERT_EQ(S_OK, VariantCopyInd(&v, &v));
    EXPECT_EQ(VT_ARRAY | VT_UI4, v.vt);
    ASSERT_NE(psa, v.parray);
    LONG index = 1;
    ULONG element = 0;
    SafeArrayGetElement(v.parray, &index, &element);
    EXPECT_EQ(5u, element);
    VariantClear(&v);
    SafeArrayDestroy(psa);
}

}  // namespace
