#include "tools/ambivox/ThresholdRange.h"

#include <cmath>
#include <cstdlib>

#include "tools/ambivox/UsageError.h"

namespace ambivox::cli {

namespace {

bool number_of(std::string_view text, double& out) {
    std::string const copy(text);
    char* end = nullptr;
    out = std::strtod(copy.c_str(), &end);
    return !copy.empty() && end == copy.c_str() + copy.size() && std::isfinite(out);
}

}  // namespace

ThresholdRange ThresholdRange::parse(std::string_view text) {
    ThresholdRange range;
    range.m_text = std::string(text);
    auto const refuse = [&](char const* why) {
        // An unquoted ~:10 reaches the program as the home folder followed by ":10".
        std::string const hint =
            text.starts_with('/') ? "; quote a leading ~ so that the shell leaves it alone" : "";
        throw UsageError("\"" + range.m_text + "\" is no threshold range: " + why +
                         " (10, 10:, ~:10, 10:20 or @10:20)" + hint);
    };
    if (text.starts_with('@')) {
        range.m_inside = true;
        text.remove_prefix(1);
    }
    std::size_t const colon = text.find(':');
    std::string_view low = colon == std::string_view::npos ? "0" : text.substr(0, colon);
    std::string_view high = colon == std::string_view::npos ? text : text.substr(colon + 1);
    if (low == "~")
        range.m_has_low = false;
    else if (!number_of(low.empty() ? "0" : low, range.m_low))
        refuse("its start is no number");
    if (high.empty() && colon != std::string_view::npos)
        range.m_has_high = false;
    else if (!number_of(high, range.m_high))
        refuse("its end is no number");
    if (range.m_has_low && range.m_has_high && range.m_low > range.m_high)
        refuse("its start lies above its end");
    return range;
}

bool ThresholdRange::alerts(double value) const noexcept {
    bool const within =
        (!m_has_low || value >= m_low) && (!m_has_high || value <= m_high) && !std::isnan(value);
    return m_inside ? within : !within;
}

}  // namespace ambivox::cli
