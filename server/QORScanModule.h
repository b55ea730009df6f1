// CQORScanModule: the module object of the scan control's in-process server.
#pragma once

#include <windows.h>
#include <atlbase.h>
#include <atlcom.h>

// The hosts' header, which gives the class and library ids; the control's own header has
// the same name.
#include "include/QORScan.h"

// The module's entry points are the only symbols it shows; everything else is built hidden.
#define QORSCAN_EXPORT __attribute__((visibility("default")))

// The module's resources.
#define IDR_QORSCAN 102  // REGISTRY: the class registration script

class CQORScanModule : public ATL::CAtlDllModuleT<CQORScanModule> {
public:
    // The type library QORScanLib (resource TYPELIB 1).
    static constexpr const GUID& m_libid = LIBID_QORScanLib;

    // Registration of the class and the type library under LOCALE_SYSTEM_DEFAULT, machine-wide
    // or, after AtlSetPerUserRegistration(true), for the user.
    HRESULT RegisterServer();
    // The same in reverse; the first failure is the result.
    HRESULT UnregisterServer();

private:
    // Runs the class's registry script with the module's replacements.
    HRESULT UpdateClassRegistry(BOOL bRegister);
};
