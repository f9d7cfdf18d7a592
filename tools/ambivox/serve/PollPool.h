// PollPool: a fixed set of worker threads that poll devices, each thread its own apartment for
// as long as it lives. Polls wait in one queue; a worker takes the first one whose device is not
// being polled already, so a device (a network address, a serial port) is never polled twice at
// once, whoever asked. A poll that may share takes the result of the device's poll under way or
// waiting, if there is one, rather than ask the device again: a device that locks up under
// aggressive polling is asked once however many scrapers wait. Urgent polls (a scrape is waiting)
// go before scheduled ones, and a poll whose start-by time has passed is dropped rather than made
// for nobody.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/ambivox/DeviceReport.h"
#include "tools/ambivox/DeviceTarget.h"

namespace ambivox::cli {

struct PollResult {
    DeviceReport report;
    double seconds = 0;   // how long the poll took
    double ended_at = 0;  // when it ended, in seconds since 1970
};

class PollPool {
public:
    using clock = std::chrono::steady_clock;
    // Called on a worker thread with the result, or with nothing when the poll was dropped.
    using callback = std::function<void(std::optional<PollResult>)>;

    // Raises std::system_error when a thread cannot be started.
    explicit PollPool(std::size_t workers);
    ~PollPool();
    PollPool(PollPool const&) = delete;
    PollPool& operator=(PollPool const&) = delete;

    // A shared poll's result is of the target that started the poll, which may carry another
    // name or model for the same device.
    void submit(DeviceTarget target, callback done, bool urgent = false,
                std::optional<clock::time_point> startBy = std::nullopt, bool share = false);
    // Starts no more polls (the queued ones are dropped) and waits up to `grace` for the running
    // ones; false when some are still running, which the caller then leaves to the process's end.
    bool stop(std::chrono::milliseconds grace);

    std::size_t workers() const noexcept { return m_threads.size(); }
    // The device a poll occupies: its family and address or port, compared without case.
    static std::string device_key(DeviceTarget const& target);

private:
    struct job {
        DeviceTarget target;
        std::string key;
        std::vector<callback> done;
        std::optional<clock::time_point> start_by;
    };

    void work();
    // Takes the queued polls whose start-by has passed, for their callbacks to be told; called
    // with the lock held.
    std::vector<callback> take_expired(clock::time_point now);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<job> m_queue;
    std::map<std::string, std::vector<callback>> m_busy;  // devices polled now, by key
    bool m_stopping = false;
    std::size_t m_running = 0;
    std::vector<std::thread> m_threads;
};

}  // namespace ambivox::cli
