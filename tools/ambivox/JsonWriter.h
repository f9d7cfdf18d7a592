// JsonWriter: a poll's reports as one JSON document. Numbers are JSON numbers, a reading's unit
// is a field of its own, times are ISO 8601 UTC text with the same moment in epoch seconds, and
// each device carries its status and, when it failed, the error with its HRESULT.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/ambivox/DeviceReport.h"

namespace ambivox::cli {

class JsonWriter {
public:
    // `polledAt`: when the round started, in seconds since 1970 UTC. Indented on several lines,
    // or on one line when `compact` (one document per line for --watch). Ends with a newline.
    static std::string write(std::vector<DeviceReport> const& reports, std::int64_t polledAt,
                             bool compact);
};

}  // namespace ambivox::cli
