/* A host written in C against QORScan.h, with Win32 types declared here as a C host would. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

typedef int32_t HRESULT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef struct HWND__* HWND;
typedef uint16_t OLECHAR;
typedef OLECHAR* BSTR;
typedef struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
typedef struct VARIANT {
    uint16_t vt;
    uint16_t wReserved[3];
    union {
        int32_t lVal;
        uint32_t ulVal;
        BSTR bstrVal;
        void* byref;
    } value;
    void* pRecInfo;
} VARIANT;

#define QORSCAN_C_TYPES_DECLARED
#define COBJMACROS
#include <QORScan.h>

#include "c_host.h"

_Static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");
_Static_assert(sizeof(VARIANT) == 24, "VARIANT is 24 bytes");

/* The platform's BSTR functions, with their C linkage. */
BSTR SysAllocString(const OLECHAR* psz);
void SysFreeString(BSTR bstr);
uint32_t SysStringLen(BSTR bstr);

enum { VT_UI4 = 19 };
#define S_OK ((HRESULT)0)
#define E_NOINTERFACE ((HRESULT)0x80004002)
#define E_POINTER ((HRESULT)0x80004003)

static const GUID IID_IUnknown_C = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

void CHost_GetLayout(CHostLayout* pLayout)
{
    pLayout->cbGuid = sizeof(GUID);
    pLayout->cbVariant = sizeof(VARIANT);
    pLayout->offAdviseQueryInterface = offsetof(IQORAdviceVtbl, QueryInterface);
    pLayout->offAdviseAdvise = offsetof(IQORAdviceVtbl, Advise);
    pLayout->offAdviseUnadvise = offsetof(IQORAdviceVtbl, Unadvise);
    pLayout->offNotifyRelease = offsetof(IQORNotifyVtbl, Release);
    pLayout->offNotifyNotify = offsetof(IQORNotifyVtbl, Notify);
    pLayout->offNotifyNotifyWindow = offsetof(IQORNotifyVtbl, NotifyWindow);
}

void CHost_CopyGuids(unsigned char rgb[CHOST_GUID_COUNT][16])
{
    const GUID* rgpGuid[CHOST_GUID_COUNT] = {&CLSID_QORScan,    &LIBID_QORScanLib, &CLSID_QORHostMessage,
                                             &GUID_ScanSource,  &CGID_ScanControl, &IID_IQORAdvice,
                                             &IID_IQORNotify};
    for (int i = 0; i < CHOST_GUID_COUNT; ++i)
        memcpy(rgb[i], rgpGuid[i], 16);
}

/* --- The sink: the interface struct comes first, so the object's address is the interface's. */

typedef struct CSink {
    IQORNotify iface;
    CHostSinkRecord record;
} CSink;

static CSink* SinkOf(IQORNotify* This)
{
    return (CSink*)This;
}

static HRESULT STDMETHODCALLTYPE Sink_QueryInterface(IQORNotify* This, const GUID* riid, void** ppv)
{
    if (ppv == NULL)
        return E_POINTER;
    *ppv = NULL;
    if (memcmp(riid, &IID_IUnknown_C, sizeof(GUID)) != 0 && memcmp(riid, &IID_IQORNotify, sizeof(GUID)) != 0)
        return E_NOINTERFACE;
    *ppv = This;
    This->lpVtbl->AddRef(This);
    return S_OK;
}

static ULONG STDMETHODCALLTYPE Sink_AddRef(IQORNotify* This)
{
    return (ULONG)++SinkOf(This)->record.nRefs;
}

/* The memory stays until CHost_DestroySink, so a test can look at the record after the last
 * Release. */
static ULONG STDMETHODCALLTYPE Sink_Release(IQORNotify* This)
{
    return (ULONG)--SinkOf(This)->record.nRefs;
}

static HRESULT STDMETHODCALLTYPE Sink_Notify(IQORNotify* This, GUID guidSource, BSTR bstrName, VARIANT* pVar)
{
    CHostSinkRecord* pRecord = &SinkOf(This)->record;
    ++pRecord->nNotifyCalls;
    memcpy(pRecord->rgbSource, &guidSource, 16);
    uint32_t cch = bstrName != NULL ? SysStringLen(bstrName) : 0;
    if (cch >= sizeof(pRecord->szName))
        cch = sizeof(pRecord->szName) - 1;
    for (uint32_t i = 0; i < cch; ++i)
        pRecord->szName[i] = bstrName[i] < 0x80 ? (char)bstrName[i] : '?';
    pRecord->szName[cch] = 0;
    pRecord->bNullValue = pVar == NULL;
    pRecord->vt = pVar != NULL ? pVar->vt : 0;
    pRecord->ulVal = pVar != NULL ? pVar->value.ulVal : 0;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE Sink_NotifyWindow(IQORNotify* This, HWND hWnd, LONG nCode, LONG nParam)
{
    CHostSinkRecord* pRecord = &SinkOf(This)->record;
    ++pRecord->nNotifyWindowCalls;
    pRecord->hWnd = hWnd;
    pRecord->nCode = nCode;
    pRecord->nParam = nParam;
    return S_OK;
}

static const IQORNotifyVtbl g_sinkVtbl = {Sink_QueryInterface, Sink_AddRef, Sink_Release, Sink_Notify,
                                          Sink_NotifyWindow};

void* CHost_CreateSink(void)
{
    CSink* pSink = (CSink*)calloc(1, sizeof(CSink));
    if (pSink == NULL)
        return NULL;
    pSink->iface.lpVtbl = &g_sinkVtbl;
    pSink->record.nRefs = 1;
    return &pSink->iface;
}

const CHostSinkRecord* CHost_SinkRecord(void* pSink)
{
    return &SinkOf((IQORNotify*)pSink)->record;
}

void CHost_DestroySink(void* pSink)
{
    free(pSink);
}

/* --- Driving a bag */

void CHost_DriveBag(void* pBagUnknown, void* pSink, CHostDriveResult* pResult)
{
    memset(pResult, 0, sizeof(*pResult));
    /* Slot 0 of every interface is QueryInterface, so any interface pointer can be asked. */
    IQORAdvice* pUnk = (IQORAdvice*)pBagUnknown;
    IQORAdvice* pAdvice = NULL;
    pResult->hrQueryAdvice = IQORAdvice_QueryInterface(pUnk, &IID_IQORAdvice, (void**)&pAdvice);
    if (pAdvice == NULL)
        return;
    pResult->hrAdvise = IQORAdvice_Advise(pAdvice, (IUnknown*)pSink, &pResult->dwCookie);

    IQORNotify* pNotify = NULL;
    pResult->hrQueryNotify = IQORAdvice_QueryInterface(pAdvice, &IID_IQORNotify, (void**)&pNotify);
    if (pNotify != NULL) {
        BSTR bstrName = SysAllocString(QORSCAN_KEY_SCAN_CROP);
        VARIANT var;
        memset(&var, 0, sizeof(var));
        var.vt = VT_UI4;
        var.value.ulVal = QorScanMakePair(100, 200);
        pResult->hrNotify = IQORNotify_Notify(pNotify, GUID_ScanSource, bstrName, &var);
        pResult->hrNotifyWindow = IQORNotify_NotifyWindow(pNotify, (HWND)(uintptr_t)0x1234, 1, 7);
        SysFreeString(bstrName);
        IQORNotify_Release(pNotify);
    }
    pResult->hrUnadvise = IQORAdvice_Unadvise(pAdvice, pResult->dwCookie);
    pResult->hrUnadviseAgain = IQORAdvice_Unadvise(pAdvice, pResult->dwCookie);
    IQORAdvice_Release(pAdvice);
}
