// SPDX-License-Identifier: GPL-3.0-or-later
// The processing window: the measurement and cursor buttons and the values after each drawing.
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

int TFDataProc::ClampIndex(int index) const {
    return std::clamp(index, 0, std::max(0, Series2->Count() - 1));
}

void TFDataProc::PlaceMomentCursors() {
    const int first = Series2->FirstVisibleIndex();
    const int last = Series2->LastVisibleIndex();
    if (first < 0)
        return;
    const int centre = FindCentreIndex(Series1->Ys(), SeriesLine0->Ys());
    const MomentPlacement p = tavi::PlaceMomentCursors(Series2->Ys(), first, last, centre);
    SetReference(1, p.Slots.LC);
    SetReference(2, p.Slots.RC);
    SetReference(3, p.Slots.MC);
    CursorSlotCount = 3;
    ResultMarker.ReferenceCount = 3;
    ResultMarker.MoveTo(p.Index);
}

void TFDataProc::M2DerivativeTBClick() {
    if (M2DerivativeTB->isChecked()) {
        ReleaseOthers(M2DerivativeTB, {M2DerivativeTB, SDBTB});
        PlaceMomentCursors();
        for (QToolButton* b : {M2LCTB, M2MCTB, M2RCTB})
            b->setEnabled(true);
    } else {
        MeasurementReleased(true);
    }
}

void TFDataProc::M2AbsorptionTBClick() {
    if (M2AbsorptionTB->isChecked()) {
        ReleaseOthers(M2AbsorptionTB, {M2AbsorptionTB, HDBTB, IntegralTB});
        PlaceMomentCursors();
        for (QToolButton* b : {M2LCTB, M2MCTB, M2RCTB})
            b->setEnabled(true);
    } else {
        MeasurementReleased(true);
    }
}

void TFDataProc::GDerivativeTBClick() {
    if (!M2DerivativeTB->isChecked())
        return;
    ReleaseOthers(M2DerivativeTB, {M2DerivativeTB, SDBTB});
    ResultMarker.MoveTo(FindCentreIndex(Series1->Ys(), SeriesLine0->Ys()));
}

void TFDataProc::GAbsorptionTBClick() {
    if (!M2AbsorptionTB->isChecked())
        return;
    ReleaseOthers(M2AbsorptionTB, {M2AbsorptionTB, HDBTB, IntegralTB});
    ResultMarker.MoveTo(FindCentreIndex(Series1->Ys(), SeriesLine0->Ys()));
}

void TFDataProc::SDBTBClick() {
    if (SDBTB->isChecked()) {
        ReleaseOthers(SDBTB, {M2DerivativeTB, SDBTB});
        const Cursors c = LineWidthCursors(Series1->Ys());
        SetReference(1, c.LC);
        SetReference(2, c.RC);
        CursorSlotCount = 2;
        ResultMarker.ReferenceCount = 2;
        ResultMarker.Centre();
        M2LCTB->setEnabled(true);
        M2RCTB->setEnabled(true);
    } else {
        MeasurementReleased(false);
    }
}

void TFDataProc::HDBTBClick() {
    if (HDBTB->isChecked()) {
        // A new press reports a failing search once, whichever of the
        // drawings below (the release of the others, then this) runs it.
        halfHeightReported_ = false;
        ReleaseOthers(HDBTB, {M2AbsorptionTB, HDBTB, IntegralTB});
        const int top = IndexOfMaximum(Series2->Ys());
        SetReference(1, top);
        SetReference(2, top);
        ResultMarker.MoveTo(top);
        CursorSlotCount = 2;
        ResultMarker.ReferenceCount = 2;
        M2LCTB->setEnabled(true);
        M2RCTB->setEnabled(true);
    } else {
        MeasurementReleased(false);
    }
}

void TFDataProc::IntegralTBClick() {
    if (IntegralTB->isChecked()) {
        ReleaseOthers(IntegralTB, {M2AbsorptionTB, HDBTB, IntegralTB});
        const Cursors c = IntegralCursors(Series2->Count());
        SetReference(1, c.LC);
        SetReference(2, c.RC);
        CursorSlotCount = 2;
        ResultMarker.ReferenceCount = 2;
        ResultMarker.Centre();
        M2LCTB->setEnabled(true);
        M2RCTB->setEnabled(true);
    } else {
        MeasurementReleased(false);
        SeriesI->Clear();
    }
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
}

// ---------------------------------------------------------------- values after each drawing

void TFDataProc::Series2AfterDrawValues() {
    if (Series2->Count() == 0)
        return;
    if (M2DerivativeTB->isChecked()) {
        if (momentIsG_)
            ShowGFactor();
        else
            ShowMoments(MomentKind::Derivative);
    }
    if (M2AbsorptionTB->isChecked()) {
        if (momentIsG_)
            ShowGFactor();
        else
            ShowMoments(MomentKind::Absorption);
    }
    if (SDBTB->isChecked())
        ShowLineWidth();
    if (IntegralTB->isChecked())
        ShowArea();
    if (HDBTB->isChecked()) {
        if (!M2LCTB->isChecked() && !M2RCTB->isChecked())
            FindHalfHeight();
        ShowLineWidth();
    }
}

void TFDataProc::ShowMoments(MomentKind kind) {
    int lc = ResultMarker.References[1];
    int rc = ResultMarker.References[2];
    int mc = ResultMarker.References[3];
    if (ResultMarker.SelectedReference != 0) {
        const int current = ResultMarker.CurrentIndex();
        if (M2MCTB->isChecked())
            mc = current;
        else if (M2LCTB->isChecked())
            lc = current;
        else
            rc = current;
    }
    const Moments m = ComputeMoments(kind, Series2->Xs(), Series2->Ys(), ClampIndex(lc),
                                     ClampIndex(rc), ClampIndex(mc), ModAmpValue);
    M2RVal->setText(Q(MomentText(m.M2R)));
    M2LVal->setText(Q(MomentText(m.M2L)));
    M2Val->setText(Q(MomentText(m.M2)));
    M4Val->setText(Q(FourthMomentText(m.M4)));
    M4Val4->show();
}

void TFDataProc::ShowLineWidth() {
    int lc = ResultMarker.References[1];
    int rc = ResultMarker.References[2];
    if (ResultMarker.SelectedReference != 0) {
        if (M2LCTB->isChecked())
            lc = ResultMarker.CurrentIndex();
        else
            rc = ResultMarker.CurrentIndex();
    }
    const double width = LineWidth(Series2->Xs(), ClampIndex(lc), ClampIndex(rc));
    DBVal->setText(Q(WidthText(width, FileUnitText().toStdString())));
}

void TFDataProc::FindHalfHeight() {
    const int first = Series2->FirstVisibleIndex();
    const int last = Series2->LastVisibleIndex();
    if (first < 0)
        return;
    const HalfHeightResult r = tavi::FindHalfHeight(Series2->Ys(), first, last);
    if (r.Found) {
        SetReference(1, r.LC);
        SetReference(2, r.RC);
        halfHeightReported_ = false;
        return;
    }
    // The search runs at every drawing: report a failure once for the same
    // curve and range (its outcome does not depend on the cursors), and never
    // from inside the drawing.
    const HalfHeightKey key{series2Version_, first, last};
    if (halfHeightReported_ && key == halfHeightKey_)
        return;
    halfHeightReported_ = true;
    halfHeightKey_ = key;
    ShowHalfHeightError(r.Error);
}

void TFDataProc::ShowHalfHeightError(const std::string& text) {
    QTimer::singleShot(0, this, [this, text] {
        Dialogs().Message(this, Q(text), MsgIcon::Error, MsgButtons::Ok);
    });
}

void TFDataProc::ShowArea() {
    int c = ResultMarker.References[1];
    int d = ResultMarker.References[2];
    if (ResultMarker.SelectedReference != 0) {
        if (M2RCTB->isChecked())
            d = ResultMarker.CurrentIndex();
        else
            c = ResultMarker.CurrentIndex();
    }
    c = ClampIndex(c);
    d = ClampIndex(d);
    IntegratorSource src{Series2->Xs(), Series2->Ys(), {}, Series2->FirstVisibleIndex(),
                         Series2->LastVisibleIndex()};
    AreaIntegrator.Integrate(src, c, d, DDst->RightAxis().Minimum(), DDst->RightAxis().Maximum(),
                             outX_, outY_);
    // Refill the running integral only when it changed: refilling redraws the
    // chart, whose drawing calls in here again.
    const bool same = std::ranges::equal(outX_, SeriesI->Xs()) &&
                      std::ranges::equal(outY_, SeriesI->Ys());
    if (!same) {
        SeriesI->Clear();
        SeriesI->Reserve(static_cast<int>(outX_.size()));
        for (std::size_t k = 0; k < outX_.size(); ++k)
            SeriesI->AddXY(outX_[k], outY_[k], kProcIntegralColour);
    }
    const std::string unit = FileUnitText().toStdString();
    AIVal->setText(Q(AreaText(AreaIntegrator.Sum)));
    ILBVal->setText(Q(CursorXText(Series2->X(c), unit, true)));
    ILEVal->setText(Q(CursorXText(Series2->X(d), unit, false)));
}

void TFDataProc::ShowGFactor() {
    const int i = ClampIndex(ResultMarker.CurrentIndex());
    GVal->setText(Q(GFactorText(GFactor(Series2->X(i), FieldB0Value, FrequencyValue))));
}

} // namespace tavi
