// SPDX-License-Identifier: GPL-3.0-or-later
// The INI reader on arbitrary text: values stay in range, and what it read is
// written and read back unchanged.
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
    for (const tavi::TSoundSetting& e : s.Sounds) {
        if (e.Off < 0 || e.Off > 2 || e.Single < 0 || e.Single > 2 || e.SingleEnabled < 0 ||
            e.SingleEnabled > 2)
            std::abort();
    }
    tavi::IniSettings again;
    tavi::ParseIni(tavi::FormatIni(s), exeDir, again);
    if (!(again == s))
        std::abort();
    return 0;
}
