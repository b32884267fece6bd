// SPDX-License-Identifier: GPL-3.0-or-later
// The release every program reports for --version.
#include "common/Version.h"

namespace tavi {

std::string_view Version() {
    return TAVI_VERSION;
}

std::string VersionLine(std::string_view program) {
    return std::string(program) + " " + std::string(Version()) + "\n";
}

} // namespace tavi
