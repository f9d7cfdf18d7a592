#include "server/AmbivoxTypeLibrary.h"

#include "ambivox/AmbivoxSDK.h"

namespace ambivox {

namespace {

interface_description events(IID const& iid, std::u16string_view name) {
    return {iid,
            std::u16string(name),
            std::u16string(name) + u" Interface",
            interface_kind::dispatch_only,
            {}};
}

interface_description dual(IID const& iid, std::u16string_view name,
                           std::vector<member_description> members) {
    return {iid, std::u16string(name), std::u16string(name) + u" Interface", interface_kind::dual,
            std::move(members)};
}

coclass_description coclass(CLSID const& clsid, std::u16string_view name, IID const& itf,
                            IID const* source) {
    return {clsid, std::u16string(name), std::u16string(name) + u" Class", &itf, source};
}

std::vector<member_description> data_connector_members() {
    using I = IDataConnector;
    return {
        method<&I::RequestModelNXMLData>(1, u"RequestModelNXMLData", {u"Id", u"Val", u"Handler"}),
        method<&I::RequestModelQSerialComConfigData>(2, u"RequestModelQSerialComConfigData",
                                                     {u"Id", u"ComPort", u"Handler"}),
        method<&I::RequestModelQSerialComData>(3, u"RequestModelQSerialComData",
                                               {u"Id", u"ComPort", u"Handler"}),
        method<&I::RequestModelNXMLConfigData>(4, u"RequestModelNXMLConfigData",
                                               {u"Id", u"Val", u"Handler"}),
        method<&I::RequestModelNHTTPConfigAndData>(5, u"RequestModelNHTTPConfigAndData",
                                                   {u"Id", u"IpAddress", u"ConfigPath", u"DataPath",
                                                    u"Model", u"ConfigHandler", u"DataHandler"}),
    };
}

std::vector<member_description> data_point_members() {
    using I = IDataPoint;
    return {
        property_get<&I::get_Value>(1, u"Value"),
        property_put<&I::put_Value>(1, u"Value"),
        property_get<&I::get_Unit>(2, u"Unit"),
        property_put<&I::put_Unit>(2, u"Unit"),
        property_get<&I::get_Time>(3, u"Time").with_type(0, VT_DATE),
        property_put<&I::put_Time>(3, u"Time").with_type(0, VT_DATE),
        property_get<&I::get_UTCTime>(4, u"UTCTime"),
        property_put<&I::put_UTCTime>(4, u"UTCTime"),
        property_get<&I::get_UTCTimeAsString>(5, u"UTCTimeAsString"),
        property_put<&I::put_UTCTimeAsString>(5, u"UTCTimeAsString"),
    };
}

std::vector<member_description> probe_members() {
    using I = IProbe;
    return {
        property_get<&I::get_Name>(1, u"Name"),
        property_put<&I::put_Name>(1, u"Name"),
        property_get<&I::get_Type>(2, u"Type"),
        property_put<&I::put_Type>(2, u"Type"),
        property_get<&I::get_Number>(3, u"Number"),
        property_put<&I::put_Number>(3, u"Number"),
        property_get<&I::get_Group>(4, u"Group"),
        property_put<&I::put_Group>(4, u"Group"),
        property_get<&I::get_MostRecentDataPoint>(5, u"MostRecentDataPoint"),
        method<&I::Poll>(6, u"Poll", {u"pDataPoint"}),
    };
}

std::vector<member_description> probe_collection_members() {
    using I = IProbeCollection;
    return {
        property_get<&I::get__NewEnum>(DISPID_NEWENUM, u"_NewEnum"),
        property_get<&I::get_Count>(1, u"Count"),
        method<&I::Add>(2, u"Add", {u"pProbe"}),
        method<&I::Item>(DISPID_VALUE, u"Item", {u"Index", u"pItem"}),
        method<&I::Remove>(3, u"Remove", {u"Index"}),
        method<&I::Clear>(4, u"Clear"),
        method<&I::ItemByNumber>(5, u"ItemByNumber", {u"Index", u"pItem"}),
    };
}

std::vector<member_description> model_n_members() {
    using I = IAmbivoxModelN;
    return {
        property_get<&I::get_IpAddress>(1, u"IpAddress"),
        property_put<&I::put_IpAddress>(1, u"IpAddress"),
        property_get<&I::get_Name>(2, u"Name"),
        property_put<&I::put_Name>(2, u"Name"),
        property_get<&I::get_Mask>(3, u"Mask"),
        property_put<&I::put_Mask>(3, u"Mask"),
        property_get<&I::get_Gateway>(4, u"Gateway"),
        property_put<&I::put_Gateway>(4, u"Gateway"),
        property_get<&I::get_SerialNumber>(5, u"SerialNumber"),
        property_get<&I::get_SnmpTrapIpAddress>(6, u"SnmpTrapIpAddress"),
        property_put<&I::put_SnmpTrapIpAddress>(6, u"SnmpTrapIpAddress"),
        property_get<&I::get_SnmpWriteCommunityString>(7, u"SnmpWriteCommunityString"),
        property_put<&I::put_SnmpWriteCommunityString>(7, u"SnmpWriteCommunityString"),
        property_get<&I::get_SnmpReadCommunityString>(8, u"SnmpReadCommunityString"),
        property_put<&I::put_SnmpReadCommunityString>(8, u"SnmpReadCommunityString"),
        property_get<&I::get_SoftwareVersion>(9, u"SoftwareVersion"),
        property_put<&I::put_SoftwareVersion>(9, u"SoftwareVersion"),
        property_get<&I::get_SoftwareReleaseDate>(10, u"SoftwareReleaseDate"),
        property_put<&I::put_SoftwareReleaseDate>(10, u"SoftwareReleaseDate"),
        method<&I::Poll>(11, u"Poll"),
        property_get<&I::get_Model>(12, u"Model"),
        property_put<&I::put_Model>(12, u"Model"),
        property_get<&I::get_Probe>(13, u"Probe", {u"probeId", u"pVal"}),
        property_get<&I::get_Probes>(14, u"Probes").with_help(u"property ProbeCollection"),
    };
}

std::vector<member_description> model_q_members() {
    using I = IAmbivoxModelQ;
    return {
        property_get<&I::get_ComPort>(1, u"ComPort"),
        property_put<&I::put_ComPort>(1, u"ComPort"),
        property_get<&I::get_BatteryStatus>(2, u"BatteryStatus"),
        property_get<&I::get_Name>(3, u"Name"),
        property_put<&I::put_Name>(3, u"Name"),
        method<&I::Poll>(5, u"Poll"),
        property_get<&I::get_Model>(6, u"Model"),
        property_get<&I::get_Probe>(7, u"Probe", {u"probeId", u"pVal"}),
        property_get<&I::get_Probes>(8, u"Probes").with_help(u"property ProbeCollection"),
    };
}

library_description describe_library() {
    library_description lib;
    lib.libid = LIBID_AmbivoxSDKLib;
    lib.name = u"AmbivoxSDKLib";
    lib.help = u"AmbivoxSDK 1.0 Type Library";
    lib.major = 1;
    lib.minor = 0;
    lib.lcid = 0x409;
    lib.syskind = SYS_WIN32;
    lib.interfaces = {
        dual(IID_IDataConnector, u"IDataConnector", data_connector_members()),
        events(DIID__IDataConnectorEvents, u"_IDataConnectorEvents"),
        dual(IID_IDataPoint, u"IDataPoint", data_point_members()),
        events(DIID__IDataPointEvents, u"_IDataPointEvents"),
        dual(IID_IProbe, u"IProbe", probe_members()),
        events(DIID__IProbeEvents, u"_IProbeEvents"),
        dual(IID_IProbeCollection, u"IProbeCollection", probe_collection_members()),
        dual(IID_IAmbivoxModelN, u"IAmbivoxModelN", model_n_members()),
        events(DIID__IAmbivoxModelNEvents, u"_IAmbivoxModelNEvents"),
        dual(IID_IAmbivoxModelQ, u"IAmbivoxModelQ", model_q_members()),
        events(DIID__IAmbivoxModelQEvents, u"_IAmbivoxModelQEvents"),
    };
    lib.coclasses = {
        coclass(CLSID_DataConnector, u"DataConnector", IID_IDataConnector,
                &DIID__IDataConnectorEvents),
        coclass(CLSID_DataPoint, u"DataPoint", IID_IDataPoint, &DIID__IDataPointEvents),
        coclass(CLSID_Probe, u"Probe", IID_IProbe, &DIID__IProbeEvents),
        coclass(CLSID_ProbeCollection, u"ProbeCollection", IID_IProbeCollection, nullptr),
        coclass(CLSID_AmbivoxModelN, u"AmbivoxModelN", IID_IAmbivoxModelN,
                &DIID__IAmbivoxModelNEvents),
        coclass(CLSID_AmbivoxModelQ, u"AmbivoxModelQ", IID_IAmbivoxModelQ,
                &DIID__IAmbivoxModelQEvents),
    };
    return lib;
}

}  // namespace

library_description const& ambivox_type_library() {
    static library_description const library = describe_library();
    return library;
}

}  // namespace ambivox
