// SPDX-License-Identifier: GPL-3.0-or-later
// tavi-proc: the processing window's measurements on data files, as JSON.
#include "common/Version.h"
#include "processing/DataFile.h"
#include "processing/ProcAnalysis.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

// The loader's message with the file named once: "Cannot open file X: ..."
// names it already, "file format error" does not.
std::string Naming(const std::string& path, const std::string& error) {
    return error.find(path) != std::string::npos ? error : path + ": " + error;
}

constexpr const char* kUsage =
    "Usage: tavi-proc --json FILE...\n"
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
    "A file that cannot be loaded gives {\"file\": ..., \"error\": the reason}.\n"
    "Exit status: 0 when every file was analysed, 1 when any file could not be\n"
    "loaded or the output could not be written, 2 on bad usage.\n";

bool Write(const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::fputs(tavi::VersionLine("tavi-proc").c_str(), stdout);
        return 0;
    }
    if (argc < 3 || std::string_view(argv[1]) != "--json") {
        std::fputs(kUsage, stderr);
        return 2;
    }
    int status = 0;
    bool written = true;
    tavi::ViewCurves curves; // buffers reused from file to file
    for (int k = 2; k < argc && written; ++k) {
        tavi::LoadedDataFile file;
        std::string error;
        if (!tavi::ReadDataFile(argv[k], file, &error)) {
            std::fprintf(stderr, "tavi-proc: %s\n", Naming(argv[k], error).c_str());
            written = Write(tavi::LoadErrorJson(argv[k], error));
            status = 1;
            continue;
        }
        written = Write(tavi::SpectrumAnalysisJson(argv[k], tavi::AnalyseSpectrum(file, &curves)));
    }
    if (!written || std::fflush(stdout) != 0) {
        std::perror("tavi-proc: stdout");
        return 1;
    }
    return status;
}
