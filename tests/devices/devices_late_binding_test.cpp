// The devices and the data connector driven by name only, as a script drives them: objects
// created by ProgID, every member reached through GetIDsOfNames and Invoke, every value a
// variant. A member's failure arrives as DISP_E_EXCEPTION carrying the member's own code.
#include <string>

#include "tests/devices/SdkClientTest.h"
#include "tests/support/LateBinding.h"
#include "tests/support/UniqueExcepInfo.h"
#include "tools/simulators/ModelQSimulator.h"

namespace {

using ambivox::bstr_view;
using ambivox::com_ptr;
using ambivox::unique_variant;
using ambivox::simulation::HttpDeviceSimulator;
using ambivox::simulation::ModelQSimulator;
using ambivox::testing::DispatchArgs;
using ambivox::testing::unique_excepinfo;

class DevicesByName : public ambivox::testing::SdkClientTest {
protected:
    static com_ptr<IDispatch> create_by_name(char const* progId) {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(u16(progId).c_str(), &clsid), S_OK) << progId;
        return create<IDispatch>(clsid);
    }

    // One call by name, with a place for the exception, whose code lands in *scode.
    static HRESULT invoke(IDispatch* object, char const* name, WORD flags, DispatchArgs args,
                          VARIANT* result = nullptr, HRESULT* scode = nullptr,
                          std::string* words = nullptr) {
        unique_excepinfo excep;
        HRESULT const hr = ambivox::testing::invoke_by_name(object, u16(name), flags,
                                                            std::move(args), result, excep.put());
        if (scode != nullptr) *scode = excep->scode;
        if (words != nullptr)
            *words = ambivox::narrow(bstr_view(excep->bstrSource), CP_UTF8) + ": " +
                     ambivox::narrow(bstr_view(excep->bstrDescription), CP_UTF8);
        return hr;
    }

    static unique_variant get(IDispatch* object, char const* name, DispatchArgs args = {}) {
        unique_variant result;
        EXPECT_EQ(invoke(object, name, DISPATCH_PROPERTYGET, std::move(args), result.put()), S_OK)
            << name;
        return result;
    }
    static com_ptr<IDispatch> get_object(IDispatch* object, char const* name,
                                         DispatchArgs args = {}) {
        unique_variant held = get(object, name, std::move(args));
        EXPECT_EQ(held.type(), VT_DISPATCH) << name;
        return held.type() == VT_DISPATCH ? ambivox::com_copy(held->pdispVal) : nullptr;
    }
    static std::string get_text(IDispatch* object, char const* name) {
        unique_variant held = get(object, name);
        EXPECT_EQ(held.type(), VT_BSTR) << name;
        return held.type() == VT_BSTR ? ambivox::narrow(bstr_view(held->bstrVal), CP_UTF8) : "";
    }
    static double get_number(IDispatch* object, char const* name) {
        unique_variant held = get(object, name);
        EXPECT_EQ(held.type(), VT_R8) << name;
        return held.type() == VT_R8 ? held->dblVal : 0.0;
    }
    static HRESULT put(IDispatch* object, char const* name, VARIANT const& value,
                       HRESULT* scode = nullptr) {
        return invoke(object, name, DISPATCH_PROPERTYPUT, DispatchArgs::property_value(value),
                      nullptr, scode);
    }
    static HRESULT call(IDispatch* object, char const* name, DispatchArgs args = {},
                        HRESULT* scode = nullptr, std::string* words = nullptr) {
        return invoke(object, name, DISPATCH_METHOD, std::move(args), nullptr, scode, words);
    }

    static unique_variant words(std::string_view utf8) { return unique_variant::from(u16(utf8)); }
    static VARIANT number(LONG value) { return unique_variant::from(value).get(); }

    // probes.Item(position).MostRecentDataPoint
    static com_ptr<IDispatch> reading_at(IDispatch* device, LONG position) {
        auto probes = get_object(device, "Probes");
        if (!probes) return nullptr;
        auto item = get_object(probes.get(), "Item", {number(position)});
        return item ? get_object(item.get(), "MostRecentDataPoint") : nullptr;
    }
};

TEST_F(DevicesByName, ModelNFromItsXmlDocuments) {
    HttpDeviceSimulator device;
    device.serve("/xmlconfig", R"(<Ambivox id="SN-1"><Unit><Name>Lab</Name></Unit>
        <Probe id="1" type="Temperature"><Name>Inlet</Name><Units>C</Units></Probe>
        <Probe id="2" type="Humidity"><Name>Air</Name><Units>H</Units></Probe>
        <Probe id="4" type="Temperature"><Name>Outlet</Name><Units>C</Units></Probe></Ambivox>)");
    device.serve("/xmldata", R"(<Ambivox id="SN-1"><Probe id="1"><Value>4.5</Value></Probe>
        <Probe id="2"><Value>abc</Value></Probe><Probe id="4"><Value>7.25</Value></Probe>
        </Ambivox>)");
    auto monitor = create_by_name("AmbivoxSDK.AmbivoxModelN");
    ASSERT_TRUE(monitor);
    unique_variant const address = words(address_of(device));
    ASSERT_EQ(put(monitor.get(), "IpAddress", address.get()), S_OK);
    HRESULT scode = S_OK;
    EXPECT_EQ(put(monitor.get(), "ipaddress", address.get(), &scode), DISP_E_EXCEPTION);
    EXPECT_EQ(scode, E_INVALIDARG) << "the same address twice";

    ASSERT_EQ(call(monitor.get(), "Poll"), S_OK);
    EXPECT_EQ(get_text(monitor.get(), "SerialNumber"), "SN-1");
    auto probes = get_object(monitor.get(), "Probes");
    ASSERT_TRUE(probes);
    unique_variant const count = get(probes.get(), "Count");
    ASSERT_EQ(count.type(), VT_I4);
    EXPECT_EQ(count->lVal, 3);

    struct expected {
        char const* name;
        double value;
        char const* unit;
    };
    expected const all[] = {{"Inlet", 4.5, "C"}, {"Air", -999.99, "H"}, {"Outlet", 7.25, "C"}};
    for (LONG position = 1; position <= 3; ++position) {
        SCOPED_TRACE(position);
        auto item = get_object(probes.get(), "Item", {number(position)});
        ASSERT_TRUE(item);
        EXPECT_EQ(get_text(item.get(), "Name"), all[position - 1].name);
        auto point = get_object(item.get(), "MostRecentDataPoint");
        ASSERT_TRUE(point);
        EXPECT_DOUBLE_EQ(get_number(point.get(), "Value"), all[position - 1].value);
        EXPECT_EQ(get_text(point.get(), "Unit"), all[position - 1].unit);
    }
    // Probe by number and Item by name reach the same object.
    unique_variant const inlet = words("Inlet");
    auto byName = get_object(probes.get(), "Item", {inlet.get()});
    auto byNumber = get_object(monitor.get(), "Probe", {number(1)});
    EXPECT_EQ(byName.get(), byNumber.get());

    // A device that serves nothing fails its poll, by name as well, and says where and why.
    HttpDeviceSimulator silent;
    auto other = create_by_name("AmbivoxSDK.AmbivoxModelN.1");
    ASSERT_EQ(put(other.get(), "IpAddress", words(address_of(silent)).get()), S_OK);
    std::string why;
    EXPECT_EQ(call(other.get(), "Poll", {}, &scode, &why), DISP_E_EXCEPTION);
    EXPECT_EQ(scode, E_FAIL);
    EXPECT_TRUE(why.starts_with("AmbivoxSDK.AmbivoxModelN: http://" + address_of(silent) +
                                "/xmlconfig: HTTP 404"))
        << why;
}

TEST_F(DevicesByName, ModelNFromItsTextPages) {
    auto device = port_80_device();
    if (!device) GTEST_SKIP() << "port 80 cannot be bound here";
    device->serve("/config", "S9|R&D Lab|Model NX2|x|2.1|1|North|T|Temp N|H|Hum N|W|Wet N", 200,
                  "text/plain");
    device->serve("/data", "F|70.2|45|0", 200, "text/plain");
    auto monitor = create_by_name("AmbivoxSDK.AmbivoxModelN");
    ASSERT_EQ(put(monitor.get(), "IpAddress", words("127.0.0.1").get()), S_OK);
    ASSERT_EQ(put(monitor.get(), "Model", words("NX2").get()), S_OK);
    ASSERT_EQ(call(monitor.get(), "Poll"), S_OK);
    EXPECT_EQ(requests_for(*device, "/data"), 1);
    EXPECT_EQ(get_text(monitor.get(), "Name"), "R&D Lab");
    auto humidity = reading_at(monitor.get(), 2);
    ASSERT_TRUE(humidity);
    EXPECT_DOUBLE_EQ(get_number(humidity.get(), "Value"), 45.0);
    EXPECT_EQ(get_text(humidity.get(), "Unit"), "H");
}

TEST_F(DevicesByName, ModelQOnItsPort) {
    ModelQSimulator::options options;
    options.battery = "Bat <Low> & 5%";  // markup in a device text arrives as text
    ModelQSimulator simulator(options);
    simulator.map_to(5);
    auto device = create_by_name("AmbivoxSDK.AmbivoxModelQ");
    ASSERT_TRUE(device);
    HRESULT scode = S_OK;
    EXPECT_EQ(put(device.get(), "ComPort", words("0").get(), &scode), DISP_E_EXCEPTION);
    EXPECT_EQ(scode, E_INVALIDARG);
    // A script's number is coerced to the port text.
    ASSERT_EQ(put(device.get(), "ComPort", number(5)), S_OK);
    EXPECT_EQ(get_text(device.get(), "ComPort"), "5");
    ASSERT_EQ(call(device.get(), "Poll"), S_OK);
    EXPECT_EQ(get_text(device.get(), "BatteryStatus"), "Bat <Low> & 5%");
    auto second = reading_at(device.get(), 2);
    ASSERT_TRUE(second);
    EXPECT_DOUBLE_EQ(get_number(second.get(), "Value"), 22.0);
    EXPECT_EQ(get_text(second.get(), "Unit"), "F");
}

TEST_F(DevicesByName, ConnectorRefusesAScriptsLongAsHandler) {
    HttpDeviceSimulator device;
    device.serve("/xmldata", R"(<Ambivox id="A"><Probe id="1"><Value>1</Value></Probe></Ambivox>)");
    ModelQSimulator simulator;
    simulator.map_to(3);
    auto connector = create_by_name("AmbivoxSDK.DataConnector");
    ASSERT_TRUE(connector);

    LONG handler = 7;
    VARIANT byRef{};
    byRef.vt = VT_I4 | VT_BYREF;
    byRef.plVal = &handler;
    unique_variant const id = words("device");
    unique_variant const url = words(device.url("/xmldata"));
    unique_variant const port = words("3");
    HRESULT scode = S_OK;
    // Handler is these methods' result: a script leaves it to the call's result, and the
    // connector is then handed the dispatch layer's own variable.
    for (char const* method : {"RequestModelNXMLData", "RequestModelNXMLConfigData",
                               "RequestModelQSerialComData", "RequestModelQSerialComConfigData"}) {
        SCOPED_TRACE(method);
        VARIANT const second = std::string_view(method).find("ModelN") != std::string_view::npos
                                   ? url.get()
                                   : port.get();
        unique_variant result;
        scode = S_OK;
        EXPECT_EQ(invoke(connector.get(), method, DISPATCH_METHOD, {id.get(), second}, result.put(),
                         &scode),
                  DISP_E_EXCEPTION);
        EXPECT_EQ(scode, E_INVALIDARG);
        EXPECT_EQ(result.type(), VT_EMPTY);
        // Passed explicitly by reference, it must not get through either.
        scode = S_OK;
        HRESULT const hr = call(connector.get(), method, {id.get(), second, byRef}, &scode);
        EXPECT_TRUE(FAILED(hr));
        if (hr == DISP_E_EXCEPTION) {
            EXPECT_EQ(scode, E_INVALIDARG);
        }
    }
    unique_variant const address = words("127.0.0.1");
    unique_variant const configPath = words("/config");
    unique_variant const dataPath = words("/temp");
    unique_variant const model = words("N3");
    scode = S_OK;
    EXPECT_EQ(
        call(connector.get(), "RequestModelNHTTPConfigAndData",
             {id.get(), address.get(), configPath.get(), dataPath.get(), model.get(), byRef, byRef},
             &scode),
        DISP_E_EXCEPTION);
    EXPECT_EQ(scode, E_INVALIDARG);

    EXPECT_EQ(handler, 7) << "nothing is written through a handler";
    EXPECT_EQ(device.request_count(), 0u);
    EXPECT_EQ(simulator.queries(), 0);
}

}  // namespace
