// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of refreshing every value label of the main window once.
#include "params/NumFormat.h"
#include "params/UTextTbl.h"

#include <benchmark/benchmark.h>

namespace {

void BM_MainWindowLabels(benchmark::State& state) {
    int i = 0;
    for (auto _ : state) {
        const int k = i++ & 7;
        benchmark::DoNotOptimize(tavi::FormatPhase(120 + k));
        benchmark::DoNotOptimize(tavi::FormatGain(60 + k));
        benchmark::DoNotOptimize(tavi::FormatModAmp(1 + k));
        benchmark::DoNotOptimize(tavi::FormatFieldSweepRange(0, 1 + k));
        benchmark::DoNotOptimize(tavi::FormatFreqSweepRange(1 + k));
        benchmark::DoNotOptimize(tavi::FormatSweepTime(1 + (k % 7)));
        benchmark::DoNotOptimize(tavi::FormatB0(tavi::rmH1, true, 100 * k, 0));
        benchmark::DoNotOptimize(tavi::FormatB0Step(tavi::rmH1, 10));
        benchmark::DoNotOptimize(tavi::FormatFrequency(tavi::rmH1, 10 * k));
        benchmark::DoNotOptimize(tavi::FormatFrequencyStep(k & 3));
        benchmark::DoNotOptimize(tavi::Format("%d of %d", {tavi::Arg(k), tavi::Arg(10)}));
    }
}
BENCHMARK(BM_MainWindowLabels);

void BM_FormatN(benchmark::State& state) {
    long double v = 3288.12405453L;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tavi::FormatN(v, 6, 2));
        v += 0.1L;
    }
}
BENCHMARK(BM_FormatN);

} // namespace

BENCHMARK_MAIN();
