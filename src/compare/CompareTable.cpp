// SPDX-License-Identifier: GPL-3.0-or-later
#include "compare/CompareTable.h"

#include "common/Usr.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace tavi {

namespace {

CompareCell Text(std::string text) {
    return CompareCell{std::move(text), std::nullopt};
}

CompareCell Number(std::optional<double> v) {
    if (!v)
        return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", *v);
    return CompareCell{buf, v};
}

std::optional<double> TextValue(const std::string& text) {
    try {
        return ValueOfText(text);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void AppendField(std::string& out, const std::string& text, char separator) {
    const bool quote = separator == ',' && text.find_first_of(",\"\n\r") != std::string::npos;
    if (!quote) {
        for (char c : text) // a tab or line break would split the row
            out += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

} // namespace

std::vector<CompareColumn> CompareColumns(bool withFit) {
    std::vector<CompareColumn> c = {
        {"File", false, -1},          {"Comment", false, -1},        {"From comment", true, -1},
        {"Mode", false, -1},          {"Sweep", false, -1},          {"Range", true, -1},
        {"B0 [Gs]", true, -1},        {"Frequency [kHz]", true, -1}, {"Mod. amplitude [Gs]", true, -1},
        {"Sweep time", false, -1},    {"Gain", true, -1},            {"Phase", false, -1},
        {"Acc", true, -1},            {"Points", true, -1},          {"SDB", true, -1},
        {"HDB", true, -1},            {"g", true, -1},               {"AI", true, -1},
        {"M2 derivative", true, -1},  {"M2 absorption", true, -1},
    };
    if (withFit) {
        const int centre = static_cast<int>(c.size());
        c.push_back({"Centre", true, centre + 1});
        c.push_back({"Centre error", true, -1});
        c.push_back({"Width", true, centre + 3});
        c.push_back({"Width error", true, -1});
    }
    return c;
}

CompareRow MakeCompareRow(const CompareFile& file, std::optional<double> commentValue,
                          const std::optional<CompareFit>& fit, bool withFit) {
    const DataFileSettings& s = file.Data.Settings;
    const SpectrumAnalysis& a = file.Analysis;
    const bool field = s.FieldSweep == 1;
    CompareRow r;
    r.push_back(Text(file.Name));
    r.push_back(Text(s.Comment));
    r.push_back(Number(commentValue));
    r.push_back(Text(s.ModeText));
    r.push_back(Text(field ? "Field" : "Frequency"));
    CompareCell range = Number(static_cast<double>(s.SweepRange));
    range.Text += field ? " Gs" : " kHz";
    r.push_back(range);
    r.push_back(Number(FieldB0Gs(file.Data)));
    r.push_back(Number(file.Data.FrequencyValue));
    r.push_back(Number(file.Data.ModAmpValue));
    r.push_back(Text(s.SweepTimeText));
    r.push_back(Number(TextValue(s.GainText)));
    r.push_back(Text(s.PhaseText));
    r.push_back(Number(static_cast<double>(file.Data.Divisor)));
    r.push_back(Number(static_cast<double>(a.Points)));
    r.push_back(Number(a.Derivative.SDB));
    r.push_back(Number(a.Absorption.HDBFound ? std::optional<double>(a.Absorption.HDB) : std::nullopt));
    r.push_back(Number(a.Esr ? std::optional<double>(a.G) : std::nullopt));
    r.push_back(Number(a.Absorption.AI));
    r.push_back(Number(a.Derivative.Moment.M2));
    r.push_back(Number(a.Absorption.Moment.M2));
    if (withFit) {
        for (auto v : {fit ? std::optional<double>(fit->Centre) : std::nullopt,
                       fit ? std::optional<double>(fit->CentreError) : std::nullopt,
                       fit ? std::optional<double>(fit->Width) : std::nullopt,
                       fit ? std::optional<double>(fit->WidthError) : std::nullopt})
            r.push_back(Number(v));
    }
    return r;
}

std::string ExactNumber(double v) {
    std::array<char, 32> buf{};
    const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    return ec == std::errc() ? std::string(buf.data(), end) : std::string();
}

std::string CompareTableText(const std::vector<CompareColumn>& columns,
                             const std::vector<CompareRow>& rows, char separator) {
    std::string out;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i)
            out += separator;
        AppendField(out, columns[i].Title, separator);
    }
    out += '\n';
    for (const CompareRow& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i)
                out += separator;
            const CompareCell& c = row[i];
            AppendField(out, c.Value ? ExactNumber(*c.Value) : c.Text, separator);
        }
        out += '\n';
    }
    return out;
}

} // namespace tavi
