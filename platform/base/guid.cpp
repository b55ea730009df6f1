// GUID text in registry form: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex.
#include <objbase.h>

namespace {

constexpr int kGuidChars = 38;  // without the terminating NUL

int HexValue(OLECHAR c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// Reads `digits` hex digits from text[pos...]; false when any is not a hex digit.
bool ReadHex(LPCOLESTR text, int pos, int digits, std::uint64_t* value)
{
    std::uint64_t v = 0;
    for (int i = 0; i < digits; ++i) {
        const int h = HexValue(text[pos + i]);
        if (h < 0)
            return false;
        v = (v << 4) | static_cast<std::uint64_t>(h);
    }
    *value = v;
    return true;
}

bool ParseGuid(LPCOLESTR text, GUID* guid)
{
    for (int i = 0; i < kGuidChars; ++i)
        if (!text[i])
            return false;
    if (text[0] != u'{' || text[9] != u'-' || text[14] != u'-' || text[19] != u'-' || text[24] != u'-' ||
        text[37] != u'}' || text[38] != 0)
        return false;
    std::uint64_t v;
    GUID g{};
    if (!ReadHex(text, 1, 8, &v))
        return false;
    g.Data1 = static_cast<std::uint32_t>(v);
    if (!ReadHex(text, 10, 4, &v))
        return false;
    g.Data2 = static_cast<std::uint16_t>(v);
    if (!ReadHex(text, 15, 4, &v))
        return false;
    g.Data3 = static_cast<std::uint16_t>(v);
    static const int kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(text, kBytePos[i], 2, &v))
            return false;
        g.Data4[i] = static_cast<std::uint8_t>(v);
    }
    *guid = g;
    return true;
}

}  // namespace

int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax)
{
    if (!lpsz || cchMax < kGuidChars + 1)
        return 0;
    static const char kHex[] = "0123456789ABCDEF";
    int pos = 0;
    auto put = [&](std::uint64_t value, int digits) {
        for (int i = digits - 1; i >= 0; --i)
            lpsz[pos++] = static_cast<OLECHAR>(kHex[(value >> (4 * i)) & 0xF]);
    };
    lpsz[pos++] = u'{';
    put(rguid.Data1, 8);
    lpsz[pos++] = u'-';
    put(rguid.Data2, 4);
    lpsz[pos++] = u'-';
    put(rguid.Data3, 4);
    lpsz[pos++] = u'-';
    put(rguid.Data4[0], 2);
    put(rguid.Data4[1], 2);
    lpsz[pos++] = u'-';
    for (int i = 2; i < 8; ++i)
        put(rguid.Data4[i], 2);
    lpsz[pos++] = u'}';
    lpsz[pos++] = 0;
    return pos;
}

// A null or empty string is the null class id, as on Windows. Program ids are not
// supported: there is no ProgID registry to look them up in.
HRESULT WINAPI CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid)
{
    if (!pclsid)
        return E_INVALIDARG;
    if (!lpsz || !*lpsz) {
        *pclsid = GUID_NULL;
        return S_OK;
    }
    if (!ParseGuid(lpsz, pclsid)) {
        *pclsid = GUID_NULL;
        return CO_E_CLASSSTRING;
    }
    return S_OK;
}

HRESULT WINAPI IIDFromString(LPCOLESTR lpsz, LPIID lpiid)
{
    if (!lpiid)
        return E_INVALIDARG;
    if (!lpsz || !*lpsz) {
        *lpiid = GUID_NULL;
        return S_OK;
    }
    return ParseGuid(lpsz, lpiid) ? S_OK : E_INVALIDARG;
}
