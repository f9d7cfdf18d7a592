#include "tools/ambivox/InfluxWriter.h"

#include <chrono>
#include <cmath>

#include "tools/ambivox/ReportText.h"

namespace ambivox::cli {

namespace {

// Line protocol refuses a tag with an empty value, so an empty text leaves its tag out.
std::string tag(char const* key, std::string_view value) {
    if (value.empty()) return {};
    return std::string(",") + key + "=" + InfluxWriter::tag_text(value);
}

}  // namespace

std::string InfluxWriter::tag_text(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
        // A backslash doubled reads as one, so one before a separator never escapes it.
        if (c == ',' || c == '=' || c == ' ' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

namespace {

// Nanoseconds since 1970, or nothing (the receiver's time) for a reading without a time.
std::string timestamp(std::int64_t utc) {
    return utc > 0 ? " " + std::to_string(utc) + "000000000" : std::string();
}

}  // namespace

std::string InfluxWriter::write(std::vector<DeviceReport> const& reports) {
    std::string text;
    auto const now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    for (DeviceReport const& report : reports) {
        std::string const device = tag("device", report.target.label());
        for (ProbeReport const& probe : report.probes) {
            if (!report.ok() || !probe.valid() || !std::isfinite(probe.value)) continue;
            text += "ambivox_reading" + device + tag("probe", std::to_string(probe.number)) +
                    tag("name", probe.name) + tag("type", probe.type) + tag("unit", probe.unit) +
                    " value=" + ReportText::number(probe.value) + timestamp(probe.utc) + "\n";
        }
        text += "ambivox_device" + device + tag("name", report.name) +
                " up=" + (report.ok() ? "1i" : "0i") + timestamp(now) + "\n";
    }
    return text;
}

}  // namespace ambivox::cli
