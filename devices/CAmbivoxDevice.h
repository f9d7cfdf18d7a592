// CAmbivoxDevice<Derived, I, Events>: the device base. It answers the common members of both
// public device interfaces (Name, Model, Probes, Probe, Poll) and the internal IAmbivoxDevice;
// Derived supplies FetchConfiguration, FetchData and ApplyConfiguration. IAmbivoxDevice is
// implemented but never handed out, and IDispatch always means the model's own interface.
#pragma once

#include <ctime>
#include <string>

#include "devices/CAmbivoxDeviceCore.h"
#include "devices/IAmbivoxDevice.h"
#include "platform/automation/ConnectionPointContainer.h"
#include "platform/automation/DispatchImpl.h"
#include "platform/automation/ErrorInfo.h"
#include "platform/automation/SupportsErrorInfo.h"
#include "platform/com/Implements.h"

namespace ambivox {

template <class Derived, class I, IID const& Events>
class CAmbivoxDevice
    : public implements<Derived, internal<IAmbivoxDevice>, dispatch<I>,
                        connection_point_container<Events>, supports_error_info<I>> {
public:
    HRESULT AddOrUpdateProbe(ConfigProbe const& record,
                             bool& temperatureUnitTaken) noexcept override {
        return m_core.add_or_update_probe(record, temperatureUnitTaken);
    }
    HRESULT AddProbe(IProbe* probe) noexcept override { return m_core.add_probe(probe); }
    HRESULT CreateDataPoint(IProbe* probe, CXMLAmbivoxData const* data,
                            IDataPoint** point) noexcept override {
        return m_core.create_data_point(probe, data, point);
    }

    // One timestamp for the whole poll; configuration first, then the data. A failure leaves
    // an error object saying which device and step failed and why; a success leaves none.
    HRESULT Poll() noexcept override {
        clear_error();
        m_cause.clear();
        LONGLONG const timestamp = static_cast<LONGLONG>(std::time(nullptr));
        HRESULT const configured = this->FetchConfiguration();
        if (FAILED(configured)) return poll_failed(configured);
        std::unique_ptr<CXMLAmbivoxData> data = this->FetchData();
        if (!data) return poll_failed(E_FAIL);
        HRESULT const polled = m_core.poll_probes(*this, data.get(), timestamp);
        if (FAILED(polled)) return poll_failed(polled, u": the data held a value for no probe");
        // An event sink may have failed a call of its own on this thread.
        clear_error();
        return polled;
    }

    HRESULT get_Model(BSTR* pVal) noexcept override { return m_core.get_Model(pVal); }
    HRESULT put_Model(BSTR newVal) noexcept override { return m_core.put_Model(newVal); }
    HRESULT get_Name(BSTR* pVal) noexcept override { return m_core.get_Name(pVal); }
    HRESULT put_Name(BSTR newVal) noexcept override { return m_core.put_Name(newVal); }
    HRESULT get_Probes(IDispatch** pVal) noexcept override { return m_core.get_Probes(pVal); }
    HRESULT get_Probe(SHORT probeId, IDispatch** pVal) noexcept override {
        return m_core.get_Probe(probeId, pVal);
    }

    // The internal interface has no type information of its own: its dispatch members answer
    // as the model's interface does.
    HRESULT GetTypeInfoCount(UINT* pctinfo) noexcept override {
        return dispatch<I>::GetTypeInfoCount(pctinfo);
    }
    HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) noexcept override {
        return dispatch<I>::GetTypeInfo(iTInfo, lcid, ppTInfo);
    }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT cNames, LCID lcid,
                          DISPID* dispids) noexcept override {
        return dispatch<I>::GetIDsOfNames(riid, names, cNames, lcid, dispids);
    }
    HRESULT Invoke(DISPID member, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) noexcept override {
        return dispatch<I>::Invoke(member, riid, lcid, flags, params, pVarResult, pExcepInfo,
                                   puArgErr);
    }

protected:
    explicit CAmbivoxDevice(std::u16string_view model) : m_core(model) {}

    CAmbivoxDeviceCore m_core;
    // Why this poll failed, in words, as the failing step left it; empty before a failure.
    std::u16string m_cause;

private:
    HRESULT poll_failed(HRESULT hr,
                        std::u16string_view why = u": the readings could not be read") noexcept {
        try {
            if (m_cause.empty()) m_cause = static_cast<Derived*>(this)->PollSubject().append(why);
            return set_error(hr, Derived::progid, m_cause);
        } catch (...) {
            return set_error(hr, Derived::progid, u"the poll failed");
        }
    }
};

}  // namespace ambivox
