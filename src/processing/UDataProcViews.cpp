// SPDX-License-Identifier: GPL-3.0-or-later
// The processing window: the derivative and absorption views, the base line and zoom.
#include "processing/UDataProc.h"

#include "common/Usr.h"
#include "params/Freq.h"
#include "params/NumFormat.h"
#include "platform/Chart.h"
#include "platform/Controls.h"
#include "platform/Seams.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <qcustomplot.h>

namespace tavi {

// ---------------------------------------------------------------- views

bool TFDataProc::DerivativeOn() const {
    return FDerivativeTB->isChecked();
}

bool TFDataProc::AbsorptionOn() const {
    return AbsorptionTB->isChecked();
}

void TFDataProc::CopySourceAxes() {
    // A zoom of an earlier view (or file) must not come back with "UZ".
    if (DDst->Zoomed())
        DDst->UndoZoom();
    TChartAxis& from = DSrc->BottomAxis();
    TChartAxis& to = DDst->BottomAxis();
    to.SetMinMax(from.Minimum(), from.Maximum());
    to.SetValueFormat(from.ValueFormat());
    // The label step goes along: the design's 25 would crowd a wide sweep.
    to.SetIncrement(from.Increment());
    DDst->RightAxis().SetMinMax(DSrc->RightAxis().Minimum(), DSrc->RightAxis().Maximum());
    DDst->RightAxis().SetIncrement(DSrc->RightAxis().Increment());
}

void TFDataProc::ShowView(ResultView view) {
    Series2->Clear();
    CopySourceAxes();
    model_.SetView(view, Series1->FirstVisibleIndex(), Series1->LastVisibleIndex());
    model_.Recalculate();
    ShowResultCurve();
}

void TFDataProc::ShowDerivative() {
    ShowView(ResultView::Derivative);
}

void TFDataProc::ShowAbsorption() {
    ShowView(ResultView::Absorption);
}

void TFDataProc::ShowResultCurve() {
    if (model_.View() == ResultView::None || shownCurve_ == model_.CurveVersion())
        return;
    shownCurve_ = model_.CurveVersion();
    const std::span<const double> x = model_.CurveX();
    const std::span<const double> y = model_.CurveY();
    if (Series2->Count() == static_cast<int>(y.size())) {
        // A new base line under the same view: the X values stay.
        for (int i = 0; i < Series2->Count(); ++i)
            Series2->SetY(i, y[static_cast<std::size_t>(i)]);
        return;
    }
    Series2->Clear();
    Series2->Reserve(static_cast<int>(y.size()));
    for (std::size_t k = 0; k < y.size(); ++k)
        Series2->AddXY(x[k], y[k], kProcPointColour);
}

void TFDataProc::AttachResultMarker() {
    ResultMarker.Attach(*DDst, Series2->Count(), mkVertical, FileAxisLetter(),
                        FileUnitText().toStdString(), 1, DstXYST,
                        static_cast<int>(std::trunc(displayScale_ * 82)), 1, 1);
    ResultMarker.Centre();
}

void TFDataProc::ViewOff(bool derivative) {
    // Zoom mode ends with its view: its button is about to be disabled.
    if (ZoomTB->isChecked()) {
        SetDown(ZoomTB, false);
        ZoomTBClick();
    }
    // The release actions below move the cursor; the readout keeps the last
    // position the operator saw.
    ResultMarker.Active = false;
    if (derivative) {
        SetDown(M2DerivativeTB, false);
        RunMomentHandler(M2DerivativeTB);
        SetDown(SDBTB, false);
        SDBTBClick();
    } else {
        SetDown(M2AbsorptionTB, false);
        RunMomentHandler(M2AbsorptionTB);
        SetDown(HDBTB, false);
        HDBTBClick();
        SetDown(IntegralTB, false);
        IntegralTBClick();
    }
    ResultMarker.Detach();
    model_.SetView(ResultView::None, 0, -1);
}

void TFDataProc::ViewVisibility(bool derivative, bool on) {
    (derivative ? FDerivativeToolBar : AbsorptionToolBar)->setVisible(on);
    if (!derivative)
        AbsorptionPanel->setVisible(on);
    if (momentIsG_)
        GPanel->setVisible(on);
    else
        M2Panel->setVisible(on);
    DBPanel->setVisible(on);
    CursorsToolBar->setVisible(on);
    EnableChildren(ZoomToolBar, on);
    Series2->SetActive(on);
    MPrint->setEnabled(on);
    MPrintPdf->setEnabled(on);
    DOSaveTB->setEnabled(on);
}

void TFDataProc::FDerivativeTBClick() {
    const bool on = FDerivativeTB->isChecked();
    if (on) {
        SetDown(AbsorptionTB, false);
        AbsorptionTBClick();
        ShowDerivative();
        AttachResultMarker();
        for (QLabel* l : {M2Val, M2LVal, M2RVal, M4Val, DBVal, GVal})
            l->clear();
        M4Val4->hide();
        DHLabel->setText(SDBTB->text() + QStringLiteral(" ="));
    } else {
        ViewOff(true);
    }
    ViewVisibility(true, on);
}

void TFDataProc::AbsorptionTBClick() {
    const bool on = AbsorptionTB->isChecked();
    if (on) {
        SetDown(FDerivativeTB, false);
        FDerivativeTBClick();
        ShowAbsorption();
        AttachResultMarker();
        for (QLabel* l : {M2Val, M2LVal, M2RVal, M4Val, DBVal, AIVal, ILBVal, ILEVal, GVal})
            l->clear();
        M4Val4->hide();
        DHLabel->setText(HDBTB->text() + QStringLiteral(" ="));
    } else {
        ViewOff(false);
    }
    ViewVisibility(false, on);
}

// ---------------------------------------------------------------- base line

void TFDataProc::RedrawBaseLine() {
    const std::span<const double> line = model_.BaseLineY();
    for (int i = 0; i < SeriesLine0->Count() && i < static_cast<int>(line.size()); ++i)
        SeriesLine0->SetY(i, line[static_cast<std::size_t>(i)]);
}

void TFDataProc::ChangeBaseLine(double slopeStep, double offsetStep) {
    BaseLine line = model_.Line();
    line.Slope += slopeStep;
    line.Offset += offsetStep;
    model_.SetBaseLine(line);
    RedrawBaseLine();
    // The result curve follows the base line at once.
    UpdateResults();
}

void TFDataProc::Line0DnTBClick() {
    ChangeBaseLine(0, -kBaseLineOffsetStep);
}

void TFDataProc::Line0UpTBClick() {
    ChangeBaseLine(0, kBaseLineOffsetStep);
}

void TFDataProc::Line0LeftTBClick() {
    ChangeBaseLine(-kBaseLineSlopeStep, 0);
}

void TFDataProc::Line0RightTBClick() {
    ChangeBaseLine(kBaseLineSlopeStep, 0);
}

// ---------------------------------------------------------------- zoom

void TFDataProc::ZoomTBClick() {
    const bool down = ZoomTB->isChecked();
    ResultMarker.Active = !down;
    ResultMarker.PixelsPerPoint = 0;
    if (down)
        Zoom.ZoomOn(*DDst);
    else
        Zoom.ZoomOff();
    DDst->RepaintOverlay();
}

void TFDataProc::DDstZoom() {
    TChartAxis& bottom = DDst->BottomAxis();
    bottom.SetIncrement(NiceStep((bottom.Maximum() - bottom.Minimum()) * 0.25));
    ResultMarker.PixelsPerPoint = 0;
    SetDown(ZoomTB, false);
    ZoomTBClick();
    UpdateResults();
}

void TFDataProc::UnZoomTBClick() {
    DDst->UndoZoom();
}

void TFDataProc::DDstUndoZoom() {
    TChartAxis& bottom = DDst->BottomAxis();
    bottom.SetIncrement((bottom.Maximum() - bottom.Minimum()) * 0.25);
    DDst->RightAxis().SetMinMax(-500, 500);
    DDst->RightAxis().SetIncrement(250);
    ResultMarker.PixelsPerPoint = 0;
    UpdateResults();
}

TFDataProc::AxisRange TFDataProc::VerticalExpansion(double lo, double hi) {
    // A flat curve would give an axis of no height and a label step of 0,
    // which never ends a tick loop: show one unit either side of it.
    if (!(hi > lo) || !std::isfinite(hi - lo))
        return {lo - 1, lo + 1, 0.5};
    const double quarter = (hi - lo) * 0.25;
    const auto rounded = static_cast<double>(RoundHalfEven(quarter));
    return {lo, hi, rounded >= 1 ? rounded : quarter};
}

void TFDataProc::VerticalExpTBClick() {
    if (Series2->Count() == 0)
        return;
    const auto [lo, hi] = std::minmax_element(Series2->Ys().begin(), Series2->Ys().end());
    const AxisRange r = VerticalExpansion(*lo, *hi);
    DDst->RightAxis().SetMinMax(r.Minimum, r.Maximum);
    DDst->RightAxis().SetIncrement(r.Increment);
    ResultMarker.PixelsPerPoint = 0;
    UpdateResults();
    DDst->RepaintNow();
}

} // namespace tavi
