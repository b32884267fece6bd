// SPDX-License-Identifier: GPL-3.0-or-later
// The processing window's outputs on the offscreen platform: the text
// exports, the printed page through a fake printer, the PDF and the CSV and
// JCAMP-DX exports, with their faults.
#include "params/NumFormat.h"
#include "platform/Chart.h"
#include "processing/Export.h"
#include "processing/ExportReaders.h"
#include "processing/FakePagePrinter.h"
#include "processing/SpectrumFiles.h"
#include "processing/UDataProc.h"
#include "support/FakeDialogs.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QTemporaryDir>
#include <QToolButton>
#include <charconv>
#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <tuple>
#include <qcustomplot.h>

namespace tavi {
namespace {

using ::testing::HasSubstr;

const QColor kYellow{0xFF, 0xFF, 0x00};

std::string Number(double v) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

class DataProcOutputTest : public ::testing::Test {
protected:
    test::ScopedFakeDialogs dialogs;
    test::ScopedFakePagePrinter printer;
    QTemporaryDir dir;
    std::unique_ptr<TFDataProc> w;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        SetNumberSeparators({'.', ' '});
        ASSERT_TRUE(QDir(dir.path()).mkdir("out"));
        w = std::make_unique<TFDataProc>();
        w->SetOutputDirectory(Out());
        w->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override { w.reset(); }

    QString Out() const { return dir.filePath("out"); }
    QString OutFile(const char* name) const { return Out() + "/" + name; }
    QString Open(const char* name, const DataFileSettings& s = test::NmrSettings()) {
        const QString p = dir.filePath(QString::fromLatin1(name));
        std::string error;
        EXPECT_TRUE(test::WriteSpectrum(p.toStdString(), 401, s, {}, &error)) << error;
        dialogs.fake.fileAnswers.push_back(p);
        w->FOpenTB->click();
        return p;
    }
    static std::string Text(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string("<missing>");
    }
    std::string CurveOf(const TChartSeries& s) const { return CurveText(s.Xs(), s.Ys()); }
    QColor PlotBackground() const { return w->DDst->Plot()->axisRect()->backgroundBrush().color(); }
    // The visible points of Series2 all have the colour.
    bool VisiblePointsAre(const QColor& colour) const {
        const TChartSeries& s = *w->Series2;
        for (int i = s.FirstVisibleIndex(); i >= 0 && i <= s.LastVisibleIndex(); ++i)
            if (s.Colour(i) != colour)
                return false;
        return s.FirstVisibleIndex() >= 0;
    }
    std::vector<QString> Errors() const { return dialogs.fake.errors; }
};

// ---------------------------------------------------------------- text exports

TEST_F(DataProcOutputTest, ExportAsciiWritesTheSourceCurveBesideTheOutputDirectory) {
    Open("run7.dcw");
    w->MExportAscii->trigger();
    EXPECT_EQ(Text(OutFile("run7.txt")), CurveOf(*w->Series1));
    EXPECT_TRUE(dialogs.fake.messages.empty());
}

TEST_F(DataProcOutputTest, ResultExportIsPrdInTheDerivativeViewAndPraInTheAbsorptionView) {
    Open("a.b.dcw");
    w->FDerivativeTB->click();
    w->DOSaveTBClick();
    EXPECT_EQ(Text(OutFile("a.prd")), CurveOf(*w->Series2));
    w->AbsorptionTB->click();
    w->DOSaveTBClick();
    EXPECT_EQ(Text(OutFile("a.pra")), CurveOf(*w->Series2));
    EXPECT_NE(Text(OutFile("a.pra")), Text(OutFile("a.prd")));
}

TEST_F(DataProcOutputTest, NameEmptiedByThePreferencesGivesTheExtensionAlone) {
    Open("run7.dcw");
    w->SetAcquisitionDirectory(dir.path());
    ASSERT_TRUE(w->FileName().isEmpty());
    w->MExportAscii->trigger();
    EXPECT_EQ(Text(OutFile("txt")), CurveOf(*w->Series1));
}

TEST_F(DataProcOutputTest, ExportThatCannotBeWrittenNamesTheCause) {
    Open("run7.dcw");
    w->SetOutputDirectory(dir.filePath("gone"));
    w->MExportAscii->trigger();
    ASSERT_EQ(dialogs.fake.messages.size(), 1u);
    EXPECT_EQ(dialogs.fake.messages[0].icon, MsgIcon::Error);
    EXPECT_THAT(dialogs.fake.messages[0].text.toStdString(), HasSubstr("gone/run7.txt"));
    EXPECT_THAT(dialogs.fake.messages[0].text.toStdString(),
                HasSubstr("No such file or directory"));
}

// ---------------------------------------------------------------- printing

TEST_F(DataProcOutputTest, PrintPreparesTheScreenForThePageAndRestoresIt) {
    Open("run7.dcw");
    w->FDerivativeTB->click();
    w->M2DerivativeTB->click();
    const QColor screenPlot = PlotBackground();
    bool markerActive = true;
    int style = 0;
    bool black = false;
    QColor plotWhilePrinting;
    printer.fake.whileDrawn = [&] {
        markerActive = w->ResultMarker.Active;
        style = w->ResultMarker.ReferenceStyle;
        black = VisiblePointsAre(Qt::black);
        plotWhilePrinting = PlotBackground();
    };
    w->MPrint->trigger();
    ASSERT_EQ(printer.fake.jobs, 1);
    EXPECT_TRUE(Errors().empty());
    EXPECT_FALSE(markerActive);
    EXPECT_EQ(style, 2);
    EXPECT_TRUE(black);
    EXPECT_EQ(plotWhilePrinting, QColor(Qt::white));
    // Back as it was.
    EXPECT_TRUE(w->ResultMarker.Active);
    EXPECT_EQ(w->ResultMarker.ReferenceStyle, 1);
    EXPECT_TRUE(VisiblePointsAre(kYellow));
    EXPECT_EQ(PlotBackground(), screenPlot);
    // The page: text on the left fifth, the chart on white to the right.
    const QImage& page = printer.fake.image;
    int ink = 0, chartWhite = 0;
    for (int y = 0; y < page.height(); y += 3) {
        for (int x = 0; x < page.width() / 5; x += 3)
            ink += qGray(page.pixel(x, y)) < 128;
        for (int x = page.width() / 5; x < page.width(); x += 3)
            chartWhite += page.pixel(x, y) == qRgb(255, 255, 255);
    }
    EXPECT_GT(ink, 100);
    EXPECT_GT(chartWhite, page.width() * page.height() / 9 / 2);
}

TEST_F(DataProcOutputTest, FailedPrintIsReportedAndTheScreenRestored) {
    Open("run7.dcw");
    w->AbsorptionTB->click();
    const QColor screenPlot = PlotBackground();
    printer.fake.failWith = "No printer is installed on this computer.";
    w->MPrint->trigger();
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0], "No printer is installed on this computer.");
    EXPECT_TRUE(w->ResultMarker.Active);
    EXPECT_EQ(w->ResultMarker.ReferenceStyle, 1);
    EXPECT_TRUE(VisiblePointsAre(kYellow));
    EXPECT_EQ(PlotBackground(), screenPlot);
}

TEST_F(DataProcOutputTest, DeletedOrForgottenDataFileStillPrints) {
    const QString p = Open("run7.dcw");
    w->FDerivativeTB->click();
    ASSERT_TRUE(QFile::remove(p));
    w->MPrint->trigger();
    EXPECT_EQ(printer.fake.jobs, 1);
    w->SetAcquisitionDirectory(dir.path());
    w->MPrint->trigger();
    EXPECT_EQ(printer.fake.jobs, 2);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(DataProcOutputTest, PrintWithoutAViewDoesNothing) {
    Open("run7.dcw");
    w->MPrintClick();
    w->MPrintPdfClick();
    EXPECT_EQ(printer.fake.jobs, 0);
    EXPECT_TRUE(dialogs.fake.fileAnswers.empty());
}

TEST_F(DataProcOutputTest, PrintToPdfWritesTheChosenFileAndRestoresTheScreen) {
    Open("run7.dcw");
    w->FDerivativeTB->click();
    const QString pdf = OutFile("page.pdf");
    dialogs.fake.fileAnswers = {""}; // cancelled
    w->MPrintPdf->trigger();
    EXPECT_FALSE(QFile::exists(pdf));

    dialogs.fake.fileAnswers = {pdf};
    w->MPrintPdf->trigger();
    EXPECT_EQ(Text(pdf).substr(0, 5), "%PDF-");
    EXPECT_TRUE(Errors().empty());
    EXPECT_TRUE(VisiblePointsAre(kYellow));
    EXPECT_TRUE(w->ResultMarker.Active);

    dialogs.fake.fileAnswers = {dir.filePath("gone/page.pdf")};
    w->MPrintPdf->trigger();
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_THAT(Errors()[0].toStdString(), HasSubstr("gone/page.pdf"));
    EXPECT_EQ(printer.fake.jobs, 0);
}

// ---------------------------------------------------------------- CSV and JCAMP-DX

TEST_F(DataProcOutputTest, CsvOfTheSourceSpectrumWithoutAView) {
    Open("run7.dcw");
    dialogs.fake.fileAnswers = {OutFile("run7.csv")};
    w->MExportData->trigger();
    EXPECT_TRUE(dialogs.fake.messages.empty()); // no question without a view
    test::CsvRead r = test::ReadCsv(Text(OutFile("run7.csv")));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.columns, "x [Gs],y [a.u.]");
    EXPECT_EQ(r.x, std::vector<double>(w->Series1->Xs().begin(), w->Series1->Xs().end()));
    EXPECT_EQ(r.y, std::vector<double>(w->Series1->Ys().begin(), w->Series1->Ys().end()));
    EXPECT_EQ(r.comments["Curve"], "Source spectrum");
    EXPECT_EQ(r.comments["Comment"], "Glycerol, 295 K");
    EXPECT_EQ(r.comments["B0"], "3 288.0 Gs");
    EXPECT_EQ(r.comments.count("Base line slope"), 0u);
}

TEST_F(DataProcOutputTest, JcampOfTheResultCurveCarriesTheProcessingValues) {
    Open("dpph.dcw", test::EsrSettings());
    w->FDerivativeTB->click();
    w->SDBTB->click(); // places the LC and RC cursors
    dialogs.fake.answers = {MsgResult::Yes};
    dialogs.fake.fileAnswers = {OutFile("dpph.jdx")};
    w->MExportData->trigger();
    ASSERT_EQ(dialogs.fake.messages.size(), 1u);
    test::JcampRead r = test::ReadJcamp(Text(OutFile("dpph.jdx")));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.labels["DATA TYPE"], "ESR SPECTRUM");
    EXPECT_EQ(r.labels["$CURVE"], "1st Derivative");
    EXPECT_EQ(r.labels.count("$G"), 1u); // an ESR file shows the G panel
    EXPECT_EQ(r.labels["$SDB"], w->DBVal->text().toStdString());
    EXPECT_FALSE(w->DBVal->text().isEmpty());
    EXPECT_EQ(r.labels.count("$BASE LINE SLOPE"), 1u);
    const int lc = w->ResultMarker.References[1];
    EXPECT_THAT(r.labels["$LC CURSOR"], ::testing::StartsWith(Number(w->Series2->X(lc))));
    EXPECT_EQ(r.labels.count("$RC CURSOR"), 1u);
    EXPECT_EQ(r.labels.count("$MC CURSOR"), 0u);
    EXPECT_EQ(r.y, std::vector<double>(w->Series2->Ys().begin(), w->Series2->Ys().end()));
    EXPECT_LE(r.longestLine, kJcampLineLimit);

    // "No" exports the source spectrum instead.
    dialogs.fake.answers = {MsgResult::No};
    dialogs.fake.fileAnswers = {OutFile("src.csv")};
    w->MExportData->trigger();
    test::CsvRead c = test::ReadCsv(Text(OutFile("src.csv")));
    EXPECT_EQ(c.comments["Curve"], "Source spectrum");
    EXPECT_EQ(c.y.size(), static_cast<std::size_t>(w->Series1->Count()));
}

TEST_F(DataProcOutputTest, ExportNamesTheResultAfterItsViewAndCancelExportsNothing) {
    Open("run1.dcw");
    const std::tuple<QToolButton*, MsgResult, QString> cases[] = {
        {w->AbsorptionTB, MsgResult::Yes, "run1-absorption.csv"},
        {w->AbsorptionTB, MsgResult::No, "run1.csv"},
        {w->FDerivativeTB, MsgResult::Yes, "run1-derivative.csv"},
        {w->FDerivativeTB, MsgResult::Cancel, ""}, // no file dialog
    };
    for (const auto& [view, answer, proposed] : cases) {
        if (!view->isChecked())
            view->click();
        dialogs.fake.saveStarts.clear();
        dialogs.fake.answers = {answer};
        w->MExportData->trigger();
        EXPECT_EQ(dialogs.fake.messages.back().buttons, MsgButtons::YesNoCancel);
        EXPECT_EQ(dialogs.fake.saveStarts.empty() ? "" : QFileInfo(dialogs.fake.saveStarts[0]).fileName(), proposed);
    }
}

TEST_F(DataProcOutputTest, ExportToAnUnknownTypeOrNowhereIsReported) {
    Open("run7.dcw");
    dialogs.fake.fileAnswers = {OutFile("run7.xls")};
    w->MExportData->trigger();
    dialogs.fake.fileAnswers = {dir.filePath("gone/run7.csv")};
    w->MExportData->trigger();
    ASSERT_EQ(dialogs.fake.messages.size(), 2u);
    EXPECT_THAT(dialogs.fake.messages[0].text.toStdString(), HasSubstr(".csv, .jdx or .dx"));
    EXPECT_THAT(dialogs.fake.messages[1].text.toStdString(),
                HasSubstr("No such file or directory"));
    EXPECT_FALSE(QFile::exists(OutFile("run7.xls")));
}

// Writes the printed page of an ESR line as a PDF for the documentation. Run
// with --gtest_also_run_disabled_tests --gtest_filter='*Screenshot*'.
TEST(DISABLED_Screenshot, PrintedPage) {
    test::ScopedFakeDialogs dialogs;
    SetNumberSeparators({'.', ' '});
    QTemporaryDir dir;
    const QString file = dir.filePath("dpph.dcw");
    DataFileSettings s = test::EsrSettings();
    s.AccText = "10";
    std::string error;
    ASSERT_TRUE(test::WriteSpectrum(
        file.toStdString(), 1001, s,
        {.Centre = 3, .HalfWidth = 2.5, .Peak = 60, .Drift = 30, .Offset = -10, .Noise = 3},
        &error));
    TFDataProc w(nullptr, 1280, 1024);
    w.show();
    QCoreApplication::processEvents();
    dialogs.fake.fileAnswers = {file};
    w.FOpenTB->click();
    w.AbsorptionTB->click();
    w.IntegralTB->click();
    const char* shots = std::getenv("TAVI_SCREENSHOT_DIR");
    const QString out = QString::fromLocal8Bit(shots ? shots : "doc/screenshots") + "/print.pdf";
    dialogs.fake.fileAnswers = {out};
    w.MPrintPdfClick();
    EXPECT_TRUE(dialogs.fake.errors.empty());
}

} // namespace
} // namespace tavi
