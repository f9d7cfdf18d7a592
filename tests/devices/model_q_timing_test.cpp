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
using mode = ModelQSimulator::mode;

namespace {

constexpr int kPort = 21;

// One poll as the data connector makes it: a helper of its own, opened, read and closed.
struct Poll {
    Poll() {
        EXPECT_TRUE(helper.Open(kPort));
        auto const start = steady::now();
        helper.Read(scratch);
        took = steady::now() - start;
        helper.Close();
    }

    CModelQHelper helper;
    std::u16string scratch;
    steady::duration took{};
};

TEST(ModelQHelperSlow, ALineNotEndedInTimeIsNoReadingAndLeavesNothingForTheNextPoll) {
    struct Case {
        char const* name;
        mode behaviour;
        std::u16string probe1, probe2, battery, scratch;
    };
    Case const cases[] = {
        {"answering", mode::answering, u"21.5", u"22.0", u"Bat Low",
         u"21.5\r\n22.0\r\nBat Low\r\n"},
        {"silent", mode::silent, u"-99.9", u"-99.9", u"Bat Ok", u""},
        {"late", mode::late, u"-99.9", u"-99.9", u"Bat Ok", u""},
        {"pausing", mode::pausing, u"-99.9", u"-99.9", u"Bat Ok", u"21"},
        {"lf_only", mode::lf_only, u"-99.9", u"-99.9", u"Bat Ok", u"21.5\n22.0\nBat Low\n"},
        // As many bytes as the line limit or the line's time allows, whichever ends first.
        {"flooding", mode::flooding, u"-99.9", u"-99.9", u"Bat Ok", u"x..."},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        ambivox::testing::TempRegistry registry;
        ModelQSimulator device({.behaviour = c.behaviour, .faulty_queries = 1});
        device.map_to(kPort);
        {
            Poll const faulty;
            EXPECT_EQ(faulty.helper.Probe1Value(), c.probe1);
            EXPECT_EQ(faulty.helper.Probe2Value(), c.probe2);
            EXPECT_EQ(faulty.helper.BatteryStatus(), c.battery);
            if (c.scratch == u"x...") {
                EXPECT_LE(faulty.scratch.size(), ambivox::CSerialPortEx::max_line_bytes);
                EXPECT_EQ(faulty.scratch.find_first_not_of(u'x'), std::u16string::npos);
            } else {
                EXPECT_EQ(faulty.scratch, c.scratch);
            }
            // One line read of 2 to 3 s at most after the fixed 1.5 s: no later line waited.
            EXPECT_LE(faulty.took, 4600ms);
        }
        // Whatever the faulty reply still sends is in the port before the next query.
        ASSERT_TRUE(device.wait_for_queries(1, 10s));
        Poll const next;
        EXPECT_EQ(next.helper.Probe1Value(), u"21.5");
        EXPECT_EQ(next.helper.Probe2Value(), u"22.0");
        EXPECT_EQ(next.helper.BatteryStatus(), u"Bat Low");
        EXPECT_EQ(next.scratch, u"21.5\r\n22.0\r\nBat Low\r\n");
    }
}

}  // namespace
