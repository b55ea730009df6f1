/* QORScan.h: everything a host needs to drive the scan preview control.
 *
 * The control is the in-process COM class CLSID_QORScan. A host creates it, hands it a site
 * (IObjectWithSite::SetSite) whose IOleWindow names a child window, binds its property bag
 * (IPersistPropertyBag::Load) and then drives it with IQORNotify::Notify (engine events) and
 * IOleCommandTarget::Exec (commands of the group CGID_ScanControl). The host's bag answers
 * IPropertyBag, IQORAdvice, IQORNotify, IOleCommandTarget and IEnumVARIANT.
 *
 * C++: include the platform's headers or nothing; this header includes <unknwn.h> and <oaidl.h>.
 *
 * C (C11): in C, declare the Win32 types first or include a C header of your own, then define
 * QORSCAN_C_TYPES_DECLARED before including this file. Needed, with the Win32 x64 layout:
 *     GUID (16 bytes), HRESULT, LONG, ULONG, DWORD (32-bit), HWND (a pointer),
 *     BSTR (a pointer to 16-bit UTF-16 text), VARIANT (24 bytes).
 * IUnknown is only used through pointers; it is declared here as an incomplete struct, which a
 * C host may also declare. The interfaces become structs whose lpVtbl points at a table of
 * function pointers in the same slot order as the C++ classes; define COBJMACROS for the
 * IQORNotify_Notify(This, ...) style call macros.
 *
 * Every GUID is a constant in this header (static const in C), so a host links no library of
 * the project to use them.
 */
#ifndef QORSCAN_H
#define QORSCAN_H

#ifdef __cplusplus
#include <cstring>

#include <unknwn.h>
#include <oaidl.h>
#else
#ifndef QORSCAN_C_TYPES_DECLARED
#error "QORScan.h in C: declare GUID, HRESULT, LONG, ULONG, DWORD, HWND, BSTR and VARIANT, then define QORSCAN_C_TYPES_DECLARED"
#endif
#ifndef STDMETHODCALLTYPE
#define STDMETHODCALLTYPE
#endif
typedef struct IUnknown IUnknown;
#endif

/* Texts of this header are UTF-16 literals: wchar_t on Windows, char16_t elsewhere. */
#ifdef _WIN32
#define QORSCAN_TEXT(str) L##str
#else
#define QORSCAN_TEXT(str) u##str
#endif

/* --- GUIDs ------------------------------------------------------------------------------- */

#if defined(__cplusplus) && defined(QOR_DEFINE_IID)
/* The platform layer's headers: its own __uuidof mapping. */
#define QORSCAN_DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#define QORSCAN_DEFINE_IID(iface, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    QOR_DEFINE_IID(iface, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#elif defined(__cplusplus)
/* The Windows headers of mingw-w64: __uuidof finds the IIDs through __CRT_UUID_DECL. */
#define QORSCAN_DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#define QORSCAN_DEFINE_IID(iface, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)   \
    QORSCAN_DEFINE_GUID(IID_##iface, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8); \
    __CRT_UUID_DECL(iface, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#else
/* A host includes the header in several files; unused copies must not warn. */
#define QORSCAN_DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    static const GUID name __attribute__((unused)) = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#define QORSCAN_DEFINE_IID(iface, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    QORSCAN_DEFINE_GUID(IID_##iface, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#endif

/* {7C3E9A52-7700-0000-0000-770000000001}: the control's class. */
QORSCAN_DEFINE_GUID(CLSID_QORScan, 0x7C3E9A52, 0x7700, 0x0000, 0x00, 0x00, 0x77, 0x00, 0x00, 0x00, 0x00, 0x01);
/* {7C3E9A52-7700-7700-0000-770000000001}: the module's type library QORScanLib. */
QORSCAN_DEFINE_GUID(LIBID_QORScanLib, 0x7C3E9A52, 0x7700, 0x7700, 0x00, 0x00, 0x77, 0x00, 0x00, 0x00, 0x00, 0x01);
/* {7C3E9A52-7700-0000-0000-770000000007}: the host's optional message object, an IDispatch
 * with the method "DoMessage" (window, text, type, int* result), used for the paper warning. */
QORSCAN_DEFINE_GUID(CLSID_QORHostMessage, 0x7C3E9A52, 0x7700, 0x0000, 0x00, 0x00, 0x77, 0x00, 0x00, 0x00, 0x00, 0x07);
/* {00000000-0000-5542-1100-000000000069}: the source of every Notify in either direction; a
 * Notify with another source is ignored by the control. Also what GetClassID reports. */
QORSCAN_DEFINE_GUID(GUID_ScanSource, 0x00000000, 0x0000, 0x5542, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x69);
/* {00000000-0000-4500-1100-000000000070}: the command group of IOleCommandTarget. */
QORSCAN_DEFINE_GUID(CGID_ScanControl, 0x00000000, 0x0000, 0x4500, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x70);

#define QORSCAN_MESSAGE_OBJECT_METHOD QORSCAN_TEXT("DoMessage")

/* --- The two custom interfaces ----------------------------------------------------------- */

/* IQORAdvice: a list of sinks. The control implements it (hosts advise IQORNotify sinks
 * there) and so does the host's bag (the control advises its own IUnknown there).
 *   Advise(sink, cookie): the cookie pointer may be null; the sink is kept with a reference.
 *   Unadvise(cookie): releases the sink; the control takes 0xFFFFFFFF as "every sink". */
/* IQORNotify: events. Notify(source, key, value) carries a key change or an engine event
 * (value may be null: a cleared key); the source GUID is passed by value, 16 bytes.
 * NotifyWindow(window, code, param): code QORSCAN_NOTIFYWINDOW_SCAN_ENDED when a scan ended. */

#ifdef __cplusplus

struct IQORAdvice : IUnknown {
    STDMETHOD(Advise)(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
    STDMETHOD(Unadvise)(DWORD dwCookie) = 0;
};

struct IQORNotify : IUnknown {
    STDMETHOD(Notify)(GUID guidSource, BSTR bstrName, VARIANT* pVar) = 0;
    STDMETHOD(NotifyWindow)(HWND hWnd, LONG nCode, LONG nParam) = 0;
};

#else

typedef struct IQORAdvice IQORAdvice;
typedef struct IQORAdviceVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(IQORAdvice* This, const GUID* riid, void** ppvObject);
    ULONG(STDMETHODCALLTYPE* AddRef)(IQORAdvice* This);
    ULONG(STDMETHODCALLTYPE* Release)(IQORAdvice* This);
    HRESULT(STDMETHODCALLTYPE* Advise)(IQORAdvice* This, IUnknown* pUnkSink, DWORD* pdwCookie);
    HRESULT(STDMETHODCALLTYPE* Unadvise)(IQORAdvice* This, DWORD dwCookie);
} IQORAdviceVtbl;
struct IQORAdvice {
    const IQORAdviceVtbl* lpVtbl;
};

typedef struct IQORNotify IQORNotify;
typedef struct IQORNotifyVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(IQORNotify* This, const GUID* riid, void** ppvObject);
    ULONG(STDMETHODCALLTYPE* AddRef)(IQORNotify* This);
    ULONG(STDMETHODCALLTYPE* Release)(IQORNotify* This);
    HRESULT(STDMETHODCALLTYPE* Notify)(IQORNotify* This, GUID guidSource, BSTR bstrName, VARIANT* pVar);
    HRESULT(STDMETHODCALLTYPE* NotifyWindow)(IQORNotify* This, HWND hWnd, LONG nCode, LONG nParam);
} IQORNotifyVtbl;
struct IQORNotify {
    const IQORNotifyVtbl* lpVtbl;
};

#ifdef COBJMACROS
#define IQORAdvice_QueryInterface(This, riid, ppv) ((This)->lpVtbl->QueryInterface(This, riid, ppv))
#define IQORAdvice_AddRef(This) ((This)->lpVtbl->AddRef(This))
#define IQORAdvice_Release(This) ((This)->lpVtbl->Release(This))
#define IQORAdvice_Advise(This, pUnkSink, pdwCookie) ((This)->lpVtbl->Advise(This, pUnkSink, pdwCookie))
#define IQORAdvice_Unadvise(This, dwCookie) ((This)->lpVtbl->Unadvise(This, dwCookie))
#define IQORNotify_QueryInterface(This, riid, ppv) ((This)->lpVtbl->QueryInterface(This, riid, ppv))
#define IQORNotify_AddRef(This) ((This)->lpVtbl->AddRef(This))
#define IQORNotify_Release(This) ((This)->lpVtbl->Release(This))
#define IQORNotify_Notify(This, guidSource, bstrName, pVar) ((This)->lpVtbl->Notify(This, guidSource, bstrName, pVar))
#define IQORNotify_NotifyWindow(This, hWnd, nCode, nParam) ((This)->lpVtbl->NotifyWindow(This, hWnd, nCode, nParam))
#endif

#endif /* __cplusplus */

/* {7C3E9A52-7700-7700-7700-000000000001} */
QORSCAN_DEFINE_IID(IQORAdvice, 0x7C3E9A52, 0x7700, 0x7700, 0x77, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01);
/* {7C3E9A52-7700-7700-7700-000000000000} */
QORSCAN_DEFINE_IID(IQORNotify, 0x7C3E9A52, 0x7700, 0x7700, 0x77, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00);

/* Unadvise(QORSCAN_COOKIE_ALL) on the control releases every sink. */
#define QORSCAN_COOKIE_ALL 0xFFFFFFFFu
/* NotifyWindow code sent to every sink of the control when the engine's busy period ends. */
#define QORSCAN_NOTIFYWINDOW_SCAN_ENDED 1

/* --- Commands of the group CGID_ScanControl ---------------------------------------------- */

enum QORSCAN_CMDID {
    QORSCAN_CMDID_FIRST = 2001,
    /* Items of the host whose state the control reports through QueryStatus; the control
     * carries none of them out. Their meaning is the host's. */
    QORSCAN_CMDID_HOST_2001 = 2001,
    QORSCAN_CMDID_HOST_2002 = 2002,
    QORSCAN_CMDID_HOST_2003 = 2003,
    QORSCAN_CMDID_HOST_CANCEL = 2004, /* caption "Cancel", status character 2016 */
    QORSCAN_CMDID_HOST_BACK = 2005,   /* caption "Back", status character 2013 */
    QORSCAN_CMDID_HOST_UPLOAD = 2006, /* caption "Upload", status character 2014 */
    QORSCAN_CMDID_HOST_2007 = 2007,
    QORSCAN_CMDID_HOST_2009 = 2009,
    /* The control's own commands. PREVIEW, SCAN and AUTOCROP are passed on unchanged to the
     * host bag's IOleCommandTarget::Exec, which starts the engine. */
    QORSCAN_CMDID_PREVIEW = 2205,
    QORSCAN_CMDID_SCAN = 2206,
    QORSCAN_CMDID_AUTOCROP = 2207,
    QORSCAN_CMDID_CANCEL = 2208, /* stops the busy wheel; not passed on */
    QORSCAN_CMDID_AUTOCROP_SINGLE = 2209,
    QORSCAN_CMDID_AUTOCROP_MULTI = 2210,
    QORSCAN_CMDID_ZOOM_IN = 2211,
    QORSCAN_CMDID_ZOOM_OUT = 2212,
    QORSCAN_CMDID_ROTATE_LEFT = 2213,
    QORSCAN_CMDID_ROTATE_RIGHT = 2214,
    QORSCAN_CMDID_MIRROR_HORIZONTAL = 2215,
    QORSCAN_CMDID_MIRROR_VERTICAL = 2216,
    QORSCAN_CMDID_RESET_ORIENTATION = 2217,
    QORSCAN_CMDID_LAST = 2217
};

/* The single character that QueryStatus returns as OLECMDTEXTF_STATUS text of the host items. */
enum QORSCAN_STATUSCHAR {
    QORSCAN_STATUSCHAR_BACK = 2013,
    QORSCAN_STATUSCHAR_UPLOAD = 2014,
    QORSCAN_STATUSCHAR_CANCEL = 2016
};

/* --- Property-bag keys --------------------------------------------------------------------
 * Names are compared exactly and case-sensitively. QORSCAN_KEY_<name with '.' as '_'>. */

#define QORSCAN_KEY_PREFIX_SCAN QORSCAN_TEXT("scan.")
#define QORSCAN_KEY_PREFIX_BASE QORSCAN_TEXT("base.")
#define QORSCAN_KEY_PREFIX_BOOT QORSCAN_TEXT("boot.") /* every "boot." key is copied to the registry (VT_UI4, VT_I4, VT_BSTR) */

#define QORSCAN_KEY_SCAN_NAME QORSCAN_TEXT("scan.name")                     /* any: job name, copied by Save */
#define QORSCAN_KEY_SCAN_PROF QORSCAN_TEXT("scan.prof")                     /* any: scan profile, copied by Save */
#define QORSCAN_KEY_SCAN_TEMP QORSCAN_TEXT("scan.temp")                     /* VT_BSTR: the job's temporary folder; emptied on unbinding */
#define QORSCAN_KEY_SCAN_TEMP_PRE QORSCAN_TEXT("scan.temp.pre")             /* VT_BSTR: path of a preview file */
#define QORSCAN_KEY_SCAN_PREVIEW QORSCAN_TEXT("scan.preview")               /* integer: non-zero while the job is a preview scan */
#define QORSCAN_KEY_SCAN_TYPE QORSCAN_TEXT("scan.type")                     /* integer: QORSCAN_TYPE_* */
#define QORSCAN_KEY_SCAN_SIZE QORSCAN_TEXT("scan.size")                     /* pair(width, height), page units */
#define QORSCAN_KEY_SCAN_POS QORSCAN_TEXT("scan.pos")                       /* pair(left, top) of the crop */
#define QORSCAN_KEY_SCAN_CROP QORSCAN_TEXT("scan.crop")                     /* pair(width, height) of the crop */
#define QORSCAN_KEY_SCAN_SOUR QORSCAN_TEXT("scan.sour")                     /* integer: source; QORSCAN_SOUR_FEEDER_* are feeders */
#define QORSCAN_KEY_SCAN_RESO QORSCAN_TEXT("scan.reso")                     /* any: resolution, copied by Save */
#define QORSCAN_KEY_SCAN_TYPE_ARRAY QORSCAN_TEXT("scan.type.array")         /* any: the host's choices, copied by Save */
#define QORSCAN_KEY_SCAN_SIZE_ARRAY QORSCAN_TEXT("scan.size.array")         /* any */
#define QORSCAN_KEY_SCAN_SOUR_ARRAY QORSCAN_TEXT("scan.sour.array")         /* any */
#define QORSCAN_KEY_SCAN_RESO_ARRAY QORSCAN_TEXT("scan.reso.array")         /* any */
#define QORSCAN_KEY_SCAN_MULTIPOS_ARRAY QORSCAN_TEXT("scan.multipos.array")   /* VT_ARRAY | VT_UI4: pair(left, top) per frame */
#define QORSCAN_KEY_SCAN_MULTICROP_ARRAY QORSCAN_TEXT("scan.multicrop.array") /* VT_ARRAY | VT_UI4: pair(width, height) per frame */
#define QORSCAN_KEY_SCAN_AUTOCROP_SINGLE QORSCAN_TEXT("scan.autocrop.single") /* VT_I4 0 or 1 */
#define QORSCAN_KEY_SCAN_AUTOCROP_MULTI QORSCAN_TEXT("scan.autocrop.multi")   /* VT_I4 0 or 1 */
#define QORSCAN_KEY_SCAN_ROTATE QORSCAN_TEXT("scan.rotate")                 /* VT_I4: 0, 90, 180 or 270 degrees */
#define QORSCAN_KEY_SCAN_FLIP QORSCAN_TEXT("scan.flip")                     /* VT_UI4: pair of mirror flags */
#define QORSCAN_KEY_SCAN_PAGE QORSCAN_TEXT("scan.page")                     /* VT_UI4: 1 once the control has bound the bag */
#define QORSCAN_KEY_SCAN_OCR QORSCAN_TEXT("scan.ocr")                       /* any: cleared on unbinding */
#define QORSCAN_KEY_SCAN_INIT QORSCAN_TEXT("scan.init")                     /* VT_BOOL: the engine is initialised (VARIANT_TRUE only) */
#define QORSCAN_KEY_SCAN_BUSY QORSCAN_TEXT("scan.busy")                     /* VT_BOOL: the engine is busy; Notify false when idle */
#define QORSCAN_KEY_SCAN_PROC QORSCAN_TEXT("scan.proc")                     /* integer: Notify 0 when an automatic crop is ready */
#define QORSCAN_KEY_SCAN_ERROR QORSCAN_TEXT("scan.error")                   /* any: Notify on an engine error */
#define QORSCAN_KEY_BASE_STYLE QORSCAN_TEXT("base.style")                   /* VT_UI4, written on the control: presentation style */
#define QORSCAN_KEY_BOOT_ADF_HIDE QORSCAN_TEXT("boot.adf.hide")             /* integer: do not show the feeder warning again */

/* Values of "scan.type". */
enum QORSCAN_TYPE { QORSCAN_TYPE_BLACKWHITE = 0, QORSCAN_TYPE_GREY = 1, QORSCAN_TYPE_COLOR = 2 };
/* "scan.sour" values from FIRST to LAST are document feeders: the control warns about paper. */
enum QORSCAN_SOUR { QORSCAN_SOUR_FEEDER_FIRST = 2, QORSCAN_SOUR_FEEDER_LAST = 4 };
/* "base.style": the default is 1; 0 lets a crop become the page. */
#define QORSCAN_BASE_STYLE_DEFAULT 1u

/* Preview files of the engine: the name format (a number N), N below FINAL for partial
 * previews of a running scan, N equal to FINAL for the finished one. */
#define QORSCAN_PREVIEW_FILE_FORMAT QORSCAN_TEXT("prev_%d.jpg")
#define QORSCAN_PREVIEW_FINAL_NUMBER 100

/* --- Pair encoding ------------------------------------------------------------------------
 * A pair(a, b) is a VT_UI4 whose low word is a and high word b. Each value is cut to 16 bits
 * when packed and comes back unsigned. */

static inline DWORD QorScanMakePair(DWORD a, DWORD b)
{
    return (a & 0xFFFFu) | ((b & 0xFFFFu) << 16);
}
static inline DWORD QorScanPairLow(DWORD pair)
{
    return pair & 0xFFFFu;
}
static inline DWORD QorScanPairHigh(DWORD pair)
{
    return (pair >> 16) & 0xFFFFu;
}

#ifdef __cplusplus
/* A VT_UI4 VARIANT holding pair(a, b); it owns nothing, so it needs no clearing. */
inline VARIANT QorScanPairVariant(DWORD a, DWORD b)
{
    VARIANT var;
    std::memset(&var, 0, sizeof(var));
    var.vt = VT_UI4;
    var.ulVal = QorScanMakePair(a, b);
    return var;
}
#endif

/* --- Registered window messages -----------------------------------------------------------
 * Registered by the module when it loads. The names are plain ASCII, so RegisterWindowMessageA
 * with the same text gives the same number. Only "GetCrop for QOR" is used by the control:
 * posted to its own window after a preview scan, it runs the automatic crop that was asked for. */

#define QORSCAN_MSG_FONTS_CHANGE QORSCAN_TEXT("QOR Fonts Change")
#define QORSCAN_MSG_SCALE_CHANGE QORSCAN_TEXT("QOR Scale Change")
#define QORSCAN_MSG_GETCAPS QORSCAN_TEXT("GetCaps for QOREngine")
#define QORSCAN_MSG_GETCROP QORSCAN_TEXT("GetCrop for QOR")
#define QORSCAN_MSG_OCR_PROGRESS QORSCAN_TEXT("OCR progress for QOR")
#define QORSCAN_MSG_TO_HOME_SCREEN QORSCAN_TEXT("QOR to Home Screen")
#define QORSCAN_MSG_OCR_DONE QORSCAN_TEXT("QOR OCR is done")
#define QORSCAN_MSG_UPDATE_UI QORSCAN_TEXT("QOR Update UI for QOREdit.dll")
#define QORSCAN_MSG_FILE_SYSTEM_NOTIFY QORSCAN_TEXT("File system notify messages")

#endif /* QORSCAN_H */
