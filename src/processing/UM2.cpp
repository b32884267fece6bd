// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/UM2.h"

#include "common/Usr.h"
#include "params/NumFormat.h"
#include "processing/CurveScan.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <utility>

namespace tavi {

namespace {

int Size(std::span<const double> s) {
    return static_cast<int>(std::min<std::size_t>(s.size(), 0x7FFFFFFF));
}

double At(std::span<const double> s, int i) {
    return s[static_cast<std::size_t>(i)];
}

int Clamp(int i, int count) {
    return std::clamp(i, 0, std::max(count - 1, 0));
}

// Sums of Y * j^p over the visit from c towards e, weights j = 1..count,
// for one denominator power and two numerator powers in a single pass. j^5
// reaches 1.2e24 at 65535 points; in double each product is rounded once and
// each block of kBlock terms is summed in four lanes before it goes into a
// long double total, so the relative error stays a few units of 1e-16 times
// sum|Y j^p| / |sum Y j^p|, independent of the number of points.
struct WeightedSums {
    long double Denominator = 0;
    long double Numerator = 0;       // power a
    long double SecondNumerator = 0; // power b
    long double Dx = 0;
};

// w^p from w and w2 = w^2, for doubles and for vectors of them (through a
// reference: a vector of four doubles by value would change the calling
// convention with the instruction set).
template <typename T>
[[gnu::always_inline]] inline void Power(const T& w, const T& w2, int p, T& out) {
    switch (p) {
    case 0:
        out = w - w + 1;
        break;
    case 1:
        out = w;
        break;
    case 2:
        out = w2;
        break;
    case 3:
        out = w2 * w;
        break;
    case 4:
        out = w2 * w2;
        break;
    default:
        out = w2 * w2 * w;
    }
}

// Adds v * w^p to the sum.
template <typename T>
[[gnu::always_inline]] inline void AddTerm(T& sum, const T& v, const T& w, const T& w2, int p) {
    T power;
    Power(w, w2, p, power);
    sum += v * power;
}

constexpr int kLanes = 4;
constexpr int kBlock = 64;
// One value per lane: element l holds what the plain loop keeps in lane l, so
// each lane sums in the same order and the totals are the same to the bit.
using Lanes = double __attribute__((vector_size(kLanes * sizeof(double))));

template <int Dir, int Den, int A, int B>
[[gnu::always_inline]] inline void VisitBlocks(const double* y, int count, WeightedSums& s) {
    int j = 0; // weights j + 1 ..
    for (; j + kBlock <= count; j += kBlock) {
        Lanes d = {}, a = {}, b = {};
        Lanes w = {j + 1.0, j + 2.0, j + 3.0, j + 4.0};
        const double* at = y + Dir * j;
        for (int k = 0; k < kBlock; k += kLanes) {
            const Lanes v = {at[Dir * k], at[Dir * (k + 1)], at[Dir * (k + 2)], at[Dir * (k + 3)]};
            const Lanes w2 = w * w;
            AddTerm(d, v, w, w2, Den);
            AddTerm(a, v, w, w2, A);
            AddTerm(b, v, w, w2, B);
            w += kLanes;
        }
        s.Denominator += (d[0] + d[1]) + (d[2] + d[3]);
        s.Numerator += (a[0] + a[1]) + (a[2] + a[3]);
        s.SecondNumerator += (b[0] + b[1]) + (b[2] + b[3]);
    }
    double d = 0, a = 0, b = 0;
    for (; j < count; ++j) {
        const double v = y[Dir * j];
        const double w = static_cast<double>(j + 1);
        const double w2 = w * w;
        AddTerm(d, v, w, w2, Den);
        AddTerm(a, v, w, w2, A);
        AddTerm(b, v, w, w2, B);
    }
    s.Denominator += d;
    s.Numerator += a;
    s.SecondNumerator += b;
}

TAVI_POINT_LOOP void VisitDerivative(const double* y, int count, bool forward, WeightedSums& s) {
    if (forward)
        VisitBlocks<1, 1, 3, 5>(y, count, s);
    else
        VisitBlocks<-1, 1, 3, 5>(y, count, s);
}

TAVI_POINT_LOOP void VisitAbsorption(const double* y, int count, bool forward, WeightedSums& s) {
    if (forward)
        VisitBlocks<1, 0, 2, 4>(y, count, s);
    else
        VisitBlocks<-1, 0, 2, 4>(y, count, s);
}

// Derivative: Y j (denominator), Y j^3 and Y j^5; absorption: Y, Y j^2, Y j^4.
WeightedSums Visit(std::span<const double> x, std::span<const double> y, int c, int e,
                   MomentKind kind) {
    WeightedSums s;
    const int n = Size(y);
    if (n == 0)
        return s;
    // Cursors outside the curve are held at its ends.
    c = Clamp(c, n);
    e = Clamp(e, n);
    if (x.size() >= 2)
        s.Dx = static_cast<long double>(x[1]) - x[0];
    const int count = std::abs(e - c) + 1;
    const double* from = y.data() + c;
    if (kind == MomentKind::Derivative)
        VisitDerivative(from, count, e >= c, s);
    else
        VisitAbsorption(from, count, e >= c, s);
    return s;
}

// Second and fourth moment of one half, from one visit.
struct HalfMoments {
    double M2 = 0;
    double M4 = 0;
};

HalfMoments MomentsOfHalf(MomentKind kind, std::span<const double> x, std::span<const double> y,
                          int c, int e, double modAmp) {
    const WeightedSums s = Visit(x, y, c, e, kind);
    HalfMoments h;
    // A zero denominator gives 0, without the correction.
    if (s.Denominator == 0)
        return h;
    const long double dx2 = s.Dx * s.Dx;
    if (kind == MomentKind::Derivative) {
        h.M2 = static_cast<double>((s.Numerator / s.Denominator) * dx2 / 3 -
                                   ModulationCorrection(modAmp));
        h.M4 = static_cast<double>((s.SecondNumerator / s.Denominator) * (dx2 * dx2) * 0.2L);
    } else {
        h.M2 =
            static_cast<double>((s.Numerator / s.Denominator) * dx2 - ModulationCorrection(modAmp));
        h.M4 = static_cast<double>((s.SecondNumerator / s.Denominator) * (dx2 * dx2));
    }
    return h;
}

} // namespace

int FindCentreIndex(std::span<const double> source, std::span<const double> baseLine) {
    return FindCentreIndex(source, baseLine, FindExtremes(source));
}

int FindCentreIndex(std::span<const double> source, std::span<const double> baseLine,
                    const Extremes& extremes) {
    const int a = extremes.Min;
    const int b = extremes.Max;
    const int step = b > a ? 1 : -1;
    int result = Size(source) / 2;
    double best = 1000;
    for (int i = a; i != b; i += step) {
        const double base = i < Size(baseLine) ? At(baseLine, i) : 0.0;
        const double d = std::fabs(At(source, i) - base);
        if (d < best) {
            result = i;
            best = d;
        }
    }
    return result;
}

double ModulationCorrection(double modAmp) {
    return modAmp * modAmp * 0.25;
}

double MomentFromDerivative(std::span<const double> x, std::span<const double> y, int c, int e,
                            double modAmp) {
    return MomentsOfHalf(MomentKind::Derivative, x, y, c, e, modAmp).M2;
}

double MomentFromAbsorption(std::span<const double> x, std::span<const double> y, int c, int e,
                            double modAmp) {
    return MomentsOfHalf(MomentKind::Absorption, x, y, c, e, modAmp).M2;
}

double FourthMomentFromDerivative(std::span<const double> x, std::span<const double> y, int c,
                                  int e) {
    return MomentsOfHalf(MomentKind::Derivative, x, y, c, e, 0).M4;
}

double FourthMomentFromAbsorption(std::span<const double> x, std::span<const double> y, int c,
                                  int e) {
    return MomentsOfHalf(MomentKind::Absorption, x, y, c, e, 0).M4;
}

Moments ComputeMoments(MomentKind kind, std::span<const double> x, std::span<const double> y,
                       int lc, int rc, int mc, double modAmp) {
    const HalfMoments r = MomentsOfHalf(kind, x, y, mc, rc, modAmp);
    const HalfMoments l = MomentsOfHalf(kind, x, y, mc, lc, modAmp);
    Moments m;
    m.M2R = r.M2;
    m.M2L = l.M2;
    m.M4 = (r.M4 + l.M4) * 0.5;
    m.M2 = (m.M2R + m.M2L) * 0.5;
    return m;
}

MomentPlacement PlaceMomentCursors(std::span<const double> y, int first, int last, int centre) {
    MomentPlacement p;
    p.Slots.MC = centre;
    const int n = Size(y);
    if (n > 0) {
        const int f = Clamp(first, n);
        const int l = Clamp(last, n);
        using scan::Stop;
        const auto i = static_cast<int>(scan::FirstStop<Stop::AbsNotBelow>(y.data(), f, l, 20));
        p.Slots.LC = i == l ? f : i;
        const auto j = static_cast<int>(scan::LastStop<Stop::AbsNotBelow>(y.data(), l, f, 20));
        p.Slots.RC = j == f ? l : j;
    }
    // Truncating division: halfway from MC towards LC.
    p.Index = p.Slots.MC + (p.Slots.LC - p.Slots.MC) / 2;
    return p;
}

Cursors LineWidthCursors(std::span<const double> source) {
    return LineWidthCursors(FindExtremes(source));
}

Cursors LineWidthCursors(const Extremes& extremes) {
    Cursors c;
    c.LC = extremes.Min;
    c.RC = extremes.Max;
    if (c.LC > c.RC)
        std::swap(c.LC, c.RC);
    return c;
}

Cursors IntegralCursors(int count) {
    Cursors c;
    c.LC = count / 10;
    c.RC = count - count / 10;
    // Below 10 points count - count div 10 is one past the last point.
    if (count > 0 && c.RC > count - 1)
        c.RC = count - 1;
    return c;
}

double LineWidth(std::span<const double> x, int lc, int rc) {
    const int n = Size(x);
    if (n == 0)
        return 0;
    return std::fabs(At(x, Clamp(lc, n)) - At(x, Clamp(rc, n)));
}

HalfHeightResult FindHalfHeight(std::span<const double> y, int first, int last) {
    return FindHalfHeight(y, first, last, FindExtremes(y));
}

HalfHeightResult FindHalfHeight(std::span<const double> y, int first, int last,
                                const Extremes& extremes) {
    HalfHeightResult r;
    const int n = Size(y);
    if (n == 0) {
        r.Error = "Lack of begining value";
        return r;
    }
    const double top = extremes.Highest, bottom = extremes.Lowest;
    const double half = (top - bottom) * 0.5 + bottom;
    const int f = Clamp(first, n);
    const int l = Clamp(last, n);

    // Each search runs until (y > half) == below.
    using scan::Stop;
    bool below = At(y, f) < half;
    const auto i = static_cast<int>(below ? scan::FirstStop<Stop::Above>(y.data(), f, l, half)
                                          : scan::FirstStop<Stop::NotAbove>(y.data(), f, l, half));
    if ((At(y, i) > half) != below) {
        r.Error = "Lack of begining value";
        return r;
    }
    below = At(y, l) < half;
    const auto j = static_cast<int>(below ? scan::LastStop<Stop::Above>(y.data(), l, f, half)
                                          : scan::LastStop<Stop::NotAbove>(y.data(), l, f, half));
    if ((At(y, j) > half) != below || i >= j) {
        r.Error = "Lack of ending value";
        return r;
    }
    r.Found = true;
    r.LC = i;
    r.RC = At(y, j) == half ? j : j + 1;
    return r;
}

double GFactor(double x, double fieldB0Gs, double frequencyKHz) {
    const double b = x + fieldB0Gs;
    return (frequencyKHz * 0.000001) / (b * 0.0001) * 0.07144771;
}

std::string MomentText(double m2) {
    return FormatN(m2, 9, 3) + " Gs \u00B2";
}

std::string FourthMomentText(double m4) {
    return FormatN(m4, 9, 3) + " Gs";
}

std::string WidthText(double width, const std::string& unit) {
    return FormatN(width, 6, 2) + " " + unit;
}

std::string AreaText(double sum) {
    return FloatToStrFNumber(sum, 9, 0);
}

std::string CursorXText(double x, const std::string& unit, bool blankBeforeUnit) {
    std::string text = x > 0 ? "+" : "";
    text += FloatToStrFNumber(x, 6, 2);
    if (blankBeforeUnit)
        text += ' ';
    return text + unit;
}

std::string GFactorText(double g) {
    return FormatN(g, 8, 4);
}

} // namespace tavi
