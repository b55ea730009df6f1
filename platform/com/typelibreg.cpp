// Type library registration under TypeLib\{libid}\<version> (the keys are listed in
// oleauto.h), machine-wide through HKEY_CLASSES_ROOT or for the user under
// HKEY_CURRENT_USER\Software\Classes.
#include <cstdio>
#include <string>

#include <objbase.h>
#include <oleauto.h>
#include <winbase.h>
#include <winreg.h>

namespace {

// A key handle closed on every path out.
struct KeyHandle {
    HKEY hkey = nullptr;
    KeyHandle() = default;
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    ~KeyHandle()
    {
        if (hkey)
            RegCloseKey(hkey);
    }
};

std::u16string Ascii(const char* text) { return std::u16string(text, text + std::char_traits<char>::length(text)); }

std::u16string Hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return Ascii(text);
}

// "TypeLib\{libid}" and "<major>.<minor>", the version in hex as Windows writes it.
std::u16string LibraryPath(REFGUID libid)
{
    WCHAR guid[39];
    StringFromGUID2(libid, guid, 39);
    return std::u16string(u"TypeLib\\") + guid;
}

std::u16string VersionName(WORD major, WORD minor) { return Hex(major) + u"." + Hex(minor); }

const char16_t* SysKindName(SYSKIND syskind)
{
    switch (syskind) {
    case SYS_WIN16:
        return u"win16";
    case SYS_WIN32:
        return u"win32";
    case SYS_MAC:
        return u"mac";
    case SYS_WIN64:
        return u"win64";
    }
    return nullptr;
}

bool SetDefault(HKEY parent, const std::u16string& path, const std::u16string& text)
{
    KeyHandle key;
    if (RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key.hkey,
                        nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(key.hkey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(char16_t))) == ERROR_SUCCESS;
}

// The classes root of the registration: the merged HKEY_CLASSES_ROOT, or the user's own.
bool OpenClasses(bool forUser, bool create, KeyHandle* owned, HKEY* root)
{
    if (!forUser) {
        *root = HKEY_CLASSES_ROOT;
        return true;
    }
    const LSTATUS status = create ? RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Classes", 0, nullptr,
                                                    REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                                                    &owned->hkey, nullptr)
                                  : RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Classes", 0, KEY_READ | KEY_WRITE,
                                                  &owned->hkey);
    *root = owned->hkey;
    return status == ERROR_SUCCESS;
}

HRESULT Register(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir, bool forUser)
{
    if (!ptlib || !szFullPath)
        return E_INVALIDARG;
    TLIBATTR* attr = nullptr;
    HRESULT hr = ptlib->GetLibAttr(&attr);
    if (FAILED(hr))
        return hr;
    const TLIBATTR lib = *attr;
    ptlib->ReleaseTLibAttr(attr);
    BSTR name = nullptr, doc = nullptr;
    hr = ptlib->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
    if (FAILED(hr))
        return hr;
    const std::u16string title = doc && doc[0] ? doc : name ? name : u"";
    SysFreeString(name);
    SysFreeString(doc);
    const char16_t* sysKind = SysKindName(lib.syskind);
    if (!sysKind)
        return E_INVALIDARG;

    KeyHandle owned;
    HKEY root = nullptr;
    if (!OpenClasses(forUser, true, &owned, &root))
        return TYPE_E_REGISTRYACCESS;
    const std::u16string version = LibraryPath(lib.guid) + u"\\" + VersionName(lib.wMajorVerNum, lib.wMinorVerNum);
    char flags[8];
    std::snprintf(flags, sizeof flags, "%u", static_cast<unsigned>(lib.wLibFlags & ~LIBFLAG_FHASDISKIMAGE));
    const bool written = SetDefault(root, version, title) &&
                         SetDefault(root, version + u"\\" + Hex(lib.lcid) + u"\\" + sysKind, szFullPath) &&
                         SetDefault(root, version + u"\\FLAGS", Ascii(flags)) &&
                         SetDefault(root, version + u"\\HELPDIR", szHelpDir ? szHelpDir : u"");
    return written ? S_OK : TYPE_E_REGISTRYACCESS;
}

DWORD SubKeyCount(HKEY key)
{
    DWORD count = 0;
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS
               ? count
               : 1;  // unknown: keep the key
}

// True when the version key holds no locale subkey, only FLAGS and HELPDIR (or nothing).
bool OnlyAttributes(HKEY version)
{
    WCHAR name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        const LSTATUS status = RegEnumKeyExW(version, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            return true;
        if (status != ERROR_SUCCESS)
            return false;
        if (lstrcmpiW(name, u"FLAGS") != 0 && lstrcmpiW(name, u"HELPDIR") != 0)
            return false;
    }
}

HRESULT Unregister(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind, bool forUser)
{
    const char16_t* sysKind = SysKindName(syskind);
    if (!sysKind)
        return E_INVALIDARG;
    KeyHandle owned;
    HKEY root = nullptr;
    if (!OpenClasses(forUser, false, &owned, &root))
        return TYPE_E_REGISTRYACCESS;
    const std::u16string library = LibraryPath(libID);
    const std::u16string versionName = VersionName(wVerMajor, wVerMinor);
    const std::u16string lcidName = Hex(lcid);
    KeyHandle version;
    if (RegOpenKeyExW(root, (library + u"\\" + versionName).c_str(), 0, KEY_READ | KEY_WRITE, &version.hkey) !=
        ERROR_SUCCESS)
        return TYPE_E_REGISTRYACCESS;
    {
        KeyHandle locale;
        if (RegOpenKeyExW(version.hkey, lcidName.c_str(), 0, KEY_READ | KEY_WRITE, &locale.hkey) == ERROR_SUCCESS) {
            const LSTATUS status = RegDeleteTreeW(locale.hkey, sysKind);
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
                return TYPE_E_REGISTRYACCESS;
            if (SubKeyCount(locale.hkey) == 0)
                RegDeleteKeyW(version.hkey, lcidName.c_str());
        }
    }
    if (OnlyAttributes(version.hkey)) {
        RegCloseKey(version.hkey);
        version.hkey = nullptr;
        if (RegDeleteTreeW(root, (library + u"\\" + versionName).c_str()) != ERROR_SUCCESS)
            return TYPE_E_REGISTRYACCESS;
        KeyHandle libraryKey;
        if (RegOpenKeyExW(root, library.c_str(), 0, KEY_READ, &libraryKey.hkey) == ERROR_SUCCESS &&
            SubKeyCount(libraryKey.hkey) == 0) {
            RegCloseKey(libraryKey.hkey);
            libraryKey.hkey = nullptr;
            RegDeleteKeyW(root, library.c_str());
        }
    }
    return S_OK;
}

}  // namespace

HRESULT WINAPI RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir)
{
    return Register(ptlib, szFullPath, szHelpDir, false);
}

HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* ptlib, OLECHAR* szFullPath, OLECHAR* szHelpDir)
{
    return Register(ptlib, szFullPath, szHelpDir, true);
}

HRESULT WINAPI UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind)
{
    return Unregister(libID, wVerMajor, wVerMinor, lcid, syskind, false);
}

HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libID, WORD wMajorVerNum, WORD wMinorVerNum, LCID lcid,
                                        SYSKIND syskind)
{
    return Unregister(libID, wMajorVerNum, wMinorVerNum, lcid, syskind, true);
}
