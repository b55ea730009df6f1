// A small 32-bit canvas for GDI conformance tests: a top-down DIB section in a memory DC.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct TestCanvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    DWORD* bits = nullptr;
    int width = 0;
    int height = 0;

    TestCanvas(int w, int h, DWORD fill = 0x00FFFFFF) : width(w), height(h)
    {
        const BITMAPINFO bmi{{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};  // top-down
        void* p = nullptr;
        bitmap = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<DWORD*>(p);
        dc = CreateCompatibleDC(nullptr);
        previous = SelectObject(dc, bitmap);
        Fill(fill);
    }
    ~TestCanvas()
    {
        SelectObject(dc, previous);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    TestCanvas(const TestCanvas&) = delete;
    TestCanvas& operator=(const TestCanvas&) = delete;

    void Fill(DWORD v)
    {
        for (int i = 0; i < width * height; ++i)
            bits[i] = v;
    }
    DWORD& At(int x, int y) { return bits[y * width + x]; }

    // The canvas as rows of characters: '#' where the pixel is `ink`, '.' where it is
    // `paper`, '?' elsewhere; a compact way to state exact expected pixels.
    std::vector<std::string> Picture(DWORD ink, DWORD paper = 0x00FFFFFF, char other = '?') const
    {
        std::vector<std::string> rows;
        for (int y = 0; y < height; ++y) {
            std::string row;
            for (int x = 0; x < width; ++x) {
                const DWORD v = bits[y * width + x];
                row += v == ink ? '#' : v == paper ? '.' : other;
            }
            rows.push_back(row);
        }
        return rows;
    }
};

inline constexpr DWORD kWhite = 0x00FFFFFF;
inline constexpr DWORD kBlack = 0x00000000;
