// SPDX-License-Identifier: GPL-3.0-or-later
#include "compare/CompareData.h"
#include "compare/CompareTable.h"
#include "compare/CompareFiles.h"
#include "setup/FileTestUtil.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace tavi {
namespace {

using test::EsrSettings;
using test::NmrSettings;

const double kSkip = std::nan("");

struct AxisCase {
    const char* name;
    DataFileSettings settings;
    CompareAxis axis;
    std::vector<double> expected; // of 5 points over the sweep
};

DataFileSettings WithB0(DataFileSettings s, const char* b0) {
    s.FieldB0Text = b0;
    return s;
}

class AxisTest : public ::testing::TestWithParam<AxisCase> {};

TEST_P(AxisTest, PointsOnTheAxisMatchHandValues) {
    const AxisCase& c = GetParam();
    test::TempDir dir;
    ASSERT_TRUE(test::WriteSums(dir.File("a.dcw"), {1, 2, 3, 4, 5}, c.settings));
    const CompareFile f = LoadCompareFile(dir.File("a.dcw"));
    ASSERT_TRUE(f.Ok()) << f.Error;
    std::vector<double> x;
    ConvertAxis(f, c.axis, x);
    ASSERT_EQ(x.size(), c.expected.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        if (!std::isnan(c.expected[i])) {
            EXPECT_NEAR(x[i], c.expected[i], std::abs(c.expected[i]) * 1e-6) << i;
        }
}

// g by h nu / (muB B) with the CODATA constants: 9.4 GHz at 3357 Gs is
// 2.00062171, at 3407 Gs 1.97126125; 9.45 GHz at 3357 Gs 2.01126332.
INSTANTIATE_TEST_SUITE_P(
    Compare, AxisTest,
    ::testing::Values(
        AxisCase{"Relative", NmrSettings(100), CompareAxis::Relative, {-50, -25, 0, 25, 50}},
        AxisCase{"FieldGs", WithB0(NmrSettings(100), "3 288.0 Gs"), CompareAxis::FieldGs,
                 {3238, 3263, 3288, 3313, 3338}},
        AxisCase{"FieldMT", WithB0(NmrSettings(100), "3 288.0 Gs"), CompareAxis::FieldMT,
                 {323.8, 326.3, 328.8, 331.3, 333.8}},
        AxisCase{"FieldFromMillitesla", WithB0(NmrSettings(100), "328.812 mT"),
                 CompareAxis::FieldGs, {3238.12, 3263.12, 3288.12, 3313.12, 3338.12}},
        AxisCase{"GOfFieldSweep", WithB0(EsrSettings(100), "3 357.0 Gs"), CompareAxis::GFactor,
                 {kSkip, kSkip, 2.00062171446412, kSkip, 1.9712612549034492}},
        AxisCase{"GOfFrequencySweep", test::FrequencySweep(EsrSettings(), 100000),
                 CompareAxis::GFactor, {kSkip, kSkip, 2.00062171446412, kSkip, 2.0112633193282914}},
        AxisCase{"Frequency", test::FrequencySweep(NmrSettings(), 100), CompareAxis::Frequency,
                 {13950, 13975, 14000, 14025, 14050}}),
    [](const auto& info) { return std::string(info.param.name); });

// The g cases only fix the points with hand values; the others are checked to
// fall monotonically between them.
TEST(CompareAxis, GFallsAsTheFieldRises) {
    test::TempDir dir;
    ASSERT_TRUE(test::WriteSums(dir.File("e.dcw"), {1, 2, 3, 4, 5}, EsrSettings(100)));
    std::vector<double> g;
    ConvertAxis(LoadCompareFile(dir.File("e.dcw")), CompareAxis::GFactor, g);
    EXPECT_TRUE(std::is_sorted(g.rbegin(), g.rend()));
}

TEST(CompareAxis, AvailabilityFollowsModesAndSweeps) {
    test::TempDir dir;
    test::WriteSums(dir.File("n.dcw"), {1, 2, 3}, NmrSettings());
    test::WriteSums(dir.File("e.dcw"), {1, 2, 3}, EsrSettings());
    test::WriteSums(dir.File("f.dcw"), {1, 2, 3}, test::FrequencySweep(EsrSettings(), 50));
    const CompareFile n = LoadCompareFile(dir.File("n.dcw"));
    const CompareFile e = LoadCompareFile(dir.File("e.dcw"));
    const CompareFile f = LoadCompareFile(dir.File("f.dcw"));
    const CompareFile bad = LoadCompareFile(dir.File("missing.dcw"));
    EXPECT_FALSE(bad.Ok());
    EXPECT_EQ(AxisUnavailable({&n, &e}, CompareAxis::GFactor), "NMR and ESR files together: no g-axis");
    EXPECT_EQ(AxisUnavailable({&n, &e}, CompareAxis::FieldGs), "");
    EXPECT_EQ(AxisUnavailable({&e, &f, &bad}, CompareAxis::GFactor), ""); // a failed file counts not
    EXPECT_NE(AxisUnavailable({&e, &f}, CompareAxis::FieldMT), "");
    EXPECT_NE(AxisUnavailable({&e, &f}, CompareAxis::Frequency), "");
    EXPECT_EQ(AxisUnavailable({&f}, CompareAxis::Frequency), "");
    EXPECT_EQ(AxisUnavailable({}, CompareAxis::Relative), "");
}

TEST(CompareNormalisation, DivisorsMatchHandValues) {
    test::TempDir dir;
    DataFileSettings s = NmrSettings();
    s.AccText = "4";
    s.GainText = "60";
    s.ModAmpText = "0.25 Gs";
    ASSERT_TRUE(test::WriteSums(dir.File("a.dcw"), {10, -30, 5, 7}, s));
    const CompareFile f = LoadCompareFile(dir.File("a.dcw"));
    ASSERT_TRUE(f.Ok()) << f.Error;
    // Averages unrounded: 2.5 would round to 2 and -7.5 to -8 in the window.
    EXPECT_EQ(f.Average, (std::vector<double>{2.5, -7.5, 1.25, 1.75}));
    EXPECT_DOUBLE_EQ(NormalisationDivisor(f, CompareNorm::None).Value, 1);
    EXPECT_DOUBLE_EQ(NormalisationDivisor(f, CompareNorm::GainModAmp).Value, 15);
    EXPECT_DOUBLE_EQ(NormalisationDivisor(f, CompareNorm::Maximum).Value, 7.5);
    EXPECT_DOUBLE_EQ(NormalisationDivisor(f, CompareNorm::DoubleIntegral, 42.0).Value, 42);

    // No usable divisor: an error, never a division by zero.
    EXPECT_NE(NormalisationDivisor(f, CompareNorm::DoubleIntegral).Error, "");
    EXPECT_NE(NormalisationDivisor(f, CompareNorm::DoubleIntegral, 0.0).Error, "");
    s.GainText = "0";
    ASSERT_TRUE(test::WriteSums(dir.File("b.dcw"), {0, 0, 0}, s));
    const CompareFile zero = LoadCompareFile(dir.File("b.dcw"));
    for (CompareNorm n : {CompareNorm::GainModAmp, CompareNorm::Maximum}) {
        const NormDivisor d = NormalisationDivisor(zero, n);
        EXPECT_NE(d.Error, "");
        EXPECT_EQ(d.Value, 1);
    }
}

struct PatternCase {
    const char* name;
    const char* comment;
    const char* pattern; // nullptr: the default
    std::optional<double> expected;
};

class PatternTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(PatternTest, TakesTheNumber) {
    const PatternCase& c = GetParam();
    std::regex re;
    ASSERT_TRUE(CompileCommentPattern(c.pattern ? c.pattern : kDefaultCommentPattern, re, nullptr));
    EXPECT_EQ(NumberFromComment(c.comment, re), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Compare, PatternTest,
    ::testing::Values(PatternCase{"Plain", "Glycerol, 295 K", nullptr, 295.0},
                      PatternCase{"Decimal", "T = 77.5K, run 2", nullptr, 77.5},
                      PatternCase{"FirstFollowedByK", "sample 3, 4 K", nullptr, 4.0},
                      PatternCase{"Negative", "-12 K", nullptr, -12.0},
                      PatternCase{"NoMatch", "no temperature", nullptr, std::nullopt},
                      PatternCase{"KiloHertzIsNoKelvin", "5 kHz", nullptr, std::nullopt},
                      PatternCase{"KelvinWordIsNoUnit", "300 Kelvin", nullptr, std::nullopt},
                      PatternCase{"OwnGroup", "angle 45 deg", R"(angle (\d+))", 45.0},
                      PatternCase{"WholeMatch", "12.5 mM", R"(\d+\.\d+)", 12.5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ComparePattern, BadExpressionSaysWhy) {
    std::regex re;
    std::string error;
    EXPECT_FALSE(CompileCommentPattern("(\\d+", re, &error));
    EXPECT_NE(error.find("Bad pattern"), std::string::npos);
}

TEST(CompareEnvelope, KeepsExtremesAndOrderWithinTheBudget) {
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0, 50);
    for (int n : {10, 999, 65535}) {
        std::vector<double> x(static_cast<std::size_t>(n)), y(x.size());
        for (int i = 0; i < n; ++i) {
            x[static_cast<std::size_t>(i)] = 3000.0 - i * 0.01; // descending, as g is
            y[static_cast<std::size_t>(i)] = noise(rng);
        }
        std::vector<double> ex, ey;
        MinMaxEnvelope(x, y, 500, ex, ey);
        ASSERT_EQ(ex.size(), ey.size());
        EXPECT_LE(ex.size(), std::min<std::size_t>(x.size(), 1000)) << n;
        EXPECT_TRUE(std::is_sorted(ex.rbegin(), ex.rend())) << n;
        EXPECT_EQ(*std::max_element(ey.begin(), ey.end()), *std::max_element(y.begin(), y.end()));
        EXPECT_EQ(*std::min_element(ey.begin(), ey.end()), *std::min_element(y.begin(), y.end()));
        for (std::size_t k = 0; k < ex.size(); ++k) { // every point is one of the curve's
            const auto i = static_cast<std::size_t>(std::lround((3000.0 - ex[k]) / 0.01));
            ASSERT_LT(i, y.size());
            EXPECT_EQ(ey[k], y[i]);
        }
    }
}

TEST(CompareTable, RowsCarryTheAnalysisAndTextsQuote) {
    test::TempDir dir;
    DataFileSettings s = EsrSettings();
    s.Comment = "DPPH, \"fresh\"\t295 K";
    ASSERT_TRUE(test::WriteSpectrum(dir.File("d.dcw"), 401, s, test::LineShape{}));
    const CompareFile f = LoadCompareFile(dir.File("d.dcw"));
    ASSERT_TRUE(f.Ok()) << f.Error;
    const auto columns = CompareColumns(true);
    const CompareRow row = MakeCompareRow(f, 295.0, CompareFit{1, 0.1, 2, 0.2}, true);
    ASSERT_EQ(row.size(), columns.size());
    auto value = [&](const char* title) {
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (columns[i].Title == title)
                return row[i].Value;
        ADD_FAILURE() << title;
        return std::optional<double>();
    };
    EXPECT_EQ(value("SDB"), f.Analysis.Derivative.SDB);
    EXPECT_EQ(value("g"), f.Analysis.G);
    EXPECT_EQ(value("AI"), f.Analysis.Absorption.AI);
    EXPECT_EQ(value("M2 absorption"), f.Analysis.Absorption.Moment.M2);
    EXPECT_EQ(value("Width error"), 0.2);
    EXPECT_EQ(columns[static_cast<std::size_t>(kCommentValueColumn)].Title, "From comment");

    const std::string csv = CompareTableText(columns, {row}, ',');
    EXPECT_NE(csv.find("\"DPPH, \"\"fresh\"\"\t295 K\""), std::string::npos) << csv;
    EXPECT_NE(csv.find("," + ExactNumber(f.Analysis.Derivative.SDB) + ","), std::string::npos);
    const std::string tsv = CompareTableText(columns, {row}, '\t');
    EXPECT_NE(tsv.find("DPPH, \"fresh\" 295 K\t"), std::string::npos) << tsv;
    EXPECT_EQ(std::count(tsv.begin(), tsv.end(), '\n'), 2);
}

} // namespace
} // namespace tavi
