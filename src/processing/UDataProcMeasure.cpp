// SPDX-License-Identifier: GPL-3.0-or-later
// The processing window: the measurement and cursor buttons, and the model's values on the labels.
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

// ---------------------------------------------------------------- measurement buttons

void TFDataProc::RunMomentHandler(QToolButton* button) {
    const bool derivative = button == M2DerivativeTB;
    if (momentIsG_)
        derivative ? GDerivativeTBClick() : GAbsorptionTBClick();
    else
        derivative ? M2DerivativeTBClick() : M2AbsorptionTBClick();
}

void TFDataProc::RunHandler(QToolButton* button) {
    if (button == M2DerivativeTB || button == M2AbsorptionTB)
        RunMomentHandler(button);
    else if (button == SDBTB)
        SDBTBClick();
    else if (button == HDBTB)
        HDBTBClick();
    else if (button == IntegralTB)
        IntegralTBClick();
}

void TFDataProc::ReleaseOthers(QToolButton* pressed, std::initializer_list<QToolButton*> group) {
    for (QToolButton* b : group) {
        if (b == pressed)
            continue;
        SetDown(b, false);
        RunHandler(b);
    }
}

void TFDataProc::MeasurementReleased(bool withMiddle) {
    M2CTBClick(nullptr);
    ResultMarker.HideReferences();
    M2LCTB->setEnabled(false);
    M2RCTB->setEnabled(false);
    if (withMiddle)
        M2MCTB->setEnabled(false);
}

void TFDataProc::SetReference(int slot, int index) {
    ResultMarker.References[slot] = static_cast<std::uint16_t>(std::clamp(index, 0, 65535));
}

bool TFDataProc::PlaceCursors(Measurement m) {
    model_.SetVisibleRange(Series2->FirstVisibleIndex(), Series2->LastVisibleIndex());
    if (m == Measurement::Moments && Series2->FirstVisibleIndex() < 0)
        return false;
    const CursorPlacement p = model_.Placement(m);
    if (p.Count > 0) {
        SetReference(1, p.Slots.LC);
        SetReference(2, p.Slots.RC);
        if (p.Count > 2)
            SetReference(3, p.Slots.MC);
        CursorSlotCount = p.Count;
        ResultMarker.ReferenceCount = static_cast<std::uint8_t>(p.Count);
    }
    if (p.Index >= 0)
        ResultMarker.MoveTo(p.Index);
    else
        ResultMarker.Centre();
    return true;
}

// A measurement button pressed: the others of its view let go, its cursors
// placed, and the cursor buttons it uses enabled (the middle one for moments).
void TFDataProc::Press(QToolButton* pressed, std::initializer_list<QToolButton*> group,
                       Measurement measurement, bool withMiddle) {
    ReleaseOthers(pressed, group);
    PlaceCursors(measurement);
    M2LCTB->setEnabled(true);
    if (withMiddle)
        M2MCTB->setEnabled(true);
    M2RCTB->setEnabled(true);
}

void TFDataProc::M2DerivativeTBClick() {
    if (M2DerivativeTB->isChecked()) {
        Press(M2DerivativeTB, {M2DerivativeTB, SDBTB}, Measurement::Moments, true);
    } else {
        MeasurementReleased(true);
    }
    UpdateResults();
}

void TFDataProc::M2AbsorptionTBClick() {
    if (M2AbsorptionTB->isChecked()) {
        Press(M2AbsorptionTB, {M2AbsorptionTB, HDBTB, IntegralTB}, Measurement::Moments, true);
    } else {
        MeasurementReleased(true);
    }
    UpdateResults();
}

void TFDataProc::GDerivativeTBClick() {
    if (M2DerivativeTB->isChecked()) {
        ReleaseOthers(M2DerivativeTB, {M2DerivativeTB, SDBTB});
        PlaceCursors(Measurement::GFactor);
    }
    UpdateResults();
}

void TFDataProc::GAbsorptionTBClick() {
    if (M2AbsorptionTB->isChecked()) {
        ReleaseOthers(M2AbsorptionTB, {M2AbsorptionTB, HDBTB, IntegralTB});
        PlaceCursors(Measurement::GFactor);
    }
    UpdateResults();
}

void TFDataProc::SDBTBClick() {
    if (SDBTB->isChecked()) {
        Press(SDBTB, {M2DerivativeTB, SDBTB}, Measurement::PeakToPeakWidth, false);
    } else {
        MeasurementReleased(false);
    }
    UpdateResults();
}

void TFDataProc::HDBTBClick() {
    if (HDBTB->isChecked()) {
        // A new press reports a failing search once, whichever of the
        // updates below (the release of the others, then this) runs it.
        model_.Repress();
        Press(HDBTB, {M2AbsorptionTB, HDBTB, IntegralTB}, Measurement::HalfHeightWidth, false);
    } else {
        MeasurementReleased(false);
    }
    UpdateResults();
}

void TFDataProc::IntegralTBClick() {
    if (IntegralTB->isChecked()) {
        Press(IntegralTB, {M2AbsorptionTB, HDBTB, IntegralTB}, Measurement::Area, false);
    } else {
        MeasurementReleased(false);
        SeriesI->Clear();
    }
    UpdateResults();
}

void TFDataProc::M2CTBClick(QObject* sender) {
    CursorButton which = CursorButton::Other;
    if (sender == M2LCTB)
        which = CursorButton::LC;
    else if (sender == M2MCTB)
        which = CursorButton::MC;
    else if (sender == M2RCTB)
        which = CursorButton::RC;
    bool lc = M2LCTB->isChecked();
    bool mc = M2MCTB->isChecked();
    bool rc = M2RCTB->isChecked();
    tavi::M2CTBClick(ResultMarker, which, lc, mc, rc, CursorSlotCount);
    SetDown(M2LCTB, lc);
    SetDown(M2MCTB, mc);
    SetDown(M2RCTB, rc);
    UpdateResults();
}

// ---------------------------------------------------------------- the model's values on the
// controls

Measurement TFDataProc::ChosenMeasurement() const {
    if (M2DerivativeTB->isChecked() || M2AbsorptionTB->isChecked())
        return momentIsG_ ? Measurement::GFactor : Measurement::Moments;
    if (SDBTB->isChecked())
        return Measurement::PeakToPeakWidth;
    if (HDBTB->isChecked())
        return Measurement::HalfHeightWidth;
    if (IntegralTB->isChecked())
        return Measurement::Area;
    return Measurement::None;
}

void TFDataProc::UpdateResults() {
    // Showing the values moves references and refills the running integral,
    // whose drawing may move the cursor again: one update at a time.
    if (!loaded_ || updating_)
        return;
    updating_ = true;
    model_.Recalculate();
    ShowResultCurve();
    model_.SetVisibleRange(Series2->FirstVisibleIndex(), Series2->LastVisibleIndex());
    model_.SetAxisRange(DDst->RightAxis().Minimum(), DDst->RightAxis().Maximum());
    model_.SetMeasurement(ChosenMeasurement());
    model_.SetCursors(CursorState{
        Cursors{ResultMarker.References[1], ResultMarker.References[2], ResultMarker.References[3]},
        ResultMarker.SelectedReference, ResultMarker.CurrentIndex()});
    model_.Recalculate();
    ShowMeasurement();
    updating_ = false;
}

void TFDataProc::ShowMeasurement() {
    if (Series2->Count() == 0)
        return;
    switch (model_.Chosen()) {
    case Measurement::Moments: {
        const Moments& m = model_.MomentValues();
        M2RVal->setText(Q(MomentText(m.M2R)));
        M2LVal->setText(Q(MomentText(m.M2L)));
        M2Val->setText(Q(MomentText(m.M2)));
        M4Val->setText(Q(FourthMomentText(m.M4)));
        M4Val4->show();
        break;
    }
    case Measurement::GFactor:
        GVal->setText(Q(GFactorText(model_.G())));
        break;
    case Measurement::HalfHeightWidth:
        ShowHalfHeight();
        [[fallthrough]];
    case Measurement::PeakToPeakWidth:
        DBVal->setText(Q(WidthText(model_.Width(), FileUnitText().toStdString())));
        break;
    case Measurement::Area:
        ShowArea();
        break;
    case Measurement::None:
        break;
    }
}

void TFDataProc::ShowHalfHeight() {
    const HalfHeightResult& r = model_.HalfHeight();
    const Cursors& used = model_.UsedCursors().References;
    if (r.Found && model_.UsedCursors().Held != 1 && model_.UsedCursors().Held != 2) {
        SetReference(1, used.LC);
        SetReference(2, used.RC);
    }
    // The search runs again for a new curve, range or press: a failure is
    // reported once for each, and never from inside a drawing.
    if (r.Found || model_.HalfHeightSearch() == reportedSearch_)
        return;
    reportedSearch_ = model_.HalfHeightSearch();
    QTimer::singleShot(0, this, [this, text = r.Error] {
        Dialogs().Message(this, Q(text), MsgIcon::Error, MsgButtons::Ok);
    });
}

void TFDataProc::ShowArea() {
    const std::span<const double> x = model_.AreaX();
    const std::span<const double> y = model_.AreaY();
    // Refill the running integral only when it changed: refilling redraws the chart.
    const bool same = std::ranges::equal(x, SeriesI->Xs()) && std::ranges::equal(y, SeriesI->Ys());
    if (!same) {
        SeriesI->Clear();
        SeriesI->AddPoints(x, y, kProcIntegralColour);
    }
    const std::string unit = FileUnitText().toStdString();
    AIVal->setText(Q(AreaText(model_.Area())));
    ILBVal->setText(Q(CursorXText(Series2->X(model_.AreaFrom()), unit, true)));
    ILEVal->setText(Q(CursorXText(Series2->X(model_.AreaTo()), unit, false)));
}

} // namespace tavi
