// The memory of a whole session on a letter page at 300 dpi, as a user runs it: a preview, the
// automatic crop of that preview, then the final scan of the crop at the job's 300 dpi,
// through the control from the module, the development engine on SANE's test backend and the
// host's window thread. Reported, as multiples of one page of 32-bit pixels at 300 dpi
// (2550 x 3300 x 4 bytes):
//   peak_x_page   the process's largest resident set during the session (VmHWM), everything
//                 included;
//   added_x_page  what the session added to the resident set the process had before it;
//   after_x_page  what the process still holds once the session has ended.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "memcpy_baseline.h"
#include "session_host.h"

namespace {

constexpr std::size_t kPageBytes = std::size_t(2550) * 3300 * 4;

// Counts the final previews and the automatic crops that the engine announces.
class ATL_NO_VTABLE CSessionSink : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>, public IQORNotify {
public:
    BEGIN_COM_MAP(CSessionSink)
        COM_INTERFACE_ENTRY(IQORNotify)
    END_COM_MAP()

    STDMETHOD(Notify)(GUID, BSTR bstrName, VARIANT* pVar) override
    {
        if (bstrName == nullptr || pVar == nullptr)
            return S_OK;
        if (lstrcmpW(bstrName, QORSCAN_KEY_SCAN_PROC) == 0)
            ++m_nCrops;
        else if (lstrcmpW(bstrName, QORSCAN_KEY_SCAN_TEMP_PRE) == 0 && pVar->vt == VT_BSTR && pVar->bstrVal != nullptr &&
                 std::u16string_view(pVar->bstrVal).ends_with(u"prev_100.jpg"))
            ++m_nScans;
        return S_OK;
    }
    STDMETHOD(NotifyWindow)(HWND, LONG, LONG) override { return S_OK; }

    int m_nScans = 0;
    int m_nCrops = 0;
};

// A figure of /proc/self/status ("VmRSS", "VmHWM") in bytes; 0 when it cannot be read.
std::size_t StatusBytes(const std::string& strField)
{
    std::ifstream status("/proc/self/status");
    for (std::string strLine; std::getline(status, strLine);) {
        if (strLine.rfind(strField + ":", 0) == 0)
            return std::stoull(strLine.substr(strField.size() + 1)) * 1024;
    }
    return 0;
}

std::size_t ResidentBytes()
{
    return StatusBytes("VmRSS");
}

// The largest resident set since the last ResetPeak: the memcpy yardstick's two pages, made
// before, do not count.
std::size_t PeakResidentBytes()
{
    return StatusBytes("VmHWM");
}

void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

double PerPage(std::size_t bytes)
{
    return static_cast<double>(bytes) / static_cast<double>(kPageBytes);
}

void BM_LetterSessionAt300Dpi(benchmark::State& state)
{
    for (auto _ : state) {
        ResetPeak();
        const std::size_t cbBefore = ResidentBytes();
        ScanEngineSettings settings;
        settings.strDevice = "test:0";
        double fSeconds = 0;
        ScanEngineArea final;
        {
            qorbench::CSessionHost host(settings);
            ATL::CComObject<CSessionSink>* pSink = nullptr;
            ATL::CComObject<CSessionSink>::CreateInstance(&pSink);
            ATL::CComPtr<IQORNotify> spSink(pSink);
            DWORD dwCookie = 0;
            if (!host.Ready() || FAILED(host.Bag().Advise(spSink, &dwCookie))) {
                state.SkipWithError("the session could not be set up");
                return;
            }
            // The control is the bag's first sink, so the engine's news reaches it first.
            const auto start = std::chrono::steady_clock::now();
            const bool bDone = host.Exec(QORSCAN_CMDID_PREVIEW) && host.PumpUntil([&] { return pSink->m_nScans >= 1; }) &&
                               host.Exec(QORSCAN_CMDID_AUTOCROP_SINGLE) &&
                               host.PumpUntil([&] { return pSink->m_nCrops >= 1; }) && host.Exec(QORSCAN_CMDID_SCAN) &&
                               host.PumpUntil([&] { return pSink->m_nScans >= 2; });
            fSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (!bDone) {
                state.SkipWithError("the session did not finish");
                return;
            }
            final = host.Engine().LastArea();
        }
        state.SetIterationTime(fSeconds);
        const std::size_t cbPeak = PeakResidentBytes();
        state.counters["peak_x_page"] = PerPage(cbPeak);
        state.counters["added_x_page"] = PerPage(cbPeak > cbBefore ? cbPeak - cbBefore : 0);
        state.counters["after_x_page"] = PerPage(ResidentBytes());
        state.counters["final_width"] = final.nWidth;
        state.counters["final_height"] = final.nHeight;
        state.counters["final_dpi"] = final.nDpi;
    }
    qorbench::ReportRatio(state);
}

}  // namespace

// One session, its peak measured from its own start: a second would only repeat it.
BENCHMARK(BM_LetterSessionAt300Dpi)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

int main(int argc, char** argv)
{
    qorbench::MeasureMemcpySeconds(kPageBytes);
    std::printf("memcpy of %zu bytes: %.3f ms (best of 20)\n", kPageBytes, qorbench::g_memcpySeconds * 1e3);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
