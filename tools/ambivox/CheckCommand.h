// CheckCommand: `ambivox check`, a monitoring plugin for Nagios, Icinga and Centreon. It polls
// once, holds each reading against the warning and critical ranges and prints one status line
// with performance data; its exit code is the plugin state: 0 OK, 1 WARNING, 2 CRITICAL,
// 3 UNKNOWN. A failed or timed-out poll is CRITICAL; a probe without a valid reading, a missing
// probe and a setup failure are UNKNOWN. Nothing is OK that was not read.
#pragma once

#include "tools/ambivox/CommandLine.h"

namespace ambivox::cli {

class CheckCommand {
public:
    enum state : int { ok = 0, warning = 1, critical = 2, unknown = 3 };

    explicit CheckCommand(CheckOptions options) : m_options(std::move(options)) {}

    int run();

private:
    CheckOptions m_options;
};

}  // namespace ambivox::cli
