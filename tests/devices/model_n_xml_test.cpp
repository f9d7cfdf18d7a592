// A Model N device that serves its XML documents, polled by a client through the registered
// module: what the documents say becomes probes and readings, and what they do not say (or say
// badly) leaves the device's earlier state alone.
#include <atomic>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/devices/SdkClientTest.h"

namespace {

using ambivox::com_ptr;
using ambivox::simulation::HttpDeviceSimulator;

// Probes 1 and 2 in group 1, probe 10 in group 2: in text order 10 comes before 2. The serial
// number a device has is its root's id; the Serial_Number element is not read.
std::string const configuration = R"(<?xml version="1.0" encoding="UTF-8"?>
<Ambivox id="SN-4711">
  <Unit>
    <Name>Cold Store</Name>
    <Model>N15</Model>
    <Serial_Number>not the serial number</Serial_Number>
    <Firmware_Release_Date>2004-05-01</Firmware_Release_Date>
    <Firmware_Version>3.2.1</Firmware_Version>
    <Website>http://www.ambivox.example/</Website>
    <Manufacturer>Ambivox</Manufacturer>
  </Unit>
  <Group id="1">
    <Name>Front</Name>
    <Probe id="1" type="Temperature"><Name>Inlet</Name><Units>)"
                                  "\xC2\xB0"
                                  R"(C</Units></Probe>
    <Probe id="2" type="Humidity"><Name>Air</Name><Units>H</Units></Probe>
  </Group>
  <Group id="2">
    <Probe id="10" type="Wetness"><Name>Floor</Name><Units>W</Units></Probe>
  </Group>
</Ambivox>
)";

std::string data(std::string const& probe1, std::string const& probe2, std::string const& probe10) {
    return "<Ambivox id=\"SN-4711\"><Group id=\"1\"><Probe id=\"1\"><Value>" + probe1 +
           "</Value></Probe><Probe id=\"2\"><Value>" + probe2 +
           "</Value></Probe></Group><Group id=\"2\"><Probe id=\"10\"><Value>" + probe10 +
           "</Value></Probe></Group></Ambivox>";
}

class ModelNXml : public ambivox::testing::SdkClientTest {
protected:
    ModelNXml() {
        device.serve("/xmlconfig", configuration);
        device.serve("/xmldata", data("4.5", "61", "1"));
    }

    HttpDeviceSimulator device;
};

TEST_F(ModelNXml, DocumentsBecomeProbesReadingsAndUnitFields) {
    auto monitor = model_n(address_of(device));
    LONGLONG const before = now();
    ASSERT_EQ(monitor->Poll(), S_OK);
    LONGLONG const after = now();

    // Probe 10 is polled although the collection holds only three probes.
    EXPECT_EQ(numbers_of(monitor), (std::vector<SHORT>{1, 2, 10}));
    struct expected {
        SHORT number;
        char const* name;
        char const* type;
        LONG group;
        double value;
        char const* unit;
    };
    LONGLONG stamp = 0;
    for (auto const& e : {expected{1, "Inlet", "Temperature", 1, 4.5, "C"},
                          expected{2, "Air", "Humidity", 1, 61.0, "H"},
                          expected{10, "Floor", "Wetness", 2, 1.0, "W"}}) {
        SCOPED_TRACE(e.number);
        auto p = probe(monitor, e.number);
        ASSERT_TRUE(p);
        EXPECT_EQ(text(p, &IProbe::get_Name), e.name);
        EXPECT_EQ(text(p, &IProbe::get_Type), e.type);
        LONG group = 0;
        EXPECT_EQ(p->get_Group(&group), S_OK);
        EXPECT_EQ(group, e.group);
        auto point = reading(p);
        ASSERT_TRUE(point);
        EXPECT_DOUBLE_EQ(value(point), e.value);
        EXPECT_EQ(text(point, &IDataPoint::get_Unit), e.unit);
        // One timestamp for the whole poll.
        if (stamp == 0) stamp = utc(point);
        EXPECT_EQ(utc(point), stamp);
    }
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);

    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_SerialNumber), "SN-4711");
    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_SoftwareVersion), "3.2.1");
    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_SoftwareReleaseDate), "2004-05-01");
    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_Name), "Cold Store");
    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_Model), "not set")
        << "the document's model is not the client's";

    // Nothing but the two XML documents was asked for.
    auto const requests = device.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].path, "/xmlconfig");
    EXPECT_EQ(requests[1].path, "/xmldata");
}

TEST_F(ModelNXml, GapInTheNumberingStarvesNoProbe) {
    device.serve("/xmlconfig", R"(<Ambivox id="G"><Unit><Name>Gap</Name></Unit>
        <Probe id="1" type="Temperature"><Name>A</Name><Units>F</Units></Probe>
        <Probe id="2" type="Temperature"><Name>B</Name><Units>F</Units></Probe>
        <Probe id="4" type="Temperature"><Name>D</Name><Units>F</Units></Probe></Ambivox>)");
    device.serve("/xmldata", R"(<Ambivox id="G"><Probe id="1"><Value>1.5</Value></Probe>
        <Probe id="2"><Value>2.5</Value></Probe><Probe id="4"><Value>4.5</Value></Probe>
        </Ambivox>)");
    auto monitor = model_n(address_of(device));
    EXPECT_EQ(monitor->Poll(), S_OK);
    EXPECT_EQ(numbers_of(monitor), (std::vector<SHORT>{1, 2, 4}));
    for (SHORT number : {1, 2, 4}) {
        auto point = reading(probe(monitor, number));
        ASSERT_TRUE(point) << "probe " << number;
        EXPECT_DOUBLE_EQ(value(point), number + 0.5);
        EXPECT_EQ(text(point, &IDataPoint::get_Unit), "F");
    }
}

// Units are searched in key order, the first holding a probe giving its value.
TEST_F(ModelNXml, DataOfSeveralUnitsGivesEachProbeTheFirstUnitsValue) {
    device.serve("/xmldata", R"(<Site><Ambivox id="B"><Probe id="1"><Value>1</Value></Probe>
        <Probe id="2"><Value>2</Value></Probe></Ambivox><Ambivox id="A"><Probe id="1">
        <Value>9</Value></Probe></Ambivox><Ambivox id="C"><Probe id="10"><Value>3</Value>
        </Probe></Ambivox></Site>)");
    auto monitor = model_n(address_of(device));
    ASSERT_EQ(monitor->Poll(), S_OK);
    for (auto const& [number, expected] : {std::pair<SHORT, double>{1, 9}, {2, 2}, {10, 3}}) {
        auto point = reading(probe(monitor, number));
        ASSERT_TRUE(point) << number;
        EXPECT_DOUBLE_EQ(value(point), expected) << number;
    }
}

TEST_F(ModelNXml, ProbeMissingFromTheDataKeepsItsReading) {
    auto monitor = model_n(address_of(device));
    ASSERT_EQ(monitor->Poll(), S_OK);
    auto const firstOfProbe1 = reading(probe(monitor, 1));
    auto const firstOfProbe2 = reading(probe(monitor, 2));
    ASSERT_TRUE(firstOfProbe1 && firstOfProbe2);

    device.serve("/xmldata", R"(<Ambivox id="SN-4711"><Group id="1"><Probe id="1"><Value>5.5</Value>
        </Probe></Group><Group id="2"><Probe id="10"><Value>0</Value></Probe></Group></Ambivox>)");
    ASSERT_EQ(monitor->Poll(), S_OK);
    auto const secondOfProbe1 = reading(probe(monitor, 1));
    auto const secondOfProbe2 = reading(probe(monitor, 2));
    EXPECT_NE(secondOfProbe1.get(), firstOfProbe1.get());
    EXPECT_DOUBLE_EQ(value(secondOfProbe1), 5.5);
    EXPECT_EQ(secondOfProbe2.get(), firstOfProbe2.get()) << "probe 2 got a reading from nowhere";
    EXPECT_DOUBLE_EQ(value(secondOfProbe2), 61.0);
    EXPECT_DOUBLE_EQ(value(reading(probe(monitor, 10))), 0.0);
}

TEST_F(ModelNXml, ValueThatIsNoNumberIsTheNoReadingValue) {
    device.serve("/xmldata", data("abc", "", "nan"));
    auto monitor = model_n(address_of(device));
    LONGLONG const before = now();
    EXPECT_EQ(monitor->Poll(), S_OK);
    LONGLONG const after = now();
    for (auto const& [number, unit] :
         {std::pair<SHORT, char const*>{1, "C"}, {2, "H"}, {10, "W"}}) {
        SCOPED_TRACE(number);
        auto point = reading(probe(monitor, number));
        ASSERT_TRUE(point);
        EXPECT_DOUBLE_EQ(value(point), -999.99);
        EXPECT_EQ(text(point, &IDataPoint::get_Unit), unit);
        EXPECT_GE(utc(point), before);
        EXPECT_LE(utc(point), after);
    }
}

TEST_F(ModelNXml, ValueTextsReadAsDecimalNumbersOrNone) {
    struct reading_case {
        char const* text;
        double expected;
    };
    reading_case const cases[] = {
        {"+7.5", 7.5},    {"-2", -2.0},           {"1e2", 100.0},        {"5.", 5.0},
        {".25", 0.25},    {"1e999", -999.99},     {"+-1", -999.99},      {"1-2", -999.99},
        {"--3", -999.99}, {"-<?x y?>5", -999.99}, {"21<b/>.5", -999.99}, {"2<!-- c -->1.5", 21.5}};
    static_assert(std::size(cases) % 3 == 0);
    for (std::size_t at = 0; at < std::size(cases); at += 3) {
        device.serve("/xmldata", data(cases[at].text, cases[at + 1].text, cases[at + 2].text));
        auto monitor = model_n(address_of(device));
        ASSERT_EQ(monitor->Poll(), S_OK);
        SHORT const numbers[] = {1, 2, 10};
        for (std::size_t i = 0; i < 3; ++i) {
            SCOPED_TRACE(cases[at + i].text);
            auto point = reading(probe(monitor, numbers[i]));
            ASSERT_TRUE(point);
            EXPECT_DOUBLE_EQ(value(point), cases[at + i].expected);
        }
    }
}

TEST_F(ModelNXml, NameTheClientSetSurvivesPolls) {
    auto monitor = model_n(address_of(device));
    ASSERT_EQ(monitor->put_Name(bstr("Freezer 2").get()), S_OK);
    ASSERT_EQ(monitor->Poll(), S_OK);
    ASSERT_EQ(monitor->Poll(), S_OK);
    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_Name), "Freezer 2");
    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_SerialNumber), "SN-4711");
}

// Here the text pages cannot be reached (the address carries a port), so a document that fails
// has no fallback: the configuration step still passes, the data step fails the poll.
TEST_F(ModelNXml, BrokenDocumentsLeaveTheLastGoodState) {
    auto monitor = model_n(address_of(device));
    ASSERT_EQ(monitor->Poll(), S_OK);
    auto const last = reading(probe(monitor, 1));

    using enum HttpDeviceSimulator::fault;
    struct broken {
        std::string body;
        HttpDeviceSimulator::fault mode;
    };
    for (auto const& [body, mode] : {
             broken{"<Ambivox id=\"SN-4711\"><Probe id=\"1\"><Value>9</Probe>", malformed},
             broken{data("9", "9", "9"), cut_off},
             broken{data("9", "9", "9"), not_found},
             broken{"<html><body>Log in</body></html>", none},
             broken{"<Ambivox id=\"SN-4711\"><Probe id=\"3\"><Value>9</Value></Probe></Ambivox>",
                    none},
         }) {
        SCOPED_TRACE(body);
        device.serve("/xmldata", body);
        device.set_fault("/xmldata", mode);
        EXPECT_EQ(monitor->Poll(), E_FAIL);
        EXPECT_EQ(reading(probe(monitor, 1)).get(), last.get());
    }

    // A broken configuration keeps the probes it had; the data still reaches them.
    device.serve("/xmldata", data("7", "8", "9"));
    device.serve("/xmlconfig", configuration);
    device.set_fault("/xmlconfig", HttpDeviceSimulator::fault::cut_off);
    EXPECT_EQ(monitor->Poll(), S_OK);
    EXPECT_EQ(numbers_of(monitor), (std::vector<SHORT>{1, 2, 10}));
    EXPECT_DOUBLE_EQ(value(reading(probe(monitor, 1))), 7.0);
    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_SerialNumber), "SN-4711");
}

TEST_F(ModelNXml, NothingServedFailsThePoll) {
    HttpDeviceSimulator silent;
    auto monitor = model_n(address_of(silent));
    EXPECT_EQ(monitor->Poll(), E_FAIL);
    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_SerialNumber), "not available");
    EXPECT_TRUE(numbers_of(monitor).empty());

    auto unaddressed = create<IAmbivoxModelN>(CLSID_AmbivoxModelN);
    EXPECT_EQ(unaddressed->Poll(), E_FAIL);
}

// Objects are single-threaded, but each thread may run devices of its own, all from the one
// module: its class objects and the readers' bookkeeping are shared, so their counts must not
// lose updates (a lost one leaves a module lock behind or frees a class object still in use).
TEST_F(ModelNXml, DevicesOnThreadsOfTheirOwn) {
    std::atomic<int> polled{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            if (CoInitialize(nullptr) != S_OK) return;
            {
                com_ptr<IAmbivoxModelN> monitor;
                CoCreateInstance(CLSID_AmbivoxModelN, nullptr, CLSCTX_ALL, IAmbivoxModelN::iid,
                                 monitor.put_void());
                ambivox::unique_bstr const address(u16(address_of(device)));
                if (monitor && monitor->put_IpAddress(address.get()) == S_OK) {
                    for (int i = 0; i < 5; ++i)
                        if (monitor->Poll() == S_OK && reading(probe(monitor, 10))) ++polled;
                }
            }
            CoUninitialize();
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(polled, 30);
    EXPECT_EQ(requests_for(device, "/xmldata"), 30);
}

}  // namespace
