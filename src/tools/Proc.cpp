// SPDX-License-Identifier: GPL-3.0-or-later
// tavi-proc: the processing window's measurements on data files, as JSON.
#include "analysis/AnalysisJson.h"
#include "common/Version.h"
#include "processing/DataFile.h"
#include "processing/ProcAnalysis.h"

#include "common/JsonText.h"

#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The loader's message with the file named once: "Cannot open file X: ..."
// names it already, "file format error" does not.
std::string Naming(const std::string& path, const std::string& error) {
    return error.find(path) != std::string::npos ? error : path + ": " + error;
}

constexpr const char* kUsage =
    "Usage: tavi-proc --json FILE...\n"
    "       tavi-proc --json [ANALYSIS OPTIONS] FILE...\n"
    "       tavi-proc --help | --version\n"
    "\n"
    "Loads each TAVI data file (*.dcw) as the processing window does and prints\n"
    "one JSON object per file, one per line, with what the window's buttons give\n"
    "on the unzoomed result chart with the cursors where the buttons place them.\n"
    "Numbers are plain JSON numbers in full precision (null when not finite);\n"
    "cursors are point indices from 0.\n"
    "\n"
    "  file         the path as given\n"
    "  baseSlope    fitted base line: change per point index\n"
    "  baseOffset   fitted base line: value at index 0\n"
    "  derivative   the \"1st Derivative\" view (spectrum minus base line):\n"
    "    M2, M2L, M2R  second moments in Gs^2 (mean, left half, right half),\n"
    "                  with the modulation correction a^2/4\n"
    "    M4            mean fourth moment\n"
    "    cursors       {LC, RC, MC} placed by \"M2\": LC and RC where |Y| first\n"
    "                  reaches 20 from each end, MC the line centre\n"
    "    SDB           peak-to-peak width, |X(LC) - X(RC)|\n"
    "    SDBcursors    {LC, RC} placed by \"SDB\": the extremes of the spectrum\n"
    "  absorption   the \"Absorption\" view (running integral of the derivative):\n"
    "    factor        +1 or -1, so that the absorption line is positive\n"
    "    M2, M2L, M2R, M4, cursors   as above, from the absorption curve\n"
    "    HDB           width at half height; null when there is no crossing\n"
    "    HDBcursors    {LC, RC} of the half-height crossings, or null\n"
    "    HDBerror      null, or the message the window shows when there is no\n"
    "                  crossing (\"Lack of begining value\", \"Lack of ending value\")\n"
    "    AI            1000 x the area of the absorption between the cursors\n"
    "    AIcursors     {LC, RC} placed by \"Integral\": a tenth of the points in\n"
    "                  from each end\n"
    "  g, gIndex    only for ESR files: the g-factor at the point \"G\" moves the\n"
    "               cursor to (the line centre), and that point's index\n"
    "  clipped      the number of points whose average (sum / passes) lay\n"
    "               beyond the +-500 display range; every value above is\n"
    "               measured on the cut line, so a count above 0 flags them\n"
    "\n"
    "The moments are given for every file, also where the window shows \"G\"\n"
    "instead of \"M2\". X values are offsets from the sweep centre in Gs (field\n"
    "sweep) or kHz (frequency sweep).\n"
    "\n"
    "A file that cannot be loaded gives {\"file\": ..., \"error\": the reason};\n"
    "devices, pipes and files larger than a data file can be are refused.\n"
    "Texts are UTF-8: each byte of a file name that is not UTF-8 is written as\n"
    "\\ufffd (the replacement character), so every line stays valid JSON.\n"
    "Exit status: 0 when every file was analysed, 1 when any file could not be\n"
    "loaded, a requested analysis failed or the output could not be written, 2 on\n"
    "bad usage.\n"
    "\n";

// Appends the "analysis" object; false when a requested part failed.
bool AddAnalysis(const char* path, const tavi::analysis::CliOptions& options,
                 const std::optional<tavi::analysis::ReferenceIntegral>& reference,
                 std::string& line) {
    tavi::analysis::Spectrum s;
    std::string error;
    if (!tavi::analysis::LoadSpectrum(path, s, &error)) {
        std::fprintf(stderr, "tavi-proc: %s: %s\n", path, error.c_str());
        std::string object = "{\"error\":";
        tavi::AppendJsonString(object, error);
        line = tavi::analysis::WithAnalysis(line, object + "}");
        return false;
    }
    bool failed = false;
    line = tavi::analysis::WithAnalysis(
        line, tavi::analysis::AnalysisObjectJson(s, options, reference ? &*reference : nullptr,
                                                 &failed));
    if (failed)
        std::fprintf(stderr, "tavi-proc: %s: a requested analysis failed\n", path);
    return !failed;
}

bool Write(const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--help") {
        std::fputs(kUsage, stdout);
        std::fputs(tavi::analysis::AnalysisUsage(), stdout);
        return 0;
    }
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::fputs(tavi::VersionLine("tavi-proc").c_str(), stdout);
        return 0;
    }
    std::vector<std::string> args(argv + 1, argv + argc);
    tavi::analysis::CliOptions analysis;
    std::string usageError;
    if (!tavi::analysis::TakeAnalysisOptions(args, analysis, &usageError)) {
        std::fprintf(stderr, "tavi-proc: %s\n", usageError.c_str());
        return 2;
    }
    if (args.size() < 2 || args[0] != "--json") {
        std::fputs(kUsage, stderr);
        return 2;
    }
    int status = 0;
    bool written = true;
    std::optional<tavi::analysis::ReferenceIntegral> reference;
    if (!analysis.Reference.empty()) {
        reference = tavi::analysis::AnalyseReference(analysis);
        if (!reference->Error.empty())
            std::fprintf(stderr, "tavi-proc: %s\n", reference->Error.c_str());
    }
    tavi::ViewCurves curves; // buffers reused from file to file
    for (std::size_t k = 1; k < args.size() && written; ++k) {
        const char* path = args[k].c_str();
        tavi::LoadedDataFile file;
        std::string error;
        std::string line;
        try {
            if (tavi::ReadDataFile(path, file, &error))
                line = tavi::SpectrumAnalysisJson(path, tavi::AnalyseSpectrum(file, &curves));
        } catch (const std::exception& e) { // out of memory: this file fails, not the run
            error = std::string("Cannot analyse the file: ") + e.what();
        }
        if (line.empty()) {
            std::fprintf(stderr, "tavi-proc: %s\n", Naming(path, error).c_str());
            written = Write(tavi::LoadErrorJson(path, error));
            status = 1;
            continue;
        }
        if (analysis.Requested && !AddAnalysis(path, analysis, reference, line))
            status = 1;
        written = Write(line);
    }
    if (!written || std::fflush(stdout) != 0) {
        std::perror("tavi-proc: stdout");
        return 1;
    }
    return status;
}
