// com_ptr<T>: the one owner of interface references. Raw AddRef and Release live here.
#pragma once

#include <cstddef>
#include <utility>

#include "platform/base/HResultBoundary.h"
#include "platform/com/Unknown.h"

namespace ambivox {

template <class T>
class com_ptr {
public:
    using type = T;

    com_ptr() noexcept = default;
    com_ptr(std::nullptr_t) noexcept {}
    com_ptr(com_ptr const& other) noexcept : m_ptr(other.m_ptr) { add_ref(); }
    com_ptr(com_ptr&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    template <class U>
    com_ptr(com_ptr<U> const& other) noexcept : m_ptr(other.get()) {
        add_ref();
    }
    ~com_ptr() { release(); }

    com_ptr& operator=(com_ptr const& other) noexcept {
        copy_from(other.m_ptr);
        return *this;
    }
    com_ptr& operator=(com_ptr&& other) noexcept {
        if (this != &other) {
            release();
            m_ptr = std::exchange(other.m_ptr, nullptr);
        }
        return *this;
    }
    com_ptr& operator=(std::nullptr_t) noexcept {
        release();
        return *this;
    }

    T* get() const noexcept { return m_ptr; }
    T* operator->() const noexcept { return m_ptr; }
    T& operator*() const noexcept { return *m_ptr; }
    explicit operator bool() const noexcept { return m_ptr != nullptr; }

    // For out-parameters: releases what is held and hands out the slot to fill.
    T** put() noexcept {
        release();
        return &m_ptr;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    // Takes over a reference the caller already owns.
    void attach(T* value) noexcept {
        release();
        m_ptr = value;
    }
    // Hands the reference to the caller.
    [[nodiscard]] T* detach() noexcept { return std::exchange(m_ptr, nullptr); }

    // Takes a new reference to value.
    void copy_from(T* value) noexcept {
        if (m_ptr != value) {
            if (value != nullptr) value->AddRef();
            release();
            m_ptr = value;
        }
    }
    // Gives the caller a new reference; *out is overwritten, not released.
    void copy_to(T** out) const noexcept {
        add_ref();
        *out = m_ptr;
    }

    // QueryInterface for U; raises hresult_error when refused.
    template <class U>
    com_ptr<U> as() const {
        com_ptr<U> result;
        check_hresult(m_ptr->QueryInterface(guid_of<U>(), result.put_void()));
        return result;
    }
    // QueryInterface for U; null when refused.
    template <class U>
    com_ptr<U> try_as() const noexcept {
        com_ptr<U> result;
        if (m_ptr == nullptr || FAILED(m_ptr->QueryInterface(guid_of<U>(), result.put_void())))
            return nullptr;
        return result;
    }
    HRESULT query_to(REFIID iid, void** out) const noexcept {
        return m_ptr->QueryInterface(iid, out);
    }

    friend bool operator==(com_ptr const& a, com_ptr const& b) noexcept {
        return a.m_ptr == b.m_ptr;
    }
    friend bool operator==(com_ptr const& a, std::nullptr_t) noexcept { return a.m_ptr == nullptr; }

private:
    void add_ref() const noexcept {
        if (m_ptr != nullptr) m_ptr->AddRef();
    }
    void release() noexcept {
        if (T* p = std::exchange(m_ptr, nullptr)) p->Release();
    }

    T* m_ptr = nullptr;
};

// A new reference to value (which may be null).
template <class T>
com_ptr<T> com_copy(T* value) noexcept {
    com_ptr<T> result;
    result.copy_from(value);
    return result;
}

}  // namespace ambivox
