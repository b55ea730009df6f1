/* Functions of the C host (c_host.c), callable from the C++ tests. Interface pointers cross
 * as void* so that this header needs neither language's declarations of them. */
#ifndef QOR_TEST_C_HOST_H
#define QOR_TEST_C_HOST_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Sizes and vtable slot offsets as the C binding of QORScan.h lays them out. */
typedef struct CHostLayout {
    size_t cbGuid;
    size_t cbVariant;
    size_t offAdviseQueryInterface;
    size_t offAdviseAdvise;
    size_t offAdviseUnadvise;
    size_t offNotifyRelease;
    size_t offNotifyNotify;
    size_t offNotifyNotifyWindow;
} CHostLayout;
void CHost_GetLayout(CHostLayout* pLayout);

/* The header's GUIDs as C sees them, 16 bytes each, in this order: CLSID_QORScan,
 * LIBID_QORScanLib, CLSID_QORHostMessage, GUID_ScanSource, CGID_ScanControl, IID_IQORAdvice,
 * IID_IQORNotify. */
enum { CHOST_GUID_COUNT = 7 };
void CHost_CopyGuids(unsigned char rgb[CHOST_GUID_COUNT][16]);

/* A sink written in C: answers IUnknown and IQORNotify, records the last call of each method. */
typedef struct CHostSinkRecord {
    int32_t nRefs;
    int nNotifyCalls;
    unsigned char rgbSource[16];
    char szName[64]; /* ASCII copy of the key */
    int bNullValue;
    uint16_t vt;
    uint32_t ulVal;
    int nNotifyWindowCalls;
    void* hWnd;
    int32_t nCode;
    int32_t nParam;
} CHostSinkRecord;
void* CHost_CreateSink(void); /* an IQORNotify* with one reference */
const CHostSinkRecord* CHost_SinkRecord(void* pSink);
void CHost_DestroySink(void* pSink); /* frees the memory once the test is done with it */

/* Drives a bag through its vtables as a C host would: QueryInterface for IQORAdvice, Advise the
 * sink, QueryInterface for IQORNotify, Notify("scan.crop", VT_UI4 pair(100, 200)),
 * NotifyWindow((HWND)0x1234, 1, 7), Unadvise twice, then release what it took. */
typedef struct CHostDriveResult {
    int32_t hrQueryAdvice;
    int32_t hrAdvise;
    uint32_t dwCookie;
    int32_t hrQueryNotify;
    int32_t hrNotify;
    int32_t hrNotifyWindow;
    int32_t hrUnadvise;
    int32_t hrUnadviseAgain;
} CHostDriveResult;
void CHost_DriveBag(void* pBagUnknown, void* pSink, CHostDriveResult* pResult);

#ifdef __cplusplus
}
#endif

#endif
