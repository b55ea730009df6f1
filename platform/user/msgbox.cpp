// MessageBoxW through a handler that the host can replace.
#include "user_private.h"

#include <cstdio>

#include <winbase.h>

#include "qor_text.h"
#include "qorheadless.h"

namespace qor::user {
namespace {

struct Handler {
    std::mutex lock;
    QORMESSAGEBOXHANDLER handler = nullptr;
    void* context = nullptr;
};

Handler& H()
{
    static Handler handler;
    return handler;
}

// Without a handler the box "is answered" with its default button, as a user pressing Enter.
int DefaultAnswer(UINT type)
{
    static const int kButtons[][3] = {{IDOK, 0, 0},          {IDOK, IDCANCEL, 0},         {IDABORT, IDRETRY, IDIGNORE},
                                      {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO, 0},            {IDRETRY, IDCANCEL, 0},
                                      {IDCANCEL, IDTRYAGAIN, IDCONTINUE}};
    const int* buttons = kButtons[type & MB_TYPEMASK];
    const UINT index = (type & MB_DEFMASK) >> 8;
    return index < 3 && buttons[index] ? buttons[index] : buttons[0];
}

}  // namespace
}  // namespace qor::user

using namespace qor::user;

int WINAPI MessageBoxW(HWND hwnd, LPCWSTR text, LPCWSTR caption, UINT type)
{
    if (hwnd && !LookupWindowOrFail(hwnd)) return 0;
    if ((type & MB_TYPEMASK) > MB_CANCELTRYCONTINUE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!caption) caption = u"Error";  // the default caption of Windows
    if (!text) text = u"";
    QORMESSAGEBOXHANDLER handler;
    void* context;
    {
        std::lock_guard<std::mutex> hold(H().lock);
        handler = H().handler;
        context = H().context;
    }
    if (handler) return handler(hwnd, text, caption, type, context);
    std::fprintf(stderr, "%s: %s\n", qor::ToUtf8(caption).c_str(), qor::ToUtf8(text).c_str());
    return DefaultAnswer(type);
}

QORMESSAGEBOXHANDLER WINAPI QorSetMessageBoxHandler(QORMESSAGEBOXHANDLER handler, void* context)
{
    std::lock_guard<std::mutex> hold(H().lock);
    const QORMESSAGEBOXHANDLER previous = H().handler;
    H().handler = handler;
    H().context = context;
    return previous;
}
