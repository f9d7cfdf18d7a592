// What a simulated Model N device serves: probes from a probe list, XML documents that are well
// formed whatever the names hold (xmllint is the judge), text pages in the device's field layout,
// and readings that drift within plausible bounds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

#include "tests/support/TempRegistry.h"
#include "tools/simulators/DeviceDocuments.h"

namespace {

using ambivox::simulation::DeviceDocuments;

std::string letters(DeviceDocuments const& documents) {
    std::string result;
    for (auto const& probe : documents.probes())
        result += probe.letter;
    return result;
}

std::string names(DeviceDocuments const& documents) {
    std::string result;
    for (auto const& probe : documents.probes())
        result += (result.empty() ? "" : ",") + probe.name;
    return result;
}

TEST(DeviceDocuments, ProbesFromAList) {
    EXPECT_EQ(names(DeviceDocuments("N3", "Lab", "S1")), "Inlet,Outlet");

    DeviceDocuments const counted("N7", "Lab", "S1", "4");
    EXPECT_EQ(letters(counted), "TTTT");
    EXPECT_EQ(names(counted), "Probe 1,Probe 2,Probe 3,Probe 4");

    DeviceDocuments const grouped("NX2", "Lab", "S1", "6");
    EXPECT_EQ(letters(grouped), "THWTHW");
    EXPECT_EQ(names(grouped),
              "Temperature 1,Humidity 1,Wetness 1,Temperature 2,Humidity 2,Wetness 2");

    DeviceDocuments const listed("NX2", "Lab", "S1", " t:Inlet , h:Air air ,W");
    EXPECT_EQ(letters(listed), "THW");
    EXPECT_EQ(names(listed), "Inlet,Air air,Wetness 1");

    struct refused {
        char const* model;
        char const* probes;
    };
    for (auto const& r : {refused{"N9", ""}, refused{"n3", ""}, refused{"N15", "T:A,H:B"},
                          refused{"NX2", "4"}, refused{"NX2", "T,H"}, refused{"N3", "X:foo"},
                          refused{"N3", "T:a,,T:b"}, refused{"N3", "T:a,"}, refused{"N3", "0"},
                          refused{"N3", "97"}, refused{"N3", "T:a|b"}, refused{"N3", "Tx"}}) {
        EXPECT_THROW(DeviceDocuments(r.model, "Lab", "S1", r.probes), std::invalid_argument)
            << r.model << " " << r.probes;
    }
    EXPECT_THROW(DeviceDocuments("N3", "", "S1"), std::invalid_argument);
    EXPECT_THROW(DeviceDocuments("N3", "Lab", "S|1"), std::invalid_argument);
}

TEST(DeviceDocuments, XmlDocumentsAreWellFormedWhateverTheNamesHold) {
    ambivox::testing::TempRegistry folder;  // a private folder for the files
    for (char const* model : {"N15", "NX2"}) {
        DeviceDocuments const documents(
            model, "R&D <Lab> \"1\"", "S<1>&",
            std::string(model) == "NX2" ? "T:A&B,H:<H>,S:\"S\"" : "T:A&B,T:<T>");
        for (auto const& [name, text] : {std::pair{"config.xml", documents.xml_configuration()},
                                         std::pair{"data.xml", documents.xml_data()}}) {
            std::string const path = folder.folder() + "/" + name;
            std::ofstream(path) << text;
            std::string const command = "xmllint --noout '" + path + "'";
            EXPECT_EQ(std::system(command.c_str()), 0) << model << " " << name << ":\n" << text;
        }
        EXPECT_NE(documents.xml_configuration().find("<Name>R&amp;D &lt;Lab&gt; &quot;1&quot;"),
                  std::string::npos);
    }
}

TEST(DeviceDocuments, TextPagesInTheDeviceFieldLayout) {
    DeviceDocuments const flat("N3", "Lab", "SN-3", "T:Inlet,T:Outlet");
    EXPECT_EQ(flat.configuration_page(), "SN-3|Lab|Model N3|1.4|1|Inlet|2|Outlet");
    EXPECT_EQ(flat.data_page(), "Inlet|68.0|Outlet|69.3");
    EXPECT_EQ(flat.data_page_path(), "/temp");

    DeviceDocuments const grouped("NX2", "Room", "SN-9", "T:Temp,H:Hum,S:Door");
    EXPECT_EQ(grouped.configuration_page(),
              "SN-9|Room|Model NX2|00:50:c2:00:00:01|2.1|1|Group 1|T|Temp|H|Hum|S|Door");
    EXPECT_EQ(grouped.data_page(), "F|68.0|48.0|0");
    EXPECT_EQ(grouped.data_page_path(), "/data");
}

TEST(DeviceDocuments, ReadingsDriftWithinBounds) {
    DeviceDocuments documents("NX2", "Room", "SN-9", "12");
    std::string const first = documents.data_page();
    bool changed = false;
    for (int i = 0; i < 2000; ++i) {
        documents.drift();
        changed = changed || documents.data_page() != first;
        for (auto const& probe : documents.probes()) {
            switch (probe.letter) {
                case 'T':
                    ASSERT_GE(probe.value, 55.0);
                    ASSERT_LE(probe.value, 90.0);
                    break;
                case 'H':
                    ASSERT_GE(probe.value, 15.0);
                    ASSERT_LE(probe.value, 90.0);
                    break;
                default:
                    ASSERT_TRUE(probe.value == 0.0 || probe.value == 1.0);
            }
        }
    }
    EXPECT_TRUE(changed);
}

}  // namespace
