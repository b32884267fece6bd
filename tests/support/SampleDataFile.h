// SPDX-License-Identifier: GPL-3.0-or-later
// Sample data files for tests and benchmarks: the settings a run leaves in the
// header, built from one default with the few fields a case changes, and the
// accumulated sums as the file stores them.
#pragma once

#include "processing/DataFile.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tavi::test {

class SettingsBuilder {
public:
    // An NMR 1H field sweep of 100 Gs over 20 s, 4 passes.
    SettingsBuilder() {
        s_.Comment = "Glycerol, 295 K";
        s_.FrequencyText = "14 000.000 kHz";
        s_.FieldB0Text = "3 288.0 Gs";
        s_.FieldSweep = 1;
        s_.SweepRange = 100.0f;
        s_.ModAmpText = "0.025 Gs";
        s_.SweepTimeText = "20 s";
        s_.GainText = "x 1000";
        s_.PhaseText = "45\u00B0";
        s_.AccText = "4";
        s_.ModeText = "NMR 1H";
    }
    // ESR at 9.4 GHz, with its resonance field.
    SettingsBuilder& Esr(std::string fieldB0 = "3 357.0 Gs") {
        s_.FrequencyText = "9 400 000 kHz";
        s_.FieldB0Text = std::move(fieldB0);
        s_.ModeText = "ESR";
        return *this;
    }
    SettingsBuilder& Mode(std::string v) { return Set(s_.ModeText, std::move(v)); }
    SettingsBuilder& Comment(std::string v) { return Set(s_.Comment, std::move(v)); }
    SettingsBuilder& Frequency(std::string v) { return Set(s_.FrequencyText, std::move(v)); }
    SettingsBuilder& Field(std::string v) { return Set(s_.FieldB0Text, std::move(v)); }
    SettingsBuilder& ModAmp(std::string v) { return Set(s_.ModAmpText, std::move(v)); }
    SettingsBuilder& SweepTime(std::string v) { return Set(s_.SweepTimeText, std::move(v)); }
    SettingsBuilder& Gain(std::string v) { return Set(s_.GainText, std::move(v)); }
    SettingsBuilder& Phase(std::string v) { return Set(s_.PhaseText, std::move(v)); }
    SettingsBuilder& Passes(int n) { return Set(s_.AccText, std::to_string(n)); }
    SettingsBuilder& Range(float r) {
        s_.SweepRange = r;
        return *this;
    }
    operator DataFileSettings() const { return s_; }
    DataFileSettings Build() const { return s_; }

private:
    SettingsBuilder& Set(std::string& field, std::string v) {
        field = std::move(v);
        return *this;
    }
    DataFileSettings s_;
};

// The records after the header: each sum as 32 bits, least significant first.
inline std::vector<std::uint8_t> SumBytes(const std::vector<std::int32_t>& sums) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(4 * sums.size());
    for (std::int32_t s : sums) {
        const auto v = static_cast<std::uint32_t>(s);
        for (int b = 0; b < 4; ++b)
            bytes.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
    }
    return bytes;
}

inline bool WriteSampleFile(const std::string& path, const DataFileSettings& settings,
                            const std::vector<std::int32_t>& sums, std::string* error = nullptr) {
    std::string ignored;
    return WriteDataFile(path, DataFileHeader::Build(settings), SumBytes(sums),
                         error ? error : &ignored);
}

} // namespace tavi::test
