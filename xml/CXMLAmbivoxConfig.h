// CXMLAmbivoxConfig: the element handler that reads a device configuration document into unit
// and probe records.
//
// Meant for one document: construct it, parse a document into it (ParseURL or Parse), read
// units() and destroy it. A second document adds its units to the same map. Units and probes
// still open when the events stop (a document cut off) are discarded; a unit or probe stored
// under an id already present replaces the earlier one. The reader has no error state: the
// parse result says whether the document was read to its end.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "xml/ConfigProbe.h"
#include "xml/ConfigUnit.h"
#include "xml/IXMLElementHandler.h"

namespace ambivox {

class CXMLAmbivoxConfig final : public IXMLElementHandler {
public:
    CXMLAmbivoxConfig();
    ~CXMLAmbivoxConfig();
    CXMLAmbivoxConfig(CXMLAmbivoxConfig const&) = delete;
    CXMLAmbivoxConfig& operator=(CXMLAmbivoxConfig const&) = delete;

    // Raise std::bad_alloc only.
    void OnStartElement(XMLElement const& element) override;
    void OnCharacters(char16_t const* text) override;
    void OnEndElement(XMLElement const& element) override;

    // The completed units by id, each owning its probes; valid as long as the reader lives.
    ConfigUnitMap const& units() const noexcept { return m_units; }

private:
    // Where the next character data goes; set by start tags, reset by every end tag.
    enum class TextTarget : std::uint8_t {
        none = 0,
        unit_name = 1,
        model = 2,
        serial_number = 3,
        firmware_release_date = 4,
        firmware_version = 5,
        website = 6,
        manufacturer = 7,
        group = 8,
        probe_name = 9,
        probe_units = 10,
    };

    ConfigUnitMap m_units;
    std::unique_ptr<ConfigUnit> m_currentUnit;
    // Held in place, not on the heap: a probe is the record a document has thousands of.
    std::optional<ConfigProbe> m_currentProbe;
    TextTarget m_target = TextTarget::none;
    std::u16string m_currentGroupId;
};

}  // namespace ambivox
