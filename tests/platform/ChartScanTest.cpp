// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ChartScan.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>

namespace tavi {
namespace {

// The plain point-by-point scan the columns must match exactly.
std::vector<Column> Reference(const std::vector<double>& xs, const std::vector<double>& ys,
                              const std::vector<QRgb>& cs, std::size_t lo, std::size_t hi,
                              Mapping m) {
    auto px = [&](std::size_t i) {
        return std::clamp(m.AX * xs[i] + m.BX, -kPixelLimit, kPixelLimit);
    };
    auto py = [&](std::size_t i) {
        return std::clamp(m.AY * ys[i] + m.BY, -kPixelLimit, kPixelLimit);
    };
    std::vector<Column> out;
    double column = std::floor(px(lo));
    double top = py(lo), bottom = top;
    bool topFirst = true;
    QRgb colour = cs[lo];
    for (std::size_t i = lo + 1; i <= hi; ++i) {
        double c = std::floor(px(i));
        double y = py(i);
        if (c != column) {
            out.push_back(Column{column, top, bottom, topFirst, colour});
            column = c;
            top = bottom = y;
            topFirst = true;
        } else if (y < top) {
            top = y;
            topFirst = false;
        } else if (y > bottom) {
            bottom = y;
            topFirst = true;
        }
        colour = cs[i];
    }
    out.push_back(Column{column, top, bottom, topFirst, colour});
    return out;
}

struct ScanCase {
    std::string Name;
    int Points;
    double PixelsWide; // negative: a reversed axis
    std::function<double(int, std::mt19937&)> Y;
};

void PrintTo(const ScanCase& c, std::ostream* os) {
    *os << c.Name;
}

class ChartScanTest : public ::testing::TestWithParam<ScanCase> {};

// Columns as wide as one point up to thousands of points, with each kind of
// value a curve brings: ties, NaN gaps (a NaN opening a column too), values
// past the rasteriser's limit, noise with many moves of both bounds.
TEST_P(ChartScanTest, ColumnsAreThoseOfThePlainScan) {
    const ScanCase& c = GetParam();
    std::mt19937 random(7);
    std::vector<double> xs, ys;
    std::vector<QRgb> cs;
    for (int i = 0; i < c.Points; ++i) {
        xs.push_back(-50 + 100.0 * i / (c.Points - 1));
        ys.push_back(c.Y(i, random));
        cs.push_back(static_cast<QRgb>(i % 3));
    }
    const double ax = c.PixelsWide / 100;
    const Mapping m{ax, c.PixelsWide > 0 ? 30.5 + 50 * ax : 30.5 - 50 * ax, -0.37, 200.25};
    const std::size_t n = xs.size();
    for (auto [lo, hi] : {std::pair<std::size_t, std::size_t>{0, n - 1}, {n / 3, n - 2}, {5, 5}}) {
        std::vector<Column> got;
        ScanColumns(xs.data(), ys.data(), cs.data(), lo, hi, m, got);
        const std::vector<Column> want = Reference(xs, ys, cs, lo, hi, m);
        ASSERT_EQ(got.size(), want.size()) << lo << ".." << hi;
        for (std::size_t k = 0; k < want.size(); ++k) {
            const Column &g = got[k], &w = want[k];
            // Compared as bits would be, NaN equal to NaN.
            auto same = [](double a, double b) {
                return a == b || (std::isnan(a) && std::isnan(b));
            };
            ASSERT_TRUE(same(g.X, w.X) && same(g.Top, w.Top) && same(g.Bottom, w.Bottom) &&
                        g.TopFirst == w.TopFirst && g.Colour == w.Colour)
                << "column " << k << " of " << lo << ".." << hi;
        }
    }
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Curves, ChartScanTest,
    ::testing::Values(
        ScanCase{
            "SmoothLine", 65535, 600,
            [](int i, std::mt19937&) { return 300 * std::sin(i * 1e-4) * std::exp(-i * 2e-5); }},
        ScanCase{"Noise", 65535, 600,
                 [](int, std::mt19937& r) { return std::normal_distribution<>(0, 100)(r); }},
        ScanCase{"CoarseSteps", 20000, 700,
                 [](int i, std::mt19937& r) { return std::round((i % 997) / 50.0) + (r() % 3); }},
        ScanCase{"NaNGaps", 30001, 500,
                 [](int i, std::mt19937& r) {
                     return (i / 7) % 5 == 0 ? kNaN : std::normal_distribution<>(0, 50)(r);
                 }},
        ScanCase{"BeyondThePixelLimit", 30001, 500,
                 [](int i, std::mt19937& r) {
                     return (r() % 4 == 0 ? 1e9 : -1e9) * (1 + i % 3) + (r() % 2 ? 1 : -1);
                 }},
        ScanCase{"ReversedAxis", 65535, -600,
                 [](int i, std::mt19937& r) {
                     return i % 101 + std::uniform_real_distribution<>(0, 1)(r);
                 }},
        ScanCase{"FewerPointsThanPixels", 300, 600, [](int i, std::mt19937&) { return i * 0.5; }}),
    [](const ::testing::TestParamInfo<ScanCase>& info) { return info.param.Name; });

} // namespace
} // namespace tavi
