// FindResourceW and friends, and LoadStringW over the string blocks of RT_STRING.
#include <winbase.h>

#include <algorithm>

#include "resources_private.h"

using namespace qor::resources;

namespace {

const QorResourceEntry* EntryOf(HRSRC hResInfo)
{
    const auto* entry = reinterpret_cast<const QorResourceEntry*>(hResInfo);
    return entry && IsEntry(entry) ? entry : nullptr;
}

}  // namespace

HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType)
{
    DWORD error = ERROR_SUCCESS;
    const QorResourceEntry* entry = FindEntry(hModule, lpName, lpType, &error);
    if (!entry) {
        SetLastError(error);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(const_cast<QorResourceEntry*>(entry));
}

// The HRSRC names its bytes by itself; hModule is not needed to find them (on Windows it
// is, and a wrong one gives wrong data).
HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo)
{
    UNREFERENCED_PARAMETER(hModule);
    const QorResourceEntry* entry = EntryOf(hResInfo);
    if (!entry) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<unsigned char*>(entry->data);
}

// A loaded resource's handle is its address, as on Windows.
LPVOID WINAPI LockResource(HGLOBAL hResData)
{
    return hResData;
}

DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo)
{
    UNREFERENCED_PARAMETER(hModule);
    const QorResourceEntry* entry = EntryOf(hResInfo);
    if (!entry) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return static_cast<DWORD>(entry->size);
}

// Resources live as long as their module; there is nothing to free (Windows answers FALSE
// too).
BOOL WINAPI FreeResource(HGLOBAL hResData)
{
    UNREFERENCED_PARAMETER(hResData);
    return FALSE;
}

int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax)
{
    if (!lpBuffer)
        return 0;
    // String n is the (n % 16)-th counted string of block n / 16 + 1.
    const UINT id = LOWORD(uID);
    HRSRC block = FindResourceW(hInstance, MAKEINTRESOURCEW(id / 16 + 1), RT_STRING);
    if (!block)
        return 0;
    const auto* words = static_cast<const WCHAR*>(LockResource(LoadResource(hInstance, block)));
    const DWORD count = SizeofResource(hInstance, block) / sizeof(WCHAR);
    DWORD at = 0;
    for (UINT i = 0; i < id % 16 && at < count; ++i)
        at += 1 + words[at];
    if (at >= count) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    const int length = static_cast<int>(std::min<DWORD>(words[at], count - at - 1));
    const WCHAR* text = words + at + 1;
    if (cchBufferMax == 0) {
        // The caller gets a read-only pointer to the text, which has no terminator.
        *reinterpret_cast<const WCHAR**>(lpBuffer) = text;
        return length;
    }
    if (cchBufferMax < 0)
        return 0;
    const int copied = std::min(length, cchBufferMax - 1);
    std::copy(text, text + copied, lpBuffer);
    lpBuffer[copied] = 0;
    return copied;
}
