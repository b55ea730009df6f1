// The host of a whole scan session in a benchmark: the control from the module, registered in
// a registry folder of its own, sited on a 1000 x 800 view of a frame window, bound to a
// letter-page job in the development host's bag, with the development engine attached.
#pragma once

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

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace qorbench {

class CSessionHost {
public:
    explicit CSessionHost(const ScanEngineSettings& settings)
    {
        char szFolder[] = "/tmp/qor_bench_session_XXXXXX";
        if (mkdtemp(szFolder) == nullptr)
            return;
        m_strFolder = szFolder;
        setenv("QOR_REGISTRY_DIR", szFolder, 1);
        m_hModule = LoadLibraryW(Widen(QORSCAN_MODULE_PATH).c_str());
        auto pfnRegister = m_hModule ? reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
                                           GetProcAddress(m_hModule, "DllRegisterServer"))
                                     : nullptr;
        if (pfnRegister == nullptr || FAILED(pfnRegister()) || FAILED(CoInitialize(nullptr)))
            return;
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = u"BenchSession";
        RegisterClassExW(&wc);
        m_hWndFrame = CreateWindowExW(0, wc.lpszClassName, u"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1020, 840,
                                      nullptr, nullptr, nullptr, nullptr);
        m_hWndView = CreateWindowExW(0, wc.lpszClassName, u"", WS_CHILD | WS_VISIBLE, 0, 0, 1000, 800, m_hWndFrame,
                                     nullptr, nullptr, nullptr);
        m_site = std::make_unique<CHostSite>(m_hWndView);
        m_engine = std::make_unique<CScanEngine>(settings);
        m_bReady = SUCCEEDED(CoCreateInstance(CLSID_QORScan, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                              reinterpret_cast<void**>(&m_spControl))) &&
                   SUCCEEDED(ATL::CComQIPtr<IObjectWithSite>(m_spControl)->SetSite(m_site.get())) &&
                   SUCCEEDED(CHostPropertyBag::CreateInstance(&m_spBag)) &&
                   SUCCEEDED(HostFillLetterFlatbedJob(m_spBag, nullptr)) && SUCCEEDED(m_engine->Attach(m_spBag)) &&
                   SUCCEEDED(ATL::CComQIPtr<IPersistPropertyBag>(m_spControl)->Load(m_spBag, nullptr));
    }
    ~CSessionHost()
    {
        if (m_engine)
            m_engine->Detach();
        if (m_spControl) {
            ATL::CComQIPtr<IPersistPropertyBag>(m_spControl)->Load(nullptr, nullptr);
            ATL::CComQIPtr<IObjectWithSite>(m_spControl)->SetSite(nullptr);
            m_spControl.Release();
        }
        if (m_spBag)
            m_spBag->ReleaseAllSinks();
        m_spBag.Release();
        m_engine.reset();
        if (m_hWndFrame)
            DestroyWindow(m_hWndFrame);
        CoUninitialize();
        std::error_code ignored;
        std::filesystem::remove_all(m_strFolder, ignored);
    }
    CSessionHost(const CSessionHost&) = delete;
    CSessionHost& operator=(const CSessionHost&) = delete;

    bool Ready() const { return m_bReady; }

    // A button of the host: the command on the control.
    bool Exec(DWORD nCmd)
    {
        return SUCCEEDED(
            ATL::CComQIPtr<IOleCommandTarget>(m_spControl)->Exec(&CGID_ScanControl, nCmd, 0, nullptr, nullptr));
    }

    // Runs the window thread, painting the view, until the engine is idle and fnDone agrees;
    // false after a minute.
    template <class Done>
    bool PumpUntil(Done fnDone)
    {
        const auto start = std::chrono::steady_clock::now();
        while (m_engine->IsBusy() || !fnDone()) {
            if (std::chrono::steady_clock::now() - start > std::chrono::seconds(60))
                return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            UpdateWindow(m_hWndView);
        }
        return true;
    }

    CScanEngine& Engine() { return *m_engine; }
    CHostPropertyBag& Bag() { return *m_spBag; }

private:
    static std::u16string Widen(const char* psz)
    {
        std::u16string text;
        for (; *psz != 0; ++psz)
            text += static_cast<char16_t>(static_cast<unsigned char>(*psz));
        return text;
    }

    std::string m_strFolder;
    HMODULE m_hModule = nullptr;
    HWND m_hWndFrame = nullptr, m_hWndView = nullptr;
    std::unique_ptr<CHostSite> m_site;
    std::unique_ptr<CScanEngine> m_engine;
    ATL::CComPtr<IUnknown> m_spControl;
    ATL::CComPtr<CHostPropertyBag> m_spBag;
    bool m_bReady = false;
};

}  // namespace qorbench
