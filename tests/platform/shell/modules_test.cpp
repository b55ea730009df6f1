// Modules: handles are load bases, names and exports come from the loader.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>

#include <winbase.h>

#include "shell_test_util.h"

namespace {

using AnswerFunction = int (*)();
using ThisComponentFunction = HMODULE (*)();

// An export as the function it is; void (*)() is the type every function pointer may pass
// through.
template <class Function>
Function As(FARPROC proc)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

std::u16string ModuleFileName(HMODULE module)
{
    WCHAR buffer[4096];
    const DWORD length = GetModuleFileNameW(module, buffer, 4096);
    return std::u16string(buffer, length);
}

std::u16string TestModulePath()
{
    char* resolved = realpath(QOR_SHELL_TESTMODULE, nullptr);
    std::u16string path = qor::ToUtf16(resolved ? resolved : "");
    free(resolved);
    return path;
}

int FunctionInThisProgram()
{
    return 7;
}

TEST(ModuleHandle, OfTheProgram)
{
    const HMODULE program = GetModuleHandleW(nullptr);
    ASSERT_NE(nullptr, program);
    HMODULE fromAddress = nullptr;
    EXPECT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCWSTR>(&FunctionInThisProgram), &fromAddress));
    EXPECT_EQ(program, fromAddress);
    EXPECT_EQ(program, HINST_THISCOMPONENT);
    // The handle is where the program's image starts: its ELF header.
    EXPECT_EQ(0, std::memcmp(program, "\x7f" "ELF", 4));

    char exe[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe);
    ASSERT_GT(length, 0);
    EXPECT_EQ(qor::ToUtf16(std::string(exe, static_cast<size_t>(length))), ModuleFileName(nullptr));
    EXPECT_EQ(ModuleFileName(nullptr), ModuleFileName(program));
    EXPECT_TRUE(ModuleFileName(nullptr).ends_with(u"/test_platform_shell"));
}

TEST(ModuleFileName, CutsToTheBufferAsWindowsDoes)
{
    const std::u16string full = ModuleFileName(nullptr);
    const DWORD size = static_cast<DWORD>(full.size());
    std::unique_ptr<WCHAR[]> buffer(new WCHAR[size + 1]);
    SetLastError(0);
    EXPECT_EQ(size, GetModuleFileNameW(nullptr, buffer.get(), size + 1));
    EXPECT_EQ(full, buffer.get());
    EXPECT_EQ(static_cast<DWORD>(0), GetLastError());

    EXPECT_EQ(size, GetModuleFileNameW(nullptr, buffer.get(), size));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(full.substr(0, size - 1), buffer.get());
    WCHAR small[5];
    EXPECT_EQ(5u, GetModuleFileNameW(nullptr, small, 5));
    EXPECT_EQ(full.substr(0, 4), small);
    EXPECT_FAILS_WITH(ERROR_INSUFFICIENT_BUFFER, GetModuleFileNameW(nullptr, small, 0));

    int notAModule = 0;
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_MOD_NOT_FOUND, GetModuleFileNameW(reinterpret_cast<HMODULE>(&notAModule), small, 5));
}

TEST(LoadLibrary, LoadsFindsExportsAndFrees)
{
    const std::u16string path = qor::ToUtf16(QOR_SHELL_TESTMODULE);
    const HMODULE module = LoadLibraryW(path.c_str());
    ASSERT_NE(nullptr, module) << GetLastError();
    EXPECT_NE(GetModuleHandleW(nullptr), module);
    EXPECT_EQ(0, std::memcmp(module, "\x7f" "ELF", 4));
    EXPECT_EQ(TestModulePath(), ModuleFileName(module));

    const auto answer = As<AnswerFunction>(GetProcAddress(module, "QorTestModuleAnswer"));
    ASSERT_NE(nullptr, answer);
    EXPECT_EQ(42, answer());
    // The module's code sees itself as this module, and so does an address lookup.
    const auto thisComponent =
        As<ThisComponentFunction>(GetProcAddress(module, "QorTestModuleThisComponent"));
    ASSERT_NE(nullptr, thisComponent);
    EXPECT_EQ(module, thisComponent());
    HMODULE fromAddress = nullptr;
    EXPECT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCWSTR>(answer), &fromAddress));
    EXPECT_EQ(module, fromAddress);
    EXPECT_EQ(module, GetModuleHandleW(u"libqor_shell_testmodule.so"));
    EXPECT_EQ(module, GetModuleHandleW(path.c_str()));

    // Only the module's own exports: the program's functions are not the module's.
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_PROC_NOT_FOUND, GetProcAddress(module, "QorTestModuleMissing"));
    EXPECT_EQ(nullptr, GetProcAddress(module, "GetModuleHandleExW"));
    EXPECT_EQ(nullptr, GetProcAddress(module, "malloc"));
    EXPECT_FAILS_WITH(ERROR_PROC_NOT_FOUND, GetProcAddress(module, reinterpret_cast<LPCSTR>(1)));
    // The program's exports, through a null module.
    EXPECT_EQ(&GetModuleHandleExW, As<decltype(&GetModuleHandleExW)>(GetProcAddress(nullptr, "GetModuleHandleExW")));

    // Two more references, then three releases: the last one unloads it.
    EXPECT_EQ(module, LoadLibraryW(path.c_str()));
    HMODULE counted = nullptr;
    EXPECT_TRUE(GetModuleHandleExW(0, u"libqor_shell_testmodule.so", &counted));
    EXPECT_EQ(module, counted);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(module, GetModuleHandleW(u"libqor_shell_testmodule.so"));
    EXPECT_TRUE(FreeLibrary(module));
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_MOD_NOT_FOUND, GetModuleHandleW(u"libqor_shell_testmodule.so"));
    EXPECT_FAILS_WITH(ERROR_MOD_NOT_FOUND, FreeLibrary(module));
}

TEST(LoadLibrary, FailuresAndModuleHandleExArguments)
{
    ScratchFolder folder;
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_MOD_NOT_FOUND, LoadLibraryW(folder.W("TRMLX.dll", true).c_str()));
    EXPECT_FAILS_WITH(ERROR_MOD_NOT_FOUND, LoadLibraryW(u"qor-no-such-library.so"));
    WriteText(folder.Path("text.dll"), "this is no library, only text that is long enough");
    EXPECT_FAILS_WITH(ERROR_BAD_EXE_FORMAT, LoadLibraryW(folder.W("text.dll").c_str()));
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, LoadLibraryW(nullptr));

    HMODULE module = reinterpret_cast<HMODULE>(1);
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, GetModuleHandleExW(0, nullptr, nullptr));
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER,
                      GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                         nullptr, &module));
    EXPECT_EQ(nullptr, module);

    // Memory of no module: the heap.
    std::unique_ptr<int> heap(new int(0));
    module = reinterpret_cast<HMODULE>(1);
    EXPECT_FAILS_WITH(ERROR_MOD_NOT_FOUND, GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                                              reinterpret_cast<LPCWSTR>(heap.get()), &module));
    EXPECT_EQ(nullptr, module);
    EXPECT_FAILS_WITH(ERROR_MOD_NOT_FOUND, GetModuleHandleW(u"libqor-not-loaded.so"));
    EXPECT_FAILS_WITH(ERROR_MOD_NOT_FOUND, GetProcAddress(reinterpret_cast<HMODULE>(heap.get()), "x"));
}

// The system libraries that the platform stands in for are the platform's own module, so
// that their functions are found where Windows programs look for them.
TEST(SystemLibraries, NameThePlatformsModule)
{
    HMODULE platform = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCWSTR>(&LoadLibraryW), &platform));
    for (LPCWSTR name : {u"OLEAUT32.DLL", u"oleaut32", u"Kernel32.dll", u"user32", u"GDI32.DLL", u"advapi32.dll",
                         u"Ole32", u"shlwapi.dll", u"SHELL32", u"gdiplus.dll"}) {
        SCOPED_TRACE(qor::ToUtf8(name));
        EXPECT_EQ(platform, GetModuleHandleW(name));
        const HMODULE loaded = LoadLibraryW(name);
        EXPECT_EQ(platform, loaded);
        EXPECT_TRUE(FreeLibrary(loaded));
    }
    const HMODULE oleaut = LoadLibraryW(u"OLEAUT32.DLL");
    EXPECT_EQ(&GetModuleFileNameW, As<decltype(&GetModuleFileNameW)>(GetProcAddress(oleaut, "GetModuleFileNameW")));
    EXPECT_TRUE(FreeLibrary(oleaut));

    for (LPCWSTR name : {u"oleaut32.dll.dll", u"oleaut", u"comctl32.dll", u"oleaut32.so"}) {
        SCOPED_TRACE(qor::ToUtf8(name));
        SetLastError(0);
        EXPECT_FAILS_WITH(ERROR_MOD_NOT_FOUND, GetModuleHandleW(name));
    }
}

}  // namespace
