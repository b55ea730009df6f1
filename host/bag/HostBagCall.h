// One entry of the host bag's call log: what was called on the bag, with copies of the
// arguments, so that a test can assert the exact sequence of a control's calls.
#pragma once

#include <atlbase.h>

#include <optional>
#include <string>
#include <vector>

enum class HostBagCallKind { Read, Write, Advise, Unadvise, Notify, NotifyWindow, QueryStatus, Exec };

struct CHostBagCall {
    HostBagCallKind kind = HostBagCallKind::Read;

    // Read, Write, Notify: the key name.
    ATL::CComBSTR bstrName;
    // Write, Notify: the value; std::nullopt when the VARIANT pointer was null (a cleared key).
    // Read: the value handed out, when the read succeeded. Exec: the in-argument.
    std::optional<ATL::CComVariant> value;
    // Notify: the source. QueryStatus, Exec: the command group; std::nullopt for a null group.
    std::optional<GUID> guid;
    // Advise: the cookie given out (0 when none). Unadvise: the cookie asked for.
    // Exec: the command id. NotifyWindow: the code.
    DWORD dwId = 0;
    // Exec: the execution options.
    DWORD dwOptions = 0;
    // QueryStatus: the ids of the commands asked about, in order.
    std::vector<ULONG> vecCmdIds;
    // Advise: the sink, for identity checks only (no reference is held).
    IUnknown* pUnkSink = nullptr;
    // NotifyWindow: the window and the parameter.
    HWND hWnd = nullptr;
    LONG nParam = 0;
    // What the bag returned.
    HRESULT hr = S_OK;
};

// A compact one-line text of a call, for sequence assertions with readable failures:
//   Read scan.pos              Write scan.crop = VT_UI4 8500x11000     Write scan.ocr = null
//   Advise 1   Unadvise 1      Notify scan.type = VT_I4 2              NotifyWindow 1 0
//   QueryStatus 2205 2206      Exec 2205   Exec 2205 in = VT_I4 1
// A Notify from a source other than GUID_ScanSource, or a command group other than
// CGID_ScanControl, is marked "(foreign)"; a null group "(null group)". Results are not shown.
std::string FormatHostBagCall(const CHostBagCall& call);

// A value in the notation above: VT_UI4 as "VT_UI4 <low>x<high>" (every VT_UI4 key of the
// protocol is a pair or a small number, whose high word is then 0), VT_BSTR quoted,
// VT_ARRAY | VT_UI4 as "VT_ARRAY|VT_UI4 [a x b, ...]".
std::string FormatHostBagValue(const VARIANT& var);
