// Client helpers of the ATL layer: CComPtr and CComQIPtr reference counting, CComBSTR and
// CComVariant values. Leaks show up in the sanitizer build.
#include <gtest/gtest.h>

#include <vector>

#include "atl_test_objects.h"

namespace {

// A test object held by the fixture, whose count the tests watch.
class AtlComPtr : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, CComObject<CAtlTestObject>::CreateInstance(&m_pObj));
        m_pObj->AddRef();
        m_pFoo = m_pObj;
        m_pBar = m_pObj;
    }
    void TearDown() override { EXPECT_EQ(0u, m_pObj->Release()) << "a smart pointer leaked a reference"; }

    // The object's count, read by a balanced AddRef/Release.
    ULONG Count()
    {
        m_pObj->AddRef();
        return m_pObj->Release();
    }

    CComObject<CAtlTestObject>* m_pObj = nullptr;
    IAtlTestFoo* m_pFoo = nullptr;
    IAtlTestBar* m_pBar = nullptr;
};

TEST_F(AtlComPtr, HoldsOneReferenceThroughCopyMoveAssignmentAndRelease)
{
    {
        CComPtr<IAtlTestFoo> sp(m_pFoo);
        EXPECT_EQ(2u, Count());
        CComPtr<IAtlTestFoo> spCopy(sp);
        EXPECT_EQ(3u, Count());
        CComPtr<IAtlTestFoo> spMoved(std::move(spCopy));
        EXPECT_EQ(3u, Count());
        EXPECT_EQ(nullptr, spCopy.p);
        EXPECT_EQ(m_pFoo, spMoved.p);

        spMoved = sp;  // the same object: count unchanged
        EXPECT_EQ(3u, Count());
        spMoved = nullptr;
        EXPECT_EQ(2u, Count());
        spMoved = m_pFoo;
        const CComPtr<IAtlTestFoo>& spSame = spMoved;  // a second name: clang rejects x = x
        spMoved = spSame;  // self-assignment keeps the reference
        EXPECT_EQ(3u, Count());
        spMoved.Release();
        EXPECT_EQ(nullptr, spMoved.p);
        EXPECT_EQ(2u, Count());
        EXPECT_EQ(1, sp->Foo());
    }
    EXPECT_EQ(1u, Count());
}

// Move assignment used to compare `this` with `&lp`, which calls CComPtr's own operator&
// (an out-parameter accessor) and failed to compile as soon as it was used, e.g. by a vector
// erasing an element.
TEST_F(AtlComPtr, MoveAssignmentServesContainers)
{
    {
        std::vector<CComPtr<IAtlTestFoo>> list(3, CComPtr<IAtlTestFoo>(m_pFoo));
        EXPECT_EQ(4u, Count());
        list.erase(list.begin());  // moves the later entries down
        EXPECT_EQ(3u, Count());
        CComPtr<IAtlTestFoo> sp(m_pFoo);
        list[0] = std::move(sp);
        EXPECT_EQ(nullptr, sp.p);
        EXPECT_EQ(3u, Count());
        list[1] = std::move(list[1]);  // self-move keeps the reference
        EXPECT_EQ(3u, Count());
    }
    EXPECT_EQ(1u, Count());
}

TEST_F(AtlComPtr, AttachDetachCopyToAndQueryInterface)
{
    CComPtr<IAtlTestFoo> sp;
    EXPECT_TRUE(!sp);
    m_pFoo->AddRef();
    sp.Attach(m_pFoo);  // takes over the caller's reference
    EXPECT_EQ(2u, Count());

    IAtlTestFoo* pCopy = nullptr;
    EXPECT_EQ(S_OK, sp.CopyTo(&pCopy));
    EXPECT_EQ(m_pFoo, pCopy);
    EXPECT_EQ(3u, Count());
    pCopy->Release();
    EXPECT_EQ(E_POINTER, sp.CopyTo(nullptr));

    CComPtr<IAtlTestBar> spBar;
    EXPECT_EQ(S_OK, sp.QueryInterface(&spBar));
    EXPECT_EQ(m_pBar, spBar.p);
    EXPECT_EQ(3u, Count());
    EXPECT_TRUE(sp.IsEqualObject(spBar));
    EXPECT_EQ(3u, Count()) << "IsEqualObject leaves the counts alone";

    IAtlTestFoo* pDetached = sp.Detach();
    EXPECT_EQ(nullptr, sp.p);
    EXPECT_EQ(3u, Count()) << "Detach hands the reference over";
    pDetached->Release();
}

TEST_F(AtlComPtr, QIPtrQueriesForItsInterface)
{
    {
        CComQIPtr<IAtlTestFoo> spFoo(static_cast<IUnknown*>(m_pBar));
        EXPECT_EQ(m_pFoo, spFoo.p);
        EXPECT_EQ(2u, Count());

        CComQIPtr<IAtlTestNone> spNone(static_cast<IUnknown*>(m_pBar));
        EXPECT_EQ(nullptr, spNone.p);
        EXPECT_EQ(2u, Count());

        CComQIPtr<IAtlTestFoo> spAssigned;
        spAssigned = static_cast<IUnknown*>(m_pBar);
        EXPECT_EQ(m_pFoo, spAssigned.p);
        EXPECT_EQ(3u, Count());
        spAssigned = static_cast<IUnknown*>(nullptr);
        EXPECT_EQ(2u, Count());

        CComQIPtr<IAtlTestBar, &IID_IAtlTestAlias> spAlias(static_cast<IUnknown*>(m_pFoo));
        EXPECT_EQ(static_cast<void*>(m_pBar), static_cast<void*>(spAlias.p));

        // The IUnknown form yields the identity, whichever interface it is given.
        CComQIPtr<IUnknown> spUnk(static_cast<IUnknown*>(m_pFoo));
        EXPECT_EQ(static_cast<IUnknown*>(m_pBar), spUnk.p);
    }
    EXPECT_EQ(1u, Count());
}

TEST_F(AtlComPtr, VariantHoldsAReferenceOnAnInterface)
{
    {
        CComVariant v(static_cast<IUnknown*>(m_pFoo));
        EXPECT_EQ(VT_UNKNOWN, v.vt);
        CComVariant copy(v);
        EXPECT_EQ(3u, Count());
        copy.Clear();
        EXPECT_EQ(2u, Count());
    }
    EXPECT_EQ(1u, Count());
}

TEST(AtlComBSTR, LengthAppendComparisonAndOwnership)
{
    CComBSTR empty;
    EXPECT_EQ(0u, empty.Length());
    EXPECT_TRUE(empty == CComBSTR(OLESTR("")));

    CComBSTR s(OLESTR("scan"));
    EXPECT_EQ(S_OK, s.Append(OLESTR(".pos")));
    EXPECT_EQ(S_OK, s.Append(s));  // appending itself reads the old text
    s += OLESTR("!");
    EXPECT_TRUE(s == OLESTR("scan.posscan.pos!"));
    EXPECT_EQ(E_INVALIDARG, s.Append(OLESTR("x"), -1));

    // Embedded NULs survive copies and count in comparisons.
    const OLECHAR text[] = {u'a', 0, u'b'};
    CComBSTR withNul(3, text);
    CComBSTR copy(withNul);
    EXPECT_EQ(3u, copy.Length());
    EXPECT_TRUE(copy == withNul);
    EXPECT_FALSE(copy == OLESTR("a"));
    EXPECT_TRUE(CComBSTR(OLESTR("a")) < CComBSTR(OLESTR("b")));
    EXPECT_TRUE(CComBSTR(OLESTR("a")) < copy);
    CComBSTR assigned;
    assigned = copy;
    EXPECT_NE(copy.m_str, assigned.m_str) << "assignment copies the text";
    assigned = static_cast<LPCOLESTR>(nullptr);
    EXPECT_EQ(nullptr, assigned.m_str);

    BSTR b = nullptr;
    EXPECT_EQ(S_OK, s.CopyTo(&b));
    EXPECT_NE(s.m_str, b);
    ::SysFreeString(b);
    EXPECT_EQ(E_POINTER, s.CopyTo(static_cast<BSTR*>(nullptr)));
    VARIANT v;
    ::VariantInit(&v);
    EXPECT_EQ(S_OK, s.CopyTo(&v));
    EXPECT_EQ(VT_BSTR, v.vt);
    ::VariantClear(&v);
    BSTR detached = s.Detach();
    EXPECT_EQ(nullptr, s.m_str);
    s.Attach(detached);
    EXPECT_EQ(17u, s.Length());

    EXPECT_TRUE(CComBSTR(CLSID_AtlTestObject) == OLESTR("{5A1E0100-0000-4000-8000-000000000100}"));
    // The out-parameter form fills an empty string; Empty frees it.
    CComBSTR out;
    *&out = ::SysAllocString(OLESTR("filled"));
    EXPECT_TRUE(out == OLESTR("filled"));
    out.Empty();
    EXPECT_EQ(nullptr, out.m_str);
}

TEST(AtlComVariant, ConstructorsCopiesComparisonAndTransfer)
{
    EXPECT_EQ(VARIANT_TRUE, CComVariant(true).boolVal);
    EXPECT_EQ(VT_UI4, CComVariant(0x00640032u).vt);
    EXPECT_EQ(VT_INT, CComVariant(3, VT_INT).vt);
    CComVariant vBad(3, VT_BSTR);
    EXPECT_EQ(VT_ERROR, vBad.vt);
    EXPECT_EQ(E_INVALIDARG, vBad.scode);
    CComVariant vNullText(static_cast<LPCOLESTR>(nullptr));
    EXPECT_EQ(VT_BSTR, vNullText.vt);
    EXPECT_EQ(nullptr, vNullText.bstrVal);

    CComVariant a(OLESTR("frame"));
    CComVariant b(a);
    EXPECT_NE(a.bstrVal, b.bstrVal) << "a copy owns its own string";
    EXPECT_TRUE(a == b);
    b = 5;
    EXPECT_FALSE(b == a);
    EXPECT_TRUE(b == CComVariant(5));
    EXPECT_FALSE(b == CComVariant(5u)) << "different types are not equal";
    b = a;
    EXPECT_TRUE(b == a);
    EXPECT_NE(a.bstrVal, b.bstrVal) << "assignment copies the string too";

    VARIANT raw;
    ::VariantInit(&raw);
    raw.vt = VT_BSTR;
    raw.bstrVal = ::SysAllocString(OLESTR("moved"));
    const BSTR original = raw.bstrVal;
    EXPECT_EQ(S_OK, b.Attach(&raw));
    EXPECT_EQ(VT_EMPTY, raw.vt);
    EXPECT_EQ(original, b.bstrVal);
    EXPECT_EQ(E_INVALIDARG, b.Attach(nullptr));
    VARIANT out;
    ::VariantInit(&out);
    out.vt = VT_BSTR;
    out.bstrVal = ::SysAllocString(OLESTR("replaced"));  // Detach clears it first
    EXPECT_EQ(S_OK, b.Detach(&out));
    EXPECT_EQ(VT_EMPTY, b.vt);
    EXPECT_EQ(original, out.bstrVal);
    EXPECT_EQ(E_POINTER, b.Detach(nullptr));
    ::VariantClear(&out);

    BSTR copy = nullptr;
    EXPECT_EQ(DISP_E_TYPEMISMATCH, CComVariant(1).CopyTo(&copy));
    EXPECT_EQ(nullptr, copy);
    CComVariant source(OLESTR("17"));
    CComVariant target;
    EXPECT_EQ(S_OK, target.ChangeType(VT_I4, &source));
    EXPECT_EQ(17, target.lVal);
    EXPECT_EQ(VT_BSTR, source.vt) << "the source is left as it was";
}

}  // namespace
