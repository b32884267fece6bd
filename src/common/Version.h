// SPDX-License-Identifier: GPL-3.0-or-later
// The release every program reports for --version.
#pragma once

#include <string>
#include <string_view>

namespace tavi {

// "2.4": the project's version, as the package and the manual pages carry it.
std::string_view Version();
// "<program> <version>\n", the whole --version output.
std::string VersionLine(std::string_view program);

} // namespace tavi
