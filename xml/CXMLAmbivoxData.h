// CXMLAmbivoxData: the element handler that reads a device data document into unit and probe
// records: each unit's battery status and each probe's value text.
//
// Meant for one document: construct it, parse a document into it, read units() and destroy it.
// A second document adds its units to the same map. Groups are not recorded: probes are keyed by
// id within their unit, so a later probe with an id already present replaces the earlier one,
// whatever group either stood in. Units and probes still open when the events stop are
// discarded. The reader has no error state: the parse result says whether the document was read
// to its end.
#pragma once

#include <memory>
#include <optional>

#include "xml/DataProbe.h"
#include "xml/DataUnit.h"
#include "xml/IXMLElementHandler.h"

namespace ambivox {

class CXMLAmbivoxData final : public IXMLElementHandler {
public:
    CXMLAmbivoxData();
    ~CXMLAmbivoxData();
    CXMLAmbivoxData(CXMLAmbivoxData const&) = delete;
    CXMLAmbivoxData& operator=(CXMLAmbivoxData const&) = delete;

    // Raise std::bad_alloc only.
    void OnStartElement(XMLElement const& element) override;
    void OnCharacters(char16_t const* text) override;
    void OnEndElement(XMLElement const& element) override;

    // The completed units by id, each owning its probes; valid as long as the reader lives.
    DataUnitMap const& units() const noexcept { return m_units; }

private:
    DataUnitMap m_units;
    std::unique_ptr<DataUnit> m_currentUnit;
    // Held in place, not on the heap: a probe is the record a document has thousands of.
    std::optional<DataProbe> m_currentProbe;
    // Cleared only by their own end tags: text of elements nested inside counts as well.
    bool m_inValue = false;
    bool m_valueTextSeen = false;  // a piece of the open Value's text has arrived
    bool m_inBatteryStatus = false;
};

}  // namespace ambivox
