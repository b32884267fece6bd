// SPDX-License-Identifier: GPL-3.0-or-later
// The fault tests count points by the verdicts the simulator logs with each
// damaged line; here those verdicts are held against the program's own line
// assembly and decoder, so the tests' arithmetic rests on the real parser.
#include "common/Usr.h"
#include "device/ReplyParser.h"
#include "sim/Spectrometer.h"

#include <gtest/gtest.h>
#include <map>
#include <random>

namespace tavi::test {
namespace {

using sim::Corruption;
using sim::Spectrometer;

struct Outcome {
    int errors = 0;
    int points = 0;
    int otherReplies = 0;
    std::int32_t raw = 0;
};

Outcome Feed(const std::string& bytes) {
    Outcome o;
    LineAssembler assembler;
    for (char c : bytes) {
        if (!assembler.Push(c))
            continue;
        try {
            const Reply r = DecodeReply(assembler.Line());
            if (r.kind == Reply::V) {
                ++o.points;
                o.raw = r.raw;
            } else if (r.kind != Reply::Ignored) {
                ++o.otherReplies;
            }
        } catch (const EConvertError&) {
            ++o.errors;
        }
    }
    return o;
}

TEST(SimCorruption, EveryVerdictIsWhatTheParserMakesOfTheLine) {
    std::mt19937 rng(5);
    std::map<int, int> kinds;
    for (int i = 0; i < 20000; ++i) {
        const std::int32_t raw = static_cast<std::int32_t>(rng());
        const std::string line =
            std::string("V") + (i % 3 == 0 ? '!' : ' ') + HexDigits(std::uint32_t(raw), 8) + "\r";
        const Corruption c = Spectrometer::Corrupt(line, rng);
        ++kinds[c.kind];
        ASSERT_FALSE(c.bytes.empty());
        ASSERT_EQ(c.bytes.back(), '\r');
        const Outcome o = Feed(c.bytes);
        const std::string shown = Spectrometer::KindName(c.kind);
        ASSERT_EQ(o.otherReplies, 0) << shown << " made a reply of its own";
        switch (c.verdict) {
        case Corruption::Reported:
            ASSERT_EQ(o.errors, 1) << shown;
            ASSERT_EQ(o.points, 0) << shown;
            break;
        case Corruption::Ignored:
            ASSERT_EQ(o.errors, 0) << shown;
            ASSERT_EQ(o.points, 0) << shown;
            break;
        case Corruption::Intact:
            ASSERT_EQ(o.errors, 0) << shown;
            ASSERT_EQ(o.points, 1) << shown;
            ASSERT_EQ(o.raw, raw) << shown;
            break;
        }
    }
    EXPECT_EQ(kinds.size(), 6u); // every kind was drawn
}

TEST(SimCorruption, TheSimulatorDamagesEveryKthPointLineOnly) {
    sim::SimOptions o;
    o.points = 60;
    o.speed = 0;
    o.corruptEvery = 4;
    Spectrometer s(o);
    const auto now = sim::SimClock::now();
    s.Receive("F0", now);
    int v = 0, damaged = 0;
    while (auto line = s.Take(now)) {
        if (!line->note.empty()) {
            ++damaged;
            EXPECT_EQ(line->note.rfind("corrupt ", 0), 0u) << line->note;
        } else if (line->bytes[0] == 'V') {
            ++v;
        } else {
            EXPECT_NE(std::string("ABCD").find(line->bytes[0]), std::string::npos);
        }
    }
    EXPECT_EQ(damaged, 15);
    EXPECT_EQ(v, 45);
}

TEST(SimCorruption, AFloodIsOneLineOfTheGivenLengthWithoutAnInnerCR) {
    sim::SimOptions o;
    o.points = 10;
    o.speed = 0;
    o.floodAfter.afterPoints = 3;
    o.floodBytes = 100000;
    Spectrometer s(o);
    const auto now = sim::SimClock::now();
    s.Receive("F0", now);
    int floods = 0, points = 0;
    while (auto line = s.Take(now)) {
        if (line->note == "flood 100000") {
            ++floods;
            EXPECT_EQ(points, 3);
            ASSERT_EQ(line->bytes.size(), 100001u);
            EXPECT_EQ(line->bytes.find('\r'), 100000u);
        } else {
            points += line->bytes[0] == 'V';
        }
    }
    EXPECT_EQ(floods, 1);
    EXPECT_EQ(points, 10);
}

} // namespace
} // namespace tavi::test

namespace tavi::test {
namespace {

std::string ErrorOf(const std::string& line) {
    try {
        DecodeReply(line);
    } catch (const EConvertError& e) {
        return e.what();
    }
    return "(no error)";
}

// The message reaches a message box as a C string: a NUL inside would cut it
// short, other control bytes and 8-bit bytes would show as nothing useful.
TEST(ReplyErrors, AMessageShowsEveryByteOfTheBrokenField) {
    EXPECT_EQ(ErrorOf(std::string("V 00\0"
                                  "1A2B3\r",
                                  11)),
              "'00\\x001A2B3' is not a valid integer value");
    EXPECT_EQ(ErrorOf("V 0\xFF\n1A2B3\r"), "'0\\xFF\\x0A1A2B3' is not a valid integer value");
    EXPECT_EQ(ErrorOf("A04G0\r"), "'04G0' is not a valid integer value");
    EXPECT_EQ(ErrorOf("V 00\r"), "'00' is not a valid integer value");
}

} // namespace
} // namespace tavi::test
