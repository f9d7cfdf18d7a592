// SdkClientTest: fixture for tests that use the device classes as a client program does. Each
// test gets a registry store of its own with the built module registered into it, initialises
// the component runtime, and creates every object through CoCreateInstance, so the module's own
// code runs, not a copy linked into the test. When the test ends, nothing of the module may be
// left alive: once the runtime has let go of unused modules, DllCanUnloadNow must answer S_OK.
#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "ambivox/AmbivoxSDK.h"
#include "platform/automation/ErrorInfo.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/automation/UniqueVariant.h"
#include "platform/base/CodePage.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ComRuntime.h"
#include "tests/support/SdkModule.h"
#include "tests/support/TempRegistry.h"
#include "tools/simulators/HttpDeviceSimulator.h"

namespace ambivox::testing {

class SdkClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(m_module.register_server(), S_OK);
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        m_initialized = true;
    }

    void TearDown() override {
        CoFreeUnusedLibraries();
        EXPECT_EQ(m_module.can_unload_now(), S_OK) << "an object of the module outlived its test";
        if (m_initialized) CoUninitialize();
    }

    // A new object of a registered class, reached through the runtime alone.
    template <class I>
    static com_ptr<I> create(CLSID const& clsid) {
        com_ptr<I> object;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, I::iid, object.put_void()), S_OK);
        return object;
    }

    // A Model N device pointed at `address` (host, or host:port for the XML documents).
    static com_ptr<IAmbivoxModelN> model_n(std::string_view address) {
        auto device = create<IAmbivoxModelN>(CLSID_AmbivoxModelN);
        if (device) {
            EXPECT_EQ(device->put_IpAddress(bstr(address).get()), S_OK);
        }
        return device;
    }

    // A device simulator on 127.0.0.1 port 80, where the text pages always are; null where that
    // port cannot be bound (the test then skips itself).
    static std::unique_ptr<simulation::HttpDeviceSimulator> port_80_device() {
        try {
            return std::make_unique<simulation::HttpDeviceSimulator>(80);
        } catch (std::system_error const&) {
            return nullptr;
        }
    }

    static std::string address_of(simulation::HttpDeviceSimulator const& device) {
        return "127.0.0.1:" + std::to_string(device.port());
    }

    // How often the simulator was asked for `path`.
    static int requests_for(simulation::HttpDeviceSimulator const& device, std::string_view path) {
        int count = 0;
        for (auto const& request : device.requests())
            if (request.path == path) ++count;
        return count;
    }

    static unique_bstr bstr(std::string_view utf8) { return unique_bstr(widen(utf8, CP_UTF8)); }
    static std::u16string u16(std::string_view utf8) { return widen(utf8, CP_UTF8); }

    // The text a BSTR getter answers, compared as UTF-8 so failures print readably.
    template <class Object, class Getter>
    static std::string text(Object const& object, Getter getter) {
        unique_bstr value;
        EXPECT_EQ(((*object).*getter)(value.put()), S_OK);
        return narrow(value.view(), CP_UTF8);
    }

    static LONGLONG now() { return static_cast<LONGLONG>(std::time(nullptr)); }

    template <class Device>
    static com_ptr<IProbeCollection> probes_of(Device const& device) {
        com_ptr<IDispatch> probes;
        EXPECT_EQ(device->get_Probes(probes.put()), S_OK);
        return probes ? probes.template try_as<IProbeCollection>() : nullptr;
    }

    // The probe numbers in collection order.
    template <class Device>
    static std::vector<SHORT> numbers_of(Device const& device) {
        std::vector<SHORT> numbers;
        auto probes = probes_of(device);
        if (!probes) return numbers;
        LONG count = 0;
        EXPECT_EQ(probes->get_Count(&count), S_OK);
        for (LONG position = 1; position <= count; ++position) {
            com_ptr<IDispatch> item;
            EXPECT_EQ(probes->Item(unique_variant::from(position).get(), item.put()), S_OK);
            SHORT number = 0;
            if (auto probe = item ? item.try_as<IProbe>() : nullptr) {
                EXPECT_EQ(probe->get_Number(&number), S_OK);
            }
            numbers.push_back(number);
        }
        return numbers;
    }

    // The probe with that number, or null.
    template <class Device>
    static com_ptr<IProbe> probe(Device const& device, SHORT number) {
        com_ptr<IDispatch> item;
        if (FAILED(device->get_Probe(number, item.put())) || !item) return nullptr;
        return item.try_as<IProbe>();
    }

    // The probe's most recent reading, or null when it has none.
    static com_ptr<IDataPoint> reading(com_ptr<IProbe> const& probe) {
        com_ptr<IDataPoint> point;
        if (!probe || FAILED(probe->get_MostRecentDataPoint(point.put()))) return nullptr;
        return point;
    }

    // A reading's value, which the devices always store as a double.
    static double value(com_ptr<IDataPoint> const& point) {
        unique_variant held;
        EXPECT_EQ(point->get_Value(held.put()), S_OK);
        EXPECT_EQ(held.type(), VT_R8);
        return held.type() == VT_R8 ? held->dblVal : 0.0;
    }

    static LONGLONG utc(com_ptr<IDataPoint> const& point) {
        LONGLONG seconds = 0;
        EXPECT_EQ(point->get_UTCTime(&seconds), S_OK);
        return seconds;
    }

    // The error object a failed member left on this thread, taken off it; both texts empty when
    // there is none.
    struct error_object {
        bool present = false;
        std::string source;
        std::string description;
    };
    static error_object taken_error() {
        error_object taken;
        com_ptr<IErrorInfo> info;
        if (GetErrorInfo(0, info.put()) != S_OK || !info) return taken;
        taken.present = true;
        unique_bstr source, description;
        EXPECT_EQ(info->GetSource(source.put()), S_OK);
        EXPECT_EQ(info->GetDescription(description.put()), S_OK);
        taken.source = narrow(source.view(), CP_UTF8);
        taken.description = narrow(description.view(), CP_UTF8);
        return taken;
    }

    SdkModule const& module() const noexcept { return m_module; }

private:
    TempRegistry m_registry;  // first in, last out: everything below lives in this store
    SdkModule m_module;
    bool m_initialized = false;
};

}  // namespace ambivox::testing
