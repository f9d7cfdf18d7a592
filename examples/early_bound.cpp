// early_bound: polls a network device through the SDK's compiled interfaces and prints the
// latest reading of each probe.
//
//     early_bound ADDRESS        e.g.  early_bound 192.168.1.20   or   early_bound 10.0.0.5:8080
//
// Register the SDK module first (ambivox-regsvr). Prints one line per probe, "NAME: VALUE UNIT".
// Exit code 0 on success, 1 when a step fails, 2 for bad usage.
#include <ambivox/AmbivoxSDK.h>

#include <cstdio>
#include <string>

#include "platform/CodePage.h"
#include "platform/ComPtr.h"
#include "platform/ComRuntime.h"
#include "platform/HResultMessage.h"
#include "platform/UniqueBstr.h"
#include "platform/UniqueVariant.h"

using ambivox::com_ptr;
using ambivox::unique_bstr;
using ambivox::unique_variant;

namespace {

// A step that failed, and the code it answered.
struct failure {
    std::string step;
    HRESULT hr;
};

void check(HRESULT hr, std::string step) {
    if (FAILED(hr)) throw failure{std::move(step), hr};
}

// The SDK's text is UTF-16; the terminal's is UTF-8.
std::string utf8(std::u16string_view text) {
    return ambivox::narrow(text, CP_UTF8);
}

void print_probe(IProbe& probe) {
    unique_bstr name;
    check(probe.get_Name(name.put()), "Probe.Name");
    com_ptr<IDataPoint> reading;
    if (FAILED(probe.get_MostRecentDataPoint(reading.put()))) {
        // A probe the device has never reported has no data point yet.
        std::printf("%s: no reading\n", utf8(name.view()).c_str());
        return;
    }
    unique_variant value;
    check(reading->get_Value(value.put()), "DataPoint.Value");
    // The value is a number: let the runtime print it as a script would.
    check(VariantChangeType(value.data(), value.data(), 0, VT_BSTR), "formatting the value");
    unique_bstr unit;
    check(reading->get_Unit(unit.put()), "DataPoint.Unit");
    std::printf("%s: %s %s\n", utf8(name.view()).c_str(),
                utf8(ambivox::bstr_view(value->bstrVal)).c_str(), utf8(unit.view()).c_str());
}

void run(char const* address) {
    // Classes are found by ProgID, through the registry the runtime keeps.
    CLSID clsid{};
    check(CLSIDFromProgID(u"AmbivoxSDK.AmbivoxModelN", &clsid),
          "finding AmbivoxSDK.AmbivoxModelN (is the module registered? run ambivox-regsvr)");
    com_ptr<IAmbivoxModelN> device;
    check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IAmbivoxModelN::iid,
                           device.put_void()),
          "creating the device");

    check(device->put_IpAddress(unique_bstr(ambivox::widen(address, CP_UTF8)).get()),
          "setting IpAddress");
    check(device->Poll(), std::string("polling the device at ") + address);

    com_ptr<IDispatch> collection;
    check(device->get_Probes(collection.put()), "Probes");
    com_ptr<IProbeCollection> probes;
    check(collection.query_to(IProbeCollection::iid, probes.put_void()), "Probes as a collection");
    LONG count = 0;
    check(probes->get_Count(&count), "Probes.Count");
    for (LONG position = 1; position <= count; ++position) {
        com_ptr<IDispatch> item;
        check(probes->Item(unique_variant::from(position).get(), item.put()), "Probes.Item");
        com_ptr<IProbe> probe;
        check(item.query_to(IProbe::iid, probe.put_void()), "Probes.Item as a probe");
        print_probe(*probe);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: early_bound ADDRESS\n");
        return 2;
    }
    // Each thread initialises the runtime before its first object and uninitialises it after
    // its last.
    failure error{"CoInitialize", CoInitialize(nullptr)};
    if (SUCCEEDED(error.hr)) {
        try {
            run(argv[1]);  // releases every object it made
        } catch (failure const& f) {
            error = f;
        }
        CoUninitialize();
    }
    if (FAILED(error.hr))
        std::fprintf(stderr, "early_bound: %s failed: 0x%08X %s %s\n", error.step.c_str(),
                     static_cast<unsigned>(error.hr),
                     std::string(ambivox::hresult_name(error.hr)).c_str(),
                     utf8(ambivox::hresult_message(error.hr)).c_str());
    return FAILED(error.hr) ? 1 : 0;
}
