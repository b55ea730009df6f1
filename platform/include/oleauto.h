// oleaut32: BSTR, VARIANT and SAFEARRAY functions (platform/com).
#pragma once

#include "oaidl.h"

#ifndef LOCALE_USER_DEFAULT
#define LOCALE_USER_DEFAULT 0x0400
#endif
#ifndef LOCALE_SYSTEM_DEFAULT
#define LOCALE_SYSTEM_DEFAULT 0x0800
#endif
#ifndef NORM_IGNORECASE
#define NORM_IGNORECASE 0x00000001
#endif

// --- BSTR: UTF-16 text preceded by its 4-byte length in bytes and followed by a NUL.
WINOLEAUTAPI BSTR WINAPI SysAllocString(const OLECHAR* psz);
WINOLEAUTAPI BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui);
WINOLEAUTAPI BSTR WINAPI SysAllocStringByteLen(LPCSTR psz, UINT len);
WINOLEAUTAPI INT WINAPI SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
WINOLEAUTAPI INT WINAPI SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, unsigned int len);
WINOLEAUTAPI void WINAPI SysFreeString(BSTR bstrString);
WINOLEAUTAPI UINT WINAPI SysStringLen(BSTR pbstr);
WINOLEAUTAPI UINT WINAPI SysStringByteLen(BSTR bstr);

// --- VARIANT.
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_CALENDAR_HIJRI 0x08
#define VARIANT_LOCALBOOL 0x10

WINOLEAUTAPI void WINAPI VariantInit(VARIANTARG* pvarg);
WINOLEAUTAPI HRESULT WINAPI VariantClear(VARIANTARG* pvarg);
WINOLEAUTAPI HRESULT WINAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
WINOLEAUTAPI HRESULT WINAPI VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc);
WINOLEAUTAPI HRESULT WINAPI VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                                              VARTYPE vt);
WINOLEAUTAPI HRESULT WINAPI VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid,
                                                USHORT wFlags, VARTYPE vt);

// --- Comparison.
#define VARCMP_LT 0
#define VARCMP_EQ 1
#define VARCMP_GT 2
#define VARCMP_NULL 3

WINOLEAUTAPI HRESULT WINAPI VarBstrCmp(BSTR bstrLeft, BSTR bstrRight, LCID lcid, ULONG dwFlags);

// --- SAFEARRAY. Indexes: rgIndices[0] is dimension 1 (the first bound given to
// SafeArrayCreate), which varies fastest in memory.
WINOLEAUTAPI SAFEARRAY* WINAPI SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
WINOLEAUTAPI SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
WINOLEAUTAPI HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* psa);
// An array made in steps, as hosts build one by hand: a descriptor (with the element type and
// size for the Ex form), the bounds set by the caller, then the data.
WINOLEAUTAPI HRESULT WINAPI SafeArrayAllocDescriptor(UINT cDims, SAFEARRAY** ppsaOut);
WINOLEAUTAPI HRESULT WINAPI SafeArrayAllocDescriptorEx(VARTYPE vt, UINT cDims, SAFEARRAY** ppsaOut);
WINOLEAUTAPI HRESULT WINAPI SafeArrayAllocData(SAFEARRAY* psa);
WINOLEAUTAPI HRESULT WINAPI SafeArrayDestroyData(SAFEARRAY* psa);
WINOLEAUTAPI HRESULT WINAPI SafeArrayDestroyDescriptor(SAFEARRAY* psa);
WINOLEAUTAPI UINT WINAPI SafeArrayGetDim(SAFEARRAY* psa);
WINOLEAUTAPI UINT WINAPI SafeArrayGetElemsize(SAFEARRAY* psa);
WINOLEAUTAPI HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
WINOLEAUTAPI HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
WINOLEAUTAPI HRESULT WINAPI SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
WINOLEAUTAPI HRESULT WINAPI SafeArrayLock(SAFEARRAY* psa);
WINOLEAUTAPI HRESULT WINAPI SafeArrayUnlock(SAFEARRAY* psa);
WINOLEAUTAPI HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
WINOLEAUTAPI HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* psa);
WINOLEAUTAPI HRESULT WINAPI SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData);
WINOLEAUTAPI HRESULT WINAPI SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
WINOLEAUTAPI HRESULT WINAPI SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
WINOLEAUTAPI HRESULT WINAPI SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);

// --- Type libraries. This platform's type library is a UTF-8 text of its own (binary type
// libraries of Windows are not read):
//
//   QORTYPELIB 1                                  first line: the format and its version
//   library QORScanLib                            the library's name (required)
//   uuid {7C3E9A52-7700-7700-0000-770000000001}   the library id (required)
//   version 1.0                                   major.minor, decimal, each 0..65535 (required)
//   lcid 0                                        decimal, optional, 0 when absent
//   flags 0                                       LIBFLAGS, optional
//   helpstring 'QORScan 1.0 Type Library'         optional
//   helpfile 'C:\Help\QORScan.chm'                the documentation path, optional
//   coclass QORScan {7C3E9A52-...}                any number of coclasses: name and id
//
// One statement a line; blank lines and lines starting with '#' are skipped; a text is a
// word or is quoted with single quotes ('' for a quote). Each statement but coclass comes at
// most once. A file of another kind fails with TYPE_E_CANTLOADLIBRARY, another format
// version with TYPE_E_UNSUPFORMAT, a fault inside the text with TYPE_E_INVDATAREAD.
//
// A module's resource script lists the file as it is, e.g. `1 TYPELIB "QORScan.tlb"`.
// LoadTypeLib takes the path of such a file, or of a module that holds one as resource
// TYPELIB 1 (a module not loaded yet is loaded for the duration, its initialisers run);
// "<module path>\N" names resource TYPELIB N. Nothing is registered by LoadTypeLib;
// LoadTypeLibEx with REGKIND_REGISTER registers the library it loaded.
typedef enum tagREGKIND { REGKIND_DEFAULT = 0, REGKIND_REGISTER = 1, REGKIND_NONE = 2 } REGKIND;

WINOLEAUTAPI HRESULT WINAPI LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib);
WINOLEAUTAPI HRESULT WINAPI LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib);

// Registration writes, under HKEY_CLASSES_ROOT (ForUser: HKEY_CURRENT_USER\Software\Classes):
//   TypeLib\{libid}\<major>.<minor in hex>      default: the help string, else the name
//     <lcid in hex>\win64                         default: szFullPath
//     FLAGS                                       default: the library flags, decimal
//     HELPDIR                                     default: szHelpDir ("" when null)
// Unregistration deletes <lcid>\<syskind>, then each key above it that is left without
// subkeys (the version key counts as empty when only FLAGS and HELPDIR remain).
WINOLEAUTAPI HRESULT WINAPI RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);
WINOLEAUTAPI HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* ptlib, OLECHAR* szFullPath, OLECHAR* szHelpDir);
WINOLEAUTAPI HRESULT WINAPI UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                                              SYSKIND syskind);
WINOLEAUTAPI HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libID, WORD wMajorVerNum, WORD wMinorVerNum, LCID lcid,
                                                     SYSKIND syskind);
