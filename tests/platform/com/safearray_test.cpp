// SAFEARRAY bounds, index order, locks and element ownership.
#include <gtest/gtest.h>
#include <oleauto.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "com_test_objects.h"

namespace {

using comtest::CountedObject;

TEST(SafeArray, VectorWithNonZeroLowerBound)
{
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UI4, 5, 3);
    ASSERT_NE(nullptr, psa);
    EXPECT_EQ(1u, SafeArrayGetDim(psa));
    EXPECT_EQ(4u, SafeArrayGetElemsize(psa));
    EXPECT_TRUE(psa->fFeatures & FADF_HAVEVARTYPE);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(S_OK, SafeArrayGetVartype(psa, &vt));
    EXPECT_EQ(VT_UI4, vt);
    LONG bound = 0;
    EXPECT_EQ(S_OK, SafeArrayGetLBound(psa, 1, &bound));
    EXPECT_EQ(5, bound);
    EXPECT_EQ(S_OK, SafeArrayGetUBound(psa, 1, &bound));
    EXPECT_EQ(7, bound);

    for (LONG i = 5; i <= 7; ++i) {
        ULONG value = 100u + static_cast<ULONG>(i);
        EXPECT_EQ(S_OK, SafeArrayPutElement(psa, &i, &value));
    }
    ULONG* data = nullptr;
    ASSERT_EQ(S_OK, SafeArrayAccessData(psa, reinterpret_cast<void**>(&data)));
    EXPECT_EQ(105u, data[0]);
    EXPECT_EQ(107u, data[2]);
    EXPECT_EQ(1u, psa->cLocks);
    EXPECT_EQ(S_OK, SafeArrayUnaccessData(psa));
    LONG index = 6;
    ULONG value = 0;
    EXPECT_EQ(S_OK, SafeArrayGetElement(psa, &index, &value));
    EXPECT_EQ(106u, value);
    EXPECT_EQ(S_OK, SafeArrayDestroy(psa));
}

TEST(SafeArray, RefusesIndexesOutsideTheBoundsAndBadDimensions)
{
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, -2, 4);  // -2 .. 1
    ASSERT_NE(nullptr, psa);
    LONG value = 9;
    for (LONG index : {-3, 2, 0x7FFFFFFF, -0x7FFFFFFF - 1}) {
        EXPECT_EQ(DISP_E_BADINDEX, SafeArrayPutElement(psa, &index, &value)) << index;
        EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetElement(psa, &index, &value)) << index;
        void* element = nullptr;
        EXPECT_EQ(DISP_E_BADINDEX, SafeArrayPtrOfIndex(psa, &index, &element)) << index;
    }
    LONG bound = 0;
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetLBound(psa, 0, &bound));
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetUBound(psa, 2, &bound));
    EXPECT_EQ(E_INVALIDARG, SafeArrayGetLBound(nullptr, 1, &bound));
    EXPECT_EQ(E_INVALIDARG, SafeArrayGetLBound(psa, 1, nullptr));
    LONG index = 0;
    EXPECT_EQ(E_INVALIDARG, SafeArrayGetElement(psa, nullptr, &value));
    EXPECT_EQ(E_INVALIDARG, SafeArrayGetElement(psa, &index, nullptr));
    EXPECT_EQ(E_INVALIDARG, SafeArrayPutElement(psa, &index, nullptr));
    EXPECT_EQ(0u, psa->cLocks);  // failed accesses leave no lock behind
    SafeArrayDestroy(psa);

    SAFEARRAY* empty = SafeArrayCreateVector(VT_I4, 3, 0);
    ASSERT_NE(nullptr, empty);
    EXPECT_EQ(S_OK, SafeArrayGetUBound(empty, 1, &bound));
    EXPECT_EQ(2, bound);
    index = 3;
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetElement(empty, &index, &value));
    SafeArrayDestroy(empty);
}

// rgIndices[0] indexes dimension 1, the first bound given to SafeArrayCreate, and that
// dimension varies fastest in memory; the descriptor stores the bounds in reverse order.
TEST(SafeArray, FirstIndexIsTheFastestDimension)
{
    SAFEARRAYBOUND bounds[2] = {{3, 10}, {2, 20}};  // dimension 1: 10..12, dimension 2: 20..21
    SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
    ASSERT_NE(nullptr, psa);
    EXPECT_EQ(2u, psa->rgsabound[0].cElements);
    EXPECT_EQ(20, psa->rgsabound[0].lLbound);
    EXPECT_EQ(3u, psa->rgsabound[1].cElements);
    LONG bound = 0;
    SafeArrayGetLBound(psa, 1, &bound);
    EXPECT_EQ(10, bound);
    SafeArrayGetUBound(psa, 2, &bound);
    EXPECT_EQ(21, bound);

    LONG indexes[2] = {11, 21};
    LONG value = 42;
    ASSERT_EQ(S_OK, SafeArrayPutElement(psa, indexes, &value));
    const LONG* data = static_cast<const LONG*>(psa->pvData);
    EXPECT_EQ(42, data[(11 - 10) + (21 - 20) * 3]);
    void* element = nullptr;
    LONG corner[2] = {12, 20};
    ASSERT_EQ(S_OK, SafeArrayPtrOfIndex(psa, corner, &element));
    EXPECT_EQ(static_cast<const void*>(data + 2), element);
    LONG outside[2] = {13, 20};
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayPtrOfIndex(psa, outside, &element));
    SafeArrayDestroy(psa);
}

TEST(SafeArray, RefusesBadTypesDimensionsSizesAndDestroyingLockedArrays)
{
    EXPECT_EQ(nullptr, SafeArrayCreateVector(VT_EMPTY, 0, 1));
    EXPECT_EQ(nullptr, SafeArrayCreateVector(VT_NULL, 0, 1));
    EXPECT_EQ(nullptr, SafeArrayCreateVector(VT_RECORD, 0, 1));
    EXPECT_EQ(nullptr, SafeArrayCreateVector(VT_I4 | VT_BYREF, 0, 1));
    SAFEARRAYBOUND bound{1, 0};
    EXPECT_EQ(nullptr, SafeArrayCreate(VT_I4, 0, &bound));
    EXPECT_EQ(nullptr, SafeArrayCreate(VT_I4, 1, nullptr));
    // 2^32 elements, or a byte count past the 32-bit sizes, are refused, not wrapped.
    SAFEARRAYBOUND huge[2] = {{0x10000, 0}, {0x10000, 0}};
    EXPECT_EQ(nullptr, SafeArrayCreate(VT_UI1, 2, huge));
    EXPECT_EQ(nullptr, SafeArrayCreateVector(VT_VARIANT, 0, 0xFFFFFFFFu));
    EXPECT_EQ(nullptr, SafeArrayCreateVector(VT_I4, 0, 0x40000000u));
    EXPECT_EQ(0u, SafeArrayGetDim(nullptr));
    VARTYPE vt;
    EXPECT_EQ(E_INVALIDARG, SafeArrayGetVartype(nullptr, &vt));

    // Locked arrays cannot be destroyed.
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, 8);
    ASSERT_EQ(S_OK, SafeArrayLock(psa));
    EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayDestroy(psa));
    EXPECT_EQ(S_OK, SafeArrayUnlock(psa));
    EXPECT_EQ(E_UNEXPECTED, SafeArrayUnlock(psa));
    EXPECT_EQ(E_INVALIDARG, SafeArrayLock(nullptr));
    EXPECT_EQ(E_INVALIDARG, SafeArrayAccessData(psa, nullptr));
    EXPECT_EQ(S_OK, SafeArrayDestroy(psa));
    EXPECT_EQ(S_OK, SafeArrayDestroy(nullptr));
}

// A host may build an array in steps, as on Windows: the descriptor, then its bounds, then
// the data.
TEST(SafeArray, BuiltInSteps)
{
    SAFEARRAY* psa = nullptr;
    ASSERT_EQ(S_OK, SafeArrayAllocDescriptorEx(VT_UI4, 1, &psa));
    EXPECT_EQ(4u, psa->cbElements);
    EXPECT_EQ(nullptr, psa->pvData);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(S_OK, SafeArrayGetVartype(psa, &vt));
    EXPECT_EQ(VT_UI4, vt);
    psa->rgsabound[0] = {3, 1};
    ASSERT_EQ(S_OK, SafeArrayAllocData(psa));
    EXPECT_EQ(E_INVALIDARG, SafeArrayAllocData(psa)) << "the array has data already";
    LONG index = 3;
    ULONG value = 0xC0FFEE;
    ASSERT_EQ(S_OK, SafeArrayPutElement(psa, &index, &value));
    EXPECT_EQ(0xC0FFEEu, static_cast<const ULONG*>(psa->pvData)[2]);

    // Data and descriptor go separately; a locked array keeps both.
    ASSERT_EQ(S_OK, SafeArrayLock(psa));
    EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayDestroyData(psa));
    EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayDestroyDescriptor(psa));
    ASSERT_EQ(S_OK, SafeArrayUnlock(psa));
    EXPECT_EQ(S_OK, SafeArrayDestroyData(psa));
    EXPECT_EQ(nullptr, psa->pvData);
    EXPECT_EQ(S_OK, SafeArrayDestroyDescriptor(psa));

    // A plain descriptor has no type and no element size until the caller gives one.
    ASSERT_EQ(S_OK, SafeArrayAllocDescriptor(2, &psa));
    EXPECT_EQ(2u, psa->cDims);
    EXPECT_EQ(0u, psa->cbElements);
    EXPECT_EQ(E_INVALIDARG, SafeArrayGetVartype(psa, &vt));
    EXPECT_EQ(E_INVALIDARG, SafeArrayAllocData(psa)) << "elements of no size";
    EXPECT_EQ(S_OK, SafeArrayDestroy(psa));

    EXPECT_EQ(E_INVALIDARG, SafeArrayAllocDescriptor(0, &psa));
    EXPECT_EQ(nullptr, psa);
    EXPECT_EQ(E_INVALIDARG, SafeArrayAllocDescriptor(0x10000, &psa));
    EXPECT_EQ(E_POINTER, SafeArrayAllocDescriptor(1, nullptr));
    EXPECT_EQ(E_INVALIDARG, SafeArrayAllocDescriptorEx(VT_EMPTY, 1, &psa));
    EXPECT_EQ(E_INVALIDARG, SafeArrayAllocData(nullptr));
    EXPECT_EQ(E_INVALIDARG, SafeArrayDestroyData(nullptr));
    EXPECT_EQ(S_OK, SafeArrayDestroyDescriptor(nullptr));
}

// Windows copies as many bytes as the array says an element has. An array built by hand can
// say VT_UI4 and have 16-byte elements, and a caller that checked the type passes a ULONG:
// such arrays, and others whose element size is not their type's, are refused here.
TEST(SafeArray, ElementsOfAnotherSizeThanTheirTypeAreRefused)
{
    SAFEARRAY* psa = nullptr;
    ASSERT_EQ(S_OK, SafeArrayAllocDescriptorEx(VT_UI4, 1, &psa));
    psa->cbElements = 16;
    psa->rgsabound[0] = {2, 0};
    ASSERT_EQ(S_OK, SafeArrayAllocData(psa));
    struct {
        ULONG value;
        unsigned char after[12];
    } out = {7, {0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB}};
    LONG index = 1;
    EXPECT_EQ(E_INVALIDARG, SafeArrayGetElement(psa, &index, &out.value));
    EXPECT_EQ(7u, out.value);
    EXPECT_TRUE(std::all_of(std::begin(out.after), std::end(out.after), [](unsigned char b) { return b == 0xAB; }));
    EXPECT_EQ(E_INVALIDARG, SafeArrayPutElement(psa, &index, &out.value));
    void* element = nullptr;
    EXPECT_EQ(E_INVALIDARG, SafeArrayPtrOfIndex(psa, &index, &element));
    SAFEARRAY* copy = psa;
    EXPECT_EQ(E_INVALIDARG, SafeArrayCopy(psa, &copy));
    EXPECT_EQ(nullptr, copy);
    VARIANT var;
    var.vt = VT_ARRAY | VT_UI4;
    var.parray = psa;
    VARIANT varCopy;
    VariantInit(&varCopy);
    EXPECT_EQ(E_INVALIDARG, VariantCopy(&varCopy, &var));
    EXPECT_EQ(S_OK, SafeArrayDestroy(psa));

    // Strings in 2-byte slots: no element is read, and destroying writes no pointer into them.
    ASSERT_EQ(S_OK, SafeArrayAllocDescriptorEx(VT_BSTR, 1, &psa));
    psa->cbElements = 2;
    psa->rgsabound[0] = {3, 0};
    ASSERT_EQ(S_OK, SafeArrayAllocData(psa));
    BSTR text = nullptr;
    index = 2;
    EXPECT_EQ(E_INVALIDARG, SafeArrayGetElement(psa, &index, &text));
    EXPECT_EQ(S_OK, SafeArrayDestroy(psa));

    // Bounds without data.
    ASSERT_EQ(S_OK, SafeArrayAllocDescriptorEx(VT_I4, 1, &psa));
    psa->rgsabound[0] = {4, 0};
    LONG lValue = 0;
    EXPECT_EQ(E_INVALIDARG, SafeArrayGetElement(psa, &index, &lValue));
    EXPECT_EQ(E_INVALIDARG, SafeArrayPutElement(psa, &index, &lValue));
    EXPECT_EQ(S_OK, SafeArrayDestroy(psa));

    // Without a type nothing says what size an element should have: the caller has to ask
    // SafeArrayGetElemsize, as on Windows.
    ASSERT_EQ(S_OK, SafeArrayAllocDescriptor(1, &psa));
    psa->cbElements = 16;
    psa->rgsabound[0] = {1, 0};
    ASSERT_EQ(S_OK, SafeArrayAllocData(psa));
    static_cast<unsigned char*>(psa->pvData)[15] = 0x5A;
    unsigned char whole[16] = {};
    index = 0;
    EXPECT_EQ(S_OK, SafeArrayGetElement(psa, &index, whole));
    EXPECT_EQ(0x5A, whole[15]);
    EXPECT_EQ(S_OK, SafeArrayDestroy(psa));
}

TEST(SafeArray, StringElementsAreCopiedInAndOut)
{
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 2);
    ASSERT_NE(nullptr, psa);
    EXPECT_TRUE(psa->fFeatures & FADF_BSTR);
    EXPECT_EQ(sizeof(BSTR), SafeArrayGetElemsize(psa));
    LONG index = 1;
    BSTR text = SysAllocString(u"scan.multipos.array");
    ASSERT_EQ(S_OK, SafeArrayPutElement(psa, &index, text));
    SysFreeString(text);  // the array holds its own copy
    BSTR replacement = SysAllocString(u"scan.multicrop.array");
    ASSERT_EQ(S_OK, SafeArrayPutElement(psa, &index, replacement));  // the old copy is freed
    SysFreeString(replacement);

    BSTR out = nullptr;
    ASSERT_EQ(S_OK, SafeArrayGetElement(psa, &index, &out));
    EXPECT_EQ(std::u16string(u"scan.multicrop.array"), std::u16string(out));
    EXPECT_NE(static_cast<BSTR*>(psa->pvData)[1], out);
    SysFreeString(out);
    index = 0;
    out = SysAllocString(u"x");
    BSTR previous = out;
    ASSERT_EQ(S_OK, SafeArrayGetElement(psa, &index, &out));
    EXPECT_EQ(nullptr, out);  // an element never set reads as a null BSTR
    SysFreeString(previous);
    EXPECT_EQ(S_OK, SafeArrayDestroy(psa));  // frees the remaining element
}

TEST(SafeArray, InterfaceElementsAreReferenceCounted)
{
    CountedObject first;
    CountedObject second;
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UNKNOWN, 0, 1);
    ASSERT_NE(nullptr, psa);
    LONG index = 0;
    ASSERT_EQ(S_OK, SafeArrayPutElement(psa, &index, static_cast<IUnknown*>(&first)));
    EXPECT_EQ(2u, first.Refs());
    ASSERT_EQ(S_OK, SafeArrayPutElement(psa, &index, static_cast<IUnknown*>(&second)));
    EXPECT_EQ(1u, first.Refs());
    EXPECT_EQ(2u, second.Refs());
    IUnknown* out = nullptr;
    ASSERT_EQ(S_OK, SafeArrayGetElement(psa, &index, &out));
    EXPECT_EQ(static_cast<IUnknown*>(&second), out);
    EXPECT_EQ(3u, second.Refs());
    out->Release();
    EXPECT_EQ(S_OK, SafeArrayDestroy(psa));
    EXPECT_EQ(1u, second.Refs());
}

TEST(SafeArray, VariantElementsAndCopiesAreDeepAndKeepTheBounds)
{
    SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    ASSERT_NE(nullptr, psa);
    VARIANT in = comtest::Text(u"boot.adf.hide");
    LONG index = 1;
    ASSERT_EQ(S_OK, SafeArrayPutElement(psa, &index, &in));
    VariantClear(&in);
    VARIANT out;
    ASSERT_EQ(S_OK, SafeArrayGetElement(psa, &index, &out));
    EXPECT_EQ(VT_BSTR, out.vt);
    EXPECT_EQ(std::u16string(u"boot.adf.hide"), std::u16string(out.bstrVal));
    VariantClear(&out);

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(S_OK, SafeArrayCopy(psa, &copy));
    ASSERT_NE(nullptr, copy);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(S_OK, SafeArrayGetVartype(copy, &vt));
    EXPECT_EQ(VT_VARIANT, vt);
    const VARIANT* original = static_cast<const VARIANT*>(psa->pvData);
    const VARIANT* copied = static_cast<const VARIANT*>(copy->pvData);
    EXPECT_NE(original[1].bstrVal, copied[1].bstrVal);
    EXPECT_EQ(std::u16string(original[1].bstrVal), std::u16string(copied[1].bstrVal));
    EXPECT_EQ(VT_EMPTY, copied[0].vt);
    SafeArrayDestroy(psa);
    SafeArrayDestroy(copy);

    // A copy keeps the bounds and leaves no lock.
    psa = SafeArrayCreateVector(VT_I2, 7, 3);
    for (LONG i = 7; i < 10; ++i) {
        SHORT value = static_cast<SHORT>(-i);
        SafeArrayPutElement(psa, &i, &value);
    }
    ASSERT_EQ(S_OK, SafeArrayCopy(psa, &copy));
    index = 9;
    SHORT value = 0;
    EXPECT_EQ(S_OK, SafeArrayGetElement(copy, &index, &value));
    EXPECT_EQ(-9, value);
    EXPECT_EQ(0u, copy->cLocks);
    SafeArrayDestroy(psa);
    SafeArrayDestroy(copy);
    copy = psa;
    EXPECT_EQ(S_OK, SafeArrayCopy(nullptr, &copy));
    EXPECT_EQ(nullptr, copy);
    EXPECT_EQ(E_INVALIDARG, SafeArrayCopy(nullptr, nullptr));
}

}  // namespace
