// CAmbivoxDeviceCore: what both device families share, apart from the interfaces: the probe
// collection, the name, the model and the temperature unit letter, and the steps of the poll
// cycle that turn configuration records into probes and data records into readings.
#pragma once

#include <string>

#include "ambivox/AmbivoxSDK.h"
#include "platform/ComPtr.h"
#include "platform/UniqueBstr.h"
#include "xml/CXMLAmbivoxConfig.h"
#include "xml/CXMLAmbivoxData.h"

namespace ambivox {

class CAmbivoxDeviceCore {
public:
    // Creates the probe collection directly; raises what its creation raises.
    explicit CAmbivoxDeviceCore(std::u16string_view model);

    HRESULT get_Model(BSTR* pVal) noexcept;
    HRESULT put_Model(BSTR newVal) noexcept;
    HRESULT get_Name(BSTR* pVal) noexcept;
    HRESULT put_Name(BSTR newVal) noexcept;
    HRESULT get_Probes(IDispatch** pVal) noexcept;
    HRESULT get_Probe(SHORT probeId, IDispatch** pVal) noexcept;

    // The probe loop of applying a configuration: AddOrUpdateProbe for every probe record of
    // the first unit, in key order; the last record's result.
    template <class Device>
    HRESULT apply_probes(Device& device, CXMLAmbivoxConfig const* reader) noexcept;

    HRESULT add_or_update_probe(ConfigProbe const& record, bool& temperatureUnitTaken) noexcept;
    HRESULT add_probe(IProbe* probe) noexcept;
    HRESULT create_data_point(IProbe* probe, CXMLAmbivoxData const* data,
                              IDataPoint** point) noexcept;
    // Steps 4 to 6 of a poll: every probe numbered 1 to Count gets a reading from data.
    template <class Device>
    HRESULT poll_probes(Device& device, CXMLAmbivoxData const* data, LONGLONG timestamp,
                        HRESULT configurationResult) noexcept;

    unique_bstr const& name() const noexcept { return m_name; }
    unique_bstr const& model() const noexcept { return m_model; }
    IProbeCollection* probes() const noexcept { return m_probes.get(); }

    static constexpr std::size_t max_name_length = 32;

private:
    com_ptr<IProbeCollection> m_probes;
    unique_bstr m_name;
    unique_bstr m_model;
    unique_bstr m_temperatureUnit;
};

template <class Device>
HRESULT CAmbivoxDeviceCore::apply_probes(Device& device, CXMLAmbivoxConfig const* reader) noexcept {
    if (reader == nullptr || reader->units().empty()) return S_OK;
    ConfigUnit const& unit = *reader->units().begin()->second;
    bool temperatureUnitTaken = false;
    HRESULT hr = S_OK;
    for (auto const& [id, record] : unit.probes) hr = device.AddOrUpdateProbe(*record, temperatureUnitTaken);
    return hr;
}

template <class Device>
HRESULT CAmbivoxDeviceCore::poll_probes(Device& device, CXMLAmbivoxData const* data,
                                        LONGLONG timestamp, HRESULT configurationResult) noexcept {
    LONG count = 0;
    m_probes->get_Count(&count);
    HRESULT hr = configurationResult;
    for (LONG number = 1; number <= count; ++number) {
        VARIANT index;
        index.vt = VT_I2;
        index.iVal = static_cast<SHORT>(number);
        com_ptr<IDispatch> item;
        hr = m_probes->ItemByNumber(index, item.put());
        if (FAILED(hr) || !item) continue;
        auto probe = item.try_as<IProbe>();
        if (!probe) continue;
        com_ptr<IDataPoint> point;
        if (FAILED(device.CreateDataPoint(probe.get(), data, point.put()))) continue;
        point->put_UTCTime(timestamp);
        probe->Poll(point.get());
    }
    return hr;
}

}  // namespace ambivox
