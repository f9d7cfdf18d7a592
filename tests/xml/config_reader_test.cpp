#include <gtest/gtest.h>

#include <string>

#include "tests/xml/DocumentParsing.h"
#include "xml/CXMLAmbivoxConfig.h"

namespace {

using ambivox::CXMLAmbivoxConfig;
using ambivox::XMLElement;
using ambivox::testing::parse_whole;
using ambivox::testing::read_both_ways;
using ambivox::testing::records;

std::string read(std::u16string_view document) {
    return ambivox::testing::read_records<CXMLAmbivoxConfig>(document);
}

constexpr char16_t model_q_configuration[] =
    uR"(<Ambivox><Unit><Model>ModelQ</Model></Unit><Group id="1"><Probe id="1" type="Temperature"><Name>Probe 1</Name><Units>°F</Units></Probe><Probe id="2" type="Temperature"><Name>Probe 2</Name><Units>°F</Units></Probe></Group></Ambivox>)";

constexpr char16_t flat_configuration[] =
    uR"(<Ambivox id="S123"><Unit><Name>Lab</Name><Model>N3</Model><Serial_Number>S123</Serial_Number><Firmware_Release_Date></Firmware_Release_Date><Firmware_Version></Firmware_Version><Website>http://www.ambivox.example/</Website><Manufacturer>Ambivox</Manufacturer></Unit><Probe id="1" type="Temperature"><Name>Inlet</Name><Units>F</Units></Probe><Probe id="2" type="Temperature"><Name>Outlet</Name><Units>F</Units></Probe></Ambivox>)";

constexpr char16_t grouped_configuration[] =
    uR"(<Ambivox id="S9"><Unit><Name>Room</Name><Model>NX2</Model><Serial_Number>S9</Serial_Number><Firmware_Release_Date></Firmware_Release_Date><Firmware_Version>2.1</Firmware_Version><Website>http://www.ambivox.example/</Website><Manufacturer>Ambivox</Manufacturer></Unit><Group id="1"><Name>North</Name><Probe id="1" type="Temperature"><Name>Temp N</Name><Units>F</Units></Probe><Probe id="2" type="Humidity"><Name>Hum N</Name><Units>H</Units></Probe><Probe id="3" type="Wetness"><Name>Wet N</Name><Units>W</Units></Probe></Group></Ambivox>)";

TEST(ConfigReader, ReadsTheFixedModelQDocument) {
    EXPECT_EQ(read(model_q_configuration),
              "unit \"\" id \"\" name \"\" model \"ModelQ\" firmware \"\" released \"\"\n"
              "  probe \"1\" id \"1\" hint \"\" type \"Temperature\" name \"Probe 1\" units \"°F\" "
              "group \"1\"\n"
              "  probe \"2\" id \"2\" hint \"\" type \"Temperature\" name \"Probe 2\" units \"°F\" "
              "group \"1\"\n");
}

TEST(ConfigReader, ReadsConvertedTextPagesWithoutKeepingSerialWebsiteOrMaker) {
    EXPECT_EQ(read(flat_configuration),
              "unit \"S123\" id \"S123\" name \"Lab\" model \"N3\" firmware \"\" released \"\"\n"
              "  probe \"1\" id \"1\" hint \"\" type \"Temperature\" name \"Inlet\" units \"F\" "
              "group \"0\"\n"
              "  probe \"2\" id \"2\" hint \"\" type \"Temperature\" name \"Outlet\" units \"F\" "
              "group \"0\"\n");
    // The group's own name names nothing: the unit keeps its name.
    EXPECT_EQ(read(grouped_configuration),
              "unit \"S9\" id \"S9\" name \"Room\" model \"NX2\" firmware \"2.1\" released \"\"\n"
              "  probe \"1\" id \"1\" hint \"\" type \"Temperature\" name \"Temp N\" units \"F\" "
              "group \"1\"\n"
              "  probe \"2\" id \"2\" hint \"\" type \"Humidity\" name \"Hum N\" units \"H\" "
              "group \"1\"\n"
              "  probe \"3\" id \"3\" hint \"\" type \"Wetness\" name \"Wet N\" units \"W\" "
              "group \"1\"\n");
}

TEST(ConfigReader, DeviceDocumentFieldsAndHint) {
    EXPECT_EQ(
        read(uR"(<Ambivox id="77"><Unit><Name>Cellar</Name><Model>N15</Model>)"
             uR"(<Firmware_Release_Date>2019-04-01</Firmware_Release_Date>)"
             uR"(<Firmware_Version>3.4.1</Firmware_Version></Unit>)"
             uR"(<Probe id="1" hint="door" type="Switch"><Name>Door</Name><Units></Units></Probe>)"
             uR"(</Ambivox>)"),
        "unit \"77\" id \"77\" name \"Cellar\" model \"N15\" firmware \"3.4.1\" released "
        "\"2019-04-01\"\n"
        "  probe \"1\" id \"1\" hint \"door\" type \"Switch\" name \"Door\" units \"\" group "
        "\"0\"\n");
}

TEST(ConfigReader, GroupsNameProbesButNotTheUnit) {
    // A probe before any group is in group "0"; one after a group, outside it, keeps that
    // group's id. A Name in a group after a completed probe is taken as the unit's name.
    EXPECT_EQ(read(uR"(<Ambivox id="U"><Unit><Name>First</Name></Unit>)"
                   uR"(<Probe id="a"><Name>Before</Name></Probe>)"
                   uR"(<Group id="3"><Name>Group three</Name>)"
                   uR"(<Probe id="b"><Name>Inside</Name></Probe><Name>Second</Name></Group>)"
                   uR"(<Probe id="c"><Name>After</Name></Probe></Ambivox>)"),
              "unit \"U\" id \"U\" name \"Second\" model \"\" firmware \"\" released \"\"\n"
              "  probe \"a\" id \"a\" hint \"\" type \"\" name \"Before\" units \"\" group \"0\"\n"
              "  probe \"b\" id \"b\" hint \"\" type \"\" name \"Inside\" units \"\" group \"3\"\n"
              "  probe \"c\" id \"c\" hint \"\" type \"\" name \"After\" units \"\" group \"3\"\n");
}

TEST(ConfigReader, OrdersIdsByCodeUnitAndKeepsTheLastOfEqualIds) {
    EXPECT_EQ(
        read(uR"(<Ambivox id="U"><Probe id="2"><Name>two</Name></Probe>)"
             uR"(<Probe id="10"><Name>ten</Name></Probe><Probe id="1"><Name>one</Name></Probe>)"
             uR"(<Probe id="2"><Name>two again</Name></Probe></Ambivox>)"),
        "unit \"U\" id \"U\" name \"\" model \"\" firmware \"\" released \"\"\n"
        "  probe \"1\" id \"1\" hint \"\" type \"\" name \"one\" units \"\" group \"0\"\n"
        "  probe \"10\" id \"10\" hint \"\" type \"\" name \"ten\" units \"\" group \"0\"\n"
        "  probe \"2\" id \"2\" hint \"\" type \"\" name \"two again\" units \"\" group "
        "\"0\"\n");
}

TEST(ConfigReader, ReadsNamespacePrefixedElementsByLocalName) {
    EXPECT_EQ(read(uR"(<a:Ambivox xmlns:a="urn:ambivox" id="N1"><a:Unit><a:Model>N7</a:Model>)"
                   uR"(</a:Unit><a:Probe id="1" a:type="Temperature"><a:Name>In</a:Name>)"
                   uR"(<a:Units>F</a:Units></a:Probe></a:Ambivox>)"),
              "unit \"N1\" id \"N1\" name \"\" model \"N7\" firmware \"\" released \"\"\n"
              "  probe \"1\" id \"1\" hint \"\" type \"Temperature\" name \"In\" units \"F\" "
              "group \"0\"\n");
}

TEST(ConfigReader, TextOfUnknownElementNestedInAFieldFillsTheField) {
    // The text after the nested element's end tag comes after the target was reset.
    EXPECT_EQ(read(uR"(<Ambivox id="U"><Unit><Model>N<sub>N7</sub>tail</Model></Unit>)"
                   uR"(<Probe id="1"><Units><em>C</em></Units></Probe></Ambivox>)"),
              "unit \"U\" id \"U\" name \"\" model \"N7\" firmware \"\" released \"\"\n"
              "  probe \"1\" id \"1\" hint \"\" type \"\" name \"\" units \"C\" group \"0\"\n");
}

TEST(ConfigReader, ReadsANameWithReferencesWhole) {
    EXPECT_EQ(read(uR"(<Ambivox id="U"><Unit><Name>R&amp;D Lab</Name></Unit>)"
                   uR"(<Probe id="1"><Name>&lt;Inlet&gt;</Name><Units>&#176;F</Units></Probe>)"
                   uR"(</Ambivox>)"),
              "unit \"U\" id \"U\" name \"R&D Lab\" model \"\" firmware \"\" released \"\"\n"
              "  probe \"1\" id \"1\" hint \"\" type \"\" name \"<Inlet>\" units \"°F\" group "
              "\"0\"\n");
}

TEST(ConfigReader, CutOffDocumentsKeepOnlyCompletedUnits) {
    std::u16string const document = flat_configuration;
    for (std::size_t length = 0; length < document.size(); ++length) {
        auto const result = read_both_ways<CXMLAmbivoxConfig>(document.substr(0, length));
        EXPECT_TRUE(FAILED(result.result)) << "cut at " << length;
        EXPECT_EQ(result.records, "") << "cut at " << length;
    }
    // A wrapper holds two units; the second is cut off inside a probe.
    auto const result = read_both_ways<CXMLAmbivoxConfig>(
        uR"(<Site><Ambivox id="1"><Unit><Name>Done</Name></Unit></Ambivox>)"
        uR"(<Ambivox id="2"><Unit><Name>Open</Name></Unit><Probe id="1"><Name>P)");
    EXPECT_TRUE(FAILED(result.result));
    EXPECT_EQ(result.records,
              "unit \"1\" id \"1\" name \"Done\" model \"\" firmware \"\" released \"\"\n");
}

TEST(ConfigReader, IgnoresFieldsAndProbesOutsideAnOpenUnit) {
    EXPECT_EQ(read(uR"(<Site><Model>M</Model><Name>N</Name><Firmware_Version>1</Firmware_Version>)"
                   uR"(<Probe id="9"><Name>Stray</Name><Units>F</Units></Probe>)"
                   uR"(<Ambivox id="A"><Unit><Name>Kept</Name></Unit></Ambivox>)"
                   uR"(<Model>after</Model><Probe id="8"/></Site>)"),
              "unit \"A\" id \"A\" name \"Kept\" model \"\" firmware \"\" released \"\"\n");
}

TEST(ConfigReader, NestedRootReplacesTheOpenUnitAndLaterEqualIdsReplaceUnits) {
    EXPECT_EQ(read(uR"(<Ambivox id="outer"><Unit><Name>Outer</Name></Unit>)"
                   uR"(<Ambivox id="inner"><Unit><Name>Inner</Name></Unit></Ambivox></Ambivox>)"),
              "unit \"inner\" id \"inner\" name \"Inner\" model \"\" firmware \"\" released "
              "\"\"\n");
    EXPECT_EQ(read(uR"(<Site><Ambivox id="2"><Unit><Name>early</Name></Unit></Ambivox>)"
                   uR"(<Ambivox id="10"><Unit><Name>ten</Name></Unit></Ambivox>)"
                   uR"(<Ambivox id="2"><Unit><Name>late</Name></Unit></Ambivox></Site>)"),
              "unit \"10\" id \"10\" name \"ten\" model \"\" firmware \"\" released \"\"\n"
              "unit \"2\" id \"2\" name \"late\" model \"\" firmware \"\" released \"\"\n");
}

TEST(ConfigReader, ASecondDocumentAddsUnitsAndKeepsTheGroupId) {
    CXMLAmbivoxConfig reader;
    EXPECT_EQ(parse_whole(uR"(<Ambivox id="A"><Group id="5"/></Ambivox>)", &reader), S_OK);
    EXPECT_EQ(parse_whole(uR"(<Ambivox id="B"><Probe id="1"/></Ambivox>)", &reader), S_OK);
    EXPECT_EQ(records(reader),
              "unit \"A\" id \"A\" name \"\" model \"\" firmware \"\" released \"\"\n"
              "unit \"B\" id \"B\" name \"\" model \"\" firmware \"\" released \"\"\n"
              "  probe \"1\" id \"1\" hint \"\" type \"\" name \"\" units \"\" group \"5\"\n");
}

TEST(ConfigReader, TextInPiecesLeavesTheLastPiece) {
    CXMLAmbivoxConfig reader;
    reader.OnStartElement(XMLElement{u"Ambivox", {{u"id", u"U"}}});
    reader.OnStartElement(XMLElement{u"Name", {}});
    reader.OnCharacters(u"R");
    reader.OnCharacters(u"&D Lab");
    reader.OnEndElement(XMLElement{u"Name", {}});
    reader.OnCharacters(u"between tags");
    reader.OnEndElement(XMLElement{u"Ambivox", {}});
    EXPECT_EQ(records(reader),
              "unit \"U\" id \"U\" name \"&D Lab\" model \"\" firmware \"\" released \"\"\n");
}

}  // namespace
