// VariantChangeType: conversions between the integer types, R4, R8, CY, DATE, BOOL and
// BSTR, and between IUnknown and IDispatch.
//
// Where this differs from Windows on purpose:
// - Text is read and written in one fixed format for every locale: '.' as the decimal
//   separator, no thousands separators, no "&H" hexadecimal forms.
// - Dates are not formatted or parsed: DATE <-> BSTR is DISP_E_TYPEMISMATCH.
// - DECIMAL, VT_ERROR and IDispatch default values (DISPID_VALUE) are not converted:
//   DISP_E_TYPEMISMATCH.
#include "com_private.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace {

// A value read from the source: an exact integer or a double.
struct Number {
    enum class Kind { Signed, Unsigned, Real } kind = Kind::Signed;
    std::int64_t s = 0;
    std::uint64_t u = 0;
    double r = 0;

    static Number Signed(std::int64_t v) { return {Kind::Signed, v, 0, 0}; }
    static Number Unsigned(std::uint64_t v) { return {Kind::Unsigned, 0, v, 0}; }
    static Number Real(double v) { return {Kind::Real, 0, 0, v}; }

    double AsDouble() const
    {
        switch (kind) {
        case Kind::Signed:
            return static_cast<double>(s);
        case Kind::Unsigned:
            return static_cast<double>(u);
        case Kind::Real:
            break;
        }
        return r;
    }
    bool IsZero() const { return AsDouble() == 0.0; }
};

constexpr double kTwo63 = 9223372036854775808.0;
constexpr double kTwo64 = 18446744073709551616.0;
// DATE values outside 1 January 100 .. 31 December 9999.
constexpr double kMinDate = -657434.0;
constexpr double kMaxDateExclusive = 2958466.0;
constexpr std::int64_t kCurrencyScale = 10000;

bool IsSpace(OLECHAR c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// The text without surrounding white space, as ASCII; false when it holds other characters.
bool TrimmedAscii(BSTR text, std::string* out)
{
    UINT begin = 0;
    UINT end = SysStringLen(text);
    while (begin < end && IsSpace(text[begin]))
        ++begin;
    while (end > begin && IsSpace(text[end - 1]))
        --end;
    out->clear();
    for (UINT i = begin; i < end; ++i) {
        if (text[i] >= 0x80)
            return false;
        out->push_back(static_cast<char>(text[i]));
    }
    return true;
}

bool EqualsIgnoreCase(const std::string& text, const char* word)
{
    const std::size_t n = std::strlen(word);
    if (text.size() != n)
        return false;
    for (std::size_t i = 0; i < n; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != word[i])
            return false;
    }
    return true;
}

// [+|-]digits[.digits][(e|E)[+|-]digits] after trimming. Whole numbers are read exactly.
HRESULT ParseNumber(BSTR text, Number* number)
{
    std::string ascii;
    if (!TrimmedAscii(text, &ascii) || ascii.empty())
        return DISP_E_TYPEMISMATCH;
    std::size_t pos = 0;
    const bool negative = ascii[0] == '-';
    if (ascii[0] == '+' || ascii[0] == '-')
        ++pos;
    const std::size_t digitsBegin = pos;
    while (pos < ascii.size() && ascii[pos] >= '0' && ascii[pos] <= '9')
        ++pos;
    const std::size_t integerDigits = pos - digitsBegin;
    if (pos == ascii.size() && integerDigits > 0) {
        std::uint64_t magnitude = 0;
        const auto [end, ec] = std::from_chars(ascii.data() + digitsBegin, ascii.data() + pos, magnitude);
        if (ec == std::errc() && end == ascii.data() + pos) {
            if (!negative)
                *number = Number::Unsigned(magnitude);
            else if (magnitude <= static_cast<std::uint64_t>(INT64_MAX))
                *number = Number::Signed(-static_cast<std::int64_t>(magnitude));
            else
                *number = Number::Real(-static_cast<double>(magnitude));
            return S_OK;
        }
        // Too many digits for 64 bits: read as a double; the range check refuses it.
    }
    // from_chars takes no leading '+'.
    const char* first = ascii.data() + (ascii[0] == '+' ? 1 : 0);
    const char* last = ascii.data() + ascii.size();
    // from_chars also accepts "inf" and "nan" spellings; this grammar does not.
    for (const char* p = first; p != last; ++p) {
        const char c = *p;
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-'))
            return DISP_E_TYPEMISMATCH;
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (end != last || (ec != std::errc() && ec != std::errc::result_out_of_range))
        return DISP_E_TYPEMISMATCH;
    if (!std::isfinite(value) || ec == std::errc::result_out_of_range)
        return DISP_E_OVERFLOW;
    *number = Number::Real(value);
    return S_OK;
}

HRESULT ReadNumber(const VARIANT& v, VARTYPE target, Number* number)
{
    switch (v.vt) {
    case VT_EMPTY:
        *number = Number::Signed(0);
        return S_OK;
    case VT_I1:
        *number = Number::Signed(static_cast<signed char>(v.cVal));
        return S_OK;
    case VT_UI1:
        *number = Number::Unsigned(v.bVal);
        return S_OK;
    case VT_I2:
        *number = Number::Signed(v.iVal);
        return S_OK;
    case VT_UI2:
        *number = Number::Unsigned(v.uiVal);
        return S_OK;
    case VT_I4:
        *number = Number::Signed(v.lVal);
        return S_OK;
    case VT_UI4:
        *number = Number::Unsigned(v.ulVal);
        return S_OK;
    case VT_INT:
        *number = Number::Signed(v.intVal);
        return S_OK;
    case VT_UINT:
        *number = Number::Unsigned(v.uintVal);
        return S_OK;
    case VT_I8:
        *number = Number::Signed(v.llVal);
        return S_OK;
    case VT_UI8:
        *number = Number::Unsigned(v.ullVal);
        return S_OK;
    case VT_R4:
        *number = Number::Real(v.fltVal);
        return S_OK;
    case VT_R8:
    case VT_DATE:
        *number = Number::Real(v.dblVal);
        return S_OK;
    case VT_CY:
        *number = Number::Real(static_cast<double>(v.cyVal.int64) / kCurrencyScale);
        return S_OK;
    case VT_BOOL:
        // A true BOOL has all bits set in every unsigned type (0xFF, 0xFFFF, ...), as on
        // Windows, and reads -1 in the signed ones.
        switch (target) {
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UINT:
        case VT_UI8:
            *number = Number::Unsigned(v.boolVal ? ~std::uint64_t{0} >> (64 - 8 * qor::com::ValueSize(target)) : 0);
            return S_OK;
        default:
            *number = Number::Signed(v.boolVal);
            return S_OK;
        }
    case VT_BSTR:
        if (target == VT_BOOL) {
            std::string ascii;
            if (TrimmedAscii(v.bstrVal, &ascii)) {
                if (EqualsIgnoreCase(ascii, "true")) {
                    *number = Number::Signed(-1);
                    return S_OK;
                }
                if (EqualsIgnoreCase(ascii, "false")) {
                    *number = Number::Signed(0);
                    return S_OK;
                }
            }
        }
        return ParseNumber(v.bstrVal, number);
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

// Integers in [lo, hi]; doubles round half to even first (the default rounding mode), as
// the Windows conversions do.
HRESULT ToSigned(const Number& n, std::int64_t lo, std::int64_t hi, std::int64_t* out)
{
    switch (n.kind) {
    case Number::Kind::Signed:
        if (n.s < lo || n.s > hi)
            return DISP_E_OVERFLOW;
        *out = n.s;
        return S_OK;
    case Number::Kind::Unsigned:
        if (n.u > static_cast<std::uint64_t>(hi))
            return DISP_E_OVERFLOW;
        *out = static_cast<std::int64_t>(n.u);
        return S_OK;
    case Number::Kind::Real:
        break;
    }
    const double r = std::nearbyint(n.r);
    // hi + 1 is a power of two and exact as a double; lo is too.
    if (!(r >= static_cast<double>(lo) && r < static_cast<double>(hi) + 1.0))
        return DISP_E_OVERFLOW;
    *out = static_cast<std::int64_t>(r);
    return S_OK;
}

HRESULT ToUnsigned(const Number& n, std::uint64_t hi, std::uint64_t* out)
{
    switch (n.kind) {
    case Number::Kind::Signed:
        if (n.s < 0 || static_cast<std::uint64_t>(n.s) > hi)
            return DISP_E_OVERFLOW;
        *out = static_cast<std::uint64_t>(n.s);
        return S_OK;
    case Number::Kind::Unsigned:
        if (n.u > hi)
            return DISP_E_OVERFLOW;
        *out = n.u;
        return S_OK;
    case Number::Kind::Real:
        break;
    }
    const double r = std::nearbyint(n.r);
    const double limit = hi == UINT64_MAX ? kTwo64 : static_cast<double>(hi) + 1.0;
    if (!(r >= 0.0 && r < limit))
        return DISP_E_OVERFLOW;
    *out = static_cast<std::uint64_t>(r);
    return S_OK;
}

HRESULT ToCurrency(const Number& n, std::int64_t* out)
{
    switch (n.kind) {
    case Number::Kind::Signed:
        if (__builtin_mul_overflow(n.s, kCurrencyScale, out))
            return DISP_E_OVERFLOW;
        return S_OK;
    case Number::Kind::Unsigned:
        if (n.u > static_cast<std::uint64_t>(INT64_MAX / kCurrencyScale))
            return DISP_E_OVERFLOW;
        *out = static_cast<std::int64_t>(n.u) * kCurrencyScale;
        return S_OK;
    case Number::Kind::Real:
        break;
    }
    const double scaled = std::nearbyint(n.r * kCurrencyScale);
    if (!(scaled >= -kTwo63 && scaled < kTwo63))
        return DISP_E_OVERFLOW;
    *out = static_cast<std::int64_t>(scaled);
    return S_OK;
}

HRESULT WriteNumber(const Number& n, VARTYPE vt, VARIANT* result)
{
    HRESULT hr = S_OK;
    std::int64_t s = 0;
    std::uint64_t u = 0;
    switch (vt) {
    case VT_I1:
        if (SUCCEEDED(hr = ToSigned(n, INT8_MIN, INT8_MAX, &s)))
            result->cVal = static_cast<CHAR>(s);
        break;
    case VT_I2:
        if (SUCCEEDED(hr = ToSigned(n, INT16_MIN, INT16_MAX, &s)))
            result->iVal = static_cast<SHORT>(s);
        break;
    case VT_I4:
    case VT_INT:
        if (SUCCEEDED(hr = ToSigned(n, INT32_MIN, INT32_MAX, &s)))
            result->lVal = static_cast<LONG>(s);
        break;
    case VT_I8:
        if (SUCCEEDED(hr = ToSigned(n, INT64_MIN, INT64_MAX, &s)))
            result->llVal = s;
        break;
    case VT_UI1:
        if (SUCCEEDED(hr = ToUnsigned(n, UINT8_MAX, &u)))
            result->bVal = static_cast<BYTE>(u);
        break;
    case VT_UI2:
        if (SUCCEEDED(hr = ToUnsigned(n, UINT16_MAX, &u)))
            result->uiVal = static_cast<USHORT>(u);
        break;
    case VT_UI4:
    case VT_UINT:
        if (SUCCEEDED(hr = ToUnsigned(n, UINT32_MAX, &u)))
            result->ulVal = static_cast<ULONG>(u);
        break;
    case VT_UI8:
        if (SUCCEEDED(hr = ToUnsigned(n, UINT64_MAX, &u)))
            result->ullVal = u;
        break;
    case VT_R4: {
        const double d = n.AsDouble();
        if (std::isfinite(d) && std::fabs(d) > FLT_MAX)
            return DISP_E_OVERFLOW;
        result->fltVal = static_cast<float>(d);
        break;
    }
    case VT_R8:
        result->dblVal = n.AsDouble();
        break;
    case VT_DATE: {
        const double d = n.AsDouble();
        if (!(d >= kMinDate && d < kMaxDateExclusive))
            return DISP_E_OVERFLOW;
        result->date = d;
        break;
    }
    case VT_CY:
        hr = ToCurrency(n, &s);
        result->cyVal.int64 = s;
        break;
    case VT_BOOL:
        result->boolVal = n.IsZero() ? VARIANT_FALSE : VARIANT_TRUE;
        break;
    default:
        return DISP_E_TYPEMISMATCH;
    }
    if (SUCCEEDED(hr))
        result->vt = vt;
    return hr;
}

// printf's %G with the given number of significant digits, without the locale.
std::string FormatReal(double value, int precision)
{
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision);
    std::string text(buffer, ec == std::errc() ? end : buffer);
    for (char& c : text) {
        if (c == 'e')
            c = 'E';
    }
    return text;
}

// Whole currency units, then up to four decimals without trailing zeros.
std::string FormatCurrency(std::int64_t value)
{
    const bool negative = value < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / kCurrencyScale);
    std::uint64_t fraction = magnitude % kCurrencyScale;
    if (fraction) {
        std::string digits = std::to_string(fraction + kCurrencyScale).substr(1);
        while (digits.back() == '0')
            digits.pop_back();
        text += "." + digits;
    }
    return text;
}

HRESULT ToText(const VARIANT& v, USHORT wFlags, VARIANT* result)
{
    std::string text;
    switch (v.vt) {
    case VT_EMPTY:
        break;
    case VT_I1:
        text = std::to_string(static_cast<signed char>(v.cVal));
        break;
    case VT_UI1:
        text = std::to_string(v.bVal);
        break;
    case VT_I2:
        text = std::to_string(v.iVal);
        break;
    case VT_UI2:
        text = std::to_string(v.uiVal);
        break;
    case VT_I4:
        text = std::to_string(v.lVal);
        break;
    case VT_UI4:
        text = std::to_string(v.ulVal);
        break;
    case VT_INT:
        text = std::to_string(v.intVal);
        break;
    case VT_UINT:
        text = std::to_string(v.uintVal);
        break;
    case VT_I8:
        text = std::to_string(v.llVal);
        break;
    case VT_UI8:
        text = std::to_string(v.ullVal);
        break;
    case VT_R4:
        text = FormatReal(v.fltVal, 7);
        break;
    case VT_R8:
        text = FormatReal(v.dblVal, 15);
        break;
    case VT_CY:
        text = FormatCurrency(v.cyVal.int64);
        break;
    case VT_BOOL:
        if (wFlags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
            text = v.boolVal ? "True" : "False";
        else
            text = v.boolVal ? "-1" : "0";
        break;
    default:
        return DISP_E_TYPEMISMATCH;
    }
    const std::u16string wide(text.begin(), text.end());
    result->bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!result->bstrVal)
        return E_OUTOFMEMORY;
    result->vt = VT_BSTR;
    return S_OK;
}

HRESULT ToInterface(const VARIANT& v, VARTYPE vt, VARIANT* result)
{
    if ((v.vt != VT_UNKNOWN && v.vt != VT_DISPATCH) || !v.punkVal)
        return DISP_E_TYPEMISMATCH;
    void* converted = nullptr;
    const HRESULT hr = v.punkVal->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &converted);
    if (FAILED(hr) || !converted)
        return DISP_E_TYPEMISMATCH;
    result->punkVal = static_cast<IUnknown*>(converted);
    result->vt = vt;
    return S_OK;
}

// Converts a value that is not held by reference; result starts out VT_EMPTY.
HRESULT Convert(const VARIANT& source, USHORT wFlags, VARTYPE vt, VARIANT* result)
{
    if (source.vt == vt)
        return VariantCopy(result, &source);
    if ((source.vt & VT_ARRAY) || (vt & VT_ARRAY))
        return DISP_E_TYPEMISMATCH;
    switch (vt) {
    case VT_EMPTY:
        return S_OK;
    case VT_NULL:
    case VT_ERROR:
    case VT_DECIMAL:
        return DISP_E_TYPEMISMATCH;
    case VT_BSTR:
        return ToText(source, wFlags, result);
    case VT_UNKNOWN:
    case VT_DISPATCH:
        return ToInterface(source, vt, result);
    default:
        break;
    }
    // Dates are numbers, but their text is a calendar date, which is not provided here.
    if (vt == VT_DATE && source.vt == VT_BSTR)
        return DISP_E_TYPEMISMATCH;
    Number number;
    const HRESULT hr = ReadNumber(source, vt, &number);
    if (FAILED(hr))
        return hr;
    return WriteNumber(number, vt, result);
}

}  // namespace

HRESULT WINAPI VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt)
{
    return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}

// The source is dereferenced into a temporary first, so that the destination may be the
// source; the destination changes only when the conversion succeeds.
HRESULT WINAPI VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid, USHORT wFlags,
                                   VARTYPE vt)
{
    UNREFERENCED_PARAMETER(lcid);
    if (!pvargDest || !pvarSrc)
        return E_INVALIDARG;
    if (!qor::com::IsValidVariantType(pvarSrc->vt))
        return DISP_E_BADVARTYPE;
    if ((vt & VT_BYREF) || (vt != VT_EMPTY && vt != VT_NULL && !qor::com::IsValidVariantType(vt)))
        return DISP_E_BADVARTYPE;
    VARIANT source;
    VariantInit(&source);
    HRESULT hr = VariantCopyInd(&source, pvarSrc);
    if (FAILED(hr))
        return hr;
    VARIANT result;
    VariantInit(&result);
    hr = Convert(source, wFlags, vt, &result);
    VariantClear(&source);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    std::memcpy(pvargDest, &result, sizeof(VARIANT));
    return S_OK;
}
