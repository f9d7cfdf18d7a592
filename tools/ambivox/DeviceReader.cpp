#include "tools/ambivox/DeviceReader.h"

#include <filesystem>
#include <new>
#include <string_view>

#include "ambivox/AmbivoxSDK.h"
#include "ambivox/NoReading.h"
#include "platform/automation/EnumeratedItems.h"
#include "platform/automation/ErrorInfo.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/automation/UniqueVariant.h"
#include "platform/base/CodePage.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ComRuntime.h"
#include "tools/ambivox/SerialPortMap.h"

namespace ambivox::cli {

namespace {

// What a Model N device answers for its serial number until its configuration has given one.
constexpr std::string_view serial_not_available = "not available";

std::string utf8(BSTR text) {
    return narrow(bstr_view(text), CP_UTF8);
}

unique_bstr bstr(std::string const& text) {
    return unique_bstr(widen(text, CP_UTF8));
}

template <class Object, class Getter>
std::string text_of(Object* object, Getter getter) {
    unique_bstr value;
    if (FAILED((object->*getter)(value.put()))) return {};
    return utf8(value.get());
}

bool number_of(VARIANT const& value, double& out) {
    unique_variant converted;
    if (value.vt == VT_R8) {
        out = value.dblVal;
        return true;
    }
    if (FAILED(VariantChangeType(converted.put(), &value, 0, VT_R8))) return false;
    out = converted->dblVal;
    return true;
}

// The reading's own conversion, so that no second formula can disagree with the library's. Only
// a temperature converts, and only from a unit it has: one with no unit yet would take the new
// unit without a conversion. A reading already in `unit` is left alone (setting the same unit
// again is refused). True when the reading is in `unit` afterwards.
bool convert(IDataPoint* point, std::string const& type, std::string const& unit) {
    if (type != "Temperature") return false;
    std::string const current = text_of(point, &IDataPoint::get_Unit);
    if (current == unit) return true;
    if (current.empty() || current == "unknown") return false;
    return SUCCEEDED(point->put_Unit(bstr(unit).get()));
}

// A valid temperature in Celsius; the device's reading is done with, so the point may change.
std::optional<double> celsius_of(IDataPoint* point, std::string const& type) {
    unique_variant converted;
    double value = 0;
    if (!convert(point, type, "C") || FAILED(point->get_Value(converted.put())) ||
        !number_of(converted.get(), value))
        return std::nullopt;
    return value;
}

ProbeReport probe_report(IProbe* probe, std::string const& unit) {
    ProbeReport report;
    SHORT number = 0;
    probe->get_Number(&number);
    report.number = number;
    LONG group = 0;
    probe->get_Group(&group);
    report.group = group;
    report.name = text_of(probe, &IProbe::get_Name);
    report.type = text_of(probe, &IProbe::get_Type);
    com_ptr<IDataPoint> point;
    if (FAILED(probe->get_MostRecentDataPoint(point.put())) || !point) return report;
    if (!unit.empty()) convert(point.get(), report.type, unit);
    unique_variant value;
    LONGLONG utc = 0;
    if (FAILED(point->get_Value(value.put())) || !number_of(value.get(), report.value) ||
        FAILED(point->get_UTCTime(&utc)))
        return report;
    report.has_reading = true;
    // The library's own rule, so that the program never calls valid what the library does not.
    report.no_reading = value->vt == VT_R8 && is_no_reading(value->dblVal);
    report.utc = utc;
    report.unit = text_of(point.get(), &IDataPoint::get_Unit);
    if (report.valid()) report.celsius = celsius_of(point.get(), report.type);
    return report;
}

template <class Device>
void read_probes(Device* device, DeviceReport& report, std::string const& unit) {
    com_ptr<IDispatch> dispatch;
    if (FAILED(device->get_Probes(dispatch.put())) || !dispatch) return;
    auto probes = dispatch.try_as<IProbeCollection>();
    com_ptr<IUnknown> unknown;
    if (!probes || FAILED(probes->get__NewEnum(unknown.put())) || !unknown) return;
    // One pass in number order: asking by position walks the collection up to each position, so
    // a device of tens of thousands of probes would take minutes.
    for (com_ptr<IProbe> const& probe : EnumeratedItems::of<IProbe>(unknown.get()))
        report.probes.push_back(probe_report(probe.get(), unit));
}

// The description of the error object a failed member of `device` left, taken off the thread;
// empty when the object says it leaves none, or left none.
template <class I>
std::string error_description(I* device) {
    com_ptr<ISupportErrorInfo> support;
    if (FAILED(device->QueryInterface(ISupportErrorInfo::iid, support.put_void())) || !support ||
        support->InterfaceSupportsErrorInfo(I::iid) != S_OK)
        return {};
    return narrow(take_error_description(), CP_UTF8);
}

struct apartment {
    HRESULT hr = CoInitialize(nullptr);
    ~apartment() {
        if (SUCCEEDED(hr)) CoUninitialize();
    }
};

void fail(DeviceReport& report, HRESULT hr, std::string what) {
    report.hr = hr;
    report.failure = std::move(what);
}

// A failed poll: the device's own words when it left any, else `fallback`.
void poll_failed(DeviceReport& report, HRESULT hr, std::string const& cause, std::string fallback) {
    report.device_said = !cause.empty();
    fail(report, hr, cause.empty() ? std::move(fallback) : cause);
}

// A port that the registry maps nowhere and whose default device is missing is the likeliest
// mistake of all; the program knows the registry's ports, so it says so in its own words.
void model_q_failed(DeviceReport& report, HRESULT hr, int com, std::string const& cause) {
    std::string const port = "COM" + std::to_string(com);
    std::optional<std::string> mapped;
    try {
        mapped = SerialPortMap::device_of(com);
    } catch (std::exception const&) {
        // The diagnosis is a courtesy; the failure itself is reported all the same.
    }
    std::string const fallback = "/dev/ttyS" + std::to_string(com - 1);
    std::error_code ignored;
    if (!mapped && !std::filesystem::exists(fallback, ignored))
        return fail(report, hr,
                    port + " names no serial device: the registry maps no device to it and " +
                        fallback + " does not exist (see 'ambivox ports')");
    poll_failed(report, hr, cause,
                "no readings came from the device on " + port + " (" + mapped.value_or(fallback) +
                    "): the port could not be opened, or the device did not answer");
}

void poll_model_n(DeviceTarget const& target, DeviceReport& report, std::string const& unit) {
    com_ptr<IAmbivoxModelN> device;
    HRESULT hr = CoCreateInstance(CLSID_AmbivoxModelN, nullptr, CLSCTX_ALL, IAmbivoxModelN::iid,
                                  device.put_void());
    if (FAILED(hr)) {
        report.setup_failure = true;
        return fail(report, hr, "the module could not create a Model N device object");
    }
    if (FAILED(hr = device->put_IpAddress(bstr(target.address).get())))
        return fail(report, hr, "the device object refused the address \"" + target.address + "\"");
    if (!target.model.empty() && FAILED(hr = device->put_Model(bstr(target.model).get())))
        return fail(report, hr, "the device object refused the model \"" + target.model + "\"");
    if (!target.name.empty() && FAILED(hr = device->put_Name(bstr(target.name).get())))
        return fail(report, hr, "the device object refused the name \"" + target.name + "\"");
    hr = device->Poll();
    std::string const cause = FAILED(hr) ? error_description(device.get()) : std::string();
    report.name = text_of(device.get(), &IAmbivoxModelN::get_Name);
    // The device answers a placeholder text for a model nobody set; only the client sets one.
    if (!target.model.empty()) report.model = text_of(device.get(), &IAmbivoxModelN::get_Model);
    report.serial = text_of(device.get(), &IAmbivoxModelN::get_SerialNumber);
    if (report.serial == serial_not_available) report.serial.clear();
    report.firmware = text_of(device.get(), &IAmbivoxModelN::get_SoftwareVersion);
    report.firmware_date = text_of(device.get(), &IAmbivoxModelN::get_SoftwareReleaseDate);
    if (FAILED(hr))
        return poll_failed(report, hr, cause,
                           "no readings could be read from the device at " + target.address +
                               ": neither its XML documents nor its text pages gave them");
    read_probes(device.get(), report, unit);
}

void poll_model_q(DeviceTarget const& target, DeviceReport& report, std::string const& unit) {
    com_ptr<IAmbivoxModelQ> device;
    HRESULT hr = CoCreateInstance(CLSID_AmbivoxModelQ, nullptr, CLSCTX_ALL, IAmbivoxModelQ::iid,
                                  device.put_void());
    if (FAILED(hr)) {
        report.setup_failure = true;
        return fail(report, hr, "the module could not create a Model Q device object");
    }
    if (FAILED(hr = device->put_ComPort(bstr(std::to_string(target.com)).get())))
        return fail(report, hr, "the device object refused the port " + target.label());
    if (!target.name.empty() && FAILED(hr = device->put_Name(bstr(target.name).get())))
        return fail(report, hr, "the device object refused the name \"" + target.name + "\"");
    hr = device->Poll();
    std::string const cause = FAILED(hr) ? error_description(device.get()) : std::string();
    report.name = text_of(device.get(), &IAmbivoxModelQ::get_Name);
    report.model = text_of(device.get(), &IAmbivoxModelQ::get_Model);
    report.battery = text_of(device.get(), &IAmbivoxModelQ::get_BatteryStatus);
    if (FAILED(hr)) return model_q_failed(report, hr, target.com, cause);
    read_probes(device.get(), report, unit);
}

}  // namespace

DeviceReport DeviceReader::read(DeviceTarget const& target, std::string const& unit) noexcept {
    DeviceReport report;
    try {
        report.target = target;
        apartment const runtime;
        if (FAILED(runtime.hr)) {
            fail(report, runtime.hr, "the component runtime could not start on the polling thread");
            return report;
        }
        if (target.kind == DeviceTarget::family::model_q)
            poll_model_q(target, report, unit);
        else
            poll_model_n(target, report, unit);
    } catch (std::bad_alloc const&) {
        report.probes.clear();
        fail(report, E_OUTOFMEMORY, "memory ran out while the device was read");
    } catch (std::exception const& error) {
        report.probes.clear();
        fail(report, E_UNEXPECTED, std::string("the device could not be read: ") + error.what());
    }
    return report;
}

}  // namespace ambivox::cli
