// CQORScan: the reports of the user's crop frames and of the page orientation.
//
// Reports go straight into the host bag, not through the control's own IPropertyBag, so they
// are not echoed to the sinks. Results of the bag's Read and Write are not looked at: a host
// that refuses a key simply does not get it.
#include <algorithm>
#include <vector>

#include "QORScan.h"

namespace {

void WriteNull(IPropertyBag* pBag, LPCOLESTR pszName)
{
    pBag->Write(pszName, nullptr);
}

void WritePair(IPropertyBag* pBag, LPCOLESTR pszName, LONG a, LONG b)
{
    VARIANT var = QorScanPairVariant(static_cast<DWORD>(a), static_cast<DWORD>(b));
    pBag->Write(pszName, &var);
}

// A VT_ARRAY | VT_UI4 of the given values; nothing is written when the array cannot be made.
void WriteUI4Array(IPropertyBag* pBag, LPCOLESTR pszName, const std::vector<DWORD>& values)
{
    SAFEARRAY* psa = ::SafeArrayCreateVector(VT_UI4, 0, static_cast<ULONG>(values.size()));
    if (psa == nullptr)
        return;
    void* pData = nullptr;
    if (SUCCEEDED(::SafeArrayAccessData(psa, &pData))) {
        std::copy(values.begin(), values.end(), static_cast<DWORD*>(pData));
        ::SafeArrayUnaccessData(psa);
        VARIANT var;
        ::VariantInit(&var);
        var.vt = VT_ARRAY | VT_UI4;
        var.parray = psa;
        pBag->Write(pszName, &var);
    }
    ::SafeArrayDestroy(psa);
}

// True when the bag holds the key with exactly this 32-bit value.
bool BagHolds(IPropertyBag* pBag, LPCOLESTR pszName, DWORD dwValue)
{
    VARIANT var;
    ::VariantInit(&var);
    const bool bSame = SUCCEEDED(pBag->Read(pszName, &var, nullptr)) && var.ulVal == dwValue;
    ::VariantClear(&var);
    return bSame;
}

}  // namespace

// --- Reports (the view's overridables)

void CQORScan::ReportFrames(int nIndex)
{
    ATL::CComPtr<IPropertyBag> spBag(m_spPropertyBag);  // a write may call back and unbind it
    if (spBag == nullptr)
        return;
    WriteNull(spBag, QORSCAN_KEY_SCAN_MULTIPOS_ARRAY);
    WriteNull(spBag, QORSCAN_KEY_SCAN_MULTICROP_ARRAY);
    WriteNull(spBag, QORSCAN_KEY_SCAN_AUTOCROP_SINGLE);
    WriteNull(spBag, QORSCAN_KEY_SCAN_AUTOCROP_MULTI);

    if (nIndex < 0) {
        WritePair(spBag, QORSCAN_KEY_SCAN_POS, m_rcCrop.left, m_rcCrop.top);
        WritePair(spBag, QORSCAN_KEY_SCAN_CROP, m_rcCrop.right - m_rcCrop.left, m_rcCrop.bottom - m_rcCrop.top);
    } else {
        const bool bCropChanged = CropToFrames(spBag);
        if (!m_vecFrames.empty()) {
            std::vector<DWORD> positions, sizes;
            positions.reserve(m_vecFrames.size());
            sizes.reserve(m_vecFrames.size());
            for (const RECT& rc : m_vecFrames) {
                positions.push_back(QorScanMakePair(static_cast<DWORD>(rc.left), static_cast<DWORD>(rc.top)));
                sizes.push_back(QorScanMakePair(static_cast<DWORD>(rc.right - rc.left + 1),
                                                static_cast<DWORD>(rc.bottom - rc.top + 1)));
            }
            WriteUI4Array(spBag, QORSCAN_KEY_SCAN_MULTIPOS_ARRAY, positions);
            WriteUI4Array(spBag, QORSCAN_KEY_SCAN_MULTICROP_ARRAY, sizes);
        }
        // The view lays itself out again for the new crop.
        if (bCropChanged)
            PostMessage(WM_SIZE, 0, 0);
    }
    ReportOrientation();
}

void CQORScan::ReportOrientation()
{
    ATL::CComPtr<IPropertyBag> spBag(m_spPropertyBag);  // as above
    if (spBag == nullptr)
        return;
    bool bMirrorV = false, bMirrorH = false;
    int nAngle = 0;
    GetOrientation(bMirrorV, bMirrorH, nAngle);

    const LONG nDegrees = nAngle / 100;
    if (!BagHolds(spBag, QORSCAN_KEY_SCAN_ROTATE, static_cast<DWORD>(nDegrees))) {
        VARIANT var;
        ::VariantInit(&var);
        var.vt = VT_I4;
        var.lVal = nDegrees;
        spBag->Write(QORSCAN_KEY_SCAN_ROTATE, &var);
    }

    // The flags follow the page as it is turned: across a quarter turn they swap places.
    const bool bQuarterTurn = nDegrees == 90 || nDegrees == 270;
    const DWORD dwFlip = bQuarterTurn ? QorScanMakePair(bMirrorV, bMirrorH) : QorScanMakePair(bMirrorH, bMirrorV);
    if (!BagHolds(spBag, QORSCAN_KEY_SCAN_FLIP, dwFlip)) {
        VARIANT var = QorScanPairVariant(QorScanPairLow(dwFlip), QorScanPairHigh(dwFlip));
        spBag->Write(QORSCAN_KEY_SCAN_FLIP, &var);
    }
}

// --- Implementation

// The crop becomes the frames' bounding box, and the host is told of what changed. The size is
// compared inclusively with the crop's exclusive extent, so a report over unchanged frames still
// writes the size.
bool CQORScan::CropToFrames(IPropertyBag* pBag)
{
    LONG maxRight = 0, maxBottom = 0;
    for (const RECT& rc : m_vecFrames) {
        maxRight = std::max(maxRight, rc.right);
        maxBottom = std::max(maxBottom, rc.bottom);
    }
    LONG minLeft = maxRight, minTop = maxBottom;
    for (const RECT& rc : m_vecFrames) {
        minLeft = std::min(minLeft, rc.left);
        minTop = std::min(minTop, rc.top);
    }
    const bool bPosChanged = minLeft != m_rcCrop.left || minTop != m_rcCrop.top;
    const bool bSizeChanged = maxRight - minLeft + 1 != m_rcCrop.right - m_rcCrop.left ||
                              maxBottom - minTop + 1 != m_rcCrop.bottom - m_rcCrop.top;
    m_rcCrop = RECT{minLeft, minTop, maxRight, maxBottom};
    if (bPosChanged)
        WritePair(pBag, QORSCAN_KEY_SCAN_POS, minLeft, minTop);
    if (bSizeChanged)
        WritePair(pBag, QORSCAN_KEY_SCAN_CROP, maxRight - minLeft + 1, maxBottom - minTop + 1);
    return bPosChanged || bSizeChanged;
}
