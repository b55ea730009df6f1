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
        spMoved = spMoved;  // self-assignment keeps the reference
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

// --- CComBSTR

TEST(AtlComBSTR, LengthCopyAppendAndComparison)
{
    CComBSTR empty;
    EXPECT_EQ(nullptr, empty.m_str);
    EXPECT_EQ(0u, empty.Length());
    EXPECT_TRUE(empty == CComBSTR(OLESTR("")));

    CComBSTR s(OLESTR("scan"));
    EXPECT_EQ(4u, s.Length());

    EXPECT_EQ(S_OK, s.Append(OLESTR(".pos")));
    EXPECT_TRUE(s == OLESTR("scan.pos"));
    EXPECT_EQ(S_OK, s.Append(s));  // appending itself reads the old text
    EXPECT_TRUE(s == OLESTR("scan.posscan.pos"));
    s += OLESTR("!");
    EXPECT_EQ(17u, s.Length());
    EXPECT_EQ(E_INVALIDARG, s.Append(OLESTR("x"), -1));

    // Embedded NULs survive copies and count in comparisons.
    const OLECHAR text[] = {u'a', 0, u'b'};
    CComBSTR withNul(3, text);
    EXPECT_EQ(3u, withNul.Length());
    CComBSTR copy(withNul);
    EXPECT_EQ(3u, copy.Length());
    EXPECT_TRUE(copy == withNul);
    EXPECT_FALSE(copy == OLESTR("a"));
    EXPECT_TRUE(CComBSTR(OLESTR("a")) < CComBSTR(OLESTR("b")));
    EXPECT_TRUE(CComBSTR(OLESTR("a")) < copy);

    CComBSTR assigned;
    assigned = copy;
    EXPECT_NE(copy.m_str, assigned.m_str) << "assignment copies the text";
    assigned = OLESTR("x");
    EXPECT_TRUE(assigned == OLESTR("x"));
    assigned = static_cast<LPCOLESTR>(nullptr);
    EXPECT_EQ(nullptr, assigned.m_str);
}

TEST(AtlComBSTR, AttachDetachCopyToAndGuidText)
{
    CComBSTR s;
    s.Attach(::SysAllocString(OLESTR("owned")));
    EXPECT_EQ(5u, s.Length());

    BSTR b = nullptr;
    EXPECT_EQ(S_OK, s.CopyTo(&b));
    EXPECT_NE(s.m_str, b);
    EXPECT_EQ(5u, ::SysStringLen(b));
    ::SysFreeString(b);
    EXPECT_EQ(E_POINTER, s.CopyTo(static_cast<BSTR*>(nullptr)));

    VARIANT v;
    ::VariantInit(&v);
    EXPECT_EQ(S_OK, s.CopyTo(&v));
    EXPECT_EQ(VT_BSTR, v.vt);
    EXPECT_EQ(5u, ::SysStringLen(v.bstrVal));
    ::VariantClear(&v);

    BSTR detached = s.Detach();
    EXPECT_EQ(nullptr, s.m_str);
    EXPECT_EQ(5u, ::SysStringLen(detached));
    ::SysFreeString(detached);

    CComBSTR guid(CLSID_AtlTestObject);
    EXPECT_TRUE(guid == OLESTR("{5A1E0100-0000-4000-8000-000000000100}"));

    // The out-parameter form fills an empty string.
    CComBSTR out;
    *&out = ::SysAllocString(OLESTR("filled"));
    EXPECT_TRUE(out == OLESTR("filled"));
    out.Empty();
    EXPECT_EQ(nullptr, out.m_str);
}

// --- CComVariant

TEST(AtlComVariant, ConstructorsStoreTheWin32Types)
{
    EXPECT_EQ(VT_EMPTY, CComVariant().vt);

    CComVariant vBool(true);
    EXPECT_EQ(VT_BOOL, vBool.vt);
    EXPECT_EQ(VARIANT_TRUE, vBool.boolVal);
    EXPECT_EQ(VARIANT_FALSE, CComVariant(false).boolVal);

    EXPECT_EQ(VT_I4, CComVariant(-7).vt);
    EXPECT_EQ(VT_UI4, CComVariant(0x00640032u).vt);
    EXPECT_EQ(VT_INT, CComVariant(3, VT_INT).vt);
    CComVariant vBad(3, VT_BSTR);
    EXPECT_EQ(VT_ERROR, vBad.vt);
    EXPECT_EQ(E_INVALIDARG, vBad.scode);

    EXPECT_EQ(VT_UI1, CComVariant(static_cast<BYTE>(200)).vt);
    EXPECT_EQ(VT_I2, CComVariant(static_cast<short>(-2)).vt);
    EXPECT_EQ(VT_UI2, CComVariant(static_cast<unsigned short>(2)).vt);
    EXPECT_EQ(VT_I8, CComVariant(static_cast<LONGLONG>(1) << 40).vt);
    EXPECT_EQ(VT_UI8, CComVariant(static_cast<ULONGLONG>(1) << 40).vt);
    EXPECT_EQ(VT_R4, CComVariant(1.5f).vt);
    EXPECT_EQ(VT_R8, CComVariant(2.25).vt);
    EXPECT_EQ(VT_DATE, CComVariant(2.0, VT_DATE).vt);

    CComVariant vText(OLESTR("scan.crop"));
    EXPECT_EQ(VT_BSTR, vText.vt);
    EXPECT_EQ(9u, ::SysStringLen(vText.bstrVal));
    CComVariant vNullText(static_cast<LPCOLESTR>(nullptr));
    EXPECT_EQ(VT_BSTR, vNullText.vt);
    EXPECT_EQ(nullptr, vNullText.bstrVal);
}

TEST(AtlComVariant, CopyDeepCopiesAndComparesByValue)
{
    CComVariant a(OLESTR("frame"));
    CComVariant b(a);
    EXPECT_NE(a.bstrVal, b.bstrVal) << "a copy owns its own string";
    EXPECT_TRUE(a == b);

    CComVariant c;
    EXPECT_EQ(S_OK, c.Copy(&a));
    EXPECT_TRUE(c == a);
    c = 5;
    EXPECT_EQ(VT_I4, c.vt);
    EXPECT_FALSE(c == a);
    EXPECT_TRUE(c == CComVariant(5));
    EXPECT_FALSE(c == CComVariant(5u)) << "different types are not equal";
    c = OLESTR("again");
    EXPECT_TRUE(c == CComVariant(OLESTR("again")));
    c = a;
    EXPECT_TRUE(c == a);
    EXPECT_EQ(S_OK, c.Clear());
    EXPECT_EQ(VT_EMPTY, c.vt);
}

TEST(AtlComVariant, AttachDetachMoveTheValueWithoutCopying)
{
    VARIANT raw;
    ::VariantInit(&raw);
    raw.vt = VT_BSTR;
    raw.bstrVal = ::SysAllocString(OLESTR("moved"));
    const BSTR original = raw.bstrVal;

    CComVariant v(7);
    EXPECT_EQ(S_OK, v.Attach(&raw));
    EXPECT_EQ(VT_EMPTY, raw.vt);
    EXPECT_EQ(original, v.bstrVal);
    EXPECT_EQ(E_INVALIDARG, v.Attach(nullptr));

    VARIANT out;
    ::VariantInit(&out);
    out.vt = VT_BSTR;
    out.bstrVal = ::SysAllocString(OLESTR("replaced"));  // Detach clears it first
    EXPECT_EQ(S_OK, v.Detach(&out));
    EXPECT_EQ(VT_EMPTY, v.vt);
    EXPECT_EQ(original, out.bstrVal);
    EXPECT_EQ(E_POINTER, v.Detach(nullptr));
    ::VariantClear(&out);

    CComVariant moved(CComVariant(OLESTR("temp")));
    EXPECT_EQ(VT_BSTR, moved.vt);
    BSTR copy = nullptr;
    EXPECT_EQ(S_OK, moved.CopyTo(&copy));
    EXPECT_EQ(4u, ::SysStringLen(copy));
    ::SysFreeString(copy);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, CComVariant(1).CopyTo(&copy));
    EXPECT_EQ(nullptr, copy);
}

TEST(AtlComVariant, ChangeTypeConvertsInPlaceOrFromASource)
{
    CComVariant v(42);
    EXPECT_EQ(S_OK, v.ChangeType(VT_BSTR));
    EXPECT_EQ(VT_BSTR, v.vt);
    EXPECT_TRUE(CComBSTR(v.bstrVal) == OLESTR("42"));

    CComVariant source(OLESTR("17"));
    CComVariant target;
    EXPECT_EQ(S_OK, target.ChangeType(VT_I4, &source));
    EXPECT_EQ(VT_I4, target.vt);
    EXPECT_EQ(17, target.lVal);
    EXPECT_EQ(VT_BSTR, source.vt) << "the source is left as it was";

    CComVariant text(OLESTR("not a number"));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, text.ChangeType(VT_I4));
}

TEST_F(AtlComPtr, VariantHoldsAReferenceOnAnInterface)
{
    {
        CComVariant v(static_cast<IUnknown*>(m_pFoo));
        EXPECT_EQ(VT_UNKNOWN, v.vt);
        EXPECT_EQ(2u, Count());
        CComVariant copy(v);
        EXPECT_EQ(3u, Count());
        copy.Clear();
        EXPECT_EQ(2u, Count());
    }
    EXPECT_EQ(1u, Count());
}

}  // namespace
