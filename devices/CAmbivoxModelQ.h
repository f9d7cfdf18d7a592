// CAmbivoxModelQ: the serial device on a COM port: two temperature probes and a battery. Its
// configuration is fixed; its readings come from one serial exchange per poll, made by a data
// connector.
#pragma once

#include "devices/CAmbivoxDevice.h"

namespace ambivox {

class CAmbivoxModelQ final
    : public CAmbivoxDevice<CAmbivoxModelQ, IAmbivoxModelQ, _IAmbivoxModelQEvents::iid> {
public:
    CAmbivoxModelQ();

    // E_POINTER for a null out-pointer.
    HRESULT get_ComPort(BSTR* pVal) noexcept override;
    // A positive decimal port number, stored as given; anything else is E_INVALIDARG.
    HRESULT put_ComPort(BSTR newVal) noexcept override;
    HRESULT get_BatteryStatus(BSTR* pVal) noexcept override;

    HRESULT FetchConfiguration() noexcept override;
    std::unique_ptr<CXMLAmbivoxData> FetchData() noexcept override;
    // The probe loop alone: the fixed configuration names nothing else.
    HRESULT ApplyConfiguration(CXMLAmbivoxConfig const* reader) noexcept override;

    static constexpr std::u16string_view progid = u"AmbivoxSDK.AmbivoxModelQ";
    // "COM3", what a failure's description names when no step said more.
    std::u16string PollSubject() const;

private:
    unique_bstr m_comPort;
    unique_bstr m_batteryStatus;
};

}  // namespace ambivox
