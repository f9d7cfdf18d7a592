// TableWriter: a poll's reports as a table for people, one row per probe in the order the
// devices were given: device, probe number, name, type, value, unit and the reading's local time.
#pragma once

#include <string>
#include <vector>

#include "tools/ambivox/DeviceReport.h"

namespace ambivox::cli {

class TableWriter {
public:
    static std::string write(std::vector<DeviceReport> const& reports);
};

}  // namespace ambivox::cli
