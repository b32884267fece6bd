// SPDX-License-Identifier: GPL-3.0-or-later
// tavi-proc: the processing window's measurements on data files, as JSON.
#include "common/Version.h"
#include "processing/DataFile.h"
#include "processing/ProcAnalysis.h"
#include "tools/ProcJobs.h"

#include <charconv>
#include <cstdio>
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
    "       tavi-proc --json [--header] [-j N] FILE|FOLDER...\n"
    "       tavi-proc --csv [-j N] FILE|FOLDER...\n"
    "       tavi-proc --help | --version\n"
    "\n"
    "Loads each TAVI data file (*.dcw) as the processing window does and prints\n"
    "one JSON object per file, one per line, with what the window's buttons give\n"
    "on the unzoomed result chart with the cursors where the buttons place them.\n"
    "A FOLDER stands for every *.dcw file in its tree, in name order (symbolic\n"
    "links are not followed); output starts with the first file.\n"
    "\n"
    "  -j N         analyse N files at once (default: one per processor); the\n"
    "               output keeps the order of the files\n"
    "  --header     add the file's settings under \"header\": mode, B0 (Gs),\n"
    "               frequency (kHz), modAmp (Gs), gain, passes, sweep (\"field\"\n"
    "               or \"frequency\"), sweepRange, points, comment\n"
    "  --csv        one row per file after a row of column names, for a\n"
    "               spreadsheet: the settings above and every measurement below;\n"
    "               u in a column name is the file's X unit (column \"u\": Gs or\n"
    "               kHz); a value that does not exist is an empty field\n"
    "\n"
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

struct Options {
    bool Csv = false;
    bool Header = false;
    int Jobs = 0; // 0: one per processor
    std::vector<std::string> Paths;
};

std::optional<int> JobCount(std::string_view text) {
    int n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n < 1 || n > 1024)
        return std::nullopt;
    return n;
}

// The first argument is the format; options may come anywhere before "--".
std::optional<Options> ParseArguments(int argc, char** argv) {
    if (argc < 3)
        return std::nullopt;
    Options o;
    const std::string_view format = argv[1];
    if (format != "--json" && format != "--csv")
        return std::nullopt;
    o.Csv = format == "--csv";
    bool options = true;
    for (int k = 2; k < argc; ++k) {
        const std::string_view a = argv[k];
        if (options && a == "--") {
            options = false;
        } else if (options && a == "--header" && !o.Csv) {
            o.Header = true;
        } else if (options && a == "-j" && k + 1 < argc) {
            const auto n = JobCount(argv[++k]);
            if (!n)
                return std::nullopt;
            o.Jobs = *n;
        } else if (options && a.starts_with("-j") && a.size() > 2) {
            const auto n = JobCount(a.substr(2));
            if (!n)
                return std::nullopt;
            o.Jobs = *n;
        } else if (options && a.starts_with("-") && a != "-") {
            return std::nullopt;
        } else {
            o.Paths.emplace_back(a);
        }
    }
    if (o.Paths.empty())
        return std::nullopt;
    return o;
}

// What each worker keeps from file to file.
struct Buffers {
    tavi::LoadedDataFile File;
    tavi::ViewCurves Curves;
};

tavi::proc::WorkResult Analyse(const Options& o, const tavi::proc::WorkItem& item, Buffers& b) {
    std::string error = item.Error;
    if (error.empty() && tavi::ReadDataFile(item.Path, b.File, &error)) {
        const tavi::SpectrumAnalysis a = tavi::AnalyseSpectrum(b.File, &b.Curves);
        if (o.Csv)
            return {tavi::SpectrumCsvRow(item.Path, b.File, a), false};
        return {tavi::SpectrumAnalysisJson(item.Path, a, o.Header ? &b.File : nullptr), false};
    }
    std::fprintf(stderr, "tavi-proc: %s\n", Naming(item.Path, error).c_str());
    return {o.Csv ? tavi::LoadErrorCsvRow(item.Path, error) : tavi::LoadErrorJson(item.Path, error),
            true};
}

// Exit status as documented in the usage text.
int Run(const Options& o) {
    if (o.Csv && !Write(tavi::SpectrumCsvHeader())) {
        std::perror("tavi-proc: stdout");
        return 1;
    }
    const int jobs = o.Jobs > 0 ? o.Jobs : tavi::proc::DefaultJobs();
    std::vector<Buffers> buffers(static_cast<std::size_t>(jobs));
    tavi::proc::WorkList list(o.Paths);
    bool failed = false;
    const bool written = tavi::proc::RunInOrder(
        list, jobs,
        [&](const tavi::proc::WorkItem& item, int worker) {
            return Analyse(o, item, buffers[static_cast<std::size_t>(worker)]);
        },
        [&](const tavi::proc::WorkResult& r) {
            failed = failed || r.Failed;
            return Write(r.Text);
        });
    if (!written || std::fflush(stdout) != 0) {
        std::perror("tavi-proc: stdout");
        return 1;
    }
    return failed ? 1 : 0;
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
    const std::optional<Options> options = ParseArguments(argc, argv);
    if (!options) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    return Run(*options);
}
