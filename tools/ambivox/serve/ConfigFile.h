// ConfigFile: the devices `ambivox serve` polls, one a line:
//
//   FAMILY ADDRESS [model=MODEL] [name=NAME] [interval=SECONDS]
//
// FAMILY is modeln (ADDRESS "HOST" or "HOST:PORT") or modelq (ADDRESS "COMn"). A value may be
// quoted with "..." (a backslash escapes " and \ inside); "#" starts a comment outside quotes.
// The device's name is its label in the metrics, so names (or, unnamed, addresses) are unique.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tools/ambivox/DeviceTarget.h"

namespace ambivox::cli {

struct ConfiguredDevice {
    std::string label;  // the device label of its metrics
    DeviceTarget target;
    std::chrono::milliseconds interval{0};

    bool operator==(ConfiguredDevice const&) const = default;
};

class ConfigFile {
public:
    // Raises std::runtime_error naming the file and line of the first mistake.
    static std::vector<ConfiguredDevice> read(std::string const& path,
                                              std::chrono::milliseconds defaultInterval);
    // The same for a file's text; `path` only names it in messages.
    static std::vector<ConfiguredDevice> parse(std::string_view text, std::string const& path,
                                               std::chrono::milliseconds defaultInterval);
    // Seconds as given on the command line or in the file (0.05 to 86400), or raises
    // std::invalid_argument saying what is wrong.
    static std::chrono::milliseconds seconds(std::string_view text, std::string_view what);
};

}  // namespace ambivox::cli
