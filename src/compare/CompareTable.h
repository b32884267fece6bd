// SPDX-License-Identifier: GPL-3.0-or-later
// The results table of a series: one row per file with its header values and
// the processing window's measurements, and its text forms (Copy, CSV).
#pragma once

#include "compare/CompareData.h"

#include <optional>
#include <string>
#include <vector>

namespace tavi {

// Fitted line of a file, when a model is chosen.
struct CompareFit {
    double Centre = 0;
    double CentreError = 0;
    double Width = 0;
    double WidthError = 0;
};

struct CompareColumn {
    std::string Title;
    bool Numeric = false;
    int ErrorColumn = -1; // the column holding this one's errors
};

struct CompareCell {
    std::string Text;
    std::optional<double> Value; // numeric cells; empty when there is no value
};
using CompareRow = std::vector<CompareCell>;

// Columns in order; the fitted ones only with a model.
std::vector<CompareColumn> CompareColumns(bool withFit);
inline constexpr int kCommentValueColumn = 2; // the number the comment pattern takes

CompareRow MakeCompareRow(const CompareFile& file, std::optional<double> commentValue,
                          const std::optional<CompareFit>& fit, bool withFit);

// Shortest text that reads back to the same double.
std::string ExactNumber(double v);

// The table as text: tab-separated (Copy) or CSV with quoting; numbers in full
// precision, header line first.
std::string CompareTableText(const std::vector<CompareColumn>& columns,
                             const std::vector<CompareRow>& rows, char separator);

} // namespace tavi
