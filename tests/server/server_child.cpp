// A fresh process that creates the control through the registry, as a host does.
// argv[1]: the module path the class must have been loaded from.
// Exit status: 0 created and answering its interfaces, 1 usage, 2 CoInitialize failed,
// 3 CoCreateInstance failed, 4 an interface is missing, 5 the object does not come from argv[1].
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>

#include <QORScan.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 1;
    if (FAILED(CoInitialize(nullptr)))
        return 2;
    int nExit = 0;
    IPersistPropertyBag* pPersist = nullptr;
    const HRESULT hr = CoCreateInstance(CLSID_QORScan, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistPropertyBag,
                                        reinterpret_cast<void**>(&pPersist));
    if (FAILED(hr)) {
        std::fprintf(stderr, "CoCreateInstance: 0x%08X\n", static_cast<unsigned>(hr));
        nExit = 3;
    } else {
        IQORAdvice* pAdvice = nullptr;
        if (FAILED(pPersist->QueryInterface(IID_IQORAdvice, reinterpret_cast<void**>(&pAdvice))))
            nExit = 4;
        else
            pAdvice->Release();
        std::u16string strModule;
        for (const char* p = argv[1]; *p; ++p)
            strModule += static_cast<char16_t>(*p);
        if (nExit == 0 && GetModuleHandleW(strModule.c_str()) == nullptr)
            nExit = 5;
        pPersist->Release();
    }
    CoUninitialize();
    return nExit;
}
