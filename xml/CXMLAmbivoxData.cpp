#include "xml/CXMLAmbivoxData.h"

#include <string>
#include <string_view>

#include "xml/StoreClosedRecord.h"

namespace ambivox {

using namespace std::string_view_literals;

CXMLAmbivoxData::CXMLAmbivoxData() = default;

CXMLAmbivoxData::~CXMLAmbivoxData() = default;

void CXMLAmbivoxData::OnStartElement(XMLElement const& element) {
    std::u16string_view const name = element.name;
    if (name == u"Ambivox"sv) {
        auto unit = std::make_unique<DataUnit>();
        unit->id = element.GetAttribute(u"id");
        m_currentUnit = std::move(unit);
    } else if (name == u"Probe"sv) {
        m_currentProbe.emplace().id = element.GetAttribute(u"id");
    } else if (name == u"Value"sv) {
        m_inValue = true;
        m_valueTextSeen = false;
    } else if (name == u"BatteryStatus"sv) {
        m_inBatteryStatus = true;
    }
}

void CXMLAmbivoxData::OnCharacters(char16_t const* text) {
    // Text whose probe or unit is not open has nowhere to go and is dropped.
    if (m_inValue && m_currentProbe) {
        // "-<?x?>5" would otherwise read as 5.
        if (m_valueTextSeen) m_currentProbe->value_in_pieces = true;
        m_currentProbe->value = text;
        m_valueTextSeen = true;
    }
    if (m_inBatteryStatus && m_currentUnit) m_currentUnit->battery_status = text;
}

void CXMLAmbivoxData::OnEndElement(XMLElement const& element) {
    std::u16string_view const name = element.name;
    store_closed_record(name, m_units, m_currentUnit, m_currentProbe);
    if (name == u"Value"sv) {
        m_inValue = false;
    } else if (name == u"BatteryStatus"sv) {
        m_inBatteryStatus = false;
    }
}

}  // namespace ambivox
