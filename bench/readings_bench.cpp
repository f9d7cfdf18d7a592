// Costs of a device's probe collection by its size n: filling it, finding a probe by position,
// by name and by number, and walking it the way a script's for-each loop does.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/automation/UniqueBstr.h"
#include "platform/automation/UniqueVariant.h"
#include "readings/CProbe.h"
#include "readings/CProbeCollection.h"

namespace {

using ambivox::com_ptr;
using ambivox::CProbe;
using ambivox::CProbeCollection;
using ambivox::unique_bstr;
using ambivox::unique_variant;

std::u16string name_of(std::int64_t number) {
    std::string const digits = std::to_string(number);
    return u"probe " + std::u16string(digits.begin(), digits.end());
}

std::vector<com_ptr<CProbe>> named_probes(std::int64_t n) {
    std::vector<com_ptr<CProbe>> probes;
    for (std::int64_t i = 1; i <= n; ++i) {
        auto probe = ambivox::make<CProbe>();
        unique_bstr name(name_of(i));
        probe->put_Name(name.get());
        probes.push_back(std::move(probe));
    }
    return probes;
}

// n probes numbered 1 to n, named "probe 1" to "probe n"; the collection holds them alone.
com_ptr<CProbeCollection> filled(std::int64_t n) {
    auto collection = ambivox::make<CProbeCollection>();
    for (auto const& probe : named_probes(n))
        collection->Add(probe.get());
    return collection;
}

// Each pass unnumbers the same probes and adds them to a new collection, so every Add has to
// search for the lowest free number. Making and releasing the collection is counted too.
void AddUnnumberedProbes(benchmark::State& state) {
    auto const probes = named_probes(state.range(0));
    for (auto _ : state) {
        for (auto const& probe : probes)
            probe->put_Number(-1);
        auto collection = ambivox::make<CProbeCollection>();
        for (auto const& probe : probes)
            benchmark::DoNotOptimize(collection->Add(probe.get()));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(AddUnnumberedProbes)->Arg(10)->Arg(100)->Arg(1000)->Complexity();

void ItemByPositionInTheMiddle(benchmark::State& state) {
    auto const collection = filled(state.range(0));
    unique_variant const middle = unique_variant::from(static_cast<LONG>(state.range(0) / 2));
    for (auto _ : state) {
        IDispatch* item = nullptr;
        benchmark::DoNotOptimize(collection->Item(middle.get(), &item));
        item->Release();
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(ItemByPositionInTheMiddle)->Arg(10)->Arg(100)->Arg(1000)->Complexity();

void ItemByNameOfTheLast(benchmark::State& state) {
    auto const collection = filled(state.range(0));
    unique_variant const last = unique_variant::from(name_of(state.range(0)));
    for (auto _ : state) {
        IDispatch* item = nullptr;
        benchmark::DoNotOptimize(collection->Item(last.get(), &item));
        item->Release();
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(ItemByNameOfTheLast)->Arg(10)->Arg(100)->Arg(1000)->Complexity();

void ItemByNumber(benchmark::State& state) {
    auto const collection = filled(state.range(0));
    unique_variant const number = unique_variant::from(static_cast<SHORT>(state.range(0) / 2));
    for (auto _ : state) {
        IDispatch* item = nullptr;
        benchmark::DoNotOptimize(collection->ItemByNumber(number.get(), &item));
        item->Release();
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(ItemByNumber)->Arg(10)->Arg(100)->Arg(1000)->Complexity();

// A new snapshot enumerator, then one Next per probe until it runs short.
void NewEnumAndFullWalk(benchmark::State& state) {
    auto const collection = filled(state.range(0));
    for (auto _ : state) {
        IUnknown* unknown = nullptr;
        collection->get__NewEnum(&unknown);
        IEnumVARIANT* items = nullptr;
        unknown->QueryInterface(IEnumVARIANT::iid, reinterpret_cast<void**>(&items));
        unknown->Release();
        VARIANT item;
        VariantInit(&item);
        while (items->Next(1, &item, nullptr) == S_OK) {
            benchmark::DoNotOptimize(item.pdispVal);
            VariantClear(&item);
        }
        items->Release();
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(NewEnumAndFullWalk)->Arg(10)->Arg(100)->Arg(1000)->Complexity();

}  // namespace
