// Controls: persistence through a property bag, and the site of an object.
#pragma once

#include "oaidl.h"

struct IPersistPropertyBag : IPersist {
    STDMETHOD(InitNew)() = 0;
    STDMETHOD(Load)(IPropertyBag* pPropBag, IErrorLog* pErrorLog) = 0;
    STDMETHOD(Save)(IPropertyBag* pPropBag, BOOL fClearDirty, BOOL fSaveAllProperties) = 0;
};
typedef IPersistPropertyBag* LPPERSISTPROPERTYBAG;
QOR_DEFINE_IID(IPersistPropertyBag, 0x37D84F60, 0x42CB, 0x11CE, 0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51);

struct IObjectWithSite : IUnknown {
    STDMETHOD(SetSite)(IUnknown* pUnkSite) = 0;
    STDMETHOD(GetSite)(REFIID riid, void** ppvSite) = 0;
};
typedef IObjectWithSite* LPOBJECTWITHSITE;
QOR_DEFINE_IID(IObjectWithSite, 0xFC4801A3, 0x2BA9, 0x11CF, 0xA2, 0x29, 0x00, 0xAA, 0x00, 0x3D, 0x73, 0x52);
