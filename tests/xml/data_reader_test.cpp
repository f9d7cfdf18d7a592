#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/xml/DocumentParsing.h"
#include "xml/CXMLAmbivoxData.h"

namespace {

using ambivox::CXMLAmbivoxData;
using ambivox::XMLElement;
using ambivox::testing::parse_whole;
using ambivox::testing::read_both_ways;
using ambivox::testing::records;

std::u16string number(int value) {
    std::string const digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

std::string read(std::u16string_view document) {
    return ambivox::testing::read_records<CXMLAmbivoxData>(document);
}

// The Model Q data template with its three places filled.
std::u16string model_q_data(std::u16string_view battery, std::u16string_view first,
                            std::u16string_view second) {
    return u"<Ambivox><BatteryStatus>" + std::u16string(battery) +
           uR"(</BatteryStatus><Group id="1"><Probe id="1"><Value>)" + std::u16string(first) +
           uR"(</Value></Probe><Probe id="2"><Value>)" + std::u16string(second) +
           u"</Value></Probe></Group></Ambivox>";
}

constexpr char16_t flat_data[] =
    uR"(<Ambivox id="S123"><Probe id="1"><Value>71.6</Value></Probe><Probe id="2"><Value>73.4</Value></Probe></Ambivox>)";

constexpr char16_t grouped_data[] =
    uR"(<Ambivox id="S9"><Group id="1"><Probe id="1"><Value>70.2</Value></Probe><Probe id="2"><Value>45</Value></Probe><Probe id="3"><Value>0</Value></Probe></Group></Ambivox>)";

TEST(DataReader, ReadsModelQDocumentsWithTheirBatteryStatus) {
    EXPECT_EQ(read(model_q_data(u"Bat Ok", u"71.2", u"-99.9")),
              "unit \"\" id \"\" battery \"Bat Ok\"\n"
              "  probe \"1\" id \"1\" value \"71.2\"\n"
              "  probe \"2\" id \"2\" value \"-99.9\"\n");
    // The status as the device wrote it, trimmed only at its end.
    EXPECT_EQ(read(model_q_data(u"  Battery  low \r\n", u"72.5", u"")),
              "unit \"\" id \"\" battery \"  Battery  low\"\n"
              "  probe \"1\" id \"1\" value \"72.5\"\n"
              "  probe \"2\" id \"2\" value \"\"\n");
}

TEST(DataReader, ReadsConvertedTextPages) {
    EXPECT_EQ(read(flat_data),
              "unit \"S123\" id \"S123\" battery \"\"\n"
              "  probe \"1\" id \"1\" value \"71.6\"\n"
              "  probe \"2\" id \"2\" value \"73.4\"\n");
    EXPECT_EQ(read(grouped_data),
              "unit \"S9\" id \"S9\" battery \"\"\n"
              "  probe \"1\" id \"1\" value \"70.2\"\n"
              "  probe \"2\" id \"2\" value \"45\"\n"
              "  probe \"3\" id \"3\" value \"0\"\n");
}

TEST(DataReader, KeysProbesByIdAloneWhateverTheirGroup) {
    EXPECT_EQ(read(uR"(<Ambivox id="N"><Group id="1"><Probe id="1"><Value>10</Value></Probe>)"
                   uR"(<Probe id="2"><Value>20</Value></Probe></Group>)"
                   uR"(<Group id="2"><Probe id="1"><Value>11</Value></Probe>)"
                   uR"(<Probe id="10"><Value>100</Value></Probe></Group>)"
                   // Ids alike in their first four code units.
                   uR"(<Probe id="12345"><Value>a</Value></Probe><Probe id="1234"><Value>b)"
                   uR"(</Value></Probe><Probe id="12340"><Value>c</Value></Probe>)"
                   uR"(<Probe id="12345"><Value>d</Value></Probe></Ambivox>)"),
              "unit \"N\" id \"N\" battery \"\"\n"
              "  probe \"1\" id \"1\" value \"11\"\n"
              "  probe \"10\" id \"10\" value \"100\"\n"
              "  probe \"1234\" id \"1234\" value \"b\"\n"
              "  probe \"12340\" id \"12340\" value \"c\"\n"
              "  probe \"12345\" id \"12345\" value \"d\"\n"
              "  probe \"2\" id \"2\" value \"20\"\n");
}

// Enough probes to fill many storage blocks, one id repeated at the end.
TEST(DataReader, ManyProbesAreEachFoundByIdInIdOrder) {
    std::u16string document = uR"(<Ambivox id="N">)";
    for (int id = 1; id <= 300; ++id)
        document +=
            u"<Probe id=\"" + number(id) + u"\"><Value>" + number(id * 2) + u"</Value></Probe>";
    document += uR"(<Probe id="7"><Value>late</Value></Probe></Ambivox>)";
    CXMLAmbivoxData reader;
    ASSERT_EQ(parse_whole(document, &reader), S_OK);
    auto const& probes = reader.units().at(u"N")->probes;
    ASSERT_EQ(probes.size(), 300u);
    for (int id = 1; id <= 300; ++id)
        EXPECT_EQ(probes.at(number(id)).value, id == 7 ? u"late" : number(id * 2)) << id;
    EXPECT_TRUE(std::is_sorted(probes.begin(), probes.end()));
    EXPECT_EQ(probes.find(u"301"), probes.end());
}

TEST(DataReader, ValueText) {
    // Blank text never arrives; text of any element nested in Value does; a probe without a
    // Value keeps an empty value; prefixed names are read by their local name.
    EXPECT_EQ(read(uR"(<Ambivox id="N"><Probe id="1"><Value> </Value></Probe>)"
                   uR"(<Probe id="2"><Value><b>5</b></Value></Probe><Probe id="3"/>)"
                   uR"(<v:Probe xmlns:v="urn:v" v:id="4"><v:Value>4.5</v:Value></v:Probe>)"
                   uR"(<Probe id="5"><Value>1&amp;2</Value></Probe></Ambivox>)"),
              "unit \"N\" id \"N\" battery \"\"\n"
              "  probe \"1\" id \"1\" value \"\"\n"
              "  probe \"2\" id \"2\" value \"5\"\n"
              "  probe \"3\" id \"3\" value \"\"\n"
              "  probe \"4\" id \"4\" value \"4.5\"\n"
              "  probe \"5\" id \"5\" value \"1&2\"\n");
}

TEST(DataReader, CutOffDocumentsKeepOnlyCompletedUnits) {
    std::u16string const document = model_q_data(u"Bat Ok", u"71.2", u"-99.9");
    for (std::size_t length = 0; length < document.size(); ++length) {
        auto const result = read_both_ways<CXMLAmbivoxData>(document.substr(0, length));
        EXPECT_TRUE(FAILED(result.result)) << "cut at " << length;
        EXPECT_EQ(result.records, "") << "cut at " << length;
    }
    auto const result = read_both_ways<CXMLAmbivoxData>(
        uR"(<Site><Ambivox id="1"><Probe id="1"><Value>1</Value></Probe></Ambivox>)"
        uR"(<Ambivox id="2"><Probe id="1"><Value>2</Value></Probe><Probe id="2"><Value>3)");
    EXPECT_TRUE(FAILED(result.result));
    EXPECT_EQ(result.records,
              "unit \"1\" id \"1\" battery \"\"\n"
              "  probe \"1\" id \"1\" value \"1\"\n");
}

TEST(DataReader, IgnoresTextAndProbesOutsideAnOpenUnit) {
    EXPECT_EQ(read(uR"(<Site><BatteryStatus>stray</BatteryStatus><Value>9</Value>)"
                   uR"(<Probe id="9"><Value>9</Value></Probe>)"
                   uR"(<Ambivox id="A"><Value>lost</Value><Probe id="1"/></Ambivox></Site>)"),
              "unit \"A\" id \"A\" battery \"\"\n"
              "  probe \"1\" id \"1\" value \"\"\n");
}

TEST(DataReader, LaterUnitsWithEqualIdsReplaceEarlierOnes) {
    EXPECT_EQ(read(uR"(<Site><Ambivox id="2"><BatteryStatus>old</BatteryStatus></Ambivox>)"
                   uR"(<Ambivox id="10"/><Ambivox id="2"><BatteryStatus>new</BatteryStatus>)"
                   uR"(</Ambivox></Site>)"),
              "unit \"10\" id \"10\" battery \"\"\n"
              "unit \"2\" id \"2\" battery \"new\"\n");
    CXMLAmbivoxData reader;
    EXPECT_EQ(parse_whole(flat_data, &reader), S_OK);
    EXPECT_EQ(parse_whole(grouped_data, &reader), S_OK);
    EXPECT_EQ(reader.units().size(), 2u);
}

TEST(DataReader, TextInPiecesLeavesTheLastPiece) {
    CXMLAmbivoxData reader;
    reader.OnStartElement(XMLElement{u"Ambivox", {}});
    reader.OnStartElement(XMLElement{u"BatteryStatus", {}});
    reader.OnCharacters(u"Bat");
    reader.OnCharacters(u" Ok");
    reader.OnEndElement(XMLElement{u"BatteryStatus", {}});
    reader.OnStartElement(XMLElement{u"Probe", {{u"id", u"1"}}});
    reader.OnStartElement(XMLElement{u"Value", {}});
    reader.OnCharacters(u"71");
    reader.OnCharacters(u".2");
    reader.OnEndElement(XMLElement{u"Value", {}});
    reader.OnCharacters(u"after");
    reader.OnEndElement(XMLElement{u"Probe", {}});
    reader.OnEndElement(XMLElement{u"Ambivox", {}});
    EXPECT_EQ(records(reader),
              "unit \"\" id \"\" battery \" Ok\"\n"
              "  probe \"1\" id \"1\" value \".2\"\n");
}

// More distinct names than the reader keeps converted: each element still arrives by its own
// name, the one it ends the name cache with included.
TEST(DataReader, DocumentsOfManyDistinctNamesLoseNothing) {
    std::u16string document = u"<Ambivox id=\"S\"><single/>";
    for (int k = 0; k < 2046; ++k) {
        std::string const n = std::to_string(k);
        std::u16string const k16(n.begin(), n.end());
        document += u"<j" + k16 + u" a" + k16 + u"=\"v\"/>";
    }
    document +=
        u"<BatteryStatus note=\"x\">Bat Ok</BatteryStatus><Probe id=\"1\"><Value>5</Value></Probe>"
        u"</Ambivox>";
    EXPECT_EQ(read(document),
              "unit \"S\" id \"S\" battery \"Bat Ok\"\n"
              "  probe \"1\" id \"1\" value \"5\"\n");
}

}  // namespace
