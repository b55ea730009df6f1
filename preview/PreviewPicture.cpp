// CPreviewPicture: the scaled, recoloured preview kept between paints, and the box
// prefilter that makes scaling a page cheap.
#include "PreviewPicture.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>

namespace {

// A block is averaged only while the bicubic step that follows still shrinks by at least
// this much: it then smooths the box's own steps away, and a direct draw and the two steps
// differ by no more than two filters of the same width do.
constexpr double kReducingGap = 2.0;
// Blocks larger than this are not needed for any window; the limit keeps a column's sum over
// a block's rows within 16 bits (128 x 255) and the block sums' reciprocals exact.
constexpr int kMaxBlock = 128;
constexpr int kReciprocalBits = 40;

bool Contains(const RECT& rcOuter, const RECT& rcInner)
{
    return rcInner.left >= rcOuter.left && rcInner.top >= rcOuter.top && rcInner.right <= rcOuter.right &&
           rcInner.bottom <= rcOuter.bottom;
}

int Width(const RECT& rc) { return rc.right - rc.left; }
int Height(const RECT& rc) { return rc.bottom - rc.top; }

// round(sum / n) as (sum + n / 2) * ceil(2^40 / n) >> 40: exact for n < 2^16 and sums of
// at most n bytes.
std::uint64_t Reciprocal(int n)
{
    return ((std::uint64_t(1) << kReciprocalBits) + std::uint64_t(n) - 1) / std::uint64_t(n);
}

// Adds one row of cxImage straight ARGB pixels to 16-bit sums per channel byte; true when
// every pixel of the row is opaque. Sixteen bytes at a time: this is the one pass over the
// whole image.
bool AddRow(const BYTE* pRow, int cxImage, std::uint16_t* pSum)
{
    const size_t nBytes = size_t(cxImage) * 4;
    const __m128i zero = _mm_setzero_si128();
    __m128i all = _mm_set1_epi8(-1);
    size_t i = 0;
    for (; i + 16 <= nBytes; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pRow + i));
        all = _mm_and_si128(all, bytes);
        __m128i* pLow = reinterpret_cast<__m128i*>(pSum + i);
        __m128i* pHigh = reinterpret_cast<__m128i*>(pSum + i + 8);
        _mm_storeu_si128(pLow, _mm_add_epi16(_mm_loadu_si128(pLow), _mm_unpacklo_epi8(bytes, zero)));
        _mm_storeu_si128(pHigh, _mm_add_epi16(_mm_loadu_si128(pHigh), _mm_unpackhi_epi8(bytes, zero)));
    }
    // The alpha bytes are every fourth byte, from byte 3.
    bool bOpaque = (_mm_movemask_epi8(_mm_cmpeq_epi8(all, _mm_set1_epi8(-1))) & 0x8888) == 0x8888;
    for (; i < nBytes; ++i) {
        pSum[i] = std::uint16_t(pSum[i] + pRow[i]);
        if (i % 4 == 3)
            bOpaque &= pRow[i] == 0xFF;
    }
    return bOpaque;
}

}  // namespace

void CPreviewPicture::Invalidate()
{
    ++m_nGeneration;
    m_bValid = false;
}

bool CPreviewPicture::SameKey(const Key& a, const Key& b)
{
    return a.pImage == b.pImage && a.nGeneration == b.nGeneration && ::EqualRect(&a.rcSource, &b.rcSource) &&
           ::EqualRect(&a.rcDest, &b.rcDest) && a.nColorMode == b.nColorMode;
}

void CPreviewPicture::Draw(Gdiplus::Graphics& graphics, HDC hdc, Gdiplus::Bitmap& image, const RECT& rcSource,
                           const RECT& rcDest, const RECT& rcVisible, const Gdiplus::ImageAttributes* pAttributes,
                           int nColorMode)
{
    m_bRebuilt = false;
    const bool bPlain = !::IsRectEmpty(&rcSource) && !::IsRectEmpty(&rcDest);
    if (::IsRectEmpty(&rcVisible) && bPlain)
        return;

    if (bPlain) {
        const Key key = {&image, m_nGeneration, rcSource, rcDest, nColorMode};
        if (!m_bValid || !SameKey(key, m_key) || !Contains(m_rcBuilt, rcVisible)) {
            m_key = key;
            m_rcBuilt = rcVisible;
            m_bValid = Build(image, rcSource, rcDest, rcVisible, pAttributes);
            m_bRebuilt = true;
        }
        if (m_bValid && m_bOpaque) {
            ::BitBlt(hdc, rcVisible.left, rcVisible.top, Width(rcVisible), Height(rcVisible), m_picture.GetDC(),
                     rcVisible.left - m_rcBuilt.left, rcVisible.top - m_rcBuilt.top, SRCCOPY);
            return;
        }
    }

    // Transparent pixels blend over what the paint has drawn so far, and a mirrored or
    // empty rectangle is GDI+'s to interpret: those go through GDI+ at every paint.
    DrawScaled(graphics, image, rcSource, rcDest, rcVisible, POINT{0, 0}, pAttributes, bPlain);
}

Gdiplus::Status CPreviewPicture::DrawScaled(Gdiplus::Graphics& graphics, Gdiplus::Bitmap& image, const RECT& rcSource,
                                            const RECT& rcDest, const RECT& rcVisible, POINT ptOrigin,
                                            const Gdiplus::ImageAttributes* pAttributes, bool bReduce)
{
    int kx = 1, ky = 1;
    std::unique_ptr<Gdiplus::Bitmap> pReduced;
    Gdiplus::Bitmap* pScaleSource =
        bReduce ? ScaleSource(image, rcSource, rcDest, rcVisible, &pReduced, &kx, &ky) : &image;
    const Gdiplus::RectF rcfDest(static_cast<Gdiplus::REAL>(rcDest.left - ptOrigin.x),
                                 static_cast<Gdiplus::REAL>(rcDest.top - ptOrigin.y),
                                 static_cast<Gdiplus::REAL>(Width(rcDest)), static_cast<Gdiplus::REAL>(Height(rcDest)));
    // A block of the averaged copy stands for kx x ky image pixels.
    return graphics.DrawImage(pScaleSource, rcfDest, static_cast<Gdiplus::REAL>(rcSource.left) / kx,
                              static_cast<Gdiplus::REAL>(rcSource.top) / ky,
                              static_cast<Gdiplus::REAL>(Width(rcSource)) / kx,
                              static_cast<Gdiplus::REAL>(Height(rcSource)) / ky, Gdiplus::UnitPixel, pAttributes);
}

bool CPreviewPicture::Build(Gdiplus::Bitmap& image, const RECT& rcSource, const RECT& rcDest, const RECT& rcVisible,
                            const Gdiplus::ImageAttributes* pAttributes)
{
    const int cx = Width(rcVisible), cy = Height(rcVisible);
    if (m_picture.Prepare(cx, cy) == nullptr)
        return false;
    DWORD* pBits = m_picture.Bits();
    const size_t nPixels = size_t(cx) * size_t(cy);
    std::fill(pBits, pBits + nPixels, 0u);  // transparent: what the draw leaves untouched

    Gdiplus::Bitmap target(cx, cy, cx * 4, PixelFormat32bppARGB, reinterpret_cast<BYTE*>(pBits));
    Gdiplus::Graphics graphics(&target);
    if (target.GetLastStatus() != Gdiplus::Ok || graphics.GetLastStatus() != Gdiplus::Ok)
        return false;
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    // The picture's pixel (0, 0) is view pixel (rcVisible.left, rcVisible.top).
    if (DrawScaled(graphics, image, rcSource, rcDest, rcVisible, POINT{rcVisible.left, rcVisible.top}, pAttributes,
                   true) != Gdiplus::Ok)
        return false;

    DWORD alpha = 0xFF000000;
    for (size_t i = 0; i < nPixels; ++i)
        alpha &= pBits[i];
    m_bOpaque = (alpha & 0xFF000000) == 0xFF000000;
    return true;
}

Gdiplus::Bitmap* CPreviewPicture::ScaleSource(Gdiplus::Bitmap& image, const RECT& rcSource, const RECT& rcDest,
                                              const RECT& rcVisible, std::unique_ptr<Gdiplus::Bitmap>* ppReduced,
                                              int* pkx, int* pky)
{
    // Image pixels per view pixel along each axis.
    const double sx = double(Width(rcSource)) / std::abs(double(Width(rcDest)));
    const double sy = double(Height(rcSource)) / std::abs(double(Height(rcDest)));
    const int kx = std::clamp(static_cast<int>(sx / kReducingGap), 1, kMaxBlock);
    const int ky = std::clamp(static_cast<int>(sy / kReducingGap), 1, kMaxBlock);
    *pkx = *pky = 1;
    if (kx == 1 && ky == 1)
        return &image;
    // The last averaged row the bicubic step reads for the bottom of rcVisible: the sample
    // position there, the filter's reach (two of the averaged copy's pixels per view pixel
    // shrunk) and a margin for the rounding of both.
    const double dv = sy / ky;  // averaged rows per view row
    const double vBottom = rcSource.top / double(ky) + (rcVisible.bottom - rcDest.top) * dv;
    const double cyNeeded = std::ceil(vBottom + 2.0 * std::max(dv, 1.0)) + 2.0;
    if (!Reduce(image, kx, ky, static_cast<int>(std::clamp(cyNeeded, 0.0, 1e9))))
        return &image;
    ppReduced->reset(new Gdiplus::Bitmap(m_cxReduced, m_cyReduced, m_cxReduced * 4, PixelFormat32bppARGB,
                                         reinterpret_cast<BYTE*>(m_reducedPixels.data())));
    if ((*ppReduced)->GetLastStatus() != Gdiplus::Ok)
        return &image;
    *pkx = kx;
    *pky = ky;
    return ppReduced->get();
}

bool CPreviewPicture::Reduce(Gdiplus::Bitmap& image, int kx, int ky, int cyNeeded)
{
    const bool bSame = m_pReducedImage == &image && m_nReducedGeneration == m_nGeneration && m_kx == kx && m_ky == ky;
    if (bSame && (!m_bReducedValid || m_cyReducedDone >= std::min(cyNeeded, m_cyReduced)))
        return m_bReducedValid;
    if (!bSame) {
        m_pReducedImage = &image;
        m_nReducedGeneration = m_nGeneration;
        m_kx = kx;
        m_ky = ky;
        m_cyReducedDone = 0;
    }
    m_bReducedValid = false;

    const int cxImage = static_cast<int>(image.GetWidth()), cyImage = static_cast<int>(image.GetHeight());
    Gdiplus::BitmapData data = {};
    const Gdiplus::Rect rcLock(0, 0, cxImage, cyImage);
    if (cxImage <= 0 || cyImage <= 0 ||
        image.LockBits(&rcLock, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) != Gdiplus::Ok)
        return false;

    const int cxReduced = (cxImage + kx - 1) / kx, cyReduced = (cyImage + ky - 1) / ky;
    m_cxReduced = cxReduced;
    m_cyReduced = cyReduced;
    // Kept at its size: a new page-sized block costs more in page faults than the averaging.
    std::vector<std::uint16_t> columnSums;
    try {
        m_reducedPixels.resize(size_t(cxReduced) * size_t(cyReduced));
        columnSums.resize(size_t(cxImage) * 4);
    } catch (const std::bad_alloc&) {
        image.UnlockBits(&data);
        return false;
    }

    // Per reduced row: the column sums of its source rows (one counter per channel byte),
    // then the sum of each block of kx columns, divided by the block's pixel count. The last
    // block of a row or column may be narrower than the rest.
    bool bOpaque = true;
    const int cyEnd = std::min(cyNeeded, cyReduced);
    for (int yReduced = m_cyReducedDone; yReduced < cyEnd && bOpaque; ++yReduced) {
        const int yFirst = yReduced * ky, yEnd = std::min(yFirst + ky, cyImage);
        std::fill(columnSums.begin(), columnSums.end(), std::uint16_t(0));
        for (int y = yFirst; y < yEnd; ++y)
            bOpaque &= AddRow(static_cast<const BYTE*>(data.Scan0) + ptrdiff_t(y) * data.Stride, cxImage,
                              columnSums.data());
        const int nRows = yEnd - yFirst;
        const int cxLast = cxImage - (cxReduced - 1) * kx;
        const std::uint64_t recipFull = Reciprocal(kx * nRows), recipLast = Reciprocal(cxLast * nRows);
        const std::uint64_t halfFull = std::uint64_t(kx * nRows / 2), halfLast = std::uint64_t(cxLast * nRows / 2);
        DWORD* pOut = m_reducedPixels.data() + size_t(yReduced) * size_t(cxReduced);
        const std::uint16_t* pSum = columnSums.data();
        for (int xReduced = 0; xReduced < cxReduced; ++xReduced) {
            const int cxBlock = xReduced + 1 < cxReduced ? kx : cxLast;
            const std::uint64_t recip = cxBlock == kx ? recipFull : recipLast;
            const std::uint64_t half = cxBlock == kx ? halfFull : halfLast;
            std::uint32_t b = 0, g = 0, r = 0, a = 0;
            for (int x = 0; x < cxBlock; ++x, pSum += 4) {
                b += pSum[0];
                g += pSum[1];
                r += pSum[2];
                a += pSum[3];
            }
            auto average = [recip, half](std::uint32_t sum) { return DWORD(((sum + half) * recip) >> kReciprocalBits); };
            pOut[xReduced] = average(a) << 24 | average(r) << 16 | average(g) << 8 | average(b);
        }
    }
    image.UnlockBits(&data);
    // Straight colours average right only where every pixel is opaque.
    m_cyReducedDone = std::max(m_cyReducedDone, cyEnd);
    m_bReducedValid = bOpaque;
    return m_bReducedValid;
}
