// SPDX-License-Identifier: GPL-3.0-or-later
// Texts in files are 8-bit Windows-1252; the program holds UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace tavi {

std::string Cp1252ToUtf8(std::string_view bytes);
// Characters without a Windows-1252 byte become '?'.
std::string Utf8ToCp1252(std::string_view utf8);

} // namespace tavi
