// DeviceDocuments: what a simulated Model N device serves. It keeps the device's unit fields and
// probes with their current values and writes them in the device's two forms: the XML documents
// ("/xmlconfig", "/xmldata") and the "|"-separated text pages ("/config" plus "/temp" for the
// flat models N3, N7 and N15, "/data" for the grouped NX2).
//
// Probes are described by a probe list: empty for the model's default set, a count ("4"), or a list
// of TYPE[:NAME] items separated by commas ("T:Inlet,T:Outlet"), TYPE being T (temperature), H
// (humidity), W (wetness) or S (switch). The flat models carry temperature probes only, as their
// text pages have no type field; an NX2 keeps its probes in groups of three.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace ambivox::simulation {

struct SimulatedProbe {
    char letter = 'T';  // T, H, W or S
    std::string name;
    double value = 0;  // the current reading
};

class DeviceDocuments {
public:
    // Raises std::invalid_argument, with a sentence for the user, for a model other than N3, N7,
    // N15 and NX2, a probe list that cannot be read, or probes the model cannot have. Texts are
    // UTF-8 and may not hold "|", which the text pages use as separator.
    DeviceDocuments(std::string model, std::string unitName, std::string serial,
                    std::string_view probeList = {});

    static bool known_model(std::string_view model) noexcept;
    static constexpr std::size_t max_probes = 96;

    std::string const& model() const noexcept { return m_model; }
    std::string const& unit_name() const noexcept { return m_unitName; }
    std::string const& serial() const noexcept { return m_serial; }
    std::vector<SimulatedProbe> const& probes() const noexcept { return m_probes; }
    bool grouped() const noexcept { return m_model == "NX2"; }

    // The type and unit code a probe's letter stands for in the XML documents.
    static std::string_view type_of(char letter) noexcept;
    static std::string_view units_of(char letter) noexcept;
    // A reading as the device writes it: one decimal for temperature and humidity, 0 or 1 else.
    static std::string format_value(SimulatedProbe const& probe);

    std::string xml_configuration() const;
    std::string xml_data() const;
    std::string configuration_page() const;
    std::string data_page() const;
    // "/data" for an NX2, "/temp" for the flat models.
    std::string_view data_page_path() const noexcept;

    // Moves every reading a little, as a live device's would between two requests; temperature
    // and humidity stay within plausible bounds, wetness and switch probes flip now and then.
    void drift();

private:
    std::string m_model;
    std::string m_unitName;
    std::string m_serial;
    std::vector<SimulatedProbe> m_probes;
    std::mt19937 m_random;
};

}  // namespace ambivox::simulation
