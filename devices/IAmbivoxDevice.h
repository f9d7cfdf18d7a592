// IAmbivoxDevice: the devices' internal interface. The public device interfaces forward to it;
// QueryInterface never hands it out. Family operations (configuration and data fetching,
// applying a configuration) are supplied by each device class, the rest once by the base.
#pragma once

#include <memory>

#include "ambivox/AmbivoxSDK.h"
#include "xml/CXMLAmbivoxConfig.h"
#include "xml/CXMLAmbivoxData.h"

struct IAmbivoxDevice : IDispatch {
    static constexpr IID iid = IID_IAmbivoxDevice;
    using base_interface = IDispatch;

    // Applies a configuration reader's first unit (reader may be null: S_OK, nothing applied).
    virtual HRESULT ApplyConfiguration(ambivox::CXMLAmbivoxConfig const* reader) noexcept = 0;
    // Creates or renames the probe a record describes. temperatureUnitTaken tells whether the
    // configuration's temperature unit letter was already taken, and is set when this record
    // takes it.
    virtual HRESULT AddOrUpdateProbe(ambivox::ConfigProbe const& record,
                                     bool& temperatureUnitTaken) noexcept = 0;
    virtual HRESULT AddProbe(IProbe* probe) noexcept = 0;
    // Fetches configuration and data and gives every probe its new reading.
    virtual HRESULT Poll() noexcept = 0;
    virtual HRESULT FetchConfiguration() noexcept = 0;
    // The data of this poll, owned by the caller; null when none could be read.
    virtual std::unique_ptr<ambivox::CXMLAmbivoxData> FetchData() noexcept = 0;
    // *point receives a new reading for probe from the data, owned by the caller.
    virtual HRESULT CreateDataPoint(IProbe* probe, ambivox::CXMLAmbivoxData const* data,
                                    IDataPoint** point) noexcept = 0;
    virtual HRESULT get_Model(BSTR* pVal) noexcept = 0;
    virtual HRESULT put_Model(BSTR newVal) noexcept = 0;
    virtual HRESULT get_Name(BSTR* pVal) noexcept = 0;
    virtual HRESULT put_Name(BSTR newVal) noexcept = 0;
    virtual HRESULT get_Probes(IDispatch** pVal) noexcept = 0;
    virtual HRESULT get_Probe(SHORT probeId, IDispatch** pVal) noexcept = 0;

protected:
    ~IAmbivoxDevice() = default;
};
