// SPDX-License-Identifier: GPL-3.0-or-later
#include "params/NumFormat.h"

#include "common/Usr.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>

using namespace tavi;

namespace {

// Restores the program-wide separators after a test that changes them.
class SeparatorGuard {
public:
    SeparatorGuard() : saved_(GetNumberSeparators()) {}
    ~SeparatorGuard() { SetNumberSeparators(saved_); }

private:
    NumberSeparators saved_;
};

} // namespace

TEST(FormatN, PaddingAndWidth) {
    EXPECT_EQ(FormatN(0, 7, 1), "    0.0");
    EXPECT_EQ(FormatN(358.5L, 7, 1), "  358.5");
    EXPECT_EQ(FormatN(5, 0, 2), "5.00");
    EXPECT_EQ(FormatN(12345.6L, 3, 1), "12 345.6"); // longer text is not cut
    EXPECT_EQ(FormatN(-1.5L, 6, 1), "  -1.5");
    EXPECT_EQ(FormatN(42, 4, 0), "  42");
}

TEST(FormatN, ThousandsGroups) {
    EXPECT_EQ(FormatN(999, 0, 0), "999");
    EXPECT_EQ(FormatN(1234, 0, 2), "1 234.00");
    EXPECT_EQ(FormatN(123456, 0, 0), "123 456");
    EXPECT_EQ(FormatN(1234567, 0, 1), "1 234 567.0");
    EXPECT_EQ(FormatN(-1234, 0, 0), "-1 234");
    EXPECT_EQ(FormatN(-1234567.891L, 0, 2), "-1 234 567.89");
    EXPECT_EQ(FormatN(-123, 0, 2), "-123.00");
    EXPECT_EQ(FormatN(999999.5L, 0, 0), "1 000 000"); // carry adds a group
    EXPECT_EQ(FormatN(999.995L, 0, 2), "1 000.00");
}

TEST(FormatN, HalvesAwayFromZero) {
    EXPECT_EQ(FormatN(2.5L, 0, 0), "3");
    EXPECT_EQ(FormatN(-2.5L, 0, 0), "-3");
    EXPECT_EQ(FormatN(0.5L, 0, 0), "1");
    EXPECT_EQ(FormatN(0.125L, 0, 2), "0.13");
    EXPECT_EQ(FormatN(-0.125L, 0, 2), "-0.13");
    EXPECT_EQ(FormatN(0.375L, 0, 2), "0.38");
    EXPECT_EQ(FormatN(0.0005L, 0, 3), "0.001");
    EXPECT_EQ(FormatN(0.3499999940395355L, 0, 2), "0.35");
    EXPECT_EQ(FormatN(0.145L, 0, 2), "0.15");
    // A double below the half stays below it.
    EXPECT_EQ(FormatN(static_cast<long double>(0.145), 0, 2), "0.14");
    // An extended product one ulp off the half still rounds as the half.
    EXPECT_EQ(FormatN(14000250 * 0.001L, 0, 2), "14 000.25");
    EXPECT_EQ(FormatN(14000250 * 0.001L, 0, 1), "14 000.3");
    EXPECT_EQ(FormatN(2.4999999L, 0, 0), "2");
}

TEST(FormatN, NoNegativeZeroAndSpecials) {
    EXPECT_EQ(FormatN(-0.004L, 0, 2), "0.00");
    EXPECT_EQ(FormatN(-0.0L, 5, 1), "  0.0");
    EXPECT_EQ(FormatN(std::numeric_limits<long double>::infinity(), 5, 1), "  INF");
    EXPECT_EQ(FormatN(-std::numeric_limits<long double>::infinity(), 0, 1), "-INF");
    EXPECT_EQ(FormatN(std::numeric_limits<long double>::quiet_NaN(), 0, 1), "NAN");
    EXPECT_EQ(FormatN(1e25L, 0, 0), "10 000 000 000 000 000 000 000 000");
}

TEST(FormatN, ProgramWideSeparators) {
    SeparatorGuard guard;
    SetNumberSeparators({',', '.'});
    EXPECT_EQ(FormatN(1234.5L, 0, 2), "1.234,50");
    EXPECT_EQ(FormatG(7.5L, 0), "7,5");
    SetNumberSeparators({'.', '\0'});
    EXPECT_EQ(FormatN(1234567.5L, 0, 1), "1234567.5");
    SetNumberSeparators({});
    EXPECT_EQ(GetNumberSeparators().decimal, '.');
    EXPECT_EQ(GetNumberSeparators().thousands, ' ');
}

TEST(FormatN, MatchesPrintfReferenceAwayFromHalves) {
    std::mt19937_64 rng(20240611);
    std::uniform_real_distribution<double> dist(-2e7, 2e7);
    std::uniform_int_distribution<int> decimalsDist(0, 4);
    int checked = 0;
    for (int n = 0; n < 5000; ++n) {
        const long double v = dist(rng) / (n % 3 == 0 ? 1000.0 : 1.0);
        const int decimals = decimalsDist(rng);
        char ref[64];
        std::snprintf(ref, sizeof ref, "%.*Lf", decimals, v);
        char wide[64];
        std::snprintf(wide, sizeof wide, "%.*Lf", decimals + 12, v);
        // Skip anything near a half of the last shown digit.
        const std::string tail = std::string(wide).substr(std::string(wide).size() - 12, 5);
        if (tail == "50000" || tail == "49999")
            continue;
        std::string text = ref;
        const bool negative = text[0] == '-';
        if (negative)
            text.erase(0, 1);
        const std::size_t point = text.find('.');
        const std::string digits = text.substr(0, point);
        const std::string rest = point == std::string::npos ? "" : text.substr(point);
        std::string grouped;
        for (std::size_t i = 0; i < digits.size(); ++i) {
            if (i > 0 && (digits.size() - i) % 3 == 0)
                grouped += ' ';
            grouped += digits[i];
        }
        const bool zero = text.find_first_not_of("0.") == std::string::npos;
        std::string expected = (negative && !zero ? "-" : "") + grouped + rest;
        if (expected.size() < 14)
            expected = std::string(14 - expected.size(), ' ') + expected;
        ASSERT_EQ(FormatN(v, 14, decimals), expected) << wide;
        ++checked;
    }
    EXPECT_GT(checked, 4900);
}

TEST(FormatG, GeneralForm) {
    EXPECT_EQ(FormatG(5, 4), "   5");
    EXPECT_EQ(FormatG(7.5L, 4), " 7.5");
    EXPECT_EQ(FormatG(300, 4), " 300");
    EXPECT_EQ(FormatG(-2.5L, 0), "-2.5");
    EXPECT_EQ(FormatG(0, 4), "   0");
    EXPECT_EQ(FormatG(0.1f, 0), "0.100000001490116");
    EXPECT_EQ(FormatG(0.00001L, 0), "0.00001");
    EXPECT_EQ(FormatG(0.000009L, 0), "9E-06");
    EXPECT_EQ(FormatG(123456789012345.0L, 0), "123456789012345");
    EXPECT_EQ(FormatG(1e15L, 0), "1E+15");
    EXPECT_EQ(FormatG(-1.5e20L, 0), "-1.5E+20");
    EXPECT_EQ(FormatG(1234.5L, 0, 3), "1.23E+03");
    EXPECT_EQ(FormatG(12.345L, 0, 3), "12.3");
    EXPECT_EQ(FormatG(0.125L, 0, 2), "0.13");
    EXPECT_EQ(FormatG(99.96L, 0, 3), "100");
    EXPECT_EQ(FormatG(999.6L, 0, 3), "1E+03");
}

TEST(FormatD, SignedAndPadded) {
    EXPECT_EQ(FormatD(60), "60");
    EXPECT_EQ(FormatD(50, 4), "  50");
    EXPECT_EQ(FormatD(1000, 4), "1000");
    EXPECT_EQ(FormatD(123456, 4), "123456");
    EXPECT_EQ(FormatD(-5, 4), "  -5");
    EXPECT_EQ(FormatD(std::numeric_limits<long long>::min()), "-9223372036854775808");
}

TEST(FormatTemplate, ProgramTemplates) {
    EXPECT_EQ(Format("%d of %d", {Arg(3), Arg(10)}), "3 of 10");
    EXPECT_EQ(Format(" Out of range: %d ", {Arg(7)}), " Out of range: 7 ");
    EXPECT_EQ(Format(" DB: %6.2n Gs", {Arg(1.25)}), " DB:   1.25 Gs");
    EXPECT_EQ(Format("%7.1n \u00B0", {Arg(0.0)}), "    0.0 \u00B0");
    EXPECT_EQ(Format("%9.3n Gs \u00B2", {Arg(12345.6789L)}), "12 345.679 Gs \u00B2");
    EXPECT_EQ(Format("%8.4n", {Arg(2.0023L)}), "  2.0023");
    EXPECT_EQ(Format("%4g Gs", {Arg(7.5)}), " 7.5 Gs");
    EXPECT_EQ(Format("%4d kHz", {Arg(50)}), "  50 kHz");
    EXPECT_EQ(Format("100%%", {}), "100%");
}

TEST(FormatTemplate, StringsAlignmentAndConversions) {
    EXPECT_EQ(Format("[%s]", {Arg(std::string("abc"))}), "[abc]");
    EXPECT_EQ(Format("[%5s]", {Arg(std::string("ab"))}), "[   ab]");
    EXPECT_EQ(Format("[%4s]", {Arg(std::string("\u00B0C"))}), "[  \u00B0C]"); // counts characters
    EXPECT_EQ(Format("[%-5d]", {Arg(42)}), "[42   ]");
    EXPECT_EQ(Format("%.3d", {Arg(-7)}), "-007");
    EXPECT_EQ(Format("%6.2n", {Arg(3)}), "  3.00");
    EXPECT_EQ(Format("%n", {Arg(1234.5)}), "1 234.50");
    EXPECT_EQ(Format("%.1f", {Arg(1234.56)}), "1234.6");
    EXPECT_EQ(Format("%d|%d", {Arg(2.7), Arg(-2.7)}), "2|-2");
    EXPECT_EQ(Format("%s %s", {Arg(5), Arg(7.5)}), "5 7.5");
}

TEST(FormatTemplate, BadTemplatesThrowWithTheirText) {
    EXPECT_THROW(Format("%d of %d", {Arg(1)}), EConvertError);
    EXPECT_THROW(Format("%q", {Arg(1)}), EConvertError);
    EXPECT_THROW(Format("%d", {Arg(std::string("x"))}), EConvertError);
    EXPECT_THROW(Format("%n", {Arg(std::string("x"))}), EConvertError);
    EXPECT_THROW(Format("50%", {}), EConvertError);
    try {
        Format("%d of %d", {});
        ADD_FAILURE();
    } catch (const EConvertError& e) {
        EXPECT_NE(std::string(e.what()).find("'%d of %d'"), std::string::npos);
    }
}

TEST(FormatFloat, AxisLabelPictures) {
    const char* gs = "# ##0.### [Gs]";
    EXPECT_EQ(FormatFloat(gs, 12.5L), "12.5 [Gs]");
    EXPECT_EQ(FormatFloat(gs, 1250), "1 250 [Gs]");
    EXPECT_EQ(FormatFloat(gs, 0), "0 [Gs]");
    EXPECT_EQ(FormatFloat(gs, -150), "-150 [Gs]");
    EXPECT_EQ(FormatFloat(gs, -0.25L), "-0.25 [Gs]");
    EXPECT_EQ(FormatFloat(gs, 0.0005L), "0.001 [Gs]");
    EXPECT_EQ(FormatFloat(gs, 0.0004L), "0 [Gs]");
    EXPECT_EQ(FormatFloat(gs, -0.0001L), "0 [Gs]");
    EXPECT_EQ(FormatFloat(gs, -1250.5L), "-1 250.5 [Gs]");
    EXPECT_EQ(FormatFloat("# ##0.### [kHz]", 1234567.125L), "1 234 567.125 [kHz]");
    EXPECT_EQ(FormatFloat("# ##0.### [kHz]", -500), "-500 [kHz]");
}

TEST(FormatFloat, RequiredDigitsAndLiterals) {
    EXPECT_EQ(FormatFloat("000.00", 1.5L), "001.50");
    EXPECT_EQ(FormatFloat("0.###", 1250), "1250");
    EXPECT_EQ(FormatFloat("0.0#", 2), "2.0");
    EXPECT_EQ(FormatFloat("#,##0", 1234567), "1 234 567");
    EXPECT_EQ(FormatFloat("x = 0.#", 0.25L), "x = 0.3");
    EXPECT_EQ(FormatFloat("no digits", 5), "no digits");
}

TEST(FloatToStrFNumber, SignificantDigitsThenDecimals) {
    EXPECT_EQ(FloatToStrFNumber(12.5L, 9, 2), "12.50");
    EXPECT_EQ(FloatToStrFNumber(1234.5L, 9, 2), "1 234.50");
    EXPECT_EQ(FloatToStrFNumber(-0.25L, 9, 2), "-0.25");
    EXPECT_EQ(FloatToStrFNumber(0, 9, 2), "0.00");
    EXPECT_EQ(FloatToStrFNumber(1234567.891L, 9, 2), "1 234 567.89");
    EXPECT_EQ(FloatToStrFNumber(12345678.915L, 9, 2), "12 345 678.90");
    EXPECT_EQ(FloatToStrFNumber(0.125L, 2, 2), "0.13");
    EXPECT_EQ(FloatToStrFNumber(123456.7L, 9, 0), "123 457");
    EXPECT_EQ(FloatToStrFNumber(1234567890123.0L, 9, 0), "1 234 567 890 000");
    EXPECT_EQ(FloatToStrFNumber(-0.001L, 6, 2), "0.00");
}

TEST(NiceStep, IsTheSmallestOneTwoOrFiveTimesAPowerOfTenNotBelow) {
    for (double x = 1e-4; x < 1e5; x *= 1.037) {
        const double step = NiceStep(x);
        const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
        EXPECT_NEAR(mantissa, mantissa < 1.5 ? 1 : mantissa < 3 ? 2 : 5, 1e-9) << x;
        EXPECT_TRUE(step >= x * (1 - 1e-12) && step < x * 2.5) << x << " -> " << step;
    }
    EXPECT_EQ(NiceStep(0.2), 0.2);
    EXPECT_EQ(NiceStep(std::nan("")), 1);
}
