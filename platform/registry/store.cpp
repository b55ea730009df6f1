// The hive store: one SQLite database per hive. This is the only file that talks to SQLite.
#include "registry_private.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace qor::registry {

namespace {

constexpr int kBusyTimeoutMs = 30000;

// Storage failures as the registry reports them. A file that is not a database at all is a
// bad hive; a database whose pages or tables are wrong is a corrupt registry.
[[noreturn]] void FailSqlite(int rc)
{
    switch (rc & 0xFF) {
    case SQLITE_NOTADB:
        Fail(ERROR_BADDB);
    case SQLITE_CORRUPT:
    case SQLITE_ERROR:
    case SQLITE_SCHEMA:
    case SQLITE_MISMATCH:
    case SQLITE_CONSTRAINT:
        Fail(ERROR_REGISTRY_CORRUPT);
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        Fail(ERROR_ACCESS_DENIED);
    case SQLITE_NOMEM:
        Fail(ERROR_OUTOFMEMORY);
    case SQLITE_TOOBIG:
        Fail(ERROR_INVALID_PARAMETER);
    default:
        Fail(ERROR_REGISTRY_IO_FAILED);
    }
}

std::uint64_t NowFileTime()
{
    constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;
    const auto since1970 = std::chrono::system_clock::now().time_since_epoch();
    return kUnixEpochAsFileTime +
           static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(since1970).count() / 100);
}

// Names are stored as their UTF-16 code units: little-endian for the name itself (the bytes
// the caller gave), big-endian for the folded form so that byte order is code-unit order.
std::string NameBytes(std::u16string_view name)
{
    return std::string(reinterpret_cast<const char*>(name.data()), name.size() * sizeof(char16_t));
}

std::string FoldedBytes(std::u16string_view name)
{
    const std::u16string folded = FoldName(name);
    std::string bytes;
    bytes.reserve(folded.size() * 2);
    for (char16_t c : folded) {
        bytes += static_cast<char>(c >> 8);
        bytes += static_cast<char>(c & 0xFF);
    }
    return bytes;
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql)
    {
        const int rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
        if (rc != SQLITE_OK)
            FailSqlite(rc);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, std::int64_t value)
    {
        Check(sqlite3_bind_int64(m_stmt, index, value));
        return *this;
    }
    // Blobs are bound with a non-null pointer even when empty: a null pointer would bind NULL.
    Statement& Bind(int index, const void* data, std::size_t size)
    {
        static const char kEmpty = 0;
        Check(sqlite3_bind_blob64(m_stmt, index, size ? data : &kEmpty, size, SQLITE_TRANSIENT));
        return *this;
    }
    Statement& Bind(int index, const std::string& bytes) { return Bind(index, bytes.data(), bytes.size()); }

    bool Step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        FailSqlite(rc);
    }
    void Run()
    {
        while (Step()) {
        }
    }

    std::int64_t Int(int column) { return sqlite3_column_int64(m_stmt, column); }
    std::vector<BYTE> Bytes(int column)
    {
        const auto* data = static_cast<const BYTE*>(sqlite3_column_blob(m_stmt, column));
        const int size = sqlite3_column_bytes(m_stmt, column);
        return data ? std::vector<BYTE>(data, data + size) : std::vector<BYTE>();
    }
    // A stored name back as UTF-16; an odd trailing byte (a damaged row) is dropped.
    std::u16string Name(int column)
    {
        const std::vector<BYTE> bytes = Bytes(column);
        std::u16string name(bytes.size() / 2, u'\0');
        if (!name.empty())
            std::memcpy(name.data(), bytes.data(), name.size() * 2);
        return name;
    }

private:
    static void Check(int rc)
    {
        if (rc != SQLITE_OK)
            FailSqlite(rc);
    }
    sqlite3_stmt* m_stmt = nullptr;
};

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DbPtr = std::unique_ptr<sqlite3, DbCloser>;

constexpr const char* kSchema =
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL, name BLOB NOT NULL,"
    " name_folded BLOB NOT NULL, written INTEGER NOT NULL, UNIQUE(parent, name_folded));"
    "CREATE TABLE key_values(key INTEGER NOT NULL, name BLOB NOT NULL, name_folded BLOB NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, name_folded));"
    "INSERT INTO keys(id, parent, name, name_folded, written) VALUES(1, 0, x'', x'', 0);";

}  // namespace

std::unique_ptr<Hive> Hive::Open(const std::string& path)
{
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    DbPtr db(raw);
    if (rc != SQLITE_OK) {
        // Nothing was ever written where nothing can be written: an empty hive that
        // refuses writes, as a hive the user may only read.
        if (!exists && (rc & 0xFF) == SQLITE_CANTOPEN)
            return OpenEmpty();
        FailSqlite(rc);
    }
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    const bool writable = sqlite3_db_readonly(db.get(), "main") == 0;
    std::unique_ptr<Hive> hive(new Hive(db.release(), writable));
    if (writable) {
        // Like the Windows registry, a change is safe from a crash of the process at once and
        // reaches the disk lazily (at the next checkpoint or RegFlushKey), which keeps writes
        // cheap; the write-ahead log keeps the file consistent either way.
        hive->Exec("PRAGMA journal_mode = WAL");
        hive->Exec("PRAGMA synchronous = NORMAL");
    }
    try {
        if (!hive->EnsureSchema())
            return OpenEmpty();
        if (writable && !hive->IsIntact()) {
            hive->m_writable = false;
            hive->m_corrupt = true;
        }
    } catch (const Failure& failure) {
        // A read-only file in a folder that cannot be written has no log files to share with
        // its writers; it can still be read as it stands.
        if (writable || failure.status != ERROR_ACCESS_DENIED)
            throw;
        return OpenSnapshot(path);
    }
    return hive;
}

std::unique_ptr<Hive> Hive::OpenSnapshot(const std::string& path)
{
    std::string uri = "file:";
    for (char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            static const char kHex[] = "0123456789ABCDEF";
            uri += '%';
            uri += kHex[static_cast<unsigned char>(c) >> 4];
            uri += kHex[c & 0xF];
        } else {
            uri += c;
        }
    }
    uri += "?immutable=1";
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(uri.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    DbPtr db(raw);
    if (rc != SQLITE_OK)
        FailSqlite(rc);
    std::unique_ptr<Hive> hive(new Hive(db.release(), false));
    if (!hive->EnsureSchema())
        return OpenEmpty();
    return hive;
}

std::unique_ptr<Hive> Hive::OpenEmpty()
{
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    DbPtr db(raw);
    if (rc != SQLITE_OK)
        FailSqlite(rc);
    std::unique_ptr<Hive> hive(new Hive(db.release(), true));
    hive->EnsureSchema();
    hive->m_writable = false;
    return hive;
}

Hive::~Hive()
{
    sqlite3_close_v2(m_db);
}

void Hive::Exec(const char* sql)
{
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        FailSqlite(rc);
}

// A new file gets the tables; a file with the tables is used as it is; anything else is not a
// registry database and is refused without being touched. False: an empty file that may not
// be written.
bool Hive::EnsureSchema()
{
    Transaction tx(*this, m_writable);
    Statement count(m_db,
                    "SELECT count(*), sum(name IN ('keys', 'key_values')) FROM sqlite_master WHERE type = 'table'");
    count.Step();
    const std::int64_t tables = count.Int(0);
    const std::int64_t ours = count.Int(1);
    if (tables == 0) {
        if (!m_writable)
            return false;
        Exec(kSchema);
    } else if (ours != 2) {
        Fail(ERROR_BADDB);
    }
    tx.Commit();
    return true;
}

// The whole check (not quick_check): an index that misses rows of its table is what makes a
// write vanish. A hive is small, and it is checked once, when it is opened.
bool Hive::IsIntact()
{
    try {
        Statement check(m_db, "PRAGMA integrity_check(1)");
        return check.Step() && check.Bytes(0) == std::vector<BYTE>{'o', 'k'};
    } catch (const Failure&) {
        return false;
    }
}

Hive::Transaction::Transaction(Hive& hive, bool write) : m_hive(hive)
{
    if (write && !hive.m_writable)
        Fail(hive.WriteRefusal());
    hive.Exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
}

Hive::Transaction::~Transaction()
{
    if (!m_done)
        sqlite3_exec(m_hive.m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void Hive::Transaction::Commit()
{
    m_hive.Exec("COMMIT");
    m_done = true;
}

void Hive::Flush()
{
    const int rc = sqlite3_wal_checkpoint_v2(m_db, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    if (rc != SQLITE_OK && rc != SQLITE_BUSY)
        FailSqlite(rc);
}

bool Hive::KeyExists(KeyId key)
{
    Statement q(m_db, "SELECT 1 FROM keys WHERE id = ?1");
    return q.Bind(1, key).Step();
}

std::optional<KeyId> Hive::FindChild(KeyId parent, std::u16string_view name)
{
    Statement q(m_db, "SELECT id FROM keys WHERE parent = ?1 AND name_folded = ?2");
    if (!q.Bind(1, parent).Bind(2, FoldedBytes(name)).Step())
        return std::nullopt;
    return q.Int(0);
}

KeyId Hive::AddChild(KeyId parent, std::u16string_view name)
{
    const std::int64_t now = static_cast<std::int64_t>(NowFileTime());
    Statement(m_db, "INSERT INTO keys(parent, name, name_folded, written) VALUES(?1, ?2, ?3, ?4)")
        .Bind(1, parent)
        .Bind(2, NameBytes(name))
        .Bind(3, FoldedBytes(name))
        .Bind(4, now)
        .Run();
    const KeyId id = sqlite3_last_insert_rowid(m_db);
    Touch(parent);
    return id;
}

std::vector<StoredKey> Hive::Children(KeyId key)
{
    Statement q(m_db, "SELECT id, name FROM keys WHERE parent = ?1 AND id <> ?1 ORDER BY name_folded");
    q.Bind(1, key);
    std::vector<StoredKey> children;
    while (q.Step())
        children.push_back({q.Int(0), q.Name(1)});
    return children;
}

bool Hive::HasChildren(KeyId key)
{
    Statement q(m_db, "SELECT 1 FROM keys WHERE parent = ?1 AND id <> ?1 LIMIT 1");
    return q.Bind(1, key).Step();
}

void Hive::DeleteKey(KeyId key)
{
    Statement parent(m_db, "SELECT parent FROM keys WHERE id = ?1");
    const KeyId parentId = parent.Bind(1, key).Step() ? parent.Int(0) : kNoKey;
    Statement(m_db, "DELETE FROM key_values WHERE key = ?1").Bind(1, key).Run();
    Statement(m_db, "DELETE FROM keys WHERE id = ?1").Bind(1, key).Run();
    Touch(parentId);
}

// UNION (not UNION ALL) keeps the walk finite even in a damaged file whose parents loop.
void Hive::DeleteTree(KeyId key, bool keepKey)
{
    const std::string tree =
        "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) ";
    Statement(m_db, (tree + "DELETE FROM key_values WHERE key IN tree").c_str()).Bind(1, key).Run();
    Statement(m_db, (tree + "DELETE FROM keys WHERE id IN tree AND id <> ?1").c_str()).Bind(1, key).Run();
    if (keepKey)
        Touch(key);
    else
        DeleteKey(key);
}

std::uint64_t Hive::WriteTime(KeyId key)
{
    Statement q(m_db, "SELECT written FROM keys WHERE id = ?1");
    return q.Bind(1, key).Step() ? static_cast<std::uint64_t>(q.Int(0)) : 0;
}

void Hive::Touch(KeyId key)
{
    Statement(m_db, "UPDATE keys SET written = ?2 WHERE id = ?1")
        .Bind(1, key)
        .Bind(2, static_cast<std::int64_t>(NowFileTime()))
        .Run();
}

std::optional<StoredValue> Hive::GetValue(KeyId key, std::u16string_view name)
{
    Statement q(m_db, "SELECT name, type, data FROM key_values WHERE key = ?1 AND name_folded = ?2");
    if (!q.Bind(1, key).Bind(2, FoldedBytes(name)).Step())
        return std::nullopt;
    return StoredValue{q.Name(0), static_cast<DWORD>(q.Int(1)), q.Bytes(2)};
}

std::optional<StoredValue> Hive::ValueAt(KeyId key, DWORD index)
{
    Statement q(m_db, "SELECT name, type, data FROM key_values WHERE key = ?1 ORDER BY rowid LIMIT 1 OFFSET ?2");
    if (!q.Bind(1, key).Bind(2, static_cast<std::int64_t>(index)).Step())
        return std::nullopt;
    return StoredValue{q.Name(0), static_cast<DWORD>(q.Int(1)), q.Bytes(2)};
}

ValueStats Hive::Stats(KeyId key)
{
    Statement q(m_db,
                "SELECT count(*), coalesce(max(length(name)), 0) / 2, coalesce(max(length(data)), 0)"
                " FROM key_values WHERE key = ?1");
    q.Bind(1, key).Step();
    return {static_cast<DWORD>(q.Int(0)), static_cast<DWORD>(q.Int(1)), static_cast<DWORD>(q.Int(2))};
}

// An existing value keeps its name (and its place in the enumeration order); only its type
// and data change.
void Hive::SetValue(KeyId key, std::u16string_view name, DWORD type, const BYTE* data, std::size_t size)
{
    Statement(m_db,
              "INSERT INTO key_values(key, name, name_folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
              " ON CONFLICT(key, name_folded) DO UPDATE SET type = excluded.type, data = excluded.data")
        .Bind(1, key)
        .Bind(2, NameBytes(name))
        .Bind(3, FoldedBytes(name))
        .Bind(4, static_cast<std::int64_t>(type))
        .Bind(5, data, size)
        .Run();
    Touch(key);
}

bool Hive::DeleteValue(KeyId key, std::u16string_view name)
{
    Statement(m_db, "DELETE FROM key_values WHERE key = ?1 AND name_folded = ?2")
        .Bind(1, key)
        .Bind(2, FoldedBytes(name))
        .Run();
    if (sqlite3_changes(m_db) == 0)
        return false;
    Touch(key);
    return true;
}

}  // namespace qor::registry
