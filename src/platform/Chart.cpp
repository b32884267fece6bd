// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Chart.h"

#include "params/NumFormat.h"
#include "platform/ChartScan.h"
#include "platform/Controls.h"
#include "platform/Seams.h"

#include <QContextMenuEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <qcustomplot.h>

namespace tavi {

namespace {

constexpr auto kInvalidateDelay = std::chrono::milliseconds(33); // ~30 drawings per second

// Tolerance of the visible-range tests: X values computed as min + i * step
// may overshoot the axis maximum by a rounding error.
double RangeSlack(double minimum, double maximum) {
    double span = std::abs(maximum - minimum);
    return span > 0 ? span * 1e-9 : 1e-12;
}

} // namespace

// Tick step and labels of one TChartAxis.
class PictureTicker : public QCPAxisTicker {
public:
    explicit PictureTicker(const TChartAxis& axis) : axis_(axis) {}

protected:
    bool FixedStep(const QCPRange& range) const {
        double inc = axis_.Increment();
        return inc > 0 && std::isfinite(inc) && range.size() / inc <= 1000;
    }
    double getTickStep(const QCPRange& range) override {
        return FixedStep(range) ? axis_.Increment() : QCPAxisTicker::getTickStep(range);
    }
    int getSubTickCount(double tickStep) override {
        return axis_.Increment() > 0 ? 4 : QCPAxisTicker::getSubTickCount(tickStep);
    }
    QString getTickLabel(double tick, const QLocale& locale, QChar formatChar,
                         int precision) override {
        // A tick meant to be 0 can come out as a tiny residue of the step sum.
        double step = axis_.Increment() > 0 ? axis_.Increment() : 1;
        if (std::abs(tick) < std::abs(step) * 1e-9)
            tick = 0;
        try {
            return QString::fromStdString(FormatFloat(axis_.ValueFormat(), tick));
        } catch (const std::exception&) {
            return QCPAxisTicker::getTickLabel(tick, locale, formatChar, precision);
        }
    }

private:
    const TChartAxis& axis_;
};

// Draws one series: a polyline per run of equal colours; with more points than
// pixel columns, each column is reduced to its extremes in their order.
class SeriesPlottable : public QCPAbstractPlottable {
public:
    SeriesPlottable(TChartSeries& series, QCPAxis* key, QCPAxis* value)
        : QCPAbstractPlottable(key, value), series_(series) {
        setAntialiased(false);
        setSelectable(QCP::stNone);
    }
    double selectTest(const QPointF&, bool, QVariant*) const override { return -1; }
    QCPRange getKeyRange(bool& found, QCP::SignDomain) const override {
        found = !series_.xs_.empty();
        return found ? QCPRange(series_.xs_.front(), series_.xs_.back()) : QCPRange();
    }
    QCPRange getValueRange(bool& found, QCP::SignDomain, const QCPRange&) const override {
        found = !series_.ys_.empty();
        if (!found)
            return {};
        auto [lo, hi] = std::minmax_element(series_.ys_.begin(), series_.ys_.end());
        return QCPRange(*lo, *hi);
    }

protected:
    void draw(QCPPainter* painter) override;
    void drawLegendIcon(QCPPainter*, const QRectF&) const override {}

private:
    void Add(QCPPainter* painter, QPointF point, QRgb colour);
    void Flush(QCPPainter* painter);

    TChartSeries& series_;
    std::vector<Column> columns_;
    // What columns_ was reduced from: a replot for another curve (a cursor's
    // running integral) leaves an unchanged dense curve's scan to be reused.
    struct ScanKey {
        std::uint64_t Revision = 0;
        std::size_t Lo = 0, Hi = 0;
        Mapping M{};
        bool operator==(const ScanKey&) const = default;
    };
    std::optional<ScanKey> scanned_;
    QVector<QPointF> run_;
    QRgb runColour_ = 0;
    QPen pen_{QColor(Qt::yellow), 1};
};

void SeriesPlottable::Add(QCPPainter* painter, QPointF point, QRgb colour) {
    if (run_.isEmpty()) {
        run_.push_back(point);
        runColour_ = colour;
        return;
    }
    if (colour != runColour_) {
        QPointF last = run_.back();
        if (run_.size() > 1)
            Flush(painter);
        run_.clear();
        run_.push_back(last);
        runColour_ = colour;
    }
    run_.push_back(point);
}

void SeriesPlottable::Flush(QCPPainter* painter) {
    if (run_.size() > 1) {
        const QColor colour = QColor::fromRgb(runColour_);
        pen_.setColor(series_.chart_->publication_ ? PublicationColour(colour) : colour);
        painter->setPen(pen_);
        painter->drawPolyline(run_.constData(), static_cast<int>(run_.size()));
    }
    run_.clear();
}

void SeriesPlottable::draw(QCPPainter* painter) {
    const std::vector<double>& xs = series_.xs_;
    const std::vector<double>& ys = series_.ys_;
    const std::vector<QRgb>& cs = series_.colours_;
    const std::size_t n = xs.size();
    if (n == 0)
        return;
    QCPAxis* key = keyAxis();
    QCPAxis* value = valueAxis();
    const QCPRange kr = key->range();
    const QCPRange vr = value->range();
    // The visible points and one neighbour on each side, so lines leave the plot.
    std::size_t lo =
        static_cast<std::size_t>(std::lower_bound(xs.begin(), xs.end(), kr.lower) - xs.begin());
    std::size_t hi =
        static_cast<std::size_t>(std::upper_bound(xs.begin(), xs.end(), kr.upper) - xs.begin());
    if (lo > 0)
        --lo;
    if (hi >= n)
        hi = n - 1;
    if (lo > hi)
        return;

    const double kx0 = key->coordToPixel(kr.lower);
    const double ax = (key->coordToPixel(kr.upper) - kx0) / kr.size();
    const double bx = kx0 - ax * kr.lower;
    const double vy0 = value->coordToPixel(vr.lower);
    const double ay = (value->coordToPixel(vr.upper) - vy0) / vr.size();
    const double by = vy0 - ay * vr.lower;
    auto px = [&](std::size_t i) { return std::clamp(ax * xs[i] + bx, -kPixelLimit, kPixelLimit); };
    auto py = [&](std::size_t i) { return std::clamp(ay * ys[i] + by, -kPixelLimit, kPixelLimit); };

    run_.clear();
    const std::size_t count = hi - lo + 1;
    const int columns = std::max(1, clipRect().width());
    if (count == 1) {
        pen_.setColor(QColor::fromRgb(cs[lo]));
        painter->setPen(pen_);
        painter->drawPoint(QPointF(px(lo), py(lo)));
        return;
    }
    if (count <= 2 * static_cast<std::size_t>(columns)) {
        for (std::size_t i = lo; i <= hi; ++i)
            Add(painter, QPointF(px(i), py(i)), cs[i]);
    } else {
        const ScanKey key{series_.revision_, lo, hi, Mapping{ax, bx, ay, by}};
        if (scanned_ != key) {
            ScanColumns(xs.data(), ys.data(), cs.data(), lo, hi, key.M, columns_);
            scanned_ = key;
        }
        for (const Column& c : columns_) {
            Add(painter, QPointF(c.X, c.TopFirst ? c.Top : c.Bottom), c.Colour);
            if (c.Top != c.Bottom)
                Add(painter, QPointF(c.X, c.TopFirst ? c.Bottom : c.Top), c.Colour);
        }
    }
    Flush(painter);
}

// The buffered top layer: every after-draw hook, in drawing order.
class OverlayLayerable : public QCPLayerable {
public:
    OverlayLayerable(QCustomPlot* plot, TChart& chart)
        : QCPLayerable(plot, "overlay"), chart_(chart) {}

protected:
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override {
        painter->setAntialiasing(false);
    }
    void draw(QCPPainter* painter) override {
        if (chart_.publication_)
            return; // no cursors or bands on a publication picture
        chart_.DrawOverlay(*painter, chart_.printing_ ? nullptr : &chart_.inverted_);
    }

private:
    friend class ChartPlot;
    TChart& chart_;
};

// QCustomPlot with its layout reachable and the inverting pen's lines drawn
// over the composed layers, where there are pixels to invert.
class ChartPlot : public QCustomPlot {
public:
    ChartPlot(TChart& chart) : QCustomPlot(&chart), chart_(chart) {}
    void UpdateLayout() { updateLayout(); }
    // A layer under the overlay was drawn again.
    void UnderlayChanged() { ++underlayDrawing_; }

    // Draws the overlay again and repaints only where the old and the new
    // drawing lie: a moving cursor repaints two columns, not the plot.
    void ReplotOverlay() {
        QCPLayer* overlay = layer(QStringLiteral("overlay"));
        if (mOpenGl || mPaintBuffers.size() < 2 || hasInvalidatedPaintBuffers() ||
            !OnlyCanvasDraws()) {
            overlay->replot();
            return;
        }
        QRegion changed = chart_.overlayInk_ + InvertedRegion();
        QCPAbstractPaintBuffer& buffer = *mPaintBuffers.back();
        {
            const std::unique_ptr<QCPPainter> painter(buffer.startPainting());
            // Transparent but where the last drawing drew.
            painter->setCompositionMode(QPainter::CompositionMode_Source);
            for (const QRect& r : chart_.overlayInk_)
                painter->fillRect(r, Qt::transparent);
            painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
            OverlayLayerable& canvas = *chart_.overlay_;
            if (canvas.realVisibility()) {
                painter->setClipRect(canvas.clipRect().translated(0, -1));
                canvas.applyDefaultAntialiasingHint(painter.get());
                canvas.draw(painter.get());
            }
        }
        buffer.donePainting();
        buffer.setInvalidated(false);
        update(changed + chart_.overlayInk_ + InvertedRegion());
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        const double dpr = mBufferDevicePixelRatio;
        if (mOpenGl || mPaintBuffers.size() < 2 || !qFuzzyCompare(dpr, devicePixelRatioF())) {
            QCustomPlot::paintEvent(event);
        } else {
            // A second paint of the same layers under the overlay is a moving
            // cursor's: those layers are composed once then, and each paint
            // after it costs a copy and one blend instead of a blend of every
            // layer. The first paint after a drawing of them composes directly.
            const QSize pixels = (QSizeF(size()) * dpr).toSize();
            if (composed_ != underlayDrawing_ || underlay_.size() != pixels) {
                if (painted_ == underlayDrawing_)
                    Compose(pixels, dpr);
                painted_ = underlayDrawing_;
            }
            const bool fromUnderlay = composed_ == underlayDrawing_ && underlay_.size() == pixels;
            // One rectangle of the region at a time: under a clip of several
            // (a readout over the plot) Qt blends span by span through its
            // thread pool, several times slower than its direct row blend.
            QCPPainter painter(this);
            for (const QRect& r : event->region()) {
                painter.setClipRect(r);
                if (fromUnderlay) {
                    painter.drawImage(QRectF(r), underlay_,
                                      QRectF(r.x() * dpr, r.y() * dpr, r.width() * dpr,
                                             r.height() * dpr));
                    DrawOverlayBuffer(painter, r);
                } else {
                    if (mBackgroundBrush.style() != Qt::NoBrush)
                        painter.fillRect(mViewport.intersected(r), mBackgroundBrush);
                    drawBackground(&painter);
                    for (const auto& buffer : mPaintBuffers)
                        buffer->draw(&painter);
                }
            }
        }
        if (!chart_.inverted_.empty()) {
            QPainter painter(this);
            chart_.PaintInverted(painter);
        }
    }

private:
    // The overlay's buffer is transparent but where the canvas drew: blending
    // only there spares a blend of the whole plot per cursor step. Anything
    // else drawing on the overlay's layer (a selection rectangle being
    // dragged) draws where it likes: then all of it.
    void DrawOverlayBuffer(QCPPainter& painter, const QRect& r) {
        if (!OnlyCanvasDraws()) {
            mPaintBuffers.back()->draw(&painter);
            return;
        }
        for (const QRect& ink : chart_.overlayInk_& r) {
            painter.setClipRect(ink);
            mPaintBuffers.back()->draw(&painter);
        }
    }

    bool OnlyCanvasDraws() {
        for (QCPLayerable* child : layer(QStringLiteral("overlay"))->children()) {
            const bool idle = child == mSelectionRect && !mSelectionRect->isActive();
            if (child != chart_.overlay_ && !idle)
                return false;
        }
        return true;
    }

    QRegion InvertedRegion() const {
        QRegion region;
        for (const QLine& l : chart_.inverted_)
            region += QRect(l.p1(), l.p2()).normalized().adjusted(-1, -1, 1, 1);
        return region;
    }

    void Compose(QSize pixels, double dpr) {
        if (underlay_.size() != pixels) {
            underlay_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
            underlay_.setDevicePixelRatio(dpr);
        }
        underlay_.fill(Qt::transparent);
        QCPPainter composer(&underlay_);
        if (mBackgroundBrush.style() != Qt::NoBrush)
            composer.fillRect(mViewport, mBackgroundBrush);
        drawBackground(&composer);
        for (int k = 0; k + 1 < mPaintBuffers.size(); ++k)
            mPaintBuffers[k]->draw(&composer);
        composed_ = underlayDrawing_;
    }

    TChart& chart_;
    QImage underlay_;
    // Drawings of the layers under the overlay; those composed into the
    // underlay and those last painted.
    std::uint64_t underlayDrawing_ = 1, composed_ = 0, painted_ = 0;
};

// ---------------------------------------------------------------- series

void TChartSeries::Clear() {
    xs_.clear();
    ys_.clear();
    colours_.clear();
    ++revision_;
    chart_->InvalidateCurves();
}

void TChartSeries::Reserve(int count) {
    auto n = static_cast<std::size_t>(std::max(0, count));
    xs_.reserve(n);
    ys_.reserve(n);
    colours_.reserve(n);
}

void TChartSeries::AddXY(double x, double y, QColor colour) {
    xs_.push_back(x);
    ys_.push_back(y);
    colours_.push_back(colour.rgb());
    ++revision_;
    chart_->InvalidateCurves();
}

void TChartSeries::AddPoints(std::span<const double> xs, std::span<const double> ys,
                             QColor colour) {
    const std::size_t n = std::min(xs.size(), ys.size());
    xs_.insert(xs_.end(), xs.begin(), xs.begin() + static_cast<std::ptrdiff_t>(n));
    ys_.insert(ys_.end(), ys.begin(), ys.begin() + static_cast<std::ptrdiff_t>(n));
    colours_.insert(colours_.end(), n, colour.rgb());
    ++revision_;
    chart_->InvalidateCurves();
}

void TChartSeries::SetY(int i, double y) {
    ys_.at(static_cast<std::size_t>(i)) = y;
    ++revision_;
    chart_->InvalidateCurves();
}

QColor TChartSeries::Colour(int i) const {
    return QColor::fromRgb(colours_.at(static_cast<std::size_t>(i)));
}

void TChartSeries::SetColour(int i, QColor colour) {
    colours_.at(static_cast<std::size_t>(i)) = colour.rgb();
    ++revision_;
    chart_->InvalidateCurves();
}

void TChartSeries::SetActive(bool active) {
    if (active_ == active)
        return;
    active_ = active;
    plottable_->setVisible(active);
    chart_->Invalidate();
}

int TChartSeries::FirstVisibleIndex() const {
    const TChartAxis& axis = chart_->BottomAxis();
    double slack = RangeSlack(axis.Minimum(), axis.Maximum());
    auto it = std::lower_bound(xs_.begin(), xs_.end(), axis.Minimum() - slack);
    if (it == xs_.end() || *it > axis.Maximum() + slack)
        return -1;
    return static_cast<int>(it - xs_.begin());
}

int TChartSeries::LastVisibleIndex() const {
    const TChartAxis& axis = chart_->BottomAxis();
    double slack = RangeSlack(axis.Minimum(), axis.Maximum());
    auto it = std::upper_bound(xs_.begin(), xs_.end(), axis.Maximum() + slack);
    if (it == xs_.begin() || *(it - 1) < axis.Minimum() - slack)
        return -1;
    return static_cast<int>(it - xs_.begin()) - 1;
}

// ---------------------------------------------------------------- axis

TChartAxis::TChartAxis(TChart& chart, QCPAxis* axis) : chart_(&chart), axis_(axis) {
    axis_->setTicker(QSharedPointer<QCPAxisTicker>(new PictureTicker(*this)));
    Apply();
}

void TChartAxis::Apply() {
    // QCustomPlot refuses an empty or reversed range; show one unit around it.
    if (max_ > min_)
        axis_->setRange(min_, max_);
    else
        axis_->setRange(min_ - 0.5, min_ + 0.5);
    chart_->LayoutChanged();
    chart_->Invalidate();
}

void TChartAxis::SetMinMax(double minimum, double maximum) {
    min_ = minimum;
    max_ = maximum;
    Apply();
}

void TChartAxis::SetIncrement(double increment) {
    increment_ = increment;
    chart_->LayoutChanged();
    chart_->Invalidate();
}

void TChartAxis::SetValueFormat(const std::string& picture) {
    picture_ = picture;
    chart_->LayoutChanged();
    chart_->Invalidate();
}

int TChartAxis::CalcPosValue(double value) const {
    // Aliased drawing lights pixel floor(p); the slack absorbs the rounding
    // of a value converted from a pixel and back.
    double p = std::clamp(ValueToPixel(value), -kPixelLimit, kPixelLimit);
    return static_cast<int>(std::floor(p + 1e-7));
}

double TChartAxis::ValueToPixel(double value) const {
    chart_->EnsureLayout();
    return axis_->coordToPixel(value);
}

double TChartAxis::CalcPosPoint(int pixel) const {
    chart_->EnsureLayout();
    return axis_->pixelToCoord(pixel);
}

// ---------------------------------------------------------------- canvas

void TChartCanvas::SetPen(QColor colour, int width) {
    pen_ = colour;
    width_ = std::max(1, width);
}

void TChartCanvas::Line(int x1, int y1, int x2, int y2) {
    if (!painter_)
        return;
    if (invert_) {
        if (inverted_)
            inverted_->emplace_back(x1, y1, x2, y2);
        return;
    }
    painter_->setPen(QPen(pen_, width_));
    painter_->drawLine(x1, y1, x2, y2);
    const int m = width_ + 1;
    Mark(QRect(QPoint(std::min(x1, x2), std::min(y1, y2)),
               QPoint(std::max(x1, x2), std::max(y1, y2)))
             .adjusted(-m, -m, m, m));
}

void TChartCanvas::Mark(const QRect& drawn) {
    if (!ink_)
        return;
    *ink_ += drawn;
    // A hatch of many strokes would make the region dearer than the blend.
    if (ink_->rectCount() > 64)
        *ink_ = ink_->boundingRect();
}

void TChartCanvas::Cross(int x, int y, int hw, int hh, QColor colour) {
    SetPen(colour, width_);
    if (!painter_)
        return;
    painter_->setPen(Qt::NoPen);
    painter_->setBrush(colour);
    if (hw > 0)
        painter_->drawRect(x - hw, y, 2 * hw, 1);
    if (hh > 0)
        painter_->drawRect(x, y - hh, 1, 2 * hh);
    painter_->setBrush(Qt::NoBrush);
    Mark(QRect(x - hw, y - hh, 2 * hw + 1, 2 * hh + 1).adjusted(-1, -1, 1, 1));
}

// ---------------------------------------------------------------- chart

TChart::TChart(QWidget* parent) : QWidget(parent), plot_(new ChartPlot(*this)) {
    invalidateTimer_ = new QTimer(this);
    invalidateTimer_->setSingleShot(true);
    invalidateTimer_->setInterval(kInvalidateDelay);
    connect(invalidateTimer_, &QTimer::timeout, this, &TChart::RepaintDue);
    plot_->setGeometry(rect());
    // Keys step the cursor, so the chart takes the focus and shows it.
    setFocusPolicy(Qt::StrongFocus);
    ShowFocusRing(this);
    plot_->setInteractions(QCP::Interactions());
    plot_->setCursor(Qt::PointingHandCursor);
    plot_->setMouseTracking(true);
    plot_->installEventFilter(this);
    plot_->setNoAntialiasingOnDrag(true);
    plot_->setNotAntialiasedElements(QCP::aeAll);
    plot_->legend->setVisible(false);
    plot_->xAxis2->setVisible(false);
    plot_->yAxis->setVisible(false);
    plot_->yAxis2->setVisible(true);
    plot_->yAxis2->grid()->setVisible(true);
    plot_->axisRect()->setMinimumMargins(QMargins(36, 10, 8, 4));
    // The curves have a buffer of their own, so new points redraw neither the
    // axes nor the grid, and the overlay one, so cursors redraw no curve.
    plot_->layer("main")->setMode(QCPLayer::lmBuffered);
    plot_->layer("overlay")->setMode(QCPLayer::lmBuffered);
    overlay_ = new OverlayLayerable(plot_, *this);
    connect(plot_, &QCustomPlot::beforeReplot, this, [this] {
        ++curveDrawings_;
        plot_->UnderlayChanged();
        layoutDirty_ = false; // the replot lays out first
    });
    bottom_.reset(new TChartAxis(*this, plot_->xAxis));
    right_.reset(new TChartAxis(*this, plot_->yAxis2));
    QFont font = plot_->xAxis->tickLabelFont();
    font.setPointSize(8);
    for (QCPAxis* axis : {plot_->xAxis, plot_->yAxis2}) {
        axis->setTickLabelFont(font);
        axis->setTickLabelPadding(axis == plot_->xAxis ? 7 : 4);
        axis->grid()->setPen(QPen(QColor(95, 95, 95), 0, Qt::DotLine));
        axis->grid()->setZeroLinePen(QPen(QColor(130, 130, 130), 0, Qt::DotLine));
    }
    // Dark grey: the pass colours (navy included), white and yellow all show.
    SetBackground(QColor(40, 40, 40));
    SetForeground(QColor(210, 210, 210));
    setCursor(Qt::PointingHandCursor);
}

TChart::~TChart() {
    // The plot owns the plottables, which refer to the series.
    delete plot_;
}

QCustomPlot* TChart::Plot() const {
    return plot_;
}

TChartSeries& TChart::AddSeries() {
    series_.emplace_back(new TChartSeries(*this));
    TChartSeries& s = *series_.back();
    s.plottable_ = new SeriesPlottable(s, plot_->xAxis, plot_->yAxis2);
    Invalidate();
    return s;
}

TChartSeries& TChart::Series(int index) {
    return *series_.at(static_cast<std::size_t>(index));
}

void TChart::SetBackground(QColor colour) {
    SetBackground(colour, colour);
}

void TChart::SetBackground(QColor around, QColor plotArea) {
    background_ = around;
    plotBackground_ = plotArea;
    plot_->setBackground(around);
    plot_->axisRect()->setBackground(plotArea);
    Invalidate();
}

void TChart::SetForeground(QColor colour) {
    for (QCPAxis* axis : {plot_->xAxis, plot_->yAxis2}) {
        axis->setBasePen(QPen(colour, 1));
        axis->setTickPen(QPen(colour, 1));
        axis->setSubTickPen(QPen(colour, 1));
        axis->setTickLabelColor(colour);
        axis->setLabelColor(colour);
    }
    Invalidate();
}

void TChart::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    EnsureLayout();
    Invalidate();
}

void TChart::EnsureLayout() const {
    if (printing_)
        return;
    // A hidden chart gets no resize events; follow its size here.
    if (plot_->geometry() != rect())
        plot_->setGeometry(rect());
    if (plot_->viewport() != plot_->rect()) {
        plot_->setViewport(plot_->rect());
        layoutDirty_ = true;
        needsReplot_ = true;
    }
    if (layoutDirty_) {
        plot_->UpdateLayout();
        layoutDirty_ = false;
    }
}

QRect TChart::PlotRect() const {
    EnsureLayout();
    return plot_->axisRect()->rect();
}

void TChart::Invalidate() {
    fullPending_ = true;
    InvalidateCurves();
}

void TChart::InvalidateCurves() {
    if (!invalidateTimer_->isActive())
        invalidateTimer_->start();
}

TChart::Frame TChart::CurrentFrame() const {
    const QCPRange x = plot_->xAxis->range();
    const QCPRange y = plot_->yAxis2->range();
    return Frame{x.lower, x.upper, y.lower, y.upper, plot_->axisRect()->rect()};
}

void TChart::RepaintNow() {
    if (drawing_)
        return;
    invalidateTimer_->stop();
    EnsureLayout();
    needsReplot_ = false;
    fullPending_ = false;
    plot_->replot(QCustomPlot::rpImmediateRefresh);
    drawnFrame_ = CurrentFrame();
}

void TChart::RepaintDue() {
    if (drawing_)
        return;
    // Only points changed since the last drawing, and nothing of the frame:
    // the curves' layer and the overlay are enough. Anything else (an axis,
    // a colour, the size, a range set on the plot itself) takes the full one;
    // other changes through Plot() are followed by RepaintNow.
    const bool curvesOnly = !fullPending_ && !layoutDirty_ && !needsReplot_ && curveDrawings_ > 0;
    EnsureLayout();
    if (!curvesOnly || needsReplot_ || !drawnFrame_ || *drawnFrame_ != CurrentFrame()) {
        RepaintNow();
        return;
    }
    invalidateTimer_->stop();
    ++curveDrawings_;
    plot_->UnderlayChanged();
    // Each falls back to a full replot when the layers' buffers were reset.
    plot_->layer("main")->replot();
    plot_->layer("overlay")->replot();
    plot_->repaint();
}

void TChart::RepaintOverlay() {
    if (drawing_)
        return;
    EnsureLayout();
    if (needsReplot_ || curveDrawings_ == 0) {
        RepaintNow();
        return;
    }
    plot_->ReplotOverlay();
}

void TChart::DrawOverlay(QPainter& painter, std::vector<QLine>* inverted) {
    drawing_ = true;
    ++overlayDrawings_;
    if (inverted)
        inverted->clear();
    canvas_.painter_ = &painter;
    canvas_.inverted_ = inverted;
    // Only the screen's drawing fills the overlay's buffer (a print has no
    // inverted lines).
    if (inverted) {
        overlayInk_ = QRegion();
        canvas_.ink_ = &overlayInk_;
    }
    try {
        // Hooks may replace hooks while they run: call copies.
        for (const auto& s : series_) {
            if (s->Active() && s->OnAfterDraw) {
                auto hook = s->OnAfterDraw;
                hook();
            }
        }
        if (OnAfterDraw) {
            auto hook = OnAfterDraw;
            hook();
        }
    } catch (...) {
        // No exception may cross the plot's drawing; report it after it.
        QTimer::singleShot(0, this,
                           [this, e = std::current_exception()] { ShowException(this, e); });
    }
    canvas_.painter_ = nullptr;
    canvas_.inverted_ = nullptr;
    canvas_.ink_ = nullptr;
    drawing_ = false;
}

void TChart::PaintInverted(QPainter& painter) const {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawLines(inverted_.data(), static_cast<int>(inverted_.size()));
}

void TChart::keyPressEvent(QKeyEvent* event) {
    int points = 0;
    switch (event->key()) {
    case Qt::Key_Left:
        points = -1;
        break;
    case Qt::Key_Right:
        points = 1;
        break;
    case Qt::Key_PageDown:
        points = -10;
        break;
    case Qt::Key_PageUp:
        points = 10;
        break;
    default:
        break;
    }
    if (points == 0 || !OnStepKey) {
        QWidget::keyPressEvent(event);
        return;
    }
    auto hook = OnStepKey;
    hook(points);
}

bool TChart::eventFilter(QObject* watched, QEvent* event) {
    if (watched != plot_)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: { // the second of two quick clicks
        auto* e = static_cast<QMouseEvent*>(event);
        QPoint p = e->position().toPoint();
        if (e->button() == Qt::LeftButton)
            pressed_ = true;
        if (OnMouseDown) {
            auto hook = OnMouseDown;
            hook(e->button(), p.x(), p.y());
        }
        return true;
    }
    case QEvent::MouseMove: {
        auto* e = static_cast<QMouseEvent*>(event);
        QPoint p = e->position().toPoint();
        if (OnMouseMove) {
            auto hook = OnMouseMove;
            hook(p.x(), p.y());
        }
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* e = static_cast<QMouseEvent*>(event);
        QPoint p = e->position().toPoint();
        if (OnMouseUp) {
            auto hook = OnMouseUp;
            hook(e->button(), p.x(), p.y());
        }
        if (e->button() == Qt::LeftButton && pressed_) {
            pressed_ = false;
            if (OnClick) {
                auto hook = OnClick;
                hook();
            }
        }
        return true;
    }
    case QEvent::Wheel:
        return true;
    case QEvent::ContextMenu:
        ContextMenu()->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    default:
        return false;
    }
}

void TChart::ZoomRect(const QRect& pixels) {
    if (pixels.width() < 2 || pixels.height() < 1)
        return;
    QRect plot = PlotRect();
    // The rectangle's pixels are whole: its range runs to the far edge of the
    // last column and row.
    double x1 = bottom_->CalcPosPoint(pixels.left());
    double x2 = bottom_->CalcPosPoint(pixels.right() + 1);
    double y1 = right_->Minimum();
    double y2 = right_->Maximum();
    if (pixels.top() > plot.top() || pixels.bottom() < plot.bottom()) {
        y1 = right_->CalcPosPoint(pixels.bottom() + 1);
        y2 = right_->CalcPosPoint(pixels.top());
    }
    if (!(x2 > x1) || !(y2 > y1))
        return;
    if (!zoomed_) {
        savedRange_[0] = bottom_->Minimum();
        savedRange_[1] = bottom_->Maximum();
        savedRange_[2] = right_->Minimum();
        savedRange_[3] = right_->Maximum();
        zoomed_ = true;
    }
    bottom_->SetMinMax(x1, x2);
    right_->SetMinMax(y1, y2);
    // The handler adjusts its markers to the new range before the drawing.
    if (OnZoom) {
        auto hook = OnZoom;
        hook();
    }
    RepaintNow();
}

void TChart::UndoZoom() {
    if (zoomed_) {
        zoomed_ = false;
        bottom_->SetMinMax(savedRange_[0], savedRange_[1]);
        right_->SetMinMax(savedRange_[2], savedRange_[3]);
    }
    if (OnUndoZoom) {
        auto hook = OnUndoZoom;
        hook();
    }
    RepaintNow();
}

void TChart::Draw(QPainter& painter, const QRect& target, int resolution) {
    if (target.isEmpty() || drawing_)
        return;
    EnsureLayout();
    const double dpi = resolution > 0 ? resolution : 96;
    // Lay the chart out as on a 96-dpi screen of the target's physical size,
    // rendered at up to 200 dpi: text keeps its point size, the image its detail.
    const int width = std::max(1, static_cast<int>(std::lround(target.width() * 96.0 / dpi)));
    const int height = std::max(1, static_cast<int>(std::lround(target.height() * 96.0 / dpi)));
    const double scale = std::min(dpi, 200.0) / 96.0;
    QImage image(std::max(1, static_cast<int>(std::lround(width * scale))),
                 std::max(1, static_cast<int>(std::lround(height * scale))),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(plot_->axisRect()->backgroundBrush().color());
    {
        QCPPainter qcp(&image);
        qcp.scale(scale, scale);
        printing_ = true;
        plot_->toPainter(&qcp, width, height);
        printing_ = false;
    }
    painter.drawImage(QRectF(target), image);
    // toPainter leaves the plot laid out for the page.
    layoutDirty_ = true;
    RepaintNow();
}

} // namespace tavi
