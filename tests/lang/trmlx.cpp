// A stand-in for the suite's language library. It answers with the ':'-separated codes of
// QOR_TEST_TRMLX_LANGUAGES (unset: the call fails), and only a caller that keeps the
// library's contract: names asked for, a zeroed buffer of 2048 characters.
#include <cstdlib>
#include <cstring>

#include <windows.h>

extern "C" __attribute__((visibility("default"))) BOOL WINAPI GetOriginalPreferredUILanguagesListW(
    DWORD dwFlags, LPWSTR pwszLanguages)
{
    const int cchBuffer = 2048;
    const char* languages = std::getenv("QOR_TEST_TRMLX_LANGUAGES");
    if (!languages || dwFlags != MUI_LANGUAGE_NAME || !pwszLanguages)
        return FALSE;
    for (int i = 0; i < cchBuffer; ++i) {
        if (pwszLanguages[i] != 0)
            return FALSE;
    }
    // A list of exactly 2048 characters fills the buffer without a terminator.
    const size_t length = std::strlen(languages);
    for (size_t i = 0; i < length && i < cchBuffer; ++i)
        pwszLanguages[i] = static_cast<WCHAR>(languages[i]);
    return TRUE;
}
