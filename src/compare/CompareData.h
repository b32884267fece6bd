// SPDX-License-Identifier: GPL-3.0-or-later
// Spectra of a series side by side: loading, the common X axes, the
// normalisations, the number a comment carries and the drawing envelope.
#pragma once

#include "processing/DataFile.h"
#include "processing/ProcAnalysis.h"

#include <cstdint>
#include <optional>
#include <regex>
#include <span>
#include <string>
#include <vector>

namespace tavi {

enum class CompareAxis { Relative, FieldGs, FieldMT, GFactor, Frequency };
enum class CompareNorm { None, GainModAmp, Maximum, DoubleIntegral };

struct CompareFile {
    std::string Path;
    std::string Name;  // without the directory
    std::string Error; // why it could not be loaded; such a file is drawn nowhere
    LoadedDataFile Data;
    std::vector<double> Average; // sum / passes, neither rounded nor clamped
    SpectrumAnalysis Analysis;   // what tavi-proc prints for the file
    std::int64_t FileTime = 0;   // last modification, seconds since 1970
    bool Ok() const { return Error.empty(); }
};

CompareFile LoadCompareFile(const std::string& path);

bool IsEsrFile(const LoadedDataFile& file);
// B0 in gauss: the field text may be shown in millitesla ("328.812 mT").
double FieldB0Gs(const LoadedDataFile& file);
// g = h nu / (muB B), with nu in kHz and B in Gs.
double GFromField(double frequencyKHz, double fieldGs);

// Empty when every loaded file can be drawn on the axis, else the note that
// says why not.
std::string AxisUnavailable(const std::vector<const CompareFile*>& files, CompareAxis axis);
// X of every point on the axis, in the file's point order.
void ConvertAxis(const CompareFile& file, CompareAxis axis, std::vector<double>& x);
std::string AxisTitle(CompareAxis axis);

// What a file's averages are divided by under a normalisation. Without a
// usable divisor Error says why and the file is not drawn.
struct NormDivisor {
    double Value = 1;
    std::string Error;
};
// doubleIntegral: the file's double integral, when that normalisation is offered.
NormDivisor NormalisationDivisor(const CompareFile& file, CompareNorm norm,
                                 std::optional<double> doubleIntegral = std::nullopt);
std::string NormalisationCaption(CompareNorm norm);

// Reduces a curve to the extremes of each of `columns` runs of points, each
// pair in its order along the curve; curves of at most 2 x columns points are
// copied.
void MinMaxEnvelope(std::span<const double> x, std::span<const double> y, int columns,
                    std::vector<double>& outX, std::vector<double>& outY);

// The first number followed by "K": temperature series.
inline constexpr const char* kDefaultCommentPattern = R"(([-+]?\d+(?:\.\d+)?)\s*K\b)";
// A regular expression; its first group (or the whole match) is the number.
// On a bad expression returns false with the cause.
bool CompileCommentPattern(const std::string& text, std::regex& out, std::string* error);
std::optional<double> NumberFromComment(const std::string& comment, const std::regex& pattern);

} // namespace tavi
