// SPDX-License-Identifier: GPL-3.0-or-later
// tavi-proc: the processing window's measurements on data files, as JSON.
#include "analysis/AnalysisJson.h"
#include "common/JsonText.h"
#include "common/Version.h"
#include "processing/DataFile.h"
#include "processing/ProcAnalysis.h"
#include "tools/ProcJobs.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

// A 65535-point file needs some ten buffers of half a MiB per worker, each
// filled once and then reused. Faulting them in page by page costs more than
// analysing dozens of files (some 15 us a page on a virtual machine), so they
// come from one heap (no mapping per buffer, no arena per thread) whose
// untouched part is backed by huge pages.
void PrepareHeap() {
#if defined(__GLIBC__)
    constexpr std::size_t kPad = std::size_t{64} << 20;
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    if (mallopt(M_MMAP_THRESHOLD, 32 << 20) != 1 || mallopt(M_ARENA_MAX, 1) != 1 ||
        mallopt(M_TRIM_THRESHOLD, 512 << 20) != 1 || mallopt(M_TOP_PAD, kPad) != 1)
        return; // an optimisation only
    // A block that grows the heap by itself and the pad, then stretched in
    // place to end where huge pages can start, and kept: the buffers come from
    // there on. Its end is past the page its first end touched (the heap's
    // bookkeeping), which would hold that huge page to small ones.
    void* probe = std::malloc(kHuge);
    if (!probe)
        return;
    const auto at = reinterpret_cast<std::uintptr_t>(probe);
    const auto from = (at + kHuge + 64 + kHuge - 1) & ~(kHuge - 1);
    const auto to = reinterpret_cast<std::uintptr_t>(sbrk(0)) & ~(kHuge - 1);
    if (std::realloc(probe, from - at - 8) != probe)
        return; // not grown in place (not expected): no huge pages then
    if (to > from)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#endif
}

// The loader's message with the file named once: "Cannot open file X: ..."
// names it already, "file format error" does not.
std::string Naming(const std::string& path, const std::string& error) {
    return error.find(path) != std::string::npos ? error : path + ": " + error;
}

constexpr const char* kUsage =
    "Usage: tavi-proc --json FILE...\n"
    "       tavi-proc --json [--header] [-j N] [ANALYSIS OPTIONS] FILE|FOLDER...\n"
    "       tavi-proc --csv [-j N] FILE|FOLDER...\n"
    "       tavi-proc --help | --version\n"
    "\n"
    "Loads each TAVI data file (*.dcw) as the processing window does and prints\n"
    "one JSON object per file, one per line, with what the window's buttons give\n"
    "on the unzoomed result chart with the cursors where the buttons place them.\n"
    "Numbers are plain JSON numbers in full precision (null when not finite);\n"
    "cursors are point indices from 0.\n"
    "\n"
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

struct Options {
    bool Csv = false;
    bool Header = false;
    int Jobs = 0; // 0: one per processor
    tavi::analysis::CliOptions Analysis;
    std::optional<tavi::analysis::ReferenceIntegral> Reference;
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
std::optional<Options> ParseArguments(const std::vector<std::string>& args) {
    if (args.size() < 2)
        return std::nullopt;
    Options o;
    const std::string_view format = args[0];
    if (format != "--json" && format != "--csv")
        return std::nullopt;
    o.Csv = format == "--csv";
    bool options = true;
    for (std::size_t k = 1; k < args.size(); ++k) {
        const std::string_view a = args[k];
        if (options && a == "--") {
            options = false;
        } else if (options && a == "--header" && !o.Csv) {
            o.Header = true;
        } else if (options && a == "-j" && k + 1 < args.size()) {
            const auto n = JobCount(args[++k]);
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
    std::string text;
    try {
        if (error.empty() && tavi::ReadDataFile(item.Path, b.File, &error)) {
            const tavi::SpectrumAnalysis a = tavi::AnalyseSpectrum(b.File, &b.Curves);
            if (o.Csv)
                return {tavi::SpectrumCsvRow(item.Path, b.File, a), false};
            text = tavi::SpectrumAnalysisJson(item.Path, a, o.Header ? &b.File : nullptr);
        }
    } catch (const std::exception& e) { // out of memory: this file fails, not the run
        error = std::string("Cannot analyse the file: ") + e.what();
        text.clear();
    }
    if (!text.empty()) {
        const bool failed = o.Analysis.Requested &&
                            !AddAnalysis(item.Path.c_str(), o.Analysis, o.Reference, text);
        return {std::move(text), failed};
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
        std::fputs(tavi::analysis::AnalysisUsage(), stdout);
        return 0;
    }
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::fputs(tavi::VersionLine("tavi-proc").c_str(), stdout);
        return 0;
    }
    PrepareHeap();
    std::vector<std::string> args(argv + 1, argv + argc);
    tavi::analysis::CliOptions analysis;
    std::string usageError;
    if (!tavi::analysis::TakeAnalysisOptions(args, analysis, &usageError)) {
        std::fprintf(stderr, "tavi-proc: %s\n", usageError.c_str());
        return 2;
    }
    std::optional<Options> options = ParseArguments(args);
    if (!options || (analysis.Requested && options->Csv)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    options->Analysis = analysis;
    if (!analysis.Reference.empty()) {
        options->Reference = tavi::analysis::AnalyseReference(analysis);
        if (!options->Reference->Error.empty())
            std::fprintf(stderr, "tavi-proc: %s\n", options->Reference->Error.c_str());
    }
    return Run(*options);
}
