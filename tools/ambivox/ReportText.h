// ReportText: the small formatting rules the report writers share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ambivox::cli {

class ReportText {
public:
    // The shortest decimal text that reads back as the same double ("70.2", "45", "-999.99");
    // "nan", "inf" and "-inf" for the values that are not finite.
    static std::string number(double value);
    // For people: at most two decimals, no trailing zeros ("22.17" for 22.166666666666686, "68").
    // Machine formats keep number().
    static std::string short_number(double value);
    // "2024-05-01 14:03:11" in the local time zone, or "-" when the time cannot be shown.
    static std::string local_time(std::int64_t utc);
    // "2024-05-01T12:03:11Z", or empty when the time cannot be shown.
    static std::string iso_utc(std::int64_t utc);
    // Characters on screen, counting each UTF-8 sequence as one.
    static std::size_t width(std::string_view utf8) noexcept;
};

}  // namespace ambivox::cli
