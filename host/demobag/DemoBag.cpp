#include "DemoBag.h"

#include <oleauto.h>

CDemoBag::Entry* CDemoBag::Find(LPCOLESTR pszPropName)
{
    for (Entry& entry : m_entries)
        if (lstrcmpW(entry.name, pszPropName) == 0)
            return &entry;
    return nullptr;
}

STDMETHODIMP CDemoBag::Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* /*pErrorLog*/)
{
    if (!pszPropName || !pVar)
        return E_POINTER;
    const Entry* entry = Find(pszPropName);
    if (!entry)
        return E_INVALIDARG;
    VariantClear(pVar);
    return VariantCopy(pVar, &entry->value);
}

// A null value removes the key.
STDMETHODIMP CDemoBag::Write(LPCOLESTR pszPropName, VARIANT* pVar)
{
    if (!pszPropName)
        return E_POINTER;
    Entry* entry = Find(pszPropName);
    if (!pVar) {
        if (entry)
            m_entries.erase(m_entries.begin() + (entry - m_entries.data()));
        return S_OK;
    }
    if (!entry) {
        m_entries.push_back(Entry{ATL::CComBSTR(pszPropName), ATL::CComVariant()});
        entry = &m_entries.back();
    }
    return entry->value.Copy(pVar);
}
