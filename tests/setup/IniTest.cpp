// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/FileTestUtil.h"
#include "setup/USetup.h"

#include <gtest/gtest.h>

using namespace tavi;
using tavi::test::ReadBytes;
using tavi::test::TempDir;

namespace {

IniSettings Sample() {
    IniSettings s;
    s.SetupDir = "/home/op/setups/";
    s.AcqDir = "/home/op/data";
    s.OutDir = "/home/op/out";
    s.PortName = "/dev/ttyUSB0";
    s.Sounds[0] = {"/snd/start.wav", 1, 0, 1};
    s.Sounds[1] = {"", 2, 1, 0};
    s.Sounds[2] = {"/snd/done.wav", 0, 2, 1};
    return s;
}

IniSettings Parsed(std::string_view text, const std::string& exeDir = "/opt/tavi/") {
    IniSettings s;
    ParseIni(text, exeDir, s);
    return s;
}

} // namespace

TEST(Ini, PathBesideTheExecutable) {
    EXPECT_EQ(IniPath("/opt/tavi/"), "/opt/tavi/TAVI.INI");
    EXPECT_EQ(IniPath("/opt/tavi"), "/opt/tavi/TAVI.INI");
}

TEST(Ini, DefaultSoundSettings) {
    auto d = DefaultSoundSettings();
    EXPECT_EQ(d[SweepStartSound], (TSoundSetting{"", 0, 1, 0}));
    EXPECT_EQ(d[SweepEndSound], (TSoundSetting{"", 0, 1, 0}));
    EXPECT_EQ(d[AccumulationEndSound], (TSoundSetting{"", 0, 0, 1}));
}

TEST(Ini, WritesTenCrLfLines) {
    TempDir dir;
    ASSERT_TRUE(WriteIni(dir.File("TAVI.INI"), Sample()));
    std::string expected = "/home/op/setups/\r\n/home/op/data\r\n/home/op/out\r\n/dev/ttyUSB0\r\n"
                           "/snd/start.wav\r\n1,0,1\r\n\r\n2,1,0\r\n/snd/done.wav\r\n0,2,1\r\n";
    auto bytes = ReadBytes(dir.File("TAVI.INI"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
}

TEST(Ini, WriteThenReadRestoresEverything) {
    TempDir dir;
    ASSERT_TRUE(WriteIni(dir.File("TAVI.INI"), Sample()));
    IniSettings s;
    ASSERT_TRUE(ReadIni(dir.File("TAVI.INI"), "/opt/tavi/", s));
    EXPECT_EQ(s, Sample());
}

TEST(Ini, UnwritableOrMissingFile) {
    TempDir dir;
    EXPECT_FALSE(WriteIni(dir.File("no/such/TAVI.INI"), Sample()));

    IniSettings s = Sample();
    EXPECT_FALSE(ReadIni(dir.File("TAVI.INI"), "/opt/tavi/", s));
    EXPECT_EQ(s, Sample());
}

TEST(Ini, EmptyLinesTakeExecutableDirectoryAndCom1) {
    IniSettings s = Parsed("\r\n\r\n\r\n\r\n\r\n0,1,0\r\n\r\n0,1,0\r\n\r\n0,0,1\r\n", "/opt/tavi");
    EXPECT_EQ(s.SetupDir, "/opt/tavi/");
    EXPECT_EQ(s.AcqDir, "/opt/tavi/");
    EXPECT_EQ(s.OutDir, "/opt/tavi/");
    EXPECT_EQ(s.PortName, "COM1");
    EXPECT_EQ(s.Sounds, DefaultSoundSettings());
}

TEST(Ini, NumbersFromFirstThirdAndFifthCharacter) {
    IniSettings s = Parsed("a\nb\nc\nCOM3\nstart.wav\n1,0,1\nend.wav\n2;2;0\n\n0,1,1\n");
    EXPECT_EQ(s.PortName, "COM3");
    EXPECT_EQ(s.Sounds[0], (TSoundSetting{"start.wav", 1, 0, 1}));
    EXPECT_EQ(s.Sounds[1], (TSoundSetting{"end.wav", 2, 2, 0}));
    EXPECT_EQ(s.Sounds[2], (TSoundSetting{"", 0, 1, 1}));
}

TEST(Ini, CrLfAndLfLinesReadAlike) {
    std::string lf = "/s\n/a\n/o\nCOM2\nx.wav\n1,1,1\ny.wav\n0,0,0\nz.wav\n2,2,1\n";
    std::string crlf;
    for (char c : lf)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(Parsed(lf), Parsed(crlf));
    EXPECT_EQ(Parsed(lf).Sounds[2], (TSoundSetting{"z.wav", 2, 2, 1}));
}

TEST(Ini, ShortAndMissingLinesKeepDefaults) {
    // Numbers line of one character; the file ends without a final newline.
    IniSettings s = Parsed("/s\n/a\n/o\nCOM4\nx.wav\n1");
    EXPECT_EQ(s.SetupDir, "/s");
    EXPECT_EQ(s.Sounds[0], (TSoundSetting{"x.wav", 1, 1, 0}));
    EXPECT_EQ(s.Sounds[1], DefaultSoundSettings()[1]);
    EXPECT_EQ(s.Sounds[2], DefaultSoundSettings()[2]);

    IniSettings three = Parsed("/s\n/a\n/o\n");
    EXPECT_EQ(three.PortName, "COM1");
    EXPECT_EQ(three.Sounds, DefaultSoundSettings());

    IniSettings none = Parsed("");
    EXPECT_EQ(none.SetupDir, "/opt/tavi/");
    EXPECT_EQ(none.PortName, "COM1");
}

TEST(Ini, NumbersAreTheirCharactersMinusZero) {
    struct Case {
        const char* line;
        TSoundSetting expected; // from the defaults of the "Sweep start" entry: 0, 1, 0
    };
    const Case cases[] = {
        {"3,1,0", {"", 3, 1, 0}},
        {"9;8;7", {"", 9, 8, 7}},
        {"x,9,1", {"", 'x' - '0', 9, 1}},
        {"1, 0,", {"", 1, ' ' - '0', ',' - '0'}},
        {"-1,0", {"", '-' - '0', ',' - '0', 0}}, // too short for the third
        {"\xB0,1,1", {"", 0xB0 - '0', 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        IniSettings s = Parsed(std::string("/s\n/a\n/o\nCOM1\n\n") + c.line + "\n");
        EXPECT_EQ(s.Sounds[0], c.expected);
    }
}

TEST(Ini, LinesAfterTheTenthIgnored) {
    IniSettings s = Parsed("/s\n/a\n/o\nCOM1\n\n0,1,0\n\n0,1,0\n\n0,0,1\nextra\n1,1,1\n");
    EXPECT_EQ(s.Sounds, DefaultSoundSettings());
}
