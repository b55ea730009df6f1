// A whole preview scan as the user sees it: the control from the module, the development engine
// on SANE's test backend (letter page, 150 dpi, no read delay), the host pumping its window
// thread. Measured: Exec(2205) on the control until the final preview has been painted, and for
// each partial preview the time from its file being written to its rows being on screen.
#include <windows.h>
#include <atlbase.h>
#include <atlcom.h>
#include <docobj.h>
#include <ocidl.h>

#include <HostJob.h>
#include <HostPropertyBag.h>
#include <HostSite.h>
#include <QORScan.h>
#include <ScanEngine.h>

#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "memcpy_baseline.h"

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

std::u16string Widen(const char* psz)
{
    std::u16string text;
    for (; *psz != 0; ++psz)
        text += static_cast<char16_t>(static_cast<unsigned char>(*psz));
    return text;
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

struct Session {
    Session()
    {
        char szFolder[] = "/tmp/qor_bench_session_XXXXXX";
        if (mkdtemp(szFolder) == nullptr)
            return;
        strFolder = szFolder;
        setenv("QOR_REGISTRY_DIR", szFolder, 1);
        hModule = LoadLibraryW(Widen(QORSCAN_MODULE_PATH).c_str());
        auto pfnRegister = hModule ? reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
                                         GetProcAddress(hModule, "DllRegisterServer"))
                                   : nullptr;
        if (pfnRegister == nullptr || FAILED(pfnRegister()) || FAILED(CoInitialize(nullptr)))
            return;
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = u"BenchSession";
        RegisterClassExW(&wc);
        hWndFrame = CreateWindowExW(0, wc.lpszClassName, u"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1020, 840,
                                    nullptr, nullptr, nullptr, nullptr);
        hWndView = CreateWindowExW(0, wc.lpszClassName, u"", WS_CHILD | WS_VISIBLE, 0, 0, 1000, 800, hWndFrame,
                                   nullptr, nullptr, nullptr);
        site = std::make_unique<CHostSite>(hWndView);
        ScanEngineSettings settings;
        settings.strDevice = "test:0";
        settings.nPreviewDpi = kDpi;
        engine = std::make_unique<CScanEngine>(settings);
        if (FAILED(CoCreateInstance(CLSID_QORScan, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                    reinterpret_cast<void**>(&spControl))) ||
            FAILED(ATL::CComQIPtr<IObjectWithSite>(spControl)->SetSite(site.get())) ||
            FAILED(CHostPropertyBag::CreateInstance(&spBag)) || FAILED(HostFillLetterFlatbedJob(spBag, nullptr)) ||
            FAILED(engine->Attach(spBag)) ||
            FAILED(ATL::CComQIPtr<IPersistPropertyBag>(spControl)->Load(spBag, nullptr)))
            return;
        ATL::CComObject<CLatencySink>* pSink = nullptr;
        ATL::CComObject<CLatencySink>::CreateInstance(&pSink);
        spSink = pSink;
        spBag->Advise(spSink, &dwSinkCookie);
        bReady = true;
    }
    ~Session()
    {
        if (engine)
            engine->Detach();
        if (spControl) {
            ATL::CComQIPtr<IPersistPropertyBag>(spControl)->Load(nullptr, nullptr);
            ATL::CComQIPtr<IObjectWithSite>(spControl)->SetSite(nullptr);
            spControl.Release();
        }
        if (spBag)
            spBag->ReleaseAllSinks();
        spBag.Release();
        spSink.Release();
        engine.reset();
        if (hWndFrame)
            DestroyWindow(hWndFrame);
        CoUninitialize();
        std::error_code ignored;
        std::filesystem::remove_all(strFolder, ignored);
    }

    // Seconds from the command to the final preview painted.
    double PreviewScan()
    {
        spSink->m_bFinal = false;
        const auto start = Clock::now();
        if (FAILED(ATL::CComQIPtr<IOleCommandTarget>(spControl)->Exec(&CGID_ScanControl, QORSCAN_CMDID_PREVIEW, 0,
                                                                      nullptr, nullptr)))
            return -1;
        while (engine->IsBusy() || !spSink->m_bFinal) {
            if (Clock::now() - start > std::chrono::seconds(60))
                return -1;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            UpdateWindow(hWndView);
        }
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    std::string strFolder;
    HMODULE hModule = nullptr;
    HWND hWndFrame = nullptr, hWndView = nullptr;
    std::unique_ptr<CHostSite> site;
    std::unique_ptr<CScanEngine> engine;
    ATL::CComPtr<IUnknown> spControl;
    ATL::CComPtr<CHostPropertyBag> spBag;
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
