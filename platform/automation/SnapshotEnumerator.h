// snapshot_enumerator: the standard enumerator over a copy of a container's items, taken when
// the enumerator was made. Later changes to the container do not reach it, and the items it
// holds (references, strings) stay alive as long as it does.
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/automation/ConnectionPointInterfaces.h"
#include "platform/automation/Dispatch.h"
#include "platform/com/Implements.h"

namespace ambivox {

// How the items of an enumerator are copied out and destroyed.
template <class T>
struct enum_item_traits;

template <>
struct enum_item_traits<VARIANT> {
    static HRESULT copy(VARIANT* dest, VARIANT const* source) noexcept {
        VariantInit(dest);
        return VariantCopy(dest, source);
    }
    static void destroy(VARIANT* item) noexcept { VariantClear(item); }
};

template <>
struct enum_item_traits<CONNECTDATA> {
    static HRESULT copy(CONNECTDATA* dest, CONNECTDATA const* source) noexcept {
        *dest = *source;
        if (dest->pUnk != nullptr) dest->pUnk->AddRef();
        return S_OK;
    }
    static void destroy(CONNECTDATA* item) noexcept {
        if (item->pUnk != nullptr) item->pUnk->Release();
        item->pUnk = nullptr;
    }
};

template <class I>
struct enum_item_traits<I*> {
    static HRESULT copy(I** dest, I* const* source) noexcept {
        *dest = *source;
        if (*dest != nullptr) (*dest)->AddRef();
        return S_OK;
    }
    static void destroy(I** item) noexcept {
        if (*item != nullptr) (*item)->Release();
        *item = nullptr;
    }
};

// The items, owned: each one destroyed with its traits when the last enumerator goes.
template <class T>
class enum_snapshot {
public:
    enum_snapshot() = default;
    enum_snapshot(enum_snapshot const&) = delete;
    enum_snapshot& operator=(enum_snapshot const&) = delete;
    ~enum_snapshot() {
        for (T& item : m_items)
            enum_item_traits<T>::destroy(&item);
    }

    // Copies item in; raises std::bad_alloc or the copy's failure as hresult_error.
    void push_back(T const& item) {
        m_items.emplace_back();
        HRESULT const hr = enum_item_traits<T>::copy(&m_items.back(), &item);
        if (FAILED(hr)) {
            m_items.pop_back();
            throw_hresult(hr);
        }
    }
    std::vector<T> const& items() const noexcept { return m_items; }

private:
    std::vector<T> m_items;
};

template <class Enum, class T>
class snapshot_enumerator : public implements<snapshot_enumerator<Enum, T>, Enum> {
public:
    explicit snapshot_enumerator(std::shared_ptr<enum_snapshot<T> const> snapshot,
                                 std::size_t position = 0) noexcept
        : m_snapshot(std::move(snapshot)), m_position(position) {}

    // Copies min(celt, remaining) items into rgelt; S_FALSE when fewer than celt remained. If a
    // copy fails the items already copied are destroyed, nothing is fetched, and the position
    // stays where it was.
    HRESULT Next(ULONG celt, T* rgelt, ULONG* pceltFetched) noexcept override {
        if (celt == 0) return E_INVALIDARG;
        if (rgelt == nullptr || (celt != 1 && pceltFetched == nullptr)) return E_POINTER;
        if (pceltFetched != nullptr) *pceltFetched = 0;
        auto const& items = m_snapshot->items();
        std::size_t const count = std::min<std::size_t>(celt, items.size() - m_position);
        for (std::size_t i = 0; i < count; ++i) {
            HRESULT const hr = enum_item_traits<T>::copy(&rgelt[i], &items[m_position + i]);
            if (FAILED(hr)) {
                for (std::size_t j = 0; j < i; ++j)
                    enum_item_traits<T>::destroy(&rgelt[j]);
                return hr;
            }
        }
        m_position += count;
        if (pceltFetched != nullptr) *pceltFetched = static_cast<ULONG>(count);
        return count < celt ? S_FALSE : S_OK;
    }

    HRESULT Skip(ULONG celt) noexcept override {
        if (celt == 0) return E_INVALIDARG;
        std::size_t const remaining = m_snapshot->items().size() - m_position;
        std::size_t const count = std::min<std::size_t>(celt, remaining);
        m_position += count;
        return count < celt ? S_FALSE : S_OK;
    }

    HRESULT Reset() noexcept override {
        m_position = 0;
        return S_OK;
    }

    HRESULT Clone(Enum** ppEnum) noexcept override {
        if (ppEnum == nullptr) return E_POINTER;
        *ppEnum = nullptr;
        return hresult_boundary(
            [&] { *ppEnum = make<snapshot_enumerator>(m_snapshot, m_position).detach(); });
    }

private:
    std::shared_ptr<enum_snapshot<T> const> m_snapshot;
    std::size_t m_position;
};

// A new enumerator over a snapshot, owned by the caller; raises std::bad_alloc.
template <class Enum, class T>
com_ptr<Enum> make_snapshot_enumerator(std::shared_ptr<enum_snapshot<T> const> snapshot) {
    com_ptr<Enum> result;
    result.attach(make<snapshot_enumerator<Enum, T>>(std::move(snapshot)).detach());
    return result;
}

}  // namespace ambivox
