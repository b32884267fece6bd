// SPDX-License-Identifier: GPL-3.0-or-later
// Quantitative analysis of one spectrum: base line from chosen regions, fitted
// line shapes with standard errors, double integral, spin-count ratio and
// moments with true distances. No widgets; the window, tavi-proc, the tests and
// the benchmarks all call these functions.
#pragma once

#include <atomic>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace tavi {
struct LoadedDataFile;
}

namespace tavi::analysis {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A number with one standard error; NaN where it does not apply.
struct Measured {
    double Value = kNaN;
    double Error = kNaN;
};

// A closed X interval; From may be larger than To (it is ordered on use).
struct Interval {
    double From = 0;
    double To = 0;
};

// The spectrum as the analysis sees it: each point is the file's sum divided by
// the passes, in double precision, neither rounded nor clamped.
struct Spectrum {
    std::vector<double> X; // offsets from the sweep centre, Gs or kHz
    std::vector<double> Y;
    bool FieldSweep = true;
    bool Esr = false;
    double ModAmp = 0;    // Gs, the peak amplitude a of B + a cos(wt)
    double Gain = 0;      // the receiver gain as the file shows it
    double FieldB0 = 0;   // Gs
    double Frequency = 0; // kHz
};

// Reads a data file and its unrounded sums. On failure returns false with the
// cause in *error.
bool LoadSpectrum(const std::string& path, Spectrum& out, std::string* error);
// The same from a file already parsed and its bytes (as read from disk).
bool SpectrumFromBytes(const std::vector<unsigned char>& bytes, const LoadedDataFile& file,
                       Spectrum& out, std::string* error);

// ---- Base line ----

struct BaseLineOptions {
    std::vector<Interval> Regions; // empty: the first and the last tenth of the sweep
    int Order = 1;                 // 0 to 3
};

struct BaseLineFit {
    std::string Error; // empty on success
    int Order = 1;
    std::vector<Interval> Regions;   // as used (the defaults filled in)
    std::vector<double> Coefficients; // c0 first, in powers of X
    std::vector<double> Corrected;    // Y minus the base line
    double NoiseRms = kNaN;           // of the corrected points inside the regions
    int NoisePoints = 0;
    bool Ok() const { return Error.empty(); }
};

std::vector<Interval> DefaultRegions(const Spectrum& s);
BaseLineFit FitBaseLine(const Spectrum& s, const BaseLineOptions& options);

// ---- Line-shape fit ----

enum class Profile { Lorentzian, Gaussian, Voigt };
enum class ModulationMode { Off, On, Auto };

struct FitOptions {
    Profile Shape = Profile::Lorentzian;
    int Lines = 1; // 1 to 3
    ModulationMode Modulation = ModulationMode::Auto;
    bool Offset = false;
    // Starting centres placed by the operator (X); missing ones are found.
    std::vector<double> StartCentres;
    int MaxIterations = 200;
};

struct LineFit {
    Measured Centre;
    Measured WidthPP;   // peak-to-peak width of the line's derivative, unbroadened
    Measured Fwhm;      // of its absorption
    Measured Amplitude; // peak-to-peak height of the fitted curve as detected
    Measured DoubleIntegral; // of the fitted curve over the whole X axis
    Measured G;              // ESR files only
    Measured WidthL;         // Voigt only: FWHM of the Lorentzian part
    Measured WidthG;         // Voigt only: FWHM of the Gaussian part
};

struct LineShapeFit {
    std::string Error; // empty on success; numbers are NaN otherwise
    Profile Shape = Profile::Lorentzian;
    bool Modulation = false; // the modulation-broadened model was used
    bool Converged = false;
    int Iterations = 0;
    double Chi2Red = kNaN;     // residual variance over the base line's noise variance
    double ResidualRms = kNaN;
    Measured Offset;
    std::vector<LineFit> Lines;
    std::vector<double> Curve;     // the fitted curve on the spectrum's X
    std::vector<double> Residuals; // corrected Y minus Curve
    bool Ok() const { return Error.empty(); }
};

// Fits the corrected derivative of base. cancel, when set, stops the fit
// between iterations with the error "Cancelled".
LineShapeFit FitLineShape(const Spectrum& s, const BaseLineFit& base, const FitOptions& options,
                          const std::atomic<bool>* cancel = nullptr);

// ---- Double integral, spin count, moments ----

struct DoubleIntegralResult {
    std::string Error;
    Interval Range;
    Measured Value;      // integral of the absorption over Range
    Measured Normalised; // Value / (gain x modulation amplitude)
    bool Ok() const { return Error.empty(); }
};

// range: nullopt for the whole sweep.
DoubleIntegralResult DoubleIntegral(const Spectrum& s, const BaseLineFit& base,
                                    std::optional<Interval> range);

// sample / reference of the normalised values, with the propagated error.
Measured SpinRatio(const DoubleIntegralResult& sample, const DoubleIntegralResult& reference);

struct TrueMoments {
    std::string Error;
    double Centre = kNaN; // first moment of the absorption
    Measured M2;
    Measured M4;
    double M4OverM2Sq = kNaN;
    bool Ok() const { return Error.empty(); }
};

TrueMoments MomentsOfAbsorption(const Spectrum& s, const BaseLineFit& base,
                                std::optional<Interval> range);

// g from a centre offset (Gs) with the constants of the processing window.
double GFactorAt(const Spectrum& s, double centre);

} // namespace tavi::analysis
