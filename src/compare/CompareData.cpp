// SPDX-License-Identifier: GPL-3.0-or-later
#include "compare/CompareData.h"

#include "common/Usr.h"
#include "processing/UM2.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace tavi {

namespace {

FileResult ReadAll(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f) {
        const int cause = errno;
        return FileResult::Failure(cause == ENOENT || cause == ENOTDIR ? FileFailure::NotFound
                                                                       : FileFailure::Io,
                                   "Cannot open file " + path + ": " + std::strerror(cause));
    }
    std::uint8_t chunk[65536];
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, f.get());
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (n < sizeof chunk) {
            if (std::ferror(f.get()))
                return FileResult::Failure(FileFailure::Io, "Cannot read file " + path + ": " +
                                                                std::strerror(errno));
            return FileResult::Success();
        }
    }
}

std::int32_t Record(const std::uint8_t* p) {
    const std::uint32_t v = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                            std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
    return static_cast<std::int32_t>(v);
}

bool FieldSweep(const CompareFile& f) {
    return f.Data.Settings.FieldSweep == 1;
}

} // namespace

CompareFile LoadCompareFile(const std::string& path) {
    CompareFile f;
    f.Path = path;
    f.Name = std::filesystem::path(path).filename().string();
    std::vector<std::uint8_t> bytes;
    FileResult loaded = ReadAll(path, bytes);
    if (loaded)
        loaded = ParseDataFile(bytes, f.Data);
    if (!loaded) {
        f.Error = std::move(loaded.Message);
        return f;
    }
    const std::size_t first =
        1 + (f.Data.Format == kDataFormat ? kDataHeaderSize : kDataHeaderSize10);
    const std::size_t n = f.Data.Y.size();
    f.Average.resize(n);
    const double divisor = static_cast<double>(f.Data.Divisor);
    for (std::size_t i = 0; i < n; ++i)
        f.Average[i] = Record(bytes.data() + first + 4 * i) / divisor;
    f.Analysis = AnalyseSpectrum(f.Data);
    std::error_code ec;
    const auto written = std::filesystem::last_write_time(path, ec);
    if (!ec) {
        const auto sys = std::chrono::file_clock::to_sys(written);
        f.FileTime = std::chrono::duration_cast<std::chrono::seconds>(sys.time_since_epoch()).count();
    }
    return f;
}

bool IsEsrFile(const LoadedDataFile& file) {
    return file.Settings.ModeText == "ESR";
}

double FieldB0Gs(const LoadedDataFile& file) {
    const std::string& text = file.Settings.FieldB0Text;
    const bool mT = text.size() >= 2 && text.compare(text.size() - 2, 2, "mT") == 0;
    return mT ? file.FieldB0Value * 10.0 : file.FieldB0Value;
}

double GFromField(double frequencyKHz, double fieldGs) {
    return GFactor(0.0, fieldGs, frequencyKHz);
}

std::string AxisUnavailable(const std::vector<const CompareFile*>& files, CompareAxis axis) {
    int loaded = 0, esr = 0, field = 0;
    for (const CompareFile* f : files) {
        if (!f->Ok())
            continue;
        ++loaded;
        esr += IsEsrFile(f->Data);
        field += FieldSweep(*f);
    }
    switch (axis) {
    case CompareAxis::Relative:
        return {};
    case CompareAxis::FieldGs:
    case CompareAxis::FieldMT:
        return field == loaded ? std::string() : "Field axis: only for field sweeps";
    case CompareAxis::Frequency:
        return field == 0 ? std::string() : "Frequency axis: only for frequency sweeps";
    case CompareAxis::GFactor:
        if (esr == loaded)
            return {};
        return esr > 0 ? "NMR and ESR files together: no g-axis" : "g-axis: only for ESR files";
    }
    return {};
}

void ConvertAxis(const CompareFile& file, CompareAxis axis, std::vector<double>& x) {
    const std::vector<double>& rel = file.Data.X;
    x.resize(rel.size());
    const double b0 = FieldB0Gs(file.Data);
    const double nu = file.Data.FrequencyValue;
    const bool fieldSweep = FieldSweep(file);
    for (std::size_t i = 0; i < rel.size(); ++i) {
        const double r = rel[i];
        switch (axis) {
        case CompareAxis::Relative:
            x[i] = r;
            break;
        case CompareAxis::FieldGs:
            x[i] = b0 + r;
            break;
        case CompareAxis::FieldMT:
            x[i] = (b0 + r) * 0.1;
            break;
        case CompareAxis::Frequency:
            x[i] = nu + r;
            break;
        case CompareAxis::GFactor:
            x[i] = fieldSweep ? GFromField(nu, b0 + r) : GFromField(nu + r, b0);
            break;
        }
    }
}

std::string AxisTitle(CompareAxis axis) {
    switch (axis) {
    case CompareAxis::Relative:
        return "Sweep offset [Gs or kHz]";
    case CompareAxis::FieldGs:
        return "Field B [Gs]";
    case CompareAxis::FieldMT:
        return "Field B [mT]";
    case CompareAxis::GFactor:
        return "g";
    case CompareAxis::Frequency:
        return "Frequency [kHz]";
    }
    return {};
}

NormDivisor NormalisationDivisor(const CompareFile& file, CompareNorm norm,
                                 std::optional<double> doubleIntegral) {
    NormDivisor d;
    switch (norm) {
    case CompareNorm::None:
        break;
    case CompareNorm::GainModAmp: {
        double gain = 0;
        try {
            gain = ValueOfText(file.Data.Settings.GainText);
        } catch (const std::exception&) {
            d.Error = "no gain in the file";
            break;
        }
        d.Value = gain * file.Data.ModAmpValue;
        if (!(d.Value > 0))
            d.Error = "gain or modulation amplitude is 0";
        break;
    }
    case CompareNorm::Maximum: {
        double peak = 0;
        for (double y : file.Average)
            peak = std::max(peak, std::abs(y));
        d.Value = peak;
        if (!(peak > 0))
            d.Error = "the spectrum is 0 everywhere";
        break;
    }
    case CompareNorm::DoubleIntegral:
        if (!doubleIntegral) {
            d.Error = "no double integral";
        } else {
            d.Value = *doubleIntegral;
            if (!std::isfinite(d.Value) || d.Value == 0)
                d.Error = "the double integral is 0";
        }
        break;
    }
    if (!d.Error.empty())
        d.Value = 1;
    return d;
}

std::string NormalisationCaption(CompareNorm norm) {
    switch (norm) {
    case CompareNorm::None:
        return "Not normalised";
    case CompareNorm::GainModAmp:
        return "Normalised to gain x modulation amplitude";
    case CompareNorm::Maximum:
        return "Normalised to the maximum";
    case CompareNorm::DoubleIntegral:
        return "Normalised to the double integral";
    }
    return {};
}

void MinMaxEnvelope(std::span<const double> x, std::span<const double> y, int columns,
                    std::vector<double>& outX, std::vector<double>& outY) {
    const std::size_t n = std::min(x.size(), y.size());
    const std::size_t c = static_cast<std::size_t>(std::max(1, columns));
    outX.clear();
    outY.clear();
    if (n <= 2 * c) {
        outX.assign(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n));
        outY.assign(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(n));
        return;
    }
    outX.reserve(2 * c);
    outY.reserve(2 * c);
    for (std::size_t b = 0; b < c; ++b) {
        const std::size_t from = b * n / c;
        const std::size_t to = (b + 1) * n / c; // exclusive
        std::size_t lo = from, hi = from;
        for (std::size_t i = from + 1; i < to; ++i) {
            if (y[i] < y[lo])
                lo = i;
            if (y[i] > y[hi])
                hi = i;
        }
        const std::size_t a = std::min(lo, hi), z = std::max(lo, hi);
        outX.push_back(x[a]);
        outY.push_back(y[a]);
        if (z != a) {
            outX.push_back(x[z]);
            outY.push_back(y[z]);
        }
    }
}

bool CompileCommentPattern(const std::string& text, std::regex& out, std::string* error) {
    try {
        out = std::regex(text, std::regex::ECMAScript);
        return true;
    } catch (const std::regex_error& e) {
        if (error)
            *error = std::string("Bad pattern: ") + e.what();
        return false;
    }
}

std::optional<double> NumberFromComment(const std::string& comment, const std::regex& pattern) {
    std::smatch m;
    if (!std::regex_search(comment, m, pattern))
        return std::nullopt;
    const std::string text = m.size() > 1 && m[1].matched ? m[1].str() : m[0].str();
    // from_chars: independent of the locale Qt sets; it takes no plus sign.
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    double v = 0;
    const auto [end, ec] = std::from_chars(first, last, v);
    if (ec != std::errc() || end == first || !std::isfinite(v))
        return std::nullopt;
    return v;
}

} // namespace tavi
