#include <gtest/gtest.h>

#include <string>

#include "platform/base/CodePage.h"
#include "tests/support/RecordingElementHandler.h"
#include "tests/xml/DocumentParsing.h"
#include "tools/simulators/HttpDeviceSimulator.h"
#include "xml/CXMLAmbivoxConfig.h"
#include "xml/CXMLParser.h"

namespace {

using ambivox::CXMLAmbivoxConfig;
using ambivox::simulation::HttpDeviceSimulator;
using ambivox::testing::RecordingElementHandler;
using ambivox::testing::records;
using fault = HttpDeviceSimulator::fault;

// What a device serves: its own declaration, line breaks and indentation, Latin-1 bytes.
std::string const device_configuration =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
    "<Ambivox id=\"N7-317\">\r\n"
    "  <Unit>\r\n    <Name>Lab</Name>\r\n    <Model>N7</Model>\r\n  </Unit>\r\n"
    "  <Probe id=\"1\" type=\"Temperature\">\r\n    <Name>Inlet</Name>\r\n"
    "    <Units>\xb0"
    "F</Units>\r\n  </Probe>\r\n"
    "</Ambivox>\r\n";

HRESULT parse_url(std::string const& url, ambivox::IXMLElementHandler* handler) {
    std::u16string const wide = ambivox::widen(url, CP_UTF8);
    return ambivox::ParseURL(wide.c_str(), handler);
}

TEST(ParseURL, ReadsTheDocumentTheDeviceServes) {
    HttpDeviceSimulator device;
    device.serve("/xmlconfig", device_configuration);
    CXMLAmbivoxConfig reader;
    EXPECT_EQ(parse_url(device.url("/xmlconfig"), &reader), S_OK);
    EXPECT_EQ(records(reader),
              "unit \"N7-317\" id \"N7-317\" name \"Lab\" model \"N7\" firmware \"\" released "
              "\"\"\n"
              "  probe \"1\" id \"1\" hint \"\" type \"Temperature\" name \"Inlet\" units \"°F\" "
              "group \"0\"\n");
    EXPECT_EQ(device.request_count(), 1u);
    EXPECT_EQ(ambivox::ParseURL(nullptr, nullptr), E_INVALIDARG);
}

TEST(ParseURL, AnswersTheReadersFailureUnchanged) {
    HttpDeviceSimulator device;
    device.serve("/xmlconfig", device_configuration);

    device.set_fault("/xmlconfig", fault::not_found);
    RecordingElementHandler missing;
    EXPECT_EQ(parse_url(device.url("/xmlconfig"), &missing), INET_E_OBJECT_NOT_FOUND);
    EXPECT_TRUE(missing.calls.empty());

    // Half a document: the reader has seen its beginning, and keeps no unit.
    device.serve("/xmlconfig", device_configuration);
    device.set_fault("/xmlconfig", fault::cut_off);
    CXMLAmbivoxConfig cut;
    EXPECT_TRUE(FAILED(parse_url(device.url("/xmlconfig"), &cut)));
    EXPECT_EQ(records(cut), "");

    device.serve("/xmlconfig", "<Ambivox><Name>R&D</Name></Ambivox>");
    device.set_fault("/xmlconfig", fault::malformed);
    RecordingElementHandler malformed;
    EXPECT_EQ(parse_url(device.url("/xmlconfig"), &malformed), XML_E_MALFORMED);
    EXPECT_EQ(malformed.calls, (std::vector<std::string>{"start Ambivox", "start Name"}));

    EXPECT_EQ(parse_url("ftp://127.0.0.1/xmlconfig", nullptr), INET_E_UNKNOWN_PROTOCOL);
    std::string const gone = device.url("/xmlconfig");
    device.stop();
    EXPECT_EQ(parse_url(gone, nullptr), INET_E_CANNOT_CONNECT);
}

}  // namespace
