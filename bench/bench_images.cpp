// The preview image store on a 2550 x 3300 page (letter at 300 dpi): a final preview shown
// through SetPreviewImage (decode, pad to the page, copy, orient), one ApplyOrientation of
// it turned a quarter, and a 100-row partial preview through LoadPartialPreview. Each
// result also as a multiple of a plain memcpy of the page's pixels measured in the same
// run (counter x_memcpy: CPU time over the best memcpy time).
#include <windows.h>
#include <gdiplus.h>

#include <benchmark/benchmark.h>
#define XMD_H  // windef.h already names INT32

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ScanViewPreview.h"
#include "jpeg_encode.h"
#include "memcpy_baseline.h"

namespace {

using qorbench::g_memcpySeconds;
using qorbench::MeasureMemcpySeconds;
using qorbench::ReportRatio;

constexpr int kPageW = 2550, kPageH = 3300;
constexpr int kPartialRows = 100;
constexpr std::size_t kPageBytes = std::size_t(kPageW) * kPageH * 4;
std::filesystem::path g_folder;

void WritePageJpeg(const std::filesystem::path& path, int width, int height)
{
    const auto bytes =
        qortest::EncodeRgbJpeg(width, height, [width](int y, std::uint8_t* rgb) { qortest::FillPageRow(width, y, rgb); });
    if (!qortest::WriteBytes(path.string(), bytes))
        std::abort();
}

std::u16string Wide(const std::filesystem::path& path) { return path.u16string(); }


// A view without a window, on a letter page, as the control is before it gets its site.
void PrepareView(CScanViewPreview& view)
{
    view.m_fPageAspect = float(kPageH) / float(kPageW);
    SetRect(&view.m_rcPage, 0, 0, 8500, 11000);
    view.m_rcCrop = view.m_rcPage;
}

void BM_MemcpyPage(benchmark::State& state)
{
    std::vector<BYTE> src(kPageBytes, 1), dst(kPageBytes, 2);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), kPageBytes);
        benchmark::ClobberMemory();
    }
    ReportRatio(state);
}

// The whole final-preview step: decode, pad, copy, orient (turned a quarter), lay out.
void BM_SetPreviewImage(benchmark::State& state)
{
    CScanViewPreview view;
    PrepareView(view);
    view.RotateRight();
    const std::u16string path = Wide(g_folder / "qor_org_preview.jpg");
    for (auto _ : state) {
        if (!view.SetPreviewImage(path.c_str()))
            state.SkipWithError("SetPreviewImage failed");
    }
    ReportRatio(state);
}

// One rebuild of the displayed bitmap from the source, turned a quarter.
void BM_ApplyOrientation(benchmark::State& state)
{
    CScanViewPreview view;
    PrepareView(view);
    if (!view.SetPreviewImage(Wide(g_folder / "qor_org_preview.jpg").c_str()))
        state.SkipWithError("SetPreviewImage failed");
    view.RotateRight();
    for (auto _ : state)
        view.ApplyOrientation();
    ReportRatio(state);
}

// One partial preview of 100 rows of the page's width onto a live page of the page's
// proportions. Each load deletes the file of the one before, so the two files take turns
// and the deleted one is written back outside the timing.
void BM_LoadPartialPreview(benchmark::State& state)
{
    CScanViewPreview view;
    PrepareView(view);
    view.BeginScanCanvas(kPageW, kPageH);
    const std::filesystem::path master = g_folder / "partial.jpg";
    const std::filesystem::path files[2] = {g_folder / "prev_1.jpg", g_folder / "prev_2.jpg"};
    int next = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::copy_file(master, files[next], std::filesystem::copy_options::overwrite_existing);
        state.ResumeTiming();
        if (!view.LoadPartialPreview(Wide(files[next]).c_str()))
            state.SkipWithError("LoadPartialPreview failed");
        next = 1 - next;
    }
    ReportRatio(state);
}


}  // namespace

BENCHMARK(BM_MemcpyPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SetPreviewImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyOrientation)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPartialPreview)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    char pattern[] = "/tmp/qor_bench_images_XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    g_folder = pattern;
    setenv("TMPDIR", pattern, 1);  // the scan temp folders of BeginScanCanvas go here too
    WritePageJpeg(g_folder / "qor_org_preview.jpg", kPageW, kPageH);
    WritePageJpeg(g_folder / "partial.jpg", kPageW, kPartialRows);
    MeasureMemcpySeconds(kPageBytes);
    std::printf("memcpy of %zu bytes: %.2f ms (best of 20)\n", kPageBytes, g_memcpySeconds * 1e3);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(g_folder, ignored);
    return 0;
}
