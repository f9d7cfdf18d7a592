// The Ambivox SDK's automation interfaces, for compiled clients.
//
// Ownership, as everywhere in the runtime: [in] strings and interfaces are borrowed for the
// call. A string, variant or interface handed out through an out-parameter is the caller's to
// free (SysFreeString, VariantClear, Release). A failing member leaves its out-parameter null,
// empty or unchanged and changes no state.
#pragma once

#include "ambivox/AmbivoxIds.h"
#include "platform/automation/Dispatch.h"

// Event interfaces: dispatch-only, without members; no event is ever raised.
struct _IDataConnectorEvents : IDispatch {
    static constexpr IID iid = DIID__IDataConnectorEvents;
    using base_interface = IDispatch;
};
struct _IDataPointEvents : IDispatch {
    static constexpr IID iid = DIID__IDataPointEvents;
    using base_interface = IDispatch;
};
struct _IProbeEvents : IDispatch {
    static constexpr IID iid = DIID__IProbeEvents;
    using base_interface = IDispatch;
};
struct _IAmbivoxModelNEvents : IDispatch {
    static constexpr IID iid = DIID__IAmbivoxModelNEvents;
    using base_interface = IDispatch;
};
struct _IAmbivoxModelQEvents : IDispatch {
    static constexpr IID iid = DIID__IAmbivoxModelQEvents;
    using base_interface = IDispatch;
};

// The request engine the devices use. A handler is the address of an element handler of this
// process, carried in and out of the call: pointer-wide here, declared `long` for late binding.
// Only a live handler of this process is ever used; any other value fails with E_INVALIDARG.
struct IDataConnector : IDispatch {
    static constexpr IID iid = IID_IDataConnector;
    using base_interface = IDispatch;

    virtual HRESULT RequestModelNXMLData(BSTR Id, BSTR Val, LONG_PTR* Handler) noexcept = 0;
    virtual HRESULT RequestModelQSerialComConfigData(BSTR Id, BSTR ComPort,
                                                     LONG_PTR* Handler) noexcept = 0;
    virtual HRESULT RequestModelQSerialComData(BSTR Id, BSTR ComPort,
                                               LONG_PTR* Handler) noexcept = 0;
    virtual HRESULT RequestModelNXMLConfigData(BSTR Id, BSTR Val, LONG_PTR* Handler) noexcept = 0;
    virtual HRESULT RequestModelNHTTPConfigAndData(BSTR Id, BSTR IpAddress, BSTR ConfigPath,
                                                   BSTR DataPath, BSTR Model,
                                                   LONG_PTR* ConfigHandler,
                                                   LONG_PTR* DataHandler) noexcept = 0;

protected:
    ~IDataConnector() = default;
};

// One reading: a value, its unit and the moment it was taken (seconds since 1970 UTC).
struct IDataPoint : IDispatch {
    static constexpr IID iid = IID_IDataPoint;
    using base_interface = IDispatch;

    // *pVal must be uninitialised or empty; it receives a deep copy.
    virtual HRESULT get_Value(VARIANT* pVal) noexcept = 0;
    virtual HRESULT put_Value(VARIANT newVal) noexcept = 0;
    virtual HRESULT get_Unit(BSTR* pVal) noexcept = 0;
    // Changing between "C", "F", "R" and "K" converts the value.
    virtual HRESULT put_Unit(BSTR newVal) noexcept = 0;
    // The reading's local time as an OLE date.
    virtual HRESULT get_Time(DATE* pVal) noexcept = 0;
    virtual HRESULT put_Time(DATE newVal) noexcept = 0;
    virtual HRESULT get_UTCTime(LONGLONG* pVal) noexcept = 0;
    virtual HRESULT put_UTCTime(LONGLONG newVal) noexcept = 0;
    virtual HRESULT get_UTCTimeAsString(BSTR* pVal) noexcept = 0;
    virtual HRESULT put_UTCTimeAsString(BSTR newVal) noexcept = 0;

protected:
    ~IDataPoint() = default;
};

// One sensor channel of a device, holding its most recent reading.
struct IProbe : IDispatch {
    static constexpr IID iid = IID_IProbe;
    using base_interface = IDispatch;

    virtual HRESULT get_Name(BSTR* pVal) noexcept = 0;
    virtual HRESULT put_Name(BSTR newVal) noexcept = 0;
    virtual HRESULT get_Type(BSTR* pVal) noexcept = 0;
    virtual HRESULT put_Type(BSTR newVal) noexcept = 0;
    virtual HRESULT get_Number(SHORT* pVal) noexcept = 0;
    virtual HRESULT put_Number(SHORT newVal) noexcept = 0;
    virtual HRESULT get_Group(LONG* pVal) noexcept = 0;
    virtual HRESULT put_Group(LONG newVal) noexcept = 0;
    // The very data point recorded by the last Poll, with a new reference.
    virtual HRESULT get_MostRecentDataPoint(IDataPoint** pVal) noexcept = 0;
    // Keeps a reference to pDataPoint as the most recent reading.
    virtual HRESULT Poll(IDataPoint* pDataPoint) noexcept = 0;

protected:
    ~IProbe() = default;
};

// A device's probes, ordered by probe number.
struct IProbeCollection : IDispatch {
    static constexpr IID iid = IID_IProbeCollection;
    using base_interface = IDispatch;

    // An IEnumVARIANT over a snapshot of the probes, as IUnknown.
    virtual HRESULT get__NewEnum(IUnknown** pVal) noexcept = 0;
    virtual HRESULT get_Count(LONG* pVal) noexcept = 0;
    virtual HRESULT Add(IProbe* pProbe) noexcept = 0;
    // Index: a 1-based position (VT_I2, VT_I4) or a probe name (VT_BSTR).
    virtual HRESULT Item(VARIANT Index, IDispatch** pItem) noexcept = 0;
    // Index: a probe number (VT_I2, VT_I4) or a probe name (VT_BSTR).
    virtual HRESULT Remove(VARIANT Index) noexcept = 0;
    virtual HRESULT Clear() noexcept = 0;
    // Index: a probe number (VT_I2, VT_I4).
    virtual HRESULT ItemByNumber(VARIANT Index, IDispatch** pItem) noexcept = 0;

protected:
    ~IProbeCollection() = default;
};

// A network device of models N3, N7, N15 and NX2.
struct IAmbivoxModelN : IDispatch {
    static constexpr IID iid = IID_IAmbivoxModelN;
    using base_interface = IDispatch;

    virtual HRESULT get_IpAddress(BSTR* pVal) noexcept = 0;
    virtual HRESULT put_IpAddress(BSTR newVal) noexcept = 0;
    virtual HRESULT get_Name(BSTR* pVal) noexcept = 0;
    virtual HRESULT put_Name(BSTR newVal) noexcept = 0;
    virtual HRESULT get_Mask(BSTR* pVal) noexcept = 0;
    virtual HRESULT put_Mask(BSTR newVal) noexcept = 0;
    virtual HRESULT get_Gateway(BSTR* pVal) noexcept = 0;
    virtual HRESULT put_Gateway(BSTR newVal) noexcept = 0;
    virtual HRESULT get_SerialNumber(BSTR* pVal) noexcept = 0;
    virtual HRESULT get_SnmpTrapIpAddress(BSTR* pVal) noexcept = 0;
    virtual HRESULT put_SnmpTrapIpAddress(BSTR newVal) noexcept = 0;
    virtual HRESULT get_SnmpWriteCommunityString(BSTR* pVal) noexcept = 0;
    virtual HRESULT put_SnmpWriteCommunityString(BSTR newVal) noexcept = 0;
    virtual HRESULT get_SnmpReadCommunityString(BSTR* pVal) noexcept = 0;
    virtual HRESULT put_SnmpReadCommunityString(BSTR newVal) noexcept = 0;
    virtual HRESULT get_SoftwareVersion(BSTR* pVal) noexcept = 0;
    virtual HRESULT put_SoftwareVersion(BSTR newVal) noexcept = 0;
    virtual HRESULT get_SoftwareReleaseDate(BSTR* pVal) noexcept = 0;
    virtual HRESULT put_SoftwareReleaseDate(BSTR newVal) noexcept = 0;
    // Reads the device's configuration and readings; blocks for the whole exchange.
    virtual HRESULT Poll() noexcept = 0;
    virtual HRESULT get_Model(BSTR* pVal) noexcept = 0;
    virtual HRESULT put_Model(BSTR newVal) noexcept = 0;
    virtual HRESULT get_Probe(SHORT probeId, IDispatch** pVal) noexcept = 0;
    // The device's IProbeCollection, as IDispatch.
    virtual HRESULT get_Probes(IDispatch** pVal) noexcept = 0;

protected:
    ~IAmbivoxModelN() = default;
};

// The serial device on a COM port.
struct IAmbivoxModelQ : IDispatch {
    static constexpr IID iid = IID_IAmbivoxModelQ;
    using base_interface = IDispatch;

    virtual HRESULT get_ComPort(BSTR* pVal) noexcept = 0;
    virtual HRESULT put_ComPort(BSTR newVal) noexcept = 0;
    virtual HRESULT get_BatteryStatus(BSTR* pVal) noexcept = 0;
    virtual HRESULT get_Name(BSTR* pVal) noexcept = 0;
    virtual HRESULT put_Name(BSTR newVal) noexcept = 0;
    // Reads the device's two probes and battery status; blocks for the whole exchange.
    virtual HRESULT Poll() noexcept = 0;
    virtual HRESULT get_Model(BSTR* pVal) noexcept = 0;
    virtual HRESULT get_Probe(SHORT probeId, IDispatch** pVal) noexcept = 0;
    // The device's IProbeCollection, as IDispatch.
    virtual HRESULT get_Probes(IDispatch** pVal) noexcept = 0;

protected:
    ~IAmbivoxModelQ() = default;
};
