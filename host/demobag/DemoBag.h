// CDemoBag: a property bag that keeps what is written into it, served by its own module.
#pragma once

#include <atlbase.h>
#include <atlcom.h>
#include <oaidl.h>

#include <vector>

// {7C3E9A52-7700-0000-0000-7700000000DB}
DEFINE_GUID(CLSID_DemoBag, 0x7C3E9A52, 0x7700, 0x0000, 0x00, 0x00, 0x77, 0x00, 0x00, 0x00, 0x00, 0xDB);

class CDemoBag : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                 public ATL::CComCoClass<CDemoBag, &CLSID_DemoBag>,
                 public IPropertyBag {
public:
    BEGIN_COM_MAP(CDemoBag)
        COM_INTERFACE_ENTRY(IPropertyBag)
    END_COM_MAP()

    // IPropertyBag
    STDMETHOD(Read)(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) override;
    STDMETHOD(Write)(LPCOLESTR pszPropName, VARIANT* pVar) override;

private:
    struct Entry {
        ATL::CComBSTR name;
        ATL::CComVariant value;
    };
    Entry* Find(LPCOLESTR pszPropName);

    std::vector<Entry> m_entries;
};
