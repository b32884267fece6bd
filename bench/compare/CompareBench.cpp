// SPDX-License-Identifier: GPL-3.0-or-later
// The window "COMPARE" with a series of 50 files of 65535 points: adding them
// (load, analysis, table, overlay), one redraw of the overlay with 50 curves,
// and switching the normalisation.
#include "comparewin/UCompare.h"
#include "platform/Chart.h"
#include "processing/SpectrumFiles.h"
#include "support/FakeDialogs.h"
#include "support/SharedFixture.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace tavi {
namespace {

constexpr int kFiles = 50;
constexpr int kPoints = 65535;

struct Fixture {
    test::ScopedFakeDialogs dialogs;
    QTemporaryDir dir;
    QStringList paths;
    std::unique_ptr<TFCompare> w;

    Fixture() {
        for (int k = 0; k < kFiles; ++k) {
            DataFileSettings s = test::NmrSettings(100.0f + k);
            s.Comment = "series " + std::to_string(k) + ", " + std::to_string(100 + 4 * k) + " K";
            const QString p = dir.filePath(QStringLiteral("f%1.dcw").arg(k, 2, 10, QLatin1Char('0')));
            test::WriteSpectrum(p.toStdString(), kPoints, s,
                                {.HalfWidth = 3.0 + k * 0.1, .Drift = 20, .Noise = 4,
                                 .Seed = static_cast<unsigned>(k + 1)});
            paths << p;
        }
        w = std::make_unique<TFCompare>();
        w->resize(1280, 800);
        w->show();
        QCoreApplication::processEvents();
    }
};

Fixture& Shared() {
    return test::SharedFixture<Fixture>();
}

void BM_Add50Files(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) {
        f.w->AddFiles(f.paths);
        state.PauseTiming();
        f.w->RemoveFiles([] {
            std::vector<int> all(kFiles);
            for (int i = 0; i < kFiles; ++i)
                all[static_cast<std::size_t>(i)] = i;
            return all;
        }());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Add50Files)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Redraw50Curves(benchmark::State& state) {
    Fixture& f = Shared();
    if (f.w->FileCount() == 0)
        f.w->AddFiles(f.paths);
    for (auto _ : state)
        f.w->RedrawOverlay();
    state.counters["curves"] = f.w->CurvesDrawn();
}
BENCHMARK(BM_Redraw50Curves)->Unit(benchmark::kMillisecond);

void BM_SwitchNormalisation(benchmark::State& state) {
    Fixture& f = Shared();
    if (f.w->FileCount() == 0)
        f.w->AddFiles(f.paths);
    int i = 0;
    for (auto _ : state)
        f.w->NormCB->setCurrentIndex(++i % 3); // none, gain x modulation, maximum
}
BENCHMARK(BM_SwitchNormalisation)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tavi
