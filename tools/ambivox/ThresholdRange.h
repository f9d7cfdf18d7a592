// ThresholdRange: a warning or critical threshold as monitoring plugins write them. "10" alerts
// outside 0..10, "10:" below 10, "~:10" above 10, "10:20" outside 10..20, and "@10:20" inside
// 10..20, ends included.
#pragma once

#include <string>
#include <string_view>

namespace ambivox::cli {

class ThresholdRange {
public:
    // Raises UsageError for text that is no range, or one whose start lies above its end.
    static ThresholdRange parse(std::string_view text);

    bool alerts(double value) const noexcept;
    // The range as it was given, for the performance data.
    std::string const& text() const noexcept { return m_text; }

private:
    std::string m_text;
    double m_low = 0;
    double m_high = 0;
    bool m_has_low = true;
    bool m_has_high = true;
    bool m_inside = false;
};

}  // namespace ambivox::cli
