// SPDX-License-Identifier: GPL-3.0-or-later
// The processing arithmetic on the largest spectrum (65535 points), and
// tavi-proc --json over 100 such files (items per second = files per second).
#include "common/Usr.h"
#include "processing/DataFile.h"
#include "processing/ProcAnalysis.h"
#include "processing/UIntegration.h"
#include "processing/UM2.h"
#include "support/SampleDataFile.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kPoints = 65535;
constexpr int kFiles = 100;

// A Lorentzian derivative with drift, as a loaded file holds it.
tavi::LoadedDataFile Spectrum() {
    tavi::LoadedDataFile f;
    f.XStep = 100.0 / (kPoints - 1);
    f.XMin = -50;
    f.ModAmpValue = 0.025;
    f.FrequencyValue = 9400000;
    f.FieldB0Value = 3350;
    f.Settings.ModeText = "ESR";
    for (int i = 0; i < kPoints; ++i) {
        const double u = (i - kPoints / 2.0) / 3000.0;
        const double y = -450 * 2 * u / ((1 + u * u) * (1 + u * u)) + 20 + 0.0003 * i;
        f.X.push_back(i * f.XStep + f.XMin);
        f.Y.push_back(std::nearbyint(y));
    }
    return f;
}

const tavi::LoadedDataFile& Data() {
    static const tavi::LoadedDataFile f = Spectrum();
    return f;
}

struct Views {
    std::vector<double> base, deriv, ax, ay;
};

const Views& Curves() {
    static const Views v = [] {
        Views c;
        const auto& f = Data();
        tavi::BaseLineValues(tavi::FitBaseLine(f.Y), kPoints, c.base);
        tavi::DerivativeValues(f.Y, c.base, 0, kPoints - 1, c.deriv);
        tavi::Integrator it;
        it.Init(false);
        it.Factor = tavi::AbsorptionFactor(f.Y);
        it.Integrate(tavi::IntegratorSource{f.X, f.Y, c.base, 0, kPoints - 1}, 0, kPoints - 1, -500,
                     500, c.ax, c.ay);
        return c;
    }();
    return v;
}

void BM_FitBaseLine(benchmark::State& state) {
    std::vector<double> base;
    for (auto _ : state) {
        tavi::BaseLine line = tavi::FitBaseLine(Data().Y);
        tavi::BaseLineValues(line, kPoints, base);
        benchmark::DoNotOptimize(base.data());
    }
}
BENCHMARK(BM_FitBaseLine)->Unit(benchmark::kMicrosecond);

void BM_Derivative(benchmark::State& state) {
    std::vector<double> out;
    for (auto _ : state) {
        tavi::DerivativeValues(Data().Y, Curves().base, 0, kPoints - 1, out);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_Derivative)->Unit(benchmark::kMicrosecond);

void BM_AbsorptionIntegrate(benchmark::State& state) {
    const auto& f = Data();
    std::vector<double> ox, oy;
    tavi::Integrator it;
    it.Init(false);
    it.Factor = tavi::AbsorptionFactor(f.Y);
    for (auto _ : state) {
        it.Integrate(tavi::IntegratorSource{f.X, f.Y, Curves().base, 0, kPoints - 1}, 0,
                     kPoints - 1, -500, 500, ox, oy);
        benchmark::DoNotOptimize(oy.data());
    }
}
BENCHMARK(BM_AbsorptionIntegrate)->Unit(benchmark::kMicrosecond);

void BM_AreaIntegrate(benchmark::State& state) {
    const auto& c = Curves();
    const tavi::Cursors cur = tavi::IntegralCursors(kPoints);
    std::vector<double> ox, oy;
    tavi::Integrator it;
    it.Init(true);
    it.Factor = tavi::kAreaFactor;
    for (auto _ : state) {
        it.Integrate(tavi::IntegratorSource{c.ax, c.ay, {}, 0, kPoints - 1}, cur.LC, cur.RC, -500,
                     500, ox, oy);
        benchmark::DoNotOptimize(oy.data());
    }
}
BENCHMARK(BM_AreaIntegrate)->Unit(benchmark::kMicrosecond);

// Both halves over the whole line: the widest visit the window can ask for.
void BM_Moments(benchmark::State& state) {
    const auto& f = Data();
    const auto& c = Curves();
    const bool absorption = state.range(0) != 0;
    const int centre = tavi::FindCentreIndex(f.Y, c.base);
    for (auto _ : state) {
        tavi::Moments m = absorption
                              ? tavi::ComputeMoments(tavi::MomentKind::Absorption, c.ax, c.ay, 0,
                                                     kPoints - 1, centre, f.ModAmpValue)
                              : tavi::ComputeMoments(tavi::MomentKind::Derivative, f.X, c.deriv, 0,
                                                     kPoints - 1, centre, f.ModAmpValue);
        benchmark::DoNotOptimize(m);
    }
}
BENCHMARK(BM_Moments)->Arg(0)->Arg(1)->ArgName("absorption")->Unit(benchmark::kMicrosecond);

void BM_FindHalfHeight(benchmark::State& state) {
    for (auto _ : state) {
        tavi::HalfHeightResult r = tavi::FindHalfHeight(Curves().ay, 0, kPoints - 1);
        benchmark::DoNotOptimize(r.LC);
    }
}
BENCHMARK(BM_FindHalfHeight)->Unit(benchmark::kMicrosecond);

void BM_AnalyseSpectrum(benchmark::State& state) {
    tavi::ViewCurves curves;
    for (auto _ : state) {
        tavi::SpectrumAnalysis a = tavi::AnalyseSpectrum(Data(), &curves);
        benchmark::DoNotOptimize(a.Absorption.AI);
    }
}
BENCHMARK(BM_AnalyseSpectrum)->Unit(benchmark::kMillisecond);

// 100 files of 65535 points in a scratch directory, removed at exit.
class FileSet {
public:
    FileSet() {
        dir_ = "/tmp/tavi-bench-proc-" + std::to_string(::getpid());
        std::filesystem::create_directories(dir_);
        const auto header = tavi::DataFileHeader::Build(tavi::test::SettingsBuilder()
                                                            .Esr("3 350.0 Gs")
                                                            .Comment("")
                                                            .SweepTime("200 s")
                                                            .Passes(10));
        for (int k = 0; k < kFiles; ++k) {
            std::vector<std::uint8_t> buffer;
            buffer.reserve(4 * kPoints);
            for (int i = 0; i < kPoints; ++i) {
                const double u = (i - kPoints / 2.0 - 50 * k) / 3000.0;
                const double y = -450 * 2 * u / ((1 + u * u) * (1 + u * u)) + 0.0003 * i;
                auto sum = static_cast<std::uint32_t>(static_cast<std::int32_t>(y * 10));
                for (int b = 0; b < 4; ++b)
                    buffer.push_back(static_cast<std::uint8_t>(sum >> (8 * b)));
            }
            paths_.push_back(dir_ + "/line" + std::to_string(k) + ".dcw");
            std::string error;
            if (!tavi::WriteDataFile(paths_.back(), header, buffer, &error))
                error_ = error;
        }
    }
    ~FileSet() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const std::vector<std::string>& Paths() const { return paths_; }
    const std::string& Error() const { return error_; }

private:
    std::string dir_;
    std::vector<std::string> paths_;
    std::string error_;
};

const FileSet& Files() {
    static const FileSet files;
    return files;
}

void BM_TaviProcJson100Files(benchmark::State& state) {
    const FileSet& files = Files();
    if (!files.Error().empty()) {
        state.SkipWithError(files.Error().c_str());
        return;
    }
    std::string cmd = std::string("'") + TAVI_PROC_PATH + "' --json";
    for (const auto& p : files.Paths())
        cmd += " '" + p + "'";
    cmd += " >/dev/null";
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0)
            state.SkipWithError("tavi-proc failed");
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kFiles);
}
BENCHMARK(BM_TaviProcJson100Files)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// The same path in process: read, analyse, format.
void BM_ProcJsonInProcess100Files(benchmark::State& state) {
    const FileSet& files = Files();
    if (!files.Error().empty()) {
        state.SkipWithError(files.Error().c_str());
        return;
    }
    tavi::ViewCurves curves;
    for (auto _ : state) {
        std::size_t bytes = 0;
        for (const auto& p : files.Paths()) {
            tavi::LoadedDataFile f;
            std::string error;
            if (!tavi::ReadDataFile(p, f, &error))
                state.SkipWithError(error.c_str());
            bytes += tavi::SpectrumAnalysisJson(p, tavi::AnalyseSpectrum(f, &curves)).size();
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kFiles);
}
BENCHMARK(BM_ProcJsonInProcess100Files)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
