// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/UM2.h"

#include "common/Usr.h"
#include "params/NumFormat.h"

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

// Sums of Y * j^p over the visit from c towards e, weights j = 1..count. The
// weights go into long double: j^5 reaches 1.2e24 at 65535 points.
struct WeightedSums {
    long double Numerator = 0;
    long double Denominator = 0;
    long double Dx = 0;
};

WeightedSums Visit(std::span<const double> x, std::span<const double> y, int c, int e,
                   int numeratorPower, int denominatorPower) {
    WeightedSums s;
    const int n = Size(y);
    if (n == 0)
        return s;
    // Cursors outside the curve are held at its ends.
    c = Clamp(c, n);
    e = Clamp(e, n);
    if (x.size() >= 2)
        s.Dx = static_cast<long double>(x[1]) - x[0];
    const int dir = e - c > 0 ? 1 : -1;
    const int count = std::abs(e - c) + 1;
    for (int j = 1; j <= count; ++j) {
        const long double v = At(y, c + (j - 1) * dir);
        const long double w = j;
        long double num = v, den = v;
        for (int p = 0; p < numeratorPower; ++p)
            num *= w;
        for (int p = 0; p < denominatorPower; ++p)
            den *= w;
        s.Numerator += num;
        s.Denominator += den;
    }
    return s;
}

} // namespace

int FindCentreIndex(std::span<const double> source, std::span<const double> baseLine) {
    const int a = IndexOfMinimum(source);
    const int b = IndexOfMaximum(source);
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
    const WeightedSums s = Visit(x, y, c, e, 3, 1);
    if (s.Denominator == 0)
        return 0;
    return static_cast<double>(s.Numerator / s.Denominator * (s.Dx * s.Dx) / 3 -
                               ModulationCorrection(modAmp));
}

double MomentFromAbsorption(std::span<const double> x, std::span<const double> y, int c, int e,
                            double modAmp) {
    const WeightedSums s = Visit(x, y, c, e, 2, 0);
    if (s.Denominator == 0)
        return 0;
    return static_cast<double>(s.Numerator / s.Denominator * (s.Dx * s.Dx) -
                               ModulationCorrection(modAmp));
}

double FourthMomentFromDerivative(std::span<const double> x, std::span<const double> y, int c,
                                  int e) {
    const WeightedSums s = Visit(x, y, c, e, 5, 1);
    if (s.Denominator == 0)
        return 0;
    const long double dx2 = s.Dx * s.Dx;
    return static_cast<double>(s.Numerator / s.Denominator * (dx2 * dx2) * 0.2L);
}

double FourthMomentFromAbsorption(std::span<const double> x, std::span<const double> y, int c,
                                  int e) {
    const WeightedSums s = Visit(x, y, c, e, 4, 0);
    if (s.Denominator == 0)
        return 0;
    const long double dx2 = s.Dx * s.Dx;
    return static_cast<double>(s.Numerator / s.Denominator * (dx2 * dx2));
}

Moments ComputeMoments(MomentKind kind, std::span<const double> x, std::span<const double> y,
                       int lc, int rc, int mc, double modAmp) {
    Moments m;
    if (kind == MomentKind::Derivative) {
        m.M2R = MomentFromDerivative(x, y, mc, rc, modAmp);
        m.M2L = MomentFromDerivative(x, y, mc, lc, modAmp);
        const double m4r = FourthMomentFromDerivative(x, y, mc, rc);
        const double m4l = FourthMomentFromDerivative(x, y, mc, lc);
        m.M4 = (m4r + m4l) * 0.5;
    } else {
        m.M2R = MomentFromAbsorption(x, y, mc, rc, modAmp);
        m.M2L = MomentFromAbsorption(x, y, mc, lc, modAmp);
        const double m4r = FourthMomentFromAbsorption(x, y, mc, rc);
        const double m4l = FourthMomentFromAbsorption(x, y, mc, lc);
        m.M4 = (m4r + m4l) * 0.5;
    }
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
        int i = f;
        while (i < l && std::fabs(At(y, i)) < 20)
            ++i;
        p.Slots.LC = i == l ? f : i;
        int j = l;
        while (j > f && std::fabs(At(y, j)) < 20)
            --j;
        p.Slots.RC = j == f ? l : j;
    }
    // Truncating division: halfway from MC towards LC.
    p.Index = p.Slots.MC + (p.Slots.LC - p.Slots.MC) / 2;
    return p;
}

Cursors LineWidthCursors(std::span<const double> source) {
    Cursors c;
    c.LC = IndexOfMinimum(source);
    c.RC = IndexOfMaximum(source);
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
    HalfHeightResult r;
    const int n = Size(y);
    if (n == 0) {
        r.Error = "Lack of begining value";
        return r;
    }
    const auto [lo, hi] = std::minmax_element(y.begin(), y.end());
    const double top = *hi, bottom = *lo;
    const double half = (top - bottom) * 0.5 + bottom;
    const int f = Clamp(first, n);
    const int l = Clamp(last, n);

    bool below = At(y, f) < half;
    int i = f;
    while ((At(y, i) > half) != below && i < l)
        ++i;
    if ((At(y, i) > half) != below) {
        r.Error = "Lack of begining value";
        return r;
    }
    below = At(y, l) < half;
    int j = l;
    while ((At(y, j) > half) != below && j > f)
        --j;
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
