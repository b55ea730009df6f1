// GDI+ on a 2550 x 3300 page (letter at 300 dpi): each result also as a multiple of a plain
// memcpy of the page's pixels measured in the same run (counter x_memcpy, CPU time over
// the best memcpy time, so that other load on the machine weighs less).
#include <gdiplus.h>

#include <benchmark/benchmark.h>
#include <cairo.h>
#define XMD_H  // windef.h already names INT32

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "jpeg_encode.h"
#include "memcpy_baseline.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

using qorbench::g_memcpySeconds;
using qorbench::MeasureMemcpySeconds;
using qorbench::ReportRatio;

constexpr int kPageW = 2550, kPageH = 3300;
constexpr std::size_t kPageBytes = std::size_t(kPageW) * kPageH * 4;
std::vector<BYTE> g_jpeg;

std::vector<BYTE> MakePageJpeg()
{
    return qortest::EncodeRgbJpeg(kPageW, kPageH, [](int y, BYTE* rgb) { qortest::FillPageRow(kPageW, y, rgb); });
}

// A minimal read-only stream over the encoded page.
class ByteStream final : public IStream {
public:
    explicit ByteStream(const std::vector<BYTE>& bytes) : bytes_(bytes) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override
    {
        const std::size_t n = std::min<std::size_t>(cb, bytes_.size() - offset_);
        std::memcpy(pv, bytes_.data() + offset_, n);
        offset_ += n;
        *pcbRead = ULONG(n);
        return n == cb ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    const std::vector<BYTE>& bytes_;
    std::size_t offset_ = 0;
};

GpBitmap* DecodePage()
{
    ByteStream stream(g_jpeg);
    GpBitmap* bitmap = nullptr;
    if (GdipCreateBitmapFromStream(&stream, &bitmap) != Ok)
        std::abort();
    return bitmap;
}


// Source and destination are allocated and touched once, outside the timing.
void BM_Memcpy(benchmark::State& state)
{
    std::vector<BYTE> src(kPageBytes, 1), dst(kPageBytes, 2);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), kPageBytes);
        benchmark::ClobberMemory();
    }
    ReportRatio(state);
}

void BM_DecodeJpeg(benchmark::State& state)
{
    for (auto _ : state) {
        GpBitmap* bitmap = DecodePage();
        GdipDisposeImage(bitmap);
    }
    ReportRatio(state);
}

// Row by row through LockBits, as the canvas composition copies a page.
void BM_CopyRows(benchmark::State& state)
{
    GpBitmap* src = DecodePage();
    GpBitmap* dst = nullptr;
    GdipCreateBitmapFromScan0(kPageW, kPageH, 0, PixelFormat32bppARGB, nullptr, &dst);
    const Rect all(0, 0, kPageW, kPageH);
    for (auto _ : state) {
        BitmapData in{}, out{};
        GdipBitmapLockBits(src, &all, ImageLockModeRead, PixelFormat32bppARGB, &in);
        GdipBitmapLockBits(dst, &all, ImageLockModeWrite, PixelFormat32bppARGB, &out);
        for (int y = 0; y < kPageH; ++y)
            std::memcpy(static_cast<BYTE*>(out.Scan0) + std::ptrdiff_t(y) * out.Stride,
                        static_cast<const BYTE*>(in.Scan0) + std::ptrdiff_t(y) * in.Stride, std::size_t(kPageW) * 4);
        GdipBitmapUnlockBits(dst, &out);
        GdipBitmapUnlockBits(src, &in);
        benchmark::ClobberMemory();
    }
    GdipDisposeImage(dst);
    GdipDisposeImage(src);
    ReportRatio(state);
}

void BM_Rotate90(benchmark::State& state)
{
    GpBitmap* bitmap = DecodePage();
    for (auto _ : state)
        GdipImageRotateFlip(bitmap, Rotate90FlipNone);
    GdipDisposeImage(bitmap);
    ReportRatio(state);
}

void BM_DrawScaledHighQualityBicubic(benchmark::State& state)
{
    GpBitmap* page = DecodePage();
    GpBitmap* view = nullptr;
    GdipCreateBitmapFromScan0(800, 1000, 0, PixelFormat32bppARGB, nullptr, &view);
    GpGraphics* graphics = nullptr;
    GdipGetImageGraphicsContext(view, &graphics);
    GdipSetInterpolationMode(graphics, InterpolationModeHighQualityBicubic);
    for (auto _ : state)
        GdipDrawImageRectRectI(graphics, page, 0, 0, 800, 1000, 0, 0, kPageW, kPageH, UnitPixel, nullptr, nullptr,
                               nullptr);
    GdipDeleteGraphics(graphics);
    GdipDisposeImage(view);
    GdipDisposeImage(page);
    ReportRatio(state);
}

// For comparison: cairo's best filter on the same pixels (opaque, so already premultiplied).
void BM_DrawScaledCairoBest(benchmark::State& state)
{
    GpBitmap* page = DecodePage();
    BitmapData data{};
    GdipBitmapLockBits(page, nullptr, ImageLockModeRead, PixelFormat32bppARGB, &data);
    cairo_surface_t* source = cairo_image_surface_create_for_data(static_cast<unsigned char*>(data.Scan0),
                                                                  CAIRO_FORMAT_ARGB32, kPageW, kPageH, data.Stride);
    cairo_surface_t* view = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 800, 1000);
    for (auto _ : state) {
        cairo_t* cr = cairo_create(view);
        cairo_scale(cr, 800.0 / kPageW, 1000.0 / kPageH);
        cairo_set_source_surface(cr, source, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BEST);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_flush(view);
    }
    cairo_surface_destroy(view);
    cairo_surface_destroy(source);
    GdipBitmapUnlockBits(page, &data);
    GdipDisposeImage(page);
    ReportRatio(state);
}

void BM_AlphaFill1920x1080(benchmark::State& state)
{
    GpBitmap* target = nullptr;
    GdipCreateBitmapFromScan0(1920, 1080, 0, PixelFormat32bppARGB, nullptr, &target);
    GpGraphics* graphics = nullptr;
    GdipGetImageGraphicsContext(target, &graphics);
    GdipGraphicsClear(graphics, 0xFF696969);
    GpSolidFill* wash = nullptr;
    GdipCreateSolidFill(0x80FFFFFF, &wash);
    for (auto _ : state)
        GdipFillRectangleI(graphics, wash, 0, 0, 1920, 1080);
    GdipDeleteBrush(wash);
    GdipDeleteGraphics(graphics);
    GdipDisposeImage(target);
    ReportRatio(state);
}


}  // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate90)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawScaledHighQualityBicubic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawScaledCairoBest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AlphaFill1920x1080)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    ULONG_PTR token = 0;
    GdiplusStartupInput input;
    GdiplusStartup(&token, &input, nullptr);
    g_jpeg = MakePageJpeg();
    MeasureMemcpySeconds(kPageBytes);
    std::printf("page JPEG %zu bytes; memcpy of %zu bytes: %.2f ms (best of 20)\n", g_jpeg.size(), kPageBytes,
                g_memcpySeconds * 1e3);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    GdiplusShutdown(token);
    return 0;
}
