// SPDX-License-Identifier: GPL-3.0-or-later
#include "compare/CompareAnalysis.h"

#include "analysis/Analysis.h"

#include <cmath>

namespace tavi {

namespace {

bool Load(const CompareFile& file, analysis::Spectrum& s, analysis::BaseLineFit& base,
          std::string& error) {
    if (!file.Ok()) {
        error = file.Error;
        return false;
    }
    if (!analysis::LoadSpectrum(file.Path, s, &error))
        return false;
    base = analysis::FitBaseLine(s, analysis::BaseLineOptions{});
    if (!base.Ok()) {
        error = base.Error;
        return false;
    }
    return true;
}

} // namespace

DoubleIntegralOf FileDoubleIntegral(const CompareFile& file) {
    DoubleIntegralOf out;
    analysis::Spectrum s;
    analysis::BaseLineFit base;
    if (!Load(file, s, base, out.Error))
        return out;
    const analysis::DoubleIntegralResult di = analysis::DoubleIntegral(s, base, std::nullopt);
    if (!di.Ok())
        out.Error = di.Error;
    else if (!std::isfinite(di.Value.Value))
        out.Error = "no double integral";
    else
        out.Value = di.Value.Value;
    return out;
}

FitOf FitFile(const CompareFile& file, CompareModel model) {
    FitOf out;
    if (model == CompareModel::None)
        return out;
    analysis::Spectrum s;
    analysis::BaseLineFit base;
    if (!Load(file, s, base, out.Error))
        return out;
    analysis::FitOptions options;
    options.Shape = model == CompareModel::Gaussian ? analysis::Profile::Gaussian
                    : model == CompareModel::Voigt  ? analysis::Profile::Voigt
                                                    : analysis::Profile::Lorentzian;
    options.Lines = 1;
    const analysis::LineShapeFit fit = analysis::FitLineShape(s, base, options);
    if (!fit.Ok() || fit.Lines.empty()) {
        out.Error = fit.Ok() ? "no line fitted" : fit.Error;
        return out;
    }
    const analysis::LineFit& line = fit.Lines.front();
    out.Fit = CompareFit{line.Centre.Value, line.Centre.Error, line.WidthPP.Value,
                         line.WidthPP.Error};
    return out;
}

} // namespace tavi
