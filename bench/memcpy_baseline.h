// The yardstick of every benchmark: a plain memcpy of a page's bytes, measured in the same
// run, so that figures read as ratios that hold from one machine to the next.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <vector>

namespace qorbench {

inline double g_memcpySeconds = 0;

// The best of 20 copies of `bytes` bytes, with buffers touched before timing; stored for
// ReportRatio.
inline double MeasureMemcpySeconds(std::size_t bytes)
{
    std::vector<unsigned char> src(bytes, 1), dst(bytes, 2);
    double best = 1e9;
    for (int i = 0; i < 20; ++i) {
        const auto start = std::chrono::steady_clock::now();
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::ClobberMemory();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    g_memcpySeconds = best;
    return best;
}

// Adds the counter x_memcpy: the time of one iteration as a multiple of the memcpy.
inline void ReportRatio(benchmark::State& state)
{
    state.counters["x_memcpy"] = benchmark::Counter(
        g_memcpySeconds, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace qorbench
