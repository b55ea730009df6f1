// CDemoSession: the host side of a session, step by step.
#include "DemoSession.h"

#include <atlcom.h>
#include <qorheadless.h>

#include <HostJob.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kViewWidth = 900;
constexpr int kViewHeight = 700;
constexpr DWORD kScanTimeoutMs = 60000;
constexpr DWORD kGrey = 0x696969;  // the control's surroundings (the alpha byte is not drawn)

}  // namespace

// Follows the engine's preview files, as any sink of the host's bag can.
class CDemoSession::CProgressSink : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>, public IQORNotify {
public:
    BEGIN_COM_MAP(CProgressSink)
        COM_INTERFACE_ENTRY(IQORNotify)
    END_COM_MAP()

    STDMETHOD(Notify)(GUID guidSource, BSTR bstrName, VARIANT* pVar) override
    {
        if (IsEqualGUID(guidSource, GUID_ScanSource) && bstrName != nullptr && pVar != nullptr &&
            pVar->vt == VT_BSTR && lstrcmpW(bstrName, QORSCAN_KEY_SCAN_TEMP_PRE) == 0)
            m_nLastPreview = HostPreviewNumber(pVar->bstrVal);
        return S_OK;
    }
    STDMETHOD(NotifyWindow)(HWND /*hWnd*/, LONG /*nCode*/, LONG /*nParam*/) override { return S_OK; }

    int m_nLastPreview = 0;
};

CDemoSession::CDemoSession(const DemoOptions& options) : m_options(options), m_report(options.outputFolder)
{
}

CDemoSession::~CDemoSession()
{
    TearDown();
}

int CDemoSession::Run()
{
    if (!SetUp())
        return 1;
    Step("The control, bound to a letter flatbed job",
         "The host has created the control through the registry, sited it on its view window and bound its "
         "property bag. Before any scan the control shows its sample page.");
    const bool bDone = PreviewScan() && AutoCropMultiple() && EditFramesWithTheMouse() && TurnAndMirror() &&
                       ZoomAndScroll() && FinalScan();
    if (!m_report.WritePage())
        return Fail("writing the page") ? 0 : 1;
    return bDone ? 0 : 1;
}

// --- Set-up and tear-down

bool CDemoSession::SetUp()
{
    std::error_code error;
    std::filesystem::create_directories(m_options.outputFolder / "registry", error);
    std::filesystem::create_directories(m_options.outputFolder / "job", error);
    // A registry of the session's own keeps the demo away from the user's registration.
    setenv("QOR_REGISTRY_DIR", (m_options.outputFolder / "registry").c_str(), 1);

    m_hModule = LoadLibraryW(HostWiden(m_options.strModulePath).c_str());
    if (m_hModule == nullptr)
        return Fail("loading the control's module", HRESULT_FROM_WIN32(GetLastError()));
    auto pfnRegister = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(GetProcAddress(m_hModule, "DllRegisterServer"));
    HRESULT hr = pfnRegister != nullptr ? pfnRegister() : E_NOINTERFACE;
    if (FAILED(hr))
        return Fail("registering the control", hr);
    hr = CoInitialize(nullptr);
    if (FAILED(hr))
        return Fail("CoInitialize", hr);
    m_bComInitialised = true;
    // The control's messages to the user (the paper warning of a feeder job) reach the console.
    m_pMessages = std::make_unique<CHostMessageClass>([](HWND, LPCWSTR pszText, UINT, LONG* pnAnswer) {
        char szText[512] = {};
        WideCharToMultiByte(CP_UTF8, 0, pszText, -1, szText, sizeof(szText) - 1, nullptr, nullptr);
        std::printf("     message to the user: %s\n", szText);
        *pnAnswer = 0;
        return IDOK;
    });

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"QorScanDemoHost";
    RegisterClassExW(&wc);
    m_hWndFrame = CreateWindowExW(0, wc.lpszClassName, u"Scan", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                  kViewWidth + 40, kViewHeight + 80, nullptr, nullptr, nullptr, nullptr);
    m_hWndView = CreateWindowExW(0, wc.lpszClassName, u"", WS_CHILD | WS_VISIBLE, 10, 10, kViewWidth, kViewHeight,
                                 m_hWndFrame, nullptr, nullptr, nullptr);
    if (m_hWndView == nullptr)
        return Fail("creating the host's windows", HRESULT_FROM_WIN32(GetLastError()));

    hr = CoCreateInstance(CLSID_QORScan, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                          reinterpret_cast<void**>(&m_spControl));
    if (FAILED(hr))
        return Fail("CoCreateInstance(CLSID_QORScan)", hr);
    m_pSite = std::make_unique<CHostSite>(m_hWndView);
    hr = ATL::CComQIPtr<IObjectWithSite>(m_spControl)->SetSite(m_pSite.get());
    if (FAILED(hr))
        return Fail("SetSite", hr);

    hr = CHostPropertyBag::CreateInstance(&m_spBag);
    if (SUCCEEDED(hr))
        hr = HostFillLetterFlatbedJob(m_spBag, HostWiden((m_options.outputFolder / "job").string()).c_str());
    if (FAILED(hr))
        return Fail("filling the job", hr);
    m_spBag->SetForwarding(true);

    ScanEngineSettings settings;
    settings.strDevice = m_options.strDevice;
    settings.nPartialPauseMs = 15;  // the built-in scene scans in well under a second: let the rows be seen growing
    m_pEngine = std::make_unique<CScanEngine>(settings);
    hr = m_pEngine->Attach(m_spBag);
    if (FAILED(hr))
        return Fail("starting the scan engine", hr);

    ATL::CComObject<CProgressSink>* pProgress = nullptr;
    ATL::CComObject<CProgressSink>::CreateInstance(&pProgress);
    m_spProgress = pProgress;
    m_spBag->Advise(m_spProgress, &m_dwProgressCookie);

    hr = ATL::CComQIPtr<IPersistPropertyBag>(m_spControl)->Load(m_spBag, nullptr);
    if (FAILED(hr))
        return Fail("binding the bag", hr);
    Pump();
    return true;
}

void CDemoSession::TearDown()
{
    if (m_pEngine != nullptr)
        m_pEngine->Detach();
    if (m_spControl != nullptr) {
        ATL::CComQIPtr<IPersistPropertyBag>(m_spControl)->Load(nullptr, nullptr);
        ATL::CComQIPtr<IObjectWithSite>(m_spControl)->SetSite(nullptr);
        m_spControl.Release();
    }
    if (m_spBag != nullptr) {
        if (m_dwProgressCookie != 0)
            m_spBag->Unadvise(m_dwProgressCookie);
        m_spBag->ReleaseAllSinks();
        m_spBag.Release();
    }
    m_spProgress.Release();
    m_pEngine.reset();
    if (m_hWndFrame != nullptr)
        DestroyWindow(m_hWndFrame);
    m_hWndFrame = m_hWndView = nullptr;
    m_pMessages.reset();
    if (m_bComInitialised)
        CoUninitialize();
    m_bComInitialised = false;
    if (m_hModule != nullptr)
        FreeLibrary(m_hModule);
    m_hModule = nullptr;
}

// --- The steps

bool CDemoSession::PreviewScan()
{
    const HRESULT hr = Command(QORSCAN_CMDID_PREVIEW);
    if (FAILED(hr))
        return Fail("the preview command", hr);
    return FollowScan("Preview scan",
                      "The Preview button: the engine reads the page and writes a preview file as each further "
                      "hundredth of the rows arrives; the control shows the page growing row by row.");
}

bool CDemoSession::AutoCropMultiple()
{
    const HRESULT hr = Command(QORSCAN_CMDID_AUTOCROP_MULTI);
    if (FAILED(hr))
        return Fail("the multiple automatic crop", hr);
    if (!m_pEngine->PumpUntilIdle(kScanTimeoutMs))
        return Fail("waiting for the automatic crop");
    Pump();
    Step("Automatic crop: one frame per photo",
         "The engine found each photo on the bed (threshold, morphology, connected components) and handed the "
         "frames over as two arrays; outside the frames the page is washed out.");
    return FrameCount() > 0 || Fail("the automatic crop found no photo");
}

bool CDemoSession::EditFramesWithTheMouse()
{
    const RECT rcPaper = FindPaper();
    if (IsRectEmpty(&rcPaper))
        return Fail("finding the page on screen");
    const RECT rcFirst = FrameInView(0, rcPaper);
    Drag({rcFirst.right, rcFirst.bottom}, {rcFirst.right + 40, rcFirst.bottom + 30});
    Step("A frame resized with the mouse",
         "The user dragged the first frame's bottom-right handle outwards; the host's bag received the new "
         "frame arrays.");

    const int nFrames = FrameCount();
    if (nFrames < 2)
        return true;
    const RECT rcLast = FrameInView(nFrames - 1, rcPaper);
    Click({rcLast.right - 9, rcLast.top + 9});  // the close glyph in the top-right corner
    Step("A frame deleted with its close glyph",
         "Every frame shows a close glyph while there are two or more; a click on it removes the frame.");
    return FrameCount() == nFrames - 1 || Fail("deleting a frame");
}

bool CDemoSession::TurnAndMirror()
{
    HRESULT hr = Command(QORSCAN_CMDID_ROTATE_RIGHT);
    if (FAILED(hr))
        return Fail("turning the page", hr);
    Pump();
    Step("Turned to the right", "The page and its frames turn by 90 degrees; the bag's \"scan.rotate\" says so.");
    hr = Command(QORSCAN_CMDID_MIRROR_HORIZONTAL);
    if (FAILED(hr))
        return Fail("mirroring the page", hr);
    Pump();
    Step("Mirrored", "The page and its frames are mirrored left to right; the bag's \"scan.flip\" says so.");
    return true;
}

bool CDemoSession::ZoomAndScroll()
{
    for (int i = 0; i < 2; ++i) {
        const HRESULT hr = Command(QORSCAN_CMDID_ZOOM_IN);
        if (FAILED(hr))
            return Fail("zooming in", hr);
    }
    Pump();
    SendMessageW(m_hWndView, WM_VSCROLL, MAKEWPARAM(SB_PAGEDOWN, 0), 0);
    SendMessageW(m_hWndView, WM_HSCROLL, MAKEWPARAM(SB_PAGERIGHT, 0), 0);
    Pump();
    Step("Zoomed in and scrolled", "Two steps of Zoom in, then a page down and a page right with the scroll bars.");
    for (int i = 0; i < 2; ++i)
        Command(QORSCAN_CMDID_ZOOM_OUT);
    Pump();
    return true;
}

bool CDemoSession::FinalScan()
{
    const HRESULT hr = Command(QORSCAN_CMDID_SCAN);
    if (FAILED(hr))
        return Fail("the scan command", hr);
    return FollowScan("Final scan of the frames",
                      "The Scan button: the engine scans the crop at the job's resolution; afterwards the control "
                      "shows the preview again with the frames.");
}

// --- Helpers

HRESULT CDemoSession::Command(DWORD nCmdID)
{
    return ATL::CComQIPtr<IOleCommandTarget>(m_spControl)->Exec(&CGID_ScanControl, nCmdID, 0, nullptr, nullptr);
}

bool CDemoSession::FollowScan(const std::string& strTitle, const std::string& strText)
{
    m_spProgress->m_nLastPreview = 0;
    int nNextPicture = 33;
    const auto start = std::chrono::steady_clock::now();
    while (m_pEngine->IsBusy()) {
        if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(kScanTimeoutMs))
            return Fail("waiting for the scan");
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        QorAdvanceClock(50);  // the busy wheel turns on the window system's clock
        Pump();
        if (m_spProgress->m_nLastPreview >= nNextPicture && m_spProgress->m_nLastPreview < 100) {
            Step(strTitle + ": " + std::to_string(m_spProgress->m_nLastPreview) + "% of the rows",
                 "The rows received so far; the rest of the page is still grey.");
            nNextPicture += 33;
        }
    }
    Pump();
    Step(strTitle, strText);
    return true;
}

void CDemoSession::Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    UpdateWindow(m_hWndView);
}

void CDemoSession::Step(const std::string& strTitle, const std::string& strText)
{
    if (!m_report.AddStep(m_hWndView, strTitle, strText, *m_spBag))
        std::printf("     (the picture could not be written)\n");
}

RECT CDemoSession::FindPaper() const
{
    RECT rcClient;
    GetClientRect(m_hWndView, &rcClient);
    const int cx = rcClient.right, cy = rcClient.bottom;
    std::vector<DWORD> vecPixels(static_cast<size_t>(cx) * static_cast<size_t>(cy));
    RECT rcPaper = {cx, cy, 0, 0};
    if (cx <= 0 || cy <= 0 || !QorGetWindowPixels(m_hWndView, vecPixels.data(), cx * 4))
        return {};
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            if ((vecPixels[static_cast<size_t>(y) * cx + x] & 0xFFFFFF) != kGrey) {
                rcPaper.left = std::min<LONG>(rcPaper.left, x);
                rcPaper.top = std::min<LONG>(rcPaper.top, y);
                rcPaper.right = std::max<LONG>(rcPaper.right, x + 1);
                rcPaper.bottom = std::max<LONG>(rcPaper.bottom, y + 1);
            }
    return IsRectEmpty(&rcPaper) ? RECT{} : rcPaper;
}

int CDemoSession::FrameCount() const
{
    const auto value = m_spBag->GetValue(QORSCAN_KEY_SCAN_MULTIPOS_ARRAY);
    std::vector<DWORD> vecPairs;
    if (value.has_value() && SUCCEEDED(HostReadFrameArray(*value, vecPairs)))
        return static_cast<int>(vecPairs.size());
    return m_spBag->GetValue(QORSCAN_KEY_SCAN_CROP).has_value() ? 1 : 0;
}

RECT CDemoSession::FrameInView(int nIndex, const RECT& rcPaper) const
{
    DWORD dwPos = 0, dwCrop = 0;
    std::vector<DWORD> vecPos, vecCrop;
    const auto pos = m_spBag->GetValue(QORSCAN_KEY_SCAN_MULTIPOS_ARRAY);
    const auto crop = m_spBag->GetValue(QORSCAN_KEY_SCAN_MULTICROP_ARRAY);
    if (pos && crop && SUCCEEDED(HostReadFrameArray(*pos, vecPos)) && SUCCEEDED(HostReadFrameArray(*crop, vecCrop)) &&
        nIndex < static_cast<int>(std::min(vecPos.size(), vecCrop.size()))) {
        dwPos = vecPos[static_cast<size_t>(nIndex)];
        dwCrop = vecCrop[static_cast<size_t>(nIndex)];
    } else {
        const auto single = m_spBag->GetValue(QORSCAN_KEY_SCAN_POS);
        const auto size = m_spBag->GetValue(QORSCAN_KEY_SCAN_CROP);
        dwPos = single ? single->ulVal : 0;
        dwCrop = size ? size->ulVal : 0;
    }
    const auto page = m_spBag->GetValue(QORSCAN_KEY_SCAN_SIZE);
    const double fPageWidth = page ? QorScanPairLow(page->ulVal) : HOST_LETTER_WIDTH;
    const double fPageHeight = page ? QorScanPairHigh(page->ulVal) : HOST_LETTER_HEIGHT;
    const double fScaleX = (rcPaper.right - rcPaper.left) / fPageWidth;
    const double fScaleY = (rcPaper.bottom - rcPaper.top) / fPageHeight;
    const double fLeft = QorScanPairLow(dwPos), fTop = QorScanPairHigh(dwPos);
    return {static_cast<LONG>(rcPaper.left + fLeft * fScaleX), static_cast<LONG>(rcPaper.top + fTop * fScaleY),
            static_cast<LONG>(rcPaper.left + (fLeft + QorScanPairLow(dwCrop)) * fScaleX),
            static_cast<LONG>(rcPaper.top + (fTop + QorScanPairHigh(dwCrop)) * fScaleY)};
}

void CDemoSession::Drag(POINT ptFrom, POINT ptTo)
{
    ClientToScreen(m_hWndView, &ptFrom);
    ClientToScreen(m_hWndView, &ptTo);
    QorInjectMouse(WM_MOUSEMOVE, ptFrom.x, ptFrom.y, 0);
    QorInjectMouse(WM_LBUTTONDOWN, ptFrom.x, ptFrom.y, 0);
    constexpr int kSteps = 8;
    for (int i = 1; i <= kSteps; ++i)
        QorInjectMouse(WM_MOUSEMOVE, ptFrom.x + (ptTo.x - ptFrom.x) * i / kSteps,
                       ptFrom.y + (ptTo.y - ptFrom.y) * i / kSteps, 0);
    QorInjectMouse(WM_LBUTTONUP, ptTo.x, ptTo.y, 0);
    Pump();
}

void CDemoSession::Click(POINT pt)
{
    Drag(pt, pt);
}

bool CDemoSession::Fail(const char* pszWhat, HRESULT hr)
{
    std::printf("FAILED: %s (0x%08X)\n", pszWhat, static_cast<unsigned>(hr));
    return false;
}
