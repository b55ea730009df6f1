// CHostMessage: "DoMessage" checked argument by argument, then handed to the host.
#include "HostMessage.h"

#include <objbase.h>

CHostMessage::Handler CHostMessage::s_handler;

STDMETHODIMP CHostMessage::GetTypeInfoCount(UINT* pctinfo)
{
    if (pctinfo == nullptr)
        return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

STDMETHODIMP CHostMessage::GetTypeInfo(UINT /*iTInfo*/, LCID /*lcid*/, ITypeInfo** ppTInfo)
{
    if (ppTInfo != nullptr)
        *ppTInfo = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CHostMessage::GetIDsOfNames(REFIID /*riid*/, LPOLESTR* rgszNames, UINT cNames, LCID /*lcid*/,
                                         DISPID* rgDispId)
{
    if (rgszNames == nullptr || rgDispId == nullptr || cNames == 0)
        return E_POINTER;
    for (UINT i = 0; i < cNames; ++i)
        rgDispId[i] = DISPID_UNKNOWN;
    if (cNames != 1 || rgszNames[0] == nullptr || lstrcmpiW(rgszNames[0], QORSCAN_MESSAGE_OBJECT_METHOD) != 0)
        return DISP_E_UNKNOWNNAME;
    rgDispId[0] = DISPID_DOMESSAGE;
    return S_OK;
}

STDMETHODIMP CHostMessage::Invoke(DISPID dispIdMember, REFIID /*riid*/, LCID /*lcid*/, WORD wFlags,
                                  DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* /*pExcepInfo*/,
                                  UINT* puArgErr)
{
    if (dispIdMember != DISPID_DOMESSAGE)
        return DISP_E_MEMBERNOTFOUND;
    if ((wFlags & DISPATCH_METHOD) == 0)
        return DISP_E_MEMBERNOTFOUND;
    if (pDispParams == nullptr || pDispParams->cArgs != 4 || pDispParams->rgvarg == nullptr)
        return DISP_E_BADPARAMCOUNT;
    if (pDispParams->cNamedArgs != 0)
        return DISP_E_NONAMEDARGS;
    // The arguments lie last to first.
    const VARIANT* rgvarg = pDispParams->rgvarg;
    const VARTYPE rgvt[4] = {VT_I4 | VT_BYREF, VT_UI4, VT_BSTR, VT_I4};
    for (UINT i = 0; i < 4; ++i) {
        if (rgvarg[i].vt != rgvt[i] || (i == 0 && rgvarg[0].plVal == nullptr)) {
            if (puArgErr != nullptr)
                *puArgErr = i;
            return DISP_E_TYPEMISMATCH;
        }
    }
    LONG nAnswer = 0;
    const HWND hWnd = reinterpret_cast<HWND>(static_cast<LONG_PTR>(rgvarg[3].lVal));
    const int nResult = s_handler ? s_handler(hWnd, rgvarg[2].bstrVal != nullptr ? rgvarg[2].bstrVal : OLESTR(""),
                                              rgvarg[1].ulVal, &nAnswer)
                                  : IDOK;
    *rgvarg[0].plVal = nAnswer;
    if (pVarResult != nullptr) {
        ::VariantInit(pVarResult);
        pVarResult->vt = VT_I4;
        pVarResult->lVal = nResult;
    }
    return S_OK;
}

CHostMessageClass::CHostMessageClass(CHostMessage::Handler handler)
{
    ATL::CComObject<ATL::CComClassFactory>* pFactory = nullptr;
    m_hr = ATL::CComObject<ATL::CComClassFactory>::CreateInstance(&pFactory);
    if (FAILED(m_hr))
        return;
    pFactory->SetVoid(reinterpret_cast<void*>(&ATL::CComCreator<ATL::CComObject<CHostMessage>>::CreateInstance));
    m_spFactory = pFactory;
    m_hr = ::CoRegisterClassObject(CLSID_QORHostMessage, m_spFactory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                   &m_dwCookie);
    if (SUCCEEDED(m_hr))
        CHostMessage::s_handler = std::move(handler);
}

CHostMessageClass::~CHostMessageClass()
{
    if (SUCCEEDED(m_hr)) {
        ::CoRevokeClassObject(m_dwCookie);
        CHostMessage::s_handler = nullptr;
    }
}
