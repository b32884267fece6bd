// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/RecoveryFile.h"

#include "setup/FileTestUtil.h"

#include <algorithm>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

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

ReportCase Damaged(const char* name, int points, int found, const char* says) {
    return {name, {"/d/tavi-recovery-7.dcw", "/d/r.dcw", 3, {true, 5, false, points}, "", found},
            says};
}

INSTANTIATE_TEST_SUITE_P(
    CutShort, RecoveryReportTest,
    ::testing::Values(Damaged("HeaderOnly", 1024, 0,
                              "It is damaged: of 3 of 5 passes it still holds 0 of 1024 points"),
                      Damaged("RecordsCutOff", 1024, 700, "holds 700 of 1024 points"),
                      Damaged("Whole", 1024, 1024, "It holds 3 of 5 passes and is kept"),
                      Damaged("EarlierVersionHeaderOnly", 0, 0, "no complete spectrum")),
    [](const auto& info) { return std::string(info.param.name); });

// The lock decides, not the id in the name: a program holding its file keeps
// it, whatever id it has; any other is a leftover, also under a live id.
TEST(RecoveryFiles, OnlyFilesNobodyHoldsAreTaken) {
    TempDir dir;
    for (const char* name : {"tavi-recovery-11.dcw", "tavi-recovery-13.dcw.bak",
                             "tavi-recovery-11.dcw.tmp11_0", "run.dcw"})
        std::ofstream(dir.File(name)) << "x";
    std::ofstream(dir.File("tavi-recovery-14.dcw")).flush(); // claimed, never written
    DataFileSettings settings;
    settings.AccText = "2";
    const std::vector<std::uint8_t> sums = {1, 0, 0, 0, 2, 0, 0, 0};
    // A leftover under this program's own id, as after a restart in a container.
    const std::string same = dir.File(RecoveryFileName(::getpid()));
    std::string error;
    ASSERT_TRUE(WriteRecoveryFile(same, DataFileHeader::Build(settings), sums, 4, false, &error));
    RecoveryWriter live;
    ASSERT_TRUE(live.Write(dir.Path(), "", DataFileHeader::Build(settings), sums, 4, false, &error))
        << error;
    EXPECT_EQ(live.Path(), dir.File(RecoveryFileName(::getpid(), "", 2))); // never over the leftover

    const auto found = CollectRecoveryFiles(dir.Path());
    ASSERT_EQ(found.size(), 2u);
    std::vector<std::string> from{found[0].From, found[1].From};
    std::vector<std::string> expected{dir.File("tavi-recovery-11.dcw"), same};
    std::sort(from.begin(), from.end());
    std::sort(expected.begin(), expected.end()); // this program's id may sort either side of 11
    EXPECT_EQ(from, expected);
    auto names = dir.Entries();
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 5u);
    EXPECT_EQ(names[0].rfind("recovered-", 0), 0u);
    EXPECT_EQ(names[1].rfind("recovered-", 0), 0u);
    EXPECT_EQ(names[2], "run.dcw");
    std::vector<std::string> kept{RecoveryFileName(::getpid(), "", 2), // held: stays
                                  "tavi-recovery-13.dcw.bak"};
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(std::vector<std::string>(names.begin() + 3, names.end()), kept);

    // Released (the program ended), it is a leftover like any other.
    live.Release();
    EXPECT_EQ(CollectRecoveryFiles(dir.Path()).size(), 1u);
}

TEST(RecoveryFiles, ACutOffFileIsFoundDamaged) {
    TempDir dir;
    DataFileSettings settings;
    settings.AccText = "3";
    const std::vector<std::uint8_t> sums(4 * 100, 1);
    const std::string path = dir.File(RecoveryFileName(7));
    std::string error;
    ASSERT_TRUE(WriteRecoveryFile(path, DataFileHeader::Build(settings), sums, 5, false, &error));
    ASSERT_EQ(::truncate(path.c_str(), 425 + 4 * 60 + 2), 0);
    const auto found = CollectRecoveryFiles(dir.Path());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Mark.Points, 100);
    EXPECT_EQ(found[0].PointsFound, 60);
    EXPECT_NE(RecoveryReport(found).find("It is damaged: of 3 of 5 passes it still holds 60 of "
                                         "100 points"),
              std::string::npos)
        << RecoveryReport(found);
}

TEST(RecoveryFiles, ARunsIntendedNameTravelsIntoTheRecoveredName) {
    EXPECT_EQ(RecoveryFileName(5, "data/run 1.dcw"), "tavi-recovery-5-run_1.dcw");
    TempDir dir;
    for (const char* name : {"tavi-recovery-14-run1.dcw", "tavi-recovery-15-run2.dcw.tmp15_0"})
        std::ofstream(dir.File(name)) << "x";
    const auto found = CollectRecoveryFiles(dir.Path());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_THAT(found[0].To, ::testing::MatchesRegex(".*/recovered-run1-[0-9]{8}-[0-9]{6}\\.dcw"));
    EXPECT_EQ(dir.Entries().size(), 1u); // the torn write is gone
}

} // namespace
} // namespace tavi::test
