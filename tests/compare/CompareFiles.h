// SPDX-License-Identifier: GPL-3.0-or-later
// Data files of a series for the compare tests: given sums or a spectrum with
// a comment, mode and sweep of the test's choosing.
#pragma once

#include "processing/SpectrumFiles.h"
#include "support/SampleDataFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavi::test {

inline bool WriteSums(const std::string& path, const std::vector<std::int32_t>& sums,
                      const DataFileSettings& settings) {
    return WriteSampleFile(path, settings, sums);
}

inline DataFileSettings FrequencySweep(DataFileSettings s, float rangeKHz) {
    s.FieldSweep = 0;
    s.SweepRange = rangeKHz;
    return s;
}

} // namespace tavi::test
