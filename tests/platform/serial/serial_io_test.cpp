#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/base/ThreadState.h"
#include "platform/serial/Serial.h"
#include "tests/support/InstalledSerialCalls.h"
#include "tests/support/TempRegistry.h"
#include "tools/simulators/ModelQSimulator.h"

using ambivox::simulation::ModelQSimulator;
using namespace std::chrono_literals;
using steady = std::chrono::steady_clock;

namespace {

class SerialIo : public ::testing::Test {
protected:
    void SetUp() override {
        device.map_to(8);
        port = CreateFileW(u"COM8", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
        ASSERT_NE(port, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
    }

    void set_timeouts(COMMTIMEOUTS const& timeouts) {
        ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
    }

    // Reads up to `count` bytes; answers them and how long the read took.
    std::string read(DWORD count, steady::duration& took, BOOL expected = TRUE) {
        std::string buffer(count, '\0');
        DWORD got = 0xFFFF;
        auto const start = steady::now();
        EXPECT_EQ(ReadFile(port, buffer.data(), count, &got, nullptr), expected);
        took = steady::now() - start;
        EXPECT_LE(got, count);
        buffer.resize(got <= count ? got : 0);
        return buffer;
    }

    // Sends `bytes` from the device after `delay`, on a thread of its own.
    std::jthread send_later(std::string bytes, steady::duration delay) {
        return std::jthread([this, bytes = std::move(bytes), delay] {
            std::this_thread::sleep_for(delay);
            device.send(bytes);
        });
    }

    ambivox::testing::TempRegistry registry;
    ModelQSimulator device{{.behaviour = ModelQSimulator::mode::silent}};
    HANDLE port = INVALID_HANDLE_VALUE;
};

TEST_F(SerialIo, ANoWaitReadAnswersWhatIsBufferedAtOnce) {
    set_timeouts({MAXDWORD, 0, 0, 0, 0});
    steady::duration took{};
    EXPECT_EQ(read(10, took), "");
    EXPECT_LT(took, 50ms);

    device.send("abc");
    std::this_thread::sleep_for(20ms);
    COMSTAT status{};
    ASSERT_TRUE(ClearCommError(port, nullptr, &status));
    EXPECT_EQ(status.cbInQue, 3u);
    EXPECT_EQ(read(2, took), "ab");
    EXPECT_EQ(read(10, took), "c");

    // Purging the input discards what came.
    device.send("zzz");
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(PurgeComm(port, PURGE_RXCLEAR));
    EXPECT_EQ(read(10, took), "");
}

TEST_F(SerialIo, AFirstByteReadWaitsForInputOrItsConstant) {
    set_timeouts({MAXDWORD, MAXDWORD, 300, 0, 0});
    steady::duration took{};
    EXPECT_EQ(read(10, took), "");
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 450ms);

    auto sender = send_later("xy", 100ms);
    EXPECT_EQ(read(10, took), "xy");
    EXPECT_GE(took, 80ms);
    EXPECT_LT(took, 250ms) << "returns as soon as bytes came";
}

TEST_F(SerialIo, TotalAndIntervalLimitsEndAReadWithWhatCame) {
    // Total: 10 ms per byte asked plus 100 ms.
    set_timeouts({0, 10, 100, 0, 0});
    device.send("12");
    steady::duration took{};
    EXPECT_EQ(read(5, took), "12");
    EXPECT_GE(took, 140ms);
    EXPECT_LT(took, 300ms);
    device.send("12345678");
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(read(5, took), "12345") << "a full buffer returns at once";
    EXPECT_LT(took, 50ms);
    EXPECT_EQ(read(3, took), "678");

    // Interval: 80 ms of silence after a byte ends the read; before the first byte it waits.
    set_timeouts({80, 0, 0, 0, 0});
    auto sender = send_later("ab", 150ms);
    EXPECT_EQ(read(10, took), "ab");
    EXPECT_GE(took, 200ms);
    EXPECT_LT(took, 400ms);
}

TEST_F(SerialIo, WritesReachTheDevice) {
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(port, "hello*", 6, &written, nullptr));
    EXPECT_EQ(written, 6u);
    ASSERT_TRUE(device.wait_for_queries(1, 2s));
    EXPECT_EQ(device.received(), "hello*");
    EXPECT_TRUE(WriteFile(port, nullptr, 0, &written, nullptr));
    EXPECT_FALSE(WriteFile(port, nullptr, 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_NOACCESS);
    EXPECT_FALSE(WriteFile(port, "x", 1, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    OVERLAPPED overlapped{};
    EXPECT_FALSE(WriteFile(port, "x", 1, &written, &overlapped));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
}

TEST_F(SerialIo, WaitingForInputEndsWithInputOrTheTime) {
    auto start = steady::now();
    EXPECT_FALSE(ambivox::wait_comm_input(port, 120));
    EXPECT_EQ(GetLastError(), ERROR_TIMEOUT);
    EXPECT_GE(steady::now() - start, 120ms);

    auto sender = send_later("!", 50ms);
    start = steady::now();
    EXPECT_TRUE(ambivox::wait_comm_input(port, 2000));
    EXPECT_LT(steady::now() - start, 500ms);
}

TEST(SerialHangUp, AHungUpLineFailsReadsAndWakesWaitersAtOnce) {
    ambivox::testing::TempRegistry registry;
    ModelQSimulator device{{.behaviour = ModelQSimulator::mode::disconnecting, .cut_after = 0ms}};
    device.map_to(6);
    HANDLE const port =
        CreateFileW(u"COM6", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS const noWait{MAXDWORD, 0, 0, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(port, &noWait));
    DWORD moved = 0;
    ASSERT_TRUE(WriteFile(port, "*", 1, &moved, nullptr));
    ASSERT_TRUE(device.wait_for_queries(1, 2s));

    auto const start = steady::now();
    EXPECT_TRUE(ambivox::wait_comm_input(port, 5000)) << "the hang-up is something to read";
    EXPECT_LT(steady::now() - start, 500ms);
    char buffer[16];
    EXPECT_FALSE(ReadFile(port, buffer, sizeof buffer, &moved, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_FALSE(WriteFile(port, "*", 1, &moved, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_TRUE(CloseHandle(port));
}

// A request given no time limit still ends once nothing has moved for the idle limit.
struct ShortIdleLimit : ambivox::SerialIoctl {
    unsigned idle_limit_ms() noexcept override { return 200; }
};

// A line whose output never drains.
struct StuckOutput : ShortIdleLimit {
    ssize_t write(int, void const*, std::size_t) noexcept override {
        errno = EAGAIN;
        return -1;
    }
};

TEST_F(SerialIo, RequestsWithoutTimeLimitsGiveUpWhenNothingMoves) {
    ShortIdleLimit idle;
    {
        ambivox::testing::InstalledSerialCalls installed(idle);
        set_timeouts({0, 0, 0, 0, 0});
        device.send("ab");
        std::this_thread::sleep_for(20ms);
        steady::duration took{};
        EXPECT_EQ(read(10, took, FALSE), "ab") << "the bytes that came are reported";
        EXPECT_EQ(GetLastError(), ERROR_TIMEOUT);
        EXPECT_GE(took, 200ms);
        EXPECT_LT(took, 600ms);
    }
    StuckOutput stuck;
    ambivox::testing::InstalledSerialCalls installed(stuck);
    DWORD written = 9;
    auto const start = steady::now();
    EXPECT_FALSE(WriteFile(port, "*", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_TIMEOUT);
    EXPECT_EQ(written, 0u);
    EXPECT_LT(steady::now() - start, 600ms);
    // With a limit of its own the write ends quietly, as a timed-out write does.
    set_timeouts({0, 0, 0, 0, 50});
    EXPECT_TRUE(WriteFile(port, "*", 1, &written, nullptr));
    EXPECT_EQ(written, 0u);
}

}  // namespace
