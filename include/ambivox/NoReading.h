// What counts as no reading. A device writes -999.99 or -99.99 for a value it could not read,
// give or take 1 % (-99.9 is a probe that did not answer). The readings and every client decide
// by this one rule, so none calls valid what another calls no reading.
#pragma once

#include <cmath>

namespace ambivox {

inline constexpr double no_reading_values[] = {-999.99, -99.99};

inline bool is_no_reading(double value) noexcept {
    for (double const s : no_reading_values)
        if (0.01 * std::fabs(value) >= std::fabs(value - s)) return true;
    return false;
}

}  // namespace ambivox
