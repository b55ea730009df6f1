// gdi32 on a window-sized buffer: the block copies of a paint, pattern fills, and the
// lines of a crop frame.
#include <windows.h>

#include <benchmark/benchmark.h>

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;

struct Buffer {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap;
    HGDIOBJ previous;
    Buffer()
    {
        BITMAPINFO bmi{};
        bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), kWidth, -kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        bitmap = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
        previous = SelectObject(dc, bitmap);
    }
    ~Buffer()
    {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
};

void BM_BitBltCopy(benchmark::State& state)
{
    Buffer from, to;
    for (auto _ : state)
        BitBlt(to.dc, 0, 0, kWidth, kHeight, from.dc, 0, 0, SRCCOPY);
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_BitBltCopy);

void BM_BitBltInvert(benchmark::State& state)
{
    Buffer from, to;
    for (auto _ : state)
        BitBlt(to.dc, 0, 0, kWidth, kHeight, from.dc, 0, 0, SRCINVERT);
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_BitBltInvert);

void BM_PatBltHatch(benchmark::State& state)
{
    Buffer to;
    const WORD rows[8] = {0x1111, 0x2222, 0x4444, 0x8888, 0x1111, 0x2222, 0x4444, 0x8888};
    HBITMAP pattern = CreateBitmap(8, 8, 1, 1, rows);
    HBRUSH brush = CreatePatternBrush(pattern);
    HGDIOBJ old = SelectObject(to.dc, brush);
    for (auto _ : state)
        PatBlt(to.dc, 0, 0, kWidth, kHeight, 0x000F0001);
    SelectObject(to.dc, old);
    DeleteObject(brush);
    DeleteObject(pattern);
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_PatBltHatch);

void BM_CropFrameLines(benchmark::State& state)
{
    Buffer to;
    const LOGBRUSH white{BS_SOLID, RGB(255, 255, 255), 0}, black{BS_SOLID, 0, 0};
    HPEN solid = ExtCreatePen(PS_GEOMETRIC | PS_ENDCAP_SQUARE | PS_SOLID, 2, &white, 0, nullptr);
    HPEN dashed = ExtCreatePen(PS_GEOMETRIC | PS_ENDCAP_SQUARE | PS_DASH, 2, &black, 0, nullptr);
    const POINT corners[5] = {{100, 80}, {900, 80}, {900, 680}, {100, 680}, {100, 80}};
    for (auto _ : state) {
        for (HPEN pen : {solid, dashed}) {
            HGDIOBJ old = SelectObject(to.dc, pen);
            MoveToEx(to.dc, corners[0].x, corners[0].y, nullptr);
            for (int i = 1; i < 5; ++i)
                LineTo(to.dc, corners[i].x, corners[i].y);
            SelectObject(to.dc, old);
        }
    }
    DeleteObject(solid);
    DeleteObject(dashed);
}
BENCHMARK(BM_CropFrameLines);

void BM_DottedXorRectangle(benchmark::State& state)
{
    Buffer to;
    HPEN dotted = CreatePen(PS_DOT, 0, 0);
    SelectObject(to.dc, dotted);
    SelectObject(to.dc, GetStockObject(NULL_BRUSH));
    SetROP2(to.dc, R2_XORPEN);
    for (auto _ : state)
        Rectangle(to.dc, 100, 80, 900, 680);
    SelectObject(to.dc, GetStockObject(BLACK_PEN));
    DeleteObject(dotted);
}
BENCHMARK(BM_DottedXorRectangle);

}  // namespace

BENCHMARK_MAIN();
