// UnifiedDocuments: the one XML form every device document takes before the readers see it,
// and the fragments the library writes it from. Device texts go in escaped, so a name such as
// "R&D Lab" neither breaks a document nor can forge elements in it.
#pragma once

#include <string>
#include <string_view>

namespace ambivox {

class UnifiedDocuments {
public:
    // The configuration of every Model Q device.
    static constexpr std::u16string_view model_q_configuration =
        u"<Ambivox><Unit><Model>ModelQ</Model></Unit><Group id=\"1\"><Probe id=\"1\" "
        u"type=\"Temperature\"><Name>Probe 1</Name><Units>\u00B0F</Units></Probe><Probe id=\"2\" "
        u"type=\"Temperature\"><Name>Probe "
        u"2</Name><Units>\u00B0F</Units></Probe></Group></Ambivox>";

    // Battery status, value of probe 1, value of probe 2.
    static constexpr std::u16string_view model_q_data_template =
        u"<Ambivox><BatteryStatus>%s</BatteryStatus><Group id=\"1\"><Probe id=\"1\"><Value>%s</"
        u"Value></Probe><Probe id=\"2\"><Value>%s</Value></Probe></Group></Ambivox>";

    // The manufacturer's web address, written into every converted configuration.
    static constexpr std::u16string_view website = u"http://www.ambivox.example/";

    // Fragments of the converted documents.
    static constexpr std::u16string_view root_start = u"<Ambivox id=\"%s\">";
    static constexpr std::u16string_view root_end = u"</Ambivox>";
    static constexpr std::u16string_view unit_start = u"<Unit>";
    static constexpr std::u16string_view unit_end = u"</Unit>";
    static constexpr std::u16string_view name = u"<Name>%s</Name>";
    static constexpr std::u16string_view model = u"<Model>%s</Model>";
    static constexpr std::u16string_view serial_number = u"<Serial_Number>%s</Serial_Number>";
    static constexpr std::u16string_view empty_release_date =
        u"<Firmware_Release_Date></Firmware_Release_Date>";
    static constexpr std::u16string_view empty_firmware_version =
        u"<Firmware_Version></Firmware_Version>";
    static constexpr std::u16string_view firmware_version =
        u"<Firmware_Version>%s</Firmware_Version>";
    static constexpr std::u16string_view website_element = u"<Website>%s</Website>";
    static constexpr std::u16string_view manufacturer = u"<Manufacturer>Ambivox</Manufacturer>";
    static constexpr std::u16string_view flat_config_probe =
        u"<Probe id=\"%s\" type=\"Temperature\">";
    static constexpr std::u16string_view grouped_config_probe = u"<Probe id=\"%d\" type=\"%s\">";
    static constexpr std::u16string_view flat_units = u"<Units>F</Units>";
    static constexpr std::u16string_view units = u"<Units>%s</Units>";
    static constexpr std::u16string_view config_group = u"<Group id=\"%s\">";
    static constexpr std::u16string_view data_group = u"<Group id=\"%d\">";
    static constexpr std::u16string_view group_end = u"</Group>";
    static constexpr std::u16string_view data_probe = u"<Probe id=\"%d\">";
    static constexpr std::u16string_view value = u"<Value>%s</Value>";
    static constexpr std::u16string_view probe_end = u"</Probe>";

    // A device text made safe for element content and attribute values: markup characters and
    // the white space a parser would normalise (TAB, LF, CR) become references, and characters
    // no XML document may hold become U+FFFD.
    static std::u16string escaped(std::u16string_view text);

    // The Model Q data document for one reading of the device.
    static std::u16string model_q_data(std::u16string_view batteryStatus,
                                       std::u16string_view probe1, std::u16string_view probe2);
};

}  // namespace ambivox
