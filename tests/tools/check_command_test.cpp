// `ambivox check` as a monitoring system runs it: the plugin state as exit code, one status line
// with performance data in the plugins' grammar, thresholds in their range syntax, and nothing
// OK that was not read.
#include <regex>
#include <string>
#include <vector>

#include "tests/tools/AmbivoxProgram.h"
#include "tools/simulators/HttpDeviceSimulator.h"
#include "tools/simulators/SimulatedModelN.h"

namespace {

using ambivox::simulation::DeviceDocuments;
using ambivox::simulation::SimulatedModelN;
using ambivox::testing::ambivox;

SimulatedModelN::options steady(SimulatedModelN::fault mode = SimulatedModelN::fault::none) {
    SimulatedModelN::options settings;
    settings.pages = false;
    settings.drift = false;
    settings.mode = mode;
    return settings;
}

class Check : public ambivox::testing::AmbivoxTest {
protected:
    // Probes at 68, 69.3, 70.6, 71.9, 73.2 and 74.5 F.
    SimulatedModelN n15{DeviceDocuments("N15", "Cold store", "SN-15"), steady()};
    SimulatedModelN broken{DeviceDocuments("N7", "Broken", "SN-7"),
                           steady(SimulatedModelN::fault::not_found)};
};

TEST_F(Check, StatesFollowTheThresholdRanges) {
    struct want {
        std::vector<std::string> args;
        int code;
        std::string starts;  // the status line's start
    };
    std::string const perf = " | 'Inlet'=68F;";
    for (auto const& c : std::vector<want>{
             {{"-p", "1", "-w", "60:70", "-c", "50:80"},
              0,
              "AMBIVOX OK - Inlet 68 F" + perf + "60:70;50:80\n"},
             {{"-p", "1", "-w", "70"}, 0, "AMBIVOX OK - Inlet 68 F" + perf + "70;\n"},
             {{"-p", "1", "-w", "10:"}, 0, "AMBIVOX OK"},
             {{"-p", "1", "-w", "60"}, 1, "AMBIVOX WARNING - Inlet 68 F (warning 60)"},
             {{"-p", "1", "-w", "~:60", "-c", "~:90"}, 1, "AMBIVOX WARNING"},
             {{"-p", "1", "-w", "100", "-c", "@60:70"}, 2, "AMBIVOX CRITICAL - Inlet 68 F"},
             {{"-p", "1", "-c", "69:"}, 2, "AMBIVOX CRITICAL"},
             {{"-p", "1", "--unit", "C", "-w", "19.9:20.1"},
              0,
              "AMBIVOX OK - Inlet 20 C | 'Inlet'=20C"},
             {{"-w", "71"}, 1, "AMBIVOX WARNING - Rack 2 71.9 F (warning 71), Rack 3 73.2 F"},
             {{"-p", "9", "-w", "100"},
              3,
              "AMBIVOX UNKNOWN - Cold store (" + n15.address() + ") has no probe 9"},
         }) {
        std::vector<std::string> args{"check", "modeln", n15.address()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        auto const run = ambivox(args);
        SCOPED_TRACE(c.args[1] + " " + c.args.back());
        EXPECT_EQ(run.code, c.code) << run.out << run.err;
        EXPECT_TRUE(run.out.starts_with(c.starts)) << run.out;
        // One line; performance data as 'label'=value[UOM];warn;crit, "U" for no value.
        std::regex const line(R"(AMBIVOX (OK|WARNING|CRITICAL|UNKNOWN) - [^|\n]+)"
                              R"((?: \| '[^'=]+'=(?:-?[\d.]+[A-Za-z%]*|U);[^; ]*;[^; ]*)"
                              R"((?: '[^'=]+'=(?:-?[\d.]+[A-Za-z%]*|U);[^; ]*;[^; ]*)*)?\n)");
        EXPECT_TRUE(std::regex_match(run.out, line)) << run.out;
    }
}

TEST_F(Check, FailedPollIsCriticalAmongGoodDevices) {
    auto const run = ambivox(
        {"check", "modeln", n15.address(), "modeln", broken.address(), "-p", "1", "-w", "100"});
    EXPECT_EQ(run.code, 2) << run.out;
    EXPECT_TRUE(run.out.starts_with("AMBIVOX CRITICAL - " + broken.address() + ": http://" +
                                    broken.address() + "/xmlconfig: HTTP 404"))
        << run.out;
    EXPECT_NE(run.out.find(" | 'Cold store (" + n15.address() + ") Inlet'=68F;100;\n"),
              std::string::npos)
        << run.out;
}

// Ranges given in one scale are never measured against a number in another.
TEST_F(Check, TemperatureThatCannotBeConvertedIsUnknown) {
    ambivox::simulation::HttpDeviceSimulator device;
    device.serve("/xmlconfig", R"(<Ambivox id="U"><Unit><Name>Odd</Name></Unit><Probe id="1" )"
                               R"(type="Temperature"><Name>Inlet</Name><Units>X</Units></Probe>)"
                               R"(</Ambivox>)");
    device.serve("/xmldata",
                 R"(<Ambivox id="U"><Probe id="1"><Value>20</Value></Probe></Ambivox>)");
    std::string const address = "127.0.0.1:" + std::to_string(device.port());
    auto const run = ambivox({"check", "modeln", address, "--unit", "C", "-c", "10:32"});
    EXPECT_EQ(run.code, 3) << run.out;
    EXPECT_EQ(run.out,
              "AMBIVOX UNKNOWN - Inlet: not in C (the device gave unknown) | "
              "'Inlet'=U;;10:32\n");
}

TEST_F(Check, UnregisteredModuleIsUnknown) {
    ambivox::testing::TempRegistry empty;
    auto const run = ambivox({"check", "modeln", n15.address()});
    EXPECT_EQ(run.code, 3) << run.out;
    EXPECT_TRUE(run.out.starts_with("AMBIVOX UNKNOWN - the AmbivoxSDK module is not registered"))
        << run.out;
}

}  // namespace
