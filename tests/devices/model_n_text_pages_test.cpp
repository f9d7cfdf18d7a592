// A Model N device reached through its "|"-separated text pages, which always sit on port 80:
// these tests serve them on 127.0.0.1:80 (inside the test program's private network) and skip
// themselves where that port cannot be had.
#include <chrono>
#include <string>
#include <vector>

#include "platform/internet/HttpLimits.h"
#include "tests/devices/SdkClientTest.h"
#include "tools/simulators/DeviceDocuments.h"

namespace {

using ambivox::com_ptr;
using ambivox::simulation::DeviceDocuments;
using ambivox::simulation::HttpDeviceSimulator;

std::vector<std::string> paths(HttpDeviceSimulator const& device) {
    std::vector<std::string> result;
    for (auto const& request : device.requests())
        result.push_back(request.path);
    return result;
}

class ModelNTextPages : public ambivox::testing::SdkClientTest {
protected:
    void SetUp() override {
        SdkClientTest::SetUp();
        device = port_80_device();
        if (!device) GTEST_SKIP() << "port 80 cannot be bound here";
    }

    void TearDown() override {
        ambivox::set_http_limits_for_testing({});
        SdkClientTest::TearDown();
    }

    struct route {
        char const* path;
        std::string body;
        HttpDeviceSimulator::fault mode;
    };
    struct cause_case {
        char const* host;
        std::vector<route> routes;
        HRESULT expected;
        std::vector<char const*> named;  // all in the description
    };

    // Each case polls a fresh device: the code, and the error object's source and words.
    void expect_causes(std::vector<cause_case> const& cases) {
        for (auto const& c : cases) {
            SCOPED_TRACE(c.named.empty() ? "success" : c.named.front());
            device = nullptr;
            device = port_80_device();
            ASSERT_TRUE(device);
            for (auto const& r : c.routes) {
                device->serve(r.path, r.body, 200, "text/plain");
                device->set_fault(r.path, r.mode);
            }
            auto monitor = model_n(c.host);
            ASSERT_EQ(monitor->put_Model(bstr("N3").get()), S_OK);
            EXPECT_EQ(monitor->Poll(), c.expected);
            auto const error = taken_error();
            EXPECT_EQ(error.present, FAILED(c.expected));
            if (!error.present) continue;
            EXPECT_EQ(error.source, "AmbivoxSDK.AmbivoxModelN");
            for (char const* words : c.named)
                EXPECT_NE(error.description.find(words), std::string::npos)
                    << words << " in: " << error.description;
        }
    }

    std::unique_ptr<HttpDeviceSimulator> device;
};

using ModelNTextPagesSlow = ModelNTextPages;

TEST_F(ModelNTextPages, FlatPagesAreReadOncePerPoll) {
    device->serve("/config", "S123|Lab|Model N3|v|1|Inlet|2|Outlet", 200, "text/plain");
    device->serve("/temp", "Inlet|71.6|Outlet|73.4", 200, "text/plain");
    auto monitor = model_n("127.0.0.1");
    ASSERT_EQ(monitor->put_Model(bstr("N3").get()), S_OK);
    LONGLONG const before = now();
    ASSERT_EQ(monitor->Poll(), S_OK);
    LONGLONG const after = now();

    // No XML configuration, so the pages stand in for both documents, with "/temp" for any
    // model but NX2.
    EXPECT_EQ(paths(*device), (std::vector<std::string>{"/xmlconfig", "/config", "/temp"}));
    for (auto const& request : device->requests()) {
        if (request.path[1] != 'x') {
            EXPECT_EQ(request.version, "HTTP/1.0") << request.path;
        }
    }

    EXPECT_EQ(numbers_of(monitor), (std::vector<SHORT>{1, 2}));
    auto inlet = probe(monitor, 1);
    auto outlet = probe(monitor, 2);
    ASSERT_TRUE(inlet && outlet);
    EXPECT_EQ(text(inlet, &IProbe::get_Name), "Inlet");
    EXPECT_EQ(text(outlet, &IProbe::get_Name), "Outlet");
    EXPECT_EQ(text(inlet, &IProbe::get_Type), "Temperature");
    auto first = reading(inlet);
    auto second = reading(outlet);
    ASSERT_TRUE(first && second);
    EXPECT_DOUBLE_EQ(value(first), 71.6);
    EXPECT_DOUBLE_EQ(value(second), 73.4);
    EXPECT_EQ(text(first, &IDataPoint::get_Unit), "F");
    EXPECT_EQ(utc(first), utc(second));
    EXPECT_GE(utc(first), before);
    EXPECT_LE(utc(first), after);

    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_SerialNumber), "S123");
    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_Name), "Lab");
    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_SoftwareVersion), "");
}

TEST_F(ModelNTextPages, GroupedPagesOfAnNX2) {
    device->serve("/config", "S9|Room|Model NX2|x|2.1|1|North|T|Temp N|H|Hum N|W|Wet N", 200,
                  "text/plain");
    device->serve("/data", "F|70.2|45|0", 200, "text/plain");
    auto monitor = model_n("127.0.0.1");
    ASSERT_EQ(monitor->put_Model(bstr("NX2").get()), S_OK);
    ASSERT_EQ(monitor->Poll(), S_OK);

    EXPECT_EQ(requests_for(*device, "/config"), 1);
    EXPECT_EQ(requests_for(*device, "/data"), 1);
    EXPECT_EQ(requests_for(*device, "/temp"), 0);

    EXPECT_EQ(numbers_of(monitor), (std::vector<SHORT>{1, 2, 3}));
    struct expected {
        SHORT number;
        char const* name;
        char const* type;
        double value;
        char const* unit;
    };
    for (auto const& e :
         {expected{1, "Temp N", "Temperature", 70.2, "F"},
          expected{2, "Hum N", "Humidity", 45.0, "H"}, expected{3, "Wet N", "Wetness", 0.0, "W"}}) {
        SCOPED_TRACE(e.number);
        auto p = probe(monitor, e.number);
        ASSERT_TRUE(p);
        EXPECT_EQ(text(p, &IProbe::get_Name), e.name);
        EXPECT_EQ(text(p, &IProbe::get_Type), e.type);
        LONG group = 0;
        EXPECT_EQ(p->get_Group(&group), S_OK);
        EXPECT_EQ(group, 1);
        auto point = reading(p);
        ASSERT_TRUE(point);
        EXPECT_DOUBLE_EQ(value(point), e.value);
        EXPECT_EQ(text(point, &IDataPoint::get_Unit), e.unit);
    }
    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_SoftwareVersion), "2.1");
    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_SerialNumber), "S9");
    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_Name), "Room");
}

TEST_F(ModelNTextPages, MarkupInDeviceTextsArrivesWhole) {
    device->serve("/config", "S<1>|R&D Lab|Model N7|v|1|In \"N\" <A&B>", 200, "text/plain");
    device->serve("/temp", "Inlet|12.5", 200, "text/plain");
    auto monitor = model_n("127.0.0.1");  // the model left "not set" reads "/temp" too
    ASSERT_EQ(monitor->Poll(), S_OK);
    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_Name), "R&D Lab");
    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_SerialNumber), "S<1>");
    auto inlet = probe(monitor, 1);
    ASSERT_TRUE(inlet);
    EXPECT_EQ(text(inlet, &IProbe::get_Name), "In \"N\" <A&B>");
    EXPECT_DOUBLE_EQ(value(reading(inlet)), 12.5);
}

TEST_F(ModelNTextPages, ErrorPagesAndCutOffPagesAreNoPages) {
    // A 404 answer's body would read as a configuration page whose unit is "not found".
    device->serve("/temp", "Inlet|71.6", 200, "text/plain");
    auto monitor = model_n("127.0.0.1");
    EXPECT_EQ(monitor->Poll(), E_FAIL);
    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_SerialNumber), "not available");
    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_Name), "");
    EXPECT_TRUE(numbers_of(monitor).empty());
    EXPECT_EQ(requests_for(*device, "/temp"), 0) << "the data page is fetched after the config";

    device->serve("/config", "S123|Lab|Model N3|v|1|Inlet", 200, "text/plain");
    for (auto mode : {HttpDeviceSimulator::fault::server_error, HttpDeviceSimulator::fault::cut_off,
                      HttpDeviceSimulator::fault::not_found}) {
        SCOPED_TRACE(static_cast<int>(mode));
        device->set_fault("/temp", mode);
        EXPECT_EQ(monitor->Poll(), E_FAIL);
        EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_SerialNumber), "not available");
        EXPECT_TRUE(numbers_of(monitor).empty());
    }

    // A page cut off mid-way is not a shorter page.
    device->serve("/temp", "Inlet|71.6", 200, "text/plain");
    device->serve("/config", "S123|Lab|Model N3|v|1|Inlet|2|Outlet", 200, "text/plain");
    device->set_fault("/config", HttpDeviceSimulator::fault::cut_off);
    EXPECT_EQ(monitor->Poll(), E_FAIL);
    EXPECT_TRUE(numbers_of(monitor).empty());
}

// A failed poll says which address and which step failed, the XML documents' and the text
// pages' both; its code stays what it always was. A poll that reads leaves no error object.
TEST_F(ModelNTextPages, FailedPollLeavesItsCauseInWords) {
    using enum HttpDeviceSimulator::fault;
    std::string const configuration = DeviceDocuments("N3", "Lab", "SN-3").xml_configuration();
    expect_causes({
        {"127.0.0.1",
         {},
         E_FAIL,
         {"http://127.0.0.1/xmlconfig: HTTP 404", "text pages: http://127.0.0.1/config: HTTP 404"}},
        {"127.0.0.1",
         {{"/xmlconfig", "oops", server_error}, {"/config", "oops", server_error}},
         E_FAIL,
         {"http://127.0.0.1/xmlconfig: HTTP 500", "http://127.0.0.1/config: HTTP 500"}},
        {"127.0.0.1",
         {{"/xmlconfig", "<Ambivox>\n<Unit><", malformed},
          {"/config", "S123|Lab|Model N3|v|1|Inlet", cut_off}},
         E_FAIL,
         {"http://127.0.0.1/xmlconfig: not well-formed at line 2", "http://127.0.0.1/config",
          "cut off"}},
        {"127.0.0.1",
         {{"/xmlconfig", "<html><body>Log in</body></html>", none},
          {"/config", "S123|Lab|Model N3|v|1|Inlet", none},
          {"/temp", "Inlet|71.6", not_found}},
         E_FAIL,
         {"http://127.0.0.1/xmlconfig: not a device document (no unit)",
          "http://127.0.0.1/temp: HTTP 404"}},
        {"127.0.0.1",
         {{"/xmlconfig", configuration, none}},
         E_FAIL,
         {"http://127.0.0.1/xmldata: HTTP 404", "text pages: http://127.0.0.1/config: HTTP 404"}},
        {"127.0.0.2",
         {},
         E_FAIL,
         {"http://127.0.0.2/xmlconfig", "connection refused",
          "text pages: http://127.0.0.2/config"}},
        {"127.0.0.1",
         {{"/config", "S123|Lab|Model N3|v|1|Inlet", none}, {"/temp", "Inlet|71.6", none}},
         S_OK,
         {}},
    });
}

// The causes that take a time-out, or 16 MiB, to find.
TEST_F(ModelNTextPagesSlow, FailedPollLeavesItsCauseInWords) {
    using enum HttpDeviceSimulator::fault;
    using namespace std::chrono_literals;
    ambivox::set_http_limits_for_testing(
        {.connect_timeout = 300ms, .stall_timeout = 300ms, .document_timeout = 2s});
    expect_causes({
        {"127.0.0.1",
         {{"/xmlconfig", "<Ambivox id=\"X\"><Unit>", stall},
          {"/config", "S123|Lab|Model N3|v|1|Inlet", stall}},
         E_FAIL,
         {"http://127.0.0.1/xmlconfig: no data arrived for 300 ms",
          "http://127.0.0.1/config: no data arrived for 300 ms"}},
        {"127.0.0.1",
         {{"/xmlconfig", "", oversized}, {"/config", "", oversized}},
         E_FAIL,
         {"http://127.0.0.1/xmlconfig: larger than 16 MiB",
          "http://127.0.0.1/config: larger than 16 MiB"}},
    });
}

TEST_F(ModelNTextPages, BrokenXmlFallsBackOnThePages) {
    device->serve("/xmlconfig", "<Ambivox id=\"X\"><Unit><Name>R&D</Name></Unit></Ambivox>");
    device->set_fault("/xmlconfig", HttpDeviceSimulator::fault::malformed);
    device->serve("/xmldata",
                  "<Ambivox id=\"X\"><Probe id=\"1\"><Value>99</Value></Probe></Ambivox>");
    device->set_fault("/xmldata", HttpDeviceSimulator::fault::cut_off);
    device->serve("/config", "S123|Lab|Model N3|v|1|Inlet", 200, "text/plain");
    device->serve("/temp", "Inlet|71.6", 200, "text/plain");
    auto monitor = model_n("127.0.0.1");
    ASSERT_EQ(monitor->Poll(), S_OK);
    EXPECT_EQ(paths(*device), (std::vector<std::string>{"/xmlconfig", "/config", "/temp"}));
    EXPECT_DOUBLE_EQ(value(reading(probe(monitor, 1))), 71.6);
    EXPECT_EQ(text(monitor, &IAmbivoxModelN::get_SerialNumber), "S123");

    // With the pages gone as well, nothing can be read.
    device->set_fault("/temp", HttpDeviceSimulator::fault::not_found);
    auto const last = reading(probe(monitor, 1));
    EXPECT_EQ(monitor->Poll(), E_FAIL);
    EXPECT_EQ(reading(probe(monitor, 1)).get(), last.get());
}

TEST_F(ModelNTextPages, ConfigurationWithABadProbeRecordBringsInThePages) {
    // Probe "x" comes last in key order; the good probe is applied all the same.
    device->serve("/xmlconfig", R"(<Ambivox id="X1"><Unit><Name>Mixed</Name></Unit>
        <Probe id="1" type="Temperature"><Name>Good</Name><Units>C</Units></Probe>
        <Probe id="x" type="Temperature"><Name>Bad</Name><Units>C</Units></Probe></Ambivox>)");
    device->serve("/xmldata",
                  R"(<Ambivox id="X1"><Probe id="1"><Value>3</Value></Probe></Ambivox>)");
    auto monitor = model_n("127.0.0.1");
    ASSERT_EQ(monitor->Poll(), S_OK);
    EXPECT_EQ(requests_for(*device, "/config"), 1);
    EXPECT_EQ(numbers_of(monitor), (std::vector<SHORT>{1}));
    auto good = probe(monitor, 1);
    ASSERT_TRUE(good);
    EXPECT_EQ(text(good, &IProbe::get_Name), "Good");
    EXPECT_DOUBLE_EQ(value(reading(good)), 3.0);
}

// What one poll of a new device answers, which probes it leaves and what it asked the device
// for: each page once, and success only when a configuration was read.
TEST_F(ModelNTextPages, PollAnswersWhatWasReadAndAsksForEachPageOnce) {
    struct route {
        char const* path;
        char const* body;
        int status;
        char const* type;
    };
    route const loginPage{"",
                          R"(<html xmlns="http://www.w3.org/1999/xhtml"><head><title>Log in)"
                          R"(</title></head><body><form action="/login"><input name="user"/>)"
                          R"(</form></body></html>)",
                          200, "application/xhtml+xml"};
    route const feed{"",
                     R"(<?xml version="1.0"?><rss version="2.0"><channel><title>News)"
                     R"(</title></channel></rss>)",
                     200, "text/xml"};
    auto at = [](route r, char const* path) {
        r.path = path;
        return r;
    };
    route const config{"/config", "S123|Lab|Model N3|v|1|Inlet|2|Outlet", 200, "text/plain"};
    route const temp{"/temp", "Inlet|71.6|Outlet|73.4", 200, "text/plain"};
    route const data{"/xmldata",
                     R"(<Ambivox id="X"><Probe id="1"><Value>5</Value></Probe></Ambivox>)", 200,
                     "text/xml"};
    route const bareUnit{"/xmlconfig",
                         R"(<Ambivox id="E"><Unit><Name>Bare</Name></Unit></Ambivox>)", 200,
                         "text/xml"};
    route const bareData{"/xmldata", R"(<Ambivox id="E"></Ambivox>)", 200, "text/xml"};
    route const xmlConfig{
        "/xmlconfig",
        R"(<Ambivox id="X"><Unit><Name>Lab</Name></Unit><Probe id="1" )"
        R"(type="Temperature"><Name>Inlet</Name><Units>F</Units></Probe>)"
        R"(<Probe id="2" type="Temperature"><Name>Outlet</Name></Probe></Ambivox>)",
        200, "text/xml"};
    route const refusedProbes{
        "/xmlconfig",
        R"(<Ambivox id="X"><Unit><Name>Lab</Name></Unit><Probe id="-1" )"
        R"(type="Temperature"/><Probe id="65536" type="Humidity"/></Ambivox>)",
        200, "text/xml"};
    // How often each of these was asked for.
    std::vector<std::string> const addresses{"/xmlconfig", "/config", "/temp", "/xmldata"};
    struct expected {
        char const* device;
        std::vector<route> routes;
        HRESULT poll;
        std::vector<SHORT> probes;
        std::vector<int> asked;
    };
    for (auto const& e : {
             expected{"login page at the XML addresses",
                      {at(loginPage, "/xmlconfig"), at(loginPage, "/xmldata"), config, temp},
                      S_OK,
                      {1, 2},
                      {1, 1, 1, 0}},
             expected{"foreign XML at the XML addresses",
                      {at(feed, "/xmlconfig"), at(feed, "/xmldata"), config, temp},
                      S_OK,
                      {1, 2},
                      {1, 1, 1, 0}},
             expected{"configuration busy, data good",
                      {{"/xmlconfig", "busy", 503, "text/plain"}, data},
                      E_FAIL,
                      {},
                      {1, 1, 0, 0}},
             expected{"nothing served", {}, E_FAIL, {}, {1, 1, 0, 0}},
             expected{"a unit without probes", {bareUnit, bareData}, S_OK, {}, {1, 0, 0, 1}},
             expected{"healthy text pages", {config, temp}, S_OK, {1, 2}, {1, 1, 1, 0}},
             expected{"login page at the data address only",
                      {xmlConfig, at(loginPage, "/xmldata"), config, temp},
                      S_OK,
                      {1, 2},
                      {1, 1, 1, 1}},
             expected{
                 "every probe record refused", {refusedProbes, data}, E_FAIL, {}, {1, 1, 0, 0}},
             expected{"configuration page of one field",
                      {{"/config", "<html><body>Log in</body></html>", 200, "text/html"}, temp},
                      E_FAIL,
                      {},
                      {1, 1, 1, 0}},
         }) {
        SCOPED_TRACE(e.device);
        device.reset();
        device = port_80_device();
        ASSERT_TRUE(device);
        for (route const& r : e.routes)
            device->serve(r.path, r.body, r.status, r.type);
        auto monitor = model_n("127.0.0.1");
        EXPECT_EQ(monitor->Poll(), e.poll);
        EXPECT_EQ(numbers_of(monitor), e.probes);
        if (!e.probes.empty()) {
            auto const point = reading(probe(monitor, 1));
            ASSERT_TRUE(point);
            EXPECT_DOUBLE_EQ(value(point), 71.6);
        }
        std::vector<int> asked;
        for (auto const& address : addresses)
            asked.push_back(requests_for(*device, address));
        EXPECT_EQ(asked, e.asked);
    }
}

}  // namespace
