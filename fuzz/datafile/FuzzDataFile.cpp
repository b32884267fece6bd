// SPDX-License-Identifier: GPL-3.0-or-later
// The data file reader on arbitrary bytes: it must reject or accept cleanly,
// and what it accepts must obey the reader's arithmetic.
#include "processing/DataFile.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavi::LoadedDataFile f;
    std::string error;
    if (!tavi::ParseDataFile(std::span(data, size), f, &error)) {
        if (error.empty())
            std::abort();
        return 0;
    }
    if (f.X.size() != f.Y.size() || f.X.size() < 2 || f.Divisor <= 0)
        std::abort();
    for (std::size_t i = 0; i < f.Y.size(); ++i) {
        if (!(f.Y[i] >= -500 && f.Y[i] <= 500) || f.Y[i] != std::nearbyint(f.Y[i]))
            std::abort();
        if (!std::isfinite(f.X[i]))
            std::abort();
    }
    // Building the header again from its decoded texts must keep them.
    tavi::DataFileSettings again = tavi::DataFileHeader::Build(f.Settings).Decode();
    if (again.AccText != f.Settings.AccText || again.SweepRange != f.Settings.SweepRange)
        std::abort();
    return 0;
}
