// SPDX-License-Identifier: GPL-3.0-or-later
// What the analysis library adds to a compared file: its double integral with
// the default base line, and a fitted line's centre and width with errors.
#pragma once

#include "compare/CompareData.h"
#include "compare/CompareTable.h"

#include <optional>
#include <string>

namespace tavi {

enum class CompareModel { None, Lorentzian, Gaussian, Voigt };

struct DoubleIntegralOf {
    std::optional<double> Value;
    std::string Error;
};
DoubleIntegralOf FileDoubleIntegral(const CompareFile& file);

// One line of the model fitted to the file's derivative over the default base
// line; centre as an X offset, width peak to peak. Without a fit, Error says why.
struct FitOf {
    std::optional<CompareFit> Fit;
    std::string Error;
};
FitOf FitFile(const CompareFile& file, CompareModel model);

} // namespace tavi
