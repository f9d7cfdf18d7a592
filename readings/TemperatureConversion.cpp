#include "readings/TemperatureConversion.h"

#include <cmath>

#include "ambivox/NoReading.h"
#include "platform/base/Errors.h"

namespace ambivox {

namespace {

int scale_index(std::u16string_view unit) noexcept {
    if (unit.size() != 1) return -1;
    switch (unit[0]) {
        case u'C':
            return 0;
        case u'F':
            return 1;
        case u'R':
            return 2;
        case u'K':
            return 3;
        default:
            return -1;
    }
}

// v from scale `from` to scale `to`, both valid and different.
double convert_value(double v, int from, int to) noexcept {
    switch (from) {
        case 0:  // Celsius
            if (to == 1) return ((v + 273.15) - 273.15) * 1.8 + 32;
            if (to == 2) return (v + 273.15) * 1.8;
            return v + 273.15;
        case 1:  // Fahrenheit
            if (to == 0) return ((v - 32) / 1.8 + 273.15) - 273.15;
            if (to == 2) return ((v - 32) / 1.8 + 273.15) * 1.8;
            return (v - 32) / 1.8 + 273.15;
        case 2:  // Rankine
            if (to == 0) return v / 1.8 - 273.15;
            if (to == 1) return (v / 1.8 - 273.15) * 1.8 + 32;
            return v / 1.8;
        default:  // Kelvin
            if (to == 0) return v - 273.15;
            if (to == 1) return (v - 273.15) * 1.8 + 32;
            return v * 1.8;
    }
}

}  // namespace

bool TemperatureConversion::is_sentinel(VARIANT const& value) noexcept {
    return value.vt == VT_R8 && is_no_reading(value.dblVal);
}

HRESULT TemperatureConversion::convert(VARIANT const& value, std::u16string_view from,
                                       std::u16string_view to, VARIANT* result) noexcept {
    if (value.vt != VT_R8) return E_INVALIDARG;
    int const source = scale_index(from);
    if (source < 0) {
        // A multi-letter code taken from the "unknown" state: the value becomes empty.
        VariantInit(result);
        return S_OK;
    }
    int const target = scale_index(to);
    if (target < 0 || target == source) return E_INVALIDARG;
    VariantInit(result);
    result->vt = VT_R8;
    result->dblVal = convert_value(value.dblVal, source, target);
    return S_OK;
}

}  // namespace ambivox
