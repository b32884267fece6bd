// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/UMMarker.h"

#include "params/Freq.h"
#include "params/NumFormat.h"

#include <QLabel>
#include <algorithm>
#include <cmath>
#include <limits>

namespace tavi {

namespace {

// Hooks as named types, so a marker can tell its own hooks on a chart.
struct ButtonHook {
    ChartMarker* marker;
    void (ChartMarker::*fn)(Qt::MouseButton, int, int);
    void operator()(Qt::MouseButton b, int x, int y) const { (marker->*fn)(b, x, y); }
};
struct MoveHook {
    ChartMarker* marker;
    void (ChartMarker::*fn)(int, int);
    void operator()(int x, int y) const { (marker->*fn)(x, y); }
};
struct DrawHook {
    ChartMarker* marker;
    void (ChartMarker::*fn)();
    void operator()() const { (marker->*fn)(); }
};

template <typename Hook, typename F> bool Owns(const F& f, const ChartMarker* marker) {
    const Hook* h = f.template target<Hook>();
    return h && h->marker == marker;
}

int ToInt(std::int64_t v) {
    return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

} // namespace

int DragIndex(int firstVisible, int firstX, int mouseX, double pixelsPerPoint) {
    long double steps = static_cast<long double>(mouseX - firstX) / pixelsPerPoint;
    return ToInt(static_cast<std::int64_t>(firstVisible) + RoundHalfEven(steps));
}

bool WithinGrabDistance(int distance, int plotWidth) {
    return distance <= plotWidth * 0.01 * 0.5;
}

int ClampLevelRow(int row, double valueAtRow, double minimum, double maximum, int rowOfMinimum,
                  int rowOfMaximum) {
    if (valueAtRow > maximum)
        return rowOfMaximum;
    if (valueAtRow < minimum)
        return rowOfMinimum;
    return row;
}

std::string VerticalReadout(char axisLetter, double x, const std::string& unitText,
                            double amplitude) {
    std::string text = " ";
    text += axisLetter;
    text += ": " + FloatToStrFNumber(x, 9, 2) + " " + unitText + " \xE2\x80\xA2 A: ";
    text += std::to_string(RoundHalfEven(amplitude)) + " a.u.";
    return text;
}

std::string LevelReadout(double value) {
    return " A: " + std::to_string(RoundHalfEven(value)) + " a.u.";
}

ChartMarker::ChartMarker(MarkerStart start) {
    if (start == MarkerStart::Cursor) {
        PointIndex = 15;
        CursorCentreY = 50;
        LevelY = 50;
    }
}

ChartMarker::~ChartMarker() {
    if (!Chart)
        return;
    TChart& c = *Chart;
    if (Owns<ButtonHook>(c.OnMouseDown, this))
        c.OnMouseDown = nullptr;
    if (Owns<ButtonHook>(c.OnMouseUp, this))
        c.OnMouseUp = nullptr;
    if (Owns<MoveHook>(c.OnMouseMove, this))
        c.OnMouseMove = nullptr;
    if (Owns<DrawHook>(c.OnAfterDraw, this))
        c.OnAfterDraw = nullptr;
}

void ChartMarker::Attach(TChart& chart, int pointCount, int kind, char axisLetter,
                         const std::string& unitText, int referenceStyle, QLabel* readoutLabel,
                         int verticalHalfLength, int horizontalHalfLength, int seriesNumber) {
    Chart = &chart;
    Active = true;
    Dragging = false;
    ReferenceStyle = static_cast<std::uint8_t>(referenceStyle);
    ReferenceCount = 0;
    SelectedReference = 0;
    chart.Canvas().SetPen(kMarkerRestPen);
    PointCount = pointCount;
    SeriesIndex = static_cast<std::uint8_t>(seriesNumber - 1);
    PixelsPerPoint = 0;
    UnitText = unitText.substr(0, 4);
    AxisLetter = axisLetter;
    VerticalHalfLength = verticalHalfLength;
    HorizontalHalfLength = horizontalHalfLength;
    ReadoutLabel = readoutLabel;
    BaseLineSeries = nullptr;
    chart.OnMouseUp = ButtonHook{this, &ChartMarker::MouseUp};
    SetKind(kind);
}

void ChartMarker::Detach() {
    Active = false;
    Dragging = false;
    if (Chart) {
        Chart->OnMouseDown = nullptr;
        Chart->OnMouseMove = nullptr;
        Chart->OnMouseUp = nullptr;
    }
    BaseLineSeries = nullptr;
}

void ChartMarker::SetKind(int kind) {
    if (!Chart)
        return;
    if (kind == mkLevel) {
        Chart->OnMouseDown = ButtonHook{this, &ChartMarker::LevelMouseDown};
        Chart->OnMouseMove = MoveHook{this, &ChartMarker::LevelMouseMove};
        Chart->OnAfterDraw = DrawHook{this, &ChartMarker::LevelAfterDraw};
    } else {
        Chart->OnMouseDown = ButtonHook{this, &ChartMarker::VerticalMouseDown};
        Chart->OnMouseMove = MoveHook{this, &ChartMarker::VerticalMouseMove};
        Chart->OnAfterDraw = DrawHook{this, &ChartMarker::VerticalAfterDraw};
    }
    Chart->RepaintOverlay();
}

void ChartMarker::Refresh() {
    if (Chart)
        Chart->RepaintOverlay();
}

void ChartMarker::HideReferences() {
    ReferenceCount = 0;
    Refresh();
}

void ChartMarker::Moved() {
    if (PointIndex == toldIndex_)
        return;
    toldIndex_ = PointIndex;
    if (OnMove)
        OnMove();
}

void ChartMarker::MoveTo(int index) {
    PointIndex = index;
    Refresh();
    Moved();
}

void ChartMarker::Step(int points) {
    TChartSeries* s = Tracked();
    if (!Active || !s || s->FirstVisibleIndex() < 0)
        return;
    MoveTo(std::clamp(CurrentIndex() + points, s->FirstVisibleIndex(), s->LastVisibleIndex()));
}

void ChartMarker::Centre() {
    TChartSeries* s = Tracked();
    if (!s)
        return;
    int first = s->FirstVisibleIndex();
    int last = s->LastVisibleIndex();
    if (first < 0) { // nothing visible: no middle to go to
        Refresh();
        return;
    }
    MoveTo(first + (last - first) / 2);
}

int ChartMarker::CurrentIndex() const {
    TChartSeries* s = Tracked();
    if (!s)
        return PointIndex;
    int first = s->FirstVisibleIndex();
    int last = s->LastVisibleIndex();
    if (first < 0)
        return PointIndex;
    return std::clamp(PointIndex, first, last);
}

double ChartMarker::Amplitude(int index) const {
    TChartSeries* s = Tracked();
    if (!s || index < 0 || index >= s->Count())
        return 0;
    double y = s->Y(index);
    if (BaseLineSeries && index < BaseLineSeries->Count())
        y -= BaseLineSeries->Y(index);
    return y;
}

TChartSeries* ChartMarker::Tracked() const {
    if (!Chart || SeriesIndex >= Chart->SeriesCount())
        return nullptr;
    return &Chart->Series(SeriesIndex);
}

int ChartMarker::PixelOfIndex(const TChartSeries& series, int index) const {
    index = std::clamp(index, 0, series.Count() - 1);
    return Chart->BottomAxis().CalcPosValue(series.X(index));
}

void ChartMarker::VerticalAfterDraw() {
    TChartSeries* s = Tracked();
    if (!s)
        return;
    TChart& chart = *Chart;
    TChartCanvas& canvas = chart.Canvas();
    const QRect plot = chart.PlotRect();
    if (ReferenceStyle != 0 && ReferenceCount > 0 && s->Count() > 0) {
        for (int k = 1; k <= ReferenceCount; ++k) {
            int index = References[k];
            if (index >= s->Count())
                continue;
            int x = PixelOfIndex(*s, index);
            if (ReferenceStyle == 1) {
                canvas.SetPen(kReferenceLineColour);
                canvas.Line(x, plot.top(), x, plot.bottom());
            } else {
                int y = chart.RightAxis().CalcPosValue(s->Y(index));
                canvas.SetPen(kReferenceTickColour);
                canvas.Line(x, y - 25, x, y + 25);
            }
        }
        canvas.SetPen(kMarkerRestPen);
    }
    if (!Active)
        return;
    if (PixelsPerPoint == 0) {
        int lastPoint = std::min(PointCount, s->Count()) - 1;
        if (s->LastVisibleIndex() > 0 && lastPoint > 0) {
            const TChartAxis& bottom = chart.BottomAxis();
            double span =
                std::abs(bottom.ValueToPixel(s->X(lastPoint)) - bottom.ValueToPixel(s->X(0)));
            PixelsPerPoint = span / PointCount;
        }
        CursorCentreY = plot.top() + plot.height() / 2;
        if (PixelsPerPoint == 0)
            return;
        int first = s->FirstVisibleIndex();
        int last = s->LastVisibleIndex();
        if (PointIndex < first || PointIndex > last)
            PointIndex = first + (last - first) / 2;
    }
    int first = s->FirstVisibleIndex();
    int last = s->LastVisibleIndex();
    if (first < 0)
        return;
    PointIndex = std::clamp(PointIndex, first, last);
    canvas.Cross(PixelOfIndex(*s, PointIndex), CursorCentreY, 1, VerticalHalfLength, kMarkerColour);
    canvas.SetPen(kMarkerRestPen);
    if (ReadoutLabel)
        ReadoutLabel->setText(QString::fromStdString(
            VerticalReadout(AxisLetter, s->X(PointIndex), UnitText, Amplitude(PointIndex))));
    Moved();
}

void ChartMarker::VerticalMouseDown(Qt::MouseButton button, int x, int) {
    if (button != Qt::LeftButton || !Active || PixelsPerPoint == 0)
        return;
    TChartSeries* s = Tracked();
    if (!s || s->Count() == 0)
        return;
    int cursorX = PixelOfIndex(*s, PointIndex);
    if (WithinGrabDistance(std::abs(x - cursorX), Chart->PlotRect().width())) {
        Dragging = true;
        return;
    }
    PointIndex += x > cursorX ? 1 : -1;
    Chart->RepaintOverlay();
    Moved();
}

void ChartMarker::VerticalMouseMove(int x, int) {
    if (!Dragging || !Chart)
        return;
    TChartSeries* s = Tracked();
    if (s && PixelsPerPoint > 0) {
        int first = s->FirstVisibleIndex();
        if (first >= 0)
            PointIndex = DragIndex(first, PixelOfIndex(*s, first), x, PixelsPerPoint);
    }
    Chart->RepaintOverlay();
    Moved();
}

void ChartMarker::LevelMouseDown(Qt::MouseButton button, int, int y) {
    if (button != Qt::LeftButton || !Active || !Chart)
        return;
    int d = y - LevelY;
    // The plot width is the measure here too, also for this vertical distance.
    if (std::abs(d) <= Chart->PlotRect().width() * 0.005) {
        Dragging = true;
        return;
    }
    LevelY += d > 0 ? 1 : -1;
    Chart->RepaintOverlay();
}

void ChartMarker::LevelMouseMove(int, int y) {
    if (!Dragging || !Chart)
        return;
    LevelY = y;
    Chart->RepaintOverlay();
}

void ChartMarker::LevelAfterDraw() {
    if (!Active || !Chart)
        return;
    TChart& chart = *Chart;
    const TChartAxis& axis = chart.RightAxis();
    LevelY = ClampLevelRow(LevelY, axis.CalcPosPoint(LevelY), axis.Minimum(), axis.Maximum(),
                           axis.CalcPosValue(axis.Minimum()), axis.CalcPosValue(axis.Maximum()));
    const QRect plot = chart.PlotRect();
    TChartCanvas& canvas = chart.Canvas();
    canvas.Cross(plot.left() + plot.width() / 2, LevelY, HorizontalHalfLength, 1, kMarkerColour);
    canvas.SetPen(kMarkerRestPen);
    if (ReadoutLabel)
        ReadoutLabel->setText(QString::fromStdString(LevelReadout(axis.CalcPosPoint(LevelY))));
}

void ChartMarker::MouseUp(Qt::MouseButton button, int, int) {
    if (button == Qt::LeftButton)
        Dragging = false;
}

void M2CTBClick(ChartMarker& marker, CursorButton sender, bool& lcDown, bool& mcDown, bool& rcDown,
                int cursorSlotCount) {
    const int n = std::clamp(cursorSlotCount, 1, MarkerReferences::kSlots);
    auto& refs = marker.References;
    if (sender == CursorButton::Other)
        lcDown = mcDown = rcDown = false;
    if (marker.SelectedReference != 0)
        refs[marker.SelectedReference] = static_cast<std::uint16_t>(marker.PointIndex);
    if (lcDown || mcDown || rcDown) {
        switch (sender) {
        case CursorButton::LC:
            rcDown = mcDown = false;
            marker.SelectedReference = 1;
            marker.PointIndex = refs[1];
            refs[1] = refs[n];
            break;
        case CursorButton::RC:
            lcDown = mcDown = false;
            marker.SelectedReference = 2;
            marker.PointIndex = refs[2];
            refs[2] = refs[n];
            break;
        case CursorButton::MC:
            lcDown = rcDown = false;
            marker.SelectedReference = 3;
            marker.PointIndex = refs[3];
            break;
        case CursorButton::Other:
            break;
        }
        marker.ReferenceCount = static_cast<std::uint8_t>(n - 1);
    } else {
        marker.SelectedReference = 0;
        marker.ReferenceCount = static_cast<std::uint8_t>(n);
        marker.PointIndex = refs[1] + (refs[n] - refs[1]) / 2;
    }
    marker.Refresh();
}

} // namespace tavi
