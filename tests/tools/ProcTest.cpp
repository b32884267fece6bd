// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/DataFile.h"
#include "processing/GoldenDataFile.h"
#include "processing/ProcAnalysis.h"
#include "setup/FileTestUtil.h"
#include "support/SampleDataFile.h"
#include "tools/ToolRun.h"

#include <cmath>
#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

using tavi::test::ReadBytes;
using tavi::test::RunTool;
using tavi::test::SampleGolden;
using tavi::test::TempDir;
using tavi::test::ToolRun;
using tavi::test::WriteBytes;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

ToolRun RunProc(const TempDir& dir, const std::string& args,
                const std::string& stdoutPath = std::string()) {
    return RunTool(TAVI_PROC_PATH, dir, args, stdoutPath);
}

std::string Quoted(const std::string& path) {
    return "'" + path + "'";
}

// A derivative line as the acquisition saves it: sums over acc sweeps.
void WriteLine(const std::string& path, const std::string& mode, int acc, int points, double sign) {
    const tavi::DataFileSettings s =
        tavi::test::SettingsBuilder()
            .Comment("line")
            .Mode(mode)
            .Frequency(mode == "ESR" ? "9 400 000 kHz" : "14 000.0 kHz")
            .Field("3 350.0 Gs")
            .Range(20)
            .Passes(acc);
    std::vector<std::int32_t> sums;
    for (int i = 0; i < points; ++i) {
        const double u = (i - points / 2.0) / (points / 20.0);
        const double y = sign * -350 * 2 * u / ((1 + u * u) * (1 + u * u)) + 0.01 * i;
        sums.push_back(static_cast<std::int32_t>(std::lround(y * acc)));
    }
    std::string error;
    ASSERT_TRUE(tavi::test::WriteSampleFile(path, s, sums, &error)) << error;
}

std::string InProcess(const std::string& path) {
    tavi::LoadedDataFile f;
    std::string error;
    if (!tavi::ReadDataFile(path, f, &error))
        return tavi::LoadErrorJson(path, error);
    return tavi::SpectrumAnalysisJson(path, tavi::AnalyseSpectrum(f));
}

} // namespace

TEST(Proc, OneLinePerFileFromTheWindowsArithmetic) {
    TempDir dir;
    const std::string esr = dir.File("esr.dcw"), nmr = dir.File("nmr.dcw");
    WriteLine(esr, "ESR", 4, 1500, 1);
    WriteLine(nmr, "NMR 1H", 1, 801, -1);
    ToolRun r = RunProc(dir, "--json " + Quoted(esr) + " " + Quoted(nmr));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    auto lines = r.Lines();
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[0], InProcess(esr));
    EXPECT_EQ(lines[1], InProcess(nmr));

    EXPECT_THAT(lines[0], HasSubstr("\"absorption\": {\"factor\": 1,"));
    EXPECT_THAT(lines[1], HasSubstr("\"absorption\": {\"factor\": -1,"));
    EXPECT_THAT(lines[0], HasSubstr("\"HDBerror\": null"));
    EXPECT_THAT(lines[0], HasSubstr("\"AIcursors\": {\"LC\": 150, \"RC\": 1350}"));
    EXPECT_THAT(lines[0], HasSubstr("\"gIndex\": "));
    EXPECT_THAT(lines[1], Not(HasSubstr("\"g\"")));
    EXPECT_THAT(lines[1], HasSubstr("\"clipped\": 0}"));
}

TEST(Proc, HandLaidFileGivesTheExpectedCursors) {
    // Y = 100, 2, 4, -500, 500 at X = -50 .. 50; five points: zero base line.
    TempDir dir;
    WriteBytes(dir.File("g.dcw"), SampleGolden().Bytes());
    ToolRun r = RunProc(dir, "--json " + Quoted(dir.File("g.dcw")));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("\"baseSlope\": 0, \"baseOffset\": 0,"));
    // Minimum at 3, maximum at 4: the centre is 3; |Y| >= 20 at both ends.
    EXPECT_THAT(r.out, HasSubstr("\"cursors\": {\"LC\": 0, \"RC\": 4, \"MC\": 3}, \"SDB\": 25, "
                                 "\"SDBcursors\": {\"LC\": 3, \"RC\": 4}"));
    // The minimum is not after the maximum.
    EXPECT_THAT(r.out, HasSubstr("\"factor\": -1"));
    // Five points: RC = 5 - 0 lies past the end and is held at 4.
    EXPECT_THAT(r.out, HasSubstr("\"AIcursors\": {\"LC\": 0, \"RC\": 4}"));
    const double g = 9400000 * 0.000001 / ((25 + 3350) * 0.0001) * 0.07144771;
    std::string gText = r.out.substr(r.out.find("\"g\": ") + 5);
    EXPECT_NEAR(std::stod(gText), g, 1e-12);
    // -7000 and 7000 over 10 passes lie beyond the display range: the file
    // keeps them, the measurements above see them cut to -500 and 500.
    EXPECT_THAT(r.out, HasSubstr("\"gIndex\": 3, \"clipped\": 2}\n"));
}

TEST(Proc, DamagedFileGivesItsErrorAndTheOthersStillRun) {
    TempDir dir;
    const std::string good = dir.File("good.dcw");
    WriteLine(good, "NMR 1H", 2, 300, 1);
    auto bytes = ReadBytes(good);
    auto badFormat = bytes;
    badFormat[0] = 12;
    WriteBytes(dir.File("format.dcw"), badFormat);
    WriteBytes(dir.File("short.dcw"),
               std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 200));
    auto onePoint = std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 425 + 4);
    WriteBytes(dir.File("one.dcw"), onePoint);

    ToolRun r = RunProc(dir, "--json " + Quoted(dir.File("format.dcw")) + " " + Quoted(good) + " " +
                                 Quoted(dir.File("short.dcw")) + " " + Quoted(dir.File("one.dcw")) +
                                 " " + Quoted(dir.File("missing.dcw")));
    EXPECT_EQ(r.status, 1);
    auto lines = r.Lines();
    ASSERT_EQ(lines.size(), 5u) << r.out;
    EXPECT_EQ(lines[0],
              "{\"file\": \"" + dir.File("format.dcw") + "\", \"error\": \"file format error\"}\n");
    EXPECT_EQ(lines[1], InProcess(good));
    EXPECT_THAT(lines[2], HasSubstr("\"error\": \"Stream read error\""));
    EXPECT_EQ(lines[3], InProcess(dir.File("one.dcw")));
    EXPECT_THAT(lines[3], HasSubstr("\"error\": "));
    EXPECT_THAT(lines[4], HasSubstr("No such file or directory"));
    EXPECT_THAT(r.err, HasSubstr("file format error"));
}

// An endless device ends neither the program nor its JSON; a file name in
// another encoding gives U+FFFD for each stray byte.
TEST(Proc, DevicesAndForeignFileNamesKeepTheOutputJson) {
    TempDir dir;
    const std::string good = dir.File("good.dcw");
    WriteLine(good, "NMR 1H", 2, 300, 1);
    ToolRun r = RunProc(dir, "--json /dev/zero " + Quoted(good));
    EXPECT_EQ(r.status, 1);
    auto lines = r.Lines();
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_THAT(lines[0], HasSubstr("\"error\": \"Cannot read file /dev/zero: it is not a regular file"));
    EXPECT_EQ(lines[1], InProcess(good));
    // Latin-1, a lone continuation byte, a sequence cut short; UTF-8 stays.
    EXPECT_EQ(tavi::LoadErrorJson("caf\xE9 \x80 \xE2\x82 \u00B5.dcw", "x"),
              "{\"file\": \"caf\\ufffd \\ufffd \\ufffd\\ufffd \u00B5.dcw\", \"error\": \"x\"}\n");
}

TEST(Proc, TwoPointFileIsAnalysed) {
    TempDir dir;
    tavi::test::GoldenDataFile g = SampleGolden();
    auto bytes = g.Bytes();
    bytes.resize(425 + 8); // the first two records: 100 and 2
    WriteBytes(dir.File("two.dcw"), bytes);
    ToolRun r = RunProc(dir, "--json " + Quoted(dir.File("two.dcw")));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("\"AIcursors\": {\"LC\": 0, \"RC\": 1}"));
    EXPECT_THAT(r.out, Not(HasSubstr("nan")));
}

TEST(Proc, UsageHelpAndOutputFailure) {
    TempDir dir;
    ToolRun help = RunProc(dir, "--help");
    EXPECT_EQ(help.status, 0);
    for (const char* field : {"--json FILE...",
                              "file",
                              "baseSlope",
                              "baseOffset",
                              "derivative",
                              "M2L",
                              "M2R",
                              "M4",
                              "cursors",
                              "SDB",
                              "SDBcursors",
                              "absorption",
                              "factor",
                              "HDB",
                              "HDBcursors",
                              "HDBerror",
                              "AI",
                              "AIcursors",
                              "gIndex",
                              "clipped",
                              "error",
                              "Exit status"})
        EXPECT_THAT(help.out, HasSubstr(field));

    EXPECT_EQ(RunProc(dir, "").status, 2);
    EXPECT_EQ(RunProc(dir, "--json").status, 2);
    EXPECT_EQ(RunProc(dir, "--xml a.dcw").status, 2);
    EXPECT_THAT(RunProc(dir, "a.dcw").err, HasSubstr("Usage"));

    WriteBytes(dir.File("g.dcw"), SampleGolden().Bytes());
    ToolRun full = RunProc(dir, "--json " + Quoted(dir.File("g.dcw")), "/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_THAT(full.err, HasSubstr("stdout"));
}
