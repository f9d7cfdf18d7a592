#include "tools/ambivox/PrometheusWriter.h"

#include <cmath>

#include "tools/ambivox/ReportText.h"

namespace ambivox::cli {

namespace {

std::string sample_value(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    return ReportText::number(value);
}

std::string label(char const* name, std::string_view value) {
    return std::string(name) + "=\"" + PrometheusWriter::label_value(value) + "\"";
}

}  // namespace

std::string PrometheusWriter::label_value(std::string_view text) {
    std::string out;
    for (char const c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string PrometheusWriter::write(std::vector<DeviceReport> const& reports) {
    std::string text =
        "# HELP ambivox_reading The most recent reading of an Ambivox probe, in its unit.\n"
        "# TYPE ambivox_reading gauge\n";
    for (DeviceReport const& report : reports) {
        if (!report.ok()) continue;
        std::string const device = label("device", report.target.label());
        for (ProbeReport const& probe : report.probes) {
            if (!probe.valid()) continue;
            text += "ambivox_reading{" + device + "," +
                    label("probe", std::to_string(probe.number)) + "," + label("name", probe.name) +
                    "," + label("type", probe.type) + "," + label("unit", probe.unit) + "} " +
                    sample_value(probe.value) + "\n";
        }
    }
    text +=
        "# HELP ambivox_device_up Whether the last poll of an Ambivox device succeeded (1) or "
        "failed (0).\n"
        "# TYPE ambivox_device_up gauge\n";
    for (DeviceReport const& report : reports)
        text += "ambivox_device_up{" + label("device", report.target.label()) + "} " +
                (report.ok() ? "1" : "0") + "\n";
    return text;
}

}  // namespace ambivox::cli
