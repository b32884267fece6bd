// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/Spectrometer.h"

#include "common/Usr.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tavi::sim {

namespace {

// Field sweep ranges in Gs by the "H" digit and index.
constexpr double kFieldRangeGs[2][10] = {
    {5, 10, 15, 20, 30, 50, 75, 100, 150, 300},
    {2, 3, 5, 7.5, 10, 15, 20, 30, 1, 1},
};

// The sample: resonances with their gyromagnetic ratio (kHz/Gs), half width
// at half height (Gs) and relative strength.
struct Resonance {
    double gammaKHzPerGs;
    double widthGs;
    double weight;
};
// A proton sample with some fluorine in it, so that the 19F frequency finds
// a line too; and a radical for ESR.
constexpr Resonance kNmrLines[] = {{4.2577469, 0.6, 1.0}, {4.005560551113, 0.8, 0.6}};
constexpr Resonance kEsrLines[] = {{2802.0, 0.25, 1.0}};

// Field at B1 position 0 (offset removed) and field per position.
constexpr double kNmrBaseGs = 14000.0 / 4.2577469;
constexpr double kNmrStepGs = 0.1;
constexpr double kEsrBaseGs = 50000.0 / 2802.0;
constexpr double kEsrStepGs = 0.0006375;

// Peak height in display units at gain 0 and 0.05 Gs modulation.
constexpr double kBaseHeight = 150.0;
constexpr double kBaseModAmpGs = 0.05;
// Peak of -2u/(1+u^2)^2, to scale the absorption derivative to 1.
const double kDerivativePeak = 3.0 * std::sqrt(3.0) / 8.0;

std::string Fixed(std::string text, std::size_t n) {
    text.resize(n, ' ');
    return text;
}

std::optional<std::int64_t> Hex(std::string_view body, std::size_t from, std::size_t count) {
    if (body.size() < from - 1 + count)
        return std::nullopt;
    try {
        return HexToInt(body.substr(from - 1, count));
    } catch (const EConvertError&) {
        return std::nullopt;
    }
}

std::optional<int> DigitAt(std::string_view body, std::size_t pos) {
    if (body.size() < pos || body[pos - 1] < '0' || body[pos - 1] > '9')
        return std::nullopt;
    return body[pos - 1] - '0';
}

} // namespace

Spectrometer::Spectrometer(SimOptions options)
    : options_(std::move(options)), serial_(Fixed(options_.serial, 4)),
      version_(Fixed(options_.version, 3)), fieldSource_(options_.fieldSource),
      noiseRng_(options_.seed), garbageRng_(options_.seed ^ 0x9E3779B9u),
      corruptRng_(options_.seed ^ 0x85EBCA6Bu) {
    options_.points = std::clamp(options_.points, 1, 65535);
    options_.speed = std::max(options_.speed, 0.0);
}

void Spectrometer::Queue(std::string line, TimePoint due) {
    line += '\r';
    queue_.push_back({due, std::move(line), false});
}

void Spectrometer::Receive(std::string_view command, TimePoint now) {
    std::string_view body = command.substr(0, command.find_first_of("\r\n"));
    if (body.empty())
        return;
    bool ok = true;
    auto store = [&](std::optional<std::int64_t> v, auto& field) {
        if (v)
            field = static_cast<std::remove_reference_t<decltype(field)>>(*v);
        else
            ok = false;
    };
    switch (body[0]) {
    case 'E':
        store(Hex(body, 2, 2), params_.phase);
        break;
    case 'D':
        if (body.size() >= 2 && body[1] == '2')
            store(Hex(body, 3, 2), params_.gainCode);
        else if (body.size() >= 2 && body[1] == '1')
            store(Hex(body, 3, 2), params_.modAmpRawCode);
        else
            ok = false;
        break;
    case 'R':
    case 'H': {
        auto digit = DigitAt(body, 2);
        auto value = Hex(body, 3, 2);
        if (!digit || !value) {
            ok = false;
        } else if (body[0] == 'R') {
            params_.modAmpEsr = *digit;
            params_.modAmpCode = static_cast<int>(*value);
        } else {
            params_.rangeEsr = *digit;
            params_.rangeIndex = static_cast<int>(*value);
        }
        break;
    }
    case 'G':
        store(Hex(body, 2, 2), params_.sweepTime);
        break;
    case 'B':
        if (body.size() >= 2 && body[1] == '1')
            store(Hex(body, 3, 4), params_.fieldTuning);
        else
            ok = false;
        break;
    case 'J':
        store(Hex(body, 2, 8), params_.frequencyHz);
        break;
    case 'K':
        store(Hex(body, 2, 8), params_.freqRangeHz);
        break;
    case 'P':
        store(DigitAt(body, 2), params_.mode);
        break;
    case 'S':
        store(DigitAt(body, 2), params_.currentDirection);
        break;
    case 'T':
        store(Hex(body, 2, 4), params_.modFrequency);
        break;
    case 'X':
        store(DigitAt(body, 2), params_.controlMode);
        break;
    case 'Z':
        Queue("Z" + serial_ + version_, now);
        Queue("X" + HexDigits(options_.firstOffset + 2047, 4) +
                  HexDigits(options_.secondOffset + 2047, 4),
              now);
        break;
    case 'Y':
        Queue("M" + HexDigits(fieldSource_, 2), now);
        break;
    case 'F': {
        auto digit = DigitAt(body, 2);
        // A start while a pass runs is not obeyed: the device is busy.
        if (!digit || pass_.running)
            ok = false;
        else
            StartPass(*digit == 1 ? 1 : 0, now);
        break;
    }
    case 'N':
        pass_.running = false;
        holding_ = false;
        silenced_ = false;
        Queue("F", now);
        Queue("D", now);
        break;
    case 'Q': {
        auto digit = DigitAt(body, 2);
        if (!digit) {
            ok = false;
            break;
        }
        holding_ = *digit == 1;
        Queue(holding_ ? "H1" : "H0", now);
        // Holding starts the live readings; continuing resumes the sweep
        // where it stopped.
        pass_.nextDue =
            now + (holding_ ? std::chrono::duration_cast<SimClock::duration>(options_.holdInterval)
                            : PointInterval());
        break;
    }
    default:
        ok = false;
        break;
    }
    if (!ok)
        ++ignoredCommands_;
}

SimClock::duration Spectrometer::PointInterval() const {
    if (options_.speed <= 0.0)
        return SimClock::duration::zero();
    const double minutes = 0.5 * std::pow(2.0, std::clamp(params_.sweepTime, 0, 16));
    const std::chrono::duration<double> pass(minutes * 60.0 / options_.speed);
    return std::chrono::round<SimClock::duration>(pass / options_.points);
}

void Spectrometer::StartPass(int kind, TimePoint now) {
    params_.sweepKind = kind;
    pass_.running = true;
    pass_.next = 0;
    pass_.nextDue = now + PointInterval();
    holding_ = false;
    silenced_ = false;
    Queue("A" + HexDigits(options_.points, 4), now);
    Queue("B", now);
    AfterPoint(now);
}

void Spectrometer::EndPass(TimePoint now) {
    pass_.running = false;
    Queue("C", now);
    Queue("D", now);
}

void Spectrometer::AfterPoint(TimePoint now) {
    const int sent = pass_.next;
    if (options_.errorAfter.Armed() && !errorFired_ && sent == options_.errorAfter.afterPoints) {
        errorFired_ = true;
        Queue("E" + options_.errorCode, now);
    }
    if (options_.fieldSourceAfter.Armed() && !sourceFired_ &&
        sent == options_.fieldSourceAfter.afterPoints) {
        sourceFired_ = true;
        fieldSource_ = options_.laterFieldSource;
        Queue("M" + HexDigits(fieldSource_, 2), now);
    }
    if (options_.dropAfter.Armed() && !dropFired_ && sent == options_.dropAfter.afterPoints) {
        dropFired_ = true;
        dropRequested_ = true;
    }
    if (options_.floodAfter.Armed() && !floodFired_ && sent == options_.floodAfter.afterPoints) {
        floodFired_ = true;
        std::string flood;
        flood.reserve(options_.floodBytes + 1);
        for (std::size_t i = 0; i < options_.floodBytes; ++i) {
            char c = static_cast<char>(corruptRng_() & 0xFF);
            flood += c == '\r' ? '\n' : c;
        }
        flood += '\r';
        queue_.push_back(
            {now, std::move(flood), false, "flood " + std::to_string(options_.floodBytes)});
    }
    if (options_.stopAfter.Armed() && !stopFired_ && sent == options_.stopAfter.afterPoints) {
        stopFired_ = true;
        silenced_ = true;
    }
    if (sent >= options_.points && !silenced_)
        EndPass(now);
}

double Spectrometer::Signal(int index) const {
    const bool esr = params_.mode == 1;
    const int position = params_.fieldTuning - 2047;
    const int offset = esr ? options_.secondOffset : options_.firstOffset;
    double fieldGs =
        (esr ? kEsrStepGs : kNmrStepGs) * (position - offset) + (esr ? kEsrBaseGs : kNmrBaseGs);
    double frequencyKHz = static_cast<double>(params_.frequencyHz) / 1000.0;

    // Where the sweep is: -1/2 .. +1/2 of the range.
    const int n = options_.points;
    const double along = n > 1 ? static_cast<double>(index) / (n - 1) - 0.5 : 0.0;
    if (params_.sweepKind == 0) {
        const int row = params_.rangeEsr == 1 ? 1 : 0;
        const int column = std::clamp(params_.rangeIndex, 0, 9);
        fieldGs += along * kFieldRangeGs[row][column];
    } else {
        frequencyKHz += along * static_cast<double>(params_.freqRangeHz) / 1000.0;
    }

    const double gain = 255 - std::clamp(params_.gainCode, 0, 255);
    const double gainFactor = std::pow(10.0, gain / 127.5);
    const double modAmpGs = params_.modAmpCode / 100.0;
    const double phase = params_.phase * 1.5 * std::numbers::pi / 180.0;

    double sum = 0.0;
    auto add = [&](const Resonance& r) {
        // Overmodulation broadens the line and flattens it.
        const double width = std::hypot(r.widthGs, modAmpGs / 2.0);
        const double u = (fieldGs - frequencyKHz / r.gammaKHzPerGs) / width;
        const double d = (1.0 + u * u) * (1.0 + u * u);
        const double absorption = -2.0 * u / d / kDerivativePeak;
        const double dispersion = (1.0 - u * u) / d;
        const double height = kBaseHeight * r.weight * gainFactor * (modAmpGs / kBaseModAmpGs) *
                              (r.widthGs / width) * (r.widthGs / width);
        sum += height * (std::cos(phase) * absorption + std::sin(phase) * dispersion);
    };
    if (esr) {
        for (const auto& r : kEsrLines)
            add(r);
    } else {
        for (const auto& r : kNmrLines)
            add(r);
    }
    return sum;
}

std::string Spectrometer::PointLine(int index) {
    const double gain = 255 - std::clamp(params_.gainCode, 0, 255);
    double value =
        Signal(index) + options_.noise * std::pow(10.0, gain / 127.5) * gauss_(noiseRng_);
    const bool outOfRange = std::abs(value) > kConverterLimit;
    value = std::clamp(value, -kConverterLimit, kConverterLimit);
    const auto raw = static_cast<std::int64_t>(std::llround(value * Divisor()));
    std::string line = "V";
    line += outOfRange ? '!' : ' ';
    line += HexDigits(raw, 8);
    return line;
}

std::optional<OutLine> Spectrometer::Emit(std::string bytes, TimePoint now) {
    if (options_.garbageEvery > 0 && ++linesSinceGarbage_ >= options_.garbageEvery) {
        linesSinceGarbage_ = 0;
        queue_.push_front({now, MakeGarbage(garbageRng_), true});
    }
    if (options_.corruptEvery > 0 && !bytes.empty() && bytes[0] == 'V' &&
        ++vLinesSinceCorrupt_ >= options_.corruptEvery) {
        vLinesSinceCorrupt_ = 0;
        Corruption c = Corrupt(bytes, corruptRng_);
        std::string note = std::string("corrupt ") + KindName(c.kind) + " " +
                           VerdictName(c.verdict) + " " + bytes.substr(0, bytes.find('\r')) + " =";
        for (char b : c.bytes)
            note += " " + HexDigits(static_cast<unsigned char>(b), 2);
        return OutLine{std::move(c.bytes), false, std::move(note)};
    }
    return OutLine{std::move(bytes), false};
}

std::optional<OutLine> Spectrometer::Take(TimePoint now) {
    if (!queue_.empty() && queue_.front().due <= now) {
        Pending p = std::move(queue_.front());
        queue_.pop_front();
        if (p.garbage)
            return OutLine{std::move(p.line), true};
        if (!p.note.empty())
            return OutLine{std::move(p.line), false, std::move(p.note)};
        return Emit(std::move(p.line), now);
    }
    if (!pass_.running || silenced_ || pass_.nextDue > now)
        return std::nullopt;
    if (holding_) {
        // The sweep stands still; the reading at its position goes on.
        pass_.nextDue =
            now + std::max(PointInterval(),
                           std::chrono::duration_cast<SimClock::duration>(options_.holdInterval));
        return Emit(PointLine(std::max(pass_.next - 1, 0)) + '\r', now);
    }
    std::string line = PointLine(pass_.next) + '\r';
    ++pass_.next;
    pass_.nextDue += PointInterval();
    AfterPoint(now);
    return Emit(std::move(line), now);
}

std::optional<TimePoint> Spectrometer::NextDue() const {
    if (!queue_.empty())
        return queue_.front().due;
    if (pass_.running && !silenced_)
        return pass_.nextDue;
    return std::nullopt;
}

std::string Spectrometer::MakeGarbage(std::mt19937& rng) {
    static constexpr unsigned char kFirst[] = {0x00, 0xFF, 0x0A, 0x7F, 0x1B, 0x80, '#', '?'};
    static constexpr unsigned char kNasty[] = {0x00, 0xFF, 0x0A};
    std::string out;
    out += static_cast<char>(kFirst[rng() % std::size(kFirst)]);
    const unsigned length = rng() % 16;
    for (unsigned i = 0; i < length; ++i) {
        unsigned char b = rng() % 4 == 0 ? kNasty[rng() % std::size(kNasty)]
                                         : static_cast<unsigned char>(rng() & 0xFF);
        if (b == '\r')
            b = '\n';
        out += static_cast<char>(b);
    }
    out += '\r';
    return out;
}

const char* Spectrometer::KindName(Corruption::Kind kind) {
    switch (kind) {
    case Corruption::Replace:
        return "replace";
    case Corruption::Insert:
        return "insert";
    case Corruption::Split:
        return "split";
    case Corruption::Truncate:
        return "truncate";
    case Corruption::Prefix:
        return "prefix";
    case Corruption::Tail:
        return "tail";
    }
    return "?";
}

const char* Spectrometer::VerdictName(Corruption::Verdict verdict) {
    switch (verdict) {
    case Corruption::Reported:
        return "reported";
    case Corruption::Ignored:
        return "ignored";
    case Corruption::Intact:
        return "intact";
    }
    return "?";
}

// The line is "V", a flag, eight hex digits and CR (positions 1 to 11). A
// reader looks only at positions 1 to 10; every damage below is placed with
// that in mind, so the verdict follows from the reply grammar alone.
Corruption Spectrometer::Corrupt(const std::string& vLine, std::mt19937& rng) {
    // None is a hex digit, a reply letter or CR.
    static constexpr unsigned char kBad[] = {0x00, 0xFF, 0x0A, 'G', ' ', 0x80, 'x', 0x7F, 0x1B};
    static constexpr unsigned char kLead[] = {0x00, 0xFF, 0x0A, 0x1B, 0x80, '#'};
    auto bad = [&] { return static_cast<char>(kBad[rng() % std::size(kBad)]); };
    auto anyButCR = [&] {
        char c = static_cast<char>(rng() & 0xFF);
        return c == '\r' ? '\n' : c;
    };
    std::string body = vLine.substr(0, vLine.find('\r'));
    Corruption c;
    if (body.size() != 10) { // not a point line: send it as it is
        c.bytes = vLine;
        c.kind = Corruption::Tail;
        c.verdict = Corruption::Intact;
        return c;
    }
    c.kind = static_cast<Corruption::Kind>(rng() % 6);
    switch (c.kind) {
    case Corruption::Replace:
        body[2 + rng() % 8] = bad(); // one of positions 3..10
        c.verdict = Corruption::Reported;
        break;
    case Corruption::Insert: {
        const std::size_t at = 2 + rng() % 9; // before position 3..11
        body.insert(body.begin() + static_cast<std::ptrdiff_t>(at), bad());
        c.verdict = at == 10 ? Corruption::Intact : Corruption::Reported;
        break;
    }
    case Corruption::Split: {
        // A CR before position 2..10; the tail must not start with a reply
        // letter, or it would be a reply of its own.
        std::size_t at = 1 + rng() % 9;
        if (body[at] >= 'A' && body[at] <= 'F')
            at = 1;
        body.insert(body.begin() + static_cast<std::ptrdiff_t>(at), '\r');
        c.verdict = Corruption::Reported;
        break;
    }
    case Corruption::Truncate:
        body.resize(2 + rng() % 8); // ends inside the value
        c.verdict = Corruption::Reported;
        break;
    case Corruption::Prefix: {
        std::string lead(1, static_cast<char>(kLead[rng() % std::size(kLead)]));
        const unsigned more = rng() % 4;
        for (unsigned i = 0; i < more; ++i)
            lead += anyButCR();
        body = lead + body;
        c.verdict = Corruption::Ignored;
        break;
    }
    case Corruption::Tail: {
        const auto more = static_cast<unsigned>(1 + rng() % 6);
        for (unsigned i = 0; i < more; ++i)
            body += anyButCR();
        c.verdict = Corruption::Intact;
        break;
    }
    }
    c.bytes = body + '\r';
    return c;
}

} // namespace tavi::sim
