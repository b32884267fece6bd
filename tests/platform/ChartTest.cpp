// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Chart.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <functional>
#include <gtest/gtest.h>
#include <qcustomplot.h>
#include <string>
#include <vector>

namespace tavi {
namespace {

class ChartTest : public ::testing::Test {
protected:
    void SetUp() override {
        chart.resize(707, 350);
        chart.SetBackground(Qt::black); // inverted pixels turn white
        chart.show();
        chart.BottomAxis().SetMinMax(0, 100);
        chart.RightAxis().SetMinMax(-500, 500);
        chart.RightAxis().SetIncrement(250);
    }
    TChartSeries& Line(int points, double step, QColor colour) {
        TChartSeries& s = chart.AddSeries();
        for (int i = 0; i < points; ++i)
            s.AddXY(i * step, 0, colour);
        return s;
    }
    QImage Picture() {
        chart.RepaintNow();
        return chart.grab().toImage();
    }
    TChart chart;
};

TEST_F(ChartTest, VisibleRangeFollowsTheBottomAxis) {
    TChartSeries& s = Line(100, 1, Qt::yellow);
    EXPECT_EQ(s.FirstVisibleIndex(), 0);
    EXPECT_EQ(s.LastVisibleIndex(), 99);
    chart.BottomAxis().SetMinMax(10, 20);
    EXPECT_EQ(s.FirstVisibleIndex(), 10);
    EXPECT_EQ(s.LastVisibleIndex(), 20);
    chart.BottomAxis().SetMinMax(10.5, 20.5);
    EXPECT_EQ(s.FirstVisibleIndex(), 11);
    EXPECT_EQ(s.LastVisibleIndex(), 20);
    chart.BottomAxis().SetMinMax(200, 300);
    EXPECT_EQ(s.FirstVisibleIndex(), -1);
    EXPECT_EQ(s.LastVisibleIndex(), -1);
    chart.BottomAxis().SetMinMax(20.2, 20.8); // between two points
    EXPECT_EQ(s.FirstVisibleIndex(), -1);
    EXPECT_EQ(s.LastVisibleIndex(), -1);
    EXPECT_EQ(chart.AddSeries().FirstVisibleIndex(), -1);
}

TEST_F(ChartTest, LastPointOfAStepSumStaysVisible) {
    // X = min + i * (max - min) / (n - 1) may land a rounding error past max.
    const double min = -0.7, max = 0.7;
    const int n = 1000;
    chart.BottomAxis().SetMinMax(min, max);
    TChartSeries& s = chart.AddSeries();
    const double step = (max - min) / (n - 1);
    for (int i = 0; i < n; ++i)
        s.AddXY(min + i * step, 0, Qt::yellow);
    EXPECT_EQ(s.FirstVisibleIndex(), 0);
    EXPECT_EQ(s.LastVisibleIndex(), n - 1);
}

TEST_F(ChartTest, PixelAndValueConvertBothWays) {
    chart.RepaintNow();
    QRect plot = chart.PlotRect();
    ASSERT_GT(plot.width(), 500);
    EXPECT_EQ(chart.BottomAxis().CalcPosValue(0), plot.left());
    EXPECT_EQ(chart.BottomAxis().CalcPosValue(100), plot.left() + plot.width());
    EXPECT_EQ(chart.RightAxis().CalcPosValue(500), plot.top() - 1);
    EXPECT_DOUBLE_EQ(chart.RightAxis().CalcPosPoint(plot.top() - 1), 500);
    for (int p = plot.left(); p <= plot.right(); p += 7)
        EXPECT_EQ(chart.BottomAxis().CalcPosValue(chart.BottomAxis().CalcPosPoint(p)), p);
    for (int p = plot.top(); p <= plot.bottom(); p += 5)
        EXPECT_EQ(chart.RightAxis().CalcPosValue(chart.RightAxis().CalcPosPoint(p)), p);
}

TEST_F(ChartTest, PlotRectFollowsTheSizeOfAHiddenChart) {
    TChart hidden;
    hidden.resize(400, 200);
    QRect small = hidden.PlotRect();
    hidden.resize(800, 300);
    QRect large = hidden.PlotRect();
    EXPECT_GT(large.width(), small.width() + 300);
    EXPECT_LT(large.right(), 800);
}

TEST_F(ChartTest, ZoomAndUndoRestoreTheRanges) {
    TChartSeries& s = Line(101, 1, Qt::yellow);
    int zooms = 0, undos = 0;
    chart.OnZoom = [&] { ++zooms; };
    chart.OnUndoZoom = [&] { ++undos; };
    chart.RepaintNow();
    QRect plot = chart.PlotRect();
    int x1 = chart.BottomAxis().CalcPosValue(20);
    int x2 = chart.BottomAxis().CalcPosValue(40);
    chart.ZoomRect(QRect(QPoint(x1, plot.top()), QPoint(x2, plot.bottom())));
    EXPECT_TRUE(chart.Zoomed());
    EXPECT_EQ(zooms, 1);
    EXPECT_NEAR(chart.BottomAxis().Minimum(), 20, 0.2);
    EXPECT_NEAR(chart.BottomAxis().Maximum(), 40, 0.2);
    EXPECT_EQ(chart.RightAxis().Minimum(), -500); // full height keeps Y exactly
    EXPECT_EQ(chart.RightAxis().Maximum(), 500);
    EXPECT_EQ(s.FirstVisibleIndex(), 20);
    EXPECT_EQ(s.LastVisibleIndex(), 40);
    // A second zoom nests; undo goes back to before the first.
    plot = chart.PlotRect();
    chart.ZoomRect(QRect(QPoint(plot.left() + 10, plot.top() + 10),
                         QPoint(plot.right() - 10, plot.center().y())));
    EXPECT_GT(chart.RightAxis().Minimum(), -500);
    chart.UndoZoom();
    EXPECT_FALSE(chart.Zoomed());
    EXPECT_EQ(undos, 1);
    EXPECT_EQ(chart.BottomAxis().Minimum(), 0);
    EXPECT_EQ(chart.BottomAxis().Maximum(), 100);
    EXPECT_EQ(chart.RightAxis().Minimum(), -500);
    EXPECT_EQ(s.LastVisibleIndex(), 100);
    // An empty band does not zoom.
    chart.ZoomRect(QRect(QPoint(x1, plot.top()), QPoint(x1, plot.bottom())));
    EXPECT_FALSE(chart.Zoomed());
    EXPECT_EQ(zooms, 2);
}

TEST_F(ChartTest, OverlayRepaintRunsEveryAfterDrawHookInOrderWithoutTheCurves) {
    std::vector<std::string> calls;
    TChartSeries& a = Line(10, 1, Qt::yellow);
    TChartSeries& b = Line(10, 1, Qt::red);
    TChartSeries& c = Line(10, 1, Qt::red);
    a.OnAfterDraw = [&] { calls.push_back("a"); };
    b.OnAfterDraw = [&] { calls.push_back("b"); };
    c.OnAfterDraw = [&] { calls.push_back("c"); };
    c.SetActive(false); // not drawn, so no hook
    chart.OnAfterDraw = [&] {
        EXPECT_TRUE(chart.Canvas().Drawing());
        calls.push_back("chart");
    };
    chart.RepaintNow();
    EXPECT_EQ(calls, (std::vector<std::string>{"a", "b", "chart"}));
    calls.clear();
    int curves = chart.CurveDrawings();
    chart.RepaintOverlay();
    EXPECT_EQ(calls, (std::vector<std::string>{"a", "b", "chart"}));
    EXPECT_EQ(chart.CurveDrawings(), curves);
    EXPECT_FALSE(chart.Canvas().Drawing());
}

TEST_F(ChartTest, InvalidateCoalescesIntoOneDrawing) {
    TChartSeries& s = Line(10, 1, Qt::yellow);
    chart.RepaintNow();
    // The window's own first exposure may still be queued on a loaded machine.
    QApplication::processEvents();
    int before = chart.CurveDrawings();
    for (int i = 0; i < 100; ++i)
        s.SetY(i % 10, i);
    QElapsedTimer safety;
    safety.start();
    while (chart.CurveDrawings() == before && safety.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(chart.CurveDrawings(), before + 1);
}

TEST_F(ChartTest, SegmentsTakeTheColourOfTheirEndPoint) {
    TChartSeries& s = chart.AddSeries();
    for (int i = 0; i <= 10; ++i)
        s.AddXY(i * 10, 0, i <= 4 ? QColor(Qt::red) : QColor(Qt::green));
    QImage image = Picture();
    int y = chart.RightAxis().CalcPosValue(0);
    auto at = [&](double x) { return image.pixelColor(chart.BottomAxis().CalcPosValue(x), y); };
    EXPECT_EQ(at(20), QColor(Qt::red));
    EXPECT_EQ(at(45), QColor(Qt::green)); // segment 4 -> 5 is point 5's
    EXPECT_EQ(at(80), QColor(Qt::green));
    s.SetColour(5, Qt::red);
    image = Picture();
    EXPECT_EQ(at(45), QColor(Qt::red));
    EXPECT_EQ(s.Colour(5), QColor(Qt::red));
}

TEST_F(ChartTest, AddPointsIsAddXYForEachPair) {
    const std::vector<double> xs{1, 2, 3, 4}, ys{-5, 0, 5};
    TChartSeries& a = chart.AddSeries();
    TChartSeries& b = chart.AddSeries();
    a.AddXY(0, 9, Qt::red);
    b.AddXY(0, 9, Qt::red);
    for (std::size_t k = 0; k < ys.size(); ++k)
        a.AddXY(xs[k], ys[k], Qt::green);
    b.AddPoints(xs, ys, Qt::green); // the shorter decides
    ASSERT_EQ(b.Count(), a.Count());
    for (int i = 0; i < a.Count(); ++i) {
        EXPECT_EQ(b.X(i), a.X(i));
        EXPECT_EQ(b.Y(i), a.Y(i));
        EXPECT_EQ(b.Colour(i), a.Colour(i));
    }
}

TEST_F(ChartTest, InactiveSeriesIsNotDrawn) {
    TChartSeries& s = Line(11, 10, Qt::red);
    int y = chart.RightAxis().CalcPosValue(0);
    int x = chart.BottomAxis().CalcPosValue(50);
    EXPECT_EQ(Picture().pixelColor(x, y), QColor(Qt::red));
    s.SetActive(false);
    EXPECT_NE(Picture().pixelColor(x, y), QColor(Qt::red));
}

TEST_F(ChartTest, ManyPointsKeepTheirExtremes) {
    TChartSeries& s = chart.AddSeries();
    const int n = 65535;
    chart.BottomAxis().SetMinMax(0, n - 1);
    for (int i = 0; i < n; ++i)
        s.AddXY(i, i == 30001 ? 400 : (i == 40001 ? -400 : 0), Qt::yellow);
    QImage image = Picture();
    int x = chart.BottomAxis().CalcPosValue(30001);
    int top = chart.RightAxis().CalcPosValue(400);
    int bottom = chart.RightAxis().CalcPosValue(-400);
    auto lit = [&](int px, int py) {
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy)
                if (image.pixelColor(px + dx, py + dy) == QColor(Qt::yellow))
                    return true;
        return false;
    };
    EXPECT_TRUE(lit(x, top));
    EXPECT_TRUE(lit(chart.BottomAxis().CalcPosValue(40001), bottom));
    EXPECT_FALSE(lit(chart.BottomAxis().CalcPosValue(20000), top));
}

// A widget over the chart splits its paint into rectangles, drawn one by one:
// every pixel beside the widget is as without it (surround, plot area, curve,
// overlay).
TEST_F(ChartTest, AWidgetOverTheChartLeavesEveryOtherPixel) {
    chart.SetBackground(QColor(20, 40, 60), Qt::black);
    TChartSeries& s = chart.AddSeries();
    for (int i = 0; i <= 100; ++i)
        s.AddXY(i, 4 * i - 200, Qt::yellow);
    chart.OnAfterDraw = [&] { chart.Canvas().Cross(300, 150, 20, 20, Qt::green); };
    chart.RepaintNow();
    QImage bare = chart.grab().toImage();
    QLabel label("readout", &chart);
    label.setAutoFillBackground(true); // opaque: the chart's paint leaves it out
    label.setGeometry(250, 120, 120, 20);
    label.show();
    QImage covered = chart.grab().toImage();
    for (QImage* image : {&bare, &covered})
        QPainter(image).fillRect(label.geometry(), Qt::magenta);
    EXPECT_EQ(covered, bare);
}

// A dense curve's reduced columns are kept between drawings: each kind of
// change to its points must still show.
TEST_F(ChartTest, ADenseCurveShowsEveryChangeBetweenDrawings) {
    const int n = 20000; // beyond two points a pixel column
    chart.BottomAxis().SetMinMax(0, 2 * n);
    TChartSeries& s = Line(n, 1, Qt::yellow);
    QImage before = Picture();
    EXPECT_EQ(Picture(), before);
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"SetY", [&] { s.SetY(n / 2, 400); }},
        {"SetColour", [&] { s.SetColour(n - 1, Qt::red); }},
        {"AddXY", [&] { s.AddXY(n, 300, Qt::yellow); }},
        {"AddPoints", [&] { s.AddPoints(std::vector{n * 1.5}, std::vector{-300.0}, Qt::green); }},
        {"Clear", [&] { s.Clear(); }},
    };
    for (const auto& [name, change] : changes) {
        change();
        const QImage after = Picture();
        EXPECT_NE(after, before) << name;
        before = after;
    }
}

// The coalesced drawing redraws only the curves when only points changed: after
// any change it must show what a full drawing shows.
TEST_F(ChartTest, TheCoalescedDrawingShowsWhatAFullOneShows) {
    const int n = 20000;
    chart.BottomAxis().SetMinMax(0, n);
    TChartSeries& s = Line(n, 1, Qt::yellow);
    chart.OnAfterDraw = [&] { chart.Canvas().Cross(200, 100 + s.Count() % 50, 10, 10, Qt::green); };
    chart.RepaintNow();
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"SetY", [&] { s.SetY(n / 2, 400); }},
        {"AddPoints", [&] { s.AddPoints(std::vector{n + 0.5}, std::vector{-300.0}, Qt::green); }},
        {"Axis range", [&] { chart.BottomAxis().SetMinMax(0, n / 2); }},
        {"Axis format", [&] { chart.RightAxis().SetValueFormat("0.0"); }},
        {"Background", [&] { chart.SetBackground(Qt::darkBlue); }},
        {"Size", [&] { chart.resize(600, 300); }},
        {"Clear", [&] { s.Clear(); }},
    };
    for (const auto& [name, change] : changes) {
        change();
        const int drawings = chart.CurveDrawings();
        chart.RepaintDue();
        EXPECT_EQ(chart.CurveDrawings(), drawings + 1) << name;
        const QImage coalesced = chart.grab().toImage();
        chart.RepaintNow();
        EXPECT_EQ(coalesced, chart.grab().toImage()) << name;
    }
}

// A moving overlay repaints only where its old and new drawings lie: what the
// screen then shows must be what a full drawing shows, for each kind of stroke.
TEST_F(ChartTest, AMovedOverlayShowsWhatAFullDrawingShows) {
    Line(2000, 0.05, Qt::yellow);
    int at = 0;
    const std::pair<const char*, std::function<void(TChartCanvas&, QRect)>> strokes[] = {
        {"Cursor", [&](TChartCanvas& c,
                       QRect p) { c.Line(p.left() + at, p.top(), p.left() + at, p.bottom()); }},
        {"WideTranslucentDiagonals",
         [&](TChartCanvas& c, QRect p) {
             c.SetPen(QColor(255, 0, 0, 128), 5);
             c.Line(p.left(), p.top() + at, p.right(), p.bottom() - at);
             c.Line(p.left() + at, p.bottom(), p.right() - at, p.top());
         }},
        {"Cross", [&](TChartCanvas& c,
                      QRect p) { c.Cross(p.left() + 2 * at, p.center().y(), 1, 30, Qt::green); }},
        {"Inverted", [&](TChartCanvas& c, QRect p) {
             c.SetInvertingPen(true);
             c.Line(p.left() + at, p.top(), p.left() + at, p.bottom());
             c.SetInvertingPen(false);
         }}};
    const auto screen = [&] {
        QCoreApplication::processEvents(); // the paint the change asked for
        return chart.screen()->grabWindow(chart.winId()).toImage();
    };
    for (const auto& [name, stroke] : strokes) {
        at = 10;
        chart.OnAfterDraw = [&, &stroke = stroke] { stroke(chart.Canvas(), chart.PlotRect()); };
        chart.RepaintNow();
        screen();
        for (int step : {37, 5, 120}) {
            at = step;
            chart.RepaintOverlay();
            const QImage moved = screen();
            chart.RepaintNow();
            EXPECT_EQ(moved, screen()) << name << " at " << step;
        }
    }
}

TEST_F(ChartTest, CanvasDrawsCrossesAndInvertsUnderTheInvertingPen) {
    chart.RepaintNow();
    QRect plot = chart.PlotRect();
    const int cx = plot.left() + 100, cy = plot.top() + 100;
    chart.OnAfterDraw = [&] {
        TChartCanvas& canvas = chart.Canvas();
        canvas.Cross(cx, cy, 1, 20, QColor(0x80, 0, 0x80));
        canvas.SetInvertingPen(true);
        for (int x = plot.left() + 200; x <= plot.left() + 210; ++x)
            canvas.Line(x, plot.top(), x, plot.bottom());
        canvas.SetInvertingPen(false);
        canvas.SetPen(QColor(0x80, 0, 0));
    };
    QImage image = Picture();
    EXPECT_EQ(image.pixelColor(cx, cy - 19), QColor(0x80, 0, 0x80));
    EXPECT_EQ(image.pixelColor(cx, cy + 19), QColor(0x80, 0, 0x80));
    EXPECT_EQ(image.pixelColor(cx - 1, cy), QColor(0x80, 0, 0x80));
    EXPECT_NE(image.pixelColor(cx, cy + 21), QColor(0x80, 0, 0x80));
    // Black background under the band shows white.
    EXPECT_EQ(image.pixelColor(plot.left() + 205, plot.top() + 37), QColor(Qt::white));
    EXPECT_EQ(chart.Canvas().PenColour(), QColor(0x80, 0, 0));
}

TEST_F(ChartTest, MouseEventsReachTheHooksInWidgetCoordinates) {
    std::vector<std::string> calls;
    chart.OnMouseDown = [&](Qt::MouseButton b, int x, int y) {
        calls.push_back("down " + std::to_string(int(b)) + " " + std::to_string(x) + "," +
                        std::to_string(y));
    };
    chart.OnMouseMove = [&](int x, int y) {
        calls.push_back("move " + std::to_string(x) + "," + std::to_string(y));
    };
    chart.OnMouseUp = [&](Qt::MouseButton, int x, int y) {
        calls.push_back("up " + std::to_string(x) + "," + std::to_string(y));
    };
    chart.OnClick = [&] { calls.push_back("click"); };
    auto send = [&](QEvent::Type type, QPoint p, Qt::MouseButton b, Qt::MouseButtons bs) {
        QMouseEvent e(type, QPointF(p), chart.Plot()->mapToGlobal(QPointF(p)), b, bs,
                      Qt::NoModifier);
        QApplication::sendEvent(chart.Plot(), &e);
    };
    send(QEvent::MouseButtonPress, {100, 50}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, {120, 60}, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {120, 60}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(calls,
              (std::vector<std::string>{"down 1 100,50", "move 120,60", "up 120,60", "click"}));
}

TEST_F(ChartTest, AHookMayReplaceItselfWhileItRuns) {
    int first = 0, second = 0;
    chart.OnMouseDown = [&](Qt::MouseButton, int, int) {
        chart.OnMouseDown = [&](Qt::MouseButton, int, int) { ++second; };
        ++first;
    };
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), QPointF(10, 10), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(chart.Plot(), &press);
    QApplication::sendEvent(chart.Plot(), &press);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
}

TEST_F(ChartTest, DrawingIntoAPageRunsTheHooksAndLeavesTheScreenLayout) {
    Line(11, 10, Qt::red);
    chart.RepaintNow();
    QRect before = chart.PlotRect();
    int hooks = 0;
    QRect pagePlot;
    chart.OnAfterDraw = [&] {
        if (++hooks == 1)
            pagePlot = chart.PlotRect();
    };
    QImage page(2400, 1600, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        chart.Draw(painter, QRect(100, 100, 2000, 1000), 300);
    }
    EXPECT_GE(hooks, 1);
    EXPECT_LT(pagePlot.width(), 2000 * 96 / 300); // laid out at screen size
    EXPECT_EQ(chart.PlotRect(), before);
    EXPECT_EQ(page.pixelColor(50, 50), QColor(Qt::white));
    EXPECT_EQ(page.pixelColor(1100, 1050), QColor(Qt::black)); // inside the chart
}

} // namespace
} // namespace tavi
