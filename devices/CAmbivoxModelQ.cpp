#include "devices/CAmbivoxModelQ.h"

#include <boost/lexical_cast.hpp>

#include "devices/DeviceRequests.h"

namespace ambivox {

namespace {
using requests = DeviceRequests;
}

CAmbivoxModelQ::CAmbivoxModelQ()
    : CAmbivoxDevice(u"ModelQ"), m_comPort(u""), m_batteryStatus(u"not available") {}

HRESULT CAmbivoxModelQ::get_ComPort(BSTR* pVal) noexcept {
    if (pVal == nullptr) return E_POINTER;
    return hresult_boundary([&] { *pVal = m_comPort.copy(); });
}

HRESULT CAmbivoxModelQ::put_ComPort(BSTR newVal) noexcept {
    std::u16string_view const text = bstr_view(newVal);
    if (text.empty()) return E_INVALIDARG;
    if (text.find_first_not_of(u"+-0123456789") != std::u16string_view::npos) return E_INVALIDARG;
    try {
        LONG const port = boost::lexical_cast<LONG>(std::string(text.begin(), text.end()));
        if (port <= 0) return E_INVALIDARG;
    } catch (boost::bad_lexical_cast const&) {
        return E_INVALIDARG;
    }
    return hresult_boundary([&] { m_comPort = unique_bstr::copy_of(newVal); });
}

HRESULT CAmbivoxModelQ::get_BatteryStatus(BSTR* pVal) noexcept {
    return requests::get(m_batteryStatus, pVal);
}

std::u16string CAmbivoxModelQ::PollSubject() const {
    return u"COM" + m_comPort.str();
}

HRESULT CAmbivoxModelQ::FetchConfiguration() noexcept {
    return hresult_boundary([&] {
        auto connector = requests::connector();
        CXMLAmbivoxConfig reader;
        HRESULT const requested = connector->RequestModelQSerialComConfigData(
            m_core.name().get(), m_comPort.get(), requests::handler_argument(&reader));
        if (FAILED(requested)) {
            m_cause = requests::failure_description(PollSubject());
            return requested;
        }
        return ApplyConfiguration(&reader);
    });
}

std::unique_ptr<CXMLAmbivoxData> CAmbivoxModelQ::FetchData() noexcept {
    std::unique_ptr<CXMLAmbivoxData> reader;
    HRESULT const hr = hresult_boundary([&] {
        auto connector = requests::connector();
        reader = std::make_unique<CXMLAmbivoxData>();
        HRESULT const requested = connector->RequestModelQSerialComData(
            m_core.name().get(), m_comPort.get(), requests::handler_argument(reader.get()));
        if (FAILED(requested)) {
            m_cause = requests::failure_description(PollSubject());
            return requested;
        }
        if (!reader->units().empty())
            m_batteryStatus = unique_bstr(reader->units().begin()->second->battery_status);
        return S_OK;
    });
    if (FAILED(hr)) reader.reset();
    return reader;
}

HRESULT CAmbivoxModelQ::ApplyConfiguration(CXMLAmbivoxConfig const* reader) noexcept {
    return m_core.apply_probes(*this, reader);
}

}  // namespace ambivox
