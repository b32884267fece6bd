// SPDX-License-Identifier: GPL-3.0-or-later
// The chart marker: a vertical cursor dragged along a curve with an X and
// amplitude readout, or a horizontal level line with a Y readout, plus up to
// three reference lines, one of which the cursor may carry. It works by
// installing its mouse and after-draw hooks on a chart.
#pragma once

#include "platform/Chart.h"

#include <QColor>
#include <QPointer>
#include <array>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

class QLabel;

namespace tavi {

inline const QColor kMarkerColour{0x80, 0x00, 0x80};        // cursor and level line
inline const QColor kReferenceLineColour{0xFF, 0x00, 0x00}; // style 1
inline const QColor kReferenceTickColour{0x00, 0x00, 0xFF}; // style 2
inline const QColor kMarkerRestPen{0x80, 0x00, 0x00};       // canvas pen between drawings

enum MarkerKind : int { mkVertical = 0, mkLevel = 1 };

// Reference slots numbered from 1, as the measurement cursors use them.
struct MarkerReferences {
    static constexpr int kSlots = 1100;
    std::array<std::uint16_t, kSlots> values{};
    std::uint16_t& operator[](int k) { return values.at(static_cast<std::size_t>(k - 1)); }
    std::uint16_t operator[](int k) const { return values.at(static_cast<std::size_t>(k - 1)); }
};

// Pure parts of the marker's geometry.
// Point index under a mouse column while dragging: first + (mouseX - firstX) /
// pixelsPerPoint, halves to even.
int DragIndex(int firstVisible, int firstX, int mouseX, double pixelsPerPoint);
// A click within half a percent of the plot width grabs the cursor or line.
bool WithinGrabDistance(int distance, int plotWidth);
// The level row kept inside the axis: the row of the maximum when the value at
// the row is above it, the row of the minimum when below, else the row itself.
int ClampLevelRow(int row, double valueAtRow, double minimum, double maximum, int rowOfMinimum,
                  int rowOfMaximum);
// " B: 12.50 Gs • A: -37 a.u." and " A: 500 a.u.".
std::string VerticalReadout(char axisLetter, double x, const std::string& unitText,
                            double amplitude);
std::string LevelReadout(double value);

struct ChartMarker {
    bool Active = false;
    bool Dragging = false;
    QPointer<TChart> Chart;
    std::int32_t PointIndex = 0;
    std::int32_t PointCount = 0;
    double PixelsPerPoint = 0;
    std::int32_t CursorCentreY = 0;
    std::int32_t LevelY = 0;
    std::uint8_t SeriesIndex = 0;
    TChartSeries* BaseLineSeries = nullptr;
    std::uint8_t ReferenceStyle = 0;
    MarkerReferences References;
    std::uint8_t ReferenceCount = 0;
    std::uint8_t SelectedReference = 0;
    QPointer<QLabel> ReadoutLabel;
    std::string UnitText;
    char AxisLetter = 'B';
    std::int32_t VerticalHalfLength = 0;
    std::int32_t HorizontalHalfLength = 0;
    // Called after the cursor moved to another point, whatever moved it (a
    // drag, a key, a button, the marker keeping it within the visible points).
    std::function<void()> OnMove;

    // All fields zero or none.
    ChartMarker() = default;
    // MarkerStart::Cursor: the start values of the acquisition and source
    // markers (point 15, cursor centre and level row 50).
    enum class MarkerStart { Zero, Cursor };
    explicit ChartMarker(MarkerStart start);
    // The hooks refer to this object: it stays where it is.
    ChartMarker(const ChartMarker&) = delete;
    ChartMarker& operator=(const ChartMarker&) = delete;
    ~ChartMarker();

    void Attach(TChart& chart, int pointCount, int kind, char axisLetter,
                const std::string& unitText, int referenceStyle, QLabel* readoutLabel,
                int verticalHalfLength, int horizontalHalfLength, int seriesNumber);
    void Detach();
    void SetKind(int kind);
    void Refresh();
    void HideReferences();
    void MoveTo(int index);
    // Moves the cursor by points, within the visible points (the keys' way of
    // dragging); nothing while the marker is off.
    void Step(int points);
    void Centre();
    int CurrentIndex() const;
    void SetBaseLineSeries(TChartSeries* series) { BaseLineSeries = series; }
    double Amplitude(int index) const;

    // The hooks SetKind and Attach install.
    void VerticalMouseDown(Qt::MouseButton button, int x, int y);
    void VerticalMouseMove(int x, int y);
    void VerticalAfterDraw();
    void LevelMouseDown(Qt::MouseButton button, int x, int y);
    void LevelMouseMove(int x, int y);
    void LevelAfterDraw();
    void MouseUp(Qt::MouseButton button, int x, int y);

    // The tracked series, or nullptr.
    TChartSeries* Tracked() const;

private:
    int PixelOfIndex(const TChartSeries& series, int index) const;
    // Tells OnMove when the cursor stands elsewhere than at the last call,
    // also after PointIndex was set directly.
    void Moved();
    std::int32_t toldIndex_ = -1;
};

// The processing window's three cursor buttons "LC", "MC", "RC" and a
// measurement button calling in as "other". The flags are the buttons' down
// states, as they are after the click.
enum class CursorButton { LC, MC, RC, Other };
void M2CTBClick(ChartMarker& marker, CursorButton sender, bool& lcDown, bool& mcDown, bool& rcDown,
                int cursorSlotCount);

} // namespace tavi
