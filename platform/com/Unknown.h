// IUnknown and IClassFactory, the roots of every component interface.
//
// Each interface declares its identity (`iid`) and the interface it extends (`base_interface`);
// the object base answers QueryInterface from that chain. Members are noexcept: no exception
// crosses an interface.
#pragma once

#include "platform/base/Errors.h"
#include "platform/base/Guid.h"
#include "platform/base/Types.h"

struct IUnknown {
    static constexpr IID iid = ambivox::make_guid("00000000-0000-0000-C000-000000000046");
    using base_interface = void;

    virtual HRESULT QueryInterface(REFIID riid, void** ppv) noexcept = 0;
    virtual ULONG AddRef() noexcept = 0;
    virtual ULONG Release() noexcept = 0;

protected:
    ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
    static constexpr IID iid = ambivox::make_guid("00000001-0000-0000-C000-000000000046");
    using base_interface = IUnknown;

    // An outer object may ask only for IUnknown (CLASS_E_NOAGGREGATION otherwise) and receives
    // the inner, non-delegating identity.
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept = 0;
    virtual HRESULT LockServer(BOOL lock) noexcept = 0;

protected:
    ~IClassFactory() = default;
};

inline constexpr IID IID_IUnknown = IUnknown::iid;
inline constexpr IID IID_IClassFactory = IClassFactory::iid;

// The identity of interface T, in the manner of __uuidof.
template <class T>
constexpr IID const& guid_of() noexcept {
    return T::iid;
}
