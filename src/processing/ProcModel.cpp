// SPDX-License-Identifier: GPL-3.0-or-later
// The processing model: result curves and measurements recomputed from their inputs.
#include "processing/ProcModel.h"

#include "processing/ProcAnalysis.h"

#include <algorithm>

namespace tavi {

namespace {

int Count(std::span<const double> v) {
    return static_cast<int>(v.size());
}

} // namespace

ProcModel::ProcModel(ViewCurves& buffers) : c_(buffers) {}

void ProcModel::Load(const LoadedDataFile& file) {
    file_ = &file;
    source_ = file.YRange ? FindExtremes(file.Y, file.YRange->first, file.YRange->second,
                                         file.YRangeFrom.first, file.YRangeFrom.second)
                          : FindExtremes(file.Y);
    view_ = ResultView::None;
    measurement_ = Measurement::None;
    cursors_ = input_ = CursorState{};
    SetBaseLine(FitBaseLine(file.Y));
    Recalculate();
}

void ProcModel::SetBaseLine(const BaseLine& line) {
    line_ = line;
    if (!file_)
        return;
    lineValues_ = false;
    derivativeWhole_ = false;
    centre_ = FindCentreIndex(file_->Y, line_, LineCount(), source_);
    curveDirty_ = true;
}

int ProcModel::LineCount() const {
    return static_cast<int>(std::min(file_->X.size(), file_->Y.size()));
}

void ProcModel::EnsureLineValues() const {
    if (lineValues_ || !file_)
        return;
    BaseLineValues(line_, LineCount(), c_.BaseLineY);
    lineValues_ = true;
}

void ProcModel::SetView(ResultView view, int first, int last) {
    view_ = view;
    sourceFirst_ = first;
    sourceLast_ = last;
    if (view == ResultView::Absorption) {
        absorption_.Init(false);
        absorption_.Factor = AbsorptionFactor(source_);
        area_.Init(true);
        area_.Factor = kAreaFactor;
    }
    curveDirty_ = true;
}

void ProcModel::SetVisibleRange(int first, int last) {
    if (first == first_ && last == last_)
        return;
    first_ = first;
    last_ = last;
    measureDirty_ = true;
}

void ProcModel::SetAxisRange(double minimum, double maximum) {
    if (minimum == axisMin_ && maximum == axisMax_)
        return;
    axisMin_ = minimum;
    axisMax_ = maximum;
    measureDirty_ = true;
}

void ProcModel::SetMeasurement(Measurement m) {
    if (m == measurement_)
        return;
    measurement_ = m;
    measureDirty_ = true;
}

void ProcModel::SetCursors(const CursorState& c) {
    if (c == input_)
        return;
    input_ = c;
    measureDirty_ = true;
}

std::span<const double> ProcModel::BaseLineY() const {
    EnsureLineValues();
    return c_.BaseLineY;
}

std::span<const double> ProcModel::CurveX() const {
    if (view_ == ResultView::Absorption)
        return c_.AbsorptionX;
    if (view_ == ResultView::Derivative && file_ && sourceFirst_ >= 0)
        return std::span<const double>(file_->X).subspan(static_cast<std::size_t>(sourceFirst_),
                                                         c_.DerivativeY.size());
    return {};
}

std::span<const double> ProcModel::CurveY() const {
    if (view_ == ResultView::Absorption)
        return c_.AbsorptionY;
    if (view_ == ResultView::Derivative)
        return c_.DerivativeY;
    return {};
}

std::span<const double> ProcModel::AreaX() const {
    return c_.AreaX;
}

std::span<const double> ProcModel::AreaY() const {
    return c_.AreaY;
}

void ProcModel::Recalculate() {
    if (curveDirty_) {
        BuildCurve();
        curveDirty_ = false;
        measureDirty_ = true;
    }
    if (measureDirty_) {
        Measure();
        measureDirty_ = false;
    }
}

void ProcModel::BuildCurve() {
    ++curveVersion_;
    if (!file_ || view_ == ResultView::None)
        return;
    extremesValid_ = false;
    if (view_ == ResultView::Derivative) {
        const int n = LineCount();
        derivativeWhole_ = sourceFirst_ == 0 && sourceLast_ >= n - 1;
        if (!lineValues_ && derivativeWhole_ && measurementsOnly_) {
            DerivativeValues(line_, std::span<const double>(file_->Y).first(n), c_.DerivativeY);
        } else if (!lineValues_ && derivativeWhole_) {
            BaseLineAndDerivativeValues(line_, std::span<const double>(file_->Y).first(n),
                                        c_.BaseLineY, c_.DerivativeY);
            lineValues_ = true;
        } else {
            EnsureLineValues();
            DerivativeValues(file_->Y, c_.BaseLineY, sourceFirst_, sourceLast_, c_.DerivativeY);
        }
        return;
    }
    // Above the base line the source is the derivative view, where that holds
    // every point: the same differences, one array fewer to read.
    if (!derivativeWhole_)
        EnsureLineValues();
    const IntegratorSource source =
        derivativeWhole_
            ? IntegratorSource{file_->X, c_.DerivativeY, {}, sourceFirst_, sourceLast_}
            : IntegratorSource{file_->X, file_->Y, c_.BaseLineY, sourceFirst_, sourceLast_};
    c_.AreaAhead.Curve = 0;
    c_.AreaAhead.SumOnly = measurementsOnly_;
    if (areaAhead_ && sourceFirst_ == 0) {
        const Cursors at = IntegralCursors(LineCount());
        extremesValid_ = IntegrateWithArea(absorption_, source, kAreaFactor, at.LC, at.RC,
                                           c_.AbsorptionX, c_.AbsorptionY, c_.AreaAhead,
                                           curveExtremes_);
        if (extremesValid_) {
            c_.AreaAhead.Curve = curveVersion_;
            return;
        }
    }
    absorption_.Integrate(source, sourceFirst_, sourceLast_, kResultAxisMinimum,
                          kResultAxisMaximum, c_.AbsorptionX, c_.AbsorptionY);
}

const Extremes& ProcModel::CurveExtremes() const {
    if (!extremesValid_) {
        curveExtremes_ = FindExtremes(CurveY());
        extremesValid_ = true;
    }
    return curveExtremes_;
}

int ProcModel::Clamp(int index) const {
    return std::clamp(index, 0, std::max(0, Count(CurveY()) - 1));
}

CursorPlacement ProcModel::Placement(Measurement m) const {
    CursorPlacement p;
    const int count = Count(CurveY());
    switch (m) {
    case Measurement::Moments: {
        if (first_ < 0)
            return {};
        const MomentPlacement mp = PlaceMomentCursors(CurveY(), first_, last_, centre_);
        return {mp.Slots, 3, mp.Index};
    }
    case Measurement::GFactor:
        p.Index = centre_;
        return p;
    case Measurement::PeakToPeakWidth:
        return {LineWidthCursors(source_), 2, -1};
    case Measurement::HalfHeightWidth: {
        // Both cursors on the maximum; the search then moves them.
        const int top = CurveExtremes().Max;
        return {Cursors{top, top, 0}, 2, top};
    }
    case Measurement::Area:
        return {IntegralCursors(count), 2, -1};
    case Measurement::None:
        break;
    }
    return p;
}

void ProcModel::Measure() {
    cursors_ = input_;
    const std::span<const double> x = CurveX();
    const std::span<const double> y = CurveY();
    if (!file_ || y.empty())
        return;
    // The moving cursor stands in for the reference it carries.
    Cursors at = cursors_.References;
    if (cursors_.Held == 1)
        at.LC = cursors_.Current;
    else if (cursors_.Held == 2)
        at.RC = cursors_.Current;
    else if (cursors_.Held == 3)
        at.MC = cursors_.Current;

    switch (measurement_) {
    case Measurement::Moments:
        moments_ = ComputeMoments(
            view_ == ResultView::Derivative ? MomentKind::Derivative : MomentKind::Absorption, x, y,
            Clamp(at.LC), Clamp(at.RC), Clamp(at.MC), file_->ModAmpValue);
        break;
    case Measurement::GFactor:
        g_ = GFactor(x[static_cast<std::size_t>(Clamp(cursors_.Current))], file_->FieldB0Value,
                     file_->FrequencyValue);
        break;
    case Measurement::HalfHeightWidth:
        // While the operator holds neither cursor they sit on the crossings
        // of half the height within the visible points.
        if (cursors_.Held != 1 && cursors_.Held != 2 && first_ >= 0) {
            const SearchKey key{curveVersion_, first_, last_, pressCount_};
            if (!(key == searchKey_)) {
                searchKey_ = key;
                halfHeight_ = FindHalfHeight(y, first_, last_, CurveExtremes());
                ++halfHeightSearch_;
            }
            if (halfHeight_.Found) {
                cursors_.References.LC = at.LC = halfHeight_.LC;
                cursors_.References.RC = at.RC = halfHeight_.RC;
            }
        }
        width_ = LineWidth(x, Clamp(at.LC), Clamp(at.RC));
        break;
    case Measurement::PeakToPeakWidth:
        width_ = LineWidth(x, Clamp(at.LC), Clamp(at.RC));
        break;
    case Measurement::Area: {
        areaFrom_ = Clamp(at.LC);
        areaTo_ = Clamp(at.RC);
        const IntegratorSource source{x, y, {}, first_, last_};
        const bool ahead = c_.AreaAhead.Curve == curveVersion_ &&
                           AdoptPendingArea(area_, c_.AreaAhead, source, areaFrom_, areaTo_,
                                            axisMin_, axisMax_, c_.AreaX, c_.AreaY);
        if (!ahead)
            IntegrateKept(area_, keptArea_, curveVersion_, source, areaFrom_, areaTo_, axisMin_,
                          axisMax_, c_.AreaX, c_.AreaY);
        break;
    }
    case Measurement::None:
        break;
    }
}

} // namespace tavi
