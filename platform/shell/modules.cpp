// kernel32 modules over the dynamic loader. An HMODULE is the module's load base, the
// address dladdr reports as dli_fbase, as an HMODULE is the image base on Windows. The
// dlopen handles behind the references taken by LoadLibraryW and GetModuleHandleExW are
// kept by load base.
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <winbase.h>

#include "qor_text.h"
#include "shell_private.h"

namespace {

struct Module {
    uintptr_t base = 0;
    std::string loadName;  // the name the loader knows it by; empty for the main program
    bool isMain = false;
};

struct Reference {
    void* handle = nullptr;
    unsigned count = 0;
};

struct ReferenceTable {
    std::mutex mutex;
    std::map<uintptr_t, Reference> references;
};

ReferenceTable& References()
{
    static ReferenceTable table;
    return table;
}

uintptr_t BaseOfAddress(const void* address)
{
    Dl_info info;
    return address && dladdr(address, &info) ? reinterpret_cast<uintptr_t>(info.dli_fbase) : 0;
}

// Every loaded module, the main program first.
std::vector<Module> LoadedModules()
{
    struct Found {
        uintptr_t firstSegment;
        std::string name;
    };
    std::vector<Found> found;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
                if (info->dlpi_phdr[i].p_type == PT_LOAD) {
                    static_cast<std::vector<Found>*>(data)->push_back(
                        {info->dlpi_addr + info->dlpi_phdr[i].p_vaddr, info->dlpi_name ? info->dlpi_name : ""});
                    break;
                }
            }
            return 0;
        },
        &found);
    std::vector<Module> modules;
    for (size_t i = 0; i < found.size(); ++i) {
        // The loader's own lookup gives the base, so that it always equals dli_fbase.
        const uintptr_t base = BaseOfAddress(reinterpret_cast<const void*>(found[i].firstSegment));
        if (base)
            modules.push_back({base, found[i].name, i == 0});
    }
    return modules;
}

bool MainModule(Module* out)
{
    std::vector<Module> modules = LoadedModules();
    if (modules.empty() || !modules[0].isMain)
        return false;
    *out = std::move(modules[0]);
    return true;
}

bool FindModule(uintptr_t base, Module* out)
{
    for (Module& module : LoadedModules()) {
        if (module.base == base) {
            *out = std::move(module);
            return true;
        }
    }
    return false;
}

std::string RealPath(const std::string& path)
{
    char* resolved = realpath(path.c_str(), nullptr);
    std::string result = resolved ? resolved : path;
    free(resolved);
    return result;
}

// The module's full path, as Windows reports it.
std::string ModulePath(const Module& module)
{
    if (!module.isMain)
        return RealPath(module.loadName);
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

std::string FileNameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A name with a folder names one file; a bare name matches a module's file name. Linux
// file names are case-sensitive, so the comparison is too (Windows ignores case).
bool FindModuleByName(const std::string& name, Module* out)
{
    const bool hasFolder = name.find('/') != std::string::npos;
    const std::string wanted = hasFolder ? RealPath(name) : name;
    for (Module& module : LoadedModules()) {
        const std::string path = ModulePath(module);
        if (hasFolder ? path == wanted : (FileNameOf(path) == wanted || FileNameOf(module.loadName) == wanted)) {
            *out = std::move(module);
            return true;
        }
    }
    return false;
}

// The Windows system libraries whose functions this platform provides: their names name the
// platform's own module, so that GetProcAddress on them finds the platform's functions.
// Names compare without regard to case, with or without ".dll", as Windows finds them.
bool SystemModule(LPCWSTR name, Module* out)
{
    static constexpr std::u16string_view kSystemLibraries[] = {
        u"kernel32", u"user32", u"gdi32", u"advapi32", u"ole32", u"oleaut32", u"shlwapi", u"shell32", u"gdiplus"};
    std::u16string folded;
    for (const WCHAR* c = name; *c; ++c)
        folded += (*c >= u'A' && *c <= u'Z') ? static_cast<char16_t>(*c + 32) : *c;
    std::u16string_view stem(folded);
    if (stem.ends_with(u".dll"))
        stem.remove_suffix(4);
    for (std::u16string_view library : kSystemLibraries) {
        if (stem == library)
            return FindModule(BaseOfAddress(reinterpret_cast<const void*>(&SystemModule)), out);
    }
    return false;
}

// A dlopen handle of a module already loaded; the caller closes it.
void* OpenLoaded(const Module& module, int extraFlags = 0)
{
    return module.isMain ? dlopen(nullptr, RTLD_LAZY) : dlopen(module.loadName.c_str(), RTLD_LAZY | RTLD_NOLOAD | extraFlags);
}

void AddReference(uintptr_t base, void* handle)
{
    ReferenceTable& table = References();
    std::lock_guard<std::mutex> lock(table.mutex);
    Reference& reference = table.references[base];
    reference.handle = handle;
    ++reference.count;
}

// The Win32 error for a library that dlopen refused.
DWORD LoadError(const std::string& path, const char* message)
{
    if (path.find('/') == std::string::npos)
        return ERROR_MOD_NOT_FOUND;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return ERROR_MOD_NOT_FOUND;
    unsigned char header[EI_NIDENT] = {};
    const ssize_t got = read(fd, header, sizeof header);
    close(fd);
    if (got != EI_NIDENT || std::memcmp(header, ELFMAG, SELFMAG) != 0 || header[EI_CLASS] != ELFCLASS64)
        return ERROR_BAD_EXE_FORMAT;
    // A missing import is ERROR_PROC_NOT_FOUND on Windows too; a missing dependency is
    // ERROR_MOD_NOT_FOUND.
    return message && std::strstr(message, "undefined symbol") ? ERROR_PROC_NOT_FOUND : ERROR_MOD_NOT_FOUND;
}

}  // namespace

HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName)
{
    std::string path;
    if (!lpLibFileName || !lpLibFileName[0]) {
        SetLastError(lpLibFileName ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (Module system; SystemModule(lpLibFileName, &system)) {
        void* handle = OpenLoaded(system);
        if (!handle) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        AddReference(system.base, handle);
        return reinterpret_cast<HMODULE>(system.base);
    }
    if (!qor::shell::ToDiskPath(lpLibFileName, &path))
        return nullptr;
    // Imports are bound at load time and a module's symbols stay its own, as on Windows.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        SetLastError(LoadError(path, dlerror()));
        return nullptr;
    }
    link_map* map = nullptr;
    const uintptr_t base = dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map ? BaseOfAddress(map->l_ld) : 0;
    if (!base) {
        dlclose(handle);
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    AddReference(base, handle);
    return reinterpret_cast<HMODULE>(base);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    const uintptr_t base = reinterpret_cast<uintptr_t>(hLibModule);
    void* handle = nullptr;
    {
        ReferenceTable& table = References();
        std::lock_guard<std::mutex> lock(table.mutex);
        const auto found = table.references.find(base);
        if (found != table.references.end()) {
            handle = found->second.handle;
            if (--found->second.count == 0)
                table.references.erase(found);
        }
    }
    // Closed outside the lock: the module's destructors may call back into this file.
    if (handle) {
        dlclose(handle);
        return TRUE;
    }
    // A module that the program was linked with holds no reference of ours to drop.
    Module module;
    return base && FindModule(base, &module) ? TRUE : qor::shell::Fail(ERROR_MOD_NOT_FOUND);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    // Modules here export by name only; an ordinal finds nothing.
    if (IS_INTRESOURCE(lpProcName)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    Module module;
    const bool found = hModule ? FindModule(reinterpret_cast<uintptr_t>(hModule), &module) : MainModule(&module);
    const uintptr_t base = module.base;
    void* handle = found ? OpenLoaded(module) : nullptr;
    if (!handle) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // dlsym also searches the module's dependencies; GetProcAddress takes only the
    // module's own exports.
    void* symbol = dlsym(handle, lpProcName);
    const bool own = symbol && BaseOfAddress(symbol) == base;
    dlclose(handle);
    if (!own) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName)
{
    HMODULE hModule = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, lpModuleName, &hModule);
    return hModule;
}

BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule)
{
    using qor::shell::Fail;
    constexpr DWORD kKnownFlags = GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT |
                                  GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
    if (!phModule)
        return Fail(ERROR_INVALID_PARAMETER);
    *phModule = nullptr;
    const bool pin = dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN;
    const bool unchanged = dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if ((dwFlags & ~kKnownFlags) || (pin && unchanged))
        return Fail(ERROR_INVALID_PARAMETER);

    uintptr_t base = 0;
    Module module;
    if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
        base = BaseOfAddress(lpModuleName);
        // The common case (HINST_THISCOMPONENT) needs no walk over the modules.
        if (base && unchanged) {
            *phModule = reinterpret_cast<HMODULE>(base);
            return TRUE;
        }
        if (!base || !FindModule(base, &module))
            return Fail(ERROR_MOD_NOT_FOUND);
    } else if (!lpModuleName) {
        if (!MainModule(&module))
            return Fail(ERROR_MOD_NOT_FOUND);
    } else if (!SystemModule(lpModuleName, &module)) {
        std::string name;
        if (!qor::shell::ToDiskPath(lpModuleName, &name) || !FindModuleByName(name, &module))
            return Fail(ERROR_MOD_NOT_FOUND);
    }
    if (!unchanged) {
        void* handle = OpenLoaded(module, pin ? RTLD_NODELETE : 0);
        if (!handle)
            return Fail(ERROR_MOD_NOT_FOUND);
        AddReference(module.base, handle);
    }
    *phModule = reinterpret_cast<HMODULE>(module.base);
    return TRUE;
}

// A path longer than the buffer is cut to nSize - 1 characters and terminated, the result
// is nSize and the error ERROR_INSUFFICIENT_BUFFER, as on Windows; callers tell a cut path
// by that result.
DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize)
{
    Module module;
    if (hModule ? !FindModule(reinterpret_cast<uintptr_t>(hModule), &module) : !MainModule(&module)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    const std::u16string path = qor::ToUtf16(ModulePath(module));
    if (nSize == 0 || !lpFilename) {
        SetLastError(nSize == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t copied = std::min<size_t>(path.size(), nSize - 1);
    std::copy_n(path.begin(), copied, lpFilename);
    lpFilename[copied] = 0;
    if (copied < path.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    return static_cast<DWORD>(copied);
}
