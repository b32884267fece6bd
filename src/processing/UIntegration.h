// SPDX-License-Identifier: GPL-3.0-or-later
// Base line and absorption integration over plain X and Y arrays. The
// processing window moves the results onto its chart series; tavi-proc and
// the benchmarks call the same code without any widget.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tavi {

// Base line value at point index i: Offset + Slope * i.
struct BaseLine {
    double Slope = 0;  // per point index
    double Offset = 0; // at index 0
    double At(int i) const { return Slope * i + Offset; }
};

// Steps of the four base-line buttons.
inline constexpr double kBaseLineOffsetStep = 1.0;
inline constexpr double kBaseLineSlopeStep = 0.002;

// M: one tenth of the points, n * 10 * 0.01 rounded with halves to even.
int BaseLineSampleCount(int n);
// Mean of the first M and of the last M points; slope divided by n. With
// M = 0 (fewer than 5 points) the base line is zero.
BaseLine FitBaseLine(std::span<const double> y);
// Every Y of the base line for n points (RedrawBaseLine).
void BaseLineValues(const BaseLine& line, int n, std::vector<double>& out);

// BaseLineValues for every point of source, and DerivativeValues over all of
// them, in one pass.
void BaseLineAndDerivativeValues(const BaseLine& line, std::span<const double> source,
                                 std::vector<double>& baseLine, std::vector<double>& derivative);
// Series1 minus the base line at indices from..to (ShowDerivative); out gets
// to - from + 1 values (to held at the last point of both inputs), none when
// from < 0 or to < from.
void DerivativeValues(std::span<const double> source, std::span<const double> baseLine, int from,
                      int to, std::vector<double>& out);
// The same values where the base line's own are not wanted: one array fewer.
void DerivativeValues(const BaseLine& line, std::span<const double> source,
                      std::vector<double>& out);
// UpdateDerivative: out[i] = source[i] - baseLine[i] for every i of out.
void UpdateDerivativeValues(std::span<const double> source, std::span<const double> baseLine,
                            std::span<double> out);

// One pass over a curve for every search of its extremes: Min and Max as
// IndexOfMinimum and IndexOfMaximum give them (first index of the smallest
// value below 500, of the largest above -500, else 0), Lowest and Highest the
// smallest and largest values (0 for an empty curve).
struct Extremes {
    int Min = 0;
    int Max = 0;
    double Lowest = 0;
    double Highest = 0;
};
Extremes FindExtremes(std::span<const double> y);
// The same where the lowest and highest values are known already, and no
// point before lowestFrom, highestFrom holds them.
Extremes FindExtremes(std::span<const double> y, double lowest, double highest,
                      std::size_t lowestFrom = 0, std::size_t highestFrom = 0);

// +1 when IndexOfMinimum > IndexOfMaximum (the maximum of the derivative comes
// first), else -1.
int AbsorptionFactor(std::span<const double> source);
int AbsorptionFactor(const Extremes& sourceExtremes);

// What an integrator reads: the source curve, the base line (empty: none) and
// the source's visible range on its chart (-1, -1 when nothing is visible).
struct IntegratorSource {
    std::span<const double> X;
    std::span<const double> Y;
    std::span<const double> BaseLine;
    int VisibleFrom = 0;
    int VisibleTo = -1;
};

// Trapezoid integration of a source, optionally above a base line. The chart,
// series and colour of the window's integrators live in the window; this is
// the arithmetic.
struct Integrator {
    double Sum = 0;
    double Scale = 1;
    std::int32_t Factor = 0;
    bool AutoScale = false;

    // Scale = 1 and the auto-scale flag; Sum and Factor are kept.
    void Init(bool autoScale);
    double Height(const IntegratorSource& src, int i) const;
    double StepArea(const IntegratorSource& src, int i) const;
    // Clamps first/last to the visible range, optionally shrinks Scale to the
    // axis limits, and writes the running integral (X from the first two
    // source points' spacing, Y = Sum * Scale). A source of fewer than two
    // points, or with nothing visible, outputs nothing and leaves Sum 0.
    void Integrate(const IntegratorSource& src, int first, int last, double axisMinimum,
                   double axisMaximum, std::vector<double>& outX, std::vector<double>& outY);
};

// The unscaled running sums of an auto-scaled integrator's last run over a
// curve (Curve names it; 0: none), kept so that the next run from the same
// first point of the same curve (a cursor dragged along it) sums only the
// points the last one did not reach; the bounds of whole blocks of them give a
// shorter run's bounds without reading every sum.
struct KeptSums {
    std::uint64_t Curve = 0;
    int First = 0;
    std::int32_t Factor = 0;
    std::vector<double> Sums;
    std::vector<double> BlockTop;
    std::vector<double> BlockBottom;
};

// area.Integrate(src, first, last, ...) with the same results to the last
// bit, taking the sums kept of curve where the run starts at the same point,
// and keeping this run's. An integrator that does not scale itself just
// integrates.
void IntegrateKept(Integrator& area, KeptSums& kept, std::uint64_t curve,
                   const IntegratorSource& src, int first, int last, double axisMinimum,
                   double axisMaximum, std::vector<double>& outX, std::vector<double>& outY);

inline constexpr std::int32_t kAreaFactor = 1000;

// An auto-scaled integrator's running integral over a curve, summed in the
// pass that made the curve and not yet scaled: Curve names the curve it was
// made from (0: none). With SumOnly (the caller's choice: no chart shows the
// area) only Sum is made, X and Y stay empty.
struct PendingArea {
    std::uint64_t Curve = 0;
    bool SumOnly = false;
    int First = 0;
    std::size_t Points = 0;
    double Sum = 0;
    double Top = 0;
    double Bottom = 0;
    std::vector<double> X;
    std::vector<double> Y;
};

// curve.Integrate over the whole of src (no auto scale, all of it visible),
// with the running integral of the result over [areaFirst, areaLast] (factor
// areaFactor) into area and FindExtremes of the result: the same values, in
// one pass, as the two running sums advance together. False, with nothing
// done, where src is not all visible or curve scales itself.
bool IntegrateWithArea(Integrator& curve, const IntegratorSource& src, double areaFactor,
                       int areaFirst, int areaLast, std::vector<double>& curveX,
                       std::vector<double>& curveY, PendingArea& area, Extremes& curveExtremes);

// What area.Integrate(src, first, last, ...) would do, taken from a pending
// integral of the same points: true, with Sum and Scale set and the scaled
// integral swapped into outX and outY; false (nothing done) when the points
// differ or area does not scale itself. The pending integral is used up. A
// sum-only one sets Sum and empties outX and outY; Scale is the chart's only.
bool AdoptPendingArea(Integrator& area, PendingArea& pending, const IntegratorSource& src,
                      int first, int last, double axisMinimum, double axisMaximum,
                      std::vector<double>& outX, std::vector<double>& outY);

} // namespace tavi
