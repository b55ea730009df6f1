// The demo: registers the demo property bag in a private registry folder, creates it the
// way a host creates the control (CoCreateInstance through the registry), writes the kinds
// of values a scan job holds, reads them back and prints what happened.
#include <atlbase.h>
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "DemoBag.h"

namespace {

std::string Narrow(LPCWSTR text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.pop_back();
    return out;
}

// A value as text: scalars through VariantChangeType, arrays element by element.
std::string Describe(const VARIANT& value)
{
    if (value.vt == (VT_ARRAY | VT_UI4)) {
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(value.parray, 1, &lower);
        SafeArrayGetUBound(value.parray, 1, &upper);
        std::string text = "[";
        for (LONG i = lower; i <= upper; ++i) {
            ULONG element = 0;
            SafeArrayGetElement(value.parray, &i, &element);
            text += (i > lower ? ", " : "") + std::to_string(LOWORD(element)) + "," + std::to_string(HIWORD(element));
        }
        return text + "]";
    }
    ATL::CComVariant text;
    if (FAILED(VariantChangeType(&text, &value, 0, VT_BSTR)))
        return "(no text form)";
    if (value.vt == VT_UI4)
        return Narrow(text.bstrVal) + " = pair(" + std::to_string(LOWORD(value.ulVal)) + ", " +
               std::to_string(HIWORD(value.ulVal)) + ")";
    return Narrow(text.bstrVal);
}

// The private registry folder keeps the demo away from the user's own registration.
std::filesystem::path MakeRegistryFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "qorscan-demo-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        return {};
    setenv("QOR_REGISTRY_DIR", pattern.c_str(), 1);
    return pattern;
}

std::u16string ModuleBesideProgram()
{
    WCHAR path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::filesystem::path program(Narrow(path));
    const std::string module = (program.parent_path().parent_path() / "lib" / "libQORDemoBag.so").string();
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_UTF8, 0, module.c_str(), -1, wide, MAX_PATH);
    return wide;
}

ULONG Pair(WORD a, WORD b)
{
    return static_cast<ULONG>(MAKELONG(a, b));
}

int Fail(const char* what, HRESULT hr)
{
    std::printf("FAILED: %s (0x%08X)\n", what, static_cast<unsigned>(hr));
    return 1;
}

}  // namespace

int main()
{
    const std::filesystem::path registry = MakeRegistryFolder();
    std::printf("registry folder: %s\n", registry.c_str());

    const std::u16string modulePath = ModuleBesideProgram();
    HMODULE module = LoadLibraryW(modulePath.c_str());
    if (!module)
        return Fail("LoadLibraryW of the demo module", HRESULT_FROM_WIN32(GetLastError()));
    using ServerFunction = HRESULT (*)();
    auto registerServer = reinterpret_cast<ServerFunction>(GetProcAddress(module, "DllRegisterServer"));
    auto unregisterServer = reinterpret_cast<ServerFunction>(GetProcAddress(module, "DllUnregisterServer"));
    if (!registerServer || !unregisterServer)
        return Fail("GetProcAddress of the registration exports", E_FAIL);
    HRESULT hr = registerServer();
    std::printf("DllRegisterServer: 0x%08X\n", static_cast<unsigned>(hr));
    if (FAILED(hr))
        return Fail("DllRegisterServer", hr);

    CoInitialize(nullptr);
    int result = 0;
    {
        ATL::CComPtr<IPropertyBag> bag;
        hr = CoCreateInstance(CLSID_DemoBag, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyBag,
                              reinterpret_cast<void**>(&bag));
        std::printf("CoCreateInstance(CLSID_DemoBag): 0x%08X\n", static_cast<unsigned>(hr));
        if (FAILED(hr)) {
            result = Fail("CoCreateInstance", hr);
        } else {
            ATL::CComVariant size(Pair(8500, 11000), VT_UI4);
            ATL::CComVariant temp(u"/tmp/scan-job");
            SAFEARRAY* frames = SafeArrayCreateVector(VT_UI4, 0, 2);
            for (LONG i = 0; i < 2; ++i) {
                ULONG pair = Pair(static_cast<WORD>(500 + 3000 * i), static_cast<WORD>(700 + 4000 * i));
                SafeArrayPutElement(frames, &i, &pair);
            }
            VARIANT positions;
            VariantInit(&positions);
            positions.vt = VT_ARRAY | VT_UI4;
            positions.parray = frames;

            const struct {
                LPCWSTR name;
                VARIANT* value;
            } writes[] = {{u"scan.size", &size}, {u"scan.temp", &temp}, {u"scan.multipos.array", &positions}};
            for (const auto& write : writes) {
                hr = bag->Write(write.name, write.value);
                std::printf("Write %-20s %s -> 0x%08X\n", Narrow(write.name).c_str(), Describe(*write.value).c_str(),
                            static_cast<unsigned>(hr));
            }
            for (const auto& write : writes) {
                ATL::CComVariant back;
                hr = bag->Read(write.name, &back, nullptr);
                const bool same = SUCCEEDED(hr) && Describe(back) == Describe(*write.value);
                std::printf("Read  %-20s %s -> 0x%08X %s\n", Narrow(write.name).c_str(), Describe(back).c_str(),
                            static_cast<unsigned>(hr), same ? "(same)" : "(DIFFERENT)");
                if (!same)
                    result = 1;
            }
            bag->Write(u"scan.temp", nullptr);
            ATL::CComVariant cleared;
            hr = bag->Read(u"scan.temp", &cleared, nullptr);
            std::printf("Write scan.temp null, then Read -> 0x%08X (the key is gone)\n", static_cast<unsigned>(hr));
            VariantClear(&positions);
        }
    }
    CoUninitialize();

    hr = unregisterServer();
    std::printf("DllUnregisterServer: 0x%08X\n", static_cast<unsigned>(hr));
    std::error_code ignored;
    std::filesystem::remove_all(registry, ignored);
    std::printf(result == 0 ? "demo finished\n" : "demo found differences\n");
    return result;
}
