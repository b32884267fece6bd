// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/Spectrometer.h"

#include "common/Usr.h"
#include "device/ReplyParser.h"

#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tavi::sim {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

class SimTest : public ::testing::Test {
protected:
    void Make(SimOptions o) { sim = std::make_unique<Spectrometer>(std::move(o)); }
    static SimOptions Quiet(int points = 16) {
        SimOptions o;
        o.points = points;
        o.speed = 0;
        o.noise = 0;
        return o;
    }
    void Send(std::string_view command) { sim->Receive(std::string(command) + "\r", now); }
    // Everything due at `now`, with CRs; garbage included.
    Lines Drain() {
        Lines out;
        while (auto l = sim->Take(now))
            out.push_back(l->bytes);
        return out;
    }
    static int CountV(const Lines& lines) {
        int n = 0;
        for (const auto& l : lines)
            n += l[0] == 'V';
        return n;
    }
    // Display values of a whole pass (raw / divisor).
    std::vector<double> Pass(std::string_view start = "F0") {
        Send(start);
        std::vector<double> values;
        for (const auto& l : Drain()) {
            Reply r = DecodeReply(l);
            if (r.kind == Reply::V)
                values.push_back(static_cast<double>(r.raw) / sim->Divisor());
        }
        return values;
    }

    std::unique_ptr<Spectrometer> sim;
    TimePoint now{};
};

TEST_F(SimTest, IdentifyAnswersZThenX) {
    Make(Quiet());
    Send("Z");
    EXPECT_EQ(Drain(), (Lines{"Z00422.0\r", "X07FF07FF\r"}));

    SimOptions o = Quiet();
    o.serial = "7";
    o.version = "1.95";
    o.firstOffset = 100;
    o.secondOffset = -3;
    Make(o);
    Send("Z");
    Lines l = Drain();
    ASSERT_EQ(l.size(), 2u);
    Reply z = DecodeReply(l[0]);
    EXPECT_EQ(z.serial, "7   ");
    EXPECT_EQ(z.version, "1.9");
    Reply x = DecodeReply(l[1]);
    EXPECT_EQ(x.firstOffset, 100);
    EXPECT_EQ(x.secondOffset, -3);
}

TEST_F(SimTest, ReadyAckReportsTheFieldSource) {
    Make(Quiet());
    Send("Y");
    EXPECT_EQ(Drain(), Lines{"M01\r"});
    SimOptions o = Quiet();
    o.fieldSource = 0x2C;
    Make(o);
    Send("Y");
    EXPECT_EQ(Drain(), Lines{"M2C\r"});
}

TEST_F(SimTest, PassSendsAnnouncedPointsBetweenBAndC) {
    Make(Quiet(16));
    Send("F0");
    Lines l = Drain();
    ASSERT_EQ(l.size(), 16u + 4u);
    EXPECT_EQ(l[0], "A0010\r");
    EXPECT_EQ(l[1], "B\r");
    for (int i = 2; i < 18; ++i)
        EXPECT_EQ(DecodeReply(l[i]).kind, Reply::V) << l[i];
    EXPECT_EQ(l[18], "C\r");
    EXPECT_EQ(l[19], "D\r");
    EXPECT_FALSE(sim->PassRunning());
    EXPECT_FALSE(sim->NextDue().has_value());
    // The next pass is started by the program, as after every "D".
    Send("F1");
    EXPECT_EQ(CountV(Drain()), 16);
    EXPECT_EQ(sim->Params().sweepKind, 1);
}

TEST_F(SimTest, PassLastsTheSweepTimeOverTheSpeedFactor) {
    SimOptions o = Quiet(10);
    o.speed = 1;
    Make(o);
    Send("F0"); // G00: 0.5 min, so a point every 3 s
    EXPECT_EQ(Drain(), (Lines{"A000A\r", "B\r"}));
    ASSERT_TRUE(sim->NextDue().has_value());
    EXPECT_EQ(*sim->NextDue() - now, 3s);
    now += 3s;
    EXPECT_EQ(CountV(Drain()), 1);
    now += 27s;
    Lines rest = Drain();
    EXPECT_EQ(CountV(rest), 9);
    EXPECT_EQ(rest.back(), "D\r");

    o.speed = 4;
    Make(o);
    Send("G03"); // 4 min at four times the speed: 1 min per pass
    Send("F0");
    Drain();
    EXPECT_EQ(*sim->NextDue() - now, 6s);
}

TEST_F(SimTest, AbortAnswersFThenDAndStopsThePass) {
    SimOptions o = Quiet(100);
    o.speed = 1;
    Make(o);
    Send("F0");
    now += 3s; // 0.3 s per point: 10 points due
    Lines l = Drain();
    EXPECT_EQ(CountV(l), 10);
    Send("N");
    EXPECT_EQ(Drain(), (Lines{"F\r", "D\r"}));
    now += 1h;
    EXPECT_TRUE(Drain().empty());
    // Abort while idle is answered the same way.
    Send("N");
    EXPECT_EQ(Drain(), (Lines{"F\r", "D\r"}));
}

TEST_F(SimTest, HoldKeepsReadingTheSamePointWithoutAdvancing) {
    SimOptions o = Quiet(10);
    o.speed = 1;
    Make(o);
    Send("F0");
    now += 9s;
    EXPECT_EQ(CountV(Drain()), 3);
    Send("Q1");
    EXPECT_EQ(Drain(), Lines{"H1\r"});
    EXPECT_TRUE(sim->Holding());
    const double held = sim->Signal(2);
    std::vector<std::string> live;
    for (int i = 0; i < 5; ++i) {
        now += 3s; // the sweep would have moved on by now
        Lines l = Drain();
        ASSERT_EQ(CountV(l), 1);
        live.push_back(l[0]);
    }
    EXPECT_EQ(sim->PointsSent(), 3);
    for (const auto& l : live)
        EXPECT_NEAR(DecodeReply(l).raw / double(sim->Divisor()), held, 1e-4);
    // The live reading follows parameter changes made during the hold.
    Send("D2E0");
    now += 3s;
    Lines louder = Drain();
    ASSERT_EQ(CountV(louder), 1);
    EXPECT_NE(louder[0], live.back());

    Send("Q0");
    EXPECT_EQ(Drain(), Lines{"H0\r"});
    now += 1h;
    Lines rest = Drain();
    EXPECT_EQ(CountV(rest), 7);
    EXPECT_EQ(rest.back(), "D\r");
}

TEST_F(SimTest, HoldAtSpeedZeroIsPacedNotFlooded) {
    Make(Quiet(4));
    Send("Q1");
    Send("F0"); // a new pass starts running
    EXPECT_EQ(CountV(Drain()), 4);
    Send("F0");
    sim->Take(now); // A
    sim->Take(now); // B
    Send("Q1");
    Lines l = Drain();
    EXPECT_EQ(l, Lines{"H1\r"});
    now += 50ms;
    EXPECT_EQ(CountV(Drain()), 1);
}

TEST_F(SimTest, DefaultSettingsPutTheLineInTheMiddleOfTheSweep) {
    Make(Quiet(201));
    std::vector<double> v = Pass();
    ASSERT_EQ(v.size(), 201u);
    int lo = IndexOfMinimum(v);
    int hi = IndexOfMaximum(v);
    EXPECT_EQ(lo + hi, 200); // symmetric about the centre point
    EXPECT_GT(v[static_cast<std::size_t>(hi)], 100);
    EXPECT_LT(v[static_cast<std::size_t>(lo)], -100);
    EXPECT_NEAR(v[100], 0, 1e-3);
    EXPECT_LT(std::abs(v.front()) + std::abs(v.back()), 40);
}

TEST_F(SimTest, FieldAndFrequencyMoveTheLineInOppositeDirections) {
    Make(Quiet(201));
    Send("B1080F"); // +1.6 Gs: the resonance comes earlier in the field sweep
    std::vector<double> up = Pass();
    EXPECT_LT(IndexOfMinimum(up) + IndexOfMaximum(up), 200 - 40);

    Make(Quiet(201));
    Send("J00D5B4FC"); // 14005.5 kHz: resonance at a higher field
    std::vector<double> f = Pass();
    EXPECT_GT(IndexOfMinimum(f) + IndexOfMaximum(f), 200 + 40);

    // A wider range squeezes the line into fewer points.
    Make(Quiet(201));
    Send("H009");
    std::vector<double> wide = Pass();
    EXPECT_LT(std::abs(IndexOfMaximum(wide) - IndexOfMinimum(wide)), 4);
}

TEST_F(SimTest, FrequencySweepAlsoCentresTheLine) {
    Make(Quiet(201));
    std::vector<double> v = Pass("F1");
    EXPECT_EQ(IndexOfMinimum(v) + IndexOfMaximum(v), 200);
    EXPECT_GT(v[static_cast<std::size_t>(IndexOfMaximum(v))], 100);
}

TEST_F(SimTest, GainModulationAndPhaseShapeTheSignal) {
    Make(Quiet(201));
    const double base = sim->Signal(90);
    Send("D200"); // gain 255
    EXPECT_NEAR(sim->Signal(90) / base, 100.0, 1e-6);
    Send("D2FF");
    Send("R00A"); // 0.1 Gs: twice the default amplitude, slightly broadened
    EXPECT_GT(sim->Signal(90) / base, 1.8);
    EXPECT_LT(sim->Signal(90) / base, 2.0);
    Send("R005");
    // 90 degrees of phase gives the dispersion, which peaks at the centre.
    EXPECT_NEAR(sim->Signal(100), 0, 1e-3);
    Send("E3C");
    EXPECT_GT(std::abs(sim->Signal(100)), 100);
}

TEST_F(SimTest, EsrModeNeedsEsrFieldAndFrequency) {
    Make(Quiet(201));
    Send("P1");
    std::vector<double> off = Pass();
    EXPECT_LT(std::abs(off[static_cast<std::size_t>(IndexOfMaximum(off))]), 1);
    Send("J02FAF080"); // 50 MHz
    Send("H100");      // 2 Gs
    std::vector<double> on = Pass();
    EXPECT_EQ(IndexOfMinimum(on) + IndexOfMaximum(on), 200);
    EXPECT_GT(on[static_cast<std::size_t>(IndexOfMaximum(on))], 100);
}

TEST_F(SimTest, RawValuesScaleWithTheVersionDivisor) {
    SimOptions o = Quiet(21);
    Make(o);
    EXPECT_EQ(sim->Divisor(), 76000);
    std::vector<double> v2 = Pass();
    o.version = "1.0";
    Make(o);
    EXPECT_EQ(sim->Divisor(), 13500);
    std::vector<double> v1 = Pass();
    ASSERT_EQ(v1.size(), v2.size());
    for (std::size_t i = 0; i < v1.size(); ++i)
        EXPECT_NEAR(v1[i], v2[i], 1e-3);
}

TEST_F(SimTest, ConverterOverrangeIsFlaggedAndClipped) {
    Make(Quiet(41));
    Send("D200");
    Send("F0");
    int flagged = 0;
    for (const auto& l : Drain()) {
        Reply r = DecodeReply(l);
        if (r.kind != Reply::V)
            continue;
        EXPECT_LE(std::abs(static_cast<double>(r.raw)), Spectrometer::kConverterLimit * 76000);
        if (r.outOfRange) {
            ++flagged;
            EXPECT_EQ(std::abs(static_cast<double>(r.raw)), Spectrometer::kConverterLimit * 76000);
        }
    }
    EXPECT_GT(flagged, 0);
}

TEST_F(SimTest, NoiseIsSeeded) {
    SimOptions o = Quiet(32);
    o.noise = 3;
    Make(o);
    std::vector<double> a = Pass();
    Make(o);
    EXPECT_EQ(Pass(), a);
    o.seed = 2;
    Make(o);
    EXPECT_NE(Pass(), a);
}

TEST_F(SimTest, EveryParameterCommandIsKept) {
    Make(Quiet());
    for (const char* c : {"E1F", "D2C8", "D137", "R122", "H107", "G03", "B1002F", "J02FAF080",
                          "K000F4240", "P1", "S0", "T06DA", "X2"})
        Send(c);
    const DeviceParams& p = sim->Params();
    EXPECT_EQ(p.phase, 0x1F);
    EXPECT_EQ(p.gainCode, 0xC8);
    EXPECT_EQ(p.modAmpRawCode, 0x37);
    EXPECT_EQ(p.modAmpEsr, 1);
    EXPECT_EQ(p.modAmpCode, 0x22);
    EXPECT_EQ(p.rangeEsr, 1);
    EXPECT_EQ(p.rangeIndex, 7);
    EXPECT_EQ(p.sweepTime, 3);
    EXPECT_EQ(p.fieldTuning, 0x2F);
    EXPECT_EQ(p.frequencyHz, 50'000'000);
    EXPECT_EQ(p.freqRangeHz, 1'000'000);
    EXPECT_EQ(p.mode, 1);
    EXPECT_EQ(p.currentDirection, 0);
    EXPECT_EQ(p.modFrequency, 1754);
    EXPECT_EQ(p.controlMode, 2);
    EXPECT_EQ(sim->IgnoredCommands(), 0);
    EXPECT_TRUE(Drain().empty()); // parameter commands have no reply
}

TEST_F(SimTest, MalformedCommandsAreIgnored) {
    Make(Quiet());
    for (const char* c : {"EZZ", "D3FF", "D2F", "B207FF", "J123", "Q", "F", "W", "R0", "Px"})
        Send(c);
    EXPECT_EQ(sim->IgnoredCommands(), 10);
    EXPECT_EQ(sim->Params().phase, 0);
    EXPECT_EQ(sim->Params().gainCode, 0xFF);
    EXPECT_TRUE(Drain().empty());
    // A start during a pass is not obeyed.
    SimOptions o = Quiet(10);
    o.speed = 1;
    Make(o);
    Send("F0");
    Drain();
    Send("F1");
    EXPECT_EQ(sim->IgnoredCommands(), 1);
    EXPECT_EQ(sim->Params().sweepKind, 0);
}

TEST_F(SimTest, StopFaultSilencesThePassButAnswersHoldAndAbort) {
    SimOptions o = Quiet(20);
    o.stopAfter.afterPoints = 7;
    Make(o);
    Send("F0");
    Lines l = Drain();
    EXPECT_EQ(CountV(l), 7);
    EXPECT_EQ(l.back()[0], 'V');
    EXPECT_FALSE(sim->NextDue().has_value());
    Send("Q1");
    now += 1s;
    EXPECT_EQ(Drain(), Lines{"H1\r"});
    Send("N");
    EXPECT_EQ(Drain(), (Lines{"F\r", "D\r"}));
    // The fault fires once; the next pass completes.
    Send("F0");
    EXPECT_EQ(CountV(Drain()), 20);
}

TEST_F(SimTest, ErrorAndFieldSourceFaultsArriveMidPass) {
    SimOptions o = Quiet(10);
    o.errorAfter.afterPoints = 4;
    o.errorCode = "0012";
    o.fieldSourceAfter.afterPoints = 6;
    o.laterFieldSource = 3;
    Make(o);
    Send("F0");
    Lines l = Drain();
    ASSERT_EQ(l.size(), 10u + 4u + 2u);
    EXPECT_EQ(l[6], "E0012\r"); // after A, B and four points
    EXPECT_EQ(l[9], "M03\r");
    EXPECT_EQ(CountV(l), 10);
    EXPECT_EQ(l.back(), "D\r");
    Send("Y");
    EXPECT_EQ(Drain(), Lines{"M03\r"});
}

TEST_F(SimTest, DropFaultIsRaisedWithTheKthPoint) {
    SimOptions o = Quiet(10);
    o.dropAfter.afterPoints = 3;
    Make(o);
    Send("F0");
    int points = 0;
    while (auto l = sim->Take(now)) {
        points += l->bytes[0] == 'V';
        if (sim->DropRequested())
            break;
    }
    EXPECT_EQ(points, 3);
}

TEST_F(SimTest, GarbageNeverFormsAReplyAndLeavesTheOtherLinesIntact) {
    SimOptions o = Quiet(50);
    o.garbageEvery = 3;
    o.seed = 7;
    Make(o);
    Send("Z");
    Send("F0");
    std::string stream;
    Lines real;
    int garbage = 0;
    while (auto l = sim->Take(now)) {
        stream += l->bytes;
        if (l->garbage) {
            ++garbage;
        } else if (real.size() % 3 == 2) {
            // The garbage after this line is due at once.
            ASSERT_TRUE(sim->NextDue().has_value());
            EXPECT_EQ(*sim->NextDue(), now);
        }
        if (l->garbage) {
            EXPECT_EQ(l->bytes.find('\r'), l->bytes.size() - 1);
            EXPECT_EQ(DecodeReply(l->bytes).kind, Reply::Ignored);
        } else {
            real.push_back(l->bytes);
        }
    }
    EXPECT_EQ(real.size(), 2u + 50u + 4u);
    EXPECT_EQ(garbage, static_cast<int>(real.size()) / 3);
    // What a reader assembles from the byte stream is exactly the real lines.
    LineAssembler a;
    Lines parsed;
    for (char c : stream) {
        if (a.Push(c) && DecodeReply(a.Line()).kind != Reply::Ignored)
            parsed.push_back(a.Line());
    }
    EXPECT_EQ(parsed, real);
}

TEST(Garbage, CoversTheAwkwardBytes) {
    std::mt19937 rng(1);
    bool nul = false, ff = false, lf = false;
    for (int i = 0; i < 500; ++i) {
        std::string g = Spectrometer::MakeGarbage(rng);
        ASSERT_EQ(g.find('\r'), g.size() - 1);
        ASSERT_EQ(DecodeReply(g).kind, Reply::Ignored);
        nul |= g.find('\0') != std::string::npos;
        ff |= g.find('\xFF') != std::string::npos;
        lf |= g.find('\n') != std::string::npos;
    }
    EXPECT_TRUE(nul && ff && lf);
}

} // namespace
} // namespace tavi::sim
