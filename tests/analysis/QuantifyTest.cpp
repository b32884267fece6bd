// SPDX-License-Identifier: GPL-3.0-or-later
// Base line from regions, double integral, spin ratio and true moments.
#include "analysis/SyntheticLine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace tavi::analysis;
using tavi::test::Shape;
using tavi::test::SynthOptions;
using tavi::test::Synthesize;
using tavi::test::TrueLine;
using ::testing::HasSubstr;

double Sd(const std::vector<double>& v) {
    double m = 0, q = 0;
    for (double x : v)
        m += x;
    m /= static_cast<double>(v.size());
    for (double x : v)
        q += (x - m) * (x - m);
    return std::sqrt(q / static_cast<double>(v.size() - 1));
}

// Regions over a pure polynomial of each order give back its coefficients.
class BaseLineOrder : public ::testing::TestWithParam<int> {};

TEST_P(BaseLineOrder, RecoversThePolynomialAndItsNoise) {
    const int order = GetParam();
    SynthOptions o;
    o.Points = 2001;
    o.Drift[0] = 3;
    o.Drift[1] = order >= 1 ? -0.5 : 0;
    o.Drift[2] = order >= 2 ? 0.02 : 0;
    Spectrum s = Synthesize(o);
    if (order == 3)
        for (std::size_t i = 0; i < s.X.size(); ++i)
            s.Y[i] += 0.001 * s.X[i] * s.X[i] * s.X[i];
    const BaseLineFit b = FitBaseLine(s, {{{-10, -6}, {6, 10}}, order});
    ASSERT_TRUE(b.Ok()) << b.Error;
    ASSERT_EQ(b.Coefficients.size(), static_cast<std::size_t>(order + 1));
    const double expected[4] = {3, -0.5, 0.02, 0.001};
    for (int k = 0; k <= order; ++k)
        EXPECT_NEAR(b.Coefficients[k], expected[k], 1e-9) << "c" << k;
    EXPECT_LT(b.NoiseRms, 1e-9);
    EXPECT_EQ(b.NoisePoints, 2 * 401);

    o.NoiseRms = 0.7;
    const BaseLineFit noisy = FitBaseLine(Synthesize(o), {{}, 2});
    EXPECT_NEAR(noisy.NoiseRms, 0.7, 0.07);
}

INSTANTIATE_TEST_SUITE_P(Orders, BaseLineOrder, ::testing::Values(0, 1, 2, 3));

TEST(DoubleIntegral, CutLorentzianMatchesTheCoveredPart) {
    // A noise-free derivative of area 2; the sweep cuts its tails at +-10 Gs.
    SynthOptions o;
    o.Points = 8001;
    o.Lines = {TrueLine{Shape::Lorentzian, 0.5, 1.0, 2.0}};
    o.ModAmp = 0.05;
    const Spectrum s = Synthesize(o);
    BaseLineFit raw;
    raw.Corrected = s.Y;
    raw.NoiseRms = 0;
    // Analytic: the absorption starts from 0 at the interval's start, so the
    // double integral is the covered area less f(from) times the length.
    const double g = std::sqrt(3.0) / 2, pi = std::numbers::pi;
    auto area = [&](double x) { return 2 * std::atan((x - 0.5) / g) / pi; };
    auto f = [&](double x) { return 2 * g / (pi * ((x - 0.5) * (x - 0.5) + g * g)); };
    for (Interval r : {Interval{-10, 10}, Interval{-4, 6}}) {
        const DoubleIntegralResult d = DoubleIntegral(s, raw, r);
        ASSERT_TRUE(d.Ok()) << d.Error;
        const double expected = area(r.To) - area(r.From) - f(r.From) * (r.To - r.From);
        EXPECT_NEAR(d.Value.Value / expected, 1, 1e-4) << r.From << ":" << r.To;
        EXPECT_NEAR(d.Normalised.Value, d.Value.Value / (s.Gain * s.ModAmp), 1e-12);
    }
}

TEST(Moments, GaussianHasTrueSecondMomentAndKurtosisThree) {
    SynthOptions o;
    o.Points = 401; // 0.05 Gs steps, sigma 1 Gs
    o.Lines = {TrueLine{Shape::Gaussian, 0.3, 2.0, 1.0}};
    const Spectrum s = Synthesize(o);
    BaseLineFit raw;
    raw.Corrected = s.Y;
    raw.NoiseRms = 0;
    const TrueMoments m = MomentsOfAbsorption(s, raw, std::nullopt);
    ASSERT_TRUE(m.Ok()) << m.Error;
    EXPECT_NEAR(m.Centre, 0.3, 1e-6);
    // The running trapezoid adds step^2/6; the centre weight of 1 would add 8 %.
    EXPECT_NEAR(m.M2.Value, 1.0, 5e-4);
    EXPECT_NEAR(m.M4OverM2Sq, 3.0, 1e-3);
}

// The reported errors are the spread over noise seeds (propagated through the
// running integral, so correlated points count correctly).
TEST(ErrorsFromNoise, MatchTheSpreadOverSeeds) {
    SynthOptions o;
    o.Points = 401;
    o.Lines = {TrueLine{Shape::Gaussian, 0, 2.0, 1.0}};
    o.NoiseRms = 0.002;
    std::vector<double> di, m2, m4;
    Measured diErr, m2Err, m4Err;
    for (unsigned seed = 1; seed <= 300; ++seed) {
        o.Seed = seed;
        const Spectrum s = Synthesize(o);
        BaseLineFit b;
        b.Corrected = s.Y;
        b.NoiseRms = o.NoiseRms;
        const DoubleIntegralResult d = DoubleIntegral(s, b, Interval{-4, 4});
        const TrueMoments m = MomentsOfAbsorption(s, b, Interval{-4, 4});
        di.push_back(d.Value.Value);
        m2.push_back(m.M2.Value);
        m4.push_back(m.M4.Value);
        diErr = d.Value;
        m2Err = m.M2;
        m4Err = m.M4;
    }
    EXPECT_NEAR(Sd(di) / diErr.Error, 1, 0.15);
    EXPECT_NEAR(Sd(m2) / m2Err.Error, 1, 0.15);
    EXPECT_NEAR(Sd(m4) / m4Err.Error, 1, 0.15);
}

TEST(SpinRatio, PropagatesRelativeErrors) {
    DoubleIntegralResult a, b;
    a.Normalised = {6, 0.3};
    b.Normalised = {2, 0.2};
    const Measured r = SpinRatio(a, b);
    EXPECT_DOUBLE_EQ(r.Value, 3);
    EXPECT_NEAR(r.Error, 3 * std::sqrt(0.05 * 0.05 + 0.1 * 0.1), 1e-12);
    b.Normalised = {};
    EXPECT_TRUE(std::isnan(SpinRatio(a, b).Value));
}

struct Fault {
    const char* Name;
    std::function<void(Spectrum&, BaseLineOptions&, std::optional<Interval>&)> Spoil;
    const char* Message;
};

class Faults : public ::testing::TestWithParam<Fault> {};

TEST_P(Faults, ReportTheCauseAndNoNumbers) {
    SynthOptions o;
    o.Lines = {TrueLine{}};
    Spectrum s = Synthesize(o);
    BaseLineOptions bo;
    std::optional<Interval> range;
    GetParam().Spoil(s, bo, range);
    const BaseLineFit b = FitBaseLine(s, bo);
    std::string error = b.Error;
    if (b.Ok()) {
        const DoubleIntegralResult d = DoubleIntegral(s, b, range);
        EXPECT_TRUE(std::isnan(d.Value.Value) || !d.Ok());
        error = d.Error;
        EXPECT_FALSE(MomentsOfAbsorption(s, b, range).Ok());
    } else {
        EXPECT_TRUE(b.Coefficients.empty());
    }
    EXPECT_THAT(error, HasSubstr(GetParam().Message));
}

INSTANTIATE_TEST_SUITE_P(
    All, Faults,
    ::testing::Values(
        Fault{"EmptyRegion", [](auto&, auto& b, auto&) { b.Regions = {{2, 2}}; }, "is empty"},
        Fault{"RegionBetweenPoints",
              [](auto& s, auto& b, auto&) { b.Regions = {{s.X[3] + 1e-6, s.X[4] - 1e-6}}; },
              "covers no point"},
        Fault{"OrderAboveThePoints",
              [](auto& s, auto& b, auto&) {
                  b.Regions = {{s.X[0], s.X[2]}};
                  b.Order = 2;
              },
              "needs at least 4 points"},
        Fault{"OrderOutOfRange", [](auto&, auto& b, auto&) { b.Order = 4; }, "0 to 3"},
        Fault{"NaNInData", [](auto& s, auto&, auto&) { s.Y[7] = std::nan(""); }, "point 7"},
        Fault{"InfiniteRegion",
              [](auto&, auto& b, auto&) { b.Regions = {{0, INFINITY}}; }, "not finite"},
        Fault{"IntegralOutsideSweep", [](auto&, auto&, auto& r) { r = Interval{30, 40}; },
              "fewer than two points"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
