// The exporter's two rules that decide what it does to the network: which targets /probe may
// reach, and how long a failing device is left alone.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>

#include "tools/ambivox/serve/AllowList.h"
#include "tools/ambivox/serve/PollSchedule.h"

namespace {

using ambivox::cli::AllowList;
using ambivox::cli::PollSchedule;
using namespace std::chrono_literals;

// Anything not plainly inside an entry is refused: other spellings of an allowed address are
// names, and names are never looked up.
TEST(ExporterRules, ProbeReachesOnlyWhatTheAllowListNames) {
    AllowList list;
    for (char const* entry : {"10.0.0.0/8", "192.168.1.40", "fd00::/8", "Monitor-7.Example.NET"})
        list.add(entry);
    struct {
        char const* target;
        std::optional<std::string> host;  // nullopt: no target at all
        bool allowed;
    } const cases[] = {
        {"10.255.255.255", "10.255.255.255", true},
        {"11.0.0.0", "11.0.0.0", false},
        {"192.168.1.40:8080", "192.168.1.40", true},
        {"192.168.1.41", "192.168.1.41", false},
        {"[fd12::1]:80", "fd12::1", true},
        {"[fe80::1]", "fe80::1", false},
        {"[::ffff:10.0.0.1]", "::ffff:10.0.0.1", false},
        {"monitor-7.example.net:80", "monitor-7.example.net", true},
        {"monitor-7.example.net.", "monitor-7.example.net.", false},
        {"evil.monitor-7.example.net", "evil.monitor-7.example.net", false},
        {"167772161", "167772161", false},  // 10.0.0.1 written as one number
        {"10.1", "10.1", false},
        {"10.0.0.1:0", std::nullopt, false},
        {"10.0.0.1:65536", std::nullopt, false},
        {"10.0.0.1:80:90", std::nullopt, false},
        {":80", std::nullopt, false},
        {"", std::nullopt, false},
        {"[10.0.0.1]:80", std::nullopt, false},
        {"[fd00::1]x", std::nullopt, false},
        {"user@10.0.0.1", std::nullopt, false},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.target);
        auto const host = AllowList::host_of(c.target);
        EXPECT_EQ(host, c.host);
        EXPECT_EQ(host && list.allows(*host), c.allowed);
    }
    for (char const* bad :
         {"10.0.0.0/33", "fd00::/129", "10.0.0.0/", "10.0.0.0/-1", "bad name!", "example.net/8"})
        EXPECT_THROW(AllowList().add(bad), std::invalid_argument) << bad;
}

// Doubling per failure from the interval, never past the cap (nor below the interval when the
// interval is the longer), and the random part only ever brings a retry earlier.
TEST(ExporterRules, FailingDeviceIsRetriedLaterAndLaterUpToTheCap) {
    struct {
        std::chrono::milliseconds interval;
        unsigned failures;
        std::chrono::milliseconds cap;
        double random;
        std::chrono::milliseconds expected;
    } const cases[] = {
        {60s, 1, 900s, 0, 60s},    {60s, 2, 900s, 0, 120s},    {60s, 4, 900s, 0, 480s},
        {60s, 5, 900s, 0, 900s},   {60s, 1000, 900s, 0, 900s}, {60s, 5, 900s, 1, 720s},
        {60s, 2, 900s, 0.5, 108s}, {1200s, 3, 900s, 0, 1200s}, {1ms, ~0u, 86400s, 0, 86400s},
    };
    for (auto const& c : cases)
        EXPECT_EQ(PollSchedule::retry_delay(c.interval, c.failures, c.cap, c.random), c.expected)
            << c.interval.count() << " ms, failure " << c.failures << ", random " << c.random;
}

}  // namespace
