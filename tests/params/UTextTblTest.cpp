// SPDX-License-Identifier: GPL-3.0-or-later
#include "params/UTextTbl.h"

#include <gtest/gtest.h>
#include <string>

using namespace tavi;

TEST(TextTables, Contents) {
    EXPECT_STREQ(FieldSourceText[0], "");
    EXPECT_STREQ(FieldSourceText[1], "Electromagnet");
    EXPECT_STREQ(FieldSourceText[2], "Helmholtz coils");
    EXPECT_STREQ(FieldSourceText[3], "not connected");
    EXPECT_STREQ(FieldSourceText[4], "Magnet & Coils");
    EXPECT_STREQ(FieldSourceText[5], "Wrong connection");
    EXPECT_STREQ(SweepAxisName[0], "Frequency");
    EXPECT_STREQ(SweepAxisName[1], "Field");
    EXPECT_STREQ(UnitText[0], "kHz");
    EXPECT_STREQ(UnitText[1], "Gs");
    EXPECT_STREQ(UnitText[2], "mT");
    EXPECT_EQ(SweepLetter[0], 'F');
    EXPECT_EQ(SweepLetter[1], 'B');
}

TEST(TextTables, FieldSourceNameOutsideTheTable) {
    EXPECT_EQ(FieldSourceName(4), "Magnet & Coils");
    EXPECT_EQ(FieldSourceName(0), "");
    EXPECT_EQ(FieldSourceName(6), "");
    EXPECT_EQ(FieldSourceName(-1), "");
    EXPECT_EQ(FieldSourceName(255), "");
}

TEST(FormatPhase, DegreesInSevenCharacters) {
    EXPECT_EQ(FormatPhase(0), "    0.0 \u00B0");
    EXPECT_EQ(FormatPhase(0), "    0.0 \xC2\xB0");
    EXPECT_EQ(FormatPhase(1), "    1.5 \u00B0");
    EXPECT_EQ(FormatPhase(120), "  180.0 \u00B0");
    EXPECT_EQ(FormatPhase(239), "  358.5 \u00B0");
}

TEST(FormatGain, PlainInteger) {
    EXPECT_EQ(FormatGain(60), "60");
    EXPECT_EQ(FormatGain(0), "0");
    EXPECT_EQ(FormatGain(255), "255");
}

TEST(FormatModAmp, FloatAmplitudesRoundToTwoDecimals) {
    EXPECT_EQ(FormatModAmp(1), "0.05 Gs");
    EXPECT_EQ(FormatModAmp(2), "0.07 Gs");
    EXPECT_EQ(FormatModAmp(6), "0.35 Gs");
    EXPECT_EQ(FormatModAmp(8), "0.70 Gs");
    EXPECT_EQ(FormatModAmp(9), "1.00 Gs");
    EXPECT_EQ(FormatModAmp(12), "2.50 Gs");
    EXPECT_EQ(FormatModAmp(0), "0.05 Gs");
}

TEST(FormatGs, GeneralFormInFourCharacters) {
    EXPECT_EQ(FormatGs(5), "   5 Gs");
    EXPECT_EQ(FormatGs(7.5f), " 7.5 Gs");
    EXPECT_EQ(FormatGs(300), " 300 Gs");
    EXPECT_EQ(FormatGs(1500), "1500 Gs");
}

TEST(FormatFieldSweepRange, RowByEsrFlag) {
    EXPECT_EQ(FormatFieldSweepRange(0, 10), " 300 Gs");
    EXPECT_EQ(FormatFieldSweepRange(1, 1), "   2 Gs");
    EXPECT_EQ(FormatFieldSweepRange(1, 4), " 7.5 Gs");
    EXPECT_EQ(FormatFieldSweepRange(0, 1), "   5 Gs");
}

TEST(FormatKHz, IntegerInFourCharacters) {
    EXPECT_EQ(FormatKHz(50), "  50 kHz");
    EXPECT_EQ(FormatKHz(1000), "1000 kHz");
    EXPECT_EQ(FormatFreqSweepRange(1), "  50 kHz");
    EXPECT_EQ(FormatFreqSweepRange(2), "  75 kHz");
    EXPECT_EQ(FormatFreqSweepRange(9), "1000 kHz");
}

TEST(FormatSweepTime, AtMostOneDecimal) {
    EXPECT_EQ(FormatSweepTime(1), " 0.5 min");
    EXPECT_EQ(FormatSweepTime(2), "   1 min");
    EXPECT_EQ(FormatSweepTime(3), "   2 min");
    EXPECT_EQ(FormatSweepTime(5), "   8 min");
    EXPECT_EQ(FormatSweepTime(6), "  16 min");
    EXPECT_EQ(FormatSweepTime(7), "  32 min");
}

TEST(FormatB0, GaussAndMillitesla) {
    EXPECT_EQ(FormatB0(rmH1, true, 0, 0), "3 288.12 Gs");
    EXPECT_EQ(FormatB0(rmH1, false, 0, 0), "328.812 mT");
    EXPECT_EQ(FormatB0(rmF19, true, 0, 0), "3 288.18 Gs");
    EXPECT_EQ(FormatB0(rmESR, true, 0, 0), " 17.84 Gs");
    EXPECT_EQ(FormatB0(rmH1, true, 2000, 0), "3 488.12 Gs");
    EXPECT_EQ(FormatB0(rmH1, true, -2000, 0), "3 088.12 Gs");
    EXPECT_EQ(FormatB0(rmH1, true, 100, 100), "3 288.12 Gs");
    EXPECT_EQ(FormatB0(rmH1, true, 1, 0), "3 288.22 Gs");
    EXPECT_EQ(FormatB0(rmESR, true, 2000, 0), " 19.12 Gs");
}

TEST(FormatB0Step, AlwaysGauss) {
    EXPECT_EQ(FormatB0Step(rmH1, 1), "  0.10 Gs");
    EXPECT_EQ(FormatB0Step(rmH1, 10), "  1.00 Gs");
    EXPECT_EQ(FormatB0Step(rmF19, 100), " 10.00 Gs");
    EXPECT_EQ(FormatB0Step(rmH1, 1000), "100.00 Gs");
    EXPECT_EQ(FormatB0Step(rmESR, B0StepIncrement(rmESR, -1)), "  0.01 Gs");
    EXPECT_EQ(FormatB0Step(rmESR, 16), "  0.01 Gs");
    EXPECT_EQ(FormatB0Step(rmESR, 157), "  0.10 Gs");
    EXPECT_EQ(FormatB0Step(rmESR, 1569), "  1.00 Gs");
    EXPECT_EQ(FormatB0Step(rmESR, 156863), "100.00 Gs");
    EXPECT_EQ(FormatB0Step(rmH1, 0), "  0.00 Gs");
}

TEST(FormatFrequency, KilohertzWithOneDecimal) {
    EXPECT_EQ(FormatFrequency(rmH1, 0), "14 000.0 kHz");
    EXPECT_EQ(FormatFrequency(rmH1F19, 0), "14 000.0 kHz");
    EXPECT_EQ(FormatFrequency(rmF19, 0), "13 171.0 kHz");
    EXPECT_EQ(FormatFrequency(rmESR, 0), "50 000.0 kHz");
    EXPECT_EQ(FormatFrequency(rmH1, 1), "14 000.5 kHz");
    EXPECT_EQ(FormatFrequency(rmH1, -2000), "13 000.0 kHz");
    EXPECT_EQ(FormatFrequency(rmF19, -3), "13 169.5 kHz");
}

TEST(FormatFrequencyStep, KilohertzWithOneDecimal) {
    EXPECT_EQ(FormatFrequencyStep(0), "   0.5 kHz");
    EXPECT_EQ(FormatFrequencyStep(1), "   1.0 kHz");
    EXPECT_EQ(FormatFrequencyStep(2), "  10.0 kHz");
    EXPECT_EQ(FormatFrequencyStep(3), " 100.0 kHz");
}

TEST(FormatModFrequency, OneDecimalHertz) {
    EXPECT_EQ(FormatModFrequency(128), "38.0 Hz");
    EXPECT_EQ(FormatModFrequency(0), "25.2 Hz");
    EXPECT_EQ(FormatModFrequency(255), "50.7 Hz");
    EXPECT_EQ(FormatModFrequency(129), "38.1 Hz");
}
