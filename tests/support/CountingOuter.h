// A controlling object for aggregation tests. It counts every call made on it, answers IUnknown
// itself and hands any other request to the aggregated inner object, as a real outer object
// does. It lives on the test's stack: its count never destroys it.
#pragma once

#include "platform/com/Unknown.h"

namespace ambivox::testing {

class CountingOuter final : public IUnknown {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) noexcept override {
        ++queries;
        if (ppv == nullptr) return E_POINTER;
        if (riid == IUnknown::iid) {
            AddRef();
            *ppv = static_cast<IUnknown*>(this);
            return S_OK;
        }
        if (inner != nullptr) return inner->QueryInterface(riid, ppv);
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() noexcept override {
        ++addRefs;
        return ++refs;
    }
    ULONG Release() noexcept override {
        ++releases;
        return --refs;
    }

    IUnknown* inner = nullptr;  // the inner identity; the test releases it
    ULONG refs = 1;
    int queries = 0;
    int addRefs = 0;
    int releases = 0;
};

}  // namespace ambivox::testing
