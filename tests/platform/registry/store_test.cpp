// The hive files: persistence, the registry folder, two processes at once, damaged files and
// folders that cannot be written.
#include "registry_fixture.h"

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>

#include <fstream>
#include <iterator>
#include <thread>

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes, std::ios::openmode mode = std::ios::trunc)
{
    std::ofstream out(path, std::ios::binary | std::ios::out | mode);
    out << bytes;
}

std::string Garbage(std::size_t size)
{
    std::string bytes(size, '\0');
    unsigned state = 12345;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return bytes;
}

}  // namespace

using StoreTest = RegistryTest;

TEST_F(StoreTest, ValuesPersistInTheHiveFilesOfTheRegistryFolder)
{
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\QorTest");
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, u"Kept", u"on disk"));
    RegCloseKey(key);
    qor::ResetRegistry();

    EXPECT_TRUE(std::filesystem::exists(m_folder + "/HKCU.db"));
    EXPECT_EQ(u"on disk", Text(HKEY_CURRENT_USER, u"Software\\QorTest", u"Kept"));
    unsetenv("QOR_REGISTRY_DIR");
    const std::string home = getenv("XDG_CONFIG_HOME") ? getenv("XDG_CONFIG_HOME") : "";
    setenv("XDG_CONFIG_HOME", m_folder.c_str(), 1);
    qor::ResetRegistry();
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, u"Software\\QorTest"));
    EXPECT_TRUE(std::filesystem::exists(m_folder + "/qorscan/registry/HKLM.db"));
    if (home.empty())
        unsetenv("XDG_CONFIG_HOME");
    else
        setenv("XDG_CONFIG_HOME", home.c_str(), 1);
}

TEST_F(StoreTest, TwoProcessesWritingAtOnceLoseNothing)
{
    constexpr int kProcesses = 2;
    constexpr int kValues = 150;
    RegCloseKey(Create(HKEY_CURRENT_USER, u"Software\\QorTest\\Shared"));  // the parent's hive is open when it forks

    pid_t children[kProcesses];
    for (int p = 0; p < kProcesses; ++p) {
        children[p] = fork();
        ASSERT_GE(children[p], 0);
        if (children[p] == 0) {
            int failures = 0;
            for (int i = 0; i < kValues; ++i) {
                HKEY key = nullptr;
                const std::u16string sub = u"Software\\QorTest\\Shared\\P" + Number(p);
                if (RegCreateKeyExW(HKEY_CURRENT_USER, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                    nullptr) != ERROR_SUCCESS) {
                    ++failures;
                    continue;
                }
                const DWORD data = static_cast<DWORD>(p * 1000 + i);
                const std::u16string name = u"v" + Number(i);
                failures += RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                           4) != ERROR_SUCCESS;
                HKEY shared = Create(HKEY_CURRENT_USER, u"Software\\QorTest\\Shared");
                const std::u16string both = u"p" + Number(p) + u"_" + Number(i);
                failures += RegSetValueExW(shared, both.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                           4) != ERROR_SUCCESS;
                RegCloseKey(shared);
                RegCloseKey(key);
            }
            _exit(failures == 0 ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a child's write failed";
    }

    HKEY shared = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"Software\\QorTest\\Shared", &shared));
    DWORD subKeys = 0, values = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(shared, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                                              nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(kProcesses), subKeys);
    EXPECT_EQ(static_cast<DWORD>(kProcesses * kValues), values);
    for (int p = 0; p < kProcesses; ++p) {
        for (int i = 0; i < kValues; ++i) {
            DWORD data = 0, size = 4;
            const std::u16string both = u"p" + Number(p) + u"_" + Number(i);
            ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(shared, both.c_str(), nullptr, nullptr,
                                                      reinterpret_cast<BYTE*>(&data), &size));
            EXPECT_EQ(static_cast<DWORD>(p * 1000 + i), data);
        }
    }
    RegCloseKey(shared);
}

// A hive that another process holds locked makes a write wait for the lock rather than fail,
// and a process that dies while it holds the lock leaves the hive whole: no write is lost.
TEST_F(StoreTest, AWriteWaitsForAnotherProcesssLock)
{
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\QorTest");
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, u"Before", u"kept"));
    RegCloseKey(key);
    const std::string path = m_folder + "/HKCU.db";
    for (const bool bHolderDies : {false, true}) {
        qor::ResetRegistry();  // no connection of the parent lives on in the child
        int ready[2];
        ASSERT_EQ(0, pipe(ready));
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            sqlite3* db = nullptr;
            const bool bLocked = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
                                 sqlite3_exec(db, "BEGIN EXCLUSIVE; DELETE FROM key_values;", nullptr, nullptr,
                                              nullptr) == SQLITE_OK;
            const char signal = bLocked ? 'L' : 'E';
            if (write(ready[1], &signal, 1) != 1 || !bLocked)
                _exit(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            if (bHolderDies)
                kill(getpid(), SIGKILL);  // the deletes were never committed
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(db);
            _exit(0);
        }
        close(ready[1]);
        char signal = 0;
        ASSERT_EQ(1, read(ready[0], &signal, 1));
        close(ready[0]);
        ASSERT_EQ('L', signal);

        const std::u16string name = bHolderDies ? u"AfterADeath" : u"AfterAWait";
        key = Create(HKEY_CURRENT_USER, u"Software\\QorTest");
        EXPECT_EQ(ERROR_SUCCESS, SetText(key, name.c_str(), u"written")) << bHolderDies;
        RegCloseKey(key);
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_EQ(bHolderDies, WIFSIGNALED(status));

        qor::ResetRegistry();
        EXPECT_EQ(u"kept", Text(HKEY_CURRENT_USER, u"Software\\QorTest", u"Before"));
        EXPECT_EQ(u"written", Text(HKEY_CURRENT_USER, u"Software\\QorTest", name.c_str()));
    }
}

TEST_F(StoreTest, ThreadsOfOneProcessShareTheHives)
{
    constexpr int kThreads = 4;
    constexpr int kValues = 50;
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\QorTest");
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kValues; ++i) {
                const std::u16string name = u"t" + Number(t) + u"_" + Number(i);
                failures[t] += SetText(key, name.c_str(), name) != ERROR_SUCCESS;
                failures[t] += GetText(key, name.c_str()) != name;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(std::vector<int>(kThreads, 0), failures);
    DWORD values = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                                              nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(kThreads * kValues), values);
    RegCloseKey(key);
}

TEST_F(StoreTest, GarbageHiveFileGivesAnErrorAndStaysAsItWas)
{
    const std::string path = m_folder + "/HKCU.db";
    const std::string garbage = Garbage(8192);
    WriteFile(path, garbage);

    HKEY key = nullptr;
    EXPECT_EQ(ERROR_BADDB, Open(HKEY_CURRENT_USER, u"Software", &key));
    EXPECT_EQ(ERROR_BADDB, RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\QorTest", 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_BADDB, SetText(HKEY_CURRENT_USER, u"v", u"x"));
    EXPECT_EQ(u"<error 1009>", GetText(HKEY_CURRENT_USER, u"v"));
    EXPECT_EQ(garbage, ReadFile(path));

    // The other hive is not affected.
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, u"Software\\QorTest"));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, u"Software\\QorTest"));
}

TEST_F(StoreTest, DamagedPagesGiveAnErrorNotACrash)
{
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\QorTest");
    const std::u16string big(2000, u'z');
    for (int i = 0; i < 40; ++i)
        RegCloseKey(Create(key, (u"Key" + Number(i)).c_str()));
    for (int i = 0; i < 40; ++i)
        ASSERT_EQ(ERROR_SUCCESS, SetText(key, (u"Value" + Number(i)).c_str(), big));
    RegCloseKey(key);
    qor::ResetRegistry();

    // Everything after the first page (the table of tables) becomes garbage.
    const std::string path = m_folder + "/HKCU.db";
    std::string bytes = ReadFile(path);
    ASSERT_GT(bytes.size(), 8192u);
    const std::string garbage = Garbage(bytes.size() - 4096);
    bytes.replace(4096, garbage.size(), garbage);
    WriteFile(path, bytes);

    const LSTATUS status = Open(HKEY_CURRENT_USER, u"Software\\QorTest", &key);
    EXPECT_EQ(ERROR_REGISTRY_CORRUPT, status);
    EXPECT_EQ(bytes, ReadFile(path));
}

// A hive whose index of values misses rows of its table: SQLite takes writes into it, which
// later lookups through the index may not find (the registry fuzzer had a write reported as
// done and then not found). Such a hive is read as it stands and refuses every write.
TEST_F(StoreTest, AHiveWhoseIndexMissesRowsRefusesWrites)
{
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\QorTest");
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, u"Old", u"kept"));
    RegCloseKey(key);
    qor::ResetRegistry();

    // The root page of the index becomes an empty leaf; the table keeps its rows.
    const std::string path = m_folder + "/HKCU.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db,
                                            "SELECT rootpage, (SELECT page_size FROM pragma_page_size) FROM sqlite_master"
                                            " WHERE name = 'sqlite_autoindex_key_values_1'",
                                            -1, &stmt, nullptr));
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(stmt));
    const int nRootPage = sqlite3_column_int(stmt, 0), cbPage = sqlite3_column_int(stmt, 1);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    ASSERT_GT(nRootPage, 1);
    std::string bytes = ReadFile(path);
    std::string page(static_cast<size_t>(cbPage), '\0');
    page[0] = 0x0A;  // an index leaf without cells, its content area starting at the page's end
    page[5] = static_cast<char>((cbPage >> 8) & 0xFF);
    page[6] = static_cast<char>(cbPage & 0xFF);
    bytes.replace(static_cast<size_t>(nRootPage - 1) * cbPage, page.size(), page);
    WriteFile(path, bytes);

    EXPECT_EQ(ERROR_REGISTRY_CORRUPT, SetText(HKEY_CURRENT_USER, u"New", u"lost"));
    EXPECT_EQ(ERROR_REGISTRY_CORRUPT, RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\QorTest", 0, nullptr, 0,
                                                      KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"Software\\QorTest", &key));  // reading goes on
    RegCloseKey(key);
    qor::ResetRegistry();
    EXPECT_EQ(bytes, ReadFile(path));
}

TEST_F(StoreTest, FolderThatCannotBeCreatedGivesAReadOnlyEmptyHive)
{
    // A regular file where the folder should be: no one, not even root, can create it.
    WriteFile(m_folder + "/file", "x");
    setenv("QOR_REGISTRY_DIR", (m_folder + "/file/registry").c_str(), 1);
    qor::ResetRegistry();

    HKEY key = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\QorTest", 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetText(HKEY_CURRENT_USER, u"v", u"x"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open(HKEY_CURRENT_USER, u"Software", &key));
    EXPECT_EQ(u"<error 2>", GetText(HKEY_LOCAL_MACHINE, u"v"));
    EXPECT_EQ("x", ReadFile(m_folder + "/file"));
}

TEST_F(StoreTest, ReadOnlyHiveFileCanBeReadButNotWritten)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "file permissions do not bind root";
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Software\\QorTest");
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, u"Fixed", u"value"));
    RegCloseKey(key);
    qor::ResetRegistry();
    std::filesystem::permissions(m_folder + "/HKLM.db", std::filesystem::perms::owner_read);
    std::filesystem::permissions(m_folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);

    EXPECT_EQ(u"value", Text(HKEY_LOCAL_MACHINE, u"Software\\QorTest", u"Fixed"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, Open(HKEY_LOCAL_MACHINE, u"Software\\QorTest", &key, KEY_WRITE));
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetText(HKEY_LOCAL_MACHINE, u"v", u"x"));
}
