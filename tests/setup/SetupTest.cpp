// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/FileTestUtil.h"
#include "setup/USetup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tavi;
using tavi::test::ReadBytes;
using tavi::test::TempDir;
using tavi::test::UnwritableDir;
using tavi::test::WriteBytes;

namespace {

// Every field distinct, with negative up-down positions and odd padding bytes.
TSetupRecord SampleRecord() {
    TSetupRecord r;
    r.DCOffset = -120;
    r.Gain = 37;
    r.Phase = {10, -20, 300, -4000};
    r.Accumulations = 99;
    r.FieldSweep = 1;
    r.Padding1 = {0xAA, 0xBB, 0xCC};
    r.FieldSweepRange = {2, 3, 4, 5};
    r.FreqSweepRange = 6;
    r.ModAmp = -7;
    r.SweepTime = 8;
    r.B0 = {1000, -2000, 30000, -32768};
    r.B0Step = -1;
    r.Frequency = {0x0304, -5, -30000, 32767};
    r.FrequencyStep = 9;
    r.Mode = 3;
    r.Padding2 = {0x11, 0x22, 0x33};
    return r;
}

// The same record laid out by hand, little-endian, at the record's offsets.
std::vector<std::uint8_t> SampleBytes() {
    std::vector<std::uint8_t> b(104, 0);
    auto put = [&b](std::size_t at, std::uint32_t v) {
        b[at] = v & 0xFF;
        b[at + 1] = (v >> 8) & 0xFF;
        b[at + 2] = (v >> 16) & 0xFF;
        b[at + 3] = (v >> 24) & 0xFF;
    };
    put(0, 0xFFFFFF88); // -120
    put(4, 37);
    put(8, 10);
    put(12, 0xFFFFFFEC); // -20
    put(16, 300);
    put(20, 0xFFFFF060); // -4000
    put(24, 99);
    b[28] = 1;
    b[29] = 0xAA;
    b[30] = 0xBB;
    b[31] = 0xCC;
    put(32, 2);
    put(36, 3);
    put(40, 4);
    put(44, 5);
    put(48, 6);
    put(52, 0xFFFFFFF9); // -7
    put(56, 8);
    put(60, 1000);
    put(64, 0xFFFFF830); // -2000
    put(68, 30000);
    put(72, 0xFFFF8000); // -32768
    put(76, 0xFFFFFFFF);
    put(80, 0x0304);
    put(84, 0xFFFFFFFB); // -5
    put(88, 0xFFFF8AD0); // -30000
    put(92, 32767);
    put(96, 9);
    b[100] = 3;
    b[101] = 0x11;
    b[102] = 0x22;
    b[103] = 0x33;
    return b;
}

} // namespace

TEST(SetupRecord, LayoutMatchesHandBuiltBytes) {
    auto bytes = SampleRecord().ToBytes();
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), SampleBytes());

    auto golden = SampleBytes();
    EXPECT_EQ(TSetupRecord::FromBytes(std::span<const std::uint8_t, 104>(golden.data(), 104)),
              SampleRecord());
}

TEST(SetupRecord, UpDownPositionsAreReadThroughTheirLow16Bits) {
    struct Case {
        std::size_t offset;
        std::uint32_t stored;
        std::int32_t TSetupRecord::*field;
        std::int32_t position;
    };
    const Case cases[] = {
        {24, 0xFFFF0005, &TSetupRecord::Accumulations, 5},
        {48, 0x0001FFFF, &TSetupRecord::FreqSweepRange, -1},
        {52, 0x7FFF8000, &TSetupRecord::ModAmp, -32768},
        {56, 0x00027FFF, &TSetupRecord::SweepTime, 32767},
        {76, 0x12340003, &TSetupRecord::B0Step, 3},
        {96, 0x00010000, &TSetupRecord::FrequencyStep, 0},
        // The scroll-bar and track-bar fields keep all 32 bits.
        {0, 0x00010005, &TSetupRecord::DCOffset, 0x00010005},
        {4, 0xFFFF0005, &TSetupRecord::Gain, static_cast<std::int32_t>(0xFFFF0005)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        auto bytes = SampleBytes();
        for (int i = 0; i < 4; ++i)
            bytes[c.offset + i] = static_cast<std::uint8_t>(c.stored >> (8 * i));
        const auto r =
            TSetupRecord::FromBytes(std::span<const std::uint8_t, 104>(bytes.data(), 104));
        EXPECT_EQ(r.*c.field, c.position);
    }

    // The per-mode arrays alike.
    auto bytes = SampleBytes();
    auto store = [&bytes](std::size_t offset, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    store(60, 0x00010005);         // B0 of NMR 1H
    store(32 + 3 * 4, 0x80000002); // field sweep range of ESR
    store(80 + 4, 0x0000FFFB);     // frequency of NMR 19F
    const auto r = TSetupRecord::FromBytes(std::span<const std::uint8_t, 104>(bytes.data(), 104));
    EXPECT_EQ(r.B0[0], 5);
    EXPECT_EQ(r.FieldSweepRange[3], 2);
    EXPECT_EQ(r.Frequency[1], -5);
    EXPECT_EQ(r.Phase, SampleRecord().Phase);
}

TEST(SetupRecord, DefaultsAreTheBuiltInValues) {
    TSetupRecord d = DefaultSetup();
    EXPECT_EQ(d.Accumulations, 1);
    EXPECT_EQ(d.FreqSweepRange, 1);
    EXPECT_EQ(d.SweepTime, 1);
    EXPECT_EQ(d.FieldSweepRange, (std::array<std::int32_t, 4>{1, 1, 1, 1}));
    EXPECT_EQ(d.FieldSweep, 0);
    EXPECT_EQ(d.Mode, 0);
    auto bytes = d.ToBytes();
    std::vector<std::uint8_t> expected(104, 0);
    expected[24] = expected[48] = expected[56] = 1;
    expected[32] = expected[36] = expected[40] = expected[44] = 1;
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), expected);
}

TEST(SetupFile, SaveThenLoadRestoresEveryModesValues) {
    TempDir dir;
    std::string path = dir.File("all modes.cfg");
    std::string error;
    ASSERT_TRUE(SaveSetupFile(path, SampleRecord(), &error)) << error;
    EXPECT_EQ(ReadBytes(path), SampleBytes());

    TSetupRecord loaded = DefaultSetup();
    ASSERT_TRUE(LoadSetupFile(path, loaded, &error)) << error;
    EXPECT_EQ(loaded, SampleRecord());
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"all modes.cfg"}); // no temp left
}

TEST(SetupFile, SaveReplacesAnExistingFile) {
    TempDir dir;
    std::string path = dir.File("a.cfg");
    WriteBytes(path, std::vector<std::uint8_t>(300, 0x55));
    ASSERT_TRUE(SaveSetupFile(path, SampleRecord(), nullptr));
    EXPECT_EQ(ReadBytes(path), SampleBytes());
}

TEST(SetupFile, LongerFileUsesTheFirstRecord) {
    TempDir dir;
    auto bytes = SampleBytes();
    bytes.insert(bytes.end(), 50, 0xEE);
    WriteBytes(dir.File("long.cfg"), bytes);
    TSetupRecord r;
    ASSERT_TRUE(LoadSetupFile(dir.File("long.cfg"), r, nullptr));
    EXPECT_EQ(r, SampleRecord());
}

TEST(SetupFile, ShortOrMissingFileChangesNothing) {
    TempDir dir;
    auto bytes = SampleBytes();
    bytes.pop_back();
    WriteBytes(dir.File("short.cfg"), bytes);
    TSetupRecord r = DefaultSetup();
    std::string error;
    EXPECT_FALSE(LoadSetupFile(dir.File("short.cfg"), r, &error));
    EXPECT_NE(error.find("103"), std::string::npos) << error;
    EXPECT_EQ(r, DefaultSetup());

    error.clear();
    EXPECT_FALSE(LoadSetupFile(dir.File("none.cfg"), r, &error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    EXPECT_EQ(r, DefaultSetup());
}

TEST(SetupFile, ReadOnlyStandardSetupStillLoads) {
    TempDir dir;
    std::string path = StandardSetupPath(dir.Path());
    WriteBytes(path, SampleBytes());
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    TSetupRecord r;
    std::string error;
    EXPECT_TRUE(LoadSetupFile(path, r, &error)) << error;
    EXPECT_EQ(r, SampleRecord());
}

TEST(SetupFile, FailedSaveReportsCause) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(SaveSetupFile(dir.File("missing/x.cfg"), SampleRecord(), &error));
    EXPECT_NE(error.find("x.cfg"), std::string::npos) << error;
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;

    std::string path = dir.File("old.cfg");
    auto old = DefaultSetup().ToBytes();
    WriteBytes(path, std::vector<std::uint8_t>(old.begin(), old.end()));
    UnwritableDir lock(dir.Path());
    if (!lock.Active())
        GTEST_SKIP() << "cannot make a directory unwritable here";
    error.clear();
    EXPECT_FALSE(SaveSetupFile(dir.File("new.cfg"), SampleRecord(), &error));
    EXPECT_EQ(error.find("Cannot create file " + dir.File("new.cfg") + ": "), 0u) << error;
    // The folder refuses new files, not the file in it: that is rewritten in place.
    EXPECT_TRUE(SaveSetupFile(path, SampleRecord(), &error)) << error;
    EXPECT_EQ(ReadBytes(path), SampleBytes());
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"old.cfg"});
}

TEST(StandardSetup, NameComparedWithoutCaseInAnyDirectory) {
    EXPECT_TRUE(IsStandardSetup("STANDARD.CFG"));
    EXPECT_TRUE(IsStandardSetup("/home/op/setups/standard.cfg"));
    EXPECT_TRUE(IsStandardSetup("/x/Standard.Cfg"));
    EXPECT_TRUE(IsStandardSetup("C:\\TAVI\\standard.CFG"));
    EXPECT_FALSE(IsStandardSetup("/x/STANDARD.CFG.bak"));
    EXPECT_FALSE(IsStandardSetup("/x/MYSTANDARD.CFG"));
    EXPECT_FALSE(IsStandardSetup("/STANDARD.CFG/other.cfg"));
    EXPECT_FALSE(IsStandardSetup(""));
}

TEST(StandardSetup, PathJoinsWithOneMoreSeparator) {
    EXPECT_EQ(StandardSetupPath("/opt/tavi"), "/opt/tavi/STANDARD.CFG");
    EXPECT_EQ(StandardSetupPath("/opt/tavi/"), "/opt/tavi//STANDARD.CFG");
    EXPECT_EQ(StandardSetupPath(""), "/STANDARD.CFG");
}

TEST(CurrentSetupTest, SaveEnabledOnlyForOtherSetups) {
    CurrentSetup c;
    SetCurrentSetup(c, "/data/setups/Standard.cfg");
    EXPECT_EQ(c.SetupPath, "/data/setups/Standard.cfg");
    EXPECT_EQ(c.SetupName, "Standard.cfg");
    EXPECT_FALSE(c.SaveEnabled);

    SetCurrentSetup(c, "/data/setups/proton.cfg");
    EXPECT_EQ(c.SetupName, "proton.cfg");
    EXPECT_TRUE(c.SaveEnabled);

    SetCurrentSetup(c, "C:\\setups\\esr.cfg");
    EXPECT_EQ(c.SetupName, "esr.cfg");
}
