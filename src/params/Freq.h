// SPDX-License-Identifier: GPL-3.0-or-later
// Resonance modes, their constant tables and the conversions from control
// positions to physical values. Pure functions: no state, no widgets.
#pragma once

#include <cstdint>
#include <string>

namespace tavi {

enum TResonanceMode : std::uint8_t { rmH1 = 0, rmF19 = 1, rmH1F19 = 2, rmESR = 3 };
inline constexpr int kModeCount = 4;

// Rounds to the precision of the 6-byte real the field step is stored in
// (39-bit mantissa, round to nearest).
long double RoundToReal48(long double value);

long double ResonanceFreqKHz(TResonanceMode mode); // 80-bit constants
long double GammaKHzPerGs(TResonanceMode mode);
long double B0StepGs(TResonanceMode mode); // already rounded to the 6-byte real

struct RangeLimits {
    int min;
    int max;
};
RangeLimits FieldSweepRangeLimits(TResonanceMode mode);

inline constexpr int kModAmpMaxIndex = 12;
float ModAmpGs(int index);                       // index 1..12; out of range is clamped
int ModAmpCode(int index);                       // trunc(float amplitude * 100): 6 -> 34, 8 -> 69
float FieldSweepRangeGs(int esrFlag, int index); // row by ESR flag, index 1..10
float FreqSweepRangeKHz(int index);              // index 1..9
int FreqSweepRangeKHzRounded(int index);         // rounded to an integer
int FrequencyStepHz(int index);                  // 0..3: 500, 1000, 10000, 100000
double SweepTimeMinutes(int index);              // 1..7: 0.5 * 2^(index-1)

// Field in gauss at a B0 position, given the mode's field-zero offset.
long double B0FieldGs(TResonanceMode mode, int position, std::int32_t zeroOffset);
// round(ResonanceFreqKHz * 1000 + 500 * position), halves to even.
std::int32_t FrequencyHz(TResonanceMode mode, int position);
// Increment of the B0 up-down for a step index (-1 only meaningful in ESR).
int B0StepIncrement(TResonanceMode mode, int index);
// Increment of the frequency up-down: round(FrequencyStepHz * 0.002).
int FrequencyIncrement(int index);

int ModeCommandDigit(TResonanceMode mode); // 0 for the NMR modes, 1 for ESR
// The sweep kind a mode can record (1 field sweep, 0 frequency sweep): ESR has
// no frequency sweep, whatever a setup or an earlier mode asked for.
int FieldSweepForMode(TResonanceMode mode, int fieldSweep);
// Captions of the mode radio buttons as stored: "NMR 1H", "NMR 19F",
// "NMR 1H &&19F", "ESR".
std::string ModeCaption(TResonanceMode mode);

// Service window modulation frequency: f = 38 + 0.1 * (position - 128) Hz as a
// float, and the value sent: round(1 / (f * 0.000015)), halves to even.
float ModFrequencyHz(int position);
std::int32_t ModFrequencyValue(int position);

// Round to nearest with halves to even ("rounded"), and half away from zero.
std::int64_t RoundHalfEven(long double value);
std::int64_t RoundHalfAway(long double value);

} // namespace tavi
