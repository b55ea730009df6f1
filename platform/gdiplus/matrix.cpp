// Matrices: the 3 x 2 affine transforms of GDI+ and their flat API.
#include "gdiplus_private.h"

#include <cmath>

namespace qor::gdiplus {

Affine Multiply(const Affine& a, const Affine& b)
{
    Affine r;
    r.m11 = REAL(double(a.m11) * b.m11 + double(a.m12) * b.m21);
    r.m12 = REAL(double(a.m11) * b.m12 + double(a.m12) * b.m22);
    r.m21 = REAL(double(a.m21) * b.m11 + double(a.m22) * b.m21);
    r.m22 = REAL(double(a.m21) * b.m12 + double(a.m22) * b.m22);
    r.dx = REAL(double(a.dx) * b.m11 + double(a.dy) * b.m21 + b.dx);
    r.dy = REAL(double(a.dx) * b.m12 + double(a.dy) * b.m22 + b.dy);
    return r;
}

// Prepend: the operation acts first (op x m); append: it acts last (m x op).
Affine Combine(const Affine& m, const Affine& op, MatrixOrder order)
{
    return order == MatrixOrderAppend ? Multiply(m, op) : Multiply(op, m);
}

Affine TranslationOf(REAL dx, REAL dy)
{
    Affine t;
    t.dx = dx;
    t.dy = dy;
    return t;
}

Affine ScalingOf(REAL sx, REAL sy)
{
    Affine s;
    s.m11 = sx;
    s.m22 = sy;
    return s;
}

Affine RotationOf(REAL degrees)
{
    // Quarter turns come out exact, as GDI+'s do, so that orientation matrices stay integral.
    const double turns = double(degrees) / 90.0;
    double c, s;
    if (turns == std::floor(turns)) {
        static const int kCos[4] = {1, 0, -1, 0};
        const int q = int(std::fmod(std::fmod(turns, 4.0) + 4.0, 4.0));
        c = kCos[q];
        s = kCos[(q + 3) % 4];
    } else {
        const double radians = double(degrees) * 3.14159265358979323846 / 180.0;
        c = std::cos(radians);
        s = std::sin(radians);
    }
    Affine r;
    r.m11 = REAL(c);
    r.m12 = REAL(s);
    r.m21 = REAL(-s);
    r.m22 = REAL(c);
    return r;
}

namespace {

bool IsValidOrder(MatrixOrder order) { return order == MatrixOrderPrepend || order == MatrixOrderAppend; }

}  // namespace
}  // namespace qor::gdiplus

namespace Gdiplus::DllExports {

using namespace qor::gdiplus;

GpStatus WINAPI GdipCreateMatrix(GpMatrix** matrix)
{
    if (!matrix)
        return InvalidParameter;
    *matrix = new (std::nothrow) MatrixObject;
    return *matrix ? Ok : OutOfMemory;
}

GpStatus WINAPI GdipCreateMatrix2(REAL m11, REAL m12, REAL m21, REAL m22, REAL dx, REAL dy, GpMatrix** matrix)
{
    if (!matrix)
        return InvalidParameter;
    auto* m = new (std::nothrow) MatrixObject;
    if (!m)
        return OutOfMemory;
    m->m = Affine{m11, m12, m21, m22, dx, dy};
    *matrix = m;
    return Ok;
}

GpStatus WINAPI GdipCloneMatrix(GpMatrix* matrix, GpMatrix** cloneMatrix)
{
    if (!matrix || !cloneMatrix)
        return InvalidParameter;
    auto* m = new (std::nothrow) MatrixObject(*ToMatrix(matrix));
    *cloneMatrix = m;
    return m ? Ok : OutOfMemory;
}

GpStatus WINAPI GdipDeleteMatrix(GpMatrix* matrix)
{
    if (!matrix)
        return InvalidParameter;
    delete ToMatrix(matrix);
    return Ok;
}

GpStatus WINAPI GdipSetMatrixElements(GpMatrix* matrix, REAL m11, REAL m12, REAL m21, REAL m22, REAL dx, REAL dy)
{
    if (!matrix)
        return InvalidParameter;
    ToMatrix(matrix)->m = Affine{m11, m12, m21, m22, dx, dy};
    return Ok;
}

GpStatus WINAPI GdipGetMatrixElements(const GpMatrix* matrix, REAL* matrixOut)
{
    if (!matrix || !matrixOut)
        return InvalidParameter;
    const Affine& m = ToMatrix(matrix)->m;
    const REAL elements[6] = {m.m11, m.m12, m.m21, m.m22, m.dx, m.dy};
    for (int i = 0; i < 6; ++i)
        matrixOut[i] = elements[i];
    return Ok;
}

GpStatus WINAPI GdipMultiplyMatrix(GpMatrix* matrix, GpMatrix* matrix2, GpMatrixOrder order)
{
    if (!matrix || !matrix2 || !IsValidOrder(order))
        return InvalidParameter;
    ToMatrix(matrix)->m = Combine(ToMatrix(matrix)->m, ToMatrix(matrix2)->m, order);
    return Ok;
}

GpStatus WINAPI GdipTranslateMatrix(GpMatrix* matrix, REAL offsetX, REAL offsetY, GpMatrixOrder order)
{
    if (!matrix || !IsValidOrder(order))
        return InvalidParameter;
    ToMatrix(matrix)->m = Combine(ToMatrix(matrix)->m, TranslationOf(offsetX, offsetY), order);
    return Ok;
}

GpStatus WINAPI GdipScaleMatrix(GpMatrix* matrix, REAL scaleX, REAL scaleY, GpMatrixOrder order)
{
    if (!matrix || !IsValidOrder(order))
        return InvalidParameter;
    ToMatrix(matrix)->m = Combine(ToMatrix(matrix)->m, ScalingOf(scaleX, scaleY), order);
    return Ok;
}

GpStatus WINAPI GdipRotateMatrix(GpMatrix* matrix, REAL angle, GpMatrixOrder order)
{
    if (!matrix || !IsValidOrder(order))
        return InvalidParameter;
    ToMatrix(matrix)->m = Combine(ToMatrix(matrix)->m, RotationOf(angle), order);
    return Ok;
}

GpStatus WINAPI GdipInvertMatrix(GpMatrix* matrix)
{
    if (!matrix)
        return InvalidParameter;
    Affine& m = ToMatrix(matrix)->m;
    const double det = double(m.m11) * m.m22 - double(m.m12) * m.m21;
    if (det == 0 || !std::isfinite(det))
        return InvalidParameter;  // GDI+'s answer for a singular matrix; the matrix stays as it was
    Affine r;
    r.m11 = REAL(m.m22 / det);
    r.m12 = REAL(-m.m12 / det);
    r.m21 = REAL(-m.m21 / det);
    r.m22 = REAL(m.m11 / det);
    r.dx = REAL((double(m.m21) * m.dy - double(m.m22) * m.dx) / det);
    r.dy = REAL((double(m.m12) * m.dx - double(m.m11) * m.dy) / det);
    m = r;
    return Ok;
}

GpStatus WINAPI GdipTransformMatrixPoints(GpMatrix* matrix, PointF* pts, INT count)
{
    if (!matrix || !pts || count <= 0)
        return InvalidParameter;
    const Affine& m = ToMatrix(matrix)->m;
    for (INT i = 0; i < count; ++i) {
        double x, y;
        m.Apply(pts[i].X, pts[i].Y, &x, &y);
        pts[i].X = REAL(x);
        pts[i].Y = REAL(y);
    }
    return Ok;
}

GpStatus WINAPI GdipTransformMatrixPointsI(GpMatrix* matrix, Point* pts, INT count)
{
    if (!matrix || !pts || count <= 0)
        return InvalidParameter;
    const Affine& m = ToMatrix(matrix)->m;
    for (INT i = 0; i < count; ++i) {
        double x, y;
        m.Apply(pts[i].X, pts[i].Y, &x, &y);
        // Results round to the nearest integer, halves upward (floor(v + 0.5)), computed in
        // single precision as GDI+ does; values beyond INT saturate.
        auto round = [](double v) {
            const double r = std::floor(double(REAL(v)) + 0.5);
            return r >= 2147483647.0 ? INT(2147483647) : r <= -2147483648.0 ? INT(-2147483647 - 1)
                   : std::isnan(r)   ? 0
                                     : INT(r);
        };
        pts[i].X = round(x);
        pts[i].Y = round(y);
    }
    return Ok;
}

GpStatus WINAPI GdipIsMatrixIdentity(const GpMatrix* matrix, BOOL* result)
{
    if (!matrix || !result)
        return InvalidParameter;
    *result = ToMatrix(matrix)->m.IsIdentity() ? TRUE : FALSE;
    return Ok;
}

GpStatus WINAPI GdipIsMatrixEqual(const GpMatrix* matrix, const GpMatrix* matrix2, BOOL* result)
{
    if (!matrix || !matrix2 || !result)
        return InvalidParameter;
    const Affine &a = ToMatrix(matrix)->m, &b = ToMatrix(matrix2)->m;
    *result = (a.m11 == b.m11 && a.m12 == b.m12 && a.m21 == b.m21 && a.m22 == b.m22 && a.dx == b.dx &&
               a.dy == b.dy)
                  ? TRUE
                  : FALSE;
    return Ok;
}

}  // namespace Gdiplus::DllExports
