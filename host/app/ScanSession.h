// CScanSession: the application's side of the control, as any host of it would write it.
//
// It loads and registers the module for the current user, creates the control through the
// registry, sites it on the view window, fills and binds the job's property bag, attaches the
// scan engine, and hears what happens: every engine notification the bag's sinks get, the
// control's end-of-scan NotifyWindow and the control's writes into the bag. Commands go to the
// control's IOleCommandTarget; settings are written into the bag, which passes the ones the
// control follows on to it.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <HostMessage.h>
#include <HostPropertyBag.h>
#include <HostSite.h>
#include <ScanEngine.h>

class CScanSession : public QObject {
    Q_OBJECT
public:
    struct Options {
        std::string strModulePath;    // the control's module
        std::string strDevice;        // SANE device; empty: the built-in scene
        std::string strSaneConfig;    // SANE configuration folder(s); empty: the engine's choice
        std::string strTempFolder;    // "scan.temp": emptied by the control when it lets go
        std::string strSceneFile;     // the built-in scene's picture; empty: the build's
        int nPartialPauseMs = 0;      // see ScanEngineSettings
        int nPreviewDpi = 100;
        // Writes the application's job keys into the bag before the control binds it.
        std::function<void(CHostPropertyBag* pBag)> fnFillJob;
    };
    // The job the engine runs, as the application asked for it.
    enum class Job { None, Preview, Scan, AutoCrop };

    explicit CScanSession(QObject* pParent = nullptr);
    ~CScanSession() override;

    // Everything up to a bound control on hWndView. False with a sentence in *pstrError.
    bool Start(HWND hWndView, const Options& options, CHostMessage::Handler messageHandler, QString* pstrError);
    // Lets go of everything in the reverse order; the engine's worker is stopped and its
    // folder removed. Safe to call twice.
    void Stop();
    bool IsStarted() const { return m_spControl != nullptr; }
    // A new engine for another device, while none is busy. False with a sentence in *pstrError.
    bool ChangeDevice(const std::string& strDevice, QString* pstrError);

    // --- Commands of the control (CGID_ScanControl).
    HRESULT Exec(DWORD nCmdID);
    // OLECMDF_* flags of one command and the control's caption for it (empty when none).
    DWORD QueryStatus(DWORD nCmdID, QString* pstrCaption = nullptr) const;
    Job RunningJob() const { return m_job; }
    bool IsBusy() const;

    // --- The job in the bag.
    // A key of the job, written into the bag (the bag passes "scan.type", "scan.size",
    // "scan.pos" and "scan.crop" on to the control).
    void WriteKey(LPCOLESTR pszKey, const VARIANT& value);
    bool ReadKey(LPCOLESTR pszKey, VARIANT* pValue) const;
    // The crop frames in page units, as the control reported them last.
    std::vector<RECT> Frames() const;
    // The page orientation the control reported ("scan.rotate", "scan.flip"): mirror top-bottom,
    // mirror left-right, then turn clockwise by nDegrees.
    void Orientation(bool* pbMirrorV, bool* pbMirrorH, int* pnDegrees) const;

    CScanEngine* Engine() const { return m_pEngine.get(); }
    CHostPropertyBag* Bag() const { return m_spBag; }
    IUnknown* Control() const { return m_spControl; }

signals:
    // An engine notification or a forwarded key, after the control has had it.
    void notified(const QString& strKey);
    // A preview file of the running job: N of 100.
    void previewProgress(int nHundredths);
    void engineError(const QString& strText);
    // The engine's busy period ended (Notify "scan.busy" false) for this job.
    void jobEnded(CScanSession::Job job);
    // The control's NotifyWindow at the end of a scan.
    void scanEnded();
    // The control wrote frames or orientation into the bag.
    void framesReported();

private:
    class CSink;
    void OnNotify(BSTR bstrName, VARIANT* pVar);
    void OnBagCall(const CHostBagCall& call);
    HRESULT Register(const std::string& strModulePath, QString* pstrError);

    HMODULE m_hModule = nullptr;
    bool m_bComInitialised = false;
    std::unique_ptr<CHostMessageClass> m_pMessages;
    ATL::CComPtr<IUnknown> m_spControl;
    std::unique_ptr<CHostSite> m_pSite;
    ATL::CComPtr<CHostPropertyBag> m_spBag;
    std::unique_ptr<CScanEngine> m_pEngine;
    ScanEngineSettings m_engineSettings;
    ATL::CComPtr<IUnknown> m_spSink;
    CSink* m_pSinkObject = nullptr;
    DWORD m_dwSinkCookie = 0;
    Job m_job = Job::None;
};
