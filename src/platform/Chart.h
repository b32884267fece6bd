// SPDX-License-Identifier: GPL-3.0-or-later
// Our chart widget over QCustomPlot: exactly what the acquisition and the
// processing windows ask of "the chart widget". Curves are redrawn only when
// their data changed (coalesced to ~30 per second); markers and bands draw on
// an overlay layer, whose repaint still runs every after-draw hook in order.
#pragma once

#include <QColor>
#include <QRect>
#include <QWidget>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

class QCustomPlot;
class QPainter;

namespace tavi {

class TChart;

// One XY line series with a colour per point.
class TChartSeries {
public:
    void Clear();
    void AddXY(double x, double y, QColor colour);
    int Count() const;
    double X(int i) const;
    double Y(int i) const;
    void SetY(int i, double y);
    QColor Colour(int i) const;
    void SetColour(int i, QColor colour);
    std::span<const double> Ys() const;
    std::span<const double> Xs() const;

    bool Active() const;
    void SetActive(bool active);
    // First and last point index inside the bottom axis's current range; -1
    // when the series has no visible point.
    int FirstVisibleIndex() const;
    int LastVisibleIndex() const;

    // Runs after the series has been drawn (full drawings and overlay repaints).
    std::function<void()> OnAfterDraw;

    // (internal) implementation is TChart's business
    struct Impl;
    explicit TChartSeries(TChart* chart, Impl* impl);
    Impl* impl_;
    TChart* chart_;
};

// A fixed-scale axis.
class TChartAxis {
public:
    double Minimum() const;
    double Maximum() const;
    void SetMinMax(double minimum, double maximum);
    double Increment() const;
    void SetIncrement(double increment);
    // A picture format such as "# ##0.### [Gs]" (see FormatFloat).
    void SetValueFormat(const std::string& picture);
    std::string ValueFormat() const;
    // Value <-> pixel (widget coordinates).
    int CalcPosValue(double value) const;
    double CalcPosPoint(int pixel) const;

    struct Impl;
    explicit TChartAxis(Impl* impl);
    Impl* impl_;
};

// Drawing on the overlay layer, in widget coordinates.
class TChartCanvas {
public:
    void SetPen(QColor colour, int width = 1);
    void SetInvertingPen(bool inverting); // raster-op XOR-like inversion
    void Line(int x1, int y1, int x2, int y2);
    // A cross: horizontal arm of half width hw, vertical arm of half height hh.
    void Cross(int x, int y, int hw, int hh, QColor colour);
    QColor PenColour() const;

    QPainter* painter_ = nullptr;
    QColor pen_ = Qt::black;
    int width_ = 1;
    bool invert_ = false;
};

class TChart : public QWidget {
    Q_OBJECT
public:
    explicit TChart(QWidget* parent = nullptr);
    ~TChart() override;

    TChartSeries& AddSeries();
    TChartSeries& Series(int index);
    int SeriesCount() const;

    TChartAxis& BottomAxis();
    TChartAxis& RightAxis();

    // The plot rectangle (inside the axes) in widget coordinates.
    QRect PlotRect() const;

    // Mouse hooks: button, x, y in widget coordinates.
    std::function<void(Qt::MouseButton, int, int)> OnMouseDown;
    std::function<void(int, int)> OnMouseMove;
    std::function<void(Qt::MouseButton, int, int)> OnMouseUp;
    std::function<void()> OnClick;
    // Runs after each drawing, after the series' own hooks.
    std::function<void()> OnAfterDraw;
    // Canvas valid inside the after-draw hooks.
    TChartCanvas& Canvas();

    // Zoom the bottom axis to the X range of a pixel rectangle, and undo.
    void ZoomRect(const QRect& pixels);
    void UndoZoom();
    bool Zoomed() const;
    std::function<void()> OnZoom;
    std::function<void()> OnUndoZoom;

    // Curves changed: redraw soon (coalesced).
    void Invalidate();
    // Redraw the curves now.
    void RepaintNow();
    // Only the overlay: markers, bands and every after-draw hook.
    void RepaintOverlay();

    // Draws the chart into a rectangle of a page at a resolution (dots per inch).
    void Draw(QPainter& painter, const QRect& target, int resolution);

    QCustomPlot* Plot() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Private;
    std::unique_ptr<Private> d_;
};

} // namespace tavi
