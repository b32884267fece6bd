// SPDX-License-Identifier: GPL-3.0-or-later
// Synthetic derivative lines with known parameters for the analysis tests and
// benchmarks: written from the formulas, independent of the library's models.
#pragma once

#include "analysis/Analysis.h"
#include "processing/DataFile.h"
#include "support/SampleDataFile.h"

#include <cerf.h>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace tavi::test {

enum class Shape { Lorentzian, Gaussian, Voigt };

struct TrueLine {
    Shape Kind = Shape::Lorentzian;
    double Centre = 0;
    double WidthPP = 1; // Lorentzian and Gaussian
    double Area = 1;    // double integral
    double Sigma = 0.5; // Voigt
    double Gamma = 0.5; // Voigt (HWHM)
};

// Unit-area absorption at x of a line centred at 0.
inline double Absorption(const TrueLine& l, double x) {
    const double pi = std::numbers::pi;
    switch (l.Kind) {
    case Shape::Lorentzian: {
        const double g = std::sqrt(3.0) / 2 * l.WidthPP;
        return g / (pi * (x * x + g * g));
    }
    case Shape::Gaussian: {
        const double s = l.WidthPP / 2;
        return std::exp(-x * x / (2 * s * s)) / (s * std::sqrt(2 * pi));
    }
    case Shape::Voigt:
        return voigt(x, l.Sigma, l.Gamma);
    }
    return 0;
}

// The detected signal: the derivative for a = 0, else the first harmonic under
// modulation of peak amplitude a divided by a (so its double integral is the
// area), by a dense midpoint rule.
inline double Detected(const TrueLine& l, double x, double a, int m = 2000) {
    const double u = x - l.Centre;
    if (a == 0) {
        const double h = 1e-4 * (l.Kind == Shape::Voigt ? l.Sigma + l.Gamma : l.WidthPP);
        return l.Area * (Absorption(l, u + h) - Absorption(l, u - h)) / (2 * h);
    }
    double sum = 0;
    for (int k = 0; k < m; ++k) {
        const double th = (k + 0.5) * std::numbers::pi / m;
        sum += Absorption(l, u + a * std::cos(th)) * std::cos(th);
    }
    return l.Area * 2 * sum / (a * m);
}

struct SynthOptions {
    std::vector<TrueLine> Lines;
    int Points = 1024;
    double Sweep = 20;   // Gs
    double ModAmp = 0;   // a; used by the model only when Modulated
    bool Modulated = false;
    double Drift[3] = {0, 0, 0}; // c0 + c1 x + c2 x^2
    double NoiseRms = 0;
    unsigned Seed = 1;
};

inline analysis::Spectrum Synthesize(const SynthOptions& o) {
    analysis::Spectrum s;
    s.ModAmp = o.ModAmp;
    s.Gain = 100;
    s.Esr = true;
    s.FieldB0 = 3350;
    s.Frequency = 9.4e6;
    std::mt19937_64 rng(o.Seed);
    std::normal_distribution<double> noise(0, o.NoiseRms > 0 ? o.NoiseRms : 1);
    for (int i = 0; i < o.Points; ++i) {
        const double x = -o.Sweep / 2 + o.Sweep * i / (o.Points - 1);
        double y = o.Drift[0] + o.Drift[1] * x + o.Drift[2] * x * x;
        for (const TrueLine& l : o.Lines)
            y += Detected(l, x, o.Modulated ? o.ModAmp : 0);
        if (o.NoiseRms > 0)
            y += noise(rng);
        s.X.push_back(x);
        s.Y.push_back(y);
    }
    return s;
}

// A copy of s with white noise of the given RMS added.
inline analysis::Spectrum WithNoise(analysis::Spectrum s, double rms, unsigned seed) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> noise(0, rms);
    for (double& y : s.Y)
        y += noise(rng);
    return s;
}

// Saves s as the acquisition would after acc passes (sums of acc sweeps).
inline bool WriteSpectrumFile(const std::string& path, const analysis::Spectrum& s, int acc,
                              const std::string& gain = "60",
                              const std::string& modAmp = "0.05 Gs") {
    std::vector<std::int32_t> sums;
    for (double y : s.Y)
        sums.push_back(static_cast<std::int32_t>(std::lround(y * acc)));
    return WriteSampleFile(path,
                           SettingsBuilder()
                               .Esr("3 350.0 Gs")
                               .Comment("")
                               .Range(static_cast<float>(s.X.back() - s.X.front()))
                               .ModAmp(modAmp)
                               .Gain(gain)
                               .Phase("0")
                               .Passes(acc),
                           sums);
}

} // namespace tavi::test
