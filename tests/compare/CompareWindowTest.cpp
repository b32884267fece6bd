// SPDX-License-Identifier: GPL-3.0-or-later
#include "comparewin/UCompare.h"
#include "compare/CompareFiles.h"
#include "platform/Chart.h"
#include "setup/FileTestUtil.h"
#include "support/FakeDialogs.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QTabWidget>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QListWidget>
#include <QMimeData>
#include <QSlider>
#include <QTableWidget>
#include <QUrl>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <fstream>
#include <gtest/gtest.h>

namespace tavi {
namespace {

// Three NMR spectra of a temperature series, written out of order, and a
// file that is no data file.
class CompareWindow : public ::testing::Test {
protected:
    void SetUp() override {
        const char* comments[] = {"Glycerol, 295 K", "Glycerol, 77 K", "Glycerol, 150 K"};
        for (int i = 0; i < 3; ++i) {
            DataFileSettings s = test::NmrSettings(60.0f + 20 * i);
            s.Comment = comments[i];
            test::LineShape line;
            line.HalfWidth = 2 + i;
            line.Peak = 100 + 80 * i;
            line.Drift = 10;
            ASSERT_TRUE(test::WriteSpectrum(Path(i).toStdString(), 300 + 101 * i, s, line));
        }
        std::ofstream(dir.File("broken.dcw")) << "not a data file";
        window.resize(1000, 700);
        window.show();
        QCoreApplication::processEvents();
    }
    QString Path(int i) const { return QString::fromStdString(dir.File("s" + std::to_string(i) + ".dcw")); }
    QString Broken() const { return QString::fromStdString(dir.File("broken.dcw")); }
    // The numeric cell of a column in the table's row of a file.
    std::optional<double> Cell(const QString& file, const QString& column) const {
        QTableWidget* t = window.ResultTable;
        for (int c = 0; c < t->columnCount(); ++c) {
            if (t->horizontalHeaderItem(c)->text() != column)
                continue;
            for (int r = 0; r < t->rowCount(); ++r)
                if (t->item(r, 0)->text() == file) {
                    const QVariant v = t->item(r, c)->data(Qt::UserRole);
                    return v.isValid() ? std::optional<double>(v.toDouble()) : std::nullopt;
                }
        }
        ADD_FAILURE() << column.toStdString();
        return std::nullopt;
    }

    test::TempDir dir;
    test::ScopedFakeDialogs dialogs;
    TFCompare window;
};

TEST_F(CompareWindow, FailingFileIsListedWithItsErrorAndTheOthersGoOn) {
    window.AddFiles({Path(0), Broken(), Path(1), Path(2)});
    ASSERT_EQ(window.FileCount(), 4);
    EXPECT_EQ(window.CurvesDrawn(), 3);
    EXPECT_EQ(window.ResultTable->rowCount(), 3);
    EXPECT_TRUE(window.FileList->item(1)->text().contains(QStringLiteral("file format error")));
    EXPECT_EQ(window.FilesLab->text(), QStringLiteral("4 files, 1 not loaded"));
    EXPECT_TRUE(dialogs.fake.messages.empty()); // nothing modal for a bad file in a batch
}

TEST_F(CompareWindow, TableValuesEqualTheBatchAnalysis) {
    window.AddFiles({Path(0), Path(1), Path(2)});
    for (int i = 0; i < 3; ++i) {
        LoadedDataFile f;
        ASSERT_TRUE(ReadDataFile(Path(i).toStdString(), f, nullptr));
        const SpectrumAnalysis a = AnalyseSpectrum(f); // what tavi-proc prints
        const QString name = QStringLiteral("s%1.dcw").arg(i);
        EXPECT_EQ(Cell(name, "SDB"), a.Derivative.SDB);
        EXPECT_EQ(Cell(name, "HDB"), a.Absorption.HDBFound ? std::optional<double>(a.Absorption.HDB)
                                                             : std::nullopt);
        EXPECT_EQ(Cell(name, "AI"), a.Absorption.AI);
        EXPECT_EQ(Cell(name, "M2 derivative"), a.Derivative.Moment.M2);
        EXPECT_EQ(Cell(name, "M2 absorption"), a.Absorption.Moment.M2);
        EXPECT_EQ(Cell(name, "g"), std::nullopt); // NMR
    }
    // Sorting reorders the copied text too.
    window.ResultTable->sortByColumn(2, Qt::AscendingOrder);
    const std::string text = window.TableText('\t');
    EXPECT_LT(text.find("s1.dcw"), text.find("s2.dcw"));
    EXPECT_LT(text.find("s2.dcw"), text.find("s0.dcw"));
}

TEST_F(CompareWindow, RemoveReorderHideAndEmptyAgain) {
    window.AddFiles({Path(0), Path(1), Path(2)});
    const QColor first = window.FileColour(0);
    window.MoveFile(0, 2);
    EXPECT_EQ(window.File(2).Name, "s0.dcw");
    EXPECT_EQ(window.FileColour(2), first); // the colour goes with its file
    EXPECT_EQ(window.FileList->item(2)->text().left(6), QStringLiteral("s0.dcw"));

    window.FileList->item(0)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(window.CurvesDrawn(), 2);

    window.RemoveFiles({0});
    EXPECT_EQ(window.FileCount(), 2);
    window.RemoveFiles({0, 1});
    EXPECT_EQ(window.FileCount(), 0);
    EXPECT_EQ(window.CurvesDrawn(), 0);
    EXPECT_EQ(window.ResultTable->rowCount(), 0);
    EXPECT_TRUE(window.SeriesPoints().empty());
    // Still usable.
    window.AddFiles({Path(1)});
    EXPECT_EQ(window.CurvesDrawn(), 1);
}

TEST_F(CompareWindow, AxisAndNormalisationSwitches) {
    window.AddFiles({Path(0), Path(1), Path(2)});
    window.AxisCB->setCurrentIndex(static_cast<int>(CompareAxis::FieldGs));
    // B0 3288 Gs, sweeps of 60, 80 and 100 Gs: each keeps its own X.
    EXPECT_DOUBLE_EQ(window.OverlayChart->BottomAxis().Minimum(), 3288.0 - 50);
    EXPECT_DOUBLE_EQ(window.OverlayChart->BottomAxis().Maximum(), 3288.0 + 50);

    window.NormCB->setCurrentIndex(static_cast<int>(CompareNorm::Maximum));
    EXPECT_EQ(window.NormLab->text(), QStringLiteral("Normalised to the maximum"));
    EXPECT_LE(window.OverlayChart->RightAxis().Maximum(), 1.11);
    EXPECT_GE(window.OverlayChart->RightAxis().Minimum(), -1.11);
    window.StackSlider->setValue(100);
    EXPECT_GT(window.OverlayChart->RightAxis().Maximum(), 2.0);

    // An ESR file disables the g-axis with a note.
    DataFileSettings esr = test::EsrSettings();
    ASSERT_TRUE(test::WriteSpectrum(dir.File("e.dcw"), 200, esr, test::LineShape{}));
    window.AddFiles({QString::fromStdString(dir.File("e.dcw"))});
    EXPECT_TRUE(window.AxisNoteLab->text().contains(QStringLiteral("NMR and ESR files together")));
    window.AxisCB->setCurrentIndex(static_cast<int>(CompareAxis::GFactor));
    EXPECT_NE(window.Axis(), CompareAxis::GFactor);
    window.RemoveFiles({0, 1, 2});
    window.AxisCB->setCurrentIndex(static_cast<int>(CompareAxis::GFactor));
    EXPECT_EQ(window.Axis(), CompareAxis::GFactor);
    EXPECT_EQ(window.CurvesDrawn(), 1);
}

TEST_F(CompareWindow, SeriesPlotTakesTheCommentNumbers) {
    window.AddFiles({Path(0), Path(1), Path(2)});
    window.SeriesColumnCB->setCurrentText(QStringLiteral("SDB"));
    window.SeriesXCB->setCurrentIndex(2);
    ASSERT_EQ(window.SeriesPoints().size(), 3u);
    EXPECT_EQ(window.SeriesPoints()[0].X, 77);
    EXPECT_EQ(window.SeriesPoints()[2].X, 295);
    EXPECT_EQ(window.SeriesPoints()[0].Y, *Cell("s1.dcw", "SDB"));
    window.SeriesXCB->setCurrentIndex(0); // row order: the list's until sorted
    ASSERT_EQ(window.SeriesPoints().size(), 3u);
    EXPECT_EQ(window.SeriesPoints()[0].Y, *Cell("s0.dcw", "SDB"));
    window.SeriesXCB->setCurrentIndex(2);

    // A comment without a match: an empty cell, no point.
    window.PatternEdit->setText(QStringLiteral(R"(Glycerol, (\d\d) K)"));
    EXPECT_EQ(Cell("s0.dcw", "From comment"), std::nullopt);
    EXPECT_EQ(Cell("s1.dcw", "From comment"), 77);
    EXPECT_EQ(window.SeriesPoints().size(), 1u);
    window.PatternEdit->setText(QStringLiteral("(")); // bad: said, nothing plotted
    EXPECT_TRUE(window.PatternNoteLab->text().startsWith(QStringLiteral("Bad pattern")));
    EXPECT_TRUE(window.SeriesPoints().empty());
}

TEST_F(CompareWindow, DoubleIntegralAndFittedColumnsComeFromTheAnalysis) {
    window.AddFiles({Path(0), Path(1), Path(2)});
    window.NormCB->setCurrentIndex(static_cast<int>(CompareNorm::DoubleIntegral));
    EXPECT_EQ(window.NormLab->text(), QStringLiteral("Normalised to the double integral"));
    EXPECT_EQ(window.CurvesDrawn(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(window.DivisorOf(i), *FileDoubleIntegral(window.File(i)).Value);

    window.ModelCB->setCurrentIndex(static_cast<int>(CompareModel::Lorentzian));
    const FitOf fit = FitFile(window.File(1), CompareModel::Lorentzian);
    ASSERT_TRUE(fit.Fit) << fit.Error;
    EXPECT_EQ(Cell("s1.dcw", "Centre"), fit.Fit->Centre);
    EXPECT_EQ(Cell("s1.dcw", "Width error"), fit.Fit->WidthError);
    window.SeriesColumnCB->setCurrentText(QStringLiteral("Width"));
    ASSERT_EQ(window.SeriesPoints().size(), 3u);
    for (const auto& p : window.SeriesPoints())
        EXPECT_GT(p.Error, 0); // error bars where the column has errors
}

TEST_F(CompareWindow, DroppedFilesAndFolderAreAdded) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(Path(2)), QUrl::fromLocalFile(Path(0))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &drop);
    ASSERT_EQ(window.FileCount(), 2);
    EXPECT_EQ(window.File(0).Name, "s2.dcw");

    window.AddFolder(QString::fromStdString(dir.Path())); // sorted by name
    ASSERT_EQ(window.FileCount(), 6);
    EXPECT_EQ(window.File(2).Name, "broken.dcw");
    EXPECT_EQ(window.File(5).Name, "s2.dcw");
}

TEST_F(CompareWindow, ExportCsvWritesTheTableOrSaysWhyNot) {
    window.AddFiles({Path(0)});
    dialogs.fake.fileAnswers = {QString::fromStdString(dir.File("t.csv")),
                                QString::fromStdString(dir.File("no/such/dir/t.csv")),
                                QString::fromStdString(dir.File("pipe.csv"))};
    ASSERT_EQ(::mkfifo(dir.File("pipe.csv").c_str(), 0666), 0);
    window.ExportCsvB->click();
    std::ifstream in(dir.File("t.csv"));
    std::string header, row;
    std::getline(in, header);
    std::getline(in, row);
    EXPECT_EQ(header.rfind("File,Comment,From comment,", 0), 0u);
    EXPECT_EQ(row.rfind("s0.dcw,\"Glycerol, 295 K\",295,", 0), 0u) << row;
    window.ExportCsvB->click();
    ASSERT_EQ(dialogs.fake.messages.size(), 1u);
    EXPECT_TRUE(dialogs.fake.messages[0].text.startsWith(QStringLiteral("Cannot write")));
    window.ExportCsvB->click(); // a pipe is refused, not replaced by a file
    ASSERT_EQ(dialogs.fake.messages.size(), 2u);
    EXPECT_TRUE(dialogs.fake.messages[1].text.contains(QStringLiteral("not a regular file")));
    EXPECT_TRUE(std::filesystem::is_fifo(dir.File("pipe.csv")));
}

} // namespace
} // namespace tavi

namespace tavi {
namespace {

// Pictures for the documentation: an ESR temperature series of 8 files,
// recorded at drifting frequencies, stacked on the g-axis, and its series plot.
// Run with --gtest_also_run_disabled_tests --gtest_filter='*Screenshot*'.
TEST(DISABLED_CompareScreenshot, TemperatureSeries) {
    const char* dirEnv = std::getenv("TAVI_SCREENSHOT_DIR");
    const QString shots = dirEnv ? QString::fromLocal8Bit(dirEnv) : QStringLiteral("doc/screenshots");
    test::TempDir dir;
    const int temperatures[] = {4, 10, 20, 40, 77, 150, 220, 295};
    QStringList paths;
    for (int k = 0; k < 8; ++k) {
        const double t = temperatures[k];
        const double ghz = 9.40 + 0.012 * k;
        const double g = 2.0036 + 0.00002 * t;
        const double resonance = 0.07144771 * ghz / g * 1e4; // Gs
        DataFileSettings s = test::EsrSettings(120.0f);
        s.FrequencyText = QString::number(ghz * 1e6, 'f', 1).toStdString() + " kHz";
        s.FieldB0Text = "3 355.00 Gs";
        s.Comment = "TEMPO in toluene, " + std::to_string(temperatures[k]) + " K";
        test::LineShape line;
        line.Centre = resonance - 3355.0;
        line.HalfWidth = 2.0 + t / 40.0;
        line.Peak = 60 + 400 * 20 / (t + 20);
        line.Noise = 2;
        line.Seed = static_cast<unsigned>(k + 1);
        const std::string path = dir.File("tempo-" + std::string(k < 7 && t < 100 ? "0" : "") +
                                          std::to_string(temperatures[k]) + "K.dcw");
        ASSERT_TRUE(test::WriteSpectrum(path, 4096, s, line));
        paths << QString::fromStdString(path);
    }
    TFCompare window;
    window.resize(1280, 760);
    window.show();
    QCoreApplication::processEvents();
    window.AddFiles(paths);
    window.AxisCB->setCurrentIndex(static_cast<int>(CompareAxis::GFactor));
    window.NormCB->setCurrentIndex(static_cast<int>(CompareNorm::Maximum));
    window.StackSlider->setValue(60);
    QCoreApplication::processEvents();
    window.RedrawOverlay();
    QDir().mkpath(shots);
    EXPECT_TRUE(window.grab().save(shots + "/compare-overlay.png"));
    window.Pages->setCurrentIndex(2);
    window.SeriesColumnCB->setCurrentText(QStringLiteral("SDB"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.grab().save(shots + "/compare-series.png"));
    window.Pages->setCurrentIndex(1);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.grab().save(shots + "/compare-table.png"));
}

} // namespace
} // namespace tavi
