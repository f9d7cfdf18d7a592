// CAmbivoxDeviceCore: what both device families share, apart from the interfaces: the probe
// collection, the name, the model and the temperature unit letter, and the steps of the poll
// cycle that turn configuration records into probes and data records into readings.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ambivox/AmbivoxSDK.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/com/ComPtr.h"
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
    // The readings of a poll: every probe gets one from data, stamped with the poll's time.
    // E_FAIL when the device has probes and data gives none of them a value.
    template <class Device>
    HRESULT poll_probes(Device& device, CXMLAmbivoxData const* data, LONGLONG timestamp) noexcept;
    // The probes of the collection in number order (empty when they cannot be listed).
    std::vector<com_ptr<IProbe>> probes_in_order() noexcept;

    unique_bstr const& name() const noexcept { return m_name; }
    unique_bstr const& model() const noexcept { return m_model; }
    IProbeCollection* probes() const noexcept { return m_probes.get(); }

    static constexpr std::size_t max_name_length = 32;
    // The reading of a probe whose value text is no number.
    static constexpr double no_reading = -999.99;

private:
    // The runtime's factory of one class, looked up at the first creation of a step of the poll
    // and held to the step's end: a device of many probes asks the registry once per step rather
    // than once per object, and a step that creates nothing asks nothing.
    struct step_factory {
        explicit step_factory(CLSID const& id) noexcept : clsid(id) {}

        CLSID const& clsid;
        bool in_step = false;
        bool asked = false;
        com_ptr<IClassFactory> factory;

        void begin() noexcept { in_step = true; }
        void end() noexcept {
            in_step = asked = false;
            factory = nullptr;
        }
        // An object of the class through the runtime: by the held factory, else (outside a step,
        // or when the runtime had no factory) by CoCreateInstance, which fails as it would have.
        HRESULT create(REFIID riid, void** object) noexcept;
    };

    // The record of a probe id in data: of the first unit in key order that holds it; null when
    // none does. Within a poll step, a document of several units is indexed once, so that one of
    // a hundred thousand units is not walked again for each probe. Raises std::bad_alloc.
    DataProbe const* find_reading(CXMLAmbivoxData const& data, std::u16string_view key);

    com_ptr<IProbeCollection> m_probes;
    step_factory m_probeFactory{CLSID_Probe};
    step_factory m_pointFactory{CLSID_DataPoint};
    unique_bstr m_name;
    unique_bstr m_model;
    unique_bstr m_temperatureUnit;
    // The index find_reading keeps for the data of the step under way.
    CXMLAmbivoxData const* m_indexedData = nullptr;
    std::unordered_map<std::u16string_view, DataProbe const*> m_readings;
};

template <class Device>
HRESULT CAmbivoxDeviceCore::apply_probes(Device& device, CXMLAmbivoxConfig const* reader) noexcept {
    if (reader == nullptr || reader->units().empty()) return S_OK;
    ConfigUnit const& unit = *reader->units().begin()->second;
    bool temperatureUnitTaken = false;
    HRESULT hr = S_OK;
    m_probeFactory.begin();
    for (auto const& [id, record] : unit.probes)
        hr = device.AddOrUpdateProbe(*record, temperatureUnitTaken);
    m_probeFactory.end();
    return hr;
}

template <class Device>
HRESULT CAmbivoxDeviceCore::poll_probes(Device& device, CXMLAmbivoxData const* data,
                                        LONGLONG timestamp) noexcept {
    // Every probe in number order, whatever its number: gaps in the numbering must not starve
    // the probes above them. A probe the data has no value for keeps its previous reading.
    m_pointFactory.begin();
    std::size_t probes = 0;
    std::size_t read = 0;
    for (com_ptr<IProbe> const& probe : probes_in_order()) {
        ++probes;
        com_ptr<IDataPoint> point;
        if (FAILED(device.CreateDataPoint(probe.get(), data, point.put()))) continue;
        point->put_UTCTime(timestamp);
        probe->Poll(point.get());
        ++read;
    }
    m_pointFactory.end();
    m_indexedData = nullptr;
    m_readings = {};
    // Data with a value for none of the probes (a page cut off before its values, another
    // device's document) read nothing, however well formed it was.
    return probes != 0 && read == 0 ? E_FAIL : S_OK;
}

}  // namespace ambivox
