// `ambivox serve` with a thousand simulated Model N devices on loopback, the exporter run as a
// program of its own (so its memory and threads are its own), the devices played in this process.
//
// - MetricsScrapeOf1000Devices: one GET /metrics once every device has been polled. Goal: under
//   50 ms. Its counters say the rest:
//   - rss_mb, threads: the exporter's resident memory and threads after the round. Goal: RSS
//     under 200 MB.
//   - round_s: the wall time of the first round over all devices (first poll's start to last
//     poll's end, from the exporter's own timestamps and durations); single_poll_ms: one device's
//     poll with the exporter polling nothing else; round_goal_s: 2 x single_poll x 1000 / workers,
//     which round_s should stay under. That goal takes the polls to wait on the devices, as they
//     do on a network; here they wait on nothing and share the machine's cores with the devices,
//     so with more workers than cores the cores set the round's time.
//   - exporter_cpu_ms_per_poll: the exporter's CPU time from its start to the round's end, per
//     device; devices_cpu_s: this process's over the same span (the devices, and the scrapes that
//     watch for the round's end). Together they say whose work the round waited on.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TempRegistry.h"
#include "tools/simulators/SimulatedModelN.h"

namespace {

using namespace std::chrono_literals;
using ambivox::simulation::DeviceDocuments;
using ambivox::simulation::SimulatedModelN;

constexpr int device_count = 1000;

// A child process with its standard output on a pipe; killed at the end.
class Child {
public:
    explicit Child(std::vector<std::string> words) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
        std::vector<char*> argv(words.size() + 1, nullptr);
        std::transform(words.begin(), words.end(), argv.begin(),
                       [](std::string& word) { return word.data(); });
        m_pid = ::fork();
        if (m_pid == 0) {
            // Only calls safe in a child of a threaded process until the program is replaced.
            ::dup2(out[1], STDOUT_FILENO);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        m_out = out[0];
        if (m_pid < 0) throw std::runtime_error("cannot start " + words[0]);
    }
    ~Child() {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
        ::close(m_out);
    }
    // The first line of its output.
    std::string line() const {
        std::string text;
        char c = 0;
        while (::read(m_out, &c, 1) == 1 && c != '\n')
            text += c;
        return text;
    }
    pid_t pid() const noexcept { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_out = -1;
};

int run(std::vector<std::string> const& words) {
    Child child(words);
    int status = 0;
    ::waitpid(child.pid(), &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The body of GET `path` on loopback `port`.
std::string fetch(std::uint16_t port, std::string const& path) {
    int const fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string text;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        std::string const request = "GET " + path + " HTTP/1.0\r\n\r\n";
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char buffer[65536];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text.substr(std::min(text.find("\r\n\r\n") + 4, text.size()));
}

// Every sample value of a metric, in order.
std::vector<double> values(std::string const& text, std::string const& metric) {
    std::vector<double> found;
    std::regex const sample("\n" + metric + R"(\{[^}]*\} ([^\n]+))");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), sample);
         it != std::sregex_iterator(); ++it)
        found.push_back(std::stod((*it)[1].str()));
    return found;
}

// The exporter's figure from /proc, such as "VmRSS" (in kB) or "Threads".
long proc_status(pid_t pid, std::string const& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(field + ":")) return std::stol(line.substr(field.size() + 1));
    return -1;
}

// The CPU seconds a process has used, user and system.
double cpu_seconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14) ticks += std::stod(field);  // utime, stime
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double own_cpu_seconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto const seconds = [](timeval t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Exporter {
    std::unique_ptr<Child> child;
    std::uint16_t port = 0;

    Exporter(std::string const& config, std::string const& interval, int workers) {
        child = std::make_unique<Child>(std::vector<std::string>{
            AMBIVOX_PROGRAM_PATH, "serve", "--config", config, "--listen", "127.0.0.1:0",
            "--workers", std::to_string(workers), "--interval", interval});
        std::string const line = child->line();
        auto const at = line.find("port ");
        if (at == std::string::npos) throw std::runtime_error("the exporter did not start");
        port = static_cast<std::uint16_t>(std::stoi(line.substr(at + 5)));
    }
};

void MetricsScrapeOf1000Devices(benchmark::State& state) {
    int const workers = static_cast<int>(state.range(0));
    ambivox::testing::TempRegistry registry;
    if (run({AMBIVOX_PROGRAM_PATH, "register"}) != 0) {
        state.SkipWithError("the module could not be registered");
        return;
    }
    SimulatedModelN::options settings;
    settings.pages = false;
    settings.drift = false;
    std::vector<std::unique_ptr<SimulatedModelN>> devices;
    std::string all;
    for (int i = 0; i < device_count; ++i) {
        devices.push_back(std::make_unique<SimulatedModelN>(
            DeviceDocuments("N15", "Room " + std::to_string(i), "SN" + std::to_string(i)),
            settings));
        all += "modeln " + devices.back()->address() + " name=\"Room " + std::to_string(i) + "\"\n";
    }
    std::string const one = registry.folder() + "/one.conf";
    std::string const thousand = registry.folder() + "/thousand.conf";
    std::ofstream(one) << "modeln " << devices[0]->address() << "\n";
    std::ofstream(thousand) << all;

    std::vector<double> single;
    {
        Exporter exporter(one, "0.05", workers);
        for (int i = 0; i < 20; ++i, std::this_thread::sleep_for(60ms))
            for (double const seconds :
                 values(fetch(exporter.port, "/metrics"), "ambivox_poll_duration_seconds"))
                single.push_back(seconds);
    }
    std::sort(single.begin(), single.end());
    double const singlePoll = single.empty() ? 0 : single[single.size() / 2];

    double const ownBefore = own_cpu_seconds();
    Exporter exporter(thousand, "3600", workers);
    std::string text;
    auto const deadline = std::chrono::steady_clock::now() + 300s;
    while (values(text, "ambivox_last_poll_timestamp_seconds").size() < device_count &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(100ms);
        text = fetch(exporter.port, "/metrics");
    }
    auto const ends = values(text, "ambivox_last_poll_timestamp_seconds");
    auto const durations = values(text, "ambivox_poll_duration_seconds");
    if (ends.size() != device_count || durations.size() != device_count) {
        state.SkipWithError("the round did not finish");
        return;
    }
    double first = ends[0] - durations[0];
    for (std::size_t i = 0; i < ends.size(); ++i)
        first = std::min(first, ends[i] - durations[i]);
    double const round = *std::max_element(ends.begin(), ends.end()) - first;
    // Where the cores went while the round ran: the exporter, and this process (the devices,
    // and the scrapes that watch for the round's end).
    double const exporterCpu = cpu_seconds(exporter.child->pid());
    double const ownCpu = own_cpu_seconds() - ownBefore;

    std::size_t bytes = 0;
    for (auto _ : state)
        bytes += fetch(exporter.port, "/metrics").size();
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["rss_mb"] =
        static_cast<double>(proc_status(exporter.child->pid(), "VmRSS")) / 1024.0;
    state.counters["threads"] = static_cast<double>(proc_status(exporter.child->pid(), "Threads"));
    state.counters["round_s"] = round;
    state.counters["single_poll_ms"] = singlePoll * 1000;
    state.counters["round_goal_s"] = 2 * singlePoll * device_count / workers;
    state.counters["exporter_cpu_ms_per_poll"] = exporterCpu * 1000 / device_count;
    state.counters["devices_cpu_s"] = ownCpu;
}

// The exporter's default pool, and one worker per core of a small machine: polls of devices on
// loopback are CPU-bound, so there the cores bound a round, not the workers.
BENCHMARK(MetricsScrapeOf1000Devices)
    ->ArgName("workers")
    ->Arg(16)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(50);

}  // namespace
