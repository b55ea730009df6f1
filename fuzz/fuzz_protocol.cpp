// The control's host protocol: a control sited on a small window and bound to a host bag,
// driven by a sequence of operations that the input spells out. Every value a host can hand
// over is made up here: keys, VARIANTs of every type (BYREF ones and arrays of any length,
// type, bounds and element size included), paths into a scratch folder of small, damaged and
// missing preview files, commands, mouse and key input, window sizes and clock steps.
//
// Besides the sanitizers' findings, the target checks the files: the canary files that sit
// beside the engine's preview files (and behind a link) must survive every input.
//
// Input: one flags byte (see StartInput), then operations, each an opcode byte and its
// arguments (fuzz/make_seeds.py writes the seeds in this form).
#include <fuzzer/FuzzedDataProvider.h>
#include <HostJob.h>
#include <HostPropertyBag.h>
#include <oleauto.h>
#include <qorheadless.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "QORScan.h"

namespace {

// Small windows keep every paint cheap.
constexpr int kFrameWidth = 96;
constexpr int kFrameHeight = 72;
constexpr int kMaxOperations = 64;
// A pump that takes more messages than this is a message storm: a fault of its own.
constexpr int kMaxMessagesPerPump = 20000;

// --- The scratch folder

namespace fs = std::filesystem;

fs::path Scratch(const char* pszRelative)
{
    return fuzz::ScratchFolder() / pszRelative;
}

// The images the preview files are made of, from the image target's seeds.
std::vector<BYTE> ReadSeed(const char* pszName)
{
    std::ifstream in(fs::path(QOR_FUZZ_CORPUS_DIR) / "image" / pszName, std::ios::binary);
    std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty())
        std::abort();  // the seeds are part of the source tree
    return bytes;
}

struct FixtureFile {
    const char* pszPath;  // below the scratch folder
    std::vector<BYTE> vecBytes;
};

// Files the control may read, move or delete; each input starts with them as they are here.
std::vector<FixtureFile> MakePreviewFiles()
{
    const std::vector<BYTE> vecJpeg = ReadSeed("rgb_16x12.jpg");
    const std::vector<BYTE> vecPng = ReadSeed("rgba_5x3.png");
    const std::vector<BYTE> vecTruncated(vecJpeg.begin(), vecJpeg.begin() + vecJpeg.size() / 2);
    const std::string strGarbage = "not an image";
    return {
        {"engine/prev_1.jpg", vecJpeg},
        {"engine/prev_2.jpg", vecTruncated},
        {"engine/prev_3.jpg", std::vector<BYTE>(strGarbage.begin(), strGarbage.end())},
        {"engine/prev_4.jpg", vecPng},
        {"engine/prev_99.jpg", {}},
        {"engine/prev_100.jpg", vecJpeg},
        {"other/prev_7.jpg", vecJpeg},
        {"other/prev_100.jpg", vecJpeg},
        {"temp/job_1.tmp", vecPng},
        {"temp/job_2.tmp", {}},
    };
}

// Files that no input may remove: they share a folder with preview files, or lie behind a
// link from the engine's folder, but are neither preview files nor the control's own.
const char* const kCanaries[] = {"engine/notes.txt", "engine/sub/notes.txt", "other/notes.txt", "victim/notes.txt"};

// Paths a host may name. Folders whose files a host may ask to have deleted ("scan.temp")
// are only the job folder, the temporary folder and folders that do not exist.
const char* const kPathNames[] = {
    "engine/prev_1.jpg",   "engine/prev_2.jpg",   "engine/prev_3.jpg",          "engine/prev_4.jpg",
    "engine/prev_5.jpg",   "engine/prev_6.jpg",   "engine/prev_99.jpg",         "engine/prev_100.jpg",
    "engine/prev_abc.jpg", "engine/prev_0.jpg",   "engine/prev_-3.jpg",         "engine/page.jpg",
    "engine/qor_org_preview.jpg", "other/prev_7.jpg", "other/prev_100.jpg",     "missing/prev_1.jpg",
    "missing/prev_100.jpg", "engine/linked/prev_100.jpg", "engine/sub/prev_100.jpg", "engine/prev_1.jpg/prev_100.jpg",
    "prev_100.jpg",        "temp",                "temp/",                      "tmp",
    "missing",             "",
};

class CScratchFiles {
public:
    CScratchFiles() : m_vecPreviewFiles(MakePreviewFiles())
    {
        for (const char* pszFolder : {"engine/sub", "other", "victim", "temp", "tmp"})
            fs::create_directories(Scratch(pszFolder));
        fs::create_directory_symlink(Scratch("victim"), Scratch("engine/linked"));
        fs::create_symlink(Scratch("victim/notes.txt"), Scratch("engine/prev_5.jpg"));
        for (const char* pszCanary : kCanaries)
            fuzz::WriteFile(Scratch(pszCanary), pszCanary, std::strlen(pszCanary));
        setenv("TMPDIR", Scratch("tmp").c_str(), 1);
        setenv("QOR_REGISTRY_DIR", Scratch("registry").c_str(), 1);
    }

    void Restore()
    {
        fuzz::EmptyFolder(Scratch("temp"));
        fuzz::EmptyFolder(Scratch("tmp"));
        // The engine's and the control's files that an input left behind (the link stays).
        std::vector<fs::path> vecStale;
        for (const char* pszFolder : {"engine", "other"}) {
            std::error_code ignored;
            for (fs::directory_iterator it(Scratch(pszFolder), ignored), end; !ignored && it != end; it.increment(ignored)) {
                const std::string strName = it->path().filename().string();
                if ((strName.rfind("prev_", 0) == 0 || strName.rfind("qor_", 0) == 0) && strName != "prev_5.jpg")
                    vecStale.push_back(it->path());
            }
        }
        for (const fs::path& path : vecStale) {
            std::error_code ignored;
            fs::remove(path, ignored);
        }
        for (const FixtureFile& file : m_vecPreviewFiles)
            fuzz::WriteFile(Scratch(file.pszPath), file.vecBytes.data(), file.vecBytes.size());
        if (!fs::is_symlink(Scratch("engine/prev_5.jpg"))) {
            std::error_code ignored;
            fs::remove(Scratch("engine/prev_5.jpg"), ignored);
            fs::create_symlink(Scratch("victim/notes.txt"), Scratch("engine/prev_5.jpg"));
        }
    }

    // A lost canary is a finding: the control deleted a file that was not its to delete.
    static void CheckCanaries()
    {
        for (const char* pszCanary : kCanaries) {
            std::ifstream in(Scratch(pszCanary));
            std::string strText;
            std::getline(in, strText);
            if (strText != pszCanary) {
                std::fprintf(stderr, "lost file: %s\n", pszCanary);
                std::abort();
            }
        }
    }

private:
    std::vector<FixtureFile> m_vecPreviewFiles;
};

// --- Values

const LPCOLESTR kKeys[] = {
    QORSCAN_KEY_SCAN_NAME,          QORSCAN_KEY_SCAN_PROF,           QORSCAN_KEY_SCAN_TEMP,
    QORSCAN_KEY_SCAN_TEMP_PRE,      QORSCAN_KEY_SCAN_PREVIEW,        QORSCAN_KEY_SCAN_TYPE,
    QORSCAN_KEY_SCAN_SIZE,          QORSCAN_KEY_SCAN_POS,            QORSCAN_KEY_SCAN_CROP,
    QORSCAN_KEY_SCAN_SOUR,          QORSCAN_KEY_SCAN_RESO,           QORSCAN_KEY_SCAN_TYPE_ARRAY,
    QORSCAN_KEY_SCAN_SIZE_ARRAY,    QORSCAN_KEY_SCAN_SOUR_ARRAY,     QORSCAN_KEY_SCAN_RESO_ARRAY,
    QORSCAN_KEY_SCAN_MULTIPOS_ARRAY, QORSCAN_KEY_SCAN_MULTICROP_ARRAY, QORSCAN_KEY_SCAN_AUTOCROP_SINGLE,
    QORSCAN_KEY_SCAN_AUTOCROP_MULTI, QORSCAN_KEY_SCAN_ROTATE,        QORSCAN_KEY_SCAN_FLIP,
    QORSCAN_KEY_SCAN_PAGE,          QORSCAN_KEY_SCAN_OCR,            QORSCAN_KEY_SCAN_INIT,
    QORSCAN_KEY_SCAN_BUSY,          QORSCAN_KEY_SCAN_PROC,           QORSCAN_KEY_SCAN_ERROR,
    QORSCAN_KEY_BASE_STYLE,         QORSCAN_KEY_BOOT_ADF_HIDE,       u"boot.fuzz",
    u"BASE.STYLE",                  u"scan.",                        u"",
};

// Command ids: the group's, its neighbours and any.
DWORD PickCommand(fuzz::CByteReader& in)
{
    switch (in.Pick(4)) {
    case 0:
        return 2001 + static_cast<DWORD>(in.Pick(9));
    case 1:
    case 2:
        return 2205 + static_cast<DWORD>(in.Pick(13));
    default:
        return in.Bool() ? 2000 + in.Word() % 240 : in.Dword();
    }
}

// A text that names nothing on disk: without separators, and with a prefix that no file of
// the working folder has, so that a relative folder it may name does not exist.
std::u16string RandomText(fuzz::CByteReader& in)
{
    std::u16string strText = u"fuzz-";
    for (uint8_t b : in.Bytes(40))
        strText += (b == '/' || b == '\\') ? u'_' : static_cast<char16_t>(b < 0x80 ? b : 0x100 + b);
    return strText;
}

// A path into the scratch folder, in either separator, or one too long for the control.
std::u16string PickPath(fuzz::CByteReader& in)
{
    const uint8_t bChoice = in.Byte();
    const char* pszName = in.PickFrom(kPathNames);
    if (*pszName == 0)
        return {};  // no path at all (not the scratch folder, whose files only the fixture may empty)
    std::u16string strPath = fuzz::WidePath(fuzz::ScratchFolder() / pszName);
    if (bChoice & 1) {
        for (char16_t& c : strPath)
            if (c == u'/')
                c = u'\\';
    }
    if (bChoice & 2)
        strPath = fuzz::WidePath(Scratch("engine")) + u"/" + std::u16string(300, u'a') + u"/prev_100.jpg";
    return strPath;
}

// Owns what BYREF values and arrays point at until the input ends: a host keeps those alive
// for at least the call.
class CValueArena {
public:
    ~CValueArena() { Clear(); }
    void Clear()
    {
        for (VARIANT& var : m_vars)
            VariantClear(&var);
        for (BSTR bstr : m_bstrs)
            SysFreeString(bstr);
        for (SAFEARRAY* psa : m_arrays)
            SafeArrayDestroy(psa);
        m_vars.clear();
        m_bstrs.clear();
        m_arrays.clear();
        m_words.clear();
    }
    VARIANT* NewVariant()
    {
        VariantInit(&m_vars.emplace_back());
        return &m_vars.back();
    }
    BSTR* Keep(BSTR bstr) { return &m_bstrs.emplace_back(bstr); }
    SAFEARRAY** Keep(SAFEARRAY* psa) { return &m_arrays.emplace_back(psa); }
    ULONGLONG* NewWord(ULONGLONG value) { return &m_words.emplace_back(value); }

private:
    std::deque<VARIANT> m_vars;
    std::deque<BSTR> m_bstrs;
    std::deque<SAFEARRAY*> m_arrays;
    std::deque<ULONGLONG> m_words;
};

BSTR MakeBstr(fuzz::CByteReader& in)
{
    if (in.Pick(8) == 0)
        return nullptr;  // a null BSTR is an empty text
    const std::u16string strText = in.Bool() ? PickPath(in) : RandomText(in);
    return SysAllocStringLen(strText.c_str(), static_cast<UINT>(strText.size()));
}

// A pair or a number: the control's keys mostly hold pairs of 16-bit page units.
ULONG MakeNumber(fuzz::CByteReader& in)
{
    switch (in.Pick(4)) {
    case 0:
        return in.Byte();
    case 1:
        return QorScanMakePair(in.Word() % 12000, in.Word() % 12000);
    case 2:
        return static_cast<ULONG>(static_cast<LONG>(static_cast<int8_t>(in.Byte())));
    default:
        return in.Dword();
    }
}

// An array as hosts build one: through SafeArrayCreate, or by hand from a descriptor whose
// element size the host set (which may not fit the element type it claims).
SAFEARRAY* MakeArray(fuzz::CByteReader& in, VARTYPE* pvtElement)
{
    static const VARTYPE kElementTypes[] = {VT_UI4, VT_UI4, VT_I4, VT_UI1, VT_I2, VT_R8, VT_BSTR, VT_VARIANT};
    const VARTYPE vt = in.PickFrom(kElementTypes);
    *pvtElement = vt;
    const UINT cDims = in.Pick(5) == 0 ? 2 : 1;
    SAFEARRAYBOUND rgBounds[2];
    for (UINT i = 0; i < cDims; ++i) {
        rgBounds[i].cElements = in.Pick(4) == 0 && cDims == 1 ? in.Byte() : in.Pick(8);
        rgBounds[i].lLbound = in.Pick(4) == 0 ? static_cast<LONG>(in.Dword()) : 0;
    }
    SAFEARRAY* psa = nullptr;
    if (vt == VT_UI4 && cDims == 1 && in.Pick(3) == 0) {
        // cbElements from 1 to 32, whatever the type says.
        if (FAILED(SafeArrayAllocDescriptorEx(VT_UI4, 1, &psa)))
            return nullptr;
        psa->cbElements = 1 + in.Pick(32);
        psa->rgsabound[0] = rgBounds[0];
        if (FAILED(SafeArrayAllocData(psa))) {
            SafeArrayDestroyDescriptor(psa);
            return nullptr;
        }
    } else {
        psa = SafeArrayCreate(vt, cDims, rgBounds);
        if (psa == nullptr)
            return nullptr;
    }
    BYTE* pData = nullptr;
    if (FAILED(SafeArrayAccessData(psa, reinterpret_cast<void**>(&pData))))
        return psa;
    size_t cElements = 1;
    for (UINT i = 0; i < cDims; ++i)
        cElements *= rgBounds[i].cElements;
    for (size_t i = 0; i < cElements; ++i) {
        BYTE* pElement = pData + i * psa->cbElements;
        if (vt == VT_BSTR) {
            *reinterpret_cast<BSTR*>(pElement) = MakeBstr(in);
        } else if (vt == VT_VARIANT) {
            VARIANT* pVar = reinterpret_cast<VARIANT*>(pElement);
            pVar->vt = VT_UI4;
            pVar->ulVal = MakeNumber(in);
        } else {
            const ULONG ulValue = MakeNumber(in);
            std::memcpy(pElement, &ulValue, std::min<size_t>(psa->cbElements, sizeof(ulValue)));
        }
    }
    SafeArrayUnaccessData(psa);
    return psa;
}

// A VARIANT of any type a host may pass, owning its contents (VariantClear lets them go);
// BYREF values point into the arena.
void MakeVariant(fuzz::CByteReader& in, CValueArena& arena, VARIANT* pVar, bool bByrefAllowed = true)
{
    VariantInit(pVar);
    switch (in.Pick(16)) {
    case 0:
        break;  // VT_EMPTY
    case 1:
        pVar->vt = VT_NULL;
        break;
    case 2:
        pVar->vt = VT_I2;
        pVar->iVal = static_cast<SHORT>(in.Word());
        break;
    case 3:
    case 4:
        pVar->vt = in.Bool() ? VT_I4 : VT_UI4;
        pVar->ulVal = MakeNumber(in);
        break;
    case 5:
        pVar->vt = VT_BOOL;
        pVar->boolVal = in.Pick(4) == 0 ? static_cast<VARIANT_BOOL>(in.Word()) : (in.Bool() ? VARIANT_TRUE : VARIANT_FALSE);
        break;
    case 6:
        pVar->vt = VT_R8;
        pVar->dblVal = static_cast<double>(static_cast<int32_t>(in.Dword())) / (1 + in.Byte());
        break;
    case 7:
    case 8:
        pVar->vt = VT_BSTR;
        pVar->bstrVal = MakeBstr(in);
        break;
    case 9:
    case 10: {
        VARTYPE vtElement = VT_EMPTY;
        SAFEARRAY* psa = in.Pick(8) == 0 ? nullptr : MakeArray(in, &vtElement);
        // The VARIANT usually tells the array's type; a host may also get that wrong.
        pVar->vt = static_cast<VARTYPE>(VT_ARRAY | (in.Pick(4) == 0 ? VT_UI4 : vtElement));
        pVar->parray = psa;
        break;
    }
    case 11:
        pVar->vt = static_cast<VARTYPE>(in.PickFrom({VT_I1, VT_UI1, VT_UI2, VT_I8, VT_UI8, VT_INT, VT_UINT, VT_DATE,
                                                     VT_CY, VT_ERROR, VT_R4}));
        pVar->ullVal = static_cast<ULONGLONG>(in.Dword()) << (in.Pick(2) * 32);
        break;
    case 12:
        pVar->vt = VT_UNKNOWN;  // no object: the control must not call through it
        pVar->punkVal = nullptr;
        break;
    case 13:
        // Any type number, known or not, over a value of zeros: a pointer in it is null.
        std::memset(pVar, 0, sizeof(*pVar));
        pVar->vt = in.Word() & ~(VT_BYREF | VT_ARRAY);
        break;
    default: {
        if (!bByrefAllowed) {
            pVar->vt = VT_I4;
            pVar->lVal = 1;
            break;
        }
        // BYREF: a number, a text, an array or a VARIANT somewhere else; rarely a null pointer.
        switch (in.Pick(5)) {
        case 0:
            pVar->vt = static_cast<VARTYPE>(VT_BYREF | (in.Bool() ? VT_UI4 : VT_I4));
            pVar->pulVal = reinterpret_cast<ULONG*>(arena.NewWord(MakeNumber(in)));
            break;
        case 1:
            pVar->vt = VT_BYREF | VT_BSTR;
            pVar->pbstrVal = arena.Keep(MakeBstr(in));
            break;
        case 2: {
            VARTYPE vtElement = VT_EMPTY;
            pVar->vt = static_cast<VARTYPE>(VT_BYREF | VT_ARRAY | VT_UI4);
            pVar->pparray = arena.Keep(MakeArray(in, &vtElement));
            break;
        }
        case 3: {
            VARIANT* pInner = arena.NewVariant();
            MakeVariant(in, arena, pInner, false);
            pVar->vt = VT_BYREF | VT_VARIANT;
            pVar->pvarVal = pInner;
            break;
        }
        default:
            pVar->vt = static_cast<VARTYPE>(VT_BYREF | in.PickFrom({VT_UI4, VT_BSTR, VT_BOOL, VT_VARIANT}));
            pVar->byref = nullptr;
            break;
        }
        break;
    }
    }
}

// --- COM objects of the host

// A site whose window is the host's child window, another window, a window that is gone, or
// none at all; it may also listen to the control's notifications.
class CFuzzSite : public IOleWindow, public IQORNotify {
public:
    CFuzzSite(HWND hWnd, HRESULT hrGetWindow, bool bAnswersNotify)
        : m_hWnd(hWnd), m_hrGetWindow(hrGetWindow), m_bAnswersNotify(bAnswersNotify)
    {
    }
    virtual ~CFuzzSite() = default;

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IOleWindow))
            *ppv = static_cast<IOleWindow*>(this);
        else if (m_bAnswersNotify && IsEqualGUID(riid, IID_IQORNotify))
            *ppv = static_cast<IQORNotify*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++m_cRef; }
    STDMETHOD_(ULONG, Release)() override
    {
        const ULONG cRef = --m_cRef;
        if (cRef == 0)
            delete this;
        return cRef;
    }
    STDMETHOD(GetWindow)(HWND* phwnd) override
    {
        if (phwnd == nullptr)
            return E_INVALIDARG;
        *phwnd = SUCCEEDED(m_hrGetWindow) ? m_hWnd : nullptr;
        return m_hrGetWindow;
    }
    STDMETHOD(ContextSensitiveHelp)(BOOL) override { return E_NOTIMPL; }
    STDMETHOD(Notify)(GUID, BSTR, VARIANT*) override
    {
        if (onNotify)
            onNotify();
        return S_OK;
    }
    STDMETHOD(NotifyWindow)(HWND, LONG, LONG) override { return S_OK; }

    std::function<void()> onNotify;

private:
    ULONG m_cRef = 1;
    HWND m_hWnd;
    HRESULT m_hrGetWindow;
    bool m_bAnswersNotify;
};

LRESULT CALLBACK HostWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

int CALLBACK AnswerMessageBox(HWND, LPCWSTR, LPCWSTR, UINT, void* pContext)
{
    return *static_cast<int*>(pContext);
}

// --- One input

enum class Op {
    Notify,
    SetBagValue,
    Exec,
    QueryStatus,
    WriteOnControl,
    ReadOnControl,
    Load,
    Save,
    SetSite,
    Advise,
    Unadvise,
    Mouse,
    Key,
    Size,
    Clock,
    Scroll,
    Message,
    Reentrant,
    HostAnswers,
    Count
};

class CSession {
public:
    explicit CSession(fuzz::CByteReader& in) : m_in(in) {}
    ~CSession() { Teardown(); }

    void Run()
    {
        StartInput();
        for (int nOp = 0; nOp < kMaxOperations && !m_in.Empty(); ++nOp)
            RunOperation(static_cast<Op>(m_in.Pick(static_cast<size_t>(Op::Count))), 0);
    }

private:
    // Flags: bit 0 a letter job in the bag, bit 1 the bag forwards key writes to its sinks,
    // bit 2 the control sited at once, bit 3 the bag bound at once, bit 4 "scan.temp" names
    // the job folder.
    void StartInput()
    {
        const uint8_t bFlags = m_in.Byte();
        m_hWndFrame = CreateWindowExW(0, kWindowClass, u"", WS_POPUP | WS_VISIBLE, 0, 0, kFrameWidth, kFrameHeight,
                                      nullptr, nullptr, nullptr, nullptr);
        m_hWndView = CreateWindowExW(0, kWindowClass, u"", WS_CHILD | WS_VISIBLE, 4, 4, kFrameWidth - 8,
                                     kFrameHeight - 8, m_hWndFrame, nullptr, nullptr, nullptr);
        ATL::CComObject<CQORScan>* pControl = nullptr;
        if (FAILED(ATL::CComObject<CQORScan>::CreateInstance(&pControl)))
            std::abort();
        m_spControl = pControl->GetUnknown();
        m_spBag = NewBag(bFlags);
        if (bFlags & 4)
            SetSite(new CFuzzSite(m_hWndView, S_OK, false));
        if (bFlags & 8)
            Persist()->Load(m_spBag, nullptr);
        Pump();
    }

    ATL::CComPtr<CHostPropertyBag> NewBag(uint8_t bFlags)
    {
        ATL::CComPtr<CHostPropertyBag> spBag;
        if (FAILED(CHostPropertyBag::CreateInstance(&spBag)))
            std::abort();
        spBag->SetRecording(false);
        spBag->SetForwarding((bFlags & 2) != 0);
        if (bFlags & 1) {
            const std::u16string strTemp = fuzz::WidePath(Scratch("temp"));
            HostFillLetterFlatbedJob(spBag, (bFlags & 16) ? strTemp.c_str() : nullptr);
        }
        spBag->SetCallHook([this](const CHostBagCall& call) { OnBagCall(call); });
        return spBag;
    }

    void Teardown()
    {
        if (!m_spControl)
            return;
        m_reentrant = {};
        QorResetInput();
        if (GetCapture() != nullptr)
            ReleaseCapture();
        Persist()->Load(nullptr, nullptr);
        ATL::CComQIPtr<IObjectWithSite>(m_spControl)->SetSite(nullptr);
        for (auto& spBag : {m_spBag, m_spOtherBag})
            if (spBag) {
                spBag->SetCallHook(nullptr);
                spBag->ReleaseAllSinks();
            }
        m_spControl.Release();
        m_spBag.Release();
        m_spOtherBag.Release();
        DestroyWindow(m_hWndFrame);
        Pump();
        m_arena.Clear();
    }

    ATL::CComQIPtr<IPersistPropertyBag> Persist() { return ATL::CComQIPtr<IPersistPropertyBag>(m_spControl); }

    void SetSite(CFuzzSite* pSite)
    {
        ATL::CComQIPtr<IObjectWithSite>(m_spControl)->SetSite(static_cast<IOleWindow*>(pSite));
        pSite->Release();
    }

    // Dispatches what the thread has, as a host's message loop would.
    static void Pump()
    {
        MSG msg;
        for (int nMessages = 0; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++nMessages) {
            if (nMessages > kMaxMessagesPerPump) {
                std::fprintf(stderr, "message storm: message 0x%x keeps coming\n", msg.message);
                std::abort();
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    LPCOLESTR PickKey(std::u16string& strStorage)
    {
        if (m_in.Pick(16) == 0) {
            strStorage = RandomText(m_in);
            return strStorage.c_str();
        }
        return m_in.PickFrom(kKeys);
    }

    // A value for a key: a path for the path keys most of the time, any VARIANT otherwise.
    void MakeValueFor(LPCOLESTR pszKey, VARIANT* pVar)
    {
        const bool bPathKey = lstrcmpW(pszKey, QORSCAN_KEY_SCAN_TEMP_PRE) == 0 || lstrcmpW(pszKey, QORSCAN_KEY_SCAN_TEMP) == 0;
        if (bPathKey && m_in.Pick(4) != 0) {
            VariantInit(pVar);
            const std::u16string strPath = PickPath(m_in);
            pVar->vt = VT_BSTR;
            pVar->bstrVal = SysAllocStringLen(strPath.c_str(), static_cast<UINT>(strPath.size()));
            return;
        }
        MakeVariant(m_in, m_arena, pVar);
    }

    void RunOperation(Op op, int nDepth)
    {
        switch (op) {
        case Op::Notify: {
            std::u16string strKey;
            LPCOLESTR pszKey = PickKey(strKey);
            VARIANT var;
            MakeValueFor(pszKey, &var);
            const uint8_t bForm = m_in.Byte();
            const GUID guidSource = (bForm & 7) == 0 ? CGID_ScanControl : GUID_ScanSource;
            ATL::CComBSTR bstrKey(pszKey);
            ATL::CComQIPtr<IQORNotify>(m_spControl)->Notify(guidSource, (bForm & 8) ? nullptr : bstrKey.m_str,
                                                             (bForm & 16) ? nullptr : &var);
            VariantClear(&var);
            break;
        }
        case Op::SetBagValue: {
            std::u16string strKey;
            LPCOLESTR pszKey = PickKey(strKey);
            VARIANT var;
            MakeValueFor(pszKey, &var);
            // Through Write, as a host's own code may (forwarding, if on, notifies the control).
            m_spBag->Write(pszKey, m_in.Pick(8) == 0 ? nullptr : &var);
            VariantClear(&var);
            break;
        }
        case Op::Exec: {
            const DWORD nCmd = PickCommand(m_in);
            const uint8_t bForm = m_in.Byte();
            VARIANT varIn, varOut;
            MakeVariant(m_in, m_arena, &varIn);
            VariantInit(&varOut);
            const GUID* pGroup = (bForm & 7) == 0 ? nullptr : (bForm & 7) == 1 ? &GUID_ScanSource : &CGID_ScanControl;
            ATL::CComQIPtr<IOleCommandTarget>(m_spControl)
                ->Exec(pGroup, nCmd, m_in.Byte(), (bForm & 8) ? &varIn : nullptr, (bForm & 16) ? &varOut : nullptr);
            VariantClear(&varIn);
            VariantClear(&varOut);
            break;
        }
        case Op::QueryStatus:
            QueryStatus();
            break;
        case Op::WriteOnControl: {
            std::u16string strKey;
            LPCOLESTR pszKey = PickKey(strKey);
            VARIANT var;
            MakeValueFor(pszKey, &var);
            ATL::CComQIPtr<IPropertyBag>(m_spControl)->Write(pszKey, m_in.Pick(8) == 0 ? nullptr : &var);
            VariantClear(&var);
            break;
        }
        case Op::ReadOnControl: {
            std::u16string strKey;
            LPCOLESTR pszKey = PickKey(strKey);
            VARIANT var;
            VariantInit(&var);
            ATL::CComQIPtr<IPropertyBag>(m_spControl)->Read(pszKey, &var, nullptr);
            VariantClear(&var);
            break;
        }
        case Op::Load:
            switch (m_in.Pick(4)) {
            case 0:
                Persist()->Load(nullptr, nullptr);
                break;
            case 1:
                if (!m_spOtherBag)
                    m_spOtherBag = NewBag(m_in.Byte());
                Persist()->Load(m_spOtherBag, nullptr);
                break;
            default:
                Persist()->Load(m_spBag, nullptr);
                break;
            }
            break;
        case Op::Save: {
            ATL::CComPtr<CHostPropertyBag> spTarget = m_in.Bool() ? NewBag(0) : nullptr;
            Persist()->Save(spTarget, m_in.Bool(), m_in.Bool());
            if (spTarget)
                spTarget->SetCallHook(nullptr);
            break;
        }
        case Op::SetSite:
            switch (m_in.Pick(5)) {
            case 0:
                ATL::CComQIPtr<IObjectWithSite>(m_spControl)->SetSite(nullptr);
                break;
            case 1:
                SetSite(new CFuzzSite(m_hWndView, E_FAIL, m_in.Bool()));
                break;
            case 2: {
                // A window that no longer exists.
                HWND hWndGone = CreateWindowExW(0, kWindowClass, u"", WS_CHILD, 0, 0, 10, 10, m_hWndFrame, nullptr,
                                                nullptr, nullptr);
                DestroyWindow(hWndGone);
                SetSite(new CFuzzSite(hWndGone, S_OK, false));
                break;
            }
            default:
                SetSite(new CFuzzSite(m_hWndView, S_OK, m_in.Bool()));
                break;
            }
            break;
        case Op::Advise: {
            CFuzzSite* pSink = new CFuzzSite(nullptr, E_FAIL, m_in.Bool());
            pSink->onNotify = [this, nDepth] { RunReentrant(nDepth); };
            DWORD dwCookie = 0;
            ATL::CComQIPtr<IQORAdvice>(m_spControl)
                ->Advise(m_in.Pick(8) == 0 ? nullptr : static_cast<IOleWindow*>(pSink), m_in.Bool() ? &dwCookie : nullptr);
            pSink->Release();
            break;
        }
        case Op::Unadvise: {
            const DWORD dwCookie = m_in.Pick(4) == 0 ? QORSCAN_COOKIE_ALL : m_in.Byte();
            ATL::CComQIPtr<IQORAdvice>(m_spControl)->Unadvise(dwCookie);
            break;
        }
        case Op::Mouse:
            InjectMouse();
            Pump();
            break;
        case Op::Key:
            QorInjectKey(1 + static_cast<UINT>(m_in.Pick(254)), TRUE);
            if (m_in.Bool())
                QorInjectKey(1 + static_cast<UINT>(m_in.Pick(254)), FALSE);
            Pump();
            break;
        case Op::Size:
            switch (m_in.Pick(3)) {
            case 0:
                PostMessageW(m_hWndView, WM_SIZE, 0, 0);  // the control's own request for a layout
                break;
            case 1:
                SendMessageW(m_hWndView, WM_SIZE, m_in.Pick(5), MAKELPARAM(m_in.Word(), m_in.Word()));
                break;
            default:
                SetWindowPos(m_hWndView, nullptr, 0, 0, m_in.Pick(kFrameWidth), m_in.Pick(kFrameHeight),
                             SWP_NOMOVE | SWP_NOZORDER);
                break;
            }
            Pump();
            break;
        case Op::Clock:
            QorAdvanceClock(m_in.Pick(4) == 0 ? m_in.Word() : 10 * static_cast<DWORD>(m_in.Pick(40)));
            Pump();
            break;
        case Op::Scroll: {
            const UINT uMsg = m_in.PickFrom({UINT(WM_HSCROLL), UINT(WM_VSCROLL)});
            SendMessageW(m_hWndView, uMsg, MAKEWPARAM(m_in.Pick(10), m_in.Word()), 0);
            break;
        }
        case Op::Message:
            SendWindowMessage();
            break;
        case Op::Reentrant:
            // The next call of the given kind on the bag runs one more operation inside it.
            m_reentrant.bArmed = true;
            m_reentrant.kind = static_cast<HostBagCallKind>(m_in.Pick(8));
            break;
        case Op::HostAnswers: {
            // What the host's command target answers for the commands passed on to it, and
            // what the user answers in a message box.
            static const HRESULT kResults[] = {S_OK, E_FAIL, OLECMDERR_E_NOTSUPPORTED, OLECMDERR_E_DISABLED, S_FALSE};
            m_spBag->SetExecDefault(m_in.PickFrom(kResults));
            s_nMessageBoxAnswer = m_in.PickFrom({IDOK, IDCANCEL, IDYES, IDNO, 0});
            break;
        }
        case Op::Count:
            break;
        }
    }

    void QueryStatus()
    {
        const ULONG cCmds = static_cast<ULONG>(m_in.Pick(4));
        OLECMD rgCmds[3] = {};
        for (OLECMD& cmd : rgCmds)
            cmd.cmdID = PickCommand(m_in);
        const ULONG cwBuf = static_cast<ULONG>(m_in.Pick(12));
        std::vector<BYTE> vecText(sizeof(OLECMDTEXT) + cwBuf * sizeof(WCHAR));
        OLECMDTEXT* pText = reinterpret_cast<OLECMDTEXT*>(vecText.data());
        pText->cmdtextf = m_in.PickFrom({DWORD(OLECMDTEXTF_NAME), DWORD(OLECMDTEXTF_STATUS), DWORD(OLECMDTEXTF_NONE), DWORD(7)});
        pText->cwBuf = cwBuf;
        const uint8_t bForm = m_in.Byte();
        // cCmds may claim more entries than there are only where the array is big enough.
        ATL::CComQIPtr<IOleCommandTarget>(m_spControl)
            ->QueryStatus((bForm & 1) ? nullptr : &CGID_ScanControl, std::min<ULONG>(cCmds, 3),
                          (bForm & 2) ? nullptr : rgCmds, (bForm & 4) ? pText : nullptr);
    }

    void InjectMouse()
    {
        static const UINT kButtons[] = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP, WM_MOUSEMOVE,
                                        WM_MOUSEWHEEL};
        RECT rcView{};
        GetWindowRect(m_hWndView, &rcView);
        const size_t nEvents = 1 + m_in.Pick(6);
        for (size_t i = 0; i < nEvents; ++i) {
            const UINT uMsg = m_in.PickFrom(kButtons);
            const int x = rcView.left - 4 + static_cast<int>(m_in.Pick(kFrameWidth));
            const int y = rcView.top - 4 + static_cast<int>(m_in.Pick(kFrameHeight));
            QorInjectMouse(uMsg, x, y, static_cast<int>(m_in.Pick(5)) - 2);
        }
    }

    // A window message that a host or the system may send, with arguments that are plain
    // numbers (no message here carries a pointer).
    void SendWindowMessage()
    {
        static const UINT kMessages[] = {WM_COMMAND, WM_SETCURSOR, WM_CAPTURECHANGED, WM_TIMER, WM_ERASEBKGND,
                                         WM_PAINT,   WM_KEYDOWN,   WM_MOUSEMOVE,      WM_LBUTTONDBLCLK, WM_CANCELMODE};
        const size_t nPick = m_in.Pick(std::size(kMessages) + 1);
        const UINT uMsg = nPick == std::size(kMessages) ? g_uMsgGetCrop : kMessages[nPick];
        WPARAM wParam = m_in.Dword();
        LPARAM lParam = static_cast<LPARAM>(m_in.Dword());
        if (uMsg == WM_SETCURSOR)
            wParam = reinterpret_cast<WPARAM>(m_hWndView);
        if (uMsg == WM_ERASEBKGND || uMsg == WM_PAINT || uMsg == WM_TIMER || uMsg == WM_CAPTURECHANGED ||
            uMsg == WM_COMMAND)
            lParam = 0;  // a DC, a timer procedure or a window: none is made up
        if (uMsg == WM_ERASEBKGND) {
            HDC hdc = GetDC(m_hWndView);
            SendMessageW(m_hWndView, uMsg, reinterpret_cast<WPARAM>(hdc), 0);
            ReleaseDC(m_hWndView, hdc);
        } else if (m_in.Bool()) {
            PostMessageW(m_hWndView, uMsg, wParam, lParam);
            Pump();
        } else {
            SendMessageW(m_hWndView, uMsg, wParam, lParam);
        }
    }

    // A host's bag or sink that calls back into the control while it is being called.
    void OnBagCall(const CHostBagCall& call)
    {
        if (m_reentrant.bArmed && call.kind == m_reentrant.kind)
            RunReentrant(0);
    }

    void RunReentrant(int nDepth)
    {
        if (!m_reentrant.bArmed || nDepth > 0 || m_bInReentrant)
            return;
        m_reentrant.bArmed = false;
        m_bInReentrant = true;
        RunOperation(static_cast<Op>(m_in.Pick(static_cast<size_t>(Op::Reentrant))), nDepth + 1);
        m_bInReentrant = false;
    }

    static constexpr const WCHAR* kWindowClass = u"QorFuzzHost";

    fuzz::CByteReader& m_in;
    CValueArena m_arena;
    HWND m_hWndFrame = nullptr;
    HWND m_hWndView = nullptr;
    ATL::CComPtr<IUnknown> m_spControl;
    ATL::CComPtr<CHostPropertyBag> m_spBag;
    ATL::CComPtr<CHostPropertyBag> m_spOtherBag;
    struct {
        bool bArmed = false;
        HostBagCallKind kind = HostBagCallKind::Read;
    } m_reentrant;
    bool m_bInReentrant = false;

public:
    static inline int s_nMessageBoxAnswer = IDOK;
};

CScratchFiles* g_pFiles = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_pFiles = new CScratchFiles();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = HostWindowProc;
    wc.lpszClassName = u"QorFuzzHost";
    if (!RegisterClassExW(&wc))
        std::abort();
    QorSetMessageBoxHandler(AnswerMessageBox, &CSession::s_nMessageBoxAnswer);
    if (FAILED(CoInitialize(nullptr)))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData)
{
    g_pFiles->Restore();
    CSession::s_nMessageBoxAnswer = IDOK;
    {
        fuzz::CByteReader in(pData, cbData);
        CSession session(in);
        session.Run();
    }
    CScratchFiles::CheckCanaries();
    return 0;
}
