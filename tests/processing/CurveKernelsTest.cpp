// SPDX-License-Identifier: GPL-3.0-or-later
// The vector kernels of the processing code against the plain loops they
// replace, on seeded data: every value must be the same to the bit (the
// moments are held to the kept tavi-proc output).
#include "processing/CurveScan.h"
#include "processing/UIntegration.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace tavi {
namespace {

// Integer-valued Y as a file holds them, a drifting base line, the file's X.
struct Curve {
    std::vector<double> X, Y, Base;
};

Curve Seeded(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> value(-500, 500);
    Curve c;
    for (int i = 0; i < n; ++i) {
        c.X.push_back(i * (100.0 / (n - 1)) - 50);
        c.Y.push_back(value(rng) * (i % 7 == 0 ? 1 : 0.1));
        c.Base.push_back(0.3 + 0.001 * i);
    }
    return c;
}

struct PassCase {
    const char* Name;
    int Points;
    int AreaFirst;
    int AreaLast;
    bool WithBase;
};

class IntegrateWithAreaTest : public ::testing::TestWithParam<PassCase> {};

TEST_P(IntegrateWithAreaTest, GivesWhatTwoIntegrateCallsAndFindExtremesGive) {
    const PassCase& p = GetParam();
    const Curve c = Seeded(p.Points, static_cast<unsigned>(p.Points));
    const std::vector<double> noBase;
    const IntegratorSource src{c.X, c.Y, p.WithBase ? c.Base : noBase, 0, p.Points - 1};
    Integrator curve, area;
    curve.Init(false);
    curve.Factor = -1;
    area.Init(true);
    area.Factor = kAreaFactor;
    Integrator curve2 = curve, area2 = area;

    std::vector<double> cx, cy, ax, ay;
    cy.assign(70000, 7); // a buffer kept from a larger file
    Extremes e;
    ASSERT_TRUE(
        IntegrateWithArea(curve, src, area, p.AreaFirst, p.AreaLast, -500, 500, cx, cy, ax, ay, e));

    std::vector<double> cx2, cy2, ax2, ay2;
    curve2.Integrate(src, 0, p.Points - 1, -500, 500, cx2, cy2);
    area2.Integrate(IntegratorSource{cx2, cy2, {}, 0, static_cast<int>(cy2.size()) - 1},
                    p.AreaFirst, p.AreaLast, -500, 500, ax2, ay2);
    const Extremes e2 = FindExtremes(cy2);
    EXPECT_TRUE(cx == cx2 && cy == cy2 && ax == ax2 && ay == ay2);
    EXPECT_EQ((std::vector{curve.Sum, area.Sum, area.Scale, e.Lowest, e.Highest}),
              (std::vector{curve2.Sum, area2.Sum, area2.Scale, e2.Lowest, e2.Highest}));
    EXPECT_EQ((std::vector{e.Min, e.Max}), (std::vector{e2.Min, e2.Max}));
}

INSTANTIATE_TEST_SUITE_P(Cases, IntegrateWithAreaTest,
                         ::testing::Values(PassCase{"Full", 65535, 6553, 58982, true},
                                           PassCase{"NoBaseLine", 4001, 400, 3601, false},
                                           PassCase{"AreaFromTheStart", 100, 0, 99, true},
                                           PassCase{"AreaPastTheEnds", 50, -10, 80, true},
                                           PassCase{"AreaReversed", 50, 30, 20, true},
                                           PassCase{"AreaBeyondTheData", 50, 70, 90, false},
                                           PassCase{"TwoPoints", 2, 0, 1, true},
                                           PassCase{"Seven", 7, 0, 6, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(FitBaseLine, SumsAsThePlainLongDoubleLoopForIntegersAndFractions) {
    for (const double fraction : {1.0, 0.1}) {
        const Curve c = Seeded(65535, 9);
        std::vector<double> y = c.Y;
        for (double& v : y)
            v = std::round(v) * fraction + (fraction == 1 ? 2147483000.0 : 0); // near 2^31
        const int n = static_cast<int>(y.size()), m = BaseLineSampleCount(n);
        long double a = 0, b = 0;
        for (int i = 0; i < m; ++i) {
            a += y[static_cast<std::size_t>(i)];
            b += y[static_cast<std::size_t>(n - 1 - i)];
        }
        const BaseLine line = FitBaseLine(y);
        EXPECT_EQ(line.Slope, static_cast<double>((b / m - a / m) / n)) << fraction;
        EXPECT_EQ(line.Offset, static_cast<double>(a / m)) << fraction;
    }
}

TEST(BaseLineAndDerivativeValues, GiveWhatTheTwoPassesGive) {
    const Curve c = Seeded(4001, 3);
    std::vector<double> base, derivative, base2, derivative2;
    BaseLineAndDerivativeValues(FitBaseLine(c.Y), c.Y, base, derivative);
    BaseLineValues(FitBaseLine(c.Y), 4001, base2);
    DerivativeValues(c.Y, base2, 0, 4000, derivative2);
    EXPECT_TRUE(base == base2 && derivative == derivative2);
}

// Each search against its plain loop over random ranges.
template <scan::Stop S>
void ExpectSearchesAgree(const std::vector<double>& y, double v, std::mt19937& rng) {
    std::uniform_int_distribution<std::ptrdiff_t> at(0, static_cast<std::ptrdiff_t>(y.size()) - 1);
    for (int k = 0; k < 200; ++k) {
        const std::ptrdiff_t a = at(rng), b = std::max(a, at(rng));
        std::ptrdiff_t i = a, j = b;
        while (i < b && !scan::Stops<S>(y[static_cast<std::size_t>(i)], v))
            ++i;
        while (j > a && !scan::Stops<S>(y[static_cast<std::size_t>(j)], v))
            --j;
        ASSERT_EQ(scan::FirstStop<S>(y.data(), a, b, v), i) << a << ' ' << b;
        ASSERT_EQ(scan::LastStop<S>(y.data(), b, a, v), j) << a << ' ' << b;
    }
}

TEST(CurveScan, SearchesAndBoundsAgreeWithThePlainLoops) {
    std::mt19937 rng(23);
    std::uniform_int_distribution<int> value(-30, 30); // runs of equal values
    for (const int n : {1, 2, 3, 5, 8, 33, 1000}) {
        std::vector<double> y;
        for (int i = 0; i < n; ++i)
            y.push_back(i % 97 == 50 ? std::numeric_limits<double>::quiet_NaN() : value(rng));
        ExpectSearchesAgree<scan::Stop::Equal>(y, 7, rng);
        ExpectSearchesAgree<scan::Stop::AbsNotBelow>(y, 20, rng);
        ExpectSearchesAgree<scan::Stop::Above>(y, 12.5, rng);
        ExpectSearchesAgree<scan::Stop::NotAbove>(y, -12.5, rng);
        double lowest = y[0], highest = y[0];
        for (const double v : y) {
            lowest = v < lowest ? v : lowest;
            highest = v > highest ? v : highest;
        }
        const scan::Bounds b = scan::LowestHighest(y.data(), y.size());
        EXPECT_EQ((std::vector{b.Lowest, b.Highest}), (std::vector{lowest, highest})) << n;
    }
}

} // namespace
} // namespace tavi
