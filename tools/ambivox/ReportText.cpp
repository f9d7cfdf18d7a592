#include "tools/ambivox/ReportText.h"

#include <charconv>
#include <cmath>
#include <ctime>

namespace ambivox::cli {

std::string ReportText::number(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char text[64];
    auto const [end, error] = std::to_chars(text, text + sizeof text, value);
    if (error != std::errc{}) return "nan";
    return std::string(text, end);
}

std::string ReportText::short_number(double value) {
    if (!std::isfinite(value)) return number(value);
    char text[64];
    auto const [end, error] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
    if (error != std::errc{}) return number(value);
    std::string out(text, end);
    while (out.ends_with('0'))
        out.pop_back();
    if (out.ends_with('.')) out.pop_back();
    return out == "-0" ? "0" : out;
}

std::string ReportText::local_time(std::int64_t utc) {
    std::time_t const seconds = static_cast<std::time_t>(utc);
    std::tm parts{};
    char text[64];
    if (localtime_r(&seconds, &parts) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts) == 0)
        return "-";
    return text;
}

std::string ReportText::iso_utc(std::int64_t utc) {
    std::time_t const seconds = static_cast<std::time_t>(utc);
    std::tm parts{};
    char text[64];
    if (gmtime_r(&seconds, &parts) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts) == 0)
        return {};
    return text;
}

std::size_t ReportText::width(std::string_view utf8) noexcept {
    std::size_t count = 0;
    for (char const c : utf8)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    return count;
}

}  // namespace ambivox::cli
