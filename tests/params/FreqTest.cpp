// SPDX-License-Identifier: GPL-3.0-or-later
#include "params/Freq.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <string>

using namespace tavi;

namespace {

std::string G17(long double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", static_cast<double>(v));
    return buf;
}

// The value is exactly the double that this shortest decimal text denotes.
bool IsDouble(long double v, const char* text) {
    return v == static_cast<long double>(std::strtod(text, nullptr));
}

bool IsReal48(long double v) {
    return RoundToReal48(v) == v;
}

} // namespace

TEST(Real48, StepConstantsHaveFortyBitMantissa) {
    EXPECT_EQ(G17(B0StepGs(rmH1)), "0.10000000000002274");
    EXPECT_EQ(G17(B0StepGs(rmF19)), "0.10000000000002274");
    EXPECT_EQ(G17(B0StepGs(rmH1F19)), "0.10000000000002274");
    EXPECT_EQ(G17(B0StepGs(rmESR)), "0.00063749999999984652");
    EXPECT_TRUE(IsDouble(B0StepGs(rmESR), "0.0006374999999998465"));
    EXPECT_TRUE(IsDouble(B0StepGs(rmH1), "0.10000000000002274"));
    EXPECT_EQ(G17(RoundToReal48(0.1L)), "0.10000000000002274");
}

TEST(Real48, RoundsToNearestWithTiesToEven) {
    const long double ulp = std::ldexp(1.0L, -39); // of the binade [1, 2)
    EXPECT_EQ(RoundToReal48(1.0L), 1.0L);
    EXPECT_EQ(RoundToReal48(1.0L + ulp), 1.0L + ulp);
    EXPECT_EQ(RoundToReal48(1.0L + ulp / 2), 1.0L);                 // tie, even is 1
    EXPECT_EQ(RoundToReal48(1.0L + 3 * ulp / 2), 1.0L + 2 * ulp);   // tie, up to even
    EXPECT_EQ(RoundToReal48(1.0L + ulp / 2 + ulp / 8), 1.0L + ulp); // above the tie
    EXPECT_EQ(RoundToReal48(-(1.0L + 3 * ulp / 2)), -(1.0L + 2 * ulp));
    EXPECT_EQ(RoundToReal48(2.0L - ulp / 4), 2.0L); // carries into the next binade
    EXPECT_EQ(RoundToReal48(0.0L), 0.0L);
    EXPECT_TRUE(std::isnan(RoundToReal48(std::numeric_limits<long double>::quiet_NaN())));
}

TEST(Real48, OutsideTheExponentRange) {
    EXPECT_EQ(RoundToReal48(1e-40L), 0.0L);
    EXPECT_TRUE(std::isinf(RoundToReal48(1e39L)));
    EXPECT_TRUE(std::isfinite(RoundToReal48(1.7e38L)));
    EXPECT_TRUE(std::isinf(RoundToReal48(1.71e38L)));
    EXPECT_EQ(RoundToReal48(std::ldexp(1.0L, -128)), std::ldexp(1.0L, -128));
    EXPECT_EQ(RoundToReal48(std::ldexp(1.0L, -129)), 0.0L);
}

TEST(ModeConstants, PerModeTables) {
    EXPECT_EQ(ResonanceFreqKHz(rmH1), 14000.0L);
    EXPECT_EQ(ResonanceFreqKHz(rmF19), 13171.0L);
    EXPECT_EQ(ResonanceFreqKHz(rmH1F19), 14000.0L);
    EXPECT_EQ(ResonanceFreqKHz(rmESR), 50000.0L);
    EXPECT_EQ(GammaKHzPerGs(rmH1), 4.2577469L);
    EXPECT_EQ(GammaKHzPerGs(rmF19), 4.005560551113L);
    EXPECT_EQ(GammaKHzPerGs(rmESR), 2802.0L);
    EXPECT_EQ(ModeCommandDigit(rmH1), 0);
    EXPECT_EQ(ModeCommandDigit(rmF19), 0);
    EXPECT_EQ(ModeCommandDigit(rmH1F19), 0);
    EXPECT_EQ(ModeCommandDigit(rmESR), 1);
    EXPECT_EQ(ModeCaption(rmH1), "NMR 1H");
    EXPECT_EQ(ModeCaption(rmF19), "NMR 19F");
    EXPECT_EQ(ModeCaption(rmH1F19), "NMR 1H &&19F");
    EXPECT_EQ(ModeCaption(rmESR), "ESR");
    const auto limits = [](TResonanceMode m) {
        const RangeLimits r = FieldSweepRangeLimits(m);
        return std::to_string(r.min) + ".." + std::to_string(r.max);
    };
    EXPECT_EQ(limits(rmH1), "1..10");
    EXPECT_EQ(limits(rmF19), "1..10");
    EXPECT_EQ(limits(rmH1F19), "10..10");
    EXPECT_EQ(limits(rmESR), "1..8");
}

TEST(ModeConstants, InvalidModeReadsNoTableOutOfBounds) {
    const auto bad = static_cast<TResonanceMode>(7);
    EXPECT_EQ(ResonanceFreqKHz(bad), ResonanceFreqKHz(rmH1));
    EXPECT_EQ(ModeCaption(bad), "NMR 1H");
    EXPECT_EQ(ModeCommandDigit(bad), 0);
    EXPECT_EQ(FrequencyHz(bad, 0), 14000000);
}

TEST(B0FieldGs, BaseFieldPerMode) {
    EXPECT_NEAR(static_cast<double>(B0FieldGs(rmH1, 0, 0)), 3288.12405453, 1e-7);
    EXPECT_NEAR(static_cast<double>(B0FieldGs(rmF19, 0, 0)), 3288.17897818, 1e-7);
    EXPECT_NEAR(static_cast<double>(B0FieldGs(rmH1F19, 0, 0)), 3288.12405453, 1e-7);
    EXPECT_NEAR(static_cast<double>(B0FieldGs(rmESR, 0, 0)), 17.8443968594, 1e-9);
    EXPECT_NEAR(static_cast<double>(B0FieldGs(rmH1, 2000, 0)), 3488.12405453, 1e-7);
    for (int pos : {-2000, -1, 0, 1, 777, 2000})
        for (auto m : {rmH1, rmF19, rmESR})
            EXPECT_TRUE(IsReal48(B0FieldGs(m, pos, 0))) << m << " " << pos;
}

TEST(B0FieldGs, RangeSpanAndZeroOffset) {
    EXPECT_NEAR(static_cast<double>(B0FieldGs(rmH1, 2000, 0) - B0FieldGs(rmH1, -2000, 0)), 400.0,
                1e-6);
    EXPECT_NEAR(static_cast<double>(B0FieldGs(rmESR, 2000, 0) - B0FieldGs(rmESR, 0, 0)), 1.275,
                1e-9);
    // An offset of 100 at position 100 gives back the base field exactly.
    EXPECT_EQ(B0FieldGs(rmH1, 100, 100), B0FieldGs(rmH1, 0, 0));
    EXPECT_EQ(B0FieldGs(rmESR, -5, -5), B0FieldGs(rmESR, 0, 0));
    EXPECT_GT(B0FieldGs(rmH1, 100, 0), B0FieldGs(rmH1, 100, 100));
}

TEST(FrequencyHz, PositionsAreHalfKilohertz) {
    EXPECT_EQ(FrequencyHz(rmH1, 0), 14000000);
    EXPECT_EQ(FrequencyHz(rmH1F19, 0), 14000000);
    EXPECT_EQ(FrequencyHz(rmF19, 0), 13171000);
    EXPECT_EQ(FrequencyHz(rmESR, 0), 50000000);
    EXPECT_EQ(FrequencyHz(rmH1, -2000), 13000000);
    EXPECT_EQ(FrequencyHz(rmH1, 2000), 15000000);
    EXPECT_EQ(FrequencyHz(rmH1, 1), 14000500);
    EXPECT_EQ(FrequencyHz(rmH1, 20000), 24000000);
    EXPECT_EQ(FrequencyHz(rmH1, -20000), 4000000);
}

TEST(StepIncrements, B0StepIncrementPerMode) {
    for (auto m : {rmH1, rmF19, rmH1F19}) {
        EXPECT_EQ(B0StepIncrement(m, 0), 1);
        EXPECT_EQ(B0StepIncrement(m, 1), 10);
        EXPECT_EQ(B0StepIncrement(m, 2), 100);
        EXPECT_EQ(B0StepIncrement(m, 3), 1000);
        EXPECT_EQ(B0StepIncrement(m, -1), 0); // left over from ESR: 0.1 position
    }
    EXPECT_EQ(B0StepIncrement(rmESR, -1), 16);
    EXPECT_EQ(B0StepIncrement(rmESR, 0), 157);
    EXPECT_EQ(B0StepIncrement(rmESR, 1), 1569);
    EXPECT_EQ(B0StepIncrement(rmESR, 2), 15686);
    EXPECT_EQ(B0StepIncrement(rmESR, 3), 156863); // does not fit 16 bits
}

TEST(StepIncrements, FrequencyStepAndIncrement) {
    EXPECT_EQ(FrequencyStepHz(0), 500);
    EXPECT_EQ(FrequencyStepHz(1), 1000);
    EXPECT_EQ(FrequencyStepHz(2), 10000);
    EXPECT_EQ(FrequencyStepHz(3), 100000);
    EXPECT_EQ(FrequencyIncrement(0), 1);
    EXPECT_EQ(FrequencyIncrement(1), 2);
    EXPECT_EQ(FrequencyIncrement(2), 20);
    EXPECT_EQ(FrequencyIncrement(3), 200);
}

TEST(ConstantTables, ModAmpGsAndCode) {
    const float gs[] = {0.05f, 0.07f, 0.1f, 0.15f, 0.2f, 0.35f, 0.5f, 0.7f, 1.0f, 1.5f, 2.0f, 2.5f};
    const int code[] = {5, 7, 10, 15, 20, 34, 50, 69, 100, 150, 200, 250};
    for (int i = 1; i <= kModAmpMaxIndex; ++i) {
        EXPECT_EQ(ModAmpGs(i), gs[i - 1]) << i;
        EXPECT_EQ(ModAmpCode(i), code[i - 1]) << i;
    }
    EXPECT_EQ(ModAmpGs(0), 0.05f); // the built-in default 0 shows as index 1
    EXPECT_EQ(ModAmpGs(13), 2.5f);
}

TEST(ConstantTables, SweepRanges) {
    const float nmr[] = {5, 10, 15, 20, 30, 50, 75, 100, 150, 300};
    const float esr[] = {2, 3, 5, 7.5f, 10, 15, 20, 30, 1, 1};
    for (int i = 1; i <= 10; ++i) {
        EXPECT_EQ(FieldSweepRangeGs(0, i), nmr[i - 1]) << i;
        EXPECT_EQ(FieldSweepRangeGs(1, i), esr[i - 1]) << i;
    }
    const int khz[] = {50, 75, 100, 150, 200, 300, 500, 750, 1000};
    for (int i = 1; i <= 9; ++i) {
        EXPECT_EQ(FreqSweepRangeKHz(i), static_cast<float>(khz[i - 1]));
        EXPECT_EQ(FreqSweepRangeKHzRounded(i), khz[i - 1]);
    }
    EXPECT_EQ(FieldSweepRangeGs(0, 11), 300.0f);
    EXPECT_EQ(FreqSweepRangeKHz(0), 50.0f);
}

TEST(ConstantTables, SweepTimeMinutes) {
    const double minutes[] = {0.5, 1, 2, 4, 8, 16, 32};
    for (int i = 1; i <= 7; ++i)
        EXPECT_EQ(SweepTimeMinutes(i), minutes[i - 1]);
    EXPECT_EQ(SweepTimeMinutes(0), 0.5);
    EXPECT_EQ(SweepTimeMinutes(40), 32.0);
}

TEST(ModFrequency, FloatFrequencyAndPeriodValue) {
    EXPECT_EQ(ModFrequencyHz(128), 38.0f);
    EXPECT_EQ(ModFrequencyHz(0), 25.2f);
    EXPECT_EQ(ModFrequencyHz(255), 50.7f);
    EXPECT_EQ(ModFrequencyValue(128), 1754);
    EXPECT_EQ(ModFrequencyValue(0), 2646);
    EXPECT_EQ(ModFrequencyValue(255), 1315);
    EXPECT_EQ(ModFrequencyValue(-1000), ModFrequencyValue(0)); // never divides by zero
}

TEST(Rounding, HalfEvenAndHalfAway) {
    EXPECT_EQ(RoundHalfEven(0.5L), 0);
    EXPECT_EQ(RoundHalfEven(1.5L), 2);
    EXPECT_EQ(RoundHalfEven(2.5L), 2);
    EXPECT_EQ(RoundHalfEven(-0.5L), 0);
    EXPECT_EQ(RoundHalfEven(-1.5L), -2);
    EXPECT_EQ(RoundHalfEven(-2.5L), -2);
    EXPECT_EQ(RoundHalfEven(2.5000001L), 3);
    EXPECT_EQ(RoundHalfEven(-2.4999999L), -2);
    EXPECT_EQ(RoundHalfAway(0.5L), 1);
    EXPECT_EQ(RoundHalfAway(2.5L), 3);
    EXPECT_EQ(RoundHalfAway(-2.5L), -3);
    EXPECT_EQ(RoundHalfAway(2.4999999L), 2);
    EXPECT_EQ(RoundHalfEven(1e30L), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(RoundHalfAway(-1e30L), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(RoundHalfEven(std::numeric_limits<long double>::quiet_NaN()), 0);
}
