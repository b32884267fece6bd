// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/RecoveryFile.h"

#include "setup/FileTestUtil.h"

#include <algorithm>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tavi::test {
namespace {

struct ReportCase {
    const char* name;
    RecoveredFile file;
    const char* says;
};

class RecoveryReportTest : public ::testing::TestWithParam<ReportCase> {};

TEST_P(RecoveryReportTest, SaysWhatTheFileHoldsAndWhereItIs) {
    const std::string text = RecoveryReport({GetParam().file});
    EXPECT_NE(text.find(GetParam().says), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Files, RecoveryReportTest,
    ::testing::Values(
        ReportCase{"Single",
                   {"/d/tavi-recovery-7.dcw", "/d/recovered-1.dcw", 3, {true, 99, false}, ""},
                   "It holds 3 of 99 passes and is kept as /d/recovered-1.dcw."},
        ReportCase{"Loop",
                   {"/d/tavi-recovery-7.dcw", "/d/r.dcw", 1, {true, 1, true}, ""},
                   "the last pass of a Loop experiment"},
        ReportCase{
            "Unmarked", {"/d/tavi-recovery-7.dcw", "/d/r.dcw", 2, {}, ""}, "It holds 2 passes"},
        ReportCase{"Unreadable",
                   {"/d/tavi-recovery-7.dcw", "/d/r.dcw", -1, {}, "not a complete data file"},
                   "an unreadable recovery file (not a complete data file)"},
        ReportCase{"NotRenamed",
                   {"/d/tavi-recovery-7.dcw", "", 2, {true, 4, false}, "Read-only file system"},
                   "could not be renamed (Read-only file system); it is /d/tavi-recovery-7.dcw."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RecoveryFiles, OnlyFilesOfProcessesThatEndedAreTaken) {
    TempDir dir;
    for (const char* name : {"tavi-recovery-11.dcw", "tavi-recovery-12.dcw", "tavi-recovery-x.dcw",
                             "tavi-recovery-13.dcw.bak", "tavi-recovery-11.dcw.tmp11_0", "run.dcw"})
        std::ofstream(dir.File(name)) << "x";
    const auto found = CollectRecoveryFiles(dir.Path(), [](long pid) { return pid == 12; });
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].From, dir.File("tavi-recovery-11.dcw"));
    EXPECT_EQ(found[0].PassesDone, -1); // "x" is no data file, yet it is kept
    auto names = dir.Entries();
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 5u);
    EXPECT_EQ(names[0].rfind("recovered-", 0), 0u);
    EXPECT_EQ(names[1], "run.dcw");
    EXPECT_EQ(names[2], "tavi-recovery-12.dcw"); // its owner still runs
    EXPECT_EQ(names[3], "tavi-recovery-13.dcw.bak");
    EXPECT_EQ(names[4], "tavi-recovery-x.dcw");
}

TEST(RecoveryFiles, ARunsIntendedNameTravelsIntoTheRecoveredName) {
    EXPECT_EQ(RecoveryFileName(5, "data/run 1.dcw"), "tavi-recovery-5-run_1.dcw");
    TempDir dir;
    for (const char* name : {"tavi-recovery-14-run1.dcw", "tavi-recovery-15-run2.dcw.tmp15_0"})
        std::ofstream(dir.File(name)) << "x";
    const auto found = CollectRecoveryFiles(dir.Path(), [](long) { return false; });
    ASSERT_EQ(found.size(), 1u);
    EXPECT_THAT(found[0].To, ::testing::MatchesRegex(".*/recovered-run1-[0-9]{8}-[0-9]{6}\\.dcw"));
    EXPECT_EQ(dir.Entries().size(), 1u); // the torn write is gone
}

} // namespace
} // namespace tavi::test
