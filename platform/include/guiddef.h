// GUID constants and the __uuidof mapping from an interface type to its IID.
#pragma once

#include <type_traits>

#include "windef.h"

#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

template <class T>
struct qor_uuidof_t;

// Declares IID_<iface> and ties it to the type, so that __uuidof(iface) and
// __uuidof(*pointer) both find it.
#define QOR_DEFINE_IID(iface, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    DEFINE_GUID(IID_##iface, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8);   \
    template <>                                                            \
    struct qor_uuidof_t<iface> {                                           \
        static constexpr const GUID& value = IID_##iface;                  \
    }

// Ties an existing GUID constant to a type (classes declared with a CLSID).
#define QOR_DEFINE_UUIDOF(type, guid) \
    template <>                       \
    struct qor_uuidof_t<type> {       \
        static constexpr const GUID& value = guid;                         \
    }

#define __uuidof(x) (qor_uuidof_t<std::remove_cvref_t<__typeof__(x)>>::value)

#define interface struct
#define PURE = 0
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
