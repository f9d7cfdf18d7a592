// PollSchedule: polls each configured device on its own interval through the pool, one poll of
// a device at a time, and keeps the results in the store. A device that fails is retried later
// and later (its interval doubled per failure, up to a cap, less a random part so that devices
// that failed together do not retry together); once it answers, its interval applies again.
// Devices that lock up under aggressive polling are spared that way.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tools/ambivox/serve/ConfigFile.h"
#include "tools/ambivox/serve/PollPool.h"
#include "tools/ambivox/serve/ResultStore.h"

namespace ambivox::cli {

class PollSchedule {
public:
    using clock = std::chrono::steady_clock;

    // Raises std::system_error when its thread cannot be started.
    PollSchedule(PollPool& pool, ResultStore& store, std::chrono::milliseconds maxBackoff);
    ~PollSchedule();
    PollSchedule(PollSchedule const&) = delete;
    PollSchedule& operator=(PollSchedule const&) = delete;

    // Takes a new list of devices. A device listed before with the same settings keeps its
    // readings, counts and timing; a new or changed one is polled at once.
    void configure(std::vector<ConfiguredDevice> const& devices);
    // Schedules no more polls.
    void stop();

    // How long after its `failures`-th failure in a row a device is polled again, with `random`
    // from 0 to 1.
    static std::chrono::milliseconds retry_delay(std::chrono::milliseconds interval,
                                                 unsigned failures, std::chrono::milliseconds cap,
                                                 double random);

private:
    struct device {
        ConfiguredDevice settings;
        clock::time_point due;
        unsigned failures = 0;
        bool polling = false;
        std::uint64_t generation = 0;  // tells a poll of the current settings from an older one
    };

    void run();
    void finished(std::string const& label, std::uint64_t generation,
                  std::optional<PollResult> result);

    PollPool& m_pool;
    ResultStore& m_store;
    std::chrono::milliseconds m_maxBackoff;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<std::string, device> m_devices;
    std::uint64_t m_generations = 0;
    std::mt19937 m_random{std::random_device{}()};
    bool m_stopping = false;
    // When the schedule's thread wakes by itself; the earliest time while it is not waiting. A
    // finished poll wakes it only to bring that time forward: a scan per finished poll would
    // make a round over many devices quadratic.
    clock::time_point m_wakes_at = clock::time_point::min();
    std::thread m_thread;
};

}  // namespace ambivox::cli
