// Ownership of one registry handle: closes it when the owner goes away.
#pragma once

#include <utility>

#include "platform/registry/Registry.h"

namespace ambivox {

class unique_hkey {
public:
    unique_hkey() noexcept = default;
    // Takes ownership of `key` (null and predefined keys are fine: closing them does nothing).
    explicit unique_hkey(HKEY key) noexcept : m_key(key) {}
    unique_hkey(unique_hkey&& other) noexcept : m_key(other.release()) {}
    unique_hkey& operator=(unique_hkey&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    unique_hkey(unique_hkey const&) = delete;
    unique_hkey& operator=(unique_hkey const&) = delete;
    ~unique_hkey() { reset(); }

    HKEY get() const noexcept { return m_key; }
    explicit operator bool() const noexcept { return m_key != nullptr; }

    // Closes the owned handle and answers the slot to receive a new one, for the out-parameter of
    // RegOpenKeyExW and RegCreateKeyExW.
    PHKEY put() noexcept {
        reset();
        return &m_key;
    }

    // Gives up ownership without closing; the caller closes the answer.
    HKEY release() noexcept { return std::exchange(m_key, nullptr); }

    // Closes the owned handle (if any) and takes ownership of `key`.
    void reset(HKEY key = nullptr) noexcept {
        HKEY old = std::exchange(m_key, key);
        if (old != nullptr) RegCloseKey(old);
    }

private:
    HKEY m_key = nullptr;
};

}  // namespace ambivox
