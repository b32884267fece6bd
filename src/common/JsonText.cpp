// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/JsonText.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace tavi {

namespace {

// The length of the well-formed UTF-8 sequence at text[i], or 0.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t len = 0;
    unsigned lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        lo = c == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        hi = c == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + len > text.size())
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF))
            return 0;
    }
    return len;
}

} // namespace

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80) {
            const std::size_t len = Utf8SequenceAt(text, i);
            if (len == 0) {
                out += "\\ufffd"; // a byte that is no UTF-8 (a file name from elsewhere)
            } else {
                out.append(text.substr(i, len));
                i += len - 1;
            }
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}

void AppendJsonNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr);
}

void AppendJsonNumber(std::string& out, float value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr);
}

void AppendJsonNumber(std::string& out, long long value) {
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr);
}

} // namespace tavi
