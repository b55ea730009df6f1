// GetProfileIntW: win.ini as Windows keeps it, mapped into the current user's registry.
#include <winbase.h>
#include <winreg.h>

#include <string>
#include <vector>

namespace {

// The win.ini sections that Windows maps into HKEY_CURRENT_USER; other sections would live
// in a win.ini file, and there is none here.
struct MappedSection {
    LPCWSTR section;
    LPCWSTR key;
};
constexpr MappedSection kMappedSections[] = {
    {u"windows", u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows"},
    {u"desktop", u"Control Panel\\Desktop"},
    {u"intl", u"Control Panel\\International"},
};

bool ReadText(LPCWSTR path, LPCWSTR name, std::u16string* text)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = REG_NONE;
    DWORD size = 0;
    bool found = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
                 (type == REG_SZ || type == REG_EXPAND_SZ);
    if (found) {
        std::vector<BYTE> data(size);
        found = RegQueryValueExW(key, name, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
        text->assign(reinterpret_cast<const WCHAR*>(data.data()), size / sizeof(WCHAR));
        text->resize(text->find(u'\0') == std::u16string::npos ? text->size() : text->find(u'\0'));
    }
    RegCloseKey(key);
    return found;
}

// The number at the start of the text, as the profile functions read it: blanks skipped, an
// optional sign, "0x" for hexadecimal; reading stops at the first character that is not a
// digit. A negative number comes back as its two's complement.
UINT ParseProfileInt(const std::u16string& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    UINT base = 10;
    if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    UINT value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i];
        UINT digit = 0;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            break;
        value = value * base + digit;
    }
    return negative ? 0u - value : value;
}

}  // namespace

UINT WINAPI GetProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault)
{
    if (!lpAppName || !lpKeyName)
        return static_cast<UINT>(nDefault);
    for (const auto& mapped : kMappedSections) {
        std::u16string text;
        if (lstrcmpiW(lpAppName, mapped.section) == 0)
            return ReadText(mapped.key, lpKeyName, &text) && !text.empty() ? ParseProfileInt(text)
                                                                            : static_cast<UINT>(nDefault);
    }
    return static_cast<UINT>(nDefault);
}
