// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Usr.h"

#include "common/Cp1252.h"

#include <gtest/gtest.h>
#include <vector>

using namespace tavi;

TEST(HexDigits, LowBitsMostSignificantFirst) {
    EXPECT_EQ(HexDigits(300, 2), "2C");
    EXPECT_EQ(HexDigits(10, 2), "0A");
    EXPECT_EQ(HexDigits(-1, 2), "FF");
    EXPECT_EQ(HexDigits(2047 - 2000, 4), "002F");
    EXPECT_EQ(HexDigits(14000000, 8), "00D59F80");
    EXPECT_EQ(HexDigits(-1, 8), "FFFFFFFF");
}

TEST(HexToInt, AcceptsHexRejectsRest) {
    EXPECT_EQ(HexToInt("07FF"), 2047);
    EXPECT_EQ(HexToInt("ffffcb44"), 0xFFFFCB44);
    EXPECT_THROW(HexToInt("04\r0"), EConvertError);
    EXPECT_THROW(HexToInt(""), EConvertError);
    try {
        HexToInt("0G");
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'0G' is not a valid integer value");
    }
}

TEST(StrToInt, DecimalOnly) {
    EXPECT_EQ(StrToInt("3"), 3);
    EXPECT_EQ(StrToInt("-12"), -12);
    EXPECT_EQ(StrToInt("+7"), 7);
    for (const char* blanks : {"3 ", " 3", " -12 ", "1 2", " "}) {
        SCOPED_TRACE(blanks);
        try {
            StrToInt(blanks);
            ADD_FAILURE() << "accepted";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.what(), "'" + std::string(blanks) + "' is not a valid integer value");
        }
    }
    EXPECT_THROW(StrToInt("1a"), EConvertError);
    EXPECT_THROW(StrToInt(""), EConvertError);
    try { // a NUL would end the message where the operator reads it
        StrToInt(std::string("2\0\0", 3));
        ADD_FAILURE() << "accepted";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'2\\x00\\x00' is not a valid integer value");
    }
    EXPECT_THROW(StrToInt("99999999999999999999999"), EConvertError);
}

TEST(ValueOfText, KeepsDigitsAndSeparator) {
    EXPECT_DOUBLE_EQ(ValueOfText("0.025 Gs"), 0.025);
    EXPECT_DOUBLE_EQ(ValueOfText("14 000.0 kHz"), 14000.0);
    EXPECT_DOUBLE_EQ(ValueOfText("-3.5 Gs"), 3.5);
    EXPECT_THROW(ValueOfText("Gs"), EConvertError);
    EXPECT_THROW(ValueOfText(""), EConvertError);
}

TEST(Extremes, RunningBoundsFromPlusMinus500) {
    std::vector<double> ys{3, -7, 10, -7, 10};
    EXPECT_EQ(IndexOfMinimum(ys), 1);
    EXPECT_EQ(IndexOfMaximum(ys), 2);
    std::vector<double> beyond{500, 600, -500};
    EXPECT_EQ(IndexOfMinimum(beyond), 2); // 500 never beats the bound; -500 does
    std::vector<double> low{-500, -600};
    EXPECT_EQ(IndexOfMaximum(low), 0);
    EXPECT_EQ(IndexOfMinimum({}), 0);
}

TEST(PanelValueText, KeepsLabelUpToFirstColon) {
    EXPECT_EQ(PanelValueText("Acc: 1 of 3", "2 of 3"), "Acc: 2 of 3");
    EXPECT_EQ(PanelValueText("Error: 0012", "x"), "Error: x");
    EXPECT_EQ(PanelValueText("Spectrometer: ", ""), "Spectrometer: ");
    EXPECT_EQ(PanelValueText("none", "v"), " v");
}

TEST(Cp1252, DegreeSignAndRoundTrip) {
    EXPECT_EQ(Utf8ToCp1252("0.0 \u00B0"), std::string("0.0 \xB0"));
    EXPECT_EQ(Cp1252ToUtf8("\xB0"), "\u00B0");
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\u20AC");
    EXPECT_EQ(Utf8ToCp1252("\u20AC\u2022"), std::string("\x80\x95"));
    EXPECT_EQ(Utf8ToCp1252("\u4E2D"), "?");
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
}
