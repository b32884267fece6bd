// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/UIntegration.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <vector>

namespace tavi {
namespace {

std::vector<double> Ramp(int n, double start, double step) {
    std::vector<double> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<std::size_t>(i)] = start + step * i;
    return v;
}

struct SampleCountCase {
    int n;
    int m;
};
class BaseLineSampleCountTest : public ::testing::TestWithParam<SampleCountCase> {};

TEST_P(BaseLineSampleCountTest, OneTenthRoundedHalfToEven) {
    EXPECT_EQ(BaseLineSampleCount(GetParam().n), GetParam().m);
}
INSTANTIATE_TEST_SUITE_P(Counts, BaseLineSampleCountTest,
                         ::testing::Values(SampleCountCase{0, 0}, SampleCountCase{2, 0},
                                           SampleCountCase{5, 0}, SampleCountCase{6, 1},
                                           SampleCountCase{15, 2}, SampleCountCase{25, 2},
                                           SampleCountCase{35, 4}, SampleCountCase{1000, 100},
                                           SampleCountCase{65535, 6554}));

TEST(BaseLineSampleCount, AgreesWithTheRealFormulaForEveryFileSize) {
    for (int n = 1; n <= 65535; ++n)
        ASSERT_EQ(BaseLineSampleCount(n), static_cast<int>(std::nearbyint(n * 10 * 0.01))) << n;
}

TEST(FitBaseLine, MeansOfFirstAndLastTenthSlopeOverCount) {
    std::vector<double> y(1000, 0.0);
    for (int i = 0; i < 100; ++i)
        y[static_cast<std::size_t>(i)] = i % 2 ? 12 : 8; // mean 10
    for (int i = 900; i < 1000; ++i)
        y[static_cast<std::size_t>(i)] = i % 2 ? 33 : 27; // mean 30
    y[100] = 400; // just outside the first tenth: not averaged
    y[899] = -400;
    BaseLine line = FitBaseLine(y);
    EXPECT_DOUBLE_EQ(line.Offset, 10);
    EXPECT_DOUBLE_EQ(line.Slope, 20.0 / 1000);
    // Not B: the slope is divided by n, not n - 1.
    EXPECT_DOUBLE_EQ(line.At(999), 10 + 0.999 * 20);
    std::vector<double> values;
    BaseLineValues(line, 1000, values);
    ASSERT_EQ(values.size(), 1000u);
    EXPECT_DOUBLE_EQ(values[999], line.At(999));
    EXPECT_DOUBLE_EQ(values[0], 10);
}

TEST(FitBaseLine, FewerThanFivePointsGiveZeroLine) {
    for (int n : {0, 1, 2, 4, 5}) {
        BaseLine line = FitBaseLine(std::vector<double>(static_cast<std::size_t>(n), 77.0));
        EXPECT_EQ(line.Slope, 0) << n;
        EXPECT_EQ(line.Offset, 0) << n;
    }
    BaseLine six = FitBaseLine(std::vector<double>{4, 0, 0, 0, 0, 10});
    EXPECT_DOUBLE_EQ(six.Offset, 4);
    EXPECT_DOUBLE_EQ(six.Slope, 1.0);
}

TEST(BaseLineButtons, FiveSlopeStepsLowerIndex1000ByTen) {
    BaseLine line{0.3, -2};
    const double before = line.At(1000);
    for (int k = 0; k < 5; ++k)
        line.Slope -= kBaseLineSlopeStep;
    EXPECT_NEAR(line.Slope, 0.29, 1e-12);
    EXPECT_NEAR(before - line.At(1000), 10, 1e-9);
    line.Offset += kBaseLineOffsetStep;
    EXPECT_NEAR(line.At(0), -1, 1e-12);
}

TEST(Derivative, SourceMinusBaseLineOverTheRange) {
    const std::vector<double> src{5, 6, 7, 8, 9}, base{1, 1, 2, 2, 3};
    std::vector<double> out{99};
    DerivativeValues(src, base, 1, 3, out);
    EXPECT_EQ(out, (std::vector<double>{5, 5, 6}));
    DerivativeValues(src, base, 0, 10, out); // clamped to the data
    EXPECT_EQ(out, (std::vector<double>{4, 5, 5, 6, 6}));
    DerivativeValues(src, base, -1, 3, out);
    EXPECT_TRUE(out.empty());
    DerivativeValues(src, base, 3, 2, out);
    EXPECT_TRUE(out.empty());

    std::vector<double> inPlace(3, 0.0);
    UpdateDerivativeValues(src, base, inPlace);
    EXPECT_EQ(inPlace, (std::vector<double>{4, 5, 5}));
    std::vector<double> longer(8, -1.0);
    UpdateDerivativeValues(src, base, longer); // never reads past the source
    EXPECT_EQ(longer[4], 6);
    EXPECT_EQ(longer[5], -1);
}

TEST(AbsorptionFactor, FromTheOrderOfTheExtremes) {
    std::vector<double> y(30, 0.0);
    y[10] = 200;
    y[20] = -200;
    EXPECT_EQ(AbsorptionFactor(y), 1); // maximum first
    y[10] = -200;
    y[20] = 200;
    EXPECT_EQ(AbsorptionFactor(y), -1);
    // Equal extremes: the first wins, so both are index 0.
    EXPECT_EQ(AbsorptionFactor(std::vector<double>(4, 0.0)), -1);
}

struct Curve {
    std::vector<double> x, y, base;
    IntegratorSource Source(bool withBase = false) const {
        return IntegratorSource{
            x, y, withBase ? std::span<const double>(base) : std::span<const double>(), 0,
            static_cast<int>(y.size()) - 1};
    }
};

Curve Constant(int n, double h, double d, double x0 = -10) {
    return Curve{Ramp(n, x0, d), std::vector<double>(static_cast<std::size_t>(n), h), {}};
}

TEST(Integrator, InitResetsScaleAndKeepsSumAndFactor) {
    Integrator it;
    it.Sum = 3;
    it.Scale = 0.1;
    it.Factor = -1;
    it.Init(true);
    EXPECT_EQ(it.Scale, 1);
    EXPECT_EQ(it.Sum, 3);
    EXPECT_EQ(it.Factor, -1);
    EXPECT_TRUE(it.AutoScale);
}

TEST(Integrator, HeightAndStepAreaAboveBaseLine) {
    Curve c{{0, 2, 5}, {10, 20, 40}, {1, 2, 3}};
    Integrator it;
    it.Factor = -1;
    EXPECT_EQ(it.Height(c.Source(true), 1), 18);
    EXPECT_EQ(it.Height(c.Source(false), 1), 20);
    // (5 - 2) * ((18 + 37) / 2) * -1
    EXPECT_DOUBLE_EQ(it.StepArea(c.Source(true), 2), -82.5);
}

struct ConstantCase {
    const char* name;
    int factor;
    int a, b;
};
class ConstantIntegralTest : public ::testing::TestWithParam<ConstantCase> {};

TEST_P(ConstantIntegralTest, SumIsHeightTimesSpacingTimesSpan) {
    const ConstantCase& p = GetParam();
    const double h = 3, d = 0.5;
    Curve c = Constant(60, h, d);
    Integrator it;
    it.Init(false);
    it.Factor = p.factor;
    std::vector<double> ox, oy;
    it.Integrate(c.Source(), p.a, p.b, -500, 500, ox, oy);
    EXPECT_DOUBLE_EQ(it.Sum, h * d * (p.b - p.a) * p.factor);
    ASSERT_EQ(oy.size(), static_cast<std::size_t>(p.b - p.a + 1));
    EXPECT_EQ(oy.front(), 0);
    EXPECT_DOUBLE_EQ(oy.back(), it.Sum);
    EXPECT_DOUBLE_EQ(ox.front(), -10 + p.a * d);
    EXPECT_DOUBLE_EQ(ox.back(), -10 + p.b * d);
}
INSTANTIATE_TEST_SUITE_P(Ranges, ConstantIntegralTest,
                         ::testing::Values(ConstantCase{"Whole", 1, 0, 59},
                                           ConstantCase{"Inner", 1, 10, 50},
                                           ConstantCase{"Negative", -1, 10, 50},
                                           ConstantCase{"Area", kAreaFactor, 5, 6}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Integrator, OutputXFollowsTheFirstSpacingAreasTheRealOne) {
    Curve c{{0, 1, 3, 6}, {2, 2, 2, 2}, {}};
    Integrator it;
    it.Init(false);
    it.Factor = 1;
    std::vector<double> ox, oy;
    it.Integrate(c.Source(), 0, 3, -500, 500, ox, oy);
    EXPECT_EQ(ox, (std::vector<double>{0, 1, 2, 3}));
    EXPECT_EQ(oy, (std::vector<double>{0, 2, 6, 12}));
}

TEST(Integrator, AutoScaleShrinksOnceAndASecondCallKeepsIt) {
    Curve c = Constant(2001, 1, 1, 0); // running maximum 2000
    Integrator it;
    it.Init(true);
    it.Factor = 1;
    std::vector<double> ox, oy;
    it.Integrate(c.Source(), 0, 2000, -500, 500, ox, oy);
    EXPECT_DOUBLE_EQ(it.Scale, 0.2);
    EXPECT_DOUBLE_EQ(it.Sum, 2000);
    EXPECT_DOUBLE_EQ(*std::max_element(oy.begin(), oy.end()), 400);
    it.Integrate(c.Source(), 0, 2000, -500, 500, ox, oy);
    EXPECT_DOUBLE_EQ(it.Scale, 0.2);
    EXPECT_DOUBLE_EQ(oy.back(), 400);
}

TEST(Integrator, AutoScaleBoundsStartFromTheFirstHeight) {
    // The running sum stays tiny, but Height(first) = 600 is above the axis.
    Curve c{Ramp(5, 0, 0.001), {600, 0, 0, 0, 0}, {}};
    Integrator it;
    it.Init(true);
    it.Factor = 1;
    std::vector<double> ox, oy;
    it.Integrate(c.Source(), 0, 4, -500, 500, ox, oy);
    EXPECT_DOUBLE_EQ(it.Scale, 0.8 * 500 / 600);
}

TEST(Integrator, AutoScaleUsesTheSmallerFactorOfBothEnds) {
    // Sum falls to -4000 (k2 = 1/8); the top is Height(first) = -1 < 0, so k1 = 1.
    Curve c = Constant(4001, -1, 1, 0);
    Integrator it;
    it.Init(true);
    it.Factor = 1;
    std::vector<double> ox, oy;
    it.Integrate(c.Source(), 0, 4000, -500, 500, ox, oy);
    EXPECT_DOUBLE_EQ(it.Scale, 0.8 * 500 / 4000);
    // Within the axis: kept at 1.
    it.Init(true);
    it.Integrate(c.Source(), 0, 100, -500, 500, ox, oy);
    EXPECT_EQ(it.Scale, 1);
}

// A cursor dragged back and forth over a curve, the run's start moved, the
// curve replaced, the visible range narrowed: the kept sums give Integrate's
// values to the last bit. Each run starts from scale 1, so that its scale
// shows its own bounds.
TEST(Integrator, KeptSumsGiveIntegratesValues) {
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0, 40);
    const int n = 5000;
    Curve c{Ramp(n, -50, 0.02), std::vector<double>(n), std::vector<double>(n)};
    auto fill = [&](double peak) {
        for (int i = 0; i < n; ++i)
            c.y[static_cast<std::size_t>(i)] =
                peak * std::exp(-std::pow((i - 2500) / 400.0, 2)) + noise(random);
    };
    fill(300);
    Integrator plain, kept;
    plain.Factor = kept.Factor = kAreaFactor;
    KeptSums sums;
    std::uint64_t version = 1;
    IntegratorSource src = c.Source();
    struct Step {
        int First, Last;
        const char* Change;
    };
    const Step steps[] = {{100, 3000, ""}, {100, 3001, ""},        {100, 4500, ""},
                          {100, 1024, ""}, {100, 1025, ""},        {100, 2049, ""},
                          {100, 4999, ""}, {120, 4000, ""},        {120, 4000, "curve"},
                          {120, 4100, ""}, {120, 4100, "visible"}, {120, 4900, ""}};
    for (const Step& s : steps) {
        if (std::string(s.Change) == "curve") {
            fill(-900); // the same arrays, a new curve
            ++version;
        } else if (std::string(s.Change) == "visible") {
            src.VisibleTo = 3000;
        }
        std::vector<double> px, py, kx, ky;
        plain.Init(true);
        kept.Init(true);
        plain.Integrate(src, s.First, s.Last, -500, 500, px, py);
        IntegrateKept(kept, sums, version, src, s.First, s.Last, -500, 500, kx, ky);
        const std::string at = std::to_string(s.First) + ".." + std::to_string(s.Last) + s.Change;
        EXPECT_EQ(kept.Sum, plain.Sum) << at;
        EXPECT_EQ(kept.Scale, plain.Scale) << at;
        EXPECT_EQ(kx, px) << at;
        EXPECT_EQ(ky, py) << at;
    }
}

TEST(Integrator, ClampsToTheVisibleRange) {
    Curve c = Constant(100, 1, 1, 0);
    IntegratorSource src = c.Source();
    src.VisibleFrom = 20;
    src.VisibleTo = 30;
    Integrator it;
    it.Init(false);
    it.Factor = 1;
    std::vector<double> ox, oy;
    it.Integrate(src, 5, 90, -500, 500, ox, oy);
    ASSERT_EQ(ox.size(), 11u);
    EXPECT_EQ(ox.front(), 20);
    EXPECT_EQ(ox.back(), 30);
    EXPECT_EQ(it.Sum, 10);
}

TEST(Integrator, DegenerateRangesAndSources) {
    Integrator it;
    it.Init(true);
    it.Factor = 1;
    std::vector<double> ox{1}, oy{1};

    // One source point: no spacing, nothing output, Sum 0.
    Curve one = Constant(1, 5, 1);
    it.Sum = 9;
    it.Integrate(one.Source(), 0, 0, -500, 500, ox, oy);
    EXPECT_TRUE(ox.empty());
    EXPECT_TRUE(oy.empty());
    EXPECT_EQ(it.Sum, 0);

    // last < first + 1: the first point alone, Sum 0.
    Curve c = Constant(10, 5, 1, 0);
    it.Integrate(c.Source(), 6, 3, -500, 500, ox, oy);
    EXPECT_EQ(ox, std::vector<double>{6});
    EXPECT_EQ(oy, std::vector<double>{0});
    EXPECT_EQ(it.Sum, 0);

    // A first index past the data is held at the last point.
    it.Integrate(c.Source(), 40, 50, -500, 500, ox, oy);
    EXPECT_EQ(ox, std::vector<double>{9});
    EXPECT_EQ(it.Sum, 0);

    // Nothing visible.
    IntegratorSource hidden = c.Source();
    hidden.VisibleTo = -1;
    it.Integrate(hidden, 0, 9, -500, 500, ox, oy);
    EXPECT_TRUE(ox.empty());

    // A base line shorter than the source limits what is read.
    Curve shortBase{Ramp(10, 0, 1), std::vector<double>(10, 1.0), {0, 0, 0}};
    it.Integrate(shortBase.Source(true), 0, 9, -500, 500, ox, oy);
    EXPECT_EQ(ox.size(), 3u);
    EXPECT_EQ(it.Sum, 2);

    // Two points, the smallest file.
    Curve two{{-5, 5}, {10, -10}, {0, 0}};
    it.Init(false);
    it.Integrate(two.Source(true), 0, 1, -500, 500, ox, oy);
    EXPECT_EQ(oy, (std::vector<double>{0, 0}));
}

} // namespace
} // namespace tavi
