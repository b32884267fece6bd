// SPDX-License-Identifier: GPL-3.0-or-later
// The one number-format engine behind every displayed value.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace tavi {

// Rounding of every decimal output: the value is written with 18 significant
// digits first, then rounded half away from zero (2.5 -> "3", 0.125 -> "0.13").
// A value that rounds to zero is shown without a minus sign. NaN and
// infinities show as "NAN", "INF", "-INF".
struct NumberSeparators {
    char decimal = '.';
    char thousands = ' '; // '\0': no thousands separator
};
// Program-wide separators; the main window sets "." and " " at creation.
void SetNumberSeparators(NumberSeparators separators);
NumberSeparators GetNumberSeparators();

// "%W.Pn": P decimals, thousands groups, right-aligned in W, halves away from zero.
std::string FormatN(long double value, int width, int precision);
// "%W.Pg": at most P significant digits (15 when P < 0), fixed notation when
// the integer digits do not exceed P and |value| >= 0.00001, else scientific;
// trailing zeros and point removed; right-aligned in W. Scientific form is
// "1.5E+20", "1E-06".
std::string FormatG(long double value, int width, int precision = -1);
// "%Wd".
std::string FormatD(long long value, int width = 0);

using FormatArg = std::variant<long long, long double, std::string>;
// printf-like template with %d, %Wd, %W.Pn, %Wg, %W.Pg, %s and %%; also %W.Pf
// (fixed, no thousands separator) and "-" for left alignment. %n and %f
// default to 2 decimals; %.Pd pads with zeros to P digits. An int argument
// given to a float specifier is converted, a float given to %d is truncated
// toward zero, and numbers given to %s print as %d / %g. A bad specifier or a
// missing argument throws EConvertError naming the template.
std::string Format(std::string_view templ, std::initializer_list<FormatArg> args);
inline FormatArg Arg(int v) {
    return static_cast<long long>(v);
}
inline FormatArg Arg(long long v) {
    return v;
}
inline FormatArg Arg(double v) {
    return static_cast<long double>(v);
}
inline FormatArg Arg(long double v) {
    return v;
}
inline FormatArg Arg(std::string v) {
    return v;
}

// Picture formats such as "# ##0.### [Gs]" for axis labels: '#' optional digit,
// '0' required digit, a blank among the integer placeholders groups thousands
// with the thousands separator, '.' the decimal point followed by its
// placeholders; everything else is literal. 1250 -> "1 250 [Gs]",
// 12.5 -> "12.5 [Gs]", -0.25 -> "-0.25 [Gs]", 0 -> "0 [Gs]". At least one
// integer digit is shown; "," groups like a blank.
std::string FormatFloat(std::string_view picture, long double value);

// Number format with `precision` significant digits and `digits` decimals,
// with thousands separators (the cursor readout uses precision 9, digits 2).
// The value is rounded to `precision` significant digits first, then to
// `digits` decimals; large values stay in number format (no exponent).
// precision is limited to 1 .. 18 and digits to 0 .. 18.
std::string FloatToStrFNumber(long double value, int precision, int digits);

// The smallest axis step of 1, 2 or 5 x 10^n that is not below `atLeast`, so
// labels read 0.5 / 1 / 1.5 instead of -0.416 / -0.208; 1 for a value that is
// not a positive finite number.
double NiceStep(double atLeast);

} // namespace tavi
