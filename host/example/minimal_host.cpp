// The smallest host of the scan preview control: create, site, bind, notify, exec.
// Usage: qorscan-example PICTURE.png   (with the module registered, see the README)
#include <windows.h>
#include <atlbase.h>
#include <docobj.h>
#include <ocidl.h>

#include <QORScan.h>
#include <HostJob.h>
#include <HostPropertyBag.h>
#include <HostSite.h>  // the site: it tells the control which window to take over

#include "WindowPicture.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PICTURE.png\n", argv[0]);
        return 2;
    }
    CoInitialize(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = OLESTR("ExampleHost");
    RegisterClassExW(&wc);
    HWND hWndFrame = CreateWindowExW(0, OLESTR("ExampleHost"), OLESTR("Scan"), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                     0, 660, 540, nullptr, nullptr, nullptr, nullptr);
    HWND hWndView = CreateWindowExW(0, OLESTR("ExampleHost"), OLESTR(""), WS_CHILD | WS_VISIBLE, 10, 10, 640, 480,
                                    hWndFrame, nullptr, nullptr, nullptr);
    CHostSite site(hWndView);
    HRESULT hr = S_OK;
    {
        // 1. Create the control through the registry and site it on the view window.
        ATL::CComPtr<IObjectWithSite> spControl;
        hr = CoCreateInstance(CLSID_QORScan, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectWithSite,
                              reinterpret_cast<void**>(&spControl));
        if (SUCCEEDED(hr))
            hr = spControl->SetSite(&site);

        // 2. Bind the job's property bag: a letter page on a flatbed.
        ATL::CComPtr<CHostPropertyBag> spBag;
        if (SUCCEEDED(hr))
            hr = CHostPropertyBag::CreateInstance(&spBag);
        if (SUCCEEDED(hr)) {
            HostFillLetterFlatbedJob(spBag, nullptr);
            hr = ATL::CComQIPtr<IPersistPropertyBag>(spControl)->Load(spBag, nullptr);
        }

        if (SUCCEEDED(hr)) {
            // 3. Tell the control what changed: here the crop, the top half of the page.
            VARIANT var = QorScanPairVariant(HOST_LETTER_WIDTH, HOST_LETTER_HEIGHT / 2);
            spBag->Write(QORSCAN_KEY_SCAN_CROP, &var);
            ATL::CComQIPtr<IQORNotify>(spControl)->Notify(GUID_ScanSource, ATL::CComBSTR(QORSCAN_KEY_SCAN_CROP), &var);

            // 4. A button: turn the page to the right.
            ATL::CComQIPtr<IOleCommandTarget>(spControl)->Exec(&CGID_ScanControl, QORSCAN_CMDID_ROTATE_RIGHT, 0,
                                                               nullptr, nullptr);
            UpdateWindow(hWndView);
            if (!SaveWindowPicture(hWndView, argv[1]))
                hr = E_FAIL;

            // 5. Let go: unbind, then unsite before the last release.
            ATL::CComQIPtr<IPersistPropertyBag>(spControl)->Load(nullptr, nullptr);
            spControl->SetSite(nullptr);
        }
    }
    DestroyWindow(hWndFrame);
    CoUninitialize();
    std::printf("%s: 0x%08X\n", SUCCEEDED(hr) ? "done" : "failed", static_cast<unsigned>(hr));
    return SUCCEEDED(hr) ? 0 : 1;
}
