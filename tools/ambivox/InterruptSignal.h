// InterruptSignal: Ctrl-C (SIGINT) and SIGTERM only raise a flag, which the long-running
// commands (poll --watch, simulate, demo) look at between their steps to end cleanly.
#pragma once

#include <chrono>

namespace ambivox::cli {

class InterruptSignal {
public:
    static void install() noexcept;
    static bool raised() noexcept;
    // Sleeps for `duration` in short steps; false as soon as the flag is raised.
    static bool sleep_for(std::chrono::milliseconds duration) noexcept;
    // Sleeps until `when`; false as soon as the flag is raised.
    static bool sleep_until(std::chrono::steady_clock::time_point when) noexcept;
};

}  // namespace ambivox::cli
