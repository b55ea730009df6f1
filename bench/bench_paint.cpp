// Painting the preview: a 2550 x 3300 page (letter at 300 dpi) in a 1000 x 800 window with
// three crop frames, through the window's own WM_PAINT. Each result also as a multiple of a
// plain memcpy of the page's pixels measured in the same run (counter x_memcpy: CPU time
// over the best memcpy time).
//   RepaintAfterFrameMove   a frame moved: the kept picture, the grey, the wash, the frames
//   FirstPaintAfterNewPreview  the page scaled and kept again, then the same paint
//   DrawLiveHalfReceived    a new partial preview with half the rows in, the live paint
//   FirstPaintCairoBest     the same first paint with cairo's best filter doing the scaling
//   DirectHighQualityBicubic  where the time would go without the box prefilter: GDI+'s
//                           high-quality bicubic straight from the page into the paper
#include <windows.h>
#include <gdiplus.h>

#include <benchmark/benchmark.h>
#include <cairo.h>
#define XMD_H  // windef.h already names INT32

#include <cstdio>
#include <cstring>
#include <memory>

#include "ScanViewPreview.h"
#include "jpeg_encode.h"
#include "memcpy_baseline.h"

namespace {

using qorbench::g_memcpySeconds;
using qorbench::MeasureMemcpySeconds;
using qorbench::ReportRatio;

constexpr int kPageW = 2550, kPageH = 3300;
constexpr std::size_t kPageBytes = std::size_t(kPageW) * kPageH * 4;
constexpr int kWindowW = 1000, kWindowH = 800;
constexpr RECT kLetter = {0, 0, 8500, 11000};  // page units

// The page with the detail of a scan, rows filled as a JPEG encoder would be fed.
std::unique_ptr<Gdiplus::Bitmap> MakePage(int cyFilled)
{
    auto page = std::make_unique<Gdiplus::Bitmap>(kPageW, kPageH, PixelFormat32bppARGB);
    Gdiplus::BitmapData data = {};
    const Gdiplus::Rect all(0, 0, kPageW, kPageH);
    page->LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &data);
    std::vector<std::uint8_t> rgb(std::size_t(kPageW) * 3);
    for (int y = 0; y < kPageH; ++y) {
        auto* row = reinterpret_cast<DWORD*>(static_cast<BYTE*>(data.Scan0) + std::ptrdiff_t(y) * data.Stride);
        if (y >= cyFilled) {
            std::fill(row, row + kPageW, 0xFF696969);  // rows not received yet
            continue;
        }
        qortest::FillPageRow(kPageW, y, rgb.data());
        for (int x = 0; x < kPageW; ++x)
            row[x] = 0xFF000000 | DWORD(rgb[3 * x]) << 16 | DWORD(rgb[3 * x + 1]) << 8 | rgb[3 * x + 2];
    }
    page->UnlockBits(&data);
    return page;
}

// A visible top-level window that the view subclasses, as the control subclasses its host's.
class PaintedView {
public:
    PaintedView()
    {
        static const ATOM atom = [] {
            WNDCLASSEXW wc = {};
            wc.cbSize = sizeof(wc);
            wc.lpfnWndProc = ::DefWindowProcW;
            wc.lpszClassName = u"QorBenchPaint";
            return ::RegisterClassExW(&wc);
        }();
        (void)atom;
        m_hWnd = ::CreateWindowExW(0, u"QorBenchPaint", u"", WS_POPUP | WS_VISIBLE, 0, 0, kWindowW, kWindowH, nullptr,
                                   nullptr, nullptr, nullptr);
        view.SubclassWindow(m_hWnd);
        view.m_bSampleShown = false;
        view.SetPageAndCrop(kLetter, kLetter, true);
        view.m_pPreviewSource = MakePage(kPageH);
        view.m_pPreviewImage.reset(new Gdiplus::Bitmap(1, 1, PixelFormat32bppARGB));
        view.ApplyOrientation();
        view.SetPageAndCrop(kLetter, kLetter, true);
        view.m_vecFrames = {{500, 500, 4000, 3000}, {4500, 500, 8000, 5000}, {1000, 6000, 7500, 10500}};
        view.m_vecFrameImages.clear();
        view.m_vecTrackers.clear();
        view.BuildFrameViews();
        view.UpdateTrackers();
        Paint();
    }
    ~PaintedView()
    {
        view.UnsubclassWindow(TRUE);
        ::DestroyWindow(m_hWnd);
    }
    PaintedView(const PaintedView&) = delete;
    PaintedView& operator=(const PaintedView&) = delete;

    void Paint()
    {
        ::InvalidateRect(m_hWnd, nullptr, FALSE);
        ::UpdateWindow(m_hWnd);
    }
    // Moves the first frame by one image pixel, there and back, as a drag does.
    void MoveFrame()
    {
        m_nStep = 1 - m_nStep;
        RECT& rcImage = view.m_vecFrameImages[0];
        OffsetRect(&rcImage, m_nStep ? 1 : -1, 0);
        view.UpdateTrackers();
    }

    CScanViewPreview view;

private:
    HWND m_hWnd = nullptr;
    int m_nStep = 0;
};

void BM_MemcpyPage(benchmark::State& state)
{
    std::vector<BYTE> src(kPageBytes, 1), dst(kPageBytes, 2);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), kPageBytes);
        benchmark::ClobberMemory();
    }
    ReportRatio(state);
}

void BM_RepaintAfterFrameMove(benchmark::State& state)
{
    PaintedView painted;
    for (auto _ : state) {
        painted.MoveFrame();
        painted.Paint();
    }
    if (painted.view.m_picture.Rebuilt())
        state.SkipWithError("the kept picture was made again");
    ReportRatio(state);
}

void BM_FirstPaintAfterNewPreview(benchmark::State& state)
{
    PaintedView painted;
    for (auto _ : state) {
        painted.view.InvalidatePicture();  // what a new preview bitmap does
        painted.Paint();
    }
    ReportRatio(state);
}

void BM_DrawLiveHalfReceived(benchmark::State& state)
{
    PaintedView painted;
    CScanViewPreview& view = painted.view;
    view.m_bPartialPreview = true;
    view.m_bFitPage = true;
    view.m_rcFit = {0, 0, kWindowH * kPageW / kPageH, kWindowH};
    view.m_pLiveBackground.reset(new Gdiplus::Bitmap(kWindowW, kWindowH, PixelFormat32bppARGB));
    view.m_pLivePage = MakePage(kPageH / 2);
    view.m_pPartialImage.reset(new Gdiplus::Bitmap(kPageW, kPageH / 2, PixelFormat32bppARGB));
    for (auto _ : state) {
        view.InvalidatePicture();  // what a new partial preview does
        painted.Paint();
    }
    if (view.m_fReceivedFraction != 0.5f)
        state.SkipWithError("not half received");
    ReportRatio(state);
}

// cairo's best filter scales the page into the paper's size; the rest is the paint of a
// moved frame, which is what the first paint adds to the scaling.
void BM_FirstPaintCairoBest(benchmark::State& state)
{
    PaintedView painted;
    std::unique_ptr<Gdiplus::Bitmap> page = MakePage(kPageH);
    Gdiplus::BitmapData data = {};
    const Gdiplus::Rect all(0, 0, kPageW, kPageH);
    page->LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data);
    cairo_surface_t* source = cairo_image_surface_create_for_data(static_cast<unsigned char*>(data.Scan0),
                                                                  CAIRO_FORMAT_ARGB32, kPageW, kPageH, data.Stride);
    const int cxPaper = kWindowH * kPageW / kPageH, cyPaper = kWindowH;
    cairo_surface_t* paper = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cxPaper, cyPaper);
    for (auto _ : state) {
        cairo_t* cr = cairo_create(paper);
        cairo_scale(cr, double(cxPaper) / kPageW, double(cyPaper) / kPageH);
        cairo_set_source_surface(cr, source, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BEST);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_flush(paper);
        painted.MoveFrame();
        painted.Paint();
    }
    cairo_surface_destroy(paper);
    cairo_surface_destroy(source);
    page->UnlockBits(&data);
    ReportRatio(state);
}

void BM_DirectHighQualityBicubic(benchmark::State& state)
{
    std::unique_ptr<Gdiplus::Bitmap> page = MakePage(kPageH);
    const int cxPaper = kWindowH * kPageW / kPageH, cyPaper = kWindowH;
    Gdiplus::Bitmap paper(cxPaper, cyPaper, PixelFormat32bppARGB);
    Gdiplus::Graphics graphics(&paper);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    for (auto _ : state)
        graphics.DrawImage(page.get(), Gdiplus::RectF(0, 0, Gdiplus::REAL(cxPaper), Gdiplus::REAL(cyPaper)), 0, 0,
                           Gdiplus::REAL(kPageW), Gdiplus::REAL(kPageH), Gdiplus::UnitPixel);
    ReportRatio(state);
}

}  // namespace

BENCHMARK(BM_MemcpyPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepaintAfterFrameMove)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstPaintAfterNewPreview)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawLiveHalfReceived)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstPaintCairoBest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectHighQualityBicubic)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    MeasureMemcpySeconds(kPageBytes);
    std::printf("memcpy of %zu bytes: %.2f ms (best of 20)\n", kPageBytes, g_memcpySeconds * 1e3);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Gdiplus::GdiplusShutdown(token);
    return 0;
}
