#include "xml/CXMLAmbivoxData.h"

#include <string>

namespace ambivox {

CXMLAmbivoxData::CXMLAmbivoxData() = default;

CXMLAmbivoxData::~CXMLAmbivoxData() = default;

void CXMLAmbivoxData::OnStartElement(XMLElement const& element) {
    std::u16string const& name = element.name;
    if (name == u"Ambivox") {
        auto unit = std::make_unique<DataUnit>();
        unit->id = element.GetAttribute(u"id");
        m_currentUnit = std::move(unit);
    } else if (name == u"Probe") {
        auto probe = std::make_unique<DataProbe>();
        probe->id = element.GetAttribute(u"id");
        m_currentProbe = std::move(probe);
    } else if (name == u"Value") {
        m_inValue = true;
    } else if (name == u"BatteryStatus") {
        m_inBatteryStatus = true;
    }
}

void CXMLAmbivoxData::OnCharacters(char16_t const* text) {
    // Text whose probe or unit is not open has nowhere to go and is dropped.
    if (m_inValue && m_currentProbe) m_currentProbe->value = text;
    if (m_inBatteryStatus && m_currentUnit) m_currentUnit->battery_status = text;
}

void CXMLAmbivoxData::OnEndElement(XMLElement const& element) {
    std::u16string const& name = element.name;
    if (name == u"Ambivox") {
        if (m_currentUnit) {
            std::u16string id = m_currentUnit->id;
            m_units.insert_or_assign(std::move(id), std::move(m_currentUnit));
        }
    } else if (name == u"Probe") {
        // A probe outside any unit belongs nowhere; it goes with the release of the pointer.
        if (m_currentProbe && m_currentUnit) {
            std::u16string id = m_currentProbe->id;
            m_currentUnit->probes.insert_or_assign(std::move(id), std::move(m_currentProbe));
        }
        m_currentProbe.reset();
    } else if (name == u"Value") {
        m_inValue = false;
    } else if (name == u"BatteryStatus") {
        m_inBatteryStatus = false;
    }
}

}  // namespace ambivox
