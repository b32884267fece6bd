// SPDX-License-Identifier: GPL-3.0-or-later
// The acquisition chart at its design size with five full passes and their
// average: a full drawing, and one cursor drag step (hook, overlay, and the
// paint it asks for).
// TAVI_CHART_PNG=<file> also saves a picture with a cursor and a zoom band.
#include "params/NumFormat.h"
#include "platform/Chart.h"
#include "processing/UMMarker.h"
#include "processing/UZoom.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <qcustomplot.h>

namespace tavi {
namespace {

constexpr int kPoints = 65535;
const QColor kAges[5] = {QColor(0xFF, 0xFF, 0x00), QColor(0xFF, 0x00, 0xFF),
                         QColor(0x00, 0x00, 0x80), QColor(0x80, 0x80, 0x00),
                         QColor(0xFF, 0x00, 0x00)};

struct Fid {
    TChart chart;
    QLabel readout{&chart};
    ChartMarker marker{ChartMarker::MarkerStart::Cursor};

    Fid() {
        SetNumberSeparators({'.', ' '});
        chart.resize(707, 350);
        chart.show();
        chart.BottomAxis().SetMinMax(-50, 50);
        chart.BottomAxis().SetIncrement(25);
        chart.BottomAxis().SetValueFormat("# ##0.### [Gs]");
        chart.RightAxis().SetMinMax(-500, 500);
        chart.RightAxis().SetIncrement(250);
        const double step = 100.0 / (kPoints - 1);
        std::vector<double> sum(kPoints, 0);
        for (int pass = 0; pass < 5; ++pass) {
            TChartSeries& s = chart.AddSeries();
            s.Reserve(kPoints);
            for (int i = 0; i < kPoints; ++i) {
                double x = -50 + i * step;
                double y = 300 * x * 0.2 * std::exp(-(x * 0.2) * (x * 0.2)) * 2 +
                           20 * std::sin(i * 0.37 + pass) + pass * 15 - 30;
                sum[static_cast<std::size_t>(i)] += y;
                s.AddXY(x, y, kAges[4 - pass]);
            }
        }
        TChartSeries& acc = chart.AddSeries();
        for (int i = 0; i < kPoints; ++i)
            acc.AddXY(-50 + i * step, sum[static_cast<std::size_t>(i)] / 5, Qt::white);
        readout.setGeometry(20, 6, 200, 14);
        readout.setStyleSheet("background: silver; color: black");
        marker.Attach(chart, kPoints, mkVertical, 'B', "Gs", 0, &readout, 137, 320, 5);
        chart.RepaintNow();
        QCoreApplication::processEvents(); // shown on the (offscreen) screen: paints land
    }
};

Fid& Chart() {
    static auto* fid = new Fid; // lives until exit, like the window
    return *fid;
}

void BM_FullRepaint(benchmark::State& state) {
    Fid& fid = Chart();
    for (auto _ : state)
        fid.chart.RepaintNow(); // the layers' buffers, then the widget's paint composing them
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMillisecond);

// The drawing an accumulating sweep asks for: a point of the running pass and
// of the average changed since the last, the four older passes as they were.
void BM_LiveRepaint(benchmark::State& state) {
    Fid& fid = Chart();
    int i = 0;
    for (auto _ : state) {
        for (int series : {4, 5}) {
            TChartSeries& s = fid.chart.Series(series);
            s.SetY(i, s.Y(i));
        }
        i = (i + 97) % kPoints;
        fid.chart.RepaintDue(); // as the coalescing timer does; it paints at once
    }
}
BENCHMARK(BM_LiveRepaint)->Unit(benchmark::kMillisecond);

void BM_CursorDragStep(benchmark::State& state) {
    Fid& fid = Chart();
    TChart& chart = fid.chart;
    QRect plot = chart.PlotRect();
    int x = chart.BottomAxis().CalcPosValue(chart.Series(4).X(fid.marker.CurrentIndex()));
    chart.OnMouseDown(Qt::LeftButton, x, plot.center().y());
    int step = 0;
    const int overlays = chart.OverlayDrawings();
    const int curves = chart.CurveDrawings();
    for (auto _ : state) {
        int mouse = plot.left() + 50 + (step++ % 500);
        chart.OnMouseMove(mouse, plot.center().y());
        QCoreApplication::sendPostedEvents(); // the paint it asked for, as the event loop runs it
    }
    chart.OnMouseUp(Qt::LeftButton, 0, 0);
    // Every step draws the overlay and never the curves.
    state.counters["overlays/step"] = static_cast<double>(chart.OverlayDrawings() - overlays) /
                                      static_cast<double>(state.iterations());
    state.counters["curves"] = chart.CurveDrawings() - curves;
}
BENCHMARK(BM_CursorDragStep)->Unit(benchmark::kMillisecond);

void SavePicture(const QString& path) {
    Fid& fid = Chart();
    fid.marker.MoveTo(kPoints / 3);
    fid.chart.RepaintNow();
    fid.chart.grab().save(path + "-cursor.png");
    HorizontalZoom zoom;
    zoom.ZoomOn(fid.chart);
    QRect plot = fid.chart.PlotRect();
    fid.chart.OnMouseDown(Qt::LeftButton, plot.left() + 400, 0);
    fid.chart.OnMouseMove(plot.left() + 480, 0);
    fid.chart.RepaintNow();
    fid.chart.grab().save(path + "-band.png");
    zoom.ZoomOff();
}

} // namespace
} // namespace tavi

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    if (const char* png = std::getenv("TAVI_CHART_PNG"))
        tavi::SavePicture(png);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
