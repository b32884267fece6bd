// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/DataFile.h"

#include "processing/GoldenDataFile.h"
#include "processing/UIntegration.h"
#include "setup/FileTestUtil.h"
#include "support/SampleDataFile.h"

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

using namespace tavi;
using tavi::test::GoldenDataFile;
using tavi::test::kFloat100;
using tavi::test::kFloat2_5;
using tavi::test::ReadBytes;
using tavi::test::SampleGolden;
using tavi::test::TempDir;
using tavi::test::UnwritableDir;
using tavi::test::WriteBytes;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

DataFileSettings SampleSettings() {
    return tavi::test::SettingsBuilder().Esr("3 350.0 Gs").Comment("Sample A").Passes(10);
}

std::vector<std::uint8_t> Sums(std::initializer_list<std::int32_t> sums) {
    GoldenDataFile g;
    for (auto s : sums)
        g.Sample(s);
    return {g.Bytes().begin() + 425, g.Bytes().end()};
}

std::vector<std::uint8_t> HeaderOf(const GoldenDataFile& g) {
    return {g.Bytes().begin() + 1, g.Bytes().begin() + 425};
}

std::vector<std::uint8_t> Vec(const DataFileHeader& h) {
    return {h.Bytes.begin(), h.Bytes.end()};
}

// Parses the bytes, expecting a rejection, and returns its message.
std::string Rejection(const std::vector<std::uint8_t>& bytes) {
    LoadedDataFile f;
    std::string error;
    EXPECT_FALSE(ParseDataFile(bytes, f, &error));
    return error;
}

LoadedDataFile Parsed(const std::vector<std::uint8_t>& bytes) {
    LoadedDataFile f;
    std::string error;
    EXPECT_TRUE(ParseDataFile(bytes, f, &error)) << error;
    return f;
}

} // namespace

TEST(DataFileHeaderTest, BuildMatchesHandLaidHeader) {
    EXPECT_EQ(Vec(DataFileHeader::Build(SampleSettings())), HeaderOf(SampleGolden()));
}

TEST(DataFileHeaderTest, DecodeReadsEveryField) {
    DataFileHeader h;
    auto header = HeaderOf(SampleGolden());
    std::copy(header.begin(), header.end(), h.Bytes.begin());
    DataFileSettings s = h.Decode();
    DataFileSettings e = SampleSettings();
    EXPECT_EQ(s.Comment, e.Comment);
    EXPECT_EQ(s.FrequencyText, e.FrequencyText);
    EXPECT_EQ(s.FieldB0Text, e.FieldB0Text);
    EXPECT_EQ(s.FieldSweep, 1);
    EXPECT_EQ(s.SweepRange, 100.0f);
    EXPECT_EQ(s.ModAmpText, e.ModAmpText);
    EXPECT_EQ(s.SweepTimeText, e.SweepTimeText);
    EXPECT_EQ(s.GainText, e.GainText);
    EXPECT_EQ(s.PhaseText, "45\u00B0");
    EXPECT_EQ(s.AccText, "10");
    EXPECT_EQ(s.ModeText, "ESR");
}

TEST(DataFileHeaderTest, LongTextsAreCutToCapacity) {
    DataFileSettings s = SampleSettings();
    s.Comment = std::string(300, 'c');
    s.AccText = "1234";
    s.ModeText = "NMR 1H &&19F and more than twenty";
    // Twenty-five degree signs: 50 UTF-8 bytes but one stored byte each.
    std::string degrees;
    for (int i = 0; i < 25; ++i)
        degrees += "\u00B0";
    s.PhaseText = degrees;
    DataFileHeader h = DataFileHeader::Build(s);
    EXPECT_EQ(h.Bytes[0], 255);
    EXPECT_EQ(h.Bytes[255], 'c');
    EXPECT_EQ(h.Bytes[256], 0); // reserved stays zero
    EXPECT_EQ(h.Bytes[375], 20);
    EXPECT_EQ(h.Bytes[395], 0xB0);
    EXPECT_EQ(h.Bytes[396], 3);

    DataFileSettings d = h.Decode();
    EXPECT_EQ(d.Comment, std::string(255, 'c'));
    EXPECT_EQ(d.AccText, "123");
    EXPECT_EQ(d.ModeText, "NMR 1H &&19F and mor");
    EXPECT_EQ(d.PhaseText, degrees.substr(0, 40));
}

TEST(DataFileHeaderTest, LengthByteAboveCapacityStaysInsideItsField) {
    GoldenDataFile g = SampleGolden();
    g.Byte(396, 0xFF).Byte(397, '0').Byte(398, '1').Byte(399, '2'); // AccText
    g.Byte(262, 200);                                               // FrequencyText
    DataFileHeader h;
    auto header = HeaderOf(g);
    std::copy(header.begin(), header.end(), h.Bytes.begin());
    DataFileSettings d = h.Decode();
    EXPECT_EQ(d.AccText, "012");
    EXPECT_EQ(d.FrequencyText.size(), 20u);
    EXPECT_EQ(d.FrequencyText, std::string("9 400 000 kHz") + std::string(7, '\0'));
    EXPECT_EQ(d.ModeText, "ESR");
}

TEST(DataFileRead, AveragesAndOffsetsFromTheSweepCentre) {
    LoadedDataFile f = Parsed(SampleGolden().Bytes());
    EXPECT_EQ(f.Format, 11);
    EXPECT_EQ(f.Divisor, 10);
    EXPECT_THAT(f.Y, ElementsAre(100, 2, 4, -500, 500)); // 2.5 to even, 3.5 to even, clamped
    EXPECT_THAT(f.X, ElementsAre(-50, -25, 0, 25, 50));
    EXPECT_DOUBLE_EQ(f.XStep, 25);
    EXPECT_DOUBLE_EQ(f.XMin, -50);
    EXPECT_DOUBLE_EQ(f.XMax, 50);
    EXPECT_DOUBLE_EQ(f.ModAmpValue, 0.025);
    EXPECT_DOUBLE_EQ(f.FrequencyValue, 9400000);
    EXPECT_DOUBLE_EQ(f.FieldB0Value, 3350);
    EXPECT_EQ(f.Settings.ModeText, "ESR");
    EXPECT_EQ(Vec(f.Header), HeaderOf(SampleGolden()));
}

TEST(DataFileRead, RoundingHalvesToEvenAndClamping) {
    struct Case {
        std::int32_t sum;
        const char* acc;
        double y;
    };
    for (Case c : {Case{1000, "3", 333}, Case{5, "2", 2}, Case{7, "2", 4}, Case{-5, "2", -2},
                   Case{-7, "2", -4}, Case{-7000, "10", -500}, Case{501, "1", 500},
                   Case{-2147483647 - 1, "1", -500}, Case{2147483647, "99", 500},
                   Case{49499, "99", 500}, Case{-1001, "2", -500}, Case{999, "2", 500}}) {
        GoldenDataFile g;
        g.Short(262, "1 kHz").Short(283, "1 Gs").Word(308, kFloat100).Short(312, "1 Gs");
        g.Short(396, c.acc).Sample(c.sum).Sample(0);
        LoadedDataFile f = Parsed(g.Bytes());
        EXPECT_EQ(f.Y[0], c.y) << c.sum << " / " << c.acc;
        // The range found while converting is the curve's.
        EXPECT_EQ(f.YRange, std::make_pair(std::min(c.y, 0.0), std::max(c.y, 0.0)))
            << c.sum << " / " << c.acc;
    }
}

TEST(DataFileRead, TheFirstPlacesOfTheBoundsAreFoundFromWhereTheConversionSaysTheyBegin) {
    // The bounds reached several times, over several blocks, and again later.
    GoldenDataFile g;
    g.Short(262, "1 kHz").Short(283, "1 Gs").Word(308, kFloat100).Short(312, "1 Gs");
    g.Short(396, "1");
    for (int i = 0; i < 5000; ++i)
        g.Sample(i == 1700 || i == 3100 || i == 4999
                     ? -300
                     : (i == 2050 || i == 4000 ? 280 : i % 200 - 100));
    const LoadedDataFile f = Parsed(g.Bytes());
    ASSERT_TRUE(f.YRange);
    const Extremes quick = FindExtremes(f.Y, f.YRange->first, f.YRange->second, f.YRangeFrom.first,
                                        f.YRangeFrom.second);
    EXPECT_EQ(quick.Min, 1700);
    EXPECT_EQ(quick.Max, 2050);
    EXPECT_GT(f.YRangeFrom.first + f.YRangeFrom.second, 0u); // the searches did start later
}

TEST(DataFileRead, TrailingBytesIgnored) {
    for (std::size_t extra : {1u, 2u, 3u}) {
        GoldenDataFile g = SampleGolden();
        g.Tail(extra);
        LoadedDataFile f = Parsed(g.Bytes());
        EXPECT_EQ(f.Y.size(), 5u);
        EXPECT_THAT(f.X, ElementsAre(-50, -25, 0, 25, 50));
    }
}

TEST(DataFileRead, Format10DerivesModeFromFrequency) {
    auto old = [](std::string_view frequency) {
        GoldenDataFile g(10);
        g.Short(262, frequency).Short(283, "0 Gs").Byte(304, 0).Word(308, kFloat2_5);
        g.Short(312, "0.1 Gs").Short(396, "1").Sample(-3).Sample(4);
        return g;
    };
    LoadedDataFile nmr = Parsed(old("14 000.000 kHz").Bytes());
    EXPECT_EQ(nmr.Format, 10);
    EXPECT_EQ(nmr.Settings.ModeText, "NMR");
    EXPECT_THAT(nmr.Y, ElementsAre(-3, 4));
    EXPECT_THAT(nmr.X, ElementsAre(-1.25, 1.25));
    EXPECT_EQ(nmr.Header.Bytes[400], 0);

    EXPECT_EQ(Parsed(old("9 400 000 kHz").Bytes()).Settings.ModeText, "ESR");
    EXPECT_EQ(Parsed(old("0.5 kHz").Bytes()).Settings.ModeText, "NMR");

    // A 400-byte header then one record is too short for format 11.
    auto bytes = old("1 kHz").Bytes();
    bytes[0] = 11;
    EXPECT_EQ(Rejection(bytes), "Stream read error");
}

TEST(DataFileRead, FormatAndLengthErrors) {
    EXPECT_EQ(Rejection({}), "Stream read error");
    auto bytes = SampleGolden().Bytes();
    for (std::uint8_t format : {0, 9, 12, 255}) {
        bytes[0] = format;
        EXPECT_EQ(Rejection(bytes), "file format error");
    }
    bytes = SampleGolden().Bytes();
    bytes.resize(424); // one header byte missing
    EXPECT_EQ(Rejection(bytes), "Stream read error");
    EXPECT_EQ(Rejection(std::vector<std::uint8_t>(300, 10)), "Stream read error");
}

TEST(DataFileRead, BadAccumulationTextsRejected) {
    auto withAcc = [](std::string_view acc) {
        GoldenDataFile g = SampleGolden();
        g.Short(396, acc);
        return g.Bytes();
    };
    EXPECT_EQ(Rejection(withAcc("abc")), "'abc' is not a valid integer value");
    EXPECT_EQ(Rejection(withAcc("")), "'' is not a valid integer value");
    EXPECT_EQ(Rejection(withAcc("0")), "Invalid accumulation count '0'");
    EXPECT_EQ(Rejection(withAcc("-3")), "Invalid accumulation count '-3'");
    for (const char* blanks : {"3 ", " 7", " 2 "})
        EXPECT_EQ(Rejection(withAcc(blanks)),
                  "'" + std::string(blanks) + "' is not a valid integer value");
    EXPECT_EQ(Parsed(withAcc("+7")).Divisor, 7);
}

TEST(DataFileRead, TextsWithoutNumbersRejected) {
    GoldenDataFile g = SampleGolden();
    g.Short(312, "Gs");
    EXPECT_EQ(Rejection(g.Bytes()), "'' is not a valid floating point value");
    GoldenDataFile b = SampleGolden();
    b.Short(283, "");
    EXPECT_THAT(Rejection(b.Bytes()), HasSubstr("is not a valid floating point value"));
}

TEST(DataFileRead, DegenerateSpectraRejected) {
    auto header = SampleGolden().Bytes();
    header.resize(425); // header only
    EXPECT_EQ(Rejection(header), "The file holds fewer than two points");
    header.insert(header.end(), {1, 0, 0, 0, 9, 9});
    EXPECT_EQ(Rejection(header), "The file holds fewer than two points");

    for (std::uint32_t range : {0x00000000u, 0x80000000u, 0xC2C80000u, 0x7F800000u, 0x7FC00000u}) {
        GoldenDataFile g = SampleGolden();
        g.Word(308, range);
        EXPECT_EQ(Rejection(g.Bytes()), "Invalid sweep range") << std::hex << range;
    }
}

TEST(DataFileRead, RejectionLeavesResultUntouched) {
    LoadedDataFile f = Parsed(SampleGolden().Bytes());
    auto bytes = SampleGolden().Bytes();
    bytes[0] = 3;
    std::string error;
    EXPECT_FALSE(ParseDataFile(bytes, f, &error));
    EXPECT_EQ(f.Y.size(), 5u);
    EXPECT_EQ(f.Settings.ModeText, "ESR");
}

TEST(DataFileWrite, WritesFormatHeaderAndBufferByteForByte) {
    TempDir dir;
    std::string path = dir.File("spectrum.dcw");
    std::string error;
    ASSERT_TRUE(WriteDataFile(path, DataFileHeader::Build(SampleSettings()),
                              Sums({1000, 25, 35, -7000, 7000}), &error))
        << error;
    EXPECT_EQ(ReadBytes(path), SampleGolden().Bytes());
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"spectrum.dcw"});
}

TEST(DataFileWrite, RoundTripGivesAveragesAndOffsets) {
    TempDir dir;
    std::string path = dir.File("rt.dcw");
    DataFileSettings s = SampleSettings();
    s.AccText = "4";
    s.SweepRange = 2.5f;
    s.FieldSweep = 0;
    ASSERT_TRUE(
        WriteDataFile(path, DataFileHeader::Build(s), Sums({400, -6, 10, 2002, -4000}), nullptr));
    // An existing file is replaced, not appended to.
    ASSERT_TRUE(
        WriteDataFile(path, DataFileHeader::Build(s), Sums({400, -6, 10, 2002, -4000}), nullptr));
    LoadedDataFile f;
    std::string error;
    ASSERT_TRUE(ReadDataFile(path, f, &error)) << error;
    EXPECT_EQ(ReadBytes(path).size(), 425u + 4 * 5);
    EXPECT_THAT(f.Y, ElementsAre(100, -2, 2, 500, -500));
    EXPECT_THAT(f.X, ElementsAre(-1.25, -0.625, 0, 0.625, 1.25));
    EXPECT_EQ(f.Settings.FieldSweep, 0);
    EXPECT_EQ(f.Settings.PhaseText, "45\u00B0");
}

TEST(DataFileWrite, MissingDirectoryIsPathNotFound) {
    TempDir dir;
    std::string error;
    const FileResult r = WriteDataFile(dir.File("nope/x.dcw"),
                                       DataFileHeader::Build(SampleSettings()), Sums({1, 2}));
    EXPECT_EQ(r.Kind, FileFailure::NotFound);
    EXPECT_EQ(r.Message, "Path not found !");
    EXPECT_TRUE(dir.Entries().empty());

    WriteBytes(dir.File("plain"), {1});
    EXPECT_FALSE(WriteDataFile(dir.File("plain/x.dcw"), DataFileHeader::Build(SampleSettings()),
                               Sums({1, 2}), &error));
    EXPECT_EQ(error, "Path not found !");
}

TEST(DataFileWrite, UncreatableFileReportsPathAndCause) {
    TempDir dir;
    std::string old = dir.File("old.dcw");
    WriteBytes(old, SampleGolden().Bytes());
    UnwritableDir lock(dir.Path());
    if (!lock.Active())
        GTEST_SKIP() << "cannot make a directory unwritable here";
    const std::string path = dir.File("new.dcw");
    std::string error;
    EXPECT_FALSE(
        WriteDataFile(path, DataFileHeader::Build(SampleSettings()), Sums({9, 9, 9}), &error));
    EXPECT_THAT(error, HasSubstr("Cannot create file " + path + ": "));
    EXPECT_GT(error.size(), ("Cannot create file " + path + ": ").size());
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"old.dcw"});
    // The file already there is writable: it is rewritten in place.
    EXPECT_TRUE(
        WriteDataFile(old, DataFileHeader::Build(SampleSettings()), Sums({9, 9, 9}), &error));
    EXPECT_EQ(ReadBytes(old).size(), 425u + 12u);
}

TEST(DataFileWrite, FullDeviceReportsCause) {
    int fd = ::open("/dev/full", O_WRONLY);
    if (fd < 0)
        GTEST_SKIP() << "no /dev/full";
    std::vector<std::uint8_t> bytes(4096, 1);
    std::string cause;
    EXPECT_FALSE(WriteAllToFd(fd, bytes, &cause));
    EXPECT_EQ(cause, "No space left on device");
    ::close(fd);
}

TEST(DataFileRead, MissingFileNamesPathAndCause) {
    LoadedDataFile f;
    std::string error;
    EXPECT_FALSE(ReadDataFile("/nonexistent-dir/x.dcw", f, &error));
    EXPECT_THAT(error, HasSubstr("/nonexistent-dir/x.dcw"));
    EXPECT_THAT(error, HasSubstr("No such file or directory"));
}

namespace {

struct RefusalCase {
    const char* name;
    std::string (*make)(const tavi::test::TempDir&); // the path to load
    const char* message;
    FileFailure kind; // what the window and the tools choose their reaction by
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class DataFileRefusal : public ::testing::TestWithParam<RefusalCase> {};

// What no run can have written is refused before it is read whole: a device
// without end, a pipe, a huge sparse file, more points than the cursors hold.
TEST_P(DataFileRefusal, IsRefusedWithItsCause) {
    tavi::test::TempDir dir;
    const std::string path = GetParam().make(dir);
    LoadedDataFile f;
    const FileResult r = ReadDataFile(path, f);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.Kind, GetParam().kind);
    EXPECT_THAT(r.Message, HasSubstr(GetParam().message));
    EXPECT_TRUE(f.X.empty());
}

// The same texts with or without the kind: the operator's message is one.
TEST_P(DataFileRefusal, MessageOnlyFormSaysTheSame) {
    tavi::test::TempDir dir;
    const std::string path = GetParam().make(dir);
    LoadedDataFile f;
    std::string error;
    EXPECT_FALSE(ReadDataFile(path, f, &error));
    EXPECT_EQ(error, ReadDataFile(path, f).Message);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, DataFileRefusal,
    ::testing::Values(
        RefusalCase{"EndlessDevice",
                    [](const tavi::test::TempDir&) { return std::string("/dev/zero"); },
                    "not a regular file", FileFailure::NotRegular},
        RefusalCase{"Pipe",
                    [](const tavi::test::TempDir& d) {
                        ::mkfifo(d.File("p.dcw").c_str(), 0666);
                        return d.File("p.dcw");
                    },
                    "not a regular file", FileFailure::NotRegular},
        RefusalCase{"HugeSparseFile",
                    [](const tavi::test::TempDir& d) {
                        auto bytes = SampleGolden().Bytes();
                        tavi::test::WriteBytes(d.File("big.dcw"), bytes);
                        (void)::truncate(d.File("big.dcw").c_str(), 1LL << 32);
                        return d.File("big.dcw");
                    },
                    "too large for a data file", FileFailure::TooLarge},
        RefusalCase{"HundredThousandPoints",
                    [](const tavi::test::TempDir& d) {
                        GoldenDataFile g = SampleGolden();
                        for (int i = 0; i < 100000; ++i)
                            g.Sample(i % 900 - 450);
                        tavi::test::WriteBytes(d.File("many.dcw"), g.Bytes());
                        return d.File("many.dcw");
                    },
                    "too large for a data file", FileFailure::TooLarge},
        RefusalCase{"Missing", [](const tavi::test::TempDir& d) { return d.File("none/x.dcw"); },
                    "No such file or directory", FileFailure::NotFound},
        RefusalCase{"Folder", [](const tavi::test::TempDir& d) { return d.File(""); },
                    "not a regular file", FileFailure::NotRegular},
        RefusalCase{"OtherFormat",
                    [](const tavi::test::TempDir& d) {
                        auto bytes = SampleGolden().Bytes();
                        bytes[0] = 12;
                        tavi::test::WriteBytes(d.File("f.dcw"), bytes);
                        return d.File("f.dcw");
                    },
                    "file format error", FileFailure::Format},
        RefusalCase{"CutInTheHeader",
                    [](const tavi::test::TempDir& d) {
                        auto bytes = SampleGolden().Bytes();
                        bytes.resize(300);
                        tavi::test::WriteBytes(d.File("cut.dcw"), bytes);
                        return d.File("cut.dcw");
                    },
                    "Stream read error", FileFailure::Content}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DataFileRead, PointsBeyondTheCursorRangeAreRefused) {
    GoldenDataFile g = SampleGolden();
    for (std::size_t i = 5; i <= tavi::kDataMaxPoints; ++i) // the sample has 5
        g.Sample(1);
    EXPECT_THAT(Rejection(g.Bytes()), HasSubstr("more than the 65535"));
}

} // namespace
