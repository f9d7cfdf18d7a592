// PrometheusWriter: a poll's reports in the Prometheus text exposition format: one
// ambivox_reading gauge per valid reading, labelled with its device, probe number, probe name,
// type and unit, and one ambivox_device_up gauge per device (1 when its poll succeeded).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/ambivox/DeviceReport.h"

namespace ambivox::cli {

class PrometheusWriter {
public:
    static std::string write(std::vector<DeviceReport> const& reports);
    // A label value with \, " and line feeds escaped, quotes not included.
    static std::string label_value(std::string_view text);
};

}  // namespace ambivox::cli
