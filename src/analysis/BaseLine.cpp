// SPDX-License-Identifier: GPL-3.0-or-later
// Base line from chosen regions, the double integral and the moments of the
// absorption with their errors from the base line's noise.
#include "analysis/Analysis.h"

#include <algorithm>
#include <gsl/gsl_multifit.h>
#include <memory>
#include <sstream>

namespace tavi::analysis {

namespace {

std::string Num(double v) {
    std::ostringstream o;
    o << v;
    return o.str();
}

std::string RegionText(const Interval& r) {
    return Num(r.From) + ":" + Num(r.To);
}

Interval Ordered(Interval r) {
    if (r.From > r.To)
        std::swap(r.From, r.To);
    return r;
}

std::string CheckSpectrum(const Spectrum& s) {
    if (s.X.size() != s.Y.size())
        return "The spectrum's X and Y differ in length";
    if (s.X.size() < 2)
        return "The spectrum holds fewer than two points";
    for (std::size_t i = 0; i < s.X.size(); ++i)
        if (!std::isfinite(s.X[i]) || !std::isfinite(s.Y[i]))
            return "The spectrum holds a value that is not finite at point " + std::to_string(i);
    return {};
}

bool Inside(double x, const Interval& r) {
    return x >= r.From && x <= r.To;
}

// Half the sweep, so that powers of X/h stay near 1 in the least squares.
double HalfSpan(const Spectrum& s) {
    const auto [lo, hi] = std::minmax_element(s.X.begin(), s.X.end());
    const double h = std::max(std::abs(*lo), std::abs(*hi));
    return h > 0 ? h : 1;
}

// The indices [first, last] of the points inside range, or an error.
struct IndexRange {
    std::string Error;
    Interval Range;
    std::size_t First = 0;
    std::size_t Last = 0;
};

IndexRange PointsIn(const Spectrum& s, std::optional<Interval> range) {
    IndexRange out;
    out.Range = range ? Ordered(*range) : Interval{s.X.front(), s.X.back()};
    if (!std::isfinite(out.Range.From) || !std::isfinite(out.Range.To)) {
        out.Error = "The integral interval is not finite";
        return out;
    }
    bool any = false;
    for (std::size_t i = 0; i < s.X.size(); ++i) {
        if (!Inside(s.X[i], out.Range))
            continue;
        if (!any)
            out.First = i;
        out.Last = i;
        any = true;
    }
    if (!any || out.Last == out.First)
        out.Error = "The integral interval " + RegionText(out.Range) + " covers fewer than two points";
    return out;
}

// The absorption (running trapezoid integral of y from the interval's first
// point) and, for each point, the trapezoid weight of the outer integral.
struct Absorption {
    std::vector<double> X, A, W, Step;
};

Absorption Integrate(const Spectrum& s, const std::vector<double>& y, const IndexRange& r) {
    Absorption a;
    const std::size_t n = r.Last - r.First + 1;
    a.X.assign(s.X.begin() + static_cast<std::ptrdiff_t>(r.First),
               s.X.begin() + static_cast<std::ptrdiff_t>(r.Last) + 1);
    a.A.assign(n, 0);
    a.W.assign(n, 0);
    a.Step.assign(n, 0);
    for (std::size_t j = 1; j < n; ++j) {
        const double dx = a.X[j] - a.X[j - 1];
        a.Step[j] = dx;
        a.A[j] = a.A[j - 1] + 0.5 * dx * (y[r.First + j - 1] + y[r.First + j]);
        a.W[j - 1] += 0.5 * dx;
        a.W[j] += 0.5 * dx;
    }
    return a;
}

// Gradient of sum_j W_j f_j A_j with respect to the derivative's points:
// A is linear in y, so the suffix sums of W f carry each point's weight.
std::vector<double> Gradient(const Absorption& a, const std::vector<double>& f) {
    const std::size_t n = a.A.size();
    std::vector<double> suffix(n + 1, 0);
    for (std::size_t j = n; j-- > 0;)
        suffix[j] = suffix[j + 1] + a.W[j] * f[j];
    std::vector<double> g(n, 0);
    for (std::size_t m = 1; m < n; ++m) {
        const double part = 0.5 * a.Step[m] * suffix[m];
        g[m - 1] += part;
        g[m] += part;
    }
    return g;
}

double Norm(const std::vector<double>& g) {
    double sum = 0;
    for (double v : g)
        sum += v * v;
    return std::sqrt(sum);
}

} // namespace

std::vector<Interval> DefaultRegions(const Spectrum& s) {
    if (s.X.empty())
        return {};
    const double lo = s.X.front(), hi = s.X.back(), tenth = (hi - lo) / 10;
    return {{lo, lo + tenth}, {hi - tenth, hi}};
}

BaseLineFit FitBaseLine(const Spectrum& s, const BaseLineOptions& options) {
    BaseLineFit out;
    out.Order = options.Order;
    if (out.Error = CheckSpectrum(s); !out.Ok())
        return out;
    if (options.Order < 0 || options.Order > 3) {
        out.Error = "The base-line order must be 0 to 3, not " + std::to_string(options.Order);
        return out;
    }
    out.Regions = options.Regions.empty() ? DefaultRegions(s) : options.Regions;
    std::vector<std::size_t> points;
    for (Interval& r : out.Regions) {
        if (!std::isfinite(r.From) || !std::isfinite(r.To)) {
            out.Error = "A base-line region is not finite";
            return out;
        }
        r = Ordered(r);
        if (r.From == r.To) {
            out.Error = "The base-line region " + RegionText(r) + " is empty";
            return out;
        }
        const std::size_t before = points.size();
        for (std::size_t i = 0; i < s.X.size(); ++i)
            if (Inside(s.X[i], r))
                points.push_back(i);
        if (points.size() == before) {
            out.Error = "The base-line region " + RegionText(r) + " covers no point";
            return out;
        }
    }
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    const std::size_t terms = static_cast<std::size_t>(options.Order) + 1;
    // One point more than terms, so that the noise rests on at least one.
    if (points.size() < terms + 1) {
        out.Error = "A base line of order " + std::to_string(options.Order) + " needs at least " +
                    std::to_string(terms + 1) + " points in its regions; they hold " +
                    std::to_string(points.size());
        return out;
    }

    const double h = HalfSpan(s);
    const std::size_t n = points.size();
    std::unique_ptr<gsl_matrix, decltype(&gsl_matrix_free)> X(gsl_matrix_alloc(n, terms),
                                                              gsl_matrix_free);
    std::unique_ptr<gsl_vector, decltype(&gsl_vector_free)> y(gsl_vector_alloc(n), gsl_vector_free);
    std::unique_ptr<gsl_vector, decltype(&gsl_vector_free)> c(gsl_vector_alloc(terms),
                                                              gsl_vector_free);
    std::unique_ptr<gsl_matrix, decltype(&gsl_matrix_free)> cov(gsl_matrix_alloc(terms, terms),
                                                                gsl_matrix_free);
    std::unique_ptr<gsl_multifit_linear_workspace, decltype(&gsl_multifit_linear_free)> work(
        gsl_multifit_linear_alloc(n, terms), gsl_multifit_linear_free);
    for (std::size_t k = 0; k < n; ++k) {
        const double u = s.X[points[k]] / h;
        double p = 1;
        for (std::size_t j = 0; j < terms; ++j, p *= u)
            gsl_matrix_set(X.get(), k, j, p);
        gsl_vector_set(y.get(), k, s.Y[points[k]]);
    }
    double chisq = 0;
    std::size_t rank = 0;
    if (gsl_multifit_linear_tsvd(X.get(), y.get(), 1e-12, c.get(), cov.get(), &chisq, &rank,
                                 work.get()) != 0 ||
        rank < terms) {
        out.Error = "The base-line regions do not determine a base line of order " +
                    std::to_string(options.Order);
        return out;
    }
    out.Coefficients.resize(terms);
    double scale = 1;
    for (std::size_t j = 0; j < terms; ++j, scale *= h)
        out.Coefficients[j] = gsl_vector_get(c.get(), j) / scale;
    out.Corrected.resize(s.X.size());
    for (std::size_t i = 0; i < s.X.size(); ++i) {
        const double u = s.X[i] / h;
        double b = 0;
        for (std::size_t j = terms; j-- > 0;)
            b = b * u + gsl_vector_get(c.get(), j);
        out.Corrected[i] = s.Y[i] - b;
    }
    double sum = 0;
    for (std::size_t i : points)
        sum += out.Corrected[i] * out.Corrected[i];
    out.NoisePoints = static_cast<int>(n);
    out.NoiseRms = std::sqrt(sum / static_cast<double>(n - terms));
    return out;
}

DoubleIntegralResult DoubleIntegral(const Spectrum& s, const BaseLineFit& base,
                                    std::optional<Interval> range) {
    DoubleIntegralResult out;
    if (!base.Ok() || base.Corrected.size() != s.X.size()) {
        out.Error = base.Ok() ? "The base line does not belong to this spectrum" : base.Error;
        return out;
    }
    const IndexRange r = PointsIn(s, range);
    out.Range = r.Range;
    if (out.Error = r.Error; !out.Ok())
        return out;
    const Absorption a = Integrate(s, base.Corrected, r);
    double v = 0;
    for (std::size_t j = 0; j < a.A.size(); ++j)
        v += a.W[j] * a.A[j];
    out.Value.Value = v;
    out.Value.Error = base.NoiseRms * Norm(Gradient(a, std::vector<double>(a.A.size(), 1.0)));
    const double norm = s.Gain * s.ModAmp;
    if (std::isfinite(norm) && norm > 0) {
        out.Normalised.Value = v / norm;
        out.Normalised.Error = out.Value.Error / norm;
    }
    return out;
}

Measured SpinRatio(const DoubleIntegralResult& sample, const DoubleIntegralResult& reference) {
    Measured m;
    const Measured& a = sample.Normalised;
    const Measured& b = reference.Normalised;
    if (!sample.Ok() || !reference.Ok() || !std::isfinite(a.Value) || !std::isfinite(b.Value) ||
        b.Value == 0)
        return m;
    m.Value = a.Value / b.Value;
    const double ra = a.Error / a.Value, rb = b.Error / b.Value;
    m.Error = std::abs(m.Value) * std::sqrt(ra * ra + rb * rb);
    return m;
}

TrueMoments MomentsOfAbsorption(const Spectrum& s, const BaseLineFit& base,
                                std::optional<Interval> range) {
    TrueMoments out;
    if (!base.Ok() || base.Corrected.size() != s.X.size()) {
        out.Error = base.Ok() ? "The base line does not belong to this spectrum" : base.Error;
        return out;
    }
    const IndexRange r = PointsIn(s, range);
    if (out.Error = r.Error; !out.Ok())
        return out;
    const Absorption a = Integrate(s, base.Corrected, r);
    const std::size_t n = a.A.size();
    double m0 = 0, m1 = 0;
    for (std::size_t j = 0; j < n; ++j) {
        m0 += a.W[j] * a.A[j];
        m1 += a.W[j] * a.A[j] * a.X[j];
    }
    if (!(std::abs(m0) > 0) || !std::isfinite(m0)) {
        out.Error = "The absorption has no area in the interval";
        return out;
    }
    const double c = m1 / m0;
    std::vector<double> d1(n), d2(n), d4(n), ones(n, 1.0);
    double n2 = 0, n3 = 0, n4 = 0;
    for (std::size_t j = 0; j < n; ++j) {
        const double d = a.X[j] - c;
        d1[j] = d;
        d2[j] = d * d;
        d4[j] = d2[j] * d2[j];
        n2 += a.W[j] * a.A[j] * d2[j];
        n3 += a.W[j] * a.A[j] * d2[j] * d;
        n4 += a.W[j] * a.A[j] * d4[j];
    }
    out.Centre = c;
    out.M2.Value = n2 / m0;
    out.M4.Value = n4 / m0;
    out.M4OverM2Sq = out.M4.Value / (out.M2.Value * out.M2.Value);
    // d(M2)/dc vanishes about the first moment; M4 keeps a term in M3.
    const std::vector<double> r0 = Gradient(a, ones), r1 = Gradient(a, d1), r2 = Gradient(a, d2),
                              r4 = Gradient(a, d4);
    const double m3 = n3 / m0;
    std::vector<double> g2(n), g4(n);
    for (std::size_t i = 0; i < n; ++i) {
        g2[i] = (r2[i] - out.M2.Value * r0[i]) / m0;
        g4[i] = (r4[i] - out.M4.Value * r0[i] - 4 * m3 * r1[i]) / m0;
    }
    out.M2.Error = base.NoiseRms * Norm(g2);
    out.M4.Error = base.NoiseRms * Norm(g4);
    return out;
}

} // namespace tavi::analysis
