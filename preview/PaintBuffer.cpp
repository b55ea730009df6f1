// CPaintBuffer: a memory DC with a 32-bit DIB section, remade only when its size changes.
#include "PaintBuffer.h"

HDC CPaintBuffer::Prepare(int cx, int cy)
{
    if (m_hdc != nullptr && cx == m_cx && cy == m_cy)
        return m_hdc;
    Release();
    if (cx <= 0 || cy <= 0)
        return nullptr;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = cx;
    info.bmiHeader.biHeight = -cy;  // top-down: row 0 first, as GDI+ bitmaps lay out
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pBits = nullptr;
    m_hdc = ::CreateCompatibleDC(nullptr);
    if (m_hdc == nullptr)
        return nullptr;
    m_hbm = ::CreateDIBSection(m_hdc, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
    if (m_hbm == nullptr) {
        Release();
        return nullptr;
    }
    m_hbmOld = ::SelectObject(m_hdc, m_hbm);
    m_pBits = static_cast<DWORD*>(pBits);
    m_cx = cx;
    m_cy = cy;
    return m_hdc;
}

void CPaintBuffer::Release()
{
    if (m_hdc != nullptr && m_hbmOld != nullptr)
        ::SelectObject(m_hdc, m_hbmOld);
    if (m_hbm != nullptr)
        ::DeleteObject(m_hbm);
    if (m_hdc != nullptr)
        ::DeleteDC(m_hdc);
    m_hdc = nullptr;
    m_hbm = nullptr;
    m_hbmOld = nullptr;
    m_pBits = nullptr;
    m_cx = m_cy = 0;
}
