// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/UIntegration.h"

#include "common/Usr.h"
#include "processing/CurveScan.h"

#include <algorithm>
#include <cstddef>

namespace tavi {

namespace {

int Size(std::span<const double> s) {
    return static_cast<int>(std::min<std::size_t>(s.size(), 0x7FFFFFFF));
}

} // namespace

int BaseLineSampleCount(int n) {
    if (n <= 0)
        return 0;
    // n * 10 * 0.01 rounded with halves to even, done in integers so that no
    // binary fraction of 0.01 can move a half.
    int m = n / 10;
    int rem = n % 10;
    if (rem > 5 || (rem == 5 && m % 2 != 0))
        ++m;
    return m;
}

BaseLine FitBaseLine(std::span<const double> y) {
    const int n = Size(y);
    const int m = BaseLineSampleCount(n);
    BaseLine line;
    // Fewer than 5 points leave nothing to average: a zero base line.
    if (m == 0)
        return line;
    long double a = 0, b = 0;
    for (int i = 0; i < m; ++i)
        a += y[static_cast<std::size_t>(i)];
    for (int i = n - 1; i >= n - m; --i)
        b += y[static_cast<std::size_t>(i)];
    a /= m;
    b /= m;
    // Divided by the count, not by count - 1: the line at the last point is
    // short of B by one step.
    line.Slope = static_cast<double>((b - a) / n);
    line.Offset = static_cast<double>(a);
    return line;
}

void BaseLineValues(const BaseLine& line, int n, std::vector<double>& out) {
    out.resize(static_cast<std::size_t>(std::max(n, 0)));
    for (int i = 0; i < n; ++i)
        out[static_cast<std::size_t>(i)] = line.At(i);
}

void DerivativeValues(std::span<const double> source, std::span<const double> baseLine, int from,
                      int to, std::vector<double>& out) {
    to = std::min({to, Size(source) - 1, Size(baseLine) - 1});
    if (from < 0 || to < from) {
        out.clear();
        return;
    }
    const auto f = static_cast<std::size_t>(from);
    out.resize(static_cast<std::size_t>(to - from + 1));
    for (std::size_t k = 0; k < out.size(); ++k)
        out[k] = source[f + k] - baseLine[f + k];
}

void UpdateDerivativeValues(std::span<const double> source, std::span<const double> baseLine,
                            std::span<double> out) {
    const std::size_t n = std::min({out.size(), source.size(), baseLine.size()});
    for (std::size_t i = 0; i < n; ++i)
        out[i] = source[i] - baseLine[i];
}

Extremes FindExtremes(std::span<const double> y) {
    Extremes e;
    if (y.empty())
        return e;
    const scan::Bounds b = scan::LowestHighest(y.data(), y.size());
    e.Lowest = b.Lowest;
    e.Highest = b.Highest;
    // The first occurrences; the bounds of the index searches are kept.
    const auto n = static_cast<std::ptrdiff_t>(y.size());
    if (b.Lowest < 500)
        e.Min = static_cast<int>(scan::FirstStop<scan::Stop::Equal>(y.data(), 0, n, b.Lowest));
    if (b.Highest > -500)
        e.Max = static_cast<int>(scan::FirstStop<scan::Stop::Equal>(y.data(), 0, n, b.Highest));
    return e;
}

int AbsorptionFactor(std::span<const double> source) {
    return AbsorptionFactor(FindExtremes(source));
}

int AbsorptionFactor(const Extremes& sourceExtremes) {
    return sourceExtremes.Min > sourceExtremes.Max ? 1 : -1;
}

void Integrator::Init(bool autoScale) {
    AutoScale = autoScale;
    Scale = 1;
}

double Integrator::Height(const IntegratorSource& src, int i) const {
    const auto k = static_cast<std::size_t>(i);
    double h = src.Y[k];
    if (!src.BaseLine.empty())
        h -= src.BaseLine[k];
    return h;
}

double Integrator::StepArea(const IntegratorSource& src, int i) const {
    const auto k = static_cast<std::size_t>(i);
    return (src.X[k] - src.X[k - 1]) * ((Height(src, i - 1) + Height(src, i)) * 0.5) * Factor;
}

void Integrator::Integrate(const IntegratorSource& src, int first, int last, double axisMinimum,
                           double axisMaximum, std::vector<double>& outX,
                           std::vector<double>& outY) {
    Sum = 0;
    // Only indices that every array holds may be read.
    int count = std::min(Size(src.X), Size(src.Y));
    if (!src.BaseLine.empty())
        count = std::min(count, Size(src.BaseLine));
    const int visibleFrom = std::max(src.VisibleFrom, 0);
    const int visibleTo = std::min(src.VisibleTo, count - 1);
    // dx needs two points; nothing visible means nothing to draw.
    if (count < 2 || visibleTo < visibleFrom) {
        outX.clear();
        outY.clear();
        return;
    }

    const double x0 = src.X[0];
    const double dx = src.X[1] - x0;
    if (visibleFrom > first)
        first = visibleFrom;
    if (visibleTo < last)
        last = visibleTo;
    // A first index beyond the data (a cursor past the end) is held at the
    // last point; the output is then that single point.
    first = std::min(first, count - 1);

    const std::size_t points = last >= first ? static_cast<std::size_t>(last - first + 1) : 1;
    // Every element is written below: a buffer kept from the last call is
    // resized without clearing, so it is not zeroed first.
    outX.resize(points);
    outY.resize(points);
    double* xOut = outX.data();
    for (int k = 0; k < static_cast<int>(points); ++k)
        xOut[k] = x0 + (first + k) * dx;

    // The step areas first, in a loop without a carried sum; then the running
    // sum, whose additions keep their order so that every value is as before.
    const auto f = static_cast<std::size_t>(first);
    const double factor = Factor;
    const double* xs = src.X.data();
    const double* ys = src.Y.data();
    if (src.BaseLine.empty()) {
        for (std::size_t k = 1; k < points; ++k) {
            const std::size_t i = f + k;
            outY[k] = (xs[i] - xs[i - 1]) * ((ys[i - 1] + ys[i]) * 0.5) * factor;
        }
    } else {
        const double* bs = src.BaseLine.data();
        for (std::size_t k = 1; k < points; ++k) {
            const std::size_t i = f + k;
            outY[k] =
                (xs[i] - xs[i - 1]) * (((ys[i - 1] - bs[i - 1]) + (ys[i] - bs[i])) * 0.5) * factor;
        }
    }

    // The running sum lives in a register: as the member it would go through
    // memory on every step, since the output might alias it.
    double* y = outY.data();
    double sum = 0;
    y[0] = 0;
    const auto n = static_cast<std::ptrdiff_t>(points);
    if (AutoScale) {
        double top = Height(src, first);
        double bottom = top;
        for (std::ptrdiff_t k = 1; k < n; ++k) {
            sum += y[k];
            y[k] = sum;
            top = sum > top ? sum : top;
            bottom = sum < bottom ? sum : bottom;
        }
        Sum = sum;
        double k1 = 1, k2 = 1;
        if (Scale * top > axisMaximum && top > 0)
            k1 = axisMaximum / top;
        if (Scale * bottom < axisMinimum && bottom < 0)
            k2 = axisMinimum / bottom;
        const double k = std::min(k1, k2);
        if (k > 0 && k < 1)
            Scale = 0.8 * k;
        const double scale = Scale;
        for (std::ptrdiff_t i = 0; i < n; ++i)
            y[i] *= scale;
    } else {
        const double scale = Scale;
        for (std::ptrdiff_t k = 1; k < n; ++k) {
            sum += y[k];
            y[k] = sum * scale;
        }
        Sum = sum;
    }
}

} // namespace tavi
