// InfluxWriter: a poll's reports in the InfluxDB line protocol, as Telegraf's exec input and
// InfluxDB read it: per valid reading a line of the measurement ambivox_reading, tagged with its
// device, probe number, probe name, type and unit, field `value`, time in nanoseconds; per device
// a line of ambivox_device with field `up` (1 when its poll succeeded, else 0). A probe without a
// valid reading has no line, as a placeholder is no value.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/ambivox/DeviceReport.h"

namespace ambivox::cli {

class InfluxWriter {
public:
    static std::string write(std::vector<DeviceReport> const& reports);
    // A tag key or value with commas, equals signs, spaces and backslashes escaped; control
    // characters, which no line may hold, become spaces.
    static std::string tag_text(std::string_view text);
};

}  // namespace ambivox::cli
