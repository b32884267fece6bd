// SPDX-License-Identifier: GPL-3.0-or-later
// tavi-proc's analysis options and the "analysis" object of its JSON lines.
#pragma once

#include "analysis/Analysis.h"

#include <optional>
#include <string>
#include <vector>

namespace tavi::analysis {

struct CliOptions {
    bool Requested = false; // any analysis option given
    bool Fit = false;
    FitOptions FitWith;
    BaseLineOptions Base;
    std::optional<Interval> Integral;
    std::string Reference;
};

// Takes the analysis options out of args, keeping the others in order. On a
// bad option returns false with the message for the usage error.
bool TakeAnalysisOptions(std::vector<std::string>& args, CliOptions& out, std::string* error);

// The reference file's normalised double integral, analysed once with the
// same base line and interval as the samples.
struct ReferenceIntegral {
    std::string Error;
    DoubleIntegralResult Integral;
};
ReferenceIntegral AnalyseReference(const CliOptions& options);

// {"baseline": ..., "fit": ..., "integral": ..., "moments": ...}; *failed is
// set when a requested part failed.
std::string AnalysisObjectJson(const Spectrum& s, const CliOptions& options,
                               const ReferenceIntegral* reference, bool* failed);

// A JSON object line ("{...}\n") with ,"analysis":object added at its end.
std::string WithAnalysis(const std::string& line, const std::string& object);

// The options and fields, for --help.
const char* AnalysisUsage();

} // namespace tavi::analysis
