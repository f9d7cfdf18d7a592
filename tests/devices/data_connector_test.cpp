// The data connector called directly, as the devices call it, through the registered module:
// which arguments each of its five requests takes, refuses or tolerates. A handler the test
// passes is never one of the module's own readers, so documents are parsed and dropped (null
// handler) or the call is refused before it touches anything.
#include <cstdint>
#include <string>

#include "tests/devices/SdkClientTest.h"
#include "tools/simulators/ModelQSimulator.h"

namespace {

using ambivox::com_ptr;
using ambivox::unique_bstr;
using ambivox::simulation::HttpDeviceSimulator;
using ambivox::simulation::ModelQSimulator;
using namespace std::chrono_literals;

std::string const config_document =
    R"(<Ambivox id="C1"><Unit><Name>Lab</Name></Unit><Probe id="1" type="Temperature">)"
    R"(<Name>A</Name><Units>C</Units></Probe></Ambivox>)";
std::string const data_document =
    R"(<Ambivox id="C1"><Probe id="1"><Value>20.5</Value></Probe></Ambivox>)";

class DataConnector : public ambivox::testing::SdkClientTest {
protected:
    void SetUp() override {
        SdkClientTest::SetUp();
        connector = create<IDataConnector>(CLSID_DataConnector);
        ASSERT_TRUE(connector);
    }
    void TearDown() override {
        connector = nullptr;
        SdkClientTest::TearDown();
    }

    unique_bstr url(HttpDeviceSimulator const& device, char const* path) const {
        return bstr(device.url(path));
    }

    unique_bstr const id = bstr("device");
    com_ptr<IDataConnector> connector;
};

TEST_F(DataConnector, XmlRequestsParseWithoutAHandlerAndReportTheParse) {
    HttpDeviceSimulator device;
    device.serve("/xmlconfig", config_document);
    device.serve("/xmldata", data_document);
    device.serve("/broken", "<Ambivox><Probe id=\"1\"></Ambivox>");
    device.set_fault("/broken", HttpDeviceSimulator::fault::malformed);

    EXPECT_EQ(
        connector->RequestModelNXMLConfigData(id.get(), url(device, "/xmlconfig").get(), nullptr),
        S_OK);
    EXPECT_EQ(connector->RequestModelNXMLData(id.get(), url(device, "/xmldata").get(), nullptr),
              S_OK);
    EXPECT_EQ(connector->RequestModelNXMLData(nullptr, url(device, "/xmldata").get(), nullptr),
              S_OK)
        << "the identifier is not used";
    EXPECT_EQ(device.request_count(), 3u);

    // Both slots are one request: the same failure for the same document.
    for (char const* path : {"/missing", "/broken"}) {
        HRESULT const data =
            connector->RequestModelNXMLData(id.get(), url(device, path).get(), nullptr);
        EXPECT_TRUE(FAILED(data)) << path;
        EXPECT_EQ(connector->RequestModelNXMLConfigData(id.get(), url(device, path).get(), nullptr),
                  data)
            << path;
    }
    EXPECT_TRUE(FAILED(connector->RequestModelNXMLData(id.get(), nullptr, nullptr)));
}

TEST_F(DataConnector, FixedModelQConfigurationNeedsAHandler) {
    for (char const* port : {"3", "", "abc"}) {
        EXPECT_EQ(connector->RequestModelQSerialComConfigData(id.get(), bstr(port).get(), nullptr),
                  E_OUTOFMEMORY)
            << port;
    }
    EXPECT_EQ(connector->RequestModelQSerialComConfigData(id.get(), nullptr, nullptr),
              E_OUTOFMEMORY);
}

TEST_F(DataConnector, ModelQPortTextMustBeADecimalNumberAlone) {
    ModelQSimulator simulator;
    simulator.map_to(3);
    EXPECT_EQ(connector->RequestModelQSerialComData(id.get(), bstr("3").get(), nullptr), S_OK);
    EXPECT_EQ(simulator.queries(), 1);

    for (char const* refused : {" 3", "3 ", "3a", ""}) {
        EXPECT_EQ(connector->RequestModelQSerialComData(id.get(), bstr(refused).get(), nullptr),
                  E_OUTOFMEMORY)
            << '"' << refused << '"';
    }
    EXPECT_EQ(connector->RequestModelQSerialComData(id.get(), nullptr, nullptr), E_OUTOFMEMORY);
    // Numbers, but no port has them.
    for (char const* number : {"0", "-1"}) {
        EXPECT_EQ(connector->RequestModelQSerialComData(id.get(), bstr(number).get(), nullptr),
                  E_ACCESSDENIED)
            << number;
    }
    EXPECT_EQ(simulator.queries(), 1) << "no refused request reached the device";
}

TEST_F(DataConnector, AModelQDeviceThatHangsUpMidReplyAnswersOutOfMemory) {
    // The hang-up comes while the second line is awaited; the port's own code is not passed on.
    ModelQSimulator simulator{
        {.behaviour = ModelQSimulator::mode::disconnecting, .cut_after = 1300ms}};
    simulator.map_to(3);
    EXPECT_EQ(connector->RequestModelQSerialComData(id.get(), bstr("3").get(), nullptr),
              E_OUTOFMEMORY);
}

TEST_F(DataConnector, TextPagesNeedAnAddressThatCanBeReached) {
    unique_bstr const config = bstr("/config");
    unique_bstr const data = bstr("/temp");
    unique_bstr const model = bstr("N3");
    for (char const* address : {"", "127.0.0.1:1", "no host"}) {
        EXPECT_EQ(
            connector->RequestModelNHTTPConfigAndData(id.get(), bstr(address).get(), config.get(),
                                                      data.get(), model.get(), nullptr, nullptr),
            E_OUTOFMEMORY)
            << '"' << address << '"';
    }
    EXPECT_EQ(connector->RequestModelNHTTPConfigAndData(id.get(), nullptr, config.get(), data.get(),
                                                        model.get(), nullptr, nullptr),
              E_OUTOFMEMORY);
}

TEST_F(DataConnector, TextPagesOnPort80) {
    auto device = port_80_device();
    if (!device) GTEST_SKIP() << "port 80 cannot be bound here";
    device->serve("/config", "S123|Lab|Model N3|v|1|Inlet|2|Outlet", 200, "text/plain");
    device->serve("/temp", "Inlet|71.6|Outlet|73.4", 200, "text/plain");
    device->serve("/odd", "Inlet|71.6|Outlet", 200, "text/plain");
    unique_bstr const address = bstr("127.0.0.1");
    unique_bstr const model = bstr("N3");
    auto request = [&](char const* configPath, char const* dataPath) {
        return connector->RequestModelNHTTPConfigAndData(
            id.get(), address.get(), bstr(configPath).get(), bstr(dataPath).get(), model.get(),
            nullptr, nullptr);
    };

    EXPECT_EQ(request("/config", "/temp"), S_OK);
    EXPECT_EQ(requests_for(*device, "/config"), 1);
    EXPECT_EQ(requests_for(*device, "/temp"), 1);

    // A missing configuration page ends the request before the data page is asked for.
    EXPECT_EQ(request("/nothing", "/temp"), E_OUTOFMEMORY);
    EXPECT_EQ(requests_for(*device, "/temp"), 1);
    EXPECT_EQ(request("/config", "/nothing"), E_OUTOFMEMORY);
    // A label without its value cannot be converted.
    EXPECT_EQ(request("/config", "/odd"), E_INVALIDARG);
}

TEST_F(DataConnector, HandlerThatIsNoLiveReaderIsRefusedBeforeAnythingHappens) {
    HttpDeviceSimulator device;
    device.serve("/xmldata", data_document);
    ModelQSimulator simulator;
    simulator.map_to(3);
    auto port80 = port_80_device();  // proves the text pages are not fetched, where it can
    if (port80) port80->serve("/config", "S1|Lab|Model N3|v|1|A", 200, "text/plain");

    // A late-bound caller's variable, a made-up number, and a live object that is no reader.
    LONG_PTR variable = 12345;
    LONG_PTR* const foreign[] = {&variable, reinterpret_cast<LONG_PTR*>(std::uintptr_t{0x10}),
                                 reinterpret_cast<LONG_PTR*>(connector.get())};
    unique_bstr const xmldata = url(device, "/xmldata");
    unique_bstr const port = bstr("3");
    unique_bstr const address = bstr("127.0.0.1");
    unique_bstr const config = bstr("/config");
    unique_bstr const temp = bstr("/temp");
    for (LONG_PTR* handler : foreign) {
        SCOPED_TRACE(reinterpret_cast<std::uintptr_t>(handler));
        EXPECT_EQ(connector->RequestModelNXMLData(id.get(), xmldata.get(), handler), E_INVALIDARG);
        EXPECT_EQ(connector->RequestModelNXMLConfigData(id.get(), xmldata.get(), handler),
                  E_INVALIDARG);
        EXPECT_EQ(connector->RequestModelQSerialComConfigData(id.get(), port.get(), handler),
                  E_INVALIDARG);
        EXPECT_EQ(connector->RequestModelQSerialComData(id.get(), port.get(), handler),
                  E_INVALIDARG);
        EXPECT_EQ(connector->RequestModelNHTTPConfigAndData(id.get(), address.get(), config.get(),
                                                            temp.get(), nullptr, handler, nullptr),
                  E_INVALIDARG);
        EXPECT_EQ(connector->RequestModelNHTTPConfigAndData(id.get(), address.get(), config.get(),
                                                            temp.get(), nullptr, nullptr, handler),
                  E_INVALIDARG);
    }
    EXPECT_EQ(variable, 12345);
    EXPECT_EQ(device.request_count(), 0u);
    EXPECT_EQ(simulator.queries(), 0);
    if (port80) {
        EXPECT_EQ(port80->request_count(), 0u);
    }
}

}  // namespace
