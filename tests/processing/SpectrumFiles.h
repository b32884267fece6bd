// SPDX-License-Identifier: GPL-3.0-or-later
// Data files with a realistic line, written with the program's own writer: the
// first derivative of a Lorentzian (as the spectrometer records it), with an
// optional drift of the base line and seeded noise.
#pragma once

#include "processing/DataFile.h"
#include "support/SampleDataFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace tavi::test {

struct LineShape {
    double Centre = 0;     // X of the line centre (offset from the sweep centre)
    double HalfWidth = 4;  // Lorentzian half width, in X units
    double Peak = 300;     // height of the derivative's extremes
    double Drift = 0;      // base line rise over the sweep
    double Offset = 0;     // base line at the start
    double Noise = 0;      // standard deviation
    unsigned Seed = 1;
};

inline DataFileSettings NmrSettings(float sweepRange = 100.0f) {
    return SettingsBuilder().Range(sweepRange);
}

inline DataFileSettings EsrSettings(float sweepRange = 100.0f) {
    return SettingsBuilder().Range(sweepRange).Esr().Comment("DPPH powder");
}

// The averaged Y of point i of n, before rounding and clamping.
inline double LineValue(const LineShape& l, double x, int i, int n) {
    const double u = (x - l.Centre) / l.HalfWidth;
    // max of u / (1 + u^2)^2 is 3 sqrt(3) / 16 at u = 1 / sqrt(3).
    const double derivative = -l.Peak * (16.0 / (3.0 * std::sqrt(3.0))) * u / ((1 + u * u) * (1 + u * u));
    return derivative + l.Offset + l.Drift * i / std::max(1, n - 1);
}

// Writes n points over the settings' sweep range; the sums hold AccText
// accumulations of the line (plus noise). Returns false with the writer's error.
inline bool WriteSpectrum(const std::string& path, int n, const DataFileSettings& settings,
                          const LineShape& line, std::string* error = nullptr) {
    const int acc = std::max(1, std::stoi(settings.AccText));
    std::mt19937 rng(line.Seed);
    std::normal_distribution<double> noise(0.0, line.Noise > 0 ? line.Noise : 1.0);
    std::vector<std::int32_t> sums;
    sums.reserve(static_cast<std::size_t>(n));
    const double step = n > 1 ? settings.SweepRange / (n - 1) : 0;
    for (int i = 0; i < n; ++i) {
        const double x = -settings.SweepRange / 2 + i * step;
        double y = LineValue(line, x, i, n);
        if (line.Noise > 0)
            y += noise(rng);
        sums.push_back(static_cast<std::int32_t>(std::lround(y * acc)));
    }
    return WriteSampleFile(path, settings, sums, error);
}

// A file of given averaged values (AccText 1).
inline bool WriteValues(const std::string& path, const std::vector<int>& values,
                        DataFileSettings settings = NmrSettings()) {
    settings.AccText = "1";
    return WriteSampleFile(path, settings, std::vector<std::int32_t>(values.begin(), values.end()));
}

} // namespace tavi::test
