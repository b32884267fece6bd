// SPDX-License-Identifier: GPL-3.0-or-later
// Exports of a full 65535-point curve in each format (text only, and the text
// export written to a file), and the printed page written as a PDF.
#include "platform/Chart.h"
#include "processing/Export.h"
#include "processing/PrintPage.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace tavi {
namespace {

constexpr int kPoints = 65535;

struct Curve {
    std::vector<double> x, y;
    CurveExport exp;
    Curve() {
        for (int i = 0; i < kPoints; ++i) {
            double u = -50 + i * (100.0 / (kPoints - 1));
            x.push_back(u);
            y.push_back(-300 * u / 4 / std::pow(1 + u * u / 16, 2) + 0.37 * std::sin(i));
        }
        exp.Title = "run7.dcw";
        exp.Curve = "1st Derivative";
        exp.ModeText = "ESR";
        DataFileSettings s;
        s.ModeText = "ESR";
        s.SweepRange = 100;
        exp.Header = HeaderFields(s);
        exp.X = x;
        exp.Y = y;
    }
};

const Curve& TheCurve() {
    static Curve c;
    return c;
}

void BM_CurveText(benchmark::State& state) {
    const Curve& c = TheCurve();
    for (auto _ : state)
        benchmark::DoNotOptimize(CurveText(c.x, c.y));
}
BENCHMARK(BM_CurveText)->Unit(benchmark::kMillisecond);

void BM_WriteCurveTextFile(benchmark::State& state) {
    const Curve& c = TheCurve();
    QTemporaryDir dir;
    const std::string path = QDir(dir.path()).filePath("run7.prd").toStdString();
    for (auto _ : state) {
        std::string error;
        if (!WriteCurveText(path, c.x, c.y, &error))
            state.SkipWithError(error.c_str());
    }
}
BENCHMARK(BM_WriteCurveTextFile)->Unit(benchmark::kMillisecond);

void BM_Csv(benchmark::State& state) {
    const Curve& c = TheCurve();
    for (auto _ : state)
        benchmark::DoNotOptimize(CurveCsv(c.exp));
}
BENCHMARK(BM_Csv)->Unit(benchmark::kMillisecond);

void BM_Jcamp(benchmark::State& state) {
    const Curve& c = TheCurve();
    for (auto _ : state)
        benchmark::DoNotOptimize(CurveJcamp(c.exp));
}
BENCHMARK(BM_Jcamp)->Unit(benchmark::kMillisecond);

void BM_PrintPagePdf(benchmark::State& state) {
    const Curve& c = TheCurve();
    TChart chart;
    chart.resize(707, 350);
    chart.SetBackground(Qt::white);
    chart.BottomAxis().SetMinMax(-50, 50);
    chart.RightAxis().SetMinMax(-500, 500);
    TChartSeries& s = chart.AddSeries();
    for (int i = 0; i < kPoints; ++i)
        s.AddXY(c.x[static_cast<std::size_t>(i)], c.y[static_cast<std::size_t>(i)], Qt::black);
    PrintTexts texts;
    texts.FileName = "run7.dcw";
    texts.SetupHeading = "Experiment setup";
    texts.ProcessingHeading = "Processing parameters";
    for (int i = 0; i < 10; ++i)
        texts.Setup.push_back({"Name", "Value"});
    texts.GShown = true;
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath("page.pdf");
    for (auto _ : state) {
        QString error;
        if (!WriteLandscapePdf(
                path,
                [&](QPainter& painter, const QSize& page) {
                    DrawPrintPage(painter, page, chart, texts);
                },
                &error))
            state.SkipWithError(error.toStdString().c_str());
    }
}
BENCHMARK(BM_PrintPagePdf)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tavi
