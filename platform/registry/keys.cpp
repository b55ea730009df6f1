// Keys: opening, creating, enumerating and deleting, and the merged view of
// HKEY_CLASSES_ROOT.
//
// HKEY_CLASSES_ROOT merges HKEY_CURRENT_USER\Software\Classes over
// HKEY_LOCAL_MACHINE\Software\Classes, key by key:
// - a path opened through it names the user's key when the user has one, else the machine's;
//   the handle is bound to that key, and its values are that key's values (values are not
//   merged);
// - its subkeys are the union of both sides' subkeys of the same path, the user's spelling
//   first;
// - values written through it go to the key the handle is bound to, so to the user's key when
//   that exists;
// - a new key goes to the side of its nearest existing ancestor in the merged view, and the
//   classes root itself counts as the machine's: a key created directly under
//   HKEY_CLASSES_ROOT lands in HKEY_LOCAL_MACHINE\Software\Classes;
// - deleting through it deletes the bound key (and, for RegDeleteTreeW, its subtree on that
//   side only); a machine key of the same path becomes visible again.
// Windows documents the merge for listed keys only; here every level merges the same way.
#include "registry_private.h"

#include <map>

namespace qor::registry {

namespace {

using Path = std::vector<std::u16string>;

constexpr std::size_t kMaxKeyNameChars = 255;
constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

const Path& ClassesPrefix()
{
    static const Path prefix{u"Software", u"Classes"};
    return prefix;
}

Path Join(const Path& a, const Path& b)
{
    Path joined = a;
    joined.insert(joined.end(), b.begin(), b.end());
    return joined;
}

// Subkey paths use '\' between names. A path may end with one '\'; a path that begins with
// '\' or holds an empty name in the middle is refused.
Path SplitPath(LPCWSTR subKey)
{
    Path path;
    if (!subKey)
        return path;
    std::u16string_view rest(subKey);
    if (!rest.empty() && rest.front() == u'\\')
        Fail(ERROR_BAD_PATHNAME);
    while (!rest.empty()) {
        const std::size_t separator = rest.find(u'\\');
        const std::u16string_view name = rest.substr(0, separator);
        if (name.empty())
            Fail(ERROR_BAD_PATHNAME);
        if (name.size() > kMaxKeyNameChars)
            Fail(ERROR_INVALID_PARAMETER);
        path.emplace_back(name);
        if (separator == std::u16string_view::npos)
            break;
        rest.remove_prefix(separator + 1);
    }
    return path;
}

// Generic rights map to the key rights; MAXIMUM_ALLOWED asks for whatever the hive grants.
REGSAM MapAccess(REGSAM sam)
{
    REGSAM access = sam & (STANDARD_RIGHTS_ALL | 0x3F);
    if (sam & GENERIC_READ)
        access |= KEY_READ;
    if (sam & GENERIC_WRITE)
        access |= KEY_WRITE;
    if (sam & GENERIC_EXECUTE)
        access |= KEY_EXECUTE;
    if (sam & (GENERIC_ALL | MAXIMUM_ALLOWED))
        access |= KEY_ALL_ACCESS;
    return access;
}

// A hive the user may only read (a read-only file, or none in an unwritable folder) refuses
// write access when the key is opened, as Windows does for a key the user may not change; so
// does a damaged one.
REGSAM GrantAccess(HiveId hive, REGSAM sam)
{
    REGSAM access = MapAccess(sam);
    if ((access & kWriteRights) && !GetHive(hive).Writable()) {
        if (!(sam & MAXIMUM_ALLOWED))
            Fail(GetHive(hive).WriteRefusal());
        access &= ~kWriteRights;
    }
    return access;
}

std::optional<KeyId> Walk(Hive& hive, KeyId from, const Path& path)
{
    std::optional<KeyId> key = from;
    for (const auto& name : path) {
        key = hive.FindChild(*key, name);
        if (!key)
            break;
    }
    return key;
}

KeyId WalkCreate(Hive& hive, KeyId from, const Path& path)
{
    KeyId key = from;
    for (const auto& name : path) {
        const std::optional<KeyId> child = hive.FindChild(key, name);
        key = child ? *child : hive.AddChild(key, name);
    }
    return key;
}

std::optional<KeyId> FindClassesKey(HiveId id, const Path& path)
{
    Hive& hive = GetHive(id);
    Hive::Transaction tx(hive, false);
    const std::optional<KeyId> key = Walk(hive, kRootKey, Join(ClassesPrefix(), path));
    tx.Commit();
    return key;
}

// The merged view's key at a path: the user's when it exists, else the machine's.
std::optional<OpenKey> FindMerged(const Path& path)
{
    for (HiveId hive : {HiveId::User, HiveId::Machine})
        if (const std::optional<KeyId> id = FindClassesKey(hive, path))
            return OpenKey{hive, *id, 0, true, false, path};
    return std::nullopt;
}

void CheckAlive(const OpenKey& key)
{
    Hive& hive = GetHive(key.hive);
    Hive::Transaction tx(hive, false);
    RequireAlive(hive, key);
    tx.Commit();
}

OpenKey ClassesRoot()
{
    OpenKey root = FindMerged({}).value_or(OpenKey{HiveId::Machine, kNoKey, 0, true, false, {}});
    root.access = KEY_ALL_ACCESS;
    root.predefined = true;
    return root;
}

// The key itself, for a subkey path that names no subkey.
OpenKey SameKey(const OpenKey& key)
{
    CheckAlive(key);
    return key;
}

std::optional<OpenKey> FindSubKey(const OpenKey& parent, const Path& sub)
{
    if (parent.merged) {
        CheckAlive(parent);
        return FindMerged(Join(parent.classesPath, sub));
    }
    Hive& hive = GetHive(parent.hive);
    Hive::Transaction tx(hive, false);
    RequireAlive(hive, parent);
    const std::optional<KeyId> id = Walk(hive, parent.id, sub);
    tx.Commit();
    if (!id)
        return std::nullopt;
    return OpenKey{parent.hive, *id, 0, false, false, {}};
}

OpenKey OpenSubKey(const OpenKey& parent, const Path& sub)
{
    std::optional<OpenKey> key = FindSubKey(parent, sub);
    if (!key)
        Fail(ERROR_FILE_NOT_FOUND);
    return *key;
}

// Creates the missing part of the path; returns the key and whether it was created.
std::pair<OpenKey, bool> CreateSubKey(const OpenKey& parent, const Path& sub)
{
    if (std::optional<OpenKey> existing = FindSubKey(parent, sub))
        return {*existing, false};
    if (!(parent.access & KEY_CREATE_SUB_KEY))
        Fail(ERROR_ACCESS_DENIED);
    OpenKey target = parent;
    Path below = sub;
    if (parent.merged) {
        const Path full = Join(parent.classesPath, sub);
        target = OpenKey{HiveId::Machine, kRootKey, 0, true, false, full};
        below = Join(ClassesPrefix(), full);
        for (std::size_t length = full.size() - 1; length > 0; --length) {
            if (std::optional<OpenKey> ancestor = FindMerged(Path(full.begin(), full.begin() + length))) {
                target.hive = ancestor->hive;
                break;
            }
        }
    }
    Hive& hive = GetHive(target.hive);
    Hive::Transaction tx(hive, true);
    if (!parent.merged)
        RequireAlive(hive, parent);  // it may have gone since it was looked up
    target.id = WalkCreate(hive, target.id, below);
    tx.Commit();
    return {target, true};
}

std::vector<std::u16string> SubKeyNames(const OpenKey& key)
{
    std::map<std::u16string, std::u16string> names;  // folded name -> name
    auto collect = [&](HiveId id, std::optional<KeyId> parent) {
        if (!parent)
            return;
        Hive& hive = GetHive(id);
        Hive::Transaction tx(hive, false);
        for (auto& child : hive.Children(*parent))
            names.emplace(FoldName(child.name), std::move(child.name));
        tx.Commit();
    };
    CheckAlive(key);
    if (key.merged) {
        collect(HiveId::User, FindClassesKey(HiveId::User, key.classesPath));
        collect(HiveId::Machine, FindClassesKey(HiveId::Machine, key.classesPath));
    } else {
        collect(key.hive, key.id);
    }
    std::vector<std::u16string> ordered;
    ordered.reserve(names.size());
    for (auto& entry : names)
        ordered.push_back(std::move(entry.second));
    return ordered;
}

bool IsPredefined(HKEY hKey)
{
    return hKey == HKEY_CLASSES_ROOT || hKey == HKEY_CURRENT_USER || hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_USERS;
}

bool IsRoot(const OpenKey& key)
{
    return key.predefined || key.id == kRootKey || key.id == kNoKey;
}

void DeleteKey(HKEY hKey, LPCWSTR lpSubKey)
{
    const OpenKey parent = LookupKey(hKey);
    if (!lpSubKey)
        Fail(ERROR_INVALID_PARAMETER);
    const Path sub = SplitPath(lpSubKey);
    const OpenKey key = sub.empty() ? parent : OpenSubKey(parent, sub);
    if (IsRoot(key))
        Fail(ERROR_ACCESS_DENIED);
    Hive& hive = GetHive(key.hive);
    Hive::Transaction tx(hive, true);
    RequireAlive(hive, key);
    if (hive.HasChildren(key.id))
        Fail(ERROR_ACCESS_DENIED);
    hive.DeleteKey(key.id);
    tx.Commit();
}

void FileTimeOut(std::uint64_t ticks, FILETIME* out)
{
    if (out) {
        out->dwLowDateTime = static_cast<DWORD>(ticks);
        out->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    }
}

}  // namespace

void RequireAlive(Hive& hive, const OpenKey& key)
{
    if (key.id != kNoKey && !hive.KeyExists(key.id))
        Fail(ERROR_KEY_DELETED);
}

OpenKey LookupKey(HKEY hKey)
{
    if (const OpenKey* key = FindOverride(hKey))
        return *key;
    if (hKey == HKEY_CLASSES_ROOT)
        return ClassesRoot();
    const std::pair<HKEY, HiveId> hives[] = {
        {HKEY_LOCAL_MACHINE, HiveId::Machine}, {HKEY_CURRENT_USER, HiveId::User}, {HKEY_USERS, HiveId::Users}};
    for (const auto& [predefined, hive] : hives)
        if (hKey == predefined)
            return OpenKey{hive, kRootKey, KEY_ALL_ACCESS, false, true, {}};
    if (const OpenKey* key = FindHandle(hKey))
        return *key;
    Fail(ERROR_INVALID_HANDLE);
}

OpenKey WriteTarget(const OpenKey& key)
{
    if (key.id != kNoKey)
        return key;
    Hive& hive = GetHive(HiveId::Machine);
    Hive::Transaction tx(hive, true);
    OpenKey target = key;
    target.id = WalkCreate(hive, kRootKey, ClassesPrefix());
    tx.Commit();
    return target;
}

}  // namespace qor::registry

using namespace qor::registry;

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    (void)ulOptions;  // REG_OPTION_OPEN_LINK: there are no symbolic links here
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    return Guarded([&] {
        const OpenKey parent = LookupKey(hKey);
        const Path sub = SplitPath(lpSubKey);
        if (sub.empty() && parent.predefined) {
            *phkResult = hKey;
            return;
        }
        OpenKey key = sub.empty() ? SameKey(parent) : OpenSubKey(parent, sub);
        key.predefined = false;
        key.access = GrantAccess(key.hive, samDesired);
        *phkResult = AddHandle(key);
    });
}

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition)
{
    // The class string and the security descriptor are not kept: nothing here reads them back.
    // Volatile keys are kept like the others (a deliberate difference: they outlive the session).
    (void)lpClass;
    (void)lpSecurityAttributes;
    (void)dwOptions;
    if (!phkResult || Reserved)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    return Guarded([&] {
        const OpenKey parent = LookupKey(hKey);
        if (!lpSubKey)
            Fail(ERROR_INVALID_PARAMETER);
        const Path sub = SplitPath(lpSubKey);
        auto [key, created] = sub.empty() ? std::pair(SameKey(parent), false) : CreateSubKey(parent, sub);
        key.predefined = false;
        key.access = GrantAccess(key.hive, samDesired);
        *phkResult = AddHandle(key);
        if (lpdwDisposition)
            *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    });
}

LSTATUS WINAPI RegCreateKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult)
{
    // Without a subkey: the predefined key itself, or a new handle to the key.
    if (!lpSubKey || !*lpSubKey)
        return RegOpenKeyExW(hKey, nullptr, 0, MAXIMUM_ALLOWED, phkResult);
    return RegCreateKeyExW(hKey, lpSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED, nullptr, phkResult,
                           nullptr);
}

LSTATUS WINAPI RegCloseKey(HKEY hKey)
{
    return Guarded([&] {
        if (!IsPredefined(hKey))
            RemoveHandle(hKey);
    });
}

LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPWSTR lpClass, LPDWORD lpcchClass, FILETIME* lpftLastWriteTime)
{
    if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass))
        return ERROR_INVALID_PARAMETER;
    return Guarded([&] {
        const OpenKey key = LookupKey(hKey);
        if (!(key.access & KEY_ENUMERATE_SUB_KEYS))
            Fail(ERROR_ACCESS_DENIED);
        const std::vector<std::u16string> names = SubKeyNames(key);
        if (dwIndex >= names.size())
            Fail(ERROR_NO_MORE_ITEMS);
        const std::u16string& name = names[dwIndex];
        if (name.size() >= *lpcchName)
            Fail(ERROR_MORE_DATA);
        std::copy(name.begin(), name.end(), lpName);
        lpName[name.size()] = u'\0';
        *lpcchName = static_cast<DWORD>(name.size());
        if (lpClass && *lpcchClass > 0) {
            lpClass[0] = u'\0';
            *lpcchClass = 0;
        }
        if (lpftLastWriteTime) {
            const std::optional<OpenKey> child = FindSubKey(key, {name});
            Hive& hive = GetHive(child ? child->hive : key.hive);
            Hive::Transaction tx(hive, false);
            FileTimeOut(child ? hive.WriteTime(child->id) : 0, lpftLastWriteTime);
            tx.Commit();
        }
    });
}

LSTATUS WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime)
{
    if (lpReserved || (lpClass && !lpcchClass))
        return ERROR_INVALID_PARAMETER;
    return Guarded([&] {
        const OpenKey key = LookupKey(hKey);
        if (!(key.access & KEY_QUERY_VALUE))
            Fail(ERROR_ACCESS_DENIED);
        const std::vector<std::u16string> names = SubKeyNames(key);
        std::size_t maxName = 0;
        for (const auto& name : names)
            maxName = std::max(maxName, name.size());
        ValueStats stats;
        std::uint64_t written = 0;
        if (key.id != kNoKey) {
            Hive& hive = GetHive(key.hive);
            Hive::Transaction tx(hive, false);
            RequireAlive(hive, key);
            stats = hive.Stats(key.id);
            written = hive.WriteTime(key.id);
            tx.Commit();
        }
        if (lpClass && *lpcchClass > 0)
            lpClass[0] = u'\0';
        if (lpcchClass)
            *lpcchClass = 0;
        if (lpcSubKeys)
            *lpcSubKeys = static_cast<DWORD>(names.size());
        if (lpcbMaxSubKeyLen)  // in characters, without the terminating NUL, as Windows reports it
            *lpcbMaxSubKeyLen = static_cast<DWORD>(maxName);
        if (lpcbMaxClassLen)
            *lpcbMaxClassLen = 0;
        if (lpcValues)
            *lpcValues = stats.count;
        if (lpcbMaxValueNameLen)
            *lpcbMaxValueNameLen = stats.maxNameChars;
        if (lpcbMaxValueLen)
            *lpcbMaxValueLen = stats.maxDataBytes;
        if (lpcbSecurityDescriptor)  // keys carry no security descriptor here
            *lpcbSecurityDescriptor = 0;
        FileTimeOut(written, lpftLastWriteTime);
    });
}

LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey)
{
    return Guarded([&] { DeleteKey(hKey, lpSubKey); });
}

LSTATUS WINAPI RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired, DWORD Reserved)
{
    (void)samDesired;  // one registry view: the WOW64 flags change nothing
    if (Reserved)
        return ERROR_INVALID_PARAMETER;
    return Guarded([&] { DeleteKey(hKey, lpSubKey); });
}

LSTATUS WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey)
{
    return Guarded([&] {
        const OpenKey parent = LookupKey(hKey);
        const Path sub = SplitPath(lpSubKey);
        // Without a subkey the key's values and subkeys go and the key stays.
        const bool keepKey = !lpSubKey;
        const OpenKey key = sub.empty() ? parent : OpenSubKey(parent, sub);
        if (!keepKey && IsRoot(key))
            Fail(ERROR_ACCESS_DENIED);
        if (key.id == kNoKey)
            return;
        Hive& hive = GetHive(key.hive);
        Hive::Transaction tx(hive, true);
        RequireAlive(hive, key);
        hive.DeleteTree(key.id, keepKey);
        tx.Commit();
    });
}

LSTATUS WINAPI RegFlushKey(HKEY hKey)
{
    return Guarded([&] {
        const OpenKey key = LookupKey(hKey);
        CheckAlive(key);
        if (GetHive(key.hive).Writable())
            GetHive(key.hive).Flush();
    });
}

LSTATUS WINAPI RegOverridePredefKey(HKEY hKey, HKEY hNewHKey)
{
    return Guarded([&] {
        if (!IsPredefined(hKey))
            Fail(ERROR_INVALID_HANDLE);
        if (!hNewHKey) {
            SetOverride(hKey, nullptr);
            return;
        }
        // The mapping holds the key itself, so the caller may close its handle afterwards.
        const OpenKey* target = FindHandle(hNewHKey);
        if (!target)
            Fail(ERROR_INVALID_HANDLE);
        OpenKey key = *target;
        key.predefined = true;
        SetOverride(hKey, &key);
    });
}
