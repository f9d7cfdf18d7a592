// Line reads that run into their time limits: seconds each, so the suite carries the "Slow"
// name that labels it slow.
#include <gtest/gtest.h>

#include <time.h>

#include <chrono>
#include <string>

#include "tests/support/TempRegistry.h"
#include "tools/simulators/ModelQSimulator.h"
#include "transport/CSerialPortEx.h"

using ambivox::CSerialPortEx;
using ambivox::simulation::ModelQSimulator;
using namespace std::chrono_literals;
using steady = std::chrono::steady_clock;

namespace {

constexpr int kPort = 22;

std::chrono::nanoseconds thread_cpu() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

TEST(ReadLineSlow, AnIdleLineEndsBetweenTheLimitAndASecondLaterWithoutSpinning) {
    ambivox::testing::TempRegistry registry;
    ModelQSimulator device{{.behaviour = ModelQSimulator::mode::silent}};
    device.map_to(kPort);
    CSerialPortEx port;
    port.Open(kPort);
    port.SetNoWaitTimeouts();
    for (int timeout : {0, 2}) {
        std::string line;
        auto const cpuBefore = thread_cpu();
        auto const start = steady::now();
        port.ReadLine(line, timeout);
        auto const took = steady::now() - start;
        auto const cpu = thread_cpu() - cpuBefore;
        EXPECT_EQ(line, "");
        EXPECT_GE(took, std::chrono::seconds(timeout));
        EXPECT_LE(took, std::chrono::seconds(timeout + 1) + 50ms);
        EXPECT_LT(cpu, 20ms) << "the wait sleeps instead of polling the port";
    }
    // A negative limit makes one attempt.
    std::string line;
    auto const start = steady::now();
    port.ReadLine(line, -1);
    EXPECT_LT(steady::now() - start, 50ms);
}

}  // namespace
