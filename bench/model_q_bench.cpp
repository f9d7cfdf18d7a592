// One Model Q exchange (Open, Read, Close) against the pseudo-terminal device simulator: the
// wall time, and the CPU time of the calling thread (the simulator's thread excluded) and of the
// whole process. Goals: CPU <= 10 ms; wall within 50 ms of 1.5 s plus the reply's line time.
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <string>

#include "devices/CModelQHelper.h"
#include "tests/support/TempRegistry.h"
#include "tools/simulators/ModelQSimulator.h"

using ambivox::simulation::ModelQSimulator;

namespace {

constexpr int kPort = 30;
// Ten bit times per byte (start, eight data, stop) at 9600 baud.
constexpr double kByteMs = 10.0 * 1000.0 / 9600.0;

double cpu_ms(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// slow: the simulator sends the reply a byte per millisecond, about the pace of a 9600 baud
// line (the reply goes out during the helper's one-second wait); answering: the whole reply is
// there at once; silent: no reply, so every line read waits out its time limit.
void exchange(benchmark::State& state, ModelQSimulator::mode behaviour) {
    ambivox::testing::TempRegistry registry;
    ModelQSimulator::options options;
    options.behaviour = behaviour;
    bool const paced = behaviour == ModelQSimulator::mode::slow;
    bool const silent = behaviour == ModelQSimulator::mode::silent;
    options.byte_delay = std::chrono::milliseconds(1);
    ModelQSimulator device(options);
    device.map_to(kPort);
    std::size_t const replyBytes =
        options.probe1.size() + options.probe2.size() + options.battery.size() + 6;

    double thread = 0;
    double process = 0;
    double wall = 0;
    for (auto _ : state) {
        double const thread0 = cpu_ms(CLOCK_THREAD_CPUTIME_ID);
        double const process0 = cpu_ms(CLOCK_PROCESS_CPUTIME_ID);
        auto const start = std::chrono::steady_clock::now();
        ambivox::CModelQHelper helper;
        std::u16string scratch;
        if (!helper.Open(kPort)) state.SkipWithError("the port did not open");
        helper.Read(scratch);
        helper.Close();
        wall += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
        thread += cpu_ms(CLOCK_THREAD_CPUTIME_ID) - thread0;
        process += cpu_ms(CLOCK_PROCESS_CPUTIME_ID) - process0;
        if (helper.BatteryStatus() != (silent ? u"Bat Ok" : u"Bat Low")) {
            state.SkipWithError("wrong reply");
        }
    }
    auto const n = static_cast<double>(state.iterations());
    state.counters["wall_ms"] = wall / n;
    state.counters["thread_cpu_ms"] = thread / n;
    state.counters["process_cpu_ms"] = process / n;
    state.counters["line_ms"] = paced ? static_cast<double>(replyBytes) * kByteMs : 0.0;
    if (!silent) state.counters["over_goal_ms"] = wall / n - 1500.0 - state.counters["line_ms"];
}

void BM_ModelQExchange(benchmark::State& state) {
    exchange(state, ModelQSimulator::mode::answering);
}
void BM_ModelQExchangeAtLinePace(benchmark::State& state) {
    exchange(state, ModelQSimulator::mode::slow);
}
// The longest exchange (about 3.5 to 4.5 s): the first line's read sleeps while nothing comes,
// and a line that never ends is the end of the reply.
void BM_ModelQExchangeSilentDevice(benchmark::State& state) {
    exchange(state, ModelQSimulator::mode::silent);
}

}  // namespace

BENCHMARK(BM_ModelQExchange)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ModelQExchangeAtLinePace)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ModelQExchangeSilentDevice)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
