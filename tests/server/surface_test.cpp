// The SDK's automation surface, checked against a transcription of its published tables. The
// expected values below are written out by hand on purpose: deriving them from the description
// would let a wrong entry confirm itself.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ambivox/AmbivoxSDK.h"
#include "platform/automation/DispatchImpl.h"
#include "platform/automation/TypeLibrary.h"
#include "platform/automation/UniqueBstr.h"
#include "server/AmbivoxTypeLibrary.h"

namespace {

using ambivox::com_ptr;
using ambivox::unique_bstr;

using chain = std::vector<VARTYPE>;  // a TYPEDESC chain, outermost first

struct param {
    std::u16string name;
    chain type;
    USHORT flags;
    IID const* refers_to = nullptr;  // the interface a VT_USERDEFINED names
};

struct member {
    DISPID dispid;
    INVOKEKIND kind;
    std::u16string name;
    std::vector<param> params;
    std::u16string help;
};

struct interface_row {
    IID iid;
    std::u16string name;
    std::u16string help;
    std::vector<member> members;  // empty for the event interfaces
    bool events = false;
};

struct coclass_row {
    CLSID clsid;
    std::u16string name;
    std::u16string help;
    IID default_interface;
    IID const* source;
};

constexpr USHORT in = PARAMFLAG_FIN;
constexpr USHORT out = PARAMFLAG_FOUT;
constexpr USHORT retval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

chain const bstr{VT_BSTR};
chain const variant{VT_VARIANT};
chain const date{VT_DATE};
chain const hyper{VT_I8};
chain const short_{VT_I2};
chain const long_{VT_I4};
chain const dispatch{VT_DISPATCH};
chain const unknown{VT_UNKNOWN};
chain const userdefined{VT_PTR, VT_USERDEFINED};  // an interface pointer of this library

chain ptr(chain inner) {
    inner.insert(inner.begin(), VT_PTR);
    return inner;
}

member get(DISPID dispid, std::u16string name, chain type, IID const* refers_to = nullptr) {
    std::u16string help = u"property " + name;
    return {dispid,
            INVOKE_PROPERTYGET,
            std::move(name),
            {{u"pVal", ptr(type), retval, refers_to}},
            std::move(help)};
}

member put(DISPID dispid, std::u16string name, chain type) {
    std::u16string help = u"property " + name;
    return {dispid, INVOKE_PROPERTYPUT, std::move(name), {{u"", type, in}}, std::move(help)};
}

member method(DISPID dispid, std::u16string name, std::vector<param> params = {}) {
    std::u16string help = u"method " + name;
    return {dispid, INVOKE_FUNC, std::move(name), std::move(params), std::move(help)};
}

std::vector<interface_row> const& interfaces() {
    static std::vector<interface_row> const rows = {
        {IID_IDataConnector,
         u"IDataConnector",
         u"IDataConnector Interface",
         {
             method(1, u"RequestModelNXMLData",
                    {{u"Id", bstr, in}, {u"Val", bstr, in}, {u"Handler", ptr(long_), retval}}),
             method(2, u"RequestModelQSerialComConfigData",
                    {{u"Id", bstr, in}, {u"ComPort", bstr, in}, {u"Handler", ptr(long_), retval}}),
             method(3, u"RequestModelQSerialComData",
                    {{u"Id", bstr, in}, {u"ComPort", bstr, in}, {u"Handler", ptr(long_), retval}}),
             method(4, u"RequestModelNXMLConfigData",
                    {{u"Id", bstr, in}, {u"Val", bstr, in}, {u"Handler", ptr(long_), retval}}),
             method(5, u"RequestModelNHTTPConfigAndData",
                    {{u"Id", bstr, in},
                     {u"IpAddress", bstr, in},
                     {u"ConfigPath", bstr, in},
                     {u"DataPath", bstr, in},
                     {u"Model", bstr, in},
                     {u"ConfigHandler", ptr(long_), out},
                     {u"DataHandler", ptr(long_), out}}),
         }},
        {DIID__IDataConnectorEvents,
         u"_IDataConnectorEvents",
         u"_IDataConnectorEvents Interface",
         {},
         true},
        {IID_IDataPoint,
         u"IDataPoint",
         u"IDataPoint Interface",
         {
             get(1, u"Value", variant),
             put(1, u"Value", variant),
             get(2, u"Unit", bstr),
             put(2, u"Unit", bstr),
             get(3, u"Time", date),
             put(3, u"Time", date),
             get(4, u"UTCTime", hyper),
             put(4, u"UTCTime", hyper),
             get(5, u"UTCTimeAsString", bstr),
             put(5, u"UTCTimeAsString", bstr),
         }},
        {DIID__IDataPointEvents, u"_IDataPointEvents", u"_IDataPointEvents Interface", {}, true},
        {IID_IProbe,
         u"IProbe",
         u"IProbe Interface",
         {
             get(1, u"Name", bstr),
             put(1, u"Name", bstr),
             get(2, u"Type", bstr),
             put(2, u"Type", bstr),
             get(3, u"Number", short_),
             put(3, u"Number", short_),
             get(4, u"Group", long_),
             put(4, u"Group", long_),
             get(5, u"MostRecentDataPoint", userdefined, &IID_IDataPoint),
             method(6, u"Poll", {{u"pDataPoint", userdefined, in, &IID_IDataPoint}}),
         }},
        {DIID__IProbeEvents, u"_IProbeEvents", u"_IProbeEvents Interface", {}, true},
        {IID_IProbeCollection,
         u"IProbeCollection",
         u"IProbeCollection Interface",
         {
             get(-4, u"_NewEnum", unknown),
             get(1, u"Count", long_),
             method(2, u"Add", {{u"pProbe", userdefined, in, &IID_IProbe}}),
             method(0, u"Item", {{u"Index", variant, in}, {u"pItem", ptr(dispatch), retval}}),
             method(3, u"Remove", {{u"Index", variant, in}}),
             method(4, u"Clear"),
             method(5, u"ItemByNumber",
                    {{u"Index", variant, in}, {u"pItem", ptr(dispatch), retval}}),
         }},
        {IID_IAmbivoxModelN,
         u"IAmbivoxModelN",
         u"IAmbivoxModelN Interface",
         {
             get(1, u"IpAddress", bstr),
             put(1, u"IpAddress", bstr),
             get(2, u"Name", bstr),
             put(2, u"Name", bstr),
             get(3, u"Mask", bstr),
             put(3, u"Mask", bstr),
             get(4, u"Gateway", bstr),
             put(4, u"Gateway", bstr),
             get(5, u"SerialNumber", bstr),
             get(6, u"SnmpTrapIpAddress", bstr),
             put(6, u"SnmpTrapIpAddress", bstr),
             get(7, u"SnmpWriteCommunityString", bstr),
             put(7, u"SnmpWriteCommunityString", bstr),
             get(8, u"SnmpReadCommunityString", bstr),
             put(8, u"SnmpReadCommunityString", bstr),
             get(9, u"SoftwareVersion", bstr),
             put(9, u"SoftwareVersion", bstr),
             get(10, u"SoftwareReleaseDate", bstr),
             put(10, u"SoftwareReleaseDate", bstr),
             method(11, u"Poll"),
             get(12, u"Model", bstr),
             put(12, u"Model", bstr),
             {13,
              INVOKE_PROPERTYGET,
              u"Probe",
              {{u"probeId", short_, in}, {u"pVal", ptr(dispatch), retval}},
              u"property Probe"},
             {14,
              INVOKE_PROPERTYGET,
              u"Probes",
              {{u"pVal", ptr(dispatch), retval}},
              u"property ProbeCollection"},
         }},
        {DIID__IAmbivoxModelNEvents,
         u"_IAmbivoxModelNEvents",
         u"_IAmbivoxModelNEvents Interface",
         {},
         true},
        {IID_IAmbivoxModelQ,
         u"IAmbivoxModelQ",
         u"IAmbivoxModelQ Interface",
         {
             get(1, u"ComPort", bstr),
             put(1, u"ComPort", bstr),
             get(2, u"BatteryStatus", bstr),
             get(3, u"Name", bstr),
             put(3, u"Name", bstr),
             method(5, u"Poll"),
             get(6, u"Model", bstr),
             {7,
              INVOKE_PROPERTYGET,
              u"Probe",
              {{u"probeId", short_, in}, {u"pVal", ptr(dispatch), retval}},
              u"property Probe"},
             {8,
              INVOKE_PROPERTYGET,
              u"Probes",
              {{u"pVal", ptr(dispatch), retval}},
              u"property ProbeCollection"},
         }},
        {DIID__IAmbivoxModelQEvents,
         u"_IAmbivoxModelQEvents",
         u"_IAmbivoxModelQEvents Interface",
         {},
         true},
    };
    return rows;
}

std::vector<coclass_row> const& coclasses() {
    static std::vector<coclass_row> const rows = {
        {CLSID_DataConnector, u"DataConnector", u"DataConnector Class", IID_IDataConnector,
         &DIID__IDataConnectorEvents},
        {CLSID_DataPoint, u"DataPoint", u"DataPoint Class", IID_IDataPoint,
         &DIID__IDataPointEvents},
        {CLSID_Probe, u"Probe", u"Probe Class", IID_IProbe, &DIID__IProbeEvents},
        {CLSID_ProbeCollection, u"ProbeCollection", u"ProbeCollection Class", IID_IProbeCollection,
         nullptr},
        {CLSID_AmbivoxModelN, u"AmbivoxModelN", u"AmbivoxModelN Class", IID_IAmbivoxModelN,
         &DIID__IAmbivoxModelNEvents},
        {CLSID_AmbivoxModelQ, u"AmbivoxModelQ", u"AmbivoxModelQ Class", IID_IAmbivoxModelQ,
         &DIID__IAmbivoxModelQEvents},
    };
    return rows;
}

class SurfaceTest : public ::testing::Test {
protected:
    void SetUp() override { library = ambivox::make_type_library(ambivox::ambivox_type_library()); }

    com_ptr<ITypeInfo> info_of(GUID const& guid) {
        com_ptr<ITypeInfo> info;
        EXPECT_EQ(library->GetTypeInfoOfGuid(guid, info.put()), S_OK);
        return info;
    }

    static TYPEATTR const& attr_of(ITypeInfo* info) {
        TYPEATTR* attr = nullptr;
        EXPECT_EQ(info->GetTypeAttr(&attr), S_OK);
        return *attr;
    }

    static std::pair<std::u16string, std::u16string> documentation(ITypeInfo* info,
                                                                   MEMBERID memid) {
        BSTR name = nullptr;
        BSTR help = nullptr;
        EXPECT_EQ(info->GetDocumentation(memid, &name, &help, nullptr, nullptr), S_OK);
        return {unique_bstr::attach(name).str(), unique_bstr::attach(help).str()};
    }

    com_ptr<ITypeLib> library;
};

TEST_F(SurfaceTest, LibraryBlock) {
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, ambivox::make_guid("A8A3E7BB-7079-4CE6-A2A4-D9E705FAB0D6"));
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->lcid, 0x409u);
    EXPECT_EQ(attr->syskind, SYS_WIN32);
    library->ReleaseTLibAttr(attr);

    BSTR name = nullptr;
    BSTR help = nullptr;
    ASSERT_EQ(library->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_EQ(unique_bstr::attach(name).view(), u"AmbivoxSDKLib");
    EXPECT_EQ(unique_bstr::attach(help).view(), u"AmbivoxSDK 1.0 Type Library");

    EXPECT_EQ(library->GetTypeInfoCount(), interfaces().size() + coclasses().size());
}

// The identities in the shared header are the ones clients compile against.
TEST_F(SurfaceTest, IdentitiesMatchThePublishedValues) {
    EXPECT_EQ(CLSID_DataConnector, ambivox::make_guid("396D6253-329D-4E3D-BB13-06C90091BC8F"));
    EXPECT_EQ(CLSID_DataPoint, ambivox::make_guid("D98277F8-3A3D-46C3-97BB-0E75A95E65EA"));
    EXPECT_EQ(CLSID_Probe, ambivox::make_guid("75BFB2FD-E60E-492B-BCA5-1CD77476290A"));
    EXPECT_EQ(CLSID_ProbeCollection, ambivox::make_guid("1C5DD762-527F-456E-BFE6-21D8C68E854C"));
    EXPECT_EQ(CLSID_AmbivoxModelN, ambivox::make_guid("74F1AF22-914C-4A81-BD8C-29E48783406E"));
    EXPECT_EQ(CLSID_AmbivoxModelQ, ambivox::make_guid("B0D5A01A-1E33-40DD-80C6-0A489764EE3E"));
    EXPECT_EQ(IID_IDataConnector, ambivox::make_guid("A028E0F3-FFA6-43BF-A8EF-F3E41C602233"));
    EXPECT_EQ(DIID__IDataConnectorEvents,
              ambivox::make_guid("305558C2-F436-4068-A663-548E8022B31F"));
    EXPECT_EQ(IID_IDataPoint, ambivox::make_guid("88CB324D-43F1-4031-8E95-4B864347A316"));
    EXPECT_EQ(DIID__IDataPointEvents, ambivox::make_guid("AAF6099D-AC3B-4CF1-9342-16C3C5B3EA38"));
    EXPECT_EQ(IID_IProbe, ambivox::make_guid("36874778-9851-4A6D-A532-2A30509EEA9A"));
    EXPECT_EQ(DIID__IProbeEvents, ambivox::make_guid("D91795B9-BB41-464A-A863-8980539884B0"));
    EXPECT_EQ(IID_IProbeCollection, ambivox::make_guid("128ADC58-D1FA-4830-854F-C697A5EA378B"));
    EXPECT_EQ(IID_IAmbivoxModelN, ambivox::make_guid("1CE0F259-835F-466B-90AE-DB7A0CAD4763"));
    EXPECT_EQ(DIID__IAmbivoxModelNEvents,
              ambivox::make_guid("26188F48-F33C-4D99-8122-0ACA395ABFD9"));
    EXPECT_EQ(IID_IAmbivoxModelQ, ambivox::make_guid("D36E4563-36D9-46BE-9B09-A8210094F010"));
    EXPECT_EQ(DIID__IAmbivoxModelQEvents,
              ambivox::make_guid("C70B9C1C-B703-4CB8-B955-9579FF3C1A7B"));
}

TEST_F(SurfaceTest, Coclasses) {
    for (auto const& row : coclasses()) {
        SCOPED_TRACE(std::string(row.name.begin(), row.name.end()));
        com_ptr<ITypeInfo> info = info_of(row.clsid);
        ASSERT_TRUE(info);
        TYPEATTR const& attr = attr_of(info.get());
        EXPECT_EQ(attr.typekind, TKIND_COCLASS);
        EXPECT_TRUE(attr.wTypeFlags & TYPEFLAG_FCANCREATE);
        EXPECT_EQ(attr.cImplTypes, row.source != nullptr ? 2 : 1);
        EXPECT_EQ(documentation(info.get(), MEMBERID_NIL), std::make_pair(row.name, row.help));

        HREFTYPE ref = 0;
        INT flags = 0;
        com_ptr<ITypeInfo> implemented;
        ASSERT_EQ(info->GetRefTypeOfImplType(0, &ref), S_OK);
        ASSERT_EQ(info->GetRefTypeInfo(ref, implemented.put()), S_OK);
        EXPECT_EQ(attr_of(implemented.get()).guid, row.default_interface);
        ASSERT_EQ(info->GetImplTypeFlags(0, &flags), S_OK);
        EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
        if (row.source != nullptr) {
            ASSERT_EQ(info->GetRefTypeOfImplType(1, &ref), S_OK);
            ASSERT_EQ(info->GetRefTypeInfo(ref, implemented.put()), S_OK);
            EXPECT_EQ(attr_of(implemented.get()).guid, *row.source);
            ASSERT_EQ(info->GetImplTypeFlags(1, &flags), S_OK);
            EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
        }
    }
}

TEST_F(SurfaceTest, InterfacesAndTheirAttributes) {
    for (auto const& row : interfaces()) {
        SCOPED_TRACE(std::string(row.name.begin(), row.name.end()));
        com_ptr<ITypeInfo> info = info_of(row.iid);
        ASSERT_TRUE(info);
        EXPECT_EQ(documentation(info.get(), MEMBERID_NIL), std::make_pair(row.name, row.help));
        TYPEATTR const& attr = attr_of(info.get());
        EXPECT_EQ(attr.typekind, TKIND_DISPATCH);
        EXPECT_EQ(attr.cFuncs, row.members.size());
        EXPECT_EQ(attr.cVars, 0);
        if (row.events) {
            EXPECT_EQ(attr.cFuncs, 0);
            EXPECT_EQ(attr.wTypeFlags & TYPEFLAG_FDUAL, 0);
            EXPECT_TRUE(attr.wTypeFlags & TYPEFLAG_FDISPATCHABLE);
        } else {
            EXPECT_EQ(attr.wTypeFlags, TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE |
                                           TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE);
        }
        // Every one of them derives from IDispatch.
        HREFTYPE ref = 0;
        com_ptr<ITypeInfo> base;
        ASSERT_EQ(info->GetRefTypeOfImplType(0, &ref), S_OK);
        ASSERT_EQ(info->GetRefTypeInfo(ref, base.put()), S_OK);
        EXPECT_EQ(attr_of(base.get()).guid, IID_IDispatch);
    }
}

// Member by member: DISPID, kind, vtable slot, parameter types and flags from the type library;
// names and help strings from the library and from the description the dispatch tables use.
TEST_F(SurfaceTest, MembersOfTheDefaultInterfaces) {
    ambivox::library_description const& description = ambivox::ambivox_type_library();
    for (auto const& row : interfaces()) {
        if (row.events) continue;
        SCOPED_TRACE(std::string(row.name.begin(), row.name.end()));
        com_ptr<ITypeInfo> info = info_of(row.iid);
        ASSERT_TRUE(info);
        ambivox::interface_description const* described = nullptr;
        for (auto const& itf : description.interfaces)
            if (itf.iid == row.iid) described = &itf;
        ASSERT_NE(described, nullptr);
        ASSERT_EQ(described->members.size(), row.members.size());

        for (std::size_t i = 0; i < row.members.size(); ++i) {
            member const& want = row.members[i];
            SCOPED_TRACE(std::string(want.name.begin(), want.name.end()) + " #" +
                         std::to_string(i + 1));
            FUNCDESC* f = nullptr;
            ASSERT_EQ(info->GetFuncDesc(static_cast<UINT>(i), &f), S_OK);
            EXPECT_EQ(f->memid, want.dispid);
            EXPECT_EQ(f->invkind, want.kind);
            EXPECT_EQ(f->oVft, static_cast<SHORT>((7 + i) * sizeof(void*)));
            EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT);
            ASSERT_EQ(f->cParams, static_cast<SHORT>(want.params.size()));

            ambivox::member_description const& m = described->members[i];
            EXPECT_TRUE(m.name == want.name);
            EXPECT_TRUE(m.help == want.help);
            for (std::size_t p = 0; p < want.params.size(); ++p) {
                param const& wp = want.params[p];
                SCOPED_TRACE(std::string(wp.name.begin(), wp.name.end()));
                EXPECT_TRUE(m.params[p].name == wp.name);
                ELEMDESC const& e = f->lprgelemdescParam[p];
                EXPECT_EQ(e.paramdesc.wParamFlags, wp.flags);
                chain got;
                TYPEDESC const* level = &e.tdesc;
                for (;;) {
                    got.push_back(level->vt);
                    if (level->vt != VT_PTR) break;
                    level = level->lptdesc;
                }
                EXPECT_EQ(got, wp.type);
                if (wp.refers_to != nullptr && level->vt == VT_USERDEFINED) {
                    com_ptr<ITypeInfo> referenced;
                    ASSERT_EQ(info->GetRefTypeInfo(level->hreftype, referenced.put()), S_OK);
                    EXPECT_EQ(attr_of(referenced.get()).guid, *wp.refers_to);
                }
            }
        }

        // Through ITypeInfo: a DISPID names its first member (a property's getter), with the
        // parameters that have names.
        for (std::size_t i = 0; i < row.members.size(); ++i) {
            member const& want = row.members[i];
            bool first = true;
            for (std::size_t j = 0; j < i; ++j)
                first = first && row.members[j].dispid != want.dispid;
            if (!first) continue;
            std::vector<std::u16string> expected{want.name};
            for (auto const& p : want.params)
                if (!p.name.empty()) expected.push_back(p.name);
            BSTR names[8] = {};
            UINT count = 0;
            ASSERT_EQ(info->GetNames(want.dispid, names, 8, &count), S_OK);
            std::vector<std::u16string> got;
            for (UINT n = 0; n < count; ++n)
                got.push_back(unique_bstr::attach(names[n]).str());
            EXPECT_TRUE(got == expected) << "names of DISPID " << want.dispid;
            EXPECT_EQ(documentation(info.get(), want.dispid), std::make_pair(want.name, want.help));

            std::u16string lower;
            for (char16_t c : want.name)
                lower.push_back(c >= u'A' && c <= u'Z' ? c + 32 : c);
            LPOLESTR raw = lower.data();
            MEMBERID found = 12345;
            ASSERT_EQ(info->GetIDsOfNames(&raw, 1, &found), S_OK);
            EXPECT_EQ(found, want.dispid);
        }
    }
}

TEST_F(SurfaceTest, ModelQHasNoDispid4) {
    com_ptr<ITypeInfo> info = info_of(IID_IAmbivoxModelQ);
    ASSERT_TRUE(info);
    TYPEATTR const& attr = attr_of(info.get());
    for (UINT i = 0; i < attr.cFuncs; ++i) {
        FUNCDESC* f = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK);
        EXPECT_NE(f->memid, 4);
    }
    BSTR name = nullptr;
    EXPECT_EQ(info->GetDocumentation(4, &name, nullptr, nullptr, nullptr), TYPE_E_ELEMENTNOTFOUND);
    // The member is refused before any object is touched.
    int notAnObject = 0;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    for (WORD flags : {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT})
        EXPECT_EQ(info->Invoke(&notAnObject, 4, flags, &none, nullptr, nullptr, nullptr),
                  DISP_E_MEMBERNOTFOUND);
}

// A stand-in for the serial device: enough to reach its members through IDispatch.
class FakeModelQ final : public ambivox::implements<FakeModelQ, ambivox::dispatch<IAmbivoxModelQ>> {
public:
    HRESULT get_ComPort(BSTR* pVal) noexcept override { return text(u"COM3", pVal); }
    HRESULT put_ComPort(BSTR) noexcept override { return S_OK; }
    HRESULT get_BatteryStatus(BSTR* pVal) noexcept override { return text(u"OK", pVal); }
    HRESULT get_Name(BSTR* pVal) noexcept override { return text(u"Q", pVal); }
    HRESULT put_Name(BSTR) noexcept override { return S_OK; }
    HRESULT Poll() noexcept override {
        ++polls;
        return S_OK;
    }
    HRESULT get_Model(BSTR* pVal) noexcept override { return text(u"Model Q", pVal); }
    HRESULT get_Probe(SHORT, IDispatch** pVal) noexcept override {
        *pVal = nullptr;
        return E_INVALIDARG;
    }
    HRESULT get_Probes(IDispatch** pVal) noexcept override {
        *pVal = nullptr;
        return S_OK;
    }

    int polls = 0;

private:
    ~FakeModelQ() override = default;
    static HRESULT text(char16_t const* value, BSTR* out) noexcept {
        *out = SysAllocString(value);
        return *out != nullptr ? S_OK : E_OUTOFMEMORY;
    }
};

TEST(SurfaceDispatchTest, ModelQIsReachedByNameAndRefusesDispid4) {
    auto device = ambivox::make<FakeModelQ>();
    IDispatch* const disp = static_cast<IDispatch*>(device.get());

    com_ptr<ITypeInfo> info;
    ASSERT_EQ(disp->GetTypeInfo(0, 0, info.put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, IID_IAmbivoxModelQ);

    std::u16string poll = u"POLL";
    LPOLESTR name = poll.data();
    DISPID dispid = 0;
    ASSERT_EQ(disp->GetIDsOfNames(IID_NULL, &name, 1, 0, &dispid), S_OK);
    EXPECT_EQ(dispid, 5);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(disp->Invoke(dispid, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(device->polls, 1);

    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(disp->Invoke(6, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
              S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(ambivox::bstr_view(result.bstrVal), u"Model Q");
    VariantClear(&result);

    EXPECT_EQ(disp->Invoke(4, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, &result,
                           nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    // Model is read-only on this device.
    VARIANT value;
    VariantInit(&value);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{&value, &named, 1, 1};
    EXPECT_EQ(disp->Invoke(6, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

}  // namespace
