// SPDX-License-Identifier: GPL-3.0-or-later
// The processing window on a 65535-point file at its design size: loading,
// switching each view on, and one cursor drag step on the result chart with
// the moments or the integral on (the step's overlay repaint recomputes the
// values, then the window paints; "WithReplot" adds the curve drawing the
// changed running integral asks for).
#include "params/NumFormat.h"
#include "platform/Chart.h"
#include "platform/Seams.h"
#include "processing/SpectrumFiles.h"
#include "processing/UDataProc.h"
#include "support/FakeDialogs.h"
#include "support/SharedFixture.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QToolButton>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <memory>
#include <qcustomplot.h>

namespace tavi {
namespace {

constexpr int kPoints = 65535;

struct Fixture {
    test::ScopedFakeDialogs dialogs;
    QTemporaryDir dir;
    QString path;
    std::unique_ptr<TFDataProc> w;

    Fixture() {
        SetNumberSeparators({'.', ' '});
        path = dir.filePath(QStringLiteral("big.dcw"));
        test::WriteSpectrum(path.toStdString(), kPoints, test::NmrSettings(),
                            {.HalfWidth = 5, .Drift = 20, .Noise = 4});
        w = std::make_unique<TFDataProc>(nullptr, 800, 600);
        w->show();
        QCoreApplication::processEvents();
    }
    void Load() {
        w->OpenFile(path);
        Draw();
        QCoreApplication::sendPostedEvents(); // the labels' paint, as the event loop runs it
    }
    void Draw() {
        w->DSrc->RepaintNow();
        w->DDst->RepaintNow();
    }
};

Fixture& Shared() {
    return test::SharedFixture<Fixture>();
}

void BM_LoadFile(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state)
        f.Load();
    state.counters["points"] = kPoints;
}
BENCHMARK(BM_LoadFile)->Unit(benchmark::kMillisecond);

void ViewOn(benchmark::State& state, bool derivative) {
    Fixture& f = Shared();
    f.Load();
    QToolButton* view = derivative ? f.w->FDerivativeTB : f.w->AbsorptionTB;
    for (auto _ : state) {
        view->click(); // on: builds Series2, attaches the cursor
        f.w->DDst->RepaintNow();
        QCoreApplication::sendPostedEvents(); // the toolbars' and panels' paint
        state.PauseTiming();
        view->click(); // off again
        QCoreApplication::sendPostedEvents();
        state.ResumeTiming();
    }
}
void BM_DerivativeOn(benchmark::State& state) {
    ViewOn(state, true);
}
void BM_AbsorptionOn(benchmark::State& state) {
    ViewOn(state, false);
}
BENCHMARK(BM_DerivativeOn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AbsorptionOn)->Unit(benchmark::kMillisecond);

// One mouse move of a drag with "LC" (moments) or "RC" (integral) carried by
// the cursor: the marker moves, the overlay repaints and the values follow.
void DragStep(benchmark::State& state, bool integral, bool replot) {
    Fixture& f = Shared();
    f.Load();
    TFDataProc& w = *f.w;
    if (integral) {
        w.AbsorptionTB->click();
        w.IntegralTB->click();
        w.M2RCTB->click();
    } else {
        w.FDerivativeTB->click();
        w.M2DerivativeTB->click();
        w.M2LCTB->click();
    }
    f.Draw();
    QWidget* plot = w.DDst->Plot();
    const QRect r = w.DDst->PlotRect();
    int k = 0;
    for (auto _ : state) {
        w.ResultMarker.Dragging = true;
        const QPointF at(r.left() + r.width() / 4 + (k++ % 200), r.center().y());
        QMouseEvent move(QEvent::MouseMove, at, plot->mapToGlobal(at), Qt::LeftButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(plot, &move);
        if (replot)
            w.DDst->RepaintDue(); // as the coalescing timer does
        // The paint the move asked for (the chart's overlay, the values'
        // labels), as the event loop would run it next.
        QCoreApplication::sendPostedEvents();
    }
    w.ResultMarker.Dragging = false;
    // Leave the window as the next benchmark expects it: no view on.
    (integral ? w.AbsorptionTB : w.FDerivativeTB)->click();
}
void BM_DragStepMoments(benchmark::State& state) {
    DragStep(state, false, false);
}
void BM_DragStepIntegral(benchmark::State& state) {
    DragStep(state, true, false);
}
void BM_DragStepIntegralWithReplot(benchmark::State& state) {
    DragStep(state, true, true);
}
BENCHMARK(BM_DragStepMoments)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragStepIntegral)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragStepIntegralWithReplot)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tavi
