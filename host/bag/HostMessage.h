// CHostMessage: the host's message object, an IDispatch with the one method "DoMessage".
//
// The control shows its messages (the paper warning before a feeder scan) through it when the
// class {7C3E9A52-7700-0000-0000-770000000007} can be created, else in a plain message box.
// "DoMessage"(window VT_I4, text VT_BSTR, type VT_UI4, answer VT_I4 | VT_BYREF) returns the
// button the user chose and sets the answer (non-zero: do not show this message again).
//
// A host makes the class exist in its process with a CHostMessageClass, which registers it for
// its own lifetime; every object of the class shows its messages through the host's handler.
#pragma once

#include <QORScan.h>
#include <atlbase.h>
#include <atlcom.h>
#include <oaidl.h>

#include <functional>

class ATL_NO_VTABLE CHostMessage : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>, public IDispatch {
public:
    // Shows pszText with the message-box type uType to the user of hWnd; returns the button
    // chosen (IDOK, ...) and sets *pnAnswer.
    typedef std::function<int(HWND hWnd, LPCWSTR pszText, UINT uType, LONG* pnAnswer)> Handler;
    enum { DISPID_DOMESSAGE = 1 };

    BEGIN_COM_MAP(CHostMessage)
        COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()

    // --- IDispatch
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override;
    STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHOD(Invoke)(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                      VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

private:
    friend class CHostMessageClass;
    static Handler s_handler;  // the registered class's; one registration per process
};

// The message object's class, registered in this process while this object lives.
class CHostMessageClass {
public:
    explicit CHostMessageClass(CHostMessage::Handler handler);
    ~CHostMessageClass();
    CHostMessageClass(const CHostMessageClass&) = delete;
    CHostMessageClass& operator=(const CHostMessageClass&) = delete;

    // S_OK once registered; CoRegisterClassObject's failure otherwise (another registration of
    // the class in this process, say).
    HRESULT Result() const { return m_hr; }

private:
    ATL::CComPtr<IClassFactory> m_spFactory;
    DWORD m_dwCookie = 0;
    HRESULT m_hr = E_FAIL;
};
