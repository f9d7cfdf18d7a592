// implements<Derived, I...>: the one object base of the runtime for objects with a life of their
// own (embedded<> serves objects that live inside another).
//
// It answers QueryInterface from the compile-time list I... (see interface_list), keeps the plain
// reference count of a single-threaded object, supports aggregation through a separate
// non-delegating inner identity, and holds one lock on the module for as long as the object
// lives. No class writes QueryInterface by hand.
#pragma once

#include <atomic>
#include <new>
#include <type_traits>
#include <utility>

#include "platform/base/HResultBoundary.h"
#include "platform/com/ComPtr.h"
#include "platform/com/InterfaceList.h"
#include "platform/com/ModuleLock.h"
#include "platform/com/Unknown.h"

namespace ambivox {

// How an object holds its module: a counted object holds one lock while it lives; a cached
// object (a class factory the module keeps until it unloads) holds one only while somebody
// besides the module holds a reference. A class chooses cached with
//     static constexpr module_hold module_hold_policy = module_hold::cached;
enum class module_hold { counted, cached };

// Listed among the interfaces of an object that threads share (a module's class factories, a
// type library and its type information): its reference count is atomic. Every other object
// belongs to one apartment and keeps the plain count.
struct free_threaded {
    using interface_type = void;
};

namespace implements_detail {

template <class D>
constexpr module_hold hold_of() {
    if constexpr (requires { D::module_hold_policy; })
        return D::module_hold_policy;
    else
        return module_hold::counted;
}

}  // namespace implements_detail

template <class Derived, class... I>
class implements : public I... {
    using interfaces = interface_list<I...>;

public:
    implements(implements const&) = delete;
    implements& operator=(implements const&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) noexcept final {
        if (m_outer != nullptr) return m_outer->QueryInterface(riid, ppv);
        return inner_query(riid, ppv);
    }
    ULONG AddRef() noexcept final {
        if (m_outer != nullptr) return m_outer->AddRef();
        ULONG const refs = ++m_refs;
        if (cached() && refs == 2) this_module().Lock();
        return refs;
    }
    ULONG Release() noexcept final {
        if (m_outer != nullptr) return m_outer->Release();
        return inner_release();
    }

    // The controlling identity: the outer object when aggregated, else this object.
    IUnknown* controlling_unknown() noexcept { return m_outer != nullptr ? m_outer : identity(); }

    // Creation for class factories. With an outer object only IUnknown may be asked for, and the
    // answer is the non-delegating inner identity. *ppv is null on failure.
    template <class... Args>
    static HRESULT create_instance(IUnknown* outer, REFIID riid, void** ppv,
                                   Args&&... args) noexcept {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (outer != nullptr && riid != IUnknown::iid) return CLASS_E_NOAGGREGATION;
        return hresult_boundary([&]() -> HRESULT {
            Derived* object = new Derived(std::forward<Args>(args)...);
            if (outer != nullptr) {
                object->m_outer = outer;
                *ppv = &object->m_inner;  // the creation reference now belongs to the outer
                return S_OK;
            }
            HRESULT const hr = object->inner_query(riid, ppv);
            object->inner_release();
            return hr;
        });
    }

protected:
    implements() noexcept {
        if (!cached()) this_module().Lock();
    }
    virtual ~implements() {
        if (!cached()) this_module().Unlock();
    }

private:
    // The identity of an aggregated object, which the outer object alone holds.
    struct inner_unknown final : IUnknown {
        explicit inner_unknown(implements* owner) noexcept : owner(owner) {}
        HRESULT QueryInterface(REFIID riid, void** ppv) noexcept override {
            return owner->inner_query(riid, ppv);
        }
        ULONG AddRef() noexcept override { return ++owner->m_refs; }
        ULONG Release() noexcept override { return owner->inner_release(); }
        implements* owner;
    };

    IUnknown* identity() noexcept { return interfaces::identity(this); }

    HRESULT inner_query(REFIID riid, void** ppv) noexcept {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IUnknown::iid) {
            if (m_outer != nullptr) {
                ++m_refs;
                *ppv = static_cast<IUnknown*>(&m_inner);
            } else {
                AddRef();
                *ppv = identity();
            }
            return S_OK;
        }
        *ppv = interfaces::find(this, riid);
        if (*ppv == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    ULONG inner_release() noexcept {
        ULONG const remaining = --m_refs;
        if (cached() && remaining == 1) this_module().Unlock();
        if (remaining == 0) {
            // Keeps a destructor that takes and drops a reference from deleting twice.
            m_refs = 1;
            delete this;
        }
        return remaining;
    }

    // Asked only in member bodies, where Derived is complete.
    static constexpr bool cached() noexcept {
        return implements_detail::hold_of<Derived>() == module_hold::cached;
    }

    inner_unknown m_inner{this};
    IUnknown* m_outer = nullptr;
    static constexpr bool shared_by_threads = (std::is_same_v<I, free_threaded> || ...);
    std::conditional_t<shared_by_threads, std::atomic<ULONG>, ULONG> m_refs{1};
};

// A new stand-alone object with one reference, owned by the returned pointer. Raises what the
// constructor raises (std::bad_alloc included).
template <class D, class... Args>
com_ptr<D> make(Args&&... args) {
    com_ptr<D> result;
    result.attach(new D(std::forward<Args>(args)...));
    return result;
}

}  // namespace ambivox
