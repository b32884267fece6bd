// SPDX-License-Identifier: GPL-3.0-or-later
// Loading the unrounded spectrum and the g-factor of a centre.
#include "analysis/Analysis.h"

#include "common/Usr.h"
#include "processing/DataFile.h"
#include "processing/UM2.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace tavi::analysis {

namespace {

// A header text without digits leaves the value unknown rather than failing
// the load: only the normalisation needs it.
double OptionalValue(const std::string& text) {
    try {
        return ValueOfText(text);
    } catch (const EConvertError&) {
        return kNaN;
    }
}

} // namespace

bool SpectrumFromBytes(const std::vector<unsigned char>& bytes, const LoadedDataFile& file,
                       Spectrum& out, std::string* error) {
    const std::size_t header = file.Format == kDataFormat ? kDataHeaderSize : kDataHeaderSize10;
    const std::size_t n = file.X.size();
    if (bytes.size() < 1 + header + 4 * n || file.Divisor <= 0) {
        if (error)
            *error = "The data file changed while it was read";
        return false;
    }
    Spectrum s;
    s.X = file.X;
    s.Y.resize(n);
    const unsigned char* at = bytes.data() + 1 + header;
    const double divisor = static_cast<double>(file.Divisor);
    for (std::size_t i = 0; i < n; ++i, at += 4) {
        const std::uint32_t u = static_cast<std::uint32_t>(at[0]) |
                                static_cast<std::uint32_t>(at[1]) << 8 |
                                static_cast<std::uint32_t>(at[2]) << 16 |
                                static_cast<std::uint32_t>(at[3]) << 24;
        s.Y[i] = static_cast<double>(static_cast<std::int32_t>(u)) / divisor;
    }
    s.FieldSweep = file.Settings.FieldSweep != 0;
    s.Esr = file.Settings.ModeText == "ESR";
    s.ModAmp = file.ModAmpValue;
    s.Gain = OptionalValue(file.Settings.GainText);
    s.FieldB0 = file.FieldB0Value;
    s.Frequency = file.FrequencyValue;
    out = std::move(s);
    return true;
}

bool LoadSpectrum(const std::string& path, Spectrum& out, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = "Cannot open file " + path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    if (in.bad()) {
        if (error)
            *error = "Cannot read file " + path;
        return false;
    }
    LoadedDataFile file;
    std::string cause;
    if (!ParseDataFile(bytes, file, &cause)) {
        if (error)
            *error = path + ": " + cause;
        return false;
    }
    return SpectrumFromBytes(bytes, file, out, error);
}

double GFactorAt(const Spectrum& s, double centre) {
    if (!s.Esr || !s.FieldSweep)
        return kNaN;
    return GFactor(centre, s.FieldB0, s.Frequency);
}

} // namespace tavi::analysis
