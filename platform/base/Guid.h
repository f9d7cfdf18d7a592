// GUIDs: constexpr construction from text, braced upper-case formatting, parsing and equality.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/base/Types.h"

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];

    friend constexpr bool operator==(GUID const& a, GUID const& b) noexcept {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i]) return false;
        return true;
    }
};

using IID = GUID;
using CLSID = GUID;
using REFGUID = GUID const&;
using REFIID = IID const&;
using REFCLSID = CLSID const&;

inline constexpr GUID GUID_NULL{};

constexpr bool IsEqualGUID(REFGUID a, REFGUID b) noexcept {
    return a == b;
}
constexpr bool IsEqualIID(REFIID a, REFIID b) noexcept {
    return a == b;
}
constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b) noexcept {
    return a == b;
}

namespace ambivox::guid_detail {

template <class Char>
constexpr int hex_value(Char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Accepts "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", optionally between braces, and nothing else.
template <class Char>
constexpr std::optional<GUID> parse(std::basic_string_view<Char> text) noexcept {
    if (text.size() == 38) {
        if (text.front() != '{' || text.back() != '}') return std::nullopt;
        text = text.substr(1, 36);
    }
    if (text.size() != 36) return std::nullopt;
    std::size_t pos = 0;
    bool ok = true;
    auto read = [&](int digits) constexpr {
        std::uint64_t v = 0;
        for (int i = 0; i < digits; ++i) {
            int const h = hex_value(text[pos++]);
            if (h < 0) ok = false;
            v = (v << 4) | static_cast<unsigned>(h < 0 ? 0 : h);
        }
        return v;
    };
    auto dash = [&]() constexpr {
        if (text[pos++] != '-') ok = false;
    };
    GUID g{};
    g.Data1 = static_cast<DWORD>(read(8));
    dash();
    g.Data2 = static_cast<WORD>(read(4));
    dash();
    g.Data3 = static_cast<WORD>(read(4));
    dash();
    g.Data4[0] = static_cast<BYTE>(read(2));
    g.Data4[1] = static_cast<BYTE>(read(2));
    dash();
    for (int i = 2; i < 8; ++i)
        g.Data4[i] = static_cast<BYTE>(read(2));
    if (!ok) return std::nullopt;
    return g;
}

}  // namespace ambivox::guid_detail

namespace ambivox {

// A GUID from its text at compile time; malformed text does not compile.
consteval GUID make_guid(std::string_view text) {
    auto g = guid_detail::parse(text);
    if (!g) throw "malformed GUID text";
    return *g;
}

std::optional<GUID> parse_guid(std::u16string_view text) noexcept;

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
std::u16string to_u16string(GUID const& g);
std::string to_string(GUID const& g);

}  // namespace ambivox

// Writes the braced text and its terminator into buffer; answers the characters written
// including the terminator, or 0 when cchMax is too small (nothing is written then).
int StringFromGUID2(REFGUID rguid, LPOLESTR buffer, int cchMax) noexcept;

// Parses braced GUID text. CO_E_CLASSSTRING for malformed text, E_INVALIDARG for null pointers.
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) noexcept;
HRESULT IIDFromString(LPCOLESTR text, IID* iid) noexcept;
