// Pages that end early: which stop the conversion with E_INVALIDARG, and which give documents
// with an element left open that then fail to parse.
#include <gtest/gtest.h>

#include "connector/TextPageConverter.h"
#include "platform/base/HResultBoundary.h"
#include "tests/xml/DocumentParsing.h"

namespace {

using ambivox::TextPageConverter;

HRESULT conversion_result(std::u16string_view model, std::u16string_view config,
                          std::u16string_view data) {
    try {
        TextPageConverter::convert(model, config, data);
        return S_OK;
    } catch (ambivox::hresult_error const& e) {
        return e.code();
    }
}

HRESULT parse_config(std::u16string const& document) {
    ambivox::CXMLAmbivoxConfig reader;
    return ambivox::testing::parse_whole(document, &reader);
}

class TextPageTruncation : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(TextPageTruncation, PagesReadPastTheirEndAreRefused) {
    struct refused {
        char16_t const* model;
        char16_t const* config;
        char16_t const* data;
        char const* why;
    };
    for (auto const& c : {
             refused{u"N3", u"", u"a|1", "empty configuration, flat"},
             refused{u"NX2", u"", u"F|1", "empty configuration, grouped"},
             refused{u"NX2", u"S|N|NX2|x|1", u"", "empty grouped data page"},
             refused{u"N3", u"S|N|N3|v", u"a|1|b", "flat data page with a label and no value"},
             refused{u"N3", u"S|N|N3|v|1", u"", "flat probe id without a name"},
             refused{u"NX2", u"S|N|NX2|x|1|7", u"F", "grouped page ending after a group id"},
             refused{u"NX2", u"S|N|NX2|x|1|7|North", u"F", "ending after a group name"},
             refused{u"NX2", u"S|N|NX2|x|1|7|North|T", u"F", "ending after a type letter"},
         })
        EXPECT_EQ(conversion_result(c.model, c.config, c.data), E_INVALIDARG) << c.why;
}

TEST_F(TextPageTruncation, PagesEndingInsideABlockLeaveItOpenAndFailToParse) {
    // Inside the unit block: Unit stays open.
    auto const flat = TextPageConverter::convert(u"N3", u"S|Lab", u"");
    EXPECT_EQ(flat.configuration, u"<Ambivox id=\"S\"><Unit><Name>Lab</Name></Ambivox>");
    EXPECT_EQ(parse_config(flat.configuration), XML_E_MALFORMED);

    // After the first probe of a group: the group stays open.
    auto const grouped =
        TextPageConverter::convert(u"NX2", u"S|N|NX2|x|1|7|North|T|Temp", u"F|1|2|3|4");
    EXPECT_EQ(parse_config(grouped.configuration), XML_E_MALFORMED);
    // Four values: the second data group is left open.
    EXPECT_NE(grouped.data.find(u"<Group id=\"2\"><Probe id=\"4\">"), std::u16string::npos);
    ambivox::CXMLAmbivoxData data;
    EXPECT_EQ(ambivox::testing::parse_whole(grouped.data, &data), XML_E_MALFORMED);
}

TEST_F(TextPageTruncation, EdgesThatStillConvertCleanly) {
    EXPECT_EQ(TextPageConverter::convert(u"N3", u"S1|Lab|N3|v", u"").data,
              u"<Ambivox id=\"S1\"></Ambivox>");
    EXPECT_EQ(TextPageConverter::convert(u"N3", u"S1", u"").configuration,
              u"<Ambivox id=\"S1\"></Ambivox>");
    EXPECT_EQ(TextPageConverter::convert(u"NX2", u"S1", u"F").configuration,
              u"<Ambivox id=\"S1\"></Ambivox>");
    EXPECT_EQ(TextPageConverter::convert(u"NX2", u"S1", u"F").data,
              u"<Ambivox id=\"S1\"></Ambivox>")
        << "a grouped data page with only the unit letter";

    auto const four = TextPageConverter::convert(u"N3", u"S1|Lab|N3|v", u"");
    EXPECT_NE(four.configuration.find(u"</Unit></Ambivox>"), std::u16string::npos);
    EXPECT_EQ(parse_config(four.configuration), S_OK);
}

TEST_F(TextPageTruncation, SeparatorsAndModelFieldsFollowTheFieldRules) {
    auto const single = TextPageConverter::convert(u"N3", u"S|Lab|Model N3|v|1|In", u"In|70");
    auto const doubled =
        TextPageConverter::convert(u"N3", u"||S||Lab|Model N3||v|1||In|", u"|In||70|");
    EXPECT_EQ(single.configuration, doubled.configuration);
    EXPECT_EQ(single.data, doubled.data);

    auto model = [](std::u16string_view field) {
        std::u16string const page = u"S|Lab|" + std::u16string(field) + u"|v";
        auto const config = TextPageConverter::convert(u"N3", page, u"").configuration;
        auto const start = config.find(u"<Model>") + 7;
        return config.substr(start, config.find(u"</Model>") - start);
    };
    EXPECT_EQ(model(u"Model  N7"), u"N7");
    EXPECT_EQ(model(u"Modem"), u"m");
    EXPECT_EQ(model(u"N15"), u"N15");

    // Only exactly "NX2" is grouped.
    for (char16_t const* flatModel : {u"nx2", u"NX2 ", u""})
        EXPECT_NE(TextPageConverter::convert(flatModel, u"S|N|M|v|1|In", u"In|1")
                      .configuration.find(u"type=\"Temperature\"><Name>In</Name><Units>F</Units>"),
                  std::u16string::npos);
    // A lower-case type letter is not mapped.
    auto const lower =
        TextPageConverter::convert(u"NX2", u"S|N|NX2|x|1|7|G|t|A|H|B|W|C", u"F|1|2|3");
    EXPECT_NE(lower.configuration.find(u"<Probe id=\"1\" type=\"t\"><Name>A</Name><Units></Units>"),
              std::u16string::npos);
}

}  // namespace
