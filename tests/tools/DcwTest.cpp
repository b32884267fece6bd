// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/ExportReaders.h"
#include "processing/GoldenDataFile.h"
#include "setup/FileTestUtil.h"
#include "tools/ToolRun.h"

#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>

using tavi::test::GoldenDataFile;
using tavi::test::ReadBytes;
using tavi::test::RunTool;
using tavi::test::SampleGolden;
using tavi::test::TempDir;
using tavi::test::ToolRun;
using tavi::test::WriteBytes;
using ::testing::HasSubstr;

namespace {

ToolRun RunDcw(const TempDir& dir, const std::string& args) {
    return RunTool(TAVI_DCW_PATH, dir, args);
}

} // namespace

TEST(Dcw, PrintsGoldenFileAsJson) {
    TempDir dir;
    WriteBytes(dir.File("a.dcw"), SampleGolden().Bytes());
    ToolRun r = RunDcw(dir, "--json '" + dir.File("a.dcw") + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"format\": 11, \"comment\": \"Sample A\", \"frequencyText\": \"9 400 000 "
                     "kHz\", \"fieldB0Text\": \"3 350.0 Gs\", \"fieldSweep\": 1, \"sweepRange\": "
                     "100, \"modAmpText\": \"0.025 Gs\", \"sweepTimeText\": \"20 s\", "
                     "\"gainText\": \"x 1000\", \"phaseText\": \"45\u00B0\", \"accText\": "
                     "\"10\", \"modeText\": \"ESR\", \"points\": [[-50, 100], [-25, 2], [0, 4], "
                     "[25, -500], [50, 500]]}\n");
}

TEST(Dcw, EscapesQuotesBackslashesAndControlCharacters) {
    TempDir dir;
    GoldenDataFile g = SampleGolden();
    g.Short(0, "a\"b\\c\nd\te\x01\x1F\x80");
    g.Word(308, tavi::test::kFloat2_5);
    WriteBytes(dir.File("b.dcw"), g.Bytes());
    ToolRun r = RunDcw(dir, "--json '" + dir.File("b.dcw") + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("\"comment\": \"a\\\"b\\\\c\\nd\\te\\u0001\\u001f\u20AC\""));
    EXPECT_THAT(r.out, HasSubstr("\"sweepRange\": 2.5,"));
    EXPECT_THAT(r.out, HasSubstr("[[-1.25, 100], [-0.625, 2],"));
}

TEST(Dcw, RejectedFileGivesReaderMessage) {
    TempDir dir;
    auto bytes = SampleGolden().Bytes();
    bytes[0] = 12;
    WriteBytes(dir.File("bad.dcw"), bytes);
    ToolRun r = RunDcw(dir, "--json '" + dir.File("bad.dcw") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("file format error"));
    EXPECT_TRUE(r.out.empty());

    r = RunDcw(dir, "--json '" + dir.File("missing.dcw") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("No such file or directory"));
}

TEST(Dcw, PrintsGoldenFileAsCsv) {
    TempDir dir;
    WriteBytes(dir.File("a.dcw"), SampleGolden().Bytes());
    ToolRun r = RunDcw(dir, "--csv '" + dir.File("a.dcw") + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "field_Gs,offset_Gs,y\r\n"
                     "# File: a.dcw\r\n# Curve: Source spectrum\r\n# Mode: ESR\r\n"
                     "# Sweep: Field\r\n# Sweep range: 100 Gs\r\n# 2nd Mod Amplit: 0.025 Gs\r\n"
                     "# Sweep time: 20 s\r\n# Gain: x 1000\r\n# Phase: 45\u00B0\r\n"
                     "# B0: 3 350.0 Gs\r\n# Frequency: 9 400 000 kHz\r\n# Acc: 10\r\n"
                     "# Comment: Sample A\r\n3300.000000,-50.000000,100\r\n"
                     "3325.000000,-25.000000,2\r\n3350.000000,0.000000,4\r\n"
                     "3375.000000,25.000000,-500\r\n3400.000000,50.000000,500\r\n");
}

TEST(Dcw, PrintsFrequencySweepAsJcamp) {
    TempDir dir;
    GoldenDataFile g = SampleGolden();
    g.Byte(304, 0).Word(308, tavi::test::kFloat2_5);
    WriteBytes(dir.File("f.dcw"), g.Bytes());
    ToolRun r = RunDcw(dir, "--jcamp '" + dir.File("f.dcw") + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    tavi::test::JcampRead j = tavi::test::ReadJcamp(r.out);
    ASSERT_TRUE(j.ok) << j.error;
    EXPECT_EQ(j.labels["TITLE"], "f.dcw - Source spectrum");
    EXPECT_EQ(j.labels["XUNITS"], "HZ");
    // Absolute: the frequency (9 400 000 kHz) plus the offsets of +-1.25 kHz.
    EXPECT_EQ(j.labels["FIRSTX"], "9399998750.000000");
    EXPECT_EQ(j.labels["LASTX"], "9400001250.000000");
    EXPECT_EQ(j.labels["$MICROWAVE FREQUENCY"], "9400.000000000");
    EXPECT_EQ(j.labels["NPOINTS"], "5");
    EXPECT_EQ(j.labels["$COMMENT"], "Sample A");
    EXPECT_EQ(j.y, (std::vector<double>{100, 2, 4, -500, 500}));
}

TEST(Dcw, ExportOfRejectedFileWritesNothing) {
    TempDir dir;
    for (const char* mode : {"--csv", "--jcamp"}) {
        ToolRun r = RunDcw(dir, std::string(mode) + " '" + dir.File("missing.dcw") + "'");
        EXPECT_EQ(r.status, 1) << mode;
        EXPECT_THAT(r.err, HasSubstr("No such file or directory"));
        EXPECT_TRUE(r.out.empty());
    }
}

TEST(Dcw, UsageAndHelp) {
    TempDir dir;
    ToolRun help = RunDcw(dir, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("--json FILE"));
    EXPECT_THAT(help.out, HasSubstr("points"));
    EXPECT_THAT(help.out, HasSubstr("--csv FILE"));
    EXPECT_THAT(help.out, HasSubstr("--jcamp FILE"));

    EXPECT_EQ(RunDcw(dir, "").status, 2);
    EXPECT_EQ(RunDcw(dir, "--json").status, 2);
    EXPECT_EQ(RunDcw(dir, "--csv").status, 2);
    EXPECT_EQ(RunDcw(dir, "--jcamp a.dcw b.dcw").status, 2);
    EXPECT_EQ(RunDcw(dir, "--xml a.dcw").status, 2);
    EXPECT_THAT(RunDcw(dir, "a.dcw").err, HasSubstr("Usage"));
}
