// The Model Q device polled by a client through the registered module, with the device played
// by a pseudo-terminal simulator named COM5 in the test's registry store. An answering poll
// takes about 1.5 s; the silent device's suite takes 3.5 s or more and is named ...Slow.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>

#include "tests/devices/SdkClientTest.h"
#include "tools/simulators/ModelQSimulator.h"

namespace {

using ambivox::com_ptr;
using ambivox::simulation::ModelQSimulator;
using namespace std::chrono_literals;

constexpr int port = 5;

// Holds the terminal the way another program using the port would: open and locked.
class PortHolder {
public:
    explicit PortHolder(std::string const& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        EXPECT_NE(m_fd, -1);
        EXPECT_EQ(::flock(m_fd, LOCK_EX | LOCK_NB), 0);
    }
    ~PortHolder() {
        if (m_fd != -1) ::close(m_fd);
    }
    PortHolder(PortHolder const&) = delete;
    PortHolder& operator=(PortHolder const&) = delete;

private:
    int m_fd;
};

class ModelQDevice : public ambivox::testing::SdkClientTest {
protected:
    static com_ptr<IAmbivoxModelQ> model_q(char const* comPort) {
        auto device = create<IAmbivoxModelQ>(CLSID_AmbivoxModelQ);
        if (device && comPort != nullptr) {
            EXPECT_EQ(device->put_ComPort(bstr(comPort).get()), S_OK);
        }
        return device;
    }
};

using ModelQDeviceSlow = ModelQDevice;

TEST_F(ModelQDevice, TwoTemperatureProbesAndTheBattery) {
    ModelQSimulator simulator;  // 21.5, 22.0, "Bat Low"
    simulator.map_to(port);
    auto device = model_q(nullptr);
    EXPECT_EQ(text(device, &IAmbivoxModelQ::get_Model), "ModelQ");
    EXPECT_EQ(text(device, &IAmbivoxModelQ::get_BatteryStatus), "not available");
    EXPECT_EQ(text(device, &IAmbivoxModelQ::get_ComPort), "");
    ASSERT_EQ(device->put_ComPort(bstr("5").get()), S_OK);

    LONGLONG const before = now();
    ASSERT_EQ(device->Poll(), S_OK);
    LONGLONG const after = now();
    EXPECT_EQ(simulator.queries(), 1);
    EXPECT_EQ(numbers_of(device), (std::vector<SHORT>{1, 2}));
    LONGLONG stamp = 0;
    for (auto const& [number, reading_value] : {std::pair<SHORT, double>{1, 21.5}, {2, 22.0}}) {
        SCOPED_TRACE(number);
        auto p = probe(device, number);
        ASSERT_TRUE(p);
        EXPECT_EQ(text(p, &IProbe::get_Name), number == 1 ? "Probe 1" : "Probe 2");
        EXPECT_EQ(text(p, &IProbe::get_Type), "Temperature");
        LONG group = 0;
        EXPECT_EQ(p->get_Group(&group), S_OK);
        EXPECT_EQ(group, 1);
        auto point = reading(p);
        ASSERT_TRUE(point);
        EXPECT_DOUBLE_EQ(value(point), reading_value);
        EXPECT_EQ(text(point, &IDataPoint::get_Unit), "F");
        if (stamp == 0) stamp = utc(point);
        EXPECT_EQ(utc(point), stamp);
    }
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
    EXPECT_EQ(text(device, &IAmbivoxModelQ::get_BatteryStatus), "Bat Low");
    EXPECT_EQ(text(device, &IAmbivoxModelQ::get_Name), "") << "the fixed configuration names none";

    // The client's names: the device keeps its own, a probe gets its configured one back.
    auto const first = probe(device, 1);
    ASSERT_EQ(device->put_Name(bstr("Tank A").get()), S_OK);
    ASSERT_EQ(first->put_Name(bstr("Renamed").get()), S_OK);
    ASSERT_EQ(device->Poll(), S_OK);
    EXPECT_EQ(simulator.queries(), 2);
    EXPECT_EQ(text(device, &IAmbivoxModelQ::get_Name), "Tank A");
    EXPECT_EQ(probe(device, 1).get(), first.get());
    EXPECT_EQ(text(first, &IProbe::get_Name), "Probe 1");
}

TEST_F(ModelQDevice, UnsetPortFailsThePollAfterTheFixedConfiguration) {
    auto device = model_q(nullptr);
    EXPECT_EQ(device->Poll(), E_FAIL);
    EXPECT_EQ(numbers_of(device), (std::vector<SHORT>{1, 2}));
    EXPECT_FALSE(reading(probe(device, 1)));
    EXPECT_FALSE(reading(probe(device, 2)));
    EXPECT_EQ(text(device, &IAmbivoxModelQ::get_BatteryStatus), "not available");
}

TEST_F(ModelQDevice, PortTextIsAPositiveDecimalNumber) {
    auto device = model_q("7");
    for (char const* refused :
         {"", "0", "-3", "1.5", " 3", "3 ", "3a", "0x3", "COM3", "+", "99999999999"}) {
        EXPECT_EQ(device->put_ComPort(bstr(refused).get()), E_INVALIDARG) << '"' << refused << '"';
    }
    EXPECT_EQ(device->put_ComPort(nullptr), E_INVALIDARG);
    EXPECT_EQ(text(device, &IAmbivoxModelQ::get_ComPort), "7") << "a refused value changes nothing";

    EXPECT_EQ(device->put_ComPort(bstr("12").get()), S_OK);
    EXPECT_EQ(device->put_ComPort(bstr("12").get()), S_OK) << "the same value again is fine";
    EXPECT_EQ(text(device, &IAmbivoxModelQ::get_ComPort), "12");
    EXPECT_EQ(device->get_ComPort(nullptr), E_POINTER);
}

TEST_F(ModelQDevice, BusyOrMissingPortFailsThePollAndKeepsTheLastReading) {
    ModelQSimulator simulator;
    simulator.map_to(port);
    auto device = model_q("5");
    {
        PortHolder other(simulator.device_path());
        EXPECT_EQ(device->Poll(), E_FAIL);
        EXPECT_FALSE(reading(probe(device, 1)));
    }
    ASSERT_EQ(device->Poll(), S_OK);
    auto const last = reading(probe(device, 1));
    ASSERT_TRUE(last);
    {
        PortHolder other(simulator.device_path());
        EXPECT_EQ(device->Poll(), E_FAIL);
    }
    EXPECT_EQ(simulator.queries(), 1);
    EXPECT_EQ(reading(probe(device, 1)).get(), last.get());
    EXPECT_EQ(text(device, &IAmbivoxModelQ::get_BatteryStatus), "Bat Low");

    // A number that names no device at all.
    auto nowhere = model_q("4000");
    EXPECT_EQ(nowhere->Poll(), E_FAIL);
}

// A failed poll names the port, the device it stands for and what went wrong; its code stays
// what it always was.
TEST_F(ModelQDevice, FailedPollLeavesItsCauseInWords) {
    ModelQSimulator simulator;
    simulator.map_to(port);
    struct {
        char const* com_port;  // null: none set
        bool held;             // another program has the port
        std::vector<std::string> named;
    } const cases[] = {
        {"5", true, {"COM5 (" + simulator.device_path() + ")", "in use by another program"}},
        {"4000", false, {"COM4000", "no such device"}},
        {nullptr, false, {"no COM port"}},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.named.front());
        auto device = model_q(c.com_port);
        std::unique_ptr<PortHolder> other;
        if (c.held) other = std::make_unique<PortHolder>(simulator.device_path());
        EXPECT_EQ(device->Poll(), E_FAIL);
        auto const error = taken_error();
        ASSERT_TRUE(error.present);
        EXPECT_EQ(error.source, "AmbivoxSDK.AmbivoxModelQ");
        for (auto const& words : c.named)
            EXPECT_NE(error.description.find(words), std::string::npos)
                << words << " in: " << error.description;
    }
    auto device = model_q("5");
    ASSERT_EQ(device->Poll(), S_OK);
    EXPECT_FALSE(taken_error().present) << "a poll that reads leaves no error object";
}

TEST_F(ModelQDeviceSlow, DeviceThatHangsUpMidReplyIsNamedWithTheStep) {
    ModelQSimulator simulator({.behaviour = ModelQSimulator::mode::disconnecting});
    simulator.map_to(port);
    auto device = model_q("5");
    EXPECT_EQ(device->Poll(), E_FAIL);
    auto const error = taken_error();
    EXPECT_EQ(error.source, "AmbivoxSDK.AmbivoxModelQ");
    for (std::string const& words :
         {"COM5 (" + simulator.device_path() + ")", std::string("reply")})
        EXPECT_NE(error.description.find(words), std::string::npos) << error.description;
}

TEST_F(ModelQDeviceSlow, SilentDeviceGivesTheDefaults) {
    ModelQSimulator simulator({.behaviour = ModelQSimulator::mode::silent});
    simulator.map_to(port);
    auto device = model_q("5");
    auto const start = std::chrono::steady_clock::now();
    ASSERT_EQ(device->Poll(), S_OK);
    auto const took = std::chrono::steady_clock::now() - start;
    // The first line read runs out after 2 to 3 s, after the fixed 1.5 s, and no other line is
    // waited for; the rest of the poll comes on top of the exchange's 4.5 s at most.
    EXPECT_GE(took, 3500ms);
    EXPECT_LE(took, 5000ms);
    for (SHORT number : {1, 2}) {
        auto point = reading(probe(device, number));
        ASSERT_TRUE(point);
        EXPECT_DOUBLE_EQ(value(point), -99.9);
        EXPECT_EQ(text(point, &IDataPoint::get_Unit), "F");
    }
    EXPECT_EQ(text(device, &IAmbivoxModelQ::get_BatteryStatus), "Bat Ok");
}

}  // namespace
