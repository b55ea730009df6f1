// Values read from the host's property bag, shared by the control's bag protocol and its
// engine notifications: a key's VARIANT with its read result, the integer inside it, the
// pairs of a frame array, and the page aspect that follows from a page rectangle.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <vector>

// A value as a 32-bit integer of type vt (VT_I4, or VT_UI4 for pairs), whatever integer type
// it was given in; the bits come back in dwValue.
inline bool IntegerOf(const VARIANT& var, VARTYPE vt, DWORD& dwValue)
{
    VARIANT varInt;
    ::VariantInit(&varInt);
    if (FAILED(::VariantChangeType(&varInt, &var, 0, vt)))
        return false;
    dwValue = varInt.ulVal;
    return true;
}

// A key's value read from the bag; empty (VT_EMPTY) when the read fails.
struct BagValue {
    BagValue(IPropertyBag* pBag, LPCOLESTR pszName)
    {
        ::VariantInit(&var);
        bRead = SUCCEEDED(pBag->Read(pszName, &var, nullptr));
    }
    ~BagValue() { ::VariantClear(&var); }
    BagValue(const BagValue&) = delete;
    BagValue& operator=(const BagValue&) = delete;

    // The value as IntegerOf gives it; false also when the read failed.
    bool AsInteger(VARTYPE vt, DWORD& dwValue) const { return bRead && IntegerOf(var, vt, dwValue); }

    VARIANT var;
    bool bRead;
};

// Height / width of a page rectangle; 1.0 for an empty one.
inline float AspectOf(const RECT& rc)
{
    if (::IsRectEmpty(&rc))
        return 1.0f;
    return static_cast<float>(rc.bottom - rc.top) / static_cast<float>(rc.right - rc.left);
}

// The pairs of a frame array, or nothing when the value is not a one-dimensional VT_UI4
// array of 4-byte elements starting at 0. SafeArrayGetElement copies as many bytes as the
// array says its elements have, so a hand-made array of larger elements that still claims
// VT_UI4 must not reach it with a DWORD.
inline bool PairArray(const VARIANT& var, std::vector<DWORD>& pairs)
{
    if (var.vt != (VT_ARRAY | VT_UI4) || var.parray == nullptr || ::SafeArrayGetDim(var.parray) != 1 ||
        ::SafeArrayGetElemsize(var.parray) != sizeof(DWORD))
        return false;
    VARTYPE vt = VT_EMPTY;
    LONG lLower = 0, lUpper = -1;
    if (FAILED(::SafeArrayGetVartype(var.parray, &vt)) || vt != VT_UI4 ||
        FAILED(::SafeArrayGetLBound(var.parray, 1, &lLower)) || lLower != 0 ||
        FAILED(::SafeArrayGetUBound(var.parray, 1, &lUpper)))
        return false;
    pairs.clear();
    // Counted in 64 bits: an upper bound of 0x7FFFFFFF must not wrap the index.
    for (LONGLONG llIndex = 0; llIndex <= lUpper; ++llIndex) {
        LONG i = static_cast<LONG>(llIndex);
        DWORD dwPair = 0;
        if (FAILED(::SafeArrayGetElement(var.parray, &i, &dwPair)))
            return false;
        pairs.push_back(dwPair);
    }
    return true;
}
