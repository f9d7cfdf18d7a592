// CAmbivoxModelN: a network device of models N3, N7, N15 and NX2. It reads the device's XML
// documents and, when those fail, its older "|"-separated text pages, always through a data
// connector. Its network, firmware and SNMP properties are held in the object only; nothing is
// ever sent to the device.
#pragma once

#include "devices/CAmbivoxDevice.h"

namespace ambivox {

class CAmbivoxModelN final
    : public CAmbivoxDevice<CAmbivoxModelN, IAmbivoxModelN, _IAmbivoxModelNEvents::iid> {
public:
    CAmbivoxModelN();

    // Setters following the "rule A": a value that is empty or equal to the current one is
    // refused with E_INVALIDARG. Getters answer a null out-pointer with E_OUTOFMEMORY.
    HRESULT get_IpAddress(BSTR* pVal) noexcept override;
    HRESULT put_IpAddress(BSTR newVal) noexcept override;
    HRESULT get_Mask(BSTR* pVal) noexcept override;
    HRESULT put_Mask(BSTR newVal) noexcept override;
    HRESULT get_Gateway(BSTR* pVal) noexcept override;
    HRESULT put_Gateway(BSTR newVal) noexcept override;
    HRESULT get_SerialNumber(BSTR* pVal) noexcept override;
    HRESULT get_SnmpTrapIpAddress(BSTR* pVal) noexcept override;
    HRESULT put_SnmpTrapIpAddress(BSTR newVal) noexcept override;
    // Community strings take anything up to 32 characters, empty included.
    HRESULT get_SnmpWriteCommunityString(BSTR* pVal) noexcept override;
    HRESULT put_SnmpWriteCommunityString(BSTR newVal) noexcept override;
    HRESULT get_SnmpReadCommunityString(BSTR* pVal) noexcept override;
    HRESULT put_SnmpReadCommunityString(BSTR newVal) noexcept override;
    HRESULT get_SoftwareVersion(BSTR* pVal) noexcept override;
    HRESULT put_SoftwareVersion(BSTR newVal) noexcept override;
    HRESULT get_SoftwareReleaseDate(BSTR* pVal) noexcept override;
    HRESULT put_SoftwareReleaseDate(BSTR newVal) noexcept override;

    // XML configuration, else the combined text-page request. Fails with E_FAIL only while no
    // configuration has ever been read, since the device then has no probes to poll.
    HRESULT FetchConfiguration() noexcept override;
    // The data the text pages gave in this poll's configuration step; else XML data, else the
    // combined text-page request unless it failed in this poll already.
    std::unique_ptr<CXMLAmbivoxData> FetchData() noexcept override;
    // Firmware fields, the name when the device has none, the serial number, then the probes;
    // E_FAIL, nothing applied, for a unit that names nothing and lists no probe.
    HRESULT ApplyConfiguration(CXMLAmbivoxConfig const* reader) noexcept override;

    static constexpr std::size_t max_community_length = 32;
    static constexpr std::u16string_view progid = u"AmbivoxSDK.AmbivoxModelN";
    // "http://10.0.0.7", what a failure's description names when no step said more.
    std::u16string PollSubject() const;

private:
    // Both text pages in one request; the data reader when it succeeded. When it failed,
    // m_pagesCause says why.
    std::unique_ptr<CXMLAmbivoxData> combined_request() noexcept;
    // "<xml cause>; text pages: <pages cause>", for a poll that tried both.
    void both_failed(std::u16string const& xmlCause) noexcept;

    unique_bstr m_ipAddress;
    unique_bstr m_mask;
    unique_bstr m_gateway;
    unique_bstr m_softwareVersion;
    unique_bstr m_softwareReleaseDate;
    unique_bstr m_serialNumber;
    unique_bstr m_snmpTrapIpAddress;
    unique_bstr m_snmpWriteCommunity;
    unique_bstr m_snmpReadCommunity;
    // Whether any poll has applied a unit, probes or not.
    bool m_configurationRead = false;
    // The text pages as the configuration step of the current poll left them, so the data
    // step does not ask the device a second time.
    bool m_pagesAsked = false;
    std::unique_ptr<CXMLAmbivoxData> m_pagesData;
    std::u16string m_pagesCause;
};

}  // namespace ambivox
