// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Usr.h"
#include "device/ReplyParser.h"
#include "device/UOutMess.h"
#include "support/FakeSerialPort.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tavi {
namespace {

using Lines = std::vector<std::string>;

TEST(CommandLines, HexFieldsCarryTheLowDigitsWithLeadingZeros) {
    EXPECT_EQ(lines::FieldTuning(-2000), "B1002F\r");
    EXPECT_EQ(lines::FieldTuning(0), "B107FF\r");
    EXPECT_EQ(lines::FieldTuning(2000), "B10FCF\r");
    EXPECT_EQ(lines::Frequency(14'000'000), "J00D59F80\r");
    EXPECT_EQ(lines::Frequency(50'000'000), "J02FAF080\r");
    EXPECT_EQ(lines::FreqSweepRange(50'000), "K0000C350\r");
    EXPECT_EQ(lines::FreqSweepRange(1'000'000), "K000F4240\r");
    EXPECT_EQ(lines::Phase(0), "E00\r");
    EXPECT_EQ(lines::Phase(239), "EEF\r");
    EXPECT_EQ(lines::ModFrequency(1754), "T06DA\r");
    // Out-of-width values keep only the field's low digits.
    EXPECT_EQ(lines::Phase(300), "E2C\r");
    EXPECT_EQ(lines::Phase(-1), "EFF\r");
}

TEST(CommandLines, GainAndRawAmplitudeAreSentInverted) {
    EXPECT_EQ(lines::Gain(0), "D2FF\r");
    EXPECT_EQ(lines::Gain(255), "D200\r");
    EXPECT_EQ(lines::Gain(15), "D2F0\r");
    EXPECT_EQ(lines::ModAmpRaw(0), "D1FF\r");
    EXPECT_EQ(lines::ModAmpRaw(200), "D137\r");
}

TEST(CommandLines, UpDownPositionsAreSentLessOne) {
    EXPECT_EQ(lines::SweepTime(1), "G00\r");
    EXPECT_EQ(lines::SweepTime(7), "G06\r");
    EXPECT_EQ(lines::FieldSweepRange(0, 1), "H000\r");
    EXPECT_EQ(lines::FieldSweepRange(0, 10), "H009\r");
    EXPECT_EQ(lines::FieldSweepRange(1, 8), "H107\r");
}

TEST(CommandLines, ModulationAmplitudeIsTruncatedFromTheFloat) {
    const float amplitudes[] = {0.05f, 0.07f, 0.1f, 0.15f, 0.2f, 0.35f,
                                0.5f,  0.7f,  1.0f, 1.5f,  2.0f, 2.5f};
    const char* codes[] = {"05", "07", "0A", "0F", "14", "22", "32", "45", "64", "96", "C8", "FA"};
    for (std::size_t i = 0; i < std::size(amplitudes); ++i) {
        SCOPED_TRACE(amplitudes[i]);
        EXPECT_EQ(lines::ModAmp(0, amplitudes[i]), std::string("R0") + codes[i] + "\r");
        EXPECT_EQ(lines::ModAmp(1, amplitudes[i]), std::string("R1") + codes[i] + "\r");
    }
}

TEST(CommandLines, SingleCharacterCommands) {
    EXPECT_EQ(lines::StartSweep(false), "F0\r");
    EXPECT_EQ(lines::StartSweep(true), "F1\r");
    EXPECT_EQ(lines::Abort(), "N\r");
    EXPECT_EQ(lines::Mode(0), "P0\r");
    EXPECT_EQ(lines::Mode(1), "P1\r");
    EXPECT_EQ(lines::Identify(), "Z\r");
    EXPECT_EQ(lines::ReadyAck(), "Y\r");
    EXPECT_EQ(lines::Hold(true), "Q1\r");
    EXPECT_EQ(lines::Hold(false), "Q0\r");
    EXPECT_EQ(lines::CurrentDirection(true), "S1\r");
    EXPECT_EQ(lines::CurrentDirection(false), "S0\r");
    EXPECT_EQ(lines::ControlMode(0), "X0\r");
    EXPECT_EQ(lines::ControlMode(2), "X2\r");
}

// Every command once, in the order of the written lines below.
void SendEveryCommand(const CommandSender& to) {
    for (const std::string& line :
         {lines::Phase(10), lines::Gain(0), lines::ModAmpRaw(0), lines::ModAmp(0, 0.35f),
          lines::FieldSweepRange(0, 1), lines::SweepTime(1), lines::StartSweep(false),
          lines::FieldTuning(0), lines::Frequency(14'000'000), lines::FreqSweepRange(50'000),
          lines::Abort(), lines::Mode(0)})
        to.Send(line);
    to.SendIdentify();
    for (const std::string& line :
         {lines::ReadyAck(), lines::Hold(true), lines::CurrentDirection(true),
          lines::ModFrequency(1754), lines::ControlMode(2)})
        to.Send(line);
}

class SendGuard : public ::testing::Test {
protected:
    void SendOneOfEach() { SendEveryCommand(sender); }

    test::FakeSerialPort port;
    bool ready = false;
    CommandSender sender{&port, &ready};
};

TEST_F(SendGuard, ReadyDeviceGetsEveryCommandAsOneWrite) {
    port.Open();
    ready = true;
    SendOneOfEach();
    EXPECT_EQ(port.written, (Lines{"E0A\r", "D2FF\r", "D1FF\r", "R022\r", "H000\r", "G00\r", "F0\r",
                                   "B107FF\r", "J00D59F80\r", "K0000C350\r", "N\r", "P0\r", "Z\r",
                                   "Y\r", "Q1\r", "S1\r", "T06DA\r", "X2\r"}));
}

TEST_F(SendGuard, OpenPortWithoutReadinessSendsOnlyIdentify) {
    port.Open();
    SendOneOfEach();
    EXPECT_EQ(port.written, Lines{"Z\r"});
}

TEST_F(SendGuard, ClosedPortSendsNothingAndRaisesNothing) {
    ready = true;
    EXPECT_NO_THROW(SendOneOfEach());
    EXPECT_TRUE(port.written.empty());
}

TEST_F(SendGuard, NoTargetDropsCommands) {
    EXPECT_NO_THROW(SendEveryCommand(CommandSender(nullptr, nullptr)));
    port.Open();
    SendEveryCommand(CommandSender(&port, nullptr)); // open port, no readiness flag
    EXPECT_EQ(port.written, Lines{"Z\r"});
}

TEST_F(SendGuard, RawLineBypassesTheGuardButNotAClosedPort) {
    EXPECT_THROW(sender.SendRaw("D280"), EComError);
    port.Open();
    sender.SendRaw("D280");
    sender.SendRaw("");
    EXPECT_EQ(port.written, (Lines{"D280\r", "\r"}));
    EXPECT_THROW(CommandSender(nullptr, nullptr).SendRaw("Z"), EComError);
}

TEST(DecodeReply, PassReplies) {
    Reply a = DecodeReply("A0400\r");
    EXPECT_EQ(a.kind, Reply::A);
    EXPECT_EQ(a.points, 1024);
    EXPECT_EQ(DecodeReply("AFFFF\r").points, 65535);
    EXPECT_EQ(DecodeReply("B\r").kind, Reply::B);
    EXPECT_EQ(DecodeReply("C\r").kind, Reply::C);
    EXPECT_EQ(DecodeReply("D\r").kind, Reply::D);
    EXPECT_EQ(DecodeReply("F\r").kind, Reply::F);
    // Anything after the last field is ignored.
    EXPECT_EQ(DecodeReply("A0010xyz\r").points, 16);
    EXPECT_EQ(DecodeReply("Bjunk\r").kind, Reply::B);
    // The CR is optional for the decoder.
    EXPECT_EQ(DecodeReply("A0400").points, 1024);
}

TEST(DecodeReply, DataPoints) {
    Reply v = DecodeReply("V 00034BC0\r");
    EXPECT_EQ(v.kind, Reply::V);
    EXPECT_FALSE(v.outOfRange);
    EXPECT_EQ(v.raw, 216000);
    Reply flagged = DecodeReply("V!00034BC0\r");
    EXPECT_TRUE(flagged.outOfRange);
    EXPECT_EQ(flagged.raw, 216000);
    EXPECT_EQ(DecodeReply("V FFFFCB44\r").raw, -13500);
    EXPECT_EQ(DecodeReply("V 7FFFFFFF\r").raw, 2147483647);
    EXPECT_EQ(DecodeReply("V 80000000\r").raw, -2147483647 - 1);
    EXPECT_EQ(DecodeReply("V?ffffffff\r").raw, -1); // any flag but '!' is in range
    EXPECT_FALSE(DecodeReply("V?ffffffff\r").outOfRange);
}

TEST(DecodeReply, IdentificationAndOffsets) {
    Reply x = DecodeReply("X07FF0800\r");
    EXPECT_EQ(x.kind, Reply::X);
    EXPECT_EQ(x.firstOffset, 0);
    EXPECT_EQ(x.secondOffset, 1);
    Reply neg = DecodeReply("X00000000\r");
    EXPECT_EQ(neg.firstOffset, -2047);
    EXPECT_EQ(neg.secondOffset, -2047);

    Reply z = DecodeReply("Z00422.0\r");
    EXPECT_EQ(z.kind, Reply::Z);
    EXPECT_EQ(z.serial, "0042");
    EXPECT_EQ(z.version, "2.0");
    EXPECT_EQ(DecodeReply("Z12341.9extra\r").version, "1.9");
    Reply shortZ = DecodeReply("Z12\r");
    EXPECT_EQ(shortZ.kind, Reply::Z);
    EXPECT_EQ(shortZ.serial, "12");
    EXPECT_EQ(shortZ.version, "");
    EXPECT_EQ(DecodeReply("Z12342\r").version, "2");
}

TEST(DecodeReply, StateReplies) {
    Reply e = DecodeReply("E0012\r");
    EXPECT_EQ(e.kind, Reply::E);
    EXPECT_EQ(e.errorText, "0012");
    EXPECT_EQ(DecodeReply("E7\r").errorText, "7");
    EXPECT_TRUE(DecodeReply("H1\r").hold);
    EXPECT_FALSE(DecodeReply("H0\r").hold);
    EXPECT_TRUE(DecodeReply("Hq\r").hold); // 'q' is 0x71: lowest bit set
    EXPECT_EQ(DecodeReply("H\r").kind, Reply::Ignored);
    Reply m = DecodeReply("M03\r");
    EXPECT_EQ(m.kind, Reply::M);
    EXPECT_EQ(m.fieldSource, 3);
    EXPECT_EQ(DecodeReply("M0A\r").fieldSource, 10);
}

TEST(DecodeReply, UnknownFirstCharactersAreIgnored) {
    for (const char* line : {"\r", "", "G00\r", "a0400\r", "10\r", "\n\r", " A0400\r"}) {
        SCOPED_TRACE(line);
        EXPECT_EQ(DecodeReply(line).kind, Reply::Ignored);
    }
    EXPECT_EQ(DecodeReply(std::string_view("\0A0400\r", 7)).kind, Reply::Ignored);
}

TEST(DecodeReply, BadHexFieldsThrow) {
    for (const char* line : {"A04G0\r", "A04\r", "A\r", "V 0003\r", "V\r", "V 0003XBC0\r",
                             "X07FF08\r", "X07FFZZZZ\r", "M\r", "M3\r", "A 400\r", "A-400\r"}) {
        SCOPED_TRACE(line);
        EXPECT_THROW(DecodeReply(line), EConvertError);
    }
    // The operator sees which text failed.
    try {
        DecodeReply("A04G0\r");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'04G0' is not a valid integer value");
    }
}

TEST(DecodeReply, CarriageReturnInsideAFieldEndsTheLine) {
    // A CR that falls inside a field cuts it short, even if digits follow it.
    EXPECT_THROW(DecodeReply("A04\r00\r"), EConvertError);
    EXPECT_THROW(DecodeReply("V 0003\r4BC0\r"), EConvertError);
    EXPECT_EQ(DecodeReply("Z00\r422.0\r").serial, "00");
}

std::vector<std::string> PushAll(LineAssembler& a, std::string_view bytes) {
    std::vector<std::string> done;
    for (char c : bytes) {
        if (a.Push(c))
            done.push_back(a.Line());
    }
    return done;
}

TEST(LineAssembler, LineSplitOverTwoEventsIsCompletedOnce) {
    LineAssembler a;
    EXPECT_TRUE(PushAll(a, "A04").empty());
    EXPECT_EQ(a.Line(), "A04");
    auto done = PushAll(a, "00\r");
    ASSERT_EQ(done, Lines{"A0400\r"});
    EXPECT_EQ(DecodeReply(done[0]).points, 1024);
}

TEST(LineAssembler, SeveralLinesInOneEventComeInOrder) {
    LineAssembler a;
    EXPECT_EQ(PushAll(a, "B\rC\r\rV 00000001\r"), (Lines{"B\r", "C\r", "\r", "V 00000001\r"}));
    // With or without Clear() between lines the next line starts afresh.
    a.Clear();
    EXPECT_EQ(PushAll(a, "D\r"), Lines{"D\r"});
}

TEST(LineAssembler, OverlongRunIsDroppedUpToItsCarriageReturn) {
    LineAssembler a;
    std::string exact(LineAssembler::kMaxLine, 'x');
    EXPECT_EQ(PushAll(a, exact + "\r"), Lines{exact + "\r"});
    EXPECT_EQ(a.DiscardedRuns(), 0u);

    std::string flood(3 * LineAssembler::kMaxLine + 7, 'V');
    auto done = PushAll(a, flood);
    EXPECT_TRUE(done.empty());
    EXPECT_LE(a.Line().size(), LineAssembler::kMaxLine);
    EXPECT_EQ(a.DiscardedRuns(), 1u);
    // The damaged line's tail and its CR go; the next line is intact.
    done = PushAll(a, "0000\rA0400\r");
    EXPECT_EQ(done, Lines{"A0400\r"});
    EXPECT_EQ(a.DiscardedRuns(), 1u);

    PushAll(a, std::string(LineAssembler::kMaxLine + 1, '?'));
    EXPECT_EQ(a.DiscardedRuns(), 2u);
    a.Clear(); // a purge ends the dropping as well
    EXPECT_EQ(PushAll(a, "C\r"), Lines{"C\r"});
}

} // namespace
} // namespace tavi
