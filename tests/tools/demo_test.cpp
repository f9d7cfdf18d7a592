// `ambivox demo` needs nothing but the built program: it reads its three simulated devices (and,
// where a private network namespace can be had, the N3 through its text pages) and leaves the
// registry store it was started with alone. It waits on a Model Q poll, hence ...Slow.
#include <chrono>
#include <string>

#include "platform/registry/Registry.h"
#include "tests/support/RegistryDump.h"
#include "tests/tools/AmbivoxProgram.h"

namespace {

using namespace std::chrono_literals;
using ambivox::testing::ambivox;
using ambivox::testing::registry_dump;

class DemoSlow : public ambivox::testing::AmbivoxTest {};

TEST_F(DemoSlow, ReadsEverySimulatedDevice) {
    auto const before = registry_dump(HKEY_LOCAL_MACHINE);
    auto const run = ambivox({"demo"}, 60s);
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    for (char const* text : {"Registered the module in a private registry store",
                             "Server room (127.0.0.1:", "Temp North", "Floor South",
                             "Cold store (127.0.0.1:", "Shelf 2", "Tank A (COM1)", "Probe 1",
                             "Probe 2", "71.6", "69.8"})
        EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
    EXPECT_EQ(ambivox::testing::AmbivoxProgram::occurrences(run.out, "no reading"), 0) << run.out;
    bool const textPages = run.out.find("Lab (127.0.0.1)  1") != std::string::npos;
    bool const leftOut = run.out.find("was left out") != std::string::npos;
    EXPECT_TRUE(textPages != leftOut) << run.out;
    EXPECT_EQ(registry_dump(HKEY_LOCAL_MACHINE), before) << "the demo keeps to its own store";
}

}  // namespace
