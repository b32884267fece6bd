// SPDX-License-Identifier: GPL-3.0-or-later
// Small helpers shared by the device link, the run and the processing window.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tavi {

// A failed number conversion; its message is the text the operator sees.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// n upper-case hex digits of value (low 4n bits, two's complement), most
// significant first.
std::string HexDigits(std::int64_t value, int n);

// Parses hexadecimal digits as written; throws EConvertError
// ("'%s' is not a valid integer value") on anything else or on empty text.
std::int64_t HexToInt(std::string_view digits);

// Decimal integer with an optional sign and nothing else (no blanks); throws
// EConvertError "'%s' is not a valid integer value".
std::int64_t StrToInt(std::string_view text);

// The number in a display text: only digits and the decimal separator are kept
// (so a minus sign is dropped too). Throws EConvertError
// "'%s' is not a valid floating point value" when nothing convertible is left.
double ValueOfText(std::string_view text, char decimalSeparator = '.');

// Running-bound searches starting at 500 / -500; the first of equal extremes
// wins. Returns 0 when no point beats the start bound (or ys is empty).
int IndexOfMinimum(std::span<const double> ys);
int IndexOfMaximum(std::span<const double> ys);

// The text rule of SetPanelValue: the current text up to and including its
// first ':' (nothing if there is none), one blank, then value.
std::string PanelValueText(std::string_view current, std::string_view value);

} // namespace tavi
