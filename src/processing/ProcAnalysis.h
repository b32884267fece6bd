// SPDX-License-Identifier: GPL-3.0-or-later
// Batch analysis of one loaded spectrum: what the processing window's view and
// measurement buttons give on the unzoomed result chart, with the cursors
// where the buttons place them. tavi-proc prints it; no widget involved.
#pragma once

#include "processing/DataFile.h"
#include "processing/UIntegration.h"
#include "processing/UM2.h"

#include <string>
#include <string_view>
#include <vector>

namespace tavi {

// Right-hand axis of both charts after a load: the area integrator's auto
// scale fits the running integral into it.
inline constexpr double kResultAxisMinimum = -500;
inline constexpr double kResultAxisMaximum = 500;

struct DerivativeAnalysis {
    Moments Moment; // "M2" pressed: cursors from PlaceMomentCursors
    Cursors MomentCursors;
    double SDB = 0;     // "SDB" pressed: width between the source's extremes
    Cursors SDBCursors; // LC, RC (MC unused)
};

struct AbsorptionAnalysis {
    int Factor = 0; // +1 or -1
    Moments Moment;
    Cursors MomentCursors;
    // "HDB" pressed: on no crossing HDBFound is false and HDBError holds the
    // message the window shows.
    bool HDBFound = false;
    double HDB = 0;
    Cursors HDBCursors;
    std::string HDBError;
    double AI = 0; // "Integral" pressed: 1000 x the area between its cursors
    Cursors AICursors;
};

struct SpectrumAnalysis {
    int Points = 0;
    BaseLine Line;
    DerivativeAnalysis Derivative;
    AbsorptionAnalysis Absorption;
    // ESR files ("G" buttons): the g-factor at the line centre, on the
    // derivative view's X values.
    bool Esr = false;
    double G = 0;
    int GIndex = 0;
    int Clipped = 0; // points cut to the +-500 display range: the values above are cut too
};

// The curves the two views put into Series2 (unzoomed), and the running
// integral of "Integral" (SeriesI, unscaled by the display scale's history:
// Init's scale 1, then the auto scale). A caller analysing many files can
// pass the same object each time so that its buffers are reused.
struct ViewCurves {
    std::vector<double> BaseLineY;
    std::vector<double> DerivativeY; // X: the source's X
    std::vector<double> AbsorptionX;
    std::vector<double> AbsorptionY;
    std::vector<double> AreaX;
    std::vector<double> AreaY;
    // The area summed ahead with the absorption, until "Integral" takes it.
    PendingArea AreaAhead;
};

SpectrumAnalysis AnalyseSpectrum(const LoadedDataFile& file, ViewCurves* curves = nullptr);

// One line of tavi-proc's output (with the trailing newline). With a file, its
// settings go into the object under "header".
std::string SpectrumAnalysisJson(std::string_view fileName, const SpectrumAnalysis& a,
                                 const LoadedDataFile* header = nullptr);
std::string LoadErrorJson(std::string_view fileName, std::string_view error);

// tavi-proc --csv: the column names (one line), then one row per file with its
// settings and every measurement; a file that could not be loaded fills only
// "file" and "error". Texts are quoted where they need it; a value that does
// not exist (no crossing, no g-factor, not finite) is an empty field.
std::string SpectrumCsvHeader();
std::string SpectrumCsvRow(std::string_view fileName, const LoadedDataFile& file,
                           const SpectrumAnalysis& a);
std::string LoadErrorCsvRow(std::string_view fileName, std::string_view error);

} // namespace tavi
