// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/Export.h"

#include "processing/ExportReaders.h"
#include "processing/GoldenDataFile.h"
#include "setup/FileTestUtil.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using tavi::CurveExport;
using tavi::CurveText;
using tavi::CurveTextPath;
using tavi::test::ReadBytes;
using tavi::test::TempDir;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

std::string FileText(const std::string& path) {
    auto b = ReadBytes(path);
    return std::string(b.begin(), b.end());
}

struct PathCase {
    const char* name;
    const char* dir;
    const char* chosen;
    const char* ext;
    const char* expected;
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << c.name;
}

class CurveTextPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(CurveTextPathTest, JoinsTheParts) {
    const PathCase& c = GetParam();
    EXPECT_EQ(CurveTextPath(c.dir, c.chosen, c.ext), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rule, CurveTextPathTest,
    ::testing::Values(
        PathCase{"SourceExport", "/out", "/data/sample.dcw", "txt", "/out/sample.txt"},
        PathCase{"DerivativeExport", "/out", "/data/sample.dcw", "prd", "/out/sample.prd"},
        PathCase{"AbsorptionExport", "/out", "/data/sample.dcw", "pra", "/out/sample.pra"},
        PathCase{"CutAfterFirstDot", "/out", "/d.x/a.b.dcw", "txt", "/out/a.txt"},
        PathCase{"DirectoryEndingInSeparator", "/out/", "/data/sample.dcw", "txt",
                 "/out//sample.txt"},
        PathCase{"NameEmptiedByPreferences", "/out", "", "pra", "/out/pra"},
        PathCase{"NameWithoutDot", "/out", "/data/run7", "txt", "/out/run7txt"},
        PathCase{"NameWithoutDirectory", "/out", "run7.dcw", "prd", "/out/run7.prd"}),
    [](const auto& info) { return std::string(info.param.name); });

struct LayoutCase {
    const char* name;
    std::vector<double> xs, ys;
    std::string expected;
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.name;
}

class CurveTextLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(CurveTextLayoutTest, ByteForByte) {
    const LayoutCase& c = GetParam();
    EXPECT_EQ(CurveText(c.xs, c.ys), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layout, CurveTextLayoutTest,
    ::testing::Values(
        LayoutCase{
            "HalfAndMinusThree", {0.5}, {-3}, "    0.50" + std::string(17, ' ') + "-3.00\r\n\r\n"},
        LayoutCase{
            "MinusFiftyAnd123", {-50}, {123}, "  -50.00" + std::string(16, ' ') + "123.00\r\n\r\n"},
        LayoutCase{
            "WideXPushesY", {-12345.67}, {1}, "-12345.67" + std::string(18, ' ') + "1.00\r\n\r\n"},
        LayoutCase{"WideYWidensLine",
                   {0},
                   {1e22},
                   "    0.00" + std::string("10000000000000000000000.00") + "\r\n\r\n"},
        LayoutCase{"EmptySeries", {}, {}, "\r\n"},
        LayoutCase{"PointOrderNoThousandsSeparator",
                   {-1234.5, 2},
                   {4567.891, -0.004},
                   "-1234.50" + std::string(15, ' ') + "4567.89\r\n" + "    2.00" +
                       std::string(17, ' ') + "-0.00\r\n\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// The two decimals round exactly as the C library's "%.2f" does.
TEST(CurveText, RoundsLikePrintf) {
    std::vector<double> values{0.125, 0.375, 2.675, -0.005, 1.005, 499.995, -499.999, 1e-9};
    for (double v : values) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%8.2f%22.2f\r\n", v, v);
        std::vector<double> one{v};
        EXPECT_EQ(CurveText(one, one), std::string(buf) + "\r\n") << v;
    }
}

TEST(CurveText, DecimalPointWhateverTheLocale) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "C.UTF-8"})
        if (std::setlocale(LC_NUMERIC, name) && *std::localeconv()->decimal_point == ',') {
            comma = true;
            break;
        }
    std::vector<double> xs{1.5}, ys{-2.25};
    std::string text = CurveText(xs, ys);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(text, "    1.50" + std::string(17, ' ') + "-2.25\r\n\r\n");
    if (!comma)
        GTEST_SKIP() << "no locale with a decimal comma installed";
}

TEST(WriteCurveText, ReplacesAnExistingLongerFile) {
    TempDir dir;
    std::string path = dir.File("sample.txt");
    tavi::test::WriteBytes(path, std::vector<std::uint8_t>(500, 'z'));
    std::vector<double> xs{-50, 50}, ys{1, 2};
    std::string error;
    ASSERT_TRUE(tavi::WriteCurveText(path, xs, ys, &error)) << error;
    EXPECT_EQ(FileText(path), CurveText(xs, ys));
}

struct FailCase {
    const char* name;
    std::string (*path)(const TempDir&);
    const char* message;
    tavi::FileFailure kind;
};

void PrintTo(const FailCase& c, std::ostream* os) {
    *os << c.name;
}

class WriteCurveTextFailure : public ::testing::TestWithParam<FailCase> {};

TEST_P(WriteCurveTextFailure, ReportsTheCause) {
    TempDir dir;
    std::string path = GetParam().path(dir);
    std::vector<double> xs{1}, ys{2};
    const tavi::FileResult r = tavi::WriteCurveText(path, xs, ys);
    EXPECT_EQ(r.Kind, GetParam().kind);
    EXPECT_THAT(r.Message, HasSubstr(path));
    EXPECT_THAT(r.Message, HasSubstr(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, WriteCurveTextFailure,
    ::testing::Values(FailCase{"MissingDirectory",
                               [](const TempDir& d) { return d.File("gone") + "/sample.txt"; },
                               "No such file or directory", tavi::FileFailure::Io},
                      FailCase{"DeviceRefused",
                               [](const TempDir&) { return std::string("/dev/full"); },
                               "it is a device, not a regular file", tavi::FileFailure::NotRegular},
                      FailCase{"DirectoryInTheWay",
                               [](const TempDir& d) {
                                   std::filesystem::create_directory(d.File("x.txt"));
                                   return d.File("x.txt");
                               },
                               "Cannot create file", tavi::FileFailure::Io}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WriteCurveText, UnwritableDirectoryIsReported) {
    TempDir dir;
    tavi::test::UnwritableDir lock(dir.Path());
    if (!lock.Active())
        GTEST_SKIP() << "cannot make a directory unwritable here";
    std::vector<double> xs{1}, ys{2};
    std::string error;
    EXPECT_FALSE(tavi::WriteCurveText(dir.File("a.txt"), xs, ys, &error));
    EXPECT_THAT(error, StartsWith("Cannot create file " + dir.File("a.txt") + ": "));
}

// The golden sample as the window reads it, with a result curve's values.
struct Sample {
    tavi::LoadedDataFile file;
    std::vector<double> y;
    CurveExport curve;
    Sample(bool fieldSweep, std::size_t points) {
        auto g = tavi::test::SampleGolden();
        g.Byte(304, fieldSweep ? 1 : 0);
        for (std::size_t i = 5; i < points; ++i)
            g.Sample(static_cast<std::int32_t>(i * 37 % 9000) - 4500);
        std::string error;
        auto bytes = g.Bytes();
        if (!tavi::ParseDataFile(bytes, file, &error))
            throw std::runtime_error(error);
        // A result curve has arbitrary reals, not just the source's integers.
        for (std::size_t i = 0; i < file.Y.size(); ++i)
            y.push_back(file.Y[i] / 3.0 - 0.1 * static_cast<double>(i));
        curve.Title = "sample.dcw";
        curve.Curve = "1st Derivative";
        tavi::DescribeFile(curve, file);
        curve.Processing = {{"Base line slope", "0.002"}, {"M2 =", "12.5 Gs²"}};
        curve.X = file.X;
        curve.Y = y;
    }
};

TEST(CurveCsv, ReadsBackExactly) {
    Sample s(true, 300);
    tavi::test::CsvRead r = tavi::test::ReadCsv(tavi::CurveCsv(s.curve));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.columns, "field_Gs,offset_Gs,y");
    ASSERT_EQ(r.x.size(), s.file.X.size());
    for (std::size_t i = 0; i < r.x.size(); ++i) {
        EXPECT_NEAR(r.x[i], s.file.X[i], 5e-7) << i;
        EXPECT_NEAR(r.absolute[i], 3350 + s.file.X[i], 5e-7) << i;
    }
    EXPECT_EQ(r.y, s.y);
    EXPECT_EQ(r.comments["File"], "sample.dcw");
    EXPECT_EQ(r.comments["Curve"], "1st Derivative");
    EXPECT_EQ(r.comments["Mode"], "ESR");
    EXPECT_EQ(r.comments["Sweep"], "Field");
    EXPECT_EQ(r.comments["Sweep range"], "100 Gs");
    EXPECT_EQ(r.comments["2nd Mod Amplit"], "0.025 Gs");
    EXPECT_EQ(r.comments["Sweep time"], "20 s");
    EXPECT_EQ(r.comments["Gain"], "x 1000");
    EXPECT_EQ(r.comments["Phase"], "45\u00B0");
    EXPECT_EQ(r.comments["B0"], "3 350.0 Gs");
    EXPECT_EQ(r.comments["Frequency"], "9 400 000 kHz");
    EXPECT_EQ(r.comments["Acc"], "10");
    EXPECT_EQ(r.comments["Comment"], "Sample A");
    EXPECT_EQ(r.comments["Base line slope"], "0.002");
    EXPECT_EQ(r.comments["M2"], "12.5 Gs²");
}

TEST(CurveCsv, FrequencySweepAndMultiLineCommentStayComments) {
    Sample s(false, 5);
    s.curve.Header.back().Value = "first\r\nsecond,third\nx,y";
    std::string text = tavi::CurveCsv(s.curve);
    tavi::test::CsvRead r = tavi::test::ReadCsv(text);
    EXPECT_TRUE(r.ok) << text;
    EXPECT_EQ(r.columns, "frequency_kHz,offset_kHz,y");
    EXPECT_EQ(r.x.size(), 5u);
    EXPECT_DOUBLE_EQ(r.absolute[0], 9400000 + s.file.X[0]);
    EXPECT_THAT(text, HasSubstr("# Comment: first\r\n#   second,third\r\n#   x,y\r\n"));
}

// Values whose shortest form has an exponent, and exact binary ties of the
// X decimals, which round away from zero as every shown number does.
TEST(CurveExports, FixedNotationAndTiesAwayFromZero) {
    const std::vector<double> xs{-49.6250000625, 0.0078125, -0.0078125, 1e-7};
    const std::vector<double> ys{-1e5, 7.9e-5, 1e21, -3e-17};
    CurveExport c;
    c.Title = "t.dcw";
    c.FieldB0 = 0;
    c.X = xs;
    c.Y = ys;
    tavi::test::CsvRead r = tavi::test::ReadCsv(tavi::CurveCsv(c));
    ASSERT_TRUE(r.ok);
    const std::string csv = tavi::CurveCsv(c);
    EXPECT_THAT(csv, HasSubstr("\r\n0.007813,0.007813,0.000079\r\n"));
    EXPECT_THAT(csv, HasSubstr("\r\n-0.007813,-0.007813,1000000000000000000000\r\n"));
    EXPECT_THAT(csv, HasSubstr("\r\n-49.625000,-49.625000,-100000\r\n"));
    EXPECT_EQ(r.y[1], 7.9e-5);
    // Both readers refuse a number with an exponent.
    tavi::test::JcampRead j = tavi::test::ReadJcamp(tavi::CurveJcamp(c));
    ASSERT_TRUE(j.ok) << j.error;
    EXPECT_EQ(j.y.size(), ys.size());
    for (const char* label : {"FIRSTX", "LASTX", "DELTAX", "FIRSTY"})
        EXPECT_TRUE(tavi::test::PlainNumber(j.labels[label])) << label << j.labels[label];
}

struct JcampCase {
    const char* name;
    bool fieldSweep;
    std::size_t points;
};

void PrintTo(const JcampCase& c, std::ostream* os) {
    *os << c.name;
}

class CurveJcampTest : public ::testing::TestWithParam<JcampCase> {};

TEST_P(CurveJcampTest, ReadsBackWithinPrecision) {
    const JcampCase& c = GetParam();
    Sample s(c.fieldSweep, c.points);
    std::string text = tavi::CurveJcamp(s.curve);
    tavi::test::JcampRead r = tavi::test::ReadJcamp(text);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_LE(r.longestLine, tavi::kJcampLineLimit);
    ASSERT_GE(r.order.size(), 3u);
    EXPECT_EQ(r.order.front(), "TITLE");
    EXPECT_EQ(r.order[1], "JCAMP-DX");
    EXPECT_EQ(r.order.back(), "END");
    EXPECT_EQ(r.order[r.order.size() - 2], "XYDATA");
    for (const char* label : {"DATA TYPE", "ORIGIN", "OWNER", "XUNITS", "YUNITS", "FIRSTX", "LASTX",
                              "NPOINTS", "XFACTOR", "YFACTOR", "FIRSTY"})
        EXPECT_EQ(r.labels.count(label), 1u) << label;
    EXPECT_EQ(r.labels["JCAMP-DX"], "4.24");
    EXPECT_EQ(r.labels["XYDATA"], "(X++(Y..Y))");
    EXPECT_EQ(r.labels["DATA TYPE"], "ESR SPECTRUM");
    EXPECT_EQ(r.labels["XUNITS"], c.fieldSweep ? "GAUSS" : "HZ");
    EXPECT_EQ(r.labels["$GAIN"], "x 1000");
    EXPECT_EQ(r.labels["$2ND MOD AMPLIT"], "0.025 Gs");
    EXPECT_EQ(r.labels["$COMMENT"], "Sample A");
    EXPECT_EQ(r.labels["$M2"], "12.5 Gs^2"); // printable ASCII only
    EXPECT_EQ(r.labels["$PHASE"], "45 deg");
    EXPECT_EQ(r.labels["$MICROWAVE FREQUENCY"], "9400.000000000");

    const double xFactor = std::strtod(r.labels["XFACTOR"].c_str(), nullptr);
    const double yFactor = std::strtod(r.labels["YFACTOR"].c_str(), nullptr);
    const double unit = c.fieldSweep ? 1.0 : 1000.0;
    const double centre = c.fieldSweep ? 3350.0 : 9400000.0; // absolute X
    const std::size_t n = std::strtoul(r.labels["NPOINTS"].c_str(), nullptr, 10);
    ASSERT_EQ(n, s.y.size());
    ASSERT_EQ(r.y.size(), n);
    const double firstX = std::strtod(r.labels["FIRSTX"].c_str(), nullptr) * xFactor;
    const double lastX = std::strtod(r.labels["LASTX"].c_str(), nullptr) * xFactor;
    const double deltaX = (lastX - firstX) / static_cast<double>(n - 1);
    EXPECT_DOUBLE_EQ(std::strtod(r.labels["FIRSTY"].c_str(), nullptr) * yFactor, s.y[0]);
    for (std::size_t i = 0; i < n; ++i) {
        const double expected = (centre + s.file.X[i]) * unit;
        EXPECT_NEAR(firstX + static_cast<double>(i) * deltaX, expected,
                    1e-6 * unit + 1e-15 * std::abs(expected))
            << i;
        EXPECT_DOUBLE_EQ(r.y[i] * yFactor, s.y[i]) << i;
    }
    // X check of X++(Y..Y): every line starts with the X of its first Y.
    ASSERT_EQ(r.lineX.size(), r.lineFirst.size());
    EXPECT_GT(r.lineX.size(), n / 20);
    for (std::size_t k = 0; k < r.lineX.size(); ++k)
        EXPECT_NEAR(r.lineX[k] * xFactor, firstX + static_cast<double>(r.lineFirst[k]) * deltaX,
                    1e-6 * unit + 1e-15 * std::abs(centre * unit))
            << "line " << k;
}

INSTANTIATE_TEST_SUITE_P(Sweeps, CurveJcampTest,
                         ::testing::Values(JcampCase{"FieldSweep", true, 400},
                                           JcampCase{"FrequencySweep", false, 400},
                                           JcampCase{"TwoPoints", true, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CurveJcamp, AwkwardTextsCannotBreakTheBlock) {
    Sample s(true, 5);
    std::string longText(300, 'a');
    longText[100] = '\xC3'; // a two-byte character straddling a line end is kept whole
    longText.insert(101, "\xA9");
    s.curve.Header.back().Value = "##END= $$ x\r\n##XYDATA=" + longText;
    s.curve.Title = "run##7.dcw";
    std::string text = tavi::CurveJcamp(s.curve);
    tavi::test::JcampRead r = tavi::test::ReadJcamp(text);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_LE(r.longestLine, tavi::kJcampLineLimit);
    EXPECT_EQ(r.y.size(), 5u);
    EXPECT_THAT(r.labels["$COMMENT"], HasSubstr(longText.substr(0, 50)));
    EXPECT_THAT(r.labels["$COMMENT"], HasSubstr("a<U+00E9>a"));
    for (char ch : text)
        EXPECT_TRUE((ch >= 0x20 && ch < 0x7F) || ch == '\r' || ch == '\n') << int(ch);
    EXPECT_EQ(r.order.back(), "END");
}

} // namespace
