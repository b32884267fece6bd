// SPDX-License-Identifier: GPL-3.0-or-later
// The processing window on the offscreen platform: loading, both views and the
// switches between them, the measurement and cursor buttons, zoom, hiding and
// showing, failed loads and dropped files.
#include "common/Usr.h"
#include "params/NumFormat.h"
#include "platform/Chart.h"
#include "analysiswin/UAnalysis.h"
#include "processing/UDataProc.h"
#include "processing/UM2.h"
#include "support/EventLoop.h"
#include "support/FakeDialogs.h"
#include "processing/SpectrumFiles.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUrl>
#include <gtest/gtest.h>
#include <cstdlib>
#include <memory>
#include <qcustomplot.h>

namespace tavi {
namespace {

using test::LineShape;

class DataProcTest : public ::testing::Test {
protected:
    test::ScopedFakeDialogs dialogs;
    QTemporaryDir dir;
    std::unique_ptr<TFDataProc> w;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        SetNumberSeparators({'.', ' '});
        w = std::make_unique<TFDataProc>();
        w->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override { w.reset(); }

    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QString Spectrum(const char* name, int n = 1001,
                     const DataFileSettings& s = test::NmrSettings(), LineShape line = {}) {
        const QString p = Path(name);
        std::string error;
        EXPECT_TRUE(test::WriteSpectrum(p.toStdString(), n, s, line, &error)) << error;
        return p;
    }
    void Open(const QString& path) {
        dialogs.fake.fileAnswers.push_back(path);
        w->FOpenTB->click();
    }
    void Redraw() {
        w->DSrc->RepaintNow();
        w->DDst->RepaintNow();
    }
    const MarkerReferences& Refs() const { return w->ResultMarker.References; }
    std::span<const double> Y2() const { return w->Series2->Ys(); }
    std::span<const double> X2() const { return w->Series2->Xs(); }
    std::string Unit() const { return w->FileUnitText().toStdString(); }
    // A line whose absorption rises to its last points: no crossing of half
    // the height on the way down.
    QString RisingAbsorption() {
        std::vector<int> values(1001, 100);
        std::fill(values.begin(), values.begin() + 100, 0);
        values.back() = -1;
        EXPECT_TRUE(test::WriteValues(Path("rising.dcw").toStdString(), values));
        return Path("rising.dcw");
    }
};

// ---------------------------------------------------------------- loading

TEST_F(DataProcTest, TheStoredDoubledAmpersandShowsOnce) {
    DataFileSettings s = test::NmrSettings();
    s.ModeText = "NMR 1H &&19F";
    Open(Spectrum("both.dcw", 101, s, {}));
    EXPECT_EQ(w->LResonance->text(), "NMR 1H &19F");
}

TEST_F(DataProcTest, LoadFillsTheLabelsAttachesTheSourceCursorAndLeavesNoViewOn) {
    const QString p = Spectrum("run7.dcw", 1001, test::NmrSettings(), {.Drift = 40, .Offset = -20});
    Open(p);
    EXPECT_EQ(w->LResonance->text(), "NMR 1H");
    EXPECT_EQ(w->LSweepTp->text(), "Field");
    EXPECT_EQ(w->LSweepR->text(), " 100 Gs");
    EXPECT_EQ(w->LModAmp->text(), "0.025 Gs");
    EXPECT_EQ(w->LAcc->text(), "4");
    EXPECT_EQ(w->LB0->text(), "3 288.0 Gs");
    EXPECT_EQ(w->LComment->toPlainText(), "Glycerol, 295 K");
    EXPECT_EQ(w->StatusPanel0->text(), "File: " + p);
    EXPECT_EQ(w->FileName(), p);
    EXPECT_EQ(w->Series1->Count(), 1001);
    EXPECT_EQ(w->SeriesLine0->Count(), 1001);
    EXPECT_TRUE(w->SourceMarker.Active);
    EXPECT_EQ(w->SourceMarker.PointIndex, 500);
    Redraw();
    EXPECT_TRUE(w->XYST->text().startsWith(" B: 0.00 Gs")) << w->XYST->text().toStdString();
    for (QToolButton* b : {w->ExportATB, w->FDerivativeTB, w->AbsorptionTB, w->Line0DnTB,
                           w->Line0RightTB})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_TRUE(w->MExportAscii->isEnabled());
    EXPECT_TRUE(w->MExportData->isEnabled());
    EXPECT_FALSE(w->MPrint->isEnabled());
    EXPECT_FALSE(w->Series2->Active());
    EXPECT_EQ(w->M2DerivativeTB->text(), "M2");
    EXPECT_EQ(w->DSrc->BottomAxis().Minimum(), -50);
    EXPECT_EQ(w->DSrc->BottomAxis().Increment(), 25);
}

TEST_F(DataProcTest, AnalysisOpensOnTheLoadedFile) {
    EXPECT_FALSE(w->AnalysisTB->isEnabled());
    EXPECT_FALSE(w->MAnalysis->isEnabled());
    const QString p = Spectrum("run8.dcw");
    Open(p);
    ASSERT_TRUE(w->MAnalysis->isEnabled());
    w->MAnalysis->trigger();
    ASSERT_NE(w->AnalysisWindow, nullptr);
    EXPECT_TRUE(w->AnalysisWindow->isVisible());
    EXPECT_EQ(w->AnalysisWindow->windowTitle(), "ANALYSIS");
    EXPECT_EQ(w->AnalysisWindow->FileName(), p);
}

TEST_F(DataProcTest, FrequencySweepShowsKilohertz) {
    DataFileSettings s = test::NmrSettings(12.6f);
    s.FieldSweep = 0;
    Open(Spectrum("f.dcw", 501, s));
    EXPECT_EQ(w->LSweepTp->text(), "Frequency");
    EXPECT_EQ(w->LSweepR->text(), "  13 kHz");
    EXPECT_EQ(w->DSrc->BottomAxis().ValueFormat(), "# ##0.### [kHz]");
    EXPECT_EQ(w->FileUnitText(), "kHz");
    EXPECT_EQ(w->FileAxisLetter(), 'F');
}

TEST_F(DataProcTest, AnotherFileClearsTheResultChartAndFlagsAClippedLine) {
    Open(Spectrum("wide.dcw"));
    w->FDerivativeTB->click();
    Redraw();
    ASSERT_FALSE(w->DstXYST->text().isEmpty());
    EXPECT_TRUE(w->ClippedLab->isHidden());

    const QString strong = Spectrum("strong.dcw", 501, test::NmrSettings(5.0f), {.Peak = 900});
    Open(strong);
    EXPECT_EQ(w->Series2->Count(), 0);
    EXPECT_TRUE(w->DstXYST->text().isEmpty());
    EXPECT_EQ(w->DDst->BottomAxis().Minimum(), -2.5);
    EXPECT_EQ(w->DDst->BottomAxis().Maximum(), 2.5);
    LoadedDataFile f;
    std::string error;
    ASSERT_TRUE(ReadDataFile(strong.toStdString(), f, &error)) << error;
    ASSERT_GT(f.Clipped, 0);
    EXPECT_EQ(w->Clipped, f.Clipped);
    EXPECT_FALSE(w->ClippedLab->isHidden());
    EXPECT_TRUE(w->ClippedLab->text().contains(QStringLiteral("clipped: %1 points").arg(f.Clipped)));
}

TEST_F(DataProcTest, ArrowKeysStepTheCursorOfTheChartWithTheFocus) {
    Open(Spectrum("a.dcw", 101));
    w->FDerivativeTB->click();
    for (const auto& [chart, marker] : {std::pair{w->DSrc, &w->SourceMarker},
                                        std::pair{w->DDst, &w->ResultMarker}}) {
        marker->MoveTo(95);
        for (int key : {Qt::Key_Right, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Left}) {
            QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
            QCoreApplication::sendEvent(chart, &e);
        }
        EXPECT_EQ(marker->PointIndex, 89); // 96, then held at the last point 100, 90, 89
    }
}

TEST_F(DataProcTest, CancelledOpenChangesNothing) {
    const QString p = Spectrum("a.dcw");
    Open(p);
    Open(QString());
    EXPECT_EQ(w->FileName(), p);
    EXPECT_EQ(w->Series1->Count(), 1001);
    EXPECT_TRUE(dialogs.fake.messages.empty());
}

struct BadFile {
    const char* name;
    QByteArray bytes;
    bool formatBox; // "file format error" box, otherwise the general error display
    const char* text;
};

class FailedLoad : public DataProcTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(FailedLoad, LeavesTheWindowAsItWas) {
    const QString good = Spectrum("good.dcw");
    Open(good);
    w->FDerivativeTB->click();
    const QString bad = Path(GetParam().name);
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(GetParam().bytes);
    f.close();
    Open(bad);
    if (GetParam().formatBox) {
        ASSERT_EQ(dialogs.fake.messages.size(), 1u);
        EXPECT_EQ(dialogs.fake.messages[0].text, GetParam().text);
        EXPECT_EQ(dialogs.fake.messages[0].icon, MsgIcon::Error);
    } else {
        ASSERT_EQ(dialogs.fake.errors.size(), 1u);
        EXPECT_TRUE(dialogs.fake.errors[0].startsWith(GetParam().text))
            << dialogs.fake.errors[0].toStdString();
    }
    EXPECT_EQ(w->LResonance->text(), "NMR 1H");
    EXPECT_EQ(w->Series1->Count(), 1001);
    EXPECT_EQ(w->StatusPanel0->text(), "File: " + good);
    EXPECT_TRUE(w->DerivativeOn());
    EXPECT_TRUE(w->Series2->Active());
    EXPECT_TRUE(w->SourceMarker.Active);
    // The name chosen last is the one outputs use, even for a failed load.
    EXPECT_EQ(w->FileName(), bad);
}

INSTANTIATE_TEST_SUITE_P(
    Files, FailedLoad,
    ::testing::Values(BadFile{"format.dcw", QByteArray(500, '\x07'), true, "file format error"},
                      BadFile{"short.dcw", QByteArray(100, '\x0B'), false, "Stream read error"},
                      BadFile{"empty.dcw", QByteArray(), false, "Stream read error"}),
    [](const auto& info) {
        std::string n = info.param.name;
        return n.substr(0, n.find('.'));
    });

TEST_F(DataProcTest, DroppedDataFileOpensAsThroughOpen) {
    const QString p = Spectrum("dropped.dcw");
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(p)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.get(), &drop);
    ASSERT_TRUE(test::PumpUntil([&] { return w->Series1->Count() == 1001; }));
    EXPECT_EQ(w->FileName(), p);
    EXPECT_EQ(w->StatusPanel0->text(), "File: " + p);

    QMimeData other;
    other.setUrls({QUrl::fromLocalFile(Path("notes.txt"))});
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &other, Qt::LeftButton,
                            Qt::NoModifier);
    refused.setAccepted(false);
    QCoreApplication::sendEvent(w.get(), &refused);
    EXPECT_FALSE(refused.isAccepted());
}

// ---------------------------------------------------------------- views

TEST_F(DataProcTest, DerivativeViewShowsItsToolbarsAndPanels) {
    Open(Spectrum("a.dcw", 1001, test::NmrSettings(), {.Drift = 30}));
    w->FDerivativeTB->click();
    EXPECT_TRUE(w->FDerivativeToolBar->isVisible());
    EXPECT_FALSE(w->AbsorptionToolBar->isVisible());
    EXPECT_TRUE(w->CursorsToolBar->isVisible());
    EXPECT_TRUE(w->M2Panel->isVisible());
    EXPECT_FALSE(w->GPanel->isVisible());
    EXPECT_TRUE(w->DBPanel->isVisible());
    EXPECT_FALSE(w->AbsorptionPanel->isVisible());
    EXPECT_TRUE(w->ZoomTB->isEnabled());
    EXPECT_TRUE(w->VerticalExpTB->isEnabled());
    EXPECT_TRUE(w->Series2->Active());
    EXPECT_TRUE(w->MPrint->isEnabled());
    EXPECT_TRUE(w->MPrintPdf->isEnabled());
    EXPECT_TRUE(w->DOSaveTB->isEnabled());
    EXPECT_EQ(w->DHLabel->text(), "SDB =");
    ASSERT_EQ(w->Series2->Count(), 1001);
    for (int i : {0, 250, 1000})
        EXPECT_DOUBLE_EQ(w->Series2->Y(i), w->Series1->Y(i) - w->SeriesLine0->Y(i));
    EXPECT_TRUE(w->ResultMarker.Active);
    EXPECT_EQ(w->ResultMarker.PointIndex, 500);
    Redraw();
    EXPECT_TRUE(w->DstXYST->text().startsWith(" B: 0.00 Gs"));
}

TEST_F(DataProcTest, SwitchingFromDerivativeToAbsorptionReleasesTheDerivativeButtons) {
    Open(Spectrum("a.dcw"));
    w->FDerivativeTB->click();
    w->SDBTB->click();
    ASSERT_TRUE(w->M2LCTB->isEnabled());
    w->AbsorptionTB->click();
    EXPECT_FALSE(w->FDerivativeTB->isChecked());
    EXPECT_FALSE(w->SDBTB->isChecked());
    EXPECT_FALSE(w->M2LCTB->isEnabled());
    EXPECT_EQ(w->ResultMarker.ReferenceCount, 0);
    EXPECT_FALSE(w->FDerivativeToolBar->isVisible());
    EXPECT_TRUE(w->AbsorptionToolBar->isVisible());
    EXPECT_TRUE(w->AbsorptionPanel->isVisible());
    EXPECT_EQ(w->DHLabel->text(), "HDB =");
    // A derivative line (maximum first) integrates to a positive absorption.
    EXPECT_EQ(w->Model().AbsorptionIntegrator().Factor, 1);
    EXPECT_GT(w->Series2->Y(500), 0);
    EXPECT_EQ(w->Model().AreaIntegrator().Factor, kAreaFactor);
}

TEST_F(DataProcTest, ClickingTheViewThatIsOnTurnsEveryViewOff) {
    Open(Spectrum("a.dcw"));
    w->AbsorptionTB->click();
    Redraw();
    const QString readout = w->DstXYST->text();
    ASSERT_FALSE(readout.isEmpty());
    w->AbsorptionTB->click();
    EXPECT_FALSE(w->Series2->Active());
    EXPECT_FALSE(w->MPrint->isEnabled());
    EXPECT_FALSE(w->MPrintPdf->isEnabled());
    EXPECT_FALSE(w->DOSaveTB->isEnabled());
    for (QToolButton* b : {w->ZoomTB, w->UnZoomTB, w->VerticalExpTB})
        EXPECT_FALSE(b->isEnabled());
    EXPECT_FALSE(w->AbsorptionPanel->isVisible());
    EXPECT_FALSE(w->CursorsToolBar->isVisible());
    EXPECT_FALSE(w->ResultMarker.Active);
    Redraw();
    EXPECT_EQ(w->DstXYST->text(), readout);
}

// A check button acts alike however it is worked: mouse click, the keyboard or
// an accessibility client's toggle.
enum class Activation { Click, SpaceKey, AccessibleToggle };

class ViewButtonActivation : public DataProcTest,
                             public ::testing::WithParamInterface<Activation> {
protected:
    void Activate(QToolButton* b) {
        switch (GetParam()) {
        case Activation::Click:
            b->click();
            break;
        case Activation::SpaceKey: {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier,
                              QStringLiteral(" "));
            QCoreApplication::sendEvent(b, &press);
            QCoreApplication::sendEvent(b, &release);
            break;
        }
        case Activation::AccessibleToggle: {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(b);
            ASSERT_NE(a, nullptr);
            ASSERT_NE(a->actionInterface(), nullptr);
            a->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
            break;
        }
        }
    }
};

TEST_P(ViewButtonActivation, TurnsTheViewOnAndOff) {
    Open(Spectrum("a.dcw"));
    Activate(w->FDerivativeTB);
    EXPECT_TRUE(w->FDerivativeTB->isChecked());
    EXPECT_TRUE(w->Series2->Active());
    EXPECT_TRUE(w->FDerivativeToolBar->isVisible());
    Activate(w->M2DerivativeTB);
    EXPECT_EQ(w->ResultMarker.ReferenceCount, 3);
    EXPECT_TRUE(w->M2MCTB->isEnabled());
    Activate(w->AbsorptionTB);
    EXPECT_FALSE(w->FDerivativeTB->isChecked());
    EXPECT_FALSE(w->M2DerivativeTB->isChecked());
    EXPECT_TRUE(w->AbsorptionToolBar->isVisible());
    Activate(w->AbsorptionTB);
    EXPECT_FALSE(w->Series2->Active());
}

INSTANTIATE_TEST_SUITE_P(Ways, ViewButtonActivation,
                         ::testing::Values(Activation::Click, Activation::SpaceKey,
                                           Activation::AccessibleToggle),
                         [](const auto& info) {
                             switch (info.param) {
                             case Activation::Click:
                                 return "Click";
                             case Activation::SpaceKey:
                                 return "SpaceKey";
                             default:
                                 return "AccessibleToggle";
                             }
                         });

TEST_F(DataProcTest, HidingAndShowingDisablesExportsAndViewsButKeepsTheCurve) {
    Open(Spectrum("a.dcw"));
    w->FDerivativeTB->click();
    w->hide();
    w->show();
    QCoreApplication::processEvents();
    EXPECT_FALSE(w->ExportATB->isEnabled());
    EXPECT_FALSE(w->MExportAscii->isEnabled());
    EXPECT_FALSE(w->MExportData->isEnabled());
    EXPECT_FALSE(w->FDerivativeTB->isEnabled());
    EXPECT_FALSE(w->AbsorptionTB->isEnabled());
    EXPECT_FALSE(w->Line0UpTB->isEnabled());
    EXPECT_FALSE(w->FDerivativeTB->isChecked());
    EXPECT_FALSE(w->Series2->Active());
    EXPECT_EQ(w->Series1->Count(), 1001);
    EXPECT_EQ(w->XYST->text(), "");
    EXPECT_EQ(w->LResonance->text(), "");
    EXPECT_EQ(w->StatusPanel0->text(), "File: ");
    EXPECT_FALSE(w->IntegralToolBar->isVisible());
}

TEST_F(DataProcTest, CloseDetachesBothMarkers) {
    Open(Spectrum("a.dcw"));
    w->FDerivativeTB->click();
    w->MExit->trigger();
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->SourceMarker.Active);
    EXPECT_FALSE(w->ResultMarker.Active);
}

// ---------------------------------------------------------------- measurements

TEST_F(DataProcTest, MomentsFollowTheCursorsAlsoInOverlayRepaints) {
    Open(Spectrum("a.dcw", 2001, test::NmrSettings(), {.HalfWidth = 3, .Noise = 2}));
    w->FDerivativeTB->click();
    w->M2DerivativeTB->click();
    const int centre = FindCentreIndex(w->Series1->Ys(), w->SeriesLine0->Ys());
    const MomentPlacement p = PlaceMomentCursors(Y2(), 0, 2000, centre);
    EXPECT_EQ(Refs()[1], p.Slots.LC);
    EXPECT_EQ(Refs()[2], p.Slots.RC);
    EXPECT_EQ(Refs()[3], p.Slots.MC);
    EXPECT_EQ(w->ResultMarker.PointIndex, p.Index);
    EXPECT_EQ(w->CursorSlotCount, 3);
    Redraw();
    Moments m = ComputeMoments(MomentKind::Derivative, X2(), Y2(), p.Slots.LC, p.Slots.RC,
                               p.Slots.MC, 0.025);
    EXPECT_EQ(w->M2Val->text().toStdString(), MomentText(m.M2));
    EXPECT_EQ(w->M2LVal->text().toStdString(), MomentText(m.M2L));
    EXPECT_EQ(w->M4Val->text().toStdString(), FourthMomentText(m.M4));
    EXPECT_FALSE(w->M4Val4->isHidden());

    // "LC" down: the cursor carries LC; a drag step repaints only the overlay.
    w->M2LCTB->click();
    EXPECT_EQ(w->ResultMarker.SelectedReference, 1);
    EXPECT_EQ(w->ResultMarker.PointIndex, p.Slots.LC);
    const int curves = w->DDst->CurveDrawings();
    w->ResultMarker.PointIndex = p.Slots.LC + 40;
    w->DDst->RepaintOverlay();
    EXPECT_EQ(w->DDst->CurveDrawings(), curves);
    m = ComputeMoments(MomentKind::Derivative, X2(), Y2(), p.Slots.LC + 40, p.Slots.RC,
                       p.Slots.MC, 0.025);
    EXPECT_EQ(w->M2LVal->text().toStdString(), MomentText(m.M2L));
    EXPECT_EQ(w->M2Val->text().toStdString(), MomentText(m.M2));

    // "MC" next: LC keeps the dragged index.
    w->M2MCTB->click();
    EXPECT_FALSE(w->M2LCTB->isChecked());
    EXPECT_EQ(Refs()[1], p.Slots.LC + 40);
    EXPECT_EQ(w->ResultMarker.PointIndex, p.Slots.MC);

    // Releasing the measurement raises and disables the cursor buttons.
    w->M2DerivativeTB->click();
    EXPECT_FALSE(w->M2MCTB->isChecked());
    EXPECT_FALSE(w->M2MCTB->isEnabled());
    EXPECT_FALSE(w->M2LCTB->isEnabled());
    EXPECT_EQ(w->ResultMarker.ReferenceCount, 0);
}

TEST_F(DataProcTest, LineWidthPressReleasesTheMomentButton) {
    Open(Spectrum("a.dcw", 1001, test::NmrSettings(), {.Centre = 5, .HalfWidth = 4}));
    w->FDerivativeTB->click();
    w->M2DerivativeTB->click();
    w->SDBTB->click();
    EXPECT_FALSE(w->M2DerivativeTB->isChecked());
    EXPECT_FALSE(w->M2MCTB->isEnabled());
    EXPECT_TRUE(w->M2LCTB->isEnabled());
    EXPECT_TRUE(w->M2RCTB->isEnabled());
    const Cursors c = LineWidthCursors(w->Series1->Ys());
    EXPECT_EQ(Refs()[1], c.LC);
    EXPECT_EQ(Refs()[2], c.RC);
    EXPECT_LE(Refs()[1], Refs()[2]);
    EXPECT_EQ(w->ResultMarker.ReferenceCount, 2);
    Redraw();
    EXPECT_EQ(w->DBVal->text().toStdString(), WidthText(LineWidth(X2(), c.LC, c.RC), "Gs"));
    // Peak to peak of a Lorentzian derivative: 2 / sqrt(3) half widths.
    EXPECT_NEAR(LineWidth(X2(), c.LC, c.RC), 2 * 4 / std::sqrt(3.0), 0.2);
}

TEST_F(DataProcTest, HalfHeightPlacesTheCursorsAtTheCrossings) {
    Open(Spectrum("a.dcw", 1001, test::NmrSettings(), {.HalfWidth = 4}));
    w->AbsorptionTB->click();
    w->HDBTB->click();
    // The cursor goes to the top; the search runs at the drawing that follows.
    EXPECT_EQ(w->ResultMarker.PointIndex, IndexOfMaximum(Y2()));
    Redraw();
    const HalfHeightResult r = FindHalfHeight(Y2(), 0, 1000);
    ASSERT_TRUE(r.Found);
    EXPECT_EQ(Refs()[1], r.LC);
    EXPECT_EQ(Refs()[2], r.RC);
    EXPECT_EQ(w->DBVal->text().toStdString(), WidthText(LineWidth(X2(), r.LC, r.RC), "Gs"));
    EXPECT_TRUE(dialogs.fake.messages.empty());
}

TEST_F(DataProcTest, HalfHeightFailureIsReportedOnceNotAtEveryDrawing) {
    Open(RisingAbsorption());
    w->AbsorptionTB->click();
    w->HDBTB->click();
    const int lc = Refs()[1];
    for (int k = 0; k < 5; ++k) {
        Redraw();
        w->DDst->RepaintOverlay();
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(dialogs.fake.messages.size(), 1u);
    EXPECT_EQ(dialogs.fake.messages[0].text, "Lack of ending value");
    EXPECT_EQ(Refs()[1], lc);
    // The box does not start a drawing of its own that would raise it again.
    const int drawings = w->DDst->CurveDrawings();
    for (int k = 0; k < 5; ++k)
        QCoreApplication::processEvents();
    EXPECT_EQ(w->DDst->CurveDrawings(), drawings);
    // Another range is another search.
    w->ZoomTB->click();
    const QRect plot = w->DDst->PlotRect();
    w->Zoom.MouseDown(Qt::LeftButton, plot.left() + 50, plot.center().y());
    w->Zoom.MouseMove(plot.left() + 300, plot.center().y());
    w->Zoom.MouseDown(Qt::LeftButton, plot.left() + 300, plot.center().y());
    QCoreApplication::processEvents();
    EXPECT_EQ(dialogs.fake.messages.size(), 2u);
}

// The release of the other buttons draws too: still one box per press.
TEST_F(DataProcTest, OnePressOfHDBOnACurveWithoutCrossingReportsOnce) {
    Open(RisingAbsorption());
    w->AbsorptionTB->click();
    w->IntegralTB->click();
    w->HDBTB->click();
    for (int k = 0; k < 5; ++k)
        QCoreApplication::processEvents();
    EXPECT_EQ(dialogs.fake.messages.size(), 1u);
}

TEST_F(DataProcTest, IntegralDrawsTheRunningIntegralAndShowsTheArea) {
    Open(Spectrum("a.dcw", 1000));
    w->AbsorptionTB->click();
    w->IntegralTB->click();
    EXPECT_EQ(Refs()[1], 100);
    EXPECT_EQ(Refs()[2], 900);
    EXPECT_TRUE(w->M2LCTB->isEnabled());
    Redraw();
    Integrator ref;
    ref.Init(true);
    ref.Factor = kAreaFactor;
    std::vector<double> ox, oy;
    ref.Integrate({X2(), Y2(), {}, 0, 999}, 100, 900, -500, 500, ox, oy);
    EXPECT_EQ(w->AIVal->text().toStdString(), AreaText(ref.Sum));
    EXPECT_EQ(w->ILBVal->text().toStdString(), CursorXText(w->Series2->X(100), "Gs", true));
    EXPECT_EQ(w->ILEVal->text().toStdString(), CursorXText(w->Series2->X(900), "Gs", false));
    ASSERT_EQ(w->SeriesI->Count(), 801);
    EXPECT_EQ(w->SeriesI->Colour(400), kProcIntegralColour);
    // Stable: a second drawing computes the same curve and starts no other.
    const int drawings = w->DDst->CurveDrawings();
    w->DDst->RepaintOverlay();
    QCoreApplication::processEvents();
    EXPECT_EQ(w->DDst->CurveDrawings(), drawings);
    // Pressing "Moment" releases "Integral", which empties the running integral.
    w->M2AbsorptionTB->click();
    EXPECT_FALSE(w->IntegralTB->isChecked());
    EXPECT_EQ(w->SeriesI->Count(), 0);
    EXPECT_EQ(w->ResultMarker.ReferenceCount, 3);
}

TEST_F(DataProcTest, EsrFileRunsTheGFactorButtons) {
    DataFileSettings s = test::EsrSettings();
    s.FrequencyText = "14 000 kHz";
    s.FieldB0Text = "5 Gs";
    Open(Spectrum("esr.dcw", 1001, s));
    EXPECT_EQ(w->M2DerivativeTB->text(), "G");
    EXPECT_EQ(w->M2AbsorptionTB->text(), "G");
    for (QToolButton* view : {w->FDerivativeTB, w->AbsorptionTB}) {
        view->click();
        EXPECT_TRUE(w->GPanel->isVisible());
        EXPECT_FALSE(w->M2Panel->isVisible());
        QToolButton* g = view == w->FDerivativeTB ? w->M2DerivativeTB : w->M2AbsorptionTB;
        g->click();
        EXPECT_EQ(w->ResultMarker.PointIndex, 500);
        EXPECT_EQ(w->ResultMarker.ReferenceCount, 0);
        Redraw();
        EXPECT_EQ(w->GVal->text().toStdString(), GFactorText(2.0005));
        EXPECT_EQ(w->GVal->text().toStdString(), "  2.0005");
    }
    // An NMR file brings the moment buttons back.
    Open(Spectrum("nmr.dcw"));
    EXPECT_EQ(w->M2DerivativeTB->text(), "M2");
    w->FDerivativeTB->click();
    EXPECT_TRUE(w->M2Panel->isVisible());
    EXPECT_FALSE(w->GPanel->isVisible());
}

TEST_F(DataProcTest, BaseLineButtonsMoveTheLineAndTheDerivativeFollows) {
    Open(Spectrum("a.dcw", 1001));
    w->FDerivativeTB->click();
    const double before = w->SeriesLine0->Y(1000);
    const double slope = w->Model().Line().Slope;
    for (int k = 0; k < 5; ++k)
        w->Line0LeftTB->click();
    w->Line0UpTB->click();
    EXPECT_NEAR(w->Model().Line().Slope, slope - 0.01, 1e-12);
    EXPECT_NEAR(w->SeriesLine0->Y(1000), before - 10 + 1, 1e-9);
    Redraw();
    for (int i : {0, 500, 1000})
        EXPECT_DOUBLE_EQ(w->Series2->Y(i), w->Series1->Y(i) - w->SeriesLine0->Y(i));
}

// ---------------------------------------------------------------- zoom

class ZoomTest : public DataProcTest {
protected:
    void Click(int x) {
        QWidget* plot = w->DDst->Plot();
        const QPointF at(x, w->DDst->PlotRect().center().y());
        QMouseEvent move(QEvent::MouseMove, at, plot->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(plot, &move);
        QMouseEvent press(QEvent::MouseButtonPress, at, plot->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(plot, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, plot->mapToGlobal(at),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(plot, &release);
    }
};

TEST_F(ZoomTest, RightToLeftBandDoesNotZoomLeftToRightZoomsOnce) {
    Open(Spectrum("a.dcw"));
    w->FDerivativeTB->click();
    Redraw();
    const QRect plot = w->DDst->PlotRect();
    w->ZoomTB->click();
    EXPECT_FALSE(w->ResultMarker.Active);
    Click(plot.left() + 300);
    Click(plot.left() + 100);
    EXPECT_FALSE(w->DDst->Zoomed());
    EXPECT_TRUE(w->ZoomTB->isChecked());
    Click(plot.left() + 100);
    Click(plot.left() + 300);
    ASSERT_TRUE(w->DDst->Zoomed());
    EXPECT_FALSE(w->ZoomTB->isChecked());
    EXPECT_TRUE(w->ResultMarker.Active);
    const TChartAxis& bottom = w->DDst->BottomAxis();
    EXPECT_LT(bottom.Maximum() - bottom.Minimum(), 100);
    EXPECT_DOUBLE_EQ(bottom.Increment(), NiceStep((bottom.Maximum() - bottom.Minimum()) / 4));
    // A click now moves the cursor instead of starting a band.
    const int before = w->ResultMarker.PointIndex;
    Redraw();
    Click(plot.right() - 2);
    EXPECT_EQ(w->ResultMarker.PointIndex, w->ResultMarker.CurrentIndex());
    EXPECT_NE(w->ResultMarker.PointIndex, before - 1);

    w->VerticalExpTB->click();
    w->UnZoomTB->click();
    EXPECT_FALSE(w->DDst->Zoomed());
    EXPECT_EQ(bottom.Minimum(), -50);
    EXPECT_EQ(bottom.Maximum(), 50);
    EXPECT_EQ(bottom.Increment(), 25);
    EXPECT_EQ(w->DDst->RightAxis().Minimum(), -500);
    EXPECT_EQ(w->DDst->RightAxis().Maximum(), 500);
    EXPECT_EQ(w->DDst->RightAxis().Increment(), 250);
}

TEST_F(ZoomTest, OnePixelBandGivesAnAxisWithSpanAndStep) {
    Open(Spectrum("a.dcw"));
    w->AbsorptionTB->click();
    w->IntegralTB->click();
    Redraw();
    const QRect plot = w->DDst->PlotRect();
    w->ZoomTB->click();
    Click(plot.left() + 200);
    Click(plot.left() + 201);
    ASSERT_TRUE(w->DDst->Zoomed());
    const TChartAxis& bottom = w->DDst->BottomAxis();
    EXPECT_GT(bottom.Maximum(), bottom.Minimum());
    EXPECT_GT(bottom.Increment(), 0);
    w->VerticalExpTB->click();
    EXPECT_GT(w->DDst->RightAxis().Maximum(), w->DDst->RightAxis().Minimum());
    EXPECT_GT(w->DDst->RightAxis().Increment(), 0);
    Redraw();
    EXPECT_FALSE(w->AIVal->text().isEmpty());
}

TEST_F(ZoomTest, AnotherViewStartsUnzoomed) {
    Open(Spectrum("a.dcw"));
    w->FDerivativeTB->click();
    Redraw();
    const QRect plot = w->DDst->PlotRect();
    w->ZoomTB->click();
    Click(plot.left() + 100);
    Click(plot.left() + 200);
    ASSERT_TRUE(w->DDst->Zoomed());
    Open(Spectrum("wide.dcw", 1001, test::NmrSettings(1000.0f)));
    w->AbsorptionTB->click();
    EXPECT_FALSE(w->DDst->Zoomed());
    EXPECT_EQ(w->DDst->BottomAxis().Minimum(), -500);
    w->UnZoomTB->click();
    EXPECT_EQ(w->DDst->BottomAxis().Minimum(), -500);
    EXPECT_EQ(w->DDst->BottomAxis().Maximum(), 500);
}

TEST_F(DataProcTest, ViewOffEndsTheZoomMode) {
    Open(Spectrum("a.dcw"));
    w->FDerivativeTB->click();
    w->ZoomTB->click();
    ASSERT_TRUE(w->Zoom.On());
    w->FDerivativeTB->click();
    EXPECT_FALSE(w->ZoomTB->isChecked());
    EXPECT_FALSE(w->Zoom.On());
}

struct Expansion {
    double lo, hi;
    double min, max, increment;
};

class VerticalExpansionRule : public ::testing::TestWithParam<Expansion> {};

TEST_P(VerticalExpansionRule, NeverGivesAZeroSpanOrStep) {
    const auto e = GetParam();
    const auto r = TFDataProc::VerticalExpansion(e.lo, e.hi);
    EXPECT_DOUBLE_EQ(r.Minimum, e.min);
    EXPECT_DOUBLE_EQ(r.Maximum, e.max);
    EXPECT_DOUBLE_EQ(r.Increment, e.increment);
    EXPECT_GT(r.Maximum, r.Minimum);
    EXPECT_GT(r.Increment, 0);
}

INSTANTIATE_TEST_SUITE_P(Ranges, VerticalExpansionRule,
                         ::testing::Values(Expansion{-120, 80, -120, 80, 50},
                                           Expansion{0, 10, 0, 10, 2},  // 2.5 -> 2
                                           Expansion{0, 14, 0, 14, 4},  // 3.5 -> 4
                                           Expansion{7, 7, 6, 8, 0.5},  // flat
                                           Expansion{0, 2, 0, 2, 0.5},  // 0.5 -> 0: kept
                                           Expansion{-0.3, 0.1, -0.3, 0.1, 0.1}));

TEST_F(DataProcTest, VerticalExpansionOnTheResultCurve) {
    Open(Spectrum("a.dcw"));
    w->FDerivativeTB->click();
    for (int i = 0; i < w->Series2->Count(); ++i)
        w->Series2->SetY(i, i % 2 ? -120 : 80);
    w->VerticalExpTB->click();
    EXPECT_EQ(w->DDst->RightAxis().Minimum(), -120);
    EXPECT_EQ(w->DDst->RightAxis().Maximum(), 80);
    EXPECT_EQ(w->DDst->RightAxis().Increment(), 50);
    EXPECT_EQ(w->DDst->BottomAxis().Minimum(), -50);
    for (int i = 0; i < w->Series2->Count(); ++i)
        w->Series2->SetY(i, 3);
    w->VerticalExpTB->click();
    EXPECT_EQ(w->DDst->RightAxis().Minimum(), 2);
    EXPECT_EQ(w->DDst->RightAxis().Maximum(), 4);
    Redraw(); // ticks of a sound step: the drawing ends
}

// ---------------------------------------------------------------- small files and scaling

TEST_F(DataProcTest, TwoPointFileWorksInEveryViewAndButton) {
    ASSERT_TRUE(test::WriteValues(Path("two.dcw").toStdString(), {120, -80}));
    Open(Path("two.dcw"));
    ASSERT_EQ(w->Series1->Count(), 2);
    EXPECT_EQ(w->Model().Line().Slope, 0);
    EXPECT_EQ(w->Model().Line().Offset, 0);
    for (QToolButton* view : {w->FDerivativeTB, w->AbsorptionTB}) {
        view->click();
        Redraw();
        const bool derivative = view == w->FDerivativeTB;
        const auto buttons = derivative
                                 ? std::vector<QToolButton*>{w->M2DerivativeTB, w->SDBTB}
                                 : std::vector<QToolButton*>{w->M2AbsorptionTB, w->HDBTB,
                                                             w->IntegralTB};
        for (QToolButton* b : buttons) {
            b->click();
            Redraw();
            for (QToolButton* c : {w->M2LCTB, w->M2MCTB, w->M2RCTB})
                if (c->isEnabled()) {
                    c->click();
                    Redraw();
                    c->click();
                }
            b->click();
        }
        w->Line0UpTB->click();
        w->VerticalExpTB->click();
        w->UnZoomTB->click();
        Redraw();
        QCoreApplication::processEvents();
    }
    EXPECT_GT(w->DDst->RightAxis().Maximum(), w->DDst->RightAxis().Minimum());
}

TEST_F(DataProcTest, DegenerateLinesShowValuesWithoutErrors) {
    // A flat line (zero moment denominators, no half-height crossing is
    // reported at most once) and an ESR field of 0 Gs at the line centre.
    DataFileSettings s = test::EsrSettings();
    s.FieldB0Text = "0 Gs";
    ASSERT_TRUE(test::WriteValues(Path("flat.dcw").toStdString(), std::vector<int>(101, 0), s));
    Open(Path("flat.dcw"));
    w->FDerivativeTB->click();
    w->M2DerivativeTB->click();
    w->SDBTB->click();
    Redraw();
    ASSERT_TRUE(test::WriteValues(Path("nmr.dcw").toStdString(), std::vector<int>(101, 0)));
    Open(Path("nmr.dcw"));
    w->AbsorptionTB->click();
    w->M2AbsorptionTB->click();
    Redraw();
    EXPECT_EQ(w->M2Val->text().toStdString(), MomentText(0));
    w->IntegralTB->click();
    Redraw();
    w->HDBTB->click();
    for (int k = 0; k < 3; ++k) {
        Redraw();
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(dialogs.fake.errors.empty());
    EXPECT_LE(dialogs.fake.messages.size(), 1u);
}

TEST(DataProcScaling, A1024PixelScreenScalesBy128BeforeTheCharts) {
    test::ScopedFakeDialogs dialogs;
    TFDataProc w(nullptr, 1024, 768);
    EXPECT_DOUBLE_EQ(w.LayoutScale(), 1.28);
    EXPECT_NEAR(w.DisplayScale(), 1.28 * 1.09, 1e-9);
    EXPECT_NEAR(w.font().pointSizeF(), 8 * 1.28, 0.01);
    const QRect src = w.DSrc->geometry();
    const QRect dst = w.DDst->geometry();
    const QRect g1 = w.GroupBox1->geometry();
    const QRect g2 = w.GroupBox2->geometry();
    EXPECT_EQ(g1, QRect(815, 40, 195, 339));
    EXPECT_EQ(src.size(), dst.size());
    EXPECT_EQ(src.width(), g1.x() - 2 * src.x());
    // The lower chart ends at the lower group plus the space between the groups.
    const int gap = src.y() - w.DIFileToolBar->geometry().bottom() - 1;
    const int bottom = g2.bottom() + 1 + (g2.y() - g1.bottom() - 1);
    EXPECT_NEAR(dst.bottom() + 1 + gap, bottom, 1);
    EXPECT_EQ(w.DOFileToolBar->y(), src.bottom() + 1 + gap);
    EXPECT_EQ(dst.y(), w.DOFileToolBar->geometry().bottom() + 1 + gap);
    // The top row: "Setup & Acq" at its right end, the base-line buttons over S13TB.
    EXPECT_EQ(w.SetupTB->geometry().right(), w.DIFileToolBar->width() - 1);
    EXPECT_EQ(w.L0ToolBar->x(), w.S13TB->x());
    EXPECT_GT(w.FOpenTB->width(), 20);
    EXPECT_GT(w.DOSaveTB->width(), 20);
}

TEST(DataProcScaling, An800PixelScreenKeepsTheDesign) {
    test::ScopedFakeDialogs dialogs;
    TFDataProc w(nullptr, 800, 600);
    EXPECT_EQ(w.LayoutScale(), 1.0);
    EXPECT_EQ(w.DisplayScale(), 1.0);
    EXPECT_EQ(w.GroupBox2->geometry(), QRect(637, 304, 153, 201));
    EXPECT_EQ(w.DSrc->geometry(), QRect(8, 32, 621, 218));
    EXPECT_EQ(w.DDst->geometry(), QRect(8, 288, 621, 218));
    EXPECT_EQ(w.windowTitle(), "CW NMR/ESR Spectrometer - PROCESSING");
    EXPECT_FALSE(w.SaveSetupAs1->isEnabled());
    EXPECT_EQ(w.SetupTB->text(), "Setup && Acq");
}

TEST(DataProcScaling, AnEnlargedWindowGivesTheRoomToTheChartsAndShrinksBack) {
    test::ScopedFakeDialogs dialogs;
    TFDataProc w(nullptr, 800, 600);
    const QRect src = w.DSrc->geometry(), dst = w.DDst->geometry(), g1 = w.GroupBox1->geometry();
    w.show();
    w.resize(w.size() + QSize(300, 200));
    QCoreApplication::processEvents();
    EXPECT_EQ(w.DSrc->geometry(), QRect(src.topLeft(), src.size() + QSize(300, 100)));
    EXPECT_EQ(w.DDst->geometry(), QRect(dst.topLeft() + QPoint(0, 100), dst.size() + QSize(300, 100)));
    EXPECT_EQ(w.GroupBox1->geometry(), g1.translated(300, 0));
    w.resize(w.size() - QSize(300, 200));
    QCoreApplication::processEvents();
    EXPECT_EQ(w.DDst->geometry(), dst);
}

// ---------------------------------------------------------------- pictures

// Pictures of the window for the documentation. Disabled by default; run with
// --gtest_also_run_disabled_tests --gtest_filter='*Screenshot*'
// (TAVI_SCREENSHOT_DIR chooses the folder, doc/screenshots by default).
TEST(DISABLED_Screenshot, ProcessingWindow) {
    test::ScopedFakeDialogs dialogs;
    SetNumberSeparators({'.', ' '});
    QTemporaryDir dir;
    const char* env = std::getenv("TAVI_SCREENSHOT_DIR");
    const QString out = env ? QString::fromLocal8Bit(env) : QStringLiteral("doc/screenshots");
    QDir().mkpath(out);
    const QString nmr = dir.filePath("glycerol.dcw");
    const QString esr = dir.filePath("dpph.dcw");
    ASSERT_TRUE(test::WriteSpectrum(nmr.toStdString(), 4000, test::NmrSettings(),
                                    {.Centre = 3, .HalfWidth = 5, .Peak = 320, .Drift = 25,
                                     .Offset = -10, .Noise = 5, .Seed = 7}));
    DataFileSettings es = test::EsrSettings();
    es.FieldB0Text = "3 352.0 Gs";
    es.ModAmpText = "0.5 Gs";
    ASSERT_TRUE(test::WriteSpectrum(esr.toStdString(), 4000, es,
                                    {.Centre = -2, .HalfWidth = 2.5, .Peak = 380, .Drift = -15,
                                     .Offset = 8, .Noise = 4, .Seed = 11}));
    TFDataProc w;
    w.show();
    auto shot = [&](const char* name) {
        w.DSrc->RepaintNow();
        w.DDst->RepaintNow();
        QCoreApplication::processEvents();
        w.DSrc->RepaintNow();
        w.DDst->RepaintNow();
        const QString path = out + "/" + name + ".png";
        EXPECT_TRUE(w.grab().save(path)) << path.toStdString();
    };
    dialogs.fake.fileAnswers = {nmr};
    w.FOpenTB->click();
    w.FDerivativeTB->click();
    w.M2DerivativeTB->click();
    shot("proc-derivative-moments");
    w.SDBTB->click();
    shot("proc-derivative-sdb");
    w.AbsorptionTB->click();
    w.VerticalExpTB->click();
    w.HDBTB->click();
    shot("proc-absorption-hdb");
    w.IntegralTB->click();
    shot("proc-absorption-integral");
    dialogs.fake.fileAnswers = {esr};
    w.FOpenTB->click();
    w.FDerivativeTB->click();
    w.M2DerivativeTB->click();
    shot("proc-esr-g");

}

} // namespace
} // namespace tavi
