// The headless backend's hooks: the virtual clock and the pixels of windows.
#include "user_private.h"

#include <png.h>

#include <cstdio>

#include <winbase.h>

#include "qorheadless.h"

namespace qor::user {
namespace {

// The client area of a window in its top-level surface (not clipped by the ancestors).
bool ClientPixels(HWND hwnd, std::vector<DWORD>* pixels, int* width, int* height)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return false;
    WindowPtr top = LookupWindow(TopLevelOf(hwnd));
    if (!top || !top->surface) return false;
    const SurfaceBuffer& buffer = *top->surface;
    const POINT origin = ClientOriginInSurface(*w);
    *width = w->client.right - w->client.left;
    *height = w->client.bottom - w->client.top;
    pixels->assign(static_cast<size_t>(*width) * *height, 0);
    for (int y = 0; y < *height; ++y) {
        const int sy = origin.y + y;
        if (sy < 0 || sy >= buffer.height) continue;
        for (int x = 0; x < *width; ++x) {
            const int sx = origin.x + x;
            if (sx >= 0 && sx < buffer.width) (*pixels)[static_cast<size_t>(y) * *width + x] = buffer.bits[sy * buffer.width + sx];
        }
    }
    return true;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace
}  // namespace qor::user

using namespace qor::user;

DWORD WINAPI QorGetClock()
{
    return Headless().Now();
}

void WINAPI QorAdvanceClock(DWORD ms)
{
    Headless().clock += ms;
}

void WINAPI QorSetClockAutoAdvance(BOOL enable)
{
    Headless().autoAdvance = enable != FALSE;
}

BOOL WINAPI QorGetWindowPixels(HWND hwnd, DWORD* dst, int strideBytes)
{
    std::vector<DWORD> pixels;
    int width = 0, height = 0;
    if (!ClientPixels(hwnd, &pixels, &width, &height)) return FALSE;
    if (!dst || strideBytes < width * 4) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (int y = 0; y < height; ++y)
        std::memcpy(reinterpret_cast<BYTE*>(dst) + static_cast<size_t>(y) * strideBytes, pixels.data() + static_cast<size_t>(y) * width,
                    static_cast<size_t>(width) * 4);
    return TRUE;
}

// Surfaces are opaque: the alpha byte of a pixel is not written to the file.
BOOL WINAPI QorSaveWindowPng(HWND hwnd, const char* path)
{
    std::vector<DWORD> pixels;
    int width = 0, height = 0;
    if (!ClientPixels(hwnd, &pixels, &width, &height)) return FALSE;
    if (!path || width <= 0 || height <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "wb"));
    if (!file) {
        SetLastError(ERROR_CANNOT_MAKE);
        return FALSE;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    std::vector<png_byte> row(static_cast<size_t>(width) * 3);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const DWORD p = pixels[static_cast<size_t>(y) * width + x];
            row[x * 3] = static_cast<png_byte>(p >> 16);
            row[x * 3 + 1] = static_cast<png_byte>(p >> 8);
            row[x * 3 + 2] = static_cast<png_byte>(p);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return TRUE;
}
