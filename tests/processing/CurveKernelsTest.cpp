// SPDX-License-Identifier: GPL-3.0-or-later
// The vector kernels of the processing code against the plain loops they
// replace, on seeded data: every value must be the same to the bit.
#include "processing/CurveScan.h"
#include "processing/UIntegration.h"
#include "processing/UM2.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>
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
    ASSERT_TRUE(IntegrateWithArea(curve, src, area, p.AreaFirst, p.AreaLast, -500, 500, cx, cy,
                                  ax, ay, e));

    std::vector<double> cx2, cy2, ax2, ay2;
    curve2.Integrate(src, 0, p.Points - 1, -500, 500, cx2, cy2);
    area2.Integrate(IntegratorSource{cx2, cy2, {}, 0, static_cast<int>(cy2.size()) - 1},
                    p.AreaFirst, p.AreaLast, -500, 500, ax2, ay2);
    const Extremes e2 = FindExtremes(cy2);
    EXPECT_EQ(cx, cx2);
    EXPECT_EQ(cy, cy2);
    EXPECT_EQ(ax, ax2);
    EXPECT_EQ(ay, ay2);
    EXPECT_EQ(curve.Sum, curve2.Sum);
    EXPECT_EQ(area.Sum, area2.Sum);
    EXPECT_EQ(area.Scale, area2.Scale);
    EXPECT_EQ((std::vector{e.Min, e.Max}), (std::vector{e2.Min, e2.Max}));
    EXPECT_EQ((std::vector{e.Lowest, e.Highest}), (std::vector{e2.Lowest, e2.Highest}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IntegrateWithAreaTest,
    ::testing::Values(PassCase{"Full", 65535, 6553, 58982, true},
                      PassCase{"NoBaseLine", 4001, 400, 3601, false},
                      PassCase{"AreaFromTheStart", 100, 0, 99, true},
                      PassCase{"AreaPastTheEnds", 50, -10, 80, true},
                      PassCase{"AreaReversed", 50, 30, 20, true},
                      PassCase{"AreaBeyondTheData", 50, 70, 90, false},
                      PassCase{"TwoPoints", 2, 0, 1, true}, PassCase{"Seven", 7, 0, 6, true}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(IntegrateWithArea, DeclinesWhatItDoesNotCover) {
    const Curve c = Seeded(10, 1);
    std::vector<double> cx, cy, ax, ay;
    Extremes e;
    Integrator curve, area;
    area.Init(true);
    const IntegratorSource partly{c.X, c.Y, c.Base, 2, 9};
    EXPECT_FALSE(IntegrateWithArea(curve, partly, area, 1, 8, -500, 500, cx, cy, ax, ay, e));
    const IntegratorSource all{c.X, c.Y, c.Base, 0, 9};
    area.Init(false);
    EXPECT_FALSE(IntegrateWithArea(curve, all, area, 1, 8, -500, 500, cx, cy, ax, ay, e));
}

TEST(FitBaseLine, SumsAsThePlainLongDoubleLoopForIntegersAndFractions) {
    for (const double fraction : {1.0, 0.1}) {
        const Curve c = Seeded(65535, 9);
        std::vector<double> y = c.Y;
        for (double& v : y)
            v = std::round(v) * fraction + (fraction == 1 ? 2147483000.0 : 0); // near 2^31
        const int n = static_cast<int>(y.size()), m = BaseLineSampleCount(n);
        long double a = 0, b = 0;
        for (int i = 0; i < m; ++i)
            a += y[static_cast<std::size_t>(i)];
        for (int i = n - 1; i >= n - m; --i)
            b += y[static_cast<std::size_t>(i)];
        a /= m;
        b /= m;
        const BaseLine line = FitBaseLine(y);
        EXPECT_EQ(line.Slope, static_cast<double>((b - a) / n)) << fraction;
        EXPECT_EQ(line.Offset, static_cast<double>(a)) << fraction;
    }
}

// The plain loops of the searches, as the measurements wrote them.
template <scan::Stop S>
std::ptrdiff_t PlainFirst(const std::vector<double>& y, std::ptrdiff_t from, std::ptrdiff_t to,
                          double v) {
    while (from < to && !scan::Stops<S>(y[static_cast<std::size_t>(from)], v))
        ++from;
    return from;
}

template <scan::Stop S>
void ExpectSearchesAgree(const std::vector<double>& y, double v, std::mt19937& rng) {
    const auto n = static_cast<std::ptrdiff_t>(y.size());
    for (int k = 0; k < 200; ++k) {
        std::uniform_int_distribution<std::ptrdiff_t> at(0, n - 1);
        std::ptrdiff_t a = at(rng), b = at(rng);
        if (a > b)
            std::swap(a, b);
        ASSERT_EQ(scan::FirstStop<S>(y.data(), a, b, v), PlainFirst<S>(y, a, b, v)) << a << ' ' << b;
        std::ptrdiff_t j = b;
        while (j > a && !scan::Stops<S>(y[static_cast<std::size_t>(j)], v))
            --j;
        ASSERT_EQ(scan::LastStop<S>(y.data(), b, a, v), j) << a << ' ' << b;
    }
}

TEST(CurveScan, SearchesAndBoundsAgreeWithThePlainLoops) {
    std::mt19937 rng(23);
    for (const int n : {1, 2, 3, 5, 8, 33, 1000}) {
        // Few distinct values, so that equal values and runs are common; NaN too.
        std::vector<double> y;
        std::uniform_int_distribution<int> value(-30, 30);
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
        EXPECT_EQ(b.Lowest, lowest) << n;
        EXPECT_EQ(b.Highest, highest) << n;
    }
}

// The moment sums of the plain loop: four lanes, blocks of 64, each block's
// lanes added pairwise into a long double total.
Moments PlainMoments(const std::vector<double>& x, const std::vector<double>& y, int lc, int rc,
                     int mc) {
    auto half = [&](int e) {
        const int dir = e >= mc ? 1 : -1, count = std::abs(e - mc) + 1;
        long double total[3] = {};
        double lane[3][4] = {}, tail[3] = {};
        for (int j = 0; j < count; ++j) {
            const double v = y[static_cast<std::size_t>(mc + dir * j)];
            const double w = j + 1.0, w2 = w * w;
            const double terms[3] = {v * w, v * (w2 * w), v * (w2 * w2 * w)};
            const bool blocked = j < count / 64 * 64;
            for (int s = 0; s < 3; ++s)
                (blocked ? lane[s][j % 4] : tail[s]) += terms[s];
            if (blocked && j % 64 == 63)
                for (auto& l : lane) {
                    total[&l - lane] += (l[0] + l[1]) + (l[2] + l[3]);
                    l[0] = l[1] = l[2] = l[3] = 0;
                }
        }
        for (int s = 0; s < 3; ++s)
            total[s] += tail[s];
        const long double dx = static_cast<long double>(x[1]) - x[0], dx2 = dx * dx;
        return std::pair{static_cast<double>((total[1] / total[0]) * dx2 / 3),
                         static_cast<double>((total[2] / total[0]) * (dx2 * dx2) * 0.2L)};
    };
    const auto [m2r, m4r] = half(rc);
    const auto [m2l, m4l] = half(lc);
    return Moments{(m2r + m2l) * 0.5, m2l, m2r, (m4r + m4l) * 0.5};
}

TEST(Moments, VectorLanesSumAsThePlainLoop) {
    const Curve c = Seeded(20000, 5);
    for (const auto& [lc, rc, mc] : {std::tuple{0, 19999, 9000}, std::tuple{4000, 4200, 4100},
                                     std::tuple{100, 19000, 130}}) {
        const Moments m = ComputeMoments(MomentKind::Derivative, c.X, c.Y, lc, rc, mc, 0);
        const Moments p = PlainMoments(c.X, c.Y, lc, rc, mc);
        EXPECT_EQ((std::vector{m.M2, m.M2L, m.M2R, m.M4}), (std::vector{p.M2, p.M2L, p.M2R, p.M4}))
            << lc << ' ' << rc << ' ' << mc;
    }
}

} // namespace
} // namespace tavi
