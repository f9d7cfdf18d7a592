// Polls that wait on the clock: --watch repeats until its count or Ctrl-C, Model Q devices
// (about 1.5 s each) are polled at the same time as the others, and a poll on a terminal shows
// its progress on stderr.
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/tools/AmbivoxProgram.h"
#include "tools/simulators/ModelQSimulator.h"
#include "tools/simulators/SimulatedModelN.h"

namespace {

using namespace std::chrono_literals;
using ambivox::simulation::DeviceDocuments;
using ambivox::simulation::ModelQSimulator;
using ambivox::simulation::SimulatedModelN;
using ambivox::testing::ambivox;
using ambivox::testing::AmbivoxProgram;

SimulatedModelN::options xml_only() {
    SimulatedModelN::options settings;
    settings.pages = false;
    return settings;
}

class PollSlow : public ambivox::testing::AmbivoxTest {
protected:
    SimulatedModelN n15{DeviceDocuments("N15", "Cold store", "SN-15"), xml_only()};
};

TEST_F(PollSlow, WatchRepeatsTheTableUntilItsCountWithReadingsThatMove) {
    auto const run =
        ambivox({"poll", "modeln", n15.address(), "--watch", "0.2", "--count", "2"}, 30s);
    ASSERT_EQ(run.code, 0) << run.err;
    auto const rows = lines(run.out);
    ASSERT_EQ(rows.size(), 7u + 1u + 7u) << run.out;
    EXPECT_TRUE(rows[0].starts_with("DEVICE")) << "a table per round";
    EXPECT_EQ(rows[7], "") << "rounds apart by a blank line";
    EXPECT_TRUE(rows[8].starts_with("DEVICE"));
    std::vector<std::string> first(rows.begin() + 1, rows.begin() + 7);
    std::vector<std::string> second(rows.begin() + 9, rows.end());
    EXPECT_NE(first, second) << "the simulated readings drift from poll to poll";
    EXPECT_EQ(n15.request_count(), 4u) << "two polls of two documents";
}

TEST_F(PollSlow, WatchAsJsonIsOneDocumentPerLine) {
    auto const run =
        ambivox({"poll", "modeln", n15.address(), "--json", "--watch", "0.1", "--count", "3"}, 30s);
    ASSERT_EQ(run.code, 0) << run.err;
    std::string const path = registry.folder() + "/rounds.json";
    std::ofstream(path) << run.out;
    std::string const command =
        "python3 -c 'import json,sys\nrounds=[json.loads(l) for l in open(sys.argv[1])]\n"
        "assert len(rounds)==3 and all(len(r[\"devices\"][0][\"probes\"])==6 for r in rounds)' '" +
        path + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << run.out;
}

TEST_F(PollSlow, WatchAsPrometheusReplacesItsOutputFileEachRound) {
    std::filesystem::create_directory(registry.folder() + "/metrics");
    std::string const path = registry.folder() + "/metrics/ambivox.prom";
    AmbivoxProgram watch({"poll", "modeln", n15.address(), "--prometheus", "--watch", "0.2",
                          "--count", "3", "--output", path});
    auto const deadline = AmbivoxProgram::clock::now() + 20s;
    while (!std::filesystem::exists(path) && AmbivoxProgram::clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    // A collector holding the first round keeps it whole while later rounds land beside it.
    std::ifstream first(path);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    ASSERT_EQ(watch.wait(30s), 0) << watch.err();
    EXPECT_EQ(watch.out(), "");
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino) << "the file was rewritten in place";
    std::stringstream held;
    held << first.rdbuf();
    std::stringstream last;
    last << std::ifstream(path).rdbuf();
    for (std::string const& round : {held.str(), last.str()}) {
        EXPECT_EQ(AmbivoxProgram::occurrences(round, "# HELP ambivox_device_up "), 1) << round;
        EXPECT_EQ(AmbivoxProgram::occurrences(
                      round, "ambivox_device_up{device=\"" + n15.address() + "\"} 1\n"),
                  1)
            << round;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(registry.folder() + "/metrics"),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file is left behind";
}

TEST_F(PollSlow, ProbeThatDidNotAnswerIsNoReading) {
    ModelQSimulator::options halfDead;
    halfDead.probe1 = "-99.9";
    ModelQSimulator device(halfDead);
    device.map_to(5);
    auto const table = ambivox({"poll", "modelq", "COM5"}, 20s);
    EXPECT_NE(table.out.find("COM5    1      Probe 1  Temperature  no reading"), std::string::npos)
        << table.out;
    auto const metrics = ambivox({"poll", "modelq", "COM5", "--prometheus"}, 20s);
    EXPECT_EQ(AmbivoxProgram::occurrences(metrics.out, "ambivox_probe_info{"), 2) << metrics.out;
    EXPECT_EQ(AmbivoxProgram::occurrences(metrics.out, "\nambivox_temperature_celsius{"), 1)
        << metrics.out;
    EXPECT_EQ(metrics.out.find("ambivox_temperature_celsius{device=\"COM5\",probe=\"1\"}"),
              std::string::npos)
        << metrics.out;
    auto const influx = ambivox({"poll", "modelq", "COM5", "--format", "influx"}, 20s);
    EXPECT_EQ(AmbivoxProgram::occurrences(influx.out, "ambivox_reading,"), 1) << influx.out;
    EXPECT_EQ(influx.out.find("probe=1,"), std::string::npos) << influx.out;
    auto const check = ambivox({"check", "modelq", "COM5", "-w", "100", "-c", "200"}, 20s);
    EXPECT_EQ(check.code, 3) << check.out;
    EXPECT_TRUE(check.out.starts_with("AMBIVOX UNKNOWN - Probe 1: no reading")) << check.out;
    EXPECT_NE(check.out.find("'Probe 1'=U;100;200 'Probe 2'=22F;100;200\n"), std::string::npos)
        << check.out;
}

// A serial device named by its path is mapped to a free COM number for the run only, whether
// the poll succeeds or fails.
TEST_F(PollSlow, DevicePathIsMappedForThePollOnly) {
    ModelQSimulator device;
    auto const run = ambivox({"poll", "modelq", device.device_path(), "--json"}, 20s);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("\"device\": \"" + device.device_path() + "\""), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"value\": 21.5"), std::string::npos) << run.out;
    auto const missing = ambivox({"poll", "modelq", "/dev/no-such-tty"}, 20s);
    EXPECT_EQ(missing.code, 1) << missing.err;
    EXPECT_NE(missing.err.find("/dev/no-such-tty"), std::string::npos) << missing.err;
    auto const ports = ambivox({"ports"});
    EXPECT_NE(ports.out.find("No serial port is mapped"), std::string::npos) << ports.out;
}

class SilentDeviceSlow : public PollSlow {
protected:
    void SetUp() override {
        PollSlow::SetUp();
        silent.map_to(4);
    }
    ModelQSimulator silent{[] {
        ModelQSimulator::options settings;
        settings.behaviour = ModelQSimulator::mode::silent;
        return settings;
    }()};
};

TEST_F(SilentDeviceSlow, TimeoutReportsTheDevicesStillPollingAndPrintsTheRest) {
    auto const started = AmbivoxProgram::clock::now();
    auto const run =
        ambivox({"poll", "modeln", n15.address(), "modelq", "COM4", "--timeout", "1"}, 20s);
    EXPECT_LT(AmbivoxProgram::clock::now() - started, 4s) << "a silent device takes 10 s";
    EXPECT_EQ(run.code, 1) << run.err;
    EXPECT_EQ(AmbivoxProgram::occurrences(run.out, "Cold store (" + n15.address() + ")"), 6)
        << run.out;
    EXPECT_NE(run.out.find("(poll failed: HRESULT_FROM_WIN32(ERROR_TIMEOUT) 0x800705B4)"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find("ambivox: COM4: timed out: the poll was still running when the time "
                           "limit of 1 s ran out"),
              std::string::npos)
        << run.err;
}

TEST_F(SilentDeviceSlow, InfluxLinesGoOutAsSoonAsTheirDeviceAndThoseBeforeAreDone) {
    AmbivoxProgram poll({"poll", "modeln", n15.address(), "modelq", "COM4", "modeln", n15.address(),
                         "--format", "influx", "--timeout", "1.5", "--exit-zero"});
    ASSERT_TRUE(poll.wait_for_output("ambivox_device,device=" + n15.address(), 3s))
        << "the first device's lines wait for the silent one: " << poll.out();
    EXPECT_EQ(AmbivoxProgram::occurrences(poll.out(), "ambivox_device,"), 1) << poll.out();
    EXPECT_EQ(poll.wait(20s), 0) << "--exit-zero: " << poll.err();
    EXPECT_EQ(AmbivoxProgram::occurrences(poll.out(), "ambivox_device,"), 3) << poll.out();
    EXPECT_NE(poll.out().find("ambivox_device,device=COM4 up=0i"), std::string::npos);
    EXPECT_EQ(AmbivoxProgram::occurrences(poll.out(), " up=1i "), 2)
        << "the device after the silent one was done in time: " << poll.out();
}

// Rounds start at fixed times: a Model Q poll of 1.5 s every 2 s starts at 0, 2 and 4 s, not
// 2 s after each poll ended.
TEST_F(PollSlow, WatchKeepsAFixedRate) {
    ModelQSimulator device;
    device.map_to(6);
    auto const started = AmbivoxProgram::clock::now();
    auto const run = ambivox({"poll", "modelq", "COM6", "--watch", "2", "--count", "3"}, 30s);
    auto const took = AmbivoxProgram::clock::now() - started;
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(device.queries(), 3);
    EXPECT_LT(took, 7s) << "each round waited 2 s after the last one ended";
}

TEST_F(PollSlow, CtrlCEndsAWatchCleanly) {
    AmbivoxProgram watch({"poll", "modeln", n15.address(), "--watch", "0.5"});
    ASSERT_TRUE(watch.wait_for_output("DEVICE", 20s, 2)) << watch.err();
    auto const stopped = AmbivoxProgram::clock::now();
    watch.signal(SIGINT);
    EXPECT_EQ(watch.wait(10s), 0) << watch.err();
    EXPECT_LT(AmbivoxProgram::clock::now() - stopped, 2s);
    EXPECT_EQ(watch.err(), "");
}

TEST_F(PollSlow, CtrlCDuringAPollEndsAtOnce) {
    // A silent Model Q device keeps its poll busy for seconds.
    ModelQSimulator::options silent;
    silent.behaviour = ModelQSimulator::mode::silent;
    ModelQSimulator device(silent);
    // Named by its path, so the mapping made for the run must go with it.
    AmbivoxProgram watch({"poll", "modelq", device.device_path(), "--watch", "1"});
    ASSERT_TRUE(device.wait_for_queries(1, 10s));
    watch.signal(SIGINT);
    EXPECT_EQ(watch.wait(3s), 130) << "interrupted before any round ended";
    EXPECT_NE(watch.err().find("interrupted during a poll"), std::string::npos) << watch.err();
    EXPECT_NE(ambivox({"ports"}).out.find("No serial port is mapped"), std::string::npos);
}

TEST_F(PollSlow, DevicesArePolledAtTheSameTime) {
    ModelQSimulator tankA;
    ModelQSimulator::options other;
    other.probe1 = "50.5";
    other.probe2 = "-99.9";
    other.battery = "Bat Ok";
    ModelQSimulator tankB(other);
    tankA.map_to(3);
    tankB.map_to(4);
    auto const started = AmbivoxProgram::clock::now();
    auto const run = ambivox({"poll", "modelq", "COM4", "--name", "B", "modelq", "COM3", "--name",
                              "A", "modeln", n15.address(), "--json"},
                             30s);
    auto const took = AmbivoxProgram::clock::now() - started;
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_LT(took, 2800ms) << "two Model Q polls of 1.5 s each ran one after the other";
    EXPECT_EQ(tankA.queries(), 1);
    EXPECT_EQ(tankB.queries(), 1);

    std::string const path = registry.folder() + "/poll.json";
    std::ofstream(path) << run.out;
    std::string const command =
        "python3 -c 'import json,sys\nd=json.load(open(sys.argv[1]))[\"devices\"]\n"
        "assert [x[\"device\"] for x in d]==[\"COM4\",\"COM3\",\"" +
        n15.address() +
        "\"], d\n"
        "assert [x[\"name\"] for x in d[:2]]==[\"B\",\"A\"] and d[0][\"battery\"]==\"Bat Ok\"\n"
        "assert [p[\"reading\"][\"value\"] for p in d[0][\"probes\"]]==[50.5,None]\n"
        "assert d[0][\"probes\"][1][\"reading\"][\"raw_value\"]==-99.9\n"
        "assert [p[\"reading\"][\"value\"] for p in d[1][\"probes\"]]==[21.5,22.0]\n"
        "assert d[1][\"battery\"]==\"Bat Low\" and "
        "d[1][\"probes\"][0][\"reading\"][\"unit\"]==\"F\"' '" +
        path + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << run.out;
}

TEST_F(PollSlow, ProgressLineOnATerminalOnly) {
    ModelQSimulator device;
    device.map_to(6);
    AmbivoxProgram poll({"poll", "modelq", "COM6"}, /*terminal=*/true);
    EXPECT_EQ(poll.wait(20s), 0) << poll.err();
    EXPECT_NE(poll.err().find("\rpolling 1 device: 0 done, 1 waiting ("), std::string::npos)
        << poll.err();
    EXPECT_TRUE(poll.err().ends_with("\r\033[K")) << "the line is erased before the table";
    EXPECT_NE(poll.out().find("COM6    1      Probe 1  Temperature  21.5"), std::string::npos)
        << poll.out();
}

}  // namespace
