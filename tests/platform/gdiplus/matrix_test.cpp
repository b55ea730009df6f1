// Matrices: elements, products in both orders, the elementary operations, inversion and
// point transforms.
#include "gdiplus_test.h"

namespace {

std::vector<REAL> Elements(GpMatrix* m)
{
    std::vector<REAL> e(6);
    EXPECT_EQ(Ok, GdipGetMatrixElements(m, e.data()));
    return e;
}

TEST(Matrix, AppendActsLastPrependActsFirst)
{
    // The orientation matrices: rotate right, then mirror left-right.
    GpMatrix* orientation = nullptr;
    GpMatrix* right = nullptr;
    GpMatrix* mirrorX = nullptr;
    GdipCreateMatrix(&orientation);
    GdipCreateMatrix2(0, 1, -1, 0, 0, 0, &right);
    GdipCreateMatrix2(-1, 0, 0, 1, 0, 0, &mirrorX);
    ASSERT_EQ(Ok, GdipMultiplyMatrix(orientation, right, MatrixOrderAppend));
    ASSERT_EQ(Ok, GdipMultiplyMatrix(orientation, mirrorX, MatrixOrderAppend));
    // (1, 0) -> rotate -> (0, 1) -> mirror -> (0, 1); (0, 1) -> (-1, 0) -> (1, 0)
    EXPECT_EQ((std::vector<REAL>{0, 1, 1, 0, 0, 0}), Elements(orientation));

    GpMatrix* prepended = nullptr;
    GdipCreateMatrix(&prepended);
    GdipMultiplyMatrix(prepended, right, MatrixOrderPrepend);
    GdipMultiplyMatrix(prepended, mirrorX, MatrixOrderPrepend);
    // Mirror first: (1, 0) -> (-1, 0) -> (0, -1)
    EXPECT_EQ((std::vector<REAL>{0, -1, -1, 0, 0, 0}), Elements(prepended));
    EXPECT_EQ(InvalidParameter, GdipMultiplyMatrix(prepended, right, GpMatrixOrder(2)));
    for (GpMatrix* m : {orientation, right, mirrorX, prepended})
        GdipDeleteMatrix(m);
}

TEST(Matrix, TranslateScaleRotateInBothOrders)
{
    GpMatrix* m = nullptr;
    GdipCreateMatrix(&m);
    GdipTranslateMatrix(m, 10, 20, MatrixOrderPrepend);
    GdipRotateMatrix(m, 90, MatrixOrderPrepend);  // rotate first, then translate
    PointF p(1, 0);
    GdipTransformMatrixPoints(m, &p, 1);
    EXPECT_FLOAT_EQ(10, p.X);
    EXPECT_FLOAT_EQ(21, p.Y);

    GdipSetMatrixElements(m, 1, 0, 0, 1, 0, 0);
    GdipTranslateMatrix(m, 10, 20, MatrixOrderPrepend);
    GdipRotateMatrix(m, 90, MatrixOrderAppend);  // translate first, then rotate
    p = PointF(1, 0);
    GdipTransformMatrixPoints(m, &p, 1);
    EXPECT_FLOAT_EQ(-20, p.X);
    EXPECT_FLOAT_EQ(11, p.Y);

    GdipSetMatrixElements(m, 1, 0, 0, 1, 0, 0);
    GdipScaleMatrix(m, 2, 3, MatrixOrderAppend);
    GdipTranslateMatrix(m, 1, 1, MatrixOrderAppend);
    EXPECT_EQ((std::vector<REAL>{2, 0, 0, 3, 1, 1}), Elements(m));
    // Quarter turns are exact, so orientation matrices compare with 0, 1 and -1.
    GdipSetMatrixElements(m, 1, 0, 0, 1, 0, 0);
    GdipRotateMatrix(m, 270, MatrixOrderAppend);
    EXPECT_EQ((std::vector<REAL>{0, -1, 1, 0, 0, 0}), Elements(m));
    GdipDeleteMatrix(m);
}

TEST(Matrix, InvertAndSingularMatrices)
{
    GpMatrix* m = nullptr;
    GdipCreateMatrix2(2, 0, 0, 4, 6, 8, &m);
    ASSERT_EQ(Ok, GdipInvertMatrix(m));
    EXPECT_EQ((std::vector<REAL>{0.5f, 0, 0, 0.25f, -3, -2}), Elements(m));
    GdipSetMatrixElements(m, 1, 2, 2, 4, 0, 0);
    EXPECT_EQ(InvalidParameter, GdipInvertMatrix(m));
    EXPECT_EQ((std::vector<REAL>{1, 2, 2, 4, 0, 0}), Elements(m));  // left as it was
    GdipDeleteMatrix(m);
    EXPECT_EQ(InvalidParameter, GdipCreateMatrix(nullptr));
    EXPECT_EQ(InvalidParameter, GdipGetMatrixElements(nullptr, nullptr));
}

TEST(Matrix, IntegerPointsRoundToNearestHalvesUp)
{
    GpMatrix* m = nullptr;
    GdipCreateMatrix2(0.5f, 0, 0, 0.5f, 0, 0, &m);
    Point points[] = {{1, 3}, {-1, -3}, {4, 5}};
    ASSERT_EQ(Ok, GdipTransformMatrixPointsI(m, points, 3));
    EXPECT_EQ(1, points[0].X);   // 0.5 -> 1
    EXPECT_EQ(2, points[0].Y);   // 1.5 -> 2
    EXPECT_EQ(0, points[1].X);   // -0.5 -> 0
    EXPECT_EQ(-1, points[1].Y);  // -1.5 -> -1
    EXPECT_EQ(2, points[2].X);
    EXPECT_EQ(3, points[2].Y);  // 2.5 -> 3
    EXPECT_EQ(InvalidParameter, GdipTransformMatrixPointsI(m, points, 0));
    EXPECT_EQ(InvalidParameter, GdipTransformMatrixPointsI(m, nullptr, 1));
    GdipDeleteMatrix(m);
}

TEST(Matrix, WrapperKeepsTheLastFailure)
{
    Matrix m(1, 2, 2, 4, 0, 0);
    EXPECT_EQ(InvalidParameter, m.Invert());
    EXPECT_EQ(InvalidParameter, m.GetLastStatus());
    EXPECT_EQ(Ok, m.GetLastStatus());  // reading it resets it
}

}  // namespace
