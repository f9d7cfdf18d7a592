// The text page converter on pages of growing size: flat pages of n probes and grouped pages of
// n groups of three.
#include <benchmark/benchmark.h>

#include <string>

#include "connector/TextPageConverter.h"

namespace {

using ambivox::TextPageConverter;

std::u16string number(long n) {
    std::string const digits = std::to_string(n);
    return {digits.begin(), digits.end()};
}

void flat(benchmark::State& state) {
    long const probes = state.range(0);
    std::u16string config = u"S123|Server room|Model N15|v";
    std::u16string data;
    for (long i = 1; i <= probes; ++i) {
        config += u"|" + number(i) + u"|Probe " + number(i);
        data += u"Probe " + number(i) + u"|" + number(60 + i % 30) + u".5|";
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(TextPageConverter::convert(u"N15", config, data));
    state.SetComplexityN(probes);
    state.SetBytesProcessed(state.iterations() *
                            static_cast<long>((config.size() + data.size()) * sizeof(char16_t)));
}
BENCHMARK(flat)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Complexity();

void grouped(benchmark::State& state) {
    long const groups = state.range(0);
    std::u16string config = u"S9|Room|Model NX2|x|2.1";
    std::u16string data = u"F";
    for (long g = 1; g <= groups; ++g) {
        config += u"|" + number(g) + u"|Group " + number(g) + u"|T|Temp|H|Hum|W|Wet";
        data += u"|70.2|45|0";
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(TextPageConverter::convert(u"NX2", config, data));
    state.SetComplexityN(groups);
}
BENCHMARK(grouped)->Arg(3)->Arg(33)->Arg(333)->Arg(3333)->Complexity();

}  // namespace
