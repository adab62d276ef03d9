// Benchmarks: the conversion per call, reading the largest files, and the converter over a million lines
// (bench/convert_throughput.sh).
#include "runtime/convert.h"
#include "store/currencyfile.h"
#include "store/keyfile.h"
#include "testutil.h"

#include <benchmark/benchmark.h>

namespace {

using namespace valumat;

void BM_Calculate(benchmark::State& st) {
    CurrencyTable table;
    table.assign({"Euro; EUR ;EU; 1; 1; 1; 2", "Deutsche Mark; DEM ;Deutschland; 1,95583; 0,5112919; 1; 2"});
    KeyBinding b{"Euro", "Deutsche Mark", "STRG", "D", 0, "", 2, ","};
    const std::string inputs[] = {"100", "12.345,60", " 1.000 ", "-1.234,56", "EUR 5"};
    std::size_t i = 0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(convertAmount(table, b, inputs[i++ % 5]));
    }
}
BENCHMARK(BM_Calculate);

void BM_ReadRates32000(benchmark::State& st) {
    test::Harness h;
    std::string content;
    for (int i = 0; i < 32000; ++i) {
        content += "W\xE4hrung " + std::to_string((i * 7919) % 32000) + "; W" + std::to_string(i % 1000) +
                   " ;Land; 1,95583; 0,5112919; 0; 2\r\n";
    }
    h.temp.write(kCurrencyFile, content);
    for (auto _ : st) {
        ReadRates(h.state, false);
        benchmark::DoNotOptimize(h.state.currencies.count());
    }
}
BENCHMARK(BM_ReadRates32000)->Unit(benchmark::kMillisecond);

void BM_ReadKeyList201(benchmark::State& st) {
    test::Harness h;
    std::string content;
    for (int i = 0; i < 201; ++i) {
        content += "Euro#:#Deutsche Mark#:#STRG#:#" + std::to_string(i % 10) + "#:#2#:# DM#:#2#:#,\r\n";
    }
    h.temp.write(kBindingFile, content);
    for (auto _ : st) {
        ReadKeyList(h.state, false);
        benchmark::DoNotOptimize(h.state.keyListLines.size());
    }
}
BENCHMARK(BM_ReadKeyList201)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
