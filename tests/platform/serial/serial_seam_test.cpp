// Kernel calls that fail, injected through the serial functions' seam.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "platform/base/ThreadState.h"
#include "platform/serial/DeviceHandleTable.h"
#include "platform/serial/Serial.h"
#include "tests/support/InstalledSerialCalls.h"
#include "tests/support/TempRegistry.h"
#include "tools/simulators/ModelQSimulator.h"

using ambivox::SerialIoctl;
using ambivox::simulation::ModelQSimulator;
using ambivox::testing::InstalledSerialCalls;
using namespace std::chrono_literals;

namespace {

// Fails the next `failures` calls of one kind with `error`, then passes them on.
struct Faults : SerialIoctl {
    int openError = 0;
    int lockError = 0;
    int readError = 0;
    int readFailures = 0;
    int writeError = 0;
    int writeFailures = 0;
    int pollFailures = 0;  // EINTR
    int setError = 0;
    int opened = 0;
    int closed = 0;

    int open(char const* path) noexcept override {
        if (openError != 0) {
            errno = openError;
            return -1;
        }
        int const fd = SerialIoctl::open(path);
        if (fd != -1) ++opened;
        return fd;
    }
    int close(int fd) noexcept override {
        ++closed;
        return SerialIoctl::close(fd);
    }
    int lock(int fd) noexcept override {
        if (lockError == 0) return SerialIoctl::lock(fd);
        errno = lockError;
        return -1;
    }
    ssize_t read(int fd, void* buffer, std::size_t count) noexcept override {
        if (readFailures == 0) return SerialIoctl::read(fd, buffer, count);
        if (readFailures > 0) --readFailures;
        errno = readError;
        return -1;
    }
    ssize_t write(int fd, void const* buffer, std::size_t count) noexcept override {
        if (writeFailures == 0) return SerialIoctl::write(fd, buffer, count);
        if (writeFailures > 0) --writeFailures;
        errno = writeError;
        return -1;
    }
    int poll(int fd, short events, int timeoutMs, short& revents) noexcept override {
        if (pollFailures == 0) return SerialIoctl::poll(fd, events, timeoutMs, revents);
        --pollFailures;
        errno = EINTR;
        return -1;
    }
    int set_attributes(int fd, termios const& attributes) noexcept override {
        if (setError == 0) return SerialIoctl::set_attributes(fd, attributes);
        errno = setError;
        return -1;
    }
};

class SerialSeam : public ::testing::Test {
protected:
    void SetUp() override { device.map_to(2); }
    void TearDown() override {
        if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
    }

    HANDLE open() {
        return CreateFileW(u"COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    }
    void open_port() {
        port = open();
        ASSERT_NE(port, INVALID_HANDLE_VALUE);
        COMMTIMEOUTS const noWait{MAXDWORD, 0, 0, 0, 0};
        ASSERT_TRUE(SetCommTimeouts(port, &noWait));
    }

    ambivox::testing::TempRegistry registry;
    ModelQSimulator device{{.behaviour = ModelQSimulator::mode::silent}};
    Faults faults;
    InstalledSerialCalls installed{faults};
    HANDLE port = INVALID_HANDLE_VALUE;
};

TEST_F(SerialSeam, OpenFailuresMapToNotFoundOrAccessDeniedWithoutLeaks) {
    struct {
        int open;
        int lock;
        DWORD expected;
    } const cases[] = {
        {ENOENT, 0, ERROR_FILE_NOT_FOUND}, {ENXIO, 0, ERROR_FILE_NOT_FOUND},
        {EIO, 0, ERROR_FILE_NOT_FOUND},    {EBUSY, 0, ERROR_ACCESS_DENIED},
        {EACCES, 0, ERROR_ACCESS_DENIED},  {0, EWOULDBLOCK, ERROR_ACCESS_DENIED},
        {0, EBUSY, ERROR_ACCESS_DENIED},
    };
    for (auto const& c : cases) {
        faults.openError = c.open;
        faults.lockError = c.lock;
        SetLastError(0);
        EXPECT_EQ(open(), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.expected) << c.open << " " << c.lock;
    }
    EXPECT_EQ(faults.opened, faults.closed) << "a failed open keeps no descriptor";

    faults = Faults{};
    faults.setError = EIO;
    EXPECT_EQ(open(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_EQ(faults.opened, faults.closed);
    EXPECT_EQ(ambivox::DeviceHandleTable::instance().size(), 0u);
}

TEST_F(SerialSeam, InterruptedCallsAreRetriedAndAnEmptyNoWaitReadIsNoError) {
    open_port();
    device.send("ok");
    std::this_thread::sleep_for(20ms);
    faults.readError = EINTR;
    faults.readFailures = 3;
    char buffer[8] = {};
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "ok");

    faults.readError = EAGAIN;
    faults.readFailures = 1;
    got = 5;
    ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(got, 0u);

    faults.writeError = EINTR;
    faults.writeFailures = 2;
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(port, "*", 1, &written, nullptr));
    EXPECT_EQ(written, 1u);
    ASSERT_TRUE(device.wait_for_queries(1, 2s));

    // A wait interrupted by signals still waits its whole time.
    faults.pollFailures = 3;
    auto const start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ambivox::wait_comm_input(port, 100));
    EXPECT_EQ(GetLastError(), ERROR_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
}

TEST_F(SerialSeam, DeviceFailuresAndEndlessInterruptionsAreErrors) {
    open_port();
    char buffer[8];
    DWORD moved = 0;
    faults.readError = EIO;
    faults.readFailures = 1;
    EXPECT_FALSE(ReadFile(port, buffer, sizeof buffer, &moved, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    faults.writeError = EIO;
    faults.writeFailures = 1;
    EXPECT_FALSE(WriteFile(port, "*", 1, &moved, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);

    // A signal storm gives up instead of spinning for ever.
    faults.readError = EINTR;
    faults.readFailures = -1;
    EXPECT_FALSE(ReadFile(port, buffer, sizeof buffer, &moved, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    faults.readFailures = 0;

    // A failed settings change leaves the port as it was.
    DCB before{};
    ASSERT_TRUE(GetCommState(port, &before));
    DCB changed = before;
    changed.BaudRate = 1200;
    faults.setError = EIO;
    EXPECT_FALSE(SetCommState(port, &changed));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    faults.setError = 0;
    DCB after{};
    ASSERT_TRUE(GetCommState(port, &after));
    EXPECT_EQ(after.BaudRate, before.BaudRate);
}

}  // namespace
