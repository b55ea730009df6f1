// CHostSite: the site a host hands the control, naming the window the control takes over.
//
// Its owner keeps it (on the stack or as a member) for longer than the control uses it: the
// control holds a reference from SetSite until SetSite(null). References are counted but never
// free the object, so an owner can check that the control has let it go.
#pragma once

#include <oleidl.h>

class CHostSite final : public IOleWindow {
public:
    explicit CHostSite(HWND hWnd) : m_hWnd(hWnd) {}
    CHostSite(const CHostSite&) = delete;
    CHostSite& operator=(const CHostSite&) = delete;

    // --- IUnknown
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    // --- IOleWindow
    STDMETHOD(GetWindow)(HWND* phwnd) override;
    STDMETHOD(ContextSensitiveHelp)(BOOL fEnterMode) override;

    // References taken by others and not yet given back.
    ULONG References() const { return m_cRef; }

private:
    HWND m_hWnd;
    ULONG m_cRef = 0;
};
