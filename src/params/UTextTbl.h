// SPDX-License-Identifier: GPL-3.0-or-later
// Display texts of every parameter and the constant text tables. The texts
// are UTF-8; the degree sign is U+00B0 (byte 0xB0 once stored in a file).
#pragma once

#include "params/Freq.h"

#include <array>
#include <string>

namespace tavi {

extern const std::array<const char*, 6> FieldSourceText; // "", "Electromagnet", ...
extern const std::array<const char*, 2> SweepAxisName;   // "Frequency", "Field"
extern const std::array<const char*, 3> UnitText;        // "kHz", "Gs", "mT"
extern const std::array<char, 2> SweepLetter;            // 'F', 'B'

// Field-source text, or "" for codes outside 0..5.
std::string FieldSourceName(int code);

std::string FormatPhase(int position); // "%7.1n °"
std::string FormatGain(int position);  // "%d"
std::string FormatModAmp(int index);   // "%3.2n Gs"
std::string FormatGs(float gauss);     // "%4g Gs"
std::string FormatFieldSweepRange(int esrFlag, int index);
std::string FormatKHz(int kHz); // "%4d kHz"
std::string FormatFreqSweepRange(int index);
std::string FormatSweepTime(int index); // " 0.5 min", "   1 min", ...
// gauss: the checked state of the "Gs" menu item (true Gs, false mT).
std::string FormatB0(TResonanceMode mode, bool gauss, int position, std::int32_t zeroOffset);
std::string FormatB0Step(TResonanceMode mode, int increment);   // "%6.2n Gs"
std::string FormatFrequency(TResonanceMode mode, int position); // "%6.1n kHz"
std::string FormatFrequencyStep(int index);                     // "%6.1n kHz"
std::string FormatModFrequency(int f2ModPosition);              // "%4.1n Hz"

} // namespace tavi
