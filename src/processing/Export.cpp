// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/Export.h"

#include "common/SafeFile.h"
#include "params/NumFormat.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace tavi {

namespace {

constexpr const char* kEol = "\r\n";

// Two decimals with '.', whatever the process locale (printf would follow
// LC_NUMERIC, which a Qt application takes from the system).
std::string Fixed2(double value) {
    char buf[512];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
    return std::string(buf, res.ptr);
}

void AppendRight(std::string& out, const std::string& text, std::size_t width) {
    if (text.size() < width)
        out.append(width - text.size(), ' ');
    out += text;
}

// Shortest text that reads back as the same double.
std::string RoundTrip(float value) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

// An X value: fixed, rounded half away from zero.
std::string XText(double value) {
    return FixedPoint(value, kExportXDecimals);
}

// A Y value: the shortest fixed text that reads back as the same double.
// Readers of AFFN take an 'E' for a compressed-data character, so there is
// no exponent; noise below 1e-12 is cut to 15 decimals to keep lines short.
std::string YText(double value) {
    if (!std::isfinite(value) || std::abs(value) >= 1e50)
        return "?";
    if (value != 0 && std::abs(value) < 1e-12)
        return FixedPoint(value, 15);
    char buf[128];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    std::string s(buf, res.ptr);
    return s == "-0" ? "0" : s;
}

// The text split at its line breaks (CR, LF or CR LF).
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(cur);
            cur.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            cur += c;
        }
    }
    lines.push_back(cur);
    return lines;
}

// Other control characters would end or break a comment line.
std::string Printable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    return text;
}

void Replace(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t pos = text.find(from); pos != std::string::npos;
         pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
}

// A JCAMP value: one line of text in which nothing starts a label ("##") or
// a comment ("$$").
// Printable ASCII: a few signs spelt out, other characters as <U+XXXX>.
std::string Ascii(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += (c < 0x20 || c == 0x7F) ? ' ' : static_cast<char>(c);
            ++i;
            continue;
        }
        std::size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (i + len > text.size())
            len = 1;
        char32_t code = len == 1 ? c : c & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k)
            code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += len;
        switch (code) {
        case 0xB0:
            out += " deg";
            break;
        case 0xB2:
            out += "^2";
            break;
        case 0xB3:
            out += "^3";
            break;
        case 0xB5:
        case 0x3BC:
            out += 'u';
            break;
        case 0xB1:
            out += "+/-";
            break;
        default: {
            char buf[16];
            std::snprintf(buf, sizeof buf, "<U+%04X>", static_cast<unsigned>(code));
            out += buf;
        }
        }
    }
    return out;
}

std::string JcampValue(const std::string& text) {
    std::string v = Ascii(text);
    while (v.find("##") != std::string::npos)
        Replace(v, "##", "# #");
    while (v.find("$$") != std::string::npos)
        Replace(v, "$$", "$ $");
    return v;
}

// A user label's name: upper case letters, digits and single blanks.
std::string JcampLabelName(const std::string& name) {
    std::string out;
    for (char c : name) {
        auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) && u < 0x80) {
            out += static_cast<char>(std::toupper(u));
        } else if (!out.empty() && out.back() != ' ') {
            out += ' ';
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out.empty() ? std::string("FIELD") : out;
}

// Appends "##label= value", continued on further lines so that none is longer
// than the limit; a UTF-8 character is never split.
void AppendLabel(std::string& out, const std::string& label, const std::string& value) {
    std::string line = "##" + label + "=";
    if (!value.empty())
        line += " ";
    std::size_t pos = 0;
    for (;;) {
        std::size_t room = kJcampLineLimit > line.size() ? kJcampLineLimit - line.size() : 0;
        std::size_t take = std::min(room, value.size() - pos);
        while (take > 0 && pos + take < value.size() &&
               (static_cast<unsigned char>(value[pos + take]) & 0xC0) == 0x80)
            --take;
        line.append(value, pos, take);
        pos += take;
        out += line;
        out += kEol;
        if (pos >= value.size())
            break;
        line.clear();
    }
}

// "M2 =" and "LC = " are captions that lead into their value.
std::string FieldName(std::string name) {
    while (!name.empty() && (name.back() == ' ' || name.back() == '='))
        name.pop_back();
    while (!name.empty() && name.front() == ' ')
        name.erase(0, 1);
    return Printable(name);
}

std::string ModeCaption(std::string mode) {
    // The stored caption doubles the ampersand that a label shows once.
    Replace(mode, "&&", "&");
    return mode;
}

} // namespace

std::string CurveTextPath(const std::string& dir, const std::string& chosenFile,
                          const std::string& extension) {
    std::string name = chosenFile;
    if (auto slash = name.find_last_of('/'); slash != std::string::npos)
        name.erase(0, slash + 1);
    if (auto dot = name.find('.'); dot != std::string::npos)
        name.erase(dot + 1);
    return dir + "/" + name + extension;
}

std::string CurveText(std::span<const double> xs, std::span<const double> ys) {
    std::string out;
    const std::size_t n = std::min(xs.size(), ys.size());
    out.reserve(n * 32 + 2);
    for (std::size_t i = 0; i < n; ++i) {
        AppendRight(out, Fixed2(xs[i]), 8);
        AppendRight(out, Fixed2(ys[i]), 22);
        out += kEol;
    }
    out += kEol;
    return out;
}

FileResult WriteTextFile(const std::string& path, const std::string& text) {
    std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                        text.size());
    WriteFailure failure = WriteFailure::None;
    std::string cause;
    if (WriteFileSafely(path, {bytes}, &failure, &cause))
        return FileResult::Success();
    return WriteFailureResult(path, failure, cause);
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string* error) {
    const FileResult r = WriteTextFile(path, text);
    if (!r && error)
        *error = r.Message;
    return r.Ok();
}

FileResult WriteCurveText(const std::string& path, std::span<const double> xs,
                          std::span<const double> ys) {
    return WriteTextFile(path, CurveText(xs, ys));
}

bool WriteCurveText(const std::string& path, std::span<const double> xs, std::span<const double> ys,
                    std::string* error) {
    return WriteTextFile(path, CurveText(xs, ys), error);
}

std::vector<ExportField> HeaderFields(const DataFileSettings& s) {
    const bool field = s.FieldSweep == 1;
    return {
        {"Mode", ModeCaption(s.ModeText)},
        {"Sweep", field ? "Field" : "Frequency"},
        {"Sweep range", RoundTrip(s.SweepRange) + (field ? " Gs" : " kHz")},
        {"2nd Mod Amplit", s.ModAmpText},
        {"Sweep time", s.SweepTimeText},
        {"Gain", s.GainText},
        {"Phase", s.PhaseText},
        {"B0", s.FieldB0Text},
        {"Frequency", s.FrequencyText},
        {"Acc", s.AccText},
        {"Comment", s.Comment},
    };
}

void DescribeFile(CurveExport& curve, const LoadedDataFile& file) {
    curve.FieldSweep = file.Settings.FieldSweep == 1;
    curve.ModeText = file.Settings.ModeText;
    curve.Header = HeaderFields(file.Settings);
    curve.FieldB0 = file.FieldB0Value;
    curve.FrequencyKHz = file.FrequencyValue;
}

std::string ExportXUnit(const CurveExport& curve) {
    return curve.FieldSweep ? "Gs" : "kHz";
}

std::string CurveCsv(const CurveExport& curve) {
    std::string out;
    const std::size_t n = std::min(curve.X.size(), curve.Y.size());
    out.reserve(n * 40 + 1024);
    // Plain names a script can use as they are (numpy's names=True, pandas).
    const std::string unit = ExportXUnit(curve);
    out += (curve.FieldSweep ? "field_" : "frequency_") + unit + ",offset_" + unit + ",y";
    out += kEol;
    auto field = [&out](const std::string& name, const std::string& value) {
        std::vector<std::string> lines = Lines(value);
        out += "# " + name + ":";
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (i > 0)
                out += "#  ";
            std::string line = Printable(lines[i]);
            if (!line.empty())
                out += " " + line;
            out += kEol;
        }
    };
    field("File", curve.Title);
    field("Curve", curve.Curve);
    for (const auto& f : curve.Header)
        field(FieldName(f.Name), f.Value);
    for (const auto& f : curve.Processing)
        field(FieldName(f.Name), f.Value);
    const double centre = curve.FieldSweep ? curve.FieldB0 : curve.FrequencyKHz;
    for (std::size_t i = 0; i < n; ++i) {
        out += XText(centre + curve.X[i]);
        out += ',';
        out += XText(curve.X[i]);
        out += ',';
        out += YText(curve.Y[i]);
        out += kEol;
    }
    return out;
}

std::string CurveJcamp(const CurveExport& curve) {
    const std::size_t n = std::min(curve.X.size(), curve.Y.size());
    // JCAMP knows HZ, not kHz: a frequency sweep is written in Hz.
    const double xScale = curve.FieldSweep ? 1.0 : 1000.0;
    const double centre = curve.FieldSweep ? curve.FieldB0 : curve.FrequencyKHz;
    // Every X as written, so FIRSTX, LASTX and the line starts agree.
    auto x = [&](std::size_t i) { return XText((centre + curve.X[i]) * xScale); };
    auto value = [](const std::string& text) { return std::strtod(text.c_str(), nullptr); };
    const std::string firstX = n > 0 ? x(0) : XText(0);
    const std::string lastX = n > 0 ? x(n - 1) : XText(0);
    const double deltaX =
        n > 1 ? (value(lastX) - value(firstX)) / static_cast<double>(n - 1) : 0.0;

    std::string out;
    out.reserve(n * 14 + 2048);
    std::string title = curve.Title;
    if (!curve.Curve.empty())
        title += (title.empty() ? "" : " - ") + curve.Curve;
    const bool esr = curve.ModeText == "ESR";
    AppendLabel(out, "TITLE", JcampValue(title));
    AppendLabel(out, "JCAMP-DX", "4.24");
    AppendLabel(out, "DATA TYPE", esr ? "ESR SPECTRUM" : "NMR SPECTRUM");
    AppendLabel(out, "ORIGIN", "TAVI CW NMR/ESR spectrometer");
    AppendLabel(out, "OWNER", "");
    // The frequency in MHz under the NMR label readers know; ESR has no
    // standard one, so a user label of the same form.
    if (curve.FrequencyKHz > 0)
        AppendLabel(out, esr ? "$MICROWAVE FREQUENCY" : ".OBSERVE FREQUENCY",
                    FixedPoint(curve.FrequencyKHz / 1000.0, 9));
    for (const auto& f : curve.Header)
        AppendLabel(out, "$" + JcampLabelName(f.Name), JcampValue(f.Value));
    AppendLabel(out, "$CURVE", JcampValue(curve.Curve));
    for (const auto& f : curve.Processing)
        AppendLabel(out, "$" + JcampLabelName(f.Name), JcampValue(f.Value));
    AppendLabel(out, "XUNITS", curve.FieldSweep ? "GAUSS" : "HZ");
    AppendLabel(out, "YUNITS", "ARBITRARY UNITS");
    AppendLabel(out, "XFACTOR", "1");
    AppendLabel(out, "YFACTOR", "1");
    AppendLabel(out, "FIRSTX", firstX);
    AppendLabel(out, "LASTX", lastX);
    AppendLabel(out, "DELTAX", YText(deltaX));
    AppendLabel(out, "NPOINTS", std::to_string(n));
    AppendLabel(out, "FIRSTY", YText(n > 0 ? curve.Y[0] : 0.0));
    AppendLabel(out, "XYDATA", "(X++(Y..Y))");
    std::size_t i = 0;
    while (i < n) {
        // Each line starts with the X of its first Y.
        std::string line = x(i);
        std::size_t first = i;
        while (i < n) {
            std::string y = YText(curve.Y[i]);
            if (i > first && line.size() + 1 + y.size() > kJcampLineLimit)
                break;
            line += ' ';
            line += y;
            ++i;
        }
        out += line;
        out += kEol;
    }
    AppendLabel(out, "END", "");
    return out;
}

} // namespace tavi
