#include "devices/CAmbivoxModelN.h"

#include <utility>

#include "devices/DeviceRequests.h"
#include "platform/base/WideFormat.h"

namespace ambivox {

namespace {

using requests = DeviceRequests;

// A unit that neither names itself nor lists a probe describes no device: a text page of one
// field (a login page, a page cut off after the serial number) converts to just that.
bool describes_device(CXMLAmbivoxConfig const& reader) noexcept {
    if (reader.units().empty()) return false;
    ConfigUnit const& unit = *reader.units().begin()->second;
    return !unit.name.empty() || !unit.probes.empty();
}

}  // namespace

CAmbivoxModelN::CAmbivoxModelN()
    : CAmbivoxDevice(u"not set"),
      m_ipAddress(u""),
      m_mask(u""),
      m_gateway(u""),
      m_softwareVersion(u""),
      m_softwareReleaseDate(u""),
      m_serialNumber(u"not available"),
      m_snmpTrapIpAddress(u""),
      m_snmpWriteCommunity(u""),
      m_snmpReadCommunity(u"") {}

HRESULT CAmbivoxModelN::get_IpAddress(BSTR* pVal) noexcept {
    return requests::get(m_ipAddress, pVal);
}
HRESULT CAmbivoxModelN::put_IpAddress(BSTR newVal) noexcept {
    return requests::set_rule_a(m_ipAddress, newVal);
}
HRESULT CAmbivoxModelN::get_Mask(BSTR* pVal) noexcept {
    return requests::get(m_mask, pVal);
}
HRESULT CAmbivoxModelN::put_Mask(BSTR newVal) noexcept {
    return requests::set_rule_a(m_mask, newVal);
}
HRESULT CAmbivoxModelN::get_Gateway(BSTR* pVal) noexcept {
    return requests::get(m_gateway, pVal);
}
HRESULT CAmbivoxModelN::put_Gateway(BSTR newVal) noexcept {
    return requests::set_rule_a(m_gateway, newVal);
}
HRESULT CAmbivoxModelN::get_SerialNumber(BSTR* pVal) noexcept {
    return requests::get(m_serialNumber, pVal);
}
HRESULT CAmbivoxModelN::get_SnmpTrapIpAddress(BSTR* pVal) noexcept {
    return requests::get(m_snmpTrapIpAddress, pVal);
}
HRESULT CAmbivoxModelN::put_SnmpTrapIpAddress(BSTR newVal) noexcept {
    return requests::set_rule_a(m_snmpTrapIpAddress, newVal);
}
HRESULT CAmbivoxModelN::get_SnmpWriteCommunityString(BSTR* pVal) noexcept {
    return requests::get(m_snmpWriteCommunity, pVal);
}
HRESULT CAmbivoxModelN::put_SnmpWriteCommunityString(BSTR newVal) noexcept {
    return requests::set_rule_b(m_snmpWriteCommunity, newVal, max_community_length);
}
HRESULT CAmbivoxModelN::get_SnmpReadCommunityString(BSTR* pVal) noexcept {
    return requests::get(m_snmpReadCommunity, pVal);
}
HRESULT CAmbivoxModelN::put_SnmpReadCommunityString(BSTR newVal) noexcept {
    return requests::set_rule_b(m_snmpReadCommunity, newVal, max_community_length);
}
HRESULT CAmbivoxModelN::get_SoftwareVersion(BSTR* pVal) noexcept {
    return requests::get(m_softwareVersion, pVal);
}
HRESULT CAmbivoxModelN::put_SoftwareVersion(BSTR newVal) noexcept {
    return requests::set_rule_a(m_softwareVersion, newVal);
}
HRESULT CAmbivoxModelN::get_SoftwareReleaseDate(BSTR* pVal) noexcept {
    return requests::get(m_softwareReleaseDate, pVal);
}
HRESULT CAmbivoxModelN::put_SoftwareReleaseDate(BSTR newVal) noexcept {
    return requests::set_rule_a(m_softwareReleaseDate, newVal);
}

std::u16string CAmbivoxModelN::PollSubject() const {
    return u"http://" + m_ipAddress.str();
}

void CAmbivoxModelN::both_failed(std::u16string const& xmlCause) noexcept {
    try {
        m_cause =
            xmlCause + u"; text pages: " +
            (m_pagesCause.empty() ? PollSubject() + u"/config: the request failed" : m_pagesCause);
    } catch (...) {
        m_cause.clear();
    }
}

HRESULT CAmbivoxModelN::FetchConfiguration() noexcept {
    m_pagesAsked = false;
    m_pagesData.reset();
    m_pagesCause.clear();
    std::u16string xmlCause;
    HRESULT const hr = hresult_boundary([&] {
        auto connector = requests::connector();
        unique_bstr const address(wide_format(u"http://%s/xmlconfig", {m_ipAddress.view()}));
        CXMLAmbivoxConfig reader;
        HRESULT const requested = connector->RequestModelNXMLConfigData(
            m_core.name().get(), address.get(), requests::handler_argument(&reader));
        if (FAILED(requested)) {
            xmlCause = requests::failure_description(address.view());
            return requested;
        }
        // A well-formed document without a unit (a login page, some other XML) is no
        // configuration: the text pages may still have one.
        if (!describes_device(reader)) {
            xmlCause = address.str() + u": not a device document (no unit)";
            return E_FAIL;
        }
        HRESULT const applied = ApplyConfiguration(&reader);
        if (FAILED(applied)) xmlCause = address.str() + u": the configuration could not be applied";
        return applied;
    });
    if (SUCCEEDED(hr)) return hr;
    // The text pages carry the configuration too; whatever they give is applied.
    m_pagesData = combined_request();
    m_pagesAsked = true;
    if (m_configurationRead) return S_OK;
    // Nothing was ever read: an empty success would look like a device without probes.
    if (m_pagesData && m_pagesCause.empty()) {
        try {
            m_pagesCause = PollSubject() + u"/config: not a device document (no unit)";
        } catch (...) {
        }
    }
    both_failed(xmlCause);
    m_pagesAsked = false;
    m_pagesData.reset();
    return E_FAIL;
}

std::unique_ptr<CXMLAmbivoxData> CAmbivoxModelN::FetchData() noexcept {
    bool const pagesAsked = std::exchange(m_pagesAsked, false);
    // The pages were read together with the configuration a moment ago; asking the XML address
    // as well would only double the device's traffic for the same readings.
    if (m_pagesData) return std::move(m_pagesData);
    std::unique_ptr<CXMLAmbivoxData> reader;
    std::u16string xmlCause;
    HRESULT const hr = hresult_boundary([&] {
        auto connector = requests::connector();
        unique_bstr const address(wide_format(u"http://%s/xmldata", {m_ipAddress.view()}));
        reader = std::make_unique<CXMLAmbivoxData>();
        HRESULT const requested = connector->RequestModelNXMLData(
            m_core.name().get(), address.get(), requests::handler_argument(reader.get()));
        if (FAILED(requested)) {
            xmlCause = requests::failure_description(address.view());
            return requested;
        }
        // A login page or other XML in place of the data reads as no values at all; the text
        // pages may still have them.
        if (reader->units().empty()) {
            xmlCause = address.str() + u": not a device document (no unit)";
            return E_FAIL;
        }
        return S_OK;
    });
    if (SUCCEEDED(hr)) return reader;
    reader.reset();
    // The connector answers a time-out, a refused connection and an error page alike, so a
    // request that failed in this poll is not worth a second wait.
    if (pagesAsked) {
        both_failed(xmlCause);
        return nullptr;
    }
    auto data = combined_request();
    if (!data) both_failed(xmlCause);
    return data;
}

std::unique_ptr<CXMLAmbivoxData> CAmbivoxModelN::combined_request() noexcept {
    std::unique_ptr<CXMLAmbivoxData> data;
    m_pagesCause.clear();
    HRESULT const hr = hresult_boundary([&] {
        auto connector = requests::connector();
        data = std::make_unique<CXMLAmbivoxData>();
        CXMLAmbivoxConfig config;
        unique_bstr const configPath(u"/config");
        unique_bstr const dataPath(m_core.model().view() == u"NX2" ? u"/data" : u"/temp");
        HRESULT const requested = connector->RequestModelNHTTPConfigAndData(
            m_core.name().get(), m_ipAddress.get(), configPath.get(), dataPath.get(),
            m_core.model().get(), requests::handler_argument(&config),
            requests::handler_argument(data.get()));
        if (SUCCEEDED(requested))
            ApplyConfiguration(&config);
        else
            m_pagesCause = requests::failure_description(PollSubject() + u"/config");
        return requested;
    });
    if (FAILED(hr)) data.reset();
    return data;
}

HRESULT CAmbivoxModelN::ApplyConfiguration(CXMLAmbivoxConfig const* reader) noexcept {
    if (reader == nullptr || reader->units().empty()) return S_OK;
    if (!describes_device(*reader)) return E_FAIL;
    ConfigUnit const& unit = *reader->units().begin()->second;
    HRESULT const hr = hresult_boundary([&] {
        put_SoftwareVersion(unique_bstr(unit.firmware_version).get());
        put_SoftwareReleaseDate(unique_bstr(unit.firmware_release_date).get());
        // A name the client set is never replaced by the document's.
        if (m_core.name().empty()) put_Name(unique_bstr(unit.name).get());
        m_serialNumber = unique_bstr(unit.id);
        return m_core.apply_probes(*this, reader);
    });
    // A configuration whose probe records were all refused has not been read: the device would
    // poll as one without probes and answer success for reading nothing.
    LONG probes = 0;
    if (SUCCEEDED(hr) || (SUCCEEDED(m_core.probes()->get_Count(&probes)) && probes > 0))
        m_configurationRead = true;
    return hr;
}

}  // namespace ambivox
