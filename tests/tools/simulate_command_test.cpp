// `ambivox simulate`: the simulated device is what a second ambivox polls, it runs until Ctrl-C
// and then ends cleanly, and a simulated Model Q device is mapped to its COM port only while it
// runs. The Model Q suite waits on the clock (a Model Q poll takes about 1.5 s).
#include <chrono>
#include <regex>
#include <string>

#include "platform/registry/Registry.h"
#include "tests/support/RegistryDump.h"
#include "tests/tools/AmbivoxProgram.h"

namespace {

using namespace std::chrono_literals;
using ambivox::testing::ambivox;
using ambivox::testing::AmbivoxProgram;

// The address or port of the "poll: ambivox poll ..." line a simulator prints.
std::string poll_target(std::string const& out, char const* family) {
    std::smatch match;
    std::regex const line(std::string("poll: ambivox poll ") + family + " (\\S+)");
    return std::regex_search(out, match, line) ? match[1].str() : std::string();
}

class Simulate : public ambivox::testing::AmbivoxTest {};
using SimulateSlow = Simulate;

TEST_F(Simulate, ModelNServesUntilInterrupted) {
    AmbivoxProgram simulator({"simulate", "modeln", "--model", "NX2", "--probes", "3"});
    ASSERT_TRUE(simulator.wait_for_output("Press Ctrl-C to stop.", 10s)) << simulator.err();
    std::string const address = poll_target(simulator.out(), "modeln");
    ASSERT_TRUE(address.starts_with("127.0.0.1:")) << simulator.out();
    EXPECT_NE(simulator.out().find("--model NX2"), std::string::npos);

    auto const run = ambivox({"poll", "modeln", address, "--model", "NX2"});
    EXPECT_EQ(run.code, 0) << run.err;
    for (char const* text :
         {"Simulated NX2 (" /* the unit's name */, "Temperature 1", "Humidity 1", "Wetness 1"})
        EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;

    simulator.signal(SIGINT);
    EXPECT_EQ(simulator.wait(10s), 0) << simulator.err();
    EXPECT_NE(simulator.err().find("simulator stopped after 2 requests"), std::string::npos)
        << simulator.err();
}

TEST_F(Simulate, ModelNFaultFailsThePoll) {
    AmbivoxProgram simulator({"simulate", "modeln", "--fault", "malformed"});
    ASSERT_TRUE(simulator.wait_for_output("Press Ctrl-C to stop.", 10s)) << simulator.err();
    auto const run = ambivox({"poll", "modeln", poll_target(simulator.out(), "modeln")});
    EXPECT_EQ(run.code, 1) << run.out << run.err;
    EXPECT_NE(run.err.find("E_FAIL"), std::string::npos) << run.err;
    simulator.signal(SIGTERM);
    EXPECT_EQ(simulator.wait(10s), 0);
}

TEST_F(SimulateSlow, ModelQIsMappedWhileItRuns) {
    AmbivoxProgram simulator({"simulate", "modelq", "--com", "7"});
    ASSERT_TRUE(simulator.wait_for_output("Press Ctrl-C to stop.", 10s)) << simulator.err();
    EXPECT_EQ(poll_target(simulator.out(), "modelq"), "COM7") << simulator.out();
    std::smatch terminal;
    std::string const out = simulator.out();
    ASSERT_TRUE(std::regex_search(out, terminal, std::regex("on (/dev/pts/\\d+), mapped to COM7")))
        << out;
    EXPECT_EQ(ambivox({"ports"}).out, "COM7    " + terminal[1].str() + "\n");

    // The port is taken while the simulator runs.
    auto const taken = ambivox({"simulate", "modelq", "--com", "7"});
    EXPECT_EQ(taken.code, 1);
    EXPECT_NE(taken.err.find("COM7 already stands for " + terminal[1].str()), std::string::npos);

    auto const run = ambivox({"poll", "modelq", "COM7", "--name", "Tank"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("Tank (COM7)  1      Probe 1  Temperature  71.6   F"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Tank (COM7)  2      Probe 2  Temperature  69.8   F"), std::string::npos)
        << run.out;

    simulator.signal(SIGINT);
    EXPECT_EQ(simulator.wait(10s), 0) << simulator.err();
    EXPECT_NE(simulator.err().find("after 1 queries; COM7 is unmapped again"), std::string::npos)
        << simulator.err();
    EXPECT_EQ(
        ambivox::testing::registry_dump(HKEY_LOCAL_MACHINE, u"HARDWARE\\DEVICEMAP\\SERIALCOMM"),
        (std::set<std::string>{"HARDWARE\\DEVICEMAP\\SERIALCOMM"}));
}

}  // namespace
