// Rectangle functions against the documented Win32 results.
#include <gtest/gtest.h>
#include <winuser.h>

namespace {

bool Same(const RECT& a, const RECT& b)
{
    return EqualRect(&a, &b) != FALSE;
}

TEST(Rect, EmptinessAndContainment)
{
    const RECT r{10, 20, 30, 40};
    EXPECT_FALSE(IsRectEmpty(&r));
    const RECT flat{10, 20, 10, 40};
    const RECT inverted{30, 20, 10, 40};
    EXPECT_TRUE(IsRectEmpty(&flat));
    EXPECT_TRUE(IsRectEmpty(&inverted));
    EXPECT_TRUE(IsRectEmpty(nullptr));

    // Left and top edges belong to the rectangle, right and bottom do not.
    EXPECT_TRUE(PtInRect(&r, POINT{10, 20}));
    EXPECT_TRUE(PtInRect(&r, POINT{29, 39}));
    EXPECT_FALSE(PtInRect(&r, POINT{30, 39}));
    EXPECT_FALSE(PtInRect(&r, POINT{29, 40}));
    EXPECT_FALSE(PtInRect(&r, POINT{9, 20}));
}

TEST(Rect, IntersectionEmptiesTheResultWhenDisjoint)
{
    const RECT a{0, 0, 10, 10};
    const RECT b{5, 5, 20, 20};
    RECT out{};
    EXPECT_TRUE(IntersectRect(&out, &a, &b));
    EXPECT_TRUE(Same(out, RECT{5, 5, 10, 10}));

    const RECT touching{10, 0, 20, 10};
    out = RECT{1, 2, 3, 4};
    EXPECT_FALSE(IntersectRect(&out, &a, &touching));
    EXPECT_TRUE(Same(out, RECT{0, 0, 0, 0}));

    const RECT empty{3, 3, 3, 8};
    out = RECT{1, 2, 3, 4};
    EXPECT_FALSE(IntersectRect(&out, &a, &empty));
    EXPECT_TRUE(Same(out, RECT{0, 0, 0, 0}));
}

TEST(Rect, UnionIgnoresEmptyRectangles)
{
    const RECT a{0, 0, 10, 10};
    const RECT b{20, 5, 30, 15};
    const RECT empty{100, 100, 100, 200};
    RECT out{};
    EXPECT_TRUE(UnionRect(&out, &a, &b));
    EXPECT_TRUE(Same(out, RECT{0, 0, 30, 15}));
    EXPECT_TRUE(UnionRect(&out, &empty, &b));
    EXPECT_TRUE(Same(out, b));
    EXPECT_FALSE(UnionRect(&out, &empty, &empty));
    EXPECT_TRUE(Same(out, RECT{0, 0, 0, 0}));
}

TEST(Rect, SubtractOnlyCutsWholeSides)
{
    const RECT a{0, 0, 10, 10};
    RECT out{};
    const RECT topStrip{-5, -5, 15, 4};
    EXPECT_TRUE(SubtractRect(&out, &a, &topStrip));
    EXPECT_TRUE(Same(out, RECT{0, 4, 10, 10}));
    const RECT middle{3, 3, 6, 6};
    EXPECT_TRUE(SubtractRect(&out, &a, &middle));
    EXPECT_TRUE(Same(out, a));
    const RECT all{-1, -1, 11, 11};
    EXPECT_FALSE(SubtractRect(&out, &a, &all));
}

TEST(Rect, InflateAndOffsetMayInvert)
{
    RECT r{10, 10, 20, 20};
    EXPECT_TRUE(InflateRect(&r, -6, 2));
    EXPECT_TRUE(Same(r, RECT{16, 8, 14, 22}));
    EXPECT_TRUE(IsRectEmpty(&r));
    EXPECT_TRUE(OffsetRect(&r, -16, 2));
    EXPECT_TRUE(Same(r, RECT{0, 10, -2, 24}));
    EXPECT_FALSE(InflateRect(nullptr, 1, 1));
}

}  // namespace
