#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <termios.h>

#include <cstring>

#include "platform/base/ThreadState.h"
#include "platform/serial/Serial.h"
#include "tests/support/FakeUart.h"
#include "tests/support/InstalledSerialCalls.h"
#include "tests/support/TempRegistry.h"
#include "tools/simulators/ModelQSimulator.h"

using ambivox::simulation::ModelQSimulator;
using ambivox::testing::FakeUart;
using ambivox::testing::InstalledSerialCalls;

namespace {

bool same(DCB const& a, DCB const& b) {
    return std::memcmp(&a, &b, sizeof(DCB)) == 0;
}

class SerialState : public ::testing::Test {
protected:
    void SetUp() override {
        device.map_to(9);
        port = CreateFileW(u"COM9", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
        ASSERT_NE(port, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
    }

    DCB state() {
        DCB dcb{};
        EXPECT_TRUE(GetCommState(port, &dcb));
        return dcb;
    }

    // SetCommState must refuse `dcb` with `error` and leave the port's settings alone.
    void expect_refused(DCB const& dcb, DWORD error, int line = __builtin_LINE()) {
        SCOPED_TRACE(line);
        DCB const before = state();
        SetLastError(0);
        EXPECT_FALSE(SetCommState(port, &dcb));
        EXPECT_EQ(GetLastError(), error);
        EXPECT_TRUE(same(state(), before));
    }

    ambivox::testing::TempRegistry registry;
    ModelQSimulator device{{.behaviour = ModelQSimulator::mode::silent}};
    HANDLE port = INVALID_HANDLE_VALUE;
};

TEST_F(SerialState, ALineRecordRoundTripsOnAPseudoTerminal) {
    DCB dcb = state();
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.fBinary, 1u);
    dcb.DCBlength = 0;  // not checked
    dcb.BaudRate = 19200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.fOutxCtsFlow = TRUE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fOutX = TRUE;
    dcb.fInX = TRUE;
    dcb.XonChar = 0x05;
    dcb.XoffChar = 0x06;
    dcb.XonLim = 100;
    dcb.XoffLim = 200;
    dcb.fParity = FALSE;
    dcb.EofChar = 0x1A;
    dcb.EvtChar = 0x0D;
    ASSERT_TRUE(SetCommState(port, &dcb));
    dcb.DCBlength = 28;
    EXPECT_TRUE(same(state(), dcb));

    // Back to a plain line: RTS leaves the handshake for the mode asked.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.StopBits = ONESTOPBIT;
    dcb.BaudRate = 4000000;
    ASSERT_TRUE(SetCommState(port, &dcb));
    EXPECT_TRUE(same(state(), dcb));
}

TEST_F(SerialState, SettingsNoDriverOrNotThisOneCanApplyAreRefused) {
    DCB const good = state();
    auto with = [&](auto change) {
        DCB dcb = good;
        change(dcb);
        return dcb;
    };
    // A pseudo-terminal keeps 8 data bits and no parity whatever it is told.
    expect_refused(with([](DCB& d) { d.Parity = EVENPARITY; }), ERROR_NOT_SUPPORTED);
    expect_refused(with([](DCB& d) { d.Parity = MARKPARITY; }), ERROR_NOT_SUPPORTED);
    expect_refused(with([](DCB& d) { d.ByteSize = 7; }), ERROR_NOT_SUPPORTED);
    // What the terminal interface has no place for.
    expect_refused(with([](DCB& d) { d.fOutxDsrFlow = TRUE; }), ERROR_NOT_SUPPORTED);
    expect_refused(with([](DCB& d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; }),
                   ERROR_NOT_SUPPORTED);
    expect_refused(with([](DCB& d) { d.fDsrSensitivity = TRUE; }), ERROR_NOT_SUPPORTED);
    expect_refused(with([](DCB& d) { d.fRtsControl = RTS_CONTROL_TOGGLE; }), ERROR_NOT_SUPPORTED);
    expect_refused(with([](DCB& d) { d.fOutxCtsFlow = TRUE; }), ERROR_NOT_SUPPORTED);
    expect_refused(with([](DCB& d) {
                       d.fInX = TRUE;
                       d.fTXContinueOnXoff = FALSE;
                   }),
                   ERROR_NOT_SUPPORTED);
    expect_refused(with([](DCB& d) { d.fErrorChar = TRUE; }), ERROR_NOT_SUPPORTED);
    expect_refused(with([](DCB& d) { d.fNull = TRUE; }), ERROR_NOT_SUPPORTED);
    expect_refused(with([](DCB& d) { d.fAbortOnError = TRUE; }), ERROR_NOT_SUPPORTED);
    // Values no driver takes.
    for (DWORD baud : {0u, 14400u, 56000u, 128000u, 9601u}) {
        expect_refused(with([&](DCB& d) { d.BaudRate = baud; }), ERROR_INVALID_PARAMETER);
    }
    expect_refused(with([](DCB& d) { d.ByteSize = 9; }), ERROR_INVALID_PARAMETER);
    expect_refused(with([](DCB& d) { d.ByteSize = 4; }), ERROR_INVALID_PARAMETER);
    expect_refused(with([](DCB& d) { d.Parity = 5; }), ERROR_INVALID_PARAMETER);
    expect_refused(with([](DCB& d) { d.StopBits = ONE5STOPBITS; }), ERROR_INVALID_PARAMETER);
    expect_refused(with([](DCB& d) { d.StopBits = 3; }), ERROR_INVALID_PARAMETER);
    expect_refused(with([](DCB& d) { d.fBinary = FALSE; }), ERROR_INVALID_PARAMETER);
    expect_refused(with([](DCB& d) {
                       d.fOutX = TRUE;
                       d.XonChar = d.XoffChar;
                   }),
                   ERROR_INVALID_PARAMETER);
    ASSERT_TRUE(SetupComm(port, 1000, 1000));
    expect_refused(with([](DCB& d) { d.XoffLim = 1001; }), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(SetCommState(port, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(SerialState, AUartGetsParityStopBitsFlowAndControlLinesAsAsked) {
    // Opened anew under the fake, so the port takes it for a UART with modem lines.
    CloseHandle(port);
    FakeUart uart;
    InstalledSerialCalls installed(uart);
    port =
        CreateFileW(u"COM9", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DCB dcb = state();
    struct {
        BYTE parity;
        tcflag_t bits;
    } const parities[] = {{NOPARITY, 0},
                          {ODDPARITY, PARENB | PARODD},
                          {EVENPARITY, PARENB},
                          {MARKPARITY, PARENB | CMSPAR | PARODD},
                          {SPACEPARITY, PARENB | CMSPAR}};
    for (auto const& p : parities) {
        dcb.Parity = p.parity;
        ASSERT_TRUE(SetCommState(port, &dcb));
        EXPECT_EQ(uart.attributes.c_cflag & (PARENB | PARODD | CMSPAR), p.bits);
        EXPECT_EQ(state().Parity, p.parity);
    }
    dcb.ByteSize = 5;
    dcb.StopBits = ONE5STOPBITS;
    dcb.fParity = TRUE;
    ASSERT_TRUE(SetCommState(port, &dcb));
    EXPECT_EQ(uart.attributes.c_cflag & (CSIZE | CSTOPB), tcflag_t{CS5 | CSTOPB});
    EXPECT_NE(uart.attributes.c_iflag & INPCK, 0u);
    EXPECT_TRUE(same(state(), dcb));

    // DTR and RTS follow their control modes; under handshake RTS is the kernel's.
    dcb.ByteSize = 8;
    dcb.StopBits = ONESTOPBIT;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    ASSERT_TRUE(SetCommState(port, &dcb));
    EXPECT_EQ(uart.lines & (TIOCM_DTR | TIOCM_RTS), TIOCM_RTS);
    dcb.fOutxCtsFlow = TRUE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    ASSERT_TRUE(SetCommState(port, &dcb));
    EXPECT_NE(uart.attributes.c_cflag & CRTSCTS, 0u);
    EXPECT_FALSE(EscapeCommFunction(port, CLRRTS));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(EscapeCommFunction(port, SETDTR));
    EXPECT_NE(uart.lines & TIOCM_DTR, 0);
    EXPECT_TRUE(EscapeCommFunction(port, CLRDTR));
    EXPECT_EQ(uart.lines & TIOCM_DTR, 0);

    uart.lines = TIOCM_CTS | TIOCM_CD;
    DWORD modem = 0;
    ASSERT_TRUE(GetCommModemStatus(port, &modem));
    EXPECT_EQ(modem, MS_CTS_ON | MS_RLSD_ON);

    // Line errors are told once each.
    uart.errors.parity += 2;
    uart.errors.brk += 1;
    DWORD errors = 0;
    ASSERT_TRUE(ClearCommError(port, &errors, nullptr));
    EXPECT_EQ(errors, CE_RXPARITY | CE_BREAK);
    ASSERT_TRUE(ClearCommError(port, &errors, nullptr));
    EXPECT_EQ(errors, 0u);
}

TEST_F(SerialState, ModemLineCallsOnAPseudoTerminalSucceedAndDoNothing) {
    for (DWORD function : {SETDTR, CLRDTR, SETRTS, CLRRTS, SETXOFF, SETXON, SETBREAK, CLRBREAK}) {
        EXPECT_TRUE(EscapeCommFunction(port, function)) << function;
    }
    EXPECT_TRUE(SetCommBreak(port));
    EXPECT_TRUE(ClearCommBreak(port));
    DWORD modem = 0xFF;
    EXPECT_TRUE(GetCommModemStatus(port, &modem));
    EXPECT_EQ(modem, 0u);
    EXPECT_FALSE(EscapeCommFunction(port, RESETDEV));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_FALSE(EscapeCommFunction(port, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(PurgeComm(port, 0x10));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR));
}

TEST_F(SerialState, TimeoutsAndQueueSizesAreKeptPerPort) {
    COMMTIMEOUTS timeouts{1, 2, 3, 4, 5};
    ASSERT_TRUE(GetCommTimeouts(port, &timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout + timeouts.ReadTotalTimeoutMultiplier +
                  timeouts.ReadTotalTimeoutConstant + timeouts.WriteTotalTimeoutMultiplier +
                  timeouts.WriteTotalTimeoutConstant,
              0u);
    COMMTIMEOUTS const wanted{MAXDWORD, 0, 0, 7, 8};
    ASSERT_TRUE(SetCommTimeouts(port, &wanted));
    ASSERT_TRUE(GetCommTimeouts(port, &timeouts));
    EXPECT_EQ(std::memcmp(&timeouts, &wanted, sizeof timeouts), 0);
    COMMTIMEOUTS const meaningless{MAXDWORD, MAXDWORD, MAXDWORD, 0, 0};
    EXPECT_FALSE(SetCommTimeouts(port, &meaningless));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    COMMPROP properties{};
    ASSERT_TRUE(GetCommProperties(port, &properties));
    EXPECT_EQ(properties.wPacketLength, sizeof(COMMPROP));
    EXPECT_EQ(properties.dwCurrentRxQueue, 4096u);
    EXPECT_EQ(properties.dwSettableBaud & BAUD_9600, BAUD_9600);
    EXPECT_EQ(properties.dwSettableBaud & BAUD_14400, 0u);
    EXPECT_EQ(properties.dwProvCapabilities & PCF_DTRDSR, 0u);
    ASSERT_TRUE(SetupComm(port, 10000, 20000));
    ASSERT_TRUE(GetCommProperties(port, &properties));
    EXPECT_EQ(properties.dwCurrentRxQueue, 10000u);
    EXPECT_EQ(properties.dwCurrentTxQueue, 20000u);
}

TEST_F(SerialState, ConfigurationRecordsAre52BytesAndCarryTheLineRecord) {
    COMMCONFIG config{};
    DWORD size = sizeof(COMMCONFIG) - 1;
    EXPECT_FALSE(GetCommConfig(port, &config, &size));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, 52u);
    EXPECT_EQ(config.dwSize, 0u);
    ASSERT_TRUE(GetCommConfig(port, &config, &size));
    EXPECT_EQ(config.dwSize, 52u);
    EXPECT_EQ(config.dwProviderSize, 0u);
    EXPECT_TRUE(same(config.dcb, state()));

    config.dcb.BaudRate = 2400;
    EXPECT_FALSE(SetCommConfig(port, &config, 51));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    ASSERT_TRUE(SetCommConfig(port, &config, 52));
    EXPECT_EQ(state().BaudRate, 2400u);
    config.dwProviderSize = 4;
    EXPECT_FALSE(SetCommConfig(port, &config, 52));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);

    // Defaults come without opening the port (it is open here) for any known COMn.
    COMMCONFIG defaults{};
    size = 52;
    ASSERT_TRUE(GetDefaultCommConfigW(u"COM9", &defaults, &size));
    EXPECT_EQ(defaults.dwSize, 52u);
    EXPECT_EQ(defaults.dcb.BaudRate, 9600u);
    EXPECT_EQ(defaults.dcb.ByteSize, 8u);
    EXPECT_EQ(defaults.dcb.Parity, NOPARITY);
    EXPECT_EQ(defaults.dcb.StopBits, ONESTOPBIT);
    device.map_to(19);
    EXPECT_TRUE(GetDefaultCommConfigW(u"com19", &defaults, &size));
    EXPECT_FALSE(GetDefaultCommConfigW(u"COM250", &defaults, &size));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(GetDefaultCommConfigW(u"\\\\.\\COM9", &defaults, &size));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    size = 10;
    EXPECT_FALSE(GetDefaultCommConfigW(u"COM9", &defaults, &size));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, 52u);
}

}  // namespace
