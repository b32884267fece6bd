// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Usr.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

namespace tavi {

namespace {
// Control characters are written as \xNN: a NUL would cut the message short.
std::string Quoted(std::string_view text, const char* tail) {
    std::string msg = "'";
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            msg += "\\x";
            msg += kHex[(c >> 4) & 0xF];
            msg += kHex[c & 0xF];
        } else {
            msg += c;
        }
    }
    msg += "' ";
    msg += tail;
    return msg;
}
} // namespace

std::string HexDigits(std::int64_t value, int n) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (n <= 0)
        return {};
    std::string out(static_cast<std::size_t>(n), '0');
    auto bits = static_cast<std::uint64_t>(value);
    for (int i = n - 1; i >= 0; --i) {
        out[static_cast<std::size_t>(i)] = kDigits[bits & 0xF];
        bits >>= 4;
    }
    return out;
}

std::int64_t HexToInt(std::string_view digits) {
    if (digits.empty() || digits.size() > 16)
        throw EConvertError(Quoted(digits, "is not a valid integer value"));
    std::uint64_t v = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            throw EConvertError(Quoted(digits, "is not a valid integer value"));
        v = (v << 4) | static_cast<std::uint64_t>(d);
    }
    return static_cast<std::int64_t>(v);
}

std::int64_t StrToInt(std::string_view text) {
    // Blanks are not part of a number: "3 " is refused like "3x".
    std::string_view t = text;
    std::size_t i = 0;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        neg = t[i] == '-';
        ++i;
    }
    if (i >= t.size())
        throw EConvertError(Quoted(text, "is not a valid integer value"));
    std::int64_t v = 0;
    for (; i < t.size(); ++i) {
        char c = t[i];
        if (c < '0' || c > '9')
            throw EConvertError(Quoted(text, "is not a valid integer value"));
        v = v * 10 + (c - '0');
        if (v > std::int64_t{1} << 40) // far beyond 32 bits: stop before overflowing
            throw EConvertError(Quoted(text, "is not a valid integer value"));
    }
    v = neg ? -v : v;
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        throw EConvertError(Quoted(text, "is not a valid integer value"));
    return v;
}

double ValueOfText(std::string_view text, char decimalSeparator) {
    std::string kept;
    for (char c : text) {
        if ((c >= '0' && c <= '9') || c == decimalSeparator)
            kept += c == decimalSeparator ? '.' : c;
    }
    if (kept.empty() || kept == ".")
        throw EConvertError(Quoted(kept, "is not a valid floating point value"));
    // More than one separator is not a number either.
    if (kept.find('.') != kept.rfind('.'))
        throw EConvertError(Quoted(kept, "is not a valid floating point value"));
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(kept.c_str(), &end);
    if (end != kept.c_str() + kept.size() || errno == ERANGE)
        throw EConvertError(Quoted(kept, "is not a valid floating point value"));
    return v;
}

int IndexOfMinimum(std::span<const double> ys) {
    double bound = 500;
    int result = 0;
    for (std::size_t i = 0; i < ys.size(); ++i) {
        if (ys[i] < bound) {
            bound = ys[i];
            result = static_cast<int>(i);
        }
    }
    return result;
}

int IndexOfMaximum(std::span<const double> ys) {
    double bound = -500;
    int result = 0;
    for (std::size_t i = 0; i < ys.size(); ++i) {
        if (ys[i] > bound) {
            bound = ys[i];
            result = static_cast<int>(i);
        }
    }
    return result;
}

std::string PanelValueText(std::string_view current, std::string_view value) {
    std::string out;
    auto colon = current.find(':');
    if (colon != std::string_view::npos)
        out.assign(current.substr(0, colon + 1));
    out += ' ';
    out.append(value);
    return out;
}

} // namespace tavi
