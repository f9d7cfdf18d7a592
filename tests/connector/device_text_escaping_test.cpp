// Device texts with markup characters give well-formed documents whose records hold the
// original texts, checked by an independent XML parser as well as by the library's readers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "connector/TextPageConverter.h"
#include "connector/UnifiedDocuments.h"
#include "tests/xml/DocumentParsing.h"

namespace {

using ambivox::TextPageConverter;
using ambivox::UnifiedDocuments;

// xmllint's verdict on a document, or -1 when the tool is not installed.
int xmllint_status(std::u16string const& document) {
    if (std::system("command -v xmllint >/dev/null 2>&1") != 0) return -1;
    char path[] = "/tmp/ambivox-xmlXXXXXX";
    int const fd = mkstemp(path);
    if (fd < 0) return -1;
    close(fd);
    std::ofstream(path, std::ios::binary) << ambivox::narrow(document, CP_UTF8);
    int const status =
        std::system((std::string("xmllint --noout ") + path + " 2>/dev/null").c_str());
    std::remove(path);
    return status;
}

class DeviceTextEscaping : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(DeviceTextEscaping, MarkupInEveryFieldArrivesAsWritten) {
    // The unit id lands in an attribute and in element text; the text in names, in the group or
    // probe id attribute and in a value. Attribute normalisation and end-of-line handling must
    // not reach white space the device wrote.
    struct row {
        std::u16string id;
        std::u16string text;
    };
    row const rows[] = {
        {u"id&1", u"R&D <Lab> \"A\""},
        {u"S\t1", u"a\tb"},
        {u"S\r\n1\n", u"a\r\nb\rc\n d"},
    };
    for (row const& r : rows) {
        for (char16_t const* model : {u"N3", u"NX2"}) {
            bool const grouped = std::u16string(model) == u"NX2";
            std::u16string const config =
                grouped ? r.id + u"|" + r.text + u"|Model NX2|x|v<2>|" + r.text + u"|" + r.text +
                              u"|T|" + r.text + u"|X&Y|p\"2|W|p3"
                        : r.id + u"|" + r.text + u"|Model N3|v|" + r.text + u"|" + r.text;
            std::u16string const data = grouped ? u"F&|" + r.text + u"|2>|3\"" : u"l|" + r.text;
            auto const docs = TextPageConverter::convert(model, config, data);
            for (auto const* document : {&docs.configuration, &docs.data}) {
                int const lint = xmllint_status(*document);
                if (lint >= 0) {
                    EXPECT_EQ(lint, 0) << ambivox::narrow(*document, CP_UTF8);
                }
            }

            ambivox::CXMLAmbivoxConfig configReader;
            ASSERT_EQ(ambivox::testing::parse_whole(docs.configuration, &configReader), S_OK);
            auto const& unit = *configReader.units().begin()->second;
            EXPECT_EQ(unit.id, r.id);
            EXPECT_EQ(unit.name, r.text);
            auto const& probe = *unit.probes.begin()->second;
            EXPECT_EQ(probe.name, r.text);
            EXPECT_EQ(grouped ? probe.group : probe.id, r.text);

            ambivox::CXMLAmbivoxData dataReader;
            ASSERT_EQ(ambivox::testing::parse_whole(docs.data, &dataReader), S_OK);
            EXPECT_EQ(dataReader.units().begin()->second->id, r.id);
            EXPECT_EQ(dataReader.units().begin()->second->probes.begin()->second->value, r.text);
        }
    }
}

TEST_F(DeviceTextEscaping, CharactersNoDocumentMayHoldBecomeReplacementCharacters) {
    auto const docs = TextPageConverter::convert(u"N3",
                                                 u"S|a\x01"
                                                 u"b|N3|v",
                                                 u"");
    EXPECT_EQ(xmllint_status(docs.configuration) <= 0, true);
    ambivox::CXMLAmbivoxConfig reader;
    ASSERT_EQ(ambivox::testing::parse_whole(docs.configuration, &reader), S_OK);
    EXPECT_EQ(reader.units().begin()->second->name, u"a\uFFFDb");
}

TEST_F(DeviceTextEscaping, ModelQDocumentsReadBackIntoTheExpectedRecords) {
    ambivox::CXMLAmbivoxConfig config;
    ASSERT_EQ(ambivox::testing::parse_whole(UnifiedDocuments::model_q_configuration, &config),
              S_OK);
    EXPECT_EQ(ambivox::testing::records(config),
              "unit \"\" id \"\" name \"\" model \"ModelQ\" firmware \"\" released \"\"\n"
              "  probe \"1\" id \"1\" hint \"\" type \"Temperature\" name \"Probe 1\" units "
              "\"\xC2\xB0"
              "F\" group \"1\"\n"
              "  probe \"2\" id \"2\" hint \"\" type \"Temperature\" name \"Probe 2\" units "
              "\"\xC2\xB0"
              "F\" group \"1\"\n");

    std::u16string const data = UnifiedDocuments::model_q_data(u"Bat Ok", u"72.5", u"-99.9");
    EXPECT_EQ(data,
              u"<Ambivox><BatteryStatus>Bat Ok</BatteryStatus><Group id=\"1\"><Probe id=\"1\">"
              u"<Value>72.5</Value></Probe><Probe id=\"2\"><Value>-99.9</Value></Probe></Group>"
              u"</Ambivox>");
    // The battery status is trimmed at its end only; white space within it arrives as written.
    struct row {
        std::u16string_view battery;
        std::u16string_view read;
    };
    for (row const r : {row{u" B&t ", u" B&t"}, row{u"\tB\r\nt\r\n", u"\tB\r\nt"}}) {
        ambivox::CXMLAmbivoxData reader;
        ASSERT_EQ(ambivox::testing::parse_whole(
                      UnifiedDocuments::model_q_data(r.battery, u"", u"1"), &reader),
                  S_OK);
        auto const& unit = *reader.units().begin()->second;
        EXPECT_EQ(unit.battery_status, r.read);
        EXPECT_EQ(unit.probes.at(u"1").value, u"") << "an empty value is an empty element";
    }
}

}  // namespace
