// SPDX-License-Identifier: GPL-3.0-or-later
// The window "ANALYSIS" offscreen: open, drag a band, fit, cancel, export.
#include "analysis/SyntheticLine.h"
#include "analysiswin/UAnalysis.h"
#include "platform/Chart.h"
#include "setup/FileTestUtil.h"
#include "support/FakeDialogs.h"

#include <QFile>
#include <QTableWidget>
#include <QPushButton>
#include <QComboBox>
#include <QSpinBox>
#include <QLabel>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace tavi;
using ::testing::HasSubstr;

class AnalysisWindow : public ::testing::Test {
protected:
    void SetUp() override {
        SetDialogs(&dialogs);
        test::SynthOptions o;
        o.Lines = {test::TrueLine{test::Shape::Lorentzian, 1.0, 1.2, 40.0}};
        o.Points = 2000;
        o.Drift[0] = 5;
        o.Drift[1] = 0.3;
        o.NoiseRms = 0.4;
        path = dir.File("line.dcw");
        ASSERT_TRUE(test::WriteSpectrumFile(path, test::Synthesize(o), 25));
        ASSERT_TRUE(w.Open(QString::fromStdString(path)));
    }
    void TearDown() override { SetDialogs(nullptr); }

    int Pixel(double x) { return w.DerivativeChart->BottomAxis().CalcPosValue(x); }

    test::FakeDialogs dialogs;
    test::TempDir dir;
    std::string path;
    TFAnalysis w;
};

TEST_F(AnalysisWindow, OpensWithTheOuterTenthsAndTheirNoise) {
    ASSERT_EQ(w.Regions().size(), 2u);
    EXPECT_NEAR(w.Regions()[0].From, -10, 1e-9);
    EXPECT_NEAR(w.Regions()[1].To, 10, 1e-9);
    ASSERT_TRUE(w.BaseLine().Ok()) << w.BaseLine().Error;
    // Unrounded sums / passes: the noise is 0.4, far below one count.
    EXPECT_NEAR(w.BaseLine().NoiseRms, 0.4, 0.06);
    EXPECT_THAT(w.SourceLab->text().toStdString(), HasSubstr("unrounded"));
}

TEST_F(AnalysisWindow, DraggingAddsMovesAndRemovesBands) {
    w.resize(1100, 720);
    w.show();
    auto& chart = *w.DerivativeChart;
    chart.OnMouseDown(Qt::LeftButton, Pixel(5), 50); // empty place: a new band
    chart.OnMouseMove(Pixel(6), 50);
    chart.OnMouseUp(Qt::LeftButton, Pixel(6), 50);
    ASSERT_EQ(w.Regions().size(), 3u);
    EXPECT_NEAR(w.Regions()[2].From, 5, 0.1);
    chart.OnMouseDown(Qt::LeftButton, Pixel(-10), 50); // left edge of the first band
    chart.OnMouseMove(Pixel(-9.5), 50);
    chart.OnMouseUp(Qt::LeftButton, Pixel(-9.5), 50);
    EXPECT_NEAR(w.Regions()[0].From, -9.5, 0.1);
    EXPECT_NEAR(w.Regions()[0].To, -8, 1e-9);
    chart.OnMouseDown(Qt::RightButton, Pixel(5.5), 50);
    EXPECT_EQ(w.Regions().size(), 2u);
    EXPECT_EQ(w.BaseLine().Regions.size(), 2u);
}

TEST_F(AnalysisWindow, FitFillsTheTableAndCopiesTabSeparated) {
    w.FitBClick();
    w.WaitForFit();
    ASSERT_TRUE(w.Fit().Ok()) << w.Fit().Error;
    EXPECT_NEAR(w.Fit().Lines[0].Centre.Value, 1.0, 5 * w.Fit().Lines[0].Centre.Error);
    EXPECT_TRUE(w.FitB->isEnabled());
    EXPECT_FALSE(w.CancelB->isEnabled());
    const std::string text = w.ResultText().toStdString();
    EXPECT_THAT(text, HasSubstr("Quantity\tValue\tError\tUnit\n"));
    EXPECT_THAT(text, HasSubstr("\u0394Bpp\t"));
    bool shown = false;
    for (int r = 0; r < w.ResultTable->rowCount(); ++r)
        shown = shown || w.ResultTable->item(r, 1)->text().contains(QStringLiteral("\u00b1"));
    EXPECT_TRUE(shown);
}

TEST_F(AnalysisWindow, CancelStopsALongFit) {
    w.ProfileCombo->setCurrentIndex(2);    // Voigt
    w.ModulationCombo->setCurrentIndex(1); // on
    w.LinesSpin->setValue(3);
    w.FitBClick();
    EXPECT_TRUE(w.FitRunning());
    w.CancelBClick();
    w.WaitForFit();
    EXPECT_FALSE(w.Fit().Ok());
    EXPECT_THAT(w.StatusLab->text().toStdString(), HasSubstr("Cancelled"));
}

TEST_F(AnalysisWindow, ExportWritesThePageAndTheCurve) {
    w.FitBClick();
    w.WaitForFit();
    const QString pdf = QString::fromStdString(dir.File("report.pdf"));
    dialogs.fileAnswers.push_back(pdf);
    w.ExportBClick();
    EXPECT_TRUE(dialogs.errors.empty());
    QFile p(pdf);
    ASSERT_TRUE(p.open(QIODevice::ReadOnly));
    EXPECT_TRUE(p.read(4) == "%PDF");
    QFile c(QString::fromStdString(dir.File("report.csv")));
    ASSERT_TRUE(c.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = c.readAll().split('\n');
    EXPECT_EQ(lines[1], "x [Gs],corrected,fit,residual");
    EXPECT_EQ(lines.size(), 2 + 2000 + 1);
    // A folder that cannot be written is reported with its cause.
    dialogs.fileAnswers.push_back(QStringLiteral("/nonexistent/dir/r.pdf"));
    w.ExportBClick();
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_THAT(dialogs.errors[0].toStdString(), HasSubstr("/nonexistent/dir/r"));
}

TEST_F(AnalysisWindow, ReferenceThatFailsToLoadIsReported) {
    dialogs.fileAnswers.push_back(QStringLiteral("/nonexistent.dcw"));
    w.ReferenceBClick();
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_THAT(dialogs.errors[0].toStdString(), HasSubstr("The reference file failed to load"));
    dialogs.fileAnswers.push_back(QString::fromStdString(path)); // itself: ratio 1
    w.ReferenceBClick();
    EXPECT_THAT(w.ResultText().toStdString(), HasSubstr("Ratio to reference\t1\t"));
}

} // namespace
