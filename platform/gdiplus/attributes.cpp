// ImageAttributes: the colour matrix and the threshold applied to each drawn pixel.
#include "gdiplus_private.h"

#include <algorithm>
#include <cmath>

namespace qor::gdiplus {

void ApplyAttributes(const ImageAttributesObject& attributes, DWORD* pixels, std::size_t count)
{
    const ColorMatrix& m = attributes.matrix;
    const double cutoff = double(attributes.threshold) * 255.0;
    for (std::size_t i = 0; i < count; ++i) {
        const DWORD p = pixels[i];
        BYTE channel[4] = {BYTE(p >> 16), BYTE(p >> 8), BYTE(p), BYTE(p >> 24)};  // r g b a
        if (attributes.hasMatrix) {
            const double in[4] = {channel[0] / 255.0, channel[1] / 255.0, channel[2] / 255.0, channel[3] / 255.0};
            for (int j = 0; j < 4; ++j) {
                double v = m.m[4][j];
                for (int k = 0; k < 4; ++k)
                    v += in[k] * m.m[k][j];
                channel[j] = BYTE(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
            }
        }
        if (attributes.hasThreshold) {
            // Each colour channel becomes full when it reaches the cutoff, else zero; alpha stays.
            for (int j = 0; j < 3; ++j)
                channel[j] = channel[j] >= cutoff ? 255 : 0;
        }
        pixels[i] = (DWORD(channel[3]) << 24) | (DWORD(channel[0]) << 16) | (DWORD(channel[1]) << 8) | channel[2];
    }
}

namespace {

bool IsSupportedAdjustType(ColorAdjustType type)
{
    // Only the image draws of this layer use attributes, so Default and Bitmap act alike.
    return type == ColorAdjustTypeDefault || type == ColorAdjustTypeBitmap;
}

}  // namespace
}  // namespace qor::gdiplus

namespace Gdiplus::DllExports {

using namespace qor::gdiplus;

GpStatus WINAPI GdipCreateImageAttributes(GpImageAttributes** imageattr)
{
    if (!imageattr)
        return InvalidParameter;
    if (!IsStarted())
        return GdiplusNotInitialized;
    *imageattr = new (std::nothrow) ImageAttributesObject;
    return *imageattr ? Ok : OutOfMemory;
}

GpStatus WINAPI GdipCloneImageAttributes(const GpImageAttributes* imageattr, GpImageAttributes** cloneImageattr)
{
    if (!imageattr || !cloneImageattr)
        return InvalidParameter;
    *cloneImageattr = new (std::nothrow) ImageAttributesObject(*ToAttributes(imageattr));
    return *cloneImageattr ? Ok : OutOfMemory;
}

GpStatus WINAPI GdipDisposeImageAttributes(GpImageAttributes* imageattr)
{
    if (!imageattr)
        return InvalidParameter;
    delete ToAttributes(imageattr);
    return Ok;
}

GpStatus WINAPI GdipSetImageAttributesColorMatrix(GpImageAttributes* imageattr, ColorAdjustType type,
                                                  BOOL enableFlag, const ColorMatrix* colorMatrix,
                                                  const ColorMatrix* grayMatrix, ColorMatrixFlags flags)
{
    if (!imageattr || (enableFlag && !colorMatrix) || type < ColorAdjustTypeDefault || type >= ColorAdjustTypeCount)
        return InvalidParameter;
    if (flags != ColorMatrixFlagsDefault && flags != ColorMatrixFlagsSkipGrays && flags != ColorMatrixFlagsAltGray)
        return InvalidParameter;
    if (flags == ColorMatrixFlagsAltGray && enableFlag && !grayMatrix)
        return InvalidParameter;
    if (!IsSupportedAdjustType(type) || flags != ColorMatrixFlagsDefault)
        return NotImplemented;
    ImageAttributesObject& a = *ToAttributes(imageattr);
    a.hasMatrix = enableFlag != FALSE;
    if (a.hasMatrix)
        a.matrix = *colorMatrix;
    return Ok;
}

GpStatus WINAPI GdipSetImageAttributesThreshold(GpImageAttributes* imageattr, ColorAdjustType type,
                                                BOOL enableFlag, REAL threshold)
{
    if (!imageattr || type < ColorAdjustTypeDefault || type >= ColorAdjustTypeCount)
        return InvalidParameter;
    if (!IsSupportedAdjustType(type))
        return NotImplemented;
    ImageAttributesObject& a = *ToAttributes(imageattr);
    a.hasThreshold = enableFlag != FALSE;
    a.threshold = threshold;
    return Ok;
}

}  // namespace Gdiplus::DllExports
