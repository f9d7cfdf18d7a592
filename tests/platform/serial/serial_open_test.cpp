#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "platform/base/ThreadState.h"
#include "platform/registry/Registry.h"
#include "platform/serial/DeviceHandleTable.h"
#include "platform/serial/Serial.h"
#include "tests/support/TempRegistry.h"
#include "tools/simulators/ModelQSimulator.h"

using ambivox::DeviceHandleTable;
using ambivox::simulation::ModelQSimulator;

namespace {

// A port number with neither a mapping nor a /dev/ttyS node behind it.
constexpr int kUnknownPort = 250;

HANDLE open_port(char16_t const* name, DWORD access = GENERIC_READ | GENERIC_WRITE) {
    return CreateFileW(name, access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Opens `name` expecting failure; answers the last error.
DWORD open_error(char16_t const* name) {
    SetLastError(0);
    HANDLE const handle = open_port(name);
    EXPECT_EQ(handle, INVALID_HANDLE_VALUE) << "opened " << std::u16string(name).size();
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    return GetLastError();
}

class SerialOpen : public ::testing::Test {
protected:
    void SetUp() override {
        struct stat info {};
        if (::stat("/dev/ttyS249", &info) == 0) GTEST_SKIP() << "this machine has /dev/ttyS249";
    }

    ambivox::testing::TempRegistry registry;
    ModelQSimulator device{{.behaviour = ModelQSimulator::mode::silent}};
};

TEST_F(SerialOpen, NamesResolveThroughTheSerialMapOrFailAsNotFound) {
    device.map_to(12);
    for (char16_t const* name : {u"\\\\.\\COM12", u"\\\\.\\com12", u"\\\\.\\cOm12"}) {
        HANDLE const handle = open_port(name);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(CloseHandle(handle));
    }
    // The short form names COM1 to COM9 only; numbers are plain decimal.
    for (char16_t const* name : {u"COM12", u"\\\\.\\COM012", u"\\\\.\\COM", u"\\\\.\\COM12:",
                                 u"\\\\.\\COM 12", u"\\\\.\\COM0", u"\\\\.\\COM-12", u"COM",
                                 u"/dev/ttyS0", u"", u"\\\\.\\COM99999999999999999999"}) {
        EXPECT_EQ(open_error(name), ERROR_FILE_NOT_FOUND);
    }

    ModelQSimulator second{{.behaviour = ModelQSimulator::mode::silent}};
    second.map_to(3);
    HANDLE const shortForm = open_port(u"com3");
    ASSERT_NE(shortForm, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(shortForm));
}

TEST_F(SerialOpen, PortsWithoutDevicesFailAsNotFound) {
    // No mapping and no /dev/ttyS249.
    EXPECT_EQ(open_error(u"\\\\.\\COM250"), ERROR_FILE_NOT_FOUND);

    // A mapping to a path that is gone, and one to something that is no terminal.
    ASSERT_EQ(ambivox::reg_set_string(HKEY_LOCAL_MACHINE, u"HARDWARE\\DEVICEMAP\\SERIALCOMM",
                                      u"/dev/pts/no-such-terminal", u"COM40"),
              ERROR_SUCCESS);
    ASSERT_EQ(ambivox::reg_set_string(HKEY_LOCAL_MACHINE, u"HARDWARE\\DEVICEMAP\\SERIALCOMM",
                                      u"/dev/null", u"COM41"),
              ERROR_SUCCESS);
    EXPECT_EQ(open_error(u"\\\\.\\COM40"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(open_error(u"\\\\.\\COM41"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(DeviceHandleTable::instance().size(), 0u);
}

TEST_F(SerialOpen, AnUnreadableSerialMapFailsInsteadOfFallingBack) {
    { std::ofstream(registry.path(), std::ios::binary) << std::string(4096, 'x'); }
    DWORD const error = open_error(u"\\\\.\\COM1");
    EXPECT_NE(error, ERROR_SUCCESS);
    EXPECT_NE(error, ERROR_ACCESS_DENIED) << "must not look like a busy port";
}

TEST_F(SerialOpen, ABusyPortIsAccessDeniedUntilItsOwnerClosesIt) {
    device.map_to(7);
    HANDLE const owner = open_port(u"\\\\.\\COM7");
    ASSERT_NE(owner, INVALID_HANDLE_VALUE);
    EXPECT_EQ(open_error(u"\\\\.\\COM7"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(open_error(u"COM7"), ERROR_ACCESS_DENIED);

    ASSERT_TRUE(CloseHandle(owner));
    HANDLE const next = open_port(u"COM7");
    ASSERT_NE(next, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(next));
}

TEST_F(SerialOpen, RefusesRequestsAPortCannotServe) {
    device.map_to(5);
    auto expect_refused = [](DWORD share, DWORD disposition, DWORD flags, HANDLE templ,
                             DWORD error) {
        SetLastError(0);
        EXPECT_EQ(CreateFileW(u"\\\\.\\COM5", GENERIC_READ | GENERIC_WRITE, share, nullptr,
                              disposition, flags, templ),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), error);
    };
    expect_refused(1, OPEN_EXISTING, 0, nullptr, ERROR_INVALID_PARAMETER);
    expect_refused(0, 1, 0, nullptr, ERROR_INVALID_PARAMETER);
    expect_refused(0, OPEN_EXISTING, 0, reinterpret_cast<HANDLE>(0x1000), ERROR_INVALID_PARAMETER);
    expect_refused(0, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr, ERROR_NOT_SUPPORTED);
    SetLastError(0);
    EXPECT_EQ(open_port(nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    // A handle opened for reading alone cannot write, and the other way round.
    HANDLE const reader = open_port(u"\\\\.\\COM5", GENERIC_READ | FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    DWORD moved = 7;
    EXPECT_FALSE(WriteFile(reader, "x", 1, &moved, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(moved, 0u);
    char byte = 0;
    EXPECT_TRUE(ReadFile(reader, &byte, 0, &moved, nullptr));
    CloseHandle(reader);
    HANDLE const writer = open_port(u"\\\\.\\COM5", GENERIC_WRITE);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(ReadFile(writer, &byte, 1, &moved, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseHandle(writer);
}

// Every function that takes a port handle, given `handle`; all must fail with
// ERROR_INVALID_HANDLE and leave the out-records alone.
void expect_every_call_rejects(HANDLE handle) {
    char buffer[4] = {};
    DWORD count = 0;
    DCB dcb{};
    COMMTIMEOUTS timeouts{};
    COMSTAT status{};
    COMMPROP properties{};
    COMMCONFIG config{};
    DWORD size = sizeof config;
    DWORD flags = 0;
    auto rejected = [](BOOL result) {
        return result == FALSE && GetLastError() == ERROR_INVALID_HANDLE;
    };
    EXPECT_TRUE(rejected(ReadFile(handle, buffer, 4, &count, nullptr)));
    EXPECT_TRUE(rejected(WriteFile(handle, buffer, 4, &count, nullptr)));
    EXPECT_TRUE(rejected(GetCommState(handle, &dcb)));
    EXPECT_TRUE(rejected(SetCommState(handle, &dcb)));
    EXPECT_TRUE(rejected(GetCommTimeouts(handle, &timeouts)));
    EXPECT_TRUE(rejected(SetCommTimeouts(handle, &timeouts)));
    EXPECT_TRUE(rejected(PurgeComm(handle, PURGE_RXCLEAR)));
    EXPECT_TRUE(rejected(EscapeCommFunction(handle, SETDTR)));
    EXPECT_TRUE(rejected(SetCommBreak(handle)));
    EXPECT_TRUE(rejected(ClearCommBreak(handle)));
    EXPECT_TRUE(rejected(ClearCommError(handle, &flags, &status)));
    EXPECT_TRUE(rejected(GetCommModemStatus(handle, &flags)));
    EXPECT_TRUE(rejected(GetCommProperties(handle, &properties)));
    EXPECT_TRUE(rejected(SetupComm(handle, 100, 100)));
    EXPECT_TRUE(rejected(GetCommConfig(handle, &config, &size)));
    EXPECT_TRUE(rejected(SetCommConfig(handle, &config, size)));
    EXPECT_TRUE(rejected(ambivox::wait_comm_input(handle, 0)));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(dcb.DCBlength, 0u);
    EXPECT_EQ(config.dwSize, 0u);
}

TEST_F(SerialOpen, StaleEventAndMadeUpHandlesAreRejectedWithoutCrashing) {
    device.map_to(4);
    HANDLE const port = open_port(u"COM4");
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(port));
    EXPECT_FALSE(CloseHandle(port));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    expect_every_call_rejects(port);

    HANDLE const event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    expect_every_call_rejects(event);  // an event is no port
    EXPECT_TRUE(CloseHandle(event));

    int local = 0;
    for (HANDLE garbage : {HANDLE{}, INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(1),
                           reinterpret_cast<HANDLE>(0xDEADBEEF), reinterpret_cast<HANDLE>(&local),
                           reinterpret_cast<HANDLE>(~std::uintptr_t{0} - 3)}) {
        expect_every_call_rejects(garbage);
        EXPECT_FALSE(CloseHandle(garbage));
    }
}

TEST_F(SerialOpen, EventsAreUnnamedAndCounted) {
    std::size_t const before = DeviceHandleTable::instance().size();
    EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, u"Global\\Named"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    HANDLE const unnamed = CreateEventW(nullptr, TRUE, TRUE, u"");
    ASSERT_NE(unnamed, nullptr);
    EXPECT_EQ(DeviceHandleTable::instance().size(), before + 1);
    EXPECT_TRUE(CloseHandle(unnamed));
    EXPECT_EQ(DeviceHandleTable::instance().size(), before);
}

}  // namespace
