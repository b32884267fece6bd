// SPDX-License-Identifier: GPL-3.0-or-later
#include "params/UTextTbl.h"

#include "params/NumFormat.h"

namespace tavi {

const std::array<const char*, 6> FieldSourceText{
    "", "Electromagnet", "Helmholtz coils", "not connected", "Magnet & Coils", "Wrong connection"};
const std::array<const char*, 2> SweepAxisName{"Frequency", "Field"};
const std::array<const char*, 3> UnitText{"kHz", "Gs", "mT"};
const std::array<char, 2> SweepLetter{'F', 'B'};

std::string FieldSourceName(int code) {
    if (code < 0 || code >= static_cast<int>(FieldSourceText.size()))
        return {};
    return FieldSourceText[static_cast<std::size_t>(code)];
}

std::string FormatPhase(int position) {
    return FormatN(static_cast<long double>(position) * 1.5L, 7, 1) + " \u00B0";
}

std::string FormatGain(int position) {
    return FormatD(position);
}

std::string FormatModAmp(int index) {
    return FormatN(static_cast<long double>(ModAmpGs(index)), 3, 2) + " Gs";
}

std::string FormatGs(float gauss) {
    return FormatG(static_cast<long double>(gauss), 4) + " Gs";
}

std::string FormatFieldSweepRange(int esrFlag, int index) {
    return FormatGs(FieldSweepRangeGs(esrFlag, index));
}

std::string FormatKHz(int kHz) {
    return FormatD(kHz, 4) + " kHz";
}

std::string FormatFreqSweepRange(int index) {
    return FormatKHz(FreqSweepRangeKHzRounded(index));
}

std::string FormatSweepTime(int index) {
    // At most one decimal, no trailing zeros, in four characters.
    std::string minutes = FormatFloat("0.#", SweepTimeMinutes(index));
    if (minutes.size() < 4)
        minutes.insert(0, 4 - minutes.size(), ' ');
    return minutes + " min";
}

std::string FormatB0(TResonanceMode mode, bool gauss, int position, std::int32_t zeroOffset) {
    const long double field = B0FieldGs(mode, position, zeroOffset);
    if (gauss)
        return FormatN(field, 6, 2) + " Gs";
    return FormatN(field * 0.1L, 6, 3) + " mT";
}

std::string FormatB0Step(TResonanceMode mode, int increment) {
    return FormatN(B0StepGs(mode) * static_cast<long double>(increment), 6, 2) + " Gs";
}

std::string FormatFrequency(TResonanceMode mode, int position) {
    return FormatN(static_cast<long double>(FrequencyHz(mode, position)) * 0.001L, 6, 1) + " kHz";
}

std::string FormatFrequencyStep(int index) {
    return FormatN(static_cast<long double>(FrequencyStepHz(index)) * 0.001L, 6, 1) + " kHz";
}

std::string FormatModFrequency(int f2ModPosition) {
    return FormatN(static_cast<long double>(ModFrequencyHz(f2ModPosition)), 4, 1) + " Hz";
}

} // namespace tavi
