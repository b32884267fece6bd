// SPDX-License-Identifier: GPL-3.0-or-later
// Rounding rule of every decimal output here: the value is first written with
// 18 significant decimal digits (round to nearest), and that digit string is
// then rounded half away from zero to the digits shown. 18 digits lie just
// inside the precision of the 80-bit extended type, so an intended half that
// an extended computation missed by an ulp or two (x * 0.001) is still a half,
// and exact binary halves (2.5, 0.125) round away from zero; a double or
// float that lies clearly below a half (0.145 as a double) is not lifted.
#include "params/NumFormat.h"

#include "common/Usr.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

namespace tavi {

namespace {

std::atomic<char> gDecimal{'.'};
std::atomic<char> gThousands{' '};

constexpr int kMaxDigits = 18;

// |value| = 0.d1 d2 d3 ... * 10^exp; no digits means zero.
struct Decimal {
    bool negative = false;
    std::string digits;
    int exp = 0;
    bool special = false; // NaN or infinity, text in digits
};

void Normalise(Decimal& d) {
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    if (d.digits.empty()) {
        d.negative = false; // a rounded zero carries no sign
        d.exp = 0;
    }
}

Decimal ToDecimal(long double value) {
    Decimal d;
    if (std::isnan(value)) {
        d.special = true;
        d.digits = "NAN";
        return d;
    }
    d.negative = std::signbit(value);
    if (std::isinf(value)) {
        d.special = true;
        d.digits = "INF";
        return d;
    }
    if (value == 0.0L) {
        d.negative = false;
        return d;
    }
    char buf[48];
    const int n = std::snprintf(buf, sizeof buf, "%.*Le", kMaxDigits - 1, std::fabs(value));
    // buf: d.ddd...e+XX
    const std::string_view text(buf, static_cast<std::size_t>(n));
    const std::size_t e = text.find('e');
    d.digits.reserve(kMaxDigits + 1);
    for (std::size_t i = 0; i < e; ++i)
        if (text[i] != '.')
            d.digits.push_back(text[i]);
    int x = 0;
    std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(), x);
    d.exp = x + 1;
    Normalise(d);
    return d;
}

// Keeps `keep` leading digits, rounding half away from zero.
void RoundToDigits(Decimal& d, int keep) {
    if (d.special || d.digits.empty() || keep >= static_cast<int>(d.digits.size()))
        return;
    if (keep < 0) {
        d.digits.clear();
        Normalise(d);
        return;
    }
    const bool up = d.digits[static_cast<std::size_t>(keep)] >= '5';
    d.digits.resize(static_cast<std::size_t>(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9') {
            d.digits[static_cast<std::size_t>(i)] = '0';
            --i;
        }
        if (i >= 0) {
            ++d.digits[static_cast<std::size_t>(i)];
        } else {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exp;
        }
    }
    Normalise(d);
}

void RoundToDecimals(Decimal& d, int decimals) {
    RoundToDigits(d, d.exp + decimals);
}

char DigitAt(const Decimal& d, int i) {
    return (i >= 0 && i < static_cast<int>(d.digits.size())) ? d.digits[static_cast<std::size_t>(i)]
                                                             : '0';
}

// Integer digits, at least minDigits of them (zeros in front), grouped when
// a separator is given.
void AppendInteger(std::string& out, const Decimal& d, int minDigits, char separator) {
    const int count = std::max({d.exp, minDigits, 1});
    const int lead = count - d.exp; // zeros before the first significant digit
    for (int k = 0; k < count; ++k) {
        if (separator != '\0' && k > 0 && (count - k) % 3 == 0)
            out.push_back(separator);
        out.push_back(k < lead ? '0' : DigitAt(d, k - lead));
    }
}

void AppendFraction(std::string& out, const Decimal& d, int decimals, char point) {
    if (decimals <= 0)
        return;
    out.push_back(point);
    for (int k = 0; k < decimals; ++k)
        out.push_back(DigitAt(d, d.exp + k));
}

std::size_t Utf8Length(std::string_view s) {
    return static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string PadLeft(std::string s, int width) {
    const std::size_t len = Utf8Length(s);
    if (width > 0 && len < static_cast<std::size_t>(width))
        s.insert(0, static_cast<std::size_t>(width) - len, ' ');
    return s;
}

std::string Pad(std::string s, int width, bool leftAlign) {
    if (!leftAlign)
        return PadLeft(std::move(s), width);
    const std::size_t len = Utf8Length(s);
    if (width > 0 && len < static_cast<std::size_t>(width))
        s.append(static_cast<std::size_t>(width) - len, ' ');
    return s;
}

std::string Special(const Decimal& d) {
    return (d.negative ? "-" : "") + d.digits;
}

std::string NumberText(Decimal d, int decimals, char thousands) {
    if (d.special)
        return Special(d);
    decimals = std::clamp(decimals, 0, kMaxDigits);
    RoundToDecimals(d, decimals);
    std::string out;
    if (d.negative)
        out.push_back('-');
    AppendInteger(out, d, 1, thousands);
    AppendFraction(out, d, decimals, gDecimal.load(std::memory_order_relaxed));
    return out;
}

std::string FixedText(long double value, int decimals) {
    return NumberText(ToDecimal(value), decimals, '\0');
}

std::string GeneralText(long double value, int precision) {
    if (precision < 0)
        precision = 15;
    precision = std::clamp(precision, 1, kMaxDigits);
    Decimal d = ToDecimal(value);
    if (d.special)
        return Special(d);
    RoundToDigits(d, precision);
    if (d.digits.empty())
        return "0";
    const char point = gDecimal.load(std::memory_order_relaxed);
    std::string out;
    if (d.negative)
        out.push_back('-');
    const int n = static_cast<int>(d.digits.size());
    if (d.exp <= precision && d.exp >= -4) { // -4: at least 0.00001
        AppendInteger(out, d, 1, '\0');
        AppendFraction(out, d, n - d.exp, point);
        return out;
    }
    out.push_back(d.digits[0]);
    if (n > 1) {
        out.push_back(point);
        out.append(d.digits, 1);
    }
    const int e = d.exp - 1;
    out.push_back('E');
    out.push_back(e < 0 ? '-' : '+');
    if (std::abs(e) < 10)
        out.push_back('0');
    out += std::to_string(std::abs(e));
    return out;
}

long long RoundTowardZeroClamped(long double v) {
    if (std::isnan(v))
        return 0;
    if (v <= -9223372036854775808.0L)
        return std::numeric_limits<long long>::min();
    if (v >= 9223372036854775807.0L)
        return std::numeric_limits<long long>::max();
    return static_cast<long long>(v);
}

[[noreturn]] void FormatError(std::string_view templ) {
    throw EConvertError("Format '" + std::string(templ) +
                        "' invalid or incompatible with argument");
}

} // namespace

void SetNumberSeparators(NumberSeparators separators) {
    gDecimal.store(separators.decimal, std::memory_order_relaxed);
    gThousands.store(separators.thousands, std::memory_order_relaxed);
}

NumberSeparators GetNumberSeparators() {
    return {gDecimal.load(std::memory_order_relaxed), gThousands.load(std::memory_order_relaxed)};
}

std::string FormatN(long double value, int width, int precision) {
    return PadLeft(
        NumberText(ToDecimal(value), precision, gThousands.load(std::memory_order_relaxed)), width);
}

std::string FormatG(long double value, int width, int precision) {
    return PadLeft(GeneralText(value, precision), width);
}

std::string FormatD(long long value, int width) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return PadLeft(std::string(buf, res.ptr), width);
}

std::string Format(std::string_view templ, std::initializer_list<FormatArg> args) {
    std::string out;
    out.reserve(templ.size() + 16);
    auto next = args.begin();
    std::size_t i = 0;
    while (i < templ.size()) {
        const char c = templ[i++];
        if (c != '%') {
            out.push_back(c);
            continue;
        }
        if (i >= templ.size())
            FormatError(templ);
        if (templ[i] == '%') {
            out.push_back('%');
            ++i;
            continue;
        }
        bool leftAlign = false;
        if (templ[i] == '-') {
            leftAlign = true;
            ++i;
        }
        int width = 0;
        while (i < templ.size() && templ[i] >= '0' && templ[i] <= '9')
            width = std::min(width * 10 + (templ[i++] - '0'), 1000);
        int precision = -1;
        if (i < templ.size() && templ[i] == '.') {
            ++i;
            precision = 0;
            while (i < templ.size() && templ[i] >= '0' && templ[i] <= '9')
                precision = std::min(precision * 10 + (templ[i++] - '0'), 1000);
        }
        if (i >= templ.size() || next == args.end())
            FormatError(templ);
        const char kind = static_cast<char>(templ[i++] | 0x20); // lower case
        const FormatArg& arg = *next++;
        const auto asFloat = [&]() -> long double {
            if (const auto* v = std::get_if<long double>(&arg))
                return *v;
            if (const auto* v = std::get_if<long long>(&arg))
                return static_cast<long double>(*v);
            FormatError(templ);
        };
        std::string text;
        switch (kind) {
        case 'd': {
            long long v = 0;
            if (const auto* iv = std::get_if<long long>(&arg))
                v = *iv;
            else if (const auto* fv = std::get_if<long double>(&arg))
                v = static_cast<long long>(RoundTowardZeroClamped(*fv));
            else
                FormatError(templ);
            text = FormatD(v);
            if (precision > 0) { // minimum number of digits
                const std::size_t sign = v < 0 ? 1 : 0;
                const std::size_t digits = text.size() - sign;
                if (digits < static_cast<std::size_t>(precision))
                    text.insert(sign, static_cast<std::size_t>(precision) - digits, '0');
            }
            break;
        }
        case 'n':
            text = NumberText(ToDecimal(asFloat()), precision < 0 ? 2 : precision,
                              gThousands.load(std::memory_order_relaxed));
            break;
        case 'f':
            text = FixedText(asFloat(), precision < 0 ? 2 : precision);
            break;
        case 'g':
            text = GeneralText(asFloat(), precision);
            break;
        case 's':
            if (const auto* sv = std::get_if<std::string>(&arg))
                text = *sv;
            else if (const auto* iv = std::get_if<long long>(&arg))
                text = FormatD(*iv);
            else
                text = GeneralText(std::get<long double>(arg), -1);
            break;
        default:
            FormatError(templ);
        }
        out += Pad(std::move(text), width, leftAlign);
    }
    return out;
}

std::string FormatFloat(std::string_view picture, long double value) {
    // The number section is the first run of placeholders; blanks inside it
    // count only when another integer placeholder follows them.
    const std::size_t start = picture.find_first_of("#0.");
    if (start == std::string_view::npos)
        return std::string(picture);
    std::size_t i = start;
    int intRequired = 0;
    bool grouping = false;
    while (i < picture.size()) {
        const char c = picture[i];
        if (c == '#' || c == '0') {
            intRequired += c == '0' ? 1 : 0;
            ++i;
        } else if ((c == ' ' || c == ',') && i + 1 < picture.size() &&
                   (picture[i + 1] == '#' || picture[i + 1] == '0' || picture[i + 1] == ' ' ||
                    picture[i + 1] == ',')) {
            grouping = true;
            ++i;
        } else {
            break;
        }
    }
    int decRequired = 0;
    int decOptional = 0;
    bool point = false;
    if (i < picture.size() && picture[i] == '.') {
        point = true;
        ++i;
        while (i < picture.size() && (picture[i] == '0' || picture[i] == '#')) {
            if (picture[i] == '0' && decOptional == 0)
                ++decRequired;
            else
                ++decOptional;
            ++i;
        }
    }
    Decimal d = ToDecimal(value);
    std::string out(picture.substr(0, start));
    if (d.special) {
        out += Special(d);
    } else {
        const int decimals = decRequired + decOptional;
        RoundToDecimals(d, decimals);
        if (d.negative)
            out.push_back('-');
        AppendInteger(out, d, std::max(intRequired, 1),
                      grouping ? gThousands.load(std::memory_order_relaxed) : '\0');
        if (point) {
            int shown = decimals;
            while (shown > decRequired && DigitAt(d, d.exp + shown - 1) == '0')
                --shown;
            AppendFraction(out, d, shown, gDecimal.load(std::memory_order_relaxed));
        }
    }
    out += picture.substr(i);
    return out;
}

std::string FloatToStrFNumber(long double value, int precision, int digits) {
    Decimal d = ToDecimal(value);
    RoundToDigits(d, std::clamp(precision, 1, kMaxDigits));
    return NumberText(std::move(d), digits, gThousands.load(std::memory_order_relaxed));
}

double NiceStep(double atLeast) {
    if (!(atLeast > 0) || !std::isfinite(atLeast))
        return 1;
    double decade = std::pow(10.0, std::floor(std::log10(atLeast)));
    for (;;) {
        for (double m : {1.0, 2.0, 5.0})
            // The tolerance keeps an exact 0.2 from becoming 0.5 through the
            // rounding of the power of ten.
            if (m * decade >= atLeast * (1 - 1e-12))
                return m * decade;
        decade *= 10;
    }
}

} // namespace tavi
