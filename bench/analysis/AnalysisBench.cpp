// SPDX-License-Identifier: GPL-3.0-or-later
// Fit times: one Lorentzian of 65535 points (goal under 50 ms), a Voigt with
// modulation broadening (goal under 500 ms), three lines.
#include "analysis/SyntheticLine.h"

#include <benchmark/benchmark.h>

namespace {

using namespace tavi::analysis;
using tavi::test::Shape;
using tavi::test::TrueLine;

Spectrum Make(std::vector<TrueLine> lines, int points, double modAmp) {
    tavi::test::SynthOptions o;
    o.Lines = std::move(lines);
    o.Points = points;
    o.ModAmp = modAmp;
    o.Modulated = modAmp > 0;
    o.Drift[0] = 1;
    o.Drift[1] = 0.05;
    o.NoiseRms = 0.02;
    return tavi::test::Synthesize(o);
}

void Run(benchmark::State& state, const Spectrum& s, const FitOptions& f) {
    const BaseLineFit b = FitBaseLine(s, {});
    for (auto _ : state) {
        LineShapeFit fit = FitLineShape(s, b, f);
        if (!fit.Ok())
            state.SkipWithError(fit.Error.c_str());
        benchmark::DoNotOptimize(fit);
    }
}

void LorentzianFit65535(benchmark::State& state) {
    static const Spectrum s = Make({TrueLine{Shape::Lorentzian, 0.4, 1.0, 3.0}}, 65535, 0);
    FitOptions f;
    f.Modulation = ModulationMode::Off;
    Run(state, s, f);
}
BENCHMARK(LorentzianFit65535)->Unit(benchmark::kMillisecond);

void VoigtModulatedFit(benchmark::State& state) {
    TrueLine l{Shape::Voigt, 0.4, 1.0, 3.0, 0.35, 0.3};
    static const Spectrum s = Make({l}, static_cast<int>(state.range(0)), 0.6);
    FitOptions f;
    f.Shape = Profile::Voigt;
    f.Modulation = ModulationMode::On;
    Run(state, s, f);
}
BENCHMARK(VoigtModulatedFit)->Arg(4096)->Unit(benchmark::kMillisecond);

void ThreeLorentzianLines(benchmark::State& state) {
    static const Spectrum s = Make({TrueLine{Shape::Lorentzian, -4, 1.0, 3.0},
                                    TrueLine{Shape::Lorentzian, 0.5, 0.8, 2.0},
                                    TrueLine{Shape::Lorentzian, 4.5, 1.2, 3.0}},
                                   8192, 0);
    FitOptions f;
    f.Lines = 3;
    f.Modulation = ModulationMode::Off;
    Run(state, s, f);
}
BENCHMARK(ThreeLorentzianLines)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
