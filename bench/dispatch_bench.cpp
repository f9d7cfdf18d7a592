// What late binding costs over a direct vtable call: the same property set and read directly,
// through Invoke with a DISPID the caller kept, and through GetIDsOfNames followed by Invoke as
// a script without a name cache does.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/automation/Bstr.h"
#include "tests/support/TestWidget.h"

namespace {

using ambivox::testing::CTestWidget;
constexpr DISPID dispid_label = test_widget_dispid::Label;
constexpr DISPID dispid_count = test_widget_dispid::Count;

// The widget is compiled apart from this file, as a server is from its clients, so the direct
// calls below stay calls through the vtable.
struct Fixture {
    Fixture() : widget(ambivox::make<CTestWidget>()) {
        itf = widget.get();
        disp = widget.get();
        // Hidden from the optimiser, so that calls go through the vtable as a client's would.
        benchmark::DoNotOptimize(itf);
        benchmark::DoNotOptimize(disp);
    }
    ambivox::com_ptr<CTestWidget> widget;
    ITestWidget* itf = nullptr;
    IDispatch* disp = nullptr;
};

void DirectPutCount(benchmark::State& state) {
    Fixture f;
    LONG value = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(f.itf->put_Count(++value & 0xFFFF));
}
BENCHMARK(DirectPutCount);

void DirectPutAndGetLabel(benchmark::State& state) {
    Fixture f;
    BSTR const text = SysAllocString(u"Probe 1 temperature");
    for (auto _ : state) {
        f.itf->put_Label(text);
        BSTR out = nullptr;
        f.itf->get_Label(&out);
        benchmark::DoNotOptimize(out);
        SysFreeString(out);
    }
    SysFreeString(text);
}
BENCHMARK(DirectPutAndGetLabel);

void InvokePutCountWithCachedDispid(benchmark::State& state) {
    Fixture f;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    for (auto _ : state) {
        value.lVal = (value.lVal + 1) & 0xFFFF;
        benchmark::DoNotOptimize(f.disp->Invoke(dispid_count, IID_NULL, 0, DISPATCH_PROPERTYPUT,
                                                &params, nullptr, nullptr, nullptr));
    }
}
BENCHMARK(InvokePutCountWithCachedDispid);

void InvokePutAndGetLabelWithCachedDispid(benchmark::State& state) {
    Fixture f;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(u"Probe 1 temperature");
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{&value, &named, 1, 1};
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    for (auto _ : state) {
        f.disp->Invoke(dispid_label, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr,
                       nullptr);
        VARIANT result;
        f.disp->Invoke(dispid_label, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                       nullptr);
        benchmark::DoNotOptimize(result.bstrVal);
        VariantClear(&result);
    }
    VariantClear(&value);
}
BENCHMARK(InvokePutAndGetLabelWithCachedDispid);

void GetIDsOfNamesThenInvokePutCount(benchmark::State& state) {
    Fixture f;
    std::u16string name = u"count";
    LPOLESTR names[] = {name.data()};
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    for (auto _ : state) {
        DISPID dispid = DISPID_UNKNOWN;
        f.disp->GetIDsOfNames(IID_NULL, names, 1, 0, &dispid);
        value.lVal = (value.lVal + 1) & 0xFFFF;
        benchmark::DoNotOptimize(f.disp->Invoke(dispid, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params,
                                                nullptr, nullptr, nullptr));
    }
}
BENCHMARK(GetIDsOfNamesThenInvokePutCount);

void GetIDsOfNamesThenInvokePutAndGetLabel(benchmark::State& state) {
    Fixture f;
    std::u16string name = u"label";
    LPOLESTR names[] = {name.data()};
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(u"Probe 1 temperature");
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{&value, &named, 1, 1};
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    for (auto _ : state) {
        DISPID dispid = DISPID_UNKNOWN;
        f.disp->GetIDsOfNames(IID_NULL, names, 1, 0, &dispid);
        f.disp->Invoke(dispid, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr);
        f.disp->GetIDsOfNames(IID_NULL, names, 1, 0, &dispid);
        VARIANT result;
        f.disp->Invoke(dispid, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
        benchmark::DoNotOptimize(result.bstrVal);
        VariantClear(&result);
    }
    VariantClear(&value);
}
BENCHMARK(GetIDsOfNamesThenInvokePutAndGetLabel);

}  // namespace
