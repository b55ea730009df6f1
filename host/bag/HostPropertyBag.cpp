#include "HostPropertyBag.h"

#include <oleauto.h>
#include <olectl.h>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace {

bool SameName(BSTR bstrName, LPCOLESTR pszPropName)
{
    return ::lstrcmpW(bstrName, pszPropName) == 0;
}

// A copy of a caller's VARIANT for the log; std::nullopt stands for a null pointer.
std::optional<ATL::CComVariant> LoggedValue(const VARIANT* pVar)
{
    if (pVar == nullptr)
        return std::nullopt;
    return ATL::CComVariant(*pVar);
}

std::optional<GUID> LoggedGroup(const GUID* pguid)
{
    if (pguid == nullptr)
        return std::nullopt;
    return *pguid;
}

bool IsScanControlGroup(const GUID* pguidCmdGroup)
{
    return pguidCmdGroup != nullptr && IsEqualGUID(*pguidCmdGroup, CGID_ScanControl);
}

}  // namespace

// --- CHostBagNameCursor

void CHostBagNameCursor::TakeSnapshotOnce(const CHostPropertyBag& bag)
{
    if (!m_bSnapshotTaken)
        Reset(bag);
}

void CHostBagNameCursor::Reset(const CHostPropertyBag& bag)
{
    m_vecNames = bag.KeyNames();
    m_nPos = 0;
    m_bSnapshotTaken = true;
}

// IEnumVARIANT rules: pCeltFetched may be null only when one element is asked for; S_FALSE
// when fewer than celt names were left.
HRESULT CHostBagNameCursor::Next(const CHostPropertyBag& bag, ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched)
{
    if (pCeltFetched != nullptr)
        *pCeltFetched = 0;
    if (rgVar == nullptr || (celt > 1 && pCeltFetched == nullptr))
        return E_POINTER;
    TakeSnapshotOnce(bag);
    ULONG nFetched = 0;
    for (; nFetched < celt && m_nPos < m_vecNames.size(); ++nFetched) {
        ::VariantInit(&rgVar[nFetched]);
        if (FAILED(m_vecNames[m_nPos].CopyTo(&rgVar[nFetched]))) {
            // Hand out all or nothing: the names copied so far go back.
            for (ULONG i = 0; i < nFetched; ++i)
                ::VariantClear(&rgVar[i]);
            m_nPos -= nFetched;
            return E_OUTOFMEMORY;
        }
        ++m_nPos;
    }
    if (pCeltFetched != nullptr)
        *pCeltFetched = nFetched;
    return nFetched == celt ? S_OK : S_FALSE;
}

HRESULT CHostBagNameCursor::Skip(const CHostPropertyBag& bag, ULONG celt)
{
    TakeSnapshotOnce(bag);
    const size_t nLeft = m_vecNames.size() - m_nPos;
    if (celt > nLeft) {
        m_nPos = m_vecNames.size();
        return S_FALSE;
    }
    m_nPos += celt;
    return S_OK;
}

// --- CHostPropertyBag: construction

HRESULT CHostPropertyBag::CreateInstance(CHostPropertyBag** ppBag)
{
    if (ppBag == nullptr)
        return E_POINTER;
    *ppBag = nullptr;
    ATL::CComObject<CHostPropertyBag>* pBag = nullptr;
    HRESULT hr = ATL::CComObject<CHostPropertyBag>::CreateInstance(&pBag);
    if (FAILED(hr))
        return hr;
    pBag->AddRef();
    *ppBag = pBag;
    return S_OK;
}

// --- IPropertyBag

// The stored type is handed out whatever type the caller's VARIANT had: the control relies on
// getting the value as the host stored it. VariantCopy frees what pVar held before.
STDMETHODIMP CHostPropertyBag::Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* /*pErrorLog*/)
{
    CHostBagCall call;
    call.kind = HostBagCallKind::Read;
    call.bstrName = pszPropName;
    const CallTicket ticket = BeginCall(call);
    if (pszPropName == nullptr || pVar == nullptr)
        return EndCall(ticket, call, E_POINTER);
    const auto it = FindEntry(pszPropName);
    if (it == m_vecEntries.end())
        return EndCall(ticket, call, E_INVALIDARG);
    HRESULT hr = ::VariantCopy(pVar, &it->value);
    if (SUCCEEDED(hr))
        call.value = ATL::CComVariant(*pVar);
    return EndCall(ticket, call, hr);
}

STDMETHODIMP CHostPropertyBag::Write(LPCOLESTR pszPropName, VARIANT* pVar)
{
    CHostBagCall call;
    call.kind = HostBagCallKind::Write;
    call.bstrName = pszPropName;
    call.value = LoggedValue(pVar);
    const CallTicket ticket = BeginCall(call);
    if (pszPropName == nullptr)
        return EndCall(ticket, call, E_POINTER);
    HRESULT hr = S_OK;
    if (pVar == nullptr) {
        const auto it = FindEntry(pszPropName);
        if (it != m_vecEntries.end())
            m_vecEntries.erase(it);
    } else {
        hr = SetValue(pszPropName, *pVar);
    }
    if (SUCCEEDED(hr) && m_bForwarding && IsForwardedKey(pszPropName))
        ForwardWrite(pszPropName, pVar);
    return EndCall(ticket, call, hr);
}

// --- IQORAdvice

// Cookies count up from 1 and are never given out twice, so a stale cookie cannot remove a
// later sink. The cookie pointer may be null, as the interface allows.
STDMETHODIMP CHostPropertyBag::Advise(IUnknown* pUnkSink, DWORD* pdwCookie)
{
    CHostBagCall call;
    call.kind = HostBagCallKind::Advise;
    call.pUnkSink = pUnkSink;
    const CallTicket ticket = BeginCall(call);
    if (pdwCookie != nullptr)
        *pdwCookie = 0;
    if (pUnkSink == nullptr)
        return EndCall(ticket, call, E_POINTER);
    const DWORD dwCookie = m_dwNextCookie++;
    m_listSinks.push_back(Sink{dwCookie, pUnkSink});
    if (pdwCookie != nullptr)
        *pdwCookie = dwCookie;
    call.dwId = dwCookie;
    return EndCall(ticket, call, S_OK);
}

// The sink is released after it has left the list: its release may run code (a control's
// teardown) that calls back into the bag.
STDMETHODIMP CHostPropertyBag::Unadvise(DWORD dwCookie)
{
    CHostBagCall call;
    call.kind = HostBagCallKind::Unadvise;
    call.dwId = dwCookie;
    const CallTicket ticket = BeginCall(call);
    const auto it = std::find_if(m_listSinks.begin(), m_listSinks.end(),
                                 [dwCookie](const Sink& sink) { return sink.dwCookie == dwCookie; });
    if (it == m_listSinks.end())
        return EndCall(ticket, call, CONNECT_E_NOCONNECTION);
    ATL::CComPtr<IUnknown> spReleased = std::move(it->spUnk);
    m_listSinks.erase(it);
    spReleased.Release();
    return EndCall(ticket, call, S_OK);
}

// --- IQORNotify

STDMETHODIMP CHostPropertyBag::Notify(GUID guidSource, BSTR bstrName, VARIANT* pVar)
{
    CHostBagCall call;
    call.kind = HostBagCallKind::Notify;
    call.guid = guidSource;
    call.bstrName.AssignBSTR(bstrName);
    call.value = LoggedValue(pVar);
    return EndCall(BeginCall(call), call, S_OK);
}

STDMETHODIMP CHostPropertyBag::NotifyWindow(HWND hWnd, LONG nCode, LONG nParam)
{
    CHostBagCall call;
    call.kind = HostBagCallKind::NotifyWindow;
    call.hWnd = hWnd;
    call.dwId = static_cast<DWORD>(nCode);
    call.nParam = nParam;
    return EndCall(BeginCall(call), call, S_OK);
}

// --- IOleCommandTarget

// The bag passes every command of the scan group to its engine, so all are supported and
// enabled; it has no texts of its own.
STDMETHODIMP CHostPropertyBag::QueryStatus(const GUID* pguidCmdGroup, ULONG cCmds, OLECMD prgCmds[],
                                           OLECMDTEXT* pCmdText)
{
    CHostBagCall call;
    call.kind = HostBagCallKind::QueryStatus;
    call.guid = LoggedGroup(pguidCmdGroup);
    for (ULONG i = 0; prgCmds != nullptr && i < cCmds; ++i)
        call.vecCmdIds.push_back(prgCmds[i].cmdID);
    const CallTicket ticket = BeginCall(call);
    if (!IsScanControlGroup(pguidCmdGroup))
        return EndCall(ticket, call, OLECMDERR_E_UNKNOWNGROUP);
    if (prgCmds == nullptr)
        return EndCall(ticket, call, E_POINTER);
    for (ULONG i = 0; i < cCmds; ++i)
        prgCmds[i].cmdf = OLECMDF_SUPPORTED | OLECMDF_ENABLED;
    if (pCmdText != nullptr) {
        pCmdText->cwActual = 0;
        if (pCmdText->cwBuf > 0)
            pCmdText->rgwz[0] = 0;
    }
    return EndCall(ticket, call, S_OK);
}

STDMETHODIMP CHostPropertyBag::Exec(const GUID* pguidCmdGroup, DWORD nCmdID, DWORD nCmdexecopt, VARIANT* pvaIn,
                                    VARIANT* pvaOut)
{
    CHostBagCall call;
    call.kind = HostBagCallKind::Exec;
    call.guid = LoggedGroup(pguidCmdGroup);
    call.dwId = nCmdID;
    call.dwOptions = nCmdexecopt;
    call.value = LoggedValue(pvaIn);
    const CallTicket ticket = BeginCall(call);
    if (!IsScanControlGroup(pguidCmdGroup))
        return EndCall(ticket, call, OLECMDERR_E_UNKNOWNGROUP);
    const auto it = std::find_if(m_vecExecHandlers.begin(), m_vecExecHandlers.end(),
                                 [nCmdID](const auto& entry) { return entry.first == nCmdID; });
    if (it == m_vecExecHandlers.end())
        return EndCall(ticket, call, m_hrExecDefault);
    // A copy: the handler may replace or remove itself.
    const ExecHandler handler = it->second;
    return EndCall(ticket, call, handler(nCmdexecopt, pvaIn, pvaOut));
}

// --- IEnumVARIANT

STDMETHODIMP CHostPropertyBag::Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched)
{
    return m_cursor.Next(*this, celt, rgVar, pCeltFetched);
}

STDMETHODIMP CHostPropertyBag::Skip(ULONG celt)
{
    return m_cursor.Skip(*this, celt);
}

STDMETHODIMP CHostPropertyBag::Reset()
{
    m_cursor.Reset(*this);
    return S_OK;
}

STDMETHODIMP CHostPropertyBag::Clone(IEnumVARIANT** ppEnum)
{
    return CHostBagNameEnum::CreateInstance(this, m_cursor, ppEnum);
}

// --- The host's own access

HRESULT CHostPropertyBag::SetValue(LPCOLESTR pszPropName, const VARIANT& value)
{
    if (pszPropName == nullptr)
        return E_POINTER;
    // By-reference values are stored dereferenced: the referenced memory is the writer's and
    // may be gone by the time the value is read.
    ATL::CComVariant copy;
    HRESULT hr = ::VariantCopyInd(&copy, &value);
    if (FAILED(hr))
        return hr;
    const auto it = FindEntry(pszPropName);
    if (it != m_vecEntries.end())
        return it->value.Attach(&copy);
    Entry entry;
    entry.bstrName = pszPropName;
    if (!entry.bstrName)
        return E_OUTOFMEMORY;
    entry.value.Attach(&copy);
    m_vecEntries.push_back(std::move(entry));
    return S_OK;
}

std::optional<ATL::CComVariant> CHostPropertyBag::GetValue(LPCOLESTR pszPropName) const
{
    const auto it = FindEntry(pszPropName);
    if (it == m_vecEntries.end())
        return std::nullopt;
    return it->value;
}

std::vector<ATL::CComBSTR> CHostPropertyBag::KeyNames() const
{
    std::vector<ATL::CComBSTR> vecNames;
    vecNames.reserve(m_vecEntries.size());
    for (const Entry& entry : m_vecEntries)
        vecNames.push_back(entry.bstrName);
    return vecNames;
}

std::vector<DWORD> CHostPropertyBag::AdviseCookies() const
{
    std::vector<DWORD> vecCookies;
    for (const Sink& sink : m_listSinks)
        vecCookies.push_back(sink.dwCookie);
    return vecCookies;
}

ATL::CComPtr<IUnknown> CHostPropertyBag::AdvisedSink(DWORD dwCookie) const
{
    for (const Sink& sink : m_listSinks)
        if (sink.dwCookie == dwCookie)
            return sink.spUnk;
    return nullptr;
}

// The list is emptied before any sink is released: a release may call back into the bag.
void CHostPropertyBag::ReleaseAllSinks()
{
    std::list<Sink> listReleased;
    listReleased.swap(m_listSinks);
}

std::vector<CHostBagCall> CHostPropertyBag::CallsOf(HostBagCallKind kind) const
{
    std::vector<CHostBagCall> vecCalls;
    for (const CHostBagCall& call : m_vecCalls)
        if (call.kind == kind)
            vecCalls.push_back(call);
    return vecCalls;
}

std::vector<std::string> CHostPropertyBag::CallTexts() const
{
    std::vector<std::string> vecTexts;
    for (const CHostBagCall& call : m_vecCalls)
        vecTexts.push_back(FormatHostBagCall(call));
    return vecTexts;
}

std::vector<std::string> CHostPropertyBag::CallTexts(HostBagCallKind kind) const
{
    std::vector<std::string> vecTexts;
    for (const CHostBagCall& call : m_vecCalls)
        if (call.kind == kind)
            vecTexts.push_back(FormatHostBagCall(call));
    return vecTexts;
}

void CHostPropertyBag::SetExecHandler(DWORD nCmdID, ExecHandler handler)
{
    std::erase_if(m_vecExecHandlers, [nCmdID](const auto& entry) { return entry.first == nCmdID; });
    if (handler)
        m_vecExecHandlers.emplace_back(nCmdID, std::move(handler));
}

// --- Implementation

bool CHostPropertyBag::IsForwardedKey(LPCOLESTR pszPropName)
{
    static const LPCOLESTR s_rgszForwarded[] = {QORSCAN_KEY_SCAN_TYPE, QORSCAN_KEY_SCAN_SIZE, QORSCAN_KEY_SCAN_POS,
                                                QORSCAN_KEY_SCAN_CROP};
    return std::any_of(std::begin(s_rgszForwarded), std::end(s_rgszForwarded),
                       [pszPropName](LPCOLESTR psz) { return ::lstrcmpW(psz, pszPropName) == 0; });
}

std::vector<CHostPropertyBag::Entry>::iterator CHostPropertyBag::FindEntry(LPCOLESTR pszPropName)
{
    return std::find_if(m_vecEntries.begin(), m_vecEntries.end(),
                        [pszPropName](const Entry& entry) { return SameName(entry.bstrName, pszPropName); });
}

std::vector<CHostPropertyBag::Entry>::const_iterator CHostPropertyBag::FindEntry(LPCOLESTR pszPropName) const
{
    return std::find_if(m_vecEntries.begin(), m_vecEntries.end(),
                        [pszPropName](const Entry& entry) { return SameName(entry.bstrName, pszPropName); });
}

CHostPropertyBag::CallTicket CHostPropertyBag::BeginCall(const CHostBagCall& call)
{
    if (!m_bRecording)
        return CallTicket{SIZE_MAX, m_nLogGeneration, GetUnknown()};
    m_vecCalls.push_back(call);
    return CallTicket{m_vecCalls.size() - 1, m_nLogGeneration, GetUnknown()};
}

// The entry is completed only if the log was not cleared meanwhile (a nested call may clear
// it). The hook gets the caller's copy: it may call the bag, which appends to the log.
HRESULT CHostPropertyBag::EndCall(const CallTicket& ticket, CHostBagCall& call, HRESULT hr)
{
    call.hr = hr;
    if (ticket.nLogGeneration == m_nLogGeneration && ticket.nIndex < m_vecCalls.size())
        m_vecCalls[ticket.nIndex] = call;
    if (m_fnCallHook) {
        const CallHook hook = m_fnCallHook;
        hook(call);
    }
    return hr;
}

void CHostPropertyBag::ClearCalls()
{
    m_vecCalls.clear();
    ++m_nLogGeneration;
}

// The sinks are copied first: a sink may advise, unadvise or write from inside Notify.
void CHostPropertyBag::ForwardWrite(LPCOLESTR pszPropName, VARIANT* pVar)
{
    std::vector<ATL::CComPtr<IUnknown>> vecSinks;
    for (const Sink& sink : m_listSinks)
        vecSinks.push_back(sink.spUnk);
    const ATL::CComBSTR bstrName(pszPropName);
    for (const ATL::CComPtr<IUnknown>& spUnk : vecSinks) {
        ATL::CComPtr<IQORNotify> spNotify;
        if (SUCCEEDED(spUnk->QueryInterface(IID_IQORNotify, reinterpret_cast<void**>(&spNotify))))
            spNotify->Notify(GUID_ScanSource, bstrName, pVar);
    }
}

// --- CHostBagNameEnum

HRESULT CHostBagNameEnum::CreateInstance(CHostPropertyBag* pBag, const CHostBagNameCursor& cursor,
                                         IEnumVARIANT** ppEnum)
{
    if (ppEnum == nullptr)
        return E_POINTER;
    *ppEnum = nullptr;
    ATL::CComObject<CHostBagNameEnum>* pEnum = nullptr;
    HRESULT hr = ATL::CComObject<CHostBagNameEnum>::CreateInstance(&pEnum);
    if (FAILED(hr))
        return hr;
    pEnum->m_spBag = pBag;
    pEnum->m_cursor = cursor;
    pEnum->AddRef();
    *ppEnum = pEnum;
    return S_OK;
}

STDMETHODIMP CHostBagNameEnum::Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched)
{
    return m_cursor.Next(*m_spBag, celt, rgVar, pCeltFetched);
}

STDMETHODIMP CHostBagNameEnum::Skip(ULONG celt)
{
    return m_cursor.Skip(*m_spBag, celt);
}

STDMETHODIMP CHostBagNameEnum::Reset()
{
    m_cursor.Reset(*m_spBag);
    return S_OK;
}

STDMETHODIMP CHostBagNameEnum::Clone(IEnumVARIANT** ppEnum)
{
    return CHostBagNameEnum::CreateInstance(m_spBag, m_cursor, ppEnum);
}
