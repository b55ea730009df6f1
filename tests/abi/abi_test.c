/* The binary interface of the platform library as a C program sees it: the library is
 * opened at run time, the functions are found by name, and VARIANTs, BSTRs and SAFEARRAYs
 * are built and read through structures declared here, with no header of the project. */
#include <dlfcn.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <uchar.h>

typedef int32_t HRESULT;
typedef uint16_t OLECHAR;
typedef OLECHAR* BSTR;
typedef uint16_t VARTYPE;

enum { VT_EMPTY = 0, VT_I4 = 3, VT_BSTR = 8, VT_UI4 = 19, VT_ARRAY = 0x2000 };
#define S_OK ((HRESULT)0)

typedef struct SAFEARRAYBOUND {
    uint32_t cElements;
    int32_t lLbound;
} SAFEARRAYBOUND;

typedef struct SAFEARRAY {
    uint16_t cDims;
    uint16_t fFeatures;
    uint32_t cbElements;
    uint32_t cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
} SAFEARRAY;

typedef struct VARIANT {
    VARTYPE vt;
    uint16_t wReserved[3];
    union {
        int32_t lVal;
        uint32_t ulVal;
        int64_t llVal;
        BSTR bstrVal;
        SAFEARRAY* parray;
    } value;
    void* pRecInfo;
} VARIANT;

_Static_assert(sizeof(VARIANT) == 24, "VARIANT is 24 bytes");
_Static_assert(offsetof(VARIANT, value) == 8, "the value of a VARIANT is at offset 8");
_Static_assert(sizeof(SAFEARRAY) == 32 && offsetof(SAFEARRAY, pvData) == 16 && offsetof(SAFEARRAY, rgsabound) == 24,
               "SAFEARRAY has the Win32 x64 layout");

static BSTR (*SysAllocString)(const OLECHAR*);
static uint32_t (*SysStringLen)(BSTR);
static uint32_t (*SysStringByteLen)(BSTR);
static void (*SysFreeString)(BSTR);
static void (*VariantInit)(VARIANT*);
static HRESULT (*VariantClear)(VARIANT*);
static HRESULT (*VariantCopy)(VARIANT*, const VARIANT*);
static SAFEARRAY* (*SafeArrayCreateVector)(VARTYPE, int32_t, uint32_t);
static HRESULT (*SafeArrayPutElement)(SAFEARRAY*, int32_t*, void*);
static HRESULT (*SafeArrayGetElement)(SAFEARRAY*, int32_t*, void*);
static HRESULT (*SafeArrayGetLBound)(SAFEARRAY*, uint32_t, int32_t*);
static HRESULT (*SafeArrayGetUBound)(SAFEARRAY*, uint32_t, int32_t*);
static HRESULT (*SafeArrayAccessData)(SAFEARRAY*, void**);
static HRESULT (*SafeArrayUnaccessData)(SAFEARRAY*);
static HRESULT (*SafeArrayDestroy)(SAFEARRAY*);

static int passed;
static int failed;

static void Check(int condition, const char* what, int line)
{
    if (condition) {
        ++passed;
    } else {
        ++failed;
        printf("FAILED (line %d): %s\n", line, what);
    }
}
#define CHECK(condition) Check((condition) != 0, #condition, __LINE__)

/* Looks a function up by name; a missing one counts as a failure. */
static void* Find(void* library, const char* name)
{
    void* symbol = dlsym(library, name);
    Check(symbol != NULL, name, __LINE__);
    return symbol;
}

static uint32_t LengthPrefix(BSTR text)
{
    uint32_t length;
    memcpy(&length, (const char*)text - 4, sizeof length);
    return length;
}

static void TestBstr(void)
{
    BSTR text = SysAllocString((const OLECHAR*)u"scan.pos");
    CHECK(text != NULL);
    if (!text)
        return;
    CHECK(LengthPrefix(text) == 16);
    CHECK(SysStringLen(text) == 8);
    CHECK(SysStringByteLen(text) == 16);
    CHECK(text[0] == 's' && text[7] == 's' && text[8] == 0);
    SysFreeString(text);
}

static void TestVariant(void)
{
    VARIANT source;
    memset(&source, 0xAB, sizeof source);
    VariantInit(&source);
    CHECK(source.vt == VT_EMPTY);

    source.vt = VT_BSTR;
    source.value.bstrVal = SysAllocString((const OLECHAR*)u"prev_3.jpg");
    VARIANT copy;
    VariantInit(&copy);
    CHECK(VariantCopy(&copy, &source) == S_OK);
    CHECK(copy.vt == VT_BSTR);
    CHECK(copy.value.bstrVal != source.value.bstrVal);
    CHECK(copy.value.bstrVal && LengthPrefix(copy.value.bstrVal) == 20);
    CHECK(copy.value.bstrVal && memcmp(copy.value.bstrVal, u"prev_3.jpg", 22) == 0);
    CHECK(VariantClear(&source) == S_OK);
    CHECK(source.vt == VT_EMPTY);
    CHECK(VariantClear(&copy) == S_OK);

    /* A VARIANT made entirely by this program is read by the library. */
    VARIANT number;
    memset(&number, 0, sizeof number);
    number.vt = VT_I4;
    number.value.lVal = -5;
    CHECK(VariantCopy(&copy, &number) == S_OK);
    CHECK(copy.vt == VT_I4 && copy.value.lVal == -5);
}

/* The frame arrays of a host: VT_UI4 pairs, lower bound 0. */
static void TestSafeArray(void)
{
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UI4, 0, 3);
    CHECK(psa != NULL);
    if (!psa)
        return;
    CHECK(psa->cDims == 1);
    CHECK(psa->cbElements == 4);
    CHECK(psa->cLocks == 0);
    CHECK(psa->rgsabound[0].cElements == 3 && psa->rgsabound[0].lLbound == 0);
    for (int32_t i = 0; i < 3; ++i) {
        uint32_t pair = (uint32_t)(100 + i) | ((uint32_t)(200 + i) << 16);
        CHECK(SafeArrayPutElement(psa, &i, &pair) == S_OK);
    }
    int32_t bound = -1;
    CHECK(SafeArrayGetLBound(psa, 1, &bound) == S_OK && bound == 0);
    CHECK(SafeArrayGetUBound(psa, 1, &bound) == S_OK && bound == 2);

    void* data = NULL;
    CHECK(SafeArrayAccessData(psa, &data) == S_OK);
    CHECK(data == psa->pvData);
    CHECK(psa->cLocks == 1);
    const uint32_t* pairs = (const uint32_t*)data;
    CHECK(pairs && (pairs[1] & 0xFFFF) == 101 && (pairs[1] >> 16) == 201);
    CHECK(SafeArrayUnaccessData(psa) == S_OK);
    CHECK(psa->cLocks == 0);

    /* Writing through the descriptor is seen by the library. */
    ((uint32_t*)psa->pvData)[2] = 0xFFFFFFFFu;
    int32_t index = 2;
    uint32_t element = 0;
    CHECK(SafeArrayGetElement(psa, &index, &element) == S_OK && element == 0xFFFFFFFFu);

    /* An array inside a VARIANT is copied deeply. */
    VARIANT array;
    memset(&array, 0, sizeof array);
    array.vt = VT_ARRAY | VT_UI4;
    array.value.parray = psa;
    VARIANT copy;
    VariantInit(&copy);
    CHECK(VariantCopy(&copy, &array) == S_OK);
    CHECK(copy.vt == (VT_ARRAY | VT_UI4));
    CHECK(copy.value.parray != NULL && copy.value.parray != psa);
    if (copy.value.parray) {
        CHECK(copy.value.parray->rgsabound[0].cElements == 3);
        CHECK(((const uint32_t*)copy.value.parray->pvData)[0] == (100u | (200u << 16)));
    }
    CHECK(VariantClear(&copy) == S_OK);
    CHECK(VariantClear(&array) == S_OK); /* destroys psa */
    CHECK(array.vt == VT_EMPTY);
}

int main(void)
{
    void* library = dlopen(QOR_PLATFORM_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        printf("cannot open %s: %s\n", QOR_PLATFORM_LIBRARY, dlerror());
        printf("0 passed, 1 failed\n");
        return 1;
    }
    /* Function pointers come from dlsym as object pointers, as POSIX allows. */
    *(void**)&SysAllocString = Find(library, "SysAllocString");
    *(void**)&SysStringLen = Find(library, "SysStringLen");
    *(void**)&SysStringByteLen = Find(library, "SysStringByteLen");
    *(void**)&SysFreeString = Find(library, "SysFreeString");
    *(void**)&VariantInit = Find(library, "VariantInit");
    *(void**)&VariantClear = Find(library, "VariantClear");
    *(void**)&VariantCopy = Find(library, "VariantCopy");
    *(void**)&SafeArrayCreateVector = Find(library, "SafeArrayCreateVector");
    *(void**)&SafeArrayPutElement = Find(library, "SafeArrayPutElement");
    *(void**)&SafeArrayGetElement = Find(library, "SafeArrayGetElement");
    *(void**)&SafeArrayGetLBound = Find(library, "SafeArrayGetLBound");
    *(void**)&SafeArrayGetUBound = Find(library, "SafeArrayGetUBound");
    *(void**)&SafeArrayAccessData = Find(library, "SafeArrayAccessData");
    *(void**)&SafeArrayUnaccessData = Find(library, "SafeArrayUnaccessData");
    *(void**)&SafeArrayDestroy = Find(library, "SafeArrayDestroy");
    if (failed == 0) {
        TestBstr();
        TestVariant();
        TestSafeArray();
    }
    dlclose(library);
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
