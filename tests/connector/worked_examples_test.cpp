// The two worked examples of the converter, compared as whole documents.
#include <gtest/gtest.h>

#include "connector/TextPageConverter.h"
#include "connector/UnifiedDocuments.h"
#include "platform/automation/UniqueBstr.h"

namespace {

using ambivox::TextPageConverter;
using ambivox::unique_bstr;

std::u16string const website =
    u"<Website>" + std::u16string(ambivox::UnifiedDocuments::website) + u"</Website>";

TEST(WorkedExamples, FlatPagesGiveTheFlatDocuments) {
    auto const docs = TextPageConverter::convert(u"N3", u"S123|Lab|Model N3|v|1|Inlet|2|Outlet",
                                                 u"Inlet|71.6|Outlet|73.4");
    EXPECT_EQ(docs.configuration,
              u"<Ambivox id=\"S123\"><Unit><Name>Lab</Name><Model>N3</Model><Serial_Number>S123"
              u"</Serial_Number><Firmware_Release_Date></Firmware_Release_Date><Firmware_Version>"
              u"</Firmware_Version>" +
                  website +
                  u"<Manufacturer>Ambivox</Manufacturer></Unit><Probe id=\"1\" "
                  u"type=\"Temperature\"><Name>Inlet</Name><Units>F</Units></Probe><Probe id=\"2\" "
                  u"type=\"Temperature\"><Name>Outlet</Name><Units>F</Units></Probe></Ambivox>");
    EXPECT_EQ(docs.data,
              u"<Ambivox id=\"S123\"><Probe id=\"1\"><Value>71.6</Value></Probe><Probe id=\"2\">"
              u"<Value>73.4</Value></Probe></Ambivox>");
}

TEST(WorkedExamples, GroupedPagesGiveTheGroupedDocuments) {
    auto const docs = TextPageConverter::convert(
        u"NX2", u"S9|Room|Model NX2|x|2.1|1|North|T|Temp N|H|Hum N|W|Wet N", u"F|70.2|45|0");
    EXPECT_EQ(docs.configuration,
              u"<Ambivox id=\"S9\"><Unit><Name>Room</Name><Model>NX2</Model><Serial_Number>S9"
              u"</Serial_Number><Firmware_Release_Date></Firmware_Release_Date><Firmware_Version>"
              u"2.1</Firmware_Version>" +
                  website +
                  u"<Manufacturer>Ambivox</Manufacturer></Unit><Group id=\"1\"><Name>North</Name>"
                  u"<Probe id=\"1\" type=\"Temperature\"><Name>Temp N</Name><Units>F</Units>"
                  u"</Probe><Probe id=\"2\" type=\"Humidity\"><Name>Hum N</Name><Units>H</Units>"
                  u"</Probe><Probe id=\"3\" type=\"Wetness\"><Name>Wet N</Name><Units>W</Units>"
                  u"</Probe></Group></Ambivox>");
    EXPECT_EQ(docs.data,
              u"<Ambivox id=\"S9\"><Group id=\"1\"><Probe id=\"1\"><Value>70.2</Value></Probe>"
              u"<Probe id=\"2\"><Value>45</Value></Probe><Probe id=\"3\"><Value>0</Value></Probe>"
              u"</Group></Ambivox>");
}

TEST(WorkedExamples, ThroughTheAutomationStringEntryPoint) {
    unique_bstr model(u"N3"), config(u"S1|Lab|N3|v"), data(u"");
    unique_bstr configDoc, dataDoc;
    EXPECT_EQ(TextPageConverter::ConvertTextPages(model.get(), config.get(), configDoc.put(),
                                                  data.get(), dataDoc.put()),
              S_OK);
    EXPECT_EQ(dataDoc.view(), u"<Ambivox id=\"S1\"></Ambivox>");
    EXPECT_EQ(TextPageConverter::ConvertTextPages(model.get(), config.get(), nullptr, data.get(),
                                                  dataDoc.put()),
              E_POINTER);
    EXPECT_EQ(dataDoc.view(), u"<Ambivox id=\"S1\"></Ambivox>") << "the data document is stored";
    unique_bstr empty;
    EXPECT_EQ(TextPageConverter::ConvertTextPages(model.get(), empty.get(), configDoc.put(),
                                                  data.get(), dataDoc.put()),
              E_INVALIDARG);
}

}  // namespace
