// CHostPropertyBag: the host's property bag as the scan control expects it, for the
// development host and for tests. It keeps the scan job as named VARIANTs and records every
// call made on it, in order.
//
//   IPropertyBag       Read hands out a copy of the stored value (E_INVALIDARG when the key is
//                      absent); Write stores a copy; Write with a null VARIANT pointer removes
//                      the key. Names compare exactly and case-sensitively; keys keep the order
//                      of their first write.
//   IQORAdvice         keeps each advised sink with one reference under a cookie.
//   IQORNotify         records Notify and NotifyWindow; both return S_OK.
//   IOleCommandTarget  records QueryStatus and Exec; Exec's result and side effect come from a
//                      handler per command id.
//   IEnumVARIANT       the key names as VT_BSTR (see CHostBagNameCursor for the snapshot rule).
//
// Re-entrancy: every call is logged when it arrives, so nested calls follow their caller in
// the log. Nothing the bag iterates over is touched by a nested call: sinks and handlers are
// copied before they are called, and no reference into the key list is held across a call out.
#pragma once

#include <QORScan.h>
#include <atlbase.h>
#include <atlcom.h>
#include <docobj.h>
#include <oaidl.h>

#include <functional>
#include <list>
#include <optional>
#include <vector>

#include "HostBagCall.h"

class CHostPropertyBag;

// A position in a snapshot of the bag's key names. The snapshot is taken by Reset, or by the
// first Next or Skip of a cursor that was never Reset; keys written or removed afterwards are
// seen only after the next Reset. A clone copies the snapshot and the position.
class CHostBagNameCursor {
public:
    HRESULT Next(const CHostPropertyBag& bag, ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched);
    HRESULT Skip(const CHostPropertyBag& bag, ULONG celt);
    void Reset(const CHostPropertyBag& bag);

private:
    void TakeSnapshotOnce(const CHostPropertyBag& bag);

    std::vector<ATL::CComBSTR> m_vecNames;
    size_t m_nPos = 0;
    bool m_bSnapshotTaken = false;
};

class ATL_NO_VTABLE CHostPropertyBag : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                                       public IPropertyBag,
                                       public IQORAdvice,
                                       public IQORNotify,
                                       public IOleCommandTarget,
                                       public IEnumVARIANT {
public:
    // What an Exec handler does for its command id; its result is Exec's result.
    typedef std::function<HRESULT(DWORD nCmdexecopt, VARIANT* pvaIn, VARIANT* pvaOut)> ExecHandler;
    // Called after a logged call has taken effect, before it returns, with a copy of its entry.
    typedef std::function<void(const CHostBagCall& call)> CallHook;

    BEGIN_COM_MAP(CHostPropertyBag)
        COM_INTERFACE_ENTRY(IPropertyBag)
        COM_INTERFACE_ENTRY(IQORAdvice)
        COM_INTERFACE_ENTRY(IQORNotify)
        COM_INTERFACE_ENTRY(IOleCommandTarget)
        COM_INTERFACE_ENTRY(IEnumVARIANT)
    END_COM_MAP()

    // --- Construction

    // A new empty bag with one reference, which the caller owns.
    static HRESULT CreateInstance(CHostPropertyBag** ppBag);

    // --- IPropertyBag
    STDMETHOD(Read)(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) override;
    STDMETHOD(Write)(LPCOLESTR pszPropName, VARIANT* pVar) override;

    // --- IQORAdvice
    STDMETHOD(Advise)(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    STDMETHOD(Unadvise)(DWORD dwCookie) override;

    // --- IQORNotify
    STDMETHOD(Notify)(GUID guidSource, BSTR bstrName, VARIANT* pVar) override;
    STDMETHOD(NotifyWindow)(HWND hWnd, LONG nCode, LONG nParam) override;

    // --- IOleCommandTarget
    STDMETHOD(QueryStatus)(const GUID* pguidCmdGroup, ULONG cCmds, OLECMD prgCmds[], OLECMDTEXT* pCmdText) override;
    STDMETHOD(Exec)(const GUID* pguidCmdGroup, DWORD nCmdID, DWORD nCmdexecopt, VARIANT* pvaIn,
                    VARIANT* pvaOut) override;

    // --- IEnumVARIANT
    STDMETHOD(Next)(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override;
    STDMETHOD(Skip)(ULONG celt) override;
    STDMETHOD(Reset)() override;
    STDMETHOD(Clone)(IEnumVARIANT** ppEnum) override;

    // --- The host's own access: none of these is logged, forwarded or hooked.

    // Stores a copy of value, as Write would, for setting up a job.
    HRESULT SetValue(LPCOLESTR pszPropName, const VARIANT& value);
    // A copy of the stored value, std::nullopt when the key is absent.
    std::optional<ATL::CComVariant> GetValue(LPCOLESTR pszPropName) const;
    // The key names in the order of their first write.
    std::vector<ATL::CComBSTR> KeyNames() const;

    // The advised sinks' cookies, in the order of their Advise.
    std::vector<DWORD> AdviseCookies() const;
    // The sink advised under a cookie (with a reference for the caller), or null.
    ATL::CComPtr<IUnknown> AdvisedSink(DWORD dwCookie) const;
    // Lets every sink go, as a host does when it shuts down: a control that advised itself
    // here and was never unbound (Load(null)) is otherwise kept alive by the bag.
    void ReleaseAllSinks();

    // The log of calls, oldest first.
    const std::vector<CHostBagCall>& Calls() const { return m_vecCalls; }
    std::vector<CHostBagCall> CallsOf(HostBagCallKind kind) const;
    // The log as one line of text per call (FormatHostBagCall), optionally of one kind only.
    std::vector<std::string> CallTexts() const;
    std::vector<std::string> CallTexts(HostBagCallKind kind) const;
    void ClearCalls();

    // --- Options

    // When on, a Write of "scan.type", "scan.size", "scan.pos" or "scan.crop" (a removal
    // included) is passed on after it is stored, as Notify(GUID_ScanSource, key, the writer's
    // VARIANT pointer), to every advised sink that answers IQORNotify, in cookie order: what a
    // host does for the control that advised itself here. Off when the bag is created.
    void SetForwarding(bool bForward) { m_bForwarding = bForward; }
    // When off, calls are no longer added to the log (the hook still sees each): a host that
    // runs for hours keeps no history. On when the bag is created.
    void SetRecording(bool bRecord) { m_bRecording = bRecord; }
    // The handler of one command id of CGID_ScanControl; an empty function removes it.
    void SetExecHandler(DWORD nCmdID, ExecHandler handler);
    // Exec's result for a command id without a handler; S_OK when the bag is created.
    void SetExecDefault(HRESULT hr) { m_hrExecDefault = hr; }
    void SetCallHook(CallHook hook) { m_fnCallHook = std::move(hook); }

protected:
    CHostPropertyBag() = default;

private:
    struct Entry {
        ATL::CComBSTR bstrName;
        ATL::CComVariant value;
    };
    struct Sink {
        DWORD dwCookie;
        ATL::CComPtr<IUnknown> spUnk;
    };

    static bool IsForwardedKey(LPCOLESTR pszPropName);
    std::vector<Entry>::iterator FindEntry(LPCOLESTR pszPropName);
    std::vector<Entry>::const_iterator FindEntry(LPCOLESTR pszPropName) const;

    // Logging: BeginCall appends the entry as the call arrives, so nested calls follow it;
    // EndCall completes it with the result and what the call produced, then runs the hook.
    // The ticket also holds a reference on the bag for the length of the call: a call out (a
    // sink, a handler, the hook, a released sink's teardown) may drop the host's last one.
    struct CallTicket {
        size_t nIndex;
        size_t nLogGeneration;
        ATL::CComPtr<IUnknown> spKeepAlive;
    };
    CallTicket BeginCall(const CHostBagCall& call);
    HRESULT EndCall(const CallTicket& ticket, CHostBagCall& call, HRESULT hr);

    void ForwardWrite(LPCOLESTR pszPropName, VARIANT* pVar);

    std::vector<Entry> m_vecEntries;
    std::list<Sink> m_listSinks;  // erasing one sink leaves the others in place
    DWORD m_dwNextCookie = 1;
    std::vector<std::pair<DWORD, ExecHandler>> m_vecExecHandlers;
    HRESULT m_hrExecDefault = S_OK;
    bool m_bForwarding = false;
    bool m_bRecording = true;
    CallHook m_fnCallHook;
    std::vector<CHostBagCall> m_vecCalls;
    size_t m_nLogGeneration = 0;  // counts ClearCalls
    CHostBagNameCursor m_cursor;
};

// A clone of the bag's enumerator: its own position over its own snapshot. It keeps the bag
// alive, because Reset takes a new snapshot from it.
class ATL_NO_VTABLE CHostBagNameEnum : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                                       public IEnumVARIANT {
public:
    BEGIN_COM_MAP(CHostBagNameEnum)
        COM_INTERFACE_ENTRY(IEnumVARIANT)
    END_COM_MAP()

    static HRESULT CreateInstance(CHostPropertyBag* pBag, const CHostBagNameCursor& cursor, IEnumVARIANT** ppEnum);

    STDMETHOD(Next)(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override;
    STDMETHOD(Skip)(ULONG celt) override;
    STDMETHOD(Reset)() override;
    STDMETHOD(Clone)(IEnumVARIANT** ppEnum) override;

protected:
    CHostBagNameEnum() = default;

private:
    ATL::CComPtr<CHostPropertyBag> m_spBag;
    CHostBagNameCursor m_cursor;
};
