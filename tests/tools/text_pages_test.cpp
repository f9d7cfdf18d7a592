// A Model N device without XML documents, read by `ambivox poll` through its text pages, which
// always sit on port 80: served on 127.0.0.1:80 inside the test program's private network, and
// skipped where that port cannot be had.
#include <memory>
#include <regex>
#include <string>
#include <system_error>

#include "tests/tools/AmbivoxProgram.h"
#include "tools/simulators/SimulatedModelN.h"

namespace {

using ambivox::simulation::DeviceDocuments;
using ambivox::simulation::SimulatedModelN;
using ambivox::testing::ambivox;

std::unique_ptr<SimulatedModelN> on_port_80(DeviceDocuments documents) {
    SimulatedModelN::options settings;
    settings.port = 80;
    settings.xml = false;
    settings.drift = false;
    try {
        return std::make_unique<SimulatedModelN>(std::move(documents), settings);
    } catch (std::system_error const&) {
        return nullptr;
    }
}

class TextPages : public ambivox::testing::AmbivoxTest {};

TEST_F(TextPages, FlatAndGroupedPagesBecomeTheSameTable) {
    {
        auto device = on_port_80(DeviceDocuments("N3", "Lab", "SN-3", "T:Inlet,T:Outlet"));
        if (!device) GTEST_SKIP() << "port 80 cannot be bound here";
        EXPECT_EQ(device->address(), "127.0.0.1");
        auto const run = ambivox({"poll", "modeln", "127.0.0.1", "--model", "N3"});
        ASSERT_EQ(run.code, 0) << run.out << run.err;
        auto const rows = lines(run.out);
        ASSERT_EQ(rows.size(), 3u) << run.out;
        EXPECT_TRUE(std::regex_match(
            rows[1], std::regex(R"(Lab \(127\.0\.0\.1\)  1      Inlet   Temperature  68 +F +.*)")))
            << rows[1];
        EXPECT_TRUE(std::regex_match(
            rows[2],
            std::regex(R"(Lab \(127\.0\.0\.1\)  2      Outlet  Temperature  69\.3 +F +.*)")))
            << rows[2];
    }
    auto device = on_port_80(DeviceDocuments("NX2", "Room", "SN-9", "T:Temp,H:Hum,W:Floor"));
    ASSERT_TRUE(device);
    auto const run = ambivox({"poll", "modeln", "127.0.0.1", "--model", "NX2", "--json"});
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    for (char const* text :
         {R"("name": "Room")", R"("serial": "SN-9")", R"("type": "Temperature")",
          R"("type": "Humidity")", R"("type": "Wetness")", R"("value": 68)", R"("unit": "F")",
          R"("value": 48)", R"("unit": "H")", R"("value": 0)", R"("unit": "W")"})
        EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
}

}  // namespace
