// An IUnknown that only counts references, so tests can see every AddRef and Release a
// variant operation makes. It lives on the stack and starts with the test's own reference.
#pragma once

#include "platform/com/Unknown.h"

namespace ambivox::test {

class CountingUnknown final : public IUnknown {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) noexcept override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() noexcept override { return ++refs_; }
    ULONG Release() noexcept override { return --refs_; }

    ULONG refs() const noexcept { return refs_; }

private:
    ULONG refs_ = 1;
};

}  // namespace ambivox::test
