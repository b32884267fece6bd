// SPDX-License-Identifier: GPL-3.0-or-later
#include "params/NumFormat.h"
#include "processing/UM2.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace tavi {
namespace {

std::vector<double> Ramp(int n, double start, double step) {
    std::vector<double> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<std::size_t>(i)] = start + step * i;
    return v;
}

std::vector<double> Spike(int n, int at, double value = 1) {
    std::vector<double> v(static_cast<std::size_t>(n), 0.0);
    v.at(static_cast<std::size_t>(at)) = value;
    return v;
}

TEST(FindCentreIndex, PointClosestToTheBaseLineBetweenTheExtremes) {
    //                      0   1   2   3  4   5    6    7
    std::vector<double> y{0, 90, 40, 3, -3, -40, -90, 0};
    std::vector<double> base(8, 0.0);
    // Visited from the minimum (6) down towards the maximum (1): of the tie
    // |-3| and |3| the first visited wins.
    EXPECT_EQ(FindCentreIndex(y, base), 4);
    std::vector<double> rev(y.rbegin(), y.rend());
    EXPECT_EQ(FindCentreIndex(rev, base), 3); // visited upwards from 1
    // Relative to the base line.
    base[3] = 3;
    EXPECT_EQ(FindCentreIndex(y, base), 3);
}

TEST(FindCentreIndex, TheMaximumItselfIsNotVisited) {
    std::vector<double> y{-100, -50, 0, 100};
    std::vector<double> base{0, 0, 100, 100}; // |100 - 100| = 0 at the maximum
    EXPECT_EQ(FindCentreIndex(y, base), 1);
}

TEST(FindCentreIndex, CoincidingExtremesGiveTheMiddle) {
    EXPECT_EQ(FindCentreIndex(std::vector<double>(9, 0.0), std::vector<double>(9, 0.0)), 4);
    EXPECT_EQ(FindCentreIndex({}, {}), 0);
    // A base line shorter than the source counts as zero beyond its end.
    EXPECT_EQ(FindCentreIndex(std::vector<double>{50, 1, -50}, std::vector<double>{}), 1);
}

TEST(Moments, VisitFromCentreWithDistanceWeights) {
    const auto x = Ramp(20, 0, 1);
    // A single point at the end gets weight count: S3 / S1 = count^2.
    EXPECT_DOUBLE_EQ(MomentFromDerivative(x, Spike(20, 12), 10, 12, 0), 9.0 / 3);
    EXPECT_DOUBLE_EQ(MomentFromDerivative(x, Spike(20, 8), 10, 8, 0), 9.0 / 3);
    EXPECT_DOUBLE_EQ(MomentFromDerivative(x, Spike(20, 11), 10, 12, 0), 4.0 / 3);
    // The centre has weight 1.
    EXPECT_DOUBLE_EQ(MomentFromDerivative(x, Spike(20, 10), 10, 12, 0), 1.0 / 3);
    // Points outside the visit are not read: zero denominator gives 0.
    EXPECT_EQ(MomentFromDerivative(x, Spike(20, 8), 10, 12, 0), 0);
    EXPECT_DOUBLE_EQ(MomentFromAbsorption(x, Spike(20, 13), 10, 13, 0), 16);
    EXPECT_DOUBLE_EQ(FourthMomentFromDerivative(x, Spike(20, 7), 10, 7), 256 * 0.2);
    EXPECT_DOUBLE_EQ(FourthMomentFromAbsorption(x, Spike(20, 12), 10, 12), 81);
}

TEST(Moments, QuarterMinusModulationCorrection) {
    const std::vector<double> x = Ramp(2, 100, 0.5), y{1, 1};
    // S3 = 9, S1 = 3: 3 * 0.25 / 3 - a^2 / 4.
    EXPECT_DOUBLE_EQ(MomentFromDerivative(x, y, 0, 1, 0.025), 0.25 - 0.00015625);
    EXPECT_DOUBLE_EQ(MomentFromDerivative(x, y, 1, 0, 0), 0.25);
    EXPECT_DOUBLE_EQ(ModulationCorrection(0.025), 0.00015625);
    // S2 = 5, S0 = 2.
    EXPECT_DOUBLE_EQ(MomentFromAbsorption(x, y, 0, 1, 0.5), 2.5 * 0.25 - 0.0625);
}

TEST(Moments, ZeroDenominatorGivesZeroWithoutCorrection) {
    const auto x = Ramp(3, 0, 1);
    const std::vector<double> antisym{1, 0, -1}; // S0 = 0
    EXPECT_EQ(MomentFromAbsorption(x, antisym, 0, 2, 1.0), 0);
    EXPECT_EQ(FourthMomentFromAbsorption(x, antisym, 0, 2), 0);
    const std::vector<double> zero(3, 0.0);
    EXPECT_EQ(MomentFromDerivative(x, zero, 0, 2, 1.0), 0);
    EXPECT_EQ(FourthMomentFromDerivative(x, zero, 0, 2), 0);
    const std::vector<double> cancel{2, -1, 0}; // S1 = 2*1 - 1*2 = 0
    EXPECT_EQ(MomentFromDerivative(x, cancel, 0, 2, 1.0), 0);
}

TEST(Moments, FifthPowersOfTheLargestFileDoNotOverflow) {
    const int n = 65535;
    const auto x = Ramp(n, 0, 1);
    const std::vector<double> y(static_cast<std::size_t>(n), 1.0);
    const long double N = n;
    const long double s1 = N * (N + 1) / 2;
    const long double s5 = N * N * (N + 1) * (N + 1) * (2 * N * N + 2 * N - 1) / 12;
    const double expected = static_cast<double>(s5 / s1 * 0.2L);
    EXPECT_NEAR(FourthMomentFromDerivative(x, y, 0, n - 1), expected, expected * 1e-12);
    EXPECT_GT(expected, 1e17);
    const long double s3 = (N * (N + 1) / 2) * (N * (N + 1) / 2);
    const double m2 = static_cast<double>(s3 / s1 / 3);
    EXPECT_NEAR(MomentFromDerivative(x, y, n - 1, 0, 0), m2, m2 * 1e-12);
}

TEST(Moments, CursorsOutsideTheCurveAreHeldAtItsEnds) {
    const auto x = Ramp(5, 0, 1);
    const std::vector<double> y{1, 1, 1, 1, 1};
    EXPECT_EQ(MomentFromDerivative(x, y, 2, 99, 0), MomentFromDerivative(x, y, 2, 4, 0));
    EXPECT_EQ(MomentFromAbsorption(x, y, -7, 2, 0), MomentFromAbsorption(x, y, 0, 2, 0));
    EXPECT_EQ(MomentFromDerivative({}, {}, 0, 3, 0.1), 0);
    // One point: no spacing, dx = 0.
    EXPECT_EQ(MomentFromDerivative(std::vector<double>{3}, std::vector<double>{1}, 0, 0, 0), 0);
}

TEST(Moments, ComputeMomentsPairsHalvesTowardsTheirCursors) {
    const auto x = Ramp(21, 0, 1);
    std::vector<double> y(21, 0.0);
    y[4] = 1;  // left half: distance weight 7 from MC = 10 towards LC = 2
    y[13] = 1; // right half: weight 4 towards RC = 18
    Moments d = ComputeMoments(MomentKind::Derivative, x, y, 2, 18, 10, 0);
    EXPECT_DOUBLE_EQ(d.M2L, 49.0 / 3);
    EXPECT_DOUBLE_EQ(d.M2R, 16.0 / 3);
    EXPECT_DOUBLE_EQ(d.M2, (49.0 + 16.0) / 6);
    EXPECT_DOUBLE_EQ(d.M4, (2401 * 0.2 + 256 * 0.2) * 0.5);
    Moments a = ComputeMoments(MomentKind::Absorption, x, y, 2, 18, 10, 0);
    EXPECT_DOUBLE_EQ(a.M2L, 49);
    EXPECT_DOUBLE_EQ(a.M2R, 16);
    EXPECT_DOUBLE_EQ(a.M4, (2401.0 + 256.0) * 0.5);
}

TEST(PlaceMomentCursors, WhereMagnitudeFirstReachesTwenty) {
    std::vector<double> y(101, 5.0);
    y[30] = -20; // reaches 20 exactly
    y[70] = 25;
    MomentPlacement p = PlaceMomentCursors(y, 0, 100, 51);
    EXPECT_EQ(p.Slots.LC, 30);
    EXPECT_EQ(p.Slots.RC, 70);
    EXPECT_EQ(p.Slots.MC, 51);
    EXPECT_EQ(p.Index, 51 + (30 - 51) / 2); // 41: truncated toward zero
    EXPECT_EQ(p.Index, 41);
    // Within a narrower visible range.
    p = PlaceMomentCursors(y, 40, 60, 50);
    EXPECT_EQ(p.Slots.LC, 40);
    EXPECT_EQ(p.Slots.RC, 60);
}

TEST(PlaceMomentCursors, NeverReachingTwentyGivesTheRangeEnds) {
    std::vector<double> y(50, 19.999);
    MomentPlacement p = PlaceMomentCursors(y, 3, 45, 20);
    EXPECT_EQ(p.Slots.LC, 3);
    EXPECT_EQ(p.Slots.RC, 45);
    EXPECT_EQ(p.Index, 20 + (3 - 20) / 2);
    // A scan that stops at the far end counts as not found, even when that
    // end reaches 20.
    y[45] = 30;
    p = PlaceMomentCursors(y, 3, 45, 20);
    EXPECT_EQ(p.Slots.LC, 3);
    EXPECT_EQ(p.Slots.RC, 45);
}

TEST(PlaceMomentCursors, TinyAndOutOfRangeInputs) {
    MomentPlacement p = PlaceMomentCursors(std::vector<double>{100, -100}, 0, 1, 1);
    EXPECT_EQ(p.Slots.LC, 0);
    EXPECT_EQ(p.Slots.RC, 1);
    p = PlaceMomentCursors(std::vector<double>{1, 2}, -5, 9, 0);
    EXPECT_EQ(p.Slots.LC, 0);
    EXPECT_EQ(p.Slots.RC, 1);
    p = PlaceMomentCursors({}, 0, -1, 0);
    EXPECT_EQ(p.Slots.LC, 0);
    EXPECT_EQ(p.Index, 0);
}

TEST(MeasurementCursors, LineWidthAndIntegralPlacement) {
    std::vector<double> y(40, 0.0);
    y[30] = -90;
    y[10] = 90;
    Cursors sdb = LineWidthCursors(y);
    EXPECT_EQ(sdb.LC, 10); // swapped so that LC <= RC
    EXPECT_EQ(sdb.RC, 30);
    EXPECT_DOUBLE_EQ(LineWidth(Ramp(40, -5, 0.25), sdb.LC, sdb.RC), 5);
    EXPECT_DOUBLE_EQ(LineWidth(Ramp(40, -5, 0.25), 30, 10), 5);
    EXPECT_EQ(LineWidth({}, 0, 1), 0);

    Cursors c = IntegralCursors(1000);
    EXPECT_EQ(c.LC, 100);
    EXPECT_EQ(c.RC, 900);
    c = IntegralCursors(15);
    EXPECT_EQ(c.LC, 1);
    EXPECT_EQ(c.RC, 14);
    // Below ten points count - count div 10 would be one past the end.
    c = IntegralCursors(9);
    EXPECT_EQ(c.LC, 0);
    EXPECT_EQ(c.RC, 8);
    c = IntegralCursors(2);
    EXPECT_EQ(c.RC, 1);
}

std::vector<double> Peak(int n, int centre, double height, double width, double offset = 0) {
    std::vector<double> y(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double u = (i - centre) / width;
        y[static_cast<std::size_t>(i)] = offset + height / (1 + u * u);
    }
    return y;
}

TEST(FindHalfHeight, PositivePeakFirstAboveAndFirstAtOrBelow) {
    // Half height 50: above at 45..55 (|i - 50| < 5), exactly 50 at 45 and 55.
    auto y = Peak(101, 50, 100, 5);
    HalfHeightResult r = FindHalfHeight(y, 0, 100);
    ASSERT_TRUE(r.Found) << r.Error;
    const double half = (*std::max_element(y.begin(), y.end()) - y[0]) * 0.5 + y[0];
    EXPECT_GT(y[static_cast<std::size_t>(r.LC)], half);
    EXPECT_LE(y[static_cast<std::size_t>(r.LC - 1)], half);
    EXPECT_LE(y[static_cast<std::size_t>(r.RC)], half);
    EXPECT_GT(y[static_cast<std::size_t>(r.RC - 1)], half);
}

TEST(FindHalfHeight, ExactHalfAtTheRightCrossingIsTheCursor) {
    // Inverted: the right scan stops on a point exactly at half height.
    const std::vector<double> y{20, 10, 0, 0, 10, 20};
    HalfHeightResult r = FindHalfHeight(y, 0, 5);
    ASSERT_TRUE(r.Found) << r.Error;
    EXPECT_EQ(r.LC, 1);
    EXPECT_EQ(r.RC, 4); // RC = j
    const std::vector<double> z{0, 11, 20, 11, 0};
    r = FindHalfHeight(z, 0, 4);
    ASSERT_TRUE(r.Found) << r.Error;
    EXPECT_EQ(r.LC, 1);
    EXPECT_EQ(r.RC, 4); // j = 3, above half: RC = j + 1
}

TEST(FindHalfHeight, InvertedPeakFindsTheCrossingsOnTheWayDown) {
    auto y = Peak(101, 50, -100, 5, 30);
    HalfHeightResult r = FindHalfHeight(y, 0, 100);
    ASSERT_TRUE(r.Found) << r.Error;
    const double half = (y[0] - y[50]) * 0.5 + y[50];
    EXPECT_LE(y[static_cast<std::size_t>(r.LC)], half);
    EXPECT_GT(y[static_cast<std::size_t>(r.LC - 1)], half);
    // Right: j stops at the last point at or below half; RC is the next one.
    EXPECT_GT(y[static_cast<std::size_t>(r.RC)], half);
    EXPECT_LE(y[static_cast<std::size_t>(r.RC - 1)], half);
    EXPECT_EQ(r.LC - 50, 50 - (r.RC - 1));
}

TEST(FindHalfHeight, MissingCrossingsGiveTheMessages) {
    auto y = Peak(101, 50, 100, 5);
    // Zoomed onto the flank: the whole visible part lies below half.
    HalfHeightResult r = FindHalfHeight(y, 0, 30);
    EXPECT_FALSE(r.Found);
    EXPECT_EQ(r.Error, "Lack of begining value");
    // A step: the left crossing is found, the right scan meets it.
    const std::vector<double> step{0, 0, 0, 10, 10, 10};
    r = FindHalfHeight(step, 0, 5);
    EXPECT_FALSE(r.Found);
    EXPECT_EQ(r.Error, "Lack of ending value");
    // One point above half: the two scans meet.
    r = FindHalfHeight(std::vector<double>{0, 10, 20, 10, 0}, 0, 4);
    EXPECT_EQ(r.Error, "Lack of ending value");
    r = FindHalfHeight(std::vector<double>{0, 10}, 0, 1);
    EXPECT_EQ(r.Error, "Lack of ending value");
    r = FindHalfHeight({}, 0, 0);
    EXPECT_FALSE(r.Found);
    // Out-of-range indices are clamped to the curve.
    r = FindHalfHeight(y, -10, 500);
    EXPECT_TRUE(r.Found);
}

TEST(GFactor, FourteenMegahertzAtFiveGauss) {
    const double g = GFactor(0, 5, 14000);
    EXPECT_NEAR(g, 2.0005, 0.00005);
    EXPECT_DOUBLE_EQ(g, 14000 * 0.000001 / (5 * 0.0001) * 0.07144771);
    EXPECT_EQ(GFactorText(g), "  2.0005");
    EXPECT_DOUBLE_EQ(GFactor(-2, 7, 14000), g); // X is the offset from B0
}

struct TextCase {
    const char* name;
    std::string text;
    std::string expected;
};
class MeasurementTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(MeasurementTextTest, Formats) {
    EXPECT_EQ(GetParam().text, GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(
    Texts, MeasurementTextTest,
    ::testing::Values(TextCase{"ILBValPlusBlank", CursorXText(1.5, "Gs", true), "+1.50 Gs"},
                      TextCase{"ILEValMinusNoBlank", CursorXText(-1.5, "Gs", false), "-1.50Gs"},
                      TextCase{"CursorZeroNoSign", CursorXText(0, "kHz", true), "0.00 kHz"},
                      TextCase{"CursorThousands", CursorXText(1234.567, "kHz", true),
                               "+1 234.57 kHz"},
                      TextCase{"Moment", MomentText(12.3456), "   12.346 Gs \u00B2"},
                      TextCase{"MomentZero", MomentText(0), "    0.000 Gs \u00B2"},
                      TextCase{"FourthMoment", FourthMomentText(1234.5), "1 234.500 Gs"},
                      TextCase{"Width", WidthText(1.25, "Gs"), "  1.25 Gs"},
                      TextCase{"Area", AreaText(1234567.6), "1 234 568"},
                      TextCase{"AreaNegative", AreaText(-20.4), "-20"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tavi
