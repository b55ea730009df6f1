// CQORScan: the scan preview control, the one COM class of the module.
//
// A host creates the object, hands it a site whose IOleWindow names a child window, and the
// control subclasses that window: from then on the object is the preview view. Traffic with
// the host runs through the interfaces below: the host's property bag (read for settings,
// written with the user's frames and the page orientation), engine notifications, commands
// and a list of advise sinks that the control calls back.
#pragma once

#include <windows.h>
#include <atlbase.h>
#include <atlcom.h>
#include <docobj.h>
#include <ocidl.h>
#include <oleidl.h>

// The hosts' header has this file's name; reach it by its place, whatever the include order.
#include "../server/include/QORScan.h"

#include "ScanViewPreview.h"

// "GetCrop for QOR", registered when the module loads (with the suite's other names).
extern UINT g_uMsgGetCrop;

class CQORScan : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                 public ATL::CComCoClass<CQORScan, &CLSID_QORScan>,
                 public CScanViewPreview,
                 public IPersistPropertyBag,
                 public IOleCommandTarget,
                 public IObjectWithSite,
                 public IPropertyBag,
                 public IOleWindow,
                 public IQORAdvice,
                 public IQORNotify {
public:
    CQORScan();
    ~CQORScan() override;
    CQORScan(const CQORScan&) = delete;
    CQORScan& operator=(const CQORScan&) = delete;

    // QueryInterface searches in this order; the first entry also answers IID_IUnknown.
    BEGIN_COM_MAP(CQORScan)
        COM_INTERFACE_ENTRY(IQORAdvice)
        COM_INTERFACE_ENTRY(IQORNotify)
        COM_INTERFACE_ENTRY(IOleWindow)
        COM_INTERFACE_ENTRY(IPropertyBag)
        COM_INTERFACE_ENTRY(IObjectWithSite)
        COM_INTERFACE_ENTRY(IOleCommandTarget)
        COM_INTERFACE_ENTRY(IPersistPropertyBag)
    END_COM_MAP()

    // The control's map ends in the view's; alternate map ids are not handled.
    BEGIN_MSG_MAP(CQORScan)
        MESSAGE_HANDLER(WM_CREATE, OnCreate)
        MESSAGE_HANDLER(WM_COMMAND, OnCommand)
        MESSAGE_HANDLER(WM_HSCROLL, OnScroll)
        MESSAGE_HANDLER(WM_VSCROLL, OnScroll)
        MESSAGE_HANDLER(g_uMsgGetCrop, OnGetCrop)
        CHAIN_MSG_MAP(CScanViewPreview)
    END_MSG_MAP()

    // --- Message handlers
    // The control's part of the creation step: the preview reload. The view's own handler
    // does not run (the window is the host's, its extended style stays).
    LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    LRESULT OnCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    // A thumb drag puts its position on the bar, where the view's scrolling takes it from.
    LRESULT OnScroll(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    // The automatic crop the user asked for, run once a preview has arrived.
    LRESULT OnGetCrop(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);

    // --- IPersist / IPersistPropertyBag
    STDMETHOD(GetClassID)(CLSID* pClassID) override;
    STDMETHOD(InitNew)() override;
    STDMETHOD(Load)(IPropertyBag* pPropBag, IErrorLog* pErrorLog) override;
    STDMETHOD(Save)(IPropertyBag* pPropBag, BOOL fClearDirty, BOOL fSaveAllProperties) override;

    // --- IOleCommandTarget
    STDMETHOD(QueryStatus)(const GUID* pguidCmdGroup, ULONG cCmds, OLECMD prgCmds[], OLECMDTEXT* pCmdText) override;
    STDMETHOD(Exec)(const GUID* pguidCmdGroup, DWORD nCmdID, DWORD nCmdexecopt, VARIANT* pvaIn, VARIANT* pvaOut) override;

    // --- IObjectWithSite
    STDMETHOD(SetSite)(IUnknown* pUnkSite) override;
    STDMETHOD(GetSite)(REFIID riid, void** ppvSite) override;

    // --- IPropertyBag
    STDMETHOD(Read)(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) override;
    STDMETHOD(Write)(LPCOLESTR pszPropName, VARIANT* pVar) override;

    // --- IOleWindow
    STDMETHOD(GetWindow)(HWND* phwnd) override;
    STDMETHOD(ContextSensitiveHelp)(BOOL fEnterMode) override;

    // --- IQORAdvice
    STDMETHOD(Advise)(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    STDMETHOD(Unadvise)(DWORD dwCookie) override;

    // --- IQORNotify
    STDMETHOD(Notify)(GUID guidSource, BSTR bstrName, VARIANT* pVar) override;
    STDMETHOD(NotifyWindow)(HWND hWnd, LONG nCode, LONG nParam) override;

    // --- Reports to the host bag (the view's overridables)
    void ReportOrientation() override;
    void ReportFrames(int nIndex) override;

    // --- Members
    IPropertyBag* m_spPropertyBag;  // the host's bag given to Load, owning
    DWORD m_dwBagSinkCookie;        // the host bag's IQORNotify in m_mapSinks; 0 = none
    DWORD m_dwBagAdviseCookie;      // the cookie of this object in the host bag's IQORAdvice; 0 = none
    IUnknown* m_spUnkSite;          // the site, owning

    // The advise sinks: two parallel arrays in order of registration, one reference held per
    // entry, reallocated to the new count at every insertion and removal.
    struct SinkMap {
        DWORD* pCookies;
        IUnknown** ppSinks;
        int nCount;
    } m_mapSinks;

private:
    // --- Implementation
    // Load's parts: the keys cleared in a bag being let go, the page geometry and frames
    // taken from the bag being bound, and the switch that makes a crop the page.
    void ClearBagKeys(IPropertyBag* pBag);
    void TakePageGeometry(IPropertyBag* pBag);
    void TakeFrames(IPropertyBag* pBag);
    void ApplyCropAsPage(bool bForce = false);
    // Makes the crop the frames' bounding box and writes "scan.pos" and "scan.crop" into pBag
    // where they changed; true when either did.
    bool CropToFrames(IPropertyBag* pBag);
    // Whether a key of the bag asks for the automatic crop.
    static bool IsAutoCropRequested(IPropertyBag* pBag, LPCOLESTR pszKey);
    // Shows the sample page again when it is shown on a known page.
    void ReloadPreview();
    // Attaching step: subclasses the site's window; false when the site has no usable window.
    bool AttachSiteWindow(IUnknown* pUnkSite);
    // Gives the window back when the control's procedure is still the current one.
    void DetachWindow();
    // Appends (dwCookie, pUnkSink) with a reference; false when the arrays cannot grow.
    bool AddSink(DWORD dwCookie, IUnknown* pUnkSink);
    // Releases and removes entry nIndex, shifting the later entries down.
    void RemoveSink(int nIndex);
    void RemoveAllSinks();
    // Notify(GUID_ScanSource, pszName, pVar) on every sink answering IQORNotify.
    void NotifySinks(LPCOLESTR pszName, VARIANT* pVar);
    // NotifyWindow(the window, 1, 0) on every sink answering IQORNotify: a scan has ended.
    void NotifySinksScanEnded();

    // --- Engine notifications
    // One call of Notify: the host bag, held for the call (a nested Load may let go of
    // m_spPropertyBag), and what the handler leaves to the common tail: a new layout, or the
    // preview rebuilt. Held per call, since a write into the bag may bring a nested Notify.
    struct NotifyCall {
        IPropertyBag* pBag = nullptr;
        bool bGeometryChanged = false;
        bool bReload = false;
    };
    typedef void (CQORScan::*NotifyHandler)(const VARIANT& var, NotifyCall& call);
    void OnScanType(const VARIANT& var, NotifyCall& call);
    void OnScanSize(const VARIANT& var, NotifyCall& call);
    void OnScanCrop(const VARIANT& var, NotifyCall& call);
    void OnScanPos(const VARIANT& var, NotifyCall& call);
    void OnScanIgnored(const VARIANT& var, NotifyCall& call);
    void OnScanProc(const VARIANT& var, NotifyCall& call);
    void OnScanTempPre(const VARIANT& var, NotifyCall& call);
    void OnScanError(const VARIANT& var, NotifyCall& call);
    void OnScanBusy(const VARIANT& var, NotifyCall& call);
    // The tail of every accepted notification: the preview or the layout, zoom, bars, trackers.
    void FinishNotification(const NotifyCall& call);
    // "scan.proc" with several frames: the frames from the host's arrays and their bounding
    // box as the crop; arrays that give no frame change nothing.
    void TakeAutoCropFrames(IPropertyBag* pBag);
    // The final preview "prev_100.jpg" of a scan at pszPath.
    void TakeFinalPreview(IPropertyBag* pBag, LPCWSTR pszPath, bool bPreviewScan);
    // Whether the running scan is a preview scan ("scan.preview" low word non-zero).
    static bool IsPreviewScan(IPropertyBag* pBag);
    void RestoreSavedGeometry();
    void UpdateFramesVisible(bool bVisible);
    // Writes "scan.temp.pre"; a host that echoes the write back as a notification is not
    // heard (m_bWritingPreviewPath), so the echo can neither recurse nor touch the files.
    void WritePreviewPath(IPropertyBag* pBag, LPCOLESTR pszPath);
    bool m_bWritingPreviewPath = false;

    // --- Commands
    // The OLECMDF_* bits QueryStatus reports for a command id.
    DWORD CommandState(ULONG nCmdID);
    // "scan.init" and "scan.busy" of the host bag as VARIANT_TRUE; false without a bag.
    bool IsBagFlagSet(LPCOLESTR pszKey);
    bool IsEngineInitialised();
    bool IsEngineBusy();
    // Exec of the same command on the host bag's IOleCommandTarget; a failure without one.
    HRESULT PassCommandOn(DWORD nCmdID, DWORD nCmdexecopt, VARIANT* pvaIn, VARIANT* pvaOut);
    // Preview (bPreview) or scan: the host's engine starts, then the view waits for its rows.
    void StartScan(bool bPreview, DWORD nCmdexecopt, VARIANT* pvaIn, VARIANT* pvaOut);
    void PrepareForScanData(bool bPreview);
    // RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW while the window exists (notifications too).
    void RedrawNow();
    // Zoom step nStep when it is one (0 to 5), then the scale, scroll bars and trackers.
    void SetZoomStep(int nStep);
    void RequestAutoCrop(bool bMulti);
    void ResetOrientation();
    void ShowPaperWarning();
    // The "boot." keys of pBag into HKEY_CURRENT_USER\SOFTWARE\Velmora\Scrivane\Boot.
    static void SaveBootSettings(IPropertyBag* pBag);
    // A message through the host's message object ("DoMessage", whose by-reference answer
    // lands in *pnResult), else MessageBoxW captioned with the product name. Returns the
    // object's or the box's answer.
    static int ShowHostMessage(HWND hWnd, LPCWSTR pszText, UINT uType, int* pnResult);
};
