#include "HostBagCall.h"

#include <QORScan.h>

#include "HostJob.h"
#include <oleauto.h>

#include <cstdio>

namespace {

// Key names and strings of the protocol are ASCII; anything else is shown escaped, so that a
// failing comparison never prints broken text.
std::string NarrowText(const OLECHAR* psz, UINT cch)
{
    std::string text;
    for (UINT i = 0; i < cch; ++i) {
        const OLECHAR ch = psz[i];
        if (ch >= 0x20 && ch < 0x7F) {
            text += static_cast<char>(ch);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04X", static_cast<unsigned>(ch));
            text += escaped;
        }
    }
    return text;
}

std::string BstrText(BSTR bstr)
{
    return NarrowText(bstr, ::SysStringLen(bstr));
}

std::string PairText(DWORD dwPair)
{
    return std::to_string(QorScanPairLow(dwPair)) + "x" + std::to_string(QorScanPairHigh(dwPair));
}

std::string PairArrayText(const VARIANT& var)
{
    std::vector<DWORD> vecPairs;
    if (FAILED(HostReadFrameArray(var, vecPairs)))
        return "VT_ARRAY|VT_UI4 <bad array>";
    std::string text = "VT_ARRAY|VT_UI4 [";
    for (size_t i = 0; i < vecPairs.size(); ++i)
        text += (i == 0 ? "" : ", ") + PairText(vecPairs[i]);
    return text + "]";
}

std::string GroupText(const std::optional<GUID>& guid)
{
    if (!guid)
        return " (null group)";
    return IsEqualGUID(*guid, CGID_ScanControl) ? "" : " (foreign)";
}

std::string ValueText(const std::optional<ATL::CComVariant>& value)
{
    return value ? FormatHostBagValue(*value) : "null";
}

}  // namespace

std::string FormatHostBagValue(const VARIANT& var)
{
    switch (var.vt) {
    case VT_EMPTY:
        return "VT_EMPTY";
    case VT_UI4:
        return "VT_UI4 " + PairText(var.ulVal);
    case VT_I4:
        return "VT_I4 " + std::to_string(var.lVal);
    case VT_BOOL:
        if (var.boolVal == VARIANT_TRUE)
            return "VT_BOOL true";
        return var.boolVal == VARIANT_FALSE ? "VT_BOOL false" : "VT_BOOL " + std::to_string(var.boolVal);
    case VT_BSTR:
        return "VT_BSTR \"" + BstrText(var.bstrVal) + "\"";
    case VT_ARRAY | VT_UI4:
        return PairArrayText(var);
    default:
        return "VT " + std::to_string(var.vt);
    }
}

std::string FormatHostBagCall(const CHostBagCall& call)
{
    switch (call.kind) {
    case HostBagCallKind::Read:
        return "Read " + BstrText(call.bstrName);
    case HostBagCallKind::Write:
        return "Write " + BstrText(call.bstrName) + " = " + ValueText(call.value);
    case HostBagCallKind::Advise:
        return "Advise " + std::to_string(call.dwId);
    case HostBagCallKind::Unadvise:
        return "Unadvise " + std::to_string(call.dwId);
    case HostBagCallKind::Notify: {
        const bool bOurs = call.guid && IsEqualGUID(*call.guid, GUID_ScanSource);
        return std::string("Notify") + (bOurs ? "" : " (foreign)") + " " + BstrText(call.bstrName) + " = " +
               ValueText(call.value);
    }
    case HostBagCallKind::NotifyWindow:
        return "NotifyWindow " + std::to_string(call.dwId) + " " + std::to_string(call.nParam);
    case HostBagCallKind::QueryStatus: {
        std::string text = "QueryStatus" + GroupText(call.guid);
        for (ULONG id : call.vecCmdIds)
            text += " " + std::to_string(id);
        return text;
    }
    case HostBagCallKind::Exec:
        return "Exec" + GroupText(call.guid) + " " + std::to_string(call.dwId) +
               (call.value ? " in = " + FormatHostBagValue(*call.value) : "");
    }
    return "?";
}
