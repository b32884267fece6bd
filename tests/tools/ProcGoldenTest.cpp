// SPDX-License-Identifier: GPL-3.0-or-later
// tavi-proc's output on a fixed set of generated files against a kept copy,
// byte for byte; faster kernels must not move a number.
#include "processing/SpectrumFiles.h"
#include "setup/FileTestUtil.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using tavi::test::LineShape;

struct GoldenFile {
    const char* Name;
    int Points;
    bool Esr;
    const char* Acc;
    LineShape Line;
};

// Sizes from the smallest analysable to the largest; drift, noise, clipping,
// inverted lines, no line at all, lines off centre and wider than the sweep.
const GoldenFile kFiles[] = {
    {"nmr-65535.dcw", 65535, false, "4", {.Centre = 3, .HalfWidth = 4, .Drift = 20, .Offset = 5, .Noise = 2, .Seed = 1}},
    {"esr-65535.dcw", 65535, true, "16", {.Centre = -2, .HalfWidth = 1.5, .Peak = 450, .Drift = -30, .Noise = 3, .Seed = 2}},
    {"esr-40000.dcw", 40000, true, "1", {.Centre = 10, .HalfWidth = 0.3, .Peak = 200, .Noise = 0.7, .Seed = 3}},
    {"nmr-4096.dcw", 4096, false, "7", {.Centre = -5, .HalfWidth = 8, .Peak = -320, .Drift = 60, .Noise = 4, .Seed = 4}},
    {"clipped-3000.dcw", 3000, false, "3", {.HalfWidth = 2, .Peak = 900, .Noise = 1, .Seed = 5}},
    {"flat-801.dcw", 801, false, "2", {.Peak = 0, .Drift = 3, .Noise = 1, .Seed = 6}},
    {"wide-1500.dcw", 1500, true, "5", {.Centre = 40, .HalfWidth = 60, .Peak = 250, .Seed = 7}},
    {"edge-2001.dcw", 2001, false, "999", {.Centre = -49, .HalfWidth = 0.5, .Peak = 150, .Noise = 0.4, .Seed = 8}},
    {"small-11.dcw", 11, true, "1", {.HalfWidth = 10, .Peak = 100}},
    {"small-5.dcw", 5, false, "2", {.HalfWidth = 20, .Peak = 60, .Drift = 10}},
    {"tiny-3.dcw", 3, false, "1", {.Peak = 40}},
};

// The moments may move in their last digits with a different order of
// summation (well below what the window shows); everything else may not.
const std::regex kMoment(R"re("(M2|M2L|M2R|M4)": ([-+0-9.eE]+))re");

std::string WithoutMoments(const std::string& line, std::vector<double>& moments) {
    std::string rest;
    auto it = std::sregex_iterator(line.begin(), line.end(), kMoment);
    std::size_t at = 0;
    for (; it != std::sregex_iterator(); ++it) {
        rest += line.substr(at, static_cast<std::size_t>(it->position(2)) - at) + "#";
        moments.push_back(std::stod((*it)[2].str()));
        at = static_cast<std::size_t>(it->position(2) + it->length(2));
    }
    return rest + line.substr(at);
}

std::string GoldenPath() {
    return std::string(TAVI_TEST_DATA_DIR) + "/proc-golden.jsonl";
}

TEST(ProcGolden, OutputOnGeneratedFilesMatchesTheKeptCopy) {
    tavi::test::TempDir dir;
    std::string args = "--json";
    for (const GoldenFile& f : kFiles) {
        tavi::DataFileSettings s = f.Esr ? tavi::test::EsrSettings() : tavi::test::NmrSettings();
        s.AccText = f.Acc;
        std::string error;
        ASSERT_TRUE(tavi::test::WriteSpectrum(dir.File(f.Name), f.Points, s, f.Line, &error))
            << error;
        args += std::string(" ") + f.Name;
    }
    // Relative names keep the scratch directory out of the output.
    const std::string cmd = "cd '" + dir.Path() + "' && '" TAVI_PROC_PATH "' " + args + " >out 2>err";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::ifstream outFile(dir.File("out"));
    std::stringstream got;
    got << outFile.rdbuf();

    if (std::getenv("TAVI_UPDATE_GOLDEN")) {
        std::ofstream(GoldenPath()) << got.str();
        GTEST_SKIP() << "kept copy rewritten";
    }
    std::ifstream kept(GoldenPath());
    ASSERT_TRUE(kept) << GoldenPath();
    std::istringstream gotLines(got.str());
    std::string want, have;
    int lines = 0;
    while (std::getline(kept, want)) {
        ASSERT_TRUE(std::getline(gotLines, have)) << "missing line " << lines;
        std::vector<double> wantM, haveM;
        EXPECT_EQ(WithoutMoments(have, haveM), WithoutMoments(want, wantM));
        ASSERT_EQ(haveM.size(), wantM.size());
        for (std::size_t k = 0; k < wantM.size(); ++k)
            EXPECT_LE(std::fabs(haveM[k] - wantM[k]), 1e-12 * std::fabs(wantM[k]))
                << kFiles[lines].Name << " moment " << k << ": " << have;
        ++lines;
    }
    EXPECT_FALSE(std::getline(gotLines, have)) << "extra line: " << have;
    EXPECT_EQ(lines, static_cast<int>(std::size(kFiles)));
}

} // namespace
