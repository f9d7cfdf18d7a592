// DevicePoller: one round of polls, one thread per device, each thread its own apartment. The
// reports come back in the order the devices were given, however the polls finish.
//
// The threads share their results with the poller through a state they co-own, so a poller that
// gives up waiting (the user pressed Ctrl-C during a poll that blocks for seconds) can let them
// run on until the process ends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "tools/ambivox/DeviceReport.h"
#include "tools/ambivox/DeviceTarget.h"

namespace ambivox::cli {

class DevicePoller {
public:
    // Starts every poll. Raises std::system_error when a thread cannot be started.
    explicit DevicePoller(std::vector<DeviceTarget> const& targets);
    // Waits for every poll unless the poller was abandoned.
    ~DevicePoller();
    DevicePoller(DevicePoller const&) = delete;
    DevicePoller& operator=(DevicePoller const&) = delete;

    std::size_t size() const noexcept { return m_threads.size(); }
    std::size_t finished() const;
    // True once every poll has finished; waits at most `limit` for that.
    bool wait_for(std::chrono::milliseconds limit) const;
    // The reports in the order of the targets; waits for every poll.
    std::vector<DeviceReport> reports();
    // Leaves the polls still running to themselves; the process is about to end.
    void abandon() noexcept;

private:
    struct shared {
        mutable std::mutex mutex;
        std::condition_variable done;
        std::vector<std::optional<DeviceReport>> reports;
        std::size_t finished = 0;
    };

    std::shared_ptr<shared> m_state;
    std::vector<std::thread> m_threads;
};

}  // namespace ambivox::cli
