// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/UIntegration.h"

#include "common/Usr.h"
#include "processing/CurveScan.h"

#include <algorithm>
#include <cstddef>
#include <limits>

namespace tavi {

namespace {

int Size(std::span<const double> s) {
    return static_cast<int>(std::min<std::size_t>(s.size(), 0x7FFFFFFF));
}

using Lanes = double __attribute__((vector_size(4 * sizeof(double))));
using LaneMask = long long __attribute__((vector_size(4 * sizeof(long long))));

// The sum of y[0..m) when every value is an integer of at most 2^31 (a loaded
// file's are): every partial sum of up to 65535 of them is then exact, in
// double and in any order, so it is the long double sum of the plain loop.
TAVI_POINT_LOOP bool IntegerSum(const double* y, int m, double& sum) {
    constexpr double kRound = 6755399441055744.0; // 1.5 * 2^52: rounds to an integer
    constexpr double kLimit = 2147483648.0;
    Lanes s = {};
    LaneMask bad = {};
    int i = 0;
    for (; i + 4 <= m; i += 4) {
        const Lanes v = {y[i], y[i + 1], y[i + 2], y[i + 3]};
        s += v;
        bad |= ((v + kRound) - kRound != v) | (v > kLimit) | (v < -kLimit);
    }
    double total = (s[0] + s[1]) + (s[2] + s[3]);
    bool ok = (bad[0] | bad[1] | bad[2] | bad[3]) == 0;
    for (; i < m; ++i) {
        total += y[i];
        ok = ok && (y[i] + kRound) - kRound == y[i] && y[i] <= kLimit && y[i] >= -kLimit;
    }
    sum = total;
    return ok;
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
    double exactA = 0, exactB = 0;
    if (IntegerSum(y.data(), m, exactA) && IntegerSum(y.data() + (n - m), m, exactB)) {
        a = exactA;
        b = exactB;
    } else {
        for (int i = 0; i < m; ++i)
            a += y[static_cast<std::size_t>(i)];
        for (int i = n - 1; i >= n - m; --i)
            b += y[static_cast<std::size_t>(i)];
    }
    a /= m;
    b /= m;
    // Divided by the count, not by count - 1: the line at the last point is
    // short of B by one step.
    line.Slope = static_cast<double>((b - a) / n);
    line.Offset = static_cast<double>(a);
    return line;
}

namespace {

TAVI_POINT_LOOP void LineValues(double slope, double offset, int n, double* out) {
    for (int i = 0; i < n; ++i)
        out[i] = slope * i + offset; // BaseLine::At
}

TAVI_POINT_LOOP void LineAndDifference(double slope, double offset, const double* y, int n,
                                       double* line, double* difference) {
    for (int i = 0; i < n; ++i) {
        const double b = slope * i + offset; // BaseLine::At
        line[i] = b;
        difference[i] = y[i] - b;
    }
}

TAVI_POINT_LOOP void DifferenceFromLine(double slope, double offset, const double* y, int n,
                                        double* difference) {
    for (int i = 0; i < n; ++i)
        difference[i] = y[i] - (slope * i + offset); // BaseLine::At, rounded as stored
}

TAVI_POINT_LOOP void Difference(const double* a, const double* b, std::size_t n, double* out) {
    for (std::size_t i = 0; i < n; ++i)
        out[i] = a[i] - b[i];
}

} // namespace

void BaseLineValues(const BaseLine& line, int n, std::vector<double>& out) {
    out.resize(static_cast<std::size_t>(std::max(n, 0)));
    LineValues(line.Slope, line.Offset, n, out.data());
}

void BaseLineAndDerivativeValues(const BaseLine& line, std::span<const double> source,
                                 std::vector<double>& baseLine, std::vector<double>& derivative) {
    const int n = Size(source);
    baseLine.resize(static_cast<std::size_t>(n));
    derivative.resize(static_cast<std::size_t>(n));
    LineAndDifference(line.Slope, line.Offset, source.data(), n, baseLine.data(),
                      derivative.data());
}

void DerivativeValues(const BaseLine& line, std::span<const double> source,
                      std::vector<double>& out) {
    const int n = Size(source);
    out.resize(static_cast<std::size_t>(n));
    DifferenceFromLine(line.Slope, line.Offset, source.data(), n, out.data());
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
    Difference(source.data() + f, baseLine.data() + f, out.size(), out.data());
}

void UpdateDerivativeValues(std::span<const double> source, std::span<const double> baseLine,
                            std::span<double> out) {
    Difference(source.data(), baseLine.data(),
               std::min({out.size(), source.size(), baseLine.size()}), out.data());
}

Extremes FindExtremes(std::span<const double> y) {
    if (y.empty())
        return {};
    const scan::Bounds b = scan::LowestHighest(y.data(), y.size());
    return FindExtremes(y, b.Lowest, b.Highest);
}

Extremes FindExtremes(std::span<const double> y, double lowest, double highest,
                      std::size_t lowestFrom, std::size_t highestFrom) {
    Extremes e;
    if (y.empty())
        return e;
    e.Lowest = lowest;
    e.Highest = highest;
    // The first occurrences; the bounds of the index searches are kept.
    const auto n = static_cast<std::ptrdiff_t>(y.size());
    const auto start = [&y](std::size_t from) {
        return static_cast<std::ptrdiff_t>(std::min(from, y.size()));
    };
    using scan::Stop;
    if (lowest < 500)
        e.Min =
            static_cast<int>(scan::FirstStop<Stop::Equal>(y.data(), start(lowestFrom), n, lowest));
    if (highest > -500)
        e.Max = static_cast<int>(
            scan::FirstStop<Stop::Equal>(y.data(), start(highestFrom), n, highest));
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

namespace {

// What Integrate works on once its indices are clamped to the data and to
// the visible range: Points values from First, X0 and Dx from the source.
struct Run {
    bool Empty = true;
    int First = 0;
    std::size_t Points = 0;
    double X0 = 0;
    double Dx = 0;
};

Run Resolve(const IntegratorSource& src, int first, int last) {
    Run r;
    // Only indices that every array holds may be read.
    int count = std::min(Size(src.X), Size(src.Y));
    if (!src.BaseLine.empty())
        count = std::min(count, Size(src.BaseLine));
    const int visibleFrom = std::max(src.VisibleFrom, 0);
    const int visibleTo = std::min(src.VisibleTo, count - 1);
    // dx needs two points; nothing visible means nothing to draw.
    if (count < 2 || visibleTo < visibleFrom)
        return r;
    r.Empty = false;
    r.X0 = src.X[0];
    r.Dx = src.X[1] - r.X0;
    if (visibleFrom > first)
        first = visibleFrom;
    if (visibleTo < last)
        last = visibleTo;
    // A first index beyond the data (a cursor past the end) is held at the
    // last point; the output is then that single point.
    r.First = std::min(first, count - 1);
    r.Points = last >= r.First ? static_cast<std::size_t>(last - r.First + 1) : 1;
    return r;
}

TAVI_POINT_LOOP void FillX(double* x, int n, double x0, int first, double dx) {
    for (int k = 0; k < n; ++k)
        x[k] = x0 + (first + k) * dx;
}

// Sizes both outputs (a buffer kept from the last call is not zeroed first:
// every element is written) and fills the X values.
void SizeAndFillX(const Run& r, std::vector<double>& outX, std::vector<double>& outY) {
    outX.resize(r.Points);
    outY.resize(r.Points);
    FillX(outX.data(), static_cast<int>(r.Points), r.X0, r.First, r.Dx);
}

// The step areas into outY[from..to), from >= 1, in a loop without a carried
// sum; the running sum then keeps the order of its additions, so every value
// is as before.
TAVI_POINT_LOOP void StepAreas(const double* xs, const double* ys, const double* bs,
                               std::size_t from, std::size_t to, double factor, double* outY) {
    if (bs == nullptr) {
        for (std::size_t i = from; i < to; ++i)
            outY[i] = (xs[i] - xs[i - 1]) * ((ys[i - 1] + ys[i]) * 0.5) * factor;
    } else {
        for (std::size_t i = from; i < to; ++i)
            outY[i] =
                (xs[i] - xs[i - 1]) * (((ys[i - 1] - bs[i - 1]) + (ys[i] - bs[i])) * 0.5) * factor;
    }
}

// The step areas of a run's points [from, to), from >= 1, into outY.
void StepAreas(const IntegratorSource& src, const Run& r, double factor, std::size_t from,
               std::size_t to, double* outY) {
    const auto f = static_cast<std::size_t>(r.First);
    StepAreas(src.X.data() + f, src.Y.data() + f,
              src.BaseLine.empty() ? nullptr : src.BaseLine.data() + f, from, to, factor, outY);
}

void StepAreas(const IntegratorSource& src, const Run& r, double factor, double* outY) {
    StepAreas(src, r, factor, 1, r.Points, outY);
    outY[0] = 0;
}

TAVI_POINT_LOOP void Multiply(double* y, std::size_t n, double k) {
    for (std::size_t i = 0; i < n; ++i)
        y[i] *= k;
}

// The auto scale of a running integral with these bounds.
double AutoScale(double scale, double top, double bottom, double axisMinimum, double axisMaximum) {
    double k1 = 1, k2 = 1;
    if (scale * top > axisMaximum && top > 0)
        k1 = axisMaximum / top;
    if (scale * bottom < axisMinimum && bottom < 0)
        k2 = axisMinimum / bottom;
    const double k = std::min(k1, k2);
    return k > 0 && k < 1 ? 0.8 * k : scale;
}

// The auto scale of a finished running integral, applied to it.
double AutoScaled(double scale, double top, double bottom, double axisMinimum, double axisMaximum,
                  double* y, std::size_t n) {
    scale = AutoScale(scale, top, bottom, axisMinimum, axisMaximum);
    Multiply(y, n, scale);
    return scale;
}

TAVI_POINT_LOOP void Scaled(const double* from, double* to, std::size_t n, double k) {
    for (std::size_t i = 0; i < n; ++i)
        to[i] = from[i] * k;
}

constexpr std::size_t kKeptBlock = 1024;

// The bounds of each whole block of kept sums from the one holding index
// from on (blocks of Sums[1..]), in the comparisons of Integrate's loop.
void KeepBlockBounds(KeptSums& kept, std::size_t from) {
    const std::size_t n = kept.Sums.size();
    const std::size_t j = (from - 1) / kKeptBlock;
    kept.BlockTop.resize(std::min(kept.BlockTop.size(), j));
    kept.BlockBottom.resize(kept.BlockTop.size());
    for (std::size_t k = 1 + kept.BlockTop.size() * kKeptBlock; k + kKeptBlock <= n;
         k += kKeptBlock) {
        double top = -std::numeric_limits<double>::infinity();
        double bottom = std::numeric_limits<double>::infinity();
        for (std::size_t i = k; i < k + kKeptBlock; ++i) {
            const double s = kept.Sums[i];
            top = s > top ? s : top;
            bottom = s < bottom ? s : bottom;
        }
        kept.BlockTop.push_back(top);
        kept.BlockBottom.push_back(bottom);
    }
}

// The state RunBothSums ends with.
struct TwoSums {
    double Sum = 0;
    double AreaSum = 0;
    double Top = 0;
    double Bottom = 0;
    double Lowest = 0;
    double Highest = 0;
    // Where the blocks begin that first reached the curve's lowest and
    // highest values: no point before holds them.
    std::ptrdiff_t LowestFrom = 0;
    std::ptrdiff_t HighestFrom = 0;
};

// What the joint pass makes each block of the curve from: the source's X and
// heights (above bs where given), as StepAreas reads them, and the curve's own
// X, x0 + i * dx, written into cx.
struct BlockSource {
    const double* Xs;
    const double* Ys;
    const double* Bs;
    double Factor;
    double X0;
    double Dx;
    double* Cx;
};

// The curve's X and step areas of points [b, e), b >= 1, made while the block
// is in the cache for the sums.
void MakeBlock(const BlockSource& s, double* y, std::ptrdiff_t b, std::ptrdiff_t e) {
    FillX(s.Cx + b, static_cast<int>(e - b), s.X0, static_cast<int>(b), s.Dx);
    StepAreas(s.Xs, s.Ys, s.Bs, static_cast<std::size_t>(b), static_cast<std::size_t>(e), s.Factor,
              y);
}

// Points of the joint pass's blocks: four arrays of them stay in the cache.
constexpr std::ptrdiff_t kSumBlock = 1024;

// While a block is summed (the additions wait on each other, the memory is
// idle) the lines of the next block's inputs and outputs are asked for: one
// line of each every eighth point, as step(i) runs for i in [b, e).
template <class Step>
[[gnu::always_inline]] inline void AskingAhead(const BlockSource& s, double* y, std::ptrdiff_t n,
                                               std::ptrdiff_t b, std::ptrdiff_t e, Step step) {
    std::ptrdiff_t i = b;
    for (; i + 8 <= e; i += 8) {
        const std::ptrdiff_t k = std::min(i + kSumBlock, n - 1);
        __builtin_prefetch(s.Xs + k, 0, 3);
        __builtin_prefetch(s.Ys + k, 0, 3);
        __builtin_prefetch(s.Cx + k, 1, 3);
        __builtin_prefetch(y + k, 1, 3);
        for (int j = 0; j < 8; ++j)
            step(i + j);
    }
    for (; i < e; ++i)
        step(i);
}

// The curve y (n points, y[0] = 0 and its X set) is made a block at a time:
// its X and step areas, then its running integral (times scale) over them;
// the area's running integral over [from, to] goes to ay, reading each value
// of the curve as it is made. Each sum keeps its order. The bounds of both are
// taken behind the sums while the block is in the cache, on vectors: the
// sums' loop then carries little but the sums. Without ay only the area's sum
// is made.
TAVI_POINT_LOOP void RunBothSums(const BlockSource& src, double* y, std::ptrdiff_t n, double scale,
                                 double* ay, std::ptrdiff_t from, std::ptrdiff_t to,
                                 double areaFactor, TwoSums& out) {
    constexpr std::ptrdiff_t kBlock = kSumBlock;
    const double* ax = src.Cx;
    scan::Bounds curve{y[0], y[0]};
    std::ptrdiff_t lowestFrom = 0, highestFrom = 0;
    auto bound = [&](std::ptrdiff_t b, std::size_t count) {
        const scan::Bounds next = scan::Continue(curve, y + b, count);
        if (next.Lowest < curve.Lowest)
            lowestFrom = b;
        if (next.Highest > curve.Highest)
            highestFrom = b;
        curve = next;
    };
    double sum = 0;
    auto curveOnly = [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        for (std::ptrdiff_t b = begin; b < end; b += kBlock) {
            const std::ptrdiff_t e = std::min(end, b + kBlock);
            MakeBlock(src, y, b, e);
            AskingAhead(src, y, n, b, e, [&](std::ptrdiff_t i) {
                sum += y[i];
                y[i] = sum * scale;
            });
            bound(b, static_cast<std::size_t>(e - b));
        }
    };
    curveOnly(1, from + 1);
    double areaSum = 0, previous = y[from];
    scan::Bounds area{previous, previous};
    double widths[kBlock]; // ax[i] - ax[i - 1] of the block, on vectors
    for (std::ptrdiff_t b = from + 1; b <= to; b += kBlock) {
        const std::ptrdiff_t e = std::min(to + 1, b + kBlock);
        MakeBlock(src, y, b, e);
        for (std::ptrdiff_t i = b; i < e; ++i)
            widths[i - b] = ax[i] - ax[i - 1];
        auto step = [&](std::ptrdiff_t i) {
            sum += y[i];
            const double v = sum * scale;
            y[i] = v;
            areaSum += widths[i - b] * ((previous + v) * 0.5) * areaFactor;
            previous = v;
        };
        const auto count = static_cast<std::size_t>(e - b);
        if (ay) {
            AskingAhead(src, y, n, b, e, [&](std::ptrdiff_t i) {
                step(i);
                ay[i - from] = areaSum;
            });
            area = scan::Continue(area, ay + (b - from), count);
        } else {
            AskingAhead(src, y, n, b, e, step);
        }
        bound(b, count);
    }
    curveOnly(to + 1, n);
    out = TwoSums{sum,          areaSum,       area.Highest, area.Lowest,
                  curve.Lowest, curve.Highest, lowestFrom,   highestFrom};
}

} // namespace

bool IntegrateWithArea(Integrator& curve, const IntegratorSource& src, double areaFactor,
                       int areaFirst, int areaLast, std::vector<double>& curveX,
                       std::vector<double>& curveY, PendingArea& area, Extremes& curveExtremes) {
    const Run r = Resolve(src, 0, std::numeric_limits<int>::max());
    if (curve.AutoScale || r.Empty || r.First != 0 ||
        r.Points != static_cast<std::size_t>(std::min(Size(src.X), Size(src.Y))))
        return false;
    curve.Sum = 0;
    curveX.resize(r.Points);
    curveY.resize(r.Points);
    double* y = curveY.data();
    y[0] = 0;
    // The first two X values now: the area's spacing is taken from them.
    FillX(curveX.data(), 2, r.X0, 0, r.Dx);

    const IntegratorSource areaSource{curveX, curveY, {}, 0, static_cast<int>(r.Points) - 1};
    const Run a = Resolve(areaSource, areaFirst, areaLast);
    double* ay = nullptr;
    if (area.SumOnly) {
        area.X.clear();
        area.Y.clear();
    } else {
        SizeAndFillX(a, area.X, area.Y);
        ay = area.Y.data();
        ay[0] = 0;
    }

    const BlockSource blocks{src.X.data(),
                             src.Y.data(),
                             src.BaseLine.empty() ? nullptr : src.BaseLine.data(),
                             static_cast<double>(curve.Factor),
                             r.X0,
                             r.Dx,
                             curveX.data()};
    TwoSums t;
    RunBothSums(blocks, y, static_cast<std::ptrdiff_t>(r.Points), curve.Scale, ay, a.First,
                a.First + static_cast<std::ptrdiff_t>(a.Points) - 1, areaFactor, t);
    curve.Sum = t.Sum;
    area.First = a.First;
    area.Points = a.Points;
    area.Sum = t.AreaSum;
    area.Top = t.Top;
    area.Bottom = t.Bottom;

    // The first occurrences, as FindExtremes gives them.
    using scan::Stop;
    const auto n = static_cast<std::ptrdiff_t>(r.Points);
    curveExtremes = Extremes{0, 0, t.Lowest, t.Highest};
    if (t.Lowest < 500)
        curveExtremes.Min =
            static_cast<int>(scan::FirstStop<Stop::Equal>(y, t.LowestFrom, n, t.Lowest));
    if (t.Highest > -500)
        curveExtremes.Max =
            static_cast<int>(scan::FirstStop<Stop::Equal>(y, t.HighestFrom, n, t.Highest));
    return true;
}

bool AdoptPendingArea(Integrator& area, PendingArea& pending, const IntegratorSource& src,
                      int first, int last, double axisMinimum, double axisMaximum,
                      std::vector<double>& outX, std::vector<double>& outY) {
    const Run r = Resolve(src, first, last);
    if (!area.AutoScale || r.Empty || r.First != pending.First || r.Points != pending.Points ||
        pending.Y.size() != (pending.SumOnly ? 0 : r.Points))
        return false;
    pending.Curve = 0;
    if (pending.SumOnly) {
        outX.clear();
        outY.clear();
        area.Sum = pending.Sum;
        return true;
    }
    outX.swap(pending.X);
    outY.swap(pending.Y);
    area.Sum = pending.Sum;
    area.Scale = AutoScaled(area.Scale, pending.Top, pending.Bottom, axisMinimum, axisMaximum,
                            outY.data(), r.Points);
    return true;
}

void Integrator::Integrate(const IntegratorSource& src, int first, int last, double axisMinimum,
                           double axisMaximum, std::vector<double>& outX,
                           std::vector<double>& outY) {
    Sum = 0;
    const Run r = Resolve(src, first, last);
    if (r.Empty) {
        outX.clear();
        outY.clear();
        return;
    }
    SizeAndFillX(r, outX, outY);
    double* y = outY.data();
    StepAreas(src, r, Factor, y);

    // The running sum lives in a register: as the member it would go through
    // memory on every step, since the output might alias it.
    double sum = 0;
    const auto n = static_cast<std::ptrdiff_t>(r.Points);
    if (AutoScale) {
        double top = Height(src, r.First);
        double bottom = top;
        for (std::ptrdiff_t k = 1; k < n; ++k) {
            sum += y[k];
            y[k] = sum;
            top = sum > top ? sum : top;
            bottom = sum < bottom ? sum : bottom;
        }
        Sum = sum;
        Scale = AutoScaled(Scale, top, bottom, axisMinimum, axisMaximum, y, r.Points);
    } else {
        const double scale = Scale;
        for (std::ptrdiff_t k = 1; k < n; ++k) {
            sum += y[k];
            y[k] = sum * scale;
        }
        Sum = sum;
    }
}

void IntegrateKept(Integrator& area, KeptSums& kept, std::uint64_t curve,
                   const IntegratorSource& src, int first, int last, double axisMinimum,
                   double axisMaximum, std::vector<double>& outX, std::vector<double>& outY) {
    const Run r = Resolve(src, first, last);
    if (!area.AutoScale || r.Empty) {
        area.Integrate(src, first, last, axisMinimum, axisMaximum, outX, outY);
        return;
    }
    if (curve == 0 || kept.Curve != curve || kept.First != r.First || kept.Factor != area.Factor ||
        kept.Sums.empty()) {
        kept.Curve = curve;
        kept.First = r.First;
        kept.Factor = area.Factor;
        kept.Sums.assign(1, 0.0);
        kept.BlockTop.clear();
        kept.BlockBottom.clear();
    }
    const std::size_t n = r.Points;
    const std::size_t m = kept.Sums.size();
    if (n > m) {
        // The points beyond the kept ones, summed on from the last kept sum
        // in Integrate's order.
        kept.Sums.resize(n);
        double* s = kept.Sums.data();
        StepAreas(src, r, area.Factor, m, n, s);
        double sum = s[m - 1];
        for (std::size_t k = m; k < n; ++k) {
            sum += s[k];
            s[k] = sum;
        }
        KeepBlockBounds(kept, m);
    }
    // The bounds as Integrate's loop meets them: a block's first extreme is
    // the first of the run's wherever it beats the bound so far.
    double top = area.Height(src, r.First);
    double bottom = top;
    std::size_t k = 1;
    for (std::size_t j = 0; j < kept.BlockTop.size() && k + kKeptBlock <= n; ++j, k += kKeptBlock) {
        top = kept.BlockTop[j] > top ? kept.BlockTop[j] : top;
        bottom = kept.BlockBottom[j] < bottom ? kept.BlockBottom[j] : bottom;
    }
    const scan::Bounds rest = scan::Continue({bottom, top}, kept.Sums.data() + k, n - k);
    area.Sum = kept.Sums[n - 1];
    area.Scale = AutoScale(area.Scale, rest.Highest, rest.Lowest, axisMinimum, axisMaximum);
    SizeAndFillX(r, outX, outY);
    Scaled(kept.Sums.data(), outY.data(), n, area.Scale);
}

} // namespace tavi
