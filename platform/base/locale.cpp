// The thread's locale.
#include <winbase.h>

namespace {

constexpr LCID kEnglishUnitedStates = 0x0409;

thread_local LCID t_threadLocale = kEnglishUnitedStates;

}  // namespace

LCID WINAPI GetUserDefaultLCID() { return kEnglishUnitedStates; }

LCID WINAPI GetSystemDefaultLCID() { return kEnglishUnitedStates; }

LCID WINAPI GetThreadLocale() { return t_threadLocale; }

BOOL WINAPI SetThreadLocale(LCID Locale)
{
    if (Locale == LOCALE_USER_DEFAULT)
        Locale = GetUserDefaultLCID();
    else if (Locale == LOCALE_SYSTEM_DEFAULT)
        Locale = GetSystemDefaultLCID();
    // An LCID is a language id (primary language in the low 10 bits) and a sort id (bits
    // 16 to 19, only the default 0 here); the bits above are reserved.
    if ((Locale & 0x3FF) == 0 || (Locale >> 16) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    t_threadLocale = Locale;
    return TRUE;
}
