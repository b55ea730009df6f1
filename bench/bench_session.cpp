// A whole preview scan as the user sees it: the control from the module, the development engine
// on SANE's test backend (letter page, 150 dpi, no read delay), the host pumping its window
// thread. Measured: Exec(2205) on the control until the final preview has been painted, and for
// each partial preview the time from its file being written to its rows being on screen.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "memcpy_baseline.h"
#include "session_host.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDpi = 150;
constexpr std::size_t kPageBytes = std::size_t(8500 * kDpi / 1000) * (11000 * kDpi / 1000) * 4;

// Seconds since the epoch of the file's last write, on the clock the file system uses.
double WrittenAt(BSTR bstrPath)
{
    std::string strPath;
    for (const OLECHAR* p = bstrPath; *p != 0; ++p)
        strPath += static_cast<char>(*p);
    struct stat st {};
    if (stat(strPath.c_str(), &st) != 0)
        return -1;
    return static_cast<double>(st.st_mtim.tv_sec) + st.st_mtim.tv_nsec * 1e-9;
}

double Now()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

// Advised on the bag after the control, so it hears of each partial preview once the control has
// taken it and painted its rows (the control repaints at once, inside the notification).
class ATL_NO_VTABLE CLatencySink : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>, public IQORNotify {
public:
    BEGIN_COM_MAP(CLatencySink)
        COM_INTERFACE_ENTRY(IQORNotify)
    END_COM_MAP()

    STDMETHOD(Notify)(GUID, BSTR bstrName, VARIANT* pVar) override
    {
        if (bstrName != nullptr && pVar != nullptr && pVar->vt == VT_BSTR &&
            lstrcmpW(bstrName, QORSCAN_KEY_SCAN_TEMP_PRE) == 0 && pVar->bstrVal != nullptr) {
            const std::u16string strPath(pVar->bstrVal);
            if (strPath.find(u"prev_100.jpg") != std::u16string::npos)
                m_bFinal = true;
            else if (const double fWritten = WrittenAt(pVar->bstrVal); fWritten > 0)
                m_vecLatencies.push_back(Now() - fWritten);
        }
        return S_OK;
    }
    STDMETHOD(NotifyWindow)(HWND, LONG, LONG) override { return S_OK; }

    std::vector<double> m_vecLatencies;  // seconds from each partial file written to its rows on screen
    bool m_bFinal = false;
};

ScanEngineSettings LetterAtPreviewDpi()
{
    ScanEngineSettings settings;
    settings.strDevice = "test:0";
    settings.nPreviewDpi = kDpi;
    return settings;
}

struct Session {
    Session() : host(LetterAtPreviewDpi())
    {
        if (!host.Ready())
            return;
        ATL::CComObject<CLatencySink>* pSink = nullptr;
        ATL::CComObject<CLatencySink>::CreateInstance(&pSink);
        spSink = pSink;
        host.Bag().Advise(spSink, &dwSinkCookie);
        bReady = true;
    }

    // Seconds from the command to the final preview painted.
    double PreviewScan()
    {
        spSink->m_bFinal = false;
        const auto start = Clock::now();
        if (!host.Exec(QORSCAN_CMDID_PREVIEW) || !host.PumpUntil([this] { return spSink->m_bFinal; }))
            return -1;
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    qorbench::CSessionHost host;
    ATL::CComPtr<CLatencySink> spSink;
    DWORD dwSinkCookie = 0;
    bool bReady = false;
};

void BM_PreviewScanToScreen(benchmark::State& state)
{
    Session session;
    if (!session.bReady) {
        state.SkipWithError("the session could not be set up");
        return;
    }
    for (auto _ : state) {
        const double fSeconds = session.PreviewScan();
        if (fSeconds < 0) {
            state.SkipWithError("the preview failed");
            break;
        }
        state.SetIterationTime(fSeconds);
    }
    std::vector<double>& vecLatencies = session.spSink->m_vecLatencies;
    if (!vecLatencies.empty()) {
        std::sort(vecLatencies.begin(), vecLatencies.end());
        state.counters["partials"] = static_cast<double>(vecLatencies.size()) / static_cast<double>(state.iterations());
        state.counters["to_screen_median_ms"] = vecLatencies[vecLatencies.size() / 2] * 1e3;
        state.counters["to_screen_worst_ms"] = vecLatencies.back() * 1e3;
    }
    qorbench::ReportRatio(state);
}

}  // namespace

BENCHMARK(BM_PreviewScanToScreen)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3.0);

int main(int argc, char** argv)
{
    qorbench::MeasureMemcpySeconds(kPageBytes);
    std::printf("memcpy of %zu bytes: %.3f ms (best of 20)\n", kPageBytes, qorbench::g_memcpySeconds * 1e3);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
