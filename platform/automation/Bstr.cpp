#include "platform/automation/Bstr.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr std::size_t prefix = sizeof(std::uint32_t);
// Longest byte length that still fits the prefix together with its terminator and padding.
constexpr std::size_t max_bytes = std::numeric_limits<std::uint32_t>::max() - 8;

// Allocates prefix + data + a two-byte terminator (plus one byte so an odd byte length still
// ends on a whole zero code unit). The data is left for the caller to fill.
BSTR allocate(std::size_t byte_length) noexcept {
    if (byte_length > max_bytes) return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(prefix + byte_length + 3));
    if (block == nullptr) return nullptr;
    auto const stored = static_cast<std::uint32_t>(byte_length);
    std::memcpy(block, &stored, prefix);
    std::memset(block + prefix + byte_length, 0, 3);
    return reinterpret_cast<BSTR>(block + prefix);
}

std::size_t length_of(LPCOLESTR text) noexcept {
    std::size_t n = 0;
    while (text[n] != u'\0')
        ++n;
    return n;
}

}  // namespace

BSTR SysAllocStringLen(LPCOLESTR text, UINT length) noexcept {
    std::size_t const bytes = std::size_t{length} * sizeof(OLECHAR);
    BSTR result = allocate(bytes);
    if (result == nullptr) return nullptr;
    if (text != nullptr)
        std::memcpy(result, text, bytes);
    else
        std::memset(result, 0, bytes);
    return result;
}

BSTR SysAllocString(LPCOLESTR text) noexcept {
    if (text == nullptr) return nullptr;
    std::size_t const n = length_of(text);
    if (n > std::numeric_limits<UINT>::max()) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(n));
}

BSTR SysAllocStringByteLen(LPCSTR bytes, UINT byteLength) noexcept {
    BSTR result = allocate(byteLength);
    if (result == nullptr) return nullptr;
    auto* data = reinterpret_cast<unsigned char*>(result);
    if (bytes != nullptr)
        std::memcpy(data, bytes, byteLength);
    else
        std::memset(data, 0, byteLength);
    return result;
}

INT SysReAllocStringLen(BSTR* target, LPCOLESTR text, UINT length) noexcept {
    if (target == nullptr) return FALSE;
    // Passing the target's own text is how callers lengthen a string: only what the old string
    // holds may be read, and the new tail is zero-filled.
    UINT const readable =
        (text != nullptr && text == *target) ? std::min(length, SysStringLen(*target)) : length;
    BSTR fresh = SysAllocStringLen(nullptr, length);
    if (fresh == nullptr) return FALSE;
    if (text != nullptr) std::memcpy(fresh, text, std::size_t{readable} * sizeof(OLECHAR));
    SysFreeString(*target);
    *target = fresh;
    return TRUE;
}

INT SysReAllocString(BSTR* target, LPCOLESTR text) noexcept {
    if (target == nullptr) return FALSE;
    if (text == nullptr) {
        SysFreeString(*target);
        *target = nullptr;
        return TRUE;
    }
    std::size_t const n = length_of(text);
    if (n > std::numeric_limits<UINT>::max()) return FALSE;
    return SysReAllocStringLen(target, text, static_cast<UINT>(n));
}

void SysFreeString(BSTR text) noexcept {
    if (text != nullptr) std::free(reinterpret_cast<unsigned char*>(text) - prefix);
}

UINT SysStringByteLen(BSTR text) noexcept {
    if (text == nullptr) return 0;
    std::uint32_t stored;
    std::memcpy(&stored, reinterpret_cast<unsigned char*>(text) - prefix, prefix);
    return stored;
}

UINT SysStringLen(BSTR text) noexcept {
    return SysStringByteLen(text) / sizeof(OLECHAR);
}
