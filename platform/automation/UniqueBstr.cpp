#include "platform/automation/UniqueBstr.h"

#include <limits>
#include <new>

namespace ambivox {

BSTR make_bstr(std::u16string_view text) {
    if (text.size() > std::numeric_limits<UINT>::max() / sizeof(OLECHAR)) throw std::bad_alloc();
    BSTR result = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (result == nullptr) throw std::bad_alloc();
    return result;
}

unique_bstr::unique_bstr(std::u16string_view text) : m_value(make_bstr(text)) {}

unique_bstr::unique_bstr(unique_bstr const& other) : m_value(other.copy()) {}

unique_bstr unique_bstr::copy_of(BSTR value) {
    if (value == nullptr) return {};
    BSTR copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(value), SysStringByteLen(value));
    if (copy == nullptr) throw std::bad_alloc();
    return attach(copy);
}

BSTR unique_bstr::copy() const {
    return copy_of(m_value).release();
}

}  // namespace ambivox
