#include "ScanEngine.h"

#include <HostJob.h>
#include <HostPropertyBag.h>
#include <oleauto.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <new>
#include <thread>

#include "AutoCrop.h"
#include "EngineImage.h"
#include "RowMapper.h"
#include "SaneDevice.h"

namespace {

constexpr UINT WM_ENGINE_EVENTS = WM_APP + 0x51;
constexpr WCHAR kEventWindowClass[] = u"QorScanEngineEvents";
constexpr size_t kMaxReadChunk = 1024 * 1024;
// The largest image the engine keeps: a letter page in colour at 1200 dpi is 404 MB.
constexpr size_t kMaxImageBytes = size_t(1) << 30;
// Partial previews written and not yet notified at most: a window thread slower than the
// device gets fewer, later ones, rather than a backlog of stale ones.
constexpr int kMaxPartialsWaiting = 2;

std::u16string Widen(const std::string& text)
{
    const int nChars = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (nChars <= 0)
        return {};
    std::u16string wide(static_cast<size_t>(nChars), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), nChars);
    wide.pop_back();
    return wide;
}

// A value for the bag or for a notification, made on the worker without COM and turned into a
// VARIANT on the window thread.
struct EventValue {
    VARTYPE vt = VT_EMPTY;
    DWORD dwValue = 0;            // VT_I4, VT_UI4, VT_BOOL
    std::u16string strText;       // VT_BSTR
    std::vector<DWORD> vecPairs;  // VT_ARRAY | VT_UI4

    static EventValue Number(VARTYPE vt, DWORD dwValue)
    {
        EventValue value;
        value.vt = vt;
        value.dwValue = dwValue;
        return value;
    }
    static EventValue Text(std::u16string strText)
    {
        EventValue value;
        value.vt = VT_BSTR;
        value.strText = std::move(strText);
        return value;
    }
    static EventValue Pairs(std::vector<DWORD> vecPairs)
    {
        EventValue value;
        value.vt = VT_ARRAY | VT_UI4;
        value.vecPairs = std::move(vecPairs);
        return value;
    }

    ATL::CComVariant ToVariant() const
    {
        ATL::CComVariant var;
        switch (vt) {
        case VT_I4:
            var = static_cast<int>(dwValue);
            break;
        case VT_UI4:
            var = static_cast<ULONG>(dwValue);
            break;
        case VT_BOOL:
            var = dwValue != 0;
            break;
        case VT_BSTR:
            var = strText.c_str();
            break;
        case VT_ARRAY | VT_UI4:
            HostMakeFrameArray(vecPairs, &var);
            break;
        default:
            break;
        }
        return var;
    }
};

// BusyEnd marks the end of a job's busy period for the window thread, between the write of
// "scan.busy" false and its notification: a sink may start the next job from that notification.
enum class EventKind { Write, Notify, BusyEnd };

struct EngineEvent {
    EventKind kind;
    std::u16string strKey;
    EventValue value;
    bool bPartial = false;  // the notification of a partial preview
};

// What a preview or a scan reads, taken from the bag when it starts.
struct ScanJob {
    bool bPreview = true;
    LONG nPageWidth = HOST_LETTER_WIDTH;  // page units
    LONG nPageHeight = HOST_LETTER_HEIGHT;
    RECT rcArea{};                        // page units
    int nDpi = 100;
    int nType = QORSCAN_TYPE_COLOR;
    int nSource = 1;
    std::vector<std::string> vecDeviceOptions;  // "name=value"
};

std::string DefaultConfigFolder(const std::string& strDevice)
{
    if (const char* pszSet = getenv("SANE_CONFIG_DIR"))
        return pszSet;
    if (strDevice.empty() || strDevice.rfind("test", 0) == 0 || strDevice.rfind("pnm", 0) == 0)
        return QOR_ENGINE_SANE_DIR;
    return {};
}

}  // namespace

struct CScanEngine::Impl {
    explicit Impl(const ScanEngineSettings& s) : settings(s) {}

    // --- Window thread

    static LRESULT CALLBACK EventWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        if (uMsg == WM_ENGINE_EVENTS) {
            if (auto* pImpl = reinterpret_cast<Impl*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA)))
                pImpl->Deliver();
            return 0;
        }
        return DefWindowProcW(hWnd, uMsg, wParam, lParam);
    }

    // Takes the worker's events in order. A notification may pump messages; the nested call
    // leaves the queue to the outer one, so the order holds. Detaching takes them anyway.
    void Deliver(bool bEvenNested = false)
    {
        if (bDelivering && !bEvenNested)
            return;
        const bool bOuter = !bDelivering;
        bDelivering = true;
        for (;;) {
            EngineEvent event;
            {
                std::lock_guard<std::mutex> hold(lock);
                if (events.empty())
                    break;
                event = std::move(events.front());
                events.pop_front();
            }
            Handle(event);
        }
        if (bOuter)
            bDelivering = false;
    }

    void Handle(const EngineEvent& event)
    {
        if (event.kind == EventKind::BusyEnd) {
            bBusy = false;
            return;
        }
        if (event.bPartial)
            --nPartialsWaiting;
        ATL::CComPtr<CHostPropertyBag> spHold = spBag;  // a sink may detach the engine
        if (!spHold)
            return;
        ATL::CComVariant var = event.value.ToVariant();
        if (event.kind == EventKind::Write) {
            spHold->Write(event.strKey.c_str(), &var);
            return;
        }
        const ATL::CComBSTR bstrKey(event.strKey.c_str());
        for (DWORD dwCookie : spHold->AdviseCookies()) {
            ATL::CComQIPtr<IQORNotify> spNotify(spHold->AdvisedSink(dwCookie));
            if (spNotify)
                spNotify->Notify(GUID_ScanSource, bstrKey, &var);
        }
    }

    // The 32-bit value of a key: a number or a pair as it is stored, anything else converted;
    // dwDefault when the key is absent or not a number.
    DWORD ReadValue(LPCOLESTR pszKey, DWORD dwDefault) const
    {
        std::optional<ATL::CComVariant> value = spBag->GetValue(pszKey);
        if (!value)
            return dwDefault;
        switch (value->vt) {
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
            return value->ulVal;
        case VT_I2:
        case VT_BOOL:
            return static_cast<DWORD>(static_cast<LONG>(value->iVal));
        case VT_UI2:
            return value->uiVal;
        default:
            return SUCCEEDED(value->ChangeType(VT_UI4)) ? value->ulVal : dwDefault;
        }
    }

    ScanJob ReadJob(bool bPreview) const
    {
        ScanJob job;
        job.bPreview = bPreview;
        const DWORD dwSize = ReadValue(QORSCAN_KEY_SCAN_SIZE, QorScanMakePair(HOST_LETTER_WIDTH, HOST_LETTER_HEIGHT));
        job.nPageWidth = static_cast<LONG>(QorScanPairLow(dwSize));
        job.nPageHeight = static_cast<LONG>(QorScanPairHigh(dwSize));
        job.rcArea = RECT{0, 0, job.nPageWidth, job.nPageHeight};
        if (!bPreview) {
            const DWORD dwPos = ReadValue(QORSCAN_KEY_SCAN_POS, 0);
            const DWORD dwCrop = ReadValue(QORSCAN_KEY_SCAN_CROP, dwSize);
            const LONG nLeft = static_cast<LONG>(QorScanPairLow(dwPos)), nTop = static_cast<LONG>(QorScanPairHigh(dwPos));
            const RECT rcCrop{nLeft, nTop, nLeft + static_cast<LONG>(QorScanPairLow(dwCrop)),
                              nTop + static_cast<LONG>(QorScanPairHigh(dwCrop))};
            // The crop is cut to the page; one that misses the page altogether scans the page.
            RECT rcInside;
            if (IntersectRect(&rcInside, &rcCrop, &job.rcArea))
                job.rcArea = rcInside;
        }
        job.nDpi = bPreview ? settings.nPreviewDpi : static_cast<int>(ReadValue(QORSCAN_KEY_SCAN_RESO, 300));
        job.nDpi = std::clamp(job.nDpi, 10, 4800);
        job.nType = static_cast<int>(ReadValue(QORSCAN_KEY_SCAN_TYPE, QORSCAN_TYPE_COLOR));
        job.nSource = static_cast<int>(ReadValue(QORSCAN_KEY_SCAN_SOUR, 1));
        job.vecDeviceOptions = settings.vecDeviceOptions;
        return job;
    }

    HRESULT StartScanJob(bool bPreview)
    {
        if (!spBag)
            return E_UNEXPECTED;
        if (bBusy)
            return HRESULT_FROM_WIN32(ERROR_BUSY);
        const ScanJob job = ReadJob(bPreview);
        if (job.nPageWidth <= 0 || job.nPageHeight <= 0)
            return E_INVALIDARG;
        Submit(bPreview, [this, job](unsigned nGeneration) { RunScan(job, nGeneration); });
        return S_OK;
    }

    // The automatic crop is a busy period of its own, which is not a preview: at its end the
    // control shows the frames and does not ask for another crop.
    HRESULT StartAutoCropJob()
    {
        if (!spBag)
            return E_UNEXPECTED;
        if (bBusy)
            return HRESULT_FROM_WIN32(ERROR_BUSY);
        const bool bMulti = QorScanPairLow(ReadValue(QORSCAN_KEY_SCAN_AUTOCROP_MULTI, 0)) != 0;
        Submit(false, [this, bMulti](unsigned nGeneration) { RunAutoCrop(bMulti, nGeneration); });
        return S_OK;
    }

    // --- Both threads

    // Window thread: starts a busy period ("scan.preview" tells whether it is a preview) and
    // queues its job; the worker ends the period after the job, cancelled or not.
    void Submit(bool bPreview, std::function<void(unsigned)> fnJob)
    {
        bBusy = true;
        ATL::CComVariant varPreview(bPreview ? 1 : 0);
        spBag->Write(QORSCAN_KEY_SCAN_PREVIEW, &varPreview);
        ATL::CComVariant varBusy(true);
        spBag->Write(QORSCAN_KEY_SCAN_BUSY, &varBusy);
        std::lock_guard<std::mutex> hold(lock);
        const unsigned nGeneration = nCancelGeneration.load();
        jobs.push_back([this, nGeneration, nAttachmentOfJob = nAttachment, fnJob = std::move(fnJob)] {
            nJobAttachment = nAttachmentOfJob;
            try {
                fnJob(nGeneration);
            } catch (const std::bad_alloc&) {
                PostError("not enough memory for the scan");
            }
            // One batch, so that whoever sees the period end also finds its notification queued.
            Post(BusyEndEvents());
        });
        wake.notify_all();
    }

    static std::vector<EngineEvent> BusyEndEvents()
    {
        return {{EventKind::Write, QORSCAN_KEY_SCAN_BUSY, EventValue::Number(VT_BOOL, 0)},
                {EventKind::BusyEnd, u"", EventValue()},
                {EventKind::Notify, QORSCAN_KEY_SCAN_BUSY, EventValue::Number(VT_BOOL, 0)}};
    }

    // Window thread: no event of a job submitted so far reaches the sinks any more; the
    // hidden window is returned for destruction.
    HWND StopListening()
    {
        std::lock_guard<std::mutex> hold(lock);
        const HWND hWnd = hwndEvents;
        hwndEvents = nullptr;
        ++nAttachment;
        events.clear();
        return hWnd;
    }

    // Window thread: the end of a busy period whose job did not end in time, as the job would
    // have delivered it.
    void EndBusyPeriodOfStuckJob()
    {
        for (const EngineEvent& event : BusyEndEvents())
            Handle(event);
    }

    // Drops the events of a job that outlived its attachment: a stuck job that comes back after
    // Detach speaks to nobody, also not to a later Attach.
    void Post(std::vector<EngineEvent> vecEvents)
    {
        HWND hWnd;
        {
            std::lock_guard<std::mutex> hold(lock);
            hWnd = hwndEvents;
            if (!hWnd || nJobAttachment != nAttachment)
                return;  // detached: nobody listens
            for (EngineEvent& event : vecEvents) events.push_back(std::move(event));
        }
        PostMessageW(hWnd, WM_ENGINE_EVENTS, 0, 0);
    }

    void Post(EventKind kind, std::u16string strKey, EventValue value)
    {
        std::vector<EngineEvent> vecEvents;
        vecEvents.push_back(EngineEvent{kind, std::move(strKey), std::move(value)});
        Post(std::move(vecEvents));
    }

    // --- Worker thread

    void WorkerLoop()
    {
        for (;;) {
            std::function<void()> fnJob;
            {
                std::unique_lock<std::mutex> hold(lock);
                wake.wait(hold, [this] { return bQuit || !jobs.empty(); });
                if (jobs.empty())
                    break;
                fnJob = std::move(jobs.front());
                jobs.pop_front();
            }
            fnJob();
        }
        pDevice.reset();  // SANE is left on the thread that used it
        std::lock_guard<std::mutex> hold(lock);
        bWorkerEnded = true;
        workerEnded.notify_all();
    }

    bool Cancelled(unsigned nGeneration) const { return nGeneration != nCancelGeneration.load(); }

    void PostError(const std::string& strText)
    {
        Post(EventKind::Notify, QORSCAN_KEY_SCAN_ERROR, EventValue::Text(Widen(strText)));
    }

    std::string PreviewPath(int n) const
    {
        return strFolder + "/prev_" + std::to_string(n) + ".jpg";
    }

    void RunScan(const ScanJob& job, unsigned nGeneration)
    {
        if (!Cancelled(nGeneration)) {
            const bool bKeepDevice = ReadImage(job, nGeneration);
            if (pDevice) {
                RestoreOptions();
                if (!bKeepDevice)
                    pDevice->Close();  // the next job starts from a fresh handle
            }
        }
    }

    // Opens the device when needed and sets the job's options. The scan area in millimetres
    // goes into area when the device has a geometry.
    SANE_Status PrepareDevice(const ScanJob& job, ScanEngineArea& area, std::string& strWhat)
    {
        if (!pDevice)
            pDevice = std::make_unique<CSaneDevice>(
                settings.strSaneConfigFolder.empty() ? DefaultConfigFolder(settings.strDevice) : settings.strSaneConfigFolder);
        const bool bScene = settings.strDevice.empty();
        SANE_Status status = SANE_STATUS_GOOD;
        if (!pDevice->IsOpen()) {
            strWhat = "cannot open the scanner";
            status = pDevice->Open(bScene ? "pnm:0" : settings.strDevice);
            if (status != SANE_STATUS_GOOD)
                return status;
        }
        if (bScene) {
            strWhat = "cannot load the built-in scene";
            status = pDevice->SetText("filename", settings.strSceneFile.empty() ? QOR_ENGINE_SCENE_FILE : settings.strSceneFile);
            if (status != SANE_STATUS_GOOD)
                return status;
        }
        // Mode and source are wishes: a device without them scans as it can.
        if (job.nType == QORSCAN_TYPE_BLACKWHITE) {
            if (pDevice->SelectString("mode", {"Lineart", "Binary", "Black"}) != SANE_STATUS_GOOD &&
                pDevice->SelectString("mode", {"Gray", "Grey"}) == SANE_STATUS_GOOD)
                pDevice->SetNumber("depth", 1);
        } else {
            pDevice->SelectString("mode", job.nType == QORSCAN_TYPE_GREY ? std::vector<std::string>{"Gray", "Grey"}
                                                                         : std::vector<std::string>{"Color", "Colour"});
            pDevice->SetNumber("depth", 8);
        }
        const bool bFeeder = job.nSource >= QORSCAN_SOUR_FEEDER_FIRST && job.nSource <= QORSCAN_SOUR_FEEDER_LAST;
        pDevice->SelectString("source", bFeeder ? std::vector<std::string>{"ADF", "Automatic Document Feeder", "Feeder"}
                                                : std::vector<std::string>{"Flatbed"});
        area.bDeviceGeometry = pDevice->HasOption("tl-x") && pDevice->HasOption("tl-y") && pDevice->HasOption("br-x") &&
                               pDevice->HasOption("br-y");
        area.nDpi = job.nDpi;
        if (area.bDeviceGeometry) {
            double fDpi = job.nDpi;
            if (pDevice->SetNumber("resolution", job.nDpi) == SANE_STATUS_GOOD &&
                pDevice->GetNumber("resolution", &fDpi) == SANE_STATUS_GOOD && fDpi >= 1)
                area.nDpi = static_cast<int>(std::lround(fDpi));
            // The top-left corner is set again after the bottom-right one: a device may have
            // moved a corner that lay beyond the other one's old place.
            const std::pair<const char*, LONG> corners[] = {{"tl-x", job.rcArea.left},    {"tl-y", job.rcArea.top},
                                                            {"br-x", job.rcArea.right},   {"br-y", job.rcArea.bottom},
                                                            {"tl-x", job.rcArea.left},    {"tl-y", job.rcArea.top}};
            for (const auto& corner : corners) {
                strWhat = std::string("cannot set the scan area (") + corner.first + ")";
                status = pDevice->SetNumber(corner.first, PageUnitsToMillimetres(corner.second));
                if (status != SANE_STATUS_GOOD)
                    return status;
            }
            pDevice->GetNumber("tl-x", &area.fLeftMm);
            pDevice->GetNumber("tl-y", &area.fTopMm);
            pDevice->GetNumber("br-x", &area.fRightMm);
            pDevice->GetNumber("br-y", &area.fBottomMm);
        }
        for (const std::string& strOption : job.vecDeviceOptions) {
            const size_t nEquals = strOption.find('=');
            strWhat = "cannot set the device option " + strOption;
            if (nEquals == std::string::npos)
                return SANE_STATUS_INVAL;
            const std::string strName = strOption.substr(0, nEquals);
            std::string strOld;
            status = pDevice->GetText(strName, &strOld);
            if (status == SANE_STATUS_GOOD)
                status = pDevice->SetText(strName, strOption.substr(nEquals + 1));
            if (status != SANE_STATUS_GOOD)
                return status;
            vecSavedOptions.emplace_back(strName, strOld);
        }
        return SANE_STATUS_GOOD;
    }

    // The further options last for one scan: a device keeps its option values from one
    // opening to the next.
    void RestoreOptions()
    {
        for (auto it = vecSavedOptions.rbegin(); it != vecSavedOptions.rend(); ++it)
            pDevice->SetText(it->first, it->second);
        vecSavedOptions.clear();
    }

    void RemoveLeftoverPreviews() const
    {
        std::error_code ec;
        for (std::filesystem::directory_iterator it(strFolder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::filesystem::path& path = it->path();
            std::error_code ecRemove;
            if (path.filename().string().rfind("prev_", 0) == 0 && path.extension() == ".jpg")
                std::filesystem::remove(path, ecRemove);
        }
    }

    // Reads one image into the preview files; false when the device failed to start and is
    // better opened afresh.
    bool ReadImage(const ScanJob& job, unsigned nGeneration)
    {
        RemoveLeftoverPreviews();
        nPartialsWaiting = 0;  // the last job's notifications were all delivered before it ended
        ScanEngineArea area;
        area.rcPage = job.rcArea;
        std::string strWhat;
        SANE_Status status = PrepareDevice(job, area, strWhat);
        SANE_Parameters params{};
        if (status == SANE_STATUS_GOOD) {
            strWhat = "cannot start the scan";
            status = pDevice->Start(&params);
        }
        if (status != SANE_STATUS_GOOD) {
            if (pDevice->IsOpen())
                pDevice->Cancel();
            PostError(strWhat + ": " + sane_strstatus(status));
            return false;
        }
        if (!area.bDeviceGeometry) {
            area.fLeftMm = PageUnitsToMillimetres(job.rcArea.left);
            area.fTopMm = PageUnitsToMillimetres(job.rcArea.top);
            area.fRightMm = PageUnitsToMillimetres(job.rcArea.right);
            area.fBottomMm = PageUnitsToMillimetres(job.rcArea.bottom);
        }
        CRowMapper mapper(params, area.bDeviceGeometry, job.rcArea, job.nPageWidth, job.nPageHeight, job.nDpi);
        if (!mapper.Supported()) {
            pDevice->Cancel();
            PostError("the scanner's image format is not supported");
            return true;
        }
        // Partial previews count hundredths of the expected height.
        const int nExpected = mapper.Height() > 0
                                  ? mapper.Height()
                                  : std::max(1, static_cast<int>(std::lround((job.rcArea.bottom - job.rcArea.top) * area.nDpi / 1000.0)));
        const size_t nRowBytes = static_cast<size_t>(mapper.Width()) * 3;
        if (nRowBytes * static_cast<size_t>(nExpected) > kMaxImageBytes) {
            pDevice->Cancel();
            PostError("the scan area is too large at this resolution");
            return true;
        }
        auto pImage = std::make_shared<CEngineImage>();
        pImage->nWidth = mapper.Width();
        pImage->vecRgb.reserve(static_cast<size_t>(pImage->nWidth) * nExpected * 3);
        {
            std::lock_guard<std::mutex> hold(lock);
            lastArea = area;
            lastArea.nWidth = pImage->nWidth;
        }

        // Reads of about a hundredth of the frame each, so that partial previews come steadily.
        const int nSourceLines = params.lines > 0 ? params.lines : nExpected;
        const size_t nChunk = std::clamp<size_t>(static_cast<size_t>(params.bytes_per_line) * std::max(1, nSourceLines / 99),
                                                 static_cast<size_t>(params.bytes_per_line), kMaxReadChunk);
        std::vector<uint8_t> vecChunk(nChunk);
        std::vector<uint8_t> vecLine(static_cast<size_t>(params.bytes_per_line));
        size_t nLineFill = 0;
        int nLastPartial = 0;
        // A device is cancelled only once it has answered a read: SANE's test backend sets its
        // reader thread up after the start, and a cancel (which kills that thread at once) that
        // comes before it is ready can leave the heap's lock taken and hang the next scan.
        bool bAnswered = false;
        for (;;) {
            if (bAnswered && Cancelled(nGeneration)) {
                pDevice->Cancel();
                return true;
            }
            int nLength = 0;
            status = pDevice->Read(vecChunk.data(), static_cast<int>(vecChunk.size()), &nLength);
            bAnswered = true;
            if (status == SANE_STATUS_EOF)
                break;
            if (status != SANE_STATUS_GOOD) {
                pDevice->Cancel();
                PostError(std::string("the scan failed: ") + sane_strstatus(status));
                return true;
            }
            for (int i = 0; i < nLength;) {
                const size_t nTake = std::min(vecLine.size() - nLineFill, static_cast<size_t>(nLength - i));
                std::memcpy(vecLine.data() + nLineFill, vecChunk.data() + i, nTake);
                nLineFill += nTake;
                i += static_cast<int>(nTake);
                if (nLineFill == vecLine.size()) {
                    mapper.AddLine(vecLine.data(), *pImage);
                    nLineFill = 0;
                }
            }
            if (pImage->vecRgb.size() > kMaxImageBytes) {  // a device that does not know its height
                pDevice->Cancel();
                PostError("the scanner sent more than the engine can keep");
                return true;
            }
            const int nPartial = static_cast<int>(static_cast<long long>(pImage->nHeight) * 99 / nExpected);
            if (nPartial > nLastPartial && nPartial <= 99 && pImage->nHeight < nExpected &&
                nPartialsWaiting.load() < kMaxPartialsWaiting) {
                if (!WriteEngineJpeg(PreviewPath(nPartial), *pImage, pImage->nHeight, settings.nJpegQuality)) {
                    pDevice->Cancel();
                    PostError("cannot write the preview file " + PreviewPath(nPartial));
                    return true;
                }
                nLastPartial = nPartial;
                ++nPartialsWaiting;
                std::vector<EngineEvent> vecEvents;
                vecEvents.push_back(EngineEvent{EventKind::Notify, QORSCAN_KEY_SCAN_TEMP_PRE,
                                                EventValue::Text(Widen(PreviewPath(nPartial))), true});
                Post(std::move(vecEvents));
            }
            // Each read is about a hundredth of the image: pausing after each, whether or not a
            // partial preview was written, keeps the pace steady while the window is busy.
            if (settings.nPartialPauseMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(settings.nPartialPauseMs));
        }
        pDevice->Cancel();  // every frame is followed by a cancel, which readies the next scan
        mapper.Finish(*pImage);
        if (pImage->nHeight == 0) {
            PostError("the scanner sent no image");
            return true;
        }
        const std::string strFinal = PreviewPath(QORSCAN_PREVIEW_FINAL_NUMBER);
        if (!WriteEngineJpeg(strFinal, *pImage, pImage->nHeight, settings.nJpegQuality)) {
            PostError("cannot write the preview file " + strFinal);
            return true;
        }
        {
            std::lock_guard<std::mutex> hold(lock);
            lastArea.nHeight = pImage->nHeight;
        }
        if (job.bPreview) {
            pPreview = pImage;
            nPreviewDpi = area.nDpi;
            rcPreviewArea = job.rcArea;
        } else {
            std::lock_guard<std::mutex> hold(lock);
            pLastScan = pImage;
            lastScanArea = lastArea;
        }
        Post(EventKind::Notify, QORSCAN_KEY_SCAN_TEMP_PRE, EventValue::Text(Widen(strFinal)));
        return true;
    }

    // Image pixels of the last preview to page units.
    LONG PreviewPixelsToPageUnits(int nPixels) const
    {
        return static_cast<LONG>(std::lround(nPixels * 1000.0 / nPreviewDpi));
    }

    void RunAutoCrop(bool bMulti, unsigned nGeneration)
    {
        if (Cancelled(nGeneration))
            return;
        if (pPreview) {
            std::vector<CAutoCropBox> vecBoxes;
            if (bMulti) {
                vecBoxes = FindPhotos(*pPreview, nPreviewDpi);
            } else {
                CAutoCropBox box;
                if (FindContent(*pPreview, nPreviewDpi, &box))
                    vecBoxes.push_back(box);
            }
            std::vector<DWORD> vecPos, vecSize;
            for (const CAutoCropBox& box : vecBoxes) {
                const LONG nLeft = rcPreviewArea.left + PreviewPixelsToPageUnits(box.nLeft);
                const LONG nTop = rcPreviewArea.top + PreviewPixelsToPageUnits(box.nTop);
                const LONG nRight = std::min<LONG>(rcPreviewArea.right, rcPreviewArea.left + PreviewPixelsToPageUnits(box.nLeft + box.nWidth));
                const LONG nBottom = std::min<LONG>(rcPreviewArea.bottom, rcPreviewArea.top + PreviewPixelsToPageUnits(box.nTop + box.nHeight));
                vecPos.push_back(QorScanMakePair(static_cast<DWORD>(nLeft), static_cast<DWORD>(nTop)));
                vecSize.push_back(QorScanMakePair(static_cast<DWORD>(nRight - nLeft), static_cast<DWORD>(nBottom - nTop)));
            }
            if (bMulti) {
                Post(EventKind::Write, QORSCAN_KEY_SCAN_MULTIPOS_ARRAY, EventValue::Pairs(vecPos));
                Post(EventKind::Write, QORSCAN_KEY_SCAN_MULTICROP_ARRAY, EventValue::Pairs(vecSize));
            } else if (!vecPos.empty()) {
                Post(EventKind::Write, QORSCAN_KEY_SCAN_POS, EventValue::Number(VT_UI4, vecPos[0]));
                Post(EventKind::Write, QORSCAN_KEY_SCAN_CROP, EventValue::Number(VT_UI4, vecSize[0]));
            }
        }
        Post(EventKind::Notify, QORSCAN_KEY_SCAN_PROC, EventValue::Number(VT_I4, 0));
    }

    ScanEngineSettings settings;
    std::string strFolder;

    // Window thread.
    ATL::CComPtr<CHostPropertyBag> spBag;
    HWND hwndEvents = nullptr;  // also read by the worker, under lock
    bool bBusy = false;         // from a start until the job's last event is delivered
    bool bDelivering = false;

    // Shared, under lock.
    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable workerEnded;
    std::deque<std::function<void()>> jobs;
    std::deque<EngineEvent> events;
    bool bQuit = false;
    bool bWorkerEnded = false;
    unsigned nAttachment = 0;  // counts Detach; a job's events go only to its own attachment
    ScanEngineArea lastArea;
    std::atomic<unsigned> nCancelGeneration{0};
    std::atomic<int> nPartialsWaiting{0};
    std::thread worker;

    // Worker thread.
    unsigned nJobAttachment = 0;  // the attachment of the running job
    std::unique_ptr<CSaneDevice> pDevice;
    std::vector<std::pair<std::string, std::string>> vecSavedOptions;  // name, value before the scan
    std::shared_ptr<const CEngineImage> pPreview;
    int nPreviewDpi = 100;
    RECT rcPreviewArea{};
    // The last final scan at full resolution, for the host to save (guarded by lock).
    std::shared_ptr<const CEngineImage> pLastScan;
    ScanEngineArea lastScanArea;
};

CScanEngine::CScanEngine(const ScanEngineSettings& settings) : m_pImpl(std::make_shared<Impl>(settings))
{
    std::error_code ec;
    std::string strPattern = (std::filesystem::temp_directory_path(ec) / "qorscan-engine-XXXXXX").string();
    if (mkdtemp(strPattern.data()))
        m_pImpl->strFolder = strPattern;
    m_pImpl->worker = std::thread([impl = m_pImpl] { impl->WorkerLoop(); });
}

// A worker that does not end in time is inside a device call that does not return: it is left
// to end on its own, holding its share of the engine's state.
CScanEngine::~CScanEngine()
{
    Detach();
    Impl& impl = *m_pImpl;
    bool bEnded;
    {
        std::unique_lock<std::mutex> hold(impl.lock);
        impl.bQuit = true;
        impl.jobs.clear();
        impl.wake.notify_all();
        bEnded = impl.workerEnded.wait_for(hold, std::chrono::milliseconds(impl.settings.nStopTimeoutMs),
                                           [&impl] { return impl.bWorkerEnded; });
    }
    if (bEnded)
        impl.worker.join();
    else
        impl.worker.detach();
    if (!m_pImpl->strFolder.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_pImpl->strFolder, ec);
    }
}

HRESULT CScanEngine::Attach(CHostPropertyBag* pBag)
{
    if (pBag == nullptr)
        return E_POINTER;
    if (m_pImpl->strFolder.empty())
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    Detach();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = Impl::EventWindowProc;
    wc.lpszClassName = kEventWindowClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return HRESULT_FROM_WIN32(GetLastError());
    HWND hWnd = CreateWindowExW(0, kEventWindowClass, u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!hWnd)
        return HRESULT_FROM_WIN32(GetLastError());
    SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(m_pImpl.get()));
    {
        std::lock_guard<std::mutex> hold(m_pImpl->lock);
        m_pImpl->hwndEvents = hWnd;
    }
    m_pImpl->spBag = pBag;
    Impl* pImpl = m_pImpl.get();
    pBag->SetExecHandler(QORSCAN_CMDID_PREVIEW, [pImpl](DWORD, VARIANT*, VARIANT*) { return pImpl->StartScanJob(true); });
    pBag->SetExecHandler(QORSCAN_CMDID_SCAN, [pImpl](DWORD, VARIANT*, VARIANT*) { return pImpl->StartScanJob(false); });
    pBag->SetExecHandler(QORSCAN_CMDID_AUTOCROP, [pImpl](DWORD, VARIANT*, VARIANT*) { return pImpl->StartAutoCropJob(); });
    ATL::CComVariant varInit(true), varBusy(false);
    pBag->Write(QORSCAN_KEY_SCAN_INIT, &varInit);
    pBag->Write(QORSCAN_KEY_SCAN_BUSY, &varBusy);
    return S_OK;
}

void CScanEngine::Detach()
{
    Impl& impl = *m_pImpl;
    if (!impl.spBag)
        return;
    // Cancelled jobs end quickly, each with its last events (a scan's "scan.busy" false); one
    // that does not end in time gets its busy period ended here, and its later events go nowhere.
    Cancel();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(impl.settings.nStopTimeoutMs);
    while (impl.bBusy && std::chrono::steady_clock::now() < deadline) {
        impl.Deliver(true);
        if (impl.bBusy)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const HWND hWnd = impl.StopListening();
    if (impl.bBusy)
        impl.EndBusyPeriodOfStuckJob();
    for (DWORD nCmd : {QORSCAN_CMDID_PREVIEW, QORSCAN_CMDID_SCAN, QORSCAN_CMDID_AUTOCROP})
        impl.spBag->SetExecHandler(nCmd, nullptr);
    impl.spBag.Release();
    DestroyWindow(hWnd);
}

HRESULT CScanEngine::StartPreview()
{
    return m_pImpl->StartScanJob(true);
}

HRESULT CScanEngine::StartScan()
{
    return m_pImpl->StartScanJob(false);
}

HRESULT CScanEngine::StartAutoCrop()
{
    return m_pImpl->StartAutoCropJob();
}

void CScanEngine::Cancel()
{
    ++m_pImpl->nCancelGeneration;
}

void CScanEngine::SetDeviceOptions(const std::vector<std::string>& vecOptions)
{
    m_pImpl->settings.vecDeviceOptions = vecOptions;
}

bool CScanEngine::IsBusy() const
{
    return m_pImpl->bBusy;
}

bool CScanEngine::PumpUntilIdle(DWORD dwTimeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwTimeoutMs);
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return false;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (!IsBusy())
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left.count()), QS_ALLINPUT);
    }
}

const std::string& CScanEngine::Folder() const
{
    return m_pImpl->strFolder;
}

ScanEngineArea CScanEngine::LastArea() const
{
    std::lock_guard<std::mutex> hold(m_pImpl->lock);
    return m_pImpl->lastArea;
}

std::shared_ptr<const CEngineImage> CScanEngine::LastScanImage(ScanEngineArea* pArea) const
{
    std::lock_guard<std::mutex> hold(m_pImpl->lock);
    if (pArea != nullptr)
        *pArea = m_pImpl->lastScanArea;
    return m_pImpl->pLastScan;
}
