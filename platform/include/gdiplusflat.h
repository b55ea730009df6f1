// The GDI+ flat API: C linkage, Win32 names and signatures, Status results.
#pragma once

#include "objidl.h"
#include "gdiplustypes.h"
#include "gdiplusenums.h"
#include "gdipluspixelformats.h"
#include "gdipluscolor.h"
#include "gdipluscolormatrix.h"
#include "gdiplusimaging.h"

namespace Gdiplus {

// Opaque objects of the flat API. Bitmaps are images and solid fills are brushes, so the
// pointers convert as they do with GDI+'s own headers.
class GpGraphics {};
class GpImage {};
class GpBitmap : public GpImage {};
class GpBrush {};
class GpSolidFill : public GpBrush {};
class GpPen {};
class GpMatrix {};
class GpRegion {};
class GpImageAttributes {};

typedef Status GpStatus;
typedef Unit GpUnit;
typedef MatrixOrder GpMatrixOrder;
typedef LineCap GpLineCap;
typedef DashCap GpDashCap;
typedef BOOL(CALLBACK* DrawImageAbort)(void* data);

namespace DllExports {
extern "C" {

// Images and bitmaps
GpStatus WINAPI GdipCreateBitmapFromFile(const WCHAR* filename, GpBitmap** bitmap);
GpStatus WINAPI GdipCreateBitmapFromFileICM(const WCHAR* filename, GpBitmap** bitmap);
GpStatus WINAPI GdipCreateBitmapFromStream(IStream* stream, GpBitmap** bitmap);
GpStatus WINAPI GdipCreateBitmapFromStreamICM(IStream* stream, GpBitmap** bitmap);
GpStatus WINAPI GdipCreateBitmapFromScan0(INT width, INT height, INT stride, PixelFormat format, BYTE* scan0,
                                          GpBitmap** bitmap);
GpStatus WINAPI GdipCloneBitmapAreaI(INT x, INT y, INT width, INT height, PixelFormat format, GpBitmap* srcBitmap,
                                     GpBitmap** dstBitmap);
GpStatus WINAPI GdipCloneBitmapArea(REAL x, REAL y, REAL width, REAL height, PixelFormat format,
                                    GpBitmap* srcBitmap, GpBitmap** dstBitmap);
GpStatus WINAPI GdipCloneImage(GpImage* image, GpImage** cloneImage);
GpStatus WINAPI GdipDisposeImage(GpImage* image);
GpStatus WINAPI GdipGetImageWidth(GpImage* image, UINT* width);
GpStatus WINAPI GdipGetImageHeight(GpImage* image, UINT* height);
GpStatus WINAPI GdipGetImageType(GpImage* image, ImageType* type);
GpStatus WINAPI GdipGetImagePixelFormat(GpImage* image, PixelFormat* format);
GpStatus WINAPI GdipGetImageHorizontalResolution(GpImage* image, REAL* resolution);
GpStatus WINAPI GdipGetImageVerticalResolution(GpImage* image, REAL* resolution);
GpStatus WINAPI GdipBitmapSetResolution(GpBitmap* bitmap, REAL xdpi, REAL ydpi);
GpStatus WINAPI GdipBitmapLockBits(GpBitmap* bitmap, const Rect* rect, UINT flags, PixelFormat format,
                                   BitmapData* lockedBitmapData);
GpStatus WINAPI GdipBitmapUnlockBits(GpBitmap* bitmap, BitmapData* lockedBitmapData);
GpStatus WINAPI GdipBitmapGetPixel(GpBitmap* bitmap, INT x, INT y, ARGB* color);
GpStatus WINAPI GdipBitmapSetPixel(GpBitmap* bitmap, INT x, INT y, ARGB color);
GpStatus WINAPI GdipImageRotateFlip(GpImage* image, RotateFlipType rfType);

// Graphics
GpStatus WINAPI GdipCreateFromHDC(HDC hdc, GpGraphics** graphics);
GpStatus WINAPI GdipGetImageGraphicsContext(GpImage* image, GpGraphics** graphics);
GpStatus WINAPI GdipDeleteGraphics(GpGraphics* graphics);
GpStatus WINAPI GdipSetInterpolationMode(GpGraphics* graphics, InterpolationMode mode);
GpStatus WINAPI GdipGetInterpolationMode(GpGraphics* graphics, InterpolationMode* mode);
GpStatus WINAPI GdipSetSmoothingMode(GpGraphics* graphics, SmoothingMode mode);
GpStatus WINAPI GdipGetSmoothingMode(GpGraphics* graphics, SmoothingMode* mode);
GpStatus WINAPI GdipSetPixelOffsetMode(GpGraphics* graphics, PixelOffsetMode mode);
GpStatus WINAPI GdipGetPixelOffsetMode(GpGraphics* graphics, PixelOffsetMode* mode);
GpStatus WINAPI GdipSetCompositingMode(GpGraphics* graphics, CompositingMode mode);
GpStatus WINAPI GdipGetCompositingMode(GpGraphics* graphics, CompositingMode* mode);
GpStatus WINAPI GdipSetCompositingQuality(GpGraphics* graphics, CompositingQuality quality);
GpStatus WINAPI GdipGetCompositingQuality(GpGraphics* graphics, CompositingQuality* quality);
GpStatus WINAPI GdipSetWorldTransform(GpGraphics* graphics, GpMatrix* matrix);
GpStatus WINAPI GdipGetWorldTransform(GpGraphics* graphics, GpMatrix* matrix);
GpStatus WINAPI GdipResetWorldTransform(GpGraphics* graphics);
GpStatus WINAPI GdipMultiplyWorldTransform(GpGraphics* graphics, const GpMatrix* matrix, GpMatrixOrder order);
GpStatus WINAPI GdipTranslateWorldTransform(GpGraphics* graphics, REAL dx, REAL dy, GpMatrixOrder order);
GpStatus WINAPI GdipScaleWorldTransform(GpGraphics* graphics, REAL sx, REAL sy, GpMatrixOrder order);
GpStatus WINAPI GdipRotateWorldTransform(GpGraphics* graphics, REAL angle, GpMatrixOrder order);
GpStatus WINAPI GdipSetClipRect(GpGraphics* graphics, REAL x, REAL y, REAL width, REAL height, CombineMode mode);
GpStatus WINAPI GdipSetClipRectI(GpGraphics* graphics, INT x, INT y, INT width, INT height, CombineMode mode);
GpStatus WINAPI GdipSetClipRegion(GpGraphics* graphics, GpRegion* region, CombineMode mode);
GpStatus WINAPI GdipResetClip(GpGraphics* graphics);
GpStatus WINAPI GdipGetClip(GpGraphics* graphics, GpRegion* region);
GpStatus WINAPI GdipGraphicsClear(GpGraphics* graphics, ARGB color);
GpStatus WINAPI GdipFillRectangle(GpGraphics* graphics, GpBrush* brush, REAL x, REAL y, REAL width, REAL height);
GpStatus WINAPI GdipFillRectangleI(GpGraphics* graphics, GpBrush* brush, INT x, INT y, INT width, INT height);
GpStatus WINAPI GdipDrawLine(GpGraphics* graphics, GpPen* pen, REAL x1, REAL y1, REAL x2, REAL y2);
GpStatus WINAPI GdipDrawLineI(GpGraphics* graphics, GpPen* pen, INT x1, INT y1, INT x2, INT y2);
GpStatus WINAPI GdipDrawImage(GpGraphics* graphics, GpImage* image, REAL x, REAL y);
GpStatus WINAPI GdipDrawImageI(GpGraphics* graphics, GpImage* image, INT x, INT y);
GpStatus WINAPI GdipDrawImageRect(GpGraphics* graphics, GpImage* image, REAL x, REAL y, REAL width, REAL height);
GpStatus WINAPI GdipDrawImageRectI(GpGraphics* graphics, GpImage* image, INT x, INT y, INT width, INT height);
GpStatus WINAPI GdipDrawImageRectRect(GpGraphics* graphics, GpImage* image, REAL dstx, REAL dsty, REAL dstwidth,
                                      REAL dstheight, REAL srcx, REAL srcy, REAL srcwidth, REAL srcheight,
                                      GpUnit srcUnit, const GpImageAttributes* imageAttributes,
                                      DrawImageAbort callback, VOID* callbackData);
GpStatus WINAPI GdipDrawImageRectRectI(GpGraphics* graphics, GpImage* image, INT dstx, INT dsty, INT dstwidth,
                                       INT dstheight, INT srcx, INT srcy, INT srcwidth, INT srcheight,
                                       GpUnit srcUnit, const GpImageAttributes* imageAttributes,
                                       DrawImageAbort callback, VOID* callbackData);

// Brushes and pens
GpStatus WINAPI GdipCreateSolidFill(ARGB color, GpSolidFill** brush);
GpStatus WINAPI GdipGetSolidFillColor(GpSolidFill* brush, ARGB* color);
GpStatus WINAPI GdipSetSolidFillColor(GpSolidFill* brush, ARGB color);
GpStatus WINAPI GdipCloneBrush(GpBrush* brush, GpBrush** cloneBrush);
GpStatus WINAPI GdipDeleteBrush(GpBrush* brush);
GpStatus WINAPI GdipCreatePen1(ARGB color, REAL width, GpUnit unit, GpPen** pen);
GpStatus WINAPI GdipClonePen(GpPen* pen, GpPen** clonePen);
GpStatus WINAPI GdipDeletePen(GpPen* pen);
GpStatus WINAPI GdipSetPenStartCap(GpPen* pen, GpLineCap startCap);
GpStatus WINAPI GdipSetPenEndCap(GpPen* pen, GpLineCap endCap);
GpStatus WINAPI GdipSetPenLineCap197819(GpPen* pen, GpLineCap startCap, GpLineCap endCap, GpDashCap dashCap);
GpStatus WINAPI GdipGetPenStartCap(GpPen* pen, GpLineCap* startCap);
GpStatus WINAPI GdipGetPenEndCap(GpPen* pen, GpLineCap* endCap);
GpStatus WINAPI GdipGetPenWidth(GpPen* pen, REAL* width);
GpStatus WINAPI GdipGetPenColor(GpPen* pen, ARGB* argb);

// Matrices
GpStatus WINAPI GdipCreateMatrix(GpMatrix** matrix);
GpStatus WINAPI GdipCreateMatrix2(REAL m11, REAL m12, REAL m21, REAL m22, REAL dx, REAL dy, GpMatrix** matrix);
GpStatus WINAPI GdipCloneMatrix(GpMatrix* matrix, GpMatrix** cloneMatrix);
GpStatus WINAPI GdipDeleteMatrix(GpMatrix* matrix);
GpStatus WINAPI GdipSetMatrixElements(GpMatrix* matrix, REAL m11, REAL m12, REAL m21, REAL m22, REAL dx, REAL dy);
GpStatus WINAPI GdipGetMatrixElements(const GpMatrix* matrix, REAL* matrixOut);
GpStatus WINAPI GdipMultiplyMatrix(GpMatrix* matrix, GpMatrix* matrix2, GpMatrixOrder order);
GpStatus WINAPI GdipTranslateMatrix(GpMatrix* matrix, REAL offsetX, REAL offsetY, GpMatrixOrder order);
GpStatus WINAPI GdipScaleMatrix(GpMatrix* matrix, REAL scaleX, REAL scaleY, GpMatrixOrder order);
GpStatus WINAPI GdipRotateMatrix(GpMatrix* matrix, REAL angle, GpMatrixOrder order);
GpStatus WINAPI GdipInvertMatrix(GpMatrix* matrix);
GpStatus WINAPI GdipTransformMatrixPoints(GpMatrix* matrix, PointF* pts, INT count);
GpStatus WINAPI GdipTransformMatrixPointsI(GpMatrix* matrix, Point* pts, INT count);
GpStatus WINAPI GdipIsMatrixIdentity(const GpMatrix* matrix, BOOL* result);
GpStatus WINAPI GdipIsMatrixEqual(const GpMatrix* matrix, const GpMatrix* matrix2, BOOL* result);

// Regions
GpStatus WINAPI GdipCreateRegion(GpRegion** region);
GpStatus WINAPI GdipCreateRegionRect(const RectF* rect, GpRegion** region);
GpStatus WINAPI GdipCreateRegionRectI(const Rect* rect, GpRegion** region);
GpStatus WINAPI GdipCloneRegion(GpRegion* region, GpRegion** cloneRegion);
GpStatus WINAPI GdipDeleteRegion(GpRegion* region);
GpStatus WINAPI GdipSetInfinite(GpRegion* region);
GpStatus WINAPI GdipSetEmpty(GpRegion* region);
GpStatus WINAPI GdipCombineRegionRect(GpRegion* region, const RectF* rect, CombineMode mode);
GpStatus WINAPI GdipCombineRegionRectI(GpRegion* region, const Rect* rect, CombineMode mode);
GpStatus WINAPI GdipCombineRegionRegion(GpRegion* region, GpRegion* region2, CombineMode mode);
GpStatus WINAPI GdipIsVisibleRegionPoint(GpRegion* region, REAL x, REAL y, GpGraphics* graphics, BOOL* result);
GpStatus WINAPI GdipIsVisibleRegionPointI(GpRegion* region, INT x, INT y, GpGraphics* graphics, BOOL* result);
GpStatus WINAPI GdipIsEmptyRegion(GpRegion* region, GpGraphics* graphics, BOOL* result);
GpStatus WINAPI GdipGetRegionBounds(GpRegion* region, GpGraphics* graphics, RectF* rect);

// Image attributes
GpStatus WINAPI GdipCreateImageAttributes(GpImageAttributes** imageattr);
GpStatus WINAPI GdipCloneImageAttributes(const GpImageAttributes* imageattr, GpImageAttributes** cloneImageattr);
GpStatus WINAPI GdipDisposeImageAttributes(GpImageAttributes* imageattr);
GpStatus WINAPI GdipSetImageAttributesColorMatrix(GpImageAttributes* imageattr, ColorAdjustType type,
                                                  BOOL enableFlag, const ColorMatrix* colorMatrix,
                                                  const ColorMatrix* grayMatrix, ColorMatrixFlags flags);
GpStatus WINAPI GdipSetImageAttributesThreshold(GpImageAttributes* imageattr, ColorAdjustType type,
                                                BOOL enableFlag, REAL threshold);

}  // extern "C"
}  // namespace DllExports
}  // namespace Gdiplus
