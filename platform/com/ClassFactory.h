// class_factory<T>: the class object of a creatable class T (an implements<> class). A module
// caches one per class until it unloads; that cached reference does not keep the module
// loaded, any further reference does.
#pragma once

#include "platform/com/Implements.h"

namespace ambivox {

template <class T>
class class_factory final : public implements<class_factory<T>, IClassFactory, free_threaded> {
public:
    static constexpr module_hold module_hold_policy = module_hold::cached;

    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept override {
        return T::create_instance(outer, riid, ppv);
    }

    HRESULT LockServer(BOOL lock) noexcept override {
        if (lock)
            this_module().Lock();
        else
            this_module().Unlock();
        return S_OK;
    }
};

}  // namespace ambivox
