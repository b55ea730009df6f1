#include "RowMapper.h"

#include <algorithm>
#include <cmath>
#include <cstring>

CRowMapper::CRowMapper(const SANE_Parameters& params, bool bDeviceGeometry, const RECT& rcArea, LONG nPageWidth,
                       LONG nPageHeight, int nDpi)
    : m_params(params), m_bDeviceGeometry(bDeviceGeometry)
{
    if (bDeviceGeometry) {
        m_nWidth = params.pixels_per_line;
        m_nHeight = params.lines;
        return;
    }
    if (params.pixels_per_line <= 0 || params.lines <= 0 || nPageWidth <= 0 || nPageHeight <= 0 || nDpi <= 0)
        return;
    const double fPixelPageUnits = 1000.0 / nDpi;
    m_nWidth = static_cast<int>(std::lround((rcArea.right - rcArea.left) / fPixelPageUnits));
    m_nHeight = static_cast<int>(std::lround((rcArea.bottom - rcArea.top) / fPixelPageUnits));
    for (int x = 0; x < m_nWidth; ++x) {
        const double fPageX = rcArea.left + (x + 0.5) * fPixelPageUnits;
        m_vecSourceX.push_back(std::clamp(static_cast<int>(fPageX * params.pixels_per_line / nPageWidth), 0, params.pixels_per_line - 1));
    }
    for (int y = 0; y < m_nHeight; ++y) {
        const double fPageY = rcArea.top + (y + 0.5) * fPixelPageUnits;
        m_vecSourceY.push_back(std::clamp(static_cast<int>(fPageY * params.lines / nPageHeight), 0, params.lines - 1));
    }
}

bool CRowMapper::Supported() const
{
    const bool bRgb = m_params.format == SANE_FRAME_RGB;
    if (!bRgb && m_params.format != SANE_FRAME_GRAY)
        return false;
    if (m_params.depth != 8 && m_params.depth != 16 && !(m_params.depth == 1 && !bRgb))
        return false;
    const long long nLineBits = static_cast<long long>(m_params.pixels_per_line) * (bRgb ? 3 : 1) * m_params.depth;
    if (m_params.pixels_per_line <= 0 || m_params.bytes_per_line <= 0 || m_params.bytes_per_line * 8LL < nLineBits)
        return false;
    return m_nWidth > 0 && (m_bDeviceGeometry || m_nHeight > 0);
}

void CRowMapper::AddLine(const uint8_t* pLine, CEngineImage& image)
{
    ToRgb(pLine);
    if (m_bDeviceGeometry) {
        image.vecRgb.insert(image.vecRgb.end(), m_vecLine.begin(), m_vecLine.end());
        ++image.nHeight;
    } else {
        while (image.nHeight < m_nHeight && m_vecSourceY[static_cast<size_t>(image.nHeight)] <= m_nSourceRow)
            AppendMapped(image);
    }
    ++m_nSourceRow;
}

void CRowMapper::Finish(CEngineImage& image)
{
    if (m_bDeviceGeometry || m_nSourceRow == 0)
        return;
    while (image.nHeight < m_nHeight) AppendMapped(image);
}

void CRowMapper::ToRgb(const uint8_t* pLine)
{
    const int nPixels = m_params.pixels_per_line;
    m_vecLine.resize(static_cast<size_t>(nPixels) * 3);
    const int nChannels = m_params.format == SANE_FRAME_RGB ? 3 : 1;
    for (int x = 0; x < nPixels; ++x) {
        for (int c = 0; c < 3; ++c) {
            const int nSample = x * nChannels + (nChannels == 3 ? c : 0);
            uint8_t value;
            if (m_params.depth == 8) {
                value = pLine[nSample];
            } else if (m_params.depth == 16) {
                uint16_t wide;  // host byte order
                std::memcpy(&wide, pLine + nSample * 2, sizeof(wide));
                value = static_cast<uint8_t>(wide >> 8);
            } else {
                value = ((pLine[x >> 3] >> (7 - (x & 7))) & 1) ? 0 : 255;  // 1 is black
            }
            m_vecLine[static_cast<size_t>(x) * 3 + c] = value;
        }
    }
}

void CRowMapper::AppendMapped(CEngineImage& image)
{
    const size_t nOffset = image.vecRgb.size();
    image.vecRgb.resize(nOffset + static_cast<size_t>(m_nWidth) * 3);
    uint8_t* pDst = image.vecRgb.data() + nOffset;
    for (int x = 0; x < m_nWidth; ++x)
        std::memcpy(pDst + x * 3, m_vecLine.data() + static_cast<size_t>(m_vecSourceX[static_cast<size_t>(x)]) * 3, 3);
    ++image.nHeight;
}
