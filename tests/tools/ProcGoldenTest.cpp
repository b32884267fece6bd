// SPDX-License-Identifier: GPL-3.0-or-later
// tavi-proc's output on a fixed set of generated files against a kept copy,
// byte for byte; faster kernels must not move a number.
#include "processing/SpectrumFiles.h"
#include "setup/FileTestUtil.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
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
    {"nmr-65535.dcw",
     65535,
     false,
     "4",
     {.Centre = 3, .HalfWidth = 4, .Drift = 20, .Offset = 5, .Noise = 2, .Seed = 1}},
    {"esr-65535.dcw",
     65535,
     true,
     "16",
     {.Centre = -2, .HalfWidth = 1.5, .Peak = 450, .Drift = -30, .Noise = 3, .Seed = 2}},
    {"esr-40000.dcw",
     40000,
     true,
     "1",
     {.Centre = 10, .HalfWidth = 0.3, .Peak = 200, .Noise = 0.7, .Seed = 3}},
    {"nmr-4096.dcw",
     4096,
     false,
     "7",
     {.Centre = -5, .HalfWidth = 8, .Peak = -320, .Drift = 60, .Noise = 4, .Seed = 4}},
    {"clipped-3000.dcw", 3000, false, "3", {.HalfWidth = 2, .Peak = 900, .Noise = 1, .Seed = 5}},
    {"flat-801.dcw", 801, false, "2", {.Peak = 0, .Drift = 3, .Noise = 1, .Seed = 6}},
    {"wide-1500.dcw", 1500, true, "5", {.Centre = 40, .HalfWidth = 60, .Peak = 250, .Seed = 7}},
    {"edge-2001.dcw",
     2001,
     false,
     "999",
     {.Centre = -49, .HalfWidth = 0.5, .Peak = 150, .Noise = 0.4, .Seed = 8}},
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
    const std::string cmd =
        "cd '" + dir.Path() + "' && '" TAVI_PROC_PATH "' " + args + " >out 2>err";
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

namespace {

std::string ProcIn(const std::string& dir, const std::string& args) {
    const std::string cmd = "cd '" + dir + "' && '" TAVI_PROC_PATH "' " + args + " >out 2>err";
    EXPECT_NE(std::system(cmd.c_str()), -1);
    std::ifstream in(dir + "/out");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A tree of files whose names sort differently from their order of creation,
// a link to a folder that must not be walked, and a file that is not data.
void WriteTree(const tavi::test::TempDir& dir) {
    std::filesystem::create_directories(dir.File("t/b/deep"));
    std::filesystem::create_directories(dir.File("t/a"));
    int k = 0;
    for (const char* name : {"t/b/deep/z.dcw", "t/b/c.dcw", "t/a/y.dcw", "t/a/x.dcw", "t/top.dcw"})
        ASSERT_TRUE(tavi::test::WriteSpectrum(dir.File(name), 300 + 50 * k++,
                                              tavi::test::NmrSettings(), {.Peak = 200.0 + k}));
    std::ofstream(dir.File("t/a/notes.txt")) << "not data";
    std::filesystem::create_directory_symlink(dir.File("t/b"), dir.File("t/a/link"));
}

const char* const kTreeOrder[] = {"t/a/x.dcw", "t/a/y.dcw", "t/b/c.dcw", "t/b/deep/z.dcw",
                                  "t/top.dcw"};

class ProcJobs : public ::testing::TestWithParam<const char*> {};

TEST_P(ProcJobs, FolderTreeInNameOrderWhateverTheThreads) {
    tavi::test::TempDir dir;
    WriteTree(dir);
    std::string files;
    for (const char* f : kTreeOrder)
        files += std::string(" ") + f;
    const std::string oneByOne = ProcIn(dir.Path(), "--json -j 1" + files);
    EXPECT_EQ(ProcIn(dir.Path(), std::string("--json ") + GetParam() + " t"), oneByOne);
    std::istringstream lines(oneByOne);
    std::string line;
    for (const char* f : kTreeOrder) {
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_EQ(line.rfind(std::string("{\"file\": \"") + f + "\"", 0), 0u) << line;
    }
}

INSTANTIATE_TEST_SUITE_P(Threads, ProcJobs, ::testing::Values("-j 1", "-j 2", "-j7", ""),
                         [](const auto& info) {
                             return info.index == 3 ? std::string("Default")
                                                    : "J" + std::to_string(info.index);
                         });

TEST(ProcCsv, OneRowPerFileWithTheHeaderSettingsAndTheJsonNumbers) {
    tavi::test::TempDir dir;
    WriteTree(dir);
    const std::string json = ProcIn(dir.Path(), "--json --header t/top.dcw");
    const std::string csv = ProcIn(dir.Path(), "--csv t/top.dcw missing.dcw");
    std::istringstream rows(csv);
    std::string names, row, error;
    ASSERT_TRUE(std::getline(rows, names) && std::getline(rows, row) && std::getline(rows, error));
    auto fields = [](const std::string& text) {
        std::vector<std::string> out(1);
        bool quoted = false;
        for (char ch : text) {
            if (ch == '"')
                quoted = !quoted;
            else if (ch == ',' && !quoted)
                out.emplace_back();
            else
                out.back() += ch;
        }
        return out;
    };
    const auto n = fields(names), r = fields(row), e = fields(error);
    ASSERT_EQ(r.size(), n.size());
    ASSERT_EQ(e.size(), n.size());
    EXPECT_EQ(e[0], "missing.dcw");
    EXPECT_NE(e[1].find("No such file"), std::string::npos);
    // Every number of the row is the JSON's, digit for digit.
    for (const auto& [column, key] : std::vector<std::pair<std::string, std::string>>{
             {"B0 [Gs]", "\"B0\": "},
             {"passes", "\"passes\": "},
             {"comment", "\"comment\": \""},
             {"base slope [1/point]", "\"baseSlope\": "},
             {"AI", "\"AI\": "},
             {"SDB [u]", "\"SDB\": "}}) {
        const auto at = std::find(n.begin(), n.end(), column) - n.begin();
        ASSERT_LT(static_cast<std::size_t>(at), n.size()) << column;
        EXPECT_EQ(json.find(key + r[static_cast<std::size_t>(at)]) != std::string::npos, true)
            << column << " = " << r[static_cast<std::size_t>(at)];
    }
}

} // namespace
