// SPDX-License-Identifier: GPL-3.0-or-later
// "value ± error" texts.
#include "analysis/ValueText.h"

#include <algorithm>
#include <cstdio>

namespace tavi::analysis {

std::string PlainValue(double v) {
    if (!std::isfinite(v))
        return "\u2013";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

std::string ValueWithError(const Measured& m) {
    if (!std::isfinite(m.Value))
        return "\u2013";
    if (!std::isfinite(m.Error) || m.Error <= 0)
        return PlainValue(m.Value);
    // Decimals that keep two significant digits of the error.
    const int decimals = 1 - static_cast<int>(std::floor(std::log10(m.Error)));
    char buf[96];
    if (decimals >= 0 && decimals <= 15)
        std::snprintf(buf, sizeof buf, "%.*f \u00b1 %.*f", decimals, m.Value, decimals, m.Error);
    else
        std::snprintf(buf, sizeof buf, "%.*g \u00b1 %.2g",
                      std::max(2, 2 + static_cast<int>(std::floor(std::log10(std::abs(m.Value)) -
                                                                  std::log10(m.Error)))),
                      m.Value, m.Error);
    return buf;
}

} // namespace tavi::analysis
