// CPaintBuffer: an off-screen 32-bit picture in a memory DC, kept from one paint to the next.
//
// A page-sized allocation costs far more in first-touch page faults than the pixel work done
// on it, so the preview keeps its paint buffers and makes a new bitmap only when the size
// changes. The pixels are a top-down DIB section, 0xAARRGGBB, reachable by GDI through the
// DC and directly through Bits().
#pragma once

#include <windows.h>

class CPaintBuffer {
public:
    CPaintBuffer() = default;
    ~CPaintBuffer() { Release(); }
    CPaintBuffer(const CPaintBuffer&) = delete;
    CPaintBuffer& operator=(const CPaintBuffer&) = delete;

    // The memory DC with a bitmap of cx x cy pixels selected, the same as last time when the
    // size did not change (its pixels are then those left by the last user); null when the
    // size is empty or GDI refuses.
    HDC Prepare(int cx, int cy);
    // Gives the bitmap and the DC back.
    void Release();

    HDC GetDC() const { return m_hdc; }
    DWORD* Bits() const { return m_pBits; }
    int Width() const { return m_cx; }
    int Height() const { return m_cy; }

private:
    HDC m_hdc = nullptr;
    HBITMAP m_hbm = nullptr;
    HGDIOBJ m_hbmOld = nullptr;  // the DC's own bitmap, selected back before the DC goes
    DWORD* m_pBits = nullptr;
    int m_cx = 0;
    int m_cy = 0;
};
