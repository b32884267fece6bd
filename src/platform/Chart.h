// SPDX-License-Identifier: GPL-3.0-or-later
// Our chart widget over QCustomPlot: exactly what the acquisition and the
// processing windows ask of "the chart widget". Curves are redrawn only when
// their data changed (coalesced to ~30 per second); markers and bands draw on
// an overlay layer, whose repaint still runs every after-draw hook in order.
#pragma once

#include <QColor>
#include <QLine>
#include <QRect>
#include <QRegion>
#include <QWidget>
#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class QCustomPlot;
class QCPAxis;
class QPainter;
class QMenu;
class QPaintDevice;
class QTimer;
class QKeyEvent;

namespace tavi {

class TChart;
class SeriesPlottable;
class ChartPlot;
class OverlayLayerable;

// One XY line series with a colour per point. X must be ascending for the
// visible-range queries. The segment from point i to point i + 1 is drawn in
// the colour of point i + 1, so a recoloured run of points shows in its new
// colour up to its first point.
class TChartSeries {
public:
    TChartSeries(const TChartSeries&) = delete;
    TChartSeries& operator=(const TChartSeries&) = delete;

    void Clear();
    void Reserve(int count);
    void AddXY(double x, double y, QColor colour);
    void AddXY(double x, double y) { AddXY(x, y, colour_); }
    // AddXY for each pair of xs and ys (as many as the shorter holds), all in
    // one colour: a whole curve at once.
    void AddPoints(std::span<const double> xs, std::span<const double> ys, QColor colour);
    int Count() const { return static_cast<int>(xs_.size()); }
    double X(int i) const { return xs_.at(static_cast<std::size_t>(i)); }
    double Y(int i) const { return ys_.at(static_cast<std::size_t>(i)); }
    void SetY(int i, double y);
    QColor Colour(int i) const;
    void SetColour(int i, QColor colour);
    std::span<const double> Ys() const { return ys_; }
    std::span<const double> Xs() const { return xs_; }
    // The colour AddXY(x, y) uses.
    QColor SeriesColour() const { return colour_; }
    void SetSeriesColour(QColor colour) { colour_ = colour; }

    bool Active() const { return active_; }
    void SetActive(bool active);
    // First and last point index inside the bottom axis's current range; -1
    // when the series has no visible point.
    int FirstVisibleIndex() const;
    int LastVisibleIndex() const;

    // Runs after the curves have been drawn (full drawings, overlay repaints
    // and printed pages), before the chart's own after-draw hook.
    std::function<void()> OnAfterDraw;

    TChart& Chart() const { return *chart_; }

private:
    friend class TChart;
    friend class SeriesPlottable;
    explicit TChartSeries(TChart& chart) : chart_(&chart) {}

    TChart* chart_;
    SeriesPlottable* plottable_ = nullptr;
    std::vector<double> xs_;
    std::vector<double> ys_;
    std::vector<QRgb> colours_;
    QColor colour_ = Qt::yellow;
    bool active_ = true;
    // Counts the changes of the points, so a drawing can tell an unchanged curve.
    std::uint64_t revision_ = 0;
};

// How "Save picture as..." draws the chart: as it shows on screen, or for a
// publication (white background, black axes with titles and units, curves in
// print colours, no cursors, a given size and resolution).
struct PictureStyle {
    bool Publication = false;
    double WidthMm = 160;
    double HeightMm = 100;
    int Dpi = 300;
};

// The colour a curve is printed in on white: light colours darkened, near
// greys black.
QColor PublicationColour(QColor colour);

// A fixed-scale axis. Pixels are widget coordinates of the chart.
class TChartAxis {
public:
    TChartAxis(const TChartAxis&) = delete;
    TChartAxis& operator=(const TChartAxis&) = delete;

    double Minimum() const { return min_; }
    double Maximum() const { return max_; }
    void SetMinMax(double minimum, double maximum);
    // Label step; 0 lets the chart choose.
    double Increment() const { return increment_; }
    void SetIncrement(double increment);
    // A picture format such as "# ##0.### [Gs]" (see FormatFloat).
    void SetValueFormat(const std::string& picture);
    std::string ValueFormat() const { return picture_; }
    // Value <-> pixel. The pixel is the one the curves light for the value.
    // The maximum maps one pixel past the plot's last column (bottom axis) or
    // one row above its top row (right axis).
    int CalcPosValue(double value) const;
    double ValueToPixel(double value) const;
    double CalcPosPoint(int pixel) const;

private:
    friend class TChart;
    TChartAxis(TChart& chart, QCPAxis* axis);
    void Apply();

    TChart* chart_;
    QCPAxis* axis_;
    double min_ = 0;
    double max_ = 100;
    double increment_ = 0;
    std::string picture_ = "0.###";
};

// Drawing inside the after-draw hooks, in widget coordinates. Outside a
// drawing the calls draw nothing but the pen state is kept.
class TChartCanvas {
public:
    void SetPen(QColor colour, int width = 1);
    QColor PenColour() const { return pen_; }
    int PenWidth() const { return width_; }
    // Inverting pen: lines invert the colours under them (XOR on screen).
    void SetInvertingPen(bool inverting) { invert_ = inverting; }
    bool InvertingPen() const { return invert_; }
    void Line(int x1, int y1, int x2, int y2);
    // A cross in the given colour, which becomes the pen colour: a horizontal
    // arm from x - hw to x + hw and a vertical arm from y - hh to y + hh, end
    // pixels excluded (hw = 1 gives a bar two pixels wide).
    void Cross(int x, int y, int hw, int hh, QColor colour);
    bool Drawing() const { return painter_ != nullptr; }

private:
    friend class TChart;
    void Mark(const QRect& drawn);
    QPainter* painter_ = nullptr;
    std::vector<QLine>* inverted_ = nullptr; // inverted lines go here, drawn last
    QRegion* ink_ = nullptr;                 // where the screen's overlay drew
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
    int SeriesCount() const { return static_cast<int>(series_.size()); }

    TChartAxis& BottomAxis() { return *bottom_; }
    TChartAxis& RightAxis() { return *right_; }
    const TChartAxis& BottomAxis() const { return *bottom_; }
    const TChartAxis& RightAxis() const { return *right_; }

    // The plot rectangle (inside the axes) in widget coordinates.
    QRect PlotRect() const;

    // Mouse hooks: button, x, y in widget coordinates. A hook may replace
    // itself or the others while it runs.
    std::function<void(Qt::MouseButton, int, int)> OnMouseDown;
    std::function<void(int, int)> OnMouseMove;
    std::function<void(Qt::MouseButton, int, int)> OnMouseUp;
    // A press and release of the left button on the chart.
    std::function<void()> OnClick;
    // Runs after each drawing, after the series' own hooks.
    std::function<void()> OnAfterDraw;
    // Canvas valid inside the after-draw hooks.
    TChartCanvas& Canvas() { return canvas_; }

    // Zoom to the value range of a pixel rectangle (a rectangle spanning the
    // whole plot height keeps the vertical range exactly), then OnZoom, then
    // the drawing. A rectangle narrower than two pixels does nothing.
    void ZoomRect(const QRect& pixels);
    // Restores the ranges from before the first zoom, then OnUndoZoom, then
    // the drawing.
    void UndoZoom();
    bool Zoomed() const { return zoomed_; }
    std::function<void()> OnZoom;
    std::function<void()> OnUndoZoom;
    // With the focus (a click or Tab gives it): Left/Right step by one point,
    // PgDn/PgUp by ten; negative is to the left.
    std::function<void(int points)> OnStepKey;

    // Curves changed: redraw soon (coalesced).
    void Invalidate();
    // Redraw the curves and the overlay now.
    void RepaintNow();
    // What the coalescing timer runs: RepaintNow, or only the curves and the
    // overlay when nothing but the series' points changed since the last one.
    void RepaintDue();
    // Only the overlay: markers, bands and every after-draw hook.
    void RepaintOverlay();

    // Draws the chart into a rectangle of a page at a resolution (dots per
    // inch); text keeps about its on-screen point size.
    void Draw(QPainter& painter, const QRect& target, int resolution);

    void SetBackground(QColor colour); // around and inside the plot
    void SetBackground(QColor around, QColor plotArea);
    QColor Background() const { return background_; }         // around the plot
    QColor PlotBackground() const { return plotBackground_; } // inside it
    void SetForeground(QColor colour); // axes, ticks and labels

    // Drawings of the curves and of the overlay so far (for tests).
    int CurveDrawings() const { return curveDrawings_; }
    int OverlayDrawings() const { return overlayDrawings_; }

    QCustomPlot* Plot() const;

    // Writes what the chart shows, at its on-screen size, to a picture file:
    // PNG, SVG or PDF by the file's suffix. On failure returns false with the
    // cause and leaves no partial file under the name.
    bool SavePicture(const QString& path, QString* error);
    // "Save picture as...": asks for the file through the dialogs seam, then
    // SavePicture; a failure is shown to the operator.
    void SavePictureAs();
    // The chart's context menu, created on first use.
    QMenu* ContextMenu();
    // The picture menu's choice; every chart has its own.
    const PictureStyle& Picture() const { return pictureStyle_; }
    void SetPicture(const PictureStyle& style);
    // "Publication size...": width and height in mm and the resolution,
    // asked through the dialogs seam.
    void PictureSizeDialog();
    // Axis titles of a publication picture; empty: the chart's axis labels, or
    // "Sweep [unit of the bottom axis's format]" and "Signal [a.u.]".
    void SetPublicationTitles(const QString& bottom, const QString& right);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QColor background_;
    QColor plotBackground_;
    friend class TChartSeries;
    friend class TChartAxis;
    friend class SeriesPlottable;
    friend class ChartPlot;
    friend class OverlayLayerable;

    void EnsureLayout() const;
    void LayoutChanged() { layoutDirty_ = true; }
    // A series' points changed: the curves need drawing, not the frame.
    void InvalidateCurves();
    // What a curves-only drawing relies on being as it was drawn.
    struct Frame {
        double X1, X2, Y1, Y2;
        QRect Rect;
        bool operator==(const Frame&) const = default;
    };
    Frame CurrentFrame() const;
    void DrawOverlay(QPainter& painter, std::vector<QLine>* inverted);
    void PaintInverted(QPainter& painter) const;

    ChartPlot* plot_;
    OverlayLayerable* overlay_;
    std::deque<std::unique_ptr<TChartSeries>> series_;
    std::unique_ptr<TChartAxis> bottom_;
    std::unique_ptr<TChartAxis> right_;
    TChartCanvas canvas_;
    QTimer* invalidateTimer_ = nullptr;
    std::vector<QLine> inverted_;
    QRegion overlayInk_; // the pixels of the overlay's buffer drawn on
    bool zoomed_ = false;
    double savedRange_[4] = {0, 0, 0, 0};
    bool drawing_ = false;
    bool printing_ = false;
    mutable bool needsReplot_ = true;
    bool fullPending_ = true;
    std::optional<Frame> drawnFrame_;
    bool pressed_ = false;
    mutable bool layoutDirty_ = true;
    int curveDrawings_ = 0;
    int overlayDrawings_ = 0;
    QMenu* contextMenu_ = nullptr;
    QString pictureDir_;
    PictureStyle pictureStyle_;
    QString publicationTitles_[2];
    bool publication_ = false; // drawing a publication picture now
    friend class PublicationLook;
};

} // namespace tavi
