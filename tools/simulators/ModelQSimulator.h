// ModelQSimulator: a Model Q device on the master side of a pseudo-terminal pair, for
// `ambivox simulate` and `ambivox demo`, the serial tests and the benchmarks.
//
// A thread of its own reads what the port sends and answers every "*" with three lines (probe 1
// value, probe 2 value, battery status), each ended by CR LF, or misbehaves as its mode says.
// The simulator keeps the terminal's slave side open itself, so the terminal outlives the
// port's opens and closes. Every wait inside is bounded and wakes at once on destruction.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <limits>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace ambivox::simulation {

class ModelQSimulator {
public:
    enum class mode {
        answering,      // the three lines at once
        silent,         // never answers
        slow,           // the lines a byte at a time, byte_delay apart
        lf_only,        // lines ended by LF alone
        noisy,          // `noise` first, then the lines
        disconnecting,  // the first line, then after cut_after part of the second, then hangs up
        flooding,       // bytes without any line end, until the port stops reading
        late,           // the three lines, but only `delay` after the query
        pausing,        // half the first line, then after `delay` the rest and the other lines
    };

    struct options {
        mode behaviour = mode::answering;
        std::string probe1 = "21.5";
        std::string probe2 = "22.0";
        std::string battery = "Bat Low";
        std::chrono::milliseconds byte_delay{20};
        std::string noise = std::string("\x01#\x7f\xe9\x00~", 6);
        std::chrono::milliseconds cut_after{1500};
        // Longer than a reader waits from the query to the first line's end (1 s, then 2 to 3 s).
        std::chrono::milliseconds delay{4500};
        // The mode holds for this many queries; the later ones are answered at once, so a test
        // can see what a faulty reply leaves behind for the next exchange.
        int faulty_queries = std::numeric_limits<int>::max();
    };

    // Opens the pair and starts the device. Raises std::system_error when no terminal can be
    // had.
    explicit ModelQSimulator(options settings);
    ModelQSimulator() : ModelQSimulator(options{}) {}
    ~ModelQSimulator();
    ModelQSimulator(ModelQSimulator const&) = delete;
    ModelQSimulator& operator=(ModelQSimulator const&) = delete;

    // The slave side's path, e.g. /dev/pts/3.
    std::string const& device_path() const noexcept { return path_; }
    // Names the terminal COM<port> in the registry store in use (a test's TempRegistry, the
    // demo's private store); destruction removes the mapping from that store, never from another.
    void map_to(int port);
    // Writes bytes towards the port now, from the calling thread; gives up after a second in
    // which the port reads nothing.
    void send(std::string_view bytes);
    // Everything the device received, and the number of queries it saw.
    std::string received() const;
    int queries() const noexcept { return queries_.load(); }
    // Blocks until the device has answered (or ignored) `count` queries, up to `limit`.
    bool wait_for_queries(int count, std::chrono::milliseconds limit) const;

private:
    void run();
    void answer();
    // Sleeps, waking early when the simulator stops; false when it stops.
    bool pause(std::chrono::milliseconds delay) const;
    bool write_all(std::string_view bytes);
    void hang_up();

    options settings_;
    int master_ = -1;
    int slave_ = -1;
    int wake_[2] = {-1, -1};
    std::string path_;
    std::string mappedStore_;
    std::u16string mappedName_;
    mutable std::mutex mutex_;  // guards received_ and writes to master_
    std::string received_;
    std::atomic<int> queries_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace ambivox::simulation
