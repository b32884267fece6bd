// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/ReplyParser.h"

#include "common/Usr.h"

namespace tavi {

namespace {

// The characters at 1-based positions [from, from + count) of the line body,
// as many as there are.
std::string_view Positions(std::string_view body, std::size_t from, std::size_t count) {
    if (body.size() < from)
        return {};
    return body.substr(from - 1, count);
}

// The field as the error message shows it: a byte the message box cannot show
// (a NUL would even end the message there) as \xHH.
std::string Shown(std::string_view field) {
    std::string out;
    for (char c : field) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F) {
            out += c;
        } else {
            out += "\\x";
            out += HexDigits(b, 2);
        }
    }
    return out;
}

// A hex field of exactly `count` digits; a field the line end cuts short is as
// invalid as one with a wrong character.
std::int64_t HexField(std::string_view body, std::size_t from, std::size_t count) {
    std::string_view digits = Positions(body, from, count);
    try {
        if (digits.size() == count)
            return HexToInt(digits);
    } catch (const EConvertError&) {
    }
    throw EConvertError("'" + Shown(digits) + "' is not a valid integer value");
}

} // namespace

Reply DecodeReply(std::string_view line) {
    // Everything from the first CR on is the terminator.
    std::string_view body = line.substr(0, line.find('\r'));
    Reply r;
    if (body.empty())
        return r;
    switch (body[0]) {
    case 'A':
        r.points = static_cast<int>(HexField(body, 2, 4));
        r.kind = Reply::A;
        break;
    case 'B':
        r.kind = Reply::B;
        break;
    case 'C':
        r.kind = Reply::C;
        break;
    case 'D':
        r.kind = Reply::D;
        break;
    case 'E':
        r.errorText = std::string(Positions(body, 2, 4));
        r.kind = Reply::E;
        break;
    case 'F':
        r.kind = Reply::F;
        break;
    case 'H':
        // Without a flag character there is no hold state to report.
        if (body.size() < 2)
            return r;
        r.hold = (static_cast<unsigned char>(body[1]) & 1u) != 0;
        r.kind = Reply::H;
        break;
    case 'M':
        r.fieldSource = static_cast<int>(HexField(body, 2, 2));
        r.kind = Reply::M;
        break;
    case 'V': {
        const bool outOfRange = body.size() >= 2 && body[1] == '!';
        const auto bits = static_cast<std::uint32_t>(HexField(body, 3, 8));
        r.raw = static_cast<std::int32_t>(bits); // two's complement
        r.outOfRange = outOfRange;
        r.kind = Reply::V;
        break;
    }
    case 'X':
        r.firstOffset = static_cast<std::int32_t>(HexField(body, 2, 4) - 2047);
        r.secondOffset = static_cast<std::int32_t>(HexField(body, 6, 4) - 2047);
        r.kind = Reply::X;
        break;
    case 'Z':
        r.serial = std::string(Positions(body, 2, 4));
        r.version = std::string(Positions(body, 6, 3));
        r.kind = Reply::Z;
        break;
    default:
        break;
    }
    return r;
}

bool LineAssembler::Push(char c) {
    cutEnded_ = false;
    if (dropping_) {
        // The rest of an overlong line is as damaged as its start.
        if (c == '\r') {
            dropping_ = false;
            cutEnded_ = true;
        } else {
            ++cutLength_;
        }
        return false;
    }
    if (!line_.empty() && line_.back() == '\r')
        line_.clear();
    if (c == '\r') {
        line_ += c;
        return true;
    }
    if (line_.size() >= kMaxLine) {
        cutHead_.swap(line_);
        cutLength_ = cutHead_.size() + 1;
        line_.clear();
        ++discarded_;
        dropping_ = true;
        return false;
    }
    line_ += c;
    return false;
}

std::string LineAssembler::CutLine() const {
    return cutHead_ + " ... [cut, " + std::to_string(cutLength_) + " characters]\r";
}

} // namespace tavi
