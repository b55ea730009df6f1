// CDemoSession: a scripted session with the scan preview control, as a person would use it,
// recorded as pictures and one HTML page. The control is created through the registry from the
// module, sited on a window of this host, bound to the host's bag and driven by the development
// scan engine, with the user's mouse and the buttons' commands played in.
#pragma once

#include <windows.h>
#include <atlbase.h>
#include <ocidl.h>
#include <docobj.h>

#include <QORScan.h>
#include <HostPropertyBag.h>
#include <HostMessage.h>
#include <HostSite.h>
#include <ScanEngine.h>

#include <filesystem>
#include <memory>
#include <string>

#include "DemoReport.h"

struct DemoOptions {
    std::filesystem::path outputFolder;  // pictures, the page, the registry and the job's folder
    std::string strModulePath;           // libQORScan.so
    std::string strDevice;               // SANE device; empty for the built-in scene
};

class CDemoSession {
public:
    explicit CDemoSession(const DemoOptions& options);
    ~CDemoSession();
    CDemoSession(const CDemoSession&) = delete;
    CDemoSession& operator=(const CDemoSession&) = delete;

    // Plays the whole session; 0 on success, else a message was printed.
    int Run();
    const CDemoReport& Report() const { return m_report; }

private:
    class CProgressSink;

    bool SetUp();
    void TearDown();
    // --- The steps
    bool PreviewScan();
    bool AutoCropMultiple();
    bool EditFramesWithTheMouse();
    bool TurnAndMirror();
    bool ZoomAndScroll();
    bool FinalScan();
    // --- Helpers
    HRESULT Command(DWORD nCmdID);
    // Runs a scan the engine was asked for, with a picture each time another third of the
    // page has arrived; false when it does not end within the time limit.
    bool FollowScan(const std::string& strTitle, const std::string& strText);
    void Pump();
    void Step(const std::string& strTitle, const std::string& strText);
    // The paper area on screen: the bounding box of everything that is not the grey surroundings.
    RECT FindPaper() const;
    // A frame of the bag's arrays (page units) in view coordinates on the given paper area.
    RECT FrameInView(int nIndex, const RECT& rcPaper) const;
    int FrameCount() const;
    void Drag(POINT ptFrom, POINT ptTo);
    void Click(POINT pt);
    bool Fail(const char* pszWhat, HRESULT hr = E_FAIL);

    DemoOptions m_options;
    CDemoReport m_report;
    HMODULE m_hModule = nullptr;
    HWND m_hWndFrame = nullptr;
    HWND m_hWndView = nullptr;
    bool m_bComInitialised = false;
    std::unique_ptr<CHostSite> m_pSite;
    ATL::CComPtr<CProgressSink> m_spProgress;
    DWORD m_dwProgressCookie = 0;
    ATL::CComPtr<CHostPropertyBag> m_spBag;
    ATL::CComPtr<IUnknown> m_spControl;
    std::unique_ptr<CScanEngine> m_pEngine;
    std::unique_ptr<CHostMessageClass> m_pMessages;
};
