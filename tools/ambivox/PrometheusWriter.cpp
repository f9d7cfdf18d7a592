#include "tools/ambivox/PrometheusWriter.h"

#include <cmath>

#include "platform/base/CodePage.h"
#include "tools/ambivox/HResultText.h"
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

// One metric family: its samples are gathered first, so a family without any is left out.
struct family {
    char const* name;
    char const* type;
    char const* help;
    std::string samples;

    void add(std::string const& labels, double value) {
        samples += std::string(name) + "{" + labels + "} " + sample_value(value) + "\n";
    }
    void write_to(std::string& text) const {
        if (samples.empty()) return;
        text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type +
                "\n" + samples;
    }
};

// The value metric a probe's type goes to, with the divisor from the device's unit to the
// metric's base unit; null for a type no metric carries.
family* value_family(ProbeReport const& probe, family& temperature, family& humidity,
                     family& wetness, family& switches, double& divisor) {
    divisor = 1;
    if (probe.type == "Temperature") return probe.celsius ? &temperature : nullptr;
    if (probe.type == "Humidity" && probe.unit == "H") {
        divisor = 100;  // the devices give percent; dividing keeps 48 as exactly 0.48
        return &humidity;
    }
    if (probe.type == "Wetness") return &wetness;
    if (probe.type == "Switch") return &switches;
    return nullptr;
}

}  // namespace

std::string PrometheusWriter::label_value(std::string_view text) {
    // Prometheus refuses a whole exposition over one label that is not UTF-8 (a name given on
    // the command line may be anything): such bytes go out as U+FFFD.
    std::string const utf8 = narrow(widen(text, CP_UTF8), CP_UTF8);
    std::string out;
    for (char const c : utf8) {
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

std::string PrometheusWriter::device_label(DeviceTarget const& target) {
    return target.name.empty() ? target.label() : target.name;
}

std::string PrometheusWriter::failure_reason(Device const& device) {
    if (device.timed_out) return "timeout";
    if (device.report.setup_failure) return "setup";
    return hresult_symbol(device.report.hr);
}

std::string PrometheusWriter::write(std::vector<DeviceReport> const& reports) {
    std::vector<Device> devices(reports.size());
    std::vector<Device const*> pointers;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        devices[i].report = reports[i];
        pointers.push_back(&devices[i]);
    }
    return write(pointers);
}

std::string PrometheusWriter::write(std::vector<Device const*> const& devices) {
    family up{"ambivox_device_up",
              "gauge",
              "Whether the latest poll of the device read its probes (1) or failed (0).",
              {}};
    family failure{"ambivox_probe_failure_info",
                   "gauge",
                   "Why the latest poll of the device failed, in words.",
                   {}};
    family info{
        "ambivox_probe_info", "gauge", "The name and type of a probe; the value is always 1.", {}};
    family temperature{"ambivox_temperature_celsius",
                       "gauge",
                       "The latest temperature of a probe, in degrees Celsius.",
                       {}};
    family humidity{"ambivox_humidity_ratio",
                    "gauge",
                    "The latest relative humidity of a probe, as a ratio from 0 to 1.",
                    {}};
    family wetness{
        "ambivox_wetness", "gauge", "The latest reading of a wetness probe: 1 wet, 0 dry.", {}};
    family switches{
        "ambivox_switch", "gauge", "The latest reading of a switch probe: 1 closed, 0 open.", {}};
    family duration{"ambivox_poll_duration_seconds",
                    "gauge",
                    "How long the latest poll of the device took, in seconds.",
                    {}};
    family last{"ambivox_last_poll_timestamp_seconds",
                "gauge",
                "When the latest poll of the device ended, in seconds since 1970.",
                {}};
    family failures{"ambivox_poll_failures_total",
                    "counter",
                    "Polls of the device that failed, by reason.",
                    {}};

    for (Device const* device : devices) {
        DeviceReport const& report = device->report;
        std::string const name = label("device", device_label(report.target));
        up.add(name, report.ok() ? 1 : 0);
        if (!report.ok())
            failure.add(name + "," + label("reason", failure_reason(*device)) + "," +
                            label("message", report.failure),
                        1);
        if (device->poll_seconds) duration.add(name, *device->poll_seconds);
        if (device->last_poll_seconds) last.add(name, *device->last_poll_seconds);
        if (device->counts_failures)
            for (auto const& [reason, count] : device->failures)
                failures.add(name + "," + label("reason", reason), static_cast<double>(count));
        if (!report.ok()) continue;
        for (ProbeReport const& probe : report.probes) {
            std::string const labels = name + "," + label("probe", std::to_string(probe.number));
            info.add(labels + "," + label("name", probe.name) + "," + label("type", probe.type), 1);
            double divisor = 1;
            family* const values =
                value_family(probe, temperature, humidity, wetness, switches, divisor);
            if (!probe.valid() || !values) continue;
            values->add(labels, values == &temperature ? *probe.celsius : probe.value / divisor);
        }
    }
    std::string text;
    for (family const* f : {&up, &failure, &info, &temperature, &humidity, &wetness, &switches,
                            &duration, &last, &failures})
        f->write_to(text);
    return text;
}

}  // namespace ambivox::cli
