// TemperatureConversion: the unit rules of a reading. Conversions between the temperature
// scales are computed in double precision in exactly the order written, so results are
// reproducible to the last bit.
#pragma once

#include <string_view>

#include "platform/automation/Variant.h"

namespace ambivox {

class TemperatureConversion {
public:
    static constexpr std::u16string_view temperature_units = u"CFRK";
    static constexpr std::u16string_view other_units = u"PHW";

    // Whether a reading value stands for "no valid reading" (-999.99 or -99.99, within 1 % of
    // the value itself); such values are never converted.
    static bool is_sentinel(VARIANT const& value) noexcept;

    // Converts value from unit `from` to unit `to` into *result (VT_R8, or VT_EMPTY when `from`
    // is no single temperature letter). E_INVALIDARG for a value that is not VT_R8, a unit
    // converted to itself or a target that is no temperature unit; *result is then untouched.
    static HRESULT convert(VARIANT const& value, std::u16string_view from, std::u16string_view to,
                           VARIANT* result) noexcept;
};

}  // namespace ambivox
