// unique_variant: owns one VARIANT and clears it with VariantClear.
#pragma once

#include <string_view>

#include "platform/automation/Variant.h"

namespace ambivox {

class unique_variant {
public:
    unique_variant() noexcept { VariantInit(&m_value); }
    // Deep copy; raises hresult_error (E_OUTOFMEMORY, DISP_E_BADVARTYPE) on failure.
    explicit unique_variant(VARIANT const& source);
    unique_variant(unique_variant const& other);
    unique_variant(unique_variant&& other) noexcept;
    ~unique_variant() { VariantClear(&m_value); }

    unique_variant& operator=(unique_variant other) noexcept;

    // Takes over a variant the caller owns; the source is left VT_EMPTY.
    static unique_variant attach(VARIANT& source) noexcept;

    static unique_variant from(LONG value) noexcept;
    static unique_variant from(SHORT value) noexcept;
    static unique_variant from(double value) noexcept;
    static unique_variant from(LONGLONG value) noexcept;
    static unique_variant from(std::u16string_view text);  // raises std::bad_alloc

    VARIANT const& get() const noexcept { return m_value; }
    VARIANT* data() noexcept { return &m_value; }
    VARIANT const* operator->() const noexcept { return &m_value; }
    VARTYPE type() const noexcept { return m_value.vt; }

    // Clears what is held and hands out the slot to fill.
    VARIANT* put() noexcept;
    // Hands the variant to the caller, leaving this one VT_EMPTY.
    [[nodiscard]] VARIANT release() noexcept;
    void reset() noexcept;

    // A deep copy into *out (which is overwritten, not cleared); raises hresult_error.
    void copy_to(VARIANT* out) const;

private:
    VARIANT m_value;
};

}  // namespace ambivox
