// SPDX-License-Identifier: GPL-3.0-or-later
// tavi-dcw: prints a data file as the processing window reads it, as JSON.
#include "common/JsonText.h"
#include "processing/DataFile.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

using tavi::AppendJsonNumber;
using tavi::AppendJsonString;

constexpr const char* kUsage =
    "Usage: tavi-dcw --json FILE\n"
    "       tavi-dcw --help\n"
    "\n"
    "Reads a TAVI data file (*.dcw, format 10 or 11) and prints one JSON object:\n"
    "the header texts (format, comment, frequencyText, fieldB0Text, fieldSweep,\n"
    "sweepRange, modAmpText, sweepTimeText, gainText, phaseText, accText,\n"
    "modeText, as UTF-8) and \"points\", the [x, y] pairs of the spectrum: x is the\n"
    "offset from the sweep centre, y the accumulated sum divided by the\n"
    "accumulation count, rounded half to even and limited to -500..500.\n"
    "\n"
    "Exit status: 0 on success, 1 when the file is rejected (the reason goes to\n"
    "standard error), 2 on bad usage.\n";

std::string ToJson(const tavi::LoadedDataFile& f) {
    const tavi::DataFileSettings& s = f.Settings;
    std::string out = "{";
    auto key = [&out](std::string_view name) {
        if (out.size() > 1)
            out += ", ";
        AppendJsonString(out, name);
        out += ": ";
    };
    auto text = [&](std::string_view name, const std::string& value) {
        key(name);
        AppendJsonString(out, value);
    };
    key("format");
    AppendJsonNumber(out, f.Format);
    text("comment", s.Comment);
    text("frequencyText", s.FrequencyText);
    text("fieldB0Text", s.FieldB0Text);
    key("fieldSweep");
    AppendJsonNumber(out, static_cast<int>(s.FieldSweep));
    key("sweepRange");
    AppendJsonNumber(out, s.SweepRange);
    text("modAmpText", s.ModAmpText);
    text("sweepTimeText", s.SweepTimeText);
    text("gainText", s.GainText);
    text("phaseText", s.PhaseText);
    text("accText", s.AccText);
    text("modeText", s.ModeText);
    key("points");
    out += '[';
    for (std::size_t i = 0; i < f.X.size(); ++i) {
        if (i > 0)
            out += ", ";
        out += '[';
        AppendJsonNumber(out, f.X[i]);
        out += ", ";
        AppendJsonNumber(out, f.Y[i]);
        out += ']';
    }
    out += "]}\n";
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 3 || std::string_view(argv[1]) != "--json") {
        std::fputs(kUsage, stderr);
        return 2;
    }
    tavi::LoadedDataFile file;
    std::string error;
    if (!tavi::ReadDataFile(argv[2], file, &error)) {
        std::fprintf(stderr, "tavi-dcw: %s: %s\n", argv[2], error.c_str());
        return 1;
    }
    std::string json = ToJson(file);
    if (std::fwrite(json.data(), 1, json.size(), stdout) != json.size() ||
        std::fflush(stdout) != 0) {
        std::perror("tavi-dcw: stdout");
        return 1;
    }
    return 0;
}
