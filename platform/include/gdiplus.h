// GDI+: the flat API and thin C++ wrappers over it in the manner of GDI+'s own headers
// (namespace Gdiplus; each object holds its native handle and the last status).
#pragma once

#include "gdiplusflat.h"
#include "gdiplusinit.h"

namespace Gdiplus {

class Graphics;

// Every wrapper keeps the status of its last failing call until GetLastStatus reads it.
class StatusHolder {
public:
    Status GetLastStatus() const
    {
        const Status status = lastResult;
        lastResult = Ok;
        return status;
    }

protected:
    Status SetStatus(Status status) const { return status == Ok ? status : (lastResult = status); }

    mutable Status lastResult = Ok;
};

// ---- Matrix ------------------------------------------------------------------------------

class Matrix : public StatusHolder {
public:
    Matrix() { lastResult = DllExports::GdipCreateMatrix(&nativeMatrix); }
    Matrix(REAL m11, REAL m12, REAL m21, REAL m22, REAL dx, REAL dy)
    {
        lastResult = DllExports::GdipCreateMatrix2(m11, m12, m21, m22, dx, dy, &nativeMatrix);
    }
    ~Matrix() { DllExports::GdipDeleteMatrix(nativeMatrix); }
    Matrix(const Matrix&) = delete;
    Matrix& operator=(const Matrix&) = delete;

    Matrix* Clone() const
    {
        GpMatrix* clone = nullptr;
        lastResult = DllExports::GdipCloneMatrix(nativeMatrix, &clone);
        return lastResult == Ok ? new Matrix(clone) : nullptr;
    }
    Status GetElements(REAL* m) const { return SetStatus(DllExports::GdipGetMatrixElements(nativeMatrix, m)); }
    Status SetElements(REAL m11, REAL m12, REAL m21, REAL m22, REAL dx, REAL dy)
    {
        return SetStatus(DllExports::GdipSetMatrixElements(nativeMatrix, m11, m12, m21, m22, dx, dy));
    }
    REAL OffsetX() const
    {
        REAL m[6] = {};
        GetElements(m);
        return m[4];
    }
    REAL OffsetY() const
    {
        REAL m[6] = {};
        GetElements(m);
        return m[5];
    }
    Status Reset() { return SetElements(1, 0, 0, 1, 0, 0); }
    Status Multiply(const Matrix* matrix, MatrixOrder order = MatrixOrderPrepend)
    {
        return SetStatus(DllExports::GdipMultiplyMatrix(nativeMatrix, matrix ? matrix->nativeMatrix : nullptr, order));
    }
    Status Translate(REAL offsetX, REAL offsetY, MatrixOrder order = MatrixOrderPrepend)
    {
        return SetStatus(DllExports::GdipTranslateMatrix(nativeMatrix, offsetX, offsetY, order));
    }
    Status Scale(REAL scaleX, REAL scaleY, MatrixOrder order = MatrixOrderPrepend)
    {
        return SetStatus(DllExports::GdipScaleMatrix(nativeMatrix, scaleX, scaleY, order));
    }
    Status Rotate(REAL angle, MatrixOrder order = MatrixOrderPrepend)
    {
        return SetStatus(DllExports::GdipRotateMatrix(nativeMatrix, angle, order));
    }
    Status Invert() { return SetStatus(DllExports::GdipInvertMatrix(nativeMatrix)); }
    Status TransformPoints(PointF* pts, INT count = 1)
    {
        return SetStatus(DllExports::GdipTransformMatrixPoints(nativeMatrix, pts, count));
    }
    Status TransformPoints(Point* pts, INT count = 1)
    {
        return SetStatus(DllExports::GdipTransformMatrixPointsI(nativeMatrix, pts, count));
    }
    BOOL IsIdentity() const
    {
        BOOL result = FALSE;
        SetStatus(DllExports::GdipIsMatrixIdentity(nativeMatrix, &result));
        return result;
    }
    BOOL Equals(const Matrix* matrix) const
    {
        BOOL result = FALSE;
        SetStatus(DllExports::GdipIsMatrixEqual(nativeMatrix, matrix ? matrix->nativeMatrix : nullptr, &result));
        return result;
    }

private:
    friend class Graphics;
    explicit Matrix(GpMatrix* native) : nativeMatrix(native) {}

    GpMatrix* nativeMatrix = nullptr;
};

// ---- Region ------------------------------------------------------------------------------

class Region : public StatusHolder {
public:
    Region() { lastResult = DllExports::GdipCreateRegion(&nativeRegion); }
    explicit Region(const RectF& rect) { lastResult = DllExports::GdipCreateRegionRect(&rect, &nativeRegion); }
    explicit Region(const Rect& rect) { lastResult = DllExports::GdipCreateRegionRectI(&rect, &nativeRegion); }
    ~Region() { DllExports::GdipDeleteRegion(nativeRegion); }
    Region(const Region&) = delete;
    Region& operator=(const Region&) = delete;

    Region* Clone() const
    {
        GpRegion* clone = nullptr;
        lastResult = DllExports::GdipCloneRegion(nativeRegion, &clone);
        return lastResult == Ok ? new Region(clone) : nullptr;
    }
    Status MakeInfinite() { return SetStatus(DllExports::GdipSetInfinite(nativeRegion)); }
    Status MakeEmpty() { return SetStatus(DllExports::GdipSetEmpty(nativeRegion)); }
    Status Intersect(const Rect& rect) { return CombineI(rect, CombineModeIntersect); }
    Status Intersect(const RectF& rect) { return Combine(rect, CombineModeIntersect); }
    Status Intersect(const Region* region) { return Combine(region, CombineModeIntersect); }
    Status Union(const Rect& rect) { return CombineI(rect, CombineModeUnion); }
    Status Union(const RectF& rect) { return Combine(rect, CombineModeUnion); }
    Status Union(const Region* region) { return Combine(region, CombineModeUnion); }
    Status Xor(const Rect& rect) { return CombineI(rect, CombineModeXor); }
    Status Xor(const RectF& rect) { return Combine(rect, CombineModeXor); }
    Status Xor(const Region* region) { return Combine(region, CombineModeXor); }
    Status Exclude(const Rect& rect) { return CombineI(rect, CombineModeExclude); }
    Status Exclude(const RectF& rect) { return Combine(rect, CombineModeExclude); }
    Status Exclude(const Region* region) { return Combine(region, CombineModeExclude); }
    Status Complement(const Rect& rect) { return CombineI(rect, CombineModeComplement); }
    Status Complement(const RectF& rect) { return Combine(rect, CombineModeComplement); }
    Status Complement(const Region* region) { return Combine(region, CombineModeComplement); }
    BOOL IsVisible(REAL x, REAL y, const Graphics* g = nullptr) const;
    BOOL IsVisible(INT x, INT y, const Graphics* g = nullptr) const { return IsVisible(REAL(x), REAL(y), g); }
    BOOL IsEmpty(const Graphics* g) const;
    Status GetBounds(RectF* rect, const Graphics* g) const;

private:
    friend class Graphics;
    explicit Region(GpRegion* native) : nativeRegion(native) {}
    Status CombineI(const Rect& rect, CombineMode mode)
    {
        return SetStatus(DllExports::GdipCombineRegionRectI(nativeRegion, &rect, mode));
    }
    Status Combine(const RectF& rect, CombineMode mode)
    {
        return SetStatus(DllExports::GdipCombineRegionRect(nativeRegion, &rect, mode));
    }
    Status Combine(const Region* region, CombineMode mode)
    {
        return SetStatus(DllExports::GdipCombineRegionRegion(nativeRegion, region ? region->nativeRegion : nullptr, mode));
    }

    GpRegion* nativeRegion = nullptr;
};

// ---- Brushes and pens ----------------------------------------------------------------------

class Brush : public StatusHolder {
public:
    virtual ~Brush() { DllExports::GdipDeleteBrush(nativeBrush); }
    Brush(const Brush&) = delete;
    Brush& operator=(const Brush&) = delete;

protected:
    Brush() = default;

    friend class Graphics;
    GpBrush* nativeBrush = nullptr;
};

class SolidBrush : public Brush {
public:
    explicit SolidBrush(const Color& color)
    {
        GpSolidFill* brush = nullptr;
        lastResult = DllExports::GdipCreateSolidFill(color.GetValue(), &brush);
        nativeBrush = brush;
    }
    Status GetColor(Color* color) const
    {
        if (!color)
            return SetStatus(InvalidParameter);
        ARGB argb = 0;
        const Status status = SetStatus(DllExports::GdipGetSolidFillColor(static_cast<GpSolidFill*>(nativeBrush), &argb));
        color->SetValue(argb);
        return status;
    }
    Status SetColor(const Color& color)
    {
        return SetStatus(DllExports::GdipSetSolidFillColor(static_cast<GpSolidFill*>(nativeBrush), color.GetValue()));
    }
};

class Pen : public StatusHolder {
public:
    Pen(const Color& color, REAL width = 1.0f)
    {
        lastResult = DllExports::GdipCreatePen1(color.GetValue(), width, UnitWorld, &nativePen);
    }
    ~Pen() { DllExports::GdipDeletePen(nativePen); }
    Pen(const Pen&) = delete;
    Pen& operator=(const Pen&) = delete;

    Status SetStartCap(LineCap cap) { return SetStatus(DllExports::GdipSetPenStartCap(nativePen, cap)); }
    Status SetEndCap(LineCap cap) { return SetStatus(DllExports::GdipSetPenEndCap(nativePen, cap)); }
    Status SetLineCap(LineCap startCap, LineCap endCap, DashCap dashCap)
    {
        return SetStatus(DllExports::GdipSetPenLineCap197819(nativePen, startCap, endCap, dashCap));
    }
    LineCap GetStartCap() const
    {
        LineCap cap = LineCapFlat;
        SetStatus(DllExports::GdipGetPenStartCap(nativePen, &cap));
        return cap;
    }
    LineCap GetEndCap() const
    {
        LineCap cap = LineCapFlat;
        SetStatus(DllExports::GdipGetPenEndCap(nativePen, &cap));
        return cap;
    }
    REAL GetWidth() const
    {
        REAL width = 0;
        SetStatus(DllExports::GdipGetPenWidth(nativePen, &width));
        return width;
    }
    Status GetColor(Color* color) const
    {
        if (!color)
            return SetStatus(InvalidParameter);
        ARGB argb = 0;
        const Status status = SetStatus(DllExports::GdipGetPenColor(nativePen, &argb));
        color->SetValue(argb);
        return status;
    }

private:
    friend class Graphics;

    GpPen* nativePen = nullptr;
};

// ---- Image attributes ------------------------------------------------------------------------

class ImageAttributes : public StatusHolder {
public:
    ImageAttributes() { lastResult = DllExports::GdipCreateImageAttributes(&nativeImageAttr); }
    ~ImageAttributes() { DllExports::GdipDisposeImageAttributes(nativeImageAttr); }
    ImageAttributes(const ImageAttributes&) = delete;
    ImageAttributes& operator=(const ImageAttributes&) = delete;

    Status SetColorMatrix(const ColorMatrix* colorMatrix, ColorMatrixFlags mode = ColorMatrixFlagsDefault,
                          ColorAdjustType type = ColorAdjustTypeDefault)
    {
        return SetStatus(
            DllExports::GdipSetImageAttributesColorMatrix(nativeImageAttr, type, TRUE, colorMatrix, nullptr, mode));
    }
    Status ClearColorMatrix(ColorAdjustType type = ColorAdjustTypeDefault)
    {
        return SetStatus(DllExports::GdipSetImageAttributesColorMatrix(nativeImageAttr, type, FALSE, nullptr,
                                                                       nullptr, ColorMatrixFlagsDefault));
    }
    Status SetThreshold(REAL threshold, ColorAdjustType type = ColorAdjustTypeDefault)
    {
        return SetStatus(DllExports::GdipSetImageAttributesThreshold(nativeImageAttr, type, TRUE, threshold));
    }
    Status ClearThreshold(ColorAdjustType type = ColorAdjustTypeDefault)
    {
        return SetStatus(DllExports::GdipSetImageAttributesThreshold(nativeImageAttr, type, FALSE, 0.0f));
    }

private:
    friend class Graphics;

    GpImageAttributes* nativeImageAttr = nullptr;
};

// ---- Images and bitmaps -----------------------------------------------------------------------

class Image : public StatusHolder {
public:
    virtual ~Image() { DllExports::GdipDisposeImage(nativeImage); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    static Image* FromFile(const WCHAR* filename, BOOL useEmbeddedColorManagement = FALSE);
    static Image* FromStream(IStream* stream, BOOL useEmbeddedColorManagement = FALSE);

    // A failed image has no native object: its size reads as 0 x 0, as with GDI+.
    UINT GetWidth() const
    {
        UINT width = 0;
        SetStatus(DllExports::GdipGetImageWidth(nativeImage, &width));
        return width;
    }
    UINT GetHeight() const
    {
        UINT height = 0;
        SetStatus(DllExports::GdipGetImageHeight(nativeImage, &height));
        return height;
    }
    PixelFormat GetPixelFormat() const
    {
        PixelFormat format = PixelFormatUndefined;
        SetStatus(DllExports::GdipGetImagePixelFormat(nativeImage, &format));
        return format;
    }
    REAL GetHorizontalResolution() const
    {
        REAL resolution = 0;
        SetStatus(DllExports::GdipGetImageHorizontalResolution(nativeImage, &resolution));
        return resolution;
    }
    REAL GetVerticalResolution() const
    {
        REAL resolution = 0;
        SetStatus(DllExports::GdipGetImageVerticalResolution(nativeImage, &resolution));
        return resolution;
    }
    ImageType GetType() const
    {
        ImageType type = ImageTypeUnknown;
        SetStatus(DllExports::GdipGetImageType(nativeImage, &type));
        return type;
    }
    Status RotateFlip(RotateFlipType rotateFlipType)
    {
        return SetStatus(DllExports::GdipImageRotateFlip(nativeImage, rotateFlipType));
    }
    Image* Clone() const
    {
        GpImage* clone = nullptr;
        SetStatus(DllExports::GdipCloneImage(nativeImage, &clone));
        return new Image(clone, lastResult);
    }

protected:
    Image() = default;
    Image(GpImage* native, Status status) : nativeImage(native) { lastResult = status; }

    friend class Graphics;
    GpImage* nativeImage = nullptr;
};

class Bitmap : public Image {
public:
    Bitmap(const WCHAR* filename, BOOL useIcm = FALSE)
    {
        GpBitmap* bitmap = nullptr;
        lastResult = useIcm ? DllExports::GdipCreateBitmapFromFileICM(filename, &bitmap)
                            : DllExports::GdipCreateBitmapFromFile(filename, &bitmap);
        nativeImage = bitmap;
    }
    Bitmap(IStream* stream, BOOL useIcm = FALSE)
    {
        GpBitmap* bitmap = nullptr;
        lastResult = useIcm ? DllExports::GdipCreateBitmapFromStreamICM(stream, &bitmap)
                            : DllExports::GdipCreateBitmapFromStream(stream, &bitmap);
        nativeImage = bitmap;
    }
    Bitmap(INT width, INT height, PixelFormat format = PixelFormat32bppARGB)
    {
        GpBitmap* bitmap = nullptr;
        lastResult = DllExports::GdipCreateBitmapFromScan0(width, height, 0, format, nullptr, &bitmap);
        nativeImage = bitmap;
    }
    Bitmap(INT width, INT height, INT stride, PixelFormat format, BYTE* scan0)
    {
        GpBitmap* bitmap = nullptr;
        lastResult = DllExports::GdipCreateBitmapFromScan0(width, height, stride, format, scan0, &bitmap);
        nativeImage = bitmap;
    }

    static Bitmap* FromFile(const WCHAR* filename, BOOL useIcm = FALSE) { return new Bitmap(filename, useIcm); }
    static Bitmap* FromStream(IStream* stream, BOOL useIcm = FALSE) { return new Bitmap(stream, useIcm); }

    Bitmap* Clone(const Rect& rect, PixelFormat format) const
    {
        return Clone(rect.X, rect.Y, rect.Width, rect.Height, format);
    }
    Bitmap* Clone(INT x, INT y, INT width, INT height, PixelFormat format) const
    {
        GpBitmap* clone = nullptr;
        const Status status = SetStatus(
            DllExports::GdipCloneBitmapAreaI(x, y, width, height, format, static_cast<GpBitmap*>(nativeImage), &clone));
        return new Bitmap(clone, status);
    }
    Bitmap* Clone(const RectF& rect, PixelFormat format) const
    {
        GpBitmap* clone = nullptr;
        const Status status = SetStatus(DllExports::GdipCloneBitmapArea(
            rect.X, rect.Y, rect.Width, rect.Height, format, static_cast<GpBitmap*>(nativeImage), &clone));
        return new Bitmap(clone, status);
    }
    Status LockBits(const Rect* rect, UINT flags, PixelFormat format, BitmapData* lockedBitmapData)
    {
        return SetStatus(DllExports::GdipBitmapLockBits(static_cast<GpBitmap*>(nativeImage), rect, flags, format,
                                                        lockedBitmapData));
    }
    Status UnlockBits(BitmapData* lockedBitmapData)
    {
        return SetStatus(DllExports::GdipBitmapUnlockBits(static_cast<GpBitmap*>(nativeImage), lockedBitmapData));
    }
    Status GetPixel(INT x, INT y, Color* color)
    {
        if (!color)
            return SetStatus(InvalidParameter);
        ARGB argb = 0;
        const Status status = SetStatus(DllExports::GdipBitmapGetPixel(static_cast<GpBitmap*>(nativeImage), x, y, &argb));
        if (status == Ok)
            color->SetValue(argb);
        return status;
    }
    Status SetPixel(INT x, INT y, const Color& color)
    {
        return SetStatus(DllExports::GdipBitmapSetPixel(static_cast<GpBitmap*>(nativeImage), x, y, color.GetValue()));
    }
    Status SetResolution(REAL xdpi, REAL ydpi)
    {
        return SetStatus(DllExports::GdipBitmapSetResolution(static_cast<GpBitmap*>(nativeImage), xdpi, ydpi));
    }

private:
    Bitmap(GpBitmap* native, Status status) : Image(native, status) {}
};

inline Image* Image::FromFile(const WCHAR* filename, BOOL useEmbeddedColorManagement)
{
    return new Bitmap(filename, useEmbeddedColorManagement);
}

inline Image* Image::FromStream(IStream* stream, BOOL useEmbeddedColorManagement)
{
    return new Bitmap(stream, useEmbeddedColorManagement);
}

// ---- Graphics ----------------------------------------------------------------------------------

class Graphics : public StatusHolder {
public:
    explicit Graphics(HDC hdc) { lastResult = DllExports::GdipCreateFromHDC(hdc, &nativeGraphics); }
    explicit Graphics(Image* image)
    {
        lastResult = DllExports::GdipGetImageGraphicsContext(image ? image->nativeImage : nullptr, &nativeGraphics);
    }
    ~Graphics() { DllExports::GdipDeleteGraphics(nativeGraphics); }
    Graphics(const Graphics&) = delete;
    Graphics& operator=(const Graphics&) = delete;

    static Graphics* FromHDC(HDC hdc) { return new Graphics(hdc); }
    static Graphics* FromImage(Image* image) { return new Graphics(image); }

    Status SetInterpolationMode(InterpolationMode mode)
    {
        return SetStatus(DllExports::GdipSetInterpolationMode(nativeGraphics, mode));
    }
    InterpolationMode GetInterpolationMode() const
    {
        InterpolationMode mode = InterpolationModeInvalid;
        SetStatus(DllExports::GdipGetInterpolationMode(nativeGraphics, &mode));
        return mode;
    }
    Status SetSmoothingMode(SmoothingMode mode) { return SetStatus(DllExports::GdipSetSmoothingMode(nativeGraphics, mode)); }
    SmoothingMode GetSmoothingMode() const
    {
        SmoothingMode mode = SmoothingModeInvalid;
        SetStatus(DllExports::GdipGetSmoothingMode(nativeGraphics, &mode));
        return mode;
    }
    Status SetPixelOffsetMode(PixelOffsetMode mode)
    {
        return SetStatus(DllExports::GdipSetPixelOffsetMode(nativeGraphics, mode));
    }
    Status SetCompositingMode(CompositingMode mode)
    {
        return SetStatus(DllExports::GdipSetCompositingMode(nativeGraphics, mode));
    }
    Status SetCompositingQuality(CompositingQuality quality)
    {
        return SetStatus(DllExports::GdipSetCompositingQuality(nativeGraphics, quality));
    }

    Status SetTransform(const Matrix* matrix)
    {
        return SetStatus(DllExports::GdipSetWorldTransform(nativeGraphics, matrix ? matrix->nativeMatrix : nullptr));
    }
    Status GetTransform(Matrix* matrix) const
    {
        return SetStatus(DllExports::GdipGetWorldTransform(nativeGraphics, matrix ? matrix->nativeMatrix : nullptr));
    }
    Status ResetTransform() { return SetStatus(DllExports::GdipResetWorldTransform(nativeGraphics)); }
    Status MultiplyTransform(const Matrix* matrix, MatrixOrder order = MatrixOrderPrepend)
    {
        return SetStatus(
            DllExports::GdipMultiplyWorldTransform(nativeGraphics, matrix ? matrix->nativeMatrix : nullptr, order));
    }
    Status TranslateTransform(REAL dx, REAL dy, MatrixOrder order = MatrixOrderPrepend)
    {
        return SetStatus(DllExports::GdipTranslateWorldTransform(nativeGraphics, dx, dy, order));
    }
    Status ScaleTransform(REAL sx, REAL sy, MatrixOrder order = MatrixOrderPrepend)
    {
        return SetStatus(DllExports::GdipScaleWorldTransform(nativeGraphics, sx, sy, order));
    }
    Status RotateTransform(REAL angle, MatrixOrder order = MatrixOrderPrepend)
    {
        return SetStatus(DllExports::GdipRotateWorldTransform(nativeGraphics, angle, order));
    }

    Status SetClip(const Rect& rect, CombineMode mode = CombineModeReplace)
    {
        return SetStatus(DllExports::GdipSetClipRectI(nativeGraphics, rect.X, rect.Y, rect.Width, rect.Height, mode));
    }
    Status SetClip(const RectF& rect, CombineMode mode = CombineModeReplace)
    {
        return SetStatus(DllExports::GdipSetClipRect(nativeGraphics, rect.X, rect.Y, rect.Width, rect.Height, mode));
    }
    Status SetClip(const Region* region, CombineMode mode = CombineModeReplace)
    {
        return SetStatus(DllExports::GdipSetClipRegion(nativeGraphics, region ? region->nativeRegion : nullptr, mode));
    }
    Status IntersectClip(const Rect& rect) { return SetClip(rect, CombineModeIntersect); }
    Status IntersectClip(const RectF& rect) { return SetClip(rect, CombineModeIntersect); }
    Status IntersectClip(const Region* region) { return SetClip(region, CombineModeIntersect); }
    Status ExcludeClip(const Rect& rect) { return SetClip(rect, CombineModeExclude); }
    Status ExcludeClip(const RectF& rect) { return SetClip(rect, CombineModeExclude); }
    Status ExcludeClip(const Region* region) { return SetClip(region, CombineModeExclude); }
    Status ResetClip() { return SetStatus(DllExports::GdipResetClip(nativeGraphics)); }
    Status GetClip(Region* region) const
    {
        return SetStatus(DllExports::GdipGetClip(nativeGraphics, region ? region->nativeRegion : nullptr));
    }

    Status Clear(const Color& color) { return SetStatus(DllExports::GdipGraphicsClear(nativeGraphics, color.GetValue())); }
    Status FillRectangle(const Brush* brush, const Rect& rect)
    {
        return FillRectangle(brush, rect.X, rect.Y, rect.Width, rect.Height);
    }
    Status FillRectangle(const Brush* brush, INT x, INT y, INT width, INT height)
    {
        return SetStatus(
            DllExports::GdipFillRectangleI(nativeGraphics, brush ? brush->nativeBrush : nullptr, x, y, width, height));
    }
    Status FillRectangle(const Brush* brush, const RectF& rect)
    {
        return FillRectangle(brush, rect.X, rect.Y, rect.Width, rect.Height);
    }
    Status FillRectangle(const Brush* brush, REAL x, REAL y, REAL width, REAL height)
    {
        return SetStatus(
            DllExports::GdipFillRectangle(nativeGraphics, brush ? brush->nativeBrush : nullptr, x, y, width, height));
    }
    Status DrawLine(const Pen* pen, INT x1, INT y1, INT x2, INT y2)
    {
        return SetStatus(DllExports::GdipDrawLineI(nativeGraphics, pen ? pen->nativePen : nullptr, x1, y1, x2, y2));
    }
    Status DrawLine(const Pen* pen, REAL x1, REAL y1, REAL x2, REAL y2)
    {
        return SetStatus(DllExports::GdipDrawLine(nativeGraphics, pen ? pen->nativePen : nullptr, x1, y1, x2, y2));
    }
    Status DrawLine(const Pen* pen, const Point& p1, const Point& p2) { return DrawLine(pen, p1.X, p1.Y, p2.X, p2.Y); }
    Status DrawLine(const Pen* pen, const PointF& p1, const PointF& p2) { return DrawLine(pen, p1.X, p1.Y, p2.X, p2.Y); }

    Status DrawImage(Image* image, INT x, INT y)
    {
        return SetStatus(DllExports::GdipDrawImageI(nativeGraphics, NativeOf(image), x, y));
    }
    Status DrawImage(Image* image, REAL x, REAL y)
    {
        return SetStatus(DllExports::GdipDrawImage(nativeGraphics, NativeOf(image), x, y));
    }
    Status DrawImage(Image* image, INT x, INT y, INT width, INT height)
    {
        return SetStatus(DllExports::GdipDrawImageRectI(nativeGraphics, NativeOf(image), x, y, width, height));
    }
    Status DrawImage(Image* image, REAL x, REAL y, REAL width, REAL height)
    {
        return SetStatus(DllExports::GdipDrawImageRect(nativeGraphics, NativeOf(image), x, y, width, height));
    }
    Status DrawImage(Image* image, const Rect& rect) { return DrawImage(image, rect.X, rect.Y, rect.Width, rect.Height); }
    Status DrawImage(Image* image, const RectF& rect) { return DrawImage(image, rect.X, rect.Y, rect.Width, rect.Height); }
    Status DrawImage(Image* image, const Rect& dest, INT srcx, INT srcy, INT srcwidth, INT srcheight, Unit srcUnit,
                     const ImageAttributes* attributes = nullptr, DrawImageAbort callback = nullptr,
                     VOID* callbackData = nullptr)
    {
        return SetStatus(DllExports::GdipDrawImageRectRectI(
            nativeGraphics, NativeOf(image), dest.X, dest.Y, dest.Width, dest.Height, srcx, srcy, srcwidth, srcheight,
            srcUnit, attributes ? attributes->nativeImageAttr : nullptr, callback, callbackData));
    }
    Status DrawImage(Image* image, const RectF& dest, REAL srcx, REAL srcy, REAL srcwidth, REAL srcheight,
                     Unit srcUnit, const ImageAttributes* attributes = nullptr, DrawImageAbort callback = nullptr,
                     VOID* callbackData = nullptr)
    {
        return SetStatus(DllExports::GdipDrawImageRectRect(
            nativeGraphics, NativeOf(image), dest.X, dest.Y, dest.Width, dest.Height, srcx, srcy, srcwidth, srcheight,
            srcUnit, attributes ? attributes->nativeImageAttr : nullptr, callback, callbackData));
    }


private:
    friend class Region;
    static GpImage* NativeOf(Image* image) { return image ? image->nativeImage : nullptr; }

    GpGraphics* nativeGraphics = nullptr;
};

inline BOOL Region::IsVisible(REAL x, REAL y, const Graphics* g) const
{
    BOOL result = FALSE;
    SetStatus(DllExports::GdipIsVisibleRegionPoint(nativeRegion, x, y, g ? g->nativeGraphics : nullptr, &result));
    return result;
}

inline BOOL Region::IsEmpty(const Graphics* g) const
{
    BOOL result = FALSE;
    SetStatus(DllExports::GdipIsEmptyRegion(nativeRegion, g ? g->nativeGraphics : nullptr, &result));
    return result;
}

inline Status Region::GetBounds(RectF* rect, const Graphics* g) const
{
    return SetStatus(DllExports::GdipGetRegionBounds(nativeRegion, g ? g->nativeGraphics : nullptr, rect));
}

}  // namespace Gdiplus
