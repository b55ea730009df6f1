// Image decoding through the GDI+ flat API, from a file or a stream, then what the control
// does with a decoded preview: LockBits in every supported format and mode (into the
// bitmap's own buffer or the caller's), RotateFlip, a clone of an area and pixel reads.
//
// Input: the encoded image, followed by 32 bytes (at the end) that choose the operations.
#include <fuzzer/FuzzedDataProvider.h>
#include <gdiplus.h>
#include <objidl.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

// Work on a bitmap is proportional to its pixels, not to the input's bytes: a header of a few
// bytes may announce a page of 200 megapixels. Those are decoded (the decoder is under test)
// but not turned or locked, which would only spend time and memory.
constexpr UINT64 kMaxWorkPixels = UINT64(4) << 20;
// The largest buffer a caller hands to LockBits with ImageLockModeUserInputBuf.
constexpr size_t kMaxUserBuffer = size_t(64) << 20;
constexpr size_t kChoiceBytes = 32;

const PixelFormat kFormats[] = {PixelFormat32bppARGB, PixelFormat32bppPARGB, PixelFormat32bppRGB, PixelFormat24bppRGB,
                                PixelFormat8bppIndexed};

// Reads every byte of a locked area, so that the sanitizer sees a lock that is too short,
// and writes every byte when the lock was taken for writing.
void TouchLockedArea(const BitmapData& data, UINT flags, size_t cbRow)
{
    volatile BYTE sum = 0;
    for (UINT y = 0; y < data.Height; ++y) {
        BYTE* pRow = static_cast<BYTE*>(data.Scan0) + std::ptrdiff_t(y) * data.Stride;
        for (size_t i = 0; i < cbRow; ++i)
            sum = sum + pRow[i];
        if (flags & ImageLockModeWrite)
            std::memset(pRow, static_cast<int>(y), cbRow);
    }
}

size_t BytesPerPixel(PixelFormat format)
{
    return format == PixelFormat24bppRGB ? 3 : 4;
}

// One LockBits and UnlockBits with a rectangle, mode, format and stride chosen by the input.
void LockAndUnlock(GpBitmap* pBitmap, UINT nWidth, UINT nHeight, FuzzedDataProvider& choice)
{
    Rect rc(0, 0, INT(nWidth), INT(nHeight));
    switch (choice.ConsumeIntegralInRange(0, 3)) {
    case 0:  // the whole bitmap
        break;
    case 1:  // an area inside it
        rc.X = choice.ConsumeIntegralInRange<INT>(0, INT(nWidth) - 1);
        rc.Y = choice.ConsumeIntegralInRange<INT>(0, INT(nHeight) - 1);
        rc.Width = choice.ConsumeIntegralInRange<INT>(1, INT(nWidth) - rc.X);
        rc.Height = choice.ConsumeIntegralInRange<INT>(1, INT(nHeight) - rc.Y);
        break;
    default:  // anything, which the bitmap must refuse where it does not fit
        rc.X = choice.ConsumeIntegral<INT>();
        rc.Y = choice.ConsumeIntegral<INT>();
        rc.Width = choice.ConsumeIntegral<INT>();
        rc.Height = choice.ConsumeIntegral<INT>();
        break;
    }
    const PixelFormat format = choice.PickValueInArray(kFormats);
    const UINT flags = choice.ConsumeIntegralInRange<UINT>(0, 7);
    const bool bInside = rc.X >= 0 && rc.Y >= 0 && rc.Width > 0 && rc.Height > 0 && UINT(rc.X) + UINT(rc.Width) <= nWidth &&
                         UINT(rc.Y) + UINT(rc.Height) <= nHeight;
    const size_t cbRow = bInside ? size_t(rc.Width) * BytesPerPixel(format) : 0;

    BitmapData data{};
    std::vector<BYTE> vecUser;
    if (flags & ImageLockModeUserInputBuf) {
        // The caller's buffer holds every row of the area at its stride, which may run
        // backwards; a stride that would need more memory than a test can give locks one row.
        INT nStride = choice.ConsumeBool() ? INT(cbRow) + choice.ConsumeIntegralInRange(-4, 16) : choice.ConsumeIntegral<INT>();
        const size_t cbStep = nStride == INT_MIN ? size_t(1) << 31 : size_t(std::abs(nStride));
        if (bInside && rc.Height > 1 && cbStep * size_t(rc.Height - 1) + cbRow > kMaxUserBuffer)
            rc.Height = 1;
        const size_t cbBuffer = bInside ? cbStep * size_t(rc.Height - 1) + std::max(cbRow, cbStep) : 16;
        if (cbBuffer > kMaxUserBuffer)
            return;
        vecUser.resize(cbBuffer);
        data.Stride = nStride;
        data.Scan0 = vecUser.data() + (nStride < 0 && bInside ? cbStep * size_t(rc.Height - 1) : 0);
    }
    if (GdipBitmapLockBits(pBitmap, &rc, flags, format, &data) != Ok)
        return;
    if (!bInside || data.Width != UINT(rc.Width) || data.Height != UINT(rc.Height) || data.PixelFormat != format)
        std::abort();  // a lock the bitmap should have refused, or not the area asked for
    TouchLockedArea(data, flags, cbRow);
    if (GdipBitmapUnlockBits(pBitmap, &data) != Ok)
        std::abort();
}

GpBitmap* Decode(const std::vector<BYTE>& vecImage, bool bFromFile)
{
    GpBitmap* pBitmap = nullptr;
    if (bFromFile) {
        const std::filesystem::path path = fuzz::ScratchFolder() / "image";
        fuzz::WriteFile(path, vecImage.data(), vecImage.size());
        GdipCreateBitmapFromFile(fuzz::WidePath(path).c_str(), &pBitmap);
        return pBitmap;
    }
    HGLOBAL hGlobal = GlobalAlloc(GMEM_MOVEABLE, vecImage.size());
    if (hGlobal == nullptr)
        return nullptr;
    if (!vecImage.empty()) {
        std::memcpy(GlobalLock(hGlobal), vecImage.data(), vecImage.size());
        GlobalUnlock(hGlobal);
    }
    IStream* pStream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(hGlobal, TRUE, &pStream))) {
        GlobalFree(hGlobal);
        return nullptr;
    }
    GdipCreateBitmapFromStream(pStream, &pBitmap);
    pStream->Release();
    return pBitmap;
}

void Exercise(GpBitmap* pBitmap, FuzzedDataProvider& choice)
{
    UINT nWidth = 0, nHeight = 0;
    if (GdipGetImageWidth(pBitmap, &nWidth) != Ok || GdipGetImageHeight(pBitmap, &nHeight) != Ok || nWidth == 0 ||
        nHeight == 0)
        std::abort();  // a decoded bitmap always has pixels
    PixelFormat format = 0;
    REAL fDpiX = 0, fDpiY = 0;
    GdipGetImagePixelFormat(pBitmap, &format);
    GdipGetImageHorizontalResolution(pBitmap, &fDpiX);
    GdipGetImageVerticalResolution(pBitmap, &fDpiY);
    if (UINT64(nWidth) * nHeight > kMaxWorkPixels)
        return;
    for (int nStep = 0; nStep < 3; ++nStep) {
        LockAndUnlock(pBitmap, nWidth, nHeight, choice);
        if (GdipImageRotateFlip(pBitmap, static_cast<RotateFlipType>(choice.ConsumeIntegralInRange(-1, 8))) == Ok) {
            GdipGetImageWidth(pBitmap, &nWidth);
            GdipGetImageHeight(pBitmap, &nHeight);
        }
    }
    ARGB argb = 0;
    GdipBitmapGetPixel(pBitmap, 0, 0, &argb);
    GdipBitmapGetPixel(pBitmap, INT(nWidth) - 1, INT(nHeight) - 1, &argb);
    GpBitmap* pClone = nullptr;
    const INT nX = choice.ConsumeIntegralInRange<INT>(-1, INT(nWidth)), nY = choice.ConsumeIntegralInRange<INT>(-1, INT(nHeight));
    if (GdipCloneBitmapAreaI(nX, nY, INT(nWidth) - nX, INT(nHeight) - nY, choice.PickValueInArray(kFormats), pBitmap,
                             &pClone) == Ok) {
        UINT nCloneWidth = 0, nCloneHeight = 0;
        GdipGetImageWidth(pClone, &nCloneWidth);
        GdipGetImageHeight(pClone, &nCloneHeight);
        LockAndUnlock(pClone, nCloneWidth, nCloneHeight, choice);
        GdipDisposeImage(pClone);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static ULONG_PTR token = 0;
    GdiplusStartupInput input;
    if (GdiplusStartup(&token, &input, nullptr) != Ok)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData)
{
    // The choices come from the last bytes, which a JPEG or PNG decoder ignores after the
    // end of the image, so that the seeds' images stay whole.
    const size_t cbChoices = std::min<size_t>(cbData, kChoiceBytes);
    FuzzedDataProvider choice(pData + cbData - cbChoices, cbChoices);
    const std::vector<BYTE> vecImage(pData, pData + cbData - cbChoices);
    const bool bFromFile = choice.ConsumeBool();
    GpBitmap* pBitmap = Decode(vecImage, bFromFile);
    if (pBitmap != nullptr) {
        Exercise(pBitmap, choice);
        GdipDisposeImage(pBitmap);
    }
    return 0;
}
