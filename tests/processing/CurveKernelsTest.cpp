// SPDX-License-Identifier: GPL-3.0-or-later
// The vector kernels of the processing code against the plain loops they
// replace, on seeded data: every value must be the same to the bit (the
// integrals and moments are held to the kept tavi-proc output).
#include "processing/CurveScan.h"
#include "processing/UIntegration.h"

#include <algorithm>
#include <cmath>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <vector>

namespace tavi {
namespace {

// Integer-valued Y as a file holds them, and tenths of them.
std::vector<double> Seeded(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> value(-500, 500);
    std::vector<double> y;
    for (int i = 0; i < n; ++i)
        y.push_back(value(rng) * (i % 7 == 0 ? 1 : 0.1));
    return y;
}

TEST(FitBaseLine, SumsAsThePlainLongDoubleLoopForIntegersAndFractions) {
    for (const double fraction : {1.0, 0.1}) {
        std::vector<double> y = Seeded(65535, 9);
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
            y.push_back(i % 97 == 50 || (n == 33 && i == 0) ? std::numeric_limits<double>::quiet_NaN()
                                                           : value(rng));
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
        EXPECT_THAT((std::vector{b.Lowest, b.Highest}),
                    ::testing::ElementsAre(::testing::NanSensitiveDoubleEq(lowest),
                                           ::testing::NanSensitiveDoubleEq(highest)))
            << n;
    }
}

} // namespace
} // namespace tavi
