#include "AutoCrop.h"

#include <leptonica/allheaders.h>

#include <algorithm>
#include <memory>

namespace {

struct PixDeleter {
    void operator()(PIX* pix) const { pixDestroy(&pix); }
};
struct BoxaDeleter {
    void operator()(BOXA* boxa) const { boxaDestroy(&boxa); }
};
using PixPtr = std::unique_ptr<PIX, PixDeleter>;
using BoxaPtr = std::unique_ptr<BOXA, BoxaDeleter>;

// A channel difference from the bed above this is a photo's pixel: well above the noise of a
// scanner, well below the difference of anything printed.
constexpr int kForegroundMargin = 32;

PixPtr ToPix(const CEngineImage& image)
{
    PixPtr pix(pixCreate(image.nWidth, image.nHeight, 32));
    if (!pix)
        return nullptr;
    l_uint32* data = pixGetData(pix.get());
    const l_int32 wpl = pixGetWpl(pix.get());
    for (int y = 0; y < image.nHeight; ++y) {
        const uint8_t* src = image.Row(y);
        l_uint32* dst = data + static_cast<size_t>(y) * wpl;
        for (int x = 0; x < image.nWidth; ++x, src += 3) composeRGBPixel(src[0], src[1], src[2], dst + x);
    }
    return pix;
}

// 1 where a pixel differs from the bed, after dust is removed and photos are closed.
PixPtr ForegroundMask(const CEngineImage& image, int nDpi)
{
    PixPtr pixRgb = ToPix(image);
    if (!pixRgb)
        return nullptr;
    l_uint32 bed = 0;
    if (pixGetRankValue(pixRgb.get(), 2, 0.5f, &bed) != 0)
        return nullptr;
    PixPtr pixBed(pixCreateTemplate(pixRgb.get()));
    if (!pixBed || pixSetAllArbitrary(pixBed.get(), bed) != 0)
        return nullptr;
    PixPtr pixDiff(pixAbsDifference(pixRgb.get(), pixBed.get()));
    PixPtr pixMax(pixDiff ? pixConvertRGBToGrayMinMax(pixDiff.get(), L_CHOOSE_MAX) : nullptr);
    // Below the margin is the bed: the threshold marks it, the inversion leaves the photos.
    PixPtr pixMask(pixMax ? pixThresholdToBinary(pixMax.get(), kForegroundMargin) : nullptr);
    if (!pixMask)
        return nullptr;
    pixInvert(pixMask.get(), pixMask.get());
    const int nDust = std::max(3, nDpi / 50) | 1;  // an odd brick keeps edges in place
    const int nJoin = std::max(3, nDpi / 10) | 1;
    PixPtr pixClean(pixOpenBrick(nullptr, pixMask.get(), nDust, nDust));
    return PixPtr(pixClean ? pixCloseSafeBrick(nullptr, pixClean.get(), nJoin, nJoin) : nullptr);
}

}  // namespace

std::vector<CAutoCropBox> FindPhotos(const CEngineImage& image, int nDpi)
{
    std::vector<CAutoCropBox> vecBoxes;
    if (image.nWidth <= 0 || image.nHeight <= 0 || nDpi <= 0 ||
        image.vecRgb.size() < static_cast<size_t>(image.nWidth) * image.nHeight * 3)
        return vecBoxes;
    PixPtr pixMask = ForegroundMask(image, nDpi);
    BoxaPtr boxaAll(pixMask ? pixConnCompBB(pixMask.get(), 8) : nullptr);
    if (!boxaAll)
        return vecBoxes;
    const int nMinSide = std::max(1, nDpi / 4);
    BoxaPtr boxaLarge(boxaSelectBySize(boxaAll.get(), nMinSide, nMinSide, L_SELECT_IF_BOTH, L_SELECT_IF_GTE, nullptr));
    BoxaPtr boxaPhotos(boxaLarge ? boxaCombineOverlaps(boxaLarge.get(), nullptr) : nullptr);
    if (!boxaPhotos)
        return vecBoxes;
    for (l_int32 i = 0; i < boxaGetCount(boxaPhotos.get()); ++i) {
        CAutoCropBox box;
        if (boxaGetBoxGeometry(boxaPhotos.get(), i, &box.nLeft, &box.nTop, &box.nWidth, &box.nHeight) == 0 &&
            box.nWidth > 0 && box.nHeight > 0)
            vecBoxes.push_back(box);
    }
    std::sort(vecBoxes.begin(), vecBoxes.end(), [](const CAutoCropBox& a, const CAutoCropBox& b) {
        return a.nTop != b.nTop ? a.nTop < b.nTop : a.nLeft < b.nLeft;
    });
    return vecBoxes;
}

bool FindContent(const CEngineImage& image, int nDpi, CAutoCropBox* pBox)
{
    const std::vector<CAutoCropBox> vecBoxes = FindPhotos(image, nDpi);
    if (vecBoxes.empty())
        return false;
    int nLeft = vecBoxes[0].nLeft, nTop = vecBoxes[0].nTop;
    int nRight = nLeft + vecBoxes[0].nWidth, nBottom = nTop + vecBoxes[0].nHeight;
    for (const CAutoCropBox& box : vecBoxes) {
        nLeft = std::min(nLeft, box.nLeft);
        nTop = std::min(nTop, box.nTop);
        nRight = std::max(nRight, box.nLeft + box.nWidth);
        nBottom = std::max(nBottom, box.nTop + box.nHeight);
    }
    *pBox = CAutoCropBox{nLeft, nTop, nRight - nLeft, nBottom - nTop};
    return true;
}
