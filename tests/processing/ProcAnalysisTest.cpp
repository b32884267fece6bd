// SPDX-License-Identifier: GPL-3.0-or-later
// The batch analysis against a plain reference written from the measurement
// rules, on seeded random lines, plus its JSON and the smallest files.
#include "processing/ProcAnalysis.h"

#include <algorithm>
#include <cmath>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace tavi {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// ---- Reference: one straightforward loop per rule, no shared code. ----

struct Ref {
    double slope = 0, offset = 0;
    std::vector<double> base, deriv, ax, ay;
    int centre = 0, factor = 0;
    int dLC = 0, dRC = 0, aLC = 0, aRC = 0;
    double dM2L = 0, dM2R = 0, dM4 = 0, aM2L = 0, aM2R = 0, aM4 = 0;
    int sdbL = 0, sdbR = 0;
    double sdb = 0;
    bool hdbFound = false;
    int hdbL = 0, hdbR = 0;
    double hdb = 0;
    int aiL = 0, aiR = 0;
    double ai = 0;
    double g = 0;
};

int RefIndexOfMin(const std::vector<double>& y) {
    int k = 0;
    double bound = 500;
    for (std::size_t i = 0; i < y.size(); ++i)
        if (y[i] < bound)
            bound = y[i], k = static_cast<int>(i);
    return k;
}

int RefIndexOfMax(const std::vector<double>& y) {
    int k = 0;
    double bound = -500;
    for (std::size_t i = 0; i < y.size(); ++i)
        if (y[i] > bound)
            bound = y[i], k = static_cast<int>(i);
    return k;
}

void RefCursors(const std::vector<double>& y, int& lc, int& rc) {
    const int last = static_cast<int>(y.size()) - 1;
    lc = 0;
    for (int i = 0; i <= last; ++i)
        if (std::fabs(y[static_cast<std::size_t>(i)]) >= 20) {
            lc = i == last ? 0 : i;
            break;
        }
    rc = last;
    for (int i = last; i >= 0; --i)
        if (std::fabs(y[static_cast<std::size_t>(i)]) >= 20) {
            rc = i == 0 ? last : i;
            break;
        }
}

// Sum of y * j^p / sum of y * j^q from c towards e.
double RefRatio(const std::vector<double>& y, int c, int e, int p, int q) {
    long double num = 0, den = 0;
    const int count = std::abs(e - c) + 1, dir = e > c ? 1 : -1;
    for (int j = 1; j <= count; ++j) {
        const long double v = y[static_cast<std::size_t>(c + (j - 1) * dir)];
        num += v * std::pow(static_cast<long double>(j), p);
        den += v * std::pow(static_cast<long double>(j), q);
    }
    return den == 0 ? std::nan("") : static_cast<double>(num / den);
}

double RefM2(const std::vector<double>& y, double dx, int c, int e, bool derivative, double a) {
    const double r = derivative ? RefRatio(y, c, e, 3, 1) : RefRatio(y, c, e, 2, 0);
    if (std::isnan(r))
        return 0;
    return (derivative ? r / 3 : r) * dx * dx - a * a / 4;
}

double RefM4(const std::vector<double>& y, double dx, int c, int e, bool derivative) {
    const double r = derivative ? RefRatio(y, c, e, 5, 1) : RefRatio(y, c, e, 4, 0);
    if (std::isnan(r))
        return 0;
    return (derivative ? r / 5 : r) * std::pow(dx, 4);
}

Ref Reference(const LoadedDataFile& f) {
    Ref r;
    const auto& x = f.X;
    const auto& y = f.Y;
    const int n = static_cast<int>(y.size());
    const int m = static_cast<int>(std::nearbyint(n / 10.0));
    if (m > 0) {
        double a = 0, b = 0;
        for (int i = 0; i < m; ++i) {
            a += y[static_cast<std::size_t>(i)];
            b += y[static_cast<std::size_t>(n - 1 - i)];
        }
        a /= m;
        b /= m;
        r.slope = (b - a) / n;
        r.offset = a;
    }
    for (int i = 0; i < n; ++i) {
        r.base.push_back(r.offset + r.slope * i);
        r.deriv.push_back(y[static_cast<std::size_t>(i)] - r.base.back());
    }
    const int lo = RefIndexOfMin(y), hi = RefIndexOfMax(y);
    r.centre = n / 2;
    double best = 1000;
    for (int i = lo; i != hi; i += hi > lo ? 1 : -1) {
        const double d = std::fabs(r.deriv[static_cast<std::size_t>(i)]);
        if (d < best)
            best = d, r.centre = i;
    }
    const double dx = x[1] - x[0];

    RefCursors(r.deriv, r.dLC, r.dRC);
    r.dM2L = RefM2(r.deriv, dx, r.centre, r.dLC, true, f.ModAmpValue);
    r.dM2R = RefM2(r.deriv, dx, r.centre, r.dRC, true, f.ModAmpValue);
    r.dM4 =
        (RefM4(r.deriv, dx, r.centre, r.dLC, true) + RefM4(r.deriv, dx, r.centre, r.dRC, true)) / 2;
    r.sdbL = std::min(lo, hi);
    r.sdbR = std::max(lo, hi);
    r.sdb = std::fabs(x[static_cast<std::size_t>(lo)] - x[static_cast<std::size_t>(hi)]);

    r.factor = lo > hi ? 1 : -1;
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        if (i > 0)
            sum +=
                (x[static_cast<std::size_t>(i)] - x[static_cast<std::size_t>(i - 1)]) *
                (r.deriv[static_cast<std::size_t>(i - 1)] + r.deriv[static_cast<std::size_t>(i)]) /
                2 * r.factor;
        r.ax.push_back(x[0] + i * dx);
        r.ay.push_back(sum);
    }
    RefCursors(r.ay, r.aLC, r.aRC);
    r.aM2L = RefM2(r.ay, dx, r.centre, r.aLC, false, f.ModAmpValue);
    r.aM2R = RefM2(r.ay, dx, r.centre, r.aRC, false, f.ModAmpValue);
    r.aM4 = (RefM4(r.ay, dx, r.centre, r.aLC, false) + RefM4(r.ay, dx, r.centre, r.aRC, false)) / 2;

    // Half height: the first change of side from each end.
    const double top = *std::max_element(r.ay.begin(), r.ay.end());
    const double bottom = *std::min_element(r.ay.begin(), r.ay.end());
    const double half = (top + bottom) / 2;
    auto above = [&](int i) { return r.ay[static_cast<std::size_t>(i)] > half; };
    auto side = [&](int i) { return r.ay[static_cast<std::size_t>(i)] < half; };
    int i = 0;
    while (i < n - 1 && above(i) != side(0))
        ++i;
    int j = n - 1;
    while (j > 0 && above(j) != side(n - 1))
        --j;
    if (above(i) == side(0) && above(j) == side(n - 1) && i < j) {
        r.hdbFound = true;
        r.hdbL = i;
        r.hdbR = r.ay[static_cast<std::size_t>(j)] == half ? j : j + 1;
        r.hdb = std::fabs(r.ax[static_cast<std::size_t>(r.hdbL)] -
                          r.ax[static_cast<std::size_t>(r.hdbR)]);
    }

    r.aiL = n / 10;
    r.aiR = std::min(n - n / 10, n - 1);
    double area = 0;
    for (int k = r.aiL + 1; k <= r.aiR; ++k)
        area += (r.ax[static_cast<std::size_t>(k)] - r.ax[static_cast<std::size_t>(k - 1)]) *
                (r.ay[static_cast<std::size_t>(k - 1)] + r.ay[static_cast<std::size_t>(k)]) / 2;
    r.ai = area * 1000;

    const double field = x[static_cast<std::size_t>(r.centre)] + f.FieldB0Value;
    r.g = f.FrequencyValue / 1e6 / (field / 1e4) * 0.07144771;
    return r;
}

// ---- Random lines ----

enum class Shape { Lorentzian, Gaussian };

LoadedDataFile RandomLine(Shape shape, unsigned seed) {
    std::mt19937 rng(seed);
    auto uniform = [&](double a, double b) { return std::uniform_real_distribution<>(a, b)(rng); };
    const int n = std::uniform_int_distribution<>(200, 4000)(rng);
    LoadedDataFile f;
    f.Settings.ModeText = "ESR";
    const double range = uniform(5, 200);
    f.XStep = range / (n - 1);
    f.XMin = -range / 2;
    f.ModAmpValue = uniform(0, 1);
    f.FrequencyValue = 9400000;
    f.FieldB0Value = 3350;
    const double centre = uniform(0.3, 0.7) * n, width = uniform(0.02, 0.1) * n;
    const double amp = uniform(100, 450) * (seed % 2 ? 1 : -1);
    const double drift0 = uniform(-40, 40), drift = uniform(-40, 40) / n;
    std::normal_distribution<> noise(0, uniform(0, 6));
    for (int i = 0; i < n; ++i) {
        const double u = (i - centre) / width;
        const double line = shape == Shape::Lorentzian
                                ? -amp * 2 * u / ((1 + u * u) * (1 + u * u)) * 1.3
                                : -amp * u * std::exp(-u * u / 2) * 1.6;
        const double v = std::nearbyint(line + drift0 + drift * i + noise(rng));
        f.X.push_back(i * f.XStep + f.XMin);
        f.Y.push_back(std::clamp(v, -500.0, 500.0));
    }
    return f;
}

void ExpectClose(double actual, double expected, const char* what) {
    EXPECT_NEAR(actual, expected, 1e-9 * std::max(1.0, std::fabs(expected))) << what;
}

class ReferenceComparison : public ::testing::TestWithParam<std::tuple<Shape, unsigned>> {};

TEST_P(ReferenceComparison, AnalysisMatchesThePlainRules) {
    const auto [shape, seed] = GetParam();
    const LoadedDataFile f = RandomLine(shape, seed);
    ViewCurves curves;
    const SpectrumAnalysis a = AnalyseSpectrum(f, &curves);
    const Ref r = Reference(f);

    ExpectClose(a.Line.Slope, r.slope, "slope");
    ExpectClose(a.Line.Offset, r.offset, "offset");
    ASSERT_EQ(curves.DerivativeY.size(), r.deriv.size());
    ASSERT_EQ(curves.AbsorptionY.size(), r.ay.size());
    for (std::size_t i = 0; i < r.ay.size(); i += 97) {
        ExpectClose(curves.DerivativeY[i], r.deriv[i], "derivative");
        ExpectClose(curves.AbsorptionX[i], r.ax[i], "absorption X");
        ExpectClose(curves.AbsorptionY[i], r.ay[i], "absorption");
    }

    const DerivativeAnalysis& d = a.Derivative;
    EXPECT_EQ(d.MomentCursors.LC, r.dLC);
    EXPECT_EQ(d.MomentCursors.RC, r.dRC);
    EXPECT_EQ(d.MomentCursors.MC, r.centre);
    ExpectClose(d.Moment.M2L, r.dM2L, "M2L");
    ExpectClose(d.Moment.M2R, r.dM2R, "M2R");
    ExpectClose(d.Moment.M2, (r.dM2L + r.dM2R) / 2, "M2");
    ExpectClose(d.Moment.M4, r.dM4, "M4");
    EXPECT_EQ(d.SDBCursors.LC, r.sdbL);
    EXPECT_EQ(d.SDBCursors.RC, r.sdbR);
    ExpectClose(d.SDB, r.sdb, "SDB");

    const AbsorptionAnalysis& b = a.Absorption;
    EXPECT_EQ(b.Factor, r.factor);
    EXPECT_EQ(b.MomentCursors.LC, r.aLC);
    EXPECT_EQ(b.MomentCursors.RC, r.aRC);
    ExpectClose(b.Moment.M2L, r.aM2L, "absorption M2L");
    ExpectClose(b.Moment.M2R, r.aM2R, "absorption M2R");
    ExpectClose(b.Moment.M4, r.aM4, "absorption M4");
    EXPECT_EQ(b.HDBFound, r.hdbFound);
    if (r.hdbFound) {
        EXPECT_EQ(b.HDBCursors.LC, r.hdbL);
        EXPECT_EQ(b.HDBCursors.RC, r.hdbR);
        ExpectClose(b.HDB, r.hdb, "HDB");
    }
    EXPECT_EQ(b.AICursors.LC, r.aiL);
    EXPECT_EQ(b.AICursors.RC, r.aiR);
    ExpectClose(b.AI, r.ai, "AI");

    EXPECT_TRUE(a.Esr);
    EXPECT_EQ(a.GIndex, r.centre);
    ExpectClose(a.G, r.g, "g");
}

INSTANTIATE_TEST_SUITE_P(SeededLines, ReferenceComparison,
                         ::testing::Combine(::testing::Values(Shape::Lorentzian, Shape::Gaussian),
                                            ::testing::Range(1u, 13u)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) == Shape::Lorentzian
                                                    ? "Lorentzian"
                                                    : "Gaussian") +
                                    std::to_string(std::get<1>(info.param));
                         });

TEST(ReferenceComparison, ThePositiveLineGivesASensibleWidthAndArea) {
    // A clean Lorentzian derivative, maximum first: absorption positive,
    // the half-height width close to the line's 2 * width.
    LoadedDataFile f;
    const int n = 2001;
    for (int i = 0; i < n; ++i) {
        const double u = (i - 1000) / 50.0;
        f.X.push_back(i * 0.05 - 50);
        f.Y.push_back(std::nearbyint(-400 * 2 * u / ((1 + u * u) * (1 + u * u)) * 1.3));
    }
    const SpectrumAnalysis a = AnalyseSpectrum(f);
    EXPECT_EQ(a.Absorption.Factor, 1);
    ASSERT_TRUE(a.Absorption.HDBFound);
    EXPECT_NEAR(a.Absorption.HDB, 2 * 50 * 0.05, 0.2);
    EXPECT_GT(a.Absorption.AI, 0);
    EXPECT_NEAR(a.Derivative.SDB, 2 * 50 * 0.05 / std::sqrt(3.0), 0.1);
    EXPECT_FALSE(a.Esr);
}

TEST(ReferenceComparison, ReusedBuffersGiveTheSameResultsAsFreshOnes) {
    ViewCurves shared;
    for (unsigned seed : {3u, 4u, 5u}) { // lengths differ from line to line
        const LoadedDataFile f = RandomLine(Shape::Gaussian, seed);
        const SpectrumAnalysis reused = AnalyseSpectrum(f, &shared);
        ViewCurves fresh;
        const SpectrumAnalysis alone = AnalyseSpectrum(f, &fresh);
        EXPECT_EQ(SpectrumAnalysisJson("f", reused), SpectrumAnalysisJson("f", alone));
        EXPECT_EQ(shared.AbsorptionY, fresh.AbsorptionY);
        EXPECT_EQ(shared.AreaY, fresh.AreaY);
        EXPECT_EQ(shared.DerivativeY.size(), f.Y.size());
    }
}

// ---- Smallest files and the JSON line ----

LoadedDataFile TwoPoints(double y0, double y1) {
    LoadedDataFile f;
    f.X = {-50, 50};
    f.Y = {y0, y1};
    f.ModAmpValue = 0.025;
    f.FrequencyValue = 14000;
    f.FieldB0Value = 5;
    f.Settings.ModeText = "ESR";
    return f;
}

TEST(ProcAnalysis, TwoPointFileRunsEveryMeasurement) {
    for (auto [y0, y1] : {std::pair{10.0, -10.0}, {-300.0, 300.0}, {0.0, 0.0}, {500.0, 500.0}}) {
        const SpectrumAnalysis a = AnalyseSpectrum(TwoPoints(y0, y1));
        EXPECT_EQ(a.Points, 2);
        EXPECT_EQ(a.Line.Slope, 0); // M = 0: zero base line
        for (const Cursors& c : {a.Derivative.MomentCursors, a.Derivative.SDBCursors,
                                 a.Absorption.MomentCursors, a.Absorption.AICursors}) {
            EXPECT_GE(c.LC, 0);
            EXPECT_LE(c.RC, 1);
        }
        EXPECT_EQ(a.Absorption.AICursors.RC, 1);
        EXPECT_TRUE(std::isfinite(a.Derivative.Moment.M2));
        EXPECT_TRUE(std::isfinite(a.Absorption.AI));
        EXPECT_GE(a.GIndex, 0);
        EXPECT_LE(a.GIndex, 1);
        const std::string json = SpectrumAnalysisJson("two.dcw", a);
        EXPECT_THAT(json, Not(HasSubstr("nan")));
        EXPECT_THAT(json, Not(HasSubstr("inf")));
    }
}

TEST(ProcAnalysisJson, FieldsInOrderAndNullsForMissingValues) {
    SpectrumAnalysis a;
    a.Line = {0.5, -2};
    a.Derivative.Moment = {1.5, 1, 2, 3};
    a.Derivative.MomentCursors = {10, 90, 50};
    a.Derivative.SDB = 0.1;
    a.Derivative.SDBCursors = {40, 60, 0};
    a.Absorption.Factor = -1;
    a.Absorption.HDBError = "Lack of ending value";
    a.Absorption.AI = 1e21;
    a.Absorption.AICursors = {10, 90, 0};
    a.Esr = true;
    a.G = std::numeric_limits<double>::infinity(); // B = 0
    a.GIndex = 50;
    EXPECT_EQ(SpectrumAnalysisJson("a\"b.dcw", a),
              "{\"file\": \"a\\\"b.dcw\", \"baseSlope\": 0.5, \"baseOffset\": -2, "
              "\"derivative\": {\"M2\": 1.5, \"M2L\": 1, \"M2R\": 2, \"M4\": 3, "
              "\"cursors\": {\"LC\": 10, \"RC\": 90, \"MC\": 50}, \"SDB\": 0.1, "
              "\"SDBcursors\": {\"LC\": 40, \"RC\": 60}}, "
              "\"absorption\": {\"factor\": -1, \"M2\": 0, \"M2L\": 0, \"M2R\": 0, \"M4\": 0, "
              "\"cursors\": {\"LC\": 0, \"RC\": 0, \"MC\": 0}, \"HDB\": null, "
              "\"HDBcursors\": null, \"HDBerror\": \"Lack of ending value\", \"AI\": 1e+21, "
              "\"AIcursors\": {\"LC\": 10, \"RC\": 90}}, \"g\": null, \"gIndex\": 50, \"clipped\": 0}\n");

    a.Esr = false;
    a.Absorption.HDBFound = true;
    a.Absorption.HDB = 0.30000000000000004; // full precision survives
    a.Absorption.HDBCursors = {3, 7, 0};
    const std::string json = SpectrumAnalysisJson("x", a);
    EXPECT_THAT(json, HasSubstr("\"HDB\": 0.30000000000000004, \"HDBcursors\": {\"LC\": 3, "
                                "\"RC\": 7}, \"HDBerror\": null"));
    EXPECT_THAT(json, Not(HasSubstr("\"g\"")));
    EXPECT_EQ(LoadErrorJson("f.dcw", "file format error"),
              "{\"file\": \"f.dcw\", \"error\": \"file format error\"}\n");
}

} // namespace
} // namespace tavi
