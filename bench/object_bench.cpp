// Costs of the operations every interface call leans on: asking an object for an interface,
// copying a string variant, and making a short string.
#include <benchmark/benchmark.h>

#include "platform/automation/Bstr.h"
#include "platform/automation/Variant.h"
#include "platform/com/Implements.h"

namespace {

struct IBenchFirst : IUnknown {
    static constexpr IID iid = ambivox::make_guid("7A1C2001-5E2B-4C1D-9A10-0000000000D1");
    using base_interface = IUnknown;
    virtual HRESULT First() noexcept = 0;

protected:
    ~IBenchFirst() = default;
};

struct IBenchSecond : IUnknown {
    static constexpr IID iid = ambivox::make_guid("7A1C2002-5E2B-4C1D-9A10-0000000000D2");
    using base_interface = IUnknown;
    virtual HRESULT Second() noexcept = 0;

protected:
    ~IBenchSecond() = default;
};

class BenchObject : public ambivox::implements<BenchObject, IBenchFirst, IBenchSecond> {
public:
    HRESULT First() noexcept override { return S_OK; }
    HRESULT Second() noexcept override { return S_OK; }
};

void QueryInterfaceAndRelease(benchmark::State& state) {
    auto object = ambivox::make<BenchObject>();
    IUnknown* const unknown = static_cast<IBenchFirst*>(object.get());
    for (auto _ : state) {
        void* out = nullptr;
        // The last listed interface is the longest search.
        unknown->QueryInterface(IBenchSecond::iid, &out);
        benchmark::DoNotOptimize(out);
        static_cast<IBenchSecond*>(out)->Release();
    }
}
BENCHMARK(QueryInterfaceAndRelease);

void VariantCopyAndClearOfAString(benchmark::State& state) {
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocString(u"Probe 1 temperature");
    VARIANT copy;
    VariantInit(&copy);
    for (auto _ : state) {
        VariantCopy(&copy, &source);
        benchmark::DoNotOptimize(copy.bstrVal);
        VariantClear(&copy);
    }
    VariantClear(&source);
}
BENCHMARK(VariantCopyAndClearOfAString);

void AllocAndFreeA32CharString(benchmark::State& state) {
    OLECHAR const text[] = u"0123456789abcdef0123456789abcdef";
    static_assert(sizeof text / sizeof text[0] == 33);
    for (auto _ : state) {
        BSTR made = SysAllocString(text);
        benchmark::DoNotOptimize(made);
        SysFreeString(made);
    }
}
BENCHMARK(AllocAndFreeA32CharString);

}  // namespace
