// SPDX-License-Identifier: GPL-3.0-or-later
// Curves written as files: the fixed-width text exports "txt", "prd" and
// "pra", and the CSV and JCAMP-DX exports that spreadsheets, scripts and
// spectroscopy packages read. File code only; the window supplies the texts.
#pragma once

#include "common/FileResult.h"
#include "processing/DataFile.h"

#include <span>
#include <string>
#include <vector>

namespace tavi {

// The text exports' file name: dir + "/" + base + extension, joined as they
// are. The base is the chosen data file's name without its directory, cut
// after its first '.' (kept): "run7.dcw" -> "run7.", "a.b.dcw" -> "a.". An
// empty name gives the extension alone.
std::string CurveTextPath(const std::string& dir, const std::string& chosenFile,
                          const std::string& extension);

// The text layout: per point X in 8 columns and Y in 22, two decimals, '.'
// always, no thousands separator, wider when a number needs it, CR LF; then
// one empty line.
std::string CurveText(std::span<const double> xs, std::span<const double> ys);

// Replaces the file at path with the text. Failures: Io with "Cannot create
// file <path>: <cause>" or "Cannot write file <path>: <cause>", NotRegular,
// Damaged. The forms with a message only are for callers that treat every
// failure alike.
FileResult WriteTextFile(const std::string& path, const std::string& text);
bool WriteTextFile(const std::string& path, const std::string& text, std::string* error);

// CurveText written to path.
FileResult WriteCurveText(const std::string& path, std::span<const double> xs,
                          std::span<const double> ys);
bool WriteCurveText(const std::string& path, std::span<const double> xs, std::span<const double> ys,
                    std::string* error);

// A named value shown with an export ("Gain", "x 1000").
struct ExportField {
    std::string Name;
    std::string Value;
};

// Every header field of a data file under the caption the window shows it
// with, in the order of the "Experiment setup" group, then the comment.
std::vector<ExportField> HeaderFields(const DataFileSettings& settings);

struct CurveExport {
    std::string Title; // the data file's name
    std::string Curve; // "Source spectrum", "1st Derivative", "Absorption"
    bool FieldSweep = true;
    std::string ModeText;                // "ESR", "NMR 1H", ...
    std::vector<ExportField> Header;     // HeaderFields of the data file
    std::vector<ExportField> Processing; // base line, view, measurements
    std::span<const double> X; // offsets from the sweep centre
    std::span<const double> Y;
    double FieldB0 = 0;      // Gs: the centre of a field sweep
    double FrequencyKHz = 0; // the NMR or microwave frequency: the centre of a frequency sweep
};

// The values of a loaded file: mode, sweep, header fields, centre field and
// frequency (title, curve and points stay the caller's).
void DescribeFile(CurveExport& curve, const LoadedDataFile& file);

// "Gs" for a field sweep, "kHz" for a frequency sweep.
std::string ExportXUnit(const CurveExport& curve);

// X values (absolute and offsets) in fixed notation with this many decimals,
// rounded half away from zero like every number the program shows.
inline constexpr int kExportXDecimals = 6;

// The CSV: first the column line, "field_Gs,offset_Gs,y" (field sweep) or
// "frequency_kHz,offset_kHz,y" (frequency sweep), which a reader taking the
// first line as names reads; then "# name: value" lines; then one row per
// point: the absolute field (B0 + offset) or frequency, the offset, Y. No
// number has an exponent; Y reads back exactly. Lines end in CR LF.
std::string CurveCsv(const CurveExport& curve);

// JCAMP-DX 4.24 with the X++(Y..Y) table in AFFN numbers without exponents;
// X absolute, in GAUSS (B0 + offset) for a field sweep and in HZ for a
// frequency sweep; the frequency as ##.OBSERVE FREQUENCY (NMR) or
// ##$MICROWAVE FREQUENCY (ESR), both in MHz; the header fields and the
// processing values as ##$ user labels. Printable ASCII only: a few signs
// are spelt out ("°" as " deg", "²" as "^2", "µ" as "u"), any
// other character is written as <U+XXXX>. Lines of at most 80 bytes, CR LF.
std::string CurveJcamp(const CurveExport& curve);

inline constexpr std::size_t kJcampLineLimit = 80;

} // namespace tavi
