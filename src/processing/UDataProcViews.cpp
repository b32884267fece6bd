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

void TFDataProc::ShowDerivative() {
    Series2->Clear();
    CopySourceAxes();
    std::vector<double> values;
    const int first = Series1->FirstVisibleIndex();
    const int last = Series1->LastVisibleIndex();
    DerivativeValues(Series1->Ys(), SeriesLine0->Ys(), first, last, values);
    Series2->Reserve(static_cast<int>(values.size()));
    for (std::size_t k = 0; k < values.size(); ++k)
        Series2->AddXY(Series1->X(first + static_cast<int>(k)), values[k], kProcPointColour);
    derivedVersion_ = baseVersion_;
    ++series2Version_;
}

void TFDataProc::IntegrateAbsorption() {
    IntegratorSource src{Series1->Xs(), Series1->Ys(), SeriesLine0->Ys(),
                         Series1->FirstVisibleIndex(), Series1->LastVisibleIndex()};
    AbsorptionIntegrator.Integrate(src, src.VisibleFrom, src.VisibleTo,
                                   DDst->RightAxis().Minimum(), DDst->RightAxis().Maximum(), outX_,
                                   outY_);
    Series2->Clear();
    Series2->Reserve(static_cast<int>(outX_.size()));
    for (std::size_t k = 0; k < outX_.size(); ++k)
        Series2->AddXY(outX_[k], outY_[k], kProcPointColour);
    derivedVersion_ = baseVersion_;
    ++series2Version_;
}

void TFDataProc::ShowAbsorption() {
    CopySourceAxes();
    AbsorptionIntegrator.Init(false);
    AbsorptionIntegrator.Factor = AbsorptionFactor(Series1->Ys());
    IntegrateAbsorption();
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
        AreaIntegrator.Init(true);
        AreaIntegrator.Factor = kAreaFactor;
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
    std::vector<double> line;
    BaseLineValues(Base, SeriesLine0->Count(), line);
    for (int i = 0; i < SeriesLine0->Count(); ++i)
        SeriesLine0->SetY(i, line[static_cast<std::size_t>(i)]);
    ++baseVersion_;
}

void TFDataProc::Line0DnTBClick() {
    Base.Offset -= kBaseLineOffsetStep;
    RedrawBaseLine();
}

void TFDataProc::Line0UpTBClick() {
    Base.Offset += kBaseLineOffsetStep;
    RedrawBaseLine();
}

void TFDataProc::Line0LeftTBClick() {
    Base.Slope -= kBaseLineSlopeStep;
    RedrawBaseLine();
}

void TFDataProc::Line0RightTBClick() {
    Base.Slope += kBaseLineSlopeStep;
    RedrawBaseLine();
}

void TFDataProc::SeriesLine0AfterDrawValues() {
    if (!Series2->Active())
        return;
    // Every drawing of the source chart calls in here, cursor drags too; the
    // result curve depends only on the base line, so rebuild it on a change.
    if (derivedVersion_ == baseVersion_)
        return;
    if (FDerivativeTB->isChecked()) {
        std::vector<double> values(static_cast<std::size_t>(Series2->Count()));
        UpdateDerivativeValues(Series1->Ys(), SeriesLine0->Ys(), values);
        for (int i = 0; i < Series2->Count(); ++i)
            Series2->SetY(i, values[static_cast<std::size_t>(i)]);
        derivedVersion_ = baseVersion_;
        ++series2Version_;
    } else {
        IntegrateAbsorption();
    }
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
    DDst->RepaintNow();
}

} // namespace tavi
