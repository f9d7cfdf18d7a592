// late_bound ADDRESS [PROBE]: early_bound by name only, as a script engine does it. Members are
// looked up with GetIDsOfNames and called with Invoke; every value is a VARIANT. Register the
// module first (ambivox-regsvr). Exit code 0 on success, 1 when a step fails, 2 for bad usage.
// The script it plays:
//
//     Set device = CreateObject("AmbivoxSDK.AmbivoxModelN")
//     device.IpAddress = ADDRESS
//     device.Poll
//     For Each probe In device.Probes          ' given PROBE, only device.Probes(PROBE)
//         Set reading = probe.MostRecentDataPoint
//         Print probe.Name; ": "; reading.Value; " "; reading.Unit
//     Next
#include <cstdio>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "platform/ComPtr.h"
#include "platform/ComRuntime.h"
#include "platform/Dispatch.h"
#include "platform/HResultMessage.h"
#include "platform/ThreadState.h"
#include "platform/UniqueBstr.h"
#include "platform/UniqueVariant.h"

using ambivox::com_ptr;
using ambivox::unique_variant;

namespace {

struct failure {
    std::string step;
    HRESULT hr;
};

void check(HRESULT hr, std::string step) {
    if (FAILED(hr)) throw failure{std::move(step), hr};
}

std::string utf8(std::u16string_view text) {
    return ambivox::narrow(text, CP_UTF8);
}

// One call. `args` in the script's order, borrowed; Invoke takes them last first.
unique_variant invoke(IDispatch& object, DISPID member, WORD flags, std::string const& step,
                      std::vector<VARIANT> args = {}) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    // A property's new value travels as the one named argument, DISPID_PROPERTYPUT.
    DISPID putId = DISPID_PROPERTYPUT;
    bool const put = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), put ? &putId : nullptr, static_cast<UINT>(reversed.size()),
                      put ? 1u : 0u};
    unique_variant result;
    EXCEPINFO exception{};
    HRESULT hr = object.Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.put(),
                               &exception, nullptr);
    // A member's own failure arrives as DISP_E_EXCEPTION with its code inside; the strings are
    // the caller's to free.
    if (hr == DISP_E_EXCEPTION && FAILED(exception.scode)) hr = exception.scode;
    for (BSTR text : {exception.bstrSource, exception.bstrDescription, exception.bstrHelpFile})
        SysFreeString(text);
    check(hr, step);
    return result;
}

unique_variant by_name(IDispatch& object, std::u16string name, WORD flags,
                       std::vector<VARIANT> args = {}) {
    LPOLESTR names[] = {name.data()};
    DISPID member = DISPID_UNKNOWN;
    check(object.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &member), utf8(name));
    return invoke(object, member, flags, utf8(name), std::move(args));
}

// The object a variant holds, as interface I.
template <class I = IDispatch>
com_ptr<I> object_in(unique_variant const& value) {
    com_ptr<I> object;
    if ((value.type() == VT_DISPATCH || value.type() == VT_UNKNOWN) && value->punkVal != nullptr)
        value->punkVal->QueryInterface(I::iid, object.put_void());
    if (!object) throw failure{"expecting an object", DISP_E_TYPEMISMATCH};
    return object;
}

// A property as text, converted as a script would print it.
std::string text_of(IDispatch& object, std::u16string const& name) {
    unique_variant value = by_name(object, name, DISPATCH_PROPERTYGET);
    check(VariantChangeType(value.data(), value.data(), 0, VT_BSTR), utf8(name) + " as text");
    return utf8(ambivox::bstr_view(value->bstrVal));
}

void print_probe(IDispatch& probe) {
    auto reading = object_in(by_name(probe, u"MostRecentDataPoint", DISPATCH_PROPERTYGET));
    std::printf("%s: %s %s\n", text_of(probe, u"Name").c_str(), text_of(*reading, u"Value").c_str(),
                text_of(*reading, u"Unit").c_str());
}

void run(char const* address, char const* only) {
    CLSID clsid{};
    check(CLSIDFromProgID(u"AmbivoxSDK.AmbivoxModelN", &clsid),
          "finding AmbivoxSDK.AmbivoxModelN (is the module registered? run ambivox-regsvr)");
    com_ptr<IDispatch> device;
    check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, device.put_void()),
          "creating the device");

    by_name(*device, u"IpAddress", DISPATCH_PROPERTYPUT,
            {unique_variant::from(ambivox::widen(address, CP_UTF8)).get()});
    by_name(*device, u"Poll", DISPATCH_METHOD);
    auto probes = object_in(by_name(*device, u"Probes", DISPATCH_PROPERTYGET));

    WORD const call = DISPATCH_METHOD | DISPATCH_PROPERTYGET;  // as a script does: either will do
    if (only != nullptr) {  // Probes(PROBE): Item is the collection's default member
        unique_variant const name = unique_variant::from(ambivox::widen(only, CP_UTF8));
        print_probe(*object_in(invoke(*probes, DISPID_VALUE, call, "Probes(PROBE)", {name.get()})));
        return;
    }
    // For Each: the enumerator behind DISPID_NEWENUM hands out one item at a time.
    auto each = object_in<IEnumVARIANT>(invoke(*probes, DISPID_NEWENUM, call, "_NewEnum"));
    for (unique_variant item; each->Next(1, item.put(), nullptr) == S_OK;)
        print_probe(*object_in(item));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: late_bound ADDRESS [PROBE]\n");
        return 2;
    }
    failure error{"CoInitialize", CoInitialize(nullptr)};
    if (SUCCEEDED(error.hr)) {
        try {
            run(argv[1], argc == 3 ? argv[2] : nullptr);  // releases every object it made
        } catch (failure const& f) {
            error = f;
        }
        CoUninitialize();
    }
    if (FAILED(error.hr))
        std::fprintf(stderr, "late_bound: %s failed: 0x%08X %s %s\n", error.step.c_str(),
                     static_cast<unsigned>(error.hr),
                     std::string(ambivox::hresult_name(error.hr)).c_str(),
                     utf8(ambivox::hresult_message(error.hr)).c_str());
    return FAILED(error.hr) ? 1 : 0;
}
