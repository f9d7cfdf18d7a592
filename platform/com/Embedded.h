// embedded<I...>: the object base for an object that lives inside another and has no reference
// count of its own (a connection point inside its container, a handler inside the parser that
// installs it). It answers QueryInterface from the compile-time list I... as implements<> does.
//
// Its lifetime is its owner's, in one of two ways:
// - given the owner's IUnknown, AddRef and Release go to the owner, so a reference to the
//   embedded object keeps the whole owner alive;
// - given no owner, AddRef and Release do nothing and answer 0: the owner destroys the object with
//   itself, and must outlive everybody it handed the object to.
// Neither way holds a module lock: the owner's life is what keeps the module.
#pragma once

#include "platform/com/InterfaceList.h"
#include "platform/com/Unknown.h"

namespace ambivox {

template <class... I>
class embedded : public I... {
    using interfaces = interface_list<I...>;

public:
    embedded(embedded const&) = delete;
    embedded& operator=(embedded const&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) noexcept final {
        if (ppv == nullptr) return E_POINTER;
        *ppv = riid == IUnknown::iid ? interfaces::identity(this) : interfaces::find(this, riid);
        if (*ppv == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() noexcept final { return m_owner != nullptr ? m_owner->AddRef() : 0; }
    ULONG Release() noexcept final { return m_owner != nullptr ? m_owner->Release() : 0; }

protected:
    // owner: borrowed; the object whose count this one shares, or null for none.
    explicit embedded(IUnknown* owner = nullptr) noexcept : m_owner(owner) {}
    ~embedded() = default;

private:
    IUnknown* m_owner;
};

}  // namespace ambivox
