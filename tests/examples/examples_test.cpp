// The examples are documentation that has to keep working: each runs as a process of its own,
// as a user would run it, against a simulated network device, with the built module registered
// in a private registry store that the child finds through AMBIVOX_REGISTRY.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/SdkModule.h"
#include "tests/support/TempRegistry.h"
#include "tools/simulators/HttpDeviceSimulator.h"

extern char** environ;

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct outcome {
    int status = -1;     // the exit code; -1 when the program did not exit by itself
    std::string output;  // standard output and standard error, interleaved
};

// Runs a program with this process's environment and collects what it prints. A program still
// running after 60 s is killed, so a hanging example fails its test instead of stalling it.
outcome run(std::vector<std::string> args) {
    outcome result;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    int const spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        result.output = "cannot start " + args[0];
        return result;
    }

    auto const deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool killed = false;
    for (;;) {
        auto const left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fds[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) == 0) {
            kill(pid, SIGKILL);
            killed = true;
            break;
        }
        char buffer[4096];
        ssize_t const n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        result.output.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!killed && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    return result;
}

// An N15 with two temperature probes; a device reports all its temperatures in one unit.
constexpr char configuration[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<Ambivox id="SN-2210">
  <Unit><Name>Server Room</Name><Model>N15</Model><Serial_Number>SN-2210</Serial_Number></Unit>
  <Group id="1">
    <Probe id="1" type="Temperature"><Name>Inlet</Name><Units>C</Units></Probe>
    <Probe id="2" type="Temperature"><Name>Outlet</Name><Units>C</Units></Probe>
  </Group>
</Ambivox>
)";
constexpr char readings[] = R"(<Ambivox id="SN-2210"><Group id="1">
  <Probe id="1"><Value>4.5</Value></Probe><Probe id="2"><Value>-12.25</Value></Probe>
</Group></Ambivox>)";

std::string const early_bound = AMBIVOX_EARLY_BOUND;
std::string const late_bound = AMBIVOX_LATE_BOUND;

class Examples : public ::testing::Test {
protected:
    void SetUp() override {
        device.serve("/xmlconfig", configuration);
        device.serve("/xmldata", readings);
        ASSERT_EQ(module.register_server(), S_OK);
    }

    std::string address() const { return "127.0.0.1:" + std::to_string(device.port()); }

    ambivox::testing::TempRegistry registry;  // first: the module registers into this store
    ambivox::testing::SdkModule module;
    ambivox::simulation::HttpDeviceSimulator device;
};

TEST_F(Examples, EachListsEveryProbeWithItsReading) {
    for (auto const& program : {early_bound, late_bound}) {
        SCOPED_TRACE(program);
        auto const result = run({program, address()});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.output, "Inlet: 4.5 C\nOutlet: -12.25 C\n");
    }
    // Each polled the device once, through the two XML documents.
    EXPECT_EQ(device.request_count(), 4u);
}

TEST_F(Examples, LateBoundFindsOneProbeByName) {
    auto const result = run({late_bound, address(), "Outlet"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "Outlet: -12.25 C\n");

    // The member's own code comes out of the exception information.
    auto const missing = run({late_bound, address(), "Attic"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_THAT(missing.output, HasSubstr("Probes(PROBE) failed: 0x80070057 E_INVALIDARG"));
}

TEST_F(Examples, FailuresNameTheStepAndTheCode) {
    for (auto const& program : {early_bound, late_bound}) {
        SCOPED_TRACE(program);
        EXPECT_EQ(run({program}).status, 2) << "no address";

        device.set_fault("/xmldata", ambivox::simulation::HttpDeviceSimulator::fault::not_found);
        auto const unreachable = run({program, address()});
        EXPECT_EQ(unreachable.status, 1);
        EXPECT_THAT(unreachable.output, HasSubstr("0x80004005 E_FAIL"));
        EXPECT_THAT(unreachable.output, Not(HasSubstr("Inlet")));
        device.set_fault("/xmldata", ambivox::simulation::HttpDeviceSimulator::fault::none);

        ambivox::testing::TempRegistry empty;  // a store where nothing is registered
        auto const unregistered = run({program, address()});
        EXPECT_EQ(unregistered.status, 1);
        EXPECT_THAT(unregistered.output, HasSubstr("0x800401F3 CO_E_CLASSSTRING"));
        EXPECT_THAT(unregistered.output, HasSubstr("ambivox-regsvr"));
    }
}

}  // namespace
