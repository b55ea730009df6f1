// BSTR: UTF-16 text preceded by its length in bytes (4 bytes) and followed by a NUL.
// A null BSTR stands for the empty string wherever a BSTR is read.
#include <oleauto.h>

#include <cstdlib>
#include <cstring>

namespace {

// The block holds 4 bytes of padding, the 4-byte length and the text, so that the text
// keeps the 8-byte alignment of the allocation.
constexpr std::size_t kHeader = 8;
// The length prefix is 32 bits; longer strings are refused rather than cut.
constexpr std::size_t kMaxBytes = 0x7FFFFFF0;

std::uint8_t* BlockOf(BSTR bstr) { return reinterpret_cast<std::uint8_t*>(bstr) - kHeader; }

// A BSTR of `bytes` bytes copied from `source`; zeros when source is null (Windows leaves
// the content unspecified). Three NUL bytes follow, so that an odd byte count still ends
// with a whole NUL character.
BSTR AllocBytes(const void* source, std::size_t bytes)
{
    if (bytes > kMaxBytes)
        return nullptr;
    auto* block = static_cast<std::uint8_t*>(std::malloc(kHeader + bytes + 3));
    if (!block)
        return nullptr;
    const auto length = static_cast<std::uint32_t>(bytes);
    std::memset(block, 0, kHeader);
    std::memcpy(block + 4, &length, sizeof length);
    std::uint8_t* text = block + kHeader;
    if (source)
        std::memcpy(text, source, bytes);
    else
        std::memset(text, 0, bytes);
    std::memset(text + bytes, 0, 3);
    return reinterpret_cast<BSTR>(text);
}

std::size_t CharCount(const OLECHAR* psz)
{
    std::size_t n = 0;
    while (psz[n])
        ++n;
    return n;
}

OLECHAR FoldAscii(OLECHAR c) { return (c >= u'A' && c <= u'Z') ? static_cast<OLECHAR>(c + (u'a' - u'A')) : c; }

}  // namespace

BSTR WINAPI SysAllocString(const OLECHAR* psz)
{
    if (!psz)
        return nullptr;
    return AllocBytes(psz, CharCount(psz) * sizeof(OLECHAR));
}

BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui)
{
    if (ui > kMaxBytes / sizeof(OLECHAR))
        return nullptr;
    return AllocBytes(strIn, std::size_t{ui} * sizeof(OLECHAR));
}

BSTR WINAPI SysAllocStringByteLen(LPCSTR psz, UINT len) { return AllocBytes(psz, len); }

INT WINAPI SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, unsigned int len)
{
    if (!pbstr)
        return FALSE;
    // The source may lie inside the old string: copy before freeing.
    BSTR fresh = SysAllocStringLen(psz, len);
    if (!fresh)
        return FALSE;
    SysFreeString(*pbstr);
    *pbstr = fresh;
    return TRUE;
}

INT WINAPI SysReAllocString(BSTR* pbstr, const OLECHAR* psz)
{
    if (!pbstr)
        return FALSE;
    BSTR fresh = SysAllocString(psz);
    if (psz && !fresh)
        return FALSE;
    SysFreeString(*pbstr);
    *pbstr = fresh;
    return TRUE;
}

void WINAPI SysFreeString(BSTR bstrString)
{
    if (bstrString)
        std::free(BlockOf(bstrString));
}

UINT WINAPI SysStringByteLen(BSTR bstr)
{
    if (!bstr)
        return 0;
    std::uint32_t length;
    std::memcpy(&length, BlockOf(bstr) + 4, sizeof length);
    return length;
}

UINT WINAPI SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / sizeof(OLECHAR); }

// Compares code unit by code unit, then by length. Windows compares linguistically
// through the locale when one is given; this platform compares the same way for every
// locale, which is what exact key matching needs. NORM_IGNORECASE folds ASCII letters only.
HRESULT WINAPI VarBstrCmp(BSTR bstrLeft, BSTR bstrRight, LCID lcid, ULONG dwFlags)
{
    UNREFERENCED_PARAMETER(lcid);
    const UINT leftLength = SysStringLen(bstrLeft);
    const UINT rightLength = SysStringLen(bstrRight);
    const bool ignoreCase = (dwFlags & NORM_IGNORECASE) != 0;
    const UINT common = leftLength < rightLength ? leftLength : rightLength;
    for (UINT i = 0; i < common; ++i) {
        OLECHAR a = bstrLeft[i];
        OLECHAR b = bstrRight[i];
        if (ignoreCase) {
            a = FoldAscii(a);
            b = FoldAscii(b);
        }
        if (a != b)
            return a < b ? VARCMP_LT : VARCMP_GT;
    }
    if (leftLength == rightLength)
        return VARCMP_EQ;
    return leftLength < rightLength ? VARCMP_LT : VARCMP_GT;
}
