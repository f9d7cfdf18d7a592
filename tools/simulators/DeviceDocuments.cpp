#include "tools/simulators/DeviceDocuments.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <stdexcept>

namespace ambivox::simulation {

namespace {

constexpr char website[] = "http://www.ambivox.example/";
constexpr double temperature_low = 55.0;
constexpr double temperature_high = 90.0;
constexpr double humidity_low = 15.0;
constexpr double humidity_high = 90.0;

[[noreturn]] void refuse(std::string const& why) {
    throw std::invalid_argument(why);
}

std::string xml_escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char const c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// The text pages cannot carry the separator, and an empty field would vanish from them and
// shift every field after it.
void check_page_text(std::string_view what, std::string_view text) {
    if (text.empty()) refuse(std::string(what) + " may not be empty");
    if (text.find('|') != std::string_view::npos)
        refuse(std::string(what) + " may not contain \"|\": \"" + std::string(text) + "\"");
}

std::string default_name(char letter, std::size_t index, bool grouped) {
    if (!grouped) return "Probe " + std::to_string(index + 1);
    std::string const group = std::to_string(index / 3 + 1);
    switch (letter) {
        case 'H':
            return "Humidity " + group;
        case 'W':
            return "Wetness " + group;
        case 'S':
            return "Switch " + group;
        default:
            return "Temperature " + group;
    }
}

std::string default_probes(std::string_view model) {
    if (model == "N3") return "T:Inlet,T:Outlet";
    if (model == "N7") return "T:Inlet,T:Outlet,T:Rack 1,T:Rack 2";
    if (model == "N15") return "T:Inlet,T:Outlet,T:Rack 1,T:Rack 2,T:Rack 3,T:Rack 4";
    return "T:Temp North,H:Humidity North,W:Floor North,T:Temp South,H:Humidity South,"
           "W:Floor South";
}

double initial_value(char letter, std::size_t index) {
    switch (letter) {
        case 'T':
            return 68.0 + 1.3 * static_cast<double>(index % 10);
        case 'H':
            return 45.0 + 3.0 * static_cast<double>(index % 10);
        default:
            return 0.0;
    }
}

std::vector<SimulatedProbe> parse_probes(std::string_view list, bool grouped) {
    std::vector<SimulatedProbe> probes;
    list = trimmed(list);
    if (!list.empty() &&
        std::all_of(list.begin(), list.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        std::size_t count = 0;
        auto const [end, error] = std::from_chars(list.data(), list.data() + list.size(), count);
        if (error != std::errc{} || end != list.data() + list.size() || count == 0 ||
            count > DeviceDocuments::max_probes)
            refuse("a probe count must be between 1 and " +
                   std::to_string(DeviceDocuments::max_probes));
        static constexpr std::array<char, 3> group_letters{'T', 'H', 'W'};
        for (std::size_t i = 0; i < count; ++i) {
            char const letter = grouped ? group_letters[i % 3] : 'T';
            probes.push_back({letter, default_name(letter, i, grouped), 0});
        }
        return probes;
    }
    std::size_t at = 0;
    while (at <= list.size()) {
        std::size_t const comma = std::min(list.find(',', at), list.size());
        std::string_view const item = trimmed(list.substr(at, comma - at));
        at = comma + 1;
        if (item.empty()) refuse("the probe list has an empty item: \"" + std::string(list) + "\"");
        char const letter = static_cast<char>(std::toupper(static_cast<unsigned char>(item[0])));
        if (std::string_view("THWS").find(letter) == std::string_view::npos ||
            (item.size() > 1 && item[1] != ':'))
            refuse("a probe is T, H, W or S, optionally followed by \":NAME\": \"" +
                   std::string(item) + "\"");
        std::string name(item.size() > 2 ? trimmed(item.substr(2)) : std::string_view{});
        if (name.empty()) name = default_name(letter, probes.size(), grouped);
        probes.push_back({letter, std::move(name), 0});
        if (probes.size() > DeviceDocuments::max_probes)
            refuse("a device has at most " + std::to_string(DeviceDocuments::max_probes) +
                   " probes");
    }
    return probes;
}

}  // namespace

DeviceDocuments::DeviceDocuments(std::string model, std::string unitName, std::string serial,
                                 std::string_view probeList)
    : m_model(std::move(model)),
      m_unitName(std::move(unitName)),
      m_serial(std::move(serial)),
      m_random(std::hash<std::string>{}(m_serial)) {
    if (!known_model(m_model))
        refuse("unknown model \"" + m_model + "\": a Model N device is an N3, N7, N15 or NX2");
    check_page_text("the unit name", m_unitName);
    check_page_text("the serial number", m_serial);
    m_probes =
        parse_probes(trimmed(probeList).empty() ? default_probes(m_model) : probeList, grouped());
    for (std::size_t i = 0; i < m_probes.size(); ++i) {
        SimulatedProbe& probe = m_probes[i];
        check_page_text("a probe name", probe.name);
        if (!grouped() && probe.letter != 'T')
            refuse("an " + m_model +
                   " has temperature probes only; humidity, wetness and switch probes need an "
                   "NX2");
        probe.value = initial_value(probe.letter, i);
    }
    if (grouped() && m_probes.size() % 3 != 0)
        refuse("an NX2 holds its probes in groups of three; " + std::to_string(m_probes.size()) +
               " probes do not fill them");
}

bool DeviceDocuments::known_model(std::string_view model) noexcept {
    return model == "N3" || model == "N7" || model == "N15" || model == "NX2";
}

std::string_view DeviceDocuments::type_of(char letter) noexcept {
    switch (letter) {
        case 'H':
            return "Humidity";
        case 'W':
            return "Wetness";
        case 'S':
            return "Switch";
        default:
            return "Temperature";
    }
}

std::string_view DeviceDocuments::units_of(char letter) noexcept {
    switch (letter) {
        case 'T':
            return "F";
        case 'H':
            return "H";
        case 'W':
            return "W";
        default:
            return "";
    }
}

std::string DeviceDocuments::format_value(SimulatedProbe const& probe) {
    char text[32];
    if (probe.letter == 'T' || probe.letter == 'H')
        std::snprintf(text, sizeof text, "%.1f", probe.value);
    else
        std::snprintf(text, sizeof text, "%d", probe.value >= 0.5 ? 1 : 0);
    return text;
}

std::string DeviceDocuments::xml_configuration() const {
    bool const flat = !grouped();
    std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    doc += "<Ambivox id=\"" + xml_escaped(m_serial) + "\">\n";
    doc += "  <Unit>\n";
    doc += "    <Name>" + xml_escaped(m_unitName) + "</Name>\n";
    doc += "    <Model>" + m_model + "</Model>\n";
    doc += "    <Serial_Number>" + xml_escaped(m_serial) + "</Serial_Number>\n";
    doc += flat ? "    <Firmware_Release_Date>2003-11-20</Firmware_Release_Date>\n"
                : "    <Firmware_Release_Date>2005-03-14</Firmware_Release_Date>\n";
    doc += flat ? "    <Firmware_Version>1.4</Firmware_Version>\n"
                : "    <Firmware_Version>2.1</Firmware_Version>\n";
    doc += std::string("    <Website>") + website + "</Website>\n";
    doc += "    <Manufacturer>Ambivox</Manufacturer>\n";
    doc += "  </Unit>\n";
    std::string const indent = flat ? "  " : "    ";
    for (std::size_t i = 0; i < m_probes.size(); ++i) {
        if (!flat && i % 3 == 0) {
            std::string const group = std::to_string(i / 3 + 1);
            doc += "  <Group id=\"" + group + "\">\n    <Name>Group " + group + "</Name>\n";
        }
        SimulatedProbe const& probe = m_probes[i];
        doc += indent + "<Probe id=\"" + std::to_string(i + 1) + "\" type=\"" +
               std::string(type_of(probe.letter)) + "\"><Name>" + xml_escaped(probe.name) +
               "</Name><Units>" + std::string(units_of(probe.letter)) + "</Units></Probe>\n";
        if (!flat && i % 3 == 2) doc += "  </Group>\n";
    }
    doc += "</Ambivox>\n";
    return doc;
}

std::string DeviceDocuments::xml_data() const {
    bool const flat = !grouped();
    std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    doc += "<Ambivox id=\"" + xml_escaped(m_serial) + "\">\n";
    std::string const indent = flat ? "  " : "    ";
    for (std::size_t i = 0; i < m_probes.size(); ++i) {
        if (!flat && i % 3 == 0) doc += "  <Group id=\"" + std::to_string(i / 3 + 1) + "\">\n";
        doc += indent + "<Probe id=\"" + std::to_string(i + 1) + "\"><Value>" +
               format_value(m_probes[i]) + "</Value></Probe>\n";
        if (!flat && i % 3 == 2) doc += "  </Group>\n";
    }
    doc += "</Ambivox>\n";
    return doc;
}

std::string DeviceDocuments::configuration_page() const {
    // Identifier, name, model, a field the readers skip, then either the probes (flat) or the
    // firmware version and the groups (grouped).
    std::string page = m_serial + "|" + m_unitName + "|Model " + m_model;
    if (!grouped()) {
        page += "|1.4";
        for (std::size_t i = 0; i < m_probes.size(); ++i)
            page += "|" + std::to_string(i + 1) + "|" + m_probes[i].name;
        return page;
    }
    page += "|00:50:c2:00:00:01|2.1";
    for (std::size_t i = 0; i < m_probes.size(); ++i) {
        if (i % 3 == 0) {
            std::string const group = std::to_string(i / 3 + 1);
            page += "|" + group + "|Group " + group;
        }
        page += std::string("|") + m_probes[i].letter + "|" + m_probes[i].name;
    }
    return page;
}

std::string DeviceDocuments::data_page() const {
    std::string page;
    if (grouped()) {
        page = "F";
        for (SimulatedProbe const& probe : m_probes)
            page += "|" + format_value(probe);
        return page;
    }
    for (SimulatedProbe const& probe : m_probes) {
        if (!page.empty()) page += "|";
        page += probe.name + "|" + format_value(probe);
    }
    return page;
}

std::string_view DeviceDocuments::data_page_path() const noexcept {
    return grouped() ? "/data" : "/temp";
}

void DeviceDocuments::drift() {
    std::uniform_real_distribution<double> step(-0.4, 0.4);
    std::bernoulli_distribution flip(0.1);
    for (SimulatedProbe& probe : m_probes) {
        switch (probe.letter) {
            case 'T':
                probe.value =
                    std::clamp(probe.value + step(m_random), temperature_low, temperature_high);
                break;
            case 'H':
                probe.value =
                    std::clamp(probe.value + 2 * step(m_random), humidity_low, humidity_high);
                break;
            default:
                if (flip(m_random)) probe.value = probe.value >= 0.5 ? 0.0 : 1.0;
        }
    }
}

}  // namespace ambivox::simulation
