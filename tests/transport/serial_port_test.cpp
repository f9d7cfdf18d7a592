#include <gtest/gtest.h>

#include <termios.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/Errors.h"
#include "platform/base/HResultBoundary.h"
#include "platform/base/ThreadState.h"
#include "platform/serial/DeviceHandleTable.h"
#include "platform/serial/Serial.h"
#include "tests/support/FakeUart.h"
#include "tests/support/InstalledSerialCalls.h"
#include "tests/support/TempRegistry.h"
#include "tools/simulators/ModelQSimulator.h"
#include "transport/CSerialPortEx.h"

using ambivox::CSerialPort;
using ambivox::CSerialPortEx;
using ambivox::DeviceHandleTable;
using ambivox::hresult_error;
using ambivox::simulation::ModelQSimulator;
using ambivox::testing::FakeUart;
using ambivox::testing::InstalledSerialCalls;
using namespace std::chrono_literals;
using steady = std::chrono::steady_clock;

namespace {

constexpr int kPort = 12;  // above 9: reachable only through \\.\COMn

// Runs `call`, expecting it to raise hresult_error with `code`.
template <class Call>
void expect_raises(HRESULT code, Call&& call) {
    try {
        call();
        ADD_FAILURE() << "no error raised";
    } catch (hresult_error const& e) {
        EXPECT_EQ(e.code(), code);
    }
}

class SerialPort : public ::testing::Test {
protected:
    void SetUp() override { device.map_to(kPort); }

    DCB state(CSerialPort& p) {
        DCB dcb{};
        p.GetState(dcb);
        return dcb;
    }

    ambivox::testing::TempRegistry registry;
    ModelQSimulator device{{.behaviour = ModelQSimulator::mode::silent}};
    CSerialPortEx port;
};

TEST_F(SerialPort, OpenLeavesAn8N1PortWithoutFlowControlOrDsrSensitivity) {
    EXPECT_FALSE(port.IsOpen());
    // Leave the line in a state the open must undo.
    {
        HANDLE const raw = CreateFileW(u"\\\\.\\COM12", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(raw, INVALID_HANDLE_VALUE);
        DCB dcb{};
        ASSERT_TRUE(GetCommState(raw, &dcb));
        dcb.BaudRate = 1200;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        dcb.fOutX = TRUE;
        dcb.fInX = TRUE;
        dcb.StopBits = TWOSTOPBITS;
        ASSERT_TRUE(SetCommState(raw, &dcb));
        CloseHandle(raw);
    }
    port.Open(kPort, 9600, CSerialPort::NoParity, 8, CSerialPort::OneStopBit,
              CSerialPort::NoFlowControl, false);
    ASSERT_TRUE(port.IsOpen());
    EXPECT_FALSE(port.IsOverlapped());
    DCB dcb{};
    ASSERT_TRUE(GetCommState(port.Handle(), &dcb));
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 8u);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(dcb.fDsrSensitivity, 0u);
    EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_ENABLE) << "a new handle starts with RTS on";
}

TEST_F(SerialPort, LineSettingCodesMapToTheLineRecordAndUnknownCodesKeepIt) {
    FakeUart uart;  // a UART takes every parity and data size
    InstalledSerialCalls installed(uart);
    struct {
        int code;
        BYTE parity;
    } const parities[] = {{CSerialPort::EvenParity, EVENPARITY},
                          {CSerialPort::MarkParity, MARKPARITY},
                          {CSerialPort::NoParity, NOPARITY},
                          {CSerialPort::OddParity, ODDPARITY},
                          {CSerialPort::SpaceParity, SPACEPARITY}};
    for (auto const& p : parities) {
        port.Open(kPort, 4800, p.code, 7, CSerialPort::TwoStopBits, CSerialPort::NoFlowControl);
        EXPECT_EQ(state(port).Parity, p.parity) << p.code;
    }
    EXPECT_EQ(uart.attributes.c_cflag & (CSIZE | CSTOPB | PARENB | CMSPAR | PARODD),
              tcflag_t{CS7 | CSTOPB | PARENB | CMSPAR});
    EXPECT_EQ(state(port).BaudRate, 4800u);

    // Unknown codes keep what the line had: space parity, two stop bits.
    port.Open(kPort, 9600, 7, 7, 9, 9);
    DCB dcb = state(port);
    EXPECT_EQ(dcb.Parity, SPACEPARITY);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    port.Open(kPort, 9600, CSerialPort::NoParity, 5, CSerialPort::OnePointFiveStopBits);
    EXPECT_EQ(state(port).StopBits, ONE5STOPBITS);

    port.Open(kPort, 9600, CSerialPort::NoParity, 8, CSerialPort::OneStopBit,
              CSerialPort::XonXoffFlowControl);
    dcb = state(port);
    EXPECT_TRUE(dcb.fOutX && dcb.fInX && !dcb.fOutxCtsFlow && !dcb.fOutxDsrFlow);
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.XoffChar, 0x13);
    EXPECT_EQ(dcb.XonLim, 100u);
    EXPECT_EQ(dcb.XoffLim, 100u);
    EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_ENABLE) << "XON/XOFF keeps the RTS mode";

    port.Open(kPort, 9600, CSerialPort::NoParity, 8, CSerialPort::OneStopBit,
              CSerialPort::CtsRtsFlowControl);
    dcb = state(port);
    EXPECT_TRUE(dcb.fOutxCtsFlow && dcb.fRtsControl == RTS_CONTROL_HANDSHAKE && !dcb.fOutX);
    port.Open(kPort, 9600, CSerialPort::NoParity, 8, CSerialPort::OneStopBit, 9);
    EXPECT_TRUE(state(port).fOutxCtsFlow) << "an unknown flow code keeps the handshake";
    // "None" on a line left under RTS/CTS handshake takes it out: RTS stays raised, as the
    // terminal interface cannot keep an RTS handshake without CTS flow.
    port.Open(kPort, 9600, CSerialPort::NoParity, 8, CSerialPort::OneStopBit,
              CSerialPort::NoFlowControl);
    dcb = state(port);
    EXPECT_TRUE(!dcb.fOutxCtsFlow && dcb.fRtsControl == RTS_CONTROL_ENABLE);

    // The DSR and DTR handshakes do not exist here: the open fails at the settings and the
    // port stays open in the object.
    for (int code : {CSerialPort::CtsDtrFlowControl, CSerialPort::DsrRtsFlowControl,
                     CSerialPort::DsrDtrFlowControl}) {
        expect_raises(HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED), [&] {
            port.Open(kPort, 9600, CSerialPort::NoParity, 8, CSerialPort::OneStopBit, code);
        });
        EXPECT_TRUE(port.IsOpen());
    }
}

TEST_F(SerialPort, FailuresRaiseTheLastErrorAndCloseNeverDoes) {
    expect_raises(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), [&] { port.Open(250); });
    EXPECT_FALSE(port.IsOpen());
    expect_raises(HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED), [&] {
        port.Open(kPort, 9600, CSerialPort::NoParity, 8, CSerialPort::OneStopBit,
                  CSerialPort::NoFlowControl, true);
    });

    CSerialPort owner;
    owner.Open(kPort);
    expect_raises(E_ACCESSDENIED, [&] { port.Open(kPort); });
    EXPECT_FALSE(port.IsOpen());

    // A closed port hands the invalid handle to the platform, which refuses it.
    DCB dcb{};
    expect_raises(E_HANDLE, [&] { port.GetState(dcb); });
    expect_raises(E_HANDLE, [&] { port.SetDtr(); });
    expect_raises(E_HANDLE, [&] { port.Write("*", 1); });
    std::string line;
    expect_raises(E_HANDLE, [&] { port.ReadLine(line, 0); });
    port.Close();
    port.Close();
    EXPECT_EQ(port.Detach(), INVALID_HANDLE_VALUE);

    // Closing keeps the error that a caller may still want to read.
    SetLastError(ERROR_GEN_FAILURE);
    owner.Close();
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
}

TEST_F(SerialPort, DetachAndAttachMoveThePortAndReplaceTheEvent) {
    std::size_t const baseline = DeviceHandleTable::instance().size();
    port.Open(kPort);
    EXPECT_EQ(DeviceHandleTable::instance().size(), baseline + 2) << "the port and its event";
    HANDLE const handle = port.Detach();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(DeviceHandleTable::instance().size(), baseline + 1) << "the event went";
    DCB dcb{};
    EXPECT_TRUE(GetCommState(handle, &dcb)) << "the handle itself stays open";

    port.Attach(handle, false);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.Handle(), handle);
    port.Attach(handle, false);  // the same handle again: kept open
    EXPECT_TRUE(GetCommState(handle, &dcb));
    EXPECT_EQ(DeviceHandleTable::instance().size(), baseline + 2);

    port.Close();
    EXPECT_FALSE(GetCommState(handle, &dcb));
    EXPECT_EQ(DeviceHandleTable::instance().size(), baseline);
}

TEST_F(SerialPort, AttachWithoutRoomForTheEventClosesThePortAndRaises) {
    port.Open(kPort);
    HANDLE const handle = port.Detach();
    std::vector<HANDLE> filler;
    while (HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr))
        filler.push_back(event);
    EXPECT_LE(filler.size(), DeviceHandleTable::capacity);
    expect_raises(HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY), [&] { port.Attach(handle); });
    EXPECT_FALSE(port.IsOpen());
    for (HANDLE event : filler)
        CloseHandle(event);
    DCB dcb{};
    EXPECT_FALSE(GetCommState(handle, &dcb)) << "the adopted port was closed";
}

TEST_F(SerialPort, TimeoutHelpersChangeOnlyTheirHalf) {
    port.Open(kPort);
    COMMTIMEOUTS const mixed{1, 2, 3, 4, 5};
    ASSERT_TRUE(SetCommTimeouts(port.Handle(), &mixed));
    COMMTIMEOUTS t{};
    port.ClearWriteTimeouts();
    port.GetTimeouts(t);
    EXPECT_TRUE(t.ReadIntervalTimeout == 1 && t.ReadTotalTimeoutMultiplier == 2 &&
                t.ReadTotalTimeoutConstant == 3 && t.WriteTotalTimeoutMultiplier == 0 &&
                t.WriteTotalTimeoutConstant == 0);
    ASSERT_TRUE(SetCommTimeouts(port.Handle(), &mixed));
    port.SetNoWaitReadTimeouts();
    port.GetTimeouts(t);
    EXPECT_TRUE(t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                t.ReadTotalTimeoutConstant == 0 && t.WriteTotalTimeoutMultiplier == 4 &&
                t.WriteTotalTimeoutConstant == 5);
    port.SetNoWaitTimeouts();
    port.GetTimeouts(t);
    EXPECT_TRUE(t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                t.ReadTotalTimeoutConstant == 0 && t.WriteTotalTimeoutMultiplier == 0 &&
                t.WriteTotalTimeoutConstant == 0);

    COMMCONFIG config{};
    CSerialPort::GetDefaultConfig(kPort, config);
    EXPECT_EQ(config.dwSize, 52u);
    expect_raises(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
                  [&] { CSerialPort::GetDefaultConfig(250, config); });
}

class ReadLine : public SerialPort {
protected:
    void SetUp() override {
        SerialPort::SetUp();
        port.Open(kPort);
        port.SetNoWaitTimeouts();
    }

    // Reads one line; answers it and how long the read took.
    std::string read_line(int timeout, steady::duration& took) {
        std::string line;
        auto const start = steady::now();
        port.ReadLine(line, timeout);
        took = steady::now() - start;
        return line;
    }
};

TEST_F(ReadLine, ReturnsOnceBothTerminatorsCameInEitherOrder) {
    steady::duration took{};
    device.send("12.5\r\nnext\r\n");
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(read_line(2, took), "12.5\r\n");
    EXPECT_LT(took, 100ms);
    EXPECT_EQ(read_line(2, took), "next\r\n") << "nothing of the next line was taken";

    device.send(std::string("abc\nde\r", 7));
    EXPECT_EQ(read_line(2, took), "abc\nde\r");
    EXPECT_LT(took, 100ms);

    // Bytes that trickle in: the line ends the moment its last terminator arrives.
    std::jthread sender([this] {
        for (char const* piece : {"2", "1.", "5\r", "\n"}) {
            std::this_thread::sleep_for(60ms);
            device.send(piece);
        }
    });
    EXPECT_EQ(read_line(2, took), "21.5\r\n");
    EXPECT_GE(took, 200ms);
    EXPECT_LT(took, 500ms);
}

TEST_F(ReadLine, AnEndlessLineStopsAtItsBoundAndAHangUpRaises) {
    ModelQSimulator flood{{.behaviour = ModelQSimulator::mode::flooding}};
    flood.map_to(13);
    CSerialPortEx flooded;
    flooded.Open(13);
    flooded.SetNoWaitTimeouts();
    flooded.Write("*", 1);
    std::string line;
    auto const start = steady::now();
    flooded.ReadLine(line, 5);
    EXPECT_EQ(line.size(), CSerialPortEx::max_line_bytes);
    EXPECT_LT(steady::now() - start, 4s);

    ModelQSimulator cut{{.behaviour = ModelQSimulator::mode::disconnecting, .cut_after = 200ms}};
    cut.map_to(14);
    CSerialPortEx dropped;
    dropped.Open(14);
    dropped.SetNoWaitTimeouts();
    dropped.Write("*", 1);
    line.clear();
    dropped.ReadLine(line, 2);
    EXPECT_EQ(line, "21.5\r\n");
    expect_raises(HRESULT_FROM_WIN32(ERROR_GEN_FAILURE), [&] { dropped.ReadLine(line, 2); });
}

}  // namespace
