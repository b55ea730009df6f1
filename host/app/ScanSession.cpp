#include "ScanSession.h"

#include <HostJob.h>
#include <atlcom.h>
#include <docobj.h>
#include <ocidl.h>
#include <winreg.h>

#include <cstring>
#include <string_view>

namespace {

QString FromWide(LPCOLESTR psz)
{
    return psz != nullptr ? QString::fromUtf16(psz) : QString();
}

QString HresultText(const char* pszWhat, HRESULT hr)
{
    return QStringLiteral("%1 failed (error 0x%2)").arg(QString::fromUtf8(pszWhat)).arg(static_cast<quint32>(hr), 8, 16,
                                                                                          QLatin1Char('0'));
}

bool IsKey(BSTR bstrName, LPCOLESTR pszKey)
{
    return bstrName != nullptr && lstrcmpW(bstrName, pszKey) == 0;
}

// The pairs of a frame array, or none.
std::vector<DWORD> PairsOf(const CHostPropertyBag& bag, LPCOLESTR pszKey)
{
    std::vector<DWORD> vecPairs;
    if (const auto value = bag.GetValue(pszKey))
        HostReadFrameArray(*value, vecPairs);
    return vecPairs;
}

DWORD PairOf(const CHostPropertyBag& bag, LPCOLESTR pszKey)
{
    const auto value = bag.GetValue(pszKey);
    ATL::CComVariant var;
    if (!value || FAILED(var.ChangeType(VT_UI4, &*value)))
        return 0;
    return var.ulVal;
}

// The host keeps its "boot." settings in the registry, where the control writes them; they go
// back into the bag when the application starts (numbers as VT_I4, texts as VT_BSTR).
void LoadBootSettings(CHostPropertyBag* pBag)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Velmora\\Scrivane\\Boot", 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i) {
        WCHAR szName[256];
        alignas(WCHAR) BYTE data[1024];
        DWORD cchName = 256, cbData = sizeof(data) - sizeof(WCHAR), dwType = 0;
        const LONG nResult = RegEnumValueW(hKey, i, szName, &cchName, nullptr, &dwType, data, &cbData);
        if (nResult == ERROR_MORE_DATA)
            continue;  // a value too long to be one of ours
        if (nResult != ERROR_SUCCESS)
            break;
        if (std::u16string_view(szName, cchName).substr(0, 5) != u"boot.")
            continue;
        ATL::CComVariant value;
        if (dwType == REG_DWORD && cbData == sizeof(DWORD)) {
            DWORD dwValue = 0;
            std::memcpy(&dwValue, data, sizeof(dwValue));
            value = static_cast<int>(dwValue);
        } else if (dwType == REG_SZ) {
            data[cbData] = data[cbData + 1] = 0;  // the stored text need not end with a terminator
            value = reinterpret_cast<LPCWSTR>(data);
        } else {
            continue;
        }
        pBag->SetValue(szName, value);
    }
    RegCloseKey(hKey);
}

}  // namespace

// Hears what the bag's sinks hear: the engine's notifications and the forwarded keys.
class CScanSession::CSink : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>, public IQORNotify {
public:
    BEGIN_COM_MAP(CSink)
        COM_INTERFACE_ENTRY(IQORNotify)
    END_COM_MAP()

    STDMETHOD(Notify)(GUID guidSource, BSTR bstrName, VARIANT* pVar) override
    {
        if (m_pSession != nullptr && IsEqualGUID(guidSource, GUID_ScanSource))
            m_pSession->OnNotify(bstrName, pVar);
        return S_OK;
    }
    STDMETHOD(NotifyWindow)(HWND /*hWnd*/, LONG /*nCode*/, LONG /*nParam*/) override { return S_OK; }

    CScanSession* m_pSession = nullptr;
};

CScanSession::CScanSession(QObject* pParent) : QObject(pParent)
{
}

CScanSession::~CScanSession()
{
    Stop();
}

// The module registers itself for this user, as regsvr32 /i:user does: the application then
// creates the control through the registry like any host.
HRESULT CScanSession::Register(const std::string& strModulePath, QString* pstrError)
{
    m_hModule = LoadLibraryW(HostWiden(strModulePath).c_str());
    if (m_hModule == nullptr) {
        *pstrError = QStringLiteral("The scan control's module could not be loaded from %1.")
                         .arg(QString::fromStdString(strModulePath));
        return HRESULT_FROM_WIN32(GetLastError());
    }
    const FARPROC pfn = GetProcAddress(m_hModule, "DllInstall");
    auto pfnInstall = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR)>(reinterpret_cast<void*>(pfn));
    const HRESULT hr = pfnInstall != nullptr ? pfnInstall(TRUE, u"user") : E_NOINTERFACE;
    if (FAILED(hr))
        *pstrError = HresultText("Registering the scan control", hr);
    return hr;
}

bool CScanSession::Start(HWND hWndView, const Options& options, CHostMessage::Handler messageHandler,
                         QString* pstrError)
{
    HRESULT hr = Register(options.strModulePath, pstrError);
    if (FAILED(hr))
        return false;
    hr = CoInitialize(nullptr);
    if (FAILED(hr)) {
        *pstrError = HresultText("CoInitialize", hr);
        return false;
    }
    m_bComInitialised = true;
    m_pMessages = std::make_unique<CHostMessageClass>(std::move(messageHandler));

    hr = CoCreateInstance(CLSID_QORScan, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                          reinterpret_cast<void**>(&m_spControl));
    if (FAILED(hr)) {
        *pstrError = HresultText("Creating the scan control", hr);
        return false;
    }
    m_pSite = std::make_unique<CHostSite>(hWndView);
    hr = ATL::CComQIPtr<IObjectWithSite>(m_spControl)->SetSite(m_pSite.get());
    if (FAILED(hr)) {
        *pstrError = HresultText("Siting the scan control", hr);
        return false;
    }

    hr = CHostPropertyBag::CreateInstance(&m_spBag);
    if (SUCCEEDED(hr))
        hr = HostFillLetterFlatbedJob(m_spBag, HostWiden(options.strTempFolder).c_str());
    if (FAILED(hr)) {
        *pstrError = HresultText("Filling the scan job", hr);
        return false;
    }
    m_spBag->SetRecording(false);
    m_spBag->SetForwarding(true);
    m_spBag->SetCallHook([this](const CHostBagCall& call) { OnBagCall(call); });

    LoadBootSettings(m_spBag);
    if (options.fnFillJob)
        options.fnFillJob(m_spBag);

    m_engineSettings.strDevice = options.strDevice;
    m_engineSettings.strSaneConfigFolder = options.strSaneConfig;
    m_engineSettings.strSceneFile = options.strSceneFile;
    m_engineSettings.nPartialPauseMs = options.nPartialPauseMs;
    m_engineSettings.nPreviewDpi = options.nPreviewDpi;
    m_pEngine = std::make_unique<CScanEngine>(m_engineSettings);
    hr = m_pEngine->Attach(m_spBag);
    if (FAILED(hr)) {
        *pstrError = HresultText("Starting the scan engine", hr);
        return false;
    }

    ATL::CComObject<CSink>* pSink = nullptr;
    ATL::CComObject<CSink>::CreateInstance(&pSink);
    pSink->m_pSession = this;
    m_pSinkObject = pSink;
    m_spSink = pSink;
    m_spBag->Advise(m_spSink, &m_dwSinkCookie);

    hr = ATL::CComQIPtr<IPersistPropertyBag>(m_spControl)->Load(m_spBag, nullptr);
    if (FAILED(hr)) {
        *pstrError = HresultText("Binding the scan job", hr);
        return false;
    }
    return true;
}

void CScanSession::Stop()
{
    if (m_pEngine != nullptr)
        m_pEngine->Detach();
    if (m_pSinkObject != nullptr)
        m_pSinkObject->m_pSession = nullptr;  // a late notification finds no session
    m_pSinkObject = nullptr;
    if (m_spControl != nullptr) {
        ATL::CComQIPtr<IPersistPropertyBag>(m_spControl)->Load(nullptr, nullptr);
        ATL::CComQIPtr<IObjectWithSite>(m_spControl)->SetSite(nullptr);
        m_spControl.Release();
    }
    if (m_spBag != nullptr) {
        m_spBag->SetCallHook({});
        if (m_dwSinkCookie != 0)
            m_spBag->Unadvise(m_dwSinkCookie);
        m_dwSinkCookie = 0;
        m_spBag->ReleaseAllSinks();
        m_spBag.Release();
    }
    m_spSink.Release();
    m_pEngine.reset();
    m_pSite.reset();
    m_pMessages.reset();
    if (m_bComInitialised)
        CoUninitialize();
    m_bComInitialised = false;
    if (m_hModule != nullptr)
        FreeLibrary(m_hModule);
    m_hModule = nullptr;
    m_job = Job::None;
}

bool CScanSession::ChangeDevice(const std::string& strDevice, QString* pstrError)
{
    if (m_spBag == nullptr || IsBusy()) {
        *pstrError = QStringLiteral("The device cannot change while the scanner works.");
        return false;
    }
    m_pEngine->Detach();
    m_engineSettings.strDevice = strDevice;
    m_pEngine = std::make_unique<CScanEngine>(m_engineSettings);
    const HRESULT hr = m_pEngine->Attach(m_spBag);
    if (FAILED(hr)) {
        *pstrError = HresultText("Starting the scan engine", hr);
        return false;
    }
    return true;
}

HRESULT CScanSession::Exec(DWORD nCmdID)
{
    if (m_spControl == nullptr)
        return E_UNEXPECTED;
    const HRESULT hr =
        ATL::CComQIPtr<IOleCommandTarget>(m_spControl)->Exec(&CGID_ScanControl, nCmdID, 0, nullptr, nullptr);
    if (SUCCEEDED(hr) && m_pEngine != nullptr && m_pEngine->IsBusy()) {
        if (nCmdID == QORSCAN_CMDID_PREVIEW)
            m_job = Job::Preview;
        else if (nCmdID == QORSCAN_CMDID_SCAN)
            m_job = Job::Scan;
        else if (nCmdID == QORSCAN_CMDID_AUTOCROP_SINGLE || nCmdID == QORSCAN_CMDID_AUTOCROP_MULTI)
            m_job = Job::AutoCrop;
    }
    if (nCmdID == QORSCAN_CMDID_CANCEL && m_pEngine != nullptr)
        m_pEngine->Cancel();  // the control stops its wheel; the engine is the host's to stop
    return hr;
}

DWORD CScanSession::QueryStatus(DWORD nCmdID, QString* pstrCaption) const
{
    if (m_spControl == nullptr)
        return 0;
    OLECMD cmd{nCmdID, 0};
    struct {
        OLECMDTEXT text;
        WCHAR rest[63];
    } buffer{};
    buffer.text.cmdtextf = OLECMDTEXTF_NAME;
    buffer.text.cwBuf = 64;
    ATL::CComQIPtr<IOleCommandTarget> spTarget(m_spControl);
    if (FAILED(spTarget->QueryStatus(&CGID_ScanControl, 1, &cmd, pstrCaption != nullptr ? &buffer.text : nullptr)))
        return 0;
    if (pstrCaption != nullptr)
        *pstrCaption = buffer.text.cwActual > 0 ? FromWide(buffer.text.rgwz) : QString();
    return cmd.cmdf;
}

bool CScanSession::IsBusy() const
{
    return m_pEngine != nullptr && m_pEngine->IsBusy();
}

void CScanSession::WriteKey(LPCOLESTR pszKey, const VARIANT& value)
{
    if (m_spBag == nullptr)
        return;
    ATL::CComVariant copy(value);
    m_spBag->Write(pszKey, &copy);
}

bool CScanSession::ReadKey(LPCOLESTR pszKey, VARIANT* pValue) const
{
    return m_spBag != nullptr && SUCCEEDED(m_spBag->Read(pszKey, pValue, nullptr));
}

std::vector<RECT> CScanSession::Frames() const
{
    std::vector<RECT> vecFrames;
    if (m_spBag == nullptr)
        return vecFrames;
    const std::vector<DWORD> vecPos = PairsOf(*m_spBag, QORSCAN_KEY_SCAN_MULTIPOS_ARRAY);
    const std::vector<DWORD> vecSize = PairsOf(*m_spBag, QORSCAN_KEY_SCAN_MULTICROP_ARRAY);
    for (size_t i = 0; i < vecPos.size() && i < vecSize.size(); ++i) {
        const LONG nLeft = static_cast<LONG>(QorScanPairLow(vecPos[i]));
        const LONG nTop = static_cast<LONG>(QorScanPairHigh(vecPos[i]));
        vecFrames.push_back(RECT{nLeft, nTop, nLeft + static_cast<LONG>(QorScanPairLow(vecSize[i])),
                                 nTop + static_cast<LONG>(QorScanPairHigh(vecSize[i]))});
    }
    if (vecFrames.empty()) {  // one frame: the crop
        const DWORD dwPos = PairOf(*m_spBag, QORSCAN_KEY_SCAN_POS);
        const DWORD dwCrop = PairOf(*m_spBag, QORSCAN_KEY_SCAN_CROP);
        const LONG nLeft = static_cast<LONG>(QorScanPairLow(dwPos));
        const LONG nTop = static_cast<LONG>(QorScanPairHigh(dwPos));
        if (QorScanPairLow(dwCrop) > 0 && QorScanPairHigh(dwCrop) > 0)
            vecFrames.push_back(RECT{nLeft, nTop, nLeft + static_cast<LONG>(QorScanPairLow(dwCrop)),
                                     nTop + static_cast<LONG>(QorScanPairHigh(dwCrop))});
    }
    return vecFrames;
}

// "scan.flip" holds pair(mirrorV, mirrorH) at 90 and 270 degrees, pair(mirrorH, mirrorV) at 0
// and 180.
void CScanSession::Orientation(bool* pbMirrorV, bool* pbMirrorH, int* pnDegrees) const
{
    *pbMirrorV = *pbMirrorH = false;
    *pnDegrees = 0;
    if (m_spBag == nullptr)
        return;
    if (const auto rotate = m_spBag->GetValue(QORSCAN_KEY_SCAN_ROTATE)) {
        ATL::CComVariant var;
        if (SUCCEEDED(var.ChangeType(VT_I4, &*rotate)) && (var.lVal == 90 || var.lVal == 180 || var.lVal == 270))
            *pnDegrees = var.lVal;
    }
    const DWORD dwFlip = PairOf(*m_spBag, QORSCAN_KEY_SCAN_FLIP);
    const bool bTurned = *pnDegrees == 90 || *pnDegrees == 270;
    *pbMirrorV = (bTurned ? QorScanPairLow(dwFlip) : QorScanPairHigh(dwFlip)) != 0;
    *pbMirrorH = (bTurned ? QorScanPairHigh(dwFlip) : QorScanPairLow(dwFlip)) != 0;
}

void CScanSession::OnNotify(BSTR bstrName, VARIANT* pVar)
{
    if (IsKey(bstrName, QORSCAN_KEY_SCAN_TEMP_PRE) && pVar != nullptr && pVar->vt == VT_BSTR) {
        if (const int nNumber = HostPreviewNumber(pVar->bstrVal); nNumber > 0)
            emit previewProgress(nNumber);
    } else if (IsKey(bstrName, QORSCAN_KEY_SCAN_ERROR)) {
        ATL::CComVariant text;
        QString strText = QStringLiteral("The scanner reported an error.");
        if (pVar != nullptr && SUCCEEDED(text.ChangeType(VT_BSTR, pVar)) && text.bstrVal != nullptr &&
            text.bstrVal[0] != 0)
            strText = FromWide(text.bstrVal);
        emit engineError(strText);
    } else if (IsKey(bstrName, QORSCAN_KEY_SCAN_BUSY)) {
        ATL::CComVariant busy;
        if (pVar != nullptr && SUCCEEDED(busy.ChangeType(VT_BOOL, pVar)) && busy.boolVal == VARIANT_FALSE) {
            const Job job = m_job;
            m_job = Job::None;
            emit jobEnded(job);
        }
    }
    emit notified(FromWide(bstrName));
}

void CScanSession::OnBagCall(const CHostBagCall& call)
{
    if (call.kind == HostBagCallKind::NotifyWindow && call.dwId == QORSCAN_NOTIFYWINDOW_SCAN_ENDED) {
        emit scanEnded();
    } else if (call.kind == HostBagCallKind::Write &&
               (call.bstrName == QORSCAN_KEY_SCAN_MULTIPOS_ARRAY || call.bstrName == QORSCAN_KEY_SCAN_MULTICROP_ARRAY ||
                call.bstrName == QORSCAN_KEY_SCAN_ROTATE || call.bstrName == QORSCAN_KEY_SCAN_FLIP ||
                call.bstrName == QORSCAN_KEY_SCAN_CROP)) {
        emit framesReported();
    }
}
