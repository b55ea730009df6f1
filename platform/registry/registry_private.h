// Private declarations of the registry: the hive store (one SQLite database per hive) and
// the open-key model shared by the key, value and profile functions.
#pragma once

#include <winreg.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace qor::registry {

// Inside the layer a failure travels as an exception carrying its Win32 code; every entry
// point turns it into its return value (see Guarded below).
struct Failure {
    LSTATUS status;
};
[[noreturn]] inline void Fail(LSTATUS status)
{
    throw Failure{status};
}

using KeyId = std::int64_t;
constexpr KeyId kRootKey = 1;  // the root key of every hive
constexpr KeyId kNoKey = 0;    // the classes root while neither hive has Software\Classes

// Registry names compare after upper-casing, as the registry's own name comparison does.
std::u16string FoldName(std::u16string_view name);

struct StoredValue {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct StoredKey {
    KeyId id = kNoKey;
    std::u16string name;
};

struct ValueStats {
    DWORD count = 0;
    DWORD maxNameChars = 0;
    DWORD maxDataBytes = 0;
};

// One hive in one database file. The tables hold keys (id, parent, name, name_folded, written)
// and values (key, name, name_folded, type, data); names are stored as the caller's UTF-16
// bytes so that every name round-trips exactly. Every change is a transaction of its own, so
// two processes sharing the folder interleave whole operations and never lose each other's.
class Hive {
public:
    // Opens the file, creating it (and its tables) when absent. A file that may not be
    // written is opened read-only (writes fail with ERROR_ACCESS_DENIED); where the folder
    // cannot be written either, it is read as it stands when opened, without later changes
    // of other processes. No file in a folder that cannot be written: a read-only empty hive.
    // A file that is not a registry database fails with ERROR_BADDB and is left as it is. A
    // database whose tables and indexes disagree is read as it stands and refuses writes:
    // SQLite could report a write into it as done and then not find it.
    static std::unique_ptr<Hive> Open(const std::string& path);
    // A hive that exists in memory only and refuses writes (HKEY_USERS).
    static std::unique_ptr<Hive> OpenEmpty();
    ~Hive();
    Hive(const Hive&) = delete;
    Hive& operator=(const Hive&) = delete;

    bool Writable() const { return m_writable; }
    // Why a write is refused: ERROR_ACCESS_DENIED for a hive the user may only read,
    // ERROR_REGISTRY_CORRUPT for a damaged one (see Open).
    LSTATUS WriteRefusal() const { return m_corrupt ? ERROR_REGISTRY_CORRUPT : ERROR_ACCESS_DENIED; }
    void Flush();  // committed changes to the disk

    // Groups the reads and writes of one registry call. A write transaction takes the
    // database's write lock at once, so that it never has to upgrade (and dead-lock) later.
    class Transaction {
    public:
        Transaction(Hive& hive, bool write);
        ~Transaction();
        void Commit();

    private:
        Hive& m_hive;
        bool m_done = false;
    };

    bool KeyExists(KeyId key);
    std::optional<KeyId> FindChild(KeyId parent, std::u16string_view name);
    KeyId AddChild(KeyId parent, std::u16string_view name);
    std::vector<StoredKey> Children(KeyId key);  // ordered by folded name
    bool HasChildren(KeyId key);
    void DeleteKey(KeyId key);                     // the key and its values, not its children
    void DeleteTree(KeyId key, bool keepKey);      // every descendant; the key too unless keepKey
    std::uint64_t WriteTime(KeyId key);            // FILETIME ticks
    void Touch(KeyId key);

    std::optional<StoredValue> GetValue(KeyId key, std::u16string_view name);
    std::optional<StoredValue> ValueAt(KeyId key, DWORD index);  // in creation order
    ValueStats Stats(KeyId key);
    void SetValue(KeyId key, std::u16string_view name, DWORD type, const BYTE* data, std::size_t size);
    bool DeleteValue(KeyId key, std::u16string_view name);

private:
    Hive(sqlite3* db, bool writable) : m_db(db), m_writable(writable) {}
    static std::unique_ptr<Hive> OpenSnapshot(const std::string& path);
    bool EnsureSchema();
    bool IsIntact();
    void Exec(const char* sql);

    sqlite3* m_db;
    bool m_writable;
    bool m_corrupt = false;
};

enum class HiveId { Machine, User, Users };

// A key as a handle sees it. A key reached through HKEY_CLASSES_ROOT is bound to the user's
// or the machine's key of the same path and remembers that path, so that its subkeys are
// looked up in the merged view again.
struct OpenKey {
    HiveId hive = HiveId::Machine;
    KeyId id = kNoKey;
    REGSAM access = 0;
    bool merged = false;
    bool predefined = false;
    std::vector<std::u16string> classesPath;  // below Software\Classes, when merged
};

Hive& GetHive(HiveId hive);
HKEY AddHandle(const OpenKey& key);
void RemoveHandle(HKEY hKey);  // fails with ERROR_INVALID_HANDLE
const OpenKey* FindHandle(HKEY hKey);
void SetOverride(HKEY predefined, const OpenKey* key);  // null: the default mapping again
const OpenKey* FindOverride(HKEY predefined);
OpenKey LookupKey(HKEY hKey);  // predefined or open; fails with ERROR_INVALID_HANDLE
// Fails with ERROR_KEY_DELETED when the key behind the handle is gone; call inside a transaction.
void RequireAlive(Hive& hive, const OpenKey& key);
// The key that a value written through this handle goes to (creates the machine's
// Software\Classes for the classes root when neither hive has it yet).
OpenKey WriteTarget(const OpenKey& key);

// Runs an entry point's body under the registry lock and turns failures into status codes.
LSTATUS Guarded(const std::function<void()>& body);

}  // namespace qor::registry
