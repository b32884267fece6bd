// SPDX-License-Identifier: GPL-3.0-or-later
// Data files of a series for the compare tests: given sums or a spectrum with
// a comment, mode and sweep of the test's choosing.
#pragma once

#include "processing/SpectrumFiles.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavi::test {

inline bool WriteSums(const std::string& path, const std::vector<std::int32_t>& sums,
                      const DataFileSettings& settings) {
    std::vector<std::uint8_t> buffer;
    for (std::int32_t s : sums) {
        const auto v = static_cast<std::uint32_t>(s);
        for (int b = 0; b < 4; ++b)
            buffer.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
    }
    std::string error;
    return WriteDataFile(path, DataFileHeader::Build(settings), buffer, &error);
}

inline DataFileSettings FrequencySweep(DataFileSettings s, float rangeKHz) {
    s.FieldSweep = 0;
    s.SweepRange = rangeKHz;
    return s;
}

} // namespace tavi::test
