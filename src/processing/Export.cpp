// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/Export.h"

#include "common/SafeFile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
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
std::string RoundTrip(double value) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

std::string RoundTrip(float value) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

// AFFN: upper-case exponent, '?' for a value that is not a number.
std::string Affn(double value) {
    if (!std::isfinite(value))
        return "?";
    std::string s = RoundTrip(value);
    std::replace(s.begin(), s.end(), 'e', 'E');
    return s;
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
std::string JcampValue(const std::string& text) {
    std::string v = Printable(text);
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

bool WriteTextFile(const std::string& path, const std::string& text, std::string* error) {
    std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                        text.size());
    WriteFailure failure = WriteFailure::None;
    std::string cause;
    if (WriteFileSafely(path, {bytes}, &failure, &cause))
        return true;
    if (error)
        *error = WriteFailureText(path, failure, cause);
    return false;
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

std::string ExportXUnit(const CurveExport& curve) {
    return curve.FieldSweep ? "Gs" : "kHz";
}

std::string CurveCsv(const CurveExport& curve) {
    std::string out;
    const std::size_t n = std::min(curve.X.size(), curve.Y.size());
    out.reserve(n * 24 + 1024);
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
    out += "x [" + ExportXUnit(curve) + "],y [a.u.]";
    out += kEol;
    for (std::size_t i = 0; i < n; ++i) {
        out += RoundTrip(curve.X[i]);
        out += ',';
        out += RoundTrip(curve.Y[i]);
        out += kEol;
    }
    return out;
}

std::string CurveJcamp(const CurveExport& curve) {
    const std::size_t n = std::min(curve.X.size(), curve.Y.size());
    // JCAMP knows HZ, not kHz: a frequency sweep's offsets are written in Hz.
    const double xScale = curve.FieldSweep ? 1.0 : 1000.0;
    auto x = [&](std::size_t i) { return curve.X[i] * xScale; };
    const double firstX = n > 0 ? x(0) : 0.0;
    const double lastX = n > 0 ? x(n - 1) : 0.0;
    const double deltaX = n > 1 ? (lastX - firstX) / static_cast<double>(n - 1) : 0.0;

    std::string out;
    out.reserve(n * 12 + 2048);
    std::string title = curve.Title;
    if (!curve.Curve.empty())
        title += (title.empty() ? "" : " - ") + curve.Curve;
    AppendLabel(out, "TITLE", JcampValue(title));
    AppendLabel(out, "JCAMP-DX", "4.24");
    AppendLabel(out, "DATA TYPE", curve.ModeText == "ESR" ? "ESR SPECTRUM" : "NMR SPECTRUM");
    AppendLabel(out, "ORIGIN", "TAVI CW NMR/ESR spectrometer");
    AppendLabel(out, "OWNER", "");
    for (const auto& f : curve.Header)
        AppendLabel(out, "$" + JcampLabelName(f.Name), JcampValue(f.Value));
    AppendLabel(out, "$CURVE", JcampValue(curve.Curve));
    for (const auto& f : curve.Processing)
        AppendLabel(out, "$" + JcampLabelName(f.Name), JcampValue(f.Value));
    AppendLabel(out, "XUNITS", curve.FieldSweep ? "GAUSS" : "HZ");
    AppendLabel(out, "YUNITS", "ARBITRARY UNITS");
    AppendLabel(out, "XFACTOR", "1");
    AppendLabel(out, "YFACTOR", "1");
    AppendLabel(out, "FIRSTX", Affn(firstX));
    AppendLabel(out, "LASTX", Affn(lastX));
    AppendLabel(out, "DELTAX", Affn(deltaX));
    AppendLabel(out, "NPOINTS", std::to_string(n));
    AppendLabel(out, "FIRSTY", Affn(n > 0 ? curve.Y[0] : 0.0));
    AppendLabel(out, "XYDATA", "(X++(Y..Y))");
    std::size_t i = 0;
    while (i < n) {
        // Each line starts with the X of its first Y.
        std::string line = Affn(x(i));
        std::size_t first = i;
        while (i < n) {
            std::string y = Affn(curve.Y[i]);
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
