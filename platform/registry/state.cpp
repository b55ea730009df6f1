// The registry's process-wide state: the hive files, the handle table and the lock that
// guards both, and the name folding that every name comparison uses.
#include "registry_private.h"

#include <qor_registry.h>

#include <pthread.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <new>
#include <stdexcept>
#include <unordered_map>

namespace qor::registry {

namespace {

constexpr std::uintptr_t kFirstHandle = 0x1000;

struct State {
    // Replaced, never destroyed, in a forked child (see ForgetInChild).
    std::recursive_mutex* mutex = new std::recursive_mutex();
    std::unique_ptr<Hive> hives[3];
    std::unordered_map<std::uintptr_t, OpenKey> handles;
    std::unordered_map<std::uintptr_t, OpenKey> overrides;  // RegOverridePredefKey
    // Handle values are not reused, so a stale handle fails instead of reaching another key.
    std::uintptr_t nextHandle = kFirstHandle;
};

// A connection must not be used on both sides of a fork. The fork waits until no registry
// call runs (so no transaction is open); the child then drops (and leaks) the parent's
// connections and lock and opens the files again. Handles stay valid: they name keys by their
// ids in the files.
void LockBeforeFork();
void UnlockInParent();
void ForgetInChild();

State& TheState()
{
    static State* state = [] {
        pthread_atfork(LockBeforeFork, UnlockInParent, ForgetInChild);
        return new State();
    }();
    return *state;
}

void LockBeforeFork()
{
    TheState().mutex->lock();
}

void UnlockInParent()
{
    TheState().mutex->unlock();
}

// The old lock stays held by the parent's thread, which does not exist here: replace it.
void ForgetInChild()
{
    State& state = TheState();
    state.mutex = new std::recursive_mutex();
    for (auto& hive : state.hives)
        (void)hive.release();
}

// QOR_REGISTRY_DIR, else the user's configuration folder.
std::string RegistryFolder()
{
    if (const char* dir = std::getenv("QOR_REGISTRY_DIR"); dir && *dir)
        return dir;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        return std::string(config) + "/qorscan/registry";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.config/qorscan/registry";
    Fail(ERROR_REGISTRY_IO_FAILED);
}

std::unique_ptr<Hive> OpenHive(HiveId id)
{
    if (id == HiveId::Users)
        return Hive::OpenEmpty();
    const std::string folder = RegistryFolder();
    std::error_code ignored;  // an unusable folder shows when the file is opened
    std::filesystem::create_directories(folder, ignored);
    return Hive::Open(folder + (id == HiveId::Machine ? "/HKLM.db" : "/HKCU.db"));
}

// Upper case of the letters that have one in the ranges below (Latin-1, Latin Extended-A,
// Greek, Cyrillic); other characters compare as they are.
char16_t FoldChar(char16_t c)
{
    if (c >= u'a' && c <= u'z')
        return c - 0x20;
    if (c < 0xE0)
        return c;
    if (c <= 0xFE)
        return c == 0xF7 ? c : c - 0x20;
    if (c == 0xFF)
        return 0x178;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return c & ~1;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c & 1) ? c : c - 1;
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2)
        return c - 0x20;
    if (c >= 0x430 && c <= 0x44F)
        return c - 0x20;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    return c;
}

}  // namespace

std::u16string FoldName(std::u16string_view name)
{
    std::u16string folded(name);
    for (char16_t& c : folded)
        c = FoldChar(c);
    return folded;
}

Hive& GetHive(HiveId id)
{
    std::unique_ptr<Hive>& hive = TheState().hives[static_cast<int>(id)];
    if (!hive)
        hive = OpenHive(id);
    return *hive;
}

HKEY AddHandle(const OpenKey& key)
{
    State& state = TheState();
    const std::uintptr_t value = state.nextHandle;
    state.handles.emplace(value, key);
    state.nextHandle += 4;
    return reinterpret_cast<HKEY>(value);
}

void RemoveHandle(HKEY hKey)
{
    if (TheState().handles.erase(reinterpret_cast<std::uintptr_t>(hKey)) == 0)
        Fail(ERROR_INVALID_HANDLE);
}

const OpenKey* FindHandle(HKEY hKey)
{
    const auto& handles = TheState().handles;
    const auto found = handles.find(reinterpret_cast<std::uintptr_t>(hKey));
    return found == handles.end() ? nullptr : &found->second;
}

void SetOverride(HKEY predefined, const OpenKey* key)
{
    auto& overrides = TheState().overrides;
    if (key)
        overrides[reinterpret_cast<std::uintptr_t>(predefined)] = *key;
    else
        overrides.erase(reinterpret_cast<std::uintptr_t>(predefined));
}

const OpenKey* FindOverride(HKEY predefined)
{
    const auto& overrides = TheState().overrides;
    const auto found = overrides.find(reinterpret_cast<std::uintptr_t>(predefined));
    return found == overrides.end() ? nullptr : &found->second;
}

LSTATUS Guarded(const std::function<void()>& body)
{
    std::lock_guard lock(*TheState().mutex);
    try {
        body();
        return ERROR_SUCCESS;
    } catch (const Failure& failure) {
        return failure.status;
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    } catch (const std::length_error&) {
        return ERROR_OUTOFMEMORY;
    }
}

}  // namespace qor::registry

void qor::ResetRegistry()
{
    using namespace qor::registry;
    State& state = TheState();
    std::lock_guard lock(*state.mutex);
    state.handles.clear();
    state.overrides.clear();
    for (auto& hive : state.hives)
        hive.reset();
}
