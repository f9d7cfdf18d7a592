#include "xml/CXMLAmbivoxConfig.h"

#include <string_view>

#include "xml/StoreClosedRecord.h"

namespace ambivox {

using namespace std::string_view_literals;

CXMLAmbivoxConfig::CXMLAmbivoxConfig() : m_currentGroupId(u"0") {}

CXMLAmbivoxConfig::~CXMLAmbivoxConfig() = default;

void CXMLAmbivoxConfig::OnStartElement(XMLElement const& element) {
    std::u16string_view const name = element.name;
    if (name == u"Ambivox"sv) {
        auto unit = std::make_unique<ConfigUnit>();
        unit->id = element.GetAttribute(u"id");
        m_currentUnit = std::move(unit);
        m_target = TextTarget::none;
    } else if (name == u"Unit"sv) {
        m_target = TextTarget::none;
    } else if (name == u"Group"sv) {
        m_currentGroupId = element.GetAttribute(u"id");
        m_target = TextTarget::group;
    } else if (name == u"Probe"sv) {
        ConfigProbe& probe = m_currentProbe.emplace();
        probe.id = element.GetAttribute(u"id");
        probe.hint = element.GetAttribute(u"hint");
        probe.type = element.GetAttribute(u"type");
        probe.group = m_currentGroupId;
        m_target = TextTarget::none;
    } else if (name == u"Name"sv) {
        // A group's own Name follows its start tag directly, while the group target is still
        // in force; it names neither the unit nor a probe.
        if (!m_currentUnit || m_target == TextTarget::group)
            m_target = TextTarget::none;
        else
            m_target = m_currentProbe ? TextTarget::probe_name : TextTarget::unit_name;
    } else if (name == u"Model"sv) {
        m_target = TextTarget::model;
    } else if (name == u"Serial_Number"sv) {
        m_target = TextTarget::serial_number;
    } else if (name == u"Firmware_Release_Date"sv) {
        m_target = TextTarget::firmware_release_date;
    } else if (name == u"Firmware_Version"sv) {
        m_target = TextTarget::firmware_version;
    } else if (name == u"Website"sv) {
        m_target = TextTarget::website;
    } else if (name == u"Manufacturer"sv) {
        m_target = TextTarget::manufacturer;
    } else if (name == u"Units"sv) {
        m_target = TextTarget::probe_units;
    }
    // Any other element leaves the target alone, so text nested in e.g. Model still counts.
}

void CXMLAmbivoxConfig::OnCharacters(char16_t const* text) {
    // Text whose unit or probe is not open has nowhere to go and is dropped.
    ConfigUnit* const unit = m_currentUnit.get();
    ConfigProbe* const probe = m_currentProbe ? &*m_currentProbe : nullptr;
    switch (m_target) {
        case TextTarget::unit_name:
            if (unit) unit->name = text;
            break;
        case TextTarget::model:
            if (unit) unit->model = text;
            break;
        case TextTarget::firmware_release_date:
            if (unit) unit->firmware_release_date = text;
            break;
        case TextTarget::firmware_version:
            if (unit) unit->firmware_version = text;
            break;
        case TextTarget::probe_name:
            if (probe) probe->name = text;
            break;
        case TextTarget::probe_units:
            if (probe) probe->units = text;
            break;
        case TextTarget::none:
        case TextTarget::serial_number:
        case TextTarget::website:
        case TextTarget::manufacturer:
        case TextTarget::group:
            break;
    }
}

void CXMLAmbivoxConfig::OnEndElement(XMLElement const& element) {
    store_closed_record(element.name, m_units, m_currentUnit, m_currentProbe);
    m_target = TextTarget::none;
}

}  // namespace ambivox
