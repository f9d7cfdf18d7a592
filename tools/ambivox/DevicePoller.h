// DevicePoller: one round of polls, one thread per device, each thread its own apartment. The
// reports come back in the order the devices were given, each as soon as it and every one before
// it are done, however the polls finish.
//
// The threads share their results with the poller through a state they co-own, so a poller that
// gives up waiting (Ctrl-C, or the run's time is up, during a poll that blocks for seconds) can
// let them run on until the process ends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/ambivox/DeviceReport.h"
#include "tools/ambivox/DeviceTarget.h"

namespace ambivox::cli {

class DevicePoller {
public:
    // Starts every poll; `unit` as for DeviceReader::read. Raises std::system_error when a
    // thread cannot be started.
    explicit DevicePoller(std::vector<DeviceTarget> const& targets, std::string const& unit = {});
    // Waits for every poll unless the poller was abandoned.
    ~DevicePoller();
    DevicePoller(DevicePoller const&) = delete;
    DevicePoller& operator=(DevicePoller const&) = delete;

    std::size_t size() const noexcept { return m_threads.size(); }
    std::size_t finished() const;
    // The report of the next device in order once its poll has finished; nothing before.
    std::optional<DeviceReport> take_next();
    // The reports not taken yet, in order: those of the polls that have finished, nothing for
    // those still running. Nothing is left to take afterwards.
    std::vector<std::optional<DeviceReport>> take_rest();
    // How many reports take_next() has handed out.
    std::size_t taken() const noexcept { return m_taken; }
    // True once the next device in order is done; waits at most `limit` for that.
    bool wait_next(std::chrono::milliseconds limit) const;
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
    std::size_t m_taken = 0;
};

}  // namespace ambivox::cli
