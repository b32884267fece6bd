// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRgb>
#include <cstddef>
#include <vector>

namespace tavi {

// Keeps far-off points out of the rasteriser's range.
inline constexpr double kPixelLimit = 1e5;

// Value to pixel: a * value + b, held within the rasteriser's range.
struct Mapping {
    double AX, BX, AY, BY;
    bool operator==(const Mapping&) const = default;
};

// One pixel column of a dense curve: its highest and lowest pixel, the one
// reached last drawn last, in the colour of the column's last point.
struct Column {
    double X, Top, Bottom;
    bool TopFirst;
    QRgb Colour;
    bool operator==(const Column&) const = default;
};

// Reduces the points lo..hi to their pixel columns. A column is a run of
// consecutive points whose mapped X has one floor; within it the first point
// opens both bounds, a point above the top moves the top, one below the bottom
// the bottom, and the bound moved last is drawn last.
void ScanColumns(const double* xs, const double* ys, const QRgb* cs, std::size_t lo, std::size_t hi,
                 Mapping m, std::vector<Column>& out);

} // namespace tavi
