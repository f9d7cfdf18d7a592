// Exchanges whose lines run into their time limits: seconds each, so the suite carries the
// "Slow" name that labels it slow.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "devices/CModelQHelper.h"
#include "tests/support/TempRegistry.h"
#include "tools/simulators/ModelQSimulator.h"

using ambivox::CModelQHelper;
using ambivox::simulation::ModelQSimulator;
using namespace std::chrono_literals;
using steady = std::chrono::steady_clock;

namespace {

constexpr int kPort = 21;

struct Exchange {
    explicit Exchange(ModelQSimulator::mode behaviour) : device({.behaviour = behaviour}) {
        device.map_to(kPort);
        EXPECT_TRUE(helper.Open(kPort));
        auto const start = steady::now();
        helper.Read(scratch);
        took = steady::now() - start;
        helper.Close();
    }

    ambivox::testing::TempRegistry registry;
    ModelQSimulator device;
    CModelQHelper helper;
    std::u16string scratch;
    steady::duration took{};
};

TEST(ModelQHelperSlow, ASilentDeviceGivesTheDefaultsAfterEveryLineTimedOut) {
    Exchange exchange(ModelQSimulator::mode::silent);
    EXPECT_EQ(exchange.helper.Probe1Value(), u"-99.9");
    EXPECT_EQ(exchange.helper.Probe2Value(), u"-99.9");
    EXPECT_EQ(exchange.helper.BatteryStatus(), u"Bat Ok");
    EXPECT_EQ(exchange.scratch, u"");
    EXPECT_GE(exchange.took, 7500ms);
    EXPECT_LE(exchange.took, 10600ms);
}

TEST(ModelQHelperSlow, LinesEndedByLineFeedsAloneRunIntoTheFirstValue) {
    Exchange exchange(ModelQSimulator::mode::lf_only);
    EXPECT_EQ(exchange.helper.Probe1Value(), u"21.522.0\nBat Low\n");
    EXPECT_EQ(exchange.helper.Probe2Value(), u"-99.9");
    EXPECT_EQ(exchange.helper.BatteryStatus(), u"Bat Ok");
    EXPECT_EQ(exchange.scratch, u"21.5\n22.0\nBat Low\n");
    EXPECT_GE(exchange.took, 7500ms);
    EXPECT_LE(exchange.took, 10600ms);
}

}  // namespace
