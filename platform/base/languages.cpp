// The user's preferred user-interface languages (kernel32).
//
// Windows keeps the list in the user's settings. Here the user states it the way Linux
// programs read it: LANGUAGE, a ':'-separated list in order of preference, and when that
// gives nothing the first of LC_ALL, LC_MESSAGES and LANG that names a language. A locale
// "fr_FR.UTF-8@euro" gives the language name "fr-FR": codeset and modifier dropped, '_'
// made '-', the subtags in the case Windows writes them.
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <winbase.h>

namespace {

// LOCALE_NAME_MAX_LENGTH, terminator included.
constexpr size_t kMaxLanguageName = 85;

bool IsAsciiAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiAlnum(char c)
{
    return IsAsciiAlpha(c) || (c >= '0' && c <= '9');
}

char16_t Lower(char c)
{
    return static_cast<char16_t>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

char16_t Upper(char c)
{
    return static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

// One subtag in Windows' case: the language in lower case, a two-letter region in upper
// case, a four-letter script with a capital, anything else in lower case.
std::u16string SubtagName(std::string_view subtag, bool isLanguage)
{
    std::u16string name;
    for (size_t i = 0; i < subtag.size(); ++i) {
        const bool upper = !isLanguage && (subtag.size() == 2 || (subtag.size() == 4 && i == 0));
        name += upper ? Upper(subtag[i]) : Lower(subtag[i]);
    }
    return name;
}

// The language name of one locale entry, or empty when the entry names none (C, POSIX, or
// text that is not a locale name: the environment is not trusted).
std::u16string LanguageNameOfLocale(std::string_view locale)
{
    locale = locale.substr(0, locale.find_first_of(".@"));
    if (locale == "C" || locale == "POSIX")
        return {};
    std::u16string name;
    bool isLanguage = true;
    while (true) {
        const size_t end = locale.find_first_of("_-");
        const std::string_view subtag = locale.substr(0, end);
        if (subtag.empty() || subtag.size() > 8)
            return {};
        for (char c : subtag) {
            if (isLanguage ? !IsAsciiAlpha(c) : !IsAsciiAlnum(c))
                return {};
        }
        if (!isLanguage)
            name += u'-';
        name += SubtagName(subtag, isLanguage);
        if (end == std::string_view::npos)
            break;
        locale.remove_prefix(end + 1);
        isLanguage = false;
    }
    return name.size() < kMaxLanguageName ? name : std::u16string();
}

// An environment variable that is set and not empty (POSIX treats an empty one as unset).
std::string_view Variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string_view(value) : std::string_view();
}

void AddLanguage(std::vector<std::u16string>& languages, std::string_view locale)
{
    std::u16string name = LanguageNameOfLocale(locale);
    if (name.empty())
        return;
    for (const std::u16string& known : languages) {
        if (known == name)
            return;  // Windows lists each language once
    }
    languages.push_back(std::move(name));
}

std::vector<std::u16string> PreferredLanguages()
{
    std::vector<std::u16string> languages;
    std::string_view list = Variable("LANGUAGE");
    while (!list.empty()) {
        const size_t colon = list.find(':');
        AddLanguage(languages, list.substr(0, colon));
        list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (!languages.empty())
            break;
        AddLanguage(languages, Variable(name));
    }
    return languages;
}

}  // namespace

// Windows always reports at least one language (the system's) and keeps language ids for
// MUI_LANGUAGE_ID. This platform differs on purpose: a user who states no language gets an
// empty list (count 0, the buffer just its two terminators), so that the caller's own
// default applies; and there is no table of language ids, so MUI_LANGUAGE_ID fails with
// ERROR_NOT_SUPPORTED.
BOOL WINAPI GetUserPreferredUILanguages(DWORD dwFlags, PULONG pulNumLanguages, PZZWSTR pwszLanguagesBuffer,
                                        PULONG pcchLanguagesBuffer)
{
    const DWORD formats = MUI_LANGUAGE_ID | MUI_LANGUAGE_NAME;
    if ((dwFlags & ~formats) != 0 || (dwFlags & formats) == formats || !pulNumLanguages || !pcchLanguagesBuffer ||
        (!pwszLanguagesBuffer && *pcchLanguagesBuffer != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (dwFlags & MUI_LANGUAGE_ID) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    const std::vector<std::u16string> languages = PreferredLanguages();
    std::u16string multiString;
    for (const std::u16string& name : languages) {
        multiString += name;
        multiString += u'\0';
    }
    multiString.append(languages.empty() ? 2 : 1, u'\0');

    const ULONG required = static_cast<ULONG>(multiString.size());
    const ULONG available = *pcchLanguagesBuffer;
    *pcchLanguagesBuffer = required;
    if (pwszLanguagesBuffer && available < required) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (pwszLanguagesBuffer)
        multiString.copy(pwszLanguagesBuffer, required);
    *pulNumLanguages = static_cast<ULONG>(languages.size());
    return TRUE;
}
