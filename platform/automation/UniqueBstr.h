// unique_bstr: owns one BSTR and frees it with SysFreeString.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "platform/automation/Bstr.h"

namespace ambivox {

class unique_bstr {
public:
    unique_bstr() noexcept = default;
    // Copies text; raises std::bad_alloc when memory is exhausted.
    explicit unique_bstr(std::u16string_view text);
    unique_bstr(unique_bstr const& other);
    unique_bstr(unique_bstr&& other) noexcept : m_value(std::exchange(other.m_value, nullptr)) {}
    ~unique_bstr() { SysFreeString(m_value); }

    unique_bstr& operator=(unique_bstr other) noexcept {
        std::swap(m_value, other.m_value);
        return *this;
    }

    // Takes ownership of a string the caller owns.
    static unique_bstr attach(BSTR value) noexcept {
        unique_bstr result;
        result.m_value = value;
        return result;
    }
    // A byte-for-byte copy (embedded nulls survive); raises std::bad_alloc on failure.
    static unique_bstr copy_of(BSTR value);

    BSTR get() const noexcept { return m_value; }
    BSTR* put() noexcept {
        reset();
        return &m_value;
    }
    [[nodiscard]] BSTR release() noexcept { return std::exchange(m_value, nullptr); }
    void reset() noexcept { SysFreeString(std::exchange(m_value, nullptr)); }

    // A fresh copy for an out-parameter, owned by the receiver; raises std::bad_alloc.
    [[nodiscard]] BSTR copy() const;

    std::size_t size() const noexcept { return SysStringLen(m_value); }
    bool empty() const noexcept { return size() == 0; }
    std::u16string_view view() const noexcept { return {m_value ? m_value : u"", size()}; }
    std::u16string str() const { return std::u16string(view()); }

private:
    BSTR m_value = nullptr;
};

// The text of a borrowed BSTR; a null string is empty.
inline std::u16string_view bstr_view(BSTR value) noexcept {
    return {value ? value : u"", SysStringLen(value)};
}

// A fresh BSTR holding text, owned by the caller; raises std::bad_alloc on failure.
BSTR make_bstr(std::u16string_view text);

}  // namespace ambivox
