// PrometheusWriter: reports in the Prometheus text exposition format, the one writer of the
// program's metric names for `poll --prometheus` and `serve`. Each quantity has a metric of its
// own in its base unit (temperatures in Celsius, humidity as a ratio); the descriptive labels of
// a probe sit on ambivox_probe_info alone, so renaming a probe starts no new series. A probe
// without a valid reading keeps its info and has no value sample.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/ambivox/DeviceReport.h"

namespace ambivox::cli {

class PrometheusWriter {
public:
    // One device as the exporter knows it: its latest report and what it counts about its polls.
    struct Device {
        DeviceReport report;
        bool timed_out = false;                   // the poll did not finish by its deadline
        std::optional<double> poll_seconds;       // how long the latest poll took
        std::optional<double> last_poll_seconds;  // when it ended, in seconds since 1970
        bool counts_failures = false;             // write the failure counters below
        std::vector<std::pair<std::string, std::uint64_t>> failures;  // reason, count
    };

    static std::string write(std::vector<DeviceReport> const& reports);
    static std::string write(std::vector<Device const*> const& devices);

    // The device label: the name the operator gave, else the address or port.
    static std::string device_label(DeviceTarget const& target);
    // A failure's reason label: "timeout", "setup", or the HRESULT's name.
    static std::string failure_reason(Device const& device);
    // A label value with \, " and line feeds escaped and bytes that are not UTF-8 as U+FFFD,
    // quotes not included.
    static std::string label_value(std::string_view text);
};

}  // namespace ambivox::cli
