// SPDX-License-Identifier: GPL-3.0-or-later
// JSON text pieces for the command-line tools' one-object-per-line output.
#pragma once

#include <string>
#include <string_view>

namespace tavi {

// A JSON string: quotes, backslashes and control characters escaped; UTF-8
// sequences are passed through, and each byte that is not part of one (a
// file name in another encoding) becomes U+FFFD, so the output stays JSON.
void AppendJsonString(std::string& out, std::string_view text);

// The shortest text that reads back as the same double; NaN and infinities,
// which JSON cannot carry, become null.
void AppendJsonNumber(std::string& out, double value);
// A float keeps its own shortest form (0.1f prints as 0.1).
void AppendJsonNumber(std::string& out, float value);
void AppendJsonNumber(std::string& out, long long value);
inline void AppendJsonNumber(std::string& out, int value) {
    AppendJsonNumber(out, static_cast<long long>(value));
}

} // namespace tavi
