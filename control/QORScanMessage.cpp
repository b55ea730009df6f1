// CQORScan: messages for the user. The suite shows them through a message object of the host
// (which may offer "do not show again"); without one, a plain message box does.
#include <vector>

#include <windows.h>
#include <winver.h>

#include "QORScan.h"

namespace {

enum { CAPTION_CHARS = 260 };

// The module's product name from its version resource, cut to fit; empty without one.
void GetProductName(WCHAR (&szCaption)[CAPTION_CHARS])
{
    szCaption[0] = 0;
    WCHAR szModule[MAX_PATH] = {};
    const DWORD cchModule = ::GetModuleFileNameW(HINST_THISCOMPONENT, szModule, MAX_PATH);
    if (cchModule == 0 || cchModule >= MAX_PATH)
        return;
    DWORD dwHandle = 0;
    const DWORD cbInfo = ::GetFileVersionInfoSizeW(szModule, &dwHandle);
    if (cbInfo == 0)
        return;
    std::vector<BYTE> info(cbInfo);
    if (!::GetFileVersionInfoW(szModule, 0, cbInfo, info.data()))
        return;
    for (LPCWSTR pszKey :
         {OLESTR("\\StringFileInfo\\040904E4\\ProductName"), OLESTR("\\StringFileInfo\\040904B0\\ProductName")}) {
        LPVOID pValue = nullptr;
        UINT cchValue = 0;
        if (::VerQueryValueW(info.data(), pszKey, &pValue, &cchValue) && pValue != nullptr) {
            ::lstrcpynW(szCaption, static_cast<LPCWSTR>(pValue), CAPTION_CHARS);
            return;
        }
    }
}

// "DoMessage"(window, text, type, &result) on the host's message object. The arguments go in
// last to first; the window travels as a 32-bit value, as window handles do between processes.
HRESULT InvokeDoMessage(IDispatch* pDispatch, HWND hWnd, LPCWSTR pszText, UINT uType, int* pnResult,
                        int* pnReturn)
{
    LPOLESTR pszMethod = const_cast<LPOLESTR>(QORSCAN_MESSAGE_OBJECT_METHOD);
    DISPID dispid = DISPID_UNKNOWN;
    HRESULT hr = pDispatch->GetIDsOfNames(GUID_NULL, &pszMethod, 1, LOCALE_USER_DEFAULT, &dispid);
    if (FAILED(hr))
        return hr;

    ATL::CComBSTR bstrText(pszText);
    VARIANTARG args[4];
    for (VARIANTARG& arg : args)
        ::VariantInit(&arg);
    args[3].vt = VT_I4;
    args[3].lVal = static_cast<LONG>(reinterpret_cast<LONG_PTR>(hWnd));
    args[2].vt = VT_BSTR;
    args[2].bstrVal = bstrText;  // still owned by bstrText
    args[1].vt = VT_UI4;
    args[1].ulVal = uType;
    args[0].vt = VT_I4 | VT_BYREF;
    args[0].plVal = reinterpret_cast<LONG*>(pnResult);
    DISPPARAMS params = {args, nullptr, 4, 0};

    ATL::CComVariant varReturn;
    hr = pDispatch->Invoke(dispid, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &varReturn, nullptr,
                           nullptr);
    if (FAILED(hr))
        return hr;
    // An answer that is no number counts as 0.
    *pnReturn = SUCCEEDED(varReturn.ChangeType(VT_I4)) ? static_cast<int>(varReturn.lVal) : 0;
    return S_OK;
}

}  // namespace

int CQORScan::ShowHostMessage(HWND hWnd, LPCWSTR pszText, UINT uType, int* pnResult)
{
    static_assert(sizeof(int) == sizeof(LONG), "the by-reference argument is the caller's int");
    int nUnwanted = 0;
    if (pnResult == nullptr)
        pnResult = &nUnwanted;
    ATL::CComPtr<IDispatch> spMessage;
    if (SUCCEEDED(::CoCreateInstance(CLSID_QORHostMessage, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                     reinterpret_cast<void**>(&spMessage)))) {
        int nReturn = 0;
        if (SUCCEEDED(InvokeDoMessage(spMessage, hWnd, pszText, uType, pnResult, &nReturn)))
            return nReturn;
    }
    // The plain box has no "do not show again": the caller's result stays as it was.
    WCHAR szCaption[CAPTION_CHARS];
    GetProductName(szCaption);
    return ::MessageBoxW(hWnd, pszText, szCaption, uType);
}
