// SPDX-License-Identifier: GPL-3.0-or-later
// The processing model: a loaded spectrum, its base line, the result view, the
// cursors and what the chosen measurement button gives. The window edits its
// inputs and draws what it holds; tavi-proc drives the same steps.
#pragma once

#include "processing/DataFile.h"
#include "processing/UIntegration.h"
#include "processing/UM2.h"

#include <cstdint>
#include <span>
#include <vector>

namespace tavi {

struct ViewCurves;

enum class ResultView { None, Derivative, Absorption };

// The measurement button that is down; None when none is.
enum class Measurement { None, Moments, GFactor, PeakToPeakWidth, HalfHeightWidth, Area };

// The result chart's cursors as the operator left them: the reference slots,
// the slot the moving cursor carries (0: none, 1 LC, 2 RC, 3 MC) and where the
// moving cursor stands.
struct CursorState {
    Cursors References;
    int Held = 0;
    int Current = 0;
    bool operator==(const CursorState& o) const {
        return References.LC == o.References.LC && References.RC == o.References.RC &&
               References.MC == o.References.MC && Held == o.Held && Current == o.Current;
    }
};

// Where a pressed button puts the cursors: Count reference slots, and the
// moving cursor at Index (-1: the middle of the visible points).
struct CursorPlacement {
    Cursors Slots;
    int Count = 0;
    int Index = -1;
};

// Inputs mark what depends on them; Recalculate brings exactly that up to date
// (the result curve when the file, base line or view changed; the measurement
// when anything it reads changed). Outputs are valid after Recalculate.
class ProcModel {
public:
    // The curves live in buffers (kept from file to file by a caller that
    // passes the same ones); the file is the caller's and outlives the model's
    // use of it.
    explicit ProcModel(ViewCurves& buffers);

    // ---- inputs ----
    // A new file: its fitted base line, no view, no measurement.
    void Load(const LoadedDataFile& file);
    void SetBaseLine(const BaseLine& line);
    // A view of the source points first..last; the absorption view starts its
    // integrators afresh (the area's scale grows back to 1).
    void SetView(ResultView view, int first, int last);
    // The result chart's visible points (zoom) and right-axis range (the area
    // integrator's auto scale fits into it).
    void SetVisibleRange(int first, int last);
    void SetAxisRange(double minimum, double maximum);
    void SetMeasurement(Measurement m);
    // The caller will press "Integral" on the next absorption views with their
    // cursors where the press puts them: the area is summed in the curve's
    // own pass and taken when the press asks for the same points.
    void SumAreaAhead(bool on) { areaAhead_ = on; }
    // No chart shows the curves: the area's curve is not made, nor the base
    // line's values until read; every measurement is as with them.
    void MeasurementsOnly(bool on) { measurementsOnly_ = on; }
    void SetCursors(const CursorState& c);
    // A new press of a button: its one-time reactions (the half-height search's
    // failure) happen again.
    void Repress() {
        ++pressCount_;
        measureDirty_ = true;
    }

    void Recalculate();

    // ---- what a button press does to the cursors (on the current curve) ----
    CursorPlacement Placement(Measurement m) const;

    // ---- outputs ----
    const LoadedDataFile* File() const { return file_; }
    const BaseLine& Line() const { return line_; }
    std::span<const double> BaseLineY() const;
    ResultView View() const { return view_; }
    Measurement Chosen() const { return measurement_; }
    std::span<const double> CurveX() const;
    std::span<const double> CurveY() const;
    // Changes whenever the curve's values do.
    std::uint64_t CurveVersion() const { return curveVersion_; }
    int Centre() const { return centre_; }
    const Integrator& AbsorptionIntegrator() const { return absorption_; }
    const Integrator& AreaIntegrator() const { return area_; }
    // The cursors the measurement used (the half-height crossings replace the
    // references while no cursor is held).
    const CursorState& UsedCursors() const { return cursors_; }

    const Moments& MomentValues() const { return moments_; }
    double Width() const { return width_; }
    double G() const { return g_; }
    double Area() const { return area_.Sum; }
    std::span<const double> AreaX() const;
    std::span<const double> AreaY() const;
    // The last half-height search; a new search (new curve, range or press)
    // gets a new number.
    const HalfHeightResult& HalfHeight() const { return halfHeight_; }
    std::uint64_t HalfHeightSearch() const { return halfHeightSearch_; }
    // The area's integration limits after clamping.
    int AreaFrom() const { return areaFrom_; }
    int AreaTo() const { return areaTo_; }

private:
    void BuildCurve();
    void Measure();
    int Clamp(int index) const;
    int LineCount() const;
    // The base line's values are made when first read, or with the derivative
    // in one pass when that comes first.
    void EnsureLineValues() const;
    // Of the result curve, found once per curve.
    const Extremes& CurveExtremes() const;

    ViewCurves& c_;
    const LoadedDataFile* file_ = nullptr;
    BaseLine line_;
    Extremes source_;
    int centre_ = 0;
    ResultView view_ = ResultView::None;
    int sourceFirst_ = 0, sourceLast_ = -1;
    int first_ = 0, last_ = -1;
    double axisMin_ = -500, axisMax_ = 500;
    Measurement measurement_ = Measurement::None;
    CursorState cursors_;
    CursorState input_;
    Integrator absorption_;
    Integrator area_;
    KeptSums keptArea_; // a dragged cursor's area sums only the points it adds
    mutable Extremes curveExtremes_;
    mutable bool extremesValid_ = false;
    mutable bool lineValues_ = false;
    // The derivative view holds every point for the current base line.
    bool derivativeWhole_ = false;
    bool areaAhead_ = false;
    bool measurementsOnly_ = false;
    bool curveDirty_ = false;
    bool measureDirty_ = false;
    std::uint64_t curveVersion_ = 0;
    std::uint64_t pressCount_ = 0;

    Moments moments_;
    double width_ = 0;
    double g_ = 0;
    int areaFrom_ = 0, areaTo_ = 0;
    HalfHeightResult halfHeight_;
    std::uint64_t halfHeightSearch_ = 0;
    struct SearchKey {
        std::uint64_t curve = ~std::uint64_t{0};
        int first = 0, last = 0;
        std::uint64_t press = 0;
        bool operator==(const SearchKey&) const = default;
    } searchKey_;
};

} // namespace tavi
