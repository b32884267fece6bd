// SPDX-License-Identifier: GPL-3.0-or-later
// Spectrum measurements over plain X and Y arrays: moments, line widths,
// half height, area texts and the g-factor. Indices are point indices of the
// curves; the processing window keeps the cursors in its marker's slots.
#pragma once

#include "processing/UIntegration.h"

#include <span>
#include <string>

namespace tavi {

// The point between the extremes of the derivative (source) that lies closest
// to the base line; count div 2 when the extremes coincide.
int FindCentreIndex(std::span<const double> source, std::span<const double> baseLine);
int FindCentreIndex(std::span<const double> source, std::span<const double> baseLine,
                    const Extremes& extremes); // extremes of source
// The same, with the base line's values over lineCount points taken from the line.
int FindCentreIndex(std::span<const double> source, const BaseLine& line, int lineCount,
                    const Extremes& extremes);

// a^2 * 0.25.
double ModulationCorrection(double modAmp);

// The visit from centre c towards end e with distance weights 1..|e-c|+1 and
// dx = x[1] - x[0]. A zero denominator gives 0 (without the correction).
double MomentFromDerivative(std::span<const double> x, std::span<const double> y, int c, int e,
                            double modAmp);
double MomentFromAbsorption(std::span<const double> x, std::span<const double> y, int c, int e,
                            double modAmp);
double FourthMomentFromDerivative(std::span<const double> x, std::span<const double> y, int c,
                                  int e);
double FourthMomentFromAbsorption(std::span<const double> x, std::span<const double> y, int c,
                                  int e);

enum class MomentKind { Derivative = 1, Absorption = 2 };

struct Moments {
    double M2 = 0; // (M2R + M2L) * 0.5
    double M2L = 0;
    double M2R = 0;
    double M4 = 0; // (M4R + M4L) * 0.5
};
Moments ComputeMoments(MomentKind kind, std::span<const double> x, std::span<const double> y,
                       int lc, int rc, int mc, double modAmp);

// Cursor slots of a measurement, numbered as the marker's: 1 = LC, 2 = RC,
// 3 = MC.
struct Cursors {
    int LC = 0;
    int RC = 0;
    int MC = 0;
};

// PlaceMomentCursors on the result curve y within its visible range F..L:
// LC/RC where |Y| first reaches 20 from each end, MC = centre; Index is where
// the marker's cursor goes, MC + (LC - MC) / 2 truncated.
struct MomentPlacement {
    Cursors Slots;
    int Index = 0;
};
MomentPlacement PlaceMomentCursors(std::span<const double> y, int first, int last, int centre);

// "SDB": LC/RC at the extremes of the source, ordered LC <= RC.
Cursors LineWidthCursors(std::span<const double> source);
Cursors LineWidthCursors(const Extremes& sourceExtremes);
// "Integral": LC = count div 10, RC = count - count div 10, held at the last
// point below 10 points (where count - count div 10 is one past the end).
Cursors IntegralCursors(int count);

// |x[lc] - x[rc]|.
double LineWidth(std::span<const double> x, int lc, int rc);

// FindHalfHeight on y within F..L. On success LC and RC are the crossings; on
// failure Error is "Lack of begining value" or "Lack of ending value".
struct HalfHeightResult {
    bool Found = false;
    int LC = 0;
    int RC = 0;
    std::string Error;
};
HalfHeightResult FindHalfHeight(std::span<const double> y, int first, int last);
HalfHeightResult FindHalfHeight(std::span<const double> y, int first, int last,
                                const Extremes& extremes); // extremes of y

// (frequency kHz * 1e-6) / ((x + B0 Gs) * 1e-4) * 0.07144771.
double GFactor(double x, double fieldB0Gs, double frequencyKHz);

// Display texts, with the program-wide separators.
std::string MomentText(double m2);       // "%9.3n Gs ²"
std::string FourthMomentText(double m4); // "%9.3n Gs"
std::string WidthText(double width, const std::string& unit); // "%6.2n " + unit
std::string AreaText(double sum);        // 9 significant digits, no decimals
std::string CursorXText(double x, const std::string& unit, bool blankBeforeUnit); // "+1.50 Gs"
std::string GFactorText(double g);       // "%8.4n"

} // namespace tavi
