// SPDX-License-Identifier: GPL-3.0-or-later
// tavi-dcw: prints a data file as the processing window reads it, as JSON,
// CSV or JCAMP-DX.
#include "common/JsonText.h"
#include "common/Version.h"
#include "processing/DataFile.h"
#include "processing/Export.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

// The loader's message with the file named once: "Cannot open file X: ..."
// names it already, "file format error" does not.
std::string Naming(const std::string& path, const std::string& error) {
    return error.find(path) != std::string::npos ? error : path + ": " + error;
}

using tavi::AppendJsonNumber;
using tavi::AppendJsonString;

constexpr const char* kUsage =
    "Usage: tavi-dcw --json FILE\n"
    "       tavi-dcw --csv FILE\n"
    "       tavi-dcw --jcamp FILE\n"
    "       tavi-dcw --help | --version\n"
    "\n"
    "Reads a TAVI data file (*.dcw, format 10 or 11) and prints one JSON object:\n"
    "the header texts (format, comment, frequencyText, fieldB0Text, fieldSweep,\n"
    "sweepRange, modAmpText, sweepTimeText, gainText, phaseText, accText,\n"
    "modeText, as UTF-8) and \"points\", the [x, y] pairs of the spectrum: x is the\n"
    "offset from the sweep centre, y the accumulated sum divided by the\n"
    "accumulation count, rounded half to even and limited to -500..500.\n"
    "\n"
    "--csv prints the same spectrum as CSV: the column line\n"
    "\"field_Gs,offset_Gs,y\" (\"frequency_kHz,offset_kHz,y\" for a frequency\n"
    "sweep), '#' comment lines with the header fields, then one row per point:\n"
    "the absolute field (B0 + offset) or frequency, the offset, y; '.' as\n"
    "decimal separator, no exponents. numpy reads it with\n"
    "  numpy.genfromtxt(\"run1.csv\", delimiter=\",\", comments=\"#\", names=True)\n"
    "--jcamp prints it as JCAMP-DX 4.24 (##XYDATA=(X++(Y..Y)), X absolute in\n"
    "GAUSS, or in HZ for a frequency sweep; the frequency in MHz as\n"
    "##.OBSERVE FREQUENCY for NMR, ##$MICROWAVE FREQUENCY for ESR), the header\n"
    "fields as ##$ labels, in printable ASCII.\n"
    "Output goes to standard output, so a folder converts in one loop:\n"
    "  for f in *.dcw; do tavi-dcw --csv \"$f\" > \"${f%.dcw}.csv\"; done\n"
    "\n"
    "Exit status: 0 on success, 1 when the file is rejected (the reason goes to\n"
    "standard error), 2 on bad usage.\n";

std::string ToJson(const tavi::LoadedDataFile& f) {
    const tavi::DataFileSettings& s = f.Settings;
    std::string out = "{";
    auto key = [&out](std::string_view name) {
        if (out.size() > 1)
            out += ", ";
        AppendJsonString(out, name);
        out += ": ";
    };
    auto text = [&](std::string_view name, const std::string& value) {
        key(name);
        AppendJsonString(out, value);
    };
    key("format");
    AppendJsonNumber(out, f.Format);
    text("comment", s.Comment);
    text("frequencyText", s.FrequencyText);
    text("fieldB0Text", s.FieldB0Text);
    key("fieldSweep");
    AppendJsonNumber(out, static_cast<int>(s.FieldSweep));
    key("sweepRange");
    AppendJsonNumber(out, s.SweepRange);
    text("modAmpText", s.ModAmpText);
    text("sweepTimeText", s.SweepTimeText);
    text("gainText", s.GainText);
    text("phaseText", s.PhaseText);
    text("accText", s.AccText);
    text("modeText", s.ModeText);
    key("points");
    out += '[';
    for (std::size_t i = 0; i < f.X.size(); ++i) {
        if (i > 0)
            out += ", ";
        out += '[';
        AppendJsonNumber(out, f.X[i]);
        out += ", ";
        AppendJsonNumber(out, f.Y[i]);
        out += ']';
    }
    out += "]}\n";
    return out;
}

// The source spectrum, as the processing window's "Export..." writes it.
std::string ToExport(const tavi::LoadedDataFile& f, std::string_view path, bool csv) {
    tavi::CurveExport curve;
    std::string_view name = path.substr(path.find_last_of('/') + 1);
    curve.Title = std::string(name);
    curve.Curve = "Source spectrum";
    tavi::DescribeFile(curve, f);
    curve.X = f.X;
    curve.Y = f.Y;
    return csv ? tavi::CurveCsv(curve) : tavi::CurveJcamp(curve);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::fputs(tavi::VersionLine("tavi-dcw").c_str(), stdout);
        return 0;
    }
    const std::string_view mode = argc == 3 ? std::string_view(argv[1]) : std::string_view();
    if (mode != "--json" && mode != "--csv" && mode != "--jcamp") {
        std::fputs(kUsage, stderr);
        return 2;
    }
    tavi::LoadedDataFile file;
    if (const tavi::FileResult r = tavi::ReadDataFile(argv[2], file); !r) {
        std::fprintf(stderr, "tavi-dcw: %s\n", Naming(argv[2], r.Message).c_str());
        return 1;
    }
    std::string json = mode == "--json" ? ToJson(file) : ToExport(file, argv[2], mode == "--csv");
    if (std::fwrite(json.data(), 1, json.size(), stdout) != json.size() ||
        std::fflush(stdout) != 0) {
        std::perror("tavi-dcw: stdout");
        return 1;
    }
    return 0;
}
