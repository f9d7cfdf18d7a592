// What the three sources of the variant functions share: storage and copying (Variant.cpp),
// conversion between types (VariantConversion.cpp) and text (VariantText.cpp). Private to the
// runtime: it is not installed, and its functions stay out of the runtime's exported symbols.
#pragma once

#include <cstdint>

#include "platform/automation/Variant.h"

namespace ambivox::variant_detail {

// ---- Storage ---------------------------------------------------------------------------------

// The value types a variant may hold directly.
[[gnu::visibility("hidden")]] bool is_value_type(VARTYPE vt) noexcept;
// A reference to "nothing" or "no value" is meaningless, so those two cannot be by-reference.
[[gnu::visibility("hidden")]] bool is_valid(VARTYPE vt) noexcept;
[[gnu::visibility("hidden")]] VARIANT empty_variant() noexcept;
[[gnu::visibility("hidden")]] IUnknown* interface_of(VARIANT const& v) noexcept;
// Makes out (fresh, owning nothing) an owning copy of the by-value variant in.
[[gnu::visibility("hidden")]] HRESULT copy_value(VARIANT& out, VARIANT const& in) noexcept;
// Fills view with the value a valid variant stands for, reading through a reference. The view
// shares the strings and interfaces of the source and owns nothing.
[[gnu::visibility("hidden")]] HRESULT view_of(VARIANT const& in, VARIANT& view) noexcept;
// Moves a freshly built value into dest, releasing what dest held. When dest cannot be
// cleared the value is dropped and dest stays as it was.
[[gnu::visibility("hidden")]] HRESULT assign(VARIANT* dest, VARIANT& value) noexcept;

// ---- Numbers ---------------------------------------------------------------------------------

struct [[gnu::visibility("hidden")]] Number {
    enum class Kind { signed_int, unsigned_int, real } kind = Kind::signed_int;
    std::int64_t s = 0;
    std::uint64_t u = 0;
    double r = 0.0;
    // A VT_BOOL: TRUE fills every bit of an unsigned target instead of overflowing, as the
    // automation platform converts it.
    bool boolean = false;
};

// An integer as sign and magnitude, so every width from I1 to UI8 checks its range the same
// way.
struct [[gnu::visibility("hidden")]] Integral {
    bool negative = false;
    std::uint64_t magnitude = 0;
};

[[gnu::visibility("hidden")]] Number signed_number(std::int64_t v, bool boolean = false) noexcept;
[[gnu::visibility("hidden")]] Number real_number(double v) noexcept;
// The number a by-value numeric (or empty) variant holds.
[[gnu::visibility("hidden")]] Number number_of(VARIANT const& v) noexcept;
[[gnu::visibility("hidden")]] bool is_integer_type(VARTYPE vt) noexcept;
[[gnu::visibility("hidden")]] HRESULT store_integer(Integral v, VARTYPE vt, bool boolean,
                                                    VARIANT& out) noexcept;
[[gnu::visibility("hidden")]] HRESULT number_to(Number const& n, VARTYPE vt, VARIANT& out) noexcept;

// ---- Text ------------------------------------------------------------------------------------

// These two throw std::bad_alloc.
[[gnu::visibility("hidden")]] HRESULT string_to(BSTR text, VARTYPE vt, VARIANT& out);
[[gnu::visibility("hidden")]] HRESULT to_bstr(VARIANT const& src, USHORT flags, VARIANT& out);

}  // namespace ambivox::variant_detail
