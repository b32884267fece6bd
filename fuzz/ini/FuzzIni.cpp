// SPDX-License-Identifier: GPL-3.0-or-later
// The INI reader on arbitrary text: values stay in range, and what it read is
// written and read back unchanged when its numbers are single digits.
#include "setup/USetup.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string exeDir = "/opt/tavi/";
    tavi::IniSettings s;
    tavi::ParseIni(text, exeDir, s);
    if (s.SetupDir.empty() || s.AcqDir.empty() || s.OutDir.empty() || s.PortName.empty())
        std::abort();
    // A value is one character minus '0'; only single digits are written
    // back as one character, so only those come back unchanged.
    bool digits = true;
    for (const tavi::TSoundSetting& e : s.Sounds) {
        for (int v : {e.Off, e.Single, e.SingleEnabled}) {
            if (v < -'0' || v > 255 - '0')
                std::abort();
            digits = digits && v >= 0 && v <= 9;
        }
    }
    tavi::IniSettings again;
    tavi::ParseIni(tavi::FormatIni(s), exeDir, again);
    if (digits && !(again == s))
        std::abort();
    return 0;
}
