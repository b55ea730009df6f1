// The resource tables of the loaded modules, filed by module load base. Each module's
// generated resource source registers its table while the module loads and withdraws it
// while the module unloads, so a lookup never sees the bytes of an unloaded module.
#include <dlfcn.h>
#include <sys/auxv.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <vector>

#include "resources_private.h"

namespace qor::resources {
namespace {

struct Module {
    HMODULE base;
    std::string path;  // canonical path of the module's file
    std::vector<const QorResourceTable*> tables;
};

struct Registry {
    std::mutex mutex;
    std::vector<Module> modules;
};

// Never destroyed: modules may withdraw their tables during exit, in any order.
Registry& TheRegistry()
{
    static Registry* registry = new Registry;
    return *registry;
}

// A type or name as FindResourceW takes it: a number, or a string ("#123" is a number).
struct Key {
    WORD number = 0;
    LPCWSTR text = nullptr;
};

Key MakeKey(LPCWSTR p)
{
    if (IS_INTRESOURCE(p))
        return {LOWORD(reinterpret_cast<ULONG_PTR>(p)), nullptr};
    if (p[0] == u'#') {
        unsigned value = 0;
        for (LPCWSTR c = p + 1; *c >= u'0' && *c <= u'9' && value <= 0xFFFF; ++c)
            value = value * 10 + (*c - u'0');
        return {static_cast<WORD>(value <= 0xFFFF ? value : 0), nullptr};
    }
    return {0, p};
}

bool Matches(const char16_t* text, unsigned short number, const Key& key)
{
    if (key.text)
        return text && lstrcmpiW(text, key.text) == 0;
    return !text && key.number != 0 && number == key.number;
}

Module* FindModule(Registry& registry, HMODULE base)
{
    auto it = std::find_if(registry.modules.begin(), registry.modules.end(),
                           [&](const Module& m) { return m.base == base; });
    return it == registry.modules.end() ? nullptr : &*it;
}

}  // namespace

HMODULE MainModule()
{
    // The program's entry point lies in the program's own image.
    static const HMODULE main = [] {
        Dl_info info{};
        void* entry = reinterpret_cast<void*>(getauxval(AT_ENTRY));
        return dladdr(entry, &info) ? static_cast<HMODULE>(info.dli_fbase) : nullptr;
    }();
    return main;
}

const QorResourceEntry* FindEntry(HMODULE module, LPCWSTR name, LPCWSTR type, DWORD* error)
{
    const Key nameKey = name ? MakeKey(name) : Key{};
    const Key typeKey = type ? MakeKey(type) : Key{};
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const Module* m = FindModule(registry, module ? module : MainModule());
    if (!m) {
        *error = ERROR_RESOURCE_DATA_NOT_FOUND;
        return nullptr;
    }
    bool typeFound = false;
    for (const QorResourceTable* table : m->tables) {
        for (size_t i = 0; i < table->count; ++i) {
            const QorResourceEntry& e = table->entries[i];
            if (!Matches(e.typeName, e.typeId, typeKey))
                continue;
            typeFound = true;
            if (Matches(e.name, e.id, nameKey))
                return &e;
        }
    }
    *error = typeFound ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND;
    return nullptr;
}

bool IsEntry(const void* entry)
{
    auto address = reinterpret_cast<std::uintptr_t>(entry);
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    for (const Module& m : registry.modules) {
        for (const QorResourceTable* table : m.tables) {
            auto first = reinterpret_cast<std::uintptr_t>(table->entries);
            if (address >= first && address < first + table->count * sizeof(QorResourceEntry) &&
                (address - first) % sizeof(QorResourceEntry) == 0)
                return true;
        }
    }
    return false;
}

HMODULE ModuleOfFile(const std::string& path)
{
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    for (const Module& m : registry.modules) {
        std::error_code ec;
        if (std::filesystem::equivalent(path, m.path, ec))
            return m.base;
    }
    return nullptr;
}

}  // namespace qor::resources

using namespace qor::resources;

extern "C" void QorRegisterResourceTable(const QorResourceTable* table)
{
    Dl_info info{};
    if (!table || table->version != QOR_RESOURCE_TABLE_VERSION || !dladdr(table, &info) || !info.dli_fbase)
        return;
    auto base = static_cast<HMODULE>(info.dli_fbase);
    // The main program's dli_fname is argv[0]; its file is better known to the kernel.
    std::error_code ec;
    std::filesystem::path file = base == MainModule() ? "/proc/self/exe" : info.dli_fname;
    std::filesystem::path canonical = std::filesystem::canonical(file, ec);
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    Module* m = FindModule(registry, base);
    if (!m)
        m = &registry.modules.emplace_back(Module{base, ec ? file.string() : canonical.string(), {}});
    m->tables.push_back(table);
}

extern "C" void QorUnregisterResourceTable(const QorResourceTable* table)
{
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    for (auto it = registry.modules.begin(); it != registry.modules.end(); ++it) {
        std::erase(it->tables, table);
        if (it->tables.empty()) {
            registry.modules.erase(it);
            return;
        }
    }
}
