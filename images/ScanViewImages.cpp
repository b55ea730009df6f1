// CScanViewPreview: the image store. The sample pages and the close glyph from the
// module's resources, the live canvases of a running scan, the preview padded to the
// page's proportions, and ComposeCanvas, the one routine that copies pixels between
// bitmaps.
//
// Sizes here are image pixels unless a name says otherwise (cxView: view coordinates).
#include "ScanViewPreview.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstring>

namespace {

const Gdiplus::ARGB kWhite = 0xFFFFFFFF;
const Gdiplus::ARGB kDimGray = 0xFF696969;
const float kSampleDpi = 75.0f;

// The page size of a sample in page units (thousandths of an inch) from its pixels and
// resolution; a sample without a resolution has no page size.
RECT SamplePageRect(Gdiplus::Bitmap& sample)
{
    RECT rcPage = {0, 0, 0, 0};
    const double cxPixels = sample.GetWidth(), cyPixels = sample.GetHeight();
    const double dpiX = sample.GetHorizontalResolution(), dpiY = sample.GetVerticalResolution();
    if (dpiX > 0 && dpiY > 0)
        SetRect(&rcPage, 0, 0, static_cast<int>(cxPixels * 1000 / dpiX), static_cast<int>(cyPixels * 1000 / dpiY));
    return rcPage;
}

// A new canvas; it may be a bitmap without pixels when the size is empty.
std::unique_ptr<Gdiplus::Bitmap> NewCanvas(int cxImage, int cyImage)
{
    return std::unique_ptr<Gdiplus::Bitmap>(new Gdiplus::Bitmap(cxImage, cyImage, PixelFormat32bppARGB));
}

// The whole of a bitmap as a 32bppARGB copy.
std::unique_ptr<Gdiplus::Bitmap> CloneWhole(Gdiplus::Bitmap& source)
{
    return std::unique_ptr<Gdiplus::Bitmap>(source.Clone(0, 0, static_cast<INT>(source.GetWidth()),
                                                         static_cast<INT>(source.GetHeight()), PixelFormat32bppARGB));
}

// The file a path names when that path fits a path buffer; a path too long for the
// buffers counts as no file at all rather than being cut to another name.
bool IsUsableFile(LPCWSTR pszPath, size_t cchBuffer)
{
    return pszPath != nullptr && std::char_traits<WCHAR>::length(pszPath) < cchBuffer && ::PathFileExistsW(pszPath);
}

}  // namespace

// --- Resource images

std::unique_ptr<Gdiplus::Bitmap> CScanViewPreview::LoadImageResource(UINT nID, LPCWSTR pszType, HGLOBAL* phData)
{
    const HMODULE hModule = ATL::_AtlModuleInstance();
    const HRSRC hResInfo = ::FindResourceW(hModule, MAKEINTRESOURCEW(nID), pszType);
    if (hResInfo == nullptr)
        return nullptr;
    const DWORD cbResource = ::SizeofResource(hModule, hResInfo);
    const HGLOBAL hResData = ::LoadResource(hModule, hResInfo);
    const void* pResource = hResData != nullptr ? ::LockResource(hResData) : nullptr;
    if (pResource == nullptr || cbResource == 0)
        return nullptr;

    // GDI+ reads a stream lazily, so the bytes live in a block of our own that stays
    // locked for as long as the bitmap does.
    const HGLOBAL hData = ::GlobalAlloc(GMEM_MOVEABLE, cbResource);
    if (hData == nullptr)
        return nullptr;
    *phData = hData;
    void* pData = ::GlobalLock(hData);
    if (pData == nullptr)
        return nullptr;
    std::memcpy(pData, pResource, cbResource);

    ATL::CComPtr<IStream> spStream;
    if (FAILED(::CreateStreamOnHGlobal(hData, FALSE, &spStream)))
        return nullptr;
    std::unique_ptr<Gdiplus::Bitmap> pBitmap(Gdiplus::Bitmap::FromStream(spStream, FALSE));
    if (!pBitmap || pBitmap->GetLastStatus() != Gdiplus::Ok)
        return nullptr;
    return pBitmap;
}

void CScanViewPreview::LoadResourceImages()
{
    SetRectEmpty(&m_rcPortraitPage);
    SetRectEmpty(&m_rcLandscapePage);
    m_pSamplePortrait = LoadImageResource(IDR_SAMPLE_PORTRAIT, OLESTR("JPEG"), &m_hSamplePortraitData);
    if (m_pSamplePortrait) {
        m_pSamplePortrait->SetResolution(kSampleDpi, kSampleDpi);
        m_rcPortraitPage = SamplePageRect(*m_pSamplePortrait);
    }
    m_pSampleLandscape = LoadImageResource(IDR_SAMPLE_LANDSCAPE, OLESTR("JPEG"), &m_hSampleLandscapeData);
    if (m_pSampleLandscape) {
        m_pSampleLandscape->SetResolution(kSampleDpi, kSampleDpi);
        m_rcLandscapePage = SamplePageRect(*m_pSampleLandscape);
    }
    m_pCloseGlyph = LoadImageResource(IDR_CLOSE_GLYPH, OLESTR("PNG"), &m_hCloseGlyphData);
    if (m_pCloseGlyph)
        m_tracker.SetCloseGlyph(m_pCloseGlyph.get());
}

void CScanViewPreview::ReleaseResourceImages()
{
    m_tracker.SetCloseGlyph(nullptr);
    m_pSamplePortrait.reset();
    m_pSampleLandscape.reset();
    m_pCloseGlyph.reset();
    for (HGLOBAL* phData : {&m_hSamplePortraitData, &m_hSampleLandscapeData, &m_hCloseGlyphData}) {
        if (*phData != nullptr) {
            ::GlobalUnlock(*phData);
            ::GlobalFree(*phData);
            *phData = nullptr;
        }
    }
}

// --- The live canvases of a scan

void CScanViewPreview::BeginScanCanvas(int cxView, int cyView)
{
    m_bHadPreviewAtScanStart = !m_bSampleShown;
    // A scan that never ended may have left a backup of the preview file behind.
    ReleaseScanFolder();

    // A unique name from the temp path; the empty file that reserves it becomes a folder.
    WCHAR szTempPath[MAX_PATH] = {};
    WCHAR szTempName[MAX_PATH] = {};
    if (::GetTempPathW(MAX_PATH, szTempPath) != 0 && szTempPath[0] != 0 &&
        ::GetTempFileNameW(szTempPath, OLESTR("QOR"), 0, szTempName) != 0) {
        ::DeleteFileW(szTempName);
        m_strTempFolder = szTempName;
        m_strTempFolder += kPathSeparator;
        ::CreateDirectoryW(m_strTempFolder, nullptr);
    }

    SetBusy(true);

    RECT rcClient = {0, 0, 0, 0};
    if (m_hWnd != nullptr)
        GetClientRect(&rcClient);
    m_pLiveBackground.reset();
    m_pLivePage.reset();
    m_fReceivedFraction = 0.0f;
    m_pLiveBackground = NewCanvas(rcClient.right - rcClient.left, rcClient.bottom - rcClient.top);
    ComposeCanvas(m_pLiveBackground.get(), nullptr, rcClient.right - rcClient.left, rcClient.bottom - rcClient.top,
                  false);

    m_fScanAspect = cxView == 0 ? 1.0f : static_cast<float>(cyView) / static_cast<float>(cxView);

    if (m_hWnd == nullptr)
        return;
    if (m_bFramesVisible) {
        m_bFramesVisible = false;
        RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    Invalidate(TRUE);
}

void CScanViewPreview::ResetScanCanvas()
{
    m_pLivePage.reset();
    if (m_pLiveBackground) {
        const int cxImage = static_cast<int>(m_pLiveBackground->GetWidth());
        const int cyImage = static_cast<int>(m_pLiveBackground->GetHeight());
        m_pLivePage = NewCanvas(cxImage, cyImage);
        ComposeCanvas(m_pLivePage.get(), m_pLiveBackground.get(), cxImage, cyImage, false);
        InvalidatePicture();
    }
    if (m_hWnd != nullptr)
        Invalidate(TRUE);
}

bool CScanViewPreview::LoadPartialPreview(LPCWSTR pszPath)
{
    if (!IsUsableFile(pszPath, PATH_BUFFER_CHARS))
        return false;
    m_pPartialImage.reset();
    m_pPartialImage.reset(Gdiplus::Bitmap::FromFile(pszPath, FALSE));
    // A host may name the partial file already shown again: it stays. One that a different
    // file replaced goes; as the new image holds its own file by now, another spelling of
    // the same path is refused the delete as well.
    if (::lstrcmpiW(m_szPartialFile, pszPath) != 0)
        DeletePreviewFile(m_szPartialFile);
    if (!m_pPartialImage)
        return false;

    // The growing image replaces the busy wheel.
    SetBusy(false);
    ::lstrcpynW(m_szPartialFile, pszPath, PATH_BUFFER_CHARS);

    const int cxImage = static_cast<int>(m_pPartialImage->GetWidth());
    const int cyImage = static_cast<int>(m_fScanAspect * static_cast<float>(cxImage));
    m_pLivePage.reset();
    m_pLivePage = NewCanvas(cxImage, cyImage);
    ComposeCanvas(m_pLivePage.get(), m_pPartialImage.get(), cxImage, cyImage, false);
    InvalidatePicture();

    UpdateUnitsPerPixel();
    return true;
}

// --- The preview

bool CScanViewPreview::SetPreviewImage(LPCWSTR pszPath)
{
    if (pszPath != nullptr && !IsUsableFile(pszPath, PATH_BUFFER_CHARS))
        return false;
    m_pPartialImage.reset();

    // The picture to show, in a bitmap of its own: decoded from the file (which it holds
    // open) or copied from the sample that suits the page.
    std::unique_ptr<Gdiplus::Bitmap> pPicture;
    if (pszPath != nullptr) {
        m_bSampleShown = false;
        pPicture.reset(Gdiplus::Bitmap::FromFile(pszPath, FALSE));
        DeletePreviewFile(m_szPartialFile);
        if (!pPicture)
            return false;
    } else {
        DeletePreviewFile(m_szPartialFile);
        Gdiplus::Bitmap* pSample = m_bLandscape ? m_pSampleLandscape.get() : m_pSamplePortrait.get();
        if (m_pSamplePortrait && pSample != nullptr) {
            pPicture = CloneWhole(*pSample);
            m_bSampleShown = true;
            DeletePreviewFile(m_szPreviewFile);
        }
    }

    if (pPicture) {
        const int cxImage = static_cast<int>(pPicture->GetWidth());
        const int cyPicture = static_cast<int>(pPicture->GetHeight());
        m_pPreviewImage.reset();
        m_pPreviewSource.reset();

        // Padded below to the page's proportions, never shorter than the picture.
        int cyImage = cyPicture;
        if (m_fPageAspect != 1.0f)
            cyImage = std::max(static_cast<int>(static_cast<float>(cxImage) * m_fPageAspect), cyPicture);
        m_pPreviewImage = NewCanvas(cxImage, cyImage);
        InvalidatePicture();
        if (ComposeCanvas(m_pPreviewImage.get(), pPicture.get(), cxImage, cyImage, m_dwBaseStyle != 0)) {
            m_pPreviewSource = CloneWhole(*m_pPreviewImage);
            if (IsRectEmpty(&m_rcImage))
                SetRect(&m_rcImage, 0, 0, cxImage - 1, cyImage - 1);
            if (m_vecFrameImages.empty())
                m_vecFrameImages.push_back(m_rcImage);
        }
        // From here on the file is free to be moved or deleted.
        pPicture.reset();
    }

    ApplyOrientation();
    UpdateUnitsPerPixel();
    UpdateZoom();
    BuildFrameViews();
    SetPageAndCrop(m_rcPage, m_rcCrop, false);
    return true;
}

void CScanViewPreview::ReapplyOrientation()
{
    m_bPartialPreview = false;
    if (m_pPreviewImage)
        ApplyOrientation();
}

// --- Pixels

bool CScanViewPreview::ComposeCanvas(Gdiplus::Bitmap* pDst, Gdiplus::Bitmap* pSrc, int cxImage, int cyImage,
                                     bool bWhiteFill)
{
    if (pDst == nullptr)
        return false;
    const int cxSource = pSrc != nullptr ? static_cast<int>(pSrc->GetWidth()) : 0;
    const int cySource = pSrc != nullptr ? static_cast<int>(pSrc->GetHeight()) : 0;
    RECT rcDst = {0, 0, cxImage, cyImage};
    const RECT rcSrc = {0, 0, cxSource, cySource};
    // A source larger than the area cuts the area to the source: only its rows are written.
    if (cxSource > cxImage || cySource > cyImage)
        IntersectRect(&rcDst, &rcDst, &rcSrc);
    const int cxDst = rcDst.right - rcDst.left, cyDst = rcDst.bottom - rcDst.top;

    Gdiplus::BitmapData srcData = {};
    if (pSrc != nullptr) {
        const Gdiplus::Rect rcLock(0, 0, cxSource, cySource);
        if (pSrc->LockBits(&rcLock, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &srcData) != Gdiplus::Ok)
            return false;
    }
    Gdiplus::BitmapData dstData = {};
    const Gdiplus::Rect rcLock(0, 0, cxDst, cyDst);
    if (pDst->LockBits(&rcLock, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &dstData) != Gdiplus::Ok) {
        if (pSrc != nullptr)
            pSrc->UnlockBits(&srcData);
        return false;
    }

    const int rows = std::min(cySource, cyDst);
    const int cols = std::min(cxSource, cxDst);
    auto dstRow = [&dstData](int row) {
        return reinterpret_cast<Gdiplus::ARGB*>(static_cast<BYTE*>(dstData.Scan0) + ptrdiff_t(row) * dstData.Stride);
    };
    for (int row = 0; row < rows; ++row) {
        const BYTE* pSrcRow = static_cast<const BYTE*>(srcData.Scan0) + ptrdiff_t(row) * srcData.Stride;
        Gdiplus::ARGB* pDstRow = dstRow(row);
        std::memcpy(pDstRow, pSrcRow, size_t(cols) * sizeof(Gdiplus::ARGB));
        std::fill(pDstRow + cols, pDstRow + cxDst, kWhite);
    }
    m_fReceivedFraction = static_cast<float>(rows) / static_cast<float>(cyDst);
    const Gdiplus::ARGB fill = bWhiteFill ? kWhite : kDimGray;
    for (int row = rows; row < cyDst; ++row)
        std::fill(dstRow(row), dstRow(row) + cxDst, fill);

    pDst->UnlockBits(&dstData);
    if (pSrc != nullptr)
        pSrc->UnlockBits(&srcData);
    return true;
}

// --- Release

void CScanViewPreview::ReleaseImages()
{
    m_pLiveBackground.reset();
    m_pLivePage.reset();
    m_pPreviewImage.reset();
    m_pPreviewSource.reset();
    m_pPartialImage.reset();
    DeletePreviewFile(m_szPreviewFile);
}
