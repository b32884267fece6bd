// SPDX-License-Identifier: GPL-3.0-or-later
// "value ± error" texts: the error to two significant digits, the value to
// the same decimal place.
#pragma once

#include "analysis/Analysis.h"

#include <string>

namespace tavi::analysis {

std::string ValueWithError(const Measured& m);
// A value without error, to six significant digits ("–" when not finite).
std::string PlainValue(double v);

} // namespace tavi::analysis
