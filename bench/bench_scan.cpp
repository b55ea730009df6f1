// The development scan engine: a whole preview of a letter page at 150 dpi from SANE's test
// backend without read delay, from Exec(2205) on the host's bag to the notification of the
// final preview file (partial previews included, about one for each hundredth of the rows);
// and the multiple automatic crop of the built-in scene previewed at 150 dpi. Each also as a
// multiple of a memcpy of the page's RGB bytes (counter x_memcpy).
#include <HostJob.h>
#include <HostPropertyBag.h>
#include <ScanEngine.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "memcpy_baseline.h"

namespace {

using qorbench::g_memcpySeconds;
using qorbench::MeasureMemcpySeconds;
using qorbench::ReportRatio;

constexpr int kDpi = 150;
constexpr std::size_t kPageBytes = std::size_t(8500 * kDpi / 1000) * (11000 * kDpi / 1000) * 3;

// A sink that notes when a key arrives.
class ATL_NO_VTABLE CTimingSink : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>, public IQORNotify {
public:
    BEGIN_COM_MAP(CTimingSink)
        COM_INTERFACE_ENTRY(IQORNotify)
    END_COM_MAP()

    STDMETHOD(Notify)(GUID, BSTR bstrName, VARIANT* pVar) override
    {
        const std::u16string strName(bstrName);
        if (strName == QORSCAN_KEY_SCAN_TEMP_PRE && pVar && pVar->vt == VT_BSTR) {
            const std::u16string strPath(pVar->bstrVal);
            if (strPath.size() >= 12 && strPath.compare(strPath.size() - 12, 12, u"prev_100.jpg") == 0)
                m_final = std::chrono::steady_clock::now();
            else if (m_nPartials++ == 0)
                m_first = std::chrono::steady_clock::now();
        } else if (strName == QORSCAN_KEY_SCAN_PROC) {
            m_final = std::chrono::steady_clock::now();
        }
        return S_OK;
    }
    STDMETHOD(NotifyWindow)(HWND, LONG, LONG) override { return S_OK; }

    std::chrono::steady_clock::time_point m_first, m_final;
    int m_nPartials = 0;
};

struct Host {
    explicit Host(const ScanEngineSettings& settings) : engine(settings)
    {
        CHostPropertyBag::CreateInstance(&spBag);
        HostFillLetterFlatbedJob(spBag, nullptr);
        ATL::CComObject<CTimingSink>* pSink = nullptr;
        ATL::CComObject<CTimingSink>::CreateInstance(&pSink);
        spSink = pSink;
        spBag->Advise(pSink->GetUnknown(), nullptr);
        engine.Attach(spBag);
    }
    ~Host()
    {
        engine.Detach();
        spBag->ReleaseAllSinks();
    }

    // Seconds from the Exec to the key the sink waits for (the final preview, the crop's
    // result); a negative value on failure. m_fFirstPartial: seconds to the first partial.
    double Run(DWORD nCmd)
    {
        ATL::CComQIPtr<IOleCommandTarget> spTarget(spBag);
        spSink->m_nPartials = 0;
        const auto start = std::chrono::steady_clock::now();
        spSink->m_final = start;
        if (FAILED(spTarget->Exec(&CGID_ScanControl, nCmd, 0, nullptr, nullptr)) || !engine.PumpUntilIdle(60000) ||
            spSink->m_final == start)
            return -1;
        if (spSink->m_nPartials > 0)
            m_fFirstPartial = std::chrono::duration<double>(spSink->m_first - start).count();
        return std::chrono::duration<double>(spSink->m_final - start).count();
    }

    double m_fFirstPartial = 0;

    CScanEngine engine;
    ATL::CComPtr<CHostPropertyBag> spBag;
    ATL::CComPtr<CTimingSink> spSink;
};

void BM_PreviewScanLetter150(benchmark::State& state)
{
    ScanEngineSettings settings;
    settings.strDevice = "test:0";
    settings.nPreviewDpi = kDpi;
    Host host(settings);
    for (auto _ : state) {
        const double fSeconds = host.Run(QORSCAN_CMDID_PREVIEW);
        if (fSeconds < 0) {
            state.SkipWithError("the preview failed");
            break;
        }
        state.SetIterationTime(fSeconds);
    }
    state.counters["partials"] = host.spSink->m_nPartials;
    state.counters["first_partial_ms"] = host.m_fFirstPartial * 1e3;
    ReportRatio(state);
}

void BM_MultipleAutoCropScene150(benchmark::State& state)
{
    ScanEngineSettings settings;
    settings.nPreviewDpi = kDpi;
    Host host(settings);
    ATL::CComVariant varMulti(1);
    host.spBag->SetValue(QORSCAN_KEY_SCAN_AUTOCROP_MULTI, varMulti);
    if (host.Run(QORSCAN_CMDID_PREVIEW) < 0)
        state.SkipWithError("the preview failed");
    for (auto _ : state) {
        const double fSeconds = host.Run(QORSCAN_CMDID_AUTOCROP);
        if (fSeconds < 0) {
            state.SkipWithError("the automatic crop failed");
            break;
        }
        state.SetIterationTime(fSeconds);
    }
    ReportRatio(state);
}

}  // namespace

BENCHMARK(BM_PreviewScanLetter150)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_MultipleAutoCropScene150)->Unit(benchmark::kMillisecond)->UseManualTime();

int main(int argc, char** argv)
{
    MeasureMemcpySeconds(kPageBytes);
    std::printf("memcpy of %zu bytes: %.3f ms (best of 20)\n", kPageBytes, g_memcpySeconds * 1e3);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
