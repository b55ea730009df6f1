// CRect, CPoint and CSize: the members follow the Win32 rectangle rules.
#include <gtest/gtest.h>

#include <atltypes.h>

namespace {

TEST(AtlTypes, RectSizeEmptinessAndNormalization)
{
    CRect rc(10, 20, 40, 60);
    EXPECT_EQ(30, rc.Width());
    EXPECT_EQ(40, rc.Height());
    EXPECT_EQ(CPoint(25, 40), rc.CenterPoint());

    // Null only when all four are 0 (emptiness is ::IsRectEmpty's, tested with the base).
    EXPECT_FALSE(CRect(5, 9, 8, 2).IsRectNull());
    EXPECT_TRUE(CRect().IsRectNull());

    CRect flipped(40, 60, 10, 20);
    EXPECT_EQ(-30, flipped.Width());
    flipped.NormalizeRect();
    EXPECT_EQ(rc, flipped);
    CRect half(40, 20, 10, 60);
    half.NormalizeRect();
    EXPECT_EQ(rc, half);
}

TEST(AtlTypes, OffsetInflateDeflateAndMove)
{
    CRect rc(10, 10, 20, 30);
    rc.OffsetRect(5, -5);
    EXPECT_EQ(CRect(15, 5, 25, 25), rc);
    rc.OffsetRect(CPoint(-15, -5));
    rc.InflateRect(2, 3);
    rc.DeflateRect(2, 3);
    EXPECT_EQ(CRect(0, 0, 10, 20), rc);
    rc.InflateRect(1, 2, 3, 4);
    EXPECT_EQ(CRect(-1, -2, 13, 24), rc);
    const RECT margins = {1, 2, 3, 4};
    rc.DeflateRect(&margins);
    EXPECT_EQ(CRect(0, 0, 10, 20), rc);
    EXPECT_EQ(CRect(-1, -2, 13, 24), rc + &margins);
    EXPECT_EQ(CRect(1, 2, 7, 16), rc - &margins);
    rc.MoveToXY(100, 200);
    EXPECT_EQ(CRect(100, 200, 110, 220), rc);
    EXPECT_EQ(CRect(99, 198, 109, 218), rc - CSize(1, 2));
}

// The Win32 rules themselves (touching edges, empty operands) are tested with the base.
TEST(AtlTypes, IntersectAndUnionOperators)
{
    EXPECT_EQ(CRect(0, 0, 20, 20), CRect(0, 0, 10, 10) | CRect(5, 5, 20, 20));
    EXPECT_EQ(CRect(5, 5, 10, 10), CRect(0, 0, 10, 10) & CRect(5, 5, 20, 20));
    CRect rc(0, 0, 10, 10);
    rc &= CRect(20, 20, 30, 30);
    EXPECT_TRUE(rc.IsRectNull());
}

TEST(AtlTypes, PointAndSizeArithmeticAndMouseLParam)
{
    CPoint pt(3, 4);
    pt.Offset(CSize(1, 1));
    EXPECT_EQ(CPoint(4, 5), pt);
    EXPECT_EQ(CSize(3, 3), pt - CPoint(1, 2));
    EXPECT_EQ(CPoint(-4, -5), -pt);

    // Negative client coordinates arrive sign-extended from 16 bits.
    const CPoint fromLParam(MAKELPARAM(static_cast<WORD>(-5), 300));
    EXPECT_EQ(CPoint(-5, 300), fromLParam);
    EXPECT_EQ(CSize(-2, 7), CSize(static_cast<DWORD>(MAKELONG(static_cast<WORD>(-2), 7))));
}

}  // namespace
