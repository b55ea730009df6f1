// Helpers of the host for scan jobs in a property bag: the frame arrays and a default job.
#pragma once

#include <QORScan.h>
#include <oaidl.h>

#include <string>
#include <vector>

// A "scan.multipos.array" or "scan.multicrop.array" value: VT_ARRAY | VT_UI4 over a
// one-dimensional SAFEARRAY with lower bound 0, one pair per frame. pVar is cleared first; an
// empty list gives an empty array. Pairs are built with QorScanMakePair.
HRESULT HostMakeFrameArray(const std::vector<DWORD>& vecPairs, VARIANT* pVar);

// The pairs of a frame array value. E_INVALIDARG (and no pairs) unless var is VT_ARRAY | VT_UI4
// with one dimension, lower bound 0 and 4-byte elements: such arrays are what the control
// rejects too.
HRESULT HostReadFrameArray(const VARIANT& var, std::vector<DWORD>& vecPairs);

// The job keys of a US-letter flatbed scan, written through pBag->Write in this order:
//   "scan.init"  VT_BOOL VARIANT_TRUE (the engine is ready)
//   "scan.size"  pair(8500, 11000)    (8.5 x 11 inches in thousandths)
//   "scan.pos"   pair(0, 0)
//   "scan.crop"  pair(8500, 11000)    (the whole page)
//   "scan.type"  VT_I4 2              (colour)
//   "scan.sour"  VT_I4 1              (flatbed: not a document feeder)
//   "scan.reso"  VT_I4 300            (dots per inch)
//   "scan.temp"  VT_BSTR pszTempFolder
// "scan.temp" is written only when pszTempFolder is a non-empty path: the control deletes
// every file in that folder when it unbinds, so there is no default for it.
// The first failing Write ends the job and its result is returned.
HRESULT HostFillLetterFlatbedJob(IPropertyBag* pBag, LPCOLESTR pszTempFolder);

// UTF-8 text (paths, device names) as the API's UTF-16 text.
std::basic_string<WCHAR> HostWiden(const std::string& text);

// The number N of a "prev_N.jpg" path, 0 for anything else or null.
int HostPreviewNumber(LPCWSTR pszPath);

// Letter size in page units (thousandths of an inch).
inline constexpr DWORD HOST_LETTER_WIDTH = 8500;
inline constexpr DWORD HOST_LETTER_HEIGHT = 11000;
