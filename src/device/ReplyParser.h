// SPDX-License-Identifier: GPL-3.0-or-later
// Reply lines: assembling bytes into lines and decoding one line. Pure code;
// the main window acts on the decoded replies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavi {

struct Reply {
    enum Kind : std::uint8_t { Ignored, A, B, C, D, E, F, H, M, V, X, Z };
    Kind kind = Ignored;
    int points = 0;                // A: N
    std::string errorText;         // E: positions 2-5 (may be shorter)
    bool hold = false;             // H
    int fieldSource = 0;           // M
    bool outOfRange = false;       // V: '!' at position 2
    std::int32_t raw = 0;          // V: signed 32-bit
    std::int32_t firstOffset = 0;  // X: hex(2-5) - 2047
    std::int32_t secondOffset = 0; // X: hex(6-9) - 2047
    std::string serial;            // Z: positions 2-5
    std::string version;           // Z: positions 6-8
};

// Decodes one line (with or without its CR). Throws EConvertError when a
// numeric field is not valid hexadecimal (or cut short by the CR).
Reply DecodeReply(std::string_view line);

// Collects bytes into lines ending in CR. A run longer than kMaxLine without
// CR is discarded (and counted) instead of growing without bound; the rest of
// that damaged line, up to and including its CR, is dropped as well. A Push
// after a completed line starts a new one, so Clear() is optional.
class LineAssembler {
public:
    static constexpr std::size_t kMaxLine = 256;
    // Appends one byte; true when it completed a line (Line() then ends in CR).
    bool Push(char c);
    const std::string& Line() const { return line_; }
    void Clear() {
        line_.clear();
        dropping_ = false;
        cutEnded_ = false;
    }
    std::size_t DiscardedRuns() const { return discarded_; }
    // True right after the Push whose CR ended a discarded line (that Push
    // returns false: the line is not for the parser).
    bool CutLineEnded() const { return cutEnded_; }
    // The discarded line as the monitor lists it: its first kMaxLine
    // characters, a mark with its full length, and the CR.
    std::string CutLine() const;

private:
    std::string line_;
    std::string cutHead_;       // the first kMaxLine characters of a discarded line
    std::size_t cutLength_ = 0; // its length without the CR
    std::size_t discarded_ = 0;
    bool dropping_ = false; // inside the tail of a discarded run
    bool cutEnded_ = false;
};

} // namespace tavi
