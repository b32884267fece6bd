// SPDX-License-Identifier: GPL-3.0-or-later
#include "params/Freq.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace tavi {

namespace {

// A mode read from a file or a device reply may be out of range; every table
// below is indexed through this so that such a value can never read past one.
int ModeIndex(TResonanceMode mode) {
    const int m = static_cast<int>(mode);
    return (m >= 0 && m < kModeCount) ? m : static_cast<int>(rmH1);
}

constexpr std::array<long double, kModeCount> kResonanceFreqKHz{14000.0L, 13171.0L, 14000.0L,
                                                                50000.0L};
constexpr std::array<long double, kModeCount> kGammaKHzPerGs{4.2577469L, 4.005560551113L,
                                                             4.2577469L, 2802.0L};
constexpr std::array<long double, kModeCount> kB0StepNominalGs{0.1L, 0.1L, 0.1L, 0.0006375L};
constexpr std::array<RangeLimits, kModeCount> kFieldSweepRangeLimits{
    {{1, 10}, {1, 10}, {10, 10}, {1, 8}}};

constexpr std::array<float, kModAmpMaxIndex> kModAmpGs{0.05f, 0.07f, 0.1f, 0.15f, 0.2f, 0.35f,
                                                       0.5f,  0.7f,  1.0f, 1.5f,  2.0f, 2.5f};
constexpr std::array<std::array<float, 10>, 2> kFieldSweepRangeGs{{
    {5.0f, 10.0f, 15.0f, 20.0f, 30.0f, 50.0f, 75.0f, 100.0f, 150.0f, 300.0f},
    {2.0f, 3.0f, 5.0f, 7.5f, 10.0f, 15.0f, 20.0f, 30.0f, 1.0f, 1.0f},
}};
constexpr std::array<float, 9> kFreqSweepRangeKHz{50.0f,  75.0f,  100.0f, 150.0f, 200.0f,
                                                  300.0f, 500.0f, 750.0f, 1000.0f};
constexpr std::array<int, 4> kFrequencyStepHz{500, 1000, 10000, 100000};
// 10^(index-1) for the B0 step indices -1 .. 3.
constexpr std::array<long double, 5> kB0StepGsByIndex{0.01L, 0.1L, 1.0L, 10.0L, 100.0L};

// Real48: sign, 8-bit exponent biased by 129 (0 means zero), 39 stored
// fraction bits below a hidden leading one.
constexpr int kReal48Bits = 40;
// In frexp terms (0.5 <= m < 1): from 0.5 * 2^-127 (= 2^-128) up to just
// below 2^127.
constexpr int kReal48MinExp = -127;
constexpr int kReal48MaxExp = 127;

std::int64_t Saturate(long double r) {
    constexpr long double lo = -9223372036854775808.0L;
    constexpr long double hi = 9223372036854775807.0L;
    if (std::isnan(r))
        return 0;
    if (r <= lo)
        return std::numeric_limits<std::int64_t>::min();
    if (r >= hi)
        return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(r);
}

std::int32_t SaturateInt32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

} // namespace

long double RoundToReal48(long double value) {
    if (value == 0.0L || !std::isfinite(value))
        return value;
    int exp = 0;
    const long double m = std::frexp(value, &exp); // 0.5 <= |m| < 1
    long double scaled = std::ldexp(m, kReal48Bits);
    const long double r = static_cast<long double>(RoundHalfEven(scaled));
    long double result = std::ldexp(r, exp - kReal48Bits);
    // Rounding may carry into the next binade; frexp of the result tells.
    int rexp = 0;
    std::frexp(result, &rexp);
    if (rexp < kReal48MinExp)
        return std::copysign(0.0L, value);
    if (rexp > kReal48MaxExp)
        return std::copysign(std::numeric_limits<long double>::infinity(), value);
    return result;
}

long double ResonanceFreqKHz(TResonanceMode mode) {
    return kResonanceFreqKHz[ModeIndex(mode)];
}

long double GammaKHzPerGs(TResonanceMode mode) {
    return kGammaKHzPerGs[ModeIndex(mode)];
}

long double B0StepGs(TResonanceMode mode) {
    return RoundToReal48(kB0StepNominalGs[ModeIndex(mode)]);
}

RangeLimits FieldSweepRangeLimits(TResonanceMode mode) {
    return kFieldSweepRangeLimits[ModeIndex(mode)];
}

float ModAmpGs(int index) {
    return kModAmpGs[std::clamp(index, 1, kModAmpMaxIndex) - 1];
}

int ModAmpCode(int index) {
    // In extended precision: 0.35f * 100 rounded to a float would be 35.
    return static_cast<int>(static_cast<long double>(ModAmpGs(index)) * 100.0L);
}

float FieldSweepRangeGs(int esrFlag, int index) {
    return kFieldSweepRangeGs[esrFlag != 0 ? 1 : 0][std::clamp(index, 1, 10) - 1];
}

float FreqSweepRangeKHz(int index) {
    return kFreqSweepRangeKHz[std::clamp(index, 1, 9) - 1];
}

int FreqSweepRangeKHzRounded(int index) {
    return static_cast<int>(RoundHalfEven(FreqSweepRangeKHz(index)));
}

int FrequencyStepHz(int index) {
    return kFrequencyStepHz[std::clamp(index, 0, 3)];
}

double SweepTimeMinutes(int index) {
    return static_cast<double>(1 << (std::clamp(index, 1, 7) - 1)) * 0.5;
}

long double B0FieldGs(TResonanceMode mode, int position, std::int32_t zeroOffset) {
    const long double steps =
        static_cast<long double>(position) - static_cast<long double>(zeroOffset);
    return RoundToReal48(B0StepGs(mode) * steps + ResonanceFreqKHz(mode) / GammaKHzPerGs(mode));
}

std::int32_t FrequencyHz(TResonanceMode mode, int position) {
    return SaturateInt32(RoundHalfEven(ResonanceFreqKHz(mode) * 1000.0L +
                                       500.0L * static_cast<long double>(position)));
}

int B0StepIncrement(TResonanceMode mode, int index) {
    const long double gs = kB0StepGsByIndex[std::clamp(index, -1, 3) + 1];
    return static_cast<int>(RoundHalfEven(RoundToReal48(gs / B0StepGs(mode))));
}

int FrequencyIncrement(int index) {
    return static_cast<int>(RoundHalfEven(FrequencyStepHz(index) * 0.002L));
}

int FieldSweepForMode(TResonanceMode mode, int fieldSweep) {
    return ModeIndex(mode) == rmESR || fieldSweep != 0 ? 1 : 0;
}

int ModeCommandDigit(TResonanceMode mode) {
    return ModeIndex(mode) == rmESR ? 1 : 0;
}

std::string ModeCaption(TResonanceMode mode) {
    static constexpr std::array<const char*, kModeCount> captions{"NMR 1H", "NMR 19F",
                                                                  "NMR 1H &&19F", "ESR"};
    return captions[ModeIndex(mode)];
}

float ModFrequencyHz(int position) {
    // The service window's up-down runs 0 .. 255; clamping keeps f positive.
    const int a = std::clamp(position, 0, 255) - 128;
    return static_cast<float>(38.0L + 0.1L * static_cast<long double>(a));
}

std::int32_t ModFrequencyValue(int position) {
    const long double f = ModFrequencyHz(position);
    return SaturateInt32(RoundHalfEven(1.0L / (f * 0.000015L)));
}

std::int64_t RoundHalfEven(long double value) {
    if (!std::isfinite(value))
        return Saturate(value);
    const long double fl = std::floor(value);
    const long double diff = value - fl; // exact for |value| < 2^63
    long double r = fl;
    if (diff > 0.5L || (diff == 0.5L && std::fmod(fl, 2.0L) != 0.0L))
        r = fl + 1.0L;
    return Saturate(r);
}

std::int64_t RoundHalfAway(long double value) {
    if (!std::isfinite(value))
        return Saturate(value);
    return Saturate(std::round(value));
}

} // namespace tavi
