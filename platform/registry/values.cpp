// Values: typed byte strings stored exactly as the caller gave them.
#include "registry_private.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace qor::registry {

namespace {

constexpr std::size_t kMaxValueNameChars = 16383;

std::u16string_view ValueName(LPCWSTR name)
{
    const std::u16string_view view = name ? std::u16string_view(name) : std::u16string_view();
    if (view.size() > kMaxValueNameChars)
        Fail(ERROR_INVALID_PARAMETER);
    return view;
}

// The value of the handle's key; fails with ERROR_FILE_NOT_FOUND when it has none.
StoredValue ReadValue(HKEY hKey, LPCWSTR name)
{
    const OpenKey key = LookupKey(hKey);
    if (!(key.access & KEY_QUERY_VALUE))
        Fail(ERROR_ACCESS_DENIED);
    const std::u16string_view valueName = ValueName(name);
    if (key.id == kNoKey)
        Fail(ERROR_FILE_NOT_FOUND);
    Hive& hive = GetHive(key.hive);
    Hive::Transaction tx(hive, false);
    RequireAlive(hive, key);
    std::optional<StoredValue> value = hive.GetValue(key.id, valueName);
    tx.Commit();
    if (!value)
        Fail(ERROR_FILE_NOT_FOUND);
    return std::move(*value);
}

// Hands data to a caller's buffer the Win32 way: a null buffer asks for the size only; a
// short buffer gets ERROR_MORE_DATA and the size it needs.
void CopyOut(const std::vector<BYTE>& data, LPBYTE buffer, LPDWORD size)
{
    const DWORD needed = static_cast<DWORD>(data.size());
    if (buffer) {
        if (*size < needed) {
            *size = needed;
            Fail(ERROR_MORE_DATA);
        }
        std::copy(data.begin(), data.end(), buffer);
    }
    if (size)
        *size = needed;
}

bool IsText(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// RegGetValueW's type restriction flag for a value type (0 for types it cannot name).
DWORD TypeFlag(DWORD type)
{
    switch (type) {
    case REG_NONE: return RRF_RT_REG_NONE;
    case REG_SZ: return RRF_RT_REG_SZ;
    case REG_EXPAND_SZ: return RRF_RT_REG_EXPAND_SZ;
    case REG_BINARY: return RRF_RT_REG_BINARY;
    case REG_DWORD: return RRF_RT_REG_DWORD;
    case REG_MULTI_SZ: return RRF_RT_REG_MULTI_SZ;
    case REG_QWORD: return RRF_RT_REG_QWORD;
    default: return 0;
    }
}

// %NAME% replaced by the environment variable NAME; unknown names stay as written.
std::vector<BYTE> ExpandEnvironment(const std::vector<BYTE>& data)
{
    std::u16string text(data.size() / 2, u'\0');
    if (!text.empty())
        std::memcpy(text.data(), data.data(), text.size() * 2);
    text = text.substr(0, text.find(u'\0'));
    std::u16string expanded;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t open = text.find(u'%', pos);
        const std::size_t close = open == std::u16string::npos ? open : text.find(u'%', open + 1);
        if (close == std::u16string::npos) {
            expanded.append(text, pos);
            break;
        }
        expanded.append(text, pos, open - pos);
        std::string name;
        for (std::size_t i = open + 1; i < close; ++i)
            name += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (value) {
            for (const char* p = value; *p; ++p)
                expanded += static_cast<char16_t>(static_cast<unsigned char>(*p));
            pos = close + 1;
        } else {
            expanded.append(text, open, close - open);
            pos = close;
        }
    }
    std::vector<BYTE> bytes((expanded.size() + 1) * 2, 0);
    std::copy_n(reinterpret_cast<const BYTE*>(expanded.data()), expanded.size() * 2, bytes.data());
    return bytes;
}

// The terminating NULs RegGetValueW guarantees: one for a string, two for a multi-string.
void Terminate(std::vector<BYTE>& data, DWORD type)
{
    if (data.size() % 2)
        data.push_back(0);
    const std::size_t wanted = type == REG_MULTI_SZ ? 2 : 1;
    std::size_t present = 0;
    while (present < wanted && data.size() >= 2 * (present + 1) && data[data.size() - 2 * present - 1] == 0 &&
           data[data.size() - 2 * present - 2] == 0)
        ++present;
    data.insert(data.end(), 2 * (wanted - present), 0);
}

}  // namespace

}  // namespace qor::registry

using namespace qor::registry;

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                              DWORD cbData)
{
    (void)Reserved;
    return Guarded([&] {
        const OpenKey key = LookupKey(hKey);
        if (!(key.access & KEY_SET_VALUE))
            Fail(ERROR_ACCESS_DENIED);
        if (!lpData && cbData)
            Fail(ERROR_NOACCESS);
        const std::u16string_view name = ValueName(lpValueName);
        const OpenKey target = WriteTarget(key);
        Hive& hive = GetHive(target.hive);
        Hive::Transaction tx(hive, true);
        RequireAlive(hive, target);
        hive.SetValue(target.id, name, dwType, lpData, cbData);
        tx.Commit();
    });
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData)
{
    if (lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    return Guarded([&] {
        const StoredValue value = ReadValue(hKey, lpValueName);
        if (lpType)
            *lpType = value.type;
        CopyOut(value.data, lpData, lpcbData);
    });
}

LSTATUS WINAPI RegGetValueW(HKEY hkey, LPCWSTR lpSubKey, LPCWSTR lpValue, DWORD dwFlags, LPDWORD pdwType,
                            void* pvData, LPDWORD pcbData)
{
    const DWORD types = dwFlags & RRF_RT_ANY;
    // An expanded string comes back as REG_SZ, so REG_EXPAND_SZ alone is asked for only
    // together with RRF_NOEXPAND.
    if ((pvData && !pcbData) || !types || (types == RRF_RT_REG_EXPAND_SZ && !(dwFlags & RRF_NOEXPAND)))
        return ERROR_INVALID_PARAMETER;
    const DWORD capacity = pcbData ? *pcbData : 0;
    HKEY key = hkey;
    LSTATUS status = ERROR_SUCCESS;
    if (lpSubKey && *lpSubKey)
        status = RegOpenKeyExW(hkey, lpSubKey, 0, KEY_QUERY_VALUE, &key);
    if (status == ERROR_SUCCESS) {
        status = Guarded([&] {
            StoredValue value = ReadValue(key, lpValue);
            if (!(TypeFlag(value.type) & types))
                Fail(ERROR_UNSUPPORTED_TYPE);
            if ((types == RRF_RT_DWORD && value.data.size() != 4) || (types == RRF_RT_QWORD && value.data.size() != 8))
                Fail(ERROR_DATATYPE_MISMATCH);
            if (value.type == REG_EXPAND_SZ && !(dwFlags & RRF_NOEXPAND)) {
                value.data = ExpandEnvironment(value.data);
                value.type = REG_SZ;
            }
            if (IsText(value.type))
                Terminate(value.data, value.type);
            if (pdwType)
                *pdwType = value.type;
            CopyOut(value.data, static_cast<LPBYTE>(pvData), pcbData);
        });
        if (key != hkey)
            RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS && pvData && (dwFlags & RRF_ZEROONFAILURE))
        std::memset(pvData, 0, capacity);
    return status;
}

LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    return Guarded([&] {
        const OpenKey key = LookupKey(hKey);
        if (!(key.access & KEY_QUERY_VALUE))
            Fail(ERROR_ACCESS_DENIED);
        if (key.id == kNoKey)
            Fail(ERROR_NO_MORE_ITEMS);
        Hive& hive = GetHive(key.hive);
        Hive::Transaction tx(hive, false);
        RequireAlive(hive, key);
        const std::optional<StoredValue> value = hive.ValueAt(key.id, dwIndex);
        tx.Commit();
        if (!value)
            Fail(ERROR_NO_MORE_ITEMS);
        if (value->name.size() >= *lpcchValueName)
            Fail(ERROR_MORE_DATA);
        std::copy(value->name.begin(), value->name.end(), lpValueName);
        lpValueName[value->name.size()] = u'\0';
        *lpcchValueName = static_cast<DWORD>(value->name.size());
        if (lpType)
            *lpType = value->type;
        CopyOut(value->data, lpData, lpcbData);
    });
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName)
{
    return Guarded([&] {
        const OpenKey key = LookupKey(hKey);
        if (!(key.access & KEY_SET_VALUE))
            Fail(ERROR_ACCESS_DENIED);
        const std::u16string_view name = ValueName(lpValueName);
        if (key.id == kNoKey)
            Fail(ERROR_FILE_NOT_FOUND);
        Hive& hive = GetHive(key.hive);
        Hive::Transaction tx(hive, true);
        RequireAlive(hive, key);
        if (!hive.DeleteValue(key.id, name))
            Fail(ERROR_FILE_NOT_FOUND);
        tx.Commit();
    });
}
