// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated spectrometer: takes command lines, produces reply lines with
// the time each becomes due. No I/O and no clock of its own: the caller passes
// the current time into every call, so tests drive it with a fake clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace tavi::sim {

using SimClock = std::chrono::steady_clock;
using TimePoint = SimClock::time_point;

// A fault that fires once, when the K-th point of a pass has been sent.
struct PointFault {
    int afterPoints = -1; // < 0: never
    bool Armed() const { return afterPoints >= 0; }
};

struct SimOptions {
    int points = 1024;           // N of the "A" reply, 1..65535
    double speed = 1.0;          // pass duration = sweep time / speed; 0 = no pacing
    std::string serial = "0042"; // padded or cut to 4 characters
    std::string version = "2.0"; // padded or cut to 3 characters
    int fieldSource = 1;         // "M" code after "Y"
    std::uint32_t seed = 1;      // noise and garbage
    int firstOffset = 0;         // "X": NMR field-zero offset
    int secondOffset = 0;        // "X": ESR field-zero offset
    double noise = 1.5;          // noise sigma in display units at gain 0

    PointFault stopAfter;                       // go silent in the pass (N and Q still answered)
    PointFault errorAfter;                      // send "E" + errorCode
    std::string errorCode = "0001";             //
    PointFault fieldSourceAfter;                // send "M" + hex2(laterFieldSource)
    int laterFieldSource = 3;                   //
    PointFault dropAfter;                       // the driver closes the line
    int garbageEvery = 0;                       // > 0: a garbage line after every K lines
    int corruptEvery = 0;                       // > 0: damage every K-th "V" line from inside
    PointFault floodAfter;                      // send floodBytes bytes without CR, then CR
    std::size_t floodBytes = 1 << 20;           //
    std::chrono::milliseconds holdInterval{50}; // V rate during a hold, at least
};

// One unit of output. Garbage is a complete junk line (see MakeGarbage).
struct OutLine {
    std::string bytes; // ends in CR
    bool garbage = false;
    // Set for a damaged "V" line or a flood: what the log says instead of
    // the line itself ("corrupt ..." or "flood N").
    std::string note = {};
};

// How a "V" line was damaged, and what a reader following the reply grammar
// makes of it.
struct Corruption {
    enum Kind : std::uint8_t { Replace, Insert, Split, Truncate, Prefix, Tail };
    enum Verdict : std::uint8_t {
        Reported, // a hex field is broken: a conversion error, the point is lost
        Ignored,  // the first character is no reply letter: dropped silently
        Intact    // only the bytes after the value changed: the point counts
    };
    std::string bytes; // what is sent, CR(s) included
    Kind kind = Replace;
    Verdict verdict = Reported;
};

// Device state: the last value of every parameter command, as received.
struct DeviceParams {
    int phase = 0;                         // E, steps of 1.5 degrees
    int gainCode = 0xFF;                   // D2, 255 - gain
    int modAmpRawCode = 0xFF;              // D1
    int modAmpEsr = 0;                     // R digit
    int modAmpCode = 5;                    // R hex, amplitude x 100 in Gs
    int rangeEsr = 0;                      // H digit
    int rangeIndex = 0;                    // H hex, field sweep range index - 1
    int sweepTime = 0;                     // G, 0.5 * 2^value minutes
    int fieldTuning = 2047;                // B1, position + 2047
    std::int64_t frequencyHz = 14'000'000; // J
    std::int64_t freqRangeHz = 50'000;     // K
    int mode = 0;                          // P, 1 = ESR
    int currentDirection = 1;              // S
    int modFrequency = 0;                  // T
    int controlMode = 0;                   // X
    int sweepKind = 0;                     // F digit of the last pass, 1 = frequency sweep
};

class Spectrometer {
public:
    explicit Spectrometer(SimOptions options);

    // One command line, with or without its CR. Unknown or malformed
    // commands are ignored and counted.
    void Receive(std::string_view command, TimePoint now);

    // The next line whose time has come, if any.
    std::optional<OutLine> Take(TimePoint now);
    // When the next line becomes due; nothing while idle or silenced.
    std::optional<TimePoint> NextDue() const;

    // True once the point that triggers the drop fault has been taken.
    bool DropRequested() const { return dropRequested_; }

    const DeviceParams& Params() const { return params_; }
    const SimOptions& Options() const { return options_; }
    bool PassRunning() const { return pass_.running; }
    bool Holding() const { return holding_; }
    int PointsSent() const { return pass_.next; }
    int IgnoredCommands() const { return ignoredCommands_; }
    int FieldSource() const { return fieldSource_; }
    std::int32_t Divisor() const { return version_ == "2.0" ? 76000 : 13500; }

    // The noise-free signal of point `index` in display units (raw / divisor)
    // under the current parameters, before the converter limit.
    double Signal(int index) const;
    // The converter's limit in display units; beyond it points carry '!'.
    static constexpr double kConverterLimit = 512.0;

    // A junk line that every reply parser must ignore: first byte outside the
    // reply letters (NUL, 0xFF, LF, DEL, ESC, 0x80, '#' or '?'), then 0 to 15
    // random bytes other than CR (NUL, 0xFF, LF included), then one CR.
    static std::string MakeGarbage(std::mt19937& rng);
    // Damages one "V" line (with its CR) from inside; see Corruption.
    static Corruption Corrupt(const std::string& vLine, std::mt19937& rng);
    static const char* KindName(Corruption::Kind kind);
    static const char* VerdictName(Corruption::Verdict verdict);

private:
    struct Pass {
        bool running = false;
        int next = 0;        // index of the next point
        TimePoint nextDue{}; // when it (or the next hold line) is due
    };

    void Queue(std::string line, TimePoint due);
    void StartPass(int kind, TimePoint now);
    void EndPass(TimePoint now);
    std::string PointLine(int index);
    void AfterPoint(TimePoint now);
    SimClock::duration PointInterval() const;
    std::optional<OutLine> Emit(std::string bytes, TimePoint now);

    SimOptions options_;
    DeviceParams params_;
    std::string serial_;
    std::string version_;
    int fieldSource_;
    Pass pass_;
    bool holding_ = false;
    bool silenced_ = false; // the stop fault has fired in this pass
    bool stopFired_ = false, errorFired_ = false, sourceFired_ = false, dropFired_ = false;
    bool dropRequested_ = false;
    int ignoredCommands_ = 0;
    int linesSinceGarbage_ = 0;
    int vLinesSinceCorrupt_ = 0;
    bool floodFired_ = false;
    struct Pending {
        TimePoint due;
        std::string line; // with its CR
        bool garbage;
        std::string note = {}; // a flood: logged as this, sent as it is
    };
    std::deque<Pending> queue_;
    std::mt19937 noiseRng_;
    std::mt19937 garbageRng_;
    std::mt19937 corruptRng_;
    std::normal_distribution<double> gauss_{0.0, 1.0};
};

} // namespace tavi::sim
