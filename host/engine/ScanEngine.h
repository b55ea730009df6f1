// CScanEngine: the development host's scan engine, on SANE.
//
// Wiring: a host creates the engine, then Attach(bag) on its window thread. From then on the
// bag's Exec of CGID_ScanControl 2205, 2206 and 2207 (which the control passes on) starts a
// preview, a scan of the crop and an automatic crop. A worker thread opens the device, reads
// the image row by row and writes "prev_%d.jpg" files into the engine's own folder: N from 1
// to 99 as the rows arrive, N being the hundredths of the image received, then 100 for the
// whole image. A partial preview is skipped while two others wait for the window thread, so a
// window slower than the device sees fewer, fresher ones. Everything the host and the control see happens on the window thread, through
// a hidden window that receives the worker's posts: writes into the bag, and Notify calls on
// every sink advised on the bag (the control advises itself there when it binds the bag).
//
// A preview or a scan, as the sinks see it:
//     Notify("scan.temp.pre", ".../prev_N.jpg")   N = 1..99, increasing (rows so far)
//     Notify("scan.temp.pre", ".../prev_100.jpg") the whole image
//     Notify("scan.busy", false)
// A SANE error ends it early with Notify("scan.error", the error's text) before the last step;
// Cancel ends it early without an error. An automatic crop writes "scan.pos" and "scan.crop"
// (single, when "scan.autocrop.multi" is not on) or "scan.multipos.array" and
// "scan.multicrop.array" (one frame per photo of the last preview), then Notify("scan.proc", 0)
// and Notify("scan.busy", false). Each of the three is a busy period: the bag's "scan.busy" is
// true from the start until just before the last Notify, and "scan.preview" is 1 for a preview
// and 0 otherwise (so the control asks for no further crop when an automatic crop ends). Hosts
// turn the bag's forwarding on, so the control hears of the single crop's "scan.pos" and
// "scan.crop".
//
// The window thread must pump messages for the engine's events to arrive: a host's own loop,
// or PumpUntilIdle, which waits with MsgWaitForMultipleObjects (the headless GetMessageW does
// not wait for other threads).
//
// Devices: by default the built-in scene (a flatbed with three photos) through SANE's pnm
// backend, with the project's own SANE configuration folder (test and pnm backends, a letter
// size bed for the test backend). A device named "test:..." or "pnm:..." uses that folder too;
// any other name uses the system's SANE configuration. SANE takes its configuration folder
// when it is first initialised in a process, so the first engine of a process decides.
#pragma once

#include <QORScan.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

class CHostPropertyBag;
struct CEngineImage;

struct ScanEngineSettings {
    // The SANE device; empty for the built-in scene.
    std::string strDevice;
    // The SANE configuration folder; empty for the choice described above.
    std::string strSaneConfigFolder;
    // The picture fed to the pnm backend for the built-in scene; empty for the one the build
    // made. It shows the whole page of the job ("scan.size").
    std::string strSceneFile;
    // Resolution of previews, dots per inch; scans take "scan.reso".
    int nPreviewDpi = 100;
    int nJpegQuality = 80;
    // A pause after each hundredth of the image read, milliseconds: a fast device (the built-in
    // scene) then scans at a scanner's pace, so that a person sees the page grow.
    int nPartialPauseMs = 0;
    // How long Detach and the destructor wait, milliseconds, for a job to end after its cancel.
    // A device that does not answer (a SANE call that never returns) is left to its worker
    // thread after that: the busy period ends for the sinks, and nothing the job does later
    // reaches them.
    int nStopTimeoutMs = 5000;
    // Further device options as "name=value", set after the job's own on every scan (the test
    // backend's "read-delay=yes", "read-return-value=SANE_STATUS_JAMMED" and so on). An option
    // that cannot be set fails the scan.
    std::vector<std::string> vecDeviceOptions;
};

// Where the last scan was taken, as the device was told and as it answered.
struct ScanEngineArea {
    RECT rcPage{};            // page units asked for: the page for a preview, the crop for a scan
    double fLeftMm = 0;       // scan area on the device, millimetres, read back after setting
    double fTopMm = 0;
    double fRightMm = 0;
    double fBottomMm = 0;
    bool bDeviceGeometry = false;  // false: the device gave the whole bed and the engine cut it
    int nDpi = 0;
    int nWidth = 0;           // pixels of the image written
    int nHeight = 0;
};

class CScanEngine {
public:
    explicit CScanEngine(const ScanEngineSettings& settings = ScanEngineSettings());
    ~CScanEngine();
    CScanEngine(const CScanEngine&) = delete;
    CScanEngine& operator=(const CScanEngine&) = delete;

    // --- Window thread only.

    // Binds the engine to the host's bag: installs the Exec handlers of 2205, 2206 and 2207,
    // writes "scan.init" true and "scan.busy" false, and makes the hidden window on this
    // thread. E_POINTER without a bag; the error of the engine's folder or window.
    HRESULT Attach(CHostPropertyBag* pBag);
    // Cancels what runs, waits for it to end (at most nStopTimeoutMs), removes the handlers
    // and the window.
    void Detach();

    // What the Exec handlers do. HRESULT_FROM_WIN32(ERROR_BUSY) while the engine is busy;
    // E_UNEXPECTED when not attached.
    HRESULT StartPreview();
    HRESULT StartScan();
    HRESULT StartAutoCrop();
    // Ends the running job early; the sinks get "scan.busy" false.
    void Cancel();
    // The further device options of the scans that start from now on (see the settings).
    void SetDeviceOptions(const std::vector<std::string>& vecOptions);

    // True from a start until the job's last event has been delivered.
    bool IsBusy() const;
    // Dispatches this thread's messages until the engine is idle; false after dwTimeoutMs (real
    // time) or when a WM_QUIT was retrieved (it is posted again).
    bool PumpUntilIdle(DWORD dwTimeoutMs);

    // The folder of the preview files (UTF-8), made by the constructor, removed by the destructor.
    const std::string& Folder() const;
    // The area of the last scan or preview that started reading.
    ScanEngineArea LastArea() const;
    // The image of the last final scan that completed (8-bit RGB at the scan's resolution,
    // before the preview JPEG was made of it) and its area; null before the first one.
    std::shared_ptr<const CEngineImage> LastScanImage(ScanEngineArea* pArea) const;

private:
    struct Impl;
    // Shared with the worker thread, which may outlive the engine (see nStopTimeoutMs).
    std::shared_ptr<Impl> m_pImpl;
};

// Page units (thousandths of an inch) to millimetres, for the device's geometry.
inline double PageUnitsToMillimetres(LONG nPageUnits)
{
    return nPageUnits * 25.4 / 1000.0;
}
