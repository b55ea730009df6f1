// qorregsvr [/u] [/i[:cmdline]] <module>
//
// Registers an in-process server through its DllRegisterServer, or unregisters it with /u.
// With /i the module's DllInstall is called instead, with the text after "/i:" as its command
// line ("/i:user" registers for the current user only). Options may also begin with '-'.
// Since module paths begin with '/' here, an argument that is not one of these options is
// the module, unless it begins with '-'.
// Exit status: 0 on success, 1 for a usage error, 2 when the module or its entry point cannot
// be found, 3 when the entry point fails.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

typedef HRESULT(STDAPICALLTYPE* PFN_SERVER)();
typedef HRESULT(STDAPICALLTYPE* PFN_INSTALL)(BOOL bInstall, LPCWSTR pszCmdLine);

struct Options {
    bool bUnregister = false;
    bool bInstall = false;
    std::u16string strInstallCmdLine;  // the text after "/i:"
    bool bHasInstallCmdLine = false;
    const char* pszModule = nullptr;
};

std::u16string Widen(const char* psz)
{
    const int cch = MultiByteToWideChar(CP_UTF8, 0, psz, -1, nullptr, 0);
    if (cch <= 0)
        return std::u16string();
    std::u16string text(static_cast<size_t>(cch), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, psz, -1, text.data(), cch);
    text.resize(static_cast<size_t>(cch - 1));
    return text;
}

bool IsOption(const char* arg, char letter)
{
    return (arg[0] == '/' || arg[0] == '-') && (arg[1] == letter || arg[1] == letter - 'a' + 'A');
}

bool ParseArguments(int argc, char** argv, Options* pOptions)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (IsOption(arg, 'u') && arg[2] == '\0') {
            pOptions->bUnregister = true;
        } else if (IsOption(arg, 'i') && (arg[2] == '\0' || arg[2] == ':')) {
            pOptions->bInstall = true;
            if (arg[2] == ':') {
                pOptions->bHasInstallCmdLine = true;
                pOptions->strInstallCmdLine = Widen(arg + 3);
            }
        } else if (arg[0] != '-' && pOptions->pszModule == nullptr) {
            pOptions->pszModule = arg;
        } else {
            return false;
        }
    }
    return pOptions->pszModule != nullptr;
}

int Run(const Options& options)
{
    const std::u16string strModule = Widen(options.pszModule);
    HMODULE hModule = LoadLibraryW(strModule.c_str());
    if (hModule == nullptr) {
        std::fprintf(stderr, "qorregsvr: cannot load %s (error %u)\n", options.pszModule,
                     static_cast<unsigned>(GetLastError()));
        return 2;
    }
    const char* pszEntry = options.bInstall      ? "DllInstall"
                           : options.bUnregister ? "DllUnregisterServer"
                                                 : "DllRegisterServer";
    const FARPROC pfn = GetProcAddress(hModule, pszEntry);
    int nExit = 0;
    if (pfn == nullptr) {
        std::fprintf(stderr, "qorregsvr: %s has no entry point %s\n", options.pszModule, pszEntry);
        nExit = 2;
    } else {
        HRESULT hr;
        if (options.bInstall)
            hr = reinterpret_cast<PFN_INSTALL>(reinterpret_cast<void*>(pfn))(
                !options.bUnregister, options.bHasInstallCmdLine ? options.strInstallCmdLine.c_str() : nullptr);
        else
            hr = reinterpret_cast<PFN_SERVER>(reinterpret_cast<void*>(pfn))();
        if (FAILED(hr)) {
            std::fprintf(stderr, "qorregsvr: %s in %s failed with 0x%08X\n", pszEntry, options.pszModule,
                         static_cast<unsigned>(hr));
            nExit = 3;
        } else {
            std::printf("%s in %s succeeded.\n", pszEntry, options.pszModule);
        }
    }
    FreeLibrary(hModule);
    return nExit;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseArguments(argc, argv, &options)) {
        std::fprintf(stderr, "usage: qorregsvr [/u] [/i[:cmdline]] <module>\n");
        return 1;
    }
    return Run(options);
}
