#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "devices/CModelQHelper.h"
#include "platform/base/CodePage.h"
#include "platform/base/HResultBoundary.h"
#include "platform/serial/DeviceHandleTable.h"
#include "platform/serial/Serial.h"
#include "tests/support/InstalledSerialCalls.h"
#include "tests/support/TempRegistry.h"
#include "tools/simulators/ModelQSimulator.h"

using ambivox::CModelQHelper;
using ambivox::DeviceHandleTable;
using ambivox::hresult_error;
using ambivox::simulation::ModelQSimulator;
using namespace std::chrono_literals;
using steady = std::chrono::steady_clock;

namespace {

constexpr int kPort = 11;

// One exchange with a simulated device on COM11.
class ModelQExchange {
public:
    explicit ModelQExchange(ModelQSimulator::options options) : device(std::move(options)) {
        device.map_to(kPort);
    }

    // Opens, reads and closes; answers the scratch text and records how long Read took.
    std::u16string run() {
        std::u16string scratch;
        EXPECT_TRUE(helper.Open(kPort));
        auto const start = steady::now();
        try {
            helper.Read(scratch);
        } catch (hresult_error const& e) {
            error = e.code();
        }
        took = steady::now() - start;
        helper.Close();
        EXPECT_FALSE(helper.HoldsPort());
        return scratch;
    }

    ambivox::testing::TempRegistry registry;
    ModelQSimulator device;
    CModelQHelper helper;
    steady::duration took{};
    std::optional<HRESULT> error;
};

ModelQSimulator::options answering(
    std::string probe1, std::string probe2, std::string battery,
    ModelQSimulator::mode behaviour = ModelQSimulator::mode::answering) {
    ModelQSimulator::options options;
    options.behaviour = behaviour;
    options.probe1 = std::move(probe1);
    options.probe2 = std::move(probe2);
    options.battery = std::move(battery);
    return options;
}

TEST(ModelQHelper, ANewHelperHoldsTheDefaultsAndReadsNothingWithoutAPort) {
    CModelQHelper helper;
    EXPECT_EQ(helper.Probe1Value(), u"-99.9");
    EXPECT_EQ(helper.Probe2Value(), u"-99.9");
    EXPECT_EQ(helper.BatteryStatus(), u" Bat Ok");
    std::u16string scratch = u"kept";
    auto const start = steady::now();
    helper.Read(scratch);
    EXPECT_LT(steady::now() - start, 100ms);
    EXPECT_EQ(scratch, u"kept");
    EXPECT_EQ(helper.BatteryStatus(), u" Bat Ok");
    helper.Close();
}

TEST(ModelQHelper, KeepsTheThreeLinesOfAnAnsweringDevice) {
    ModelQExchange exchange(answering("21.5", "22.0", "Bat Low"));
    std::u16string const scratch = exchange.run();
    EXPECT_FALSE(exchange.error);
    EXPECT_EQ(exchange.helper.Probe1Value(), u"21.5");
    EXPECT_EQ(exchange.helper.Probe2Value(), u"22.0");
    EXPECT_EQ(exchange.helper.BatteryStatus(), u"Bat Low");
    EXPECT_EQ(scratch, u"21.5\r\n22.0\r\nBat Low\r\n");
    EXPECT_EQ(exchange.device.received(), "*") << "one query byte and nothing else";
    // 500 ms after DTR, 1000 ms after the query, and the lines are already there.
    EXPECT_GE(exchange.took, 1500ms);
    EXPECT_LT(exchange.took, 1700ms);
}

TEST(ModelQHelper, TrimsSpacesAroundProbeValuesButNotAroundTheBattery) {
    ModelQExchange exchange(answering("  21.5 ", "\t22.0 ", "  Bat Low "));
    exchange.run();
    EXPECT_EQ(exchange.helper.Probe1Value(), u"21.5");
    EXPECT_EQ(exchange.helper.Probe2Value(), u"\t22.0") << "only spaces are trimmed";
    EXPECT_EQ(exchange.helper.BatteryStatus(), u"  Bat Low ");
}

TEST(ModelQHelper, LinesOfOnlySpacesOrTerminatorsGiveEmptyValuesOrTheDefaults) {
    ModelQExchange exchange(answering("   ", "", ""));
    exchange.run();
    EXPECT_EQ(exchange.helper.Probe1Value(), u"");
    EXPECT_EQ(exchange.helper.Probe2Value(), u"-99.9");
    EXPECT_EQ(exchange.helper.BatteryStatus(), u"Bat Ok");
}

TEST(ModelQHelper, NoiseBeforeTheLinesStaysInTheFirstValueDecodedAsAnsiText) {
    ModelQSimulator::options options =
        answering("21.5", "22.0", "Bat Ok", ModelQSimulator::mode::noisy);
    ModelQExchange exchange(options);
    exchange.run();
    EXPECT_EQ(exchange.helper.Probe1Value(), ambivox::widen(options.noise + "21.5", CP_ACP));
    EXPECT_EQ(exchange.helper.Probe1Value().size(), options.noise.size() + 4)
        << "a NUL byte does not cut the text";
    EXPECT_EQ(exchange.helper.Probe2Value(), u"22.0");
}

TEST(ModelQHelper, ASlowDeviceIsReadAsEachLineCompletes) {
    ModelQSimulator::options options =
        answering("21.5", "22.0", "Bat Low", ModelQSimulator::mode::slow);
    options.byte_delay = 60ms;  // 23 bytes: the last arrives about 0.4 s after reading starts
    ModelQExchange exchange(options);
    exchange.run();
    EXPECT_EQ(exchange.helper.BatteryStatus(), u"Bat Low");
    EXPECT_LT(exchange.took, 1500ms + 23 * 60ms + 300ms) << "no line waited for its time limit";
}

TEST(ModelQHelper, ADeviceThatHangsUpMidReplyRaisesAndIsStillReleased) {
    std::size_t const baseline = DeviceHandleTable::instance().size();
    ModelQSimulator::options options =
        answering("21.5", "22.0", "Bat Low", ModelQSimulator::mode::disconnecting);
    options.cut_after = 1300ms;  // while the helper waits for the second line
    {
        ModelQExchange exchange(options);
        std::u16string scratch;
        ASSERT_TRUE(exchange.helper.Open(kPort));
        try {
            exchange.helper.Read(scratch);
            ADD_FAILURE() << "the hang-up went unnoticed";
        } catch (hresult_error const& e) {
            EXPECT_EQ(e.code(), HRESULT_FROM_WIN32(ERROR_GEN_FAILURE));
        }
        EXPECT_EQ(exchange.helper.Probe1Value(), u"21.5");
        EXPECT_EQ(scratch, u"21.5\r\n");
        // The wind-down meets the dead line part-way and keeps the port object ...
        exchange.helper.Close();
        EXPECT_TRUE(exchange.helper.HoldsPort());
    }
    // ... which destruction released.
    EXPECT_EQ(DeviceHandleTable::instance().size(), baseline);
}

TEST(ModelQHelper, UnknownAndBusyPortsFailToOpen) {
    ambivox::testing::TempRegistry registry;
    std::size_t const baseline = DeviceHandleTable::instance().size();
    {
        CModelQHelper helper;
        EXPECT_FALSE(helper.Open(250));
        EXPECT_FALSE(helper.HoldsPort()) << "an unknown port gets no port object";
    }
    ModelQSimulator device{{.behaviour = ModelQSimulator::mode::silent}};
    device.map_to(kPort);
    HANDLE const owner =
        CreateFileW(u"\\\\.\\COM11", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(owner, INVALID_HANDLE_VALUE);
    {
        CModelQHelper helper;
        EXPECT_FALSE(helper.Open(kPort));
        EXPECT_TRUE(helper.HoldsPort());
        EXPECT_FALSE(helper.IsPortOpen());
    }
    CloseHandle(owner);
    EXPECT_EQ(DeviceHandleTable::instance().size(), baseline);
}

TEST(ModelQHelper, OpenConditionsThePortForTheProtocol) {
    ambivox::testing::TempRegistry registry;
    ModelQSimulator device{{.behaviour = ModelQSimulator::mode::silent}};
    device.map_to(kPort);
    CModelQHelper helper;
    ASSERT_TRUE(helper.Open(kPort));
    HANDLE const port = helper.Port()->Handle();
    DCB dcb{};
    ASSERT_TRUE(GetCommState(port, &dcb));
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 8u);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_FALSE(dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fOutX || dcb.fInX);
    EXPECT_EQ(dcb.fDsrSensitivity, 0u);
    COMMTIMEOUTS timeouts{};
    ASSERT_TRUE(GetCommTimeouts(port, &timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier + timeouts.ReadTotalTimeoutConstant +
                  timeouts.WriteTotalTimeoutMultiplier + timeouts.WriteTotalTimeoutConstant,
              0u);
    COMMPROP properties{};
    ASSERT_TRUE(GetCommProperties(port, &properties));
    EXPECT_EQ(properties.dwCurrentRxQueue, 10000u);
    EXPECT_EQ(helper.PortConfig().dwSize, 52u);
    EXPECT_EQ(helper.PortConfig().dcb.BaudRate, 9600u);
}

// Fails every queue flush, as a line whose device went away does.
struct FailingFlush : ambivox::SerialIoctl {
    int flush(int, int) noexcept override {
        errno = EIO;
        return -1;
    }
};

TEST(ModelQHelper, APortWhoseCloseFailedIsReleasedWithTheHelper) {
    ambivox::testing::TempRegistry registry;
    ModelQSimulator device{{.behaviour = ModelQSimulator::mode::silent}};
    device.map_to(kPort);
    std::size_t const baseline = DeviceHandleTable::instance().size();
    {
        CModelQHelper helper;
        ASSERT_TRUE(helper.Open(kPort));
        FailingFlush failing;
        ambivox::testing::InstalledSerialCalls installed(failing);
        helper.Close();
        EXPECT_TRUE(helper.HoldsPort());
        EXPECT_TRUE(helper.IsPortOpen());
    }
    EXPECT_EQ(DeviceHandleTable::instance().size(), baseline);
    HANDLE const again =
        CreateFileW(u"\\\\.\\COM11", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(again, INVALID_HANDLE_VALUE) << "the port is free again";
    CloseHandle(again);
}

}  // namespace
