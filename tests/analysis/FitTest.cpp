// SPDX-License-Identifier: GPL-3.0-or-later
// Line-shape fit: recovery of known lines, calibrated errors, modulation
// broadening, agreement with an independent Gauss-Newton, and the faults.
#include "analysis/SyntheticLine.h"

#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace tavi::analysis;
using tavi::test::Shape;
using tavi::test::SynthOptions;
using tavi::test::Synthesize;
using tavi::test::TrueLine;
using tavi::test::WithNoise;
using ::testing::HasSubstr;

Profile ProfileOf(Shape s) {
    return s == Shape::Lorentzian ? Profile::Lorentzian
           : s == Shape::Gaussian ? Profile::Gaussian
                                  : Profile::Voigt;
}

// Peak-to-peak height of the unmodulated derivative of a unit-area line.
double UnitHeight(const TrueLine& l) {
    double best = 0;
    for (int i = 1; i <= 4000; ++i)
        best = std::max(best, tavi::test::Detected(TrueLine{l.Kind, 0, l.WidthPP, 1, l.Sigma,
                                                            l.Gamma},
                                                   -i * 1e-3 * (l.WidthPP + l.Sigma + l.Gamma), 0));
    return 2 * best;
}

// A line narrow enough that its tails in the outer tenths stay below the noise.
constexpr double kWidth = 0.8;

struct Case {
    const char* Name;
    Shape Kind;
    double ModOverWidth; // a / peak-to-peak width
    double SignalToNoise;
    bool Drift;
};

SynthOptions Options(const Case& c) {
    SynthOptions o;
    TrueLine l{c.Kind, 0.7, kWidth, 3.0};
    if (c.Kind == Shape::Voigt) {
        l.Sigma = 0.27;
        l.Gamma = 0.23;
    }
    o.Lines = {l};
    o.Points = 1024;
    o.ModAmp = c.ModOverWidth * kWidth;
    o.Modulated = c.ModOverWidth > 0;
    if (c.Drift) {
        o.Drift[0] = 0.5;
        o.Drift[1] = 0.02;
        o.Drift[2] = 0.004;
    }
    return o;
}

double NoiseFor(const Case& c, const SynthOptions& o) {
    return 3.0 * UnitHeight(o.Lines[0]) / c.SignalToNoise;
}

LineShapeFit FitCase(const Case& c, const Spectrum& s) {
    const BaseLineFit b = FitBaseLine(s, {{}, c.Drift ? 2 : 0});
    FitOptions f;
    f.Shape = ProfileOf(c.Kind);
    f.Modulation = c.ModOverWidth > 0 ? ModulationMode::On : ModulationMode::Off;
    return FitLineShape(s, b, f);
}

double TrueWidth(const TrueLine& l) {
    if (l.Kind != Shape::Voigt)
        return l.WidthPP;
    // Zero of the absorption's second derivative, by bisection on a dense grid.
    double lo = 0, hi = 5;
    auto f2 = [&](double x) {
        const double h = 1e-4;
        return tavi::test::Detected(TrueLine{l.Kind, 0, 0, 1, l.Sigma, l.Gamma}, x + h, 0) -
               tavi::test::Detected(TrueLine{l.Kind, 0, 0, 1, l.Sigma, l.Gamma}, x - h, 0);
    };
    for (int i = 0; i < 60; ++i)
        (f2(0.5 * (lo + hi)) < 0 ? lo : hi) = 0.5 * (lo + hi);
    return lo + hi;
}

class Recovery : public ::testing::TestWithParam<Case> {};

TEST_P(Recovery, FindsTheTrueLineWithinItsErrors) {
    const Case& c = GetParam();
    const SynthOptions o = Options(c);
    const Spectrum s = WithNoise(Synthesize(o), NoiseFor(c, o), 7);
    const LineShapeFit f = FitCase(c, s);
    ASSERT_TRUE(f.Ok()) << f.Error;
    ASSERT_EQ(f.Lines.size(), 1u);
    EXPECT_TRUE(f.Converged);
    EXPECT_EQ(f.Modulation, c.ModOverWidth > 0);
    const LineFit& l = f.Lines[0];
    EXPECT_NEAR(l.Centre.Value, 0.7, 4 * l.Centre.Error);
    EXPECT_NEAR(l.WidthPP.Value, TrueWidth(o.Lines[0]), 4 * l.WidthPP.Error);
    EXPECT_NEAR(l.DoubleIntegral.Value, 3.0, 4 * l.DoubleIntegral.Error + 0.01);
    EXPECT_NEAR(f.Chi2Red, 1.0, 0.35); // two variance estimates, one of ~200 points
    EXPECT_GT(l.Amplitude.Value, 0);
    EXPECT_TRUE(std::isfinite(l.G.Value) && l.G.Error > 0);
    if (c.Kind == Shape::Voigt) {
        EXPECT_NEAR(l.WidthG.Value, 0.27 * 2 * std::sqrt(2 * std::log(2.0)), 4 * l.WidthG.Error);
        EXPECT_NEAR(l.WidthL.Value, 0.46, 4 * l.WidthL.Error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Recovery,
    ::testing::Values(Case{"Lorentzian", Shape::Lorentzian, 0, 200, false},
                      Case{"LorentzianNoisyDrift", Shape::Lorentzian, 0, 20, true},
                      Case{"GaussianDrift", Shape::Gaussian, 0, 200, true},
                      Case{"GaussianNoisy", Shape::Gaussian, 0, 20, false},
                      Case{"Voigt", Shape::Voigt, 0, 200, false},
                      Case{"LorentzianMod01", Shape::Lorentzian, 0.1, 200, true},
                      Case{"LorentzianMod05", Shape::Lorentzian, 0.5, 20, false},
                      Case{"LorentzianMod1", Shape::Lorentzian, 1.0, 200, true},
                      Case{"GaussianMod05", Shape::Gaussian, 0.5, 200, false},
                      Case{"GaussianMod1", Shape::Gaussian, 1.0, 20, true},
                      Case{"VoigtMod05", Shape::Voigt, 0.5, 200, true}),
    [](const auto& info) { return std::string(info.param.Name); });

// Over a few hundred noise seeds about 68 % of the fitted centres and widths
// lie within one reported error of the truth.
TEST(Calibration, OneErrorCoversTwoThirdsOfTheSeeds) {
    const Case cases[] = {{"L", Shape::Lorentzian, 0, 20, true},
                          {"G", Shape::Gaussian, 0.5, 50, false},
                          {"V", Shape::Voigt, 0, 100, false}};
    int inside = 0, total = 0;
    for (const Case& c : cases) {
        const SynthOptions o = Options(c);
        const Spectrum clean = Synthesize(o);
        const double noise = NoiseFor(c, o), width = TrueWidth(o.Lines[0]);
        for (unsigned seed = 1; seed <= 100; ++seed) {
            const LineShapeFit f = FitCase(c, WithNoise(clean, noise, seed));
            ASSERT_TRUE(f.Ok()) << c.Name << seed << f.Error;
            const LineFit& l = f.Lines[0];
            inside += std::abs(l.Centre.Value - 0.7) <= l.Centre.Error;
            inside += std::abs(l.WidthPP.Value - width) <= l.WidthPP.Error;
            total += 2;
        }
    }
    const double share = static_cast<double>(inside) / total;
    EXPECT_NEAR(share, 0.683, 0.06);
}

// The modulation-broadened model reports the line's own width; the plain
// derivative model reports the broadened one.
TEST(Modulation, BroadenedModelGivesTheTrueWidth) {
    for (double ratio : {0.5, 1.0}) {
        Case c{"", Shape::Lorentzian, ratio, 200, false};
        const SynthOptions o = Options(c);
        const Spectrum s = WithNoise(Synthesize(o), NoiseFor(c, o), 3);
        const BaseLineFit b = FitBaseLine(s, {});
        FitOptions on, off, automatic;
        on.Modulation = ModulationMode::On;
        off.Modulation = ModulationMode::Off;
        const LineShapeFit a = FitLineShape(s, b, automatic);
        const LineShapeFit m = FitLineShape(s, b, on);
        const LineShapeFit p = FitLineShape(s, b, off);
        ASSERT_TRUE(m.Ok() && p.Ok() && a.Ok()) << m.Error << p.Error << a.Error;
        EXPECT_TRUE(a.Modulation);
        EXPECT_NEAR(a.Lines[0].WidthPP.Value, m.Lines[0].WidthPP.Value, 1e-9);
        EXPECT_NEAR(m.Lines[0].WidthPP.Value / kWidth, 1, 0.01) << ratio;
        EXPECT_GT(std::abs(p.Lines[0].WidthPP.Value / kWidth - 1), 0.01) << ratio;
    }
}

// An independent fit of the same model: plain Gauss-Newton with a numerical
// Jacobian and the tests' own line formulas.
std::vector<double> GaussNewton(const std::function<double(const std::vector<double>&, double)>& m,
                                const Spectrum& s, const std::vector<double>& y,
                                std::vector<double> p) {
    const std::size_t np = p.size(), n = s.X.size();
    for (int it = 0; it < 30; ++it) {
        std::vector<std::vector<double>> J(n, std::vector<double>(np));
        std::vector<double> r(n);
        for (std::size_t i = 0; i < n; ++i)
            r[i] = y[i] - m(p, s.X[i]);
        for (std::size_t j = 0; j < np; ++j) {
            std::vector<double> up = p, down = p;
            const double h = 1e-6 * std::max(std::abs(p[j]), 1e-3);
            up[j] += h;
            down[j] -= h;
            for (std::size_t i = 0; i < n; ++i)
                J[i][j] = (m(up, s.X[i]) - m(down, s.X[i])) / (2 * h);
        }
        // Normal equations by Gaussian elimination with partial pivoting.
        std::vector<std::vector<double>> A(np, std::vector<double>(np + 1, 0));
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t a = 0; a < np; ++a) {
                for (std::size_t b = 0; b < np; ++b)
                    A[a][b] += J[i][a] * J[i][b];
                A[a][np] += J[i][a] * r[i];
            }
        for (std::size_t c = 0; c < np; ++c) {
            std::size_t piv = c;
            for (std::size_t k = c + 1; k < np; ++k)
                if (std::abs(A[k][c]) > std::abs(A[piv][c]))
                    piv = k;
            std::swap(A[c], A[piv]);
            for (std::size_t k = 0; k < np; ++k)
                if (k != c) {
                    const double f = A[k][c] / A[c][c];
                    for (std::size_t j = c; j <= np; ++j)
                        A[k][j] -= f * A[c][j];
                }
        }
        double largest = 0;
        for (std::size_t j = 0; j < np; ++j) {
            const double step = A[j][np] / A[j][j];
            p[j] += step;
            largest = std::max(largest, std::abs(step) / std::max(std::abs(p[j]), 1e-3));
        }
        if (largest < 1e-11)
            break;
    }
    return p;
}

struct Independent {
    const char* Name;
    Shape Kind;
    double ModAmp;
    bool Offset;
};

class AgainstGaussNewton : public ::testing::TestWithParam<Independent> {};

TEST_P(AgainstGaussNewton, AgreesToOnePartInAMillion) {
    const Independent& c = GetParam();
    SynthOptions o;
    o.Lines = {TrueLine{c.Kind, 0.3, 1.5, 2.0}};
    o.Points = 401;
    o.ModAmp = c.ModAmp;
    o.Modulated = c.ModAmp > 0;
    const Spectrum s = WithNoise(Synthesize(o), 0.01, 11);
    BaseLineFit b;
    b.Corrected = s.Y;
    b.NoiseRms = 0.01;
    FitOptions f;
    f.Shape = ProfileOf(c.Kind);
    f.Offset = c.Offset;
    f.Modulation = c.ModAmp > 0 ? ModulationMode::On : ModulationMode::Off;
    const LineShapeFit fit = FitLineShape(s, b, f);
    ASSERT_TRUE(fit.Ok()) << fit.Error;
    auto model = [&](const std::vector<double>& p, double x) {
        TrueLine l{c.Kind, p[0], p[1], p[2]};
        return tavi::test::Detected(l, x, c.ModAmp, 200) + (c.Offset ? p[3] : 0);
    };
    std::vector<double> start{0.35, 1.4, 1.9};
    if (c.Offset)
        start.push_back(0);
    const std::vector<double> gn = GaussNewton(model, s, s.Y, start);
    const LineFit& l = fit.Lines[0];
    EXPECT_NEAR(l.Centre.Value / gn[0], 1, 1e-6);
    EXPECT_NEAR(l.WidthPP.Value / gn[1], 1, 1e-6);
    EXPECT_NEAR(l.DoubleIntegral.Value / gn[2], 1, 1e-6);
    if (c.Offset) {
        EXPECT_NEAR(fit.Offset.Value, gn[3], 1e-6 * 0.01);
    }
}

INSTANTIATE_TEST_SUITE_P(Models, AgainstGaussNewton,
                         ::testing::Values(Independent{"Lorentzian", Shape::Lorentzian, 0, false},
                                           Independent{"GaussianOffset", Shape::Gaussian, 0, true},
                                           Independent{"LorentzianModulated", Shape::Lorentzian,
                                                       0.9, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(TwoLines, OverlappingLinesAreSeparated) {
    SynthOptions o;
    o.Lines = {TrueLine{Shape::Lorentzian, -1.5, 1.0, 2.0}, TrueLine{Shape::Lorentzian, 2.0, 0.7, 1.0}};
    o.Points = 2048;
    const Spectrum s = WithNoise(Synthesize(o), 0.005, 5);
    FitOptions f;
    f.Lines = 2;
    const LineShapeFit fit = FitLineShape(s, FitBaseLine(s, {}), f);
    ASSERT_TRUE(fit.Ok()) << fit.Error;
    std::vector<LineFit> lines = fit.Lines;
    std::sort(lines.begin(), lines.end(),
              [](const LineFit& a, const LineFit& b) { return a.Centre.Value < b.Centre.Value; });
    EXPECT_NEAR(lines[0].Centre.Value, -1.5, 5 * lines[0].Centre.Error);
    EXPECT_NEAR(lines[1].Centre.Value, 2.0, 5 * lines[1].Centre.Error);
    EXPECT_NEAR(lines[1].WidthPP.Value, 0.7, 5 * lines[1].WidthPP.Error);
}

struct FitFault {
    const char* Name;
    std::function<void(Spectrum&, FitOptions&)> Spoil;
    const char* Message;
};

class FitFaults : public ::testing::TestWithParam<FitFault> {};

TEST_P(FitFaults, ReportTheCauseAndNoNumbers) {
    SynthOptions o;
    o.Lines = {TrueLine{}};
    o.Points = 200;
    Spectrum s = WithNoise(Synthesize(o), 0.01, 1);
    FitOptions f;
    GetParam().Spoil(s, f);
    BaseLineFit b;
    b.Corrected = s.Y;
    b.NoiseRms = 0.01;
    const std::atomic<bool> cancel{std::string(GetParam().Name) == "Cancelled"};
    const LineShapeFit fit = FitLineShape(s, b, f, &cancel);
    EXPECT_FALSE(fit.Ok());
    EXPECT_THAT(fit.Error, HasSubstr(GetParam().Message));
    EXPECT_TRUE(fit.Lines.empty());
    EXPECT_TRUE(fit.Curve.empty());
}

INSTANTIATE_TEST_SUITE_P(
    All, FitFaults,
    ::testing::Values(
        FitFault{"Flat", [](auto& s, auto&) { s.Y.assign(s.Y.size(), 42.0); }, "flat"},
        FitFault{"FewerPointsThanParameters",
                 [](auto& s, auto& f) {
                     s.X.resize(9);
                     s.Y.resize(9);
                     f.Lines = 3;
                 },
                 "more points than its 9 parameters"},
        FitFault{"NotConverged", [](auto&, auto& f) { f.MaxIterations = 1; },
                 "did not converge in 1 iterations"},
        FitFault{"Infinite", [](auto& s, auto&) { s.Y[5] = INFINITY; }, "not finite"},
        FitFault{"FourLines", [](auto&, auto& f) { f.Lines = 4; }, "1 to 3"},
        FitFault{"ModulationWithoutAmplitude",
                 [](auto& s, auto& f) {
                     s.ModAmp = 0;
                     f.Modulation = ModulationMode::On;
                 },
                 "no modulation amplitude"},
        FitFault{"Cancelled", [](auto&, auto&) {}, "Cancelled"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
